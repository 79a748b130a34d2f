#pragma once

namespace tarnlow {

// Numbered messages of the package builder; their texts live in section [MESSAGE] of every
// language file, each "%%" taking one parameter in order.
inline constexpr int kMsgPackageWritten = 10100;               // path, size
inline constexpr int kMsgPackageFileUnreadable = 10101;        // path, entry, reason
inline constexpr int kMsgPackageTooLarge = 10102;              // size
inline constexpr int kMsgPackageNameUnrepresentable = 10103;   // name, entry, character
inline constexpr int kMsgPackageScriptUnrepresentable = 10104; // character, line, column
inline constexpr int kMsgPackageVersionInvalid = 10105;        // text, reason
inline constexpr int kMsgPackageComponentInvalid = 10106;      // text, reason
inline constexpr int kMsgPackageNameInvalid = 10107;           // name, entry, reason
inline constexpr int kMsgPackageCannotWrite = 10108;           // path, reason
inline constexpr int kMsgPackageFileChanged = 10109;           // path, reason
inline constexpr int kMsgPackageReplaceQuestion = 10110;       // path
inline constexpr int kMsgPackageOutputExists = 10111;          // path
inline constexpr int kMsgPackageScriptRefused = 10112;         // reason
inline constexpr int kMsgPackageNameTwice = 10113;             // name, first entry, second entry
// Written, but some databases refuse its SQL script: path, size, what each database makes of it.
inline constexpr int kMsgPackageWrittenScriptPartly = 10117;
// Written and signed, but some databases refuse its SQL script: path, size, key id, signature
// path, what each database makes of it.
inline constexpr int kMsgPackageSignedScriptPartly = 10118;

} // namespace tarnlow
