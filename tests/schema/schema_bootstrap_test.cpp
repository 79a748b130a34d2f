#include "schema/schema_bootstrap.h"

#include "app/system_tables_startup.h"

#include "db/dialect.h"
#include "host/settings_store.h"
#include "support/database_backends.h"
#include "support/message_box_recorder.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using test::Backend;
using test::BackendDatabase;
using test::ConnectedBackendTest;

namespace {

// The statement texts SQL Server receives, tabs written as \t and every blank as it is sent.
const char* const kSqlServerTexts[] = {
    "DROP TABLE [dbo].[T_SYS_MENU]",
    "CREATE TABLE [dbo].[T_SYS_MENU] (\t[item_order] [numeric](5, 2) NULL ,\t[item_index] [int] NOT NULL "
    ",\t[parent_index] [int] NOT NULL ,\t[item_name] [char] (50) NULL ,\t[lang_id] [char] (20)  NOT NULL "
    ",\t[object_name] [char] (50)  NULL ,\t[open_parm] [char] (20)  NULL ,\t[children] [char] (1) NOT NULL ) "
    "ON [PRIMARY]",
    "ALTER TABLE [dbo].[T_SYS_MENU] WITH NOCHECK ADD \tCONSTRAINT [PK_T_SYS_MENU] PRIMARY KEY  CLUSTERED "
    "\t(\t\t[item_index],\t\t[parent_index]\t)  ON [PRIMARY] ",
    "DROP TABLE [dbo].[T_SYS_CONFIG]",
    "CREATE TABLE [dbo].[T_SYS_CONFIG] (\t[Conf_type] [char] (10) NOT NULL ,\t[conf_value] [char] (255)  "
    "NULL ,\t[conf_remark] [char] (255) NULL ) ON [PRIMARY]",
    "ALTER TABLE [dbo].[T_SYS_CONFIG] WITH NOCHECK ADD \tCONSTRAINT [PK_T_SYS_CONFIG] PRIMARY KEY  CLUSTERED "
    "\t(\t\t[Conf_type]\t)  ON [PRIMARY] ",
    "DROP TABLE [dbo].[T_SYS_VER]",
    "CREATE TABLE [dbo].[T_SYS_VER] (\t[VER_NO] [char] (10) NOT NULL ,\t[COMP_NO] [int] NOT NULL "
    ",\t[UPDATE_INDEX] [int] NOT NULL ,\t[FILE_NAME] [char] (255)NOT NULL ,\t[FILE_BLOB] [image] NULL ) ON "
    "[PRIMARY] TEXTIMAGE_ON [PRIMARY]",
    "ALTER TABLE [dbo].[T_SYS_VER] WITH NOCHECK ADD \tCONSTRAINT [PK_T_SYS_VER] PRIMARY KEY  CLUSTERED "
    "\t(\t\t[VER_NO],\t\t[COMP_NO],\t\t[UPDATE_INDEX]\t)  ON [PRIMARY] ",
    "INSERT INTO T_SYS_CONFIG VALUES ( 'FR' , 'N' , 'First run' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 1.00 , 1 , 0 , 'MENU1' , 'TREE_ID1' , NULL , NULL , 'Y' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 2.00 , 2 , 0 , 'MENU2' , 'TREE_ID2' , NULL , NULL , 'Y' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 3.00 , 3 , 0 , 'MENU3' , 'TREE_ID3' , NULL , NULL , 'Y' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 1.00 , 4 , 1 , 'MENU4' , 'TREE_ID4' , 'UO_MAP' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 2.00 , 5 , 1 , 'MENU5' , 'TREE_ID5' , 'UO_GAMEID' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 1.00 , 6 , 2 , 'MENU6' , 'TREE_ID6' , 'UO_SPECIALITEM' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 1.00 , 7 , 3 , 'MENU7' , 'TREE_ID7' , 'UO_ISQL' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 3.00 , 8 , 1 , 'MENU8' , 'TREE_ID8' , 'UO_BACKUP' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 4.00 , 9 , 1 , 'MENU9' , 'TREE_ID9' , 'UO_RESTORE' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 3.00 , 10 , 2 , 'MENU10' , 'TREE_ID10' , 'UO_SPECIALITEM_SHOP' , NULL , "
    "'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 2.00 , 11 , 2 , 'MENU11' , 'TREE_ID11' , 'UO_MAIL' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 4.00 , 12 , 2 , 'MENU12' , 'TREE_ID12' , 'UO_SPECIALITEM_LIM' , NULL , "
    "'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 2.50 , 13 , 0 , 'MUNE13' , 'TREE_ID13' , NULL , NULL , 'Y' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 1.00 , 14 , 13 , 'MENU14' , 'TREE_ID14' , 'UO_MON_EXP' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 5.00 , 15 , 1 , 'MENU15' , 'TREE_ID15' , 'UO_CONFIG' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 2.00 , 16 , 13 , 'MENU16' , 'TREE_ID16' , 'UO_MOP' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 1.50 , 17 , 13 , 'MENU17' , 'TREE_ID17' , 'UO_MON_EXP_4402' , NULL , "
    "'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 5.00 , 18 , 1 , 'MENU18' , 'TREE_ID18' , 'UO_CLEAR_LOG' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 7.00 , 19 , 13 , 'MUNE19' , 'TREE_ID19' , 'UO_DATA_COPY' , NULL , 'N' "
    ") ",
    "INSERT INTO T_SYS_MENU VALUES ( 5.00 , 20 , 2 , 'MUNE20' , 'TREE_ID20' , 'UO_SHOP' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 6.00 , 21 , 2 , 'MUNE21' , 'TREE_ID21' , 'UO_MAIL_MANAGER' , NULL , 'N' "
    ") ",
    "INSERT INTO T_SYS_MENU VALUES ( 7.00 , 24 , 13 , 'MUNE24' , 'TREE_ID24' , 'UO_MOP_DROPITEM' , NULL , "
    "'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 9.00 , 25 , 13 , 'MUNE25' , 'TREE_ID25' , 'UO_LOG' , NULL , 'N' ) ",
    "INSERT INTO T_SYS_MENU VALUES ( 10.00 , 27 , 13 , 'MUNE27' , 'TREE_ID27' , 'UO_NULL' , NULL , 'N' ) ",
};

TEST(SystemTableStatements, SqlServerReceivesTheProgramsOwnTextsByteForByte) {
    for (const DbmsKind kind : {DbmsKind::SqlServer, DbmsKind::Odbc}) {
        const QList<SchemaStatement> statements = reinitialisationStatements(kind);
        ASSERT_EQ(statements.size(), static_cast<qsizetype>(std::size(kSqlServerTexts)));
        for (qsizetype i = 0; i < statements.size(); ++i)
            EXPECT_EQ(statements.at(i).text.toUtf8(), QByteArray(kSqlServerTexts[i])) << "statement " << i;
        EXPECT_EQ(statements.at(0).dropsTable, kSystemMenuTable);
        EXPECT_EQ(statements.at(3).dropsTable, kSystemConfigTable);
        EXPECT_EQ(statements.at(6).dropsTable, kSystemVersionTable);
    }
}

// Everything a test compares: all rows of the three tables in a fixed order, and Comp_ID.
struct Snapshot {
    QList<QVariantList> menu;
    QList<QVariantList> config;
    QList<QVariantList> versions;
    QString compId;
    bool operator==(const Snapshot&) const = default;
};

QList<QVariantList> rowsOf(Transaction& sqlca, const QString& select) {
    const auto rows = sqlca.selectAll(select);
    EXPECT_TRUE(rows.has_value()) << select.toStdString() << ": " << sqlca.SQLErrText.toStdString();
    QList<QVariantList> texts;
    for (const QVariantList& row : rows.value_or(QList<QVariantList>())) {
        QVariantList converted;
        for (const QVariant& value : row)
            converted.append(value.isNull() ? QVariant() : QVariant(value.toString().trimmed()));
        texts.append(converted);
    }
    return texts;
}

class SystemTablesTest : public ConnectedBackendTest {
protected:
    void SetUp() override {
        ConnectedBackendTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        settings = std::make_unique<SettingsStore>(SettingsStore::standard());
        ASSERT_TRUE(settings->write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("57")));
    }

    // Runs the check and re-initialisation, answering the question with answer and counting it.
    SystemTablesOutcome ensure(bool answer = true) {
        return ensureSystemTables(
            sqlca, *settings,
            [this, answer](const NumberedMessage& question, const QList<TableRows>& tables) {
                ++questions;
                lastQuestion = question;
                EXPECT_FALSE(tables.isEmpty());
                return answer;
            });
    }

    void initialise() {
        const SystemTablesOutcome outcome = ensure();
        ASSERT_EQ(outcome.state, SystemTablesState::Initialised)
            << (outcome.message ? outcome.message->parameters.join(QStringLiteral(" | ")).toStdString() : "");
    }

    void run(const QString& sql) {
        ASSERT_EQ(sqlca.executeImmediate(sql), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    }

    Snapshot snapshot() {
        Snapshot s;
        s.menu =
            rowsOf(sqlca, QStringLiteral("SELECT item_order, item_index, parent_index, item_name, lang_id, "
                                         "object_name, open_parm, children FROM t_sys_menu "
                                         "ORDER BY item_index, parent_index"));
        s.config = rowsOf(sqlca, QStringLiteral("SELECT conf_type, conf_value, conf_remark FROM t_sys_config "
                                                "ORDER BY conf_type"));
        s.versions =
            rowsOf(sqlca, QStringLiteral("SELECT ver_no, comp_no, update_index, file_name FROM t_sys_ver "
                                         "ORDER BY ver_no, comp_no, update_index"));
        s.compId = settings->read(kSettingsKey, QStringLiteral("Comp_ID")).value_or(s.compId);
        return s;
    }

    // An initialised database that also holds a stored package file and a LIB row.
    void initialiseWithData() {
        initialise();
        run(QStringLiteral("INSERT INTO t_sys_config VALUES ('LIB', 'work.so', NULL)"));
        ASSERT_EQ(sqlca.updateBlob(QStringLiteral("INSERT INTO t_sys_ver VALUES ('1.0', 3, 1, 'a.dll', ?)"),
                                   QByteArray("bytes")),
                  kSqlSuccess);
        ASSERT_TRUE(settings->write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("3")));
    }

    std::unique_ptr<SettingsStore> settings;
    int questions = 0;
    NumberedMessage lastQuestion;
};

TEST_P(SystemTablesTest, EmptyDatabaseGetsTheFirstRunRowAndExactlyTheDefaultMenu) {
    initialise();
    EXPECT_EQ(questions, 0);
    const Snapshot s = snapshot();
    ASSERT_EQ(s.config.size(), 1);
    EXPECT_EQ(s.config.first(),
              (QVariantList{QStringLiteral("FR"), QStringLiteral("N"), QStringLiteral("First run")}));
    EXPECT_TRUE(s.versions.isEmpty());
    EXPECT_EQ(s.compId, QStringLiteral("0"));
    ASSERT_EQ(s.menu.size(), kDefaultMenuRowCount);

    QList<int> indexes;
    for (const QVariantList& row : s.menu)
        indexes.append(row.at(1).toInt());
    EXPECT_EQ(indexes, (QList<int>{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                   13, 14, 15, 16, 17, 18, 19, 20, 21, 24, 25, 27}));
    // Spot checks of values the table gives: a group item, the "MUNE" spelling, decimals.
    const auto item = [&s](int index) {
        for (const QVariantList& row : s.menu) {
            if (row.at(1).toInt() == index)
                return row;
        }
        return QVariantList();
    };
    EXPECT_EQ(item(1).at(3).toString(), QStringLiteral("MENU1"));
    EXPECT_TRUE(item(1).at(5).isNull());
    EXPECT_EQ(item(1).at(7).toString(), QStringLiteral("Y"));
    EXPECT_EQ(item(13).at(3).toString(), QStringLiteral("MUNE13"));
    EXPECT_DOUBLE_EQ(item(13).at(0).toDouble(), 2.5);
    EXPECT_DOUBLE_EQ(item(17).at(0).toDouble(), 1.5);
    EXPECT_EQ(item(17).at(5).toString(), QStringLiteral("UO_MON_EXP_4402"));
    EXPECT_DOUBLE_EQ(item(27).at(0).toDouble(), 10.0);
    EXPECT_EQ(item(27).at(2).toInt(), 13);
    EXPECT_TRUE(item(27).at(6).isNull());
    EXPECT_EQ(item(27).at(7).toString(), QStringLiteral("N"));

    // Keys hold: a second row with the same key is refused.
    EXPECT_LT(sqlca.executeImmediate(QStringLiteral("INSERT INTO t_sys_config VALUES ('FR', 'N', NULL)")), 0);
    EXPECT_LT(sqlca.executeImmediate(
                  QStringLiteral("INSERT INTO t_sys_menu VALUES (1.00, 27, 13, 'x', 'x', NULL, NULL, 'N')")),
              0);
}

TEST_P(SystemTablesTest, InitialisedDatabaseIsLeftAloneAfterFourStatements) {
    initialiseWithData();
    for (int index = 30; index < 36; ++index)
        run(QStringLiteral("INSERT INTO t_sys_menu VALUES (1.00, %1, 0, 'M', 'T', NULL, NULL, 'N')")
                .arg(index));
    const Snapshot before = snapshot();
    ASSERT_EQ(before.menu.size(), 30);

    QStringList sent;
    sqlca.statementObserver = [&sent](const QString& sql) { sent.append(sql); };
    const SystemTablesOutcome outcome = ensure();
    sqlca.statementObserver = nullptr;
    EXPECT_EQ(outcome.state, SystemTablesState::AlreadyInitialised);
    ASSERT_EQ(sent.size(), 4) << sent.join(QStringLiteral("\n")).toStdString();
    EXPECT_EQ(sent.at(0), QStringLiteral("select count ( *) from t_sys_menu "));
    EXPECT_FALSE(sent.at(3).contains(QLatin1Char('"')));
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(questions, 0);
}

TEST_P(SystemTablesTest, MissingMenuRowsAskBeforeDroppingAndNoChangesNothing) {
    initialiseWithData();
    run(QStringLiteral("DELETE FROM t_sys_menu WHERE item_index = 27"));
    const Snapshot before = snapshot();

    SystemTablesOutcome outcome = ensure(false);
    EXPECT_EQ(outcome.state, SystemTablesState::Declined);
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(lastQuestion.number, kMessageDropQuestion);
    EXPECT_EQ(lastQuestion.parameters,
              QStringList{QStringLiteral("T_SYS_MENU: 23, T_SYS_CONFIG: 2, T_SYS_VER: 1")});
    EXPECT_EQ(snapshot(), before);

    outcome = ensure(true);
    EXPECT_EQ(outcome.state, SystemTablesState::Initialised);
    EXPECT_EQ(outcome.reason,
              (NumberedMessage{kReasonTooFewMenuRows, {QStringLiteral("23"), QStringLiteral("24")}}));
    const Snapshot after = snapshot();
    EXPECT_EQ(after.menu.size(), kDefaultMenuRowCount);
    EXPECT_EQ(after.config.size(), 1);
    EXPECT_TRUE(after.versions.isEmpty());
    EXPECT_EQ(after.compId, QStringLiteral("0"));
}

// The tables created when first needed: the signed records of the stored files and the clients'
// records of their checks.
TEST_P(SystemTablesTest, TablesCreatedLaterAreAskedAboutAndDroppedWithTheOthers) {
    initialiseWithData();
    run(QStringLiteral("CREATE TABLE T_SYS_VER_SIGN (VER_NO char(10) NOT NULL, COMP_NO int NOT NULL, "
                       "UPDATE_INDEX int NOT NULL)"));
    run(QStringLiteral("INSERT INTO T_SYS_VER_SIGN VALUES ('1.0', 3, 1)"));
    run(QStringLiteral(
        "CREATE TABLE T_SYS_CLIENT (MACHINE_ID char(64) NOT NULL, FOLDER varchar(400) NOT NULL)"));
    run(QStringLiteral("INSERT INTO T_SYS_CLIENT VALUES ('a', '/opt/one')"));
    run(QStringLiteral("INSERT INTO T_SYS_CLIENT VALUES ('a', '/opt/two')"));
    run(QStringLiteral("DELETE FROM t_sys_menu WHERE item_index = 27"));

    EXPECT_EQ(ensure(false).state, SystemTablesState::Declined);
    EXPECT_EQ(lastQuestion.parameters,
              QStringList{QStringLiteral(
                  "T_SYS_MENU: 23, T_SYS_CONFIG: 2, T_SYS_VER: 1, T_SYS_VER_SIGN: 1, T_SYS_CLIENT: 2")});
    EXPECT_EQ(rowsOf(sqlca, QStringLiteral("SELECT comp_no FROM t_sys_ver_sign")).size(), 1);
    EXPECT_EQ(rowsOf(sqlca, QStringLiteral("SELECT folder FROM t_sys_client")).size(), 2);

    EXPECT_EQ(ensure(true).state, SystemTablesState::Initialised);
    for (const char* table : {"t_sys_ver_sign", "t_sys_client"}) {
        EXPECT_EQ(sqlca.selectInto(QStringLiteral("SELECT count(*) FROM ") + QLatin1String(table)),
                  std::nullopt)
            << table;
        EXPECT_LT(sqlca.SQLCode, 0) << table;
    }
}

TEST_P(SystemTablesTest, FirstRunMarkerDecidesAfterTrailingBlanks) {
    initialise();
    struct Case {
        const char* name;
        QString statement;
        bool reinitialised;
    };
    const QList<Case> cases{
        {"null", QStringLiteral("UPDATE t_sys_config SET conf_value = NULL WHERE conf_type = 'FR'"), false},
        {"padded N", QStringLiteral("UPDATE t_sys_config SET conf_value = 'N   ' WHERE conf_type = 'FR'"),
         false},
        {"lower case n", QStringLiteral("UPDATE t_sys_config SET conf_value = 'n' WHERE conf_type = 'FR'"),
         true},
        {"Y", QStringLiteral("UPDATE t_sys_config SET conf_value = 'Y' WHERE conf_type = 'FR'"), true},
        {"leading blank", QStringLiteral("UPDATE t_sys_config SET conf_value = ' N' WHERE conf_type = 'FR'"),
         true},
        {"missing", QStringLiteral("DELETE FROM t_sys_config WHERE conf_type = 'FR'"), true},
    };
    for (const Case& c : cases) {
        run(QStringLiteral("DELETE FROM t_sys_config WHERE conf_type = 'FR'"));
        run(QStringLiteral("INSERT INTO t_sys_config VALUES ('FR', 'N', 'First run')"));
        run(c.statement);
        EXPECT_TRUE(settings->write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("8")));
        const SystemTablesFindings findings = checkSystemTables(sqlca);
        EXPECT_FALSE(findings.failure.has_value()) << c.name;
        EXPECT_EQ(findings.needsInitialisation, c.reinitialised) << c.name;
        const SystemTablesOutcome outcome = ensure();
        EXPECT_EQ(outcome.state,
                  c.reinitialised ? SystemTablesState::Initialised : SystemTablesState::AlreadyInitialised)
            << c.name;
        QString compId;
        compId = settings->read(kSettingsKey, QStringLiteral("Comp_ID")).value_or(compId);
        EXPECT_EQ(compId, c.reinitialised ? QStringLiteral("0") : QStringLiteral("8")) << c.name;
    }
}

TEST_P(SystemTablesTest, FailureHalfwayLeavesTheOldTablesAsTheyWere) {
    initialiseWithData();
    run(QStringLiteral("DELETE FROM t_sys_menu WHERE item_index > 5"));
    // A view in the way of the version table: the catalog finds no table to drop, and creating
    // the table fails after the other two tables were already dropped and created.
    run(QStringLiteral("DROP TABLE t_sys_ver"));
    run(QStringLiteral(
        "CREATE VIEW t_sys_ver AS SELECT conf_type AS ver_no, 1 AS comp_no, 1 AS update_index, "
        "conf_value AS file_name FROM t_sys_config"));
    const Snapshot before = snapshot();
    const SystemTablesOutcome outcome = ensure(true);
    EXPECT_EQ(outcome.state, SystemTablesState::Failed);
    ASSERT_TRUE(outcome.message.has_value());
    EXPECT_EQ(outcome.message->number, kMessageCreateFailed);
    EXPECT_TRUE(
        outcome.message->parameters.value(0).contains(QStringLiteral("t_sys_ver"), Qt::CaseInsensitive))
        << outcome.message->parameters.value(0).toStdString();
    EXPECT_FALSE(sqlca.inTransaction());
    EXPECT_EQ(snapshot().menu, before.menu);
    EXPECT_EQ(snapshot().config, before.config);
    EXPECT_EQ(snapshot().compId, QStringLiteral("3"));
}

TEST_P(SystemTablesTest, StartUpAsksInAYesNoBoxWithNoAsDefault) {
    initialiseWithData();
    run(QStringLiteral("DELETE FROM t_sys_menu WHERE item_index = 1"));
    const Snapshot before = snapshot();
    test::MessageBoxRecorder boxes;
    boxes.queueAnswer(2);
    EXPECT_FALSE(checkSystemTablesAtStartup(sqlca, *settings).goOn);
    // The question, then why start-up ends and how to go on.
    ASSERT_EQ(boxes.requests().size(), 2);
    EXPECT_EQ(boxes.requests().first().buttons, MessageButtons::YesNo);
    EXPECT_EQ(boxes.requests().first().defaultButton, 2);
    EXPECT_EQ(boxes.requests().last().buttons, MessageButtons::Ok);
    EXPECT_EQ(snapshot(), before);

    boxes.clear();
    boxes.queueAnswer(1);
    EXPECT_TRUE(checkSystemTablesAtStartup(sqlca, *settings).goOn);
    EXPECT_EQ(boxes.requests().size(), 1);
    EXPECT_EQ(snapshot().menu.size(), kDefaultMenuRowCount);
    // The database is initialised now: the next start asks nothing.
    boxes.clear();
    EXPECT_TRUE(checkSystemTablesAtStartup(sqlca, *settings).goOn);
    EXPECT_TRUE(boxes.requests().isEmpty());
}

// A menu of more than 32,767 rows would wrap the 16-bit count to a negative number.
TEST_P(SystemTablesTest, MenuOfMoreThan32767RowsCountsAsInitialised) {
    initialiseWithData();
    run(QStringLiteral("INSERT INTO t_sys_menu (item_order, item_index, parent_index, item_name, lang_id, "
                       "object_name, open_parm, children) "
                       "WITH RECURSIVE n(i) AS (SELECT 100 UNION ALL SELECT i + 1 FROM n WHERE i < 32875) "
                       "SELECT 1.00, i, 0, 'M', 'T', NULL, NULL, 'N' FROM n"));
    const auto count = sqlca.selectInto(QStringLiteral("SELECT count(*) FROM t_sys_menu"));
    ASSERT_TRUE(count.has_value());
    ASSERT_EQ(count->first().toInt(), 32800);

    const SystemTablesFindings findings = checkSystemTables(sqlca);
    EXPECT_FALSE(findings.failure.has_value());
    EXPECT_FALSE(findings.needsInitialisation) << findings.reason.number;
    EXPECT_EQ(ensure().state, SystemTablesState::AlreadyInitialised);
    EXPECT_EQ(questions, 0);
}

TEST_P(SystemTablesTest, CallersOpenTransactionIsLeftForTheCallerToEnd) {
    initialiseWithData();
    run(QStringLiteral("DELETE FROM t_sys_menu WHERE item_index = 27"));
    const Snapshot before = snapshot();

    ASSERT_EQ(sqlca.begin(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(ensure(true).state, SystemTablesState::Initialised);
    EXPECT_TRUE(sqlca.inTransaction());
    EXPECT_EQ(snapshot().menu.size(), kDefaultMenuRowCount);
    ASSERT_EQ(sqlca.rollback(), kSqlSuccess) << sqlca.SQLErrText.toStdString();

    const Snapshot after = snapshot();
    EXPECT_EQ(after.menu, before.menu);
    EXPECT_EQ(after.config, before.config);
    EXPECT_EQ(after.versions, before.versions);
}

INSTANTIATE_TEST_SUITE_P(Backends, SystemTablesTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         test::backendTestName);

// A table the login may not read: created by the administrator, the test login has no right on
// it. The check stops with the server's text and nothing is dropped, whether the tables otherwise
// look initialised or in need of it.
TEST(SystemTablesRights, UnreadableTableStopsTheCheckAndDropsNothing) {
    BackendDatabase database(Backend::Postgres);
    TARNLOW_REQUIRE_BACKEND(database);

    for (const auto& [hidden, menuRowsLeft] :
         {std::pair{QStringLiteral("t_sys_menu"), 24}, std::pair{QStringLiteral("t_sys_ver"), 24},
          std::pair{QStringLiteral("t_sys_ver"), 23}}) {
        test::ScratchFolder scratch;
        SettingsStore settings = SettingsStore::standard();
        Transaction admin;
        database.configureAdministrator(admin);
        ASSERT_EQ(admin.connect(), kSqlSuccess) << admin.SQLErrText.toStdString();
        const QStringList tables{QStringLiteral("t_sys_menu"), QStringLiteral("t_sys_config"),
                                 QStringLiteral("t_sys_ver")};
        for (const QString& table : tables)
            admin.executeImmediate(QStringLiteral("DROP TABLE IF EXISTS ") + table);
        ASSERT_EQ(ensureSystemTables(admin, settings, {}).state, SystemTablesState::Initialised);
        ASSERT_EQ(
            admin.executeImmediate(QStringLiteral("INSERT INTO t_sys_ver VALUES ('1', 1, 1, 'f', NULL)")),
            kSqlSuccess);
        if (menuRowsLeft < kDefaultMenuRowCount) {
            ASSERT_EQ(admin.executeImmediate(QStringLiteral("DELETE FROM t_sys_menu WHERE item_index = 27")),
                      kSqlSuccess);
        }
        ASSERT_TRUE(database.grantAllBut(admin, tables, hidden));
        EXPECT_TRUE(settings.write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("5")));

        Transaction sqlca;
        database.configure(sqlca);
        ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
        int questions = 0;
        const SystemTablesOutcome outcome = ensureSystemTables(
            sqlca, settings, [&questions](const NumberedMessage&, const QList<TableRows>&) {
                ++questions;
                return true;
            });
        EXPECT_EQ(outcome.state, SystemTablesState::Unreadable) << hidden.toStdString();
        EXPECT_EQ(outcome.unreadableTable.toLower(), hidden);
        ASSERT_TRUE(outcome.message.has_value());
        EXPECT_EQ(outcome.message->number, kMessageTableUnreadable);
        EXPECT_EQ(outcome.message->parameters.value(0).toLower(), hidden);
        EXPECT_TRUE(outcome.message->parameters.value(1).contains(QStringLiteral("permission denied")))
            << outcome.message->parameters.value(1).toStdString();
        EXPECT_EQ(questions, 0);

        const auto menuRows = admin.selectInto(QStringLiteral("SELECT count(*) FROM t_sys_menu"));
        ASSERT_TRUE(menuRows.has_value());
        EXPECT_EQ(menuRows->first().toInt(), menuRowsLeft);
        const auto versionRows = admin.selectInto(QStringLiteral("SELECT count(*) FROM t_sys_ver"));
        ASSERT_TRUE(versionRows.has_value());
        EXPECT_EQ(versionRows->first().toInt(), 1);
        QString compId;
        compId = settings.read(kSettingsKey, QStringLiteral("Comp_ID")).value_or(compId);
        EXPECT_EQ(compId, QStringLiteral("5"));
    }
}

} // namespace
