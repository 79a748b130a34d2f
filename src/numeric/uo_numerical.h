#pragma once

#include "numeric/core_n_cst_numerical.h"

namespace tarnlow {

// The application's numerical object. It keeps every signed function of core_n_cst_numerical and
// adds unsigned 32-bit and hexadecimal variants, told apart from the signed ones by their
// argument types (pass Long for the signed, ULong for the unsigned functions). Unsigned
// arithmetic is modulo 2^32. Any null argument gives a null result.
//
// Reading text, the unsigned functions stop at the first character that is not a digit of the
// base and return the value of the digits before it. Hexadecimal digits may be given in either
// case ("ff" reads as "FF"); hexadecimal output is always upper case, without prefix or leading
// zeros.
class uo_numerical : public core_n_cst_numerical {
public:
    using core_n_cst_numerical::of_binary;
    using core_n_cst_numerical::of_bitwiseand;
    using core_n_cst_numerical::of_bitwisenot;
    using core_n_cst_numerical::of_bitwiseor;
    using core_n_cst_numerical::of_bitwisexor;
    using core_n_cst_numerical::of_decimal;

    // Hexadecimal text of a binary text: of_hex(of_decimalb(as_binary)).
    String of_hex(String as_binary) const;
    // Binary text, most significant digit first; "0" for 0.
    String of_binary(ULong aul_decimal) const;
    ULong of_bitwiseand(ULong aul_value1, ULong aul_value2) const;
    // The full 32-bit complement: 4294967295 - aul_value.
    ULong of_bitwisenot(ULong aul_value) const;
    ULong of_bitwiseor(ULong aul_value1, ULong aul_value2) const;
    ULong of_bitwisexor(ULong aul_value1, ULong aul_value2) const;
    // Value of a hexadecimal (ai_datatype 1) or binary (ai_datatype 0) text. Null for the empty
    // text and for any other data type.
    ULong of_decimal(String as_data, Integer ai_datatype) const;
    // Binary text of a hexadecimal text: of_binary(of_decimal(as_hex, 1)).
    String of_binary(String as_hex) const;
    // Value of a binary text; null for the empty text; more than 32 digits wrap modulo 2^32.
    ULong of_decimalb(String as_binary) const;
    // Hexadecimal text, digits "0" to "9" and "A" to "F"; "0" for 0.
    String of_hex(ULong aul_decimal) const;
};

} // namespace tarnlow
