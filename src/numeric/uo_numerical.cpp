#include "numeric/uo_numerical.h"

namespace tarnlow {
namespace {

// The value of a hexadecimal digit in either case, or -1.
int hexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

} // namespace

uo_numerical::String uo_numerical::of_hex(String as_binary) const {
    return of_hex(of_decimalb(as_binary));
}

uo_numerical::String uo_numerical::of_binary(ULong aul_decimal) const {
    if (!aul_decimal)
        return std::nullopt;
    QString text;
    std::uint32_t value = *aul_decimal;
    do {
        text.prepend((value & 1u) != 0 ? QLatin1Char('1') : QLatin1Char('0'));
        value >>= 1;
    } while (value != 0);
    return text;
}

uo_numerical::ULong uo_numerical::of_bitwiseand(ULong aul_value1, ULong aul_value2) const {
    if (!aul_value1 || !aul_value2)
        return std::nullopt;
    return *aul_value1 & *aul_value2;
}

uo_numerical::ULong uo_numerical::of_bitwisenot(ULong aul_value) const {
    if (!aul_value)
        return std::nullopt;
    return ~*aul_value;
}

uo_numerical::ULong uo_numerical::of_bitwiseor(ULong aul_value1, ULong aul_value2) const {
    if (!aul_value1 || !aul_value2)
        return std::nullopt;
    return *aul_value1 | *aul_value2;
}

uo_numerical::ULong uo_numerical::of_bitwisexor(ULong aul_value1, ULong aul_value2) const {
    if (!aul_value1 || !aul_value2)
        return std::nullopt;
    return *aul_value1 ^ *aul_value2;
}

uo_numerical::ULong uo_numerical::of_decimal(String as_data, Integer ai_datatype) const {
    if (!as_data || !ai_datatype || as_data->isEmpty())
        return std::nullopt;
    if (*ai_datatype == 0)
        return of_decimalb(as_data);
    if (*ai_datatype != 1)
        return std::nullopt;
    std::uint32_t value = 0;
    for (QChar c : *as_data) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            break;
        value = value * 16u + static_cast<std::uint32_t>(digit);
    }
    return value;
}

uo_numerical::String uo_numerical::of_binary(String as_hex) const {
    return of_binary(of_decimal(as_hex, 1));
}

uo_numerical::ULong uo_numerical::of_decimalb(String as_binary) const {
    if (!as_binary || as_binary->isEmpty())
        return std::nullopt;
    std::uint32_t value = 0;
    for (QChar c : *as_binary) {
        if (c != QLatin1Char('0') && c != QLatin1Char('1'))
            break;
        value = value * 2u + (c == QLatin1Char('1') ? 1u : 0u);
    }
    return value;
}

uo_numerical::String uo_numerical::of_hex(ULong aul_decimal) const {
    if (!aul_decimal)
        return std::nullopt;
    static const QLatin1String digits("0123456789ABCDEF");
    QString text;
    std::uint32_t value = *aul_decimal;
    do {
        text.prepend(digits[static_cast<qsizetype>(value % 16u)]);
        value /= 16u;
    } while (value != 0);
    return text;
}

} // namespace tarnlow
