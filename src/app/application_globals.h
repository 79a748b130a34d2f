#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace tarnlow {

class DataStore;

// Process-wide values of the application object, next to the language globals gs_path, gs_lang
// and gs_font (lang/language_globals.h).
extern const QString gs_ver;                // version text of the program, "1.5"
extern std::unique_ptr<DataStore> gds_menu; // every menu row, loaded at start-up for the main window
extern std::uint32_t gl_mutex;              // the single-instance lock's hold, 0 when not held

} // namespace tarnlow
