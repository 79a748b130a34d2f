#include "import_fixture.h"

#include "db/dialect.h"
#include "host/settings_store.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

using test::PackageFileSpec;

QString storedSetting(const QString& name) {
    QString value;
    value = SettingsStore::standard().read(kSettingsKey, name).value_or(value);
    return value;
}

// The desktop program started the way the shell starts it for a package file: the package path as
// its whole command line, logging in on its own to an SQLite database. After the import the
// start-up runs again and its version check downloads the stored file into the program folder.
TEST(ImportAtStartup, PackageOnTheCommandLineIsStoredThenDownloadedAfterTheRestart) {
    test::ScratchFolder scratch;
    const QString programFolder = scratch.file(QStringLiteral("program"));
    ASSERT_TRUE(QDir().mkpath(programFolder));
    ASSERT_TRUE(
        QFile::copy(qEnvironmentVariable("TARNLOW_SOURCE_DIR") + QStringLiteral("/share/lang/English.flf"),
                    programFolder + QStringLiteral("/English.flf")));
    const QString database = scratch.file(QStringLiteral("server.db"));
    {
        Transaction sqlca;
        sqlca.Database = database;
        ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("create table script_runs ( n int )")), kSqlSuccess);
    }

    SettingsStore settings = SettingsStore::standard();
    for (const auto& [name, value] : std::initializer_list<std::pair<QString, QString>>{
             {QStringLiteral("Lang"), QStringLiteral("English.flf")},
             {QStringLiteral("AutoLogin"), QStringLiteral("1")},
             {QStringLiteral("DBMS"), QStringLiteral("SQLite")},
             {QStringLiteral("database"), database},
             {QStringLiteral("login"), QString()},
             {QStringLiteral("password"), QString()}})
        ASSERT_TRUE(settings.write(kSettingsKey, name, value));

    const QByteArray content = test::patternBytes(40000, 9);
    ASSERT_TRUE(scratch.write(
        QStringLiteral("update.fuf"),
        test::buildPackage("01", "003",
                           {PackageFileSpec{"client.dll", content}, std::nullopt, std::nullopt, std::nullopt},
                           "insert into script_runs values ( 1 )")));

    // One start with a package on the command line; it ends when the component is recorded. The
    // messages it showed, one a line.
    const auto start = [&](const QString& package, const QString& component, const QString& log) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // The program folder is the working folder, so downloads land in the scratch folder.
        environment.insert(QStringLiteral("TARNLOW_AS_NO_MODULE_HANDLE"), QStringLiteral("1"));
        environment.insert(QStringLiteral("TARNLOW_AS_MESSAGE_LOG"), scratch.file(log));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), scratch.file(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.path());
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(programFolder);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(test::binaryDirectory() + QStringLiteral("/tarnlow_as"), {scratch.file(package)});
        EXPECT_TRUE(program.waitForStarted(10000)) << program.errorString().toStdString();

        // The version check records the component it downloaded once it is done.
        QDeadlineTimer deadline(60000);
        while (storedSetting(QStringLiteral("Comp_ID")) != component && !deadline.hasExpired() &&
               program.state() == QProcess::Running)
            QThread::msleep(50);
        const QString installed = storedSetting(QStringLiteral("Comp_ID"));
        // Start-up goes on to the main window and keeps running.
        const bool ended = program.waitForFinished(1000);
        if (!ended) {
            program.terminate();
            if (!program.waitForFinished(5000))
                program.kill();
            program.waitForFinished(5000);
        }
        EXPECT_FALSE(ended) << "tarnlow_as ended with exit code " << program.exitCode();
        EXPECT_EQ(installed, component);
        return scratch.read(log).trimmed();
    };

    // The one message: no key is trusted here, so the download was not checked against a signature.
    const QByteArray messages =
        start(QStringLiteral("update.fuf"), QStringLiteral("3"), QStringLiteral("first.log"));
    ASSERT_EQ(messages.count('\n'), 0) << messages.toStdString();
    EXPECT_TRUE(messages.contains("No trusted key is set up")) << messages.toStdString();
    EXPECT_EQ(storedSetting(QStringLiteral("Unverified_Notice")), QDir(programFolder).absolutePath());

    Transaction sqlca;
    sqlca.Database = database;
    ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    const QList<test::StoredRow> rows = test::storedRows(sqlca);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].version, QStringLiteral("01"));
    EXPECT_EQ(rows[0].component, 3);
    EXPECT_EQ(rows[0].updateIndex, 1);
    EXPECT_EQ(rows[0].bytes, content);
    // The restarted start-up does not apply the package again: its script ran once.
    const auto scriptRuns = sqlca.selectInto(QStringLiteral("select count(*) from script_runs"));
    ASSERT_TRUE(scriptRuns.has_value());
    EXPECT_EQ(scriptRuns->at(0).toInt(), 1);

    QFile downloaded(programFolder + QStringLiteral("/client.dll"));
    ASSERT_TRUE(downloaded.open(QIODevice::ReadOnly));
    EXPECT_TRUE(downloaded.readAll() == content);
    downloaded.close();

    // The next download into the same folder is not verified either, and says nothing: the
    // operator has been told once on this machine.
    ASSERT_TRUE(scratch.write(QStringLiteral("update2.fuf"),
                              test::buildPackage("01", "004",
                                                 {PackageFileSpec{"client2.dll", content}, std::nullopt,
                                                  std::nullopt, std::nullopt},
                                                 "insert into script_runs values ( 2 )")));
    EXPECT_EQ(start(QStringLiteral("update2.fuf"), QStringLiteral("4"), QStringLiteral("second.log")),
              QByteArray());
    EXPECT_TRUE(QFile::exists(programFolder + QStringLiteral("/client2.dll")));
}

} // namespace
} // namespace tarnlow
