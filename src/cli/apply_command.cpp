#include "cli/background_work.h"
#include "cli/commands.h"
#include "cli/connection_options.h"
#include "cli/interrupt.h"
#include "cli/progress_line.h"
#include "cli/signing_options.h"

#include "db/transaction.h"
#include "host/progress_throttle.h"
#include "host/settings_store.h"
#include "host/shown_text.h"
#include "lang/f_msgbox.h"
#include "update/import_engine.h"
#include "update/signature_messages.h"

#include <QCommandLineParser>

#include <memory>

namespace tarnlow::cli {
namespace {

// The import's progress on the terminal's progress line, and Ctrl+C's stop, from the worker's
// thread.
ImportObserver importObserverOnLine(const DatabaseWorker::Job& job, ProgressLine& line) {
    auto current = std::make_shared<QString>();
    auto throttle = std::make_shared<ProgressThrottle>();
    ImportObserver observer;
    observer.fileStarted = [current](const ImportFile& file) {
        *current = QStringView(file.name).trimmed().toString();
    };
    observer.bytes = [&job, &line, current, throttle](qint64 done, qint64 total) -> Result<void> {
        if (job.cancelRequested())
            return Error{QStringLiteral("stopped by Ctrl+C")};
        if (throttle->due(done == total))
            job.post([&line, done, total, name = *current] { line.update(done, total, name); });
        return {};
    };
    return observer;
}

void declareApply(QCommandLineParser& parser) {
    parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("The update package (.fuf)."));
    addConnectionOptions(parser);
}

int runApply(const QCommandLineParser& parser) {
    const auto options = connectionOptions(parser);
    if (!options)
        return usageError(applyCommand, options.error());
    const QStringList rest = parser.positionalArguments();
    if (rest.isEmpty())
        return usageError(applyCommand, QStringLiteral("the path of the update package is missing"));
    if (rest.size() > 1)
        return usageError(applyCommand, QStringLiteral("unexpected argument \"%1\"").arg(rest.at(1)));
    const QString path = rest.first();

    const Result<TrustedKeys> trusted = clientTrustedKeys();
    if (!trusted)
        return fail(messageText(NumberedMessage{kMsgTrustedKeysUnreadable, {trusted.error()}}));
    const TrustedKeys& trustedKeys = *trusted;

    // Ctrl+C before the import runs ends the command at once: nothing has been changed yet.
    InterruptWatch watch;
    SettingsStore settings = SettingsStore::standard();
    Transaction sqlca;
    if (const Result<void> connected = connectForCommand(sqlca, *options, settings); !connected)
        return fail(connected.error());
    // The work runs on the worker's thread with this one connection, so that Ctrl+C is answered
    // while it works.

    ProgressLine line;
    const BackgroundResult<ImportReport> finished = runConnectedInBackground<ImportReport>(
        watch, sqlca,
        [&](DatabaseWorker::Job& job) {
            return importPackage(job.connection(), path, importObserverOnLine(job, line), trustedKeys);
        },
        [&line] { line.clear(); });
    line.clear();
    const bool interrupted = finished.interrupted;
    if (!finished.outcome) {
        if (interrupted)
            return interruptedFailure(QStringLiteral("stopped by Ctrl+C; nothing of the package is stored"));
        return fail(QStringLiteral("cannot connect to the database: ") + finished.connectFailure);
    }
    const ImportReport& report = *finished.outcome;
    if (interrupted && report.result == ImportResult::Failed)
        return interruptedFailure(
            QStringLiteral("stopped by Ctrl+C; nothing of the package is stored, the database is as it was"));
    if (!report.signedBy.isEmpty())
        printOut(QStringLiteral("signature of key %1 verified").arg(report.signedBy));
    if (report.warning)
        printError(QStringLiteral("tarnlow_as_cli: ") + messageText(*report.warning));
    switch (report.result) {
    case ImportResult::Stored:
        for (const ImportFile& file : report.files)
            printOut(QStringLiteral("stored %1 %2 (%3 bytes) as update index %4")
                         .arg(terminalText(file.versionLabel), shownName(file.name))
                         .arg(file.size)
                         .arg(file.updateIndex));
        printOut(QStringLiteral("stored %1 files of version %2 component %3")
                     .arg(report.files.size())
                     .arg(report.version)
                     .arg(report.component));
        return kExitDone;
    case ImportResult::AlreadyStored:
        // Opening a stored package runs its script again; say so rather than "nothing".
        printOut(QStringLiteral("version %1 component %2 is already stored: %3")
                     .arg(report.version)
                     .arg(report.component)
                     .arg(report.scriptRan
                              ? QStringLiteral("its SQL script ran again; its files were already there")
                              : QStringLiteral("its files were already there; nothing changed")));
        return kExitDone;
    case ImportResult::Failed:
        break;
    }
    return fail(report.failure ? messageText(*report.failure)
                               : QStringLiteral("the package was not applied"));
}

} // namespace

const Command applyCommand{
    "apply",
    "store the files of an update package in the database and run its SQL script",
    "apply PATH [connection options]",
    declareApply,
    runApply,
};

} // namespace tarnlow::cli
