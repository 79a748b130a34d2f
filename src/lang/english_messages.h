#pragma once

#include <QList>
#include <QString>

#include <utility>

namespace tarnlow {

// Every numbered message of the program with its English text, in number order. Printed texts
// fall back to these when the current language file lacks a message.
const QList<std::pair<int, QString>>& englishMessages();

// The English text of one message, empty when the program has no message of that number.
QString englishMessageText(int number);

} // namespace tarnlow
