#include "host/library_search_list.h"

#include "host/object_library.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QPluginLoader>

#include <algorithm>

namespace tarnlow {
namespace {

QString canonicalOrAbsolute(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool libraryProvides(ObjectLibrary& library, const QString& name) {
    const QStringList names = library.objectNames();
    return std::any_of(names.begin(), names.end(),
                       [&](const QString& entry) { return sameName(entry, name); });
}

} // namespace

LibrarySearchList::LibrarySearchList(QString executablePath, QString programFolder)
    : m_executablePath(std::move(executablePath))
    , m_programFolder(std::move(programFolder))
    , m_list(m_executablePath) {}

LibrarySearchList::~LibrarySearchList() = default;

QString LibrarySearchList::list() const {
    return m_list;
}

QString LibrarySearchList::resolveEntry(const QString& entry) const {
    if (QDir::isAbsolutePath(entry))
        return entry;
    return m_programFolder + entry;
}

bool LibrarySearchList::namesExecutable(const QString& entry) const {
    if (entry == m_executablePath || entry == QFileInfo(m_executablePath).fileName())
        return true;
    return canonicalOrAbsolute(resolveEntry(entry)) == canonicalOrAbsolute(m_executablePath);
}

Result<void> LibrarySearchList::setList(const QString& list) {
    std::vector<Library> libraries;
    for (const QString& rawEntry : list.split(QLatin1Char(','))) {
        const QString entry = rawEntry.trimmed();
        if (entry.isEmpty() || namesExecutable(entry))
            continue;
        const QString file = canonicalOrAbsolute(resolveEntry(entry));
        // A library already in the list keeps its loaded instance.
        auto reused = std::find_if(m_libraries.begin(), m_libraries.end(),
                                   [&](const Library& library) { return library.file == file; });
        if (reused != m_libraries.end()) {
            Library copy;
            copy.file = reused->file;
            copy.loader = std::make_unique<QPluginLoader>(reused->file);
            copy.objects = reused->objects;
            libraries.push_back(std::move(copy));
            continue;
        }
        Library library;
        library.file = file;
        library.loader = std::make_unique<QPluginLoader>(file);
        QObject* root = library.loader->instance();
        if (root == nullptr) {
            return Error{QStringLiteral("cannot load the library \"%1\" (%2): %3")
                             .arg(entry, file, library.loader->errorString())};
        }
        library.objects = qobject_cast<ObjectLibrary*>(root);
        if (library.objects == nullptr) {
            return Error{QStringLiteral("the library \"%1\" (%2) is not an object library of this program")
                             .arg(entry, file)};
        }
        libraries.push_back(std::move(library));
    }
    // Loaders are never unloaded: windows created from a library may outlive the list that named it.
    m_libraries = std::move(libraries);
    m_list = list;
    return {};
}

void LibrarySearchList::registerOwnObject(const QString& name, Factory factory) {
    m_ownObjects.emplace_back(name, std::move(factory));
}

bool LibrarySearchList::provides(const QString& name) const {
    return !providerOf(name).isEmpty();
}

QString LibrarySearchList::providerOf(const QString& name) const {
    for (const Library& library : m_libraries) {
        if (libraryProvides(*library.objects, name))
            return library.file;
    }
    for (const auto& [ownName, factory] : m_ownObjects) {
        if (sameName(ownName, name))
            return m_executablePath;
    }
    return {};
}

QObject* LibrarySearchList::createObject(const QString& name, const ObjectContext& context) const {
    ObjectContext completed = context;
    if (completed.libraries == nullptr)
        completed.libraries = this;
    for (const Library& library : m_libraries) {
        if (libraryProvides(*library.objects, name))
            return library.objects->createObject(name, completed);
    }
    for (const auto& [ownName, factory] : m_ownObjects) {
        if (sameName(ownName, name))
            return factory(completed);
    }
    return nullptr;
}

} // namespace tarnlow
