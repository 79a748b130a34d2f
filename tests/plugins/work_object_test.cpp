#include "main_window_fixture.h"

#include "update/client_record.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

using namespace tarnlow;
using test::Backend;

namespace {

class SqlQueryTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        ASSERT_NE(openMain(), nullptr);
        activate(QStringLiteral("SQL query"));
        query = main->findChild<QTabWidget*>(QStringLiteral("tab_1"))->currentWidget();
        ASSERT_NE(query, nullptr);
        ASSERT_EQ(query->objectName(), QStringLiteral("UO_ISQL"));
        editor = query->findChild<QPlainTextEdit*>(QStringLiteral("mle_sql"));
        grid = query->findChild<QTableView*>(QStringLiteral("dw_result"));
        status = query->findChild<QLabel*>(QStringLiteral("st_status"));
        limit = query->findChild<QSpinBox*>(QStringLiteral("sle_limit"));
        ASSERT_TRUE(editor && grid && status && limit);
    }

    // Types the statement and runs it with Ctrl+Enter, as an operator does.
    void run(const QString& statement) {
        editor->clear();
        QTest::keyClicks(editor, statement);
        QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    }
    QString cell(int row, int column) const { return grid->model()->index(row, column).data().toString(); }

    QWidget* query = nullptr;
    QPlainTextEdit* editor = nullptr;
    QTableView* grid = nullptr;
    QLabel* status = nullptr;
    QSpinBox* limit = nullptr;
};

} // namespace

TEST_P(SqlQueryTest, CountsTheMenuRows) {
    run(QStringLiteral("select count(*) from t_sys_menu"));
    ASSERT_EQ(grid->model()->rowCount(), 1);
    ASSERT_EQ(grid->model()->columnCount(), 1);
    EXPECT_EQ(cell(0, 0), QStringLiteral("24"));
    EXPECT_EQ(status->text(), QStringLiteral("Rows: 1"));
    EXPECT_TRUE(messages->requests().isEmpty());
}

TEST_P(SqlQueryTest, ShowsColumnNamesNullsAndTheRowLimitNotice) {
    run(QStringLiteral(
        "select item_index, open_parm from t_sys_menu where parent_index = 1 order by item_index"));
    ASSERT_EQ(grid->model()->rowCount(), 6);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("item_index"));
    EXPECT_EQ(cell(0, 0), QStringLiteral("4"));
    EXPECT_EQ(cell(0, 1), QStringLiteral("NULL"));
    EXPECT_EQ(status->text(), QStringLiteral("Rows: 6"));

    limit->setValue(5);
    run(QStringLiteral("select item_index from t_sys_menu order by item_index"));
    EXPECT_EQ(grid->model()->rowCount(), 5);
    EXPECT_EQ(cell(4, 0), QStringLiteral("5"));
    EXPECT_EQ(status->text(), QStringLiteral("Only the first 5 rows are shown; further rows were left out."));

    // Exactly as many rows as the limit: nothing was left out.
    run(QStringLiteral("select item_index from t_sys_menu where parent_index = 13 and item_order < 8"));
    EXPECT_EQ(grid->model()->rowCount(), 5);
    EXPECT_EQ(status->text(), QStringLiteral("Rows: 5"));
}

TEST_P(SqlQueryTest, ReportsAffectedRowsAndTheServersTextForAFailure) {
    run(QStringLiteral("update t_sys_menu set open_parm = 'x' where parent_index = 3"));
    EXPECT_EQ(grid->model()->rowCount(), 0);
    EXPECT_EQ(status->text(), QStringLiteral("Rows affected: 1"));
    const std::optional<QVariantList> row =
        sqlca.selectInto(QStringLiteral("select open_parm from t_sys_menu where item_index = 7"));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->value(0).toString().trimmed(), QStringLiteral("x"));

    run(QStringLiteral("select * from no_such_table"));
    EXPECT_EQ(grid->model()->rowCount(), 0);
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("The statement failed: ")))
        << status->text().toStdString();
    EXPECT_TRUE(status->text().contains(QStringLiteral("no_such_table"))) << status->text().toStdString();
    // The connection still works after the failure.
    run(QStringLiteral("select count(*) from t_sys_menu"));
    EXPECT_EQ(cell(0, 0), QStringLiteral("24"));
}

TEST_P(SqlQueryTest, RunsTheSelectionWhenThereIsOne) {
    editor->setPlainText(QStringLiteral("select count(*) from t_sys_menu\nselect * from no_such_table"));
    QTextCursor cursor = editor->textCursor();
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    query->findChild<QPushButton*>(QStringLiteral("cb_run"))->click();
    EXPECT_EQ(cell(0, 0), QStringLiteral("24"));
}

INSTANTIATE_TEST_SUITE_P(Backends, SqlQueryTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         test::backendTestName);

namespace {

// The Clients window over clients recorded on the test's database: one up to date, one behind the
// highest stored component, one whose check failed.
class ClientsWindowTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        ASSERT_EQ(
            sqlca.execute(QStringLiteral("INSERT INTO t_sys_ver (ver_no, comp_no, update_index, file_name) "
                                         "VALUES ('1', 5, 1, 'a.dll')")),
            kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
        record(QStringLiteral("current"), 5, 1);
        record(QStringLiteral("behind"), 3, 2);
        record(QStringLiteral("failed"), 5, 3, NumberedMessage{10405, {}});
        ASSERT_NE(openMain(), nullptr);
        QMenu* tools = main->findChild<QMenu*>(QStringLiteral("m_tools"));
        QAction* open = tools->findChild<QAction*>(QStringLiteral("m_clients"));
        ASSERT_NE(open, nullptr);
        EXPECT_EQ(open->text(), QStringLiteral("&Clients"));
        open->trigger();
        clients = main->findChild<QWidget*>(QStringLiteral("UO_CLIENTS"));
        ASSERT_NE(clients, nullptr);
        EXPECT_TRUE(clients->isWindow());
        grid = clients->findChild<QTableView*>(QStringLiteral("dw_clients"));
        status = clients->findChild<QLabel*>(QStringLiteral("st_status"));
        ASSERT_TRUE(grid && status);
    }
    void record(const QString& host, int component, int second, std::optional<NumberedMessage> failure = {}) {
        ClientCheck check;
        check.identity = ClientIdentity{host + QStringLiteral("-machine"), host, QStringLiteral("op"),
                                        QStringLiteral("1.5")};
        check.folder = QStringLiteral("/opt/tarnlow_as");
        check.installedComponent = component;
        check.checkedAt = QDateTime(QDate(2026, 1, 1), QTime(12, 0, second), Qt::UTC);
        check.failure = failure;
        check.failureText = QStringLiteral("the file cannot be written");
        const Result<void> recorded = recordClientCheck(sqlca, check);
        ASSERT_TRUE(recorded.ok()) << recorded.error().toStdString();
    }
    QStringList column(int index) const {
        QStringList cells;
        for (int row = 0; row < grid->model()->rowCount(); ++row)
            cells << grid->model()->index(row, index).data().toString();
        return cells;
    }

    QWidget* clients = nullptr;
    QTableView* grid = nullptr;
    QLabel* status = nullptr;
};

// The window's columns, in order.
enum ClientsColumn { State, Host, User, Folder, ComponentId, Version, LastCheck, Message };

} // namespace

TEST_P(ClientsWindowTest, MarksBehindAndFailedClientsSortsByAnyColumnAndRefreshes) {
    EXPECT_EQ(grid->model()->headerData(Host, Qt::Horizontal).toString(), QStringLiteral("Host"));
    EXPECT_EQ(column(Host), (QStringLiteral("failed behind current").split(QLatin1Char(' '))));
    EXPECT_EQ(column(State), (QStringLiteral("failed behind ok").split(QLatin1Char(' '))));
    EXPECT_EQ(column(Message).first(), QStringLiteral("10405: the file cannot be written"));
    EXPECT_EQ(status->text(), QStringLiteral("3 clients, 1 of them behind, 1 failed; newest check first."));
    // The marked rows stand out from the others, and from each other.
    const auto colour = [this](int row) {
        return grid->model()->index(row, Folder).data(Qt::BackgroundRole);
    };
    EXPECT_FALSE(colour(2).isValid());
    EXPECT_TRUE(colour(0).isValid() && colour(1).isValid());
    EXPECT_NE(colour(0), colour(1));

    // Numbers sort as numbers, whichever column the operator clicks.
    record(QStringLiteral("eleven"), 11, 4);
    clients->findChild<QPushButton*>(QStringLiteral("cb_refresh"))->click();
    EXPECT_EQ(column(Host).first(), QStringLiteral("eleven"));
    grid->sortByColumn(ComponentId, Qt::AscendingOrder);
    EXPECT_EQ(column(ComponentId), (QStringLiteral("3 5 5 11").split(QLatin1Char(' '))));
    grid->sortByColumn(Host, Qt::AscendingOrder);
    EXPECT_EQ(column(Host), (QStringLiteral("behind current eleven failed").split(QLatin1Char(' '))));
    EXPECT_EQ(status->text(), QStringLiteral("4 clients, 1 of them behind, 1 failed; newest check first."));

    // The list follows the language.
    QMetaObject::invokeMethod(main, "wf_change_lang", Q_ARG(QString, QStringLiteral("Chinese.flf")));
    EXPECT_EQ(grid->model()->headerData(Host, Qt::Horizontal).toString(), QStringLiteral("主机"));
    EXPECT_EQ(column(State), (QStringLiteral("落后 正常 正常 失败").split(QLatin1Char(' '))));
    EXPECT_EQ(clients->findChild<QPushButton*>(QStringLiteral("cb_refresh"))->text(),
              QStringLiteral("刷新(&R)"));
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("共 4 个客户端"))) << status->text().toStdString();
    EXPECT_TRUE(messages->requests().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Backends, ClientsWindowTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         test::backendTestName);
