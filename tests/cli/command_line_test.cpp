#include "support/cli_process.h"
#include "support/database_backends.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <poll.h>

using namespace tarnlow;
using test::CliRun;
using test::runCli;

namespace {

TEST(CommandLine, HelpOfEverySubCommandListsItsOptions) {
    const QStringList connection{QStringLiteral("--dbms"),          QStringLiteral("--server"),
                                 QStringLiteral("--database"),      QStringLiteral("--login"),
                                 QStringLiteral("--password"),      QStringLiteral("--password-file"),
                                 QStringLiteral("--connect-string")};
    const QList<std::pair<QString, QStringList>> commands{
        {QStringLiteral("settings"), {}},
        {QStringLiteral("pack"),
         {QStringLiteral("--output"), QStringLiteral("--ver"), QStringLiteral("--comp"),
          QStringLiteral("--file1"), QStringLiteral("--file4"), QStringLiteral("--sql-file"),
          QStringLiteral("--force")}},
        {QStringLiteral("inspect"), {QStringLiteral("--json")}},
        {QStringLiteral("init"), QStringList{QStringLiteral("--force")} + connection},
        {QStringLiteral("apply"), connection},
        {QStringLiteral("sync"), QStringList{QStringLiteral("--folder")} + connection},
        {QStringLiteral("clients"),
         QStringList{QStringLiteral("--json"), QStringLiteral("--behind"), QStringLiteral("--forget")} +
             connection},
    };
    for (const auto& [name, options] : commands) {
        for (const QString& help : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            const CliRun run = runCli({name, help});
            EXPECT_EQ(run.exitCode, 0) << name.toStdString() << ": " << run.err.toStdString();
            EXPECT_TRUE(run.out.startsWith(QStringLiteral("usage: tarnlow_as_cli ") + name))
                << run.out.toStdString();
            EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
            for (const QString& option : options + QStringList{QStringLiteral("--help")})
                EXPECT_TRUE(run.out.contains(QLatin1Char(' ') + option + QLatin1Char(' ')))
                    << name.toStdString() << " " << option.toStdString() << "\n"
                    << run.out.toStdString();
        }
    }
    // The program's own help names the safe ways to give a password.
    const CliRun overview = runCli({QStringLiteral("--help")});
    EXPECT_EQ(overview.exitCode, 0);
    EXPECT_TRUE(overview.out.contains(QStringLiteral("--password-file")) &&
                overview.out.contains(QStringLiteral("TARNLOW_AS_PASSWORD")))
        << overview.out.toStdString();
}

TEST(CommandLine, UsageErrorsNameTheOptionAsTypedAndExitTwo) {
    const QList<std::pair<QStringList, QString>> cases{
        {{QStringLiteral("init"), QStringLiteral("--no-such-option")},
         QStringLiteral("\"--no-such-option\"")},
        {{QStringLiteral("inspect"), QStringLiteral("p.fuf"), QStringLiteral("-x")},
         QStringLiteral("\"-x\"")},
        {{QStringLiteral("sync"), QStringLiteral("--folder")}, QStringLiteral("--folder")},
        {{QStringLiteral("apply"), QStringLiteral("p.fuf"), QStringLiteral("--login=a"),
          QStringLiteral("--login=b")},
         QStringLiteral("--login is given twice")},
        {{QStringLiteral("init"), QStringLiteral("--password"), QStringLiteral("a"),
          QStringLiteral("--password-file"), QStringLiteral("f")},
         QStringLiteral("not both")},
        {{QStringLiteral("init"), QStringLiteral("extra")}, QStringLiteral("\"extra\"")},
    };
    for (const auto& [arguments, expected] : cases) {
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(expected) &&
                    run.err.contains(QStringLiteral("usage: tarnlow_as_cli ") + arguments.first()))
            << run.err.toStdString();
    }
}

// What a run with standard output on /dev/full left on standard error, and its exit code.
std::pair<int, QString> runIntoFullDisk(const QStringList& arguments) {
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(test::cliProgram(), arguments);
    EXPECT_TRUE(process.waitForFinished(60000)) << process.errorString().toStdString();
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {code, QString::fromUtf8(process.readAllStandardError())};
}

TEST(CommandLine, OutputThatCannotBeWrittenExitsOneWithAMessage) {
    test::ScratchFolder scratch;
    ASSERT_EQ(runCli({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("Lang"),
                      QStringLiteral("English.flf")})
                  .exitCode,
              0);
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("settings"), QStringLiteral("list")},
          QStringList{QStringLiteral("settings"), QStringLiteral("get"), QStringLiteral("Lang")},
          QStringList{QStringLiteral("pack"), QStringLiteral("--help")}}) {
        const auto [code, err] = runIntoFullDisk(arguments);
        EXPECT_EQ(code, 1) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("cannot write to standard output"))) << err.toStdString();
    }
    // A command that failed already keeps its own exit code and message.
    const auto [code, err] =
        runIntoFullDisk({QStringLiteral("settings"), QStringLiteral("get"), QStringLiteral("None")});
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(err.contains(QStringLiteral("\"None\""))) << err.toStdString();
}

// tarnlow_as_cli init against a PostgreSQL database of its own, with the password from wherever
// the test puts it.
class PasswordSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        TARNLOW_REQUIRE_BACKEND(database);
        database.configure(connection);
        ASSERT_TRUE(scratch.write(QStringLiteral("right"), connection.LogPass.toUtf8() + '\n'));
        ASSERT_TRUE(scratch.write(QStringLiteral("wrong"), QByteArray("not-the-password\n")));
    }

    QStringList arguments(const QStringList& password) const {
        return QStringList{
                   QStringLiteral("init"),     QStringLiteral("--dbms"),  connection.DBMS,
                   QStringLiteral("--server"), connection.ServerName,     QStringLiteral("--database"),
                   connection.Database,        QStringLiteral("--login"), connection.LogID} +
               password;
    }

    CliRun init(const QStringList& password, const std::optional<QString>& variable) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("TARNLOW_AS_PASSWORD"));
        if (variable)
            environment.insert(QStringLiteral("TARNLOW_AS_PASSWORD"), *variable);
        return runCli(arguments(password), environment);
    }

    QString file(const QString& name) const { return scratch.file(name); }

    test::BackendDatabase database{test::Backend::Postgres};
    Transaction connection;
    test::ScratchFolder scratch;
};

TEST_F(PasswordSourceTest, FileThenOptionThenEnvironmentAndAFailingFileNeverFallsBack) {
    const QString right = connection.LogPass;
    const QString wrong = QStringLiteral("not-the-password");
    const QString refused = QStringLiteral("password authentication failed");
    struct Case {
        QStringList options;
        std::optional<QString> variable;
        bool connects;
    };
    const QList<Case> cases{
        {{QStringLiteral("--password-file"), file(QStringLiteral("right"))}, std::nullopt, true},
        {{QStringLiteral("--password-file=") + file(QStringLiteral("right"))}, wrong, true},
        {{QStringLiteral("--password-file"), file(QStringLiteral("wrong"))}, right, false},
        {{}, right, true},
        {{}, wrong, false},
        {{QStringLiteral("--password"), right}, wrong, true},
        {{QStringLiteral("--password"), wrong}, right, false},
    };
    for (const Case& given : cases) {
        const CliRun run = init(given.options, given.variable);
        const std::string what = given.options.join(QLatin1Char(' ')).toStdString() + " / " +
                                 given.variable.value_or(QStringLiteral("(unset)")).toStdString();
        if (given.connects) {
            EXPECT_EQ(run.exitCode, 0) << what << ": " << run.err.toStdString();
        } else {
            EXPECT_EQ(run.exitCode, 1) << what;
            EXPECT_TRUE(run.err.contains(refused)) << what << ": " << run.err.toStdString();
        }
    }

    // A password file that cannot be read is the failure, even with the right password at hand.
    for (const QString& path : {file(QStringLiteral("missing")), scratch.path()}) {
        const CliRun run = init({QStringLiteral("--password-file"), path}, right);
        EXPECT_EQ(run.exitCode, 1) << path.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("the password file ") + path)) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(refused)) << run.err.toStdString();
    }
}

TEST_F(PasswordSourceTest, DashAsksOnTheTerminalWithoutShowingThePassword) {
    const QStringList command =
        QStringList{test::cliProgram()} + arguments({QStringLiteral("--password"), QStringLiteral("-")});
    std::vector<QByteArray> storage;
    for (const QString& argument : command)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    qunsetenv("TARNLOW_AS_PASSWORD");

    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0) {
        execv(argv.front(), argv.data());
        _exit(127);
    }
    // Everything the terminal showed, until the program ends.
    QByteArray shown;
    bool answered = false;
    for (;;) {
        pollfd ready{terminal, POLLIN, 0};
        if (poll(&ready, 1, 30000) <= 0)
            break;
        char buffer[4096];
        const ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got <= 0)
            break;
        shown.append(buffer, got);
        if (!answered && shown.contains("Password: ")) {
            const QByteArray line = connection.LogPass.toUtf8() + '\n';
            ASSERT_EQ(write(terminal, line.constData(), static_cast<size_t>(line.size())), line.size());
            answered = true;
        }
    }
    close(terminal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(answered) << shown.toStdString();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown.toStdString();
    EXPECT_FALSE(shown.contains(connection.LogPass.toUtf8())) << shown.toStdString();
    EXPECT_TRUE(shown.contains("system tables")) << shown.toStdString();
}

TEST(CommandLine, DashWithoutATerminalFailsNamingTheOtherWays) {
    test::ScratchFolder scratch;
    QProcess process;
    // A session of its own has no controlling terminal.
    process.setChildProcessModifier([] { setsid(); });
    process.start(test::cliProgram(),
                  {QStringLiteral("init"), QStringLiteral("--password"), QStringLiteral("-")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("no terminal")) &&
                err.contains(QStringLiteral("--password-file")))
        << err.toStdString();
}

} // namespace
