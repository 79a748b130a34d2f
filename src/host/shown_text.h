#pragma once

#include <QString>

namespace tarnlow {

// The text with every control character (C0, DEL and C1) written as \xNN, so that a text that
// came from a file or the database can neither fake a line of output nor send a terminal a
// command; line breaks as well unless they are kept.
QString escapeControlCharacters(const QString& text, bool keepLineBreaks = false);

// A file name stored in a package or in T_SYS_VER as a message shows it: without the trailing
// blanks of its fixed-width field, every control character escaped. The stored name itself keeps
// its blanks.
QString shownName(const QString& storedName);

} // namespace tarnlow
