#pragma once

#include "tools/stock_update_engine.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>

namespace tarnlow {

class Transaction;

// The transaction object "ODBC", autocommit off, and the connect string in its further parameters.
void configureOdbcTransaction(Transaction& transaction, const QString& connectString);

// The connect string with the value of every PWD entry replaced by "***", for messages.
QString connectStringForDisplay(const QString& connectString);

// The connect string an edited display means: each PWD entry that still reads "***" gets back the
// value of the PWD entry at the same place in `previous`; everything else is taken as typed.
QString connectStringWithPasswords(const QString& shown, const QString& previous);

// A connection of its own to an ODBC data source, with the stock update running on a thread of
// its own so that a window stays responsive. The connection is opened, used and closed on that
// thread (a Qt SQL connection belongs to the thread that opened it). Results come back as signals
// on the thread that created the session. The program's own connection is never touched.
class StockUpdateSession : public QObject {
    Q_OBJECT

public:
    explicit StockUpdateSession(QObject* parent = nullptr);
    // Stops a run (rolled back), closes the connection and ends the thread.
    ~StockUpdateSession() override;

    // Connects (again) with the connect string; connectFinished tells the outcome.
    void connectTo(const QString& connectString);
    // Runs the stock update on the open connection; rowDone for each row, then runFinished.
    void start(const QList<StockRow>& rows);
    // Asks the running update to stop after its current row.
    void requestStop() { m_stop = true; }

    // Connecting or running.
    bool busy() const { return m_busy; }
    bool running() const { return m_running; }
    bool connected() const { return m_connected; }

Q_SIGNALS:
    void connectFinished(bool connected, const QString& driverText);
    void rowDone(const tarnlow::StockRowOutcome& outcome);
    void runFinished(const tarnlow::StockUpdateReport& report);

private:
    QThread m_thread;
    QObject* m_worker = nullptr;         // lives on m_thread
    std::unique_ptr<Transaction> m_odbc; // used only on m_thread
    std::atomic_bool m_stop = false;
    bool m_busy = false;
    bool m_running = false;
    bool m_connected = false;
};

} // namespace tarnlow
