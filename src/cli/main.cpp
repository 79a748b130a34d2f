#include "app/application_globals.h"
#include "cli/commands.h"

#include <QCoreApplication>

using namespace tarnlow::cli;

namespace {

void printHelp() {
    printOut(QStringLiteral("usage: tarnlow_as_cli COMMAND [ARGUMENTS]\n\n"
                            "Package and database work of tarnlow_as without a display.\n\n"
                            "commands:"));
    for (const Command& command : commands())
        printOut(QStringLiteral("  %1  %2")
                     .arg(QLatin1String(command.name), -10)
                     .arg(QLatin1String(command.summary)));
    printOut(
        QStringLiteral("\nconnection options (database commands): --dbms NAME --server NAME --database NAME\n"
                       "  --login NAME --password TEXT --connect-string TEXT; a missing option takes the\n"
                       "  stored setting.\n"
                       "exit codes: 0 done, 1 failed (reason on standard error), 2 usage error.\n"
                       "tarnlow_as_cli --version prints the version."));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        printHelp();
        return kExitUsage;
    }
    const QString name = arguments.takeFirst();
    if (name == QStringLiteral("--help") || name == QStringLiteral("-h") || name == QStringLiteral("help")) {
        printHelp();
        return kExitDone;
    }
    if (name == QStringLiteral("--version")) {
        printOut(QStringLiteral("tarnlow_as_cli ") + tarnlow::gs_ver);
        return kExitDone;
    }
    for (const Command& command : commands()) {
        if (name == QLatin1String(command.name)) {
            // Only directly after the command: "settings set Name --help" stores the text "--help".
            if (arguments.value(0) == QStringLiteral("--help")) {
                printOut(QStringLiteral("usage: tarnlow_as_cli ") + QLatin1String(command.usage));
                return kExitDone;
            }
            return command.run(arguments);
        }
    }
    printError(QStringLiteral("tarnlow_as_cli: unknown command \"%1\" (try --help)").arg(name));
    return kExitUsage;
}
