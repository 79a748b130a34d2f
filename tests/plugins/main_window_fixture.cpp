#include "main_window_fixture.h"

#include "app/application_globals.h"
#include "db/data_store.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "lang/language_switch.h"
#include "menus/d_menu.h"
#include "schema/schema_bootstrap.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QTest>

namespace tarnlow::test {

void MainWindowTest::SetUp() {
    ConnectedBackendTest::SetUp();
    if (HasFatalFailure() || IsSkipped())
        return;
    folder = std::make_unique<LanguageFolder>();
    for (const char* file : {"English.flf", "Chinese.flf"}) {
        const QString name = QString::fromLatin1(file);
        ASSERT_TRUE(
            QFile::copy(qEnvironmentVariable("TARNLOW_SOURCE_DIR") + QStringLiteral("/share/lang/") + name,
                        folder->scratch().file(name)));
    }
    gs_lang = QStringLiteral("English.flf");
    reloadLanguageFont();
    SettingsStore settings = SettingsStore::standard();
    ASSERT_TRUE(settings.write(kSettingsKey, QStringLiteral("Lang"), gs_lang));
    const SystemTablesOutcome created = ensureSystemTables(sqlca, settings, {});
    ASSERT_EQ(created.state, SystemTablesState::Initialised) << created.reason.number;
    reloadMenuList();

    const QString executable = binaryDirectory() + QStringLiteral("/tarnlow_as");
    libraries = std::make_unique<LibrarySearchList>(executable, binaryDirectory() + QLatin1Char('/'));
    const Result<void> loaded = libraries->setList(executable + QStringLiteral(",libtarnlow_main.so"));
    ASSERT_TRUE(loaded.ok()) << loaded.error().toStdString();
    messages = std::make_unique<MessageBoxRecorder>();
}

void MainWindowTest::TearDown() {
    for (QWidget* window : QApplication::topLevelWidgets())
        window->close();
    delete main.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    gds_menu.reset();
    messages.reset();
    folder.reset();
}

void MainWindowTest::reloadMenuList() {
    gds_menu = std::make_unique<DataStore>(d_menu());
    gds_menu->setTransaction(&sqlca);
    const Result<int> retrieved = gds_menu->retrieve();
    ASSERT_TRUE(retrieved.ok()) << retrieved.error().toStdString();
    ASSERT_GE(*retrieved, 24);
}

QMainWindow* MainWindowTest::openMain() {
    ObjectContext context;
    context.sqlca = &sqlca;
    context.libraries = libraries.get();
    main = qobject_cast<QMainWindow*>(libraries->createObject(QStringLiteral("w_main"), context));
    if (main)
        main->show();
    return main;
}

QTreeWidget* MainWindowTest::tree() const {
    return main->findChild<QTreeWidget*>(QStringLiteral("tv_1"));
}

QTreeWidgetItem* MainWindowTest::treeItem(const QString& caption) const {
    const QList<QTreeWidgetItem*> found = tree()->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void MainWindowTest::activate(const QString& caption) {
    QTreeWidgetItem* item = treeItem(caption);
    ASSERT_NE(item, nullptr) << caption.toStdString();
    tree()->setCurrentItem(item);
    QTest::keyClick(tree(), Qt::Key_Return);
}

QStringList MainWindowTest::menuBarTitles() const {
    QStringList titles;
    for (QAction* action : main->menuBar()->actions())
        titles.append(action->text());
    return titles;
}

QString MainWindowTest::storedLanguage() const {
    return SettingsStore::standard().read(kSettingsKey, QStringLiteral("Lang")).value_or(QString());
}

} // namespace tarnlow::test
