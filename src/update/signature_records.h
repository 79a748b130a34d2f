#pragma once

#include "host/result.h"
#include "signing/file_record.h"
#include "signing/trusted_keys.h"

#include <QList>
#include <QString>

#include <optional>

namespace tarnlow {

class Transaction;
struct VersionRow;

// The table that holds one signed record per stored program file, beside T_SYS_VER.
inline const QString kSignatureRecordTable = QStringLiteral("T_SYS_VER_SIGN");

// The statement that creates the table on a database system of that kind.
QString signatureTableStatement(const Transaction& sqlca);

// Replaces the records of the package's version and component with these (none removes them), in
// the caller's transaction. The table is created when a record is to be stored and it does not
// exist yet; without records and without the table nothing is sent.
Result<void> replaceSignatureRecords(Transaction& sqlca, const QString& version, int component,
                                     const QList<FileRecord>& records);

// Every record of the table, keyed by the row it belongs to; an empty list when the table does
// not exist. Read once per download.
class SignatureRecords {
public:
    static Result<SignatureRecords> read(Transaction& sqlca);

    // The record stored for the row, with the row's own version, component, index and name put in
    // its fields, so that a record moved to another row or a renamed row no longer verifies.
    std::optional<FileRecord> forRow(const VersionRow& row) const;
    qsizetype size() const { return m_records.size(); }

private:
    QList<FileRecord> m_records;
};

// Whether a downloaded file of the row, with this size and SHA-256, may replace the old file; the
// reason otherwise. With trusted keys the file needs a record signed by one of them that matches;
// without, a record that is present must still match the bytes.
Result<void> checkDownloadedFile(const VersionRow& row, qint64 size, const QByteArray& sha256,
                                 const SignatureRecords& records, const TrustedKeys& trusted);

} // namespace tarnlow
