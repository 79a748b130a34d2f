#include "login/login_connection.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "login/f_password.h"
#include "support/silent_server.h"
#include "support/test_environment.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

// Keeps the language globals of one test from leaking into the next.
class LanguageGlobalsGuard {
public:
    LanguageGlobalsGuard()
        : m_path(gs_path)
        , m_lang(gs_lang)
        , m_font(gs_font) {}
    ~LanguageGlobalsGuard() {
        gs_path = m_path;
        gs_lang = m_lang;
        gs_font = m_font;
    }

private:
    QString m_path, m_lang, m_font;
};

LoginInputs sqliteInputs(const QString& database = QString()) {
    LoginInputs inputs;
    inputs.dbms = kDbmsSqlite;
    inputs.database = database;
    return inputs;
}

QString storedValue(const SettingsStore& store, const QString& name) {
    QString value;
    value = store.read(kSettingsKey, name).value_or(value);
    return value;
}

} // namespace

TEST(LoginConnection, StoredDbmsSelectsItsListEntryReadAsTheConnectionReadsIt) {
    const auto chosen = [](const QString& stored) {
        const std::optional<qsizetype> index = dbmsChoiceIndex(stored);
        return index ? dbmsChoices().at(*index).dbms : QStringLiteral("<none>");
    };
    EXPECT_EQ(chosen(QString()), kDbmsSqlite);
    EXPECT_EQ(chosen(QStringLiteral("  ")), kDbmsSqlite);
    EXPECT_EQ(chosen(kDbmsPostgreSql), kDbmsPostgreSql);
    EXPECT_EQ(chosen(QStringLiteral("postgresql")), kDbmsPostgreSql);
    EXPECT_EQ(chosen(QStringLiteral(" sqlite ")), kDbmsSqlite);
    EXPECT_EQ(chosen(kDbmsSqlServer), kDbmsSqlServer);
    EXPECT_EQ(chosen(kDbmsSqlServer.toUpper()), kDbmsSqlServer);
    // What the list cannot offer has no entry, rather than quietly meaning the embedded database.
    EXPECT_EQ(chosen(QStringLiteral("Oracle")), QStringLiteral("<none>"));
    EXPECT_EQ(chosen(kDbmsOdbc), QStringLiteral("<none>"));
    EXPECT_EQ(chosen(QStringLiteral("odbc")), QStringLiteral("<none>"));
}

TEST(LoginConnection, FieldsAreTakenAsTypedAndTheSqliteFileLivesInTheProgramFolder) {
    Transaction sqlca;
    sqlca.DBParm = QStringLiteral("Timeout=1");
    sqlca.AutoCommit = false;

    LoginInputs inputs;
    inputs.dbms = kDbmsPostgreSql;
    inputs.serverAddress = QStringLiteral(" 127.0.0.1:5432 ");
    inputs.database = QStringLiteral("game ");
    inputs.login = QStringLiteral("sa");
    inputs.password = QStringLiteral(" p w ");
    setConnectionFields(sqlca, inputs, QStringLiteral("/opt/tarnlow/"));
    EXPECT_EQ(sqlca.DBMS, kDbmsPostgreSql);
    EXPECT_EQ(sqlca.ServerName, QStringLiteral(" 127.0.0.1:5432 "));
    EXPECT_EQ(sqlca.Database, QStringLiteral("game "));
    EXPECT_EQ(sqlca.LogID, QStringLiteral("sa"));
    EXPECT_EQ(sqlca.LogPass, QStringLiteral(" p w "));
    EXPECT_TRUE(sqlca.AutoCommit);
    EXPECT_TRUE(sqlca.DBParm.isEmpty());

    setConnectionFields(sqlca, sqliteInputs(), QStringLiteral("/opt/tarnlow/"));
    EXPECT_EQ(sqlca.DBMS, kDbmsSqlite);
    EXPECT_EQ(sqlca.Database, QStringLiteral("/opt/tarnlow/tarnlow_as.db"));
    setConnectionFields(sqlca, sqliteInputs(QStringLiteral("data/game.db")), QStringLiteral("/opt/tarnlow/"));
    EXPECT_EQ(sqlca.Database, QStringLiteral("/opt/tarnlow/data/game.db"));
    setConnectionFields(sqlca, sqliteInputs(QStringLiteral("/srv/game.db")), QStringLiteral("/opt/tarnlow/"));
    EXPECT_EQ(sqlca.Database, QStringLiteral("/srv/game.db"));
}

TEST(LoginConnection, EmbeddedDatabaseConnectsWithoutAnySetting) {
    test::ScratchFolder scratch;
    Transaction sqlca;
    LoginInputs inputs; // a new machine: nothing typed, no DBMS chosen
    EXPECT_FALSE(connectDatabase(sqlca, inputs, scratch.path() + QLatin1Char('/')));
    EXPECT_TRUE(sqlca.isConnected());
    EXPECT_GE(sqlca.dbhandle(), 1);
    EXPECT_TRUE(QFileInfo::exists(scratch.file(kEmbeddedDatabaseFile)));
}

TEST(LoginConnection, FailureCarriesANegativeCodeAndTheDriversText) {
    test::ScratchFolder scratch;
    Transaction sqlca;
    const std::optional<LoginFailure> failure = connectDatabase(
        sqlca, sqliteInputs(QStringLiteral("missing-folder/game.db")), scratch.path() + QLatin1Char('/'));
    ASSERT_TRUE(failure);
    EXPECT_LT(failure->code, 0);
    EXPECT_FALSE(failure->text.isEmpty());
    EXPECT_FALSE(sqlca.isConnected());
}

// On the server itself and through PgBouncer in transaction pooling.
TEST(LoginConnection, PostgresRefusesAWrongPasswordAndAcceptsTheRightOne) {
    TARNLOW_REQUIRE_POSTGRES(server);
    const QString database = test::createPostgresDatabase(server);
    ASSERT_FALSE(database.isEmpty());
    const std::optional<int> pooler = test::pgbouncerPort();
    TARNLOW_REQUIRE_PORT(pooler, "PgBouncer (TARNLOW_TEST_PGBOUNCER_PORT)");
    for (const int port : {server.port, *pooler}) {
        LoginInputs inputs;
        inputs.dbms = kDbmsPostgreSql;
        inputs.serverAddress = server.host + QLatin1Char(':') + QString::number(port);
        inputs.database = database;
        inputs.login = server.user;
        inputs.password = server.password + QStringLiteral("-wrong");

        Transaction sqlca;
        const std::optional<LoginFailure> failure =
            connectDatabase(sqlca, inputs, QStringLiteral("/nonexistent/"));
        ASSERT_TRUE(failure);
        EXPECT_LT(failure->code, 0);
        EXPECT_TRUE(failure->text.contains(QStringLiteral("authentication failed")))
            << failure->text.toStdString();

        inputs.password = server.password;
        const std::optional<LoginFailure> second =
            connectDatabase(sqlca, inputs, QStringLiteral("/nonexistent/"));
        EXPECT_FALSE(second) << second->text.toStdString();
        EXPECT_TRUE(sqlca.isConnected());
        const auto row = sqlca.selectInto(QStringLiteral("SELECT current_database() = ?"), {database});
        ASSERT_TRUE(row) << sqlca.SQLErrText.toStdString();
        EXPECT_TRUE(row->first().toBool()) << port;
    }
}

TEST(LoginConnection, AServerThatNeverAnswersFailsAfterTheLoginTimeout) {
    // The kernel completes the handshake, and the client waits for a greeting that never comes
    // until the login timeout, ten seconds for the login window, ends the attempt.
    test::SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    LoginInputs inputs;
    inputs.dbms = kDbmsPostgreSql;
    inputs.serverAddress = QStringLiteral("127.0.0.1:") + QString::number(silent.port());
    inputs.database = QStringLiteral("game");
    inputs.login = QStringLiteral("sa");
    Transaction sqlca;
    QElapsedTimer timer;
    timer.start();
    const std::optional<LoginFailure> failure =
        connectDatabase(sqlca, inputs, QStringLiteral("/nonexistent/"));
    const qint64 elapsed = timer.elapsed();
    ASSERT_TRUE(failure);
    EXPECT_LT(failure->code, 0);
    EXPECT_TRUE(failure->text.contains(QStringLiteral("timeout expired"))) << failure->text.toStdString();
    EXPECT_TRUE(failure->text.contains(QStringLiteral("port %1").arg(silent.port())))
        << failure->text.toStdString();
    // libpq counts the timeout in whole seconds.
    EXPECT_GE(elapsed, 9000);
    EXPECT_LT(elapsed, 60000);
    EXPECT_FALSE(sqlca.isConnected());
}

class StoreSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        gs_path = scratch.path() + QLatin1Char('/');
        gs_lang = QStringLiteral("English.flf");
        gs_font = QStringLiteral("Arial");
        ASSERT_TRUE(scratch.write(QStringLiteral("a.flf"), "[FLF]\nNAME=Deutsch\nFONT=Sans A\n"));
        ASSERT_TRUE(scratch.write(QStringLiteral("b.flf"), "[FLF]\nNAME=Deutsch\nFONT=Sans B\n"));
        ASSERT_TRUE(scratch.write(QStringLiteral("c.flf"), "[FLF]\nNAME=Fran\xc3\xa7\x61is\n"));
        languages = {{QStringLiteral("a.flf"), QStringLiteral("Deutsch")},
                     {QStringLiteral("b.flf"), QStringLiteral("Deutsch")},
                     {QStringLiteral("c.flf"), QStringLiteral("Français")}};
        inputs.login = QStringLiteral("sa");
        inputs.password = QStringLiteral("Secret 1");
        inputs.serverPath = QStringLiteral("/srv/");
        inputs.serverAddress = QStringLiteral("db.local");
        inputs.database = QStringLiteral("game");
        inputs.dbms = kDbmsPostgreSql;
    }

    LanguageGlobalsGuard guard;
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    QList<LanguageEntry> languages;
    LoginInputs inputs;
};

TEST_F(StoreSettingsTest, AutoLoginStoresTheScrambledPasswordAndTheChosenLanguage) {
    inputs.autoLogin = true;
    // Two files share a display name: the entry is found again by its text, so the first file wins.
    const StoredSettings outcome =
        storeSettingsAfterLogin(store, inputs, languages, QStringLiteral("Deutsch"));
    EXPECT_TRUE(outcome.problems.isEmpty()) << outcome.problems.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(outcome.languageFile, QStringLiteral("a.flf"));
    EXPECT_EQ(gs_lang, QStringLiteral("a.flf"));
    EXPECT_EQ(gs_font, QStringLiteral("Sans A"));

    EXPECT_EQ(store.valueNames(kSettingsKey),
              (QStringList{QStringLiteral("Server_path"), QStringLiteral("ServerIP"), QStringLiteral("login"),
                           QStringLiteral("database"), QStringLiteral("DBMS"), QStringLiteral("Lang"),
                           QStringLiteral("AutoLogin"), QStringLiteral("password")}));
    EXPECT_EQ(storedValue(store, QStringLiteral("Lang")), QStringLiteral("a.flf"));
    EXPECT_EQ(storedValue(store, QStringLiteral("DBMS")), kDbmsPostgreSql);
    EXPECT_EQ(storedValue(store, QStringLiteral("AutoLogin")), QStringLiteral("1"));
    const QString scrambled = storedValue(store, QStringLiteral("password"));
    EXPECT_NE(scrambled, inputs.password);
    EXPECT_EQ(*f_password(scrambled, false, kPasswordAccessKey), inputs.password);
}

TEST_F(StoreSettingsTest, WithoutAutoLoginThePasswordIsEmptiedAndAutoLoginSwitchedOff) {
    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("AutoLogin"), QStringLiteral("1")));
    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("Lang"), QStringLiteral("c.flf")));
    inputs.autoLogin = false;
    const StoredSettings outcome = storeSettingsAfterLogin(store, inputs, languages, QString());
    EXPECT_TRUE(outcome.problems.isEmpty());
    EXPECT_TRUE(outcome.languageFile.isEmpty());
    EXPECT_EQ(storedValue(store, QStringLiteral("AutoLogin")), QStringLiteral("0"));
    EXPECT_EQ(storedValue(store, QStringLiteral("password")), QString());
    // No language chosen: Lang and the globals keep their values.
    EXPECT_EQ(storedValue(store, QStringLiteral("Lang")), QStringLiteral("c.flf"));
    EXPECT_EQ(gs_lang, QStringLiteral("English.flf"));
    EXPECT_EQ(gs_font, QStringLiteral("Arial"));
}

TEST_F(StoreSettingsTest, APasswordThatCannotBeScrambledIsNotKeptAndSaidSo) {
    inputs.autoLogin = true;
    inputs.password = QStringLiteral("pass\U0001F600");
    const StoredSettings outcome = storeSettingsAfterLogin(store, inputs, languages, QStringLiteral("Fran"));
    ASSERT_EQ(outcome.problems.size(), 1);
    EXPECT_TRUE(outcome.problems.first().contains(QStringLiteral("automatic login")));
    EXPECT_EQ(storedValue(store, QStringLiteral("AutoLogin")), QStringLiteral("0"));
    EXPECT_EQ(storedValue(store, QStringLiteral("password")), QString());
    // Everything else is stored as usual; the language is found by the beginning of its name.
    EXPECT_EQ(storedValue(store, QStringLiteral("login")), QStringLiteral("sa"));
    EXPECT_EQ(storedValue(store, QStringLiteral("Lang")), QStringLiteral("c.flf"));
    EXPECT_EQ(gs_font, QStringLiteral("Arial"));
}
