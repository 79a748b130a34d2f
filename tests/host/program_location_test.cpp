#include "host/program_location.h"

#include <gtest/gtest.h>

using namespace tarnlow;

TEST(ProgramLocation, FolderOfExecutableKeepsTheLastSeparator) {
    EXPECT_EQ(folderOfExecutable(QStringLiteral("/opt/tool/tarnlow_as")), QStringLiteral("/opt/tool/"));
    EXPECT_EQ(folderOfExecutable(QStringLiteral("C:\\Prog\\Tool\\app.exe")),
              QStringLiteral("C:\\Prog\\Tool\\"));
    EXPECT_EQ(folderOfExecutable(QStringLiteral("/tarnlow_as")), QStringLiteral("/"));
    EXPECT_EQ(folderOfExecutable(QStringLiteral("tarnlow_as")), QString());
}

TEST(ProgramLocation, CurrentDirectoryGetsExactlyOneSeparator) {
    EXPECT_EQ(folderWithSeparator(QStringLiteral("/work")), QStringLiteral("/work/"));
    EXPECT_EQ(folderWithSeparator(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(folderWithSeparator(QStringLiteral("/work/")), QStringLiteral("/work/"));
    EXPECT_EQ(folderWithSeparator(QStringLiteral("C:\\Work")), QStringLiteral("C:\\Work\\"));
    EXPECT_EQ(folderWithSeparator(QStringLiteral("C:\\")), QStringLiteral("C:\\"));
}

TEST(ProgramLocation, ModuleHandleSwitchFollowsTheEnvironment) {
    qunsetenv("TARNLOW_AS_NO_MODULE_HANDLE");
    EXPECT_TRUE(moduleHandleAvailable());
    qputenv("TARNLOW_AS_NO_MODULE_HANDLE", "1");
    EXPECT_FALSE(moduleHandleAvailable());
    qunsetenv("TARNLOW_AS_NO_MODULE_HANDLE");
    EXPECT_FALSE(runningExecutablePath().isEmpty());
}
