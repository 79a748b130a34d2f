#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

namespace tarnlow::cli {

// Exit codes of every sub-command.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// A sub-command: its name as typed, a one-line summary for --help, its usage text and its body.
// The body receives the arguments after the sub-command's name.
struct Command {
    const char* name;
    const char* summary;
    const char* usage;
    int (*run)(const QStringList& arguments);
};

// The text with every control character (C0, DEL, C1) written as \xNN, so that names and texts
// from packages and stored rows cannot move the cursor, clear the screen or retitle the
// terminal. Line breaks stay when keepLineBreaks is set; a value printed inside a line passes
// false so that it cannot start a line that looks like the program's own.
QString terminalText(const QString& text, bool keepLineBreaks = false);

// Standard output and error in UTF-8, whatever the locale, with control characters other than
// line breaks escaped as terminalText does.
void printOut(const QString& text);
void printError(const QString& text);

// Prints "tarnlow_as_cli: <text>" on standard error and returns kExitFailed.
int fail(const QString& text);
// Prints the problem and the command's usage on standard error and returns kExitUsage.
int usageError(const Command& command, const QString& problem);

} // namespace tarnlow::cli
