#include "cli/background_work.h"
#include "cli/commands.h"
#include "cli/connection_options.h"
#include "cli/interrupt.h"
#include "cli/progress_line.h"
#include "cli/signing_options.h"

#include "db/transaction.h"
#include "host/progress_throttle.h"
#include "host/settings_store.h"
#include "lang/f_msgbox.h"
#include "update/client_record.h"
#include "update/completed_components.h"
#include "update/download_engine.h"
#include "update/signature_messages.h"

#include <QCommandLineParser>

#include <QDir>
#include <QFileInfo>
#include <memory>

namespace tarnlow::cli {
namespace {

const QString kFolder = QStringLiteral("folder");

// The download's progress on the terminal's progress line, the files written on standard output,
// and Ctrl+C's stop, from the worker's thread.
DownloadObserver downloadObserverOnLine(const DatabaseWorker::Job& job, ProgressLine& line,
                                        const QList<VersionRow>& list) {
    auto throttle = std::make_shared<ProgressThrottle>();
    DownloadObserver observer;
    observer.progress = [&job, &line, &list](const DownloadProgress& progress) {
        if (progress.stage != DownloadProgress::Stage::Written)
            return;
        job.post([&line, &list, progress] {
            line.clear();
            const VersionRow& row = list.at(progress.row - 1);
            printOut(QStringLiteral("wrote %1 (component %2, index %3)")
                         .arg(terminalText(progress.targetPath))
                         .arg(row.componentNumber)
                         .arg(row.updateIndex));
        });
    };
    observer.bytes = [&job, &line, throttle](const DownloadBytes& bytes) -> Result<void> {
        if (job.cancelRequested())
            return Error{QStringLiteral("stopped by Ctrl+C")};
        if (throttle->due(bytes.rowDone == bytes.rowSize))
            job.post([&line, bytes] {
                line.update(bytes.doneOfAll, bytes.totalOfAll, QFileInfo(bytes.targetPath).fileName());
            });
        return {};
    };
    return observer;
}

// Records the check in T_SYS_CLIENT. A database that does not take the row is said once on standard
// error and changes neither the download nor the exit code.
void recordCheck(Transaction& sqlca, const SettingsStore& settings, const QString& folder,
                 const std::optional<NumberedMessage>& failure = std::nullopt) {
    if (const auto problem = recordVersionCheck(sqlca, settings, folder, failure))
        printError(QStringLiteral("tarnlow_as_cli: ") + messageText(*problem));
}

void declareSync(QCommandLineParser& parser) {
    parser.addOption(
        QCommandLineOption(kFolder, QStringLiteral("Write the files into DIR instead of the program folder."),
                           QStringLiteral("DIR")));
    addConnectionOptions(parser);
}

int runSync(const QCommandLineParser& parser) {
    const auto options = connectionOptions(parser);
    if (!options)
        return usageError(syncCommand, options.error());
    std::optional<QString> folderOption;
    if (parser.isSet(kFolder)) {
        folderOption = parser.value(kFolder);
        if (folderOption->isEmpty())
            return usageError(syncCommand, QStringLiteral("--folder needs a folder"));
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            syncCommand,
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    QString targetFolder = programFolder();
    if (folderOption) {
        const QFileInfo info(*folderOption);
        if (!info.isDir())
            return fail(QStringLiteral("the folder %1 does not exist or is not a folder").arg(*folderOption));
        targetFolder = info.absoluteFilePath() + QLatin1Char('/');
    }

    // The keys of this program's folder, also when the files go elsewhere.
    Result<TrustedKeys> trusted = clientTrustedKeys();
    if (!trusted)
        return fail(messageText(NumberedMessage{kMsgTrustedKeysUnreadable, {trusted.error()}}));

    // Ctrl+C before the download runs ends the command at once: nothing has been changed yet.
    InterruptWatch watch;
    SettingsStore settings = SettingsStore::standard();
    Transaction sqlca;
    if (const Result<void> connected = connectForCommand(sqlca, *options, settings); !connected)
        return fail(connected.error());

    DownloadEngine engine(sqlca, settings, targetFolder);
    const TrustedKeys trustedKeys = std::move(*trusted);
    engine.setTrustedKeys(trustedKeys);
    const qint32 installed = installedComponent(settings);
    const auto rows = engine.pendingRows();
    if (!rows) {
        const NumberedMessage failure = DownloadEngine::listFailure(rows.error());
        recordCheck(sqlca, settings, targetFolder, failure);
        return fail(messageText(failure));
    }
    if (rows->isEmpty()) {
        printOut(QStringLiteral("nothing to download: no stored component is newer than %1 (Comp_ID)")
                     .arg(installed));
        recordCheck(sqlca, settings, targetFolder);
        return kExitDone;
    }
    // The work runs on the worker's thread with this one connection, so that Ctrl+C is answered
    // while it works.

    const QList<VersionRow>& list = *rows;
    ProgressLine line;
    const BackgroundResult<DownloadOutcome> finished = runConnectedInBackground<DownloadOutcome>(
        watch, sqlca,
        [&](DatabaseWorker::Job& job) {
            SettingsStore workerSettings(settings.filePath());
            DownloadEngine worker(job.connection(), workerSettings, targetFolder);
            worker.setTrustedKeys(trustedKeys);
            return worker.download(list, downloadObserverOnLine(job, line, list));
        },
        [&line] { line.clear(); });
    line.clear();
    const bool interrupted = finished.interrupted;
    if (!finished.outcome) {
        if (interrupted)
            return interruptedFailure(
                QStringLiteral("stopped by Ctrl+C before any file was written; Comp_ID stays %1")
                    .arg(installed));
        return fail(QStringLiteral("cannot connect to the database: ") + finished.connectFailure);
    }
    const DownloadOutcome& outcome = *finished.outcome;
    if (outcome.notice)
        printError(QStringLiteral("tarnlow_as_cli: ") + messageText(*outcome.notice));
    if (interrupted && outcome.failure) {
        const std::optional<qint32> recorded =
            recordCompletedComponents(settings, list, outcome.writtenPaths.size(), installed);
        return interruptedFailure(
            QStringLiteral(
                "stopped by Ctrl+C after %1 of %2 files; the file being written was discarded, the "
                "files written stay; Comp_ID %3")
                .arg(outcome.writtenPaths.size())
                .arg(list.size())
                .arg(!recorded ? QStringLiteral("could not be written and stays %1").arg(installed)
                     : *recorded == installed ? QStringLiteral("stays %1").arg(installed)
                                              : QStringLiteral("is now %1").arg(*recorded)));
    }
    if (outcome.failure) {
        printError(QStringLiteral("tarnlow_as_cli: ") + messageText(*outcome.failure));
        recordCheck(sqlca, settings, targetFolder, outcome.failure);
        printError(QStringLiteral("tarnlow_as_cli: stopped after %1 of %2 files; Comp_ID stays %3")
                       .arg(outcome.writtenPaths.size())
                       .arg(list.size())
                       .arg(installed));
        return kExitFailed;
    }
    printOut(QStringLiteral("downloaded %1 files into %2; Comp_ID is now %3")
                 .arg(outcome.writtenPaths.size())
                 .arg(QDir::toNativeSeparators(targetFolder))
                 .arg(*outcome.recordedComponent));
    recordCheck(sqlca, settings, targetFolder);
    return kExitDone;
}

} // namespace

const Command syncCommand{
    "sync",
    "download the stored program files of newer components into the program folder",
    "sync [--folder DIR] [connection options]",
    declareSync,
    runSync,
};

} // namespace tarnlow::cli
