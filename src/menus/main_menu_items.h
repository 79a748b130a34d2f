#pragma once

#include "menus/menu_item.h"

#include <memory>

namespace tarnlow {

// The address the web item opens. Its caption doubles as the address, so the shipped language
// files leave the key m_web out.
inline const QString kWebAddress = QStringLiteral("https://github.com/tarnlow/tarnlow_as");

// The items of the main menu m_main, below a root item named "m_main" (no tag), in menu order:
//   m_file "文件(&F)" > m_check_ver "升级文件校验(&V)" (disabled, no action)
//   m_lang "语言(&L)" (the language items go below it)
//   m_help "帮助(&H)" > m_web (the address above), m_about "关于(&A)"
// Each item's tag is its name.
std::unique_ptr<MenuItem> createMainMenuItems();

} // namespace tarnlow
