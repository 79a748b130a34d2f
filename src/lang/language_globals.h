#pragma once

#include "host/program_location.h" // gs_path

#include <QString>

namespace tarnlow {

// Process-wide language state, shared by start-up, the windows and every text lookup; the
// language files live in the program folder gs_path.
extern QString gs_lang; // file name of the current language file, relative to gs_path (may be null)
extern QString gs_font; // face name for language-aware controls

} // namespace tarnlow
