#include "host/program_location.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace tarnlow {

QString gs_path;
namespace {

bool isSeparator(QChar c) {
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

} // namespace

QString runningExecutablePath() {
    if (QCoreApplication::instance() != nullptr) {
        const QString path = QCoreApplication::applicationFilePath();
        if (!path.isEmpty())
            return path;
    }
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

bool moduleHandleAvailable() {
    return qEnvironmentVariable("TARNLOW_AS_NO_MODULE_HANDLE") != QStringLiteral("1");
}

QString folderOfExecutable(const QString& executablePath) {
    for (qsizetype i = executablePath.size() - 1; i >= 0; --i) {
        if (isSeparator(executablePath.at(i)))
            return executablePath.left(i + 1);
    }
    return {};
}

QString folderWithSeparator(const QString& directory) {
    if (!directory.isEmpty() && isSeparator(directory.back()))
        return directory;
    const bool backslashesOnly =
        directory.contains(QLatin1Char('\\')) && !directory.contains(QLatin1Char('/'));
    return directory + (backslashesOnly ? QLatin1Char('\\') : QLatin1Char('/'));
}

} // namespace tarnlow
