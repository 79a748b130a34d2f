#include "cli/commands.h"
#include "cli/connection_options.h"
#include "cli/signing_options.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "lang/f_msgbox.h"
#include "update/download_engine.h"
#include "update/signature_messages.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace tarnlow::cli {
namespace {

const QString kFolder = QStringLiteral("folder");

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

    SettingsStore settings = SettingsStore::standard();
    Transaction sqlca;
    if (const Result<void> connected = connectForCommand(sqlca, *options, settings); !connected)
        return fail(connected.error());

    DownloadEngine engine(sqlca, settings, targetFolder);
    engine.setTrustedKeys(std::move(*trusted));
    const qint32 installed = installedComponent(settings);
    const auto rows = engine.pendingRows();
    if (!rows)
        return fail(messageText(DownloadEngine::listFailure(rows.error())));
    if (rows->isEmpty()) {
        printOut(QStringLiteral("nothing to download: no stored component is newer than %1 (Comp_ID)")
                     .arg(installed));
        return kExitDone;
    }

    const QList<VersionRow>& list = *rows;
    const DownloadOutcome outcome = engine.download(list, [&](const DownloadProgress& progress) {
        if (progress.stage != DownloadProgress::Stage::Written)
            return;
        const VersionRow& row = list.at(progress.row - 1);
        printOut(QStringLiteral("wrote %1 (component %2, index %3)")
                     .arg(terminalText(progress.targetPath))
                     .arg(row.componentNumber)
                     .arg(row.updateIndex));
    });
    if (outcome.notice)
        printError(QStringLiteral("tarnlow_as_cli: ") + messageText(*outcome.notice));
    if (outcome.failure) {
        printError(QStringLiteral("tarnlow_as_cli: ") + messageText(*outcome.failure));
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
