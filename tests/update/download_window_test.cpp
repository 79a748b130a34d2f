#include "download_database.h"

#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "support/message_box_recorder.h"
#include "support/test_environment.h"
#include "update/client_list.h"
#include "update/client_record.h"
#include "update/w_ver.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>

#include <gtest/gtest.h>

#include <cmath>

using namespace tarnlow;
using namespace tarnlow::test;

namespace {

// Counts how often a window was shown.
class ShowCounter : public QObject {
public:
    int shows = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            ++shows;
        return QObject::eventFilter(watched, event);
    }
};

class DownloadWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        database = std::make_unique<DownloadDatabase>(kDbmsSqlite, scratch);
        ASSERT_TRUE(database->ready()) << database->error().toStdString();
        ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("program")));
        folder = scratch.file(QStringLiteral("program")) + QLatin1Char('/');
        // Messages come from the shipped English language file.
        savedPath = gs_path;
        savedLang = gs_lang;
        gs_path = binaryDirectory() + QLatin1Char('/');
        gs_lang = QStringLiteral("English.flf");
    }
    void TearDown() override {
        gs_path = savedPath;
        gs_lang = savedLang;
    }

    QString compId() const {
        QString value = QStringLiteral("<absent>");
        value = settings.read(kSettingsKey, kInstalledComponentName).value_or(value);
        return value;
    }

    ScratchFolder scratch;
    SettingsStore settings = SettingsStore::standard();
    std::unique_ptr<DownloadDatabase> database;
    QString folder;
    QString savedPath;
    QString savedLang;
};

TEST_F(DownloadWindowTest, UnwritableProgramFolderIsOneMessageAndTheWindowNeverShows) {
    database->insert(QStringLiteral("1.0"), 4, 1, QStringLiteral("a.dll"), QByteArray("a"));
    database->insert(QStringLiteral("1.0"), 4, 2, QStringLiteral("b.dll"), QByteArray("b"));
    // Nobody, root included, may create a file in /proc.
    w_ver window(database->sqlca(), settings, QStringLiteral("/proc/"));
    ShowCounter counter;
    window.installEventFilter(&counter);
    MessageBoxRecorder boxes;
    EXPECT_EQ(window.runVersionCheck(), -1);
    EXPECT_EQ(counter.shows, 0);
    ASSERT_EQ(boxes.requests().size(), 1);
    const QString text = boxes.requests().first().text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("The program folder /proc/ cannot be written (")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("so 2 newer program files"))) << text.toStdString();
    ASSERT_TRUE(window.failure());
    EXPECT_EQ(window.failure()->number, kMessageProgramFolderNotWritable);
    EXPECT_EQ(compId(), QStringLiteral("<absent>"));
}

TEST_F(DownloadWindowTest, NothingNewerClosesWithOneWithoutEverBeingShown) {
    database->insert(QStringLiteral("1.0"), 4, 1, QStringLiteral("a.dll"), QByteArray("a"));
    ASSERT_TRUE(settings.write(kSettingsKey, kInstalledComponentName, QStringLiteral("4")));

    w_ver window(database->sqlca(), settings, folder);
    ShowCounter counter;
    window.installEventFilter(&counter);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("update......"));
    EXPECT_EQ(window.st_5->text(), QStringLiteral("none"));
    EXPECT_EQ(window.runVersionCheck(), 1);
    EXPECT_EQ(counter.shows, 0);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(compId(), QStringLiteral("4"));
    EXPECT_TRUE(QDir(folder).isEmpty());
    // Even a check that found nothing newer is recorded.
    EXPECT_FALSE(window.recordProblem().has_value());
    const Result<QList<ClientRow>> clients = readClients(database->sqlca());
    ASSERT_TRUE(clients.ok());
    ASSERT_EQ(clients->size(), 1);
    EXPECT_EQ(clients->first().componentId, 4);
    EXPECT_TRUE(clients->first().ok);
    EXPECT_EQ(clients->first().folder, QDir::cleanPath(folder));
}

TEST_F(DownloadWindowTest, ShowsEachPathAndGrowsTheBarTwicePerRow) {
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("a"));
    database->insert(QStringLiteral("1.0"), 1, 2, QStringLiteral("b.dll"), QByteArray("b"));
    database->insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("c.dll"), QByteArray("c"));

    w_ver window(database->sqlca(), settings, folder);
    QList<int> widths;
    QStringList paths;
    bool alwaysVisible = true;
    window.setProgressObserver([&](const DownloadProgress& progress) {
        widths.append(window.barWidthUnits());
        // The path on one line, losing its middle when it is too long; the tooltip holds it whole.
        const QString shown = window.st_5->text();
        EXPECT_EQ(shown, window.st_5->fontMetrics().elidedText(progress.targetPath, Qt::ElideMiddle,
                                                               window.st_5->contentsRect().width()));
        EXPECT_FALSE(window.st_5->wordWrap());
        paths.append(window.st_5->toolTip());
        alwaysVisible = alwaysVisible && window.isVisible() && !window.ib_close;
    });

    EXPECT_EQ(window.runVersionCheck(), 1);
    EXPECT_TRUE(alwaysVisible);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.ib_close);
    // Before the first piece only the rows are known (1 of 6 half rows); from then on the bar
    // follows the bytes: each row is one of three bytes of (1015 - 10) units.
    EXPECT_EQ(widths, (QList<int>{167, 335, 335, 670, 670, 1005}));
    EXPECT_EQ(paths.value(0), folder + QStringLiteral("a.dll"));
    EXPECT_EQ(paths.value(5), folder + QStringLiteral("c.dll"));
    EXPECT_EQ(compId(), QStringLiteral("2"));
    // The bar stays inside its frame.
    EXPECT_LE(window.st_8->geometry().right(), window.st_7->geometry().right());
}

TEST_F(DownloadWindowTest, TheBarEndsAtTheFrameWidthLessTen) {
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("a"));
    w_ver window(database->sqlca(), settings, folder);
    EXPECT_EQ(window.runVersionCheck(), 1);
    EXPECT_EQ(window.barWidthUnits(), 1005);
}

TEST_F(DownloadWindowTest, FailureShowsTheNumberedMessageNamingTheFileAndReturnsMinusOne) {
    MessageBoxRecorder recorder;
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("a"));
    database->insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("b.dll"), std::nullopt);
    ASSERT_TRUE(settings.write(kSettingsKey, kInstalledComponentName, QStringLiteral("0")));

    w_ver window(database->sqlca(), settings, folder);
    EXPECT_EQ(window.runVersionCheck(), -1);
    ASSERT_EQ(recorder.requests().size(), 1);
    const QString text = recorder.requests().first().text;
    EXPECT_TRUE(text.contains(folder + QStringLiteral("b.dll"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("no content"))) << text.toStdString();
    EXPECT_EQ(compId(), QStringLiteral("0"));
    QFile written(folder + QStringLiteral("a.dll"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("a"));
    const Result<QList<ClientRow>> clients = readClients(database->sqlca());
    ASSERT_TRUE(clients.ok());
    ASSERT_EQ(clients->size(), 1);
    EXPECT_FALSE(clients->first().ok);
    EXPECT_EQ(clients->first().messageNumber, 10403);
    EXPECT_TRUE(clients->first().behind);
}

// A database that will not take the client's row: the download is done all the same, and the
// reason is in the window's status, never in a box.
TEST_F(DownloadWindowTest, ARowTheDatabaseRefusesIsSaidInTheStatusNotInABox) {
    MessageBoxRecorder recorder;
    ASSERT_EQ(database->sqlca().executeImmediate(
                  QStringLiteral("CREATE VIEW t_sys_client AS SELECT 1 AS machine_id")),
              kSqlSuccess);
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("a"));
    ASSERT_TRUE(settings.write(kSettingsKey, kInstalledComponentName, QStringLiteral("0")));

    w_ver window(database->sqlca(), settings, folder);
    EXPECT_EQ(window.runVersionCheck(), 1);
    EXPECT_EQ(compId(), QStringLiteral("1"));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("a.dll")));
    ASSERT_TRUE(window.recordProblem().has_value());
    EXPECT_EQ(window.recordProblem()->number, kMessageClientNotRecorded);
    EXPECT_TRUE(window.st_bytes->text().contains(kClientTable)) << window.st_bytes->text().toStdString();
    // Only the notice that downloads are not verified, as without the table.
    for (const auto& request : recorder.requests())
        EXPECT_FALSE(request.text.contains(kClientTable)) << request.text.toStdString();
}

} // namespace
