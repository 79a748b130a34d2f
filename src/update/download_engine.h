#pragma once

#include "host/numbered_message.h"
#include "host/output_file.h"
#include "host/result.h"
#include "update/d_ver.h"
#include "update/download_verification.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarnlow {

class SettingsStore;
class Transaction;

// Numbered messages of the download; each names the file and the reason.
inline constexpr int kMessageDownloadListFailed = 10400;       // the stored-file list cannot be read: reason
inline constexpr int kMessageDownloadNameRefused = 10401;      // name, version, component, index, reason
inline constexpr int kMessageDownloadFetchFailed = 10402;      // path, database text
inline constexpr int kMessageDownloadNullContent = 10403;      // path
inline constexpr int kMessageDownloadRowMissing = 10404;       // path, version, component, index
inline constexpr int kMessageDownloadWriteFailed = 10405;      // path, reason
inline constexpr int kMessageDownloadRecordFailed = 10406;     // component, settings file, reason
inline constexpr int kMessageDownloadCannotRecord = 10407;     // settings file, reason, number of files
inline constexpr int kMessageProgramFolderNotWritable = 10900; // folder, reason, number of files

// Settings value holding the highest component this machine has installed.
inline const QString kInstalledComponentName = QStringLiteral("Comp_ID");

// Reported twice per row: before its bytes are fetched and after its file is in place. `fraction`
// is the share of the work done once this report's step is complete: (2 × row − 1) / (2 × rowCount)
// for the first report of a row and 2 × row / (2 × rowCount) for the second.
struct DownloadProgress {
    enum class Stage { Fetching, Written };
    Stage stage = Stage::Fetching;
    int row = 0; // 1-based
    int rowCount = 0;
    QString targetPath;
    double fraction = 0.0;
};
using DownloadProgressCallback = std::function<void(const DownloadProgress&)>;

// Reported after every piece written to a row's temporary file.
struct DownloadBytes {
    int row = 0; // 1-based
    QString targetPath;
    qint64 rowDone = 0;    // bytes of this row's file written so far
    qint64 rowSize = 0;    // the size of this row's stored value
    qint64 doneOfAll = 0;  // bytes written so far over the whole download
    qint64 totalOfAll = 0; // the sizes of every row's value together
};

// What a front end hears during a download, and where it can stop it.
struct DownloadObserver {
    // Twice per row, as DownloadProgress says.
    DownloadProgressCallback progress;
    // After every piece; an error stops the download with that reason: the file being written is
    // discarded, files already in place stay, Comp_ID keeps its value. When set, the sizes of the
    // stored values are asked for before the first row.
    std::function<Result<void>(const DownloadBytes&)> bytes;
};

struct DownloadOutcome {
    int result = 1;           // 1 every row written and the component recorded, -1 stopped
    QStringList writtenPaths; // target files replaced or created, in order (they stay on a failure)
    std::optional<qint32> recordedComponent; // what Comp_ID now holds, when the download recorded it
    std::optional<NumberedMessage> failure;  // why the download stopped
    // Message 11903 when files were downloaded without any trusted key to check them against.
    std::optional<NumberedMessage> notice;
};

// Reads Comp_ID as the highest installed component: a missing, empty or non-numeric value (or one
// outside the 32-bit range of the component column) counts as 0.
qint32 installedComponent(const SettingsStore& settings);

// Brings a program folder up to date with the program files stored in T_SYS_VER. Each file is
// written to a temporary file in the target folder, flushed to disk and renamed over the target, so
// a target is always either its old or its new contents, whatever happens halfway. Only one file's
// bytes pass through memory in pieces, so the download's memory stays bounded whatever the size.
class DownloadEngine {
public:
    // programFolder: where the files go; a missing trailing separator is added.
    DownloadEngine(Transaction& sqlca, SettingsStore& settings, QString programFolder);

    const QString& programFolder() const { return m_programFolder; }

    // The keys a downloaded file's signed record must come from. Unless set, the download reads
    // them from the settings and the trusted_keys file of the folder it writes into.
    void setTrustedKeys(TrustedKeys keys) { m_trustedKeys = std::move(keys); }
    // Where each file is written; the usual temporary file renamed over the target when empty.
    void setOutputFileFactory(OutputFileFactory factory) { m_outputFiles = std::move(factory); }

    // The stored files of components newer than Comp_ID, in the order they are written.
    Result<QList<VersionRow>> pendingRows() const;

    // Writes every row's file in order and finally records the highest component in Comp_ID.
    // The first failure stops the download: files already written stay, Comp_ID keeps its value,
    // so the next run starts again from the same point. A program folder in which no file can be
    // created (an installed, system-owned folder), or settings that cannot be written, are
    // reported once, before any row is touched.
    DownloadOutcome download(const QList<VersionRow>& rows, const DownloadProgressCallback& progress = {});
    DownloadOutcome download(const QList<VersionRow>& rows, const DownloadObserver& observer);

    // Message 10900 when no file can be created in the program folder, 10407 when Comp_ID could
    // not be recorded in the settings, for front ends that check before they show anything;
    // download() makes the same checks.
    std::optional<NumberedMessage> startFailure(qsizetype rowCount) const;

    // The failure for a list that cannot be read, for front ends that call pendingRows().
    static NumberedMessage listFailure(const QString& reason);

private:
    // Writes one row's file; `pieceWritten` hears the size of every piece as it is written and
    // may stop the row with an error.
    std::optional<NumberedMessage> writeRow(const VersionRow& row, const QString& targetPath,
                                            const std::function<Result<void>(qint64 piece)>& pieceWritten);

    // The check of a downloaded file before it replaces the old one; the refusal when it fails.
    std::optional<NumberedMessage> verifyRow(const VersionRow& row, qint64 size,
                                             const QByteArray& sha256) const;
    // Reads the trusted keys and the stored records for one download; the failure when it cannot.
    std::optional<NumberedMessage> prepareVerification(DownloadOutcome& outcome);

    Transaction& m_sqlca;
    SettingsStore& m_settings;
    QString m_programFolder;
    std::optional<TrustedKeys> m_trustedKeys;
    std::optional<DownloadVerification> m_verification;
    OutputFileFactory m_outputFiles;
};

// The file name a row's file is written under: file_name without the trailing blanks of its
// fixed-width column. An error saying why when it is not a plain file name (a separator, "." or
// "..", NUL or another control character, or nothing at all).
Result<QString> downloadFileName(const VersionRow& row);

} // namespace tarnlow
