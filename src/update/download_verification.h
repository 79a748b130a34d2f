#pragma once

#include "host/numbered_message.h"
#include "host/result.h"
#include "signing/trusted_keys.h"
#include "update/signature_records.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

namespace tarnlow {

class SettingsStore;
class Transaction;

// The settings value that remembers the program folders (one a line) whose operator has been told
// that downloads there are not verified, so that the window says it once rather than after every
// download.
inline const QString kUnverifiedNoticeSetting = QStringLiteral("Unverified_Notice");

// Whether the notice that downloads are not verified is still to be shown for this program folder.
bool unverifiedNoticeDue(const SettingsStore& settings, const QString& programFolder);
// Records that it has been shown; the reason when that cannot be stored (it is shown again then).
Result<void> rememberUnverifiedNotice(SettingsStore& settings, const QString& programFolder);
struct VersionRow;

// What a download checks each file against before it replaces the old one: the trusted keys and
// the signed records stored beside the files, read once per download.
class DownloadVerification {
public:
    // Reads the records; message 10400 when the table is there but cannot be read.
    static std::variant<DownloadVerification, NumberedMessage> load(Transaction& sqlca, TrustedKeys trusted);

    // Whether files need a record signed by a trusted key (false: only present records are checked).
    bool requiresSignatures() const { return !m_trusted.isEmpty(); }

    // Whether a record is stored for the row: only then do its bytes need hashing.
    bool hasRecordFor(const VersionRow& row) const { return m_records.forRow(row).has_value(); }

    // Message 11902 when the row's file, of this size and SHA-256, may not replace the old file.
    std::optional<NumberedMessage> check(const VersionRow& row, qint64 size, const QByteArray& sha256) const;

private:
    TrustedKeys m_trusted;
    SignatureRecords m_records;
};

} // namespace tarnlow
