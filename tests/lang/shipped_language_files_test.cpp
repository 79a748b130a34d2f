#include "host/code_page.h"
#include "lang/english_messages.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

const QString kSourceFolder = QStringLiteral(TARNLOW_SOURCE_FOLDER);

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Section (upper case) -> key (upper case) -> value, in the file's order of keys.
using Sections = QMap<QString, QList<std::pair<QString, QString>>>;

Sections parse(const QString& fileName) {
    const QByteArray bytes = readBytes(kSourceFolder + QStringLiteral("/share/lang/") + fileName);
    EXPECT_FALSE(bytes.isEmpty()) << qPrintable(fileName);
    const Result<QString> text = decodeTextFile(bytes);
    EXPECT_TRUE(text.ok()) << qPrintable(fileName);
    Sections sections;
    QString section;
    for (QString line : (text ? *text : QString()).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            section = line.mid(1, line.indexOf(QLatin1Char(']')) - 1).trimmed().toUpper();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        EXPECT_GT(equals, 0) << qPrintable(fileName + QStringLiteral(": ") + line);
        sections[section].append({line.left(equals).trimmed().toUpper(), line.mid(equals + 1).trimmed()});
    }
    return sections;
}

QStringList keys(const Sections& sections, const QString& section) {
    QStringList result;
    for (const auto& [key, value] : sections.value(section))
        result.append(key);
    return result;
}

QString value(const Sections& sections, const QString& section, const QString& key) {
    for (const auto& [name, text] : sections.value(section)) {
        if (name == key)
            return text;
    }
    return QStringLiteral("<missing>");
}

} // namespace

TEST(ShippedLanguageFiles, ChineseFileIsGbkAndEnglishFileUtf8) {
    const QByteArray chinese = readBytes(kSourceFolder + QStringLiteral("/share/lang/Chinese.flf"));
    EXPECT_FALSE(isValidUtf8(chinese)) << "Chinese.flf must be GBK bytes, so that the GBK path is used";
    EXPECT_TRUE(isValidUtf8(readBytes(kSourceFolder + QStringLiteral("/share/lang/English.flf"))));
    const Sections sections = parse(QStringLiteral("Chinese.flf"));
    EXPECT_EQ(value(sections, QStringLiteral("MESSAGE"), QStringLiteral("TITLE")),
              QStringLiteral("提示信息"));
    EXPECT_EQ(value(sections, QStringLiteral("BUTTON"), QStringLiteral("SYS_DBMS")),
              QStringLiteral("数据库类型："));
    EXPECT_EQ(value(sections, QStringLiteral("TEXT"), QStringLiteral("APP_NAME")),
              QStringLiteral("Tarnlow私服辅助程序"));
}

TEST(ShippedLanguageFiles, BothFilesHoldTheSameKeysAndEveryKeyThatIsRead) {
    const Sections english = parse(QStringLiteral("English.flf"));
    const Sections chinese = parse(QStringLiteral("Chinese.flf"));
    EXPECT_EQ(english.keys(), chinese.keys());
    for (const QString& section : english.keys()) {
        QStringList englishKeys = keys(english, section);
        QStringList chineseKeys = keys(chinese, section);
        EXPECT_EQ(englishKeys.removeDuplicates(), 0)
            << "duplicate key in English.flf [" << qPrintable(section) << "]";
        EXPECT_EQ(chineseKeys.removeDuplicates(), 0)
            << "duplicate key in Chinese.flf [" << qPrintable(section) << "]";
        englishKeys.sort();
        chineseKeys.sort();
        EXPECT_EQ(englishKeys, chineseKeys) << "section [" << qPrintable(section) << "]";
    }

    QMap<QString, QStringList> required = {
        {QStringLiteral("FLF"), {QStringLiteral("NAME"), QStringLiteral("FONT")}},
        {QStringLiteral("TEXT"), {QStringLiteral("APP_NAME")}},
        {QStringLiteral("MESSAGE"), {QStringLiteral("TITLE"), QStringLiteral("10026")}},
        {QStringLiteral("MENU"),
         {QStringLiteral("M_FILE"), QStringLiteral("M_CHECK_VER"), QStringLiteral("M_LANG"),
          QStringLiteral("M_HELP"), QStringLiteral("M_ABOUT")}},
        {QStringLiteral("BUTTON"),
         QStringLiteral(
             "AUTO_LOGIN LOGIN_CANCEL LOGIN_OK SYS_SERVER SYS_SERVER_IP SYS_SERVER_LOGIN SYS_PASSWORD "
             "SYS_DATABASE SYS_LANGUAGE SYS_DBMS FILE_SIZE FILE_NAME FILE_VER")
             .split(QLatin1Char(' '))}};
    // The language keys of the default menu rows.
    for (int id : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 24, 25, 27})
        required[QStringLiteral("TREE")].append(QStringLiteral("TREE_ID%1").arg(id));
    for (auto it = required.cbegin(); it != required.cend(); ++it) {
        for (const QString& key : it.value()) {
            EXPECT_TRUE(keys(english, it.key()).contains(key))
                << qPrintable(it.key() + QLatin1Char('/') + key);
            EXPECT_FALSE(value(english, it.key(), key).isEmpty())
                << qPrintable(it.key() + QLatin1Char('/') + key);
        }
    }
}

namespace {

// The numbers of docs/messages.md's table: rows that start with a number.
QSet<QString> numbersInMessageTable() {
    const QString table = QString::fromUtf8(readBytes(kSourceFolder + QStringLiteral("/docs/messages.md")));
    EXPECT_FALSE(table.isEmpty()) << "docs/messages.md cannot be read";
    QSet<QString> numbers;
    static const QRegularExpression row(QStringLiteral("^\\| *([0-9]+) *\\|"),
                                        QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch& match : row.globalMatch(table))
        numbers.insert(match.captured(1));
    return numbers;
}

QSet<QString> messageKeys(const Sections& sections) {
    QStringList list = keys(sections, QStringLiteral("MESSAGE"));
    list.removeAll(QStringLiteral("TITLE"));
    return QSet<QString>(list.cbegin(), list.cend());
}

// A message number the code uses, and where it is defined.
struct UsedMessage {
    QString number;
    QString where; // file:line and the constant's name
};

// The message numbers defined in the program's sources: every integer constant whose name says it
// is a message (kMessage..., kMsg..., k...Message), in src/ and plugins/.
QList<UsedMessage> messagesUsedInTheCode() {
    static const QRegularExpression constant(
        QStringLiteral("\\bconstexpr\\s+int\\s+(\\w*(?:Message|Msg)\\w*)\\s*=\\s*([0-9]+)\\s*;"));
    QList<UsedMessage> used;
    for (const QString& folder : {QStringLiteral("/src"), QStringLiteral("/plugins")}) {
        QDirIterator files(kSourceFolder + folder, {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                           QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            const QStringList lines = QString::fromUtf8(readBytes(path)).split(QLatin1Char('\n'));
            for (qsizetype i = 0; i < lines.size(); ++i) {
                for (const QRegularExpressionMatch& match : constant.globalMatch(lines.at(i))) {
                    used.append({match.captured(2), path.mid(kSourceFolder.size() + 1) + QLatin1Char(':') +
                                                        QString::number(i + 1) + QLatin1Char(' ') +
                                                        match.captured(1)});
                }
            }
        }
    }
    return used;
}

} // namespace

TEST(ShippedLanguageFiles, MessagesAgreeInPlaceholdersAndAreListedInTheMessageTable) {
    const Sections english = parse(QStringLiteral("English.flf"));
    const Sections chinese = parse(QStringLiteral("Chinese.flf"));
    const QSet<QString> table = numbersInMessageTable();
    for (const QString& key : keys(english, QStringLiteral("MESSAGE"))) {
        if (key == QStringLiteral("TITLE"))
            continue;
        bool isNumber = false;
        key.toShort(&isNumber);
        EXPECT_TRUE(isNumber) << "message key " << qPrintable(key) << " is not a 16-bit number";
        const QString englishText = value(english, QStringLiteral("MESSAGE"), key);
        const QString chineseText = value(chinese, QStringLiteral("MESSAGE"), key);
        EXPECT_EQ(englishText.count(QStringLiteral("%%")), chineseText.count(QStringLiteral("%%")))
            << "message " << qPrintable(key) << " has a different number of parameters in the two files";
        EXPECT_TRUE(table.contains(key))
            << "message " << qPrintable(key) << " is missing in docs/messages.md";
    }
}

TEST(ShippedLanguageFiles, EveryMessageTheCodeUsesIsInTheTableAndBothLanguageFiles) {
    const QList<UsedMessage> used = messagesUsedInTheCode();
    // Both ways the code names a message are found, so a scan that finds nothing cannot pass.
    QStringList usedNumbers;
    for (const UsedMessage& message : used)
        usedNumbers.append(message.number);
    ASSERT_TRUE(usedNumbers.contains(QStringLiteral("10407"))) << "kMessage... constants not found";
    ASSERT_TRUE(usedNumbers.contains(QStringLiteral("10300"))) << "kMsg... constants not found";
    ASSERT_TRUE(usedNumbers.contains(QStringLiteral("10026"))) << "k...Message constants not found";

    const struct {
        const char* place;
        QSet<QString> numbers;
    } places[] = {
        {"docs/messages.md", numbersInMessageTable()},
        {"share/lang/English.flf", messageKeys(parse(QStringLiteral("English.flf")))},
        {"share/lang/Chinese.flf", messageKeys(parse(QStringLiteral("Chinese.flf")))},
    };
    for (const auto& place : places) {
        for (const UsedMessage& message : used) {
            EXPECT_TRUE(place.numbers.contains(message.number))
                << "message " << qPrintable(message.number) << " (" << qPrintable(message.where)
                << ") is missing in " << place.place;
        }
    }
}

TEST(ShippedLanguageFiles, BuildCopiesThemNextToTheExecutables) {
    const QString binaries = QStringLiteral(TARNLOW_BINARY_FOLDER);
    for (const QString& name : {QStringLiteral("English.flf"), QStringLiteral("Chinese.flf")}) {
        EXPECT_EQ(readBytes(binaries + QLatin1Char('/') + name),
                  readBytes(kSourceFolder + QStringLiteral("/share/lang/") + name))
            << qPrintable(name);
    }
}

TEST(ShippedLanguageFiles, TheProgramsEnglishMessagesAreThoseOfEnglishFlf) {
    const Sections english = parse(QStringLiteral("English.flf"));
    QList<std::pair<int, QString>> inFile;
    for (const auto& [key, text] : english.value(QStringLiteral("MESSAGE"))) {
        if (key != QStringLiteral("TITLE"))
            inFile.append({key.toInt(), text});
    }
    // Same numbers, same order, same texts: a message added or changed in one place only fails here.
    ASSERT_EQ(englishMessages().size(), inFile.size());
    for (qsizetype i = 0; i < inFile.size(); ++i) {
        EXPECT_EQ(englishMessages().at(i).first, inFile.at(i).first) << "row " << i;
        EXPECT_EQ(englishMessages().at(i).second, inFile.at(i).second)
            << "message " << inFile.at(i).first << " differs from English.flf";
    }
}
