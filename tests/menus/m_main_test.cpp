#include "host/library_search_list.h"
#include "host/profile.h"
#include "host/shell_open.h"
#include "lang/language_globals.h"
#include "menus/library_window.h"
#include "menus/m_dynamic.h"
#include "menus/m_main.h"
#include "menus/main_menu_items.h"
#include "support/message_box_recorder.h"

#include "lang/language_folder.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

// Records what the menu hands to the desktop's open action.
class ShellRecorder {
public:
    ShellRecorder() {
        m_previous = setShellOpenHandler([this](const QString& target) {
            targets.append(target);
            return true;
        });
    }
    ~ShellRecorder() { setShellOpenHandler(std::move(m_previous)); }
    QStringList targets;

private:
    ShellOpenHandler m_previous;
};

struct MenuWindow {
    explicit MenuWindow(const LibrarySearchList* libraries = nullptr) {
        window.setObjectName(QStringLiteral("w_main"));
        ObjectContext context;
        context.parent = &window;
        context.libraries = libraries;
        menu = new m_main(*window.menuBar(), context, &window);
    }
    QStringList barTitles() const {
        QStringList titles;
        for (QAction* action : window.menuBar()->actions())
            titles.append(action->text());
        return titles;
    }
    QMainWindow window;
    m_main* menu = nullptr;
};

} // namespace

TEST(MainMenuBar, ShowsTheItemsWithTheirAccessKeysAndFollowsOfEnum) {
    test::LanguageFolder folder;
    folder.useLanguage(QStringLiteral("Help.flf"), QStringLiteral("[MENU]\nm_help=&Help\n"));
    MenuWindow shown;
    EXPECT_EQ(shown.barTitles(), (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("语言(&L)"),
                                              QStringLiteral("帮助(&H)")}));
    QMenu* file = shown.menu->menuOf(QStringLiteral("m_file"));
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->actions().size(), 1);
    EXPECT_EQ(file->actions().at(0)->text(), QStringLiteral("升级文件校验(&V)"));
    EXPECT_FALSE(file->actions().at(0)->isEnabled());
    QMenu* help = shown.menu->menuOf(QStringLiteral("m_help"));
    ASSERT_EQ(help->actions().size(), 2);
    EXPECT_EQ(help->actions().at(0)->text(), kWebAddress);

    EXPECT_EQ(shown.menu->of_enum(shown.menu->root()), 1);
    EXPECT_EQ(shown.barTitles(),
              (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("语言(&L)"), QStringLiteral("&Help")}));
    EXPECT_EQ(help->title(), QStringLiteral("&Help"));
}

TEST(MainMenuBar, TheDisabledCheckItemHasNoAction) {
    test::LanguageFolder folder;
    test::MessageBoxRecorder messages;
    ShellRecorder shell;
    MenuWindow shown;
    QAction* check = shown.menu->actionOf(QStringLiteral("m_check_ver"));
    ASSERT_NE(check, nullptr);
    EXPECT_FALSE(check->isEnabled());
    check->trigger(); // a disabled action does not fire
    EXPECT_TRUE(shell.targets.isEmpty());
    EXPECT_TRUE(messages.requests().isEmpty());
}

TEST(MainMenuBar, TheWebItemHandsItsCurrentCaptionToTheShell) {
    test::LanguageFolder folder;
    ShellRecorder shell;
    MenuWindow shown;
    shown.menu->actionOf(QStringLiteral("m_web"))->trigger();
    EXPECT_EQ(shell.targets, QStringList{kWebAddress});

    folder.useLanguage(QStringLiteral("Caption.flf"), QStringLiteral("[MENU]\nm_web=Visit our &web site\n"));
    shown.menu->of_enum(shown.menu->root());
    QAction* web = shown.menu->actionOf(QStringLiteral("m_web"));
    EXPECT_EQ(web->text(), QStringLiteral("Visit our &web site"));
    web->trigger();
    EXPECT_EQ(shell.targets, (QStringList{kWebAddress, QStringLiteral("Visit our &web site")}));
}

TEST(MainMenuBar, ShippedLanguageFilesLeaveTheWebAddressAlone) {
    for (const char* file : {"English.flf", "Chinese.flf"}) {
        const QString path = qEnvironmentVariable("TARNLOW_SOURCE_DIR") + QStringLiteral("/share/lang/") +
                             QString::fromLatin1(file);
        ASSERT_TRUE(profileString(path, QStringLiteral("FLF"), QStringLiteral("NAME")).has_value()) << file;
        EXPECT_FALSE(profileString(path, QStringLiteral("MENU"), QStringLiteral("m_web")).has_value())
            << file;
    }
}

TEST(MainMenuBar, LanguageItemsShowTheirNamesAndTheCurrentOneChecked) {
    test::LanguageFolder folder;
    folder.useLanguage(QStringLiteral("English.flf"), QStringLiteral("[MENU]\nm_lang=&Language\n"));
    MenuWindow shown;
    shown.menu->setLanguageItems({{QStringLiteral("Chinese.flf"), QStringLiteral("中文")},
                                  {QStringLiteral("English.flf"), QStringLiteral("English")},
                                  {QStringLiteral("Plain.flf"), QString()}});
    shown.menu->showCurrentLanguage(QStringLiteral("English.flf"));
    shown.menu->of_enum(shown.menu->root());
    QMenu* lang = shown.menu->menuOf(QStringLiteral("m_lang"));
    ASSERT_EQ(lang->actions().size(), 3);
    EXPECT_EQ(lang->title(), QStringLiteral("&Language"));
    EXPECT_EQ(lang->actions().at(0)->text(), QStringLiteral("中文"));
    EXPECT_EQ(lang->actions().at(2)->text(), QStringLiteral("Plain.flf"));
    EXPECT_FALSE(lang->actions().at(0)->isChecked());
    EXPECT_TRUE(lang->actions().at(1)->isChecked());
    const QList<m_dynamic*> items = shown.menu->languageItems();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items.at(2)->is_lang, QStringLiteral("Plain.flf"));

    // Replacing the items leaves no stale entry behind.
    shown.menu->setLanguageItems({{QStringLiteral("Only.flf"), QStringLiteral("Only")}});
    ASSERT_EQ(lang->actions().size(), 1);
    EXPECT_EQ(lang->actions().at(0)->text(), QStringLiteral("Only"));
}

TEST(MainMenuBar, ChoosingALanguageWithoutAMainWindowDoesNothing) {
    test::LanguageFolder folder;
    test::MessageBoxRecorder messages;
    QMainWindow window; // not named w_main: no main window is open
    ObjectContext context;
    m_main menu(*window.menuBar(), context);
    menu.setLanguageItems({{QStringLiteral("English.flf"), QStringLiteral("English")}});
    ASSERT_EQ(findMainWindow(), nullptr);
    menu.menuOf(QStringLiteral("m_lang"))->actions().at(0)->trigger();
    EXPECT_TRUE(messages.requests().isEmpty());
    EXPECT_FALSE(menu.menuOf(QStringLiteral("m_lang"))->actions().at(0)->isChecked());
}

TEST(MainMenuBar, AboutOpensTheAboutWindowThroughTheLibraryList) {
    test::LanguageFolder folder;
    folder.useLanguage(QStringLiteral("Test.flf"), QStringLiteral("[MESSAGE]\n10700=%% is not in %%\n"));
    test::MessageBoxRecorder messages;
    LibrarySearchList libraries(QStringLiteral("/opt/tarnlow/tarnlow_as"), QStringLiteral("/opt/tarnlow/"));
    MenuWindow shown(&libraries);
    shown.menu->actionOf(QStringLiteral("m_about"))->trigger();
    ASSERT_EQ(messages.requests().size(), 1);
    EXPECT_EQ(messages.requests().at(0).text, QStringLiteral("w_about is not in /opt/tarnlow/tarnlow_as"));

    libraries.registerOwnObject(QStringLiteral("w_about"), [](const ObjectContext& context) {
        auto* dialog = new QDialog(qobject_cast<QWidget*>(context.parent));
        dialog->setObjectName(QStringLiteral("about"));
        return dialog;
    });
    shown.menu->actionOf(QStringLiteral("m_about"))->trigger();
    auto* about = shown.window.findChild<QDialog*>(QStringLiteral("about"));
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(messages.requests().size(), 1);
    about->close();
}

TEST(LibraryWindow, AnObjectThatIsNoWindowIsReportedAndDeleted) {
    test::LanguageFolder folder;
    folder.useLanguage(QStringLiteral("Test.flf"),
                       QStringLiteral("[MESSAGE]\n10703=%% of %% is no window\n"));
    test::MessageBoxRecorder messages;
    LibrarySearchList libraries(QStringLiteral("/opt/tarnlow/tarnlow_as"), QStringLiteral("/opt/tarnlow/"));
    QPointer<QObject> made;
    libraries.registerOwnObject(QStringLiteral("uo_plain"), [&made](const ObjectContext&) {
        made = new QObject;
        return made.data();
    });
    ObjectContext context;
    context.libraries = &libraries;
    EXPECT_EQ(createLibraryWindow(QStringLiteral("uo_plain"), context), nullptr);
    EXPECT_TRUE(made.isNull());
    ASSERT_EQ(messages.requests().size(), 1);
    EXPECT_EQ(messages.requests().at(0).text,
              QStringLiteral("uo_plain of /opt/tarnlow/tarnlow_as is no window"));
}
