#pragma once

#include "host/numbered_message.h"
#include "host/output_file.h"
#include "host/result.h"
#include "update/package_format.h"
#include "update/package_messages.h"
#include "update/script_check.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace tarnlow {

// What goes into a package: the operator's version and component texts, up to four file paths
// (an empty path leaves its entry blank; entries keep their places) and the SQL script.
struct PackageSource {
    QString version = QStringLiteral("01");
    QString component = QStringLiteral("076");
    std::array<QString, kPackageEntryCount> files;
    QString sqlScript;
};

// One used entry as the header will describe it.
struct PlannedEntry {
    int index = 0; // 1..4
    QString path;
    QString name;
    qint64 start = 0;
    qint64 size = 0;
    qint64 end() const { return start + size - 1; }
};

// The header and the order of the data area, computed before anything is written.
struct PackagePlan {
    QByteArray header; // exactly 256 bytes
    QList<PlannedEntry> entries;
    QByteArray script;             // GBK bytes
    ScriptVerdicts scriptVerdicts; // what each database would make of the script
    qint64 scriptStart = 0;
    qint64 size = 0;
};

struct PackageWritten {
    QString path; // absolute
    qint64 size = 0;
    ScriptVerdicts scriptVerdicts; // what each database would make of the script
};

// Checks the source and computes the header: every given path must name a readable file, names and
// script must be GBK text, some database must run the script, the whole package must fit
// 99,999,999 bytes.
Result<PackagePlan, NumberedMessage> planPackage(const PackageSource& source);

struct PackageWriteOptions {
    bool replaceExisting = false;
    // Called after the header and after each block with the bytes written so far and the total.
    std::function<void(qint64 written, qint64 total)> progress;
    // Where the package is written; the usual temporary file renamed over the target when empty.
    OutputFileFactory outputFile;
};

// Builds the package at `outputPath`. The data goes to a temporary file in the same folder that
// replaces the target only when complete, so a failed build leaves any earlier file untouched.
// File contents move in blocks of at most 32,765 bytes. A file whose size changes while it is
// copied fails the build.
Result<PackageWritten, NumberedMessage> writePackage(const PackageSource& source, const QString& outputPath,
                                                     const PackageWriteOptions& options = {});

} // namespace tarnlow
