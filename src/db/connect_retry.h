#pragma once

#include <QString>

#include <chrono>
#include <functional>

namespace tarnlow {

enum class DbmsKind;
class Transaction;

// How long a connection is waited for while the server says it is busy, unless told otherwise.
inline constexpr int kDefaultConnectTimeoutSeconds = 120;

// True when a failed connection attempt is worth repeating because the server is busy: it has no
// connection slot free (PostgreSQL SQLSTATE 53300, SQL Server errors 17809, 10928, 10929, a
// pooler's client limit), cannot take connections now (57P03: starting up, shutting down,
// recovering), or refused or reset the TCP connection as it does while it restarts. A wrong
// password, an unknown database or login, an unknown host or any other failure is final.
// Qt's PostgreSQL driver gives no SQLSTATE for a failed login, so the server's text decides there.
bool isBusyFailure(DbmsKind kind, int nativeCode, const QString& text);

// One wait between two connection attempts, as reported to whoever shows it.
struct ConnectWait {
    int attempt = 0;                   // the attempt that failed as busy, from 1
    std::chrono::milliseconds delay{}; // until the next attempt
    std::chrono::milliseconds left{};  // until the deadline, counted before this wait
    QString reason;                    // the server's text of the failed attempt
};

struct ConnectRetry {
    // No attempt starts after this much time since the first one.
    std::chrono::milliseconds deadline{std::chrono::seconds(kDefaultConnectTimeoutSeconds)};
    // The wait after the first busy answer, doubled after each further one up to the longest.
    std::chrono::milliseconds firstDelay{200};
    std::chrono::milliseconds longestDelay{5000};
    // Called before each wait, on the thread that connects.
    std::function<void(const ConnectWait&)> waiting;
    // Looked at before every attempt and throughout each wait; true stops at once.
    std::function<bool()> cancelled;
};

// The wait after `busyAttempts` busy answers: the doubled delay, capped, of which a random part
// (`randomFraction` in [0, 1)) is taken off so that clients turned away together do not come back
// together. Between half and all of the doubled delay.
std::chrono::milliseconds retryDelay(int busyAttempts, const ConnectRetry& retry, double randomFraction);

// The text of a connection attempt given up because it was cancelled.
QString connectCancelledText();

// Connects `sqlca` with its connection fields. While the server answers busy, waits and tries
// again until the deadline; a final failure, the deadline or a cancel ends it with SQLCode
// negative and SQLErrText saying why (the server's text, and how long it was busy). Returns
// SQLCode.
int connectWhenFree(Transaction& sqlca, const ConnectRetry& retry);

} // namespace tarnlow
