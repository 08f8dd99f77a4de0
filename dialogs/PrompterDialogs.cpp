// The dialog, print and page-setup prompts, kept apart from the message and
// file prompts so the print support stays in one place.
#include "dialogs/DialogPrompter.h"

#include <QDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace lumora
{

int Prompter::execDialog(QWidget *, QDialog &dialog)
{
    dialog.reject();
    return QDialog::Rejected;
}

bool Prompter::printDialog(QWidget *, QPrinter &, const PrintSetup &)
{
    return false;
}

bool Prompter::pageSetup(QWidget *, QPrinter &)
{
    return false;
}

int DialogPrompter::execDialog(QWidget *, QDialog &dialog)
{
    // The dialog already names its owner as its parent.
    return dialog.exec();
}

bool DialogPrompter::printDialog(QWidget *parent, QPrinter &printer, const PrintSetup &setup)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(setup.minPage, setup.maxPage);
    QAbstractPrintDialog::PrintDialogOptions options = dialog.options();
    options |= QAbstractPrintDialog::PrintPageRange;
    options.setFlag(QAbstractPrintDialog::PrintCurrentPage, setup.offerCurrentPage);
    dialog.setOptions(options);
    return dialog.exec() == QDialog::Accepted;
}

bool DialogPrompter::pageSetup(QWidget *parent, QPrinter &printer)
{
    QPageSetupDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace lumora
