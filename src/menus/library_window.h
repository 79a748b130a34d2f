#pragma once

#include "host/object_library.h"

#include <QString>

class QObject;
class QWidget;

namespace tarnlow {

// Numbered messages of opening objects by name.
inline constexpr int kMessageObjectNotProvided = 10700; // the object's name, the libraries searched
inline constexpr int kMessageObjectNotWindow = 10703;   // the object's name, the library that made it

// A new window of the given name from the context's library search list, parented to
// context.parent as a window of its own. When no library provides the name, or what it provides
// is no window, a numbered message says so and the result is nullptr; nothing else happens.
QWidget* createLibraryWindow(const QString& name, const ObjectContext& context);

// The process-wide main window: the top-level window named "w_main" (a shown one before a hidden
// one), nullptr when none is open.
QObject* findMainWindow();

} // namespace tarnlow
