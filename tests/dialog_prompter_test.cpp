// The real Qt dialogs behind the prompts, driven as a user would drive them:
// what comes back must be what the user picked in the dialog.
#include "dialogs/DialogPrompter.h"
#include "support/TempDir.h"
#include "viewer/frmViwer.h"
#include "viewer/modMain.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace lumora;

namespace
{

// Runs `act` on the file dialog once it is up, then presses Save.
void whenTheDialogIsUp(const std::function<void(QFileDialog &)> &act, QString *shownType)
{
    QTimer::singleShot(0, [=] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            if (QWidget *w = QApplication::activeModalWidget())
                w->close();
            return;
        }
        act(*dialog);
        if (auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")))
            *shownType = types->currentText();
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
}

Prompter::SaveRequest request(const QString &initialPath, int index)
{
    Prompter::SaveRequest r;
    r.title = QStringLiteral("Save As");
    r.filter = saveDialogFilter();
    r.filterIndex = index;
    r.defaultSuffix = index == 1 ? QStringLiteral("jpg") : QStringLiteral("emf");
    r.confirmOverwrite = true;
    r.initialPath = initialPath;
    return r;
}

} // namespace

TEST(DialogPrompter, TheFileTypeChosenInTheSaveDialogIsTheOneReturned)
{
    lumora::test::TempDir dir;
    DialogPrompter prompter;
    // Every entry, picked in the dialog's own type list.
    for (int pick = 1; pick <= 10; ++pick) {
        QString shown;
        whenTheDialogIsUp(
            [pick](QFileDialog &d) {
                auto *types = d.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
                ASSERT_NE(types, nullptr);
                ASSERT_EQ(types->count(), 10);
                types->setCurrentIndex(pick - 1);
                emit types->activated(pick - 1); // what a click in the list sends
                emit types->textActivated(types->currentText());
                if (auto *name = d.findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                    name->setText(QStringLiteral("copy"));
            },
            &shown);
        const auto answer =
            prompter.saveFileAs(nullptr, request(dir.file(QStringLiteral("photo.jpg")), 1));
        ASSERT_TRUE(answer.has_value()) << pick;
        EXPECT_EQ(answer->filterIndex, pick) << shown.toStdString();
        ASSERT_EQ(answer->fileNames.size(), 1);
        // A name typed without an extension gets the chosen type's.
        const QString ext = saveDialogFilter().split('|').at(2 * pick - 1).mid(2);
        EXPECT_EQ(answer->fileNames.front(), QStringLiteral("copy.") + ext);
    }

    // The preselected entry, left as it is.
    QString shown;
    whenTheDialogIsUp([](QFileDialog &) {}, &shown);
    const auto answer =
        prompter.saveFileAs(nullptr, request(dir.file(QStringLiteral("drawing.emf")), 10));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->filterIndex, 10);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Windows Enhanced Metafile")))
        << shown.toStdString();
    EXPECT_EQ(answer->fileNames, QStringList{QStringLiteral("drawing.emf")});
}

// A question whose Yes can cost data: Enter, Escape and the close box all
// answer No, and No is the button drawn as the default.
TEST(DialogPrompter, YesNoDefaultNoAnswersNoToEnterEscapeAndClose)
{
    DialogPrompter prompter;
    const auto ask = [&](const std::function<void(QMessageBox &)> &act, bool *defaultIsNo) {
        QTimer::singleShot(0, [=] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            *defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
            act(*box);
        });
        return prompter.message(nullptr, QStringLiteral("Save it anyway?"), Prompter::Icon::Warning,
                                Prompter::Buttons::YesNoDefaultNo, {});
    };
    bool defaultIsNo = false;
    EXPECT_EQ(ask([](QMessageBox &b) { QTest::keyClick(&b, Qt::Key_Return); }, &defaultIsNo),
              Prompter::Answer::No);
    EXPECT_TRUE(defaultIsNo);
    EXPECT_EQ(ask([](QMessageBox &b) { QTest::keyClick(&b, Qt::Key_Escape); }, &defaultIsNo),
              Prompter::Answer::No);
    EXPECT_EQ(ask([](QMessageBox &b) { b.close(); }, &defaultIsNo), Prompter::Answer::No);
    EXPECT_EQ(ask([](QMessageBox &b) { b.button(QMessageBox::Yes)->click(); }, &defaultIsNo),
              Prompter::Answer::Yes);
}
