#pragma once

#include "host/result.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QObject;
class QPluginLoader;

namespace tarnlow {

class ObjectLibrary;
struct ObjectContext;

// The list of object libraries in which object names are looked up. The list is comma-separated
// and its first entry is the running executable; every further entry is a library file (a Qt
// plugin implementing ObjectLibrary), resolved relative to the program folder unless absolute.
// An entry that names the executable itself (full path or bare file name) stands for the
// executable's own objects and loads nothing.
//
// A name resolves through the listed libraries in list order, then through the executable's
// own objects.
class LibrarySearchList {
public:
    // executablePath: the running program; programFolder: where relative entries are found
    // (ends in a separator).
    LibrarySearchList(QString executablePath, QString programFolder);
    ~LibrarySearchList();
    LibrarySearchList(const LibrarySearchList&) = delete;
    LibrarySearchList& operator=(const LibrarySearchList&) = delete;

    // The current list, starting with the executable's entry.
    QString list() const;

    // Loads every entry of the list and makes it current. When an entry cannot be loaded (missing
    // file, not a plugin, not an object library) nothing changes and the reason says which entry
    // failed and why.
    Result<void> setList(const QString& list);

    // The executable's own objects, consulted after every listed library.
    using Factory = std::function<QObject*(const ObjectContext& context)>;
    void registerOwnObject(const QString& name, Factory factory);

    // True when some listed library or the executable provides the name.
    bool provides(const QString& name) const;
    // The file of the library that provides the name (the executable path for its own objects),
    // empty when nothing provides it.
    QString providerOf(const QString& name) const;
    // A new object of the name from the first provider, or nullptr when nothing provides it.
    // The context's library list is this list when the caller left it empty.
    QObject* createObject(const QString& name, const ObjectContext& context) const;

private:
    struct Library {
        QString file;
        std::unique_ptr<QPluginLoader> loader;
        ObjectLibrary* objects = nullptr;
    };
    QString resolveEntry(const QString& entry) const;
    bool namesExecutable(const QString& entry) const;

    QString m_executablePath;
    QString m_programFolder;
    QString m_list;
    std::vector<Library> m_libraries;
    std::vector<std::pair<QString, Factory>> m_ownObjects;
};

} // namespace tarnlow
