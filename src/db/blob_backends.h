#pragma once

// Binary values moved in pieces on a connection's native handle, one implementation per database
// system. The transaction object chooses one where the driver gives it a handle and keeps its
// generic Qt SQL path for the rest.

#include "db/blob_stream.h"
#include "host/result.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <optional>

struct sqlite3;
struct pg_conn;

namespace tarnlow {

// PostgreSQL reads a value that it stores uncompressed in slices of this size, one query each,
// handed on in pieces of kBlobPieceSize. A compressed value, which would be decompressed from its
// start for every slice, is read by one query that decompresses it once on the server.
inline constexpr qint64 kPostgresBlobPieceSize = 8 * 1024 * 1024;

// Why a native transfer failed: the server's (or the caller's) text and the native code.
struct BlobFailure {
    QString text;
    int code = 0;
};

// The table, column and key names that a statement is built from are the program's own, but
// they are pasted into statement text, so anything but a plain name is refused.
bool isPlainSqlName(const QString& name);
std::optional<BlobFailure> refuseUnplainNames(const QString& table, const QStringList& columns);

// Hands one piece of a value on: its bytes, their number and where in the value they start.
using BlobPiecePut =
    std::function<std::optional<BlobFailure>(const char* data, qint64 length, qint64 offset)>;

// Pulls exactly `size` bytes from `source` in pieces of at most kBlobPieceSize and gives each to
// `put`. A source that fails, ends early, gives more than asked or holds more than `size` bytes
// ends the transfer with a reason, as does the first failure of `put`.
std::optional<BlobFailure> pumpBlobPieces(const BlobPieceSource& source, qint64 size,
                                          const BlobPiecePut& put);

Result<BlobFound, BlobFailure> sqliteReadBlob(sqlite3* handle, const BlobLocation& where,
                                              const BlobPieceSink& sink);
Result<qint64, BlobFailure> sqliteInsertBlobRow(sqlite3* handle, const QString& table,
                                                const QStringList& columns, const QVariantList& values,
                                                const QString& blobColumn, qint64 size,
                                                const BlobPieceSource& source);

// PostgreSQL through libpq. The insert streams the row through a binary COPY; the read fetches the
// value in slices with binary results, a row at a time. The insert sets `handled` to false, and does nothing,
// when a column's type is one it does not encode, so that the caller can use the generic path.
Result<BlobFound, BlobFailure> postgresReadBlob(pg_conn* handle, const BlobLocation& where,
                                                const BlobPieceSink& sink);
Result<qint64, BlobFailure> postgresInsertBlobRow(pg_conn* handle, const QString& table,
                                                  const QStringList& columns, const QVariantList& values,
                                                  const QString& blobColumn, qint64 size,
                                                  const BlobPieceSource& source, bool& handled);

// ODBC (SQL Server and any ODBC data source) on the connection handle (an SQLHDBC): the value goes
// in through SQLPutData and comes out through SQLGetData, one piece per call. sqlServer chooses
// the parameter type of an image column there; other sources take a varbinary parameter.
Result<BlobFound, BlobFailure> odbcReadBlob(void* connection, const BlobLocation& where,
                                            const BlobPieceSink& sink);
Result<qint64, BlobFailure> odbcInsertBlobRow(void* connection, bool sqlServer, const QString& table,
                                              const QStringList& columns, const QVariantList& values,
                                              const QString& blobColumn, qint64 size,
                                              const BlobPieceSource& source);

} // namespace tarnlow
