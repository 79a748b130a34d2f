#include "cli/commands.h"

#include "host/code_page.h"
#include "lang/f_msgbox.h"
#include "update/package_writer.h"

#include <QFile>
#include <QMap>

namespace tarnlow::cli {
namespace {

// Options that take a value, in the order the usage lists them.
const QStringList kValueOptions{
    QStringLiteral("--output"), QStringLiteral("--ver"),      QStringLiteral("--comp"),
    QStringLiteral("--file1"),  QStringLiteral("--file2"),    QStringLiteral("--file3"),
    QStringLiteral("--file4"),  QStringLiteral("--sql-file"),
};

struct PackArguments {
    QMap<QString, QString> values;
    bool force = false;
};

// Accepts "--name value" and "--name=value"; every option at most once.
Result<PackArguments> parseArguments(const QStringList& arguments) {
    PackArguments parsed;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        if (name == QStringLiteral("--force")) {
            parsed.force = true;
            continue;
        }
        std::optional<QString> value;
        if (const qsizetype equals = name.indexOf(QLatin1Char('='));
            name.startsWith(QStringLiteral("--")) && equals > 0) {
            value = name.mid(equals + 1);
            name = name.left(equals);
        }
        if (!kValueOptions.contains(name))
            return Error{QStringLiteral("unknown argument \"%1\"").arg(arguments.at(i))};
        if (parsed.values.contains(name))
            return Error{QStringLiteral("%1 is given twice").arg(name)};
        if (!value) {
            if (i + 1 >= arguments.size())
                return Error{QStringLiteral("%1 needs a value").arg(name)};
            value = arguments.at(++i);
        }
        parsed.values.insert(name, *value);
    }
    if (parsed.values.value(QStringLiteral("--output")).isEmpty())
        return Error{QStringLiteral("--output PATH is required")};
    return parsed;
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

int runPack(const QStringList& arguments) {
    const Result<PackArguments> parsed = parseArguments(arguments);
    if (!parsed)
        return usageError(packCommand, parsed.error());
    const QMap<QString, QString>& values = parsed->values;

    PackageSource source;
    source.version = values.value(QStringLiteral("--ver"), source.version);
    source.component = values.value(QStringLiteral("--comp"), source.component);
    for (int index = 1; index <= kPackageEntryCount; ++index)
        source.files.at(static_cast<size_t>(index - 1)) = values.value(QStringLiteral("--file%1").arg(index));
    if (values.contains(QStringLiteral("--sql-file"))) {
        const Result<QString> script = readScript(values.value(QStringLiteral("--sql-file")));
        if (!script)
            return fail(script.error());
        source.sqlScript = *script;
    }

    PackageWriteOptions options;
    options.replaceExisting = parsed->force;
    const Result<PackageWritten, NumberedMessage> written =
        writePackage(source, values.value(QStringLiteral("--output")), options);
    if (!written) {
        if (written.error().number == kMsgPackageOutputExists)
            return fail(messageText(written.error()) + QStringLiteral(" (use --force to replace it)"));
        return fail(messageText(written.error()));
    }
    printOut(QStringLiteral("wrote %1 (%2 bytes)").arg(written->path).arg(written->size));
    return kExitDone;
}

} // namespace

const Command packCommand{
    "pack",
    "build an update package from up to four files, version and component numbers and an SQL script",
    "pack --output PATH [--ver TEXT] [--comp TEXT] [--file1 PATH] [--file2 PATH] [--file3 PATH] "
    "[--file4 PATH] [--sql-file PATH] [--force]\n"
    "  --ver defaults to 01 and --comp to 076; an existing output file is replaced only with --force.",
    runPack,
};

} // namespace tarnlow::cli
