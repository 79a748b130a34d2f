#include "cli/commands.h"

#include "tools/control_scan.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>

namespace tarnlow::cli {
namespace {

const QString kJson = QStringLiteral("json");

void declareScanControls(QCommandLineParser& parser) {
    parser.addOption(
        QCommandLineOption(kJson, QStringLiteral("One JSON object per line: {\"code\":C,\"position\":P}.")));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The file to scan."));
}

int runScanControls(const QCommandLineParser& parser) {
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(scanControlsCommand, QStringLiteral("the path of the file is missing"));
    if (positional.size() > 1)
        return usageError(scanControlsCommand,
                          QStringLiteral("unexpected argument \"%1\"").arg(positional.at(1)));

    const QString path = positional.first();
    const Result<ControlScanReport> report = scanControlCharacters(path);
    if (!report)
        return fail(QStringLiteral("the file %1 cannot be scanned: %2").arg(path, report.error()));
    const bool json = parser.isSet(kJson);
    for (const ControlFinding& finding : report->findings) {
        if (json)
            printOut(
                QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("code"), finding.code},
                                                            {QStringLiteral("position"), finding.position}})
                                      .toJson(QJsonDocument::Compact)));
        else
            printOut(QStringLiteral("code %1 first at byte %2").arg(finding.code).arg(finding.position));
    }
    return kExitDone;
}

} // namespace

const Command scanControlsCommand{
    "scan-controls",
    "list the control characters (codes 1 to 31) of a file with the byte position of each first one",
    "scan-controls FILE [--json]\n"
    "  one line per code found, in ascending order: \"code C first at byte P\" (P counts from 1),\n"
    "  or with --json {\"code\":C,\"position\":P}.",
    declareScanControls,
    runScanControls,
};

} // namespace tarnlow::cli
