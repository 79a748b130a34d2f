#include "host/library_search_list.h"

#include "host/object_library.h"
#include "support/test_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>

#include <gtest/gtest.h>

#include <memory>

using namespace tarnlow;

namespace {

const QString kLibraries = QStringLiteral(TARNLOW_TEST_LIBRARY_DIR);
const QString kExecutable = QStringLiteral("/opt/tool/tarnlow_as");

QString libraryFile(const QString& name) {
    return QStringLiteral("libtarnlow_test_library_%1.so").arg(name);
}

QString creatorOf(const LibrarySearchList& list, const QString& name) {
    std::unique_ptr<QObject> object(list.createObject(name, {}));
    return object ? object->objectName() : QStringLiteral("<none>");
}

} // namespace

TEST(LibrarySearchList, NamesResolveThroughTheLibrariesInOrderThenTheExecutable) {
    LibrarySearchList list(kExecutable, kLibraries + QLatin1Char('/'));
    list.registerOwnObject(QStringLiteral("w_main"), [](const ObjectContext& context) {
        auto* object = new QObject(context.parent);
        object->setObjectName(QStringLiteral("exe:w_main"));
        return object;
    });
    list.registerOwnObject(QStringLiteral("w_own"), [](const ObjectContext& context) {
        auto* object = new QObject(context.parent);
        // Objects receive the list so that they can open further objects through it.
        object->setObjectName(context.libraries != nullptr ? QStringLiteral("exe:w_own")
                                                           : QStringLiteral("exe:w_own without list"));
        return object;
    });
    EXPECT_EQ(list.list(), kExecutable);
    EXPECT_EQ(creatorOf(list, QStringLiteral("w_main")), QStringLiteral("exe:w_main"));

    const QString newList = kExecutable + QLatin1Char(',') + libraryFile(QStringLiteral("b")) +
                            QLatin1Char(',') + kLibraries + QLatin1Char('/') +
                            libraryFile(QStringLiteral("a"));
    const Result<void> set = list.setList(newList);
    ASSERT_TRUE(set) << set.error().toStdString();
    EXPECT_EQ(list.list(), newList);
    EXPECT_EQ(creatorOf(list, QStringLiteral("w_main")), QStringLiteral("b:w_main"));
    EXPECT_EQ(creatorOf(list, QStringLiteral("UO_SHARED")), QStringLiteral("b:uo_shared"));
    EXPECT_EQ(creatorOf(list, QStringLiteral("uo_a")), QStringLiteral("a:uo_a"));
    EXPECT_EQ(creatorOf(list, QStringLiteral("w_own")), QStringLiteral("exe:w_own"));
    EXPECT_EQ(creatorOf(list, QStringLiteral("uo_nowhere")), QStringLiteral("<none>"));
    EXPECT_FALSE(list.provides(QStringLiteral("uo_nowhere")));
    EXPECT_EQ(QFileInfo(list.providerOf(QStringLiteral("uo_a"))).fileName(),
              libraryFile(QStringLiteral("a")));
    EXPECT_EQ(list.providerOf(QStringLiteral("w_own")), kExecutable);

    // The executable's bare file name stands for its own objects and loads nothing.
    const Result<void> own = list.setList(QStringLiteral("tarnlow_as,") + libraryFile(QStringLiteral("a")));
    ASSERT_TRUE(own) << own.error().toStdString();
    EXPECT_EQ(creatorOf(list, QStringLiteral("w_main")), QStringLiteral("a:w_main"));
    EXPECT_EQ(creatorOf(list, QStringLiteral("uo_b")), QStringLiteral("<none>"));
}

TEST(LibrarySearchList, AListThatCannotBeLoadedChangesNothing) {
    test::ScratchFolder scratch;
    ASSERT_TRUE(scratch.write(QStringLiteral("garbage.so"), "not a library"));
    LibrarySearchList list(kExecutable, kLibraries + QLatin1Char('/'));
    const QString good = kExecutable + QLatin1Char(',') + libraryFile(QStringLiteral("a"));
    ASSERT_TRUE(list.setList(good));

    const QStringList bad{
        libraryFile(QStringLiteral("b")) + QStringLiteral(",missing.so"),
        scratch.file(QStringLiteral("garbage.so")),
        QStringLiteral("libtarnlow_test_not_a_plugin.so"),
    };
    for (const QString& entry : bad) {
        const Result<void> refused = list.setList(entry);
        ASSERT_FALSE(refused) << entry.toStdString();
        EXPECT_FALSE(refused.error().isEmpty());
        EXPECT_EQ(list.list(), good);
        EXPECT_EQ(creatorOf(list, QStringLiteral("w_main")), QStringLiteral("a:w_main"));
        EXPECT_FALSE(list.provides(QStringLiteral("uo_b")));
    }
    const Result<void> missing = list.setList(QStringLiteral("missing.so"));
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().contains(QStringLiteral("missing.so"))) << missing.error().toStdString();
}
