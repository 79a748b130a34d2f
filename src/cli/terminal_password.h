#pragma once

#include "host/result.h"

#include <QString>

namespace tarnlow::cli {

// Asks for a password on the controlling terminal with the prompt, without showing what is typed,
// and returns the line typed. Fails when the program has no terminal (a service, a pipeline
// without one) or the input ends before a line does.
Result<QString> askPasswordOnTerminal(const QString& prompt);

} // namespace tarnlow::cli
