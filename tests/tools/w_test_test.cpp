#include "host/object_library.h"
#include "lang/f_msgbox.h"
#include "lang/language_globals.h"
#include "stock_database.h"
#include "support/message_box_recorder.h"
#include "tools/row_table_model.h"
#include "tools/tools_messages.h"
#include "tools/w_test.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

using namespace tarnlow;
using namespace tarnlow::test;

namespace {

// The window on the PostgreSQL test server through unixODBC, with answered file dialogs, recorded
// message boxes and the English language file.
class TestWindow : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath = gs_path;
        savedLang = gs_lang;
        gs_path = binaryDirectory() + QLatin1Char('/');
        gs_lang = QStringLiteral("English.flf");
        database = std::make_unique<BackendDatabase>(Backend::OdbcPostgres);
        TARNLOW_REQUIRE_BACKEND(*database);
        database->configure(owner);
        ASSERT_EQ(owner.connect(), kSqlSuccess) << owner.SQLErrText.toStdString();
        ASSERT_EQ(createStockTable(owner), kSqlSuccess) << owner.SQLErrText.toStdString();
    }
    void TearDown() override {
        window.reset();
        gs_path = savedPath;
        gs_lang = savedLang;
    }
    TestWindowOptions options(const QString& connectString) {
        TestWindowOptions result;
        result.connectString = connectString;
        result.dialogs.openFile = [this](QWidget*, const QString& title, const QString&) {
            openTitles.append(title);
            return openAnswer;
        };
        result.dialogs.saveFile = [this](QWidget*, const QString&, const QString& proposed, const QString&) {
            saveProposals.append(proposed);
            return saveAnswer;
        };
        return result;
    }
    // Opens the window and waits for its connection on opening.
    void open(const QString& connectString) {
        window = std::make_unique<w_test>(options(connectString));
        QSignalSpy attempted(window.get(), &w_test::connectionAttempted);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(attempted.wait(30000));
    }
    void runUpdate() {
        QSignalSpy finished(window.get(), &w_test::stockUpdateFinished);
        QTest::mouseClick(window->cb_1, Qt::LeftButton);
        ASSERT_TRUE(finished.count() == 1 || finished.wait(60000));
    }
    QString file(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(scratch.write(name, bytes));
        return scratch.file(name);
    }
    QStringList texts() const {
        QStringList list;
        for (const MessageBoxRequest& request : boxes.requests())
            list.append(request.text);
        return list;
    }
    QStringList titles() const {
        QStringList list;
        for (const MessageBoxRequest& request : boxes.requests())
            list.append(request.title);
        return list;
    }
    QMap<QString, std::pair<double, double>> seenFromAnotherConnection() {
        Transaction second;
        EXPECT_TRUE(connectSecond(*database, second)) << second.SQLErrText.toStdString();
        return stockValues(second);
    }

    ScratchFolder scratch;
    MessageBoxRecorder boxes;
    std::unique_ptr<BackendDatabase> database;
    Transaction owner;
    std::unique_ptr<w_test> window;
    std::optional<QString> openAnswer;
    std::optional<QString> saveAnswer;
    QStringList openTitles;
    QStringList saveProposals;
    QString savedPath;
    QString savedLang;
};

} // namespace

TEST_F(TestWindow, ControlsAndTheirTexts) {
    open(odbcConnectString(*database));
    // Title, captions and buttons from the language file in use.
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ODBC test"));
    EXPECT_EQ(window->cb_1->text(), QStringLiteral("&Update stock"));
    EXPECT_FALSE(window->sle_connect->text().contains(database->server()->password));
    EXPECT_EQ(window->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(window->font().pointSize(), 10);
    EXPECT_EQ(window->st_1->text(), QStringLiteral("none"));
    EXPECT_EQ(window->st_2->text(), QStringLiteral("none"));
    EXPECT_TRUE(window->connected());
    EXPECT_EQ(window->failedRows()->columns().first(), QStringLiteral("file_write"));
    EXPECT_TRUE(window->st_connection->text().contains(QStringLiteral("PWD=***")));
    EXPECT_FALSE(window->st_connection->text().contains(database->server()->password));
    EXPECT_TRUE(boxes.requests().isEmpty());
}

TEST_F(TestWindow, StockUpdateListsFailedRowsCommitsAndOffersTheSave) {
    open(odbcConnectString(*database));
    openAnswer = file(QStringLiteral("stock.csv"), kStockFile);
    QTest::mouseClick(window->cb_open, Qt::LeftButton);
    ASSERT_EQ(window->sourceRows()->rowCount(), 4);
    EXPECT_EQ(window->st_2->text(), QStringLiteral("4"));

    saveAnswer = scratch.file(QStringLiteral("failed.csv"));
    runUpdate();
    EXPECT_EQ(window->st_1->text(), QStringLiteral("4"));
    const QList<QStringList> failed = window->failedRows()->rows();
    ASSERT_EQ(failed.size(), 2);
    EXPECT_EQ(failed.at(0).mid(0, 2), (QStringList{QStringLiteral("B2"), QStringLiteral("failed")}));
    EXPECT_TRUE(failed.at(0).at(2).contains(QStringLiteral("strivmst_qty_not_negative")));
    EXPECT_EQ(failed.at(1), (QStringList{QStringLiteral("ZZ"), QStringLiteral("no row"), QString()}));
    ASSERT_EQ(texts().size(), 1);
    EXPECT_EQ(texts().first(),
              QStringLiteral("4 rows were read from the stock file: 2 were written and committed, 1 "
                             "failed and 1 keys matched no row of store 0104. The rows not "
                             "written are listed."));
    EXPECT_EQ(saveProposals, QStringList{scratch.file(QStringLiteral("failed_rows.csv"))});
    const QString saved = QString::fromUtf8(scratch.read(QStringLiteral("failed.csv")));
    EXPECT_TRUE(saved.startsWith(QStringLiteral("file_write,status,message\nB2,failed,")));
    EXPECT_TRUE(saved.endsWith(QStringLiteral("ZZ,no row,\n")));

    // Committed while the window is still open, and kept after it closes.
    EXPECT_EQ(seenFromAnotherConnection(), updatedStockValues());
    window->close();
    window.reset();
    EXPECT_EQ(seenFromAnotherConnection(), updatedStockValues());
}

TEST_F(TestWindow, EmptyStockFileShowsZeroAndStillOffersTheSave) {
    open(odbcConnectString(*database));
    ASSERT_TRUE(window->loadStockFile(file(QStringLiteral("empty.csv"), "")));
    saveAnswer = scratch.file(QStringLiteral("failed.csv"));
    runUpdate();
    EXPECT_EQ(window->st_2->text(), QStringLiteral("0"));
    EXPECT_EQ(saveProposals.size(), 1);
    EXPECT_EQ(scratch.read(QStringLiteral("failed.csv")), QByteArray("file_write,status,message\n"));
    EXPECT_EQ(seenFromAnotherConnection(), initialStockValues());
}

TEST_F(TestWindow, RefusedFileKeepsTheRowsAndAnExistingSaveTargetIsAskedAbout) {
    open(odbcConnectString(*database));
    ASSERT_TRUE(window->loadStockFile(file(QStringLiteral("stock.csv"), kStockFile)));
    EXPECT_FALSE(window->loadStockFile(file(QStringLiteral("bad.csv"), "strivmst_short_sku\nA1\n")));
    EXPECT_EQ(window->sourceRows()->rowCount(), 4);
    ASSERT_EQ(texts().size(), 1);
    EXPECT_TRUE(texts().first().contains(QStringLiteral("names no column strivmst_clos_stk_qty")));

    boxes.clear();
    saveAnswer = file(QStringLiteral("old.csv"), "keep me");
    boxes.queueAnswer(1); // the summary
    boxes.queueAnswer(2); // do not replace
    runUpdate();
    ASSERT_EQ(boxes.requests().size(), 2);
    EXPECT_EQ(boxes.requests().at(1).buttons, MessageButtons::YesNo);
    EXPECT_EQ(scratch.read(QStringLiteral("old.csv")), QByteArray("keep me"));
}

TEST_F(TestWindow, FailedConnectShowsTheDriversTextAndNothingRuns) {
    open(QStringLiteral("DSN=TarnlowNoSuchSource;UID=u;PWD=secret"));
    EXPECT_FALSE(window->connected());
    EXPECT_TRUE(boxes.requests().isEmpty()); // opening only says so in the window
    EXPECT_TRUE(window->st_connection->text().startsWith(QStringLiteral("Not connected")));

    QSignalSpy attempted(window.get(), &w_test::connectionAttempted);
    QTest::mouseClick(window->cb_connect, Qt::LeftButton);
    ASSERT_TRUE(attempted.wait(30000));
    ASSERT_EQ(texts().size(), 1);
    EXPECT_TRUE(texts().first().startsWith(QStringLiteral(
        "The ODBC data source DSN=TarnlowNoSuchSource;UID=u;PWD=*** cannot be connected. The driver says: ")))
        << texts().first().toStdString();
    EXPECT_GT(texts().first().size(), 100);

    boxes.clear();
    ASSERT_TRUE(window->loadStockFile(file(QStringLiteral("stock.csv"), kStockFile)));
    QTest::mouseClick(window->cb_1, Qt::LeftButton);
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "Connect to the ODBC data source first; nothing has been written.")});

    // Another data source typed into the field connects.
    window->sle_connect->setText(odbcConnectString(*database));
    QTest::mouseClick(window->cb_connect, Qt::LeftButton);
    ASSERT_TRUE(attempted.wait(30000));
    EXPECT_TRUE(window->connected());
}

TEST_F(TestWindow, StopDuringARunRollsItBack) {
    open(odbcConnectString(*database));
    QByteArray many = "strivmst_short_sku,strivmst_clos_stk_qty\n";
    for (int i = 0; i < 3000; ++i)
        many += (i % 2 ? "A1,1\n" : "C3,1\n");
    ASSERT_TRUE(window->loadStockFile(file(QStringLiteral("many.csv"), many)));
    QSignalSpy finished(window.get(), &w_test::stockUpdateFinished);
    QTest::mouseClick(window->cb_1, Qt::LeftButton);
    EXPECT_TRUE(window->cb_stop->isEnabled());
    EXPECT_FALSE(window->cb_1->isEnabled());
    QTest::mouseClick(window->cb_stop, Qt::LeftButton);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(window->lastReport().end, StockRunEnd::Stopped);
    ASSERT_EQ(boxes.requests().size(), 1);
    EXPECT_TRUE(texts().first().contains(QStringLiteral("rolled back")));
    EXPECT_TRUE(saveProposals.isEmpty());
    EXPECT_EQ(seenFromAnotherConnection(), initialStockValues());
}

TEST_F(TestWindow, ClosingDuringARunAsksThenRollsBackAndCloses) {
    open(odbcConnectString(*database));
    QByteArray many = "strivmst_short_sku,strivmst_clos_stk_qty\n";
    for (int i = 0; i < 3000; ++i)
        many += "A1,1\n";
    ASSERT_TRUE(window->loadStockFile(file(QStringLiteral("many.csv"), many)));
    QSignalSpy finished(window.get(), &w_test::stockUpdateFinished);
    QTest::mouseClick(window->cb_1, Qt::LeftButton);
    boxes.queueAnswer(1);
    window->close();
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(boxes.requests().size(), 1);
    EXPECT_EQ(boxes.requests().first().text, messageText(kMsgTestCloseWhileRunning));
    EXPECT_EQ(seenFromAnotherConnection(), initialStockValues());
}

namespace {

// The scan needs no data source: the window opens without connecting.
class ScanWindow : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath = gs_path;
        savedLang = gs_lang;
        gs_path = binaryDirectory() + QLatin1Char('/');
        gs_lang = QStringLiteral("English.flf");
        TestWindowOptions options;
        options.connectOnOpen = false;
        options.dialogs.openFile = [this](QWidget*, const QString&, const QString&) { return openAnswer; };
        window = std::make_unique<w_test>(options);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void scan(const QByteArray& bytes) {
        ASSERT_TRUE(scratch.write(QStringLiteral("s2004g20.001"), bytes));
        openAnswer = scratch.file(QStringLiteral("s2004g20.001"));
        QSignalSpy finished(window.get(), &w_test::scanFinished);
        QTest::mouseClick(window->cb_2, Qt::LeftButton);
        ASSERT_TRUE(finished.wait(30000));
    }
    QStringList boxTexts() const {
        QStringList list;
        for (const MessageBoxRequest& request : boxes.requests())
            list.append(request.title + QLatin1Char('|') + request.text);
        return list;
    }
    QStringList listed() const {
        QStringList list;
        for (int i = 0; i < window->lb_findings->count(); ++i)
            list.append(window->lb_findings->item(i)->text());
        return list;
    }
    void TearDown() override {
        window.reset();
        gs_path = savedPath;
        gs_lang = savedLang;
    }
    ScratchFolder scratch;
    MessageBoxRecorder boxes;
    std::unique_ptr<w_test> window;
    std::optional<QString> openAnswer;
    QString savedPath;
    QString savedLang;
};

} // namespace

TEST_F(ScanWindow, NoControlCharactersNoBox) {
    scan("plain text");
    EXPECT_TRUE(boxes.requests().isEmpty());
    ASSERT_EQ(listed().size(), 1);
    EXPECT_TRUE(listed().first().endsWith(QStringLiteral("(10 bytes) holds no control characters.")));
}

TEST_F(ScanWindow, TabAndLineFeedGiveTwoBoxesInCodeOrderAndStayListed) {
    scan(QByteArray("ab\ncd\0\tx\n", 9));
    EXPECT_EQ(boxTexts(), (QStringList{QStringLiteral("7|9"), QStringLiteral("3|10")}));
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("code 9 first at byte 7"),
                                     QStringLiteral("code 10 first at byte 3")}));
}

TEST_F(ScanWindow, SecondPieceIsFoundAtItsTruePosition) {
    QByteArray bytes(32766, 'x');
    bytes[32765] = '\t';
    scan(bytes);
    ASSERT_TRUE(window->lastScan().has_value());
    EXPECT_EQ(window->lastScan()->pieces, 2);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("32766|9")});
}

TEST_F(ScanWindow, UnreadableFileIsReportedAndCancelledDialogDoesNothing) {
    QTest::mouseClick(window->cb_2, Qt::LeftButton); // the dialog answers with nothing
    EXPECT_TRUE(boxes.requests().isEmpty());
    openAnswer = scratch.file(QStringLiteral("missing.001"));
    QSignalSpy finished(window.get(), &w_test::scanFinished);
    QTest::mouseClick(window->cb_2, Qt::LeftButton);
    ASSERT_TRUE(finished.wait(30000));
    ASSERT_EQ(boxes.requests().size(), 1);
    EXPECT_TRUE(boxes.requests().first().text.startsWith(QStringLiteral("The file ") + *openAnswer +
                                                         QStringLiteral(" cannot be scanned: ")))
        << boxes.requests().first().text.toStdString();
}

TEST(TestWindowObject, CreatedByNameAsItsOwnWindowLeavingTheProgramConnectionAlone) {
    ScratchFolder scratch;
    Transaction sqlca;
    sqlca.Database = scratch.file(QStringLiteral("program.db"));
    ASSERT_EQ(sqlca.connect(), kSqlSuccess);
    const std::int64_t handle = sqlca.dbhandle();
    MessageBoxRecorder boxes;
    QWidget main;
    ObjectContext context;
    context.parent = &main;
    context.sqlca = &sqlca;
    QPointer<QObject> object = createTestWindow(context);
    auto* window = qobject_cast<w_test*>(object.data());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isWindow());
    // The password stays hidden in the field, as in the status line, and the connection uses it.
    EXPECT_EQ(window->connectString(), QStringLiteral("DSN=PRDLIVE;UID=mavrick;PWD=mavrick"));
    EXPECT_EQ(window->sle_connect->text(), QStringLiteral("DSN=PRDLIVE;UID=mavrick;PWD=***"));
    window->sle_connect->setText(QStringLiteral("DSN=OTHER;UID=mavrick;PWD=***"));
    EXPECT_EQ(window->connectString(), QStringLiteral("DSN=OTHER;UID=mavrick;PWD=mavrick"));
    window->sle_connect->setText(QStringLiteral("DSN=PRDLIVE;UID=mavrick;PWD=mavrick"));
    EXPECT_EQ(window->sle_connect->text(), QStringLiteral("DSN=PRDLIVE;UID=mavrick;PWD=***"));
    QSignalSpy attempted(window, &w_test::connectionAttempted);
    window->show();
    ASSERT_TRUE(attempted.wait(30000)); // PRDLIVE is not registered here
    EXPECT_EQ(sqlca.DBMS, kDbmsSqlite);
    EXPECT_EQ(sqlca.dbhandle(), handle);
    EXPECT_EQ(sqlca.execute(QStringLiteral("select 1")), kSqlSuccess);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(object.isNull());
}
