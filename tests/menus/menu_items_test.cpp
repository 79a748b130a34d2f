#include "lang/language_globals.h"
#include "menus/m_dynamic.h"
#include "menus/main_menu_items.h"
#include "menus/of_enum.h"
#include "support/message_box_recorder.h"

#include "lang/language_folder.h"

#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

QStringList captions(MenuItem& root) {
    QStringList texts;
    for (const char* name : {"m_file", "m_check_ver", "m_lang", "m_help", "m_web", "m_about"})
        texts.append(root.find(QString::fromLatin1(name))->text());
    return texts;
}

// Stands in for a main window from another library: it records what the language items ask.
class RecordingMainWindow : public QObject {
    Q_OBJECT

public:
    QStringList requested;
    Q_INVOKABLE void wf_change_lang(const QString& file) { requested.append(file); }
};

} // namespace

TEST(MainMenuItems, DesignTextsTagsAndStates) {
    const std::unique_ptr<MenuItem> root = createMainMenuItems();
    ASSERT_EQ(root->items().size(), 3);
    EXPECT_EQ(root->items().at(0)->name(), QStringLiteral("m_file"));
    EXPECT_EQ(root->items().at(1)->name(), QStringLiteral("m_lang"));
    EXPECT_EQ(root->items().at(2)->name(), QStringLiteral("m_help"));
    EXPECT_TRUE(root->find(QStringLiteral("m_lang"))->items().isEmpty());
    EXPECT_EQ(captions(*root), (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("升级文件校验(&V)"),
                                            QStringLiteral("语言(&L)"), QStringLiteral("帮助(&H)"),
                                            kWebAddress, QStringLiteral("关于(&A)")}));
    for (const char* name : {"m_file", "m_check_ver", "m_lang", "m_help", "m_web", "m_about"})
        EXPECT_EQ(root->find(QString::fromLatin1(name))->tag(), QString::fromLatin1(name));
    // The web item's caption is the address it opens.
    const QUrl address(kWebAddress, QUrl::StrictMode);
    EXPECT_TRUE(address.isValid());
    EXPECT_EQ(address.scheme(), QStringLiteral("https"));
    EXPECT_FALSE(address.host().isEmpty());
}

TEST(MainMenuItems, CheckVersionIsDisabledAndChoosingItDoesNothing) {
    const std::unique_ptr<MenuItem> root = createMainMenuItems();
    MenuItem* check = root->find(QStringLiteral("m_check_ver"));
    EXPECT_FALSE(check->isEnabled());
    QSignalSpy chosen(check, &MenuItem::chosen);
    EXPECT_FALSE(check->choose());
    EXPECT_EQ(chosen.count(), 0);
}

TEST(OfEnum, ReadsTheKeysDepthFirstAndSkipsUntaggedItemsWithTheirSubItems) {
    test::LanguageFolder folder;
    folder.useLanguage(QStringLiteral("Test.flf"),
                       QStringLiteral("[MENU]\nm_file=&File\nm_item=Should not be read\n"));
    const std::unique_ptr<MenuItem> root = createMainMenuItems();
    MenuItem* lang = root->find(QStringLiteral("m_lang"));
    // A language item (no tag) with a tagged item below it: neither is re-texted.
    auto* untagged = new MenuItem(QStringLiteral("m_item"), QString(), QStringLiteral("English"), lang);
    auto* below =
        new MenuItem(QStringLiteral("m_below"), QStringLiteral("m_file"), QStringLiteral("kept"), untagged);

    QStringList keys;
    EXPECT_EQ(of_enum(*root,
                      [&keys](const QString& tag, const QString& current) {
                          keys.append(tag);
                          return menuText(tag, current);
                      }),
              1);
    EXPECT_EQ(keys,
              (QStringList{QStringLiteral("m_file"), QStringLiteral("m_check_ver"), QStringLiteral("m_lang"),
                           QStringLiteral("m_help"), QStringLiteral("m_web"), QStringLiteral("m_about")}));
    EXPECT_EQ(untagged->text(), QStringLiteral("English"));
    EXPECT_EQ(below->text(), QStringLiteral("kept"));
    EXPECT_EQ(root->find(QStringLiteral("m_file"))->text(), QStringLiteral("&File"));
}

TEST(OfEnum, AFileWithOnlyTheHelpKeyChangesOnlyTheHelpItem) {
    test::LanguageFolder folder;
    folder.useLanguage(QStringLiteral("Help.flf"),
                       QStringLiteral("[MENU]\nm_help=Hilfe (&H)\n[BUTTON]\nm_file=no\n"));
    const std::unique_ptr<MenuItem> root = createMainMenuItems();
    QStringList expected = captions(*root);
    expected[3] = QStringLiteral("Hilfe (&H)");
    EXPECT_EQ(of_enum(*root), 1);
    EXPECT_EQ(captions(*root), expected);
}

TEST(OfEnum, MissingFileKeepsEveryTextAndTwoPassesEqualOne) {
    test::LanguageFolder folder;
    gs_lang = QStringLiteral("Missing.flf");
    const std::unique_ptr<MenuItem> root = createMainMenuItems();
    const QStringList design = captions(*root);
    EXPECT_EQ(of_enum(*root), 1);
    EXPECT_EQ(captions(*root), design);

    folder.useLanguage(QStringLiteral("English.flf"),
                       QStringLiteral("[MENU]\nm_file=&File\nm_lang=&Language\nm_web=Our home page\n"));
    const std::unique_ptr<MenuItem> once = createMainMenuItems();
    of_enum(*once);
    const std::unique_ptr<MenuItem> twice = createMainMenuItems();
    of_enum(*twice);
    of_enum(*twice);
    EXPECT_EQ(captions(*twice), captions(*once));
    EXPECT_EQ(once->find(QStringLiteral("m_web"))->text(), QStringLiteral("Our home page"));
}

TEST(LanguageItem, AsksTheMainWindowByNameEvenForAFileThatDoesNotExist) {
    test::LanguageFolder folder;
    const std::unique_ptr<MenuItem> root = createMainMenuItems();
    RecordingMainWindow window;
    auto* item = new m_dynamic(QStringLiteral("Gone.flf"), QStringLiteral("Gone"),
                               *root->find(QStringLiteral("m_lang")), [&window] { return &window; });
    EXPECT_TRUE(item->m_item->tag().isEmpty());
    EXPECT_EQ(item->m_item->text(), QStringLiteral("Gone"));
    EXPECT_TRUE(item->m_item->choose());
    EXPECT_EQ(window.requested, QStringList{QStringLiteral("Gone.flf")});
}

TEST(LanguageItem, WithoutAMainWindowNothingHappens) {
    test::LanguageFolder folder;
    test::MessageBoxRecorder messages;
    const std::unique_ptr<MenuItem> root = createMainMenuItems();
    auto* item = new m_dynamic(QStringLiteral("English.flf"), QStringLiteral("English"),
                               *root->find(QStringLiteral("m_lang")), [] { return nullptr; });
    EXPECT_EQ(item->requestChange(), LanguageRequest::NoMainWindow);
    auto* noLocator = new m_dynamic(QStringLiteral("English.flf"), QStringLiteral("English"),
                                    *root->find(QStringLiteral("m_lang")), {});
    EXPECT_EQ(noLocator->requestChange(), LanguageRequest::NoMainWindow);
    EXPECT_TRUE(messages.requests().isEmpty());
}

TEST(LanguageItem, AMainWindowWithoutTheFunctionGivesTheNumberedMessage) {
    test::LanguageFolder folder;
    folder.useLanguage(QStringLiteral("Test.flf"),
                       QStringLiteral("[MESSAGE]\nTITLE=Info\n10702=%% (%%) cannot switch to %%\n"));
    test::MessageBoxRecorder messages;
    const std::unique_ptr<MenuItem> root = createMainMenuItems();
    QObject window;
    window.setObjectName(QStringLiteral("w_main"));
    auto* item = new m_dynamic(QStringLiteral("Chinese.flf"), QStringLiteral("中文"),
                               *root->find(QStringLiteral("m_lang")), [&window] { return &window; });
    EXPECT_EQ(item->requestChange(), LanguageRequest::NoFunction);
    ASSERT_EQ(messages.requests().size(), 1);
    EXPECT_EQ(messages.requests().at(0).title, QStringLiteral("Info"));
    EXPECT_EQ(messages.requests().at(0).text,
              QStringLiteral("w_main (QObject) cannot switch to Chinese.flf"));
}

TEST(LanguageItem, DeletingTheItemTakesItOutOfTheMenu) {
    const std::unique_ptr<MenuItem> root = createMainMenuItems();
    MenuItem* lang = root->find(QStringLiteral("m_lang"));
    auto* first = new m_dynamic(QStringLiteral("A.flf"), QStringLiteral("A"), *lang, {});
    new m_dynamic(QStringLiteral("B.flf"), QStringLiteral("B"), *lang, {});
    ASSERT_EQ(lang->items().size(), 2);
    delete first->m_item;
    ASSERT_EQ(lang->items().size(), 1);
    EXPECT_EQ(lang->items().at(0)->text(), QStringLiteral("B"));
}

#include "menu_items_test.moc"
