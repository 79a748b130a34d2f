#include "menus/d_menu.h"

namespace tarnlow {

DataStoreDefinition d_menu() {
    DataStoreDefinition definition;
    definition.name = QStringLiteral("d_menu");
    definition.selectText =
        QStringLiteral("SELECT t_sys_menu.item_order, t_sys_menu.item_index, "
                       "t_sys_menu.parent_index, t_sys_menu.item_name, t_sys_menu.lang_id, "
                       "t_sys_menu.object_name, t_sys_menu.children FROM t_sys_menu");
    definition.columns = {QStringLiteral("item_order"),   QStringLiteral("item_index"),
                          QStringLiteral("parent_index"), QStringLiteral("item_name"),
                          QStringLiteral("lang_id"),      QStringLiteral("object_name"),
                          QStringLiteral("children")};
    definition.sort = QStringLiteral("parent_index A, item_order A");
    return definition;
}

} // namespace tarnlow
