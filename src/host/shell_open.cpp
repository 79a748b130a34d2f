#include "host/shell_open.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tarnlow {
namespace {

bool openWithDesktop(const QString& target) {
    const QString trimmed = target.trimmed();
    if (trimmed.isEmpty())
        return false;
    QUrl url;
    if (trimmed.startsWith(QStringLiteral("www."), Qt::CaseInsensitive))
        url = QUrl(QStringLiteral("http://") + trimmed);
    else if (QFileInfo::exists(trimmed))
        url = QUrl::fromLocalFile(QFileInfo(trimmed).absoluteFilePath());
    else
        url = QUrl::fromUserInput(trimmed);
    return url.isValid() && QDesktopServices::openUrl(url);
}

ShellOpenHandler& currentHandler() {
    static ShellOpenHandler handler = openWithDesktop;
    return handler;
}

} // namespace

bool shellOpen(const QString& target) {
    return currentHandler()(target);
}

ShellOpenHandler setShellOpenHandler(ShellOpenHandler handler) {
    ShellOpenHandler previous = std::move(currentHandler());
    currentHandler() = handler ? std::move(handler) : ShellOpenHandler(openWithDesktop);
    return previous;
}

} // namespace tarnlow
