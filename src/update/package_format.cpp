#include "update/package_format.h"

#include "host/code_page.h"

#include <QList>
#include <QStringList>

namespace tarnlow {
namespace {

// In GBK a byte from 0x81 to 0xFE starts a two-byte character; every other byte stands alone.
bool isGbkLeadByte(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    return value >= 0x81 && value <= 0xFE;
}

// True when `offset` falls between two characters of the GBK text `bytes`.
bool isGbkCharacterBoundary(const QByteArray& bytes, qsizetype offset) {
    qsizetype position = 0;
    while (position < offset)
        position += isGbkLeadByte(bytes.at(position)) ? 2 : 1;
    return position == offset;
}

// The longest prefix of `bytes` of at most `limit` bytes that ends between two characters.
QByteArray gbkPrefix(const QByteArray& bytes, qsizetype limit) {
    qsizetype position = 0;
    while (position < bytes.size()) {
        const qsizetype next = position + (isGbkLeadByte(bytes.at(position)) ? 2 : 1);
        if (next > limit)
            break;
        position = next;
    }
    return bytes.left(position);
}

// The first code point of `text` that GBK cannot represent, with its 0-based index.
std::optional<std::pair<qsizetype, QString>> firstUnrepresentable(const QString& text) {
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (!toSystemCodePage(character).ok())
            return std::pair{i, character};
        i += length;
    }
    return std::nullopt;
}

} // namespace

QByteArray packageSignature() {
    return QByteArrayLiteral("Fernlake Update File v1.0 CopyRight(2004)");
}

QByteArray packageNumberField(qint64 value) {
    const QByteArray padded = QByteArray(kPackageNumberWidth, ' ') + QByteArray::number(value);
    return padded.right(kPackageNumberWidth);
}

std::optional<qint64> parsePackageNumberField(const QByteArray& field) {
    const QByteArray digits = field.trimmed();
    if (digits.isEmpty())
        return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

Result<QByteArray> packageZeroPaddedField(const QString& text, int width, const QString& what) {
    if (const auto bad = findUnrepresentableCharacter(text))
        return Error{
            QStringLiteral("the %1 \"%2\" holds the character \"%3\" (%4), which the GBK code page cannot "
                           "represent")
                .arg(what, text, bad->character, codePointText(bad->character))};
    const QByteArray bytes = QByteArray(width, '0') + *toSystemCodePage(text);
    if (!isGbkCharacterBoundary(bytes, bytes.size() - width))
        return Error{
            QStringLiteral("the %1 \"%2\" cannot be cut to its last %3 bytes without splitting a character")
                .arg(what, text)
                .arg(width)};
    return bytes.right(width);
}

QString packageFileNameOfPath(const QString& path) {
    const qsizetype separator =
        std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    return path.mid(separator + 1);
}

Result<QByteArray> packageNameField(const QString& name) {
    if (const auto bad = findUnrepresentableCharacter(name))
        return Error{
            QStringLiteral("the file name \"%1\" holds the character \"%2\" (%3), which the GBK code page "
                           "cannot represent")
                .arg(name, bad->character, codePointText(bad->character))};
    const QByteArray bytes = gbkPrefix(*toSystemCodePage(name), kPackageNameWidth);
    return QByteArray(bytes + QByteArray(kPackageNameWidth - bytes.size(), ' '));
}

std::optional<QString> packageNameProblem(const QString& name) {
    if (name.trimmed().isEmpty())
        return QStringLiteral("is empty");
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return QStringLiteral("contains the path separator \"%1\"").arg(c);
        if (c.unicode() == 0)
            return QStringLiteral("contains a NUL character");
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() < 0xA0))
            return QStringLiteral("contains the control character %1").arg(codePointText(QString(c)));
    }
    const QString trimmed = name.trimmed();
    if (trimmed.count(QLatin1Char('.')) == trimmed.size())
        return QStringLiteral("is \"%1\", which names a folder rather than a file").arg(trimmed);
    return std::nullopt;
}

std::optional<UnrepresentableCharacter> findUnrepresentableCharacter(const QString& text) {
    if (toSystemCodePage(text).ok())
        return std::nullopt;
    // Narrow down line by line first, so a long script is not converted one character at a time.
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype line = 0; line < lines.size(); ++line) {
        if (toSystemCodePage(lines.at(line)).ok())
            continue;
        if (const auto found = firstUnrepresentable(lines.at(line))) {
            return UnrepresentableCharacter{found->second, static_cast<int>(line + 1),
                                            static_cast<int>(found->first + 1)};
        }
    }
    // Conversion failed without a single character to blame (for instance a lone surrogate).
    return UnrepresentableCharacter{QStringLiteral("?"), 0, 0};
}

QString codePointText(const QString& character) {
    const QList<uint> codePoints = character.toUcs4();
    return QStringLiteral("U+") +
           QString::number(codePoints.value(0), 16).rightJustified(4, QLatin1Char('0')).toUpper();
}

} // namespace tarnlow
