#include "db/connect_retry.h"

#include "db/transaction.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <thread>

namespace tarnlow {
namespace {

using std::chrono::milliseconds;

bool containsAny(const QString& text, std::initializer_list<const char*> parts) {
    for (const char* part : parts) {
        if (text.contains(QLatin1String(part), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Failures that are never the server being busy, whatever else the text holds.
bool isFinalFailure(const QString& text) {
    return containsAny(text, {"password authentication failed", "authentication failed", "Login failed",
                              "does not exist", "could not translate host name", "Name or service not known",
                              "no pg_hba.conf entry", "permission denied"});
}

// The server's own words for "no connection slot free now" and "not accepting connections now".
bool saysPostgresBusy(const QString& text) {
    return containsAny(text, {
                                 // 53300
                                 "too many clients already",
                                 "remaining connection slots are reserved",
                                 "too many connections for",
                                 // 57P03
                                 "the database system is starting up",
                                 "the database system is shutting down",
                                 "the database system is in recovery mode",
                                 "the database system is not yet accepting connections",
                                 "the database system is not accepting connections",
                                 // PgBouncer's limits and its lost server
                                 "no more connections allowed",
                                 "pgbouncer cannot connect to server",
                             });
}

// A TCP connection refused or dropped at once: the server is restarting (or not there yet).
bool saysRefusedOrReset(const QString& text) {
    return containsAny(text, {"Connection refused", "Connection reset by peer",
                              "server closed the connection unexpectedly"});
}

bool isSqlServerBusyCode(int code) {
    // 17809: the user connection limit is reached; 10928, 10929: a resource limit is reached.
    return code == 17809 || code == 10928 || code == 10929;
}

bool waitUnlessCancelled(milliseconds delay, const std::function<bool()>& cancelled) {
    constexpr milliseconds slice(20);
    QElapsedTimer clock;
    clock.start();
    while (true) {
        if (cancelled && cancelled())
            return false;
        const milliseconds left = delay - milliseconds(clock.elapsed());
        if (left <= milliseconds(0))
            return true;
        std::this_thread::sleep_for(std::min(left, slice));
    }
}

} // namespace

bool isBusyFailure(DbmsKind kind, int nativeCode, const QString& text) {
    if (isFinalFailure(text))
        return false;
    switch (kind) {
    case DbmsKind::SQLite:
        return false;
    case DbmsKind::PostgreSQL:
        return nativeCode == 53300 || saysPostgresBusy(text) || saysRefusedOrReset(text);
    case DbmsKind::SqlServer:
        return isSqlServerBusyCode(nativeCode) || saysRefusedOrReset(text);
    case DbmsKind::Odbc:
        // The data source may stand for either server.
        return isSqlServerBusyCode(nativeCode) || saysPostgresBusy(text) || saysRefusedOrReset(text);
    }
    return false;
}

milliseconds retryDelay(int busyAttempts, const ConnectRetry& retry, double randomFraction) {
    milliseconds doubled = retry.firstDelay;
    for (int i = 1; i < busyAttempts && doubled < retry.longestDelay; ++i)
        doubled *= 2;
    doubled = std::min(doubled, retry.longestDelay);
    const double fraction = std::clamp(randomFraction, 0.0, 1.0);
    return doubled -
           milliseconds(static_cast<milliseconds::rep>(static_cast<double>(doubled.count()) * fraction / 2));
}

QString connectCancelledText() {
    return QStringLiteral("the connection attempt was cancelled");
}

int connectWhenFree(Transaction& sqlca, const ConnectRetry& retry) {
    QElapsedTimer clock;
    clock.start();
    const auto cancelledResult = [&sqlca] {
        sqlca.SQLCode = kSqlFailure;
        sqlca.SQLErrText = connectCancelledText();
        sqlca.SQLDBCode = 0;
        return sqlca.SQLCode;
    };
    for (int attempt = 1;; ++attempt) {
        if (retry.cancelled && retry.cancelled())
            return cancelledResult();
        if (sqlca.connect() == kSqlSuccess)
            return sqlca.SQLCode;
        if (!isBusyFailure(sqlca.kind(), sqlca.SQLDBCode, sqlca.SQLErrText))
            return sqlca.SQLCode;
        const milliseconds left = retry.deadline - milliseconds(clock.elapsed());
        if (left <= milliseconds(0)) {
            sqlca.SQLErrText += QStringLiteral("\n(the server was busy at each of %1 attempts within %2 s)")
                                    .arg(attempt)
                                    .arg(static_cast<double>(clock.elapsed()) / 1000.0, 0, 'f', 1);
            return sqlca.SQLCode;
        }
        const milliseconds delay =
            std::min(retryDelay(attempt, retry, QRandomGenerator::global()->generateDouble()), left);
        if (retry.waiting)
            retry.waiting(ConnectWait{attempt, delay, left, sqlca.SQLErrText});
        if (!waitUnlessCancelled(delay, retry.cancelled))
            return cancelledResult();
    }
}

} // namespace tarnlow
