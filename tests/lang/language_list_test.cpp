#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "lang/language_list.h"
#include "lang/language_switch.h"
#include "language_folder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace tarnlow;

namespace {

LanguageEntry entry(const char* fileName, const QString& name) {
    return {QLatin1String(fileName), name};
}

QString storedLang() {
    QString value = QStringLiteral("<missing>");
    value = SettingsStore::standard().read(kSettingsKey, QStringLiteral("Lang")).value_or(value);
    return value;
}

} // namespace

TEST(LanguageList, ListsLanguageFilesOnlySortedByFileName) {
    test::LanguageFolder folder;
    folder.writeLanguage(QStringLiteral("Zulu.flf"), QStringLiteral("[FLF]\nNAME=isiZulu\n"));
    folder.writeLanguage(QStringLiteral("Chinese.flf"), QStringLiteral("[FLF]\nNAME=简体中文\n"), true);
    folder.writeLanguage(QStringLiteral("english.flf"), QStringLiteral("[FLF]\nNAME=English\n"));
    folder.writeLanguage(QStringLiteral("NoName.flf"), QStringLiteral("[TEXT]\nAPP_NAME=x\n"));
    folder.writeLanguage(QStringLiteral(".hidden.flf"), QStringLiteral("[FLF]\nNAME=Hidden\n"));
    folder.writeLanguage(QStringLiteral("Upper.FLF"), QStringLiteral("[FLF]\nNAME=Upper\n"));
    folder.writeLanguage(QStringLiteral("ReadOnly.flf"), QStringLiteral("[FLF]\nNAME=Read only\n"));
    ASSERT_TRUE(
        QFile::setPermissions(folder.scratch().file(QStringLiteral("ReadOnly.flf")), QFile::ReadOwner));
    folder.writeLanguage(QStringLiteral("notes.txt"), QStringLiteral("[FLF]\nNAME=Text\n"));
    folder.writeLanguage(QStringLiteral("English.flf.bak"), QStringLiteral("[FLF]\nNAME=Backup\n"));
    ASSERT_TRUE(QDir(folder.scratch().path()).mkdir(QStringLiteral("x.flf")));
    ASSERT_EQ(
        ::mkfifo(QFile::encodeName(folder.scratch().file(QStringLiteral("pipe.flf"))).constData(), 0600), 0);

    const QList<LanguageEntry> expected = {
        entry(".hidden.flf", QStringLiteral("Hidden")),     entry("Chinese.flf", QStringLiteral("简体中文")),
        entry("english.flf", QStringLiteral("English")),    entry("NoName.flf", QString()),
        entry("ReadOnly.flf", QStringLiteral("Read only")), entry("Upper.FLF", QStringLiteral("Upper")),
        entry("Zulu.flf", QStringLiteral("isiZulu"))};
    EXPECT_EQ(languageList(gs_path), expected);
    // The folder may also be named without the trailing separator.
    EXPECT_EQ(languageList(folder.scratch().path()), expected);
}

TEST(LanguageList, EmptyOrMissingFolderGivesEmptyList) {
    test::LanguageFolder folder;
    EXPECT_TRUE(languageList(gs_path).isEmpty());
    EXPECT_TRUE(languageList(folder.scratch().file(QStringLiteral("gone"))).isEmpty());
    EXPECT_FALSE(findLanguageByText({}, QStringLiteral("English")).has_value());
}

TEST(LanguageList, EntryIsFoundAgainByTheBeginningOfItsText) {
    const QList<LanguageEntry> entries = {
        entry("A.flf", QStringLiteral("English (US)")), entry("B.flf", QStringLiteral("English")),
        entry("C.flf", QStringLiteral("Deutsch")), entry("D.flf", QStringLiteral("Deutsch")),
        entry("E.flf", QString())};
    // A shorter name that another, earlier name begins with yields the earlier entry.
    EXPECT_EQ(findLanguageByText(entries, QStringLiteral("English")), 0);
    // Of two entries with the same name, the first one is always found.
    EXPECT_EQ(findLanguageByText(entries, QStringLiteral("Deutsch")), 2);
    // An empty text begins every name.
    EXPECT_EQ(findLanguageByText(entries, QString()), 0);
    EXPECT_FALSE(findLanguageByText(entries, QStringLiteral("english")).has_value());
}

TEST(LanguageSwitch, ChoosingStoresLangAndReadsTheNewFont) {
    test::LanguageFolder folder;
    folder.useLanguage(QStringLiteral("A.flf"), QStringLiteral("[FLF]\nNAME=Same\nFONT=Font A\n"));
    folder.writeLanguage(QStringLiteral("B.flf"), QStringLiteral("[FLF]\nNAME=Same\nFONT=Font B\n"));
    folder.writeLanguage(QStringLiteral("C.flf"), QStringLiteral("[FLF]\nNAME=Other\n"));
    const QList<LanguageEntry> entries = languageList(gs_path);
    SettingsStore store = SettingsStore::standard();

    // The second "Same" entry is chosen, but its text finds the first file.
    Result<QString> chosen = chooseLanguage(entries, entries.at(1).name, store);
    ASSERT_TRUE(chosen.ok()) << qPrintable(chosen.error());
    EXPECT_EQ(*chosen, QStringLiteral("A.flf"));
    EXPECT_EQ(gs_lang, QStringLiteral("A.flf"));
    EXPECT_EQ(storedLang(), QStringLiteral("A.flf"));
    EXPECT_EQ(gs_font, QStringLiteral("Font A"));

    chosen = chooseLanguage(entries, QStringLiteral("Other"), store);
    ASSERT_TRUE(chosen.ok());
    EXPECT_EQ(storedLang(), QStringLiteral("C.flf"));
    EXPECT_EQ(gs_font, QStringLiteral("Arial")) << "a file without FONT gives the default face";

    // A text that matches nothing changes nothing.
    chosen = chooseLanguage(entries, QStringLiteral("Missing"), store);
    EXPECT_FALSE(chosen.ok());
    EXPECT_TRUE(chosen.error().contains(QStringLiteral("Missing")));
    EXPECT_EQ(gs_lang, QStringLiteral("C.flf"));
    EXPECT_EQ(storedLang(), QStringLiteral("C.flf"));
}

TEST(LanguageSwitch, SettingsThatCannotBeWrittenAreReported) {
    test::LanguageFolder folder;
    folder.writeLanguage(QStringLiteral("A.flf"), QStringLiteral("[FLF]\nFONT=Font A\n"));
    folder.writeLanguage(QStringLiteral("blocker"), QStringLiteral("a file where a folder should be"));
    SettingsStore store(folder.scratch().file(QStringLiteral("blocker/registry.ini")));
    const Result<void> status = switchLanguage(QStringLiteral("A.flf"), store);
    EXPECT_FALSE(status.ok());
    EXPECT_TRUE(status.error().contains(QStringLiteral("Lang")));
    // The language still applies to this run.
    EXPECT_EQ(gs_lang, QStringLiteral("A.flf"));
    EXPECT_EQ(gs_font, QStringLiteral("Font A"));
}
