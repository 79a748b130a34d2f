#include "host/message_box_dialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>

#include <algorithm>
#include <vector>

namespace tarnlow {
namespace {

std::vector<QMessageBox::StandardButton> buttonsOf(MessageButtons buttons) {
    using B = QMessageBox::StandardButton;
    switch (buttons) {
    case MessageButtons::Ok:
        return {B::Ok};
    case MessageButtons::OkCancel:
        return {B::Ok, B::Cancel};
    case MessageButtons::YesNo:
        return {B::Yes, B::No};
    case MessageButtons::YesNoCancel:
        return {B::Yes, B::No, B::Cancel};
    case MessageButtons::RetryCancel:
        return {B::Retry, B::Cancel};
    case MessageButtons::AbortRetryIgnore:
        return {B::Abort, B::Retry, B::Ignore};
    }
    return {B::Ok};
}

QMessageBox::Icon iconOf(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// Room a title bar needs besides the title: the window's icon and its buttons.
constexpr int kTitleBarAllowance = 160;

// A box is as wide as its title needs, so that a short text under a long title (the scan's
// positions, a file name) does not cut the title off; never wider than the screen.
void makeRoomForTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr)
        return;
    int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarAllowance;
    if (const QScreen* screen = box.screen())
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

} // namespace

int showMessageBoxDialog(const MessageBoxRequest& request) {
    QMessageBox box(iconOf(request.icon), request.title, request.text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    // Texts carry file names and server texts: markup in them is shown, never interpreted.
    box.setTextFormat(Qt::PlainText);
    makeRoomForTitle(box);
    const std::vector<QMessageBox::StandardButton> buttons = buttonsOf(request.buttons);
    QMessageBox::StandardButtons set;
    for (const auto button : buttons)
        set |= button;
    box.setStandardButtons(set);
    const std::size_t defaultIndex = request.defaultButton >= 1 ? std::size_t(request.defaultButton - 1) : 0;
    box.setDefaultButton(buttons.at(defaultIndex < buttons.size() ? defaultIndex : 0));
    // Closing the box with Escape or its title bar answers with the last button (Cancel, No, ...).
    box.setEscapeButton(buttons.back());
    const int pressed = box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (pressed == buttons[i])
            return int(i) + 1;
    }
    return int(buttons.size());
}

void installDialogMessageBoxHandler() {
    setMessageBoxHandler(showMessageBoxDialog);
}

} // namespace tarnlow
