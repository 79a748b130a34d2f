#include "host/profile.h"

#include "host/code_page.h"

#include <QFile>
#include <QStringView>

namespace tarnlow {

std::optional<QString> profileStringFromText(const QString& text, const QString& section,
                                             const QString& key) {
    const QString wantedSection = section.trimmed();
    const QString wantedKey = key.trimmed();
    bool inSection = false;
    const auto lines = QStringView(text).split(QLatin1Char('\n'));
    for (QStringView line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QStringView name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(wantedSection, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        if (line.left(equals).trimmed().compare(wantedKey, Qt::CaseInsensitive) == 0)
            return line.mid(equals + 1).trimmed().toString();
    }
    return std::nullopt;
}

std::optional<QString> profileString(const QString& filePath, const QString& section, const QString& key) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    Result<QString> text = decodeTextFile(file.readAll());
    if (!text)
        return std::nullopt;
    return profileStringFromText(*text, section, key);
}

} // namespace tarnlow
