#include "db/odbc_seam.h"
#include "stock_database.h"
#include "tools/stock_update_engine.h"
#include "tools/stock_update_session.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tarnlow;
using namespace tarnlow::test;

namespace {

// A backend database holding the stock table, and a connection of the tool's own kind to it:
// ODBC, autocommit off, the whole connect string in the further parameters.
class StockUpdate : public ConnectedBackendTest {
protected:
    void SetUp() override {
        ConnectedBackendTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        ASSERT_EQ(createStockTable(sqlca), kSqlSuccess) << sqlca.SQLErrText.toStdString();
        configureOdbcTransaction(odbc, odbcConnectString(*database));
        ASSERT_EQ(odbc.connect(), kSqlSuccess) << odbc.SQLErrText.toStdString();
    }
    QMap<QString, std::pair<double, double>> seenFromAnotherConnection() {
        Transaction second;
        EXPECT_TRUE(connectSecond(*database, second)) << second.SQLErrText.toStdString();
        return stockValues(second);
    }
    QList<StockRow> rows() {
        return {{QStringLiteral("A1"), 3, 2},
                {QStringLiteral("B2"), -1, 3},
                {QStringLiteral("C3"), 2.5, 4},
                {QStringLiteral("ZZ"), 4, 5}};
    }
    Transaction odbc;
};

} // namespace

TEST_P(StockUpdate, WritesEachRowAloneCommitsAtTheEndAndListsFailuresAndUnknownKeys) {
    QList<StockRowOutcome> seen;
    const StockUpdateReport report =
        runStockUpdate(odbc, rows(), [&seen](const StockRowOutcome& outcome) { seen.append(outcome); });
    EXPECT_EQ(report.end, StockRunEnd::Committed) << report.failureText.toStdString();
    EXPECT_EQ(report.isolation, RowIsolation::Savepoint);
    EXPECT_EQ(report.rowCount, 4);
    EXPECT_EQ(report.processed, 4);
    EXPECT_EQ(report.written, 2);
    EXPECT_EQ(report.failed, 1);
    EXPECT_EQ(report.noRow, 1);
    ASSERT_EQ(seen.size(), 4);
    EXPECT_EQ(seen.at(0).status, StockRowStatus::Written);
    EXPECT_EQ(seen.at(2).status, StockRowStatus::Written); // after the failure, still written

    ASSERT_EQ(report.problems.size(), 2);
    EXPECT_EQ(report.problems.at(0).shortSku, QStringLiteral("B2"));
    EXPECT_EQ(report.problems.at(0).status, StockRowStatus::Failed);
    EXPECT_EQ(report.problems.at(0).row, 2);
    EXPECT_EQ(report.problems.at(0).line, 3);
    EXPECT_TRUE(report.problems.at(0).text.contains(QStringLiteral("strivmst_qty_not_negative")) ||
                report.problems.at(0).text.contains(QStringLiteral("CHECK"), Qt::CaseInsensitive))
        << report.problems.at(0).text.toStdString();
    EXPECT_EQ(report.problems.at(1).shortSku, QStringLiteral("ZZ"));
    EXPECT_EQ(report.problems.at(1).status, StockRowStatus::NoRow);
    EXPECT_TRUE(report.problems.at(1).text.isEmpty());

    // Committed: another connection sees the new quantities and costs, other stores untouched.
    EXPECT_EQ(seenFromAnotherConnection(), updatedStockValues());
    // The connection goes on with a fresh transaction, ready for the next run.
    EXPECT_TRUE(odbc.inTransaction());
}

// SQL Server under SET NOCOUNT ON reports -1 rows for every update (played here through the ODBC
// seam): the key's rows are counted again instead, so a written row is not taken for "no row".
TEST_P(StockUpdate, RowsTheDriverGaveNoCountForAreCountedByKey) {
    const ScopedOdbcSeam noCount(OdbcSeam{{}, {}, [](const QString&, qint64) { return qint64{-1}; }});
    QStringList sent;
    odbc.statementObserver = [&sent](const QString& sql) { sent.append(sql); };
    const StockUpdateReport report = runStockUpdate(odbc, rows());
    EXPECT_EQ(report.end, StockRunEnd::Committed) << report.failureText.toStdString();
    EXPECT_EQ(report.written, 2);
    EXPECT_EQ(report.failed, 1);
    EXPECT_EQ(report.noRow, 1);
    EXPECT_EQ(seenFromAnotherConnection(), updatedStockValues());
    // The texts SQL Server receives for the first row, after the savepoint probe.
    const qsizetype first = sent.indexOf(kStockUpdateStatement);
    ASSERT_GT(first, 0);
    EXPECT_EQ(sent.mid(first - 1, 4),
              (QStringList{
                  QStringLiteral("SAVEPOINT tarnlow_stock_row"),
                  QStringLiteral("update strivmst set clos_stk_qty =? , clos_stk_cost =? *str_last_avg_cost "
                                 "where short_sku =? and store ='0104' "),
                  QStringLiteral("select count ( *) from strivmst where short_sku =? and store ='0104' "),
                  QStringLiteral("RELEASE SAVEPOINT tarnlow_stock_row")}));
}

TEST_P(StockUpdate, StopRollsTheWholeRunBack) {
    std::atomic_bool stop = false;
    const StockUpdateReport report = runStockUpdate(
        odbc, rows(), [&stop](const StockRowOutcome& outcome) { stop = outcome.row == 1; }, &stop);
    EXPECT_EQ(report.end, StockRunEnd::Stopped);
    EXPECT_EQ(report.processed, 1);
    EXPECT_EQ(report.written, 0);
    EXPECT_EQ(seenFromAnotherConnection(), initialStockValues());
}

TEST_P(StockUpdate, NoRowsCommitNothingAndNoConnectionFails) {
    const StockUpdateReport empty = runStockUpdate(odbc, {});
    EXPECT_EQ(empty.end, StockRunEnd::Committed);
    EXPECT_EQ(empty.rowCount, 0);
    EXPECT_EQ(empty.written, 0);

    odbc.disconnect();
    const StockUpdateReport unconnected = runStockUpdate(odbc, rows());
    EXPECT_EQ(unconnected.end, StockRunEnd::Failed);
    EXPECT_FALSE(unconnected.failureText.isEmpty());
    EXPECT_EQ(seenFromAnotherConnection(), initialStockValues());
}

TEST_P(StockUpdate, AutocommitConnectionIsWrappedInOneTransaction) {
    Transaction autocommit;
    database->configure(autocommit);
    ASSERT_EQ(autocommit.connect(), kSqlSuccess);
    ASSERT_TRUE(autocommit.AutoCommit);
    const StockUpdateReport report = runStockUpdate(autocommit, rows());
    EXPECT_EQ(report.end, StockRunEnd::Committed) << report.failureText.toStdString();
    EXPECT_EQ(report.written, 2);
    EXPECT_FALSE(autocommit.inTransaction());
    EXPECT_EQ(seenFromAnotherConnection(), updatedStockValues());
}

TEST_P(StockUpdate, SessionConnectsAndRunsOnItsOwnThread) {
    odbc.disconnect();
    StockUpdateSession session;
    QSignalSpy connected(&session, &StockUpdateSession::connectFinished);
    session.connectTo(QStringLiteral("Driver={NoSuchDriver};Database=x"));
    ASSERT_TRUE(connected.wait(30000));
    EXPECT_FALSE(connected.takeFirst().at(0).toBool());
    EXPECT_FALSE(session.connected());

    session.connectTo(odbcConnectString(*database));
    ASSERT_TRUE(connected.wait(30000));
    EXPECT_TRUE(connected.takeFirst().at(0).toBool());
    EXPECT_TRUE(session.connected());

    QList<int> rowsSeen;
    StockUpdateReport finished;
    bool done = false;
    QObject::connect(&session, &StockUpdateSession::rowDone, &session,
                     [&rowsSeen](const StockRowOutcome& outcome) { rowsSeen.append(outcome.row); });
    QObject::connect(&session, &StockUpdateSession::runFinished, &session,
                     [&](const StockUpdateReport& report) {
                         finished = report;
                         done = true;
                     });
    session.start(rows());
    EXPECT_TRUE(session.busy());
    EXPECT_TRUE(session.running());
    QSignalSpy ran(&session, &StockUpdateSession::runFinished);
    ASSERT_TRUE(ran.wait(60000));
    EXPECT_TRUE(done);
    EXPECT_FALSE(session.busy());
    EXPECT_FALSE(session.running());
    EXPECT_EQ(rowsSeen, (QList<int>{1, 2, 3, 4}));
    EXPECT_EQ(finished.written, 2);
    EXPECT_EQ(seenFromAnotherConnection(), updatedStockValues());
}

INSTANTIATE_TEST_SUITE_P(Odbc, StockUpdate,
                         ::testing::Values(Backend::OdbcPostgres, Backend::OdbcSqlite,
                                           Backend::OdbcPgBouncer),
                         backendTestName);

// With the driver told to leave failed statements to the application, PostgreSQL aborts the open
// transaction at the first failure; the savepoint of each row is what keeps the rest alive.
TEST(StockUpdateOnPostgres, SavepointsKeepTheRunAliveWhenTheDriverDoesNotRollBackStatements) {
    BackendDatabase database(Backend::OdbcPostgres);
    TARNLOW_REQUIRE_BACKEND(database);
    Transaction owner;
    database.configure(owner);
    ASSERT_EQ(owner.connect(), kSqlSuccess) << owner.SQLErrText.toStdString();
    ASSERT_EQ(createStockTable(owner), kSqlSuccess) << owner.SQLErrText.toStdString();
    const QString connectString = odbcConnectString(database) + QStringLiteral(";Protocol=7.4-0");

    // The option took effect: without a savepoint a failure spoils the transaction.
    Transaction plain;
    configureOdbcTransaction(plain, connectString);
    ASSERT_EQ(plain.connect(), kSqlSuccess) << plain.SQLErrText.toStdString();
    EXPECT_LT(plain.execute(kStockUpdateStatement, {-1.0, -1.0, QStringLiteral("B2")}), 0);
    EXPECT_LT(plain.execute(kStockUpdateStatement, {1.0, 1.0, QStringLiteral("A1")}), 0);
    EXPECT_TRUE(plain.SQLErrText.contains(QStringLiteral("aborted"))) << plain.SQLErrText.toStdString();
    plain.disconnect();

    Transaction odbc;
    configureOdbcTransaction(odbc, connectString);
    ASSERT_EQ(odbc.connect(), kSqlSuccess) << odbc.SQLErrText.toStdString();
    const StockUpdateReport report = runStockUpdate(odbc, {{QStringLiteral("A1"), 3, 2},
                                                           {QStringLiteral("B2"), -1, 3},
                                                           {QStringLiteral("C3"), 2.5, 4},
                                                           {QStringLiteral("ZZ"), 4, 5}});
    EXPECT_EQ(report.end, StockRunEnd::Committed) << report.failureText.toStdString();
    EXPECT_EQ(report.written, 2);
    EXPECT_EQ(report.failed, 1);
    odbc.disconnect();
    EXPECT_EQ(stockValues(owner), updatedStockValues());
}
