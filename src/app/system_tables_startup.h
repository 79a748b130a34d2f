#pragma once

#include "app/tarnlow_as.h"

namespace tarnlow {

class SettingsStore;
class Transaction;

// Message 10207: re-initialising was declined, so start-up ends; why, what would be deleted and
// what to do. Message 10208: a table this login may not read; start-up goes on.
inline constexpr int kMessageReinitialisationDeclined = 10207;
inline constexpr int kMessageTableUnreadableGoingOn = 10208;

// The system-table check of start-up: ensureSystemTables with the question asked in a Yes/No
// message box (default No) and any message shown as a numbered message. A declined question ends
// start-up with a message that says why and how to go on; a table the login may not read is
// named once and start-up goes on, changing nothing.
SystemTablesVerdict checkSystemTablesAtStartup(Transaction& sqlca, SettingsStore& settings);

} // namespace tarnlow
