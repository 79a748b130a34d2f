// Any bytes as a language file: decoding (whole or line by line) and every lookup must neither crash
// nor read past the text, a file that decodes whole has no damaged lines, and a key appended in a
// section of its own is always found.
#include "host/code_page.h"
#include "host/profile.h"

#include <cstdint>
#include <cstdlib>

using namespace tarnlow;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const DecodedLines lines = decodeTextFileByLines(bytes);
    for (int line : lines.badLines) {
        if (line < 1 || line > bytes.count('\n') + 1)
            std::abort();
    }
    const Result<QString> whole = decodeTextFile(bytes);
    if (whole && (*whole != lines.text || !lines.badLines.isEmpty()))
        std::abort();
    const QString* text = &lines.text;
    for (const char* section : {"FLF", "TEXT", "MESSAGE", "MENU", "BUTTON", "TREE"})
        for (const char* key : {"NAME", "FONT", "APP_NAME", "10026", "m_file", ""})
            (void)profileStringFromText(*text, QLatin1String(section), QLatin1String(key));
    const QString appended = *text + QStringLiteral("\n[fuzz_probe_section]\nprobe = found \n");
    if (profileStringFromText(appended, QStringLiteral("FUZZ_PROBE_SECTION"), QStringLiteral("PROBE")) !=
            QStringLiteral("found") &&
        !text->contains(QStringLiteral("fuzz_probe_section"), Qt::CaseInsensitive))
        std::abort();
    return 0;
}
