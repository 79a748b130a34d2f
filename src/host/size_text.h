#pragma once

#include <QString>

namespace tarnlow {

// A size for people: "312 bytes", "820.0 KB", "1.5 MB" (binary units, one decimal from a
// kilobyte up).
QString sizeText(qint64 bytes);

} // namespace tarnlow
