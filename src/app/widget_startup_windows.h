#pragma once

#include "app/startup_windows.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace tarnlow {

// The real windows of start-up. The login, update and version windows are opened by the functions
// the program sets; the main window is created by name through the library search list and shown
// without waiting.
class WidgetStartupWindows : public StartupWindows {
public:
    using LoginWindow = std::function<std::optional<int>(Transaction& sqlca, int first)>;
    using UpdateWindow = std::function<std::optional<int>(Transaction& sqlca, const QString& commandLine)>;
    using VersionWindow = std::function<void(Transaction& sqlca)>;

    // Without a login window nobody can log in and start-up ends.
    LoginWindow login;
    // Without an update window a package on the command line is reported as not applied.
    UpdateWindow update;
    VersionWindow versionCheck;

    std::optional<int> openLogin(Transaction& sqlca, int first) override;
    std::optional<int> openUpdate(Transaction& sqlca, const QString& commandLine) override;
    void openVersionCheck(Transaction& sqlca) override;
    Result<void> openMain(LibrarySearchList& libraries, Transaction& sqlca) override;
    void closeAll() override;

    // The main window start-up opened, while it is open.
    QWidget* mainWindow() const { return m_main; }

private:
    QPointer<QWidget> m_main;
};

} // namespace tarnlow
