#include "host/shown_text.h"

namespace tarnlow {

QString escapeControlCharacters(const QString& text, bool keepLineBreaks) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
        if (!control || (keepLineBreaks && code == u'\n'))
            shown += c;
        else
            shown += QStringLiteral("\\x") +
                     QString::number(code, 16).rightJustified(2, QLatin1Char('0')).toUpper();
    }
    return shown;
}

QString shownName(const QString& storedName) {
    qsizetype end = storedName.size();
    while (end > 0 && storedName.at(end - 1) == QLatin1Char(' '))
        --end;
    return escapeControlCharacters(storedName.left(end));
}

} // namespace tarnlow
