#include "cli/command.h"

namespace tarnlow::cli {

void printOut(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void printError(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
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
