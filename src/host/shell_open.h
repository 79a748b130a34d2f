#pragma once

#include <QString>

#include <functional>

namespace tarnlow {

// Opens a web address or a file with the desktop's preferred program, as a shell open does.
// A target without a scheme is taken as a web address when it starts with "www." and as a local
// file otherwise. False when the desktop could not open it.
bool shellOpen(const QString& target);

// What shellOpen hands the target to. The desktop's handler is installed unless a test replaces
// it to see what was handed over; setShellOpenHandler returns the previous handler, and an empty
// handler puts the desktop's back.
using ShellOpenHandler = std::function<bool(const QString& target)>;
ShellOpenHandler setShellOpenHandler(ShellOpenHandler handler);

} // namespace tarnlow
