#include "dialogs/frmAbout.h"
#include "dialogs/frmDialog.h"
#include "imaging/Decoder.h"
#include "imaging/ImageCipher.h"
#include "imaging/ImageWriter.h"
#include "support/QtPrinters.h"
#include "support/ViewerFixture.h"
#include "viewer/HelpWindow.h"

#include <QAccessible>
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace
{

struct ToolsFixture : ViewerFixture {
    QString path;
    QImage original;
    struct Seen {
        QString caption, row, text;
        int rows = 0;
    };
    QList<Seen> seen;

    ToolsFixture()
    {
        path = images(1, 40, 30).first();
        QStringList list{path};
        int index = 0;
        viewer->ViewImage(list, index);
        viewer->ImgX->document()->setCipherCost({1, 8192});
        original = viewer->ImgX->document()->currentImage();
    }
    // Answers the next key prompt: types `key` (and in the confirmation row,
    // when there is one, `confirmation` or else `key` again) and presses
    // Enter, or Esc.
    void answerKey(const QString &key, bool cancel = false,
                   std::optional<QString> confirmation = std::nullopt)
    {
        prompter.dialogScripts.push_back([this, key, cancel, confirmation](QDialog &dlg) {
            auto &d = static_cast<frmDialog &>(dlg);
            seen.push_back(
                {d.windowTitle(), d.lblLabel(0)->text(), d.txtText(0)->text(), d.rowCount()});
            QTest::keyClicks(d.txtText(0), key);
            if (d.rowCount() > 1)
                QTest::keyClicks(d.txtText(1), confirmation.value_or(key));
            QTest::keyClick(d.txtText(0), cancel ? Qt::Key_Escape : Qt::Key_Return);
        });
    }
    const QImage &shown() const { return viewer->ImgX->document()->currentImage(); }
    int messages() const
    {
        int n = 0;
        for (const auto &a : prompter.asked)
            n += a.kind == QStringLiteral("message");
        return n;
    }
};

} // namespace

TEST(ViewerCrypt, ToolsMenuEndsWithEncryptAndDecrypt)
{
    ViewerFixture f;
    const QList<QAction *> tools = f.viewer->menu(QStringLiteral("mnuTools"))->actions();
    ASSERT_GE(tools.size(), 2);
    EXPECT_EQ(tools.at(tools.size() - 2)->text(), QStringLiteral("Encrypt..."));
    EXPECT_EQ(tools.at(tools.size() - 1)->text(), QStringLiteral("Decrypt..."));
    EXPECT_EQ(tools.at(tools.size() - 3)->objectName(), QStringLiteral("mnuSetAsWallpaper"));
}

TEST(ViewerCrypt, EncryptThenDecryptThroughTheMenusWithTheirWords)
{
    ToolsFixture f;
    f.answerKey(QStringLiteral("s3cret key"));
    f.viewer->action(QStringLiteral("mnuEncrypt"))->trigger();
    ASSERT_EQ(f.seen.size(), 1);
    EXPECT_EQ(f.seen[0].caption, QStringLiteral("Encryption"));
    EXPECT_EQ(f.seen[0].row, QStringLiteral("Encryption Key:"));
    EXPECT_TRUE(f.viewer->ImgX->document()->isEncrypted());
    EXPECT_NE(f.shown(), f.original);
    EXPECT_EQ(f.messages(), 0);

    // A wrong key: the user is told, the picture stays sealed.
    const QImage sealed = f.shown();
    f.answerKey(QStringLiteral("s3cret kez"));
    f.viewer->Decrypt();
    EXPECT_EQ(f.shown(), sealed);
    ASSERT_EQ(f.messages(), 1);
    EXPECT_EQ(f.prompter.asked.back().icon, Prompter::Icon::Critical);

    f.answerKey(QStringLiteral("s3cret key"));
    f.viewer->action(QStringLiteral("mnuDecrypt"))->trigger();
    EXPECT_EQ(f.seen.back().caption, QStringLiteral("Decryption"));
    EXPECT_EQ(f.seen.back().row, QStringLiteral("Decryption Key:"));
    EXPECT_EQ(f.shown(), f.original);
    EXPECT_EQ(f.messages(), 1);
}

TEST(ViewerCrypt, EmptyKeyOrCancelMakesNoCallAndBlanksAreAKey)
{
    ToolsFixture f;
    f.answerKey(QString());
    f.viewer->Encrypt();
    EXPECT_EQ(f.shown(), f.original);
    f.answerKey(QStringLiteral("typed"), /*cancel=*/true);
    f.viewer->Encrypt();
    EXPECT_EQ(f.shown(), f.original);
    // The close box cancels too.
    f.prompter.dialogScripts.push_back([](QDialog &dlg) {
        static_cast<frmDialog &>(dlg).txtText(0)->setText(QStringLiteral("typed"));
        dlg.close();
    });
    f.viewer->Encrypt();
    EXPECT_EQ(f.shown(), f.original);
    EXPECT_EQ(f.messages(), 0);

    f.answerKey(QStringLiteral("   "));
    f.viewer->Encrypt();
    EXPECT_TRUE(f.viewer->ImgX->document()->isEncrypted());
    f.answerKey(QStringLiteral("  "));
    f.viewer->Decrypt();
    EXPECT_TRUE(f.viewer->ImgX->document()->isEncrypted()) << "two blanks are not three";
    f.answerKey(QStringLiteral("   "));
    f.viewer->Decrypt();
    EXPECT_EQ(f.shown(), f.original);
}

TEST(ViewerCrypt, EachPromptIsAFreshEmptyDialogThatIsGoneAfterwards)
{
    ToolsFixture f;
    QPointer<QDialog> first;
    f.prompter.dialogScripts.push_back([&first](QDialog &dlg) {
        first = &dlg;
        static_cast<frmDialog &>(dlg).txtText(0)->setText(QStringLiteral("abc"));
        dlg.reject();
    });
    f.viewer->Decrypt();
    EXPECT_TRUE(first.isNull()) << "the dialog is unloaded after the prompt";
    f.answerKey(QString(), true);
    f.viewer->Decrypt();
    ASSERT_EQ(f.seen.size(), 1);
    EXPECT_EQ(f.seen[0].text, QString());
    EXPECT_EQ(f.seen[0].rows, 1);
    EXPECT_EQ(f.viewer->findChildren<frmDialog *>().size(), 0);
}

TEST(ViewerCrypt, ASealedImageSavedLosslesslyOpensAndDecryptsBitExactly)
{
    ToolsFixture f;
    f.answerKey(QStringLiteral("round trip"));
    f.viewer->Encrypt();
    ASSERT_TRUE(f.viewer->ImgX->document()->isEncrypted());
    EXPECT_FALSE(imaging::encryptedSaveWarning(imaging::FormatCode::Jpeg).isEmpty());
    for (int c = 1; c <= 10; ++c) {
        const auto code = imaging::FormatCode(c);
        if (!imaging::canWriteFormat(code) || !imaging::formatKeepsEncryptedPicture(code))
            continue;
        SCOPED_TRACE(imaging::formatShortName(code));
        const QString saved = f.dir.file(
            QStringLiteral("sealed.%1").arg(QLatin1String(imaging::formatShortName(code))));
        ASSERT_TRUE(f.viewer->ImgX->document()->SaveToFile(saved, code));
        // Opened again in a viewer of its own, as a user would.
        ViewerFixture g;
        QStringList list{saved};
        int index = 0;
        g.viewer->ViewImage(list, index);
        ASSERT_TRUE(g.viewer->ImgX->document()->isEncrypted());
        g.prompter.dialogScripts.push_back([](QDialog &dlg) {
            auto &d = static_cast<frmDialog &>(dlg);
            QTest::keyClicks(d.txtText(0), QStringLiteral("round trip"));
            QTest::keyClick(d.txtText(0), Qt::Key_Return);
        });
        g.viewer->Decrypt();
        EXPECT_EQ(g.viewer->ImgX->document()->currentImage(), f.original);
    }
}

TEST(ViewerHelp, AboutIsModelessOwnedByTheViewerAndOkUnloadsIt)
{
    ViewerFixture f;
    f.viewer->action(QStringLiteral("mnuAbout"))->trigger();
    QPointer<QDialog> about = f.viewer->aboutBox();
    ASSERT_FALSE(about.isNull());
    EXPECT_EQ(about->parentWidget(), f.viewer.get());
    EXPECT_FALSE(about->isModal());
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Lumora"));
    f.viewer->ShowAbout(); // shown again, not a second box
    EXPECT_EQ(f.viewer->findChildren<frmAbout *>().size(), 1);
    QTest::mouseClick(static_cast<frmAbout *>(about.data())->cmdOK(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());
    // With nothing registered on this machine System Info says so.
    f.viewer->ShowAbout();
    static_cast<frmAbout *>(f.viewer->aboutBox())->StartSysInfo();
    ASSERT_FALSE(f.prompter.asked.isEmpty());
    EXPECT_EQ(f.prompter.asked.back().text,
              QStringLiteral("System Information Is Unavailable At This Time"));
}

TEST(ViewerHelp, MissingHelpAndUpdaterAreSaidNotSilent)
{
    ViewerFixture f;
    f.viewer->programFolder = f.dir.mkdir(QStringLiteral("empty"));
    const QString folder = f.viewer->programFolder;
    f.viewer->action(QStringLiteral("mnuHelpIndex"))->trigger();
    f.viewer->action(QStringLiteral("mnuupdate"))->trigger();
    ASSERT_EQ(f.prompter.asked.size(), 2);
    EXPECT_EQ(f.prompter.asked[0].text,
              QStringLiteral("The help file \"%1/orx.chm\" cannot be found.").arg(folder));
    EXPECT_EQ(f.prompter.asked[1].text,
              QStringLiteral("The updater \"%1/update/update.exe\" cannot be found.").arg(folder));
    EXPECT_EQ(f.viewer->helpWindow(), nullptr);
}

namespace
{
// PATH for one test: a folder of our own programs, or nothing at all.
struct PathFor {
    QByteArray saved = qgetenv("PATH");
    explicit PathFor(const QString &folder) { qputenv("PATH", folder.toLocal8Bit()); }
    ~PathFor() { qputenv("PATH", saved); }
};

QString script(TempDir &dir, const QString &name, const QString &body)
{
    const QString path = dir.write(name, (QStringLiteral("#!/bin/sh\n") + body).toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

bool waitFor(const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000)
        QTest::qWait(20);
    return done();
}
} // namespace

// "update" starts the updater itself, with the argument "0" in the root
// folder, and says so when it cannot.
TEST(ViewerHelp, UpdateStartsTheUpdaterWithItsArgument)
{
    ViewerFixture f;
    f.viewer->programFolder = f.dir.mkdir(QStringLiteral("program"));
    const QString marker = f.dir.file(QStringLiteral("updater-ran"));
    script(f.dir, QStringLiteral("program/update/update.exe"),
           QStringLiteral("echo \"$# $1\" > '%1'\npwd >> '%1'\n").arg(marker));
    f.viewer->action(QStringLiteral("mnuupdate"))->trigger();
    ASSERT_TRUE(waitFor([&] { return QFile(marker).size() > 0; }));
    QTest::qWait(100);
    QFile ran(marker);
    ASSERT_TRUE(ran.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(ran.readAll()), QStringLiteral("1 0\n/\n"));
    EXPECT_TRUE(f.prompter.asked.isEmpty());

    // There but not a program: the user is told.
    QFile::setPermissions(f.viewer->programFolder + QStringLiteral("/update/update.exe"),
                          QFile::ReadOwner | QFile::WriteOwner);
    f.viewer->RunUpdate();
    ASSERT_EQ(f.prompter.asked.size(), 1);
    EXPECT_EQ(f.prompter.asked[0].text,
              QStringLiteral("The updater \"%1/update/update.exe\" could not be started.")
                  .arg(f.viewer->programFolder));
}

// Help Index goes to the desktop's opener and, when there is none or it
// fails, shows the shipped page in a window of our own.
TEST(ViewerHelp, HelpIndexFallsBackToOurOwnWindowWhenNothingOpensIt)
{
    ViewerFixture f;
    f.viewer->programFolder = f.dir.mkdir(QStringLiteral("program"));
    f.dir.write(QStringLiteral("program/help/index.html"),
                "<html><body><h1>Lumora Help</h1><p>Fit To Page</p></body></html>");
    const QString bin = f.dir.mkdir(QStringLiteral("bin"));

    {
        // A desktop that opens it: no window of ours.
        const QString marker = f.dir.file(QStringLiteral("opened"));
        script(f.dir, QStringLiteral("bin/xdg-open"),
               QStringLiteral("echo \"$1\" > '%1'\nexit 0\n").arg(marker));
        PathFor path(bin);
        f.viewer->HelpIndex();
        ASSERT_TRUE(waitFor([&] { return QFile(marker).size() > 0; }));
        QTest::qWait(200);
        EXPECT_EQ(f.viewer->helpWindow(), nullptr);
        QFile opened(marker);
        ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromUtf8(opened.readAll()).trimmed(),
                  f.viewer->programFolder + QStringLiteral("/help/index.html"));
    }
    {
        // xdg-open that finds no handler (it exits 3 or 4 then).
        script(f.dir, QStringLiteral("bin/xdg-open"), QStringLiteral("exit 3\n"));
        PathFor path(bin);
        f.viewer->HelpIndex();
        ASSERT_TRUE(waitFor([&] { return f.viewer->helpWindow() != nullptr; }));
        auto *window = static_cast<HelpWindow *>(f.viewer->helpWindow());
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Lumora Help"));
        EXPECT_TRUE(window->browser()->toPlainText().contains(QStringLiteral("Fit To Page")));
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(f.viewer->helpWindow(), nullptr);
    }
    {
        // No xdg-open at all.
        PathFor path(f.dir.mkdir(QStringLiteral("nothing")));
        f.viewer->HelpIndex();
        ASSERT_NE(f.viewer->helpWindow(), nullptr);
        EXPECT_TRUE(f.viewer->helpWindow()->isVisible());
        f.viewer->helpWindow()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_TRUE(f.prompter.asked.isEmpty());

    // Without the shipped page either, the user is told.
    QFile::remove(f.viewer->programFolder + QStringLiteral("/help/index.html"));
    f.dir.write(QStringLiteral("program/orx.chm"), "ITSF");
    PathFor path(f.dir.file(QStringLiteral("nothing")));
    f.viewer->HelpIndex();
    ASSERT_EQ(f.prompter.asked.size(), 1);
    EXPECT_EQ(
        f.prompter.asked[0].text,
        QStringLiteral("\"%1/orx.chm\" could not be opened: nothing on this computer opens it.")
            .arg(f.viewer->programFolder));
}

// Every prompt the viewer opens holds the slide show: while it is open no
// slide replaces the picture the command will act on, and the show goes on
// afterwards with a whole delay before the next slide.
TEST(ViewerSlideShow, WaitsWhileAnyPromptIsOpenAndGoesOnAfterwards)
{
    ToolsFixture f;
    const QStringList list = f.images(4, 40, 30);
    int index = 0;
    f.viewer->ViewImage(list, index);
    f.viewer->slideTimer()->setInterval(25);
    f.viewer->ToggleSlideShow();
    ASSERT_TRUE(f.viewer->slideTimer()->isActive());

    struct During {
        QString kind;
        bool timerActive = true;
        QString before, after; // the picture on screen as the prompt opened and closed
    };
    QList<During> during;
    f.prompter.duringPrompt = [&](const ScriptedPrompter::Asked &a) {
        During d{a.kind,
                 f.viewer->slideTimer()->isActive(),
                 f.viewer->ImgX->document()->ImageFilePath(),
                 {}};
        QTest::qWait(120); // several delays: a running show would move on
        d.after = f.viewer->ImgX->document()->ImageFilePath();
        during << d;
    };

    const std::function<void()> commands[] = {
        [&] { f.viewer->Print(2); },    // print dialog, cancelled
        [&] { f.viewer->PageSetup(); }, // page setup, cancelled
        [&] {
            f.answerKey(QStringLiteral("k"), true);
            f.viewer->Encrypt();
        },
        [&] {
            f.answerKey(QStringLiteral("k"), true);
            f.viewer->Decrypt();
        },
        [&] { f.viewer->SaveAs(); },               // file dialog, cancelled
        [&] { f.viewer->PromptSlideShowDelay(); }, // input box, cancelled
        [&] { f.viewer->LoadImage(); },            // open dialog, cancelled
        [&] {
            f.viewer->ShowAbout();
            static_cast<frmAbout *>(f.viewer->aboutBox())->StartSysInfo(); // a message
        },
    };
    for (const auto &command : commands) {
        const qsizetype before = during.size();
        command();
        ASSERT_GT(during.size(), before);
        for (qsizetype i = before; i < during.size(); ++i) {
            SCOPED_TRACE(during[i].kind.toStdString());
            EXPECT_FALSE(during[i].timerActive);
            EXPECT_EQ(during[i].after, during[i].before);
        }
        EXPECT_TRUE(f.viewer->slideTimer()->isActive());
        EXPECT_FALSE(f.viewer->slideShowPaused());
    }
    // And the show really goes on.
    const QString onScreen = f.viewer->ImgX->document()->ImageFilePath();
    QTest::qWait(150);
    EXPECT_NE(f.viewer->ImgX->document()->ImageFilePath(), onScreen);

    // Holds nest; a show stopped while held stays stopped.
    {
        const auto outer = f.viewer->pauseSlideShow();
        {
            const auto inner = f.viewer->pauseSlideShow();
        }
        EXPECT_FALSE(f.viewer->slideTimer()->isActive());
        EXPECT_TRUE(f.viewer->slideShowPaused());
        f.viewer->ToggleSlideShow();
    }
    EXPECT_FALSE(f.viewer->slideTimer()->isActive());
    EXPECT_FALSE(f.viewer->slideShowRunning());
}

// The key box shows bullets to the eye and to accessibility clients alike,
// Encrypt asks twice so a typo cannot lock a picture for good, and a key is
// taken in full up to the stated bound, never cut short unseen.
TEST(ViewerCrypt, MaskedKeysAskedTwiceAndTakenInFull)
{
    ToolsFixture f;
    struct Box {
        int rows = 0;
        QString row1;
        bool masked[2] = {false, false};
        QString accessible;
        QRect text0, label1;
    } box;
    f.prompter.dialogScripts.push_back([&box](QDialog &dlg) {
        auto &d = static_cast<frmDialog &>(dlg);
        box.rows = d.rowCount();
        box.row1 = d.lblLabel(1) ? d.lblLabel(1)->text() : QString();
        for (int i = 0; i < d.rowCount(); ++i)
            box.masked[i] = d.txtText(i)->echoMode() == QLineEdit::Password;
        QTest::keyClicks(d.txtText(0), QStringLiteral("hidden"));
        if (QAccessibleInterface *a = QAccessible::queryAccessibleInterface(d.txtText(0)))
            box.accessible = a->text(QAccessible::Value);
        box.text0 = d.twipsGeometry(d.txtText(0));
        box.label1 = d.lblLabel(1) ? d.twipsGeometry(d.lblLabel(1)) : QRect();
        d.reject();
    });
    f.viewer->Encrypt();
    EXPECT_EQ(box.rows, 2);
    EXPECT_EQ(box.row1, QStringLiteral("Confirm Key:"));
    EXPECT_TRUE(box.masked[0]);
    EXPECT_TRUE(box.masked[1]);
    EXPECT_EQ(box.accessible.size(), 6); // six bullets
    EXPECT_FALSE(box.accessible.contains(QStringLiteral("hidden"))) << box.accessible.toStdString();
    EXPECT_EQ(box.text0, QRect(2100, 420, 5265, 315)); // the dialog's own geometry stays
    EXPECT_EQ(box.label1.top(), 480 + 255 + 190);

    // Two different keys: nothing is sealed and the user is told.
    f.answerKey(QStringLiteral("tpyo"), false, QStringLiteral("typo"));
    f.viewer->Encrypt();
    EXPECT_EQ(f.shown(), f.original);
    ASSERT_EQ(f.messages(), 1);
    EXPECT_EQ(f.prompter.asked.back().text,
              QStringLiteral("The two keys are not the same. The image was not encrypted."));
    // Decrypt asks once, masked.
    f.prompter.dialogScripts.push_back([&box](QDialog &dlg) {
        auto &d = static_cast<frmDialog &>(dlg);
        box.rows = d.rowCount();
        box.masked[0] = d.txtText(0)->echoMode() == QLineEdit::Password;
        d.reject();
    });
    f.viewer->Decrypt();
    EXPECT_EQ(box.rows, 1);
    EXPECT_TRUE(box.masked[0]);

    // A pasted key of 40,000 characters counts in full.
    const QString longKey = QString(39999, QLatin1Char('q')) + QLatin1Char('!');
    const auto paste = [](const QString &key) {
        return [key](QDialog &dlg) {
            auto &d = static_cast<frmDialog &>(dlg);
            for (int i = 0; i < d.rowCount(); ++i)
                d.txtText(i)->insert(key);
            d.accept();
        };
    };
    f.prompter.dialogScripts.push_back(paste(longKey));
    f.viewer->Encrypt();
    ASSERT_TRUE(f.viewer->ImgX->document()->isEncrypted());
    EXPECT_TRUE(imaging::decryptPicture(f.shown(), longKey).ok());
    f.prompter.dialogScripts.push_back(paste(longKey));
    f.viewer->Decrypt();
    EXPECT_EQ(f.shown(), f.original);
    EXPECT_EQ(f.messages(), 1);

    // One past the bound is refused with a message, nothing sealed.
    f.prompter.dialogScripts.push_back(paste(QString(imaging::kMaxKeyLength + 1, u'k')));
    f.viewer->Encrypt();
    EXPECT_EQ(f.shown(), f.original);
    ASSERT_EQ(f.messages(), 2);
    EXPECT_TRUE(f.prompter.asked.back().text.startsWith(
        QStringLiteral("The key is longer than %1 characters").arg(imaging::kMaxKeyLength)));
}

// With nothing shown there is nothing to ask a key for.
TEST(ViewerCrypt, EmptyViewerSaysSoBeforeAskingForAKey)
{
    ViewerFixture f;
    f.viewer->Encrypt();
    ASSERT_EQ(f.prompter.asked.size(), 1);
    EXPECT_EQ(f.prompter.asked[0].kind, QStringLiteral("message"));
    EXPECT_EQ(f.prompter.asked[0].text, QStringLiteral("There is no image to encrypt."));
    f.viewer->Decrypt();
    ASSERT_EQ(f.prompter.asked.size(), 2);
    EXPECT_EQ(f.prompter.asked[1].text, QStringLiteral("There is no image to decrypt."));
}
