#include "host/shell_open.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tarnlow {

bool shellOpen(const QString& target) {
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

} // namespace tarnlow
