#include "tools/control_scan.h"

#include <QFile>

#include <array>

namespace tarnlow {

Result<ControlScanReport> scanControlCharacters(const QString& path, const ControlScanProgress& progress,
                                                const std::atomic_bool* stop) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error{file.errorString()};
    ControlScanReport report;
    report.size = file.size();
    const qint64 loops =
        report.size <= kScanPieceSize ? 1 : (report.size + kScanPieceSize - 1) / kScanPieceSize;

    std::array<qint64, 32> first{}; // 0: not found yet
    qint64 read = 0;
    for (qint64 i = 1; i <= loops; ++i) {
        if (stop && stop->load())
            return Error{QStringLiteral("the scan was stopped")};
        const qint64 offset = (i - 1) * kScanPieceSize;
        if (!file.seek(offset))
            return Error{file.errorString()};
        const qint64 wanted = std::min(kScanPieceSize, report.size - offset);
        const QByteArray piece = file.read(wanted);
        if (file.error() != QFileDevice::NoError)
            return Error{file.errorString()};
        if (piece.size() < wanted)
            return Error{QStringLiteral("the file became shorter while it was read (%1 of %2 bytes)")
                             .arg(offset + piece.size())
                             .arg(report.size)};
        ++report.pieces;
        for (qsizetype j = 0; j < piece.size(); ++j) {
            const auto byte = static_cast<unsigned char>(piece.at(j));
            if (byte >= 1 && byte <= 31 && first[byte] == 0)
                first[byte] = offset + j + 1;
        }
        read += piece.size();
        if (progress)
            progress(read, report.size);
    }
    for (int code = 1; code <= 31; ++code) {
        if (first[static_cast<size_t>(code)] > 0)
            report.findings.append(ControlFinding{code, first[static_cast<size_t>(code)]});
    }
    return report;
}

} // namespace tarnlow
