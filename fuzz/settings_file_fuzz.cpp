// Any bytes as a settings file: parsing and writing back unchanged gives the same bytes, and a
// change of one value keeps every other value and every line it does not touch.
#include "host/settings_document.h"

#include <cstdint>
#include <cstdlib>

using namespace tarnlow;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    SettingsDocument document = SettingsDocument::parse(bytes);
    if (document.bytes() != bytes)
        std::abort();

    const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Tarnlow_As");
    const QStringList names = document.valueNames(key);
    QList<std::optional<QString>> before;
    for (const QString& name : names)
        before.append(document.value(key, name));

    // The value to write is taken from the input too, so that every character is tried.
    const QString value = QString::fromUtf8(bytes.left(16));
    const QString changedName = QStringLiteral("Comp_ID");
    if (!document.set(key, {{changedName, value}}))
        return 0; // refused: the document must be unchanged
    const SettingsDocument reread = SettingsDocument::parse(document.bytes());
    if (reread.value(key, changedName) != value)
        std::abort();
    for (qsizetype i = 0; i < names.size(); ++i)
        if (names.at(i) != changedName && reread.value(key, names.at(i)) != before.at(i))
            std::abort();
    return 0;
}
