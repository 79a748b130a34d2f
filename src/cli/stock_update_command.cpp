#include "cli/commands.h"
#include "cli/connection_options.h"

#include "db/transaction.h"
#include "tools/failed_rows_file.h"
#include "tools/stock_update_engine.h"
#include "tools/stock_update_session.h"

#include <QCommandLineParser>

#include <atomic>
#include <csignal>

namespace tarnlow::cli {
namespace {

const QString kDefaultConnectString = QStringLiteral("DSN=PRDLIVE;UID=mavrick;PWD=mavrick");

std::atomic_bool interrupted = false;

extern "C" void stopOnInterrupt(int) {
    interrupted = true;
}

const QString connectOption = QStringLiteral("connect-string");
const QString failedOption = QStringLiteral("failed");
const QString strictOption = QStringLiteral("strict");

void declareStockUpdate(QCommandLineParser& parser) {
    parser.addOptions({
        QCommandLineOption(connectOption, QStringLiteral("ODBC connect string."), QStringLiteral("S"),
                           kDefaultConnectString),
        QCommandLineOption(failedOption, QStringLiteral("Write the failed and no-row keys to this CSV file."),
                           QStringLiteral("OUT.csv")),
        QCommandLineOption(strictOption, QStringLiteral("Count keys that match no row as failures.")),
    });
    addConnectTimeoutOption(parser);
    parser.addPositionalArgument(QStringLiteral("CSV"), QStringLiteral("The stock file."));
}

int runStockUpdateCommand(const QCommandLineParser& parser) {
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(stockUpdateCommand, QStringLiteral("the path of the CSV file is missing"));
    if (positional.size() > 1)
        return usageError(stockUpdateCommand,
                          QStringLiteral("unexpected argument \"%1\"").arg(positional.at(1)));
    const QString path = positional.first();
    const QString connectString = parser.value(connectOption);
    if (parser.isSet(failedOption) && parser.value(failedOption).isEmpty())
        return usageError(stockUpdateCommand, QStringLiteral("--failed needs a file name"));
    const Result<int> connectTimeout = connectTimeoutOption(parser);
    if (!connectTimeout)
        return usageError(stockUpdateCommand, connectTimeout.error());

    const Result<QList<StockRow>> rows = readStockFile(path);
    if (!rows)
        return fail(QStringLiteral("the stock file %1 cannot be used: %2").arg(path, rows.error()));
    printOut(QStringLiteral("rows: %1").arg(rows->size()));

    Transaction odbc;
    configureOdbcTransaction(odbc, connectString);
    if (connectWaitingOnTerminal(odbc, *connectTimeout) != kSqlSuccess)
        return fail(QStringLiteral("cannot connect to the ODBC data source %1: %2")
                        .arg(connectStringForDisplay(connectString), odbc.SQLErrText));

    interrupted = false;
    const auto previous = std::signal(SIGINT, stopOnInterrupt);
    const StockUpdateReport report = runStockUpdate(
        odbc, *rows,
        [](const StockRowOutcome& outcome) {
            // One line per key: the server's text may run over several lines.
            if (outcome.status == StockRowStatus::Failed)
                printOut(QStringLiteral("failed: %1 (line %2): %3")
                             .arg(outcome.shortSku)
                             .arg(outcome.line)
                             .arg(outcome.text.simplified()));
            else if (outcome.status == StockRowStatus::NoRow)
                printOut(QStringLiteral("no row: %1 (line %2)").arg(outcome.shortSku).arg(outcome.line));
        },
        &interrupted);
    std::signal(SIGINT, previous);

    bool failedFileWritten = true;
    if (parser.isSet(failedOption)) {
        const QString out = parser.value(failedOption);
        if (const Result<void> written = writeFailedRowsFile(out, report.problems); !written) {
            printError(QStringLiteral("tarnlow_as_cli: the list of failed rows cannot be written to %1: %2")
                           .arg(out, written.error()));
            failedFileWritten = false;
        }
    }

    switch (report.end) {
    case StockRunEnd::Committed:
        printOut(QStringLiteral("written and committed: %1 of %2 rows; %3 failed; %4 matched no row")
                     .arg(report.written)
                     .arg(report.rowCount)
                     .arg(report.failed)
                     .arg(report.noRow));
        break;
    case StockRunEnd::Stopped:
        return fail(report.isolation == RowIsolation::CommitEachRow
                        ? QStringLiteral("stopped after %1 of %2 rows; the data source has no savepoints, so "
                                         "%3 rows were committed one by one")
                              .arg(report.processed)
                              .arg(report.rowCount)
                              .arg(report.written)
                        : QStringLiteral("stopped after %1 of %2 rows; rolled back, nothing was written")
                              .arg(report.processed)
                              .arg(report.rowCount));
    case StockRunEnd::Failed:
        return fail(QStringLiteral("the stock update failed and was rolled back (%1 rows committed): %2")
                        .arg(report.written)
                        .arg(report.failureText));
    }
    const bool strictFailure = parser.isSet(strictOption) && report.noRow > 0;
    return report.failed > 0 || strictFailure || !failedFileWritten ? kExitFailed : kExitDone;
}

} // namespace

const Command stockUpdateCommand{
    "stock-update",
    "write stock quantities from a CSV file into strivmst of an ODBC data source",
    "stock-update CSV [--connect-string S] [--failed OUT.csv] [--strict] [--connect-timeout SECONDS]\n"
    "  the CSV file names the columns strivmst_short_sku and strivmst_clos_stk_qty in its header row;\n"
    "  S defaults to \"DSN=PRDLIVE;UID=mavrick;PWD=mavrick\". Exit code 1 when a row failed, nothing\n"
    "  could connect, or (with --strict) a key matched no row.",
    declareStockUpdate,
    runStockUpdateCommand,
};

} // namespace tarnlow::cli
