#pragma once

namespace tarnlow {

// Numbered messages of the ODBC test window; their texts live in section [MESSAGE] of every
// language file, each "%%" taking one parameter in order.
inline constexpr int kMsgTestConnectFailed = 10800;     // connect string (password hidden), driver's text
inline constexpr int kMsgTestStockFileRefused = 10801;  // path, what is wrong
inline constexpr int kMsgTestNotConnected = 10802;      // (none)
inline constexpr int kMsgTestUpdateCommitted = 10803;   // rows, written, failed, no row
inline constexpr int kMsgTestUpdateStopped = 10804;     // rows tried, rows
inline constexpr int kMsgTestUpdateFailed = 10805;      // rows committed, the reason
inline constexpr int kMsgTestUpdateStoppedEach = 10806; // rows tried, rows, rows committed
inline constexpr int kMsgTestSaveFailed = 10807;        // path, reason
inline constexpr int kMsgTestScanFailed = 10808;        // path, reason
inline constexpr int kMsgTestCloseWhileRunning = 10809; // (none); question Yes/No

} // namespace tarnlow
