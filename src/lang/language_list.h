#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tarnlow {

// One language file of the program folder: its file name (what gs_lang holds) and its display
// name, FLF/NAME ("" when the file has none).
struct LanguageEntry {
    QString fileName;
    QString name;

    friend bool operator==(const LanguageEntry&, const LanguageEntry&) = default;
};

// The *.flf files of a folder (read-only and hidden ones too; no folders, no sockets, pipes or
// devices), sorted by file name so that the list has the same order on every machine.
QList<LanguageEntry> languageList(const QString& folder);

// The position of the first entry whose display name begins with the given text. Entries are found
// again by their text, so of two entries with the same name the first one always wins.
std::optional<qsizetype> findLanguageByText(const QList<LanguageEntry>& entries, const QString& text);

} // namespace tarnlow
