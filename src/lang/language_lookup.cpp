#include "lang/language_lookup.h"

#include "host/profile.h"
#include "lang/language_globals.h"

#include <QStringList>

namespace tarnlow {

QString currentLanguageFile() {
    return gs_path + gs_lang;
}

QString lookup(const QString& section, const QString& key, const QString& defaultText) {
    return lookup(currentLanguageFile(), section, key, defaultText);
}

QString lookup(const QString& file, const QString& section, const QString& key, const QString& defaultText) {
    // An empty name would otherwise open the current directory's nothing; a null gs_lang with an
    // empty gs_path must give the defaults like any other missing file.
    if (file.isEmpty())
        return defaultText;
    return profileString(file, section, key).value_or(defaultText);
}

QString controlCaption(const QString& tag, const QString& currentText) {
    if (tag.isEmpty())
        return currentText;
    return lookup(QStringLiteral("BUTTON"), tag, currentText);
}

std::optional<NumberedMessage> damagedLanguageFileNotice(const QString& file) {
    const std::optional<ProfileReadability> readability =
        file.isEmpty() ? std::nullopt : profileReadability(file);
    if (!readability || readability->badLines.isEmpty())
        return std::nullopt;
    QStringList lines;
    for (const int line : readability->badLines)
        lines.append(QString::number(line));
    return NumberedMessage{kMessageLanguageLinesDamaged, {file, lines.join(QStringLiteral(", "))}};
}

} // namespace tarnlow
