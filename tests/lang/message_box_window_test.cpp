#include "host/message_box_dialog.h"
#include "lang/f_msgbox.h"
#include "lang/language_globals.h"
#include "language_folder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace tarnlow;

namespace {

// What the operator saw in the box, and the button that was pressed on it.
struct SeenBox {
    QString title;
    QString text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::TextFormat format = Qt::AutoText;
    int width = 0;
    int titleWidth = 0; // what the title needs in the box's font
};

// Shows numbered messages as real message boxes; each box is read and answered with the button
// whose text the test names, as an operator would press it.
class RealMessageBoxes : public ::testing::Test {
protected:
    void SetUp() override { m_previous = setMessageBoxHandler(showMessageBoxDialog); }
    void TearDown() override { setMessageBoxHandler(std::move(m_previous)); }

    void useShipped(const QString& fileName) {
        QFile source(QStringLiteral(TARNLOW_SOURCE_FOLDER "/share/lang/") + fileName);
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        ASSERT_TRUE(folder.scratch().write(fileName, source.readAll()));
        gs_lang = fileName;
    }

    // Runs show() while a timer reads the modal box and presses the button at pressIndex.
    SeenBox answer(int pressIndex, const std::function<int()>& show, int& result) {
        SeenBox seen;
        QTimer::singleShot(0, qApp, [&seen, pressIndex] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.format = box->textFormat();
            seen.width = box->width();
            seen.titleWidth = box->fontMetrics().horizontalAdvance(seen.title);
            const QList<QAbstractButton*> buttons = box->buttons();
            for (QAbstractButton* button : buttons)
                seen.buttons.append(button->text());
            if (pressIndex >= 0 && pressIndex < buttons.size())
                buttons.at(pressIndex)->click();
            else
                box->reject();
        });
        result = show();
        return seen;
    }

    test::LanguageFolder folder;
    MessageBoxHandler m_previous;
};

} // namespace

TEST_F(RealMessageBoxes, ShippedChineseFileShowsItsTexts) {
    useShipped(QStringLiteral("Chinese.flf"));
    int result = 0;
    const SeenBox seen = answer(
        0, [] { return f_msgbox(10026, {QStringLiteral("Tarnlow私服辅助程序")}); }, result);
    EXPECT_EQ(seen.title, QStringLiteral("提示信息"));
    EXPECT_EQ(seen.text, QStringLiteral("Tarnlow私服辅助程序已经在运行！"));
    EXPECT_EQ(seen.buttons.size(), 1) << "only the default button";
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(result, 1);
}

TEST_F(RealMessageBoxes, ShippedEnglishFileShowsItsTexts) {
    useShipped(QStringLiteral("English.flf"));
    int result = 0;
    const SeenBox seen = answer(
        0, [] { return f_msgbox(10026, {QStringLiteral("Tarnlow")}); }, result);
    EXPECT_EQ(seen.title, QStringLiteral("Information"));
    EXPECT_EQ(seen.text, QStringLiteral("Tarnlow is already running."));
    EXPECT_EQ(result, 1);
}

TEST_F(RealMessageBoxes, PressedButtonNumberIsReturned) {
    int result = 0;
    MessageBoxRequest request;
    request.title = QStringLiteral("t");
    request.text = QStringLiteral("x");
    request.buttons = MessageButtons::YesNoCancel;
    SeenBox seen = answer(
        -1, [&request] { return showMessageBox(request); }, result);
    EXPECT_EQ(seen.buttons.size(), 3);
    EXPECT_EQ(result, 3) << "closing the box answers with its last button";
    // QMessageBox orders the buttons by role, so press by text rather than by position.
    for (int expected : {1, 2, 3}) {
        const QString wanted =
            QStringList{QStringLiteral("&Yes"), QStringLiteral("&No"), QStringLiteral("Cancel")}.at(expected -
                                                                                                    1);
        int index = seen.buttons.indexOf(wanted);
        ASSERT_GE(index, 0) << qPrintable(seen.buttons.join(QLatin1Char(',')));
        answer(
            index, [&request] { return showMessageBox(request); }, result);
        EXPECT_EQ(result, expected) << qPrintable(wanted);
    }
}

TEST_F(RealMessageBoxes, MissingLanguageFileShowsTheDefaultTitleAndNoText) {
    gs_lang = QStringLiteral("Gone.flf");
    int result = 0;
    const SeenBox seen = answer(
        0, [] { return f_msgbox_s(10026); }, result);
    EXPECT_EQ(seen.title, QStringLiteral("提示信息"));
    EXPECT_EQ(seen.text, QString());
    EXPECT_EQ(result, 1);
}

// A file name or a server text that looks like markup is shown as it stands, and a box whose text
// is short still shows its whole title (the control-character scan titles its boxes with positions).
TEST_F(RealMessageBoxes, TextIsPlainAndTheBoxIsWideEnoughForItsTitle) {
    int result = 0;
    MessageBoxRequest request;
    request.title = QStringLiteral("First at byte 2147483647 of /srv/game/data/s2004g20.001");
    request.text = QStringLiteral("<b>9</b>");
    const SeenBox seen = answer(
        0, [&request] { return showMessageBox(request); }, result);
    EXPECT_EQ(seen.text, QStringLiteral("<b>9</b>"));
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_GT(seen.width, seen.titleWidth);
}
