#pragma once

#include "signing/signing_key.h"
#include "update/file_dialogs.h"
#include "update/package_writer.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tarnlow {

// The package builder: up to four files, a version and a component number and an SQL script go
// into one update package. Its texts are fixed; only the messages it shows follow the language
// file. The build asks where to save (proposing "20031220.fuf"), asks before replacing a file,
// and reports the package's path and size or why nothing was written. When a secret key is chosen
// the package is also signed with it (PACKAGE.fuf.minisig, with signed records of its files).
class w_temp : public QWidget {
    Q_OBJECT

public:
    explicit w_temp(FileDialogs dialogs = FileDialogs::standard(), QWidget* parent = nullptr);

    // The source the controls describe (what the build button packs).
    PackageSource source() const;

    // The secret key to sign with, empty for an unsigned package.
    QString secretKeyPath() const;

    // Controls in creation order.
    QPlainTextEdit* mle_1 = nullptr; // SQL script
    QLineEdit* sle_6 = nullptr;      // component number
    QLineEdit* sle_5 = nullptr;      // version number
    QLabel* st_5 = nullptr;
    QPushButton* cb_6 = nullptr; // build
    QPushButton* cb_5 = nullptr; // picker of sle_4
    QPushButton* cb_4 = nullptr; // picker of sle_3
    QPushButton* cb_3 = nullptr; // picker of sle_2
    QPushButton* cb_2 = nullptr; // picker of sle_1
    QLineEdit* sle_4 = nullptr;
    QLineEdit* sle_3 = nullptr;
    QLineEdit* sle_2 = nullptr;
    QLineEdit* sle_1 = nullptr;
    QLabel* st_4 = nullptr;
    QLabel* st_3 = nullptr;
    QLabel* st_2 = nullptr;
    QLabel* st_1 = nullptr;
    // The signing row, below the numbers.
    QLabel* st_6 = nullptr;
    QLineEdit* sle_7 = nullptr;  // secret key file
    QPushButton* cb_7 = nullptr; // picker of sle_7

    // The proposed file name of the save dialog.
    static QString defaultPackageName() { return QStringLiteral("20031220.fuf"); }

private:
    void applyLanguage();
    void createControls();
    void arrangeControls();
    void arrangeTabOrder();
    void pickFile(QLineEdit* edit);
    void build();
    // Asks before replacing an existing file; true when the operator agreed.
    bool confirmReplace(const QString& path);
    // The chosen secret key, read before anything is written; no key when none is chosen, and an
    // error (already shown) when it cannot be used.
    Result<std::optional<SecretKey>, bool> chosenSecretKey();
    // Signs the package just written and says so, with what each database makes of its script.
    void signBuiltPackage(const PackageWritten& written, const SecretKey& key);

    FileDialogs m_dialogs;
    QString m_packageFolder; // where the last package went; the next save dialog starts there
};

} // namespace tarnlow
