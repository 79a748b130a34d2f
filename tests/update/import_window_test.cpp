#include "import_fixture.h"

#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "lang/uo_std_st.h"
#include "signing/trusted_keys.h"
#include "support/message_box_recorder.h"
#include "update/package_reader.h"
#include "update/package_signature.h"
#include "update/w_update.h"

#include <QEvent>
#include <QLabel>

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

using test::PackageFileSpec;

// Notes every time the window is shown and what its value labels read each time the name label
// is painted.
class WindowWatcher : public QObject {
public:
    explicit WindowWatcher(w_update& window)
        : m_window(window) {
        window.installEventFilter(this);
        window.st_5->installEventFilter(this);
    }
    int shown = 0;
    QStringList painted;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == &m_window && event->type() == QEvent::Show)
            ++shown;
        if (object == m_window.st_5 && event->type() == QEvent::Paint) {
            const QString line = m_window.st_2->text() + QLatin1Char('|') + m_window.st_5->text().trimmed() +
                                 QLatin1Char('|') + m_window.st_3->text();
            if (painted.isEmpty() || painted.last() != line)
                painted.append(line);
        }
        return false;
    }

private:
    w_update& m_window;
};

class ImportWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousPath = gs_path;
        m_previousLang = gs_lang;
        gs_path = qEnvironmentVariable("TARNLOW_SOURCE_DIR") + QStringLiteral("/share/lang/");
        gs_lang = QStringLiteral("English.flf");
        m_database.configure(sqlca);
        ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
        ASSERT_EQ(test::createVersionTable(sqlca, m_database.binaryType()), kSqlSuccess);
    }
    void TearDown() override {
        gs_path = m_previousPath;
        gs_lang = m_previousLang;
    }

    QString writePackage(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(m_database.scratch().write(name, bytes));
        return m_database.scratch().file(name);
    }

    test::BackendDatabase m_database{test::Backend::Sqlite};
    Transaction sqlca;
    QString m_previousPath;
    QString m_previousLang;
};

TEST_F(ImportWindowTest, ShowsEachFileAsItIsStoredAndClosesWithOne) {
    const QString path = writePackage(
        QStringLiteral("p.fuf"),
        test::buildPackage("01", "007",
                           {PackageFileSpec{"client.exe", test::patternBytes(3000, 1)}, std::nullopt,
                            PackageFileSpec{"data.pak", test::patternBytes(12, 2)}, std::nullopt}));
    test::MessageBoxRecorder boxes;
    w_update window;
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.st_1->tag(), QStringLiteral("FILE_VER"));
    EXPECT_EQ(window.st_10->tag(), QStringLiteral("FILE_NAME"));
    EXPECT_EQ(window.st_11->tag(), QStringLiteral("FILE_SIZE"));
    EXPECT_EQ(window.st_1->text(), QStringLiteral("Version:")); // from the language file
    WindowWatcher watcher(window);

    EXPECT_EQ(window.open(sqlca, path), std::optional<int>(1));

    EXPECT_EQ(watcher.shown, 1);
    // The import runs on its own thread and two small files may be stored between two paints, so
    // the window paints each file's values or skips to the next; never a mixture, never out of
    // order, and always the last file.
    const QStringList files{QStringLiteral("01.7|client.exe|3000"), QStringLiteral("01.7|data.pak|12")};
    ASSERT_FALSE(watcher.painted.isEmpty());
    EXPECT_EQ(watcher.painted.last(), files.last());
    qsizetype next = 0;
    for (const QString& line : watcher.painted) {
        const qsizetype found = files.indexOf(line, next);
        EXPECT_GE(found, 0) << line.toStdString();
        next = found + 1;
    }
    EXPECT_EQ(window.ii_comp_index, 2);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(boxes.requests().isEmpty());
    EXPECT_EQ(test::storedRows(sqlca).size(), 2);
}

TEST_F(ImportWindowTest, StoredPackageClosesWithoutResultAndStaysInvisible) {
    const QString path = writePackage(
        QStringLiteral("p.fuf"),
        test::buildPackage("02", "001",
                           {PackageFileSpec{"a.bin", "abc"}, std::nullopt, std::nullopt, std::nullopt}));
    test::MessageBoxRecorder boxes;
    {
        w_update first;
        ASSERT_EQ(first.open(sqlca, path), std::optional<int>(1));
    }
    w_update window;
    WindowWatcher watcher(window);
    EXPECT_EQ(window.open(sqlca, path), std::nullopt);
    EXPECT_EQ(watcher.shown, 0);
    EXPECT_TRUE(boxes.requests().isEmpty());
    EXPECT_EQ(test::storedRows(sqlca).size(), 1);
}

TEST_F(ImportWindowTest, RefusedPackageIsReportedWithANumberedMessage) {
    QByteArray bytes = test::buildPackage(
        "03", "001", {PackageFileSpec{"a.bin", "abc"}, std::nullopt, std::nullopt, std::nullopt},
        "create table must_not_exist ( n int )");
    bytes[0] = 'M'; // not an update package
    const QString path = writePackage(QStringLiteral("not-a-package.fuf"), bytes);
    test::MessageBoxRecorder boxes;
    w_update window;
    WindowWatcher watcher(window);

    EXPECT_EQ(window.open(sqlca, path), std::nullopt);

    EXPECT_EQ(watcher.shown, 0);
    ASSERT_EQ(boxes.requests().size(), 1);
    EXPECT_EQ(boxes.requests()[0].title, QStringLiteral("Information"));
    // A file that is not a package at all says so first; the bytes follow.
    EXPECT_TRUE(boxes.requests()[0].text.startsWith(path + QStringLiteral(" is not an update package")))
        << boxes.requests()[0].text.toStdString();
    EXPECT_TRUE(boxes.requests()[0].text.contains(QStringLiteral("0x0E")))
        << boxes.requests()[0].text.toStdString();
    EXPECT_TRUE(test::storedRows(sqlca).isEmpty());
}

TEST_F(ImportWindowTest, WithATrustedKeyAnUnsignedPackageIsRefusedAndASignedOneApplied) {
    const KeyPair pair = *generateKeyPair();
    ASSERT_TRUE(SettingsStore::standard().write(kSettingsKey, kTrustedKeysValue,
                                                QString::fromLatin1(pair.publicKey.base64())));
    const QString path = writePackage(
        QStringLiteral("p.fuf"),
        test::buildPackage("04", "002",
                           {PackageFileSpec{"a.bin", "abc"}, std::nullopt, std::nullopt, std::nullopt}));
    test::MessageBoxRecorder boxes;
    {
        w_update window;
        WindowWatcher watcher(window);
        EXPECT_EQ(window.open(sqlca, path), std::nullopt);
        EXPECT_EQ(watcher.shown, 0);
    }
    ASSERT_EQ(boxes.requests().size(), 1);
    EXPECT_TRUE(boxes.requests()[0].text.contains(QStringLiteral("was not applied: it has no signature")))
        << boxes.requests()[0].text.toStdString();
    EXPECT_TRUE(test::storedRows(sqlca).isEmpty());

    ASSERT_TRUE(signPackage(*PackageReader::open(path), pair.secretKey));
    w_update window;
    EXPECT_EQ(window.open(sqlca, path), std::optional<int>(1));
    EXPECT_EQ(boxes.requests().size(), 1);
    EXPECT_EQ(test::storedRows(sqlca).size(), 1);
}

} // namespace
} // namespace tarnlow
