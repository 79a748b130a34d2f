#pragma once

#include <QString>
#include <QStringList>

namespace tarnlow {

// A message the operator reads: its number in section [MESSAGE] of the language files and the
// parameters that fill its "%%" places in order. The text is looked up only when the message is
// shown or printed, so it follows the language chosen at that moment.
struct NumberedMessage {
    int number = 0;
    QStringList parameters;

    friend bool operator==(const NumberedMessage&, const NumberedMessage&) = default;
};

} // namespace tarnlow
