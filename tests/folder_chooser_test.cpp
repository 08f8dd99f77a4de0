#include "dialogs/Skin.h"
#include "dialogs/frmFile.h"
#include "imaging/Twips.h"
#include "platform/ShellFolders.h"
#include "support/TempDir.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <gtest/gtest.h>

#include <algorithm>

using namespace lumora;

namespace
{

// Runs the chooser with `step` in place of the user.
QString showWith(frmFile &f, int opType, const QString &source, std::function<void(frmFile &)> step)
{
    f.runModal = std::move(step);
    return f.ShowFileForm(opType, source);
}

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &name)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == name)
            return parent->child(i);
    return nullptr;
}

} // namespace

TEST(FolderChooser, ControlsTextsAndLayout)
{
    Skin skin;
    test::TempDir dir;
    const QString sheet = dir.write(QStringLiteral("ORXMain.skn"), "QWidget { color: black; }");
    ASSERT_TRUE(skin.LoadSkin(sheet));
    frmFile f(&skin);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Caption will be set at run time!!"));
    EXPECT_EQ(f.Label1->text(), QStringLiteral("Source"));
    EXPECT_EQ(f.Label2->text(), QStringLiteral("Destination"));
    EXPECT_EQ(f.cmdOK->text(), QStringLiteral("&Ok"));
    EXPECT_EQ(f.cmdCancel->text(), QStringLiteral(" &Cancel"));
    EXPECT_FALSE(f.cmdOK->isDefault() || f.cmdOK->autoDefault());
    EXPECT_FALSE(f.cmdCancel->isDefault() || f.cmdCancel->autoDefault());

    // The twips hold where the font fits; a text box the font needs taller
    // (descenders cut off) grows and moves what lies below it down as far.
    const Twips t = Twips::forScreen();
    const int grow1 = std::max(0, f.txtSource->sizeHint().height() - t.toPixelsY(315));
    const int grow2 = std::max(0, f.txtDestination->sizeHint().height() - t.toPixelsY(345));
    EXPECT_GE(f.txtSource->height(), f.txtSource->sizeHint().height());
    EXPECT_EQ(f.size(), QSize(t.toPixelsX(7710), t.toPixelsY(5940) + grow1 + grow2));
    EXPECT_EQ(f.minimumSize(), f.maximumSize()); // a fixed border
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(f.txtDestination->geometry(), QRect(t.toPixelsX(165), t.toPixelsY(855) + grow1,
                                                  t.toPixelsX(7380), t.toPixelsY(345) + grow2));
    EXPECT_EQ(f.FolderTree->geometry(), QRect(t.toPixelsX(165), t.toPixelsY(1275) + grow1 + grow2,
                                              t.toPixelsX(7380), t.toPixelsY(3915)));
    EXPECT_EQ(f.cmdCancel->geometry(), QRect(t.toPixelsX(5910), t.toPixelsY(5385) + grow1 + grow2,
                                             t.toPixelsX(1620), t.toPixelsY(465)));

    EXPECT_EQ(f.property(Skin::kProperty).toString(), QStringLiteral("smallform"));
    EXPECT_EQ(f.cmdOK->property(Skin::kProperty).toString(), QStringLiteral("Button"));
    EXPECT_EQ(f.cmdCancel->property(Skin::kProperty).toString(), QStringLiteral("Button"));
}

TEST(FolderChooser, CaptionSourceAndAnswerPerUse)
{
    frmFile f;
    QString seenCaption, seenSource;
    auto okWith = [&](const QString &folder) {
        return [&, folder](frmFile &c) {
            seenCaption = c.windowTitle();
            seenSource = c.txtSource->text();
            c.txtDestination->setText(folder);
            c.cmdOK->click();
        };
    };
    EXPECT_EQ(showWith(f, 1, QStringLiteral("/a/b.jpg"), okWith(QStringLiteral("/x/"))),
              QStringLiteral("/x/"));
    EXPECT_EQ(seenCaption, QStringLiteral("Copy To"));
    EXPECT_EQ(seenSource, QStringLiteral("/a/b.jpg"));
    EXPECT_FALSE(f.isVisible());

    EXPECT_EQ(showWith(f, 4, QStringLiteral("/a/c.jpg"), okWith(QStringLiteral("/y/"))),
              QStringLiteral("/y/"));
    EXPECT_EQ(seenCaption, QStringLiteral("Move To"));
    EXPECT_EQ(seenSource, QStringLiteral("/a/c.jpg"));

    // Another code leaves the caption of the last use.
    showWith(f, 2, QStringLiteral("/a/d.jpg"), okWith(QStringLiteral("/z/")));
    EXPECT_EQ(seenCaption, QStringLiteral("Move To"));
}

TEST(FolderChooser, RemembersDestinationAndCancelDoesNotStick)
{
    frmFile f;
    test::TempDir dir;
    const QString target = dir.mkdir(QStringLiteral("target")) + QLatin1Char('/');
    EXPECT_EQ(showWith(f, 1, QStringLiteral("/a.jpg"),
                       [&](frmFile &c) {
                           c.txtDestination->setText(target);
                           c.cmdOK->click();
                       }),
              target);

    // Opened again: the last destination is offered, with the keys in it
    // and its text selected so typing replaces it; Cancel answers "".
    QString offered, selected;
    QWidget *focus = nullptr;
    EXPECT_EQ(showWith(f, 4, QStringLiteral("/a.jpg"),
                       [&](frmFile &c) {
                           offered = c.txtDestination->text();
                           selected = c.txtDestination->selectedText();
                           focus = c.focusWidget();
                           c.cmdCancel->click();
                       }),
              QString());
    EXPECT_EQ(offered, target);
    EXPECT_EQ(selected, target);
    EXPECT_EQ(focus, f.txtDestination);

    // The cancel of last time does not make Ok a cancel now.
    EXPECT_EQ(showWith(f, 1, QStringLiteral("/a.jpg"), [](frmFile &c) { c.cmdOK->click(); }),
              target);

    // The close box cancels too, and keeps the text for next time.
    EXPECT_EQ(showWith(f, 1, QStringLiteral("/a.jpg"), [](frmFile &c) { c.close(); }), QString());
    EXPECT_EQ(showWith(f, 1, QStringLiteral("/a.jpg"), [](frmFile &c) { c.cmdOK->click(); }),
              target);
}

TEST(FolderChooser, TheTreeOpensDownToTheSourcesFolderWithoutChoosingIt)
{
    frmFile f;
    test::TempDir dir;
    const QString deep = dir.mkdir(QStringLiteral("trip/day 2"));
    const QString photo = deep + QStringLiteral("/p.jpg");
    QFile(photo).open(QIODevice::WriteOnly);
    const QString kept = dir.mkdir(QStringLiteral("kept")) + QLatin1Char('/');
    bool opened = false;
    QString destination;
    showWith(f, 1, photo, [&](frmFile &c) {
        destination = c.txtDestination->text();
        QTreeWidgetItemIterator it(c.FolderTree);
        for (; *it; ++it) {
            if ((*it)->text(0) != QStringLiteral("day 2"))
                continue;
            opened = true;
            for (QTreeWidgetItem *up = (*it)->parent(); up; up = up->parent())
                opened = opened && up->isExpanded();
        }
        c.txtDestination->setText(kept);
        c.cmdOK->click();
    });
    EXPECT_TRUE(opened);
    EXPECT_EQ(destination, QString()); // shown, not chosen
}

TEST(FolderChooser, TypedFolderGetsItsSeparator)
{
    frmFile f;
    EXPECT_EQ(showWith(f, 1, QStringLiteral("/a.jpg"),
                       [](frmFile &c) {
                           c.txtDestination->setText(QStringLiteral("/srv/photos"));
                           c.cmdOK->click();
                       }),
              QStringLiteral("/srv/photos/"));
    // Nothing typed and nothing picked: nothing to go to.
    EXPECT_EQ(showWith(f, 1, QStringLiteral("/a.jpg"),
                       [](frmFile &c) {
                           c.txtDestination->clear();
                           c.cmdOK->click();
                       }),
              QString());
}

TEST(FolderChooser, TreeSelectionFillsDestination)
{
    frmFile f;
    const QString desktop = platform::specialFolderPath(platform::CSIDL_DESKTOP);
    f.FolderTree->setCurrentItem(nullptr);
    f.txtDestination->setText(QStringLiteral("typed"));
    f.FolderTree_FolderClick(QString()); // a node without a path changes nothing
    EXPECT_EQ(f.txtDestination->text(), QStringLiteral("typed"));

    QTreeWidgetItem *root = f.desktopItem();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(0), QStringLiteral("Desktop"));
    f.FolderTree->setCurrentItem(root);
    if (desktop.isEmpty())
        EXPECT_EQ(f.txtDestination->text(), QStringLiteral("typed"));
    else
        EXPECT_EQ(f.txtDestination->text(), desktop + QLatin1Char('/'));

    // The file system's root and a folder under it, each with one trailing "/".
    QTreeWidgetItem *fs = childNamed(root, QStringLiteral("File System"));
    ASSERT_NE(fs, nullptr);
    f.FolderTree->setCurrentItem(fs);
    EXPECT_EQ(f.txtDestination->text(), QStringLiteral("/"));
    f.expandItem(fs);
    QTreeWidgetItem *tmp = childNamed(fs, QStringLiteral("tmp"));
    ASSERT_NE(tmp, nullptr);
    f.FolderTree->setCurrentItem(tmp);
    EXPECT_EQ(f.txtDestination->text(), QStringLiteral("/tmp/"));
}

TEST(FolderChooser, FoldersReadOnceInNameOrder)
{
    // The tree's home node stands for $HOME.
    test::TempDir dir;
    dir.mkdir(QStringLiteral("b"));
    dir.mkdir(QStringLiteral("A"));
    dir.mkdir(QStringLiteral(".hidden"));
    dir.write(QStringLiteral("file.jpg"));
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", dir.path().toLocal8Bit());
    frmFile f;
    qputenv("HOME", savedHome);

    QTreeWidgetItem *home = childNamed(f.desktopItem(), QStringLiteral("Home"));
    ASSERT_NE(home, nullptr);
    f.expandItem(home);
    f.expandItem(home);
    ASSERT_EQ(home->childCount(), 2);
    EXPECT_EQ(home->child(0)->text(0), QStringLiteral("A"));
    EXPECT_EQ(home->child(1)->text(0), QStringLiteral("b"));
    f.FolderTree->setCurrentItem(home->child(1));
    EXPECT_EQ(f.txtDestination->text(), dir.file(QStringLiteral("b/")));
}

TEST(FolderChooser, EscapeAndEnterDoNotAnswer)
{
    frmFile f;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.txtDestination->setFocus();
    QTest::keyClick(f.txtDestination, Qt::Key_Return);
    EXPECT_TRUE(f.isVisible());
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_TRUE(f.isVisible());
    f.cmdOK->click();
    EXPECT_FALSE(f.isVisible());
}
