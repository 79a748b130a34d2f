#include "main_window_fixture.h"

#include "app/application_globals.h"
#include "lang/language_globals.h"
#include "support/given_screen.h"
#include "update/w_temp.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidgetItemIterator>

using namespace tarnlow;
using test::Backend;
using test::MainWindowTest;

namespace {

QStringList childCaptions(const QTreeWidgetItem* item) {
    QStringList captions;
    for (int i = 0; i < item->childCount(); ++i)
        captions.append(item->child(i)->text(0));
    return captions;
}

QStringList topCaptions(const QTreeWidget* tree) {
    QStringList captions;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        captions.append(tree->topLevelItem(i)->text(0));
    return captions;
}

// Either order of two captions that share their position.
bool pairAt(const QStringList& captions, qsizetype at, const QString& a, const QString& b) {
    return (captions.value(at) == a && captions.value(at + 1) == b) ||
           (captions.value(at) == b && captions.value(at + 1) == a);
}

QAction* actionNamed(QMenu* menu, const QString& name) {
    for (QAction* action : menu->actions()) {
        if (action->objectName() == name ||
            (action->menu() != nullptr && action->menu()->objectName() == name))
            return action;
    }
    return nullptr;
}

} // namespace

TEST_P(MainWindowTest, TreeShowsTheMenuListParentsFirstInItemOrder) {
    ASSERT_NE(openMain(), nullptr);
    QTreeWidget* items = tree();
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(topCaptions(items), (QStringList{QStringLiteral("System"), QStringLiteral("Items"),
                                               QStringLiteral("Game data"), QStringLiteral("Tools")}));
    const QStringList system = childCaptions(items->topLevelItem(0));
    ASSERT_EQ(system.size(), 6);
    EXPECT_EQ(system.mid(0, 4), (QStringList{QStringLiteral("Maps"), QStringLiteral("Game accounts"),
                                             QStringLiteral("Backup"), QStringLiteral("Restore")}));
    EXPECT_TRUE(pairAt(system, 4, QStringLiteral("Configuration"), QStringLiteral("Clear logs")))
        << system.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(childCaptions(items->topLevelItem(1)),
              (QStringList{QStringLiteral("Special items"), QStringLiteral("Mail"),
                           QStringLiteral("Special item shop"), QStringLiteral("Item limits"),
                           QStringLiteral("Shops"), QStringLiteral("Mail manager")}));
    const QStringList gameData = childCaptions(items->topLevelItem(2));
    ASSERT_EQ(gameData.size(), 7);
    EXPECT_EQ(gameData.mid(0, 3),
              (QStringList{QStringLiteral("Monster experience"), QStringLiteral("Monster experience (4402)"),
                           QStringLiteral("Monsters")}));
    EXPECT_TRUE(pairAt(gameData, 3, QStringLiteral("Data copy"), QStringLiteral("Monster drops")));
    EXPECT_EQ(gameData.mid(5), (QStringList{QStringLiteral("Logs"), QStringLiteral("Reserved")}));
    EXPECT_EQ(childCaptions(items->topLevelItem(3)), QStringList{QStringLiteral("SQL query")});
    for (int i = 0; i < items->topLevelItemCount(); ++i)
        EXPECT_TRUE(items->topLevelItem(i)->isExpanded());
}

TEST_P(MainWindowTest, RowsWithAMissingOrCircularParentStayAtTheTop) {
    for (const char* row : {"(1.00, 40, 40, 'SELF', 'TREE_ID40', NULL, 'N')",
                            "(1.00, 41, 99, 'ORPHAN', 'TREE_ID41', NULL, 'N')",
                            "(1.00, 42, 43, 'LOOP_A', 'TREE_ID42', NULL, 'Y')",
                            "(1.00, 43, 42, 'LOOP_B', 'TREE_ID43', NULL, 'Y')"}) {
        ASSERT_GE(
            sqlca.executeImmediate(
                QStringLiteral("insert into t_sys_menu (item_order, item_index, parent_index, item_name, "
                               "lang_id, object_name, children) values ") +
                QString::fromLatin1(row)),
            0)
            << sqlca.SQLErrText.toStdString();
    }
    reloadMenuList();
    ASSERT_NE(openMain(), nullptr);
    const QStringList top = topCaptions(tree());
    EXPECT_EQ(top.mid(0, 4), (QStringList{QStringLiteral("System"), QStringLiteral("Items"),
                                          QStringLiteral("Game data"), QStringLiteral("Tools")}));
    for (const char* name : {"SELF", "ORPHAN", "LOOP_A", "LOOP_B"}) {
        QTreeWidgetItem* item = treeItem(QString::fromLatin1(name));
        ASSERT_NE(item, nullptr) << name;
        EXPECT_EQ(item->parent(), nullptr) << name;
    }
    EXPECT_EQ(top.size(), 8);
}

TEST_P(MainWindowTest, ALanguageItemReTextsEverythingAtOnceAndKeepsTheChoice) {
    ASSERT_NE(openMain(), nullptr);
    EXPECT_EQ(main->windowTitle(), QStringLiteral("Tarnlow Private Server Assistant"));
    EXPECT_EQ(menuBarTitles(), (QStringList{QStringLiteral("&File"), QStringLiteral("&Language"),
                                            QStringLiteral("&Tools"), QStringLiteral("&Help")}));
    activate(QStringLiteral("SQL query"));
    auto* tabs = main->findChild<QTabWidget*>(QStringLiteral("tab_1"));
    ASSERT_EQ(tabs->count(), 1);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("SQL query"));

    QMenu* languages = main->findChild<QMenu*>(QStringLiteral("m_lang"));
    ASSERT_NE(languages, nullptr);
    ASSERT_EQ(languages->actions().size(), 2);
    EXPECT_EQ(languages->actions().at(0)->text(), QStringLiteral("简体中文"));
    EXPECT_EQ(languages->actions().at(1)->text(), QStringLiteral("English"));
    EXPECT_TRUE(languages->actions().at(1)->isChecked());
    languages->actions().at(0)->trigger();

    EXPECT_EQ(gs_lang, QStringLiteral("Chinese.flf"));
    EXPECT_EQ(storedLanguage(), QStringLiteral("Chinese.flf"));
    EXPECT_EQ(main->windowTitle(), QStringLiteral("Tarnlow私服辅助程序"));
    EXPECT_EQ(menuBarTitles(), (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("语言(&L)"),
                                            QStringLiteral("工具(&T)"), QStringLiteral("帮助(&H)")}));
    QMenu* file = main->findChild<QMenu*>(QStringLiteral("m_file"));
    EXPECT_EQ(file->actions().at(0)->text(), QStringLiteral("升级文件校验(&V)"));
    QMenu* tools = main->findChild<QMenu*>(QStringLiteral("m_tools"));
    EXPECT_EQ(actionNamed(tools, QStringLiteral("m_package_builder"))->text(),
              QStringLiteral("升级包制作(&U)"));
    EXPECT_EQ(topCaptions(tree()), (QStringList{QStringLiteral("系统管理"), QStringLiteral("物品管理"),
                                                QStringLiteral("游戏数据"), QStringLiteral("工具")}));
    EXPECT_EQ(treeItem(QStringLiteral("SQL查询"))->parent(), tree()->topLevelItem(3));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("SQL查询"));
    EXPECT_EQ(tabs->widget(0)->findChild<QPushButton*>(QStringLiteral("cb_run"))->text(),
              QStringLiteral("执行(&R)"));
    EXPECT_TRUE(languages->actions().at(0)->isChecked());
    EXPECT_FALSE(languages->actions().at(1)->isChecked());
    // The web item stays the address in every shipped language.
    QMenu* help = main->findChild<QMenu*>(QStringLiteral("m_help"));
    EXPECT_TRUE(help->actions().at(0)->text().startsWith(QStringLiteral("https://")));
    EXPECT_TRUE(messages->requests().isEmpty());
}

TEST_P(MainWindowTest, AMissingLanguageFileKeepsTheLanguageAndSaysWhy) {
    ASSERT_NE(openMain(), nullptr);
    // The file goes away after the language items were made from the folder.
    ASSERT_TRUE(QFile::remove(folder->scratch().file(QStringLiteral("Chinese.flf"))));
    QMenu* languages = main->findChild<QMenu*>(QStringLiteral("m_lang"));
    languages->actions().at(0)->trigger();

    ASSERT_EQ(messages->requests().size(), 1);
    const QString text = messages->requests().at(0).text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("The language file Chinese.flf cannot be used")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("does not exist"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("The language stays English.flf."))) << text.toStdString();
    EXPECT_EQ(gs_lang, QStringLiteral("English.flf"));
    EXPECT_EQ(storedLanguage(), QStringLiteral("English.flf"));
    EXPECT_EQ(main->windowTitle(), QStringLiteral("Tarnlow Private Server Assistant"));
    EXPECT_EQ(tree()->topLevelItem(0)->text(0), QStringLiteral("System"));
    EXPECT_FALSE(languages->actions().at(0)->isChecked());
    EXPECT_TRUE(languages->actions().at(1)->isChecked());

    // A folder or a file that is not text is refused the same way.
    messages->clear();
    ASSERT_TRUE(folder->scratch().write(QStringLiteral("Binary.flf"), QByteArray("\xff\xfe\x00\x81\xff", 5)));
    QMetaObject::invokeMethod(main, "wf_change_lang", Q_ARG(QString, QStringLiteral("Binary.flf")));
    ASSERT_EQ(messages->requests().size(), 1);
    EXPECT_TRUE(messages->requests().at(0).text.contains(QStringLiteral("neither UTF-8 nor GBK")));
    EXPECT_EQ(gs_lang, QStringLiteral("English.flf"));
}

// No dead ends: an item whose work object no library provides is disabled, its tooltip names the
// object and the libraries searched, and activating it does nothing.
TEST_P(MainWindowTest, AWorkItemNoLibraryProvidesIsDisabledAndItsTooltipSaysWhy) {
    ASSERT_NE(openMain(), nullptr);
    QStringList enabledLeaves;
    int disabled = 0;
    for (QTreeWidgetItemIterator it(tree()); *it != nullptr; ++it) {
        if ((*it)->childCount() > 0) {
            EXPECT_FALSE((*it)->isDisabled()) << (*it)->text(0).toStdString();
            continue;
        }
        if ((*it)->isDisabled())
            ++disabled;
        else
            enabledLeaves.append((*it)->text(0));
    }
    EXPECT_EQ(enabledLeaves, (QStringList{QStringLiteral("Configuration"), QStringLiteral("SQL query")}));
    EXPECT_EQ(disabled, 18);
    QTreeWidgetItem* maps = treeItem(QStringLiteral("Maps"));
    ASSERT_NE(maps, nullptr);
    EXPECT_TRUE(maps->isDisabled());
    const QString tip = maps->toolTip(0);
    EXPECT_TRUE(tip.startsWith(QStringLiteral("UO_MAP cannot be opened: no object library provides it")))
        << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("libtarnlow_main.so"))) << tip.toStdString();

    activate(QStringLiteral("Maps"));
    EXPECT_TRUE(messages->requests().isEmpty());
    auto* tabs = main->findChild<QTabWidget*>(QStringLiteral("tab_1"));
    EXPECT_EQ(tabs->count(), 0);

    // A group opens nothing; the window goes on working.
    activate(QStringLiteral("System"));
    EXPECT_TRUE(messages->requests().isEmpty());
    activate(QStringLiteral("SQL query"));
    EXPECT_EQ(tabs->count(), 1);
    // Activating the same item again shows its tab rather than a second one.
    activate(QStringLiteral("SQL query"));
    EXPECT_EQ(tabs->count(), 1);

    // The tooltip follows the language.
    QMetaObject::invokeMethod(main, "wf_change_lang", Q_ARG(QString, QStringLiteral("Chinese.flf")));
    EXPECT_TRUE(
        treeItem(QStringLiteral("地图管理"))->toolTip(0).startsWith(QStringLiteral("无法打开 UO_MAP")))
        << treeItem(QStringLiteral("地图管理"))->toolTip(0).toStdString();
}

// Ctrl+W closes the current work tab and Ctrl+Q leaves, both from the File menu too.
TEST_P(MainWindowTest, FileMenuClosesTheWorkTabAndExits) {
    ASSERT_NE(openMain(), nullptr);
    QMenu* file = main->findChild<QMenu*>(QStringLiteral("m_file"));
    ASSERT_NE(file, nullptr);
    QAction* closeTab = actionNamed(file, QStringLiteral("m_close_tab"));
    QAction* exit = actionNamed(file, QStringLiteral("m_exit"));
    ASSERT_TRUE(closeTab && exit);
    EXPECT_EQ(closeTab->text(), QStringLiteral("&Close work tab"));
    EXPECT_EQ(closeTab->shortcut(), QKeySequence(QStringLiteral("Ctrl+W")));
    EXPECT_EQ(exit->text(), QStringLiteral("E&xit"));
    EXPECT_EQ(exit->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));

    activate(QStringLiteral("SQL query"));
    activate(QStringLiteral("Configuration"));
    auto* tabs = main->findChild<QTabWidget*>(QStringLiteral("tab_1"));
    ASSERT_EQ(tabs->count(), 2);
    ASSERT_TRUE(QTest::qWaitForWindowActive(main));
    QTest::keyClick(main, Qt::Key_W, Qt::ControlModifier);
    ASSERT_EQ(tabs->count(), 1);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("SQL query"));
    QTest::keyClick(main, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(main->isVisible());
}

// On a 1000 x 600 screen at 200 % the main window takes a share of what is there, never more.
TEST_P(MainWindowTest, TheMainWindowOpensInProportionToTheScreen) {
    {
        test::GivenScreen screen({0, 0, 500, 300, 96.0, 96.0, QRect(0, 24, 500, 276)});
        ASSERT_NE(openMain(), nullptr);
        EXPECT_LE(main->width(), 500);
        EXPECT_LE(main->height(), 276);
        delete main.data();
    }
    test::GivenScreen screen({0, 0, 1920, 1080, 96.0, 96.0, QRect(0, 0, 1920, 1040)});
    ASSERT_NE(openMain(), nullptr);
    EXPECT_EQ(main->size(), QSize(1344, 780));
}

TEST_P(MainWindowTest, AWorkObjectReceivesTheOpenParameterOfItsRow) {
    ASSERT_GE(
        sqlca.execute(QStringLiteral("insert into t_sys_menu values (2.00, 30, 3, 'MENU30', 'TREE_ID30', "
                                     "'UO_PARM', 'level=3', 'N')")),
        0)
        << sqlca.SQLErrText.toStdString();
    reloadMenuList();
    QString received;
    Transaction* connection = nullptr;
    libraries->registerOwnObject(QStringLiteral("UO_PARM"), [&](const ObjectContext& context) {
        received = context.openParameter;
        connection = context.sqlca;
        return new QWidget(qobject_cast<QWidget*>(context.parent));
    });
    ASSERT_NE(openMain(), nullptr);
    activate(QStringLiteral("MENU30"));
    EXPECT_EQ(received, QStringLiteral("level=3"));
    EXPECT_EQ(connection, &sqlca);
    EXPECT_EQ(main->findChild<QTabWidget*>(QStringLiteral("tab_1"))->tabText(0), QStringLiteral("MENU30"));
    EXPECT_TRUE(messages->requests().isEmpty());
}

TEST_P(MainWindowTest, ToolsOfferThePackageBuilderAndTheOdbcTestOnlyWhenProvided) {
    ASSERT_NE(openMain(), nullptr);
    QMenu* tools = main->findChild<QMenu*>(QStringLiteral("m_tools"));
    ASSERT_NE(tools, nullptr);
    ASSERT_EQ(tools->actions().size(), 2);
    EXPECT_EQ(actionNamed(tools, QStringLiteral("m_odbc_test")), nullptr);
    actionNamed(tools, QStringLiteral("m_package_builder"))->trigger();
    auto* builder = main->findChild<w_temp*>();
    ASSERT_NE(builder, nullptr);
    EXPECT_TRUE(builder->isVisible());
    EXPECT_TRUE(builder->isWindow());
    delete main.data();

    QPointer<QWidget> odbc;
    libraries->registerOwnObject(QStringLiteral("w_test"), [&odbc](const ObjectContext& context) {
        odbc = new QWidget(qobject_cast<QWidget*>(context.parent));
        return odbc.data();
    });
    ASSERT_NE(openMain(), nullptr);
    tools = main->findChild<QMenu*>(QStringLiteral("m_tools"));
    ASSERT_EQ(tools->actions().size(), 3);
    QAction* test = actionNamed(tools, QStringLiteral("m_odbc_test"));
    ASSERT_NE(test, nullptr);
    EXPECT_EQ(test->text(), QStringLiteral("&ODBC test"));
    test->trigger();
    ASSERT_TRUE(odbc);
    EXPECT_TRUE(odbc->isVisible());
    EXPECT_TRUE(odbc->isWindow());
}

TEST_P(MainWindowTest, AboutShowsVersionQtDatabaseAndLanguage) {
    ASSERT_NE(openMain(), nullptr);
    QMenu* help = main->findChild<QMenu*>(QStringLiteral("m_help"));
    actionNamed(help, QStringLiteral("m_about"))->trigger();
    auto* about = main->findChild<QDialog*>(QStringLiteral("w_about"));
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    auto label = [about](const char* name) {
        return about->findChild<QLabel*>(QString::fromLatin1(name))->text();
    };
    EXPECT_EQ(label("st_version"), gs_ver);
    EXPECT_EQ(label("st_qt"), QString::fromLatin1(qVersion()));
    EXPECT_EQ(label("st_dbms"), sqlca.DBMS);
    if (GetParam() == Backend::Sqlite)
        EXPECT_TRUE(label("st_server").endsWith(sqlca.Database)) << label("st_server").toStdString();
    else
        EXPECT_EQ(label("st_server"), sqlca.ServerName + QStringLiteral(" / ") + sqlca.Database);
    EXPECT_EQ(label("st_language"), QStringLiteral("English (English.flf)"));
}

INSTANTIATE_TEST_SUITE_P(Backends, MainWindowTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         test::backendTestName);
