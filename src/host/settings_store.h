#pragma once

#include "host/output_file.h"
#include "host/result.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnlow {

// Key path under which the program keeps its per-machine values.
inline const QString kSettingsKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Tarnlow_As");

// The per-machine store of named string values, addressed by a key path and a value name as the
// program spells them (the default value of a key has the empty name). Backed by one file per user:
// $TARNLOW_AS_REGISTRY when set, else $XDG_CONFIG_HOME/tarnlow_as/registry.ini. Every value is kept
// exactly, whatever characters it holds. Writes are atomic and serialised between processes by a
// file lock; the file is readable by its owner only.
class SettingsStore {
public:
    // outputFile makes the file each write goes through; the usual temporary file renamed over the
    // store when empty.
    explicit SettingsStore(QString filePath, OutputFileFactory outputFile = {});

    // The store at the default place (see above), looked up at every call so that tests can
    // point $TARNLOW_AS_REGISTRY elsewhere.
    static SettingsStore standard();
    static QString standardFilePath();

    // The stored text when the key and value exist (a stored empty value is an empty, non-null
    // text), no value otherwise.
    std::optional<QString> read(const QString& key, const QString& name) const;

    // Creates the key when needed and stores the text; the reason when it cannot. Lines of the
    // file that the store does not understand stay as they are, and a write that could lose one
    // (a damaged section line, a value line that is not UTF-8) is refused with that line's
    // number and changes nothing.
    Result<void> write(const QString& key, const QString& name, const QString& value);
    // Several values of one key in one write of the file: all of them or none, or the reason.
    Result<void> writeValues(const QString& key, const QList<QPair<QString, QString>>& values);

    // Whether a write could go through: its folder can be made, its lock taken and its file
    // replaced; the reason when not. Checked before work whose end must be recorded here.
    Result<void> checkWritable() const;

    // The value names stored under a key, in the order they were first written.
    QStringList valueNames(const QString& key) const;

    const QString& filePath() const { return m_filePath; }

private:
    QString m_filePath;
    OutputFileFactory m_outputFile;
};

} // namespace tarnlow
