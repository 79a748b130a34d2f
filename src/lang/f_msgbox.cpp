#include "lang/f_msgbox.h"

#include "host/message_box.h"
#include "lang/english_messages.h"
#include "lang/language_lookup.h"

namespace tarnlow {
namespace {

const QString kSection = QStringLiteral("MESSAGE");
const QString kPlaceholder = QStringLiteral("%%");

int show(const QString& title, const QString& text) {
    MessageBoxRequest request;
    request.title = title;
    request.text = text;
    return showMessageBox(request);
}

} // namespace

QString messageTitle() {
    return lookup(kSection, QStringLiteral("TITLE"), QStringLiteral("提示信息"));
}

QString messageText(int ai_msgid) {
    return lookup(kSection, QString::number(ai_msgid), QString(QLatin1String("")));
}

QString fillPlaceholders(QString text, const QStringList& parameters) {
    for (const QString& parameter : parameters) {
        const qsizetype position = text.indexOf(kPlaceholder);
        if (position < 0)
            continue;
        text.replace(position, kPlaceholder.size(), parameter);
    }
    return text;
}

int f_msgbox(int ai_msgid, const QStringList& as_parm) {
    const QString title = messageTitle();
    return show(title, fillPlaceholders(messageText(ai_msgid), as_parm));
}

int f_msgbox(const NumberedMessage& message) {
    return f_msgbox(message.number, message.parameters);
}

QString messageText(const NumberedMessage& message) {
    QString text = messageText(message.number);
    if (text.trimmed().isEmpty())
        text = englishMessageText(message.number);
    if (text.isEmpty())
        return QStringLiteral("message %1: %2")
            .arg(message.number)
            .arg(message.parameters.join(QStringLiteral("; ")));
    return fillPlaceholders(text, message.parameters);
}

bool askYesNo(const NumberedMessage& question) {
    MessageBoxRequest request;
    request.title = messageTitle();
    request.text = fillPlaceholders(messageText(question.number), question.parameters);
    request.icon = MessageIcon::Question;
    request.buttons = MessageButtons::YesNo;
    request.defaultButton = 2;
    return showMessageBox(request) == 1;
}

int f_msgbox_s(int ai_msgid) {
    const QString title = messageTitle();
    return show(title, messageText(ai_msgid));
}

int f_msgbox_s_silent(int) {
    return 1;
}

int f_msgbox_s_silent(int, const QStringList&) {
    return 1;
}

} // namespace tarnlow
