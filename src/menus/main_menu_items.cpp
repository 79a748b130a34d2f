#include "menus/main_menu_items.h"

namespace tarnlow {
namespace {

MenuItem* addTagged(MenuItem* parent, const QString& name, const QString& text) {
    return new MenuItem(name, name, text, parent);
}

} // namespace

std::unique_ptr<MenuItem> createMainMenuItems() {
    auto root = std::make_unique<MenuItem>(QStringLiteral("m_main"), QString(), QString());
    MenuItem* file = addTagged(root.get(), QStringLiteral("m_file"), QStringLiteral("文件(&F)"));
    MenuItem* checkVersion =
        addTagged(file, QStringLiteral("m_check_ver"), QStringLiteral("升级文件校验(&V)"));
    checkVersion->setEnabled(false);
    addTagged(root.get(), QStringLiteral("m_lang"), QStringLiteral("语言(&L)"));
    MenuItem* help = addTagged(root.get(), QStringLiteral("m_help"), QStringLiteral("帮助(&H)"));
    addTagged(help, QStringLiteral("m_web"), kWebAddress);
    addTagged(help, QStringLiteral("m_about"), QStringLiteral("关于(&A)"));
    return root;
}

} // namespace tarnlow
