#include "update/download_engine.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "host/shown_text.h"
#include "update/package_format.h"
#include "update/signature_messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace tarnlow {
namespace {

// Why no file can be created in the folder, or nothing when one can. A real attempt, because the
// permission bits do not tell about read-only mounts or access lists.
std::optional<QString> folderWriteProblem(const QString& folder) {
    QTemporaryFile probe(folder + QStringLiteral(".tarnlow_as-write-test-XXXXXX"));
    if (probe.open())
        return std::nullopt;
    return probe.errorString();
}

BlobLocation rowLocation(const VersionRow& row) {
    return BlobLocation{
        QStringLiteral("t_sys_ver"),
        QStringLiteral("file_blob"),
        {QStringLiteral("ver_no"), QStringLiteral("comp_no"), QStringLiteral("update_index")},
        {QVariant(row.versionNumber), QVariant(row.componentNumber), QVariant(row.updateIndex)}};
}

double fractionDone(int step, int rowCount) {
    return rowCount > 0 ? static_cast<double>(step) / (2.0 * rowCount) : 1.0;
}

} // namespace

qint32 installedComponent(const SettingsStore& settings) {
    const std::optional<QString> text = settings.read(kSettingsKey, kInstalledComponentName);
    if (!text)
        return 0;
    bool ok = false;
    const qlonglong number = text->trimmed().toLongLong(&ok);
    if (!ok || number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
        return 0;
    return static_cast<qint32>(number);
}

Result<QString> downloadFileName(const VersionRow& row) {
    QString name = row.fileName;
    qsizetype end = name.size();
    while (end > 0 && name.at(end - 1) == QLatin1Char(' '))
        --end;
    name.truncate(end);
    if (name.isEmpty())
        return Error{QStringLiteral("it is empty")};
    if (const auto problem = packageNameProblem(name))
        return Error{QStringLiteral("it ") + *problem};
    return name;
}

DownloadEngine::DownloadEngine(Transaction& sqlca, SettingsStore& settings, QString programFolder)
    : m_sqlca(sqlca)
    , m_settings(settings)
    , m_programFolder(std::move(programFolder)) {
    if (!m_programFolder.isEmpty() && !m_programFolder.endsWith(QLatin1Char('/')) &&
        !m_programFolder.endsWith(QDir::separator()))
        m_programFolder += QLatin1Char('/');
}

NumberedMessage DownloadEngine::listFailure(const QString& reason) {
    return NumberedMessage{kMessageDownloadListFailed, {reason}};
}

std::optional<NumberedMessage> DownloadEngine::startFailure(qsizetype rowCount) const {
    if (const auto problem = folderWriteProblem(m_programFolder))
        return NumberedMessage{
            kMessageProgramFolderNotWritable,
            {QDir::toNativeSeparators(m_programFolder), *problem, QString::number(rowCount)}};
    // A download that cannot be recorded would be fetched again at every start.
    if (const Result<void> writable = m_settings.checkWritable(); !writable)
        return NumberedMessage{kMessageDownloadCannotRecord,
                               {m_settings.filePath(), writable.error(), QString::number(rowCount)}};
    return std::nullopt;
}

Result<QList<VersionRow>> DownloadEngine::pendingRows() const {
    return retrieveVersionRows(m_sqlca, installedComponent(m_settings));
}

DownloadOutcome DownloadEngine::download(const QList<VersionRow>& rows,
                                         const DownloadProgressCallback& progress) {
    return download(rows, DownloadObserver{progress, {}});
}

DownloadOutcome DownloadEngine::download(const QList<VersionRow>& rows, const DownloadObserver& observer) {
    const DownloadProgressCallback& progress = observer.progress;
    DownloadOutcome outcome;
    const int rowCount = static_cast<int>(rows.size());
    if (rowCount == 0)
        return outcome;
    if (auto failure = startFailure(rowCount)) {
        outcome.result = -1;
        outcome.failure = std::move(failure);
        return outcome;
    }
    if (auto failure = prepareVerification(outcome)) {
        outcome.result = -1;
        outcome.failure = std::move(failure);
        return outcome;
    }
    const auto report = [&](DownloadProgress::Stage stage, int row, const QString& path, int step) {
        if (progress)
            progress(DownloadProgress{stage, row, rowCount, path, fractionDone(step, rowCount)});
    };

    // The sizes only serve the observer's totals; a size that cannot be read counts as 0.
    QList<qint64> sizes(rowCount, 0);
    qint64 totalOfAll = 0;
    if (observer.bytes) {
        for (int i = 0; i < rowCount; ++i) {
            const Result<qint64> size = m_sqlca.blobSize(rowLocation(rows.at(i)));
            sizes[i] = size ? *size : 0;
            totalOfAll += sizes.at(i);
        }
    }
    qint64 doneOfAll = 0;

    qint32 highest = std::numeric_limits<qint32>::min();
    for (int i = 0; i < rowCount; ++i) {
        const VersionRow& row = rows.at(i);
        const auto name = downloadFileName(row);
        if (!name) {
            report(DownloadProgress::Stage::Fetching, i + 1, m_programFolder + row.fileName, 2 * i + 1);
            outcome.result = -1;
            outcome.failure = NumberedMessage{kMessageDownloadNameRefused,
                                              {shownName(row.fileName), row.versionNumber.trimmed(),
                                               QString::number(row.componentNumber),
                                               QString::number(row.updateIndex), name.error()}};
            return outcome;
        }
        const QString targetPath = m_programFolder + *name;
        report(DownloadProgress::Stage::Fetching, i + 1, targetPath, 2 * i + 1);
        qint64 rowDone = 0;
        const auto pieceWritten = [&](qint64 piece) -> Result<void> {
            rowDone += piece;
            doneOfAll += piece;
            if (!observer.bytes)
                return {};
            return observer.bytes(
                DownloadBytes{i + 1, targetPath, rowDone, sizes.at(i), doneOfAll, totalOfAll});
        };
        if (auto failure = writeRow(row, targetPath, pieceWritten)) {
            outcome.result = -1;
            outcome.failure = std::move(failure);
            return outcome;
        }
        outcome.writtenPaths.append(targetPath);
        highest = std::max(highest, row.componentNumber);
        report(DownloadProgress::Stage::Written, i + 1, targetPath, 2 * i + 2);
    }

    if (const Result<void> recorded =
            m_settings.write(kSettingsKey, kInstalledComponentName, QString::number(highest));
        !recorded) {
        outcome.result = -1;
        outcome.failure =
            NumberedMessage{kMessageDownloadRecordFailed,
                            {QString::number(highest), m_settings.filePath(), recorded.error()}};
        return outcome;
    }
    outcome.recordedComponent = highest;
    return outcome;
}

std::optional<NumberedMessage>
DownloadEngine::writeRow(const VersionRow& row, const QString& targetPath,
                         const std::function<Result<void>(qint64 piece)>& pieceWritten) {
    const auto writeFailure = [&](const QString& reason) {
        return NumberedMessage{kMessageDownloadWriteFailed, {targetPath, reason}};
    };
    // The usual output file writes through a symbolic link to the file it names, which
    // may lie outside the program folder. A link in the target's place is replaced itself instead:
    // the new file is completed under a name of its own next to it and then renamed over the link.
    const bool replacesLink = QFileInfo(targetPath).isSymLink();
    const QString writtenPath = replacesLink ? targetPath + QStringLiteral(".tarnlow-download") : targetPath;
    if (replacesLink) {
        const QFileInfo inTheWay(writtenPath);
        if ((inTheWay.exists() || inTheWay.isSymLink()) && !QFile::remove(writtenPath))
            return writeFailure(
                QStringLiteral("the temporary file %1 is in the way and cannot be removed").arg(writtenPath));
    }

    // The temporary file sits next to the target, so the final rename never crosses a file system;
    // the old file stays in place until the new one is complete on disk.
    const std::unique_ptr<OutputFile> file = createOutputFile(m_outputFiles, writtenPath);
    if (!file->open())
        return writeFailure(file->errorString());
    // The value streams from the database into the temporary file piece by piece.
    std::optional<QString> writeProblem;
    // Each piece is hashed as it is written, so the file is checked without being read again; a
    // file without a record is accepted or refused whatever its bytes, and is not hashed.
    const bool hashing = m_verification && m_verification->hasRecordFor(row);
    Sha256 hash;
    qint64 written = 0;
    const BlobPieceSink sink = [&](QByteArrayView piece) -> Result<void> {
        if (hashing)
            hash.add(piece);
        written += piece.size();
        if (file->write(piece.data(), piece.size()) != piece.size()) {
            writeProblem = file->errorString();
            return Error{*writeProblem};
        }
        if (Result<void> goOn = pieceWritten(piece.size()); !goOn) {
            writeProblem = goOn.error();
            return goOn;
        }
        return {};
    };
    const Result<BlobFound> found = m_sqlca.readBlob(rowLocation(row), sink);
    if (!found || *found != BlobFound::Value)
        file->cancel();
    if (writeProblem)
        return writeFailure(*writeProblem);
    if (!found) {
        const QString reason =
            found.error().isEmpty() ? QStringLiteral("the database reported a failure") : found.error();
        return NumberedMessage{kMessageDownloadFetchFailed, {targetPath, reason}};
    }
    if (*found == BlobFound::NoRow)
        return NumberedMessage{kMessageDownloadRowMissing,
                               {targetPath, row.versionNumber.trimmed(), QString::number(row.componentNumber),
                                QString::number(row.updateIndex)}};
    if (*found == BlobFound::Null)
        return NumberedMessage{kMessageDownloadNullContent, {targetPath}};
    if (auto refused = verifyRow(row, written, hashing ? hash.result() : QByteArray())) {
        file->cancel();
        return refused;
    }
    if (!file->commit())
        return writeFailure(file->errorString());
    if (replacesLink) {
#ifdef Q_OS_UNIX
        // rename() replaces the link itself and never follows it.
        const bool renamed = ::rename(QFile::encodeName(writtenPath).constData(),
                                      QFile::encodeName(targetPath).constData()) == 0;
        const QString reason = renamed ? QString() : systemErrorText(errno);
#else
        const bool renamed = QFile::remove(targetPath) && QFile::rename(writtenPath, targetPath);
        const QString reason = QStringLiteral("the link could not be replaced");
#endif
        if (!renamed) {
            QFile::remove(writtenPath);
            return writeFailure(reason);
        }
        syncFolder(QFileInfo(targetPath).absolutePath());
    }
    return std::nullopt;
}

std::optional<NumberedMessage> DownloadEngine::prepareVerification(DownloadOutcome& outcome) {
    TrustedKeys trusted;
    if (m_trustedKeys) {
        trusted = *m_trustedKeys;
    } else {
        Result<TrustedKeys> loaded = loadTrustedKeys(m_settings, m_programFolder);
        if (!loaded)
            return NumberedMessage{kMsgTrustedKeysUnreadable, {loaded.error()}};
        trusted = *loaded;
    }
    std::variant<DownloadVerification, NumberedMessage> verification =
        DownloadVerification::load(m_sqlca, std::move(trusted));
    if (NumberedMessage* failure = std::get_if<NumberedMessage>(&verification))
        return *failure;
    m_verification = std::get<DownloadVerification>(std::move(verification));
    if (!m_verification->requiresSignatures())
        outcome.notice = NumberedMessage{kMsgDownloadsNotVerified, {}};
    return std::nullopt;
}

std::optional<NumberedMessage> DownloadEngine::verifyRow(const VersionRow& row, qint64 size,
                                                         const QByteArray& sha256) const {
    return m_verification ? m_verification->check(row, size, sha256) : std::nullopt;
}

} // namespace tarnlow
