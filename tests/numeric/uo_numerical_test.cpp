#include "numeric/uo_numerical.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

using Long = uo_numerical::Long;
using ULong = uo_numerical::ULong;
using Integer = uo_numerical::Integer;
using String = uo_numerical::String;

const ULong kNullULong;
const String kNullString;
constexpr std::uint32_t kULongMax = 4294967295u;

String text(const char* latin1) {
    return QString::fromLatin1(latin1);
}

} // namespace

TEST(UnsignedNumerical, Hex) {
    const uo_numerical n;
    EXPECT_EQ(n.of_hex(ULong(0)), text("0"));
    EXPECT_EQ(n.of_hex(ULong(255)), text("FF"));
    EXPECT_EQ(n.of_hex(ULong(4096)), text("1000"));
    EXPECT_EQ(n.of_hex(ULong(0xDEADBEEF)), text("DEADBEEF"));
    EXPECT_EQ(n.of_hex(ULong(kULongMax)), text("FFFFFFFF"));
    EXPECT_EQ(n.of_hex(kNullULong), std::nullopt);
    // From binary text.
    EXPECT_EQ(n.of_hex(text("11111111")), text("FF"));
    EXPECT_EQ(n.of_hex(text("0")), text("0"));
    EXPECT_EQ(n.of_hex(text("1012")), text("5"));
    EXPECT_EQ(n.of_hex(text("")), std::nullopt);
    EXPECT_EQ(n.of_hex(kNullString), std::nullopt);
}

TEST(UnsignedNumerical, Binary) {
    const uo_numerical n;
    EXPECT_EQ(n.of_binary(ULong(0)), text("0"));
    EXPECT_EQ(n.of_binary(ULong(6)), text("110"));
    EXPECT_EQ(n.of_binary(ULong(kULongMax)), QString(32, QLatin1Char('1')));
    EXPECT_EQ(n.of_binary(ULong(0x80000000u)), QStringLiteral("1") + QString(31, QLatin1Char('0')));
    EXPECT_EQ(n.of_binary(kNullULong), std::nullopt);
    // From hexadecimal text.
    EXPECT_EQ(n.of_binary(text("FF")), text("11111111"));
    EXPECT_EQ(n.of_binary(text("a")), text("1010"));
    EXPECT_EQ(n.of_binary(text("G")), text("0"));
    EXPECT_EQ(n.of_binary(text("")), std::nullopt);
    EXPECT_EQ(n.of_binary(kNullString), std::nullopt);
}

TEST(UnsignedNumerical, DecimalStopsAtTheFirstCharacterOutsideTheBase) {
    const uo_numerical n;
    EXPECT_EQ(n.of_decimal(text("1F"), 1), 31u);
    EXPECT_EQ(n.of_decimal(text("1G"), 1), 1u);
    EXPECT_EQ(n.of_decimal(text("G1"), 1), 0u);
    EXPECT_EQ(n.of_decimal(text("ffffffff"), 1), kULongMax);
    EXPECT_EQ(n.of_decimal(text("dEaDbEeF"), 1), 0xDEADBEEFu);
    EXPECT_EQ(n.of_decimal(text("1FFFFFFFF"), 1), kULongMax); // nine digits wrap modulo 2^32
    EXPECT_EQ(n.of_decimal(text("100000000"), 1), 0u);
    EXPECT_EQ(n.of_decimal(text("101"), 0), 5u);
    EXPECT_EQ(n.of_decimal(text("101"), 2), std::nullopt);
    EXPECT_EQ(n.of_decimal(text("101"), -1), std::nullopt);
    EXPECT_EQ(n.of_decimal(text(""), 1), std::nullopt);
    EXPECT_EQ(n.of_decimal(text(""), 0), std::nullopt);
    EXPECT_EQ(n.of_decimal(kNullString, 1), std::nullopt);
    EXPECT_EQ(n.of_decimal(text("1F"), Integer()), std::nullopt);

    EXPECT_EQ(n.of_decimalb(text("110")), 6u);
    EXPECT_EQ(n.of_decimalb(text("12")), 1u);
    EXPECT_EQ(n.of_decimalb(text("x1")), 0u);
    EXPECT_EQ(n.of_decimalb(QString(32, QLatin1Char('1'))), kULongMax);
    EXPECT_EQ(n.of_decimalb(QStringLiteral("11") + QString(32, QLatin1Char('0'))), 0u); // wraps
    EXPECT_EQ(n.of_decimalb(text("")), std::nullopt);
    EXPECT_EQ(n.of_decimalb(kNullString), std::nullopt);
}

TEST(UnsignedNumerical, Bitwise) {
    const uo_numerical n;
    EXPECT_EQ(n.of_bitwiseand(ULong(12), ULong(10)), 8u);
    EXPECT_EQ(n.of_bitwiseor(ULong(12), ULong(10)), 14u);
    EXPECT_EQ(n.of_bitwisexor(ULong(12), ULong(10)), 6u);
    EXPECT_EQ(n.of_bitwiseor(ULong(0), ULong(0)), 0u);
    EXPECT_EQ(n.of_bitwiseand(ULong(kULongMax), ULong(0x80000001u)), 0x80000001u);
    EXPECT_EQ(n.of_bitwisenot(ULong(0)), kULongMax);
    EXPECT_EQ(n.of_bitwisenot(ULong(kULongMax)), 0u);
    EXPECT_EQ(n.of_bitwisenot(ULong(5)), kULongMax - 5u);
    EXPECT_EQ(n.of_bitwisenot(kNullULong), std::nullopt);
    using Combination = ULong (uo_numerical::*)(ULong, ULong) const;
    const std::initializer_list<Combination> combinations{
        &uo_numerical::of_bitwiseand, &uo_numerical::of_bitwiseor, &uo_numerical::of_bitwisexor};
    for (Combination function : combinations) {
        EXPECT_EQ((n.*function)(kNullULong, ULong(1)), std::nullopt);
        EXPECT_EQ((n.*function)(ULong(1), kNullULong), std::nullopt);
    }
}

TEST(UnsignedNumerical, BitwiseAgreesWithTheOperatorsOnRandomValues) {
    const uo_numerical n;
    QRandomGenerator random(424242);
    for (int round = 0; round < 20000; ++round) {
        const std::uint32_t a = random.generate();
        const std::uint32_t b = round % 7 == 0 ? a : random.generate();
        ASSERT_EQ(n.of_bitwiseand(ULong(a), ULong(b)), a & b);
        ASSERT_EQ(n.of_bitwiseor(ULong(a), ULong(b)), a | b);
        ASSERT_EQ(n.of_bitwisexor(ULong(a), ULong(b)), a ^ b);
        ASSERT_EQ(n.of_bitwisenot(ULong(a)), ~a);
        // Text conversions undo each other.
        ASSERT_EQ(n.of_decimal(n.of_hex(ULong(a)), 1), a);
        ASSERT_EQ(n.of_decimalb(n.of_binary(ULong(a))), a);
        ASSERT_EQ(n.of_hex(n.of_binary(ULong(a))), n.of_hex(ULong(a)));
    }
}

TEST(UnsignedNumerical, SignedFunctionsStayCallableBesideTheUnsignedOnes) {
    const uo_numerical n;
    EXPECT_EQ(n.of_bitwisenot(Long(5)), 2);
    EXPECT_EQ(n.of_bitwisenot(ULong(5)), 4294967290u);
    EXPECT_EQ(n.of_bitwiseand(Long(-1), Long(7)), 0);
    EXPECT_EQ(n.of_bitwiseand(ULong(kULongMax), ULong(7)), 7u);
    EXPECT_EQ(n.of_binary(Long(-3)), std::nullopt);
    EXPECT_EQ(n.of_binary(ULong(3)), text("11"));
    EXPECT_EQ(n.of_decimal(text("102")), -1);
    EXPECT_EQ(n.of_decimal(text("102"), 0), 2u);
    EXPECT_EQ(n.of_getbit(Long(5), Integer(3)), true);
    // Through a reference to the service the signed meaning holds.
    const core_n_cst_numerical& service = n;
    EXPECT_EQ(service.of_bitwisenot(5), 2);
}
