#include "cli/commands.h"
#include "cli/connection_options.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "lang/f_msgbox.h"
#include "schema/schema_bootstrap.h"

#include <QCommandLineParser>

namespace tarnlow::cli {
namespace {

const QString kForce = QStringLiteral("force");

void declareInit(QCommandLineParser& parser) {
    parser.addOption(QCommandLineOption(
        kForce, QStringLiteral("Also when this deletes rows the system tables still hold.")));
    addConnectionOptions(parser);
}

int runInit(const QCommandLineParser& parser) {
    const auto options = connectionOptions(parser);
    if (!options)
        return usageError(initCommand, options.error());
    const bool force = parser.isSet(kForce);
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            initCommand,
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    SettingsStore settings = SettingsStore::standard();
    Transaction sqlca;
    if (const Result<void> connected = connectForCommand(sqlca, *options, settings); !connected)
        return fail(connected.error());

    // Without --force, tables that still hold rows are never dropped.
    const DropQuestion question = [force](const NumberedMessage&, const QList<TableRows>& tables) {
        if (force)
            printOut(QStringLiteral("deleting the rows of %1 (--force)").arg(describeTableRows(tables)));
        return force;
    };
    const SystemTablesOutcome outcome = ensureSystemTables(sqlca, settings, question);
    switch (outcome.state) {
    case SystemTablesState::AlreadyInitialised:
        printOut(QStringLiteral("the system tables are initialised; nothing was changed"));
        return kExitDone;
    case SystemTablesState::Declined:
        printOut(
            QStringLiteral("the system tables need initialisation: %1").arg(messageText(outcome.reason)));
        return fail(messageText({kMessageRowsNeedForce, {describeTableRows(outcome.droppedRows)}}));
    case SystemTablesState::Unreadable:
    case SystemTablesState::Failed:
        if (outcome.reason.number != 0)
            printOut(
                QStringLiteral("the system tables need initialisation: %1").arg(messageText(outcome.reason)));
        return fail(outcome.message ? messageText(*outcome.message)
                                    : QStringLiteral("the system tables could not be initialised"));
    case SystemTablesState::Initialised:
        break;
    }
    printOut(QStringLiteral("the system tables needed initialisation: %1").arg(messageText(outcome.reason)));
    printOut(QStringLiteral("created %1, %2 and %3 with the first-run marker and %4 default menu rows")
                 .arg(kSystemMenuTable, kSystemConfigTable, kSystemVersionTable)
                 .arg(kDefaultMenuRowCount));
    if (outcome.message)
        printError(QStringLiteral("tarnlow_as_cli: ") + messageText(*outcome.message));
    else
        printOut(QStringLiteral("Comp_ID = 0: every stored component will be downloaded again"));
    return kExitDone;
}

} // namespace

const Command initCommand{
    "init",
    "check the system tables and create them when they are missing or not initialised",
    "init [--force] [connection options]",
    declareInit,
    runInit,
};

} // namespace tarnlow::cli
