#include "signing/file_record.h"
#include "signing/signing_key.h"

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

FileRecord sampleRecord() {
    FileRecord record;
    record.version = QStringLiteral("01");
    record.component = 7;
    record.updateIndex = 2;
    record.name = QStringLiteral("tarnlow_main.so");
    record.size = 1024;
    Sha256 hash;
    hash.add("abc");
    record.sha256 = hash.result();
    return record;
}

TEST(FileRecordSignature, EveryFieldIsCoveredAndTrailingBlanksDoNotCount) {
    const KeyPair pair = *generateKeyPair();
    FileRecord record = sampleRecord();
    ASSERT_TRUE(signFileRecord(record, pair.secretKey));
    EXPECT_EQ(record.keyId, pair.publicKey.id);
    EXPECT_TRUE(verifyFileRecord(record, pair.publicKey));

    FileRecord padded = record;
    padded.name += QStringLiteral("      ");
    padded.version += QStringLiteral("        ");
    EXPECT_TRUE(verifyFileRecord(padded, pair.publicKey));

    const std::vector<std::function<void(FileRecord&)>> changes{
        [](FileRecord& r) { r.version = QStringLiteral("02"); },
        [](FileRecord& r) { r.component = 8; },
        [](FileRecord& r) { r.updateIndex = 1; },
        [](FileRecord& r) { r.name = QStringLiteral("other.so"); },
        [](FileRecord& r) { r.size = 1025; },
        [](FileRecord& r) { r.sha256[0] = static_cast<char>(r.sha256[0] ^ 1); },
    };
    for (const auto& change : changes) {
        FileRecord changed = record;
        change(changed);
        EXPECT_FALSE(verifyFileRecord(changed, pair.publicKey));
    }
    const KeyPair other = *generateKeyPair();
    EXPECT_TRUE(verifyFileRecord(record, other.publicKey).error().contains(QLatin1String("names key")));
}

TEST(FileRecordSignature, SignedEntriesTravelInTheTrustedComment) {
    const KeyPair pair = *generateKeyPair();
    FileRecord record = sampleRecord();
    ASSERT_TRUE(signFileRecord(record, pair.secretKey));
    const QList<SignedFileEntry> entries{{2, 1024, record.sha256, record.signature},
                                         {3, 0, record.sha256, record.signature}};
    const QByteArray comment = "timestamp:5\tfile:x.fuf\thashed\t" + signedFileEntriesField(entries);
    const auto read = signedFileEntries(comment);
    ASSERT_TRUE(read);
    ASSERT_TRUE(read->has_value());
    ASSERT_EQ((*read)->size(), 2);
    EXPECT_EQ((*read)->at(0).updateIndex, 2);
    EXPECT_EQ((*read)->at(0).signature, record.signature);
    EXPECT_EQ((*read)->at(1).size, 0);

    EXPECT_FALSE(signedFileEntries("timestamp:5\tfile:x.fuf")->has_value());
    EXPECT_TRUE(signedFileEntries("files:")->value().isEmpty());
    EXPECT_FALSE(signedFileEntries("files:1:10:abcd:sig"));
    EXPECT_FALSE(
        signedFileEntries("files:x:10:" + record.sha256.toHex() + ":" + record.signature.toBase64()));

    // SHA-256 of "abc", the standard's own example.
    EXPECT_EQ(record.sha256.toHex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

} // namespace
} // namespace tarnlow
