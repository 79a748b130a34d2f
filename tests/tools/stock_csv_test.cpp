#include "db/connection_parameters.h"
#include "db/transaction.h"
#include "support/test_environment.h"
#include "tools/failed_rows_file.h"
#include "tools/stock_csv.h"
#include "tools/stock_update_session.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tarnlow;
using tarnlow::test::ScratchFolder;

namespace {

class StockFile : public ::testing::Test {
protected:
    Result<QList<StockRow>> read(const QByteArray& bytes) {
        EXPECT_TRUE(scratch.write(QStringLiteral("stock.csv"), bytes));
        return readStockFile(scratch.file(QStringLiteral("stock.csv")));
    }
    QString error(const QByteArray& bytes) {
        const Result<QList<StockRow>> rows = read(bytes);
        EXPECT_FALSE(rows.ok());
        return rows ? QString() : rows.error();
    }
    ScratchFolder scratch;
};

} // namespace

TEST_F(StockFile, ColumnsInAnyOrderAmongOthersWithQuotedFieldsAndLineEnds) {
    const auto rows = read("note,Strivmst_Clos_Stk_Qty , strivmst_short_sku\r\n"
                           "x,12,A1\r\n"
                           "\r\n"
                           "\"two\nlines, and a \"\"quote\"\"\", -3.5 ,\"B,2\"\n"
                           "y,1e3,  C3  ");
    ASSERT_TRUE(rows.ok()) << rows.error().toStdString();
    ASSERT_EQ(rows->size(), 3);
    EXPECT_EQ(rows->at(0).shortSku, QStringLiteral("A1"));
    EXPECT_EQ(rows->at(0).quantity, 12.0);
    EXPECT_EQ(rows->at(0).line, 2);
    EXPECT_EQ(rows->at(1).shortSku, QStringLiteral("B,2"));
    EXPECT_EQ(rows->at(1).quantity, -3.5);
    EXPECT_EQ(rows->at(1).line, 4);
    EXPECT_EQ(rows->at(2).shortSku, QStringLiteral("C3"));
    EXPECT_EQ(rows->at(2).quantity, 1000.0);
    EXPECT_EQ(rows->at(2).line, 6);
}

TEST_F(StockFile, Utf8WithByteOrderMarkAndGbkAreBothRead) {
    const auto utf8 = read("\xEF\xBB\xBFstrivmst_short_sku,strivmst_clos_stk_qty\n\xE5\xBA\x93,1\n");
    ASSERT_TRUE(utf8.ok()) << utf8.error().toStdString();
    EXPECT_EQ(utf8->at(0).shortSku, QStringLiteral("库"));
    const auto gbk = read("strivmst_short_sku,strivmst_clos_stk_qty\n\xBF\xE2,2\n");
    ASSERT_TRUE(gbk.ok()) << gbk.error().toStdString();
    EXPECT_EQ(gbk->at(0).shortSku, QStringLiteral("库"));
}

TEST_F(StockFile, EmptyFileAndHeaderAloneHaveNoRows) {
    const auto empty = read("");
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty->isEmpty());
    const auto header = read("strivmst_short_sku,strivmst_clos_stk_qty\n\n");
    ASSERT_TRUE(header.ok());
    EXPECT_TRUE(header->isEmpty());
}

TEST_F(StockFile, BadInputNamesWhatAndWhere) {
    EXPECT_EQ(error("sku,strivmst_clos_stk_qty\nA,1\n"),
              QStringLiteral("the header row (line 1) names no column strivmst_short_sku"));
    EXPECT_EQ(error("strivmst_short_sku,strivmst_clos_stk_qty\nA,1\nB,12 pieces\n"),
              QStringLiteral("line 3: the strivmst_clos_stk_qty \"12 pieces\" is not a number"));
    EXPECT_EQ(error("strivmst_short_sku,strivmst_clos_stk_qty\nA,\n"),
              QStringLiteral("line 2: the strivmst_clos_stk_qty \"\" is not a number"));
    EXPECT_EQ(error("strivmst_short_sku,strivmst_clos_stk_qty\nA,1,5\n"),
              QStringLiteral("line 2 has 3 fields, more than the 2 columns the header row names"));
    EXPECT_TRUE(read("strivmst_short_sku,strivmst_clos_stk_qty\nA,1, \n").ok()); // empty extras are harmless
    EXPECT_EQ(error("strivmst_short_sku,strivmst_clos_stk_qty\nA,nan\n"),
              QStringLiteral("line 2: the strivmst_clos_stk_qty \"nan\" is not a number"));
    EXPECT_EQ(error("strivmst_short_sku,strivmst_clos_stk_qty\n ,1\n"),
              QStringLiteral("line 2 has an empty strivmst_short_sku"));
    EXPECT_EQ(error("strivmst_clos_stk_qty,strivmst_short_sku\n1\n"),
              QStringLiteral("line 2 has 1 fields, too few to reach the column strivmst_short_sku"));
    EXPECT_EQ(error("strivmst_short_sku,strivmst_clos_stk_qty\n\"A,1\nB,2\n"),
              QStringLiteral("the quoted field that starts on line 2 is never closed"));
    EXPECT_TRUE(
        error("strivmst_short_sku,strivmst_clos_stk_qty\n\xFF\xFF,1\n").contains(QStringLiteral("GBK")));
    EXPECT_FALSE(readStockFile(scratch.file(QStringLiteral("missing.csv"))).ok());
}

TEST_F(StockFile, FailedRowsFileQuotesWhatNeedsItAndReadsBack) {
    const QString path = scratch.file(QStringLiteral("failed.csv"));
    ASSERT_TRUE(writeFailedRowsFile(path, {}).ok());
    EXPECT_EQ(scratch.read(QStringLiteral("failed.csv")), QByteArray("file_write,status,message\n"));

    StockRowOutcome failed{2, 3, QStringLiteral("B,2"), StockRowStatus::Failed,
                           QStringLiteral("ERROR: new row violates \"check\"\nDETAIL: x")};
    StockRowOutcome noRow{4, 5, QStringLiteral("库"), StockRowStatus::NoRow, QString()};
    ASSERT_TRUE(writeFailedRowsFile(path, {failed, noRow}).ok());
    const auto records = parseCsv(QString::fromUtf8(scratch.read(QStringLiteral("failed.csv"))));
    ASSERT_TRUE(records.ok());
    ASSERT_EQ(records->size(), 3);
    EXPECT_EQ(records->at(0).fields, kFailedRowsColumns);
    EXPECT_EQ(records->at(1).fields, (QStringList{failed.shortSku, QStringLiteral("failed"), failed.text}));
    EXPECT_EQ(records->at(2).fields, (QStringList{noRow.shortSku, QStringLiteral("no row"), QString()}));

    // A file that cannot be written leaves nothing behind and says why.
    EXPECT_FALSE(writeFailedRowsFile(scratch.file(QStringLiteral("no/such/folder.csv")), {}).ok());
}

TEST(OdbcConnectString, KeptWholeInTheFurtherParametersAndShownWithoutPassword) {
    Transaction odbc;
    const QString text = QStringLiteral("Driver={X};Server=h;UID=o'neil;PWD={p;w'd}");
    configureOdbcTransaction(odbc, text);
    EXPECT_EQ(odbc.DBMS, kDbmsOdbc);
    EXPECT_FALSE(odbc.AutoCommit);
    EXPECT_EQ(dbParmValue(odbc.DBParm, QStringLiteral("ConnectString")), text);

    EXPECT_EQ(connectStringForDisplay(QStringLiteral("DSN=PRDLIVE;UID=mavrick;PWD=mavrick")),
              QStringLiteral("DSN=PRDLIVE;UID=mavrick;PWD=***"));
    EXPECT_EQ(connectStringForDisplay(QStringLiteral("pwd = {a;b};Server=s")),
              QStringLiteral("pwd =***;Server=s"));
    EXPECT_EQ(connectStringForDisplay(QStringLiteral("PWD={x}};y};UID=u")), QStringLiteral("PWD=***;UID=u"));
    EXPECT_EQ(connectStringForDisplay(QStringLiteral("DSN=x")), QStringLiteral("DSN=x"));

    // An edited display keeps the hidden passwords where it still shows them hidden.
    const QString real = QStringLiteral("DSN=a;PWD={p;w};UID=u;pwd=second");
    EXPECT_EQ(connectStringWithPasswords(connectStringForDisplay(real), real), real);
    EXPECT_EQ(connectStringWithPasswords(QStringLiteral("DSN=b;PWD=***;UID=v;pwd=new"), real),
              QStringLiteral("DSN=b;PWD={p;w};UID=v;pwd=new"));
    EXPECT_EQ(connectStringWithPasswords(QStringLiteral("DSN=b;PWD=***"), QStringLiteral("DSN=b")),
              QStringLiteral("DSN=b;PWD=***"));
}
