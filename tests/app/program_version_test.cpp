// Both programs answer --version with the project's version, without a display and without
// touching the settings or the desktop's folders.

#include "support/test_environment.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ProgramRun runWithoutDisplay(const QString& program, const QStringList& arguments, const QString& scratch) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), scratch + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch + QStringLiteral("/run"));
    environment.insert(QStringLiteral("TARNLOW_AS_REGISTRY"), scratch + QStringLiteral("/registry.ini"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(tarnlow::test::binaryDirectory() + QLatin1Char('/') + program, arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

TEST(ProgramVersion, BothProgramsPrintTheProjectVersionAndTouchNothing) {
    const QString version = QStringLiteral(TARNLOW_PROJECT_VERSION);
    for (const QString& program : {QStringLiteral("tarnlow_as"), QStringLiteral("tarnlow_as_cli")}) {
        SCOPED_TRACE(program.toStdString());
        QTemporaryDir scratch;
        ASSERT_TRUE(scratch.isValid());
        const ProgramRun run = runWithoutDisplay(program, {QStringLiteral("--version")}, scratch.path());
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, program + QLatin1Char(' ') + version + QLatin1Char('\n'));
        EXPECT_EQ(run.err, QString());
        EXPECT_EQ(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList())
            << "--version wrote settings or desktop files";
    }
}

TEST(ProgramVersion, VersionAmongOtherArgumentsIsNoVersionRequest) {
    // The whole command line is a package path; only a lone --version asks for the version.
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const ProgramRun run = runWithoutDisplay(
        QStringLiteral("tarnlow_as"), {QStringLiteral("--version"), QStringLiteral("x")}, scratch.path());
    EXPECT_FALSE(run.out.startsWith(QStringLiteral("tarnlow_as "))) << run.out.toStdString();
    EXPECT_NE(run.exitCode, 0) << "without a display the program cannot start";
}

} // namespace
