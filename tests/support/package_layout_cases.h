#pragma once

#include "support/package_bytes.h"

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace tarnlow::test {

// One file given to a package builder: the name of the file on disk and its bytes.
struct PackageInputFile {
    QString name;
    QByteArray bytes;
};

// What an operator gives a package builder, and the package bytes it must write, assembled field
// by field from the layout rather than by the writer under test.
struct PackageLayoutCase {
    const char* what;
    std::optional<QString> version;   // none: the builder's default, "01"
    std::optional<QString> component; // none: the builder's default, "076"
    std::array<std::optional<PackageInputFile>, 4> files;
    QString script; // empty: none
    QByteArray expected;
};

// The layouts every road to a package file (the writer itself, tarnlow_as_cli pack and the
// builder window) must write byte for byte.
inline QList<PackageLayoutCase> packageLayoutCases() {
    QList<PackageLayoutCase> cases;
    const std::array<QByteArray, 4> blank{blankEntry(), blankEntry(), blankEntry(), blankEntry()};
    cases.append(
        {"no files and no script: the bare header", {}, {}, {}, {}, headerBytes("01", "076", blank, 0)});

    const QByteArray thousand = patternBytes(1000, 1);
    cases.append(
        {"a file keeps its entry",
         {},
         {},
         {std::nullopt, PackageInputFile{QStringLiteral("second.bin"), thousand}, std::nullopt, std::nullopt},
         {},
         headerBytes("01", "076",
                     {blankEntry(), usedEntry(257, 1256, "second.bin"), blankEntry(), blankEntry()}, 0) +
             thousand});

    const QByteArray ten = patternBytes(10, 2);
    const QByteArray twenty = patternBytes(20, 3);
    cases.append(
        {"positions run on, the script follows the files, short numbers are padded",
         QStringLiteral("7"),
         QStringLiteral("12"),
         {PackageInputFile{QStringLiteral("a.dll"), ten}, std::nullopt,
          PackageInputFile{QStringLiteral("c.exe"), twenty}, std::nullopt},
         QStringLiteral("go 1;"),
         headerBytes("07", "012",
                     {usedEntry(257, 266, "a.dll"), blankEntry(), usedEntry(267, 286, "c.exe"), blankEntry()},
                     287) +
             ten + twenty + "go 1;"});

    cases.append({"a zero-byte file ends before its start and takes no room",
                  {},
                  {},
                  {PackageInputFile{QStringLiteral("empty.txt"), QByteArray()},
                   PackageInputFile{QStringLiteral("x.txt"), QByteArray("xyz")}, std::nullopt, std::nullopt},
                  {},
                  headerBytes("01", "076",
                              {usedEntry(257, 256, "empty.txt"), usedEntry(257, 259, "x.txt"), blankEntry(),
                               blankEntry()},
                              0) +
                      "xyz"});

    // A file of three blocks, a script of two, numbers that keep their last digits; the script's
    // Chinese lands in the package as GBK.
    const QByteArray big = patternBytes(70000, 4);
    const QByteArray digits = "0123456789012345678901234567890123456789";
    const QByteArray scriptBytes = QByteArray(40000, 's') + "\n-- \xB2\xE2\xCA\xD4";
    cases.append({"large files and long scripts move whole; numbers keep their last digits",
                  QStringLiteral("123"),
                  QStringLiteral("1234"),
                  {PackageInputFile{QStringLiteral("zero"), QByteArray()}, std::nullopt, std::nullopt,
                   PackageInputFile{QString::fromLatin1(digits), big}},
                  QString(40000, QLatin1Char('s')) + QStringLiteral("\n-- 测试"),
                  headerBytes("23", "234",
                              {usedEntry(257, 256, "zero"), blankEntry(), blankEntry(),
                               usedEntry(257, 70256, digits.left(32))},
                              70257) +
                      big + scriptBytes});

    // A 40-byte name keeps its first 32 bytes; a backslash is an ordinary character in a Linux
    // file name, yet the stored name starts after it; "a" and 16 two-byte characters are 33
    // bytes, and the 32nd would be half a character.
    const QByteArray letters = "abcdefghijklmnopqrstuvwxyz0123456789.bin";
    QByteArray cut = "a";
    for (int i = 0; i < 15; ++i)
        cut += "\xB2\xE2";
    cases.append({"names start after either separator and are cut to whole characters",
                  {},
                  {},
                  {PackageInputFile{QString::fromLatin1(letters), QByteArray("content")},
                   PackageInputFile{QStringLiteral("dir\\inner.txt"), QByteArray("12")},
                   PackageInputFile{QStringLiteral("a") + QString(16, QChar(0x6D4B)), QByteArray("z")},
                   PackageInputFile{QStringLiteral("测试"), QByteArray()}},
                  {},
                  headerBytes("01", "076",
                              {usedEntry(257, 263, letters.left(32)), usedEntry(264, 265, "inner.txt"),
                               usedEntry(266, 266, cut), usedEntry(267, 266, "\xB2\xE2\xCA\xD4")},
                              0) +
                      "content12z"});
    return cases;
}

} // namespace tarnlow::test
