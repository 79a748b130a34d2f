#include "app/system_tables_startup.h"

#include "lang/f_msgbox.h"
#include "schema/schema_bootstrap.h"

namespace tarnlow {

SystemTablesVerdict checkSystemTablesAtStartup(Transaction& sqlca, SettingsStore& settings) {
    const DropQuestion ask = [](const NumberedMessage& question, const QList<TableRows>&) {
        return askYesNo(question);
    };
    const SystemTablesOutcome outcome = ensureSystemTables(sqlca, settings, ask);
    SystemTablesVerdict verdict;
    switch (outcome.state) {
    case SystemTablesState::AlreadyInitialised:
    case SystemTablesState::Initialised:
        if (outcome.message)
            f_msgbox(*outcome.message);
        return verdict;
    case SystemTablesState::Unreadable:
        f_msgbox(NumberedMessage{kMessageTableUnreadableGoingOn, outcome.message->parameters});
        verdict.unreadableTable = outcome.unreadableTable;
        return verdict;
    case SystemTablesState::Declined:
        f_msgbox(NumberedMessage{kMessageReinitialisationDeclined,
                                 {messageText(outcome.reason), describeTableRows(outcome.droppedRows)}});
        break;
    case SystemTablesState::Failed:
        if (outcome.message)
            f_msgbox(*outcome.message);
        break;
    }
    verdict.goOn = false;
    return verdict;
}

} // namespace tarnlow
