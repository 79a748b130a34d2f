#pragma once

#include "db/database_worker.h"
#include "update/download_engine.h"

#include <QDialog>

#include <optional>

class QLabel;
class QPushButton;

namespace tarnlow {

class SettingsStore;
class Transaction;

// The version check window: compares Comp_ID with the stored components, writes every newer stored
// file into the program folder while a bar and the path of the file in hand show the progress, and
// closes itself. It stays invisible when there is nothing newer. The download runs on a worker
// thread with a connection of its own, so the window keeps painting and answering; Cancel (also
// Escape and the title bar's close button) stops it: the file being written is discarded, the
// files already in place stay, and Comp_ID records only the components whose files are all
// complete.
class w_ver : public QDialog {
    Q_OBJECT

public:
    // Layout in layout units.
    static constexpr int kWindowWidth = 1120;
    static constexpr int kWindowHeight = 576;
    static constexpr int kFrameX = 41;
    static constexpr int kFrameY = 40;
    static constexpr int kFrameWidth = 1015;
    static constexpr int kFrameHeight = 84;
    static constexpr int kBarX = 50;
    static constexpr int kBarY = 52;
    static constexpr int kBarHeight = 60;
    static constexpr int kStatusY = 160;
    static constexpr int kStatusHeight = 130;
    static constexpr int kBytesY = 296;
    static constexpr int kBytesHeight = 120;
    static constexpr int kCancelX = 745;
    static constexpr int kCancelY = 436;
    static constexpr int kCancelWidth = 311;
    static constexpr int kCancelHeight = 92;

    w_ver(Transaction& sqlca, SettingsStore& settings, QString programFolder, QWidget* parent = nullptr);
    ~w_ver() override;

    // The open processing: centres the window, lists the newer stored files and, when there are
    // any, shows itself and downloads them. Returns 1 when there was nothing to do, otherwise the
    // download's result (1 done, -1 stopped; the numbered message has been shown then). The window
    // is closed when this returns.
    int runVersionCheck();

    QLabel* st_8 = nullptr; // the bar, inside the frame; grows twice per row
    QLabel* st_7 = nullptr; // the frame of the bar
    QLabel* st_5 = nullptr; // the path of the file being written (wrappable after each separator)

    QLabel* st_bytes = nullptr; // bytes written of the whole download and of the file in hand
    QPushButton* cb_cancel = nullptr;

    // Whether a close is allowed; false until the download is over (a close before then cancels).
    bool ib_close = false;

    // True once Cancel was pressed during the download.
    bool cancelRequested() const { return m_cancelRequested; }
    // Asks the running download to stop; the window closes once it has.
    void cancel();

    // Width of the bar in layout units: the share done of the frame's width less 10.
    int barWidthUnits() const { return m_barUnits; }
    // Where the window placed itself, in layout units.
    QPoint positionUnits() const { return m_positionUnits; }
    // Why the last download stopped, if it did.
    const std::optional<NumberedMessage>& failure() const { return m_failure; }
    // Why the check could not be recorded in the client table, if it could not; shown in the status.
    const std::optional<NumberedMessage>& recordProblem() const { return m_recordProblem; }

    // Seam for tests: called after each progress step has been shown.
    void setProgressObserver(std::function<void(const DownloadProgress&)> observer) {
        m_observer = std::move(observer);
    }

    // Escape acts like Cancel until the download is over.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void centre();
    void placeBar();
    void setBarFraction(double fraction);
    void showProgress(const DownloadProgress& progress);
    void showBytes(const DownloadBytes& bytes);
    DownloadObserver progressToWindow(const DatabaseWorker::Job& job);
    void startDownload(const QList<VersionRow>& rows);
    void showRecordProblem(const std::optional<NumberedMessage>& problem);
    void finishDownload(const DownloadOutcome& outcome);

    Transaction& m_sqlca;
    SettingsStore& m_settings;
    QString m_programFolder;
    double m_dpiX = 96.0;
    double m_dpiY = 96.0;
    int m_barUnits = 0;
    qint64 m_bytesDone = 0;
    qint64 m_bytesTotal = 0;
    QPoint m_positionUnits;
    std::optional<NumberedMessage> m_failure;
    std::optional<NumberedMessage> m_recordProblem;
    std::function<void(const DownloadProgress&)> m_observer;
    DatabaseWorker* m_worker = nullptr;
    bool m_cancelRequested = false;
    int m_result = 1;
};

} // namespace tarnlow
