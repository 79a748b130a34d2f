#include "lang/language_list.h"

#include "lang/language_lookup.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace tarnlow {

QList<LanguageEntry> languageList(const QString& folder) {
    const QDir directory(folder);
    // QDir::Files without QDir::System leaves out folders and special files; the name filter is
    // case-insensitive, as the extension is on the systems the files come from.
    const QFileInfoList files =
        directory.entryInfoList({QStringLiteral("*.flf")}, QDir::Files | QDir::Hidden, QDir::NoSort);
    QList<LanguageEntry> entries;
    entries.reserve(files.size());
    for (const QFileInfo& file : files) {
        entries.append({file.fileName(),
                        lookup(file.filePath(), QStringLiteral("FLF"), QStringLiteral("NAME"), QString())});
    }
    std::sort(entries.begin(), entries.end(), [](const LanguageEntry& a, const LanguageEntry& b) {
        const int folded = a.fileName.compare(b.fileName, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.fileName < b.fileName;
    });
    return entries;
}

std::optional<qsizetype> findLanguageByText(const QList<LanguageEntry>& entries, const QString& text) {
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i).name.startsWith(text))
            return i;
    }
    return std::nullopt;
}

} // namespace tarnlow
