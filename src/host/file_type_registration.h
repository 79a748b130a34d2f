#pragma once

#include "host/result.h"

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

// Writes the three entries: the extension names the class, the class its description, and the
// open command is the executable path followed by " %1", unquoted. The reason when any of them
// could not be written.
Result<void> registerFileTypeEntries(SettingsStore& settings, const QString& executablePath);

// $XDG_DATA_HOME, or ~/.local/share when it is not set.
QString standardDataHome();

// Makes desktops open *.fuf files with this program: a desktop entry
// <dataHome>/applications/tarnlow_as.desktop whose command is the executable with the file's path,
// and a shared-mime-info glob <dataHome>/mime/packages/tarnlow_as-fuf.xml. Files are rewritten only
// when their content changes, and then the desktop's caches are refreshed in the background when
// the refresh tools are installed.
Result<void> registerDesktopFileType(const QString& dataHome, const QString& executablePath);

// The Exec= value of the desktop entry: the executable quoted by the desktop entry rules, then %f.
QString desktopExecLine(const QString& executablePath);

} // namespace tarnlow
