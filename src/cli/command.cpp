#include "cli/command.h"

#include "host/shown_text.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarnlow::cli {
namespace {

// The errno of the first failed write to each stream, 0 while every write went through.
int outputFailure = 0;
int errorFailure = 0;

void write(std::FILE* stream, const QString& text, int& failure) {
    const QByteArray bytes = terminalText(text, true).toUtf8() + '\n';
    errno = 0;
    const size_t written = std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    if ((written != static_cast<size_t>(bytes.size()) || std::fflush(stream) != 0) && failure == 0)
        failure = errno != 0 ? errno : EIO;
}

// Qt's texts start with a capital and end with a full stop; ours follow the program name.
QString parserErrorText(const QCommandLineParser& parser, const QStringList& arguments) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        // The option as it was typed, with its dashes.
        for (const QString& argument : arguments) {
            if (argument == QStringLiteral("--"))
                break;
            const QString name = argument.section(QLatin1Char('='), 0, 0);
            if (name.startsWith(QLatin1Char('-')) &&
                QStringView(name).mid(name.startsWith(QStringLiteral("--")) ? 2 : 1) == unknown.first())
                return QStringLiteral("unknown option \"%1\"").arg(name);
        }
        return QStringLiteral("unknown option \"%1\"").arg(unknown.first());
    }
    QString text = parser.errorText();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    return text;
}

// The options section of Qt's help text, for the command's own help.
QString optionsHelp(const QCommandLineParser& parser) {
    const QString text = parser.helpText();
    const qsizetype start = text.indexOf(QStringLiteral("Options:"));
    return start < 0 ? QString() : text.mid(start).trimmed();
}

} // namespace

int runCommand(const Command& command, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this command's usage and options."));
    parser.addOption(help);
    command.declare(parser);
    // QCommandLineParser skips the first argument as the program's name.
    if (!parser.parse(QStringList{QLatin1String(command.name)} + arguments))
        return usageError(command, parserErrorText(parser, arguments));
    if (parser.isSet(help)) {
        printOut(QStringLiteral("usage: tarnlow_as_cli %1\n\n%2\n\n%3")
                     .arg(QLatin1String(command.usage), QLatin1String(command.summary), optionsHelp(parser)));
        return kExitDone;
    }
    const QStringList found = parser.optionNames();
    for (const QString& name : found) {
        if (parser.values(name).size() > 1)
            return usageError(command,
                              QStringLiteral("the option %1%2 is given twice")
                                  .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
    }
    return command.run(parser);
}

QString terminalText(const QString& text, bool keepLineBreaks) {
    return escapeControlCharacters(text, keepLineBreaks);
}

void printOut(const QString& text) {
    write(stdout, text, outputFailure);
}

void printError(const QString& text) {
    write(stderr, text, errorFailure);
}

int finishOutput(int code) {
    if (std::fflush(stdout) != 0 && outputFailure == 0)
        outputFailure = errno != 0 ? errno : EIO;
    if (outputFailure != 0) {
        printError(QStringLiteral("tarnlow_as_cli: cannot write to standard output: %1")
                       .arg(QString::fromLocal8Bit(std::strerror(outputFailure))));
        return code == kExitDone ? kExitFailed : code;
    }
    if (errorFailure != 0)
        return code == kExitDone ? kExitFailed : code;
    return code;
}

int fail(const QString& text) {
    printError(QStringLiteral("tarnlow_as_cli: ") + text);
    return kExitFailed;
}

int usageError(const Command& command, const QString& problem) {
    printError(QStringLiteral("tarnlow_as_cli %1: %2").arg(QLatin1String(command.name), problem));
    printError(QStringLiteral("usage: tarnlow_as_cli %1 (see tarnlow_as_cli %2 --help)")
                   .arg(QLatin1String(command.usage), QLatin1String(command.name)));
    return kExitUsage;
}

} // namespace tarnlow::cli
