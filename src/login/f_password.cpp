#include "login/f_password.h"

#include "host/code_page.h"

namespace tarnlow {

QByteArray shiftPasswordBytes(const QByteArray& bytes, bool scramble) {
    const qsizetype n = bytes.size();
    const qsizetype tableSize = static_cast<qsizetype>(kPasswordShiftTable.size());
    QByteArray result(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i) {
        // Zero-based: the byte at index i uses position n - i, so index (n - 1 - i) of the table,
        // taken cyclically for texts longer than the table.
        const auto shift = kPasswordShiftTable[static_cast<std::size_t>((n - 1 - i) % tableSize)];
        const auto value = static_cast<std::uint8_t>(bytes[i]);
        const auto shifted = static_cast<std::uint8_t>(scramble ? value + shift : value - shift);
        result[i] = static_cast<char>(shifted);
    }
    return result;
}

Result<QString> f_password(const QString& is_password, std::optional<bool> is_way, const QString& as_pwd) {
    if (!as_pwd.isNull() && as_pwd != kPasswordAccessKey)
        return QStringLiteral("ERROR");
    if (is_password.isEmpty())
        return QStringLiteral("");

    if (is_way.value_or(false)) {
        Result<QByteArray> bytes = toSystemCodePage(is_password);
        if (!bytes)
            return Error{QStringLiteral("The password cannot be stored: %1").arg(bytes.error())};
        return QString::fromLatin1(shiftPasswordBytes(*bytes, true));
    }

    for (qsizetype i = 0; i < is_password.size(); ++i) {
        if (is_password[i].unicode() > 0xFF)
            return Error{QStringLiteral("The stored password is not in scrambled form: character %1 "
                                        "(U+%2) is not a byte value.")
                             .arg(i + 1)
                             .arg(is_password[i].unicode(), 4, 16, QLatin1Char('0'))};
    }
    Result<QString> text = fromSystemCodePage(shiftPasswordBytes(is_password.toLatin1(), false));
    if (!text)
        return Error{QStringLiteral("The stored password cannot be unscrambled: %1").arg(text.error())};
    return *text;
}

} // namespace tarnlow
