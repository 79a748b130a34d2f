#include "cli/command.h"

namespace tarnlow::cli {

QString terminalText(const QString& text, bool keepLineBreaks) {
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

void printOut(const QString& text) {
    const QByteArray bytes = terminalText(text, true).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void printError(const QString& text) {
    const QByteArray bytes = terminalText(text, true).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

int fail(const QString& text) {
    printError(QStringLiteral("tarnlow_as_cli: ") + text);
    return kExitFailed;
}

int usageError(const Command& command, const QString& problem) {
    printError(QStringLiteral("tarnlow_as_cli %1: %2").arg(QLatin1String(command.name), problem));
    printError(QStringLiteral("usage: tarnlow_as_cli ") + QLatin1String(command.usage));
    return kExitUsage;
}

} // namespace tarnlow::cli
