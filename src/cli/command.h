#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

namespace tarnlow::cli {

// Exit codes of every sub-command.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// A sub-command: its name as typed, a one-line summary for --help, its usage line, the options
// and arguments it declares on its parser, and its body, which runs on the parsed command line.
struct Command {
    const char* name;
    const char* summary;
    const char* usage;
    void (*declare)(QCommandLineParser& parser);
    int (*run)(const QCommandLineParser& parser);
};

// The text with every control character (C0, DEL, C1) written as \xNN (escapeControlCharacters),
// so that names and texts from packages and stored rows cannot move the cursor, clear the screen
// or retitle the terminal. Line breaks stay when keepLineBreaks is set; a value printed inside a
// line passes false so that it cannot start a line that looks like the program's own.
QString terminalText(const QString& text, bool keepLineBreaks = false);

// Parses the arguments after the sub-command's name with the command's own parser and runs it:
// --help (or -h) lists its options, and an unknown option, a missing value or an option with a
// value given twice is a usage error.
int runCommand(const Command& command, const QStringList& arguments);

// Standard output and error in UTF-8, whatever the locale, with control characters other than
// line breaks escaped as terminalText does. A write that fails (a full disk, a closed pipe) is
// remembered, and finishOutput reports it.
void printOut(const QString& text);
void printError(const QString& text);

// The exit code of the program after the command returned code: when standard output could not
// be written, a message on standard error and kExitFailed (unless the code already says failure);
// likewise, without the message, when standard error could not be written.
int finishOutput(int code);

// Prints "tarnlow_as_cli: <text>" on standard error and returns kExitFailed.
int fail(const QString& text);
// Prints the problem and the command's usage on standard error and returns kExitUsage.
int usageError(const Command& command, const QString& problem);

} // namespace tarnlow::cli
