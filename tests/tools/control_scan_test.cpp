#include "support/test_environment.h"
#include "tools/control_scan.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using tarnlow::test::ScratchFolder;

namespace {

class ControlScan : public ::testing::Test {
protected:
    Result<ControlScanReport> scan(const QByteArray& bytes) {
        EXPECT_TRUE(scratch.write(QStringLiteral("data.001"), bytes));
        return scanControlCharacters(scratch.file(QStringLiteral("data.001")),
                                     [this](qint64 read, qint64) { progress.append(read); });
    }
    QList<std::pair<int, qint64>> found(const ControlScanReport& report) {
        QList<std::pair<int, qint64>> list;
        for (const ControlFinding& finding : report.findings)
            list.append({finding.code, finding.position});
        return list;
    }
    ScratchFolder scratch;
    QList<qint64> progress;
};

using Found = QList<std::pair<int, qint64>>;

} // namespace

TEST_F(ControlScan, PlainTextHasNoFindings) {
    const auto report = scan("plain text, \x7F and GBK \xBF\xE2 but no control characters");
    ASSERT_TRUE(report.ok()) << report.error().toStdString();
    EXPECT_TRUE(report->findings.isEmpty());
    EXPECT_EQ(report->pieces, 1);
}

TEST_F(ControlScan, EachCodeOnceAtItsFirstPositionInAscendingOrder) {
    const auto report = scan("ab\ncd\tef\n\tg\x1F\x01");
    ASSERT_TRUE(report.ok());
    EXPECT_EQ(found(*report), (Found{{1, 13}, {9, 6}, {10, 3}, {31, 12}}));
}

TEST_F(ControlScan, ZeroByteIsOrdinaryAndHidesNothing) {
    const auto report = scan(QByteArray("a\0\0b\tc", 6));
    ASSERT_TRUE(report.ok());
    EXPECT_EQ(found(*report), (Found{{9, 5}}));
}

TEST_F(ControlScan, FileBeyondOnePieceIsReadInPiecesAtTruePositions) {
    QByteArray bytes(32766, 'x');
    bytes[32765] = '\r'; // the only byte of the second piece
    const auto report = scan(bytes);
    ASSERT_TRUE(report.ok());
    EXPECT_EQ(report->pieces, 2);
    EXPECT_EQ(report->size, 32766);
    EXPECT_EQ(progress, (QList<qint64>{32765, 32766}));
    EXPECT_EQ(found(*report), (Found{{13, 32766}}));

    QByteArray exact(32765, 'y');
    exact[0] = '\v';
    const auto one = scan(exact);
    ASSERT_TRUE(one.ok());
    EXPECT_EQ(one->pieces, 1);
    EXPECT_EQ(found(*one), (Found{{11, 1}}));
}

TEST_F(ControlScan, EmptyFileMissingFileAndStop) {
    const auto empty = scan({});
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty->findings.isEmpty());
    EXPECT_FALSE(scanControlCharacters(scratch.file(QStringLiteral("missing"))).ok());
    const std::atomic_bool stop = true;
    EXPECT_FALSE(scanControlCharacters(scratch.file(QStringLiteral("data.001")), {}, &stop).ok());
}
