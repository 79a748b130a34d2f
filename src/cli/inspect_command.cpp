#include "cli/commands.h"

#include "update/package_reader.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tarnlow::cli {
namespace {

QJsonObject entryObject(const PackageEntry& entry) {
    return QJsonObject{
        {QStringLiteral("index"), entry.index}, {QStringLiteral("start"), entry.start},
        {QStringLiteral("end"), entry.end},     {QStringLiteral("size"), entry.size()},
        {QStringLiteral("name"), entry.name},
    };
}

QJsonObject packageObject(const PackageReader& package) {
    QJsonArray entries;
    for (int index = 1; index <= kPackageEntryCount; ++index) {
        const std::optional<PackageEntry>& entry = package.entry(index);
        entries.append(entry ? QJsonValue(entryObject(*entry)) : QJsonValue(QJsonValue::Null));
    }
    const std::optional<int> component = package.componentNumber();
    return QJsonObject{
        {QStringLiteral("ver_no"), package.versionText()},
        {QStringLiteral("comp_no"), component ? QJsonValue(*component) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("signature_ok"), package.signatureOk()},
        {QStringLiteral("entries"), entries},
        {QStringLiteral("sql_start"), package.sqlStart()},
        {QStringLiteral("sql_size"), package.sqlSize()},
        {QStringLiteral("size"), package.size()},
        {QStringLiteral("problems"), QJsonArray::fromStringList(package.problemTexts())},
    };
}

void printText(const PackageReader& package) {
    printOut(QStringLiteral("package:   %1").arg(terminalText(package.path())));
    printOut(QStringLiteral("size:      %1 bytes").arg(package.size()));
    printOut(QStringLiteral("ver_no:    %1").arg(terminalText(package.versionText())));
    const std::optional<int> component = package.componentNumber();
    printOut(QStringLiteral("comp_no:   %1")
                 .arg(component ? QString::number(*component) : QStringLiteral("(not a number)")));
    printOut(QStringLiteral("signature: %1")
                 .arg(package.signatureOk() ? QStringLiteral("ok") : QStringLiteral("not ok")));
    for (int index = 1; index <= kPackageEntryCount; ++index) {
        const std::optional<PackageEntry>& entry = package.entry(index);
        if (!entry) {
            printOut(QStringLiteral("entry %1:   empty").arg(index));
            continue;
        }
        printOut(QStringLiteral("entry %1:   start %2, end %3, size %4, name \"%5\"")
                     .arg(index)
                     .arg(entry->start)
                     .arg(entry->end)
                     .arg(entry->size())
                     .arg(terminalText(entry->name)));
    }
    if (package.sqlStart() > 0)
        printOut(
            QStringLiteral("sql:       start %1, size %2").arg(package.sqlStart()).arg(package.sqlSize()));
    else
        printOut(QStringLiteral("sql:       none"));
    if (package.problems().isEmpty())
        printOut(QStringLiteral("problems:  none"));
    for (const QString& problem : package.problemTexts())
        printOut(QStringLiteral("problem:   %1").arg(terminalText(problem)));
}

const QString kJson = QStringLiteral("json");

void declareInspect(QCommandLineParser& parser) {
    parser.addPositionalArgument(
        QStringLiteral("PATH"),
        QStringLiteral("The update package (.fuf). The exit code is 0 for a sound package, 1 when "
                       "validation finds a problem or the file cannot be read."));
    parser.addOption(QCommandLineOption(kJson, QStringLiteral("Print the findings as JSON.")));
}

int runInspect(const QCommandLineParser& parser) {
    const bool json = parser.isSet(kJson);
    const QStringList rest = parser.positionalArguments();
    if (rest.isEmpty())
        return usageError(inspectCommand, QStringLiteral("the path of the update package is missing"));
    if (rest.size() > 1)
        return usageError(inspectCommand, QStringLiteral("unexpected argument \"%1\"").arg(rest.at(1)));

    const Result<PackageReader> package = PackageReader::open(rest.first());
    if (!package)
        return fail(package.error());
    if (json)
        printOut(QString::fromUtf8(QJsonDocument(packageObject(*package)).toJson(QJsonDocument::Indented))
                     .trimmed());
    else
        printText(*package);
    return package->problems().isEmpty() ? kExitDone : kExitFailed;
}

} // namespace

const Command inspectCommand{
    "inspect",
    "show the header, entries and validation findings of an update package",
    "inspect PATH [--json]",
    declareInspect,
    runInspect,
};

} // namespace tarnlow::cli
