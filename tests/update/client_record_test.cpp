// What every client records about its version checks in T_SYS_CLIENT, and what the client list
// reads back: on SQLite and on PostgreSQL, under clients that write at the same moment, and for a
// login that may not write the table.

#include "db/transaction.h"
#include "host/client_identity.h"
#include "host/settings_store.h"
#include "support/database_backends.h"
#include "support/test_environment.h"
#include "update/client_list.h"
#include "update/client_record.h"

#include <QJsonObject>

#include <gtest/gtest.h>

#include <latch>
#include <thread>

using namespace tarnlow;
using namespace tarnlow::test;

namespace {

TEST(ClientIdentityTest, MachineIdIsAKeyedHashThatNeverShowsTheRawId) {
    const QByteArray raw("0123456789abcdef0123456789abcdef");
    const QString id = machineIdentity(raw, QStringLiteral("tarnlow_as"));
    EXPECT_EQ(id.size(), 64);
    EXPECT_EQ(id, machineIdentity(raw, QStringLiteral("tarnlow_as")));
    EXPECT_FALSE(id.contains(QString::fromLatin1(raw)));
    EXPECT_NE(id, machineIdentity("another machine", QStringLiteral("tarnlow_as")));
    EXPECT_NE(id, machineIdentity(raw, QStringLiteral("another program")));

    ScratchFolder scratch;
    ASSERT_TRUE(scratch.write(QStringLiteral("machine-id"), "feedface\n"));
    qputenv(kMachineIdFileVariable, scratch.file(QStringLiteral("machine-id")).toLocal8Bit());
    EXPECT_EQ(rawMachineId(), QByteArray("feedface"));
    EXPECT_EQ(currentClientIdentity().machine, machineIdentity("feedface", QStringLiteral("tarnlow_as")));
    qunsetenv(kMachineIdFileVariable);
    EXPECT_FALSE(rawMachineId().isEmpty());
}

// The statements SQL Server receives, as they must stand: the key range stays locked from the
// match to the write, so two clients of one machine and folder never both insert.
TEST(ClientTableStatements, SqlServerTextsAreTheGoldenOnes) {
    EXPECT_EQ(
        clientUpsertStatement(ClientTableSyntax::SqlServer),
        QStringLiteral(
            "MERGE T_SYS_CLIENT WITH (HOLDLOCK) AS target USING (VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)) AS "
            "source (MACHINE_ID, FOLDER, HOST_NAME, OS_USER, COMP_ID, PROGRAM_VERSION, LAST_CHECK, RESULT, "
            "MESSAGE_NO, MESSAGE_TEXT) ON target.MACHINE_ID = source.MACHINE_ID AND target.FOLDER = "
            "source.FOLDER WHEN MATCHED THEN UPDATE SET HOST_NAME = source.HOST_NAME, OS_USER = "
            "source.OS_USER, COMP_ID = source.COMP_ID, PROGRAM_VERSION = source.PROGRAM_VERSION, "
            "LAST_CHECK = source.LAST_CHECK, RESULT = source.RESULT, MESSAGE_NO = source.MESSAGE_NO, "
            "MESSAGE_TEXT = source.MESSAGE_TEXT WHEN NOT MATCHED THEN INSERT (MACHINE_ID, FOLDER, "
            "HOST_NAME, OS_USER, COMP_ID, PROGRAM_VERSION, LAST_CHECK, RESULT, MESSAGE_NO, MESSAGE_TEXT) "
            "VALUES (source.MACHINE_ID, source.FOLDER, source.HOST_NAME, source.OS_USER, source.COMP_ID, "
            "source.PROGRAM_VERSION, source.LAST_CHECK, source.RESULT, source.MESSAGE_NO, "
            "source.MESSAGE_TEXT);"));
    EXPECT_EQ(
        clientTableStatement(ClientTableSyntax::SqlServer),
        QStringLiteral(
            "CREATE TABLE [dbo].[T_SYS_CLIENT] (\t[MACHINE_ID] [char] (64) NOT NULL ,\t[FOLDER] [nvarchar] "
            "(400) NOT NULL ,\t[HOST_NAME] [nvarchar] (255) NOT NULL ,\t[OS_USER] [nvarchar] (255) NOT NULL "
            ",\t[COMP_ID] [int] NOT NULL ,\t[PROGRAM_VERSION] [nvarchar] (40) NOT NULL ,\t[LAST_CHECK] "
            "[char] (24) NOT NULL ,\t[RESULT] [varchar] (6) NOT NULL ,\t[MESSAGE_NO] [int] NULL ,\t"
            "[MESSAGE_TEXT] [nvarchar] (2000) NULL ,\tCONSTRAINT [PK_T_SYS_CLIENT] PRIMARY KEY CLUSTERED "
            "([MACHINE_ID], [FOLDER]) ) ON [PRIMARY]"));
    EXPECT_EQ(checkTimeText(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 89), Qt::OffsetFromUTC, 3600)),
              QStringLiteral("2026-03-04T04:06:07.089Z"));
}

ClientCheck checkOf(const QString& machine, const QString& folder, qint32 component, int second,
                    std::optional<NumberedMessage> failure = std::nullopt) {
    ClientCheck check;
    check.identity = ClientIdentity{machine, QStringLiteral("host-") + machine, QStringLiteral("op"),
                                    QStringLiteral("1.5")};
    check.folder = folder;
    check.installedComponent = component;
    check.checkedAt = QDateTime(QDate(2026, 1, 1), QTime(12, 0, second), Qt::UTC);
    check.failure = std::move(failure);
    if (check.failure)
        check.failureText = QStringLiteral("the file cannot be written");
    return check;
}

class ClientRecordTest : public ConnectedBackendTest {
protected:
    void SetUp() override {
        ConnectedBackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_EQ(
            sqlca.executeImmediate(QStringLiteral("CREATE TABLE t_sys_ver (ver_no char(10), comp_no int, "
                                                  "update_index int, file_name char(255), file_blob %1)")
                                       .arg(database->binaryType())),
            kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }
    void storeComponent(int component) {
        ASSERT_EQ(
            sqlca.execute(QStringLiteral("INSERT INTO t_sys_ver (ver_no, comp_no, update_index, file_name) "
                                         "VALUES ('1', ?, 1, 'a.dll')"),
                          {component}),
            kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }
    QList<ClientRow> clients() {
        Result<QList<ClientRow>> read = readClients(sqlca);
        EXPECT_TRUE(read.ok()) << (read ? std::string() : read.error().toStdString());
        return read ? *read : QList<ClientRow>{};
    }
};

TEST_P(ClientRecordTest, OneRowPerMachineAndFolderUpdatedByEveryCheckAndListedNewestFirst) {
    EXPECT_TRUE(clients().isEmpty()); // before any client created the table
    storeComponent(3);

    struct Step {
        ClientCheck check;
        qsizetype rows; // after the step
    };
    const NumberedMessage writeFailed{10405, {QStringLiteral("/opt/a/x.dll"), QStringLiteral("disk full")}};
    const QList<Step> steps{
        {checkOf(QStringLiteral("m1"), QStringLiteral("/opt/a"), 3, 1), 1},
        {checkOf(QStringLiteral("m1"), QStringLiteral("/opt/b"), 2, 2), 2}, // another folder: another client
        {checkOf(QStringLiteral("m1"), QStringLiteral("/opt/a"), 3, 3, writeFailed), 2},
        {checkOf(QStringLiteral("m2"), QStringLiteral("/opt/a"), 3, 4), 3},
        {checkOf(QStringLiteral("m2"), QStringLiteral("/opt/a"), 3, 5),
         3}, // nothing newer: the row's time only
    };
    for (const Step& step : steps) {
        const Result<void> recorded = recordClientCheck(sqlca, step.check);
        ASSERT_TRUE(recorded.ok()) << recorded.error().toStdString();
        EXPECT_FALSE(sqlca.inTransaction());
        EXPECT_EQ(clients().size(), step.rows);
    }

    QList<ClientRow> list = clients();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.at(0).machine, QStringLiteral("m2"));
    EXPECT_EQ(list.at(0).lastCheck, QStringLiteral("2026-01-01T12:00:05.000Z"));
    EXPECT_TRUE(list.at(0).ok);
    EXPECT_EQ(list.at(0).messageLine(), QString());
    EXPECT_EQ(list.at(1).folder, QStringLiteral("/opt/a"));
    EXPECT_FALSE(list.at(1).ok);
    EXPECT_EQ(list.at(1).messageNumber, 10405);
    EXPECT_EQ(list.at(1).messageLine(), QStringLiteral("10405: the file cannot be written"));
    EXPECT_EQ(list.at(1).host, QStringLiteral("host-m1"));
    EXPECT_EQ(list.at(2).folder, QStringLiteral("/opt/b"));
    EXPECT_EQ((QList<bool>{list.at(0).behind, list.at(1).behind, list.at(2).behind}),
              (QList<bool>{false, false, true}));

    // A newer component applied: every client below it is behind until it checks again.
    storeComponent(4);
    list = clients();
    EXPECT_EQ((QList<bool>{list.at(0).behind, list.at(1).behind, list.at(2).behind}),
              (QList<bool>{true, true, true}));
    ASSERT_TRUE(recordClientCheck(sqlca, checkOf(QStringLiteral("m2"), QStringLiteral("/opt/a"), 4, 6)).ok());
    EXPECT_FALSE(clients().at(0).behind);

    const QJsonObject first = clientsJson(clients()).at(0).toObject();
    EXPECT_EQ(first.keys().join(QLatin1Char(' ')),
              QStringLiteral("behind comp_id folder host last_check machine message result user version"));
    EXPECT_EQ(first.value(QStringLiteral("comp_id")).toInt(), 4);
    EXPECT_TRUE(first.value(QStringLiteral("message")).isNull());
    EXPECT_EQ(clientsJson(clients()).at(1).toObject().value(QStringLiteral("result")).toString(),
              QStringLiteral("failed"));

    const Result<qint64> forgotten = forgetMachine(sqlca, QStringLiteral("m1"));
    ASSERT_TRUE(forgotten.ok()) << forgotten.error().toStdString();
    EXPECT_EQ(*forgotten, 2);
    EXPECT_EQ(clients().size(), 1);
    EXPECT_EQ(*forgetMachine(sqlca, QStringLiteral("m1")), 0);
}

// Twenty clients, each on a connection of its own, check at the same moment while the table does
// not exist yet: each leaves its own row, and the row all of them share is there once.
TEST_P(ClientRecordTest, TwentyConcurrentClientsLeaveTheirRowsWithoutLosingOne) {
    constexpr int kClients = 20;
    std::latch start(kClients);
    QList<QString> failures(kClients);
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            Transaction own;
            database->configure(own);
            if (own.connect() != kSqlSuccess) {
                failures[i] = QStringLiteral("connect: ") + own.SQLErrText;
                start.count_down();
                return;
            }
            start.arrive_and_wait();
            const QString machine = QStringLiteral("machine%1").arg(i);
            for (int round = 0; round < 2 && failures.at(i).isEmpty(); ++round) {
                for (const ClientCheck& check :
                     {checkOf(machine, QStringLiteral("/opt/own"), round, round),
                      checkOf(QStringLiteral("shared"), QStringLiteral("/opt/shared"), i, round)}) {
                    if (const Result<void> recorded = recordClientCheck(own, check); !recorded)
                        failures[i] = recorded.error();
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < kClients; ++i)
        EXPECT_TRUE(failures.at(i).isEmpty()) << i << ": " << failures.at(i).toStdString();

    const QList<ClientRow> list = clients();
    EXPECT_EQ(list.size(), kClients + 1);
    int own = 0;
    for (const ClientRow& client : list)
        own += client.folder == QLatin1String("/opt/own") && client.componentId == 1 ? 1 : 0;
    EXPECT_EQ(own, kClients);
}

// A table this login cannot write: the check says why, and nothing else is affected.
TEST_P(ClientRecordTest, TableTheLoginMayNotWriteGivesOneReason) {
    if (GetParam() == Backend::Postgres) {
        // Created by the administrator; the test login has no right on it.
        const PostgresServer& server = *database->server();
        Transaction admin;
        database->configure(admin);
        admin.LogID = server.adminUser;
        admin.LogPass = server.adminPassword;
        ASSERT_EQ(admin.connect(), kSqlSuccess) << admin.SQLErrText.toStdString();
        ASSERT_EQ(admin.executeImmediate(clientTableStatement(ClientTableSyntax::Standard)), kSqlSuccess)
            << admin.SQLErrText.toStdString();
        ASSERT_EQ(admin.executeImmediate(QStringLiteral("REVOKE ALL ON t_sys_client FROM PUBLIC")),
                  kSqlSuccess);
    } else {
        // Something of that name that takes no rows.
        ASSERT_EQ(
            sqlca.executeImmediate(QStringLiteral("CREATE VIEW t_sys_client AS SELECT 1 AS machine_id")),
            kSqlSuccess);
    }
    SettingsStore settings(database->scratch().registryPath());
    const std::optional<NumberedMessage> problem =
        recordVersionCheck(sqlca, settings, database->scratch().path(), std::nullopt);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->number, kMessageClientNotRecorded);
    EXPECT_EQ(problem->parameters.value(0), kClientTable);
    EXPECT_FALSE(problem->parameters.value(1).isEmpty());
    EXPECT_FALSE(sqlca.inTransaction());
    // The connection goes on working.
    EXPECT_TRUE(sqlca.selectInto(QStringLiteral("SELECT count(*) FROM t_sys_ver")).has_value());
}

INSTANTIATE_TEST_SUITE_P(Backends, ClientRecordTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         test::backendTestName);

} // namespace
