#pragma once

#include "db/transaction.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <algorithm>
#include <cstring>
#include <limits>

namespace tarnlow::test {

// The same bytes for the same size and seed, so that a value can be compared without keeping it.
inline QByteArray randomBytes(qint64 size, quint32 seed) {
    QByteArray bytes(static_cast<qsizetype>((size + 3) / 4 * 4), Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    bytes.truncate(static_cast<qsizetype>(size));
    return size == 0 ? QByteArray("") : bytes;
}

// Bytes that a database compresses well, as it does program files: runs of 64 bytes drawn from a
// few random ones, the same for the same size and seed.
inline QByteArray compressibleBytes(qint64 size, quint32 seed) {
    const QByteArray blocks = randomBytes(16 * 64, seed);
    QRandomGenerator generator(seed);
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(size));
    while (bytes.size() < size)
        bytes.append(blocks.constData() + generator.bounded(16) * 64,
                     static_cast<qsizetype>(std::min<qint64>(64, size - bytes.size())));
    return bytes;
}

// Hands out the bytes of an array piece by piece, 0 at the end; at most `step` bytes a piece, so
// that a reader is shown to follow a source that hands out less than it asked for.
class ByteSource {
public:
    explicit ByteSource(const QByteArray& bytes, qint64 step = std::numeric_limits<qint64>::max())
        : m_bytes(bytes)
        , m_step(step) {}
    BlobPieceSource source() {
        return [this](char* buffer, qint64 capacity) -> Result<qint64> {
            const qint64 length = std::min({capacity, m_step, m_bytes.size() - m_position});
            std::memcpy(buffer, m_bytes.constData() + m_position, static_cast<size_t>(length));
            m_position += length;
            return length;
        };
    }

private:
    const QByteArray& m_bytes;
    qint64 m_step;
    qint64 m_position = 0;
};

// Collects the pieces of a value read, and the size of the largest piece.
struct ByteSink {
    QByteArray bytes;
    qint64 largestPiece = 0;
    int pieces = 0;
    BlobPieceSink sink() {
        bytes.clear();
        largestPiece = 0;
        pieces = 0;
        return [this](QByteArrayView piece) -> Result<void> {
            bytes.append(piece);
            largestPiece = std::max<qint64>(largestPiece, piece.size());
            ++pieces;
            return {};
        };
    }
};

} // namespace tarnlow::test
