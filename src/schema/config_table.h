#pragma once

#include "host/numbered_message.h"
#include "host/result.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnlow {

class Transaction;

// The configuration types the program itself reads.
inline const QString kConfigFirstRun = QStringLiteral("FR");   // the first-run marker, "N" once set up
inline const QString kConfigLibraries = QStringLiteral("LIB"); // the object libraries, comma-separated

// The widths of the columns of T_SYS_CONFIG.
inline constexpr int kConfigTypeWidth = 10;
inline constexpr int kConfigTextWidth = 255;

// Numbered messages of editing the configuration.
inline constexpr int kMessageConfigNotSaved = 10705;         // the reason (the server's text)
inline constexpr int kMessageConfigLibrariesMissing = 10706; // the program folder, the missing entries
inline constexpr int kMessageConfigRowRefused = 10707;       // row number
inline constexpr int kMessageConfigTypeTwice = 10708;        // the type
inline constexpr int kMessageConfigFirstRunKept = 10709;     // none
inline constexpr int kMessageConfigDiscardQuestion = 10710;  // none; Yes/No, default No

// One row of T_SYS_CONFIG as the editor shows it: the fixed-width texts without their trailing
// blanks; a NULL value or remark is an empty text.
struct ConfigRow {
    QString type;
    QString value;
    QString remark;
    bool operator==(const ConfigRow&) const = default;
};

// Every row, ordered by type; the server's text when the table cannot be read.
Result<QList<ConfigRow>> readConfigRows(Transaction& sqlca);

// The entries of a LIB value that name no file: each entry is a file name relative to the program
// folder, or an absolute path; blanks around entries and empty entries do not count.
QStringList missingLibraries(const QString& libraries, const QString& programFolder);

// Why the edited rows cannot be saved, no value when they can: a type that is empty or longer than
// 10 characters, a value or remark longer than 255, a type used twice (blanks and case aside), the
// first-run marker changed or deleted (the program keeps it), or a LIB value naming libraries that
// cannot be found in the program folder.
std::optional<NumberedMessage> configRowsProblem(const QList<ConfigRow>& original,
                                                 const QList<ConfigRow>& edited,
                                                 const QString& programFolder);

struct ConfigChanges {
    int added = 0;
    int changed = 0;
    int deleted = 0;
};

// Writes what differs between the rows as read and as edited, matched by type, in one transaction:
// the rows gone are deleted, the rows changed updated, the new rows inserted. On any failure
// (including a row that someone else deleted meanwhile) everything is rolled back and message 10705
// says why. The rows are not checked here; configRowsProblem does that first.
Result<ConfigChanges, NumberedMessage> saveConfigRows(Transaction& sqlca, const QList<ConfigRow>& original,
                                                      const QList<ConfigRow>& edited);

} // namespace tarnlow
