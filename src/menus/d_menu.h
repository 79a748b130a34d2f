#pragma once

#include "db/data_store.h"

namespace tarnlow {

// The menu list: the seven menu columns of every row of t_sys_menu (open_parm is not selected),
// sorted by parent_index, then item_order.
DataStoreDefinition d_menu();

} // namespace tarnlow
