#include "login/f_password.h"

#include "host/settings_store.h"
#include "support/test_environment.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

QString scramble(const QString& text) {
    Result<QString> result = f_password(text, true, kPasswordAccessKey);
    EXPECT_TRUE(result.ok()) << result.error().toStdString();
    return result ? *result : QString();
}

QString unscramble(const QString& text, std::optional<bool> way = false) {
    Result<QString> result = f_password(text, way, kPasswordAccessKey);
    EXPECT_TRUE(result.ok()) << result.error().toStdString();
    return result ? *result : QString();
}

int shiftAt(int position) {
    return kPasswordShiftTable[static_cast<std::size_t>(position - 1)];
}

QString latin1(std::initializer_list<int> bytes) {
    QString text;
    for (int byte : bytes)
        text += QChar(byte);
    return text;
}

} // namespace

TEST(Password, EmptyAndNullTextsGiveTheEmptyTextInBothDirections) {
    for (std::optional<bool> way :
         {std::optional<bool>(true), std::optional<bool>(false), std::optional<bool>()}) {
        for (const QString& text : {QString(), QStringLiteral("")}) {
            Result<QString> result = f_password(text, way, kPasswordAccessKey);
            ASSERT_TRUE(result.ok());
            EXPECT_TRUE(result->isEmpty());
            EXPECT_FALSE(result->isNull());
        }
    }
}

TEST(Password, AccessKeyIsCheckedBeforeAnythingElseAndANullKeyIsNotCompared) {
    for (const QString& text : {QString(), QStringLiteral(""), QStringLiteral("abc")}) {
        for (bool way : {true, false}) {
            Result<QString> wrong = f_password(text, way, QStringLiteral("4093811562047396820115773446"));
            ASSERT_TRUE(wrong.ok());
            EXPECT_EQ(*wrong, QStringLiteral("ERROR"));
            Result<QString> empty = f_password(text, way, QStringLiteral(""));
            EXPECT_EQ(*empty, QStringLiteral("ERROR"));
        }
    }
    Result<QString> nullKey = f_password(QStringLiteral("A"), true, QString());
    ASSERT_TRUE(nullKey.ok());
    EXPECT_EQ(*nullKey, scramble(QStringLiteral("A")));
}

TEST(Password, ShiftsCountTablePositionsFromTheLastByte) {
    EXPECT_EQ(scramble(QStringLiteral("A")), latin1({'A' + shiftAt(1)}));
    EXPECT_EQ(scramble(QStringLiteral("AB")), latin1({'A' + shiftAt(2), 'B' + shiftAt(1)}));
    EXPECT_EQ(unscramble(latin1({'A' + shiftAt(2), 'B' + shiftAt(1)})), QStringLiteral("AB"));
    // A null direction unscrambles.
    EXPECT_EQ(unscramble(latin1({'A' + shiftAt(1)}), std::nullopt), QStringLiteral("A"));

    // The same character in the same place moves by a different entry in texts of other lengths.
    const QString three = scramble(QStringLiteral("xyz"));
    const QString five = scramble(QStringLiteral("xyzuv"));
    EXPECT_EQ(three[0].unicode(), 'x' + shiftAt(3));
    EXPECT_EQ(five[0].unicode(), 'x' + shiftAt(5));
    EXPECT_NE(three[0], five[0]);
}

TEST(Password, TheShiftTableNeverChanges) {
    // Stored passwords must stay readable by every later build: the scrambled form of this text
    // is fixed once and for all.
    for (int value : kPasswordShiftTable) {
        EXPECT_GE(value, 1);
        EXPECT_LE(value, 64);
    }
    EXPECT_EQ(scramble(QStringLiteral("Secret1")), latin1({107, 133, 100, 165, 129, 178, 53}));
    // Every entry in its place: a sum weighted by position.
    long weighted = 0;
    for (std::size_t i = 0; i < kPasswordShiftTable.size(); ++i)
        weighted += static_cast<long>(i + 1) * kPasswordShiftTable[i];
    EXPECT_EQ(weighted, 1069973L);
}

TEST(Password, PrintableAsciiTextsOfEveryLengthUpTo255RoundTrip) {
    QString text;
    for (int length = 1; length <= 255; ++length) {
        text += QChar(32 + (length * 37) % 95);
        const QString scrambled = scramble(text);
        ASSERT_EQ(scrambled.size(), length);
        for (QChar c : scrambled) {
            EXPECT_GE(c.unicode(), 33);
            EXPECT_LE(c.unicode(), 190);
        }
        ASSERT_EQ(unscramble(scrambled), text) << "length " << length;
    }
}

TEST(Password, LongTextsTakeTablePositionsCyclically) {
    QString text;
    for (int i = 0; i < 300; ++i)
        text += QChar(33 + i % 90);
    const QString scrambled = scramble(text);
    ASSERT_EQ(scrambled.size(), 300);
    // The first byte of 300 takes position (300 - 1) mod 255 + 1 = 45; byte 46 takes position 255
    // and byte 47 wraps round to position 254.
    EXPECT_EQ(scrambled[0].unicode(), text[0].unicode() + shiftAt(45));
    EXPECT_EQ(scrambled[45].unicode(), text[45].unicode() + shiftAt(255));
    EXPECT_EQ(scrambled[299].unicode(), text[299].unicode() + shiftAt(1));
    EXPECT_EQ(unscramble(scrambled), text);
}

TEST(Password, ArbitraryByteStringsRoundTripAndLowBytesNeverScrambleToZero) {
    QRandomGenerator random(20261208);
    for (int round = 0; round < 500; ++round) {
        QByteArray bytes(static_cast<qsizetype>(random.bounded(0, 700)), Qt::Uninitialized);
        for (char& byte : bytes)
            byte = static_cast<char>(random.bounded(256));
        const QByteArray scrambled = shiftPasswordBytes(bytes, true);
        ASSERT_EQ(scrambled.size(), bytes.size());
        ASSERT_EQ(shiftPasswordBytes(scrambled, false), bytes);
    }
    // Values above 255 wrap round modulo 256 and come back.
    const QByteArray high(1, '\xFF');
    EXPECT_EQ(static_cast<std::uint8_t>(shiftPasswordBytes(high, true)[0]), shiftAt(1) - 1);
    EXPECT_EQ(shiftPasswordBytes(shiftPasswordBytes(high, true), false), high);

    for (int length = 1; length <= 255; ++length) {
        for (int value = 0; value <= 191; ++value) {
            const QByteArray scrambled =
                shiftPasswordBytes(QByteArray(length, static_cast<char>(value)), true);
            ASSERT_FALSE(scrambled.contains('\0')) << "value " << value << " length " << length;
        }
    }
}

TEST(Password, ChinesePasswordSurvivesTheSettingsStore) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    const QString password = QStringLiteral("密码Tarnlow私服");
    const QString scrambled = scramble(password);
    EXPECT_EQ(scrambled.size(), 15); // four Chinese characters of two bytes each and seven letters
    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("password"), scrambled));
    const QString stored =
        store.read(kSettingsKey, QStringLiteral("password")).value_or(QStringLiteral("<missing>"));
    EXPECT_EQ(stored, scrambled);
    EXPECT_EQ(unscramble(stored), password);

    // Scrambled forms holding every byte value, the zero byte included, are kept exactly.
    QRandomGenerator random(7);
    for (int round = 0; round < 20; ++round) {
        QByteArray bytes(256, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i)
            bytes[i] = static_cast<char>((i + round * 13) % 256);
        const QString form = QString::fromLatin1(shiftPasswordBytes(bytes, true));
        ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("password"), form));
        const QString back =
            store.read(kSettingsKey, QStringLiteral("password")).value_or(QStringLiteral("<missing>"));
        ASSERT_EQ(back, form);
        ASSERT_EQ(shiftPasswordBytes(back.toLatin1(), false), bytes);
    }
}

TEST(Password, TextsThatCannotBeHandledAreClearErrors) {
    // GBK has no emoji.
    Result<QString> notGbk = f_password(QStringLiteral("pass\U0001F600"), true, kPasswordAccessKey);
    ASSERT_FALSE(notGbk.ok());
    EXPECT_TRUE(notGbk.error().contains(QStringLiteral("cannot be stored"))) << notGbk.error().toStdString();

    // A stored value with a character beyond one byte was not written by the scrambler.
    Result<QString> wide = f_password(QStringLiteral("ab密"), false, kPasswordAccessKey);
    ASSERT_FALSE(wide.ok());
    EXPECT_TRUE(wide.error().contains(QStringLiteral("character 3"))) << wide.error().toStdString();

    // Bytes that unscramble to a lone GBK lead byte are not a password this program stored.
    Result<QString> broken = f_password(latin1({0x81 + shiftAt(1)}), false, kPasswordAccessKey);
    ASSERT_FALSE(broken.ok());
    EXPECT_TRUE(broken.error().contains(QStringLiteral("cannot be unscrambled")))
        << broken.error().toStdString();
}
