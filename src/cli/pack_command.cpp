#include "cli/commands.h"

#include "host/code_page.h"
#include "lang/f_msgbox.h"
#include "update/package_writer.h"

#include <QCommandLineParser>
#include <QFile>

namespace tarnlow::cli {
namespace {

const QString kOutput = QStringLiteral("output");
const QString kVersion = QStringLiteral("ver");
const QString kComponent = QStringLiteral("comp");
const QString kSqlFile = QStringLiteral("sql-file");
const QString kForce = QStringLiteral("force");

QString fileOption(int index) {
    return QStringLiteral("file%1").arg(index);
}

void declarePack(QCommandLineParser& parser) {
    parser.addOption(QCommandLineOption(kOutput, QStringLiteral("The package to write (required)."),
                                        QStringLiteral("PATH")));
    parser.addOption(QCommandLineOption(kVersion, QStringLiteral("The version number (default 01)."),
                                        QStringLiteral("TEXT")));
    parser.addOption(QCommandLineOption(kComponent, QStringLiteral("The component number (default 076)."),
                                        QStringLiteral("TEXT")));
    for (int index = 1; index <= kPackageEntryCount; ++index)
        parser.addOption(QCommandLineOption(fileOption(index), QStringLiteral("File of entry %1.").arg(index),
                                            QStringLiteral("PATH")));
    parser.addOption(QCommandLineOption(kSqlFile, QStringLiteral("The SQL script (UTF-8 or GBK)."),
                                        QStringLiteral("PATH")));
    parser.addOption(QCommandLineOption(kForce, QStringLiteral("Replace an existing package file.")));
}

// The script file's text, read as UTF-8 or GBK like any text file the operator edits.
Result<QString> readScript(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error{QStringLiteral("the SQL script %1 cannot be read: %2").arg(path, file.errorString())};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Error{QStringLiteral("the SQL script %1 cannot be read: %2").arg(path, file.errorString())};
    Result<QString> text = decodeTextFile(bytes);
    if (!text)
        return Error{QStringLiteral("the SQL script %1: %2").arg(path, text.error())};
    return text;
}

int runPack(const QCommandLineParser& parser) {
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            packCommand,
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (parser.value(kOutput).isEmpty())
        return usageError(packCommand, QStringLiteral("--output PATH is required"));

    PackageSource source;
    if (parser.isSet(kVersion))
        source.version = parser.value(kVersion);
    if (parser.isSet(kComponent))
        source.component = parser.value(kComponent);
    for (int index = 1; index <= kPackageEntryCount; ++index)
        source.files.at(static_cast<size_t>(index - 1)) = parser.value(fileOption(index));
    if (parser.isSet(kSqlFile)) {
        const Result<QString> script = readScript(parser.value(kSqlFile));
        if (!script)
            return fail(script.error());
        source.sqlScript = *script;
    }

    PackageWriteOptions options;
    options.replaceExisting = parser.isSet(kForce);
    const Result<PackageWritten, NumberedMessage> written =
        writePackage(source, parser.value(kOutput), options);
    if (!written) {
        if (written.error().number == kMsgPackageOutputExists)
            return fail(messageText(written.error()) + QStringLiteral(" (use --force to replace it)"));
        return fail(messageText(written.error()));
    }
    // The package cannot know its database: say which would refuse the script.
    if (written->scriptVerdicts.refusedSomewhere())
        printOut(messageText(NumberedMessage{
            kMsgPackageWrittenScriptPartly,
            {written->path, QString::number(written->size), written->scriptVerdicts.explained()}}));
    else
        printOut(QStringLiteral("wrote %1 (%2 bytes)").arg(written->path).arg(written->size));
    return kExitDone;
}

} // namespace

const Command packCommand{
    "pack",
    "build an update package from up to four files, version and component numbers and an SQL script",
    "pack --output PATH [--ver TEXT] [--comp TEXT] [--file1 PATH] [--file2 PATH] [--file3 PATH] "
    "[--file4 PATH] [--sql-file PATH] [--force]",
    declarePack,
    runPack,
};

} // namespace tarnlow::cli
