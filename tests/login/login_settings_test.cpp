#include "login/login_settings.h"

#include "host/settings_store.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

using namespace tarnlow;

TEST(LoginSettings, ReadsTheStoredValuesAndLeavesMissingOnesEmpty) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    ASSERT_TRUE(store.write(kSettingsKey, setting::kServerIp, QStringLiteral("db.local")));
    ASSERT_TRUE(store.write(kSettingsKey, setting::kLogin, QStringLiteral("sa")));
    ASSERT_TRUE(store.write(kSettingsKey, setting::kServerPath, QStringLiteral(" D:\\srv ")));
    ASSERT_TRUE(store.write(kSettingsKey, setting::kDbms, QStringLiteral("PostgreSQL")));

    const StoredLogin stored = readStoredLogin(store);
    EXPECT_EQ(stored.serverIp, QStringLiteral("db.local"));
    EXPECT_EQ(stored.login, QStringLiteral("sa"));
    EXPECT_EQ(stored.serverPath, QStringLiteral(" D:\\srv "));
    EXPECT_EQ(stored.dbms, QStringLiteral("PostgreSQL"));
    EXPECT_TRUE(stored.autoLogin.isEmpty());
    EXPECT_TRUE(stored.password.isEmpty());
    EXPECT_TRUE(stored.database.isEmpty());
    EXPECT_FALSE(wantsAutoLogin(stored));
}

TEST(LoginSettings, OnlyTheExactTextOneLogsInAutomatically) {
    StoredLogin stored;
    for (const char* text : {"1 ", "01", "true", " 1", ""}) {
        stored.autoLogin = QString::fromLatin1(text);
        EXPECT_FALSE(wantsAutoLogin(stored)) << text;
    }
    stored.autoLogin = QStringLiteral("1");
    EXPECT_TRUE(wantsAutoLogin(stored));
}

TEST(LoginSettings, ServerPathKeepsItsSeparatorOrGetsOneAfterTrimming) {
    EXPECT_EQ(normalizedServerPath(QString()), QString());
    EXPECT_EQ(normalizedServerPath(QStringLiteral("/srv/game/")), QStringLiteral("/srv/game/"));
    EXPECT_EQ(normalizedServerPath(QStringLiteral("D:\\srv\\")), QStringLiteral("D:\\srv\\"));
    EXPECT_EQ(normalizedServerPath(QStringLiteral("  /srv/game  ")), QStringLiteral("/srv/game/"));
    EXPECT_EQ(normalizedServerPath(QStringLiteral("D:\\srv")), QStringLiteral("D:\\srv/"));
    // A separator followed by blanks is trimmed and not doubled.
    EXPECT_EQ(normalizedServerPath(QStringLiteral("D:\\srv\\ ")), QStringLiteral("D:\\srv\\"));
    EXPECT_EQ(normalizedServerPath(QStringLiteral("/srv/ \t")), QStringLiteral("/srv/"));
    // Blanks alone name no folder at all, in particular not the root folder.
    EXPECT_EQ(normalizedServerPath(QStringLiteral("   ")), QString());
}

namespace {

QStringList names(const QList<SettingWrite>& writes) {
    QStringList result;
    for (const SettingWrite& write : writes)
        result.append(write.name);
    return result;
}

LoginInputs someInputs(bool autoLogin) {
    LoginInputs inputs;
    inputs.login = QStringLiteral("sa");
    inputs.password = QStringLiteral("secret");
    inputs.serverPath = QStringLiteral("/srv/");
    inputs.serverAddress = QStringLiteral("db.local");
    inputs.database = QStringLiteral("game");
    inputs.dbms = QStringLiteral("PostgreSQL");
    inputs.autoLogin = autoLogin;
    return inputs;
}

} // namespace

TEST(LoginSettings, WritesFollowTheFixedOrder) {
    const QList<SettingWrite> checked =
        settingsWritesAfterLogin(someInputs(true), QStringLiteral("English.flf"), QStringLiteral("xyz"));
    EXPECT_EQ(names(checked),
              (QStringList{QStringLiteral("Server_path"), QStringLiteral("ServerIP"), QStringLiteral("login"),
                           QStringLiteral("database"), QStringLiteral("DBMS"), QStringLiteral("Lang"),
                           QStringLiteral("AutoLogin"), QStringLiteral("password")}));
    EXPECT_EQ(checked.at(0).value, QStringLiteral("/srv/"));
    EXPECT_EQ(checked.at(1).value, QStringLiteral("db.local"));
    EXPECT_EQ(checked.at(4).value, QStringLiteral("PostgreSQL"));
    EXPECT_EQ(checked.at(5).value, QStringLiteral("English.flf"));
    EXPECT_EQ(checked.at(6).value, QStringLiteral("1"));
    EXPECT_EQ(checked.at(7).value, QStringLiteral("xyz"));

    // Without a language no Lang; with the box unchecked auto-login is switched off and the
    // password emptied, whatever scrambled form is offered.
    const QList<SettingWrite> unchecked =
        settingsWritesAfterLogin(someInputs(false), QString(), QStringLiteral("xyz"));
    EXPECT_EQ(names(unchecked),
              (QStringList{QStringLiteral("Server_path"), QStringLiteral("ServerIP"), QStringLiteral("login"),
                           QStringLiteral("database"), QStringLiteral("DBMS"), QStringLiteral("AutoLogin"),
                           QStringLiteral("password")}));
    EXPECT_EQ(unchecked.at(5).value, QStringLiteral("0"));
    EXPECT_EQ(unchecked.at(6).value, QString());
}

TEST(LoginSettings, ApplyingWritesStoresEveryValueAndNamesTheOnesThatFailed) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    const QList<SettingWrite> writes =
        settingsWritesAfterLogin(someInputs(true), QString(), QStringLiteral("x"));
    EXPECT_TRUE(applySettingWrites(store, writes).ok());
    EXPECT_EQ(store.valueNames(kSettingsKey), names(writes));

    // A store whose folder cannot be created: the write fails with the file in its reason.
    ASSERT_TRUE(scratch.write(QStringLiteral("plain-file"), "x"));
    SettingsStore broken(scratch.file(QStringLiteral("plain-file/registry.ini")));
    const Result<void> failed = applySettingWrites(broken, writes);
    ASSERT_FALSE(failed.ok());
    EXPECT_TRUE(failed.error().contains(broken.filePath())) << failed.error().toStdString();

    // A settings file whose change could lose a line is refused whole: no value of the login is
    // stored beside the old ones.
    SettingsStore damaged(scratch.file(QStringLiteral("damaged.ini")));
    ASSERT_TRUE(
        scratch.write(QStringLiteral("damaged.ini"),
                      "[HKEY_LOCAL_MACHINE\\Software\\Tarnlow_As]\ndatabase=old\n[broken\nDBMS=SQLite\n"));
    const Result<void> refused = applySettingWrites(damaged, writes);
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().contains(QStringLiteral("line 3"))) << refused.error().toStdString();
    EXPECT_EQ(scratch.read(QStringLiteral("damaged.ini")),
              QByteArray("[HKEY_LOCAL_MACHINE\\Software\\Tarnlow_As]\ndatabase=old\n[broken\nDBMS=SQLite\n"));
}
