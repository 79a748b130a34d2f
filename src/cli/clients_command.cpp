#include "cli/commands.h"
#include "cli/connection_options.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "lang/f_msgbox.h"
#include "update/client_list.h"

#include <QCommandLineParser>
#include <QJsonDocument>

#include <algorithm>

namespace tarnlow::cli {
namespace {

const QString kJson = QStringLiteral("json");
const QString kBehind = QStringLiteral("behind");
const QString kForget = QStringLiteral("forget");

// No row of the machine named by --forget: machine.
constexpr int kMessageNoSuchMachine = 10660;

void declareClients(QCommandLineParser& parser) {
    parser.addOption(QCommandLineOption(kJson, QStringLiteral("Print the clients as one JSON array.")));
    parser.addOption(
        QCommandLineOption(kBehind, QStringLiteral("List only clients whose Comp_ID is below the highest "
                                                   "stored component.")));
    parser.addOption(QCommandLineOption(
        kForget,
        QStringLiteral("Remove the rows of a retired machine (its id as listed) instead of listing."),
        QStringLiteral("MACHINE")));
    addConnectionOptions(parser);
}

// The clients as a table aligned in columns, a summary under it.
void printTable(const QList<ClientRow>& clients) {
    const QStringList header{
        QStringLiteral("LAST CHECK (UTC)"), QStringLiteral("HOST"),    QStringLiteral("USER"),
        QStringLiteral("COMP_ID"),          QStringLiteral("VERSION"), QStringLiteral("RESULT"),
        QStringLiteral("FOLDER"),           QStringLiteral("MACHINE")};
    QList<QStringList> lines{header};
    for (const ClientRow& client : clients)
        lines.append(
            {client.lastCheck, terminalText(client.host), terminalText(client.user),
             QString::number(client.componentId) + (client.behind ? QStringLiteral(" behind") : QString()),
             terminalText(client.version), client.ok ? QStringLiteral("ok") : QStringLiteral("failed"),
             terminalText(client.folder), client.machine});
    QList<qsizetype> widths(header.size(), 0);
    for (const QStringList& line : lines)
        for (qsizetype column = 0; column < line.size(); ++column)
            widths[column] = std::max(widths.at(column), line.at(column).size());
    for (const QStringList& line : lines) {
        QString text;
        for (qsizetype column = 0; column < line.size(); ++column)
            text += column + 1 < line.size() ? line.at(column).leftJustified(widths.at(column) + 2)
                                             : line.at(column);
        printOut(text);
    }
    for (const ClientRow& client : clients)
        if (!client.ok)
            printOut(QStringLiteral("%1 %2 failed: %3")
                         .arg(terminalText(client.host), terminalText(client.folder),
                              terminalText(client.messageLine())));
}

int runClients(const QCommandLineParser& parser) {
    const auto options = connectionOptions(parser);
    if (!options)
        return usageError(clientsCommand, options.error());
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            clientsCommand,
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    const bool forgetting = parser.isSet(kForget);
    const QString machine = parser.value(kForget).trimmed();
    if (forgetting && machine.isEmpty())
        return usageError(clientsCommand, QStringLiteral("--forget needs the id of a machine"));
    if (forgetting && (parser.isSet(kJson) || parser.isSet(kBehind)))
        return usageError(clientsCommand,
                          QStringLiteral("--forget lists nothing; leave out --json and --behind"));

    SettingsStore settings = SettingsStore::standard();
    Transaction sqlca;
    if (const Result<void> connected = connectForCommand(sqlca, *options, settings); !connected)
        return fail(connected.error());

    if (forgetting) {
        const Result<qint64> removed = forgetMachine(sqlca, machine);
        if (!removed)
            return fail(messageText(NumberedMessage{kMessageClientListUnreadable, {removed.error()}}));
        if (*removed == 0)
            return fail(messageText(NumberedMessage{kMessageNoSuchMachine, {machine}}));
        printOut(*removed > 0 ? QStringLiteral("removed %1 rows of machine %2").arg(*removed).arg(machine)
                              : QStringLiteral("removed the rows of machine %1").arg(machine));
        return kExitDone;
    }

    Result<QList<ClientRow>> clients = readClients(sqlca);
    if (!clients)
        return fail(messageText(NumberedMessage{kMessageClientListUnreadable, {clients.error()}}));
    if (parser.isSet(kBehind))
        clients->removeIf([](const ClientRow& client) { return !client.behind; });
    if (parser.isSet(kJson)) {
        printOut(QString::fromUtf8(QJsonDocument(clientsJson(*clients)).toJson(QJsonDocument::Indented))
                     .trimmed());
        return kExitDone;
    }
    if (clients->isEmpty()) {
        printOut(parser.isSet(kBehind) ? QStringLiteral("no client is behind")
                                       : QStringLiteral("no client has recorded a version check yet"));
        return kExitDone;
    }
    printTable(*clients);
    return kExitDone;
}

} // namespace

const Command clientsCommand{
    "clients",
    "list the clients that checked for newer program files, newest check first, or forget a retired machine",
    "clients [connection options] [--json] [--behind] [--forget MACHINE]",
    declareClients,
    runClients,
};

} // namespace tarnlow::cli
