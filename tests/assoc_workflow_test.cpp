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
#include <gtest/gtest.h>

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
