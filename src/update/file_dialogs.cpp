#include "update/file_dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>

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
    dialogs.askPassphrase = [](QWidget* parent, const QString& prompt) -> std::optional<QString> {
        bool ok = false;
        const QString text = QInputDialog::getText(parent, QStringLiteral("Passphrase"), prompt,
                                                   QLineEdit::Password, QString(), &ok);
        return ok ? std::optional<QString>(text) : std::nullopt;
    };
    return dialogs;
}

} // namespace tarnlow
