#pragma once

#include "host/result.h"

#include <QString>

namespace tarnlow::cli {

// Asks for a password on the controlling terminal with the prompt, without showing what is typed,
// and returns the line typed. Fails when the program has no terminal (a service, a pipeline
// without one) or the input ends before a line does.
// `source` names what is asked for in the reasons ("--password -"), `alternative` says how to give
// it without a terminal.
Result<QString> askPasswordOnTerminal(
    const QString& prompt, const QString& source = QStringLiteral("--password -"),
    const QString& alternative = QStringLiteral("use --password-file FILE or TARNLOW_AS_PASSWORD"));

} // namespace tarnlow::cli
