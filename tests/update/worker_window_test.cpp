// The update window and the version check against PostgreSQL with large files: the windows keep
// answering while the worker moves the bytes, their bars follow the bytes, and Cancel leaves the
// database and the program folder as promised.

#include "download_database.h"
#include "import_fixture.h"

#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "support/message_box_recorder.h"
#include "update/download_engine.h"
#include "update/w_update.h"
#include "update/w_ver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace tarnlow {
namespace {

constexpr qint64 kLargeFile = 8 * 1024 * 1024;

// With TARNLOW_SCREENSHOT_DIR set (a run under Xvfb, for looking at the windows), saves what the
// window shows as NAME.png there; otherwise does nothing.
void saveScreenshot(QWidget& window, const QString& name) {
    const QString folder = qEnvironmentVariable("TARNLOW_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(window.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png")));
    }
}

// Measures how punctually a timer of the window's thread fires while work goes on elsewhere.
class TimerWatch {
public:
    TimerWatch() {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (m_clock.isValid())
                m_longestGap = std::max(m_longestGap, m_clock.restart());
            else
                m_clock.start();
            ++m_ticks;
        });
        m_timer.start(20);
    }
    qint64 longestGapMs() const { return m_longestGap; }
    int ticks() const { return m_ticks; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longestGap = 0;
    int m_ticks = 0;
};

class LanguageForTest {
public:
    LanguageForTest() {
        m_path = gs_path;
        m_lang = gs_lang;
        gs_path = qEnvironmentVariable("TARNLOW_SOURCE_DIR") + QStringLiteral("/share/lang/");
        gs_lang = QStringLiteral("English.flf");
    }
    ~LanguageForTest() {
        gs_path = m_path;
        gs_lang = m_lang;
    }

private:
    QString m_path, m_lang;
};

TEST(WorkerWindows, UpdateWindowStaysResponsiveShowsTheBytesAndCancelRollsEverythingBack) {
    test::BackendDatabase database(test::Backend::Postgres);
    if (!database.ready()) {
        if (test::serversRequired())
            FAIL() << database.skipReason().toStdString();
        GTEST_SKIP() << database.skipReason().toStdString();
    }
    LanguageForTest language;
    Transaction sqlca;
    database.configure(sqlca);
    ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    ASSERT_EQ(test::createVersionTable(sqlca, database.binaryType()), kSqlSuccess);
    const QByteArray package = test::buildPackage(
        "03", "021",
        {test::PackageFileSpec{"one.pak", test::patternBytes(kLargeFile, 1)},
         test::PackageFileSpec{"two.pak", test::patternBytes(kLargeFile, 2)},
         test::PackageFileSpec{"three.pak", test::patternBytes(kLargeFile, 3)}, std::nullopt},
        "create table t17_marker ( n int )");
    ASSERT_TRUE(database.scratch().write(QStringLiteral("big.fuf"), package));
    const QString path = database.scratch().file(QStringLiteral("big.fuf"));
    test::MessageBoxRecorder boxes;

    {
        w_update window;
        QList<int> barValues;
        bool cancelClicked = false;
        TimerWatch timers;
        // Cancel as soon as the first bytes are stored.
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, &sampler, [&] {
            if (barValues.isEmpty() || barValues.last() != window.pb_bytes->value())
                barValues.append(window.pb_bytes->value());
            if (!cancelClicked && window.pb_bytes->value() > 0 && window.isVisible()) {
                cancelClicked = true;
                EXPECT_FALSE(window.st_bytes->text().isEmpty());
                QTest::mouseClick(window.cb_cancel, Qt::LeftButton);
            }
        });
        sampler.start(5);
        EXPECT_EQ(window.open(sqlca, path), std::nullopt);
        EXPECT_TRUE(cancelClicked);
        EXPECT_TRUE(window.cancelRequested());
        EXPECT_FALSE(window.isVisible());
        EXPECT_GE(timers.ticks(), 1);
        EXPECT_LT(timers.longestGapMs(), 500);
        EXPECT_TRUE(boxes.requests().isEmpty());
    }
    // Nothing of the package is stored, its script included.
    EXPECT_TRUE(test::storedRows(sqlca).isEmpty());
    EXPECT_FALSE(sqlca.selectInto(QStringLiteral("select count(*) from t17_marker")));

    // A later run stores it whole; the bar reaches its end and the size label names the whole.
    {
        w_update window;
        QList<int> barValues;
        TimerWatch timers;
        QTimer sampler;
        bool shot = false;
        QObject::connect(&sampler, &QTimer::timeout, &sampler, [&] {
            if (barValues.isEmpty() || barValues.last() != window.pb_bytes->value())
                barValues.append(window.pb_bytes->value());
            if (!shot && window.pb_bytes->value() * 2 >= window.pb_bytes->maximum() && window.isVisible()) {
                shot = true;
                saveScreenshot(window, QStringLiteral("w_update-halfway"));
            }
        });
        sampler.start(5);
        EXPECT_EQ(window.open(sqlca, path), std::optional<int>(1));
        EXPECT_EQ(window.pb_bytes->value(), window.pb_bytes->maximum());
        EXPECT_TRUE(window.st_bytes->text().contains(QStringLiteral("24.0 MB of 24.0 MB")))
            << window.st_bytes->text().toStdString();
        EXPECT_GE(barValues.size(), 3) << "the bar moves in steps, not at once";
        EXPECT_TRUE(std::is_sorted(barValues.begin(), barValues.end()));
        EXPECT_GT(timers.ticks(), 3);
        EXPECT_LT(timers.longestGapMs(), 500);
    }
    const QList<test::StoredRow> rows = test::storedRows(sqlca);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows.at(2).bytes, test::patternBytes(kLargeFile, 3));
    EXPECT_TRUE(sqlca.selectInto(QStringLiteral("select count(*) from t17_marker")));
    EXPECT_TRUE(boxes.requests().isEmpty());
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(WorkerWindows, VersionCheckCancelDiscardsTheFileInHandAndRecordsOnlyCompleteComponents) {
    test::ScratchFolder scratch;
    test::DownloadDatabase database(kDbmsPostgreSql, scratch);
    if (!database.skipReason().isEmpty()) {
        if (test::serversRequired())
            FAIL() << database.skipReason().toStdString();
        GTEST_SKIP() << database.skipReason().toStdString();
    }
    ASSERT_TRUE(database.ready()) << database.error().toStdString();
    LanguageForTest language;
    database.insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("a"));
    database.insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("b1.dll"), test::patternBytes(kLargeFile, 4));
    database.insert(QStringLiteral("1.0"), 2, 2, QStringLiteral("b2.dll"), test::patternBytes(kLargeFile, 5));
    database.insert(QStringLiteral("1.0"), 3, 1, QStringLiteral("c.dll"), test::patternBytes(kLargeFile, 6));
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("program")));
    const QString folder = scratch.file(QStringLiteral("program")) + QLatin1Char('/');
    ASSERT_TRUE(scratch.write(QStringLiteral("program/b2.dll"), "old"));
    SettingsStore settings = SettingsStore::standard();
    test::MessageBoxRecorder boxes;

    {
        w_ver window(database.sqlca(), settings, folder);
        TimerWatch timers;
        bool cancelled = false;
        window.setProgressObserver([&](const DownloadProgress& progress) {
            // Cancel once the first large file is under way, through the title bar's close button.
            if (!cancelled && progress.targetPath.endsWith(QStringLiteral("b1.dll"))) {
                cancelled = true;
                window.close();
                EXPECT_TRUE(window.isVisible());
                EXPECT_FALSE(window.cb_cancel->isEnabled());
            }
        });
        EXPECT_EQ(window.runVersionCheck(), -1);
        EXPECT_TRUE(cancelled);
        EXPECT_FALSE(window.isVisible());
        EXPECT_LT(timers.longestGapMs(), 500);
    }
    EXPECT_TRUE(boxes.requests().isEmpty());
    EXPECT_EQ(fileBytes(folder + QStringLiteral("a.dll")), QByteArray("a"));
    // The file in hand is discarded or, if it was done before the cancel arrived, complete.
    const QByteArray b1 = fileBytes(folder + QStringLiteral("b1.dll"));
    EXPECT_TRUE(b1 == QByteArray("<missing>") || b1 == test::patternBytes(kLargeFile, 4));
    EXPECT_EQ(fileBytes(folder + QStringLiteral("b2.dll")), QByteArray("old"));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("c.dll")));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
              b1.size() > 10 ? 3 : 2)
        << QDir(folder)
               .entryList(QDir::Files | QDir::Hidden | QDir::System)
               .join(QLatin1Char(' '))
               .toStdString();
    // Component 2 is not complete, so the next start fetches it again.
    EXPECT_EQ(settings.read(kSettingsKey, kInstalledComponentName), QStringLiteral("1"));

    // The next start completes the rest.
    {
        w_ver window(database.sqlca(), settings, folder);
        bool shot = false;
        window.setProgressObserver([&](const DownloadProgress& progress) {
            if (!shot && progress.targetPath.endsWith(QStringLiteral("b2.dll"))) {
                shot = true;
                saveScreenshot(window, QStringLiteral("w_ver-halfway"));
            }
        });
        EXPECT_EQ(window.runVersionCheck(), 1);
        EXPECT_EQ(window.barWidthUnits(), w_ver::kFrameWidth - 10);
    }
    EXPECT_EQ(fileBytes(folder + QStringLiteral("b2.dll")), test::patternBytes(kLargeFile, 5));
    EXPECT_EQ(fileBytes(folder + QStringLiteral("c.dll")), test::patternBytes(kLargeFile, 6));
    EXPECT_EQ(settings.read(kSettingsKey, kInstalledComponentName), QStringLiteral("3"));
}

} // namespace
} // namespace tarnlow
