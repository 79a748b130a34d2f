#include "app/application_globals.h"

#include "db/data_store.h"

namespace tarnlow {

const QString gs_ver = QStringLiteral("1.5");
std::unique_ptr<DataStore> gds_menu;
std::uint32_t gl_mutex = 0;

} // namespace tarnlow
