#pragma once

#include <QString>

namespace tarnlow {

class Transaction;

// The connection fields of a transaction object, copied so that a second object (on a thread of
// its own) connects to the same database in the same way.
struct ConnectionSettings {
    QString dbms;
    QString serverName;
    QString database;
    QString login;
    QString password;
    bool autoCommit = true;
    QString dbParm;

    static ConnectionSettings of(const Transaction& sqlca);
    void applyTo(Transaction& sqlca) const;
};

} // namespace tarnlow
