#include "update/download_verification.h"

#include "host/shown_text.h"
#include "update/d_ver.h"
#include "update/download_engine.h"
#include "update/signature_messages.h"

namespace tarnlow {

std::variant<DownloadVerification, NumberedMessage> DownloadVerification::load(Transaction& sqlca,
                                                                               TrustedKeys trusted) {
    Result<SignatureRecords> records = SignatureRecords::read(sqlca);
    if (!records)
        return NumberedMessage{kMessageDownloadListFailed, {records.error()}};
    DownloadVerification verification;
    verification.m_trusted = std::move(trusted);
    verification.m_records = std::move(*records);
    return verification;
}

std::optional<NumberedMessage> DownloadVerification::check(const VersionRow& row, qint64 size,
                                                           const QByteArray& sha256) const {
    if (Result<void> accepted = checkDownloadedFile(row, size, sha256, m_records, m_trusted); !accepted)
        return NumberedMessage{kMsgDownloadFileRefused,
                               {shownName(row.fileName), row.versionNumber.trimmed(),
                                QString::number(row.componentNumber), QString::number(row.updateIndex),
                                accepted.error()}};
    return std::nullopt;
}

} // namespace tarnlow
