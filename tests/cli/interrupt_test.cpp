#include "cli/progress_line.h"
#include "host/size_text.h"
#include "support/cli_process.h"
#include "support/silent_server.h"
#include "support/terminal_process.h"
#include "support/test_environment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

TEST(ProgressLine, SaysHowMuchOfTheWholeIsDoneHowFastAndWhichFile) {
    EXPECT_EQ(sizeText(312), QStringLiteral("312 bytes"));
    EXPECT_EQ(sizeText(820 * 1024), QStringLiteral("820.0 KB"));
    EXPECT_EQ(sizeText(3 * 1024 * 1024 / 2), QStringLiteral("1.5 MB"));
    EXPECT_EQ(cli::progressLineText(512 * 1024, 2 * 1024 * 1024, 1024 * 1024, QStringLiteral("game.exe")),
              QStringLiteral(" 25% 512.0 KB of 2.0 MB, 1.0 MB/s: game.exe"));
    // No rate before there is one; a file name cannot move the cursor.
    EXPECT_EQ(cli::progressLineText(0, 0, 0, QStringLiteral("a\rb")),
              QStringLiteral("100% 0 bytes of 0 bytes: a\\x0Db"));
}

// Ctrl+C while the login waits for a server that never answers ends the command at once with
// exit code 130 and a message, instead of after the login timeout (10 seconds).
TEST(Interrupt, CtrlCWhileConnectingEndsAtOnceWith130) {
    test::SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    test::ScratchFolder scratch;
    QProcessEnvironment environment = test::environmentWithRegistry(scratch.registryPath());
    environment.insert(QStringLiteral("TARNLOW_AS_PASSWORD"), QStringLiteral("x"));
    const QString ready = scratch.file(QStringLiteral("ready"));
    environment.insert(QStringLiteral("TARNLOW_AS_CTRL_C_READY"), ready);
    ASSERT_TRUE(scratch.write(QStringLiteral("p.fuf"), QByteArray(300, 'x')));
    const QStringList connection{
        QStringLiteral("--dbms"),     QStringLiteral("PostgreSQL"),
        QStringLiteral("--server"),   QStringLiteral("127.0.0.1:%1").arg(silent.port()),
        QStringLiteral("--database"), QStringLiteral("nothing"),
        QStringLiteral("--login"),    QStringLiteral("nobody")};
    for (const QStringList& command :
         {QStringList{QStringLiteral("sync"), QStringLiteral("--folder"), scratch.path()},
          QStringList{QStringLiteral("apply"), scratch.file(QStringLiteral("p.fuf"))}}) {
        SCOPED_TRACE(command.first().toStdString());
        QFile::remove(ready);
        test::TerminalProcess process;
        ASSERT_TRUE(process.start(test::cliProgram(), command + connection, environment));
        // The command says when it handles Ctrl+C; it connects right after.
        ASSERT_TRUE(process.waitForFile(ready, 60000)) << process.text().toStdString();
        QElapsedTimer timer;
        timer.start();
        process.interrupt();
        EXPECT_EQ(process.waitForExit(30000), 130) << process.text().toStdString();
        // At once: half the login timeout is ample here, also under the sanitizers.
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_TRUE(process.text().contains(QStringLiteral("stopped by Ctrl+C")))
            << process.text().toStdString();
        EXPECT_FALSE(process.text().contains(QStringLiteral("cannot connect")))
            << process.text().toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(scratch.registryPath()));
}

} // namespace
