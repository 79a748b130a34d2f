#include "login/w_login.h"

#include "db/database_worker.h"
#include "db/transaction.h"
#include "host/layout_units.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "login/f_password.h"
#include "support/database_backends.h"
#include "support/message_box_recorder.h"
#include "support/silent_server.h"
#include "support/test_environment.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

// Counts the times a window is shown, to tell a window that was never seen.
class ShowCounter : public QObject {
public:
    int shows = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            ++shows;
        return QObject::eventFilter(watched, event);
    }
};

template <typename T> T* control(const w_login& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Waits until the window's connection attempt, if one runs, has ended and been dealt with.
void settle(const w_login& window) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isConnecting(); }, 30000));
}

QString edit(const w_login& window, const char* name) {
    return control<QLineEdit>(window, name)->text();
}

class LoginWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedPath = gs_path;
        m_savedLang = gs_lang;
        m_savedFont = gs_font;
        gs_path = scratch.path() + QLatin1Char('/');
        gs_lang = QStringLiteral("English.flf");
        gs_font = QStringLiteral("Arial");
        const QString languages = qEnvironmentVariable("TARNLOW_SOURCE_DIR") + QStringLiteral("/share/lang/");
        for (const QString& name : {QStringLiteral("English.flf"), QStringLiteral("Chinese.flf")})
            ASSERT_TRUE(QFile::copy(languages + name, scratch.file(name))) << name.toStdString();
    }
    void TearDown() override {
        gs_path = m_savedPath;
        gs_lang = m_savedLang;
        gs_font = m_savedFont;
    }

    void store(const QString& name, const QString& value) {
        ASSERT_TRUE(settings.write(kSettingsKey, name, value));
    }
    QString stored(const QString& name) const {
        QString value;
        value = settings.read(kSettingsKey, name).value_or(value);
        return value;
    }
    void storeAutoLogin(const QString& password) {
        store(QStringLiteral("AutoLogin"), QStringLiteral("1"));
        store(QStringLiteral("password"), *f_password(password, true, kPasswordAccessKey));
    }

    test::ScratchFolder scratch;
    SettingsStore settings = SettingsStore::standard();
    test::MessageBoxRecorder boxes;
    Transaction sqlca;

private:
    QString m_savedPath, m_savedLang, m_savedFont;
};

} // namespace

TEST_F(LoginWindowTest, FirstRunOpensExpandedWithEmptyFieldsAndConnectsToTheEmbeddedDatabase) {
    w_login window(sqlca);
    EXPECT_FALSE(window.isVisible());
    window.openWindow(1);
    ASSERT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Login"));
    EXPECT_TRUE(window.isExpanded());
    EXPECT_EQ(control<QPushButton>(window, "cb_3")->text(), QStringLiteral("<<"));
    EXPECT_EQ(window.height(), unitsToPixelsY(w_login::kExpandedHeight - 92, window.logicalDpiY()));
    for (const char* name : {"sle_1", "sle_2", "sle_3", "sle_4", "sle_6"})
        EXPECT_TRUE(edit(window, name).isEmpty()) << name;
    EXPECT_EQ(control<QLineEdit>(window, "sle_4")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(window.focusWidget(), control<QLineEdit>(window, "sle_4"));
    EXPECT_FALSE(control<QCheckBox>(window, "cbx_1")->isChecked());
    EXPECT_EQ(control<QComboBox>(window, "ddlb_2")->currentData().toString(), kDbmsSqlite);

    // Languages sorted by file name, the display names parallel to the hidden file names.
    QComboBox* languages = control<QComboBox>(window, "ddlb_1");
    QListWidget* files = control<QListWidget>(window, "lb_1");
    ASSERT_EQ(languages->count(), 2);
    ASSERT_EQ(files->count(), 2);
    EXPECT_FALSE(files->isVisible());
    EXPECT_EQ(files->item(0)->text(), QStringLiteral("Chinese.flf"));
    EXPECT_EQ(languages->itemText(0), QStringLiteral("简体中文"));
    EXPECT_EQ(files->item(1)->text(), QStringLiteral("English.flf"));
    EXPECT_EQ(languages->itemText(1), QStringLiteral("English"));
    EXPECT_EQ(languages->currentIndex(), -1);

    // The posted language requests give the controls the language's face name at the design size
    // and the captions of the current language file.
    QApplication::processEvents();
    const QFont font = control<QLineEdit>(window, "sle_4")->font();
    EXPECT_EQ(font.family(), QStringLiteral("Arial"));
    EXPECT_EQ(font.pointSize(), 9);
    EXPECT_EQ(control<QPushButton>(window, "cb_1")->text(), QStringLiteral("&OK"));

    QTest::mouseClick(control<QPushButton>(window, "cb_1"), Qt::LeftButton);

    settle(window);
    EXPECT_TRUE(boxes.requests().isEmpty());
    EXPECT_EQ(window.closingResult(), 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(sqlca.isConnected());
    EXPECT_TRUE(QFileInfo::exists(scratch.file(QStringLiteral("tarnlow_as.db"))));
    EXPECT_EQ(stored(QStringLiteral("DBMS")), kDbmsSqlite);
    EXPECT_EQ(stored(QStringLiteral("AutoLogin")), QStringLiteral("0"));
}

TEST_F(LoginWindowTest, OpensCollapsedAndTheArrowButtonSwitchesTheSize) {
    w_login window(sqlca);
    window.openWindow(0);
    settle(window);
    QPushButton* arrow = control<QPushButton>(window, "cb_3");
    EXPECT_FALSE(window.isExpanded());
    EXPECT_EQ(arrow->text(), QStringLiteral(">>"));
    EXPECT_FALSE(control<QLineEdit>(window, "sle_2")->isVisible());
    const int collapsedHeight = window.height();

    QTest::mouseClick(arrow, Qt::LeftButton);
    EXPECT_EQ(arrow->text(), QStringLiteral("<<"));
    EXPECT_GT(window.height(), collapsedHeight);
    EXPECT_TRUE(control<QLineEdit>(window, "sle_2")->isVisible());
    EXPECT_TRUE(control<QComboBox>(window, "ddlb_2")->isVisible());

    QTest::mouseClick(arrow, Qt::LeftButton);
    EXPECT_EQ(arrow->text(), QStringLiteral(">>"));
    EXPECT_EQ(window.height(), collapsedHeight);
}

TEST_F(LoginWindowTest, StoredValuesAreShownWithTheServerPathMended) {
    store(QStringLiteral("login"), QStringLiteral("gm"));
    store(QStringLiteral("ServerIP"), QStringLiteral("10.0.0.5"));
    store(QStringLiteral("database"), QStringLiteral("game"));
    store(QStringLiteral("password"), *f_password(QStringLiteral("pa ss"), true, kPasswordAccessKey));
    store(QStringLiteral("DBMS"), kDbmsPostgreSql);
    const QList<std::pair<QString, QString>> paths{
        {QStringLiteral("D:\\srv\\ "), QStringLiteral("D:\\srv\\")},
        {QStringLiteral(" /srv/game "), QStringLiteral("/srv/game/")},
        {QStringLiteral("/srv/game/"), QStringLiteral("/srv/game/")},
    };
    for (const auto& [storedPath, shown] : paths) {
        store(QStringLiteral("Server_path"), storedPath);
        w_login window(sqlca);
        window.openWindow(0);
        settle(window);
        EXPECT_EQ(edit(window, "sle_2"), shown) << storedPath.toStdString();
        EXPECT_EQ(edit(window, "sle_3"), QStringLiteral("gm"));
        EXPECT_EQ(edit(window, "sle_4"), QStringLiteral("pa ss"));
        EXPECT_EQ(edit(window, "sle_1"), QStringLiteral("10.0.0.5"));
        EXPECT_EQ(edit(window, "sle_6"), QStringLiteral("game"));
        EXPECT_EQ(control<QComboBox>(window, "ddlb_2")->currentData().toString(), kDbmsPostgreSql);
        EXPECT_TRUE(window.isVisible());
    }
}

TEST_F(LoginWindowTest, AcceptedAutoLoginIsNeverSeenAndClosesWithOne) {
    storeAutoLogin(QStringLiteral("unused by SQLite"));
    store(QStringLiteral("DBMS"), kDbmsSqlite);
    store(QStringLiteral("database"), QStringLiteral("game.db"));
    ASSERT_TRUE(scratch.write(QStringLiteral("game.db"), QByteArray()));
    w_login window(sqlca);
    ShowCounter counter;
    window.installEventFilter(&counter);
    window.openWindow(0);
    settle(window);
    EXPECT_EQ(window.closingResult(), 1);
    EXPECT_EQ(counter.shows, 0);
    EXPECT_TRUE(boxes.requests().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(scratch.file(QStringLiteral("game.db"))));
    // The queued language requests of the closed window run harmlessly.
    QApplication::processEvents();

    // The modal entry point returns at once as well.
    EXPECT_EQ(w_login::openModal(sqlca, 0), 1);
}

// An automatic login never lands in a database the operator did not choose: a stored database
// system that is missing or that the window cannot offer, or an SQLite file that does not exist,
// opens the window, expanded, with one message that says why; nothing is created or written.
TEST_F(LoginWindowTest, AutoLoginThatWouldGuessOrCreateADatabaseShowsTheWindowInstead) {
    struct Case {
        QString dbms;
        QString database;
        QString message;
    };
    const QList<Case> cases{
        {QStringLiteral("ODBC"), QString(),
         QStringLiteral("The stored database type \"ODBC\" is not one this window offers, so no automatic "
                        "login was made. Choose the database type and log in.")},
        {QStringLiteral("Oracle"), QString(), QStringLiteral("The stored database type \"Oracle\"")},
        {QString(), QStringLiteral("game.db"), QStringLiteral("No database type is stored on this computer")},
        {QStringLiteral("  "), QString(), QStringLiteral("No database type is stored on this computer")},
        {kDbmsSqlite, QStringLiteral("game.db"),
         QStringLiteral("The database file %1 does not exist, so no automatic login was made")
             .arg(scratch.file(QStringLiteral("game.db")))},
        {kDbmsSqlite, QString(),
         QStringLiteral("The database file %1 does not exist")
             .arg(scratch.file(QStringLiteral("tarnlow_as.db")))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dbms.toStdString() + " " + c.database.toStdString());
        store(QStringLiteral("DBMS"), c.dbms);
        store(QStringLiteral("database"), c.database);
        storeAutoLogin(QStringLiteral("secret"));
        const QByteArray registryBefore = scratch.read(QStringLiteral("registry.ini"));
        boxes.clear();

        w_login window(sqlca);
        window.openWindow(0);
        settle(window);
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(window.isExpanded());
        EXPECT_FALSE(window.closingResult());
        EXPECT_FALSE(sqlca.isConnected());
        ASSERT_EQ(boxes.requests().size(), 1);
        EXPECT_TRUE(boxes.requests().first().text.startsWith(c.message))
            << boxes.requests().first().text.toStdString();
        EXPECT_TRUE(control<QCheckBox>(window, "cbx_1")->isChecked());
        EXPECT_EQ(edit(window, "sle_4"), QStringLiteral("secret"));
        for (const char* file : {"tarnlow_as.db", "game.db"})
            EXPECT_FALSE(QFileInfo::exists(scratch.file(QLatin1String(file)))) << file;
        EXPECT_EQ(scratch.read(QStringLiteral("registry.ini")), registryBefore);
        window.close();
        QApplication::processEvents();
    }
}

// A login by hand to an SQLite file that does not exist asks first, No being the default; only the
// embedded default file at the first start is made without asking (see the first test).
TEST_F(LoginWindowTest, ALoginByHandAsksBeforeItCreatesAnSqliteFile) {
    for (const int first : {0, 1}) {
        for (const QString& database : {QStringLiteral("game.db"), QString()}) {
            SCOPED_TRACE(std::to_string(first) + " " + database.toStdString());
            const QString file =
                scratch.file(database.isEmpty() ? QStringLiteral("tarnlow_as.db") : database);
            const bool asks = !(first == 1 && database.isEmpty());
            boxes.clear();
            w_login window(sqlca);
            window.openWindow(first);
            control<QLineEdit>(window, "sle_6")->setText(database);
            QTest::mouseClick(control<QPushButton>(window, "cb_1"), Qt::LeftButton);
            settle(window);
            if (asks) {
                ASSERT_EQ(boxes.requests().size(), 1);
                EXPECT_EQ(boxes.requests().first().text,
                          QStringLiteral("The database file %1 does not exist. Create a new, empty database "
                                         "there?")
                              .arg(file));
                EXPECT_EQ(boxes.requests().first().defaultButton, 2);
                EXPECT_FALSE(window.closingResult());
                EXPECT_FALSE(QFileInfo::exists(file));
                boxes.queueAnswer(1);
                QTest::mouseClick(control<QPushButton>(window, "cb_1"), Qt::LeftButton);
                settle(window);
            }
            EXPECT_EQ(window.closingResult(), 1);
            EXPECT_TRUE(QFileInfo::exists(file));
            sqlca.disconnect();
            ASSERT_TRUE(QFile::remove(file));
        }
    }
}

// With SQLite the server field takes no input and the database field offers a file chooser; the
// type names come from the language file.
TEST_F(LoginWindowTest, TheDatabaseTypeDecidesWhichFieldsTakeInput) {
    gs_lang = QStringLiteral("Chinese.flf");
    w_login window(sqlca);
    window.openWindow(1);
    QComboBox* types = control<QComboBox>(window, "ddlb_2");
    EXPECT_EQ(types->itemText(0), QStringLiteral("SQLite（内嵌）"));
    EXPECT_FALSE(control<QLineEdit>(window, "sle_1")->isEnabled());
    EXPECT_TRUE(control<QPushButton>(window, "cb_4")->isEnabled());
    types->setCurrentIndex(1);
    EXPECT_TRUE(control<QLineEdit>(window, "sle_1")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(window, "cb_4")->isEnabled());
    window.close();
}

// A stored value in other letter case logs in to the system it names, not to the embedded one.
TEST_F(LoginWindowTest, AutoLoginReadsTheStoredDatabaseSystemWhateverItsCase) {
    TARNLOW_REQUIRE_POSTGRES(server);
    const QString database = test::createPostgresDatabase(server);
    ASSERT_FALSE(database.isEmpty());
    store(QStringLiteral("DBMS"), QStringLiteral("postgresql"));
    store(QStringLiteral("ServerIP"), server.host + QLatin1Char(':') + QString::number(server.port));
    store(QStringLiteral("login"), server.user);
    store(QStringLiteral("database"), database);
    storeAutoLogin(server.password);

    w_login window(sqlca);
    window.openWindow(0);
    settle(window);
    EXPECT_EQ(window.closingResult(), 1);
    EXPECT_TRUE(boxes.requests().isEmpty());
    EXPECT_EQ(sqlca.kind(), DbmsKind::PostgreSQL);
    EXPECT_TRUE(sqlca.isConnected());
    EXPECT_EQ(stored(QStringLiteral("DBMS")), kDbmsPostgreSql);
    EXPECT_FALSE(QFileInfo::exists(scratch.file(QStringLiteral("tarnlow_as.db"))));
    QApplication::processEvents();
}

TEST_F(LoginWindowTest, RefusedAutoLoginShowsTheServersTextAndTheOperatorCanSwitchItOff) {
    TARNLOW_REQUIRE_POSTGRES(server);
    const QString database = test::createPostgresDatabase(server);
    ASSERT_FALSE(database.isEmpty());
    const QString address = server.host + QLatin1Char(':') + QString::number(server.port);
    store(QStringLiteral("DBMS"), kDbmsPostgreSql);
    store(QStringLiteral("ServerIP"), address);
    store(QStringLiteral("login"), server.user);
    store(QStringLiteral("database"), database);
    storeAutoLogin(QStringLiteral("wrong-password"));
    const QStringList namesBefore = settings.valueNames(kSettingsKey);
    const QByteArray registryBefore = scratch.read(QStringLiteral("registry.ini"));

    w_login window(sqlca);
    window.openWindow(0);
    settle(window);
    ASSERT_TRUE(window.isVisible());
    EXPECT_FALSE(window.closingResult());
    ASSERT_EQ(boxes.requests().size(), 1);
    EXPECT_TRUE(boxes.requests().first().title.startsWith(QStringLiteral("SQL Code: -")))
        << boxes.requests().first().title.toStdString();
    EXPECT_TRUE(boxes.requests().first().text.contains(QStringLiteral("password authentication failed")))
        << boxes.requests().first().text.toStdString();
    EXPECT_TRUE(control<QCheckBox>(window, "cbx_1")->isChecked());
    EXPECT_EQ(edit(window, "sle_1"), address);
    EXPECT_EQ(edit(window, "sle_3"), server.user);
    EXPECT_EQ(edit(window, "sle_4"), QStringLiteral("wrong-password"));
    EXPECT_EQ(edit(window, "sle_6"), database);
    // Nothing is written after a failure.
    EXPECT_EQ(settings.valueNames(kSettingsKey), namesBefore);
    EXPECT_EQ(scratch.read(QStringLiteral("registry.ini")), registryBefore);

    // Another try with the right password and auto-login switched off.
    control<QCheckBox>(window, "cbx_1")->setChecked(false);
    control<QLineEdit>(window, "sle_4")->setText(server.password);
    QTest::mouseClick(control<QPushButton>(window, "cb_1"), Qt::LeftButton);
    settle(window);
    EXPECT_EQ(boxes.requests().size(), 1);
    EXPECT_EQ(window.closingResult(), 1);
    EXPECT_EQ(stored(QStringLiteral("AutoLogin")), QStringLiteral("0"));
    EXPECT_EQ(stored(QStringLiteral("password")), QString());
}

TEST_F(LoginWindowTest, AFailedConnectionWritesNothingAndLeavesTheWindowOpen) {
    w_login window(sqlca);
    window.openWindow(1);
    control<QLineEdit>(window, "sle_6")->setText(QStringLiteral("no-such-folder/game.db"));
    control<QComboBox>(window, "ddlb_1")->setCurrentIndex(0);
    boxes.queueAnswer(1); // create the file
    QTest::mouseClick(control<QPushButton>(window, "cb_1"), Qt::LeftButton);
    settle(window);
    ASSERT_EQ(boxes.requests().size(), 2);
    EXPECT_TRUE(boxes.requests().last().title.startsWith(QStringLiteral("SQL Code: -")));
    EXPECT_FALSE(boxes.requests().last().text.isEmpty());
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.closingResult());
    EXPECT_FALSE(QFileInfo::exists(scratch.registryPath()));
    EXPECT_EQ(gs_lang, QStringLiteral("English.flf"));
    EXPECT_EQ(edit(window, "sle_6"), QStringLiteral("no-such-folder/game.db"));
}

TEST_F(LoginWindowTest, SuccessWritesTheSettingsInTheirOrderWithTheChosenLanguage) {
    w_login window(sqlca);
    window.openWindow(1);
    control<QLineEdit>(window, "sle_3")->setText(QStringLiteral("gm"));
    control<QLineEdit>(window, "sle_4")->setText(QStringLiteral("secret"));
    control<QLineEdit>(window, "sle_2")->setText(QStringLiteral("/srv/game/"));
    control<QLineEdit>(window, "sle_1")->setText(QStringLiteral("ignored by SQLite"));
    control<QLineEdit>(window, "sle_6")->setText(QStringLiteral("game.db"));
    control<QCheckBox>(window, "cbx_1")->setChecked(true);
    control<QComboBox>(window, "ddlb_1")->setCurrentIndex(0);
    boxes.queueAnswer(1); // create game.db
    QTest::mouseClick(control<QPushButton>(window, "cb_1"), Qt::LeftButton);
    settle(window);
    ASSERT_EQ(window.closingResult(), 1);

    EXPECT_EQ(settings.valueNames(kSettingsKey),
              (QStringList{QStringLiteral("Server_path"), QStringLiteral("ServerIP"), QStringLiteral("login"),
                           QStringLiteral("database"), QStringLiteral("DBMS"), QStringLiteral("Lang"),
                           QStringLiteral("AutoLogin"), QStringLiteral("password")}));
    EXPECT_EQ(stored(QStringLiteral("Server_path")), QStringLiteral("/srv/game/"));
    EXPECT_EQ(stored(QStringLiteral("ServerIP")), QStringLiteral("ignored by SQLite"));
    EXPECT_EQ(stored(QStringLiteral("login")), QStringLiteral("gm"));
    EXPECT_EQ(stored(QStringLiteral("database")), QStringLiteral("game.db"));
    EXPECT_EQ(stored(QStringLiteral("Lang")), QStringLiteral("Chinese.flf"));
    EXPECT_EQ(stored(QStringLiteral("AutoLogin")), QStringLiteral("1"));
    EXPECT_EQ(*f_password(stored(QStringLiteral("password")), false, kPasswordAccessKey),
              QStringLiteral("secret"));
    EXPECT_EQ(gs_lang, QStringLiteral("Chinese.flf"));
    EXPECT_EQ(gs_font, QStringLiteral("宋体"));
}

TEST_F(LoginWindowTest, TwoLanguagesWithTheSameNameSelectTheFirstFile) {
    ASSERT_TRUE(scratch.write(QStringLiteral("a.flf"), "[FLF]\nNAME=English\nFONT=Sans A\n"));
    w_login window(sqlca);
    window.openWindow(1);
    QComboBox* languages = control<QComboBox>(window, "ddlb_1");
    ASSERT_EQ(languages->count(), 3);
    EXPECT_EQ(languages->itemText(0), QStringLiteral("English"));
    EXPECT_EQ(languages->itemText(2), QStringLiteral("English"));
    languages->setCurrentIndex(2); // English.flf, listed after a.flf
    QTest::mouseClick(control<QPushButton>(window, "cb_1"), Qt::LeftButton);
    settle(window);
    ASSERT_EQ(window.closingResult(), 1);
    EXPECT_EQ(stored(QStringLiteral("Lang")), QStringLiteral("a.flf"));
    EXPECT_EQ(gs_lang, QStringLiteral("a.flf"));
    EXPECT_EQ(gs_font, QStringLiteral("Sans A"));
}

TEST_F(LoginWindowTest, CancelAndTheCloseButtonLeaveWithoutAResultAndSaveNothing) {
    {
        w_login window(sqlca);
        window.openWindow(1);
        control<QComboBox>(window, "ddlb_1")->setCurrentIndex(0);
        QTest::mouseClick(control<QPushButton>(window, "cb_2"), Qt::LeftButton);
        EXPECT_FALSE(window.isVisible());
        EXPECT_FALSE(window.closingResult());
    }
    {
        w_login window(sqlca);
        window.openWindow(1);
        control<QComboBox>(window, "ddlb_1")->setCurrentIndex(0);
        window.close();
        EXPECT_FALSE(window.isVisible());
        EXPECT_FALSE(window.closingResult());
    }
    EXPECT_EQ(gs_lang, QStringLiteral("English.flf"));
    EXPECT_FALSE(QFileInfo::exists(scratch.registryPath()));
    EXPECT_FALSE(sqlca.isConnected());

    // The modal window, closed by its title bar while its event loop runs.
    QTimer::singleShot(0, qApp, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    EXPECT_FALSE(w_login::openModal(sqlca, 1));
    EXPECT_FALSE(QFileInfo::exists(scratch.registryPath()));
}

TEST_F(LoginWindowTest, EnterInAnyEditLogsInAndOnAFocusedButtonPressesIt) {
    for (const char* name : {"sle_3", "sle_4", "sle_2", "sle_6"}) {
        w_login window(sqlca);
        window.openWindow(1);
        QLineEdit* field = control<QLineEdit>(window, name);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        settle(window);
        EXPECT_EQ(window.closingResult(), 1) << name;
        sqlca.disconnect();
    }
    // Enter on Cancel cancels; Enter on the arrow folds the window.
    w_login window(sqlca);
    window.openWindow(1);
    QPushButton* arrow = control<QPushButton>(window, "cb_3");
    arrow->setFocus();
    QTest::keyClick(arrow, Qt::Key_Return);
    EXPECT_FALSE(window.isExpanded());
    EXPECT_TRUE(window.isVisible());
    QPushButton* cancel = control<QPushButton>(window, "cb_2");
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Return);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.closingResult());
    EXPECT_FALSE(sqlca.isConnected());
}

// The window keeps answering while it connects, and Cancel gives up on a server that accepts the
// connection and never answers: control is back at once, with the window as it was and nothing
// stored, and the next attempt to a real server succeeds.
TEST_F(LoginWindowTest, CancelDuringALoginToAServerThatNeverAnswersReturnsAtOnce) {
    TARNLOW_REQUIRE_POSTGRES(server);
    const QString database = test::createPostgresDatabase(server);
    ASSERT_FALSE(database.isEmpty());
    auto silent = std::make_unique<test::SilentServer>();
    ASSERT_GT(silent->port(), 0);

    w_login window(sqlca);
    window.openWindow(1);
    auto* dbms = control<QComboBox>(window, "ddlb_2");
    dbms->setCurrentIndex(dbms->findData(kDbmsPostgreSql));
    control<QLineEdit>(window, "sle_1")->setText(QStringLiteral("127.0.0.1:%1").arg(silent->port()));
    control<QLineEdit>(window, "sle_3")->setText(QStringLiteral("nobody"));
    control<QLineEdit>(window, "sle_6")->setText(QStringLiteral("nothing"));
    control<QComboBox>(window, "ddlb_1")->setCurrentIndex(0);
    QTest::mouseClick(control<QPushButton>(window, "cb_1"), Qt::LeftButton);
    ASSERT_TRUE(window.isConnecting());
    EXPECT_FALSE(control<QLineEdit>(window, "sle_1")->isEnabled());
    EXPECT_TRUE(control<QPushButton>(window, "cb_2")->isEnabled());

    // A timer of the window's thread fires while the attempt waits for the silent server.
    bool firedWhileConnecting = false;
    bool fired = false;
    QTimer::singleShot(100, &window, [&] {
        fired = true;
        firedWhileConnecting = window.isConnecting();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return fired; }, 60000));
    EXPECT_TRUE(firedWhileConnecting);
    EXPECT_TRUE(window.isConnecting());

    // Cancel does not wait for the attempt, which still waits for its server afterwards.
    const int jobsBefore = DatabaseWorker::runningJobs();
    ASSERT_GE(jobsBefore, 1);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(control<QPushButton>(window, "cb_2"), Qt::LeftButton);
    EXPECT_FALSE(window.isConnecting());
    EXPECT_EQ(DatabaseWorker::runningJobs(), jobsBefore);
    // Prompt as an operator sees it; a click takes milliseconds here, also under the sanitizers.
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.closingResult());
    EXPECT_TRUE(control<QLineEdit>(window, "sle_1")->isEnabled());
    EXPECT_EQ(edit(window, "sle_3"), QStringLiteral("nobody"));
    EXPECT_FALSE(sqlca.isConnected());
    EXPECT_FALSE(QFileInfo::exists(scratch.registryPath()));
    EXPECT_EQ(gs_lang, QStringLiteral("English.flf"));

    // The abandoned attempt ends (its server goes away) without reaching the window.
    silent.reset();
    EXPECT_TRUE(DatabaseWorker::waitForAllJobs(std::chrono::seconds(15)));
    QApplication::processEvents();
    EXPECT_TRUE(boxes.requests().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(scratch.registryPath()));

    control<QLineEdit>(window, "sle_1")
        ->setText(server.host + QLatin1Char(':') + QString::number(server.port));
    control<QLineEdit>(window, "sle_3")->setText(server.user);
    control<QLineEdit>(window, "sle_4")->setText(server.password);
    control<QLineEdit>(window, "sle_6")->setText(database);
    QTest::mouseClick(control<QPushButton>(window, "cb_1"), Qt::LeftButton);
    settle(window);
    EXPECT_TRUE(boxes.requests().isEmpty());
    EXPECT_EQ(window.closingResult(), 1);
    ASSERT_TRUE(sqlca.isConnected());
    EXPECT_EQ(sqlca.kind(), DbmsKind::PostgreSQL);
    EXPECT_EQ(sqlca.Database, database);
    // The connection opened on the worker's thread serves this thread.
    const auto one = sqlca.selectInto(QStringLiteral("select 1"));
    ASSERT_TRUE(one) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(one->at(0).toInt(), 1);
    EXPECT_EQ(stored(QStringLiteral("DBMS")), kDbmsPostgreSql);
    EXPECT_EQ(stored(QStringLiteral("Lang")), QStringLiteral("Chinese.flf"));
}

// An automatic login that does not get through at once shows the window; closing its frame then
// gives up like Cancel and leaves the window open, and a second close ends it without a result.
TEST_F(LoginWindowTest, ASlowAutoLoginShowsTheWindowAndClosingTheFrameGivesUp) {
    auto silent = std::make_unique<test::SilentServer>();
    ASSERT_GT(silent->port(), 0);
    store(QStringLiteral("DBMS"), kDbmsPostgreSql);
    store(QStringLiteral("ServerIP"), QStringLiteral("127.0.0.1:%1").arg(silent->port()));
    store(QStringLiteral("login"), QStringLiteral("nobody"));
    storeAutoLogin(QStringLiteral("secret"));
    const QByteArray registryBefore = scratch.read(QStringLiteral("registry.ini"));

    w_login window(sqlca);
    window.openWindow(0);
    EXPECT_TRUE(window.isConnecting());
    EXPECT_FALSE(window.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isVisible(); }, w_login::kShowSlowAutoLoginMs + 2000));
    EXPECT_TRUE(window.isConnecting());

    window.close();
    EXPECT_FALSE(window.isConnecting());
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.closingResult());
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.closingResult());
    EXPECT_FALSE(sqlca.isConnected());
    silent.reset();
    EXPECT_TRUE(DatabaseWorker::waitForAllJobs(std::chrono::seconds(15)));
    QApplication::processEvents();
    EXPECT_TRUE(boxes.requests().isEmpty());
    EXPECT_EQ(scratch.read(QStringLiteral("registry.ini")), registryBefore);
}

namespace {

// An automatic login to a server with no connection slot free: the window shows itself with the
// numbered busy message, Cancel stops the waiting at once, and a login once a slot is free gets
// through.
TEST_F(LoginWindowTest, ABusyServerIsWaitedForWithANumberedMessageAndCancelStopsAtOnce) {
    const std::optional<int> port = test::smallServerPort();
    TARNLOW_REQUIRE_PORT(port, "small PostgreSQL server (TARNLOW_TEST_PG_SMALL_PORT)");
    const test::PostgresServer server = test::onPort(*test::postgresServer(), *port);
    store(QStringLiteral("DBMS"), kDbmsPostgreSql);
    store(QStringLiteral("ServerIP"), server.host + QLatin1Char(':') + QString::number(server.port));
    store(QStringLiteral("login"), server.user);
    store(QStringLiteral("database"), QStringLiteral("postgres"));
    storeAutoLogin(server.password);
    std::vector<std::unique_ptr<Transaction>> holders =
        test::takeEverySlot(server, QStringLiteral("postgres"));
    ASSERT_FALSE(holders.empty());

    w_login window(sqlca);
    window.openWindow(0);
    auto* busy = control<QLabel>(window, "st_busy");
    // The window shows itself once the automatic login takes longer than a moment.
    ASSERT_TRUE(QTest::qWaitFor([&] { return busy->isVisible() && window.isVisible(); }, 30000));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^The server is busy; trying again \\(attempt [0-9]+\\)\u2026$"))
            .match(busy->text())
            .hasMatch())
        << busy->text().toStdString();
    EXPECT_TRUE(window.isConnecting());
    if (const QString folder = qEnvironmentVariable("TARNLOW_SCREENSHOT_DIR"); !folder.isEmpty()) {
        EXPECT_TRUE(window.grab().save(folder + QStringLiteral("/w_login_busy.png")));
    }

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(control<QPushButton>(window, "cb_2"), Qt::LeftButton);
    EXPECT_FALSE(window.isConnecting());
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(busy->isVisible());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(control<QLineEdit>(window, "sle_3")->isEnabled());
    EXPECT_FALSE(sqlca.isConnected());
    EXPECT_TRUE(DatabaseWorker::waitForAllJobs(std::chrono::seconds(15)));
    QApplication::processEvents();
    EXPECT_TRUE(boxes.requests().isEmpty());

    QTest::mouseClick(control<QPushButton>(window, "cb_1"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return busy->isVisible(); }, 30000));
    holders.pop_back();
    settle(window);
    EXPECT_TRUE(boxes.requests().isEmpty());
    EXPECT_EQ(window.closingResult(), 1);
    EXPECT_TRUE(sqlca.isConnected());
}

} // namespace
