#include "host/profile.h"

#include "host/code_page.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

using namespace tarnlow;

TEST(Profile, ProfileRulesApply) {
    const QString text = QStringLiteral("; comment\n[ Message ]\n  Title  =  提示  \n10026=%% runs\n"
                                        "title=second\n;10027=commented\n[other]\nx=1\r\n");
    EXPECT_EQ(profileStringFromText(text, QStringLiteral("MESSAGE"), QStringLiteral("TITLE")),
              QStringLiteral("提示"));
    EXPECT_EQ(profileStringFromText(text, QStringLiteral("message"), QStringLiteral("10026")),
              QStringLiteral("%% runs"));
    EXPECT_FALSE(profileStringFromText(text, QStringLiteral("MESSAGE"), QStringLiteral("10027")).has_value());
    EXPECT_EQ(profileStringFromText(text, QStringLiteral("OTHER"), QStringLiteral("X")), QStringLiteral("1"));
    EXPECT_FALSE(profileStringFromText(text, QStringLiteral("none"), QStringLiteral("x")).has_value());
}

TEST(Profile, FileIsReadAtEveryCallAndMissingFileGivesNothing) {
    test::ScratchFolder scratch;
    const QString path = scratch.file(QStringLiteral("a.flf"));
    EXPECT_FALSE(profileString(path, QStringLiteral("FLF"), QStringLiteral("NAME")).has_value());
    ASSERT_TRUE(
        scratch.write(QStringLiteral("a.flf"), *toSystemCodePage(QStringLiteral("[FLF]\nNAME=中文\n"))));
    EXPECT_EQ(profileString(path, QStringLiteral("FLF"), QStringLiteral("NAME")), QStringLiteral("中文"));
    ASSERT_TRUE(scratch.write(QStringLiteral("a.flf"), QByteArray("[FLF]\nNAME=English\n")));
    EXPECT_EQ(profileString(path, QStringLiteral("FLF"), QStringLiteral("NAME")), QStringLiteral("English"));
}

TEST(Profile, ALineThatIsNoTextGivesNothingAndTheOthersStillApply) {
    test::ScratchFolder scratch;
    const QString path = scratch.file(QStringLiteral("damaged.flf"));
    ASSERT_TRUE(
        scratch.write(QStringLiteral("damaged.flf"),
                      QByteArray("[MESSAGE]\nTITLE=Notice\n10026=%% runs\xFF\n[FLF]\nNAME=Damaged\n")));
    EXPECT_EQ(profileString(path, QStringLiteral("MESSAGE"), QStringLiteral("TITLE")),
              QStringLiteral("Notice"));
    EXPECT_FALSE(profileString(path, QStringLiteral("MESSAGE"), QStringLiteral("10026")).has_value());
    EXPECT_EQ(profileString(path, QStringLiteral("FLF"), QStringLiteral("NAME")), QStringLiteral("Damaged"));
    const std::optional<ProfileReadability> readability = profileReadability(path);
    ASSERT_TRUE(readability.has_value());
    EXPECT_EQ(readability->badLines, QList<int>{3});
    EXPECT_TRUE(readability->anyLineRead);
    EXPECT_FALSE(profileReadability(scratch.file(QStringLiteral("missing.flf"))).has_value());
}
