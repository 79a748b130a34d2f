#include "cli/connection_options.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "login/f_password.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using namespace tarnlow::cli;

TEST(ConnectionOptions, TakesBothFormsAndLeavesOtherArgumentsInOrder) {
    QStringList arguments{
        QStringLiteral("pkg.fuf"),          QStringLiteral("--server"),   QStringLiteral("db1"),
        QStringLiteral("--password="),      QStringLiteral("--force"),    QStringLiteral("--dbms=postgresql"),
        QStringLiteral("--connect-string"), QStringLiteral("DSN=x;UID=y")};
    const auto options = takeConnectionOptions(arguments);
    ASSERT_TRUE(options.ok()) << options.error().toStdString();
    EXPECT_EQ(arguments, QStringList({QStringLiteral("pkg.fuf"), QStringLiteral("--force")}));
    EXPECT_EQ(options->server, QStringLiteral("db1"));
    EXPECT_EQ(options->password, QString());
    EXPECT_EQ(options->dbms, QStringLiteral("PostgreSQL"));
    EXPECT_EQ(options->connectString, QStringLiteral("DSN=x;UID=y"));
    EXPECT_FALSE(options->login.has_value());
}

TEST(ConnectionOptions, BadOptionsNameWhatIsWrongAndChangeNothing) {
    const QList<std::pair<QStringList, QString>> cases{
        {{QStringLiteral("--login")}, QStringLiteral("--login needs a value")},
        {{QStringLiteral("--login=a"), QStringLiteral("--login"), QStringLiteral("b")},
         QStringLiteral("--login is given twice")},
        {{QStringLiteral("--dbms"), QStringLiteral("oracle")}, QStringLiteral("oracle")},
    };
    for (const auto& [given, expected] : cases) {
        QStringList arguments = given;
        const auto options = takeConnectionOptions(arguments);
        ASSERT_FALSE(options.ok());
        EXPECT_TRUE(options.error().contains(expected)) << options.error().toStdString();
        EXPECT_EQ(arguments, given);
    }
}

TEST(ConnectionOptions, MissingOptionsTakeTheStoredSettings) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    EXPECT_TRUE(store.write(kSettingsKey, QStringLiteral("DBMS"), QStringLiteral("PostgreSQL")));
    EXPECT_TRUE(store.write(kSettingsKey, QStringLiteral("ServerIP"), QStringLiteral("stored-host")));
    EXPECT_TRUE(store.write(kSettingsKey, QStringLiteral("login"), QStringLiteral("stored-login")));
    EXPECT_TRUE(store.write(kSettingsKey, QStringLiteral("database"), QStringLiteral("stored-db")));
    EXPECT_TRUE(store.write(kSettingsKey, QStringLiteral("password"),
                            *f_password(QStringLiteral("secret 'pw'"), true, kPasswordAccessKey)));

    ConnectionOptions options;
    options.database = QStringLiteral("given-db");
    Transaction sqlca;
    ASSERT_TRUE(configureTransaction(sqlca, options, store, scratch.path() + QLatin1Char('/')).ok());
    EXPECT_EQ(sqlca.DBMS, QStringLiteral("PostgreSQL"));
    EXPECT_EQ(sqlca.ServerName, QStringLiteral("stored-host"));
    EXPECT_EQ(sqlca.LogID, QStringLiteral("stored-login"));
    EXPECT_EQ(sqlca.LogPass, QStringLiteral("secret 'pw'"));
    EXPECT_EQ(sqlca.Database, QStringLiteral("given-db"));

    // A stored password that is not in scrambled form is reported, not sent to the server.
    EXPECT_TRUE(store.write(kSettingsKey, QStringLiteral("password"), QStringLiteral("中文")));
    const Result<void> unreadable = configureTransaction(sqlca, {}, store, scratch.path() + QLatin1Char('/'));
    ASSERT_FALSE(unreadable.ok());
    EXPECT_TRUE(unreadable.error().contains(QStringLiteral("password"))) << unreadable.error().toStdString();
}

TEST(ConnectionOptions, NoSettingsMeanTheEmbeddedDatabaseInTheProgramFolder) {
    test::ScratchFolder scratch;
    Transaction sqlca;
    const Result<void> connected =
        connectTransaction(sqlca, {}, SettingsStore::standard(), scratch.path() + QLatin1Char('/'));
    ASSERT_TRUE(connected.ok()) << connected.error().toStdString();
    EXPECT_EQ(sqlca.Database, scratch.file(QStringLiteral("tarnlow_as.db")));
    EXPECT_TRUE(QFile::exists(scratch.file(QStringLiteral("tarnlow_as.db"))));

    ConnectionOptions unreachable;
    unreachable.database = scratch.file(QStringLiteral("no/such/folder/x.db"));
    Transaction other;
    const Result<void> refused =
        connectTransaction(other, unreachable, SettingsStore::standard(), scratch.path());
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().contains(QStringLiteral("no/such/folder/x.db")))
        << refused.error().toStdString();
}
