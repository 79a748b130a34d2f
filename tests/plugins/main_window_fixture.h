#pragma once

#include "db/transaction.h"
#include "host/library_search_list.h"
#include "host/object_library.h"
#include "support/database_backends.h"
#include "support/message_box_recorder.h"

#include "lang/language_folder.h"

#include <QMainWindow>
#include <QPointer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace tarnlow::test {

// A program folder holding the shipped language files, a database with the default system tables
// on the backend of the test, gds_menu retrieved from it, and the default object library loaded
// from the build. openMain() creates w_main from the library as start-up does.
class MainWindowTest : public ConnectedBackendTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates and shows w_main; the library list and gds_menu must be ready.
    QMainWindow* openMain();
    // Retrieves gds_menu again (after a test changed t_sys_menu).
    void reloadMenuList();
    QTreeWidget* tree() const;
    QTreeWidgetItem* treeItem(const QString& caption) const;
    // Activates a tree item with the keyboard: made current, then Enter.
    void activate(const QString& caption);
    QStringList menuBarTitles() const;
    QString storedLanguage() const;

    std::unique_ptr<LanguageFolder> folder;
    std::unique_ptr<LibrarySearchList> libraries;
    std::unique_ptr<MessageBoxRecorder> messages;
    QPointer<QMainWindow> main;
};

} // namespace tarnlow::test
