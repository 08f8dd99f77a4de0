#include "dialogs/ColorButton.h"
#include "dialogs/Skin.h"
#include "dialogs/frmDialog.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumora;

namespace
{
int topOf(const frmDialog &d, const QWidget *w)
{
    return d.twipsGeometry(w).y();
}
} // namespace

TEST(frmDialog, OneTextRowEmptyOkAndEnterEscape)
{
    test::ScriptedPrompter prompter;
    {
        frmDialog d(&prompter, nullptr, nullptr);
        d.setWindowTitle(QStringLiteral("Encryption"));
        d.AddControl(QStringLiteral("Encryption Key:"), QVariant(), frmDialog::TextRow);
        EXPECT_EQ(d.lblLabel(0)->text(), QStringLiteral("Encryption Key:"));
        EXPECT_FALSE(d.lblLabel(0)->isHidden());
        EXPECT_FALSE(d.txtText(0)->isHidden());
        // One row: 480 + 255 + 190 + 735.
        EXPECT_EQ(d.clientHeightTwips(), 1660);
        EXPECT_EQ(d.twipsGeometry(d.picBottom()), QRect(0, 1660 - 735, 7590, 735));
        prompter.dialogScripts.push_back([](QDialog &dlg) {
            auto &f = static_cast<frmDialog &>(dlg);
            QTest::keyClick(f.txtText(0), Qt::Key_Return);
        });
        EXPECT_EQ(prompter.execDialog(nullptr, d), QDialog::Accepted);
        EXPECT_FALSE(d.isVisible());
        EXPECT_FALSE(d.Cancelled());
        EXPECT_EQ(d.txtText(0)->text(), QString());
        EXPECT_EQ(prompter.asked.back().title, QStringLiteral("Encryption"));
    }
    {
        frmDialog d(&prompter, nullptr, nullptr);
        d.AddControl(QStringLiteral("Key:"), QStringLiteral("preset"), frmDialog::TextRow);
        EXPECT_EQ(d.txtText(0)->text(), QStringLiteral("preset"));
        prompter.dialogScripts.push_back([](QDialog &dlg) {
            auto &f = static_cast<frmDialog &>(dlg);
            QTest::keyClicks(f.txtText(0), QStringLiteral("abc"));
            QTest::keyClick(f.txtText(0), Qt::Key_Escape);
        });
        EXPECT_EQ(prompter.execDialog(nullptr, d), QDialog::Rejected);
        EXPECT_TRUE(d.Cancelled());
        EXPECT_FALSE(d.isVisible());
    }
    {
        // The Cancel button and OK by click.
        frmDialog d(&prompter, nullptr, nullptr);
        d.AddControl(QStringLiteral("Key:"), QVariant(), frmDialog::TextRow);
        prompter.dialogScripts.push_back([](QDialog &dlg) {
            QTest::mouseClick(static_cast<frmDialog &>(dlg).cmdCancel(), Qt::LeftButton);
        });
        EXPECT_EQ(prompter.execDialog(nullptr, d), QDialog::Rejected);
        EXPECT_TRUE(d.Cancelled());
        frmDialog d2(&prompter, nullptr, nullptr);
        d2.AddControl(QStringLiteral("Key:"), QVariant(), frmDialog::TextRow);
        prompter.dialogScripts.push_back([](QDialog &dlg) {
            auto &f = static_cast<frmDialog &>(dlg);
            QTest::keyClicks(f.txtText(0), QStringLiteral("   "));
            QTest::mouseClick(f.cmdOK(), Qt::LeftButton);
        });
        EXPECT_EQ(prompter.execDialog(nullptr, d2), QDialog::Accepted);
        EXPECT_FALSE(d2.Cancelled());
        EXPECT_EQ(d2.txtText(0)->text(), QStringLiteral("   "));
    }
}

TEST(frmDialog, CloseBoxCancelsAndHidesWithoutUnloading)
{
    frmDialog d(nullptr, nullptr, nullptr);
    d.AddControl(QStringLiteral("Key:"), QVariant(), frmDialog::TextRow);
    d.show();
    QTest::keyClicks(d.txtText(0), QStringLiteral("typed"));
    QCloseEvent close;
    QApplication::sendEvent(&d, &close);
    EXPECT_FALSE(close.isAccepted());
    EXPECT_TRUE(d.Cancelled());
    EXPECT_FALSE(d.isVisible());
    // Still loaded: the caller can read the rows.
    EXPECT_EQ(d.txtText(0)->text(), QStringLiteral("typed"));
}

TEST(frmDialog, ThreeTextRowsAreStackedByTheLabelRule)
{
    frmDialog d(nullptr, nullptr, nullptr);
    for (int i = 0; i < 3; ++i)
        d.AddControl(QStringLiteral("Row %1").arg(i), QStringLiteral("v%1").arg(i),
                     frmDialog::TextRow);
    EXPECT_EQ(d.rowCount(), 3);
    EXPECT_EQ(topOf(d, d.lblLabel(0)), 480);
    EXPECT_EQ(topOf(d, d.lblLabel(1)), 925);
    EXPECT_EQ(topOf(d, d.lblLabel(2)), 1370);
    // Row 0 keeps its design place, 60 twips above its label.
    EXPECT_EQ(topOf(d, d.txtText(0)), 420);
    EXPECT_EQ(topOf(d, d.txtText(1)), 925);
    EXPECT_EQ(topOf(d, d.txtText(2)), 1370);
    // New elements keep element 0's left, width and height.
    EXPECT_EQ(d.twipsGeometry(d.txtText(2)), QRect(2100, 1370, 5265, 315));
    EXPECT_EQ(d.twipsGeometry(d.lblLabel(2)), QRect(180, 1370, 1635, 255));
    EXPECT_EQ(d.clientHeightTwips(), 1370 + 255 + 190 + 735);
    EXPECT_EQ(d.clientWidthTwips(), 7590);
    EXPECT_EQ(d.lblLabel(2)->text(), QStringLiteral("Row 2"));
    EXPECT_EQ(d.txtText(1)->text(), QStringLiteral("v1"));
    // Only text boxes were made for these rows.
    EXPECT_EQ(d.chkCheck(1), nullptr);
    EXPECT_EQ(d.cmdColor(2), nullptr);
    // The window is as high as the twips say on this screen.
    const double tpy = 1440.0 / d.logicalDpiY();
    EXPECT_NEAR(d.height(), 2550 / tpy, 1.0);
}

TEST(frmDialog, CheckBoxFirstRowAndEventsOnlyFromTheUser)
{
    test::ScriptedPrompter prompter;
    frmDialog d(&prompter, nullptr, nullptr);
    QSignalSpy changed(&d, &frmDialog::ControlChanged);
    const QString label0Before = d.lblLabel(0)->text();
    d.AddControl(QStringLiteral("Keep ratio"), true, frmDialog::CheckRow);
    EXPECT_EQ(d.chkCheck(0)->text(), QStringLiteral("Keep ratio"));
    EXPECT_TRUE(d.chkCheck(0)->isChecked());
    EXPECT_EQ(d.lblLabel(0)->text(), label0Before);
    EXPECT_TRUE(d.lblLabel(0)->isHidden());
    d.AddControl(QStringLiteral("Second"), -1, frmDialog::CheckRow); // a true number
    d.AddControl(QStringLiteral("Kind"), QVariant(), frmDialog::ListRow);
    d.AddControl(QStringLiteral("Name"), QStringLiteral("x"), frmDialog::TextRow);
    d.AddControl(QStringLiteral("Pick"), false, frmDialog::OptionRow);
    d.AddControl(QStringLiteral("Colour"), 0x0000FF, frmDialog::ColorRow); // 0x00BBGGRR
    d.AddControl(QStringLiteral("Only a caption"), QVariant(), 99);
    EXPECT_EQ(changed.count(), 0) << "adding rows raises nothing";
    // A check-box row still gets its (hidden) label, which the height follows.
    ASSERT_NE(d.lblLabel(1), nullptr);
    EXPECT_TRUE(d.lblLabel(1)->isHidden());
    EXPECT_TRUE(d.chkCheck(1)->isChecked());
    EXPECT_EQ(d.cmdColor(5)->backColor(), QColor(255, 0, 0));
    EXPECT_EQ(d.lblLabel(6)->text(), QStringLiteral("Only a caption"));
    EXPECT_FALSE(d.lblLabel(6)->isHidden());
    EXPECT_EQ(d.txtText(6), nullptr);
    EXPECT_EQ(topOf(d, d.lblLabel(6)), 480 + 6 * 445);
    EXPECT_EQ(d.clientHeightTwips(), 480 + 6 * 445 + 255 + 190 + 735);

    d.show();
    QTest::mouseClick(d.chkCheck(1), Qt::LeftButton, {}, QPoint(6, d.chkCheck(1)->height() / 2));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 1);
    EXPECT_EQ(changed.at(0).at(1).value<QWidget *>(), d.chkCheck(1));
    EXPECT_FALSE(d.chkCheck(1)->isChecked());

    d.cmbCombo(2)->addItems({QStringLiteral("a"), QStringLiteral("b")});
    d.cmbCombo(2)->setCurrentIndex(1); // by code: quiet
    EXPECT_EQ(changed.count(), 1);
    emit d.cmbCombo(2)->activated(0); // what a user's pick raises
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(0).toInt(), 2);

    // Typing and option buttons raise nothing.
    QTest::keyClicks(d.txtText(3), QStringLiteral("yz"));
    QTest::mouseClick(d.optOption(4), Qt::LeftButton, {}, QPoint(6, d.optOption(4)->height() / 2));
    EXPECT_TRUE(d.optOption(4)->isChecked());
    EXPECT_EQ(changed.count(), 2);

    // Colour: a cancelled chooser keeps the colour quietly; a pick changes it.
    prompter.colors.push_back(std::nullopt);
    prompter.colors.push_back(QColor(0, 128, 0));
    QTest::mouseClick(d.cmdColor(5), Qt::LeftButton);
    EXPECT_EQ(d.cmdColor(5)->backColor(), QColor(255, 0, 0));
    EXPECT_EQ(changed.count(), 2);
    QTest::mouseClick(d.cmdColor(5), Qt::LeftButton);
    EXPECT_EQ(d.cmdColor(5)->backColor(), QColor(0, 128, 0));
    ASSERT_EQ(changed.count(), 3);
    EXPECT_EQ(changed.at(2).at(0).toInt(), 5);
    EXPECT_EQ(changed.at(2).at(1).value<QWidget *>(), d.cmdColor(5));
}

TEST(frmDialog, SkinnedAtLoadAndSkinFormByKind)
{
    Skin skin; // tagging works without a sheet
    frmDialog d(nullptr, &skin, nullptr);
    EXPECT_EQ(d.property(Skin::kProperty).toString(), QStringLiteral("smallform"));
    EXPECT_EQ(d.cmdOK()->property(Skin::kProperty).toString(), QStringLiteral("Button"));
    EXPECT_EQ(d.cmdCancel()->property(Skin::kProperty).toString(), QStringLiteral("Button"));
    EXPECT_EQ(d.lblLabel(0)->property(Skin::kProperty).toString(), QStringLiteral("Label"));
    d.AddControl(QStringLiteral("a"), QVariant(), frmDialog::TextRow);
    d.AddControl(QStringLiteral("b"), QVariant(), frmDialog::TextRow);
    // Rows made later are not dressed.
    EXPECT_FALSE(d.lblLabel(1)->property(Skin::kProperty).isValid());

    QWidget form;
    auto *button = new QPushButton(&form);
    auto *label = new QLabel(&form);
    auto *check = new QCheckBox(&form);
    auto *radio = new QRadioButton(&form);
    auto *status = new QStatusBar(&form);
    auto *edit = new QLineEdit(&form);
    frmDialog::SkinForm(&form, &skin);
    EXPECT_EQ(button->property(Skin::kProperty).toString(), QStringLiteral("Button"));
    EXPECT_EQ(label->property(Skin::kProperty).toString(), QStringLiteral("label"));
    EXPECT_EQ(check->property(Skin::kProperty).toString(), QStringLiteral("CheckBox"));
    EXPECT_EQ(radio->property(Skin::kProperty).toString(), QStringLiteral("Radio"));
    EXPECT_EQ(status->property(Skin::kProperty).toString(), QStringLiteral("Statusbar"));
    EXPECT_FALSE(edit->property(Skin::kProperty).isValid());
}

// A masked row: bullets only, a limit of the caller's choosing instead of the
// text box's silent 32,767, and a wipe that zeroes the box's own buffer.
TEST(frmDialog, MaskedRowsTakeLongTextAndAreWipedInPlace)
{
    frmDialog d(nullptr, nullptr, nullptr);
    d.AddControl(QStringLiteral("Key:"), QString(), frmDialog::TextRow);
    d.AddControl(QStringLiteral("Name:"), QStringLiteral("kept"), frmDialog::TextRow);
    d.maskText(0, 50000);
    EXPECT_EQ(d.txtText(0)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(d.txtText(1)->echoMode(), QLineEdit::Normal);
    EXPECT_TRUE(d.txtText(0)->inputMethodHints() & Qt::ImhSensitiveData);
    d.txtText(0)->insert(QString(40000, QLatin1Char('s')));
    EXPECT_EQ(d.txtText(0)->text().size(), 40000);
    EXPECT_NE(d.txtText(0)->displayText(), d.txtText(0)->text());

    const QString held = d.txtText(0)->text(); // shares the box's buffer
    const QString name = d.txtText(1)->text();
    d.wipeTexts();
    EXPECT_EQ(held, QString(40000, QChar(0))) << "the box's characters are overwritten";
    EXPECT_TRUE(d.txtText(0)->text().isEmpty());
    EXPECT_FALSE(d.txtText(0)->isUndoAvailable());
    // An unmasked row is emptied but a caller's string is left alone.
    EXPECT_TRUE(d.txtText(1)->text().isEmpty());
    EXPECT_EQ(name, QStringLiteral("kept"));
}

// Tab walks the rows top to bottom and then the buttons, also for rows made
// after the buttons were.
TEST(frmDialog, TabGoesDownTheRowsThenToTheButtons)
{
    frmDialog d(nullptr, nullptr, nullptr);
    d.AddControl(QStringLiteral("Key:"), QString(), frmDialog::TextRow);
    d.AddControl(QStringLiteral("Again:"), QString(), frmDialog::TextRow);
    d.AddControl(QStringLiteral("Colour:"), 0, frmDialog::ColorRow);
    d.show();
    QApplication::setActiveWindow(&d);
    d.txtText(0)->setFocus();
    const QList<QWidget *> expected = {d.txtText(1), d.cmdColor(2), d.cmdOK(), d.cmdCancel()};
    for (QWidget *next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next)
            << (QApplication::focusWidget()
                    ? QApplication::focusWidget()->objectName().toStdString()
                    : std::string("none"));
    }
}
