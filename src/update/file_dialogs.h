#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace tarnlow {

// The file dialogs a window shows, replaceable so that tests can answer them. Each returns the
// chosen path, or no value when the operator cancelled.
struct FileDialogs {
    // Open dialog: parent, title, filter.
    std::function<std::optional<QString>(QWidget*, const QString&, const QString&)> openFile;
    // Save dialog: parent, title, proposed path (folder and file name), filter. It does not ask
    // about replacing an existing file; the caller does.
    std::function<std::optional<QString>(QWidget*, const QString&, const QString&, const QString&)> saveFile;

    // Passphrase dialog: parent, prompt; what is typed is not shown.
    std::function<std::optional<QString>(QWidget*, const QString&)> askPassphrase;

    // Backed by the desktop's QFileDialog and QInputDialog.
    static FileDialogs standard();
};

} // namespace tarnlow
