#pragma once

#include <QString>

namespace tarnlow {

// Opens a web address or a file with the desktop's preferred program, as a shell open does.
// A target without a scheme is taken as a web address when it starts with "www." and as a local
// file otherwise. False when the desktop could not open it.
bool shellOpen(const QString& target);

} // namespace tarnlow
