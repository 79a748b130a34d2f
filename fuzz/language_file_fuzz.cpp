// Any bytes as a language file: decoding and every lookup must neither crash nor read past the
// text, and a key appended in a section of its own is always found.
#include "host/code_page.h"
#include "host/profile.h"

#include <cstdint>
#include <cstdlib>

using namespace tarnlow;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const Result<QString> text = decodeTextFile(bytes);
    if (!text)
        return 0;
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
