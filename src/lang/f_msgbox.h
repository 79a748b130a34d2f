#pragma once

#include "host/numbered_message.h"

#include <QString>
#include <QStringList>

namespace tarnlow {

// Numbered messages. The title is MESSAGE/TITLE of the current language file ("提示信息" when
// missing), the text MESSAGE/<the number in decimal> ("" when missing); both are read at every
// call. The box shows only title and text, with the message box's default icon and button, and
// the functions return the number of the button pressed.

// Replaces each "%%" of the text with the next parameter, searching again from the first character
// each time (so a parameter that brings its own "%%" receives the following parameter). Surplus
// parameters are dropped; placeholders left over stay "%%".
int f_msgbox(int ai_msgid, const QStringList& as_parm);
int f_msgbox(const NumberedMessage& message);

// Shows the text unchanged, any "%%" included.
int f_msgbox_s(int ai_msgid);

// The two further entry points of f_msgbox_s: they show nothing and return 1.
int f_msgbox_s_silent(int ai_msgid);
int f_msgbox_s_silent(int ai_msgid, const QStringList& as_parm);

// A numbered message as a question with the buttons Yes and No, No being the default (so that
// Enter, Escape or closing the box never agrees by accident): true when the operator answered Yes.
bool askYesNo(const NumberedMessage& question);

// The pieces of f_msgbox, for callers that print instead of showing a box.
QString messageTitle();
QString messageText(int ai_msgid);
QString fillPlaceholders(QString text, const QStringList& parameters);

// A numbered message as a line of text for printing or logging: the current language file's text,
// or the program's English text when the file lacks the message, with the parameters filled in.
// A number the program does not know gives "message N: " and the parameters.
QString messageText(const NumberedMessage& message);

} // namespace tarnlow
