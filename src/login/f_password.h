#pragma once

#include "host/result.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace tarnlow {

// The access key every caller of f_password passes. It takes no part in the arithmetic.
inline const QString kPasswordAccessKey = QStringLiteral("40938115620473968201157734462");

// The shift applied to each byte, addressed by position 1 to 255 (index 0 holds position 1).
// Stored passwords can only be read back by a build with the same values: never change them.
inline constexpr std::array<std::uint8_t, 255> kPasswordShiftTable{
    4,  62, 28, 51, 1,  32, 24, 30, 19, 26, 19, 4,  25, 41, 43, 41, 51, 15, 17, 56, 48, 28, 29, 21, 20, 32,
    28, 51, 12, 38, 49, 51, 25, 45, 9,  3,  10, 4,  46, 50, 43, 16, 27, 3,  56, 14, 17, 30, 20, 33, 34, 43,
    32, 43, 33, 34, 41, 22, 9,  58, 25, 34, 9,  40, 47, 42, 49, 32, 28, 51, 4,  9,  51, 1,  58, 21, 49, 48,
    41, 36, 21, 43, 40, 59, 49, 12, 19, 24, 59, 6,  33, 53, 7,  48, 6,  30, 19, 52, 18, 32, 26, 13, 57, 37,
    34, 17, 63, 11, 22, 18, 13, 3,  48, 36, 31, 37, 55, 42, 47, 9,  54, 44, 54, 28, 29, 35, 19, 61, 56, 41,
    49, 22, 57, 59, 19, 32, 39, 24, 7,  63, 24, 37, 64, 33, 31, 46, 38, 52, 28, 32, 11, 4,  52, 13, 17, 59,
    45, 2,  8,  58, 9,  19, 54, 18, 3,  59, 36, 52, 18, 15, 8,  44, 29, 63, 38, 24, 49, 5,  50, 15, 51, 54,
    16, 36, 5,  39, 19, 49, 2,  64, 51, 23, 46, 61, 46, 32, 18, 38, 11, 39, 16, 48, 39, 4,  55, 24, 3,  59,
    31, 18, 27, 55, 58, 60, 43, 9,  24, 34, 4,  11, 40, 43, 14, 24, 44, 39, 58, 7,  4,  24, 48, 18, 27, 12,
    59, 4,  56, 59, 42, 4,  48, 10, 46, 53, 27, 55, 54, 5,  19, 43, 29, 14, 6,  59, 49};

// The shift of one byte string. Byte i of n (counting from 1) moves by the table entry at position
// n - i + 1, so the last byte uses position 1 and the shifts depend on the length as well as the
// place. Texts longer than the table take positions cyclically (n - i modulo 255, plus 1), and
// every byte is shifted modulo 256; the shift is therefore a bijection and unscrambling the
// scrambled bytes returns every byte string unchanged. Bytes up to 191 never scramble to zero.
QByteArray shiftPasswordBytes(const QByteArray& bytes, bool scramble);

// Scrambles (is_way true) or unscrambles (false or no value) the stored database password.
// - A non-null access key other than kPasswordAccessKey yields the text "ERROR"; a null key is not
//   compared.
// - A null or empty text yields the empty text.
// - Scrambling shifts the text's bytes in the system code page (GBK). The scrambled form may hold
//   any byte value, so it is returned as one character per byte (U+0000 to U+00FF), which the
//   settings store keeps exactly. Unscrambling takes that form and returns the original text.
// - An error (nothing changed) when the text has characters GBK cannot represent, or when the
//   text to unscramble is not a scrambled form (characters above U+00FF, or bytes that do not
//   unscramble to GBK text).
Result<QString> f_password(const QString& is_password, std::optional<bool> is_way, const QString& as_pwd);

} // namespace tarnlow
