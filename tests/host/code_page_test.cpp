#include "host/code_page.h"

#include <gtest/gtest.h>

using namespace tarnlow;

TEST(CodePage, ChineseTextRoundTripsThroughGbk) {
    const QString text = QStringLiteral("Tarnlow私服辅助程序");
    Result<QByteArray> bytes = toSystemCodePage(text);
    ASSERT_TRUE(bytes.ok()) << bytes.error().toStdString();
    EXPECT_EQ(bytes->size(), 7 + 2 * 6);
    EXPECT_EQ(static_cast<unsigned char>(bytes->at(7)), 0xCB); // 私 = CB BD
    Result<QString> back = fromSystemCodePage(*bytes);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back, text);
}

TEST(CodePage, UnrepresentableCharacterIsNamed) {
    Result<QByteArray> bytes = toSystemCodePage(QStringLiteral("ok😀"));
    ASSERT_FALSE(bytes.ok());
    EXPECT_TRUE(bytes.error().contains(QStringLiteral("😀"))) << bytes.error().toStdString();
    EXPECT_TRUE(bytes.error().contains(QStringLiteral("U+1f600"))) << bytes.error().toStdString();
}

TEST(CodePage, TextFilesAreUtf8WithOrWithoutMarkElseGbkElseAnError) {
    const QString text = QStringLiteral("提示信息");
    const QByteArray utf8 = text.toUtf8();
    EXPECT_EQ(*decodeTextFile(utf8), text);
    EXPECT_EQ(*decodeTextFile(QByteArray("\xEF\xBB\xBF") + utf8), text);
    EXPECT_EQ(*decodeTextFile(*toSystemCodePage(text)), text);
    EXPECT_FALSE(decodeTextFile(QByteArray("\x81\x20\xFF", 3)).ok());
    EXPECT_FALSE(decodeTextFile(QByteArray("\xEF\xBB\xBF\xC3", 4)).ok());
}
