#include "main_window_fixture.h"

#include <QLabel>
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
