#include "cli/connection_options.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "login/f_password.h"
#include "support/test_environment.h"

#include <QCommandLineParser>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarnlow;
using namespace tarnlow::cli;

namespace {

// The connection options of a command line, parsed as a database sub-command parses them.
Result<ConnectionOptions> parse(const QStringList& arguments, QStringList* positional = nullptr) {
    QCommandLineParser parser;
    addConnectionOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("apply")} + arguments))
        return Error{parser.errorText()};
    if (positional)
        *positional = parser.positionalArguments();
    return connectionOptions(parser);
}

// Sets an environment variable for one scope and puts back what was there.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::optional<QByteArray>& value)
        : m_name(name)
        , m_previous(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
        set(value);
    }
    ~ScopedVariable() { set(m_previous); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    void set(const std::optional<QByteArray>& value) {
        if (value)
            qputenv(m_name, *value);
        else
            qunsetenv(m_name);
    }
    const char* m_name;
    std::optional<QByteArray> m_previous;
};

} // namespace

TEST(ConnectionOptions, TakesBothFormsAndLeavesOtherArgumentsInOrder) {
    QStringList positional;
    const auto options =
        parse({QStringLiteral("pkg.fuf"), QStringLiteral("--server"), QStringLiteral("db1"),
               QStringLiteral("--password="), QStringLiteral("other"), QStringLiteral("--dbms=postgresql"),
               QStringLiteral("--connect-string"), QStringLiteral("DSN=x;UID=y")},
              &positional);
    ASSERT_TRUE(options.ok()) << options.error().toStdString();
    EXPECT_EQ(positional, QStringList({QStringLiteral("pkg.fuf"), QStringLiteral("other")}));
    EXPECT_EQ(options->server, QStringLiteral("db1"));
    EXPECT_EQ(options->password, QString());
    EXPECT_EQ(options->dbms, QStringLiteral("PostgreSQL"));
    EXPECT_EQ(options->connectString, QStringLiteral("DSN=x;UID=y"));
    EXPECT_FALSE(options->login.has_value());
    EXPECT_FALSE(options->passwordFile.has_value());
}

TEST(ConnectionOptions, BadOptionsNameWhatIsWrong) {
    const QList<std::pair<QStringList, QString>> cases{
        {{QStringLiteral("--login")}, QStringLiteral("--login")},
        {{QStringLiteral("--dbms"), QStringLiteral("oracle")}, QStringLiteral("oracle")},
        {{QStringLiteral("--password=a"), QStringLiteral("--password-file"), QStringLiteral("f")},
         QStringLiteral("--password-file")},
    };
    for (const auto& [given, expected] : cases) {
        const auto options = parse(given);
        ASSERT_FALSE(options.ok()) << given.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(options.error().contains(expected)) << options.error().toStdString();
    }
}

TEST(ConnectionOptions, PasswordComesFromTheFileThenTheOptionThenTheEnvironmentThenTheSettings) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    ASSERT_TRUE(store
                    .write(kSettingsKey, QStringLiteral("password"),
                           *f_password(QStringLiteral("stored"), true, kPasswordAccessKey))
                    .ok());
    scratch.write(QStringLiteral("pw"), QByteArray("from file \xe4\xb8\xad\r\nsecond line\n"));
    scratch.write(QStringLiteral("empty"), QByteArray());
    scratch.write(QStringLiteral("unended"), QByteArray("no line end"));
    const auto password = [&](const QStringList& arguments) {
        const auto options = parse(arguments);
        EXPECT_TRUE(options.ok()) << options.error().toStdString();
        const Result<QString> found =
            connectionPassword(options.ok() ? *options : ConnectionOptions{}, store);
        return found.ok() ? found.value() : QStringLiteral("error: ") + found.error();
    };
    const QString file = QStringLiteral("--password-file=") + scratch.file(QStringLiteral("pw"));

    {
        ScopedVariable unset(kPasswordVariable, std::nullopt);
        EXPECT_EQ(password({}), QStringLiteral("stored"));
        EXPECT_EQ(password({QStringLiteral("--password"), QStringLiteral("given")}), QStringLiteral("given"));
    }
    ScopedVariable variable(kPasswordVariable, QByteArray("from environment"));
    EXPECT_EQ(password({}), QStringLiteral("from environment"));
    EXPECT_EQ(password({QStringLiteral("--password"), QStringLiteral("given")}), QStringLiteral("given"));
    EXPECT_EQ(password({file}), QStringLiteral("from file \u4e2d"));
    EXPECT_EQ(password({QStringLiteral("--password-file"), scratch.file(QStringLiteral("empty"))}),
              QString());
    EXPECT_EQ(password({QStringLiteral("--password-file"), scratch.file(QStringLiteral("unended"))}),
              QStringLiteral("no line end"));
    {
        // Set but empty is an empty password, not "no password given".
        ScopedVariable empty(kPasswordVariable, QByteArray());
        EXPECT_EQ(password({}), QString());
    }

    // A file that cannot be read fails with its path and the reason; nothing falls back silently.
    for (const QString& path : {scratch.file(QStringLiteral("missing")), scratch.path()}) {
        const QString found = password({QStringLiteral("--password-file"), path});
        EXPECT_TRUE(found.startsWith(QStringLiteral("error: the password file ") + path))
            << found.toStdString();
    }
    if (::geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(scratch.file(QStringLiteral("pw")), QFile::WriteOwner));
        const QString found = password({file});
        EXPECT_TRUE(found.contains(QStringLiteral("cannot be read"))) << found.toStdString();
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
