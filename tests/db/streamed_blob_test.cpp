#include "support/database_backends.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

using namespace tarnlow;
using test::ConnectedBackendTest;

namespace {

class StreamedBlobTest : public ConnectedBackendTest {
protected:
    void SetUp() override {
        ConnectedBackendTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("CREATE TABLE t_piece (id int NOT NULL PRIMARY KEY, "
                                                        "name varchar(40) NULL, data %1 NULL)")
                                             .arg(database->binaryType())),
                  kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }

    static BlobLocation at(int id) {
        return BlobLocation{QStringLiteral("t_piece"), QStringLiteral("data"), {QStringLiteral("id")}, {id}};
    }

    // A source that hands out `bytes` in pieces of at most `step` bytes.
    static BlobPieceSource sourceOf(const QByteArray& bytes, qint64 step = kBlobPieceSize) {
        auto position = std::make_shared<qint64>(0);
        return [bytes, step, position](char* buffer, qint64 capacity) -> Result<qint64> {
            const qint64 length = std::min({capacity, step, bytes.size() - *position});
            std::memcpy(buffer, bytes.constData() + *position, static_cast<size_t>(length));
            *position += length;
            return length;
        };
    }

    int insert(int id, const QByteArray& bytes, qint64 announced, const BlobPieceSource& source) {
        return sqlca.insertBlobRow(QStringLiteral("t_piece"), {QStringLiteral("id"), QStringLiteral("name")},
                                   {id, QStringLiteral("n%1").arg(id)}, QStringLiteral("data"), announced,
                                   source ? source : sourceOf(bytes));
    }

    Result<BlobFound> readInto(int id, QByteArray& back, qint64* largestPiece = nullptr) {
        back = QByteArray("", 0);
        return sqlca.readBlob(at(id), [&](QByteArrayView piece) -> Result<void> {
            if (largestPiece)
                *largestPiece = std::max<qint64>(*largestPiece, piece.size());
            back.append(piece.data(), piece.size());
            return {};
        });
    }

    qint64 countRows() {
        const auto row = sqlca.selectInto(QStringLiteral("SELECT count(*) FROM t_piece"));
        return row ? row->first().toLongLong() : -1;
    }
};

TEST_P(StreamedBlobTest, ValuesAroundThePieceSizeRoundTripByteForByte) {
    QRandomGenerator generator(7);
    const QList<qint64> sizes{0, 1, kBlobPieceSize, kBlobPieceSize + 1, 3 * kBlobPieceSize + 17};
    for (int i = 0; i < sizes.size(); ++i) {
        QByteArray bytes(static_cast<qsizetype>(sizes.at(i)), '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(generator.bounded(256));
        // Small source pieces as well, so a source that hands out less than asked is followed.
        ASSERT_EQ(insert(i + 1, bytes, bytes.size(), sourceOf(bytes, 1000 + i)), kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
        EXPECT_EQ(sqlca.SQLNRows, 1);

        QByteArray back;
        qint64 largest = 0;
        const Result<BlobFound> found = readInto(i + 1, back, &largest);
        ASSERT_TRUE(found.ok()) << found.error().toStdString();
        EXPECT_EQ(*found, BlobFound::Value);
        EXPECT_EQ(back.size(), bytes.size());
        EXPECT_TRUE(back == bytes) << "size " << sizes.at(i);
        EXPECT_LE(largest, kBlobPieceSize);
        // The SQLite ODBC driver translates no ODBC scalar function for the size; there the size
        // (used only for progress totals) is an error that the download counts as 0.
        if (GetParam() == test::Backend::OdbcSqlite)
            continue;
        const Result<qint64> size = sqlca.blobSize(at(i + 1));
        ASSERT_TRUE(size.ok()) << size.error().toStdString();
        EXPECT_EQ(*size, sizes.at(i));
    }
}

TEST_P(StreamedBlobTest, NullAndMissingRowsAreToldApartAndTheSinkIsNotCalled) {
    ASSERT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_piece (id) VALUES (?)"), {1}), kSqlSuccess);
    int calls = 0;
    const BlobPieceSink counting = [&](QByteArrayView) -> Result<void> {
        ++calls;
        return {};
    };
    const Result<BlobFound> null = sqlca.readBlob(at(1), counting);
    ASSERT_TRUE(null.ok());
    EXPECT_EQ(*null, BlobFound::Null);
    const Result<BlobFound> missing = sqlca.readBlob(at(2), counting);
    ASSERT_TRUE(missing.ok());
    EXPECT_EQ(*missing, BlobFound::NoRow);
    EXPECT_EQ(calls, 0);
    if (GetParam() != test::Backend::OdbcSqlite) {
        const Result<qint64> nullSize = sqlca.blobSize(at(1));
        const Result<qint64> missingSize = sqlca.blobSize(at(2));
        ASSERT_TRUE(nullSize.ok() && missingSize.ok());
        EXPECT_EQ(*nullSize, 0);
        EXPECT_EQ(*missingSize, 0);
    }
}

TEST_P(StreamedBlobTest, SinkThatStopsEndsTheReadWithItsReason) {
    const QByteArray bytes(2 * kBlobPieceSize + 5, 'x');
    ASSERT_EQ(insert(1, bytes, bytes.size(), {}), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    int calls = 0;
    const Result<BlobFound> stopped = sqlca.readBlob(at(1), [&](QByteArrayView) -> Result<void> {
        ++calls;
        return Error{QStringLiteral("disk full")};
    });
    ASSERT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.error(), QStringLiteral("disk full"));
    EXPECT_EQ(calls, 1);
    // The connection is still usable.
    QByteArray back;
    ASSERT_TRUE(readInto(1, back).ok());
    EXPECT_TRUE(back == bytes);
}

TEST_P(StreamedBlobTest, SourceThatFailsOrMissesItsSizeInsertsNothing) {
    const QByteArray bytes(kBlobPieceSize + 10, 'y');
    // Fewer bytes than announced, more bytes than announced, and a source that fails midway.
    EXPECT_EQ(insert(1, bytes, bytes.size() + 1, {}), kSqlFailure);
    EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("ended after")));
    EXPECT_EQ(insert(2, bytes, bytes.size() - 1, {}), kSqlFailure);
    EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("more than")));
    int pieces = 0;
    EXPECT_EQ(insert(3, bytes, bytes.size(),
                     [&](char*, qint64) -> Result<qint64> {
                         if (++pieces == 2)
                             return Error{QStringLiteral("the package ended early")};
                         return qint64{100};
                     }),
              kSqlFailure);
    EXPECT_EQ(sqlca.SQLErrText, QStringLiteral("the package ended early"));
    EXPECT_EQ(countRows(), 0);
    // Names that are not plain identifiers never reach a statement.
    EXPECT_EQ(sqlca.insertBlobRow(QStringLiteral("t_piece; drop table t_piece"), {QStringLiteral("id")}, {9},
                                  QStringLiteral("data"), 0, sourceOf({})),
              kSqlFailure);
    BlobLocation hostile = at(1);
    hostile.column = QStringLiteral("data FROM t_piece --");
    EXPECT_FALSE(sqlca.readBlob(hostile, [](QByteArrayView) -> Result<void> { return {}; }).ok());
}

INSTANTIATE_TEST_SUITE_P(Backends, StreamedBlobTest,
                         ::testing::Values(test::Backend::Sqlite, test::Backend::Postgres,
                                           test::Backend::OdbcPostgres, test::Backend::OdbcSqlite),
                         test::backendTestName);

} // namespace
