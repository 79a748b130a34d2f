#include "db/database_error_text.h"

#include <QStringList>

namespace tarnlow {
namespace {

bool startsWithAny(const QString& line, std::initializer_list<const char*> prefixes) {
    for (const char* prefix : prefixes) {
        if (line.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

} // namespace

QString databaseErrorText(const QString& serverText, const QString& driverText) {
    QStringList kept;
    bool inNotice = false;
    for (const QString& raw : serverText.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        // A notice runs from its WARNING or NOTICE line through the DETAIL, HINT and CONTEXT lines
        // that belong to it; the next line of any other kind is the failure itself again.
        if (startsWithAny(line, {"WARNING:", "NOTICE:"})) {
            inNotice = true;
            continue;
        }
        if (inNotice && startsWithAny(line, {"DETAIL:", "HINT:", "CONTEXT:"}))
            continue;
        inNotice = false;
        // Lines keep their indentation, so that a caret still points into the line above it.
        qsizetype end = raw.size();
        while (end > 0 && raw.at(end - 1).isSpace())
            --end;
        const QString shown = raw.left(end);
        if (!kept.contains(shown))
            kept.append(shown);
    }
    if (!kept.isEmpty())
        return kept.join(QLatin1Char('\n'));
    // Nothing but notices: they are all there is to tell.
    if (const QString server = serverText.trimmed(); !server.isEmpty())
        return server;
    const QString driver = driverText.trimmed();
    return driver.isEmpty() ? QStringLiteral("unknown database error") : driver;
}

} // namespace tarnlow
