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
    printOut(QStringLiteral(
        "\n"
        "tarnlow_as_cli COMMAND --help lists the options of a command.\n"
        "connection options (database commands): --dbms NAME --server NAME --database NAME\n"
        "  --login NAME --password-file FILE --connect-string TEXT; a missing option takes the\n"
        "  stored setting. The password comes from --password-file, from the terminal with\n"
        "  --password - , or from the environment variable TARNLOW_AS_PASSWORD; --password TEXT\n"
        "  also works, but every user of the machine can see it in the process list.\n"
        "apply and sync show a progress line on a terminal; Ctrl+C stops them cleanly.\n"
        "  With TARNLOW_AS_CTRL_C_READY=FILE they create FILE once Ctrl+C is handled, for\n"
        "  scripts and tests that interrupt them.\n"
        "exit codes: 0 done, 1 failed (reason on standard error), 2 usage error,\n"
        "  130 stopped by Ctrl+C.\n"
        "tarnlow_as_cli --version prints the version."));
}

int run(const QStringList& programArguments) {
    QStringList arguments = programArguments;
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
        printOut(QStringLiteral("tarnlow_as_cli " TARNLOW_VERSION));
        return kExitDone;
    }
    for (const Command& command : commands()) {
        if (name == QLatin1String(command.name))
            return runCommand(command, arguments);
    }
    printError(QStringLiteral("tarnlow_as_cli: unknown command \"%1\" (try --help)").arg(name));
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    return finishOutput(run(QCoreApplication::arguments().mid(1)));
}
