// Round trip of an update package with four large random files: the writer packs them, the reader
// hands every file back, and each byte is compared with its source. Prints the time of each phase
// and the growth of peak resident memory during it, which must stay within a few MB of one block:
// neither side may hold a whole file or the whole package.
//
//   package_round_trip_bench [FOLDER]   (default: a temporary folder, removed afterwards)

#include "lang/f_msgbox.h"
#include "update/package_reader.h"
#include "update/package_writer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

using namespace tarnlow;

namespace {

// Kilobytes of a field of /proc/self/status ("VmHWM", "VmRSS").
qint64 statusKilobytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts a new peak: the kernel sets the high-water mark back to the current resident size.
void resetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

bool writeRandomFile(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(static_cast<qsizetype>(kPackageBlockSize) / 4 * 4, Qt::Uninitialized);
    for (qint64 done = 0; done < size;) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        const qint64 length = std::min<qint64>(block.size(), size - done);
        if (file.write(block.constData(), length) != length)
            return false;
        done += length;
    }
    return true;
}

struct Phase {
    double seconds = 0;
    qint64 baseKilobytes = 0;
    qint64 peakKilobytes = 0;
    qint64 growth() const { return peakKilobytes - baseKilobytes; }
};

template <typename Work> Phase measure(Work work, bool& ok) {
    resetPeak();
    Phase phase;
    phase.baseKilobytes = statusKilobytes("VmRSS");
    QElapsedTimer timer;
    timer.start();
    ok = work();
    phase.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    phase.peakKilobytes = statusKilobytes("VmHWM");
    return phase;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTemporaryDir temporary;
    const QString folder = application.arguments().value(1, temporary.path());

    // Up to 30 MB each, the total just within what 8-digit positions address.
    const std::array<qint64, 4> sizes{30000000, 30000000, 30000000,
                                      kPackageMaxSize - kPackageHeaderSize - 90000000};
    PackageSource source;
    source.component = QStringLiteral("1");
    for (size_t i = 0; i < sizes.size(); ++i) {
        source.files.at(i) = folder + QStringLiteral("/file%1.bin").arg(i + 1);
        if (!writeRandomFile(source.files.at(i), sizes.at(i))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(source.files.at(i)));
            return 1;
        }
    }
    const QString packagePath = folder + QStringLiteral("/bench.fuf");
    QFile::remove(packagePath);

    bool ok = false;
    const Phase pack = measure(
        [&] {
            const Result<PackageWritten, NumberedMessage> written = writePackage(source, packagePath);
            if (!written)
                std::fprintf(stderr, "pack failed: %s\n", qPrintable(messageText(written.error())));
            return written.ok();
        },
        ok);
    if (!ok)
        return 1;

    qint64 compared = 0;
    const Phase read = measure(
        [&] {
            const Result<PackageReader> reader = PackageReader::open(packagePath);
            if (!reader || !reader->problems().isEmpty()) {
                std::fprintf(stderr, "the package does not read back sound\n");
                return false;
            }
            for (int index = 1; index <= kPackageEntryCount; ++index) {
                QFile original(source.files.at(static_cast<size_t>(index - 1)));
                if (!original.open(QIODevice::ReadOnly))
                    return false;
                QByteArray expected;
                const Result<void> status = reader->readEntry(index, [&](const QByteArray& block) {
                    expected = original.read(block.size());
                    if (expected != block)
                        return Result<void>(Error{
                            QStringLiteral("entry %1 differs from its source within package bytes after %2")
                                .arg(index)
                                .arg(compared)});
                    compared += block.size();
                    return Result<void>();
                });
                if (!status || !original.atEnd()) {
                    std::fprintf(stderr, "%s\n",
                                 qPrintable(status ? QStringLiteral("entry is short") : status.error()));
                    return false;
                }
            }
            return true;
        },
        ok);
    if (!ok)
        return 1;

    const qint64 packageSize = QFile(packagePath).size();
    std::printf("package round trip: 4 files (%lld, %lld, %lld, %lld bytes), package %lld bytes, %lld bytes "
                "compared\n",
                static_cast<long long>(sizes[0]), static_cast<long long>(sizes[1]),
                static_cast<long long>(sizes[2]), static_cast<long long>(sizes[3]),
                static_cast<long long>(packageSize), static_cast<long long>(compared));
    std::printf("  pack   %6.2f s   peak memory grew by %6.2f MB\n", pack.seconds, pack.growth() / 1024.0);
    std::printf("  read   %6.2f s   peak memory grew by %6.2f MB (reading the sources alongside)\n",
                read.seconds, read.growth() / 1024.0);
    std::printf("  one block is %.3f MB; the largest file %.1f MB\n", kPackageBlockSize / 1048576.0,
                30000000 / 1048576.0);
    // "Within a few MB of one block": allow the block plus 4 MB for allocator and library noise.
    const qint64 allowed = kPackageBlockSize / 1024 + 4 * 1024;
    if (pack.growth() > allowed || read.growth() > allowed) {
        std::printf("  FAILED: memory grew by more than %.2f MB\n", allowed / 1024.0);
        return 1;
    }
    std::printf("  memory within one block + 4 MB: ok\n");
    return 0;
}
