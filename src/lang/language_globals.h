#pragma once

#include <QString>

namespace tarnlow {

// Process-wide language state, shared by start-up, the windows and every text lookup.
extern QString gs_path; // program folder, always ending in the platform's separator
extern QString gs_lang; // file name of the current language file, relative to gs_path (may be null)
extern QString gs_font; // face name for language-aware controls

} // namespace tarnlow
