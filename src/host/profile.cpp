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

namespace {

std::optional<DecodedLines> readLines(const QString& filePath) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return decodeTextFileByLines(file.readAll());
}

} // namespace

std::optional<QString> profileString(const QString& filePath, const QString& section, const QString& key) {
    const std::optional<DecodedLines> lines = readLines(filePath);
    if (!lines)
        return std::nullopt;
    return profileStringFromText(lines->text, section, key);
}

std::optional<ProfileReadability> profileReadability(const QString& filePath) {
    const std::optional<DecodedLines> lines = readLines(filePath);
    if (!lines)
        return std::nullopt;
    return ProfileReadability{lines->badLines, lines->anyLineRead};
}

} // namespace tarnlow
