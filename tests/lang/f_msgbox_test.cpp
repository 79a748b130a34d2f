#include "lang/f_msgbox.h"
#include "lang/language_globals.h"
#include "language_folder.h"
#include "support/message_box_recorder.h"

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

// A language file whose messages exercise the placeholder rules.
class MessageBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        folder.useLanguage(QStringLiteral("Chinese.flf"),
                           QStringLiteral("[MESSAGE]\nTITLE=提示\n10026=%%已经在运行！\n1=a%%b%%c\n2=x%%%y\n"
                                          "3=5% of %%\n4=%%-%%-%%\n5=plain\n-5=negative %%\n"),
                           true);
    }

    QString shown(int number, const QStringList& parameters) {
        recorder.clear();
        f_msgbox(number, parameters);
        return recorder.requests().isEmpty() ? QStringLiteral("<nothing shown>")
                                             : recorder.requests().last().text;
    }

    test::LanguageFolder folder;
    test::MessageBoxRecorder recorder;
};

} // namespace

TEST_F(MessageBoxes, AnotherCopyRunsShowsTheApplicationName) {
    recorder.queueAnswer(1);
    EXPECT_EQ(f_msgbox(10026, {QStringLiteral("Tarnlow私服辅助程序")}), 1);
    ASSERT_EQ(recorder.requests().size(), 1);
    const MessageBoxRequest& request = recorder.requests().first();
    EXPECT_EQ(request.title, QStringLiteral("提示"));
    EXPECT_EQ(request.text, QStringLiteral("Tarnlow私服辅助程序已经在运行！"));
    // Only title and text are set: icon and buttons stay at the message box's defaults.
    const MessageBoxRequest defaults;
    EXPECT_EQ(request.icon, defaults.icon);
    EXPECT_EQ(request.buttons, defaults.buttons);
    EXPECT_EQ(request.defaultButton, defaults.defaultButton);
}

TEST_F(MessageBoxes, PlaceholdersAreFilledFromTheFirstCharacterEachTime) {
    // The first parameter brings its own "%%", which the second one then fills.
    EXPECT_EQ(shown(1, {QStringLiteral("1%%"), QStringLiteral("2")}), QStringLiteral("a12b%%c"));
    EXPECT_EQ(shown(1, {QStringLiteral("1"), QStringLiteral("2")}), QStringLiteral("a1b2c"));
    // Three percent signs: the first two are the placeholder; a single one is no placeholder.
    EXPECT_EQ(shown(2, {QStringLiteral("P")}), QStringLiteral("xP%y"));
    EXPECT_EQ(shown(3, {QStringLiteral("P")}), QStringLiteral("5% of P"));
    // An empty parameter fills its placeholder with nothing.
    EXPECT_EQ(shown(1, {QString(), QStringLiteral("2")}), QStringLiteral("ab2c"));
}

TEST_F(MessageBoxes, ParameterCountNeedNotMatch) {
    EXPECT_EQ(shown(1, {}), QStringLiteral("a%%b%%c"));
    EXPECT_EQ(shown(4, {QStringLiteral("A")}), QStringLiteral("A-%%-%%"));
    EXPECT_EQ(shown(4, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")}),
              QStringLiteral("A-B-C"));
    EXPECT_EQ(shown(5, {QStringLiteral("dropped")}), QStringLiteral("plain"));
}

TEST_F(MessageBoxes, NegativeNumberIsLookedUpWithItsMinusSign) {
    EXPECT_EQ(shown(-5, {QStringLiteral("n")}), QStringLiteral("negative n"));
    EXPECT_EQ(shown(404, {}), QString());
}

TEST_F(MessageBoxes, PlainVariantShowsPlaceholdersAndReturnsTheButton) {
    recorder.queueAnswer(2);
    EXPECT_EQ(f_msgbox_s(1), 2);
    ASSERT_EQ(recorder.requests().size(), 1);
    EXPECT_EQ(recorder.requests().first().text, QStringLiteral("a%%b%%c"));
    EXPECT_EQ(recorder.requests().first().title, QStringLiteral("提示"));
}

TEST_F(MessageBoxes, SilentEntryPointsShowNothing) {
    EXPECT_EQ(f_msgbox_s_silent(10026), 1);
    EXPECT_EQ(f_msgbox_s_silent(10026, {QStringLiteral("x")}), 1);
    EXPECT_TRUE(recorder.requests().isEmpty());
}

TEST_F(MessageBoxes, EveryCallReadsTheFileAgain) {
    EXPECT_EQ(shown(5, {}), QStringLiteral("plain"));
    folder.writeLanguage(QStringLiteral("Chinese.flf"), QStringLiteral("[MESSAGE]\n5=changed\n"));
    EXPECT_EQ(shown(5, {}), QStringLiteral("changed"));
    EXPECT_EQ(recorder.requests().last().title, QStringLiteral("提示信息"));
}

TEST_F(MessageBoxes, NumberedMessagesPrintFromTheLanguageFileThenInEnglish) {
    // The current file has the message: its text, filled in.
    EXPECT_EQ(messageText(NumberedMessage{1, {QStringLiteral("1"), QStringLiteral("2")}}),
              QStringLiteral("a1b2c"));
    // The file lacks it: the program's English text, filled in the same way.
    EXPECT_EQ(
        messageText(NumberedMessage{10603, {QStringLiteral("no such table")}}),
        QStringLiteral("The menu cannot be read from the database: no such table. The main window opens "
                       "without its menu entries."));
    // A number the program does not know still says which message and what it carried.
    EXPECT_EQ(messageText(NumberedMessage{31999, {QStringLiteral("a"), QStringLiteral("b")}}),
              QStringLiteral("message 31999: a; b"));
    // The box shows the language file's text only, as before.
    EXPECT_EQ(shown(10603, {QStringLiteral("x")}), QString());
    recorder.clear();
    f_msgbox(NumberedMessage{4, {QStringLiteral("a"), QStringLiteral("b")}});
    ASSERT_EQ(recorder.requests().size(), 1);
    EXPECT_EQ(recorder.requests().first().text, QStringLiteral("a-b-%%"));
}
