// Runs the real desktop program (offscreen) as separate processes.

#include "host/settings_store.h"
#include "host/single_instance_lock.h"
#include "support/test_environment.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

using namespace tarnlow;

namespace {

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(runtime());
        QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString runtime() const { return scratch.file(QStringLiteral("run")); }

    // Logs in at once to an SQLite file in the scratch folder.
    void storeAutoLogin() {
        SettingsStore store = SettingsStore::standard();
        EXPECT_TRUE(store.write(kSettingsKey, QStringLiteral("AutoLogin"), QStringLiteral("1")));
        EXPECT_TRUE(store.write(kSettingsKey, QStringLiteral("DBMS"), QStringLiteral("SQLite")));
        EXPECT_TRUE(store.write(kSettingsKey, QStringLiteral("database"),
                                scratch.file(QStringLiteral("program.db"))));
        // An automatic login opens an existing file only; an empty file is an empty database.
        EXPECT_TRUE(scratch.write(QStringLiteral("program.db"), QByteArray()));
    }

    std::unique_ptr<QProcess> start(const QString& name) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), scratch.file(QStringLiteral("data")));
        environment.insert(QStringLiteral("TARNLOW_AS_MESSAGE_LOG"),
                           scratch.file(name + QStringLiteral(".log")));
        environment.insert(QStringLiteral("TARNLOW_AS_WINDOW_LOG"),
                           scratch.file(name + QStringLiteral(".windows")));
        environment.remove(QStringLiteral("TARNLOW_AS_NO_MODULE_HANDLE"));
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(test::binaryDirectory() + QStringLiteral("/tarnlow_as"), {});
        EXPECT_TRUE(process->waitForStarted(10000)) << process->errorString().toStdString();
        return process;
    }

    bool lockHeldElsewhere() const {
        SingleInstanceLock probe(QStringLiteral("tarnlow_as"), runtime());
        const Result<bool> taken = probe.acquire();
        return taken.ok() && !*taken;
    }

    // Waits until `process` has shown the window of that object name, while it runs.
    bool waitForWindow(QProcess& process, const QString& name, const QString& window) const {
        QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            if (windows(name).contains(window))
                return true;
            // Also notices the end of the process.
            if (process.waitForFinished(50) || process.state() != QProcess::Running)
                return false;
        }
        return false;
    }

    QString log(const QString& name) const {
        return QString::fromUtf8(scratch.read(name + QStringLiteral(".log")));
    }
    QStringList windows(const QString& name) const {
        return QString::fromUtf8(scratch.read(name + QStringLiteral(".windows")))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    test::ScratchFolder scratch;
};

} // namespace

TEST_F(Program, SecondCopyIsTurnedAwayAndAKilledCopyLeavesNoLock) {
    storeAutoLogin();
    auto first = start(QStringLiteral("first"));
    // The whole start-up is behind it once the main window shows.
    ASSERT_TRUE(waitForWindow(*first, QStringLiteral("first"), QStringLiteral("w_main")))
        << log(QStringLiteral("first")).toStdString();
    EXPECT_TRUE(lockHeldElsewhere());

    auto second = start(QStringLiteral("second"));
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(log(QStringLiteral("second")),
              QStringLiteral("Information\tTarnlow Private Server Assistant is already running.\n"));

    EXPECT_TRUE(windows(QStringLiteral("second")).isEmpty());
    // The first copy carries on, still holding the lock, and has shown no message.
    EXPECT_FALSE(first->waitForFinished(0));
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_TRUE(lockHeldElsewhere());
    EXPECT_EQ(log(QStringLiteral("first")), QString());

    first->kill(); // SIGKILL: no chance to clean up
    ASSERT_TRUE(first->waitForFinished(10000));
    EXPECT_FALSE(lockHeldElsewhere());

    auto third = start(QStringLiteral("third"));
    EXPECT_TRUE(waitForWindow(*third, QStringLiteral("third"), QStringLiteral("w_main")));
    EXPECT_TRUE(lockHeldElsewhere());
    EXPECT_EQ(log(QStringLiteral("third")), QString());
    third->kill();
    third->waitForFinished(10000);
}

TEST_F(Program, StartsWithNoSettingsAtAll) {
    auto program = start(QStringLiteral("fresh"));
    // The first run waits in the login window, the only window it has shown; nothing has gone
    // wrong on the way there.
    ASSERT_TRUE(waitForWindow(*program, QStringLiteral("fresh"), QStringLiteral("w_login")))
        << log(QStringLiteral("fresh")).toStdString();
    EXPECT_EQ(windows(QStringLiteral("fresh")), QStringList{QStringLiteral("w_login")});
    EXPECT_TRUE(lockHeldElsewhere());
    EXPECT_FALSE(program->waitForFinished(0));
    EXPECT_EQ(log(QStringLiteral("fresh")), QString());
    const QString command =
        SettingsStore::standard()
            .read(QStringLiteral("HKEY_CLASSES_ROOT\\FERNLAKE_UPDATE_FILE\\shell\\open\\command"), QString())
            .value_or(QString());
    EXPECT_EQ(command, test::binaryDirectory() + QStringLiteral("/tarnlow_as %1"));
    program->kill();
    program->waitForFinished(10000);
}
