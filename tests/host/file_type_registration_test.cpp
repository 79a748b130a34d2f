#include "host/file_type_registration.h"

#include "host/settings_store.h"
#include "support/test_environment.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

QString defaultValue(const SettingsStore& store, const QString& key) {
    return store.read(key, QString()).value_or(QStringLiteral("<missing>"));
}

} // namespace

TEST(FileTypeRegistration, EntriesNameTheRunningExecutableUnquoted) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    ASSERT_TRUE(registerFileTypeEntries(store, QStringLiteral("/opt/old place/tarnlow_as")));
    ASSERT_TRUE(registerFileTypeEntries(store, QStringLiteral("/opt/new place/tarnlow_as")));
    EXPECT_EQ(defaultValue(store, QStringLiteral("HKEY_CLASSES_ROOT\\.FUF")),
              QStringLiteral("FERNLAKE_UPDATE_FILE"));
    EXPECT_EQ(defaultValue(store, QStringLiteral("HKEY_CLASSES_ROOT\\FERNLAKE_UPDATE_FILE")),
              QStringLiteral("Fernlake Update File"));
    EXPECT_EQ(
        defaultValue(store, QStringLiteral("HKEY_CLASSES_ROOT\\FERNLAKE_UPDATE_FILE\\shell\\open\\command")),
        QStringLiteral("/opt/new place/tarnlow_as %1"));
}

TEST(FileTypeRegistration, DesktopEntryQuotesAwkwardPaths) {
    EXPECT_EQ(desktopExecLine(QStringLiteral("/opt/tool/tarnlow_as")),
              QStringLiteral("\"/opt/tool/tarnlow_as\" %f"));
    EXPECT_EQ(desktopExecLine(QStringLiteral("/opt/my tool/100%/$x\"q")),
              QStringLiteral("\"/opt/my tool/100%%/\\\\$x\\\\\"q\" %f"));
}

TEST(FileTypeRegistration, DesktopFilesFollowTheExecutable) {
    test::ScratchFolder scratch;
    const QString dataHome = scratch.file(QStringLiteral("data"));
    ASSERT_TRUE(registerDesktopFileType(dataHome, QStringLiteral("/opt/a/tarnlow_as")).ok());
    ASSERT_TRUE(registerDesktopFileType(dataHome, QStringLiteral("/opt/b/tarnlow_as")).ok());
    const QString desktop =
        QString::fromUtf8(scratch.read(QStringLiteral("data/applications/tarnlow_as.desktop")));
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nExec=\"/opt/b/tarnlow_as\" %f\n")))
        << desktop.toStdString();
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nMimeType=application/x-fernlake-update;\n")));
    const QString mime =
        QString::fromUtf8(scratch.read(QStringLiteral("data/mime/packages/tarnlow_as-fuf.xml")));
    EXPECT_TRUE(mime.contains(QStringLiteral("<glob pattern=\"*.fuf\"/>")));
    EXPECT_TRUE(mime.contains(QStringLiteral("type=\"application/x-fernlake-update\"")));
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nIcon=tarnlow_as\n")));
    EXPECT_FALSE(desktop.contains(QStringLiteral("NoDisplay")))
        << "the per-user entry replaces an installed one of the same name and must not hide it";
    for (const QString& icon : {QStringLiteral("data/icons/hicolor/scalable/apps/tarnlow_as.svg"),
                                QStringLiteral("data/icons/hicolor/48x48/apps/tarnlow_as.png"),
                                QStringLiteral("data/icons/hicolor/256x256/apps/tarnlow_as.png")})
        EXPECT_GT(scratch.read(icon).size(), 100) << icon.toStdString();
    EXPECT_TRUE(
        scratch.read(QStringLiteral("data/icons/hicolor/48x48/apps/tarnlow_as.png")).startsWith("\x89PNG"));
}

TEST(FileTypeRegistration, PackagedFilesAreThoseTheProgramWritesForItsUser) {
    // The installed package's desktop entry differs only in its command, which finds the program
    // on the PATH; MIME type and icons are the same files.
    const QString packaging = qEnvironmentVariable("TARNLOW_SOURCE_DIR") + QStringLiteral("/packaging/");
    const auto read = [](const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        return file.readAll();
    };
    EXPECT_EQ(QString::fromUtf8(read(packaging + QStringLiteral("tarnlow_as.desktop"))),
              desktopEntryText(QStringLiteral("tarnlow_as %f")));
    EXPECT_EQ(QString::fromUtf8(read(packaging + QStringLiteral("tarnlow_as-fuf.xml"))), mimePackageText());
    for (const ThemeIcon& icon : themeIcons()) {
        const QString name = icon.resource.section(QLatin1Char('/'), -1);
        EXPECT_EQ(read(packaging + QStringLiteral("icons/") + name), read(icon.resource))
            << name.toStdString();
    }
}

TEST(FileTypeRegistration, UnwritableDataFolderIsReported) {
    test::ScratchFolder scratch;
    ASSERT_TRUE(scratch.write(QStringLiteral("plainfile"), "x"));
    const Result<void> status =
        registerDesktopFileType(scratch.file(QStringLiteral("plainfile")), QStringLiteral("/opt/a/x"));
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(status.error().contains(QStringLiteral("plainfile"))) << status.error().toStdString();
    EXPECT_FALSE(registerDesktopFileType(scratch.path(), QStringLiteral("/opt/a\n/x")).ok());
}
