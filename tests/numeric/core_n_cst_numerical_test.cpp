#include "numeric/core_n_cst_numerical.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnlow;

namespace {

using Long = core_n_cst_numerical::Long;
using Integer = core_n_cst_numerical::Integer;
using String = core_n_cst_numerical::String;

const Long kNullLong;
const String kNullString;
constexpr std::int32_t kLongMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kLongMin = std::numeric_limits<std::int32_t>::min();

String text(const char* latin1) {
    return QString::fromLatin1(latin1);
}

} // namespace

TEST(Numerical, GetBit) {
    const core_n_cst_numerical n;
    EXPECT_EQ(n.of_getbit(5, 1), true);
    EXPECT_EQ(n.of_getbit(5, 2), false);
    EXPECT_EQ(n.of_getbit(5, 3), true);
    EXPECT_EQ(n.of_getbit(1 << 30, 31), true);
    EXPECT_EQ(n.of_getbit(kLongMax, 31), true);
    EXPECT_EQ(n.of_getbit(kLongMax, 32), false);
    // A negative number has no bits.
    EXPECT_EQ(n.of_getbit(-1, 1), false);
    EXPECT_EQ(n.of_getbit(kLongMin, 32), false);
    // Bit numbers that name no bit of a 32-bit value.
    for (int bit : {0, -1, 33, 64, 32767, -32768})
        EXPECT_EQ(n.of_getbit(kLongMax, static_cast<std::int16_t>(bit)), false) << bit;
    EXPECT_EQ(n.of_getbit(kNullLong, 1), std::nullopt);
    EXPECT_EQ(n.of_getbit(5, Integer()), std::nullopt);
}

TEST(Numerical, Binary) {
    const core_n_cst_numerical n;
    EXPECT_EQ(n.of_binary(0), text("0"));
    EXPECT_EQ(n.of_binary(5), text("101"));
    EXPECT_EQ(n.of_binary(8), text("1000"));
    EXPECT_EQ(n.of_binary(kLongMax), QString(31, QLatin1Char('1')));
    EXPECT_EQ(n.of_binary(-3), std::nullopt);
    EXPECT_EQ(n.of_binary(kLongMin), std::nullopt);
    EXPECT_EQ(n.of_binary(kNullLong), std::nullopt);
}

TEST(Numerical, Decimal) {
    const core_n_cst_numerical n;
    EXPECT_EQ(n.of_decimal(text("101")), 5);
    EXPECT_EQ(n.of_decimal(text("0010")), 2);
    EXPECT_EQ(n.of_decimal(text("0")), 0);
    EXPECT_EQ(n.of_decimal(text("102")), -1);
    EXPECT_EQ(n.of_decimal(text(" 1")), -1);
    EXPECT_EQ(n.of_decimal(text("")), std::nullopt);
    EXPECT_EQ(n.of_decimal(kNullString), std::nullopt);
    EXPECT_EQ(n.of_decimal(QString(31, QLatin1Char('1'))), kLongMax);
    // Leading zeros do not count against the length; values beyond a long do not fit.
    EXPECT_EQ(n.of_decimal(QString(40, QLatin1Char('0')) + QStringLiteral("101")), 5);
    EXPECT_EQ(n.of_decimal(QStringLiteral("1") + QString(31, QLatin1Char('0'))), -1);
    EXPECT_EQ(n.of_decimal(QString(64, QLatin1Char('1'))), -1);
    // An invalid character after an overlong prefix is still reported as invalid.
    EXPECT_EQ(n.of_decimal(QString(40, QLatin1Char('1')) + QStringLiteral("2")), -1);
    for (std::int32_t value : {1, 2, 3, 1000, 65535, 123456789, kLongMax})
        EXPECT_EQ(n.of_decimal(n.of_binary(value)), value);
}

TEST(Numerical, BitwiseAndOrXor) {
    const core_n_cst_numerical n;
    EXPECT_EQ(n.of_bitwiseand(12, 10), 8);
    EXPECT_EQ(n.of_bitwiseor(12, 10), 14);
    EXPECT_EQ(n.of_bitwisexor(12, 10), 6);
    EXPECT_EQ(n.of_bitwiseand(kLongMax, 0x5555), 0x5555);
    EXPECT_EQ(n.of_bitwiseor(1 << 30, 1), (1 << 30) + 1);
    EXPECT_EQ(n.of_bitwisexor(kLongMax, kLongMax), 0);
    // A negative operand counts as 0.
    EXPECT_EQ(n.of_bitwiseand(-1, 7), 0);
    EXPECT_EQ(n.of_bitwiseor(-1, 7), 7);
    EXPECT_EQ(n.of_bitwisexor(7, kLongMin), 7);
    EXPECT_EQ(n.of_bitwiseor(-1, -1), 0);
    for (auto function : {&core_n_cst_numerical::of_bitwiseand, &core_n_cst_numerical::of_bitwiseor,
                          &core_n_cst_numerical::of_bitwisexor}) {
        EXPECT_EQ((n.*function)(kNullLong, 1), std::nullopt);
        EXPECT_EQ((n.*function)(1, kNullLong), std::nullopt);
    }
}

TEST(Numerical, BitwiseNotCoversTheSignificantDigitsOnly) {
    const core_n_cst_numerical n;
    EXPECT_EQ(n.of_bitwisenot(5), 2);
    EXPECT_EQ(n.of_bitwisenot(0), 1);
    EXPECT_EQ(n.of_bitwisenot(7), 0);
    EXPECT_EQ(n.of_bitwisenot(8), 7);
    EXPECT_EQ(n.of_bitwisenot(kLongMax), 0);
    EXPECT_EQ(n.of_bitwisenot(1 << 30), (1 << 30) - 1);
    EXPECT_EQ(n.of_bitwisenot(-1), std::nullopt);
    EXPECT_EQ(n.of_bitwisenot(kNullLong), std::nullopt);
}
