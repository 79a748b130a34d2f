#pragma once

namespace tarnlow {

class SettingsStore;
class Transaction;

// The system-table check of start-up: ensureSystemTables with the question asked in a Yes/No
// message box (default No) and any message shown as a numbered message. False when start-up must
// end.
bool checkSystemTablesAtStartup(Transaction& sqlca, SettingsStore& settings);

} // namespace tarnlow
