#pragma once

namespace tarnlow {

// Numbered messages of signed packages and verified downloads.
inline constexpr int kMsgSignatureRefused = 11900;        // package path, what is wrong (which key, why)
inline constexpr int kMsgTrustedKeysUnreadable = 11901;   // where and why
inline constexpr int kMsgDownloadFileRefused = 11902;     // name, version, component, index, why
inline constexpr int kMsgDownloadsNotVerified = 11903;    // none
inline constexpr int kMsgPackageWithoutRecords = 11904;   // package path, key id
inline constexpr int kMsgPackageWrittenAndSigned = 11905; // package path, size, key id, signature path
inline constexpr int kMsgSecretKeyUnusable = 11906;       // key path, reason
inline constexpr int kMsgPackageNotSigned = 11907;        // package path, reason

} // namespace tarnlow
