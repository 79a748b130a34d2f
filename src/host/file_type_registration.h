#pragma once

#include "host/result.h"

#include <QList>
#include <QString>

namespace tarnlow {

class SettingsStore;

// The update-package file type as the settings store keeps it: three default (unnamed) values.
inline const QString kFileTypeExtensionKey = QStringLiteral("HKEY_CLASSES_ROOT\\.FUF");
inline const QString kFileTypeClassKey = QStringLiteral("HKEY_CLASSES_ROOT\\FERNLAKE_UPDATE_FILE");
inline const QString kFileTypeOpenCommandKey =
    QStringLiteral("HKEY_CLASSES_ROOT\\FERNLAKE_UPDATE_FILE\\shell\\open\\command");
inline const QString kFileTypeClassName = QStringLiteral("FERNLAKE_UPDATE_FILE");
inline const QString kFileTypeDescription = QStringLiteral("Fernlake Update File");

// The MIME type under which desktops know update packages (*.fuf, any case).
inline const QString kPackageMimeType = QStringLiteral("application/x-fernlake-update");

// Names of the desktop's files, the same for the per-user registration and the installed package.
inline const QString kDesktopEntryFileName = QStringLiteral("tarnlow_as.desktop");
inline const QString kMimePackageFileName = QStringLiteral("tarnlow_as-fuf.xml");
inline const QString kIconName = QStringLiteral("tarnlow_as");

// One icon the program carries (a Qt resource) and its place below an icon theme's folder.
struct ThemeIcon {
    QString resource;
    QString themeFile; // e.g. "48x48/apps/tarnlow_as.png"
};
QList<ThemeIcon> themeIcons();

// Writes the three entries: the extension names the class, the class its description, and the
// open command is the executable path followed by " %1", unquoted. The reason when any of them
// could not be written.
Result<void> registerFileTypeEntries(SettingsStore& settings, const QString& executablePath);

// $XDG_DATA_HOME, or ~/.local/share when it is not set.
QString standardDataHome();

// Makes desktops open *.fuf files with this program: a desktop entry
// <dataHome>/applications/tarnlow_as.desktop whose command is the executable with the file's path,
// a shared-mime-info glob <dataHome>/mime/packages/tarnlow_as-fuf.xml and the program's icon in
// <dataHome>/icons/hicolor. Files are rewritten only when their content changes, and then the
// desktop's caches are refreshed in the background when the refresh tools are installed.
Result<void> registerDesktopFileType(const QString& dataHome, const QString& executablePath);

// The desktop entry with the given Exec= value, and the shared-mime-info package for *.fuf.
QString desktopEntryText(const QString& execLine);
QString mimePackageText();

// The Exec= value of the desktop entry: the executable quoted by the desktop entry rules, then %f.
QString desktopExecLine(const QString& executablePath);

} // namespace tarnlow
