#include "settings/CRegister.h"

#include "platform/SqliteRegistryStore.h"
#include "support/TempDir.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace lumora::platform;
using lumora::settings::CRegister;
using lumora::test::TempDir;

namespace
{

const QString kSettings = QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings\\");

class CRegisterTest : public testing::Test
{
protected:
    TempDir dir;
    SqliteRegistryStore store{dir.file(QStringLiteral("registry.db"))};
    CRegister reg{store};
};

} // namespace

TEST(CRegisterTrim, RemovesAtMostOneSeparatorAtEachEnd)
{
    EXPECT_EQ(CRegister::TrimSlashes(QStringLiteral("\\SOFTWARE\\Quorvane\\")),
              QStringLiteral("SOFTWARE\\Quorvane"));
    EXPECT_EQ(CRegister::TrimSlashes(QStringLiteral("\\")), QString());
    EXPECT_EQ(CRegister::TrimSlashes(QStringLiteral("\\\\a")), QStringLiteral("\\a"));
    EXPECT_EQ(CRegister::TrimSlashes(QStringLiteral("a\\\\")), QStringLiteral("a\\"));
    EXPECT_EQ(CRegister::TrimSlashes(QStringLiteral("plain")), QStringLiteral("plain"));
    EXPECT_EQ(CRegister::TrimSlashes(QString()), QString());
}

TEST_F(CRegisterTest, SavedTextReadsBackAndDefaultsFillTheGaps)
{
    // Nothing stored yet: every setting gives its default.
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSettings, QStringLiteral("AntiAlias"),
                                QStringLiteral("1")),
              QStringLiteral("1"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSettings, QStringLiteral("Slide Show Delay"),
                                QStringLiteral("2000")),
              QStringLiteral("2000"));

    EXPECT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSettings,
                                   QStringLiteral("Slide Show Delay"), QStringLiteral("3000")));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSettings, QStringLiteral("Slide Show Delay"),
                                QStringLiteral("2000")),
              QStringLiteral("3000"));
    // The trailing backslash of the constant is trimmed: both spellings are one key.
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE,
                                QStringLiteral("\\software\\quorvane\\lumora settings"),
                                QStringLiteral("SLIDE SHOW DELAY"), QString()),
              QStringLiteral("3000"));
    // Another root is another store.
    EXPECT_EQ(reg.REGGetSetting(HKEY_CURRENT_USER, kSettings, QStringLiteral("Slide Show Delay"),
                                QStringLiteral("d")),
              QStringLiteral("d"));

    // An empty value reads as absent; an unknown root never stores anything.
    EXPECT_TRUE(
        reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSettings, QStringLiteral("FullScreen"), QString()));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSettings, QStringLiteral("FullScreen"),
                                QStringLiteral("1")),
              QStringLiteral("1"));
    EXPECT_FALSE(reg.REGSaveSetting(0x80000005u, kSettings, QStringLiteral("FullScreen"),
                                    QStringLiteral("0")));
    EXPECT_EQ(reg.REGGetSetting(0x80000005u, kSettings, QStringLiteral("FullScreen"),
                                QStringLiteral("z")),
              QStringLiteral("z"));

    // A key path with an empty component names no key.
    EXPECT_FALSE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, QStringLiteral("\\\\Two"),
                                    QStringLiteral("v"), QStringLiteral("x")));
}

TEST_F(CRegisterTest, NamesKeepTheirFirstSpelling)
{
    EXPECT_TRUE(reg.REGSaveSetting(HKEY_CURRENT_USER, QStringLiteral("Software\\MixedCase"),
                                   QStringLiteral("AntiAlias"), QStringLiteral("-1")));
    EXPECT_TRUE(reg.REGSaveSetting(HKEY_CURRENT_USER, QStringLiteral("SOFTWARE\\MIXEDCASE"),
                                   QStringLiteral("ANTIALIAS"), QStringLiteral("0")));
    EXPECT_EQ(reg.GetAllKeys(HKEY_CURRENT_USER, QStringLiteral("software")),
              QStringList{QStringLiteral("MixedCase")});
    EXPECT_EQ(reg.REGGetSetting(HKEY_CURRENT_USER, QStringLiteral("Software\\MixedCase"),
                                QStringLiteral("antialias"), {}),
              QStringLiteral("0"));
}

TEST_F(CRegisterTest, StarAddressesTheDefaultValue)
{
    const QString key = QStringLiteral("Lumora.jpg\\DefaultIcon");
    EXPECT_TRUE(reg.REGSaveSetting(HKEY_CLASSES_ROOT, key, QStringLiteral("*"),
                                   QStringLiteral("/icons/jpg.ico")));
    RegValue v;
    ASSERT_EQ(store.queryValue(RegistryRoot::ClassesRoot, key, QString(), &v), RegResult::Ok);
    EXPECT_EQ(v.data, QStringLiteral("/icons/jpg.ico"));
    EXPECT_EQ(v.type, std::uint32_t(RegSz));
    EXPECT_EQ(
        reg.REGGetSetting(HKEY_CLASSES_ROOT, key, QStringLiteral("*"), QStringLiteral("none")),
        QStringLiteral("/icons/jpg.ico"));
    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_CLASSES_ROOT, key, QStringLiteral("*")));
    EXPECT_EQ(
        reg.REGGetSetting(HKEY_CLASSES_ROOT, key, QStringLiteral("*"), QStringLiteral("none")),
        QStringLiteral("none"));
    // Any stored type reads as its text.
    ASSERT_EQ(store.setValue(RegistryRoot::ClassesRoot, key, QString(),
                             {QStringLiteral("%HOME%/x"), RegExpandSz}),
              RegResult::Ok);
    EXPECT_EQ(reg.REGGetSetting(HKEY_CLASSES_ROOT, key, QStringLiteral("*"), {}),
              QStringLiteral("%HOME%/x"));
}

TEST_F(CRegisterTest, DeleteRemovesAValueOrAWholeKey)
{
    const QString app = QStringLiteral("Software\\App");
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_CURRENT_USER, app + QStringLiteral("\\A"),
                                   QStringLiteral("x"), QStringLiteral("1")));
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_CURRENT_USER, app + QStringLiteral("\\B\\Deep"),
                                   QStringLiteral("y"), QStringLiteral("2")));
    ASSERT_TRUE(
        reg.REGSaveSetting(HKEY_CURRENT_USER, app, QStringLiteral("keep"), QStringLiteral("3")));

    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_CURRENT_USER, QStringLiteral("\\Software\\App\\A\\"),
                                     QStringLiteral("X")));
    EXPECT_FALSE(
        reg.REGDeleteSetting(HKEY_CURRENT_USER, app + QStringLiteral("\\A"), QStringLiteral("x")));
    EXPECT_FALSE(reg.REGDeleteSetting(HKEY_CURRENT_USER, QStringLiteral("Software\\Missing"),
                                      QStringLiteral("x")));

    // The key branch does not trim: the path must name the key exactly.
    EXPECT_FALSE(reg.REGDeleteSetting(HKEY_CURRENT_USER, app + QStringLiteral("\\B\\"), QString()));
    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_CURRENT_USER, app + QStringLiteral("\\b"), QString()));
    EXPECT_EQ(reg.REGGetSetting(HKEY_CURRENT_USER, app + QStringLiteral("\\B\\Deep"),
                                QStringLiteral("y"), QStringLiteral("gone")),
              QStringLiteral("gone"));
    EXPECT_EQ(reg.GetAllKeys(HKEY_CURRENT_USER, app), QStringList{QStringLiteral("A")});
    EXPECT_EQ(reg.REGGetSetting(HKEY_CURRENT_USER, app, QStringLiteral("keep"), {}),
              QStringLiteral("3"));
}

TEST_F(CRegisterTest, GetAllKeysListsSubKeysInNameOrder)
{
    for (const char *name : {"zeta", "Alpha", "beta"})
        ASSERT_TRUE(reg.REGSaveSetting(HKEY_CLASSES_ROOT,
                                       QStringLiteral("Types\\") + QLatin1String(name),
                                       QStringLiteral("*"), QStringLiteral("v")));
    EXPECT_EQ(
        reg.GetAllKeys(HKEY_CLASSES_ROOT, QStringLiteral("Types")),
        (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral("zeta")}));
    EXPECT_EQ(reg.GetAllKeys(HKEY_CLASSES_ROOT, QString()), QStringList{QStringLiteral("Types")});
    EXPECT_TRUE(reg.GetAllKeys(HKEY_CLASSES_ROOT, QStringLiteral("Types\\Alpha")).isEmpty());
    EXPECT_TRUE(reg.GetAllKeys(HKEY_CLASSES_ROOT, QStringLiteral("Nowhere")).isEmpty());
    // No trimming here: a trailing separator names no key.
    EXPECT_TRUE(reg.GetAllKeys(HKEY_CLASSES_ROOT, QStringLiteral("Types\\")).isEmpty());
}

TEST(CRegisterReadOnly, ReadsThroughTheReadRetryWhenWritingIsRefused)
{
    TempDir dir;
    const QString db = dir.file(QStringLiteral("registry.db"));
    {
        SqliteRegistryStore store(db);
        CRegister reg(store);
        ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSettings, QStringLiteral("AntiAlias"),
                                       QStringLiteral("0")));
    }
    QFile::setPermissions(db, QFileDevice::ReadOwner);
    const bool root = ::geteuid() == 0;
    if (root)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), db});
    struct Restore {
        QString db;
        bool root;
        ~Restore()
        {
            if (root)
                QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), db});
            QFile::setPermissions(db, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    } restore{db, root};
    {
        QFile probe(db);
        if (probe.open(QIODevice::ReadWrite))
            GTEST_SKIP() << "cannot make a file read-only here";
    }
    SqliteRegistryStore store(db);
    ASSERT_FALSE(store.isWritable());
    CRegister reg(store);
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSettings, QStringLiteral("AntiAlias"),
                                QStringLiteral("1")),
              QStringLiteral("0"));
    EXPECT_FALSE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSettings, QStringLiteral("AntiAlias"),
                                    QStringLiteral("-1")));
    EXPECT_FALSE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, kSettings, QStringLiteral("AntiAlias")));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kSettings, QStringLiteral("AntiAlias"),
                                QStringLiteral("1")),
              QStringLiteral("0"));
}
