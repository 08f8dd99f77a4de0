#include "assoc/AssocTypes.h"
#include "assoc/AssocWorkflow.h"
#include "assoc/ModAssoc.h"

#include "platform/ProcessCommandRunner.h"
#include "platform/SqliteRegistryStore.h"
#include "platform/linux/FreedesktopAssociations.h"
#include "support/BrowserFixture.h"
#include "support/ScriptedPrompter.h"
#include "support/XdgSandbox.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <gtest/gtest.h>

#include <functional>

using namespace lumora;
using namespace lumora::platform;
using assoc::kAssocTypes;
using assoc::ModAssoc;
using test::ScriptedPrompter;
using test::XdgSandbox;

namespace
{

const QString kAllFifteen =
    QStringLiteral(" jpg  jpeg  gif  bmp  dib  png  psd  tif  pcx  tga  wbmp  wmf  ico  emf  tla ");

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every key and value below a root, one line each, for comparing states.
void dump(RegistryStore &store, RegistryRoot root, const QString &path, QStringList *out)
{
    QStringList keys;
    store.subKeys(root, path, &keys);
    for (const QString &k : keys) {
        const QString p = path.isEmpty() ? k : path + QLatin1Char('\\') + k;
        *out << p;
        for (const char *name :
             {"", "OldAss", "ProgID", "OldProgID", "image/png", "image/gif", "image/jpeg"}) {
            RegValue v;
            if (store.queryValue(root, p, QLatin1String(name), &v) == RegResult::Ok)
                *out << p + QLatin1Char('|') + QLatin1String(name) + QLatin1Char('=') + v.data;
        }
        dump(store, root, p, out);
    }
}

// A user whose machine has owners for the types already, and a desktop whose
// other image programs hold the defaults.
class AssocWorkflowTest : public testing::Test
{
protected:
    XdgSandbox xdg;
    ProcessCommandRunner runner;
    FreedesktopAssociations desktop{xdg.dirs(), runner, assoc::associatedExtensions()};
    SqliteRegistryStore store{xdg.dir.file(QStringLiteral("registry.db"))};
    ModAssoc assoc{store, &desktop, QCoreApplication::applicationFilePath()};
    ScriptedPrompter prompts;

    void SetUp() override
    {
        for (const auto &t : kAssocTypes) {
            const QString ext = QLatin1String(t.extension);
            assoc.SetRegString(HKEY_CLASSES_ROOT, ext, {}, ext.mid(1) + QStringLiteral("file"));
            assoc.SetRegString(HKEY_CURRENT_USER, QLatin1String(ModAssoc::kFileExtsKey) + ext,
                               QStringLiteral("ProgID"), QStringLiteral("Viewer") + ext);
        }
        xdg.dir.write(QStringLiteral("config/mimeapps.list"),
                      "[Default Applications]\nimage/png=eog.desktop;\nimage/jpeg=gimp.desktop;\n");
    }

    QString get(std::uint32_t root, const QString &key, const QString &name = {})
    {
        return assoc.GetRegString(root, key, name, QStringLiteral("<none>"));
    }
    QStringList state()
    {
        QStringList s;
        dump(store, RegistryRoot::ClassesRoot, {}, &s);
        dump(store, RegistryRoot::CurrentUser, {}, &s);
        return s;
    }
    void otherProgramTakes(const char *ext, const char *mime)
    {
        assoc.SetRegString(HKEY_CLASSES_ROOT, QLatin1String(ext), {},
                           QStringLiteral("Other") + QLatin1String(ext));
        int rc = -1;
        xdg.run(QStringLiteral("xdg-mime"),
                {QStringLiteral("default"), QStringLiteral("other.desktop"), QLatin1String(mime)},
                &rc);
        ASSERT_EQ(rc, 0);
    }
};

} // namespace

TEST_F(AssocWorkflowTest, FirstStartRegistersAndAssociatesSilently)
{
    assoc::CheckAssociations(assoc, prompts);
    EXPECT_TRUE(prompts.asked.isEmpty());
    const QString folder = QCoreApplication::applicationDirPath();
    for (const auto &t : kAssocTypes) {
        const QString ext = QLatin1String(t.extension), prog = QLatin1String(t.progId);
        SCOPED_TRACE(t.extension);
        EXPECT_EQ(get(HKEY_CLASSES_ROOT, prog), QLatin1String(t.description));
        EXPECT_EQ(get(HKEY_CLASSES_ROOT, prog + QStringLiteral("\\DefaultIcon")),
                  folder + QLatin1String(t.icon));
        EXPECT_EQ(get(HKEY_CLASSES_ROOT, ext), prog);
        EXPECT_EQ(get(HKEY_CLASSES_ROOT, ext, QStringLiteral("OldAss")),
                  ext.mid(1) + QStringLiteral("file"));
        EXPECT_EQ(get(HKEY_CURRENT_USER, QLatin1String(ModAssoc::kFileExtsKey) + ext,
                      QStringLiteral("OldProgID")),
                  QStringLiteral("Viewer") + ext);
        EXPECT_EQ(assoc.IsAssociated(ext, prog), 1);
        // What the desktop's own tool says.
        EXPECT_EQ(xdg.xdgDefault(desktop.mimeTypeForExtension(ext)),
                  QStringLiteral("lumora.desktop"));
    }
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.wbmp")),
              QStringLiteral("Lumora WBMB image"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.ico")), QStringLiteral("Lumora Icon"));
    EXPECT_TRUE(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.tla\\DefaultIcon"))
                    .endsWith(QStringLiteral("/icons/icon.ico")));

    // The next start finds everything in place: no question, nothing written.
    const QStringList before = state();
    const QByteArray list = readBytes(xdg.mimeAppsList());
    assoc::CheckAssociations(assoc, prompts);
    EXPECT_TRUE(prompts.asked.isEmpty());
    EXPECT_EQ(state(), before);
    EXPECT_EQ(readBytes(xdg.mimeAppsList()), list);
}

TEST_F(AssocWorkflowTest, TypesTakenByOthersAreAskedForInTableOrder)
{
    assoc::CheckAssociations(assoc, prompts);
    otherProgramTakes(".png", "image/png");
    otherProgramTakes(".gif", "image/gif");
    // A class spoiled meanwhile shows that Yes registers all fifteen again.
    assoc.SetRegString(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.psd"), {},
                       QStringLiteral("spoiled"));
    const QString jpgOldAss =
        get(HKEY_CLASSES_ROOT, QStringLiteral(".jpg"), QStringLiteral("OldAss"));

    prompts.answers.push_back(Prompter::Answer::Yes);
    bool before = false;
    assoc::CheckAssociations(assoc, prompts, nullptr, [&] { before = true; });
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_TRUE(before);
    EXPECT_EQ(prompts.asked[0].text,
              QStringLiteral("The following image types are no more associated with Lumora, Do you "
                             "want to associate "
                             "them now?\r\n gif  png "));
    EXPECT_EQ(prompts.asked[0].icon, Prompter::Icon::Question);
    EXPECT_EQ(prompts.asked[0].buttons, Prompter::Buttons::YesNo);
    EXPECT_EQ(prompts.asked[0].title, QString());

    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral("Lumora.psd")),
              QStringLiteral("Lumora PSD image"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".png"), QStringLiteral("OldAss")),
              QStringLiteral("Other.png"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".gif"), QStringLiteral("OldAss")),
              QStringLiteral("Other.gif"));
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".jpg"), QStringLiteral("OldAss")), jpgOldAss);
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("lumora.desktop"));
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/gif")), QStringLiteral("lumora.desktop"));
    EXPECT_EQ(assoc::missingTypes(assoc), QString());
}

TEST_F(AssocWorkflowTest, ATypeTakenOnlyThroughTheDesktopIsMissingToo)
{
    assoc::CheckAssociations(assoc, prompts);
    int rc = -1;
    xdg.run(
        QStringLiteral("xdg-mime"),
        {QStringLiteral("default"), QStringLiteral("other.desktop"), QStringLiteral("image/png")},
        &rc);
    // Also the shared types: one MIME type lost, both rows missing.
    xdg.run(QStringLiteral("xdg-mime"),
            {QStringLiteral("default"), QStringLiteral("feh.desktop"), QStringLiteral("image/bmp")},
            &rc);
    EXPECT_EQ(assoc::missingTypes(assoc), QStringLiteral(" bmp  dib  png "));
    prompts.answers.push_back(Prompter::Answer::Yes);
    assoc::CheckAssociations(assoc, prompts);
    EXPECT_EQ(assoc::missingTypes(assoc), QString());
    // Given back, each type goes to the program that had it last.
    assoc::DeAssociateTypes(assoc);
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("other.desktop"));
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/bmp")), QStringLiteral("feh.desktop"));
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/jpeg")), QStringLiteral("gimp.desktop"));
}

TEST_F(AssocWorkflowTest, NoChangesNothingAndTheQuestionReturns)
{
    assoc::CheckAssociations(assoc, prompts);
    otherProgramTakes(".png", "image/png");
    const QStringList before = state();
    const QByteArray list = readBytes(xdg.mimeAppsList());

    prompts.answers.push_back(Prompter::Answer::No);
    assoc::CheckAssociations(assoc, prompts);
    EXPECT_EQ(state(), before);
    EXPECT_EQ(readBytes(xdg.mimeAppsList()), list);

    prompts.answers.push_back(Prompter::Answer::No);
    assoc::CheckAssociations(assoc, prompts);
    ASSERT_EQ(prompts.asked.size(), 2);
    EXPECT_TRUE(prompts.asked[1].text.endsWith(QStringLiteral("\r\n png ")));
}

TEST_F(AssocWorkflowTest, DeAssociateGivesEverythingBackThenAssociateAsksForAllFifteen)
{
    const QByteArray originalList = readBytes(xdg.mimeAppsList());
    assoc::CheckAssociations(assoc, prompts);
    assoc::DeAssociateTypes(assoc);
    for (const auto &t : kAssocTypes) {
        const QString ext = QLatin1String(t.extension);
        SCOPED_TRACE(t.extension);
        EXPECT_EQ(get(HKEY_CLASSES_ROOT, ext), ext.mid(1) + QStringLiteral("file"));
        EXPECT_EQ(get(HKEY_CURRENT_USER, QLatin1String(ModAssoc::kFileExtsKey) + ext,
                      QStringLiteral("ProgID")),
                  QStringLiteral("Viewer") + ext);
        EXPECT_EQ(get(HKEY_CLASSES_ROOT, QLatin1String(t.progId)), QLatin1String(t.description));
    }
    EXPECT_EQ(readBytes(xdg.mimeAppsList()), originalList);
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("eog.desktop"));
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/jpeg")), QStringLiteral("gimp.desktop"));

    prompts.answers.push_back(Prompter::Answer::Yes);
    assoc::CheckAssociations(assoc, prompts);
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_TRUE(prompts.asked[0].text.endsWith(QStringLiteral("\r\n") + kAllFifteen));
    EXPECT_EQ(assoc::missingTypes(assoc), QString());
}

// ------------------------------------------------------------- the switches

namespace
{

struct AssocHost : test::TestWindowHost {
    ModAssoc *assocOps = nullptr;
    assoc::ModAssoc *associations() override { return assocOps; }
};

class StartupSwitchTest : public AssocWorkflowTest
{
protected:
    AssocHost host;
    std::unique_ptr<frmMain> main;

    bool start(const QString &commandLine)
    {
        host.assocOps = &assoc;
        host.registry =
            std::make_unique<SqliteRegistryStore>(xdg.dir.file(QStringLiteral("settings.db")));
        main = std::make_unique<frmMain>(host);
        host.browser = main.get();
        return main->Form_Load(commandLine);
    }
};

} // namespace

TEST_F(StartupSwitchTest, AssociateRunsTheCheckAndEnds)
{
    EXPECT_FALSE(start(QStringLiteral("/Associate")));
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(assoc::missingTypes(assoc), QString());
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("lumora.desktop"));
}

TEST_F(StartupSwitchTest, DeAssociateGivesBackAndEnds)
{
    assoc::CheckAssociations(assoc, prompts);
    EXPECT_FALSE(start(QStringLiteral("/DeAssociate")));
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(host.prompts.asked.isEmpty());
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".png")), QStringLiteral("pngfile"));
    EXPECT_EQ(xdg.xdgDefault(QStringLiteral("image/png")), QStringLiteral("eog.desktop"));
}

TEST_F(StartupSwitchTest, ASwitchInOtherLetterCaseIsNoSwitch)
{
    assoc::CheckAssociations(assoc, prompts);
    assoc::DeAssociateTypes(assoc);
    host.prompts.answers.push_back(Prompter::Answer::No);
    EXPECT_TRUE(start(QStringLiteral("/associate")));
    // It went to the check like any other text, then the browser opened.
    ASSERT_EQ(host.prompts.asked.size(), 1);
    EXPECT_TRUE(host.prompts.asked[0].text.endsWith(kAllFifteen));
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(get(HKEY_CLASSES_ROOT, QStringLiteral(".png")), QStringLiteral("pngfile"));
}

// ------------------------------------------- the desktop's view, end to end

namespace
{

// A machine with system-wide owners for some types: an image viewer's
// packaged entry (with the cache the package's trigger builds), a system
// mimeapps.list among the data folders and another in XDG_CONFIG_DIRS.
class DesktopRoundTripTest : public testing::Test
{
protected:
    XdgSandbox xdg;
    QString desktopName = QStringLiteral("X-Generic");
    ProcessCommandRunner runner;
    SqliteRegistryStore store{xdg.dir.file(QStringLiteral("registry.db"))};
    std::unique_ptr<FreedesktopAssociations> desktop;
    std::unique_ptr<ModAssoc> assoc;
    ScriptedPrompter prompts;
    QStringList types; // the thirteen MIME types of the fifteen extensions

    void SetUp() override
    {
        xdg.dir.write(QStringLiteral("sys/applications/display-im6.q16.desktop"),
                      "[Desktop Entry]\nType=Application\nName=ImageMagick\nExec=true %f\n"
                      "MimeType=image/jpeg;image/gif;image/png;image/tiff;\n");
        xdg.dir.write(QStringLiteral("sys/applications/paint.desktop"),
                      "[Desktop Entry]\nType=Application\nName=Paint\nExec=true %f\n"
                      "MimeType=image/vnd.adobe.photoshop;image/x-tga;image/png;\n");
        xdg.dir.write(QStringLiteral("sys/applications/mimeapps.list"),
                      "[Default Applications]\nimage/vnd.adobe.photoshop=paint.desktop;\n");
        xdg.dir.write(QStringLiteral("sysconf/mimeapps.list"),
                      "[Default Applications]\nimage/x-tga=paint.desktop;\n");
        xdg.run(QStringLiteral("update-desktop-database"),
                {xdg.sys + QStringLiteral("/applications")});
        remake();
        for (const auto &t : kAssocTypes) {
            const QString type = desktop->mimeTypeForExtension(QLatin1String(t.extension));
            if (!types.contains(type))
                types << (type.isEmpty() ? FreedesktopAssociations::declaredMimeType(
                                               QLatin1String(t.extension))
                                         : type);
        }
    }

    // A fresh start of the program (nothing kept in memory between runs).
    void remake()
    {
        XdgDirs dirs = xdg.dirs();
        dirs.desktops = QStringList{desktopName.toLower()};
        assoc.reset();
        desktop =
            std::make_unique<FreedesktopAssociations>(dirs, runner, assoc::associatedExtensions());
        assoc = std::make_unique<ModAssoc>(store, desktop.get(),
                                           QCoreApplication::applicationFilePath());
    }

    QString tool(const QStringList &command) const
    {
        QProcess p;
        QProcessEnvironment env = xdg.environment();
        env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktopName);
        p.setProcessEnvironment(env);
        p.start(command.first(), command.mid(1));
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    // The type's default as xdg-mime and as gio name it ("-" for none).
    QString owners(const QString &type) const
    {
        QString x = tool(
            {QStringLiteral("xdg-mime"), QStringLiteral("query"), QStringLiteral("default"), type});
        // "Default application for “type”: id", the quotes as the locale allows.
        const QString g = tool({QStringLiteral("gio"), QStringLiteral("mime"), type})
                              .section(QLatin1Char('\n'), 0, 0);
        const QString gioDefault = g.startsWith(QStringLiteral("Default application"))
                                       ? g.section(QStringLiteral(": "), -1).trimmed()
                                       : QStringLiteral("-");
        return (x.isEmpty() ? QStringLiteral("-") : x) + QStringLiteral(" / ") + gioDefault;
    }
    // One line per type, so a difference reads as the type and its owners.
    using Owners = QMap<QString, QString>;
    Owners snapshotMap() const
    {
        Owners m;
        for (const QString &t : types)
            m.insert(t, owners(t));
        return m;
    }
    static std::string text(const Owners &m)
    {
        QString s;
        for (auto it = m.begin(); it != m.end(); ++it)
            s += it.key() + QStringLiteral(": ") + it.value() + QLatin1Char('\n');
        return s.toStdString();
    }
    std::string snapshot() const { return text(snapshotMap()); }
    static Owners all(const Owners &shape, const QString &id)
    {
        Owners m;
        for (auto it = shape.begin(); it != shape.end(); ++it)
            m.insert(it.key(), id + QStringLiteral(" / ") + id);
        return m;
    }
    QByteArray userCache() const
    {
        return readBytes(xdg.data + QStringLiteral("/applications/mimeinfo.cache"));
    }
};

} // namespace

TEST_F(DesktopRoundTripTest, EveryTypeGoesBackToWhatTheDesktopChoseBefore)
{
    ASSERT_EQ(types.size(), 13);
    const Owners before = snapshotMap();
    // The sandbox's system owners are what both tools see.
    EXPECT_EQ(before.value(QStringLiteral("image/jpeg")).toStdString(),
              "display-im6.q16.desktop / display-im6.q16.desktop");
    EXPECT_EQ(before.value(QStringLiteral("image/vnd.adobe.photoshop")).toStdString(),
              "paint.desktop / paint.desktop");
    EXPECT_EQ(before.value(QStringLiteral("image/x-tga")).toStdString(),
              "paint.desktop / paint.desktop");
    EXPECT_EQ(before.value(QStringLiteral("image/bmp")).toStdString(), "eog.desktop / eog.desktop");
    EXPECT_EQ(before.value(QStringLiteral("image/vnd.wap.wbmp")).toStdString(), "- / -");
    const std::string ours = text(all(before, QStringLiteral("lumora.desktop")));

    // First start: silent, and the desktop opens every type with us.
    assoc::CheckAssociations(*assoc, prompts);
    EXPECT_TRUE(prompts.asked.isEmpty());
    EXPECT_EQ(snapshot(), ours);

    // "/Associate": nothing to do, nothing asked.
    remake();
    assoc::CheckAssociations(*assoc, prompts);
    EXPECT_TRUE(prompts.asked.isEmpty());
    EXPECT_EQ(snapshot(), ours);

    // Another program takes PNG through GLib's own tool.
    tool({QStringLiteral("gio"), QStringLiteral("mime"), QStringLiteral("image/png"),
          QStringLiteral("paint.desktop")});
    Owners taken = all(before, QStringLiteral("lumora.desktop"));
    taken[QStringLiteral("image/png")] = QStringLiteral("paint.desktop / paint.desktop");
    EXPECT_EQ(snapshot(), text(taken));

    // The question, answered Yes: everything is ours again, no notice.
    remake();
    prompts.answers.push_back(Prompter::Answer::Yes);
    assoc::CheckAssociations(*assoc, prompts);
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_TRUE(prompts.asked[0].text.endsWith(QStringLiteral("\r\n png ")));
    EXPECT_EQ(snapshot(), ours);

    // "/DeAssociate": what the desktop chose before, PNG to the program that
    // had it last, and nothing of ours left in the user's folders to claim a type.
    remake();
    assoc::DeAssociateTypes(*assoc);
    Owners expected = before;
    expected[QStringLiteral("image/png")] = QStringLiteral("paint.desktop / paint.desktop");
    EXPECT_EQ(snapshot(), text(expected));
    EXPECT_FALSE(QFileInfo::exists(xdg.data + QStringLiteral("/applications/lumora.desktop")));
    EXPECT_FALSE(userCache().contains("lumora"));
    EXPECT_EQ(prompts.asked.size(), 1);
}

TEST_F(DesktopRoundTripTest, AnInstalledProgramUsesItsPackagedEntryAndWritesNoCopy)
{
    // A copy an earlier version wrote into the user's folder.
    xdg.dir.write(QStringLiteral("data/applications/lumora.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Lumora\nExec=/old/build/bin/lumora %f\n"
                  "MimeType=image/png;\n");
    xdg.dir.write(QStringLiteral("data/applications/notes.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Notes\nExec=true %f\n"
                  "MimeType=text/plain;\n");
    // The package's entry starts this very program.
    xdg.dir.write(QStringLiteral("sys/applications/lumora.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Lumora\nExec=" +
                      QCoreApplication::applicationFilePath().toUtf8() +
                      " %f\nMimeType=image/png;image/jpeg;image/gif;\n");
    xdg.run(QStringLiteral("update-desktop-database"), {xdg.sys + QStringLiteral("/applications")});
    remake();
    assoc::CheckAssociations(*assoc, prompts);
    EXPECT_FALSE(QFileInfo::exists(xdg.data + QStringLiteral("/applications/lumora.desktop")));
    EXPECT_TRUE(QFileInfo::exists(xdg.data + QStringLiteral("/applications/notes.desktop")));
    EXPECT_FALSE(userCache().contains("lumora"));
    EXPECT_TRUE(userCache().contains("notes.desktop"));
    EXPECT_EQ(owners(QStringLiteral("image/png")).toStdString(), "lumora.desktop / lumora.desktop");
    // Given back: the packaged entry stays, the defaults go.
    assoc::DeAssociateTypes(*assoc);
    EXPECT_TRUE(QFileInfo::exists(xdg.sys + QStringLiteral("/applications/lumora.desktop")));
    EXPECT_FALSE(readBytes(xdg.mimeAppsList()).contains("lumora"));
    // The user had no list before; one saying nothing is not left behind.
    EXPECT_FALSE(QFileInfo::exists(xdg.mimeAppsList()));

    // A packaged entry that starts another program does not count: a run
    // from a build tree installs an entry of its own.
    xdg.dir.write(QStringLiteral("sys/applications/lumora.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Lumora\nExec=/usr/bin/true %f\n");
    remake();
    prompts.answers.push_back(Prompter::Answer::Yes);
    assoc::CheckAssociations(*assoc, prompts);
    const QByteArray entry = readBytes(xdg.data + QStringLiteral("/applications/lumora.desktop"));
    EXPECT_TRUE(entry.contains(QCoreApplication::applicationFilePath().toUtf8()));
    EXPECT_TRUE(entry.contains("\nKeywords="));
    EXPECT_EQ(owners(QStringLiteral("image/bmp")).toStdString(), "lumora.desktop / lumora.desktop");
}

TEST_F(DesktopRoundTripTest, ADefaultTheDesktopWillNotGiveIsNamedOnceAndNotAskedForAgain)
{
    desktopName = QStringLiteral("GNOME");
    const QString gnomeList = xdg.config + QStringLiteral("/gnome-mimeapps.list");
    xdg.dir.write(QStringLiteral("config/gnome-mimeapps.list"),
                  "[Default Applications]\nimage/png=paint.desktop;\n"
                  "image/gif=display-im6.q16.desktop;\n");
    remake();
    assoc::CheckAssociations(*assoc, prompts);
    // GLib agrees that the desktop's own list decides.
    EXPECT_EQ(owners(QStringLiteral("image/png")).section(QStringLiteral(" / "), 1).toStdString(),
              "paint.desktop");
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(prompts.asked[0].icon, Prompter::Icon::Information);
    EXPECT_EQ(prompts.asked[0].buttons, Prompter::Buttons::Ok);
    const QString notice = prompts.asked[0].text;
    EXPECT_TRUE(notice.contains(QStringLiteral("gif: The desktop reads ") + gnomeList +
                                QStringLiteral(" first, and it names display-im6.q16.desktop.")))
        << qPrintable(notice);
    EXPECT_TRUE(notice.contains(QStringLiteral("png: The desktop reads ") + gnomeList +
                                QStringLiteral(" first, and it names paint.desktop.")));
    EXPECT_FALSE(notice.contains(QStringLiteral("jpg")));

    // Later starts: no question and no second notice while nothing changes.
    for (int run = 0; run < 2; ++run) {
        remake();
        assoc::CheckAssociations(*assoc, prompts);
    }
    EXPECT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(assoc::missingTypes(*assoc), QString());

    // The desktop's list changes: PNG is ours now (our line was written),
    // GIF is asked for again and, still refused, named again.
    xdg.dir.write(QStringLiteral("config/gnome-mimeapps.list"),
                  "[Default Applications]\nimage/gif=display-im6.q16.desktop;\n");
    remake();
    EXPECT_EQ(owners(QStringLiteral("image/png")).section(QStringLiteral(" / "), 1).toStdString(),
              "lumora.desktop");
    prompts.answers.push_back(Prompter::Answer::Yes);
    assoc::CheckAssociations(*assoc, prompts);
    ASSERT_EQ(prompts.asked.size(), 3);
    EXPECT_TRUE(prompts.asked[1].text.endsWith(QStringLiteral("\r\n gif ")));
    EXPECT_TRUE(prompts.asked[2].text.contains(QStringLiteral("gif: The desktop reads ")));
    EXPECT_FALSE(prompts.asked[2].text.contains(QStringLiteral("png")));
}

TEST_F(DesktopRoundTripTest, AReadOnlyOrDanglingListIsNamedAndLeftAsItIs)
{
    struct Case {
        const char *name;
        std::function<void()> arrange;
        const char *words;
    };
    const QString list = xdg.mimeAppsList();
    const Case cases[] = {
        {"read-only",
         [&] {
             xdg.dir.write(QStringLiteral("config/mimeapps.list"),
                           "[Default Applications]\nimage/png=paint.desktop;\n");
             QFile::setPermissions(list, QFile::ReadOwner | QFile::ReadGroup);
         },
         " is read-only, so Lumora cannot change it."},
        {"dangling link",
         [&] {
             QFile::remove(list);
             QFile::link(xdg.dir.file(QStringLiteral("dotfiles/mimeapps.list")), list);
         },
         " is a link to "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        const QFileInfo was(list);
        const QByteArray bytes = readBytes(list);
        store.deleteKey(RegistryRoot::ClassesRoot, QStringLiteral("Lumora.jpg"));
        store.deleteKey(RegistryRoot::CurrentUser, QLatin1String(ModAssoc::kRefusedDefaultsKey));
        prompts.asked.clear();
        remake();
        assoc::CheckAssociations(*assoc, prompts);
        ASSERT_EQ(prompts.asked.size(), 1);
        EXPECT_TRUE(prompts.asked[0].text.contains(list + QLatin1String(c.words)))
            << qPrintable(prompts.asked[0].text);
        EXPECT_TRUE(prompts.asked[0].text.contains(QStringLiteral("so Lumora cannot change it.")));
        // Every type named in one notice, the list untouched (a link stays a link).
        EXPECT_TRUE(prompts.asked[0].text.contains(QStringLiteral("jpg jpeg gif bmp dib png")));
        EXPECT_EQ(QFileInfo(list).isSymLink(), was.isSymLink());
        EXPECT_EQ(readBytes(list), bytes);
        remake();
        assoc::CheckAssociations(*assoc, prompts);
        EXPECT_EQ(prompts.asked.size(), 1);
        QFile::setPermissions(list, QFile::ReadOwner | QFile::WriteOwner);
    }
}
