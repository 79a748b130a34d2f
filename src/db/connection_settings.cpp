#include "db/connection_settings.h"

#include "db/transaction.h"

namespace tarnlow {

ConnectionSettings ConnectionSettings::of(const Transaction& sqlca) {
    return ConnectionSettings{sqlca.DBMS,    sqlca.ServerName, sqlca.Database, sqlca.LogID,
                              sqlca.LogPass, sqlca.AutoCommit, sqlca.DBParm};
}

void ConnectionSettings::applyTo(Transaction& sqlca) const {
    sqlca.DBMS = dbms;
    sqlca.ServerName = serverName;
    sqlca.Database = database;
    sqlca.LogID = login;
    sqlca.LogPass = password;
    sqlca.AutoCommit = autoCommit;
    sqlca.DBParm = dbParm;
}

} // namespace tarnlow
