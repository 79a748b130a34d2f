#include "host/settings_document.h"
#include "host/settings_store.h"

#include "support/test_environment.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

const QByteArray kHeader = "[HKEY_LOCAL_MACHINE\\Software\\Tarnlow_As]";

QList<QPair<QString, QString>> one(const QString& name, const QString& value) {
    return {{name, value}};
}

} // namespace

TEST(SettingsDocument, LinesItDoesNotChangeStayByteForByte) {
    // Lines before the first section, comments, blank lines, CRLF line ends, a line without '=',
    // a value that is not UTF-8 and a last line without a line end.
    const QByteArray original =
        "; written by hand\r\nstray=before any section\r\n" + kHeader +
        "\r\n; the connection\r\nServerIP=db1\r\nnot a value\r\n\r\nlogin=\xB2\xE2\r\n"
        "[Other]\r\nComp_ID=7";
    SettingsDocument document = SettingsDocument::parse(original);
    EXPECT_EQ(document.bytes(), original);
    EXPECT_EQ(document.value(kSettingsKey, QStringLiteral("ServerIP")), QStringLiteral("db1"));
    EXPECT_FALSE(document.value(kSettingsKey, QStringLiteral("stray")));

    ASSERT_TRUE(document.set(kSettingsKey, one(QStringLiteral("ServerIP"), QStringLiteral("db2"))).ok());
    ASSERT_TRUE(
        document.set(QStringLiteral("Other"), one(QStringLiteral("Lang"), QStringLiteral("x.flf"))).ok());
    ASSERT_TRUE(document.set(QStringLiteral("New"), one(QStringLiteral("a"), QStringLiteral(" b "))).ok());
    EXPECT_EQ(document.bytes(),
              "; written by hand\r\nstray=before any section\r\n" + kHeader +
                  "\r\n; the connection\r\nServerIP=db2\r\nnot a value\r\n\r\nlogin=\xB2\xE2\r\n"
                  "[Other]\r\nComp_ID=7\r\nLang=x.flf\r\n\r\n[New]\r\na=%20b%20\r\n");
    const SettingsDocument reread = SettingsDocument::parse(document.bytes());
    EXPECT_EQ(reread.value(QStringLiteral("New"), QStringLiteral("a")), QStringLiteral(" b "));
    EXPECT_EQ(reread.value(QStringLiteral("Other"), QStringLiteral("Comp_ID")), QStringLiteral("7"));
}

TEST(SettingsDocument, ChangesThatCouldLoseALineAreRefusedWithItsNumber) {
    const QByteArray damagedHeader = kHeader.chopped(1) + "\nComp_ID=12\nlogin=sa\n";
    SettingsDocument damaged = SettingsDocument::parse(damagedHeader);
    const Result<void> refused =
        damaged.set(kSettingsKey, one(QStringLiteral("Lang"), QStringLiteral("x.flf")));
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().contains(QStringLiteral("line 1"))) << refused.error().toStdString();
    EXPECT_EQ(damaged.bytes(), damagedHeader);

    const QByteArray undecodable = kHeader + "\nLang=\xFF\xFE.flf\nlogin=sa\n";
    SettingsDocument document = SettingsDocument::parse(undecodable);
    const Result<void> kept =
        document.set(kSettingsKey, one(QStringLiteral("Lang"), QStringLiteral("y.flf")));
    ASSERT_FALSE(kept.ok());
    EXPECT_TRUE(kept.error().contains(QStringLiteral("line 2"))) << kept.error().toStdString();
    EXPECT_EQ(document.bytes(), undecodable);
    // Other values of that file can still change; the line that cannot be read stays as it is.
    ASSERT_TRUE(document.set(kSettingsKey, one(QStringLiteral("login"), QStringLiteral("game"))).ok());
    EXPECT_EQ(document.bytes(), kHeader + "\nLang=\xFF\xFE.flf\nlogin=game\n");
}

TEST(SettingsDocument, ALoneCarriageReturnAtTheEndIsNoLineEnd) {
    // Found by the settings file fuzz target: new lines took the lone CR for the file's line end,
    // and the section written after it could not be read back.
    SettingsDocument document = SettingsDocument::parse(";; comment \r");
    EXPECT_EQ(document.bytes(), QByteArray(";; comment \r"));
    ASSERT_TRUE(document.set(kSettingsKey, one(QStringLiteral("Comp_ID"), QStringLiteral("1"))).ok());
    EXPECT_EQ(document.bytes(), QByteArray(";; comment \r\r\n\n" + kHeader + "\nComp_ID=1\n"));
    EXPECT_EQ(SettingsDocument::parse(document.bytes()).value(kSettingsKey, QStringLiteral("Comp_ID")),
              QStringLiteral("1"));

    // A value on that last line keeps its CR when a new value follows it.
    SettingsDocument value = SettingsDocument::parse(kHeader + "\nword=%s\r");
    ASSERT_TRUE(value.set(kSettingsKey, one(QStringLiteral("Comp_ID"), QStringLiteral("2"))).ok());
    const SettingsDocument reread = SettingsDocument::parse(value.bytes());
    EXPECT_EQ(reread.value(kSettingsKey, QStringLiteral("word")), QStringLiteral("%s\r"));
    EXPECT_EQ(reread.value(kSettingsKey, QStringLiteral("Comp_ID")), QStringLiteral("2"));
}

TEST(SettingsDocument, ByteOrderMarkAtTheStartOfAValueSurvives) {
    const QString marked = QChar(0xFEFF) + QStringLiteral("English.flf");
    SettingsDocument document = SettingsDocument::parse({});
    ASSERT_TRUE(document.set(kSettingsKey, one(QStringLiteral("Lang"), marked)).ok());
    EXPECT_EQ(SettingsDocument::parse(document.bytes()).value(kSettingsKey, QStringLiteral("Lang")), marked);
    EXPECT_FALSE(document.bytes().contains("\xEF\xBB\xBF"));
}

TEST(SettingsStore, DamagedFileIsLeftAsItWasAndTheWriteSaysWhere) {
    test::ScratchFolder scratch;
    const QByteArray damaged = kHeader.chopped(1) + "\nComp_ID=12\nServerIP=db1\n";
    ASSERT_TRUE(scratch.write(QStringLiteral("registry.ini"), damaged));
    SettingsStore store = SettingsStore::standard();
    const Result<void> refused =
        store.writeValues(kSettingsKey, one(QStringLiteral("Lang"), QStringLiteral("x.flf")));
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().contains(store.filePath())) << refused.error().toStdString();
    EXPECT_TRUE(refused.error().contains(QStringLiteral("line 1"))) << refused.error().toStdString();
    EXPECT_FALSE(store.write(kSettingsKey, QStringLiteral("Lang"), QStringLiteral("x.flf")));
    EXPECT_EQ(scratch.read(QStringLiteral("registry.ini")), damaged);
}

TEST(SettingsStore, SeveralValuesAreWrittenInOneWrite) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    ASSERT_TRUE(store
                    .writeValues(kSettingsKey, {{QStringLiteral("DBMS"), QStringLiteral("PostgreSQL")},
                                                {QStringLiteral("database"), QStringLiteral("game")}})
                    .ok());
    EXPECT_EQ(scratch.read(QStringLiteral("registry.ini")), kHeader + "\nDBMS=PostgreSQL\ndatabase=game\n");
}
