#include "menus/of_enum.h"

#include "lang/language_lookup.h"
#include "menus/menu_item.h"

namespace tarnlow {

QString menuText(const QString& tag, const QString& currentText) {
    return lookup(QStringLiteral("MENU"), tag, currentText);
}

int of_enum(MenuItem& am_mune) {
    return of_enum(am_mune, menuText);
}

int of_enum(MenuItem& am_mune, const MenuTextLookup& lookup) {
    // A copy, so that a listener reacting to a caption change cannot alter the list being walked.
    const QList<MenuItem*> items = am_mune.items();
    for (MenuItem* item : items) {
        const QString key = item->tag().trimmed();
        if (key.isEmpty())
            continue;
        item->setText(lookup(key, item->text()));
        of_enum(*item, lookup);
    }
    return 1;
}

} // namespace tarnlow
