#include "platform/linux/LocalSingleInstance.h"

#include "support/TempDir.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <unistd.h>

using lumora::platform::LocalSingleInstance;
using lumora::test::TempDir;

TEST(LocalSingleInstance, OnlyTheFirstIsPrimaryUntilItEnds)
{
    TempDir dir;
    const QString name = dir.file(QStringLiteral("lumora.instance"));
    {
        LocalSingleInstance first(name);
        ASSERT_TRUE(first.tryBecomePrimary());
        EXPECT_TRUE(first.tryBecomePrimary()) << "asking again stays primary";
        LocalSingleInstance second(name);
        EXPECT_FALSE(second.tryBecomePrimary());
        EXPECT_FALSE(second.tryBecomePrimary());
    }
    LocalSingleInstance later(name);
    EXPECT_TRUE(later.tryBecomePrimary()) << "the name must be free once the primary is gone";
}

TEST(LocalSingleInstance, LeftoverFromACrashIsTakenOver)
{
    TempDir dir;
    // What a killed primary leaves behind: a name nobody answers on.
    const QString name = dir.write(QStringLiteral("lumora.instance"), QByteArray());
    LocalSingleInstance next(name);
    EXPECT_TRUE(next.tryBecomePrimary());
    LocalSingleInstance other(name);
    EXPECT_FALSE(other.tryBecomePrimary());
}

TEST(LocalSingleInstance, DefaultNameIsPerUser)
{
    const QString name = LocalSingleInstance::defaultName();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        EXPECT_EQ(name, runtime + QStringLiteral("/lumora.instance"));
    else
        EXPECT_TRUE(name.contains(QString::number(::getuid()))) << name.toStdString();
}
