#include "host/file_type_registration.h"

#include "host/output_file.h"
#include "host/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace tarnlow {
namespace {

// Writes the file when its content differs; true in `changed` when it was written.
Result<void> writeWhenChanged(const QString& path, const QByteArray& content, bool& changed) {
    changed = false;
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content)
        return {};
    existing.close();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Error{QStringLiteral("cannot create the folder of %1").arg(path)};
    if (const Result<void> saved = saveWholeFile(path, content); !saved)
        return Error{QStringLiteral("cannot write %1: %2").arg(path, saved.error())};
    changed = true;
    return {};
}

void refreshInBackground(const QString& tool, const QString& folder) {
    const QString program = QStandardPaths::findExecutable(tool);
    if (!program.isEmpty())
        QProcess::startDetached(program, {folder});
}

} // namespace

Result<void> registerFileTypeEntries(SettingsStore& settings, const QString& executablePath) {
    const QString unnamed;
    // All three are attempted; the first failure is the one reported.
    const Result<void> results[] = {
        settings.write(kFileTypeExtensionKey, unnamed, kFileTypeClassName),
        settings.write(kFileTypeClassKey, unnamed, kFileTypeDescription),
        settings.write(kFileTypeOpenCommandKey, unnamed, executablePath + QStringLiteral(" %1")),
    };
    for (const Result<void>& result : results) {
        if (!result)
            return result;
    }
    return {};
}

QString standardDataHome() {
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!dataHome.isEmpty())
        return dataHome;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

QString desktopExecLine(const QString& executablePath) {
    // Inside a quoted argument '"', '`', '$' and '\' take a backslash; the value as a whole then
    // doubles every backslash and every '%'.
    QString quoted;
    for (const QChar c : executablePath) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + quoted + QStringLiteral("\" %f");
}

Result<void> registerDesktopFileType(const QString& dataHome, const QString& executablePath) {
    if (dataHome.isEmpty())
        return Error{QStringLiteral("no data folder for the desktop file type")};
    for (const QChar c : executablePath) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            return Error{QStringLiteral("the program path holds a line break: %1").arg(executablePath)};
    }
    const QString applications = dataHome + QStringLiteral("/applications");
    const QString mimeFolder = dataHome + QStringLiteral("/mime");
    bool desktopChanged = false;
    bool mimeChanged = false;
    bool iconChanged = false;
    Result<void> status =
        writeWhenChanged(applications + QLatin1Char('/') + kDesktopEntryFileName,
                         desktopEntryText(desktopExecLine(executablePath)).toUtf8(), desktopChanged);
    if (!status)
        return status;
    status = writeWhenChanged(mimeFolder + QStringLiteral("/packages/") + kMimePackageFileName,
                              mimePackageText().toUtf8(), mimeChanged);
    if (!status)
        return status;
    for (const ThemeIcon& icon : themeIcons()) {
        QFile resource(icon.resource);
        if (!resource.open(QIODevice::ReadOnly))
            return Error{QStringLiteral("the program carries no icon %1").arg(icon.resource)};
        bool changed = false;
        status = writeWhenChanged(dataHome + QStringLiteral("/icons/hicolor/") + icon.themeFile,
                                  resource.readAll(), changed);
        if (!status)
            return status;
        iconChanged = iconChanged || changed;
    }
    if (mimeChanged)
        refreshInBackground(QStringLiteral("update-mime-database"), mimeFolder);
    if (desktopChanged)
        refreshInBackground(QStringLiteral("update-desktop-database"), applications);
    // Icon themes read a folder without a cache as it is; only an existing cache must follow.
    if (iconChanged && QFileInfo::exists(dataHome + QStringLiteral("/icons/hicolor/icon-theme.cache")))
        refreshInBackground(QStringLiteral("gtk-update-icon-cache"),
                            dataHome + QStringLiteral("/icons/hicolor"));
    return {};
}

QString desktopEntryText(const QString& execLine) {
    // The same entry as the packaged packaging/tarnlow_as.desktop, apart from the Exec line.
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=tarnlow_as\n"
                          "GenericName=Game server database administration\n"
                          "Comment=Administer the game server's database and apply its update packages\n"
                          "Exec=%1\n"
                          "Icon=%2\n"
                          "Terminal=false\n"
                          "Categories=Office;Database;\n"
                          "MimeType=%3;\n"
                          "Keywords=database;update;\n")
        .arg(execLine, kIconName, kPackageMimeType);
}

QString mimePackageText() {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                          "  <mime-type type=\"%1\">\n"
                          "    <comment>%2</comment>\n"
                          "    <glob pattern=\"*.fuf\"/>\n"
                          "  </mime-type>\n"
                          "</mime-info>\n")
        .arg(kPackageMimeType, kFileTypeDescription);
}

QList<ThemeIcon> themeIcons() {
    return {
        {QStringLiteral(":/tarnlow/icons/tarnlow_as.svg"), QStringLiteral("scalable/apps/tarnlow_as.svg")},
        {QStringLiteral(":/tarnlow/icons/tarnlow_as-48.png"), QStringLiteral("48x48/apps/tarnlow_as.png")},
        {QStringLiteral(":/tarnlow/icons/tarnlow_as-256.png"), QStringLiteral("256x256/apps/tarnlow_as.png")},
    };
}

} // namespace tarnlow
