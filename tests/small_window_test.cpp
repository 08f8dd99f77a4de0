#include "dialogs/DialogPrompter.h"
#include "support/ViewerFixture.h"

#include <QApplication>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::ViewerFixture;

TEST(SmallWindows, TheStatusFiguresAreReadWholeInTheSmallestViewer)
{
    ViewerFixture f;
    // Small enough for the smallest window; long texts in panels 3 and 4.
    QStringList list = f.images(1, 100, 80);
    list << f.dir.write(QStringLiteral("a.png"), QByteArray(582, 'x'));
    int index = 0;
    f.viewer->ViewImage(list, index);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.viewer.get()));
    for (int i : {0, 1}) {
        index = i;
        f.viewer->ViewImage(list, index);
        QCoreApplication::processEvents();
        for (int panel : {1, 3, 4, 5}) {
            auto *label =
                f.viewer->statusBar()->findChild<QLabel *>(QStringLiteral("Panel%1").arg(panel));
            ASSERT_NE(label, nullptr);
            const int needed = label->fontMetrics().horizontalAdvance(label->text());
            EXPECT_GE(label->contentsRect().width(), needed)
                << "panel " << panel << " '" << label->text().toStdString() << "' in a window "
                << f.viewer->width() << " wide";
        }
    }
    EXPECT_EQ(f.viewer->statusText(3), QStringLiteral("582 Bytes"));
}

TEST(SmallWindows, APromptIsWideEnoughForItsTitle)
{
    DialogPrompter prompter;
    // A title far longer than the prompt beneath it.
    const QString title = QStringLiteral("Slide Show Delay between two pictures of the show");
    int width = 0;
    QString shownTitle;
    QFont titleFont;
    QTimer::singleShot(0, [&] {
        QWidget *w = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QInputDialog *>(w)) {
            QCoreApplication::processEvents();
            width = dialog->width();
            shownTitle = dialog->windowTitle();
            titleFont = dialog->font();
            dialog->reject();
        } else if (w) {
            w->close();
        }
    });
    const auto answer =
        prompter.inputText(nullptr, title, QStringLiteral("Delay:"), QStringLiteral("2000"));
    EXPECT_FALSE(answer.has_value());
    EXPECT_EQ(shownTitle, title);
    titleFont.setBold(true);
    // The title text plus room for the icon and buttons beside it.
    EXPECT_GE(width, QFontMetrics(titleFont).horizontalAdvance(title) + 100);
}
