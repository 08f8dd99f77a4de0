#include "assoc/ModAssoc.h"

#include "platform/DesktopEntry.h"
#include "platform/MimeGlobs.h"
#include "platform/ProcessCommandRunner.h"
#include "platform/SqliteRegistryStore.h"
#include "platform/linux/FreedesktopAssociations.h"
#include "support/TempDir.h"
#include "support/XdgSandbox.h"

#include <QCoreApplication>
#include <QFile>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::platform;
using assoc::ModAssoc;
using test::TempDir;
using test::XdgSandbox;

namespace
{

const QString kFileExts = QLatin1String(ModAssoc::kFileExtsKey);

QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The store alone, as the operations see it without a desktop.
class ModAssocStoreTest : public testing::Test
{
protected:
    TempDir dir;
    SqliteRegistryStore store{dir.file(QStringLiteral("registry.db"))};
    ModAssoc assoc{store, nullptr, QCoreApplication::applicationFilePath()};

    QString get(std::uint32_t root, const QString &key, const QString &name = {})
    {
        return assoc.GetRegString(root, key, name, QStringLiteral("<none>"));
    }
    bool hasValue(RegistryRoot root, const QString &key, const QString &name)
    {
        RegValue v;
        return store.queryValue(root, key, name, &v) == RegResult::Ok;
    }
};

} // namespace

TEST(ModAssocStrings, TrimAtNullAndEnvironmentExpansion)
{
    EXPECT_EQ(ModAssoc::TrimAtNull(QStringLiteral("abc") + QChar(0) + QStringLiteral("def")),
              QStringLiteral("abc"));
    EXPECT_EQ(ModAssoc::TrimAtNull(QStringLiteral("abc")), QStringLiteral("abc"));
    EXPECT_EQ(ModAssoc::TrimAtNull(QString(QChar(0))), QString());

    qputenv("LUMORA_ASSOC_A", "/opt/a");
    qputenv("LUMORA_ASSOC_B", "b");
    qunsetenv("LUMORA_ASSOC_NONE");
    EXPECT_EQ(ModAssoc::ExpandEnvString(QStringLiteral("%LUMORA_ASSOC_A%/icons")),
              QStringLiteral("/opt/a/icons"));
    EXPECT_EQ(ModAssoc::ExpandEnvString(QStringLiteral("%LUMORA_ASSOC_A%%LUMORA_ASSOC_B%")),
              QStringLiteral("/opt/ab"));
    // Unknown names and lone percent signs stay as written.
    EXPECT_EQ(ModAssoc::ExpandEnvString(QStringLiteral("%LUMORA_ASSOC_NONE%")),
              QStringLiteral("%LUMORA_ASSOC_NONE%"));
    EXPECT_EQ(ModAssoc::ExpandEnvString(QStringLiteral("100% %LUMORA_ASSOC_B%")),
              QStringLiteral("100% b"));
    EXPECT_EQ(ModAssoc::ExpandEnvString(QStringLiteral("50%")), QStringLiteral("50%"));
    EXPECT_EQ(ModAssoc::ExpandEnvString(QStringLiteral("%%")), QStringLiteral("%%"));
}

TEST(ModAssocStrings, ShortPathIsThePathItselfOrNothing)
{
    TempDir dir;
    const QString f = dir.write(QStringLiteral("with blank.txt"));
    EXPECT_EQ(ModAssoc::GetShortPath(f), f);
    EXPECT_EQ(ModAssoc::GetShortPath(dir.file(QStringLiteral("missing"))), QString());
    EXPECT_EQ(ModAssoc::GetShortPath(QString()), QString());
}

TEST_F(ModAssocStoreTest, GetRegStringExpandsOnlyExpandableStrings)
{
    qputenv("LUMORA_ASSOC_A", "/opt/a");
    store.createKey(RegistryRoot::ClassesRoot, QStringLiteral("k"));
    store.setValue(RegistryRoot::ClassesRoot, QStringLiteral("k"), QStringLiteral("exp"),
                   {QStringLiteral("%LUMORA_ASSOC_A%\\x"), RegExpandSz});
    store.setValue(RegistryRoot::ClassesRoot, QStringLiteral("k"), QStringLiteral("sz"),
                   {QStringLiteral("%LUMORA_ASSOC_A%\\x"), RegSz});
    store.setValue(RegistryRoot::ClassesRoot, QStringLiteral("k"), QStringLiteral("nul"),
                   {QStringLiteral("before") + QChar(0) + QStringLiteral("after"), RegSz});
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("k"), QStringLiteral("exp")),
              QStringLiteral("/opt/a\\x"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("k"), QStringLiteral("sz")),
              QStringLiteral("%LUMORA_ASSOC_A%\\x"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("k"), QStringLiteral("nul")),
              QStringLiteral("before"));
    // Missing key, missing value, unknown root: the default.
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("nokey")), QStringLiteral("<none>"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("k"), QStringLiteral("novalue")),
              QStringLiteral("<none>"));
    EXPECT_EQ(get(0x12345u, QStringLiteral("k"), QStringLiteral("sz")), QStringLiteral("<none>"));

    assoc.DeleteRegValue(HKEY_CLASSES_ROOT, QStringLiteral("k"), QStringLiteral("sz"));
    EXPECT_FALSE(hasValue(RegistryRoot::ClassesRoot, QStringLiteral("k"), QStringLiteral("sz")));
    assoc.DeleteRegKey(HKEY_CLASSES_ROOT, QStringLiteral("k"));
    EXPECT_NE(store.openKey(RegistryRoot::ClassesRoot, QStringLiteral("k"), RegAccess::Read),
              RegResult::Ok);
}

TEST_F(ModAssocStoreTest, RegisterProgIDWritesTheClassInOrder)
{
    // A class left under the description's own name goes first.
    assoc.SetRegString(HKEY_CLASSES_ROOT, QStringLiteral("Lumora PNG image"), {},
                       QStringLiteral("Lumora.png"));
    assoc.SetRegString(HKEY_CLASSES_ROOT, QStringLiteral("Lumora PNG image\\sub"), {},
                       QStringLiteral("x"));
    // One under another name is someone else's and stays.
    assoc.SetRegString(HKEY_CLASSES_ROOT, QStringLiteral("Lumora GIF image"), {},
                       QStringLiteral("lumora.gif"));

    assoc.RegisterProgID(QStringLiteral("Lumora.png"), QStringLiteral("Lumora PNG image"),
                         QStringLiteral("open"), QStringLiteral("/opt/lumora/icons/png.ico"));
    assoc.RegisterProgID(QStringLiteral("Lumora.gif"), QStringLiteral("Lumora GIF image"),
                         QStringLiteral("open"), QString());

    EXPECT_NE(store.openKey(RegistryRoot::ClassesRoot, QStringLiteral("Lumora PNG image"),
                            RegAccess::Read),
              RegResult::Ok);
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora GIF image")),
              QStringLiteral("lumora.gif"));

    const QString program = QCoreApplication::applicationFilePath();
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.png")),
              QStringLiteral("Lumora PNG image"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.png\\shell")), QString());
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.png\\shell\\open")), QString());
    const QString command =
        get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.png\\shell\\open\\command"));
    EXPECT_EQ(command, DesktopEntry::quoteArgument(program) + QStringLiteral(" %1"));
    EXPECT_EQ(DesktopEntry::splitCommand(command), (QStringList{program, QStringLiteral("%1")}));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.png\\DefaultIcon")),
              QStringLiteral("/opt/lumora/icons/png.ico"));
    // Without an icon of its own the class shows the program.
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.gif\\DefaultIcon")), program);
}

TEST(ModAssocCommand, QuotedProgramPathAndNeverAPlaceholderAlone)
{
    TempDir dir;
    SqliteRegistryStore store{dir.file(QStringLiteral("registry.db"))};
    const QString odd = dir.write(QStringLiteral("my \"apps\" $HOME/lumora"));
    ModAssoc withBlanks(store, nullptr, odd);
    const QString command = withBlanks.openCommand();
    EXPECT_TRUE(command.startsWith(QLatin1Char('"')));
    EXPECT_EQ(DesktopEntry::splitCommand(command), (QStringList{odd, QStringLiteral("%1")}));

    // A program that cannot be found: no command is registered at all.
    ModAssoc gone(store, nullptr, dir.file(QStringLiteral("gone/orx.exe")));
    EXPECT_EQ(gone.openCommand(), QString());
    gone.RegisterProgID(QStringLiteral("Lumora.png"), QStringLiteral("Lumora PNG image"),
                        QStringLiteral("open"), {});
    EXPECT_EQ(gone.GetRegString(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.png"), {}, {}),
              QStringLiteral("Lumora PNG image"));
    RegValue v;
    EXPECT_NE(store.queryValue(RegistryRoot::ClassesRoot,
                               QStringLiteral("Lumora.png\\shell\\open\\command"), {}, &v),
              RegResult::Ok);
    EXPECT_EQ(gone.GetAppFolder(), dir.file(QStringLiteral("gone/")));
}

TEST_F(ModAssocStoreTest, IsAssociatedIsExactAndCaseSensitive)
{
    assoc.SetRegString(HKEY_CLASSES_ROOT, QStringLiteral(".jpg"), {}, QStringLiteral("lumora.JPG"));
    EXPECT_EQ(assoc.IsAssociated(QStringLiteral(".jpg"), QStringLiteral("Lumora.jpg")), 0);
    assoc.SetRegString(HKEY_CLASSES_ROOT, QStringLiteral(".jpg"), {}, QStringLiteral("Lumora.jpg"));
    EXPECT_EQ(assoc.IsAssociated(QStringLiteral(".jpg"), QStringLiteral("Lumora.jpg")), 1);
    EXPECT_EQ(assoc.IsAssociated(QStringLiteral(".jpg"), QStringLiteral("Lumora.jpg ")), 0);
    EXPECT_EQ(assoc.IsAssociated(QStringLiteral(".png"), QStringLiteral("Lumora.png")), 0);
}

TEST_F(ModAssocStoreTest, AssociatingAnExtensionWithoutClassAndGivingItBack)
{
    assoc.AssociateExtension(QStringLiteral(".tla"), QStringLiteral("Lumora.tla"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".tla")), QStringLiteral("Lumora.tla"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".tla"), QStringLiteral("OldAss")), QString());
    EXPECT_EQ(get(HKEY_CURRENT_USER, kFileExts + QStringLiteral(".tla"), QStringLiteral("ProgID")),
              QStringLiteral("Lumora.tla"));
    EXPECT_EQ(
        get(HKEY_CURRENT_USER, kFileExts + QStringLiteral(".tla"), QStringLiteral("OldProgID")),
        QString());

    assoc.RestoreExtension(QStringLiteral(".tla"), QStringLiteral("Lumora.tla"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".tla")), QString());
    EXPECT_FALSE(
        hasValue(RegistryRoot::ClassesRoot, QStringLiteral(".tla"), QStringLiteral("OldAss")));
    EXPECT_EQ(get(HKEY_CURRENT_USER, kFileExts + QStringLiteral(".tla"), QStringLiteral("ProgID")),
              QString());
    EXPECT_FALSE(hasValue(RegistryRoot::CurrentUser, kFileExts + QStringLiteral(".tla"),
                          QStringLiteral("OldProgID")));
}

TEST_F(ModAssocStoreTest, AssociateTwiceRestoreOnceGivesTheFirstOwner)
{
    assoc.SetRegString(HKEY_CLASSES_ROOT, QStringLiteral(".png"), {}, QStringLiteral("pngfile"));
    assoc.SetRegString(HKEY_CURRENT_USER, kFileExts + QStringLiteral(".png"),
                       QStringLiteral("ProgID"), QStringLiteral("Other.png"));
    assoc.RegisterProgID(QStringLiteral("Lumora.png"), QStringLiteral("Lumora PNG image"),
                         QStringLiteral("open"), {});
    assoc.AssociateExtension(QStringLiteral(".png"), QStringLiteral("Lumora.png"));
    assoc.AssociateExtension(QStringLiteral(".png"), QStringLiteral("Lumora.png"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".png"), QStringLiteral("OldAss")),
              QStringLiteral("pngfile"));
    EXPECT_EQ(
        get(HKEY_CURRENT_USER, kFileExts + QStringLiteral(".png"), QStringLiteral("OldProgID")),
        QStringLiteral("Other.png"));

    assoc.RestoreExtension(QStringLiteral(".png"), QStringLiteral("Lumora.png"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".png")), QStringLiteral("pngfile"));
    EXPECT_EQ(get(HKEY_CURRENT_USER, kFileExts + QStringLiteral(".png"), QStringLiteral("ProgID")),
              QStringLiteral("Other.png"));
    // The class itself stays registered.
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.png")),
              QStringLiteral("Lumora PNG image"));

    // A second restore finds the extension someone else's and leaves it.
    assoc.RestoreExtension(QStringLiteral(".png"), QStringLiteral("Lumora.png"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".png")), QStringLiteral("pngfile"));
    EXPECT_EQ(get(HKEY_CURRENT_USER, kFileExts + QStringLiteral(".png"), QStringLiteral("ProgID")),
              QStringLiteral("Other.png"));
}

// ------------------------------------------------------------ with a desktop

namespace
{

class ModAssocDesktopTest : public testing::Test
{
protected:
    XdgSandbox xdg;
    ProcessCommandRunner runner;
    FreedesktopAssociations desktop{xdg.dirs(),
                                    runner,
                                    {QStringLiteral(".jpg"), QStringLiteral(".jpeg"),
                                     QStringLiteral(".png"), QStringLiteral(".tla")}};
    SqliteRegistryStore store{xdg.dir.file(QStringLiteral("registry.db"))};
    ModAssoc assoc{store, &desktop, QCoreApplication::applicationFilePath()};

    void setUserList(const QByteArray &bytes)
    {
        xdg.dir.write(QStringLiteral("config/mimeapps.list"), bytes);
    }
    void associate(const char *ext)
    {
        const QString e = QLatin1String(ext);
        assoc.RegisterProgID(QStringLiteral("Lumora") + e, QStringLiteral("Lumora image"),
                             QStringLiteral("open"), {});
        assoc.AssociateExtension(e, QStringLiteral("Lumora") + e);
    }
    int associated(const char *ext)
    {
        return assoc.IsAssociated(QLatin1String(ext),
                                  QStringLiteral("Lumora") + QLatin1String(ext));
    }
};

} // namespace

TEST_F(ModAssocDesktopTest, TheDesktopOpensTheTypeWithUsAndThenWithThePreviousProgram)
{
    setUserList(
        "# mine\n[Default Applications]\nimage/png=eog.desktop;\ntext/plain=vim.desktop;\n");
    ASSERT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("eog.desktop"));

    associate(".png");
    EXPECT_EQ(associated(".png"), 1);
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("lumora.desktop"));
    EXPECT_EQ(
        readAll(xdg.mimeAppsList()),
        QStringLiteral("# mine\n[Default "
                       "Applications]\nimage/png=lumora.desktop;\ntext/plain=vim.desktop;\n"));

    assoc.RestoreExtension(QStringLiteral(".png"), QStringLiteral("Lumora.png"));
    EXPECT_EQ(associated(".png"), 0);
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("eog.desktop"));
    EXPECT_EQ(
        readAll(xdg.mimeAppsList()),
        QStringLiteral(
            "# mine\n[Default Applications]\nimage/png=eog.desktop;\ntext/plain=vim.desktop;\n"));
}

TEST_F(ModAssocDesktopTest, AMissingListIsMadeAndASystemDefaultComesBackByItself)
{
    xdg.dir.write(QStringLiteral("sysconf/mimeapps.list"),
                  "[Default Applications]\nimage/png=gimp.desktop;\n");
    ASSERT_FALSE(QFile::exists(xdg.mimeAppsList()));
    associate(".png");
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("lumora.desktop"));
    EXPECT_EQ(readAll(xdg.mimeAppsList()),
              QStringLiteral("[Default Applications]\nimage/png=lumora.desktop;\n"));
    assoc.RestoreExtension(QStringLiteral(".png"), QStringLiteral("Lumora.png"));
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("gimp.desktop"));
    EXPECT_EQ(readAll(xdg.mimeAppsList()), QStringLiteral("[Default Applications]\n"));
}

TEST_F(ModAssocDesktopTest, AnotherProgramTakingTheTypeThroughTheDesktopIsSeen)
{
    associate(".png");
    ASSERT_EQ(associated(".png"), 1);
    int rc = -1;
    xdg.run(
        QStringLiteral("xdg-mime"),
        {QStringLiteral("default"), QStringLiteral("other.desktop"), QStringLiteral("image/png")},
        &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(associated(".png"), 0);
    // Associating again takes it back and remembers the one who had it.
    assoc.AssociateExtension(QStringLiteral(".png"), QStringLiteral("Lumora.png"));
    EXPECT_EQ(associated(".png"), 1);
    assoc.RestoreExtension(QStringLiteral(".png"), QStringLiteral("Lumora.png"));
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("other.desktop"));
}

TEST_F(ModAssocDesktopTest, AssociateTwiceRestoreOnceGivesTheFirstDefault)
{
    setUserList("[Default Applications]\nimage/png=feh.desktop;gimp.desktop;\n");
    associate(".png");
    associate(".png");
    assoc.RestoreExtension(QStringLiteral(".png"), QStringLiteral("Lumora.png"));
    EXPECT_EQ(readAll(xdg.mimeAppsList()),
              QStringLiteral("[Default Applications]\nimage/png=feh.desktop;gimp.desktop;\n"));
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("feh.desktop"));
}

TEST_F(ModAssocDesktopTest, ExtensionsSharingAMimeTypeShareOneDefault)
{
    setUserList("[Default Applications]\nimage/jpeg=eog.desktop;\n");
    associate(".jpg");
    associate(".jpeg");
    EXPECT_EQ(associated(".jpg"), 1);
    EXPECT_EQ(associated(".jpeg"), 1);
    // Giving back the first gives back the type: the second is then no
    // more associated as far as the desktop goes.
    assoc.RestoreExtension(QStringLiteral(".jpg"), QStringLiteral("Lumora.jpg"));
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/jpeg")), QStringLiteral("eog.desktop"));
    EXPECT_EQ(associated(".jpeg"), 0);
    assoc.RestoreExtension(QStringLiteral(".jpeg"), QStringLiteral("Lumora.jpeg"));
    EXPECT_EQ(readAll(xdg.mimeAppsList()),
              QStringLiteral("[Default Applications]\nimage/jpeg=eog.desktop;\n"));
    EXPECT_EQ(assoc.GetRegString(HKEY_CLASSES_ROOT, QStringLiteral(".jpeg"), {},
                                 QStringLiteral("<none>")),
              QString());
}

TEST_F(ModAssocDesktopTest, UnknownTypesAreDeclaredAndTheEntryValidates)
{
    // The machine's database has no type for ".tla".
    ASSERT_EQ(
        mimeTypeForExtension(QStringList{QStringLiteral("/usr/share")}, QStringLiteral("tla")),
        QString());
    EXPECT_EQ(associated(".tla"), 0);
    associate(".tla");
    EXPECT_EQ(desktop.mimeTypeForExtension(QStringLiteral(".tla")), QStringLiteral("image/x-tla"));
    EXPECT_TRUE(QFile::exists(xdg.data + QStringLiteral("/mime/packages/lumora.xml")));
    EXPECT_EQ(associated(".tla"), 1);
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/x-tla")), QStringLiteral("lumora.desktop"));
    // GLib's own guess from the file name agrees.
    const QString photo = xdg.dir.write(QStringLiteral("photo.tla"), QByteArray(64, '\x01'));
    const QString type =
        xdg.run(QStringLiteral("gio"), {QStringLiteral("info"), QStringLiteral("-a"),
                                        QStringLiteral("standard::content-type"), photo});
    EXPECT_TRUE(type.contains(QStringLiteral("image/x-tla"))) << type.toStdString();

    int rc = -1;
    const QString out =
        xdg.run(QStringLiteral("desktop-file-validate"), {desktop.desktopEntryPath()}, &rc);
    EXPECT_EQ(rc, 0) << out.toStdString();
    EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    const DesktopEntry::Parsed entry =
        DesktopEntry::parse(readAll(desktop.desktopEntryPath()).toUtf8());
    // The associated types, then those only offered under "Open With": none
    // of the latter becomes a default.
    EXPECT_EQ(entry.mimeTypes,
              (QStringList{QStringLiteral("image/jpeg"), QStringLiteral("image/png"),
                           QStringLiteral("image/x-tla")} +
               DesktopEntry::openWithMimeTypes()));
    const QString defaults = readAll(xdg.mimeAppsList());
    EXPECT_TRUE(defaults.contains(QStringLiteral("image/x-tla=lumora.desktop")))
        << defaults.toStdString();
    for (const QString &type : DesktopEntry::openWithMimeTypes())
        EXPECT_FALSE(defaults.contains(type)) << type.toStdString();
    EXPECT_EQ(DesktopEntry::splitCommand(entry.exec),
              (QStringList{QCoreApplication::applicationFilePath(), QStringLiteral("%f")}));
}

TEST(DesktopEntryText, AnOddProgramPathSurvivesTheEntryAndValidates)
{
    XdgSandbox xdg;
    const QString program = xdg.dir.write(QStringLiteral("my apps/50% \"best\" $x\\y/lumora"));
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ProcessCommandRunner runner;
    FreedesktopAssociations desktop(xdg.dirs(), runner, {QStringLiteral("png")});
    ASSERT_TRUE(desktop.registerApplication(program, QStringLiteral("/opt/icons/lumora.png")));
    int rc = -1;
    const QString out =
        xdg.run(QStringLiteral("desktop-file-validate"), {desktop.desktopEntryPath()}, &rc);
    EXPECT_EQ(rc, 0) << out.toStdString();
    EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    const DesktopEntry::Parsed entry =
        DesktopEntry::parse(readAll(desktop.desktopEntryPath()).toUtf8());
    QStringList args = DesktopEntry::splitCommand(entry.exec);
    ASSERT_EQ(args.size(), 2);
    EXPECT_EQ(args[0].replace(QStringLiteral("%%"), QStringLiteral("%")), program);
    EXPECT_TRUE(DesktopEntry::isUsable(desktop.desktopEntryPath()));
}
