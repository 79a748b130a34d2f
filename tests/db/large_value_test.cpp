// A value of 99 MB, the size of the largest file an update package can carry, written and read in
// pieces on every backend.

#include "db/blob_backends.h"
#include "support/blob_values.h"
#include "support/database_backends.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

using namespace tarnlow;
using test::Backend;
using test::ConnectedBackendTest;

namespace {

constexpr qint64 kLargeValue = 99 * 1000 * 1000;

class LargeValueTest : public ConnectedBackendTest {};

TEST_P(LargeValueTest, NinetyNineMegabytesRoundTripByteForByteWithoutOnePieceHoldingThemAll) {
    ASSERT_EQ(sqlca.executeImmediate(
                  QStringLiteral("CREATE TABLE t_item (id int NOT NULL PRIMARY KEY, name char(20) NOT NULL, "
                                 "data %1 NULL)")
                      .arg(database->binaryType())),
              kSqlSuccess)
        << sqlca.SQLErrText.toStdString();
    QByteArray expectedHash;
    {
        const QByteArray bytes = test::randomBytes(kLargeValue, 99);
        expectedHash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
        test::ByteSource source(bytes);
        ASSERT_EQ(sqlca.begin(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
        ASSERT_EQ(sqlca.insertBlobRow(
                      QStringLiteral("t_item"), {QStringLiteral("id"), QStringLiteral("name")},
                      {1, QStringLiteral("large")}, QStringLiteral("data"), bytes.size(), source.source()),
                  kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
        ASSERT_EQ(sqlca.commit(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 received = 0;
    qint64 largest = 0;
    const auto found =
        sqlca.readBlob({QStringLiteral("t_item"), QStringLiteral("data"), {QStringLiteral("id")}, {1}},
                       [&](QByteArrayView piece) -> Result<void> {
                           hash.addData(piece);
                           received += piece.size();
                           largest = std::max<qint64>(largest, piece.size());
                           return {};
                       });
    ASSERT_TRUE(found.ok()) << found.error().toStdString();
    EXPECT_EQ(*found, BlobFound::Value);
    EXPECT_EQ(received, kLargeValue);
    EXPECT_EQ(hash.result(), expectedHash);
    EXPECT_LE(largest, kBlobPieceSize);
}

INSTANTIATE_TEST_SUITE_P(Backends, LargeValueTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres, Backend::OdbcPostgres,
                                           Backend::OdbcSqlite),
                         test::backendTestName);

} // namespace
