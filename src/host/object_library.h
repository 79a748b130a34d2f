#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtPlugin>

namespace tarnlow {

class LibrarySearchList;
class Transaction;

// What a created object is given: its parent, the program's database connection (sqlca) and the
// library search list through which it opens further objects (w_main opens w_about that way).
// The pointers may be null where a caller has no connection yet. openParameter carries what the
// menu row that opens a work object gives it (its open_parm, empty when none).
struct ObjectContext {
    QObject* parent = nullptr;
    Transaction* sqlca = nullptr;
    const LibrarySearchList* libraries = nullptr;
    QString openParameter;
};

// What an object library offers: named objects (windows such as w_main and w_about, work objects)
// that the program creates by name. A library is a Qt plugin whose root object implements this
// interface; the executable registers its own objects with the library search list instead.
// Names are compared without regard to case.
class ObjectLibrary {
public:
    virtual ~ObjectLibrary() = default;

    // The names of every object the library can create.
    virtual QStringList objectNames() const = 0;

    // A new object of the given name owned by context.parent (a window for window names), or
    // nullptr when the library has no object of that name. Widget objects need a QApplication.
    virtual QObject* createObject(const QString& name, const ObjectContext& context) = 0;
};

} // namespace tarnlow

#define TarnlowObjectLibrary_iid "org.tarnlow.tarnlow_as.ObjectLibrary/1.0"
Q_DECLARE_INTERFACE(tarnlow::ObjectLibrary, TarnlowObjectLibrary_iid)
