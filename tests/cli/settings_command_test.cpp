#include "support/cli_process.h"
#include "support/test_environment.h"

#include <QFile>

#include <gtest/gtest.h>

using tarnlow::test::CliRun;
using tarnlow::test::runCli;
using tarnlow::test::ScratchFolder;

namespace {

// The real tarnlow_as_cli with its settings store in a scratch file of its own.
class SettingsCommandTest : public ::testing::Test {
protected:
    CliRun settings(const QStringList& arguments) {
        return runCli(QStringList{QStringLiteral("settings")} + arguments, registry);
    }
    void set(const QString& name, const QString& value) {
        const CliRun run = settings({QStringLiteral("set"), name, value});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }

    ScratchFolder scratch;
    QString registry = scratch.file(QStringLiteral("cli-registry.ini"));
};

TEST_F(SettingsCommandTest, SetThenGetPrintsTheValueAloneExactlyAsStored) {
    const QList<std::pair<QString, QString>> values{
        {QStringLiteral("Lang"), QStringLiteral("English.flf")},
        {QStringLiteral("ServerIP"), QStringLiteral("  10.0.0.7   ")},
        {QStringLiteral("database"), QStringLiteral("a=b; c")},
        {QStringLiteral("login"), QStringLiteral("\u7ba1\u7406\u5458")},
        {QStringLiteral("Comp_ID"), QString()},
        {QStringLiteral("Lang2"), QStringLiteral("--help")},
    };
    for (const auto& [name, value] : values)
        set(name, value);
    for (const auto& [name, value] : values) {
        const CliRun run = settings({QStringLiteral("get"), name});
        EXPECT_EQ(run.exitCode, 0) << name.toStdString() << ": " << run.err.toStdString();
        EXPECT_EQ(run.out, value + QLatin1Char('\n')) << name.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    }

    // A second set replaces the value; the name keeps its place in the list.
    set(QStringLiteral("ServerIP"), QStringLiteral("db.example"));
    const CliRun list = settings({QStringLiteral("list")});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_EQ(list.out, QStringLiteral("Lang=English.flf\nServerIP=db.example\ndatabase=a=b; c\n"
                                       "login=\u7ba1\u7406\u5458\nComp_ID=\nLang2=--help\n"));
}

TEST_F(SettingsCommandTest, MissingValueGivesNothingOnStandardOutputAndExitOne) {
    CliRun run = settings({QStringLiteral("get"), QStringLiteral("Lang")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("\"Lang\""))) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(registry));

    // Another value stored: the missing one is still missing, and names are matched exactly.
    set(QStringLiteral("Lang"), QStringLiteral("English.flf"));
    for (const QString& name : {QStringLiteral("AutoLogin"), QStringLiteral("lang")}) {
        run = settings({QStringLiteral("get"), name});
        EXPECT_EQ(run.exitCode, 1) << name.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }

    // An empty store lists nothing.
    ScratchFolder other;
    run =
        runCli({QStringLiteral("settings"), QStringLiteral("list")}, other.file(QStringLiteral("none.ini")));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
}

TEST_F(SettingsCommandTest, UsageErrorsExitTwoAndChangeNothing) {
    set(QStringLiteral("Lang"), QStringLiteral("English.flf"));
    QFile file(registry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    const QList<QStringList> wrong{
        {},
        {QStringLiteral("show")},
        {QStringLiteral("get")},
        {QStringLiteral("get"), QStringLiteral("Lang"), QStringLiteral("extra")},
        {QStringLiteral("set"), QStringLiteral("Lang")},
        {QStringLiteral("set"), QStringLiteral("Lang"), QStringLiteral("a"), QStringLiteral("b")},
        {QStringLiteral("set"), QString(), QStringLiteral("value")},
        {QStringLiteral("list"), QStringLiteral("Lang")},
    };
    for (const QStringList& arguments : wrong) {
        const CliRun run = settings(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("usage: tarnlow_as_cli settings")))
            << run.err.toStdString();
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);

    // --help directly after the command is the command's help, not a usage error.
    const CliRun help = settings({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: tarnlow_as_cli settings")))
        << help.out.toStdString();
}

TEST_F(SettingsCommandTest, StoreIsReadableByItsOwnerOnly) {
    set(QStringLiteral("password"), QStringLiteral("scrambled"));
    EXPECT_EQ(QFile::permissions(registry),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    // A file that others could read is made owner-only by the next write.
    ASSERT_TRUE(QFile::setPermissions(registry, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                                    QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther));
    set(QStringLiteral("Lang"), QStringLiteral("English.flf"));
    EXPECT_EQ(QFile::permissions(registry),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

} // namespace
