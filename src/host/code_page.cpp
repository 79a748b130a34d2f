#include "host/code_page.h"

#include <QList>
#include <QStringDecoder>
#include <QStringList>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>

namespace tarnlow {
namespace {

struct IconvCloser {
    void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle openConverter(const char* to, const char* from) {
    iconv_t handle = iconv_open(to, from);
    if (handle == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return IconvHandle(handle);
}

// Runs iconv over the whole input. On an unconvertible or malformed sequence it returns the byte
// offset where conversion stopped.
struct Conversion {
    QByteArray output;
    qsizetype failedAt = -1;
};

Conversion convert(iconv_t handle, const QByteArray& input) {
    Conversion result;
    result.output.resize(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.constData());
    size_t inLeft = static_cast<size_t>(input.size());
    char* out = result.output.data();
    size_t outLeft = static_cast<size_t>(result.output.size());
    while (inLeft > 0) {
        if (iconv(handle, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG) {
            const qsizetype used = out - result.output.data();
            result.output.resize(result.output.size() * 2);
            out = result.output.data() + used;
            outLeft = static_cast<size_t>(result.output.size() - used);
            continue;
        }
        result.failedAt = in - input.constData();
        break;
    }
    result.output.truncate(out - result.output.data());
    return result;
}

} // namespace

Result<QByteArray> toSystemCodePage(const QString& text) {
    IconvHandle handle = openConverter("GBK", "UTF-8");
    if (!handle)
        return Error{QStringLiteral("the GBK code page is not available on this system")};
    const QByteArray utf8 = text.toUtf8();
    Conversion conversion = convert(static_cast<iconv_t>(handle.get()), utf8);
    if (conversion.failedAt >= 0) {
        const QString rest = QString::fromUtf8(utf8.mid(conversion.failedAt));
        const QString character =
            rest.isEmpty() ? QString() : rest.left(rest.at(0).isHighSurrogate() ? 2 : 1);
        return Error{
            QStringLiteral("the character \"%1\" (U+%2) cannot be written in the GBK code page")
                .arg(character)
                .arg(character.isEmpty() ? 0u : character.toUcs4().value(0), 4, 16, QLatin1Char('0'))};
    }
    return conversion.output;
}

Result<QString> fromSystemCodePage(const QByteArray& bytes) {
    IconvHandle handle = openConverter("UTF-8", "GBK");
    if (!handle)
        return Error{QStringLiteral("the GBK code page is not available on this system")};
    Conversion conversion = convert(static_cast<iconv_t>(handle.get()), bytes);
    if (conversion.failedAt >= 0)
        return Error{
            QStringLiteral("the bytes at offset %1 are not valid GBK text").arg(conversion.failedAt)};
    return QString::fromUtf8(conversion.output);
}

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

Result<QString> decodeTextFile(const QByteArray& bytes) {
    static const QByteArray byteOrderMark("\xEF\xBB\xBF", 3);
    if (bytes.startsWith(byteOrderMark)) {
        const QByteArray body = bytes.mid(3);
        if (!isValidUtf8(body))
            return Error{
                QStringLiteral("the file starts with a UTF-8 byte-order mark but is not valid UTF-8")};
        return QString::fromUtf8(body);
    }
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    Result<QString> gbk = fromSystemCodePage(bytes);
    if (!gbk)
        return Error{QStringLiteral("the file is neither UTF-8 nor GBK text: %1").arg(gbk.error())};
    return gbk;
}

namespace {

// Stands in for a section line that could not be decoded: no section name compares equal to it.
const QString kUnreadableSectionLine = QStringLiteral("[\uFFFD]");

bool isAscii(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::optional<QString> decodeLine(const QByteArray& line, bool utf8) {
    if (utf8)
        return isValidUtf8(line) ? std::optional<QString>(QString::fromUtf8(line)) : std::nullopt;
    Result<QString> text = fromSystemCodePage(line);
    return text ? std::optional<QString>(*text) : std::nullopt;
}

} // namespace

DecodedLines decodeTextFileByLines(const QByteArray& bytes) {
    DecodedLines decoded;
    if (Result<QString> whole = decodeTextFile(bytes)) {
        decoded.text = *whole;
        decoded.anyLineRead = !whole->trimmed().isEmpty();
        return decoded;
    }
    static const QByteArray byteOrderMark("\xEF\xBB\xBF", 3);
    const bool marked = bytes.startsWith(byteOrderMark);
    const QList<QByteArray> lines = (marked ? bytes.mid(3) : bytes).split('\n');
    bool utf8 = true;
    if (!marked) {
        qsizetype utf8Lines = 0;
        qsizetype gbkLines = 0;
        for (const QByteArray& line : lines) {
            if (isAscii(line))
                continue;
            utf8Lines += isValidUtf8(line) ? 1 : 0;
            gbkLines += fromSystemCodePage(line).ok() ? 1 : 0;
        }
        utf8 = utf8Lines >= gbkLines;
    }
    QStringList texts;
    texts.reserve(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        if (std::optional<QString> text = decodeLine(line, utf8)) {
            decoded.anyLineRead = decoded.anyLineRead || !text->trimmed().isEmpty();
            texts.append(*text);
            continue;
        }
        decoded.badLines.append(static_cast<int>(i + 1));
        texts.append(line.trimmed().startsWith('[') ? kUnreadableSectionLine : QString());
    }
    decoded.text = texts.join(QLatin1Char('\n'));
    return decoded;
}

} // namespace tarnlow
