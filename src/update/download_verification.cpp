#include "update/download_verification.h"

#include "host/settings_store.h"
#include "host/shown_text.h"
#include "update/d_ver.h"
#include "update/download_engine.h"
#include "update/signature_messages.h"

#include <QDir>
#include <QStringList>

namespace tarnlow {
namespace {

// Folders compare as absolute paths without a trailing separator.
QString folderKey(const QString& programFolder) {
    return QDir::cleanPath(QDir(programFolder).absolutePath());
}

QStringList noticedFolders(const SettingsStore& settings) {
    return settings.read(kSettingsKey, kUnverifiedNoticeSetting)
        .value_or(QString())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

bool unverifiedNoticeDue(const SettingsStore& settings, const QString& programFolder) {
    return !noticedFolders(settings).contains(folderKey(programFolder));
}

Result<void> rememberUnverifiedNotice(SettingsStore& settings, const QString& programFolder) {
    QStringList folders = noticedFolders(settings);
    const QString folder = folderKey(programFolder);
    if (folders.contains(folder))
        return {};
    folders.append(folder);
    return settings.write(kSettingsKey, kUnverifiedNoticeSetting, folders.join(QLatin1Char('\n')));
}

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
