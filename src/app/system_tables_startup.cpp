#include "app/system_tables_startup.h"

#include "host/message_box.h"
#include "lang/f_msgbox.h"
#include "schema/schema_bootstrap.h"

namespace tarnlow {

bool checkSystemTablesAtStartup(Transaction& sqlca, SettingsStore& settings) {
    const DropQuestion ask = [](const NumberedMessage& question, const QList<TableRows>&) {
        MessageBoxRequest request;
        request.title = messageTitle();
        request.text = fillPlaceholders(messageText(question.number), question.parameters);
        request.icon = MessageIcon::Question;
        request.buttons = MessageButtons::YesNo;
        request.defaultButton = 2;
        return showMessageBox(request) == 1;
    };
    const SystemTablesOutcome outcome = ensureSystemTables(sqlca, settings, ask);
    if (outcome.message)
        f_msgbox(*outcome.message);
    return outcome.state == SystemTablesState::AlreadyInitialised ||
           outcome.state == SystemTablesState::Initialised;
}

} // namespace tarnlow
