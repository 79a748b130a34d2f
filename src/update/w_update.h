#pragma once

#include "db/database_worker.h"
#include "update/import_engine.h"

#include <QDialog>

#include <cstdint>
#include <optional>

class QGridLayout;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tarnlow {

class Transaction;
class uo_std_st;

// The progress display of a package import. It stays invisible while the package is checked and
// its script runs, and shows the version, name and size of each file as the file is stored, with a
// bar over the bytes of the whole package. The import runs on a worker thread with a connection of
// its own, so the window keeps painting and answering; Cancel (also Escape and the title bar's
// close button) rolls the whole package back. It asks nothing; a failure is reported with a
// numbered message.
class w_update : public QDialog {
    Q_OBJECT

public:
    explicit w_update(QWidget* parent = nullptr);

    // Applies the package whose path is the whole command line. 1 when the package is applied;
    // no value when it was stored before, could not be applied (the operator has been told why) or
    // was cancelled (nothing of it is stored then).
    std::optional<int> open(Transaction& sqlca, const QString& commandLine);

    // The report of the last open(), for callers that want more than the result.
    const ImportReport& report() const { return m_report; }

    // Controls in creation order; the three captions follow the language file.
    QLabel* st_3 = nullptr;           // size of the file being stored
    uo_std_st* st_11 = nullptr;       // FILE_SIZE caption
    uo_std_st* st_10 = nullptr;       // FILE_NAME caption
    QLabel* st_5 = nullptr;           // name of the file being stored
    QLabel* st_2 = nullptr;           // version.component of the file being stored
    uo_std_st* st_1 = nullptr;        // FILE_VER caption
    QProgressBar* pb_bytes = nullptr; // bytes stored of the whole package
    QLabel* st_bytes = nullptr;       // the same in words, or "Stopping…"
    QPushButton* cb_cancel = nullptr;

    std::int16_t ii_comp_index = 0; // UPDATE_INDEX of the file being stored

    // True while the import runs.
    bool isImporting() const { return m_worker != nullptr && m_worker->isRunning(); }
    bool cancelRequested() const { return m_cancelRequested; }
    // Asks the running import to stop and roll back; the window closes once it has.
    void cancel();
    // Escape acts like Cancel while the import runs.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createProgressControls(QGridLayout* grid);
    void showFile(const ImportFile& file);
    void showBytes(qint64 done, qint64 total);
    ImportObserver progressToWindow(const DatabaseWorker::Job& job);

    ImportReport m_report;
    DatabaseWorker* m_worker = nullptr;
    bool m_cancelRequested = false;
};

} // namespace tarnlow
