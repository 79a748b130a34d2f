#include "db/blob_backends.h"

#include <QByteArray>
#include <QRegularExpression>

#include <algorithm>

namespace tarnlow {

bool isPlainSqlName(const QString& name) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return plain.match(name).hasMatch();
}

std::optional<BlobFailure> refuseUnplainNames(const QString& table, const QStringList& columns) {
    if (!isPlainSqlName(table))
        return BlobFailure{QStringLiteral("\"%1\" is not a plain table name").arg(table)};
    for (const QString& column : columns) {
        if (!isPlainSqlName(column))
            return BlobFailure{QStringLiteral("\"%1\" is not a plain column name").arg(column)};
    }
    return std::nullopt;
}

std::optional<BlobFailure> pumpBlobPieces(const BlobPieceSource& source, qint64 size,
                                          const BlobPiecePut& put) {
    QByteArray piece(static_cast<qsizetype>(std::min<qint64>(kBlobPieceSize, std::max<qint64>(size, 1))),
                     Qt::Uninitialized);
    qint64 sent = 0;
    while (sent < size) {
        const qint64 capacity = std::min<qint64>(piece.size(), size - sent);
        const Result<qint64> got = source(piece.data(), capacity);
        if (!got)
            return BlobFailure{got.error()};
        if (*got <= 0 || *got > capacity)
            return BlobFailure{
                QStringLiteral("the value ended after %1 of its %2 bytes").arg(sent).arg(size)};
        if (auto failed = put(piece.constData(), *got, sent))
            return failed;
        sent += *got;
    }
    // The source must be at its end now; more bytes than announced would be lost without a word.
    char extra = 0;
    const Result<qint64> rest = source(&extra, 1);
    if (!rest)
        return BlobFailure{rest.error()};
    if (*rest != 0)
        return BlobFailure{QStringLiteral("the value holds more than the %1 bytes announced").arg(size)};
    return std::nullopt;
}

} // namespace tarnlow
