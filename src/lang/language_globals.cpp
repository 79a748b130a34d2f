#include "lang/language_globals.h"

namespace tarnlow {

QString gs_lang;
QString gs_font;

} // namespace tarnlow
