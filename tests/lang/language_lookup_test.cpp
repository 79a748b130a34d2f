#include "host/code_page.h"
#include "lang/f_msgbox.h"
#include "lang/language_globals.h"
#include "lang/language_lookup.h"
#include "lang/language_switch.h"
#include "language_folder.h"
#include "support/message_box_recorder.h"

#include <QFile>
#include <QMap>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

const QString kSample =
    QStringLiteral("[FLF]\nNAME=简体中文\nFONT=宋体\n[TEXT]\nAPP_NAME=Tarnlow私服辅助程序\n"
                   "[MESSAGE]\nTITLE=提示信息\n10026=%%已经在运行！\n[BUTTON]\n"
                   "SYS_DBMS=数据库类型：\n");

QString text(const char* section, const char* key) {
    return lookup(QLatin1String(section), QLatin1String(key), QStringLiteral("<default>"));
}

} // namespace

TEST(LanguageLookup, MissingLanguageFileGivesEveryDefault) {
    test::LanguageFolder folder;
    test::MessageBoxRecorder boxes;
    gs_lang = QStringLiteral("Gone.flf");
    EXPECT_EQ(text("FLF", "NAME"), QStringLiteral("<default>"));
    reloadLanguageFont();
    EXPECT_EQ(gs_font, QStringLiteral("Arial"));
    f_msgbox(10026, {QStringLiteral("Tarnlow")});
    gs_lang.clear(); // the program folder itself is no language file
    f_msgbox_s(10026);
    ASSERT_EQ(boxes.requests().size(), 2);
    for (const MessageBoxRequest& request : boxes.requests()) {
        EXPECT_EQ(request.title, QStringLiteral("提示信息"));
        EXPECT_EQ(request.text, QString());
    }
}

TEST(LanguageLookup, GbkAndUtf8FilesGiveIdenticalTexts) {
    test::LanguageFolder folder;
    folder.writeLanguage(QStringLiteral("gbk.flf"), kSample, true);
    folder.writeLanguage(QStringLiteral("utf8.flf"), kSample);
    ASSERT_TRUE(
        folder.scratch().write(QStringLiteral("bom.flf"), QByteArray("\xEF\xBB\xBF") + kSample.toUtf8()));
    ASSERT_FALSE(isValidUtf8(folder.scratch().read(QStringLiteral("gbk.flf"))))
        << "the GBK path must be taken";

    const QList<std::pair<const char*, const char*>> keys = {{"FLF", "NAME"},      {"FLF", "FONT"},
                                                             {"TEXT", "APP_NAME"}, {"MESSAGE", "TITLE"},
                                                             {"MESSAGE", "10026"}, {"BUTTON", "SYS_DBMS"}};
    QMap<QString, QStringList> results;
    for (const char* file : {"gbk.flf", "utf8.flf", "bom.flf"}) {
        gs_lang = QLatin1String(file);
        for (const auto& [section, key] : keys)
            results[gs_lang].append(text(section, key));
    }
    EXPECT_EQ(results.value(QStringLiteral("gbk.flf")), results.value(QStringLiteral("utf8.flf")));
    EXPECT_EQ(results.value(QStringLiteral("bom.flf")), results.value(QStringLiteral("utf8.flf")));
    EXPECT_EQ(results.value(QStringLiteral("gbk.flf")).at(0), QStringLiteral("简体中文"));
    EXPECT_EQ(results.value(QStringLiteral("gbk.flf")).at(5), QStringLiteral("数据库类型："));
}

// A damaged line gives its default, never garbage, and costs no other line.
TEST(LanguageLookup, ALineInNeitherEncodingGivesItsDefaultAndTheRestApplies) {
    test::LanguageFolder folder;
    // 0xFF is neither a UTF-8 nor a GBK byte.
    ASSERT_TRUE(
        folder.scratch().write(QStringLiteral("bad.flf"), QByteArray("[FLF]\nNAME=ab\xFF\xFF\nFONT=X\n")));
    gs_lang = QStringLiteral("bad.flf");
    EXPECT_EQ(text("FLF", "NAME"), QStringLiteral("<default>"));
    EXPECT_EQ(text("FLF", "FONT"), QStringLiteral("X"));
}

TEST(LanguageLookup, NamesAreCaseInsensitiveAndEditsShowAtOnce) {
    test::LanguageFolder folder;
    folder.useLanguage(QStringLiteral("a.flf"), QStringLiteral("[Message]\nTitle=First\n"));
    EXPECT_EQ(text("MESSAGE", "TITLE"), QStringLiteral("First"));
    EXPECT_EQ(text("message", "title"), QStringLiteral("First"));
    folder.writeLanguage(QStringLiteral("a.flf"), QStringLiteral("[MESSAGE]\nTITLE=Second\n"));
    EXPECT_EQ(text("Message", "Title"), QStringLiteral("Second"));
    // An empty value is a value, not a missing key.
    folder.writeLanguage(QStringLiteral("a.flf"), QStringLiteral("[MESSAGE]\nTITLE=\n"));
    EXPECT_EQ(text("MESSAGE", "TITLE"), QString());
}

TEST(LanguageLookup, NamedFileIsReadInsteadOfTheCurrentOne) {
    test::LanguageFolder folder;
    folder.useLanguage(QStringLiteral("current.flf"), QStringLiteral("[FLF]\nNAME=Current\n"));
    folder.writeLanguage(QStringLiteral("other.flf"), QStringLiteral("[FLF]\nNAME=Other\n"));
    EXPECT_EQ(lookup(folder.scratch().file(QStringLiteral("other.flf")), QStringLiteral("FLF"),
                     QStringLiteral("NAME"), QString()),
              QStringLiteral("Other"));
    EXPECT_EQ(text("FLF", "NAME"), QStringLiteral("Current"));
}
