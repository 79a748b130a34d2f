#pragma once

#include "host/result.h"

#include <QJsonArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarnlow {

class Transaction;

// Numbered messages of the client list.
inline constexpr int kMessageClientListUnreadable = 10417; // reason

// One client as it recorded its last version check.
struct ClientRow {
    QString machine;
    QString host;
    QString user;
    QString folder;
    qint32 componentId = 0;
    QString version;
    QString lastCheck; // ISO 8601, UTC
    bool ok = true;
    std::optional<int> messageNumber;
    QString message;
    // Comp_ID is below the highest component stored in T_SYS_VER.
    bool behind = false;

    // "10405: text" for a failed check, empty for one that went well.
    QString messageLine() const;
};

// Every client, newest check first, with `behind` set against the highest stored component. An
// empty list while no client has recorded a check (the table does not exist yet).
Result<QList<ClientRow>> readClients(Transaction& sqlca);

// The rows of one machine removed, in a transaction of their own; how many there were.
Result<qint64> forgetMachine(Transaction& sqlca, const QString& machine);

// The clients as JSON objects with the keys machine, host, user, folder, comp_id, version,
// last_check, result ("ok" or "failed"), message (null after ok) and behind.
QJsonArray clientsJson(const QList<ClientRow>& clients);

} // namespace tarnlow
