// Binary values written and read in pieces through the transaction object, on every backend.

#include "db/blob_backends.h"
#include "support/blob_values.h"
#include "support/database_backends.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using test::Backend;
using test::ConnectedBackendTest;

namespace {

class BlobTransferTest : public ConnectedBackendTest {
protected:
    void SetUp() override {
        ConnectedBackendTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("CREATE TABLE t_item (id int NOT NULL PRIMARY KEY, "
                                                        "name char(20) NOT NULL, data %1 NULL)")
                                             .arg(database->binaryType())),
                  kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }

    bool isPostgres() const { return GetParam() == Backend::Postgres || GetParam() == Backend::OdbcPostgres; }

    int insert(int id, const QByteArray& bytes, const BlobPieceSource& source = {}) {
        test::ByteSource from(bytes);
        return sqlca.insertBlobRow(QStringLiteral("t_item"), {QStringLiteral("id"), QStringLiteral("name")},
                                   {id, QStringLiteral("item %1").arg(id)}, QStringLiteral("data"),
                                   bytes.size(), source ? source : from.source());
    }

    BlobLocation location(int id) const {
        return {QStringLiteral("t_item"), QStringLiteral("data"), {QStringLiteral("id")}, {id}};
    }

    qint64 countRows(Transaction& on) {
        const auto row = on.selectInto(QStringLiteral("SELECT count(*) FROM t_item"));
        EXPECT_TRUE(row.has_value()) << on.SQLErrText.toStdString();
        return row ? row->first().toLongLong() : -1;
    }

    // A second connection to the same database, as another program would have.
    std::unique_ptr<Transaction> secondConnection() {
        auto other = std::make_unique<Transaction>();
        database->configure(*other);
        EXPECT_EQ(other->connect(), kSqlSuccess) << other->SQLErrText.toStdString();
        return other;
    }

    // Ends this test's own server connection from a second one, as a server restart or an
    // operator's kill would.
    void killOwnConnection(Transaction& killer, qint64 pid) {
        EXPECT_EQ(killer.execute(QStringLiteral("SELECT pg_terminate_backend(?)"), {pid}), kSqlSuccess)
            << killer.SQLErrText.toStdString();
    }
};

TEST_P(BlobTransferTest, ValuesAroundEveryPieceSizeRoundTripByteForByteInPieces) {
    const QList<qint64> sizes{
        0, 1, kBlobPieceSize, kBlobPieceSize + 1, kPostgresBlobPieceSize, kPostgresBlobPieceSize + 1};
    for (int i = 0; i < sizes.size(); ++i) {
        const QByteArray bytes = test::randomBytes(sizes.at(i), static_cast<quint32>(i + 1));
        ASSERT_EQ(insert(i + 1, bytes), kSqlSuccess)
            << "size " << sizes.at(i) << ": " << sqlca.SQLErrText.toStdString();
        EXPECT_EQ(sqlca.SQLNRows, 1);
    }
    for (int i = 0; i < sizes.size(); ++i) {
        test::ByteSink sink;
        const auto found = sqlca.readBlob(location(i + 1), sink.sink());
        ASSERT_TRUE(found.ok()) << "size " << sizes.at(i) << ": " << found.error().toStdString();
        EXPECT_EQ(*found, BlobFound::Value);
        EXPECT_EQ(sink.bytes.size(), sizes.at(i));
        EXPECT_TRUE(sink.bytes == test::randomBytes(sizes.at(i), static_cast<quint32>(i + 1)))
            << "the value of " << sizes.at(i) << " bytes came back changed";
        EXPECT_LE(sink.largestPiece, kBlobPieceSize);
    }
    // The other columns of the row arrived as given, a char column padded as the database pads it.
    const auto name = sqlca.selectInto(QStringLiteral("SELECT name FROM t_item WHERE id = ?"), {3});
    ASSERT_TRUE(name.has_value()) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(name->first().toString().trimmed(), QStringLiteral("item 3"));
}

TEST_P(BlobTransferTest, NullAndMissingRowsAreToldApartFromEmptyValues) {
    ASSERT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_item (id, name) VALUES (?, ?)"),
                            {1, QStringLiteral("n")}),
              kSqlSuccess)
        << sqlca.SQLErrText.toStdString();
    ASSERT_EQ(insert(2, QByteArray("")), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    test::ByteSink sink;
    const auto null = sqlca.readBlob(location(1), sink.sink());
    ASSERT_TRUE(null.ok()) << null.error().toStdString();
    EXPECT_EQ(*null, BlobFound::Null);
    const auto missing = sqlca.readBlob(location(9), sink.sink());
    ASSERT_TRUE(missing.ok()) << missing.error().toStdString();
    EXPECT_EQ(*missing, BlobFound::NoRow);
    const auto empty = sqlca.readBlob(location(2), sink.sink());
    ASSERT_TRUE(empty.ok()) << empty.error().toStdString();
    EXPECT_EQ(*empty, BlobFound::Value);
    EXPECT_TRUE(sink.bytes.isEmpty());
}

TEST_P(BlobTransferTest, ASourceThatFailsOrRunsShortStopsTheWriteAndTheRollbackLeavesNoRow) {
    const QByteArray bytes = test::randomBytes(3 * kBlobPieceSize, 7);
    ASSERT_EQ(sqlca.begin(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    test::ByteSource from(bytes);
    int pieces = 0;
    const auto failing = [&](char* buffer, qint64 capacity) -> Result<qint64> {
        if (++pieces == 2)
            return Error{QStringLiteral("the package cannot be read any more")};
        return from.source()(buffer, capacity);
    };
    EXPECT_LT(insert(1, bytes, failing), 0);
    EXPECT_NE(sqlca.SQLErrText.indexOf(QStringLiteral("the package cannot be read any more")), -1)
        << sqlca.SQLErrText.toStdString();
    ASSERT_EQ(sqlca.rollback(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(countRows(sqlca), 0);

    // A source that ends before the size announced is a failure too, never a shorter value.
    const QByteArray half = bytes.left(bytes.size() / 2);
    test::ByteSource shorter(half);
    ASSERT_EQ(sqlca.begin(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_LT(sqlca.insertBlobRow(QStringLiteral("t_item"), {QStringLiteral("id"), QStringLiteral("name")},
                                  {2, QStringLiteral("short")}, QStringLiteral("data"), bytes.size(),
                                  shorter.source()),
              0);
    ASSERT_EQ(sqlca.rollback(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(countRows(sqlca), 0);
}

TEST_P(BlobTransferTest, ASinkThatFailsStopsTheReadWithItsReason) {
    ASSERT_EQ(insert(1, test::randomBytes(3 * kPostgresBlobPieceSize, 3)), kSqlSuccess)
        << sqlca.SQLErrText.toStdString();
    int pieces = 0;
    const auto full = [&](QByteArrayView) -> Result<void> {
        if (++pieces == 2)
            return Error{QStringLiteral("the disk is full")};
        return {};
    };
    const auto found = sqlca.readBlob(location(1), full);
    ASSERT_FALSE(found.ok());
    EXPECT_NE(found.error().indexOf(QStringLiteral("the disk is full")), -1) << found.error().toStdString();
    EXPECT_EQ(pieces, 2);
    // The connection is still usable afterwards.
    EXPECT_EQ(countRows(sqlca), 1);
}

TEST_P(BlobTransferTest, ATriggerThatRefusesTheValueFailsTheInsertAndLeavesNoRow) {
    if (GetParam() == Backend::OdbcSqlite || GetParam() == Backend::Sqlite) {
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral(
                      "CREATE TRIGGER t_item_size BEFORE INSERT ON t_item WHEN length(NEW.data) > 1000 "
                      "BEGIN SELECT RAISE(ABORT, 'the value is too large for this table'); END")),
                  kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    } else {
        ASSERT_EQ(
            sqlca.executeImmediate(QStringLiteral(
                "CREATE FUNCTION t_item_size() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                "IF length(NEW.data) > 1000 THEN RAISE EXCEPTION 'the value is too large for this table'; "
                "END IF; RETURN NEW; END $$; "
                "CREATE TRIGGER t_item_size BEFORE INSERT ON t_item FOR EACH ROW EXECUTE FUNCTION "
                "t_item_size()")),
            kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }
    ASSERT_EQ(sqlca.begin(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    ASSERT_EQ(insert(1, QByteArray(10, 'a')), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_LT(insert(2, test::randomBytes(2 * kBlobPieceSize + 5, 9)), 0);
    EXPECT_NE(sqlca.SQLErrText.indexOf(QStringLiteral("too large for this table")), -1)
        << sqlca.SQLErrText.toStdString();
    ASSERT_EQ(sqlca.rollback(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(countRows(sqlca), 0);
}

TEST_P(BlobTransferTest, AConnectionKilledInTheMiddleOfAValueFailsAndKeepsNothingOfIt) {
    if (!isPostgres())
        GTEST_SKIP() << "only a server connection can be ended from outside";
    const auto pid = sqlca.selectInto(QStringLiteral("SELECT pg_backend_pid()"));
    ASSERT_TRUE(pid.has_value()) << sqlca.SQLErrText.toStdString();
    std::unique_ptr<Transaction> killer = secondConnection();
    ASSERT_TRUE(killer->isConnected());

    const QByteArray bytes = test::randomBytes(4 * kBlobPieceSize, 5);
    ASSERT_EQ(insert(1, bytes), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    ASSERT_EQ(sqlca.begin(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    test::ByteSource from(bytes);
    int pieces = 0;
    const auto killing = [&](char* buffer, qint64 capacity) -> Result<qint64> {
        if (++pieces == 3)
            killOwnConnection(*killer, pid->first().toLongLong());
        return from.source()(buffer, capacity);
    };
    EXPECT_LT(insert(2, bytes, killing), 0);
    EXPECT_FALSE(sqlca.SQLErrText.isEmpty());
    sqlca.rollback();
    EXPECT_EQ(countRows(*killer), 1);
}

TEST_P(BlobTransferTest, AConnectionKilledWhileAValueIsReadFailsTheRead) {
    // The ODBC drivers fetch the whole row before the first piece is handed over.
    if (GetParam() != Backend::Postgres)
        GTEST_SKIP() << "only a read in slices from the server can be cut off in the middle";
    ASSERT_EQ(insert(1, test::randomBytes(3 * kPostgresBlobPieceSize, 4)), kSqlSuccess)
        << sqlca.SQLErrText.toStdString();
    const auto pid = sqlca.selectInto(QStringLiteral("SELECT pg_backend_pid()"));
    ASSERT_TRUE(pid.has_value()) << sqlca.SQLErrText.toStdString();
    std::unique_ptr<Transaction> killer = secondConnection();
    int pieces = 0;
    qint64 received = 0;
    const auto killing = [&](QByteArrayView piece) -> Result<void> {
        if (++pieces == 1)
            killOwnConnection(*killer, pid->first().toLongLong());
        received += piece.size();
        return {};
    };
    const auto found = sqlca.readBlob(location(1), killing);
    EXPECT_FALSE(found.ok());
    EXPECT_LT(received, 3 * kPostgresBlobPieceSize);
}

INSTANTIATE_TEST_SUITE_P(Backends, BlobTransferTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres, Backend::OdbcPostgres,
                                           Backend::OdbcSqlite),
                         test::backendTestName);

} // namespace
