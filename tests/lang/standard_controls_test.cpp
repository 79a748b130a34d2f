#include "lang/change_language.h"
#include "lang/language_globals.h"
#include "lang/language_switch.h"
#include "lang/uo_std_cb.h"
#include "lang/uo_std_chk.h"
#include "lang/uo_std_sle.h"
#include "lang/uo_std_st.h"
#include "language_folder.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

class StandardControls : public ::testing::Test {
protected:
    void SetUp() override {
        folder.useLanguage(
            QStringLiteral("English.flf"),
            QStringLiteral("[FLF]\nFONT=DejaVu Sans\n[MENU]\nSYS_DATABASE=From menu\n[BUTTON]\n"
                           "SYS_DATABASE=Database:\nLOGIN_OK=&OK\nAUTO_LOGIN=Auto login\n"
                           "SYS_SERVER_LOGIN=Login name:\n"));
        reloadLanguageFont();
    }

    void rewrite(const QString& text) {
        folder.writeLanguage(QStringLiteral("English.flf"), text);
        reloadLanguageFont();
    }

    test::LanguageFolder folder;
    QWidget window;
};

} // namespace

TEST_F(StandardControls, ConstructionAppliesFaceNameAndCaption) {
    window.setFont(QFont(QStringLiteral("Serif"), 13));
    auto* label = new uo_std_st(QStringLiteral("SYS_DATABASE"), QStringLiteral("默认数据库："), &window);
    auto* button = new uo_std_cb(QStringLiteral("LOGIN_OK"), QStringLiteral("确定(&O)"), &window);
    auto* check = new uo_std_chk(QStringLiteral("AUTO_LOGIN"), QStringLiteral("自动登录"), &window);
    auto* edit = new uo_std_sle(QStringLiteral("SYS_SERVER_LOGIN"), QStringLiteral("x"), &window);
    EXPECT_EQ(label->text(), QStringLiteral("Database:")) << "read from BUTTON, not from another section";
    EXPECT_EQ(button->text(), QStringLiteral("&OK"));
    EXPECT_EQ(check->text(), QStringLiteral("Auto login"));
    EXPECT_EQ(edit->text(), QStringLiteral("Login name:"));
    for (QWidget* control : {static_cast<QWidget*>(label), static_cast<QWidget*>(button),
                             static_cast<QWidget*>(check), static_cast<QWidget*>(edit)}) {
        EXPECT_EQ(control->font().families(), QStringList{QStringLiteral("DejaVu Sans")});
        EXPECT_EQ(control->font().pointSize(), 13) << "only the face name changes";
    }
    EXPECT_EQ(label->property("tag").toString(), QStringLiteral("SYS_DATABASE"));
}

TEST_F(StandardControls, MissingKeyOrEmptyTagKeepsTheText) {
    uo_std_st missing(QStringLiteral("FILE_VER"), QStringLiteral("版本："), &window);
    uo_std_cb untagged(QString(), QStringLiteral(">>"), &window);
    uo_std_sle plain(&window);
    EXPECT_EQ(missing.text(), QStringLiteral("版本："));
    EXPECT_EQ(untagged.text(), QStringLiteral(">>"));
    EXPECT_EQ(untagged.font().families(), QStringList{QStringLiteral("DejaVu Sans")});
    EXPECT_EQ(plain.font().families(), QStringList{QStringLiteral("DejaVu Sans")});

    // Without a language file every control keeps its text and gets the default face.
    gs_lang = QStringLiteral("Gone.flf");
    reloadLanguageFont();
    uo_std_chk check(QStringLiteral("AUTO_LOGIN"), QStringLiteral("自动登录"), &window);
    EXPECT_EQ(check.text(), QStringLiteral("自动登录"));
    EXPECT_EQ(check.font().families(), QStringList{QStringLiteral("Arial")});
}

TEST_F(StandardControls, PostedChangeRunsLaterWithTheLanguageOfThatMoment) {
    uo_std_st label(QStringLiteral("SYS_DATABASE"), QStringLiteral("默认数据库："), &window);
    label.postChangeLanguage();
    rewrite(QStringLiteral("[FLF]\nFONT=Liberation Mono\n[BUTTON]\nSYS_DATABASE=Base de données :\n"));
    EXPECT_EQ(label.text(), QStringLiteral("Database:")) << "nothing happens during construction";
    QCoreApplication::processEvents();
    EXPECT_EQ(label.text(), QStringLiteral("Base de données :"));
    EXPECT_EQ(label.font().families(), QStringList{QStringLiteral("Liberation Mono")});

    // A control that is gone before its posted event runs is simply skipped.
    QPointer<uo_std_cb> button = new uo_std_cb(QStringLiteral("LOGIN_OK"), QStringLiteral("OK"), &window);
    button->postChangeLanguage();
    delete button;
    QCoreApplication::processEvents();
    EXPECT_TRUE(button.isNull());
}

TEST_F(StandardControls, DropDownListFollowsTheLanguage) {
    QComboBox list(&window);
    list.addItems({QStringLiteral("English"), QStringLiteral("简体中文")});
    list.setCurrentIndex(-1);
    changeComboBoxLanguage(list, QString());
    EXPECT_EQ(list.font().families(), QStringList{QStringLiteral("DejaVu Sans")});
    EXPECT_EQ(list.currentIndex(), -1) << "an empty tag leaves the selection alone";

    rewrite(QStringLiteral("[BUTTON]\nLANGUAGE_LIST=简体中文\n"));
    changeComboBoxLanguage(list, QStringLiteral("LANGUAGE_LIST"));
    EXPECT_EQ(list.currentIndex(), 1);
    EXPECT_EQ(list.font().families(), QStringList{QStringLiteral("Arial")});
}
