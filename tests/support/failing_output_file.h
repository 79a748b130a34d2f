#pragma once

#include "host/output_file.h"

#include <QString>

#include <memory>

namespace tarnlow::test {

// How the output files of a failingOutputFiles factory fail. Each file writes through the usual
// temporary file, so what a failure leaves on disk is what the real writer leaves.
struct OutputFailurePlan {
    // The disk fills up after this many bytes of one file (negative: never).
    qint64 bytesBeforeFull = -1;
    // The final step, flushing and renaming over the target, fails.
    bool failAtCommit = false;
    // Filled in as files are used.
    int filesOpened = 0;
    int filesCommitted = 0;
    qint64 bytesAccepted = 0;
};

inline const QString kDiskFullText = QStringLiteral("No space left on device");
inline const QString kCommitFailedText = QStringLiteral("Input/output error while the file was renamed");

OutputFileFactory failingOutputFiles(std::shared_ptr<OutputFailurePlan> plan);

} // namespace tarnlow::test
