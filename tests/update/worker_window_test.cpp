// The update window and the version check against PostgreSQL with large files: the windows keep
// answering while the worker moves the bytes, their bars follow the bytes, and Cancel leaves the
// database and the program folder as promised.

#include "download_database.h"
#include "import_fixture.h"

#include "db/connection_settings.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "support/message_box_recorder.h"
#include "update/download_engine.h"
#include "update/w_update.h"
#include "update/w_ver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

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

// Counts the events of one type that an object receives and runs `onEvent` at each, on the
// object's thread, before the object itself handles it.
class EventWatch : public QObject {
public:
    EventWatch(QObject& watched, QEvent::Type type, std::function<void()> onEvent)
        : m_type(type)
        , m_onEvent(std::move(onEvent)) {
        watched.installEventFilter(this);
    }
    int count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == m_type) {
            ++m_count;
            m_onEvent();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QEvent::Type m_type;
    std::function<void()> m_onEvent;
    int m_count = 0;
};

// A second connection to the test's database, with a transaction open, for holding the worker
// up at a known point. Should the window's thread ever stop answering while the worker waits, the
// server ends this session after a minute of silence, so the test fails instead of hanging.
class Holder {
public:
    explicit Holder(const Transaction& sqlca) {
        ConnectionSettings::of(sqlca).applyTo(connection);
        EXPECT_EQ(connection.connect(), kSqlSuccess) << connection.SQLErrText.toStdString();
        EXPECT_EQ(
            connection.executeImmediate(QStringLiteral("SET idle_in_transaction_session_timeout = '60s'")),
            kSqlSuccess)
            << connection.SQLErrText.toStdString();
        EXPECT_EQ(connection.begin(), kSqlSuccess) << connection.SQLErrText.toStdString();
    }
    // True once the worker's statement waits for this session. Should that not happen within a
    // minute, the session lets go, so that the test fails instead of waiting for ever.
    bool workerWaits() {
        if (!m_clock.isValid())
            m_clock.start();
        if (test::sessionsWaitingFor(connection) >= 1)
            return true;
        if (!gaveUp && m_clock.elapsed() > 60000) {
            gaveUp = true;
            release();
        }
        return false;
    }
    void release() {
        if (m_released)
            return;
        m_released = true;
        EXPECT_EQ(connection.rollback(), kSqlSuccess) << connection.SQLErrText.toStdString();
    }

    Transaction connection;
    bool gaveUp = false;

private:
    QElapsedTimer m_clock;
    bool m_released = false;
};

// Holds a row of the key the package's second file will take, so that the import waits with its
// first file stored.
void holdSecondFile(Holder& holder) {
    EXPECT_EQ(holder.connection.execute(
                  QStringLiteral(
                      "insert into t_sys_ver (ver_no, comp_no, update_index, file_name) values (?, ?, ?, ?)"),
                  {QStringLiteral("03"), 21, 2, QStringLiteral("held.pak")}),
              kSqlSuccess)
        << holder.connection.SQLErrText.toStdString();
}

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

    // The worker is held with the first file stored: the window's own timer sees that, which it
    // could not if the import ran on the window's thread, and presses Cancel.
    {
        Holder holder(sqlca);
        holdSecondFile(holder);
        w_update window;
        bool cancelClicked = false;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, &sampler, [&] {
            if (cancelClicked || !window.isVisible() || window.pb_bytes->value() == 0 ||
                !holder.workerWaits())
                return;
            cancelClicked = true;
            EXPECT_FALSE(window.st_bytes->text().isEmpty());
            QTest::mouseClick(window.cb_cancel, Qt::LeftButton);
        });
        sampler.start(20);
        EXPECT_EQ(window.open(sqlca, path), std::nullopt);
        EXPECT_FALSE(holder.gaveUp) << "the worker was never seen waiting";
        EXPECT_TRUE(cancelClicked);
        EXPECT_TRUE(window.cancelRequested());
        EXPECT_FALSE(window.isVisible());
        EXPECT_TRUE(boxes.requests().isEmpty());
        holder.release();
    }
    // Nothing of the package is stored, its script included.
    EXPECT_TRUE(test::storedRows(sqlca).isEmpty());
    EXPECT_FALSE(sqlca.selectInto(QStringLiteral("select count(*) from t17_marker")));

    // A later run stores it whole. Held halfway, the bar and the size label show the first file's
    // part of the whole; released, the bar reaches its end and the label names the whole.
    {
        Holder holder(sqlca);
        holdSecondFile(holder);
        w_update window;
        QList<int> barValues;
        QObject::connect(window.pb_bytes, &QProgressBar::valueChanged, window.pb_bytes,
                         [&](int value) { barValues.append(value); });
        int heldAt = -1;
        QString heldText;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, &sampler, [&] {
            if (heldAt >= 0 || !window.isVisible() || window.pb_bytes->value() == 0 || !holder.workerWaits())
                return;
            heldAt = window.pb_bytes->value();
            heldText = window.st_bytes->text();
            saveScreenshot(window, QStringLiteral("w_update-halfway"));
            holder.release();
        });
        sampler.start(20);
        EXPECT_EQ(window.open(sqlca, path), std::optional<int>(1));
        EXPECT_FALSE(holder.gaveUp) << "the worker was never seen waiting";
        EXPECT_GT(heldAt, 0);
        EXPECT_LT(heldAt, window.pb_bytes->maximum());
        EXPECT_TRUE(heldText.contains(QStringLiteral("of 24.0 MB"))) << heldText.toStdString();
        EXPECT_EQ(window.pb_bytes->value(), window.pb_bytes->maximum());
        EXPECT_TRUE(window.st_bytes->text().contains(QStringLiteral("24.0 MB of 24.0 MB")))
            << window.st_bytes->text().toStdString();
        EXPECT_TRUE(std::is_sorted(barValues.begin(), barValues.end()));
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
        // Once the window shows, after it listed the files, the table is locked: the worker's first
        // read waits, and the window's own timer sees that and lets it go on.
        Holder holder(database.sqlca());
        EventWatch shown(window, QEvent::Show, [&] {
            EXPECT_EQ(holder.connection.executeImmediate(
                          QStringLiteral("LOCK TABLE t_sys_ver IN ACCESS EXCLUSIVE MODE")),
                      kSqlSuccess)
                << holder.connection.SQLErrText.toStdString();
        });
        bool released = false;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, &sampler, [&] {
            if (!released && shown.count() > 0 && holder.workerWaits()) {
                released = true;
                holder.release();
            }
        });
        sampler.start(20);
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
        EXPECT_FALSE(holder.gaveUp) << "the worker was never seen waiting";
        EXPECT_TRUE(released);
        EXPECT_TRUE(cancelled);
        EXPECT_FALSE(window.isVisible());
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
