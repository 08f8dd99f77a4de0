#include "dialogs/Skin.h"
#include "dialogs/frmAbout.h"
#include "platform/ProgramStarter.h"
#include "platform/SqliteRegistryStore.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "viewer/HelpFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::platform;

namespace
{

const QString kMsinfo = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kLocation = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");

class RecordingStarter : public ProgramStarter
{
public:
    QStringList started;
    bool result = true;
    bool start(const QString &program, const QStringList &, const QString &) override
    {
        started << program;
        return result;
    }
};

struct AboutFixture {
    test::TempDir dir;
    SqliteRegistryStore registry{dir.file(QStringLiteral("registry.db"))};
    test::ScriptedPrompter prompter;
    RecordingStarter starter;
    frmAbout about{&registry, &prompter, nullptr, nullptr, &starter};

    void set(const QString &key, const QString &name, const QString &data,
             std::uint32_t type = RegSz)
    {
        registry.createKey(RegistryRoot::LocalMachine, key);
        registry.setValue(RegistryRoot::LocalMachine, key, name, {data, type});
    }
    int messages() const
    {
        int n = 0;
        for (const auto &a : prompter.asked)
            n += a.kind == QStringLiteral("message");
        return n;
    }
};

} // namespace

TEST(frmAbout, CaptionTextsButtonsAndSkin)
{
    Skin skin;
    frmAbout about(nullptr, nullptr, &skin, nullptr);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Lumora"));
    EXPECT_FALSE(about.isModal());
    EXPECT_EQ(about.SkinLabel(1)->text(), QStringLiteral("Lumora"));
    EXPECT_EQ(about.SkinLabel(2)->text(), QStringLiteral("Version 2.1.0.0"));
    EXPECT_EQ(about.SkinLabel(3)->text(),
              QStringLiteral(
                  "Use Lumora  to easily navigate your favorite images in your computer, Slide "
                  "show in full screen, Save to alot of image formats, Encryption, "
                  "transformations,  and more..."));
    EXPECT_TRUE(about.SkinLabel(4)->text().contains(QStringLiteral("copyright")));
    EXPECT_FALSE(about.SkinLabel(5)->text().isEmpty());
    EXPECT_FALSE(about.picIcon()->pixmap().isNull());
    EXPECT_EQ(about.cmdOK()->text(), QStringLiteral("OK"));
    EXPECT_EQ(about.cmdSysInfo()->text(), QStringLiteral("&System Info..."));
    EXPECT_EQ(about.property(Skin::kProperty).toString(), QStringLiteral("smallform"));
    EXPECT_EQ(about.cmdOK()->property(Skin::kProperty).toString(), QStringLiteral("Button"));
    EXPECT_EQ(about.cmdSysInfo()->property(Skin::kProperty).toString(), QStringLiteral("Button"));
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(about.SkinLabel(i)->property(Skin::kProperty).toString(),
                  QStringLiteral("Label"));
}

TEST(frmAbout, GetKeyValueStringsTerminatorNumbersAndFailures)
{
    AboutFixture f;
    QString v = QStringLiteral("stale");
    EXPECT_FALSE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo, QStringLiteral("PATH"), v));
    EXPECT_EQ(v, QString()) << "a missing key empties the value";

    f.set(kMsinfo, QStringLiteral("WithZero"), QStringLiteral("C:/Tools/msinfo.exe") + QChar(0));
    f.set(kMsinfo, QStringLiteral("NoZero"), QStringLiteral("C:/Tools/msinfo.exe"));
    EXPECT_TRUE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo, QStringLiteral("WithZero"), v));
    EXPECT_EQ(v, QStringLiteral("C:/Tools/msinfo.exe"));
    EXPECT_TRUE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo, QStringLiteral("NoZero"), v));
    EXPECT_EQ(v, QStringLiteral("C:/Tools/msinfo.exe"));
    // Value names compare without case, as on Windows.
    EXPECT_TRUE(
        f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo.toLower(), QStringLiteral("nozero"), v));

    v = QStringLiteral("stale");
    EXPECT_FALSE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo, QStringLiteral("Absent"), v));
    EXPECT_EQ(v, QString());
    EXPECT_FALSE(f.about.GetKeyValue(0x12345678u, kMsinfo, QStringLiteral("NoZero"), v));

    // A 32-bit number: its bytes from last to first as hex digits without
    // leading zeros, after the high zero byte went as a terminator.
    f.set(kMsinfo, QStringLiteral("N1"), QStringLiteral("74565"), RegDword); // 0x00012345
    EXPECT_TRUE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo, QStringLiteral("N1"), v));
    EXPECT_EQ(v, QStringLiteral("&h12345"));
    f.set(kMsinfo, QStringLiteral("N2"), QStringLiteral("258"), RegDword); // bytes 02 01 00 00
    EXPECT_TRUE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo, QStringLiteral("N2"), v));
    EXPECT_EQ(v, QStringLiteral("&h012"));
    f.set(kMsinfo, QStringLiteral("N3"), QStringLiteral("0x0A0B0C0D"), RegDword); // no zero byte
    EXPECT_TRUE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo, QStringLiteral("N3"), v));
    EXPECT_EQ(v, QStringLiteral("&hABCD"));

    // Other types are read but leave the value as it was.
    f.set(kMsinfo, QStringLiteral("X"), QStringLiteral("%windir%"), RegExpandSz);
    v = QStringLiteral("before");
    EXPECT_TRUE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo, QStringLiteral("X"), v));
    EXPECT_EQ(v, QStringLiteral("before"));

    // More than the 1024-character buffer is not read.
    f.set(kMsinfo, QStringLiteral("Long"), QString(1025, QLatin1Char('a')));
    EXPECT_FALSE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo, QStringLiteral("Long"), v));
    EXPECT_EQ(v, QString());
    f.set(kMsinfo, QStringLiteral("Fits"), QString(1024, QLatin1Char('b')));
    EXPECT_TRUE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfo, QStringLiteral("Fits"), v));
    EXPECT_EQ(v.size(), 1024);
}

TEST(frmAbout, SystemInfoFromThePathPlaceStartsWithoutACheck)
{
    AboutFixture f;
    f.set(kMsinfo, QStringLiteral("PATH"), QStringLiteral("/no/such/msinfo32") + QChar(0));
    // The Location place is ignored when PATH is there.
    f.set(kLocation, QStringLiteral("MSINFO"), f.dir.path());
    QTest::mouseClick(f.about.cmdSysInfo(), Qt::LeftButton);
    EXPECT_EQ(f.starter.started, QStringList{QStringLiteral("/no/such/msinfo32")});
    EXPECT_EQ(f.messages(), 0);
    // A path that cannot be started gives the same message as none.
    f.starter.result = false;
    f.about.StartSysInfo();
    ASSERT_EQ(f.messages(), 1);
    EXPECT_EQ(f.prompter.asked.back().text,
              QStringLiteral("System Information Is Unavailable At This Time"));
}

TEST(frmAbout, SystemInfoFromTheLocationPlaceOnlyWhenTheProgramIsThere)
{
    AboutFixture f;
    const QString folder = f.dir.mkdir(QStringLiteral("Shared Tools/MSInfo"));
    f.set(kLocation, QStringLiteral("MSINFO"), folder);
    f.about.StartSysInfo();
    EXPECT_TRUE(f.starter.started.isEmpty());
    ASSERT_EQ(f.messages(), 1);
    EXPECT_EQ(f.prompter.asked.back().text,
              QStringLiteral("System Information Is Unavailable At This Time"));
    EXPECT_EQ(f.prompter.asked.back().buttons, Prompter::Buttons::Ok);

    f.dir.write(QStringLiteral("Shared Tools/MSInfo/MSINFO32.EXE"));
    f.about.StartSysInfo();
    EXPECT_EQ(f.starter.started, QStringList{folder + QStringLiteral("/MSINFO32.EXE")});
    EXPECT_EQ(f.messages(), 1);
}

TEST(frmAbout, NeitherPlaceGivesTheMessage)
{
    AboutFixture f;
    f.about.StartSysInfo();
    EXPECT_TRUE(f.starter.started.isEmpty());
    ASSERT_EQ(f.prompter.asked.size(), 1);
    EXPECT_EQ(f.prompter.asked[0].kind, QStringLiteral("message"));
    EXPECT_EQ(f.prompter.asked[0].text,
              QStringLiteral("System Information Is Unavailable At This Time"));
    EXPECT_TRUE(f.prompter.asked[0].title.isEmpty()) << "the application title";
}

TEST(ProgramStarter, StartsARealProgramAsItsOwnProcess)
{
    test::TempDir dir;
    const QString marker = dir.file(QStringLiteral("ran"));
    const QString script =
        dir.write(QStringLiteral("msinfo32"),
                  QStringLiteral("#!/bin/sh\necho started > '%1'\n").arg(marker).toUtf8());
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    DetachedProgramStarter starter;
    ASSERT_TRUE(starter.start(script));
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(marker) && t.elapsed() < 10000)
        QTest::qWait(20);
    EXPECT_TRUE(QFile::exists(marker));
    EXPECT_FALSE(starter.start(dir.file(QStringLiteral("missing"))));
    EXPECT_FALSE(starter.start(QString()));
}

TEST(HelpFiles, HelpIndexPrefersTheChmThenTheShippedPage)
{
    test::TempDir dir;
    HelpTarget t = helpIndexTarget(dir.path());
    EXPECT_TRUE(t.path.isEmpty());
    EXPECT_EQ(t.missing,
              QStringLiteral("The help file \"%1/orx.chm\" cannot be found.").arg(dir.path()));
    dir.write(QStringLiteral("help/index.html"), "<html></html>");
    t = helpIndexTarget(dir.path());
    EXPECT_EQ(t.path, dir.path() + QStringLiteral("/help/index.html"));
    EXPECT_TRUE(t.missing.isEmpty());
    dir.write(QStringLiteral("orx.chm"));
    EXPECT_EQ(helpIndexTarget(dir.path()).path, dir.path() + QStringLiteral("/orx.chm"));

    t = updaterTarget(dir.path());
    EXPECT_TRUE(t.path.isEmpty());
    EXPECT_EQ(
        t.missing,
        QStringLiteral("The updater \"%1/update/update.exe\" cannot be found.").arg(dir.path()));
    dir.mkdir(QStringLiteral("update/update.exe")); // a folder is not the updater
    EXPECT_TRUE(updaterTarget(dir.path()).path.isEmpty());
    test::TempDir dir2;
    dir2.write(QStringLiteral("update/update.exe"));
    EXPECT_EQ(updaterTarget(dir2.path()).path, dir2.path() + QStringLiteral("/update/update.exe"));
}

TEST(HelpFiles, TheShippedPageDescribesTheProgram)
{
    QFile page(QStringLiteral(LUMORA_SAMPLES "/../help/index.html"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    for (const char *needle :
         {"/Associate", "/DeAssociate", "Slide Show", "Page Down", "Fit To Page", "Decrypt"})
        EXPECT_TRUE(html.contains(QLatin1String(needle))) << needle;
}
