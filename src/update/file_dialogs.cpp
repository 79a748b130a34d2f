#include "update/file_dialogs.h"

#include <QFileDialog>

namespace tarnlow {

FileDialogs FileDialogs::standard() {
    FileDialogs dialogs;
    dialogs.openFile = [](QWidget* parent, const QString& title,
                          const QString& filter) -> std::optional<QString> {
        const QString path = QFileDialog::getOpenFileName(parent, title, QString(), filter);
        return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
    };
    dialogs.saveFile = [](QWidget* parent, const QString& title, const QString& proposed,
                          const QString& filter) -> std::optional<QString> {
        const QString path = QFileDialog::getSaveFileName(parent, title, proposed, filter, nullptr,
                                                          QFileDialog::DontConfirmOverwrite);
        return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
    };
    return dialogs;
}

} // namespace tarnlow
