#include "cli/commands.h"
#include "cli/connection_options.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "lang/f_msgbox.h"
#include "update/import_engine.h"

namespace tarnlow::cli {
namespace {

int runApply(const QStringList& arguments) {
    QStringList rest = arguments;
    const auto options = takeConnectionOptions(rest);
    if (!options)
        return usageError(applyCommand, options.error());
    if (rest.isEmpty())
        return usageError(applyCommand, QStringLiteral("the path of the update package is missing"));
    if (rest.size() > 1)
        return usageError(applyCommand, QStringLiteral("unexpected argument \"%1\"").arg(rest.at(1)));
    const QString path = rest.first();

    SettingsStore settings = SettingsStore::standard();
    Transaction sqlca;
    if (const Result<void> connected = connectForCommand(sqlca, *options, settings); !connected)
        return fail(connected.error());

    const ImportReport report = importPackage(sqlca, path);
    switch (report.result) {
    case ImportResult::Stored:
        for (const ImportFile& file : report.files)
            printOut(QStringLiteral("stored %1 %2 (%3 bytes) as update index %4")
                         .arg(file.versionLabel, QStringView(file.name).trimmed().toString())
                         .arg(file.size)
                         .arg(file.updateIndex));
        printOut(QStringLiteral("stored %1 files of version %2 component %3")
                     .arg(report.files.size())
                     .arg(report.version)
                     .arg(report.component));
        return kExitDone;
    case ImportResult::AlreadyStored:
        printOut(QStringLiteral("version %1 component %2 is already stored; nothing stored")
                     .arg(report.version)
                     .arg(report.component));
        return kExitDone;
    case ImportResult::Failed:
        break;
    }
    return fail(report.failure ? messageText(*report.failure)
                               : QStringLiteral("the package was not applied"));
}

} // namespace

const Command applyCommand{
    "apply",
    "store the files of an update package in the database and run its SQL script",
    "apply PATH [--dbms NAME] [--server NAME] [--database NAME] [--login NAME] [--password TEXT] "
    "[--connect-string TEXT]",
    runApply,
};

} // namespace tarnlow::cli
