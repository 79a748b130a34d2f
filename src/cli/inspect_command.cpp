#include "cli/commands.h"

#include "cli/signing_options.h"
#include "update/package_reader.h"
#include "update/package_signature.h"

#include <QCommandLineParser>
#include <QFile>
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

QJsonObject signatureObject(const PackageSignatureStatus& status) {
    return QJsonObject{
        {QStringLiteral("state"), signatureStateName(status.state)},
        {QStringLiteral("key_id"),
         status.keyId ? QJsonValue(status.keyId->text()) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("reason"), status.reason},
        {QStringLiteral("file_records"), status.carriesRecords
                                             ? QJsonValue(static_cast<int>(status.records.size()))
                                             : QJsonValue(QJsonValue::Null)},
    };
}

QString signatureLine(const PackageSignatureStatus& status) {
    QString line = signatureStateName(status.state);
    if (status.keyId)
        line += QStringLiteral(", key ") + status.keyId->text();
    if (status.state == PackageSignatureStatus::State::Valid)
        line += status.carriesRecords
                    ? QStringLiteral(", with signed records of %1 files").arg(status.records.size())
                    : QStringLiteral(", without signed file records");
    if (!status.reason.isEmpty())
        line += QStringLiteral(": ") + status.reason;
    return line;
}

// What each database makes of the SQL script; null without a readable script.
QJsonValue scriptObject(const PackageReader& package) {
    const std::optional<ScriptVerdicts>& verdicts = package.scriptVerdicts();
    if (!verdicts)
        return QJsonValue(QJsonValue::Null);
    QJsonArray each;
    for (const ScriptVerdict& verdict : verdicts->verdicts) {
        const std::optional<ScriptRefusal>& refusal = verdict.refusal;
        each.append(QJsonObject{
            {QStringLiteral("database"), scriptDialectName(verdict.dialect)},
            {QStringLiteral("applies"), verdict.applies()},
            {QStringLiteral("line"), refusal ? QJsonValue(refusal->line) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("words"), refusal ? QJsonValue(refusal->words) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("reason"), refusal ? QJsonValue(refusal->reason) : QJsonValue(QJsonValue::Null)},
        });
    }
    return QJsonObject{{QStringLiteral("summary"), verdicts->summary()}, {QStringLiteral("verdicts"), each}};
}

void printScriptVerdicts(const PackageReader& package) {
    const std::optional<ScriptVerdicts>& verdicts = package.scriptVerdicts();
    if (!verdicts)
        return;
    printOut(QStringLiteral("script:    %1").arg(terminalText(verdicts->summary())));
    for (const ScriptVerdict& verdict : verdicts->verdicts)
        printOut(QStringLiteral("  %1 %2")
                     .arg(scriptDialectName(verdict.dialect) + QLatin1Char(':'), -12)
                     .arg(verdict.applies()
                              ? QStringLiteral("applies")
                              : QStringLiteral("refused, ") + terminalText(verdict.refusal->text())));
}

QJsonObject packageObject(const PackageReader& package, const PackageSignatureStatus& status) {
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
        {QStringLiteral("script"), scriptObject(package)},
        {QStringLiteral("size"), package.size()},
        {QStringLiteral("problems"), QJsonArray::fromStringList(package.problemTexts())},
        {QStringLiteral("notes"), QJsonArray::fromStringList(package.notes())},
        {QStringLiteral("signed"), signatureObject(status)},
    };
}

void printText(const PackageReader& package, const PackageSignatureStatus& status) {
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
    printScriptVerdicts(package);
    printOut(QStringLiteral("signed:    %1").arg(terminalText(signatureLine(status))));
    if (package.problems().isEmpty())
        printOut(QStringLiteral("problems:  none"));
    for (const QString& problem : package.problemTexts())
        printOut(QStringLiteral("problem:   %1").arg(terminalText(problem)));
    for (const QString& note : package.notes())
        printOut(QStringLiteral("note:      %1").arg(terminalText(note)));
}

const QString kJson = QStringLiteral("json");
const QString kPublicKey = QStringLiteral("public-key");

void declareInspect(QCommandLineParser& parser) {
    parser.addPositionalArgument(
        QStringLiteral("PATH"),
        QStringLiteral("The update package (.fuf). The exit code is 0 for a sound package, 1 when "
                       "validation finds a problem, the file cannot be read, or its signature is damaged or "
                       "does not hold for a trusted key."));
    parser.addOption(QCommandLineOption(kJson, QStringLiteral("Print the findings as JSON.")));
    parser.addOption(QCommandLineOption(
        kPublicKey,
        QStringLiteral(
            "Check the signature PATH.minisig also against this public key, besides the trusted keys."),
        QStringLiteral("FILE")));
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
    Result<TrustedKeys> trusted = clientTrustedKeys();
    if (!trusted)
        return fail(trusted.error());
    if (parser.isSet(kPublicKey)) {
        QFile file(parser.value(kPublicKey));
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("the public key %1 cannot be read: %2")
                            .arg(file.fileName(), file.errorString()));
        const Result<PublicKey> key = parsePublicKey(file.read(64 * 1024));
        if (!key)
            return fail(QStringLiteral("the public key %1: %2").arg(file.fileName(), key.error()));
        trusted->keys.append(*key);
    }
    const PackageSignatureStatus status = checkPackageSignature(*package, *trusted);
    if (json)
        printOut(
            QString::fromUtf8(QJsonDocument(packageObject(*package, status)).toJson(QJsonDocument::Indented))
                .trimmed());
    else
        printText(*package, status);
    const bool signatureBroken = status.state == PackageSignatureStatus::State::Invalid ||
                                 status.state == PackageSignatureStatus::State::Unreadable;
    return package->problems().isEmpty() && !signatureBroken ? kExitDone : kExitFailed;
}

} // namespace

const Command inspectCommand{
    "inspect",
    "show the header, entries, validation findings, signature and what each database makes of the SQL "
    "script of an update package",
    "inspect PATH [--json] [--public-key FILE]",
    declareInspect,
    runInspect,
};

} // namespace tarnlow::cli
