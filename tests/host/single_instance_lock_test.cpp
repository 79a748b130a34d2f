#include "host/single_instance_lock.h"

#include "support/test_environment.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace tarnlow;

TEST(SingleInstanceLock, OneHolderAtATimeAndANewHandleForEveryHold) {
    test::ScratchFolder scratch;
    SingleInstanceLock first(QStringLiteral("tarnlow_as"), scratch.path());
    SingleInstanceLock second(QStringLiteral("tarnlow_as"), scratch.path());
    EXPECT_EQ(first.handle(), 0u);

    auto taken = first.acquire();
    ASSERT_TRUE(taken.ok()) << taken.error().toStdString();
    EXPECT_TRUE(*taken);
    const auto firstHandle = first.handle();
    EXPECT_NE(firstHandle, 0u);

    auto refused = second.acquire();
    ASSERT_TRUE(refused.ok());
    EXPECT_FALSE(*refused);
    EXPECT_FALSE(second.isHeld());

    first.release();
    EXPECT_EQ(first.handle(), 0u);
    auto now = second.acquire();
    ASSERT_TRUE(now.ok());
    EXPECT_TRUE(*now);
    EXPECT_NE(second.handle(), firstHandle);
}

TEST(SingleInstanceLock, ProgramsStartedWhileHoldingDoNotKeepTheLock) {
    test::ScratchFolder scratch;
    SingleInstanceLock lock(QStringLiteral("tarnlow_as"), scratch.path());
    ASSERT_TRUE(*lock.acquire());
    QProcess child;
    child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(child.waitForStarted());
    lock.release();

    SingleInstanceLock next(QStringLiteral("tarnlow_as"), scratch.path());
    auto taken = next.acquire();
    child.kill();
    child.waitForFinished();
    ASSERT_TRUE(taken.ok());
    EXPECT_TRUE(*taken) << "a child process inherited the lock";
}

TEST(SingleInstanceLock, UnusableFolderIsAnErrorNamingTheFile) {
    test::ScratchFolder scratch;
    SingleInstanceLock lock(QStringLiteral("tarnlow_as"), scratch.file(QStringLiteral("missing")));
    auto taken = lock.acquire();
    ASSERT_FALSE(taken.ok());
    EXPECT_TRUE(taken.error().contains(scratch.file(QStringLiteral("missing/tarnlow_as.lock"))))
        << taken.error().toStdString();
}
