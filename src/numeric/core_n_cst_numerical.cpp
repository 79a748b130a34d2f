#include "numeric/core_n_cst_numerical.h"

namespace tarnlow {
namespace {

// The operand as the bit tables see it: a negative value has no bits.
std::uint32_t bitsOf(std::int32_t value) {
    return value < 0 ? 0u : static_cast<std::uint32_t>(value);
}

} // namespace

core_n_cst_numerical::Boolean core_n_cst_numerical::of_getbit(Long al_decimal, Integer ai_bit) const {
    if (!al_decimal || !ai_bit)
        return std::nullopt;
    if (*ai_bit < 1 || *ai_bit > 32)
        return false;
    return ((bitsOf(*al_decimal) >> (*ai_bit - 1)) & 1u) != 0;
}

core_n_cst_numerical::String core_n_cst_numerical::of_binary(Long al_decimal) const {
    if (!al_decimal || *al_decimal < 0)
        return std::nullopt;
    if (*al_decimal == 0)
        return QStringLiteral("0");
    QString text;
    for (std::int32_t value = *al_decimal; value != 0; value /= 2)
        text.prepend(value % 2 != 0 ? QLatin1Char('1') : QLatin1Char('0'));
    return text;
}

core_n_cst_numerical::Long core_n_cst_numerical::of_decimal(String as_binary) const {
    if (!as_binary || as_binary->isEmpty())
        return std::nullopt;
    std::int64_t sum = 0;
    bool tooLarge = false;
    for (QChar c : *as_binary) {
        if (c != QLatin1Char('0') && c != QLatin1Char('1'))
            return -1;
        if (!tooLarge) {
            sum = sum * 2 + (c == QLatin1Char('1') ? 1 : 0);
            tooLarge = sum > INT32_MAX;
        }
    }
    return tooLarge ? -1 : static_cast<std::int32_t>(sum);
}

core_n_cst_numerical::Long core_n_cst_numerical::of_bitwiseand(Long al_value1, Long al_value2) const {
    if (!al_value1 || !al_value2)
        return std::nullopt;
    return static_cast<std::int32_t>(bitsOf(*al_value1) & bitsOf(*al_value2));
}

core_n_cst_numerical::Long core_n_cst_numerical::of_bitwiseor(Long al_value1, Long al_value2) const {
    if (!al_value1 || !al_value2)
        return std::nullopt;
    return static_cast<std::int32_t>(bitsOf(*al_value1) | bitsOf(*al_value2));
}

core_n_cst_numerical::Long core_n_cst_numerical::of_bitwisexor(Long al_value1, Long al_value2) const {
    if (!al_value1 || !al_value2)
        return std::nullopt;
    return static_cast<std::int32_t>(bitsOf(*al_value1) ^ bitsOf(*al_value2));
}

core_n_cst_numerical::Long core_n_cst_numerical::of_bitwisenot(Long al_value) const {
    const String text = of_binary(al_value);
    if (!text)
        return std::nullopt;
    QString complement;
    complement.reserve(text->size());
    for (QChar c : *text)
        complement += c == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    return of_decimal(complement);
}

} // namespace tarnlow
