#pragma once

#include "host/result.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

namespace tarnlow {

// Receives the bytes of a binary value being read, piece after piece in order. An error stops the
// read and is handed back to the caller of the read as it is.
using BlobPieceSink = std::function<Result<void>(QByteArrayView piece)>;

// Supplies the bytes of a binary value being written: fills up to `capacity` bytes of `buffer`
// and returns how many, 0 at the end. An error stops the write; the statement fails and nothing of
// the value is kept.
using BlobPieceSource = std::function<Result<qint64>(char* buffer, qint64 capacity)>;

// What a streamed read found where it looked.
enum class BlobFound { Value, Null, NoRow };

// Where one binary value lives: the column of the row of `table` whose key columns hold the key
// values. Table and column names are the program's own identifiers, never operator input.
struct BlobLocation {
    QString table;
    QString column;
    QStringList keyColumns;
    QVariantList keyValues;
};

// The largest piece a streamed read hands out or a streamed write asks for at once.
inline constexpr qint64 kBlobPieceSize = 256 * 1024;

} // namespace tarnlow
