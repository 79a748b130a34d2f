#include "support/minisign_tool.h"
#include "support/test_environment.h"

#include "signing/file_signature.h"
#include "signing/signing_key.h"

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

using test::runMinisign;
using test::ScratchFolder;

// A key pair made by minisign, read by this program, and a file larger than one read block.
struct MinisignPair {
    ScratchFolder folder;
    PublicKey publicKey;
    SecretKey secretKey;

    MinisignPair() {
        EXPECT_EQ(runMinisign(folder.path(), {"-G", "-W", "-p", "k.pub", "-s", "k.key"}).exitCode, 0);
        publicKey = *parsePublicKey(folder.read(QStringLiteral("k.pub")));
        secretKey = *parseSecretKey(folder.read(QStringLiteral("k.key")), std::nullopt);
        QByteArray data;
        for (int i = 0; i < 200000; ++i)
            data.append(static_cast<char>(i * 7));
        EXPECT_TRUE(folder.write(QStringLiteral("data.bin"), data));
    }
};

TEST(FileSignature, MinisignVerifiesOursAndWeVerifyMinisigns) {
    MinisignPair pair;
    const QString data = pair.folder.file(QStringLiteral("data.bin"));
    const Result<FileSignature> ours =
        signFile(data, pair.secretKey, QByteArrayLiteral("timestamp:1\tfile:data.bin\thashed"));
    ASSERT_TRUE(ours) << ours.error().toStdString();
    ASSERT_TRUE(pair.folder.write(QStringLiteral("data.bin.minisig"), ours->fileText()));
    const test::ToolRun check = runMinisign(pair.folder.path(), {"-V", "-p", "k.pub", "-m", "data.bin"});
    EXPECT_EQ(check.exitCode, 0) << check.output.toStdString();
    EXPECT_TRUE(check.output.contains(QLatin1String("file:data.bin")));

    ASSERT_EQ(
        runMinisign(pair.folder.path(), {"-S", "-W", "-s", "k.key", "-m", "data.bin", "-t", "by minisign"})
            .exitCode,
        0);
    const Result<FileSignature> theirs =
        parseFileSignature(pair.folder.read(QStringLiteral("data.bin.minisig")));
    ASSERT_TRUE(theirs) << theirs.error().toStdString();
    EXPECT_EQ(theirs->trustedComment, "by minisign");
    const Result<void> verified = verifyFile(data, *theirs, pair.publicKey);
    EXPECT_TRUE(verified) << verified.error().toStdString();
}

TEST(FileSignature, AChangedByteCommentOrKeyIsRefusedWithTheReason) {
    MinisignPair pair;
    const QString data = pair.folder.file(QStringLiteral("data.bin"));
    ASSERT_EQ(runMinisign(pair.folder.path(), {"-S", "-W", "-s", "k.key", "-m", "data.bin"}).exitCode, 0);
    const FileSignature signature = *parseFileSignature(pair.folder.read(QStringLiteral("data.bin.minisig")));

    FileSignature otherComment = signature;
    otherComment.trustedComment += "x";
    EXPECT_TRUE(
        verifyFile(data, otherComment, pair.publicKey).error().contains(QLatin1String("trusted comment")));

    const KeyPair stranger = *generateKeyPair();
    EXPECT_TRUE(
        verifyFile(data, signature, stranger.publicKey).error().contains(QLatin1String("made by key")));
    PublicKey sameIdOtherKey = stranger.publicKey;
    sameIdOtherKey.id = pair.publicKey.id;
    EXPECT_TRUE(verifyFile(data, signature, sameIdOtherKey).error().contains(QLatin1String("do not match")));

    QByteArray bytes = pair.folder.read(QStringLiteral("data.bin"));
    bytes[150000] = static_cast<char>(bytes[150000] ^ 0x01);
    ASSERT_TRUE(pair.folder.write(QStringLiteral("data.bin"), bytes));
    EXPECT_TRUE(verifyFile(data, signature, pair.publicKey).error().contains(QLatin1String("do not match")));
    EXPECT_NE(runMinisign(pair.folder.path(), {"-V", "-p", "k.pub", "-m", "data.bin"}).exitCode, 0);

    EXPECT_TRUE(verifyFile(pair.folder.file(QStringLiteral("missing")), signature, pair.publicKey)
                    .error()
                    .contains(QLatin1String("cannot be read")));
}

TEST(FileSignature, TruncatedOrForeignSignatureFilesNameTheLine) {
    MinisignPair pair;
    ASSERT_EQ(runMinisign(pair.folder.path(), {"-S", "-W", "-s", "k.key", "-m", "data.bin"}).exitCode, 0);
    const QByteArray text = pair.folder.read(QStringLiteral("data.bin.minisig"));
    const QList<QByteArray> lines = text.split('\n');
    EXPECT_TRUE(parseFileSignature("").error().contains(QLatin1String("empty")));
    EXPECT_TRUE(parseFileSignature(QByteArray(lines.at(0) + "\n" + lines.at(1) + "\n"))
                    .error()
                    .contains(QLatin1String("ends after line 2")));
    EXPECT_TRUE(parseFileSignature(text.left(text.size() - 30)).error().contains(QLatin1String("line 4")));
    EXPECT_TRUE(parseFileSignature("hello\n").error().contains(QLatin1String("line 1")));
    QByteArray legacy = QByteArray::fromBase64(lines.at(1));
    legacy[1] = 'd';
    const Result<FileSignature> legacySignature = parseFileSignature(
        QByteArray(lines.at(0) + "\n" + legacy.toBase64() + "\n" + lines.at(2) + "\n" + lines.at(3)));
    ASSERT_TRUE(legacySignature);
    EXPECT_FALSE(legacySignature->prehashed);
    EXPECT_TRUE(verifyFile(pair.folder.file(QStringLiteral("data.bin")), *legacySignature, pair.publicKey)
                    .error()
                    .contains(QLatin1String("legacy")));
    // Line ends written on another system still read.
    QByteArray crlf = text;
    crlf.replace("\n", "\r\n");
    EXPECT_TRUE(
        verifyFile(pair.folder.file(QStringLiteral("data.bin")), *parseFileSignature(crlf), pair.publicKey));
}

} // namespace
} // namespace tarnlow
