// Binary values written and read in pieces through the transaction object, on every backend.

#include "db/blob_backends.h"
#include "support/blob_values.h"
#include "support/database_backends.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

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
    int insert(int id, const QByteArray& bytes, test::ByteSource&& from) {
        return insert(id, bytes, from.source());
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
    // Sizes around both piece sizes, from a source that hands out what is asked and, for the
    // smaller ones, from one that hands out less, which the writer must follow; and values that
    // the server stores compressed, small and in many slices, which it reads another way.
    constexpr qint64 kAsAsked = std::numeric_limits<qint64>::max();
    const struct {
        qint64 size;
        qint64 sourcePiece;
        bool compressible = false;
    } values[] = {{0, kAsAsked},
                  {1, kAsAsked},
                  {kBlobPieceSize, kAsAsked},
                  {kBlobPieceSize + 1, kAsAsked},
                  {kPostgresBlobPieceSize, kAsAsked},
                  {kPostgresBlobPieceSize + 1, kAsAsked},
                  {0, 1000},
                  {1, 1001},
                  {kBlobPieceSize, 1002},
                  {kBlobPieceSize + 1, 1003},
                  {3 * kBlobPieceSize + 17, 1004},
                  {3000, kAsAsked, true},
                  {4 * 1024 * 1024, kAsAsked, true},
                  {3 * kPostgresBlobPieceSize + 17, kAsAsked, true}};
    const auto valueBytes = [](const auto& value, int id) {
        return value.compressible ? test::compressibleBytes(value.size, static_cast<quint32>(id))
                                  : test::randomBytes(value.size, static_cast<quint32>(id));
    };
    int id = 0;
    for (const auto& value : values) {
        const QByteArray bytes = valueBytes(value, ++id);
        ASSERT_EQ(insert(id, bytes, test::ByteSource(bytes, value.sourcePiece)), kSqlSuccess)
            << "size " << value.size << ": " << sqlca.SQLErrText.toStdString();
        EXPECT_EQ(sqlca.SQLNRows, 1);
    }
    id = 0;
    for (const auto& value : values) {
        ++id;
        SCOPED_TRACE("size " + std::to_string(value.size) + ", source pieces of at most " +
                     std::to_string(value.sourcePiece));
        test::ByteSink sink;
        const auto found = sqlca.readBlob(location(id), sink.sink());
        ASSERT_TRUE(found.ok()) << found.error().toStdString();
        EXPECT_EQ(*found, BlobFound::Value);
        EXPECT_EQ(sink.bytes.size(), value.size);
        EXPECT_TRUE(sink.bytes == valueBytes(value, id)) << "the value came back changed";
        if (GetParam() == Backend::Postgres && value.compressible) {
            const auto stored = sqlca.selectInto(
                QStringLiteral("SELECT pg_column_size(data) < octet_length(data) FROM t_item WHERE id = ?"),
                {id});
            ASSERT_TRUE(stored.has_value()) << sqlca.SQLErrText.toStdString();
            EXPECT_TRUE(stored->first().toBool()) << "the server did not store the value compressed";
        }
        EXPECT_LE(sink.largestPiece, kBlobPieceSize);
        // The SQLite ODBC driver translates no ODBC scalar function for the size; there the size
        // (used only for progress totals) is an error that the download counts as 0.
        if (GetParam() != Backend::OdbcSqlite) {
            const Result<qint64> stored = sqlca.blobSize(location(id));
            ASSERT_TRUE(stored.ok()) << stored.error().toStdString();
            EXPECT_EQ(*stored, value.size);
        }
    }
    // The other columns of the row arrived as given, a char column padded as the database pads it.
    const auto name = sqlca.selectInto(QStringLiteral("SELECT name FROM t_item WHERE id = ?"), {3});
    ASSERT_TRUE(name.has_value()) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(name->first().toString().trimmed(), QStringLiteral("item 3"));
}

TEST_P(BlobTransferTest, NullAndMissingRowsAreToldApartFromEmptyValuesAndTheSinkIsNotCalled) {
    ASSERT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_item (id, name) VALUES (?, ?)"),
                            {1, QStringLiteral("n")}),
              kSqlSuccess)
        << sqlca.SQLErrText.toStdString();
    ASSERT_EQ(insert(2, QByteArray("")), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    const struct {
        int id;
        BlobFound found;
    } rows[] = {{1, BlobFound::Null}, {9, BlobFound::NoRow}, {2, BlobFound::Value}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        test::ByteSink sink;
        const auto found = sqlca.readBlob(location(row.id), sink.sink());
        ASSERT_TRUE(found.ok()) << found.error().toStdString();
        EXPECT_EQ(*found, row.found);
        EXPECT_TRUE(sink.bytes.isEmpty());
        if (row.found != BlobFound::Value) {
            EXPECT_EQ(sink.pieces, 0);
        }
        if (GetParam() != Backend::OdbcSqlite) {
            const Result<qint64> size = sqlca.blobSize(location(row.id));
            ASSERT_TRUE(size.ok()) << size.error().toStdString();
            EXPECT_EQ(*size, 0);
        }
    }
}

// A source that fails, ends before the size it announced or goes on past it stops the write with
// its reason, never a shorter or longer value: on its own no row is left, and inside a
// transaction the rollback leaves none.
TEST_P(BlobTransferTest, ASourceThatFailsOrMissesItsSizeStopsTheWriteAndLeavesNoRow) {
    const QByteArray bytes = test::randomBytes(3 * kBlobPieceSize, 7);
    enum class Fault { FailsAtTheSecondPiece, EndsEarly, GoesOnPastItsSize };
    const struct {
        Fault fault;
        const char* reason;
    } faults[] = {{Fault::FailsAtTheSecondPiece, "the package cannot be read any more"},
                  {Fault::EndsEarly, "ended after"},
                  {Fault::GoesOnPastItsSize, "more than"}};
    int id = 0;
    for (const bool inTransaction : {false, true}) {
        for (const auto& fault : faults) {
            SCOPED_TRACE(std::string(fault.reason) + (inTransaction ? ", in a transaction" : ""));
            ++id;
            if (inTransaction) {
                ASSERT_EQ(sqlca.begin(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
            }
            test::ByteSource from(bytes);
            int pieces = 0;
            const BlobPieceSource failing = [&](char* buffer, qint64 capacity) -> Result<qint64> {
                if (++pieces == 2)
                    return Error{QString::fromLatin1(fault.reason)};
                return from.source()(buffer, capacity);
            };
            const qint64 announced = fault.fault == Fault::EndsEarly           ? bytes.size() + 1
                                     : fault.fault == Fault::GoesOnPastItsSize ? bytes.size() - 1
                                                                               : bytes.size();
            EXPECT_LT(
                sqlca.insertBlobRow(QStringLiteral("t_item"), {QStringLiteral("id"), QStringLiteral("name")},
                                    {id, QStringLiteral("faulty")}, QStringLiteral("data"), announced,
                                    fault.fault == Fault::FailsAtTheSecondPiece ? failing : from.source()),
                0);
            EXPECT_NE(sqlca.SQLErrText.indexOf(QLatin1String(fault.reason)), -1)
                << sqlca.SQLErrText.toStdString();
            if (inTransaction) {
                ASSERT_EQ(sqlca.rollback(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
            }
            const auto left =
                sqlca.selectInto(QStringLiteral("SELECT count(*) FROM t_item WHERE id = ?"), {id});
            ASSERT_TRUE(left.has_value()) << sqlca.SQLErrText.toStdString();
            EXPECT_EQ(left->first().toInt(), 0);
        }
    }
}

// A sink that fails stops the read at once with its reason, and the connection stays usable,
// also when the server was still sending the rest of a compressed value.
TEST_P(BlobTransferTest, ASinkThatFailsStopsTheReadWithItsReason) {
    const struct {
        qint64 size;
        int failingPiece;
        bool compressible = false;
    } reads[] = {
        {2 * kBlobPieceSize + 5, 1}, {3 * kPostgresBlobPieceSize, 2}, {3 * kPostgresBlobPieceSize, 2, true}};
    int id = 0;
    for (const auto& read : reads) {
        SCOPED_TRACE(read.failingPiece);
        ASSERT_EQ(insert(++id, read.compressible ? test::compressibleBytes(read.size, 3)
                                                 : test::randomBytes(read.size, 3)),
                  kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
        int pieces = 0;
        const auto full = [&](QByteArrayView) -> Result<void> {
            if (++pieces == read.failingPiece)
                return Error{QStringLiteral("the disk is full")};
            return {};
        };
        const auto found = sqlca.readBlob(location(id), full);
        ASSERT_FALSE(found.ok());
        EXPECT_EQ(found.error(), QStringLiteral("the disk is full"));
        EXPECT_EQ(pieces, read.failingPiece);
        EXPECT_EQ(countRows(sqlca), id);
    }
}

// Table and column names that are not plain identifiers never reach a statement.
TEST_P(BlobTransferTest, NamesThatAreNotPlainIdentifiersAreRefused) {
    const QByteArray none;
    test::ByteSource empty(none);
    EXPECT_EQ(sqlca.insertBlobRow(QStringLiteral("t_item; drop table t_item"), {QStringLiteral("id")}, {9},
                                  QStringLiteral("data"), 0, empty.source()),
              kSqlFailure);
    BlobLocation hostile = location(1);
    hostile.column = QStringLiteral("data FROM t_item --");
    EXPECT_FALSE(sqlca.readBlob(hostile, [](QByteArrayView) -> Result<void> { return {}; }).ok());
    EXPECT_EQ(countRows(sqlca), 0);
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
