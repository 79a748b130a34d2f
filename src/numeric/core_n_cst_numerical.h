#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace tarnlow {

// Stateless service for the binary representation of whole numbers: single bits, conversion
// between a number and its binary text, and bitwise AND, OR, exclusive OR and complement.
// It represents non-negative signed 32-bit values; a negative value has no bits here.
//
// Every argument and result may be null (no value); any null argument gives a null result.
// Callers pass the nullable types below, which also tell the overloads of uo_numerical apart.
class core_n_cst_numerical {
public:
    using Long = std::optional<std::int32_t>;
    using ULong = std::optional<std::uint32_t>;
    using Integer = std::optional<std::int16_t>;
    using Boolean = std::optional<bool>;
    using String = std::optional<QString>;

    // Bit number ai_bit of al_decimal, bit 1 being the least significant. A negative number has
    // no bits set, and bit 32 of a non-negative long is always clear. A bit number outside 1..32
    // names no bit of a 32-bit value and gives false.
    Boolean of_getbit(Long al_decimal, Integer ai_bit) const;

    // Binary text without leading zeros ("0" for 0); null for a negative value.
    String of_binary(Long al_decimal) const;

    // Value of a binary text; leading zeros are allowed. Null for the empty text; -1 when a
    // character is neither "0" nor "1", and -1 as well when the value does not fit a long (more
    // than 31 significant digits), since no meaningful value can be returned then.
    Long of_decimal(String as_binary) const;

    // Bitwise combinations over bits 1..32 as of_getbit reports them: a negative operand counts
    // as 0, so the results are never negative.
    Long of_bitwiseand(Long al_value1, Long al_value2) const;
    Long of_bitwiseor(Long al_value1, Long al_value2) const;
    Long of_bitwisexor(Long al_value1, Long al_value2) const;

    // Complement of the significant binary digits only: 5 ("101") gives 2, 0 ("0") gives 1.
    // Null for a negative value.
    Long of_bitwisenot(Long al_value) const;
};

} // namespace tarnlow
