#pragma once

#include <QString>

#include <functional>

namespace tarnlow {

class MenuItem;

// The caption of a menu item from its tag, the current caption being the default.
using MenuTextLookup = std::function<QString(const QString& tag, const QString& currentText)>;

// The lookup of_enum uses: section MENU of the current language file (gs_path + gs_lang), read
// at the moment of the call.
QString menuText(const QString& tag, const QString& currentText);

// Re-texts every item below am_mune, depth first: an item with an empty tag is skipped together
// with its sub-items; every other item takes its caption from the lookup under its tag, keeping
// the current caption when the key is missing, and then its sub-items are re-texted the same way.
// Returns 1.
int of_enum(MenuItem& am_mune);
int of_enum(MenuItem& am_mune, const MenuTextLookup& lookup);

} // namespace tarnlow
