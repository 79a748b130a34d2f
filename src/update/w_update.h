#pragma once

#include "update/import_engine.h"

#include <QDialog>

#include <cstdint>
#include <optional>

class QLabel;

namespace tarnlow {

class Transaction;
class uo_std_st;

// The progress display of a package import. It stays invisible while the package is checked and
// its script runs, and shows the version, name and size of each file as the file is stored. It
// asks nothing; a failure is reported with a numbered message.
class w_update : public QDialog {
    Q_OBJECT

public:
    explicit w_update(QWidget* parent = nullptr);

    // Applies the package whose path is the whole command line. 1 when the package is applied;
    // no value when it was stored before or could not be applied (the operator has been told why).
    std::optional<int> open(Transaction& sqlca, const QString& commandLine);

    // The report of the last open(), for callers that want more than the result.
    const ImportReport& report() const { return m_report; }

    // Controls in creation order; the three captions follow the language file.
    QLabel* st_3 = nullptr;     // size of the file being stored
    uo_std_st* st_11 = nullptr; // FILE_SIZE caption
    uo_std_st* st_10 = nullptr; // FILE_NAME caption
    QLabel* st_5 = nullptr;     // name of the file being stored
    QLabel* st_2 = nullptr;     // version.component of the file being stored
    uo_std_st* st_1 = nullptr;  // FILE_VER caption

    std::int16_t ii_comp_index = 0; // UPDATE_INDEX of the file being stored

private:
    void showFile(const ImportFile& file);

    ImportReport m_report;
};

} // namespace tarnlow
