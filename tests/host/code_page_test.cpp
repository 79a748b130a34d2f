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

// One damaged line costs that line only; a damaged section line opens a section no name matches.
TEST(CodePage, DamagedLinesAreLeftOutAndTheRestIsRead) {
    const QByteArray gbk = *toSystemCodePage(QStringLiteral("[TEXT]\nA=提示\n"));
    struct Case {
        const char* name;
        QByteArray bytes;
        QString text;
        QList<int> badLines;
    };
    const QList<Case> cases{
        {"whole UTF-8", QByteArray("[TEXT]\nA=\xE6\x8F\x90\n"), QStringLiteral("[TEXT]\nA=提\n"), {}},
        {"UTF-8, one bad byte",
         QByteArray("[TEXT]\nA=\xE6\x8F\x90\nB=x\xFFy\nC=z"),
         QStringLiteral("[TEXT]\nA=提\n\nC=z"),
         {3}},
        {"GBK, one bad byte",
         gbk + QByteArray("B=\xFF\nC=z\n"),
         QStringLiteral("[TEXT]\nA=提示\n\nC=z\n"),
         {3}},
        {"bad section line",
         QByteArray("[TEXT]\nA=1\n[ME\xFFSSAGE]\nTITLE=t\n"),
         QStringLiteral("[TEXT]\nA=1\n[\uFFFD]\nTITLE=t\n"),
         {3}},
        {"byte-order mark",
         QByteArray("\xEF\xBB\xBF[FLF]\nNAME=\xC3\nFONT=Arial"),
         QStringLiteral("[FLF]\n\nFONT=Arial"),
         {2}},
    };
    for (const Case& c : cases) {
        const DecodedLines decoded = decodeTextFileByLines(c.bytes);
        EXPECT_EQ(decoded.text, c.text) << c.name;
        EXPECT_EQ(decoded.badLines, c.badLines) << c.name;
        EXPECT_TRUE(decoded.anyLineRead) << c.name;
    }
    const DecodedLines binary = decodeTextFileByLines(QByteArray("\xff\xfe\x00\x81\xff", 5));
    EXPECT_EQ(binary.badLines, QList<int>{1});
    EXPECT_FALSE(binary.anyLineRead);
}
