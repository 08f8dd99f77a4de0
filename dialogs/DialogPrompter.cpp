#include "dialogs/DialogPrompter.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace lumora
{

QStringList qtFilterList(const QString &pairs)
{
    QStringList out;
    const QStringList parts = pairs.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return out;
}

int titleFittingWidth(const QWidget &window, const QString &title)
{
    // Title bars are commonly drawn in a bold face, with the window's icon and
    // three buttons beside the text.
    QFont bold = window.font();
    bold.setBold(true);
    constexpr int kDecorations = 140;
    return QFontMetrics(bold).horizontalAdvance(title) + kDecorations;
}

// Title, text and icon as every box of ours has them; a box without a title
// of its own shows the application title.
static void dressBox(QMessageBox &box, const QString &text, Prompter::Icon icon,
                     const QString &title)
{
    using Icon = Prompter::Icon;
    box.setWindowTitle(title.isEmpty() ? QApplication::applicationName() : title);
    box.setText(text);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
}

Prompter::Answer DialogPrompter::message(QWidget *parent, const QString &text, Icon icon,
                                         Buttons buttons, const QString &title)
{
    QMessageBox box(parent);
    dressBox(box, text, icon, title);
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case Buttons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

std::optional<QString> DialogPrompter::inputText(QWidget *parent, const QString &title,
                                                 const QString &prompt, const QString &initial)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    // The dialog's layout fixes its size from its parts, so the room for the
    // title is made in the text field.
    if (auto *edit = dialog.findChild<QLineEdit *>())
        edit->setMinimumWidth(titleFittingWidth(dialog, title));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

static Prompter::FileChoice choiceFrom(const QStringList &files, const QStringList &filters,
                                       const QString &selectedFilter)
{
    Prompter::FileChoice c;
    if (!files.isEmpty()) {
        c.folder = QFileInfo(files.first()).absolutePath();
        if (!c.folder.endsWith(QLatin1Char('/')))
            c.folder += QLatin1Char('/');
    }
    for (const QString &f : files)
        c.fileNames << QFileInfo(f).fileName();
    // QFileDialog hands back its filters with runs of blanks collapsed, so
    // "Portable Network Graphics  <PNG>" comes back with one blank; compare
    // them the way it does, or every choice would read as the first type.
    c.filterIndex = 1;
    for (qsizetype i = 0; i < filters.size(); ++i)
        if (filters[i].simplified() == selectedFilter.simplified()) {
            c.filterIndex = int(i) + 1;
            break;
        }
    return c;
}

std::optional<Prompter::FileChoice> DialogPrompter::openFiles(QWidget *parent, const QString &title,
                                                              const QString &filter, bool multiple)
{
    const QStringList filters = qtFilterList(filter);
    QString selected = filters.value(0);
    QStringList files;
    if (multiple) {
        files = QFileDialog::getOpenFileNames(parent, title, {}, filters.join(QStringLiteral(";;")),
                                              &selected);
    } else {
        QString f = QFileDialog::getOpenFileName(parent, title, {},
                                                 filters.join(QStringLiteral(";;")), &selected);
        if (!f.isEmpty())
            files << f;
    }
    if (files.isEmpty())
        return std::nullopt;
    return choiceFrom(files, filters, selected);
}

std::optional<Prompter::FileChoice> DialogPrompter::saveFile(QWidget *parent, const QString &title,
                                                             const QString &filter,
                                                             const QString &initialName)
{
    const QStringList filters = qtFilterList(filter);
    QString selected = filters.value(0);
    QString f = QFileDialog::getSaveFileName(parent, title, initialName,
                                             filters.join(QStringLiteral(";;")), &selected);
    if (f.isEmpty())
        return std::nullopt;
    return choiceFrom({f}, filters, selected);
}

std::optional<Prompter::FileChoice> DialogPrompter::saveFileAs(QWidget *parent,
                                                               const SaveRequest &request)
{
    const QStringList filters = qtFilterList(request.filter);
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(
            filters.at(request.filterIndex - 1).simplified()); // as the dialog holds it
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    const QFileInfo start(request.initialPath);
    if (!request.initialPath.isEmpty()) {
        if (start.isDir()) {
            dialog.setDirectory(start.absoluteFilePath());
        } else {
            dialog.setDirectory(start.absolutePath());
            dialog.selectFile(start.fileName());
        }
    }
    // A name typed without an extension gets the one of the file type chosen
    // at that moment, not of the type the dialog opened with.
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &chosen) {
            const qsizetype at = chosen.lastIndexOf(QLatin1String("(*."));
            if (at < 0)
                return;
            const QString ext =
                chosen.mid(at + 3).section(QLatin1Char(')'), 0, 0).section(QLatin1Char(' '), 0, 0);
            if (!ext.isEmpty() && !ext.contains(QLatin1Char('*')))
                dialog.setDefaultSuffix(ext);
        });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return choiceFrom({dialog.selectedFiles().constFirst()}, filters, dialog.selectedNameFilter());
}

std::optional<QString> DialogPrompter::chooseFolder(QWidget *parent, const QString &title,
                                                    const QString &start)
{
    QString d = QFileDialog::getExistingDirectory(parent, title, start);
    if (d.isEmpty())
        return std::nullopt;
    return d;
}

std::optional<QColor> DialogPrompter::chooseColor(QWidget *parent, const QColor &initial)
{
    QColor c = QColorDialog::getColor(initial, parent);
    if (!c.isValid())
        return std::nullopt;
    return c;
}

int DialogPrompter::choose(QWidget *parent, const QString &text, const QStringList &buttons,
                           Icon icon, const QString &title)
{
    QMessageBox box(parent);
    dressBox(box, text, icon, title);
    // ActionRole keeps the buttons in the order given on every style.
    QList<QAbstractButton *> made;
    for (const QString &caption : buttons)
        made << box.addButton(caption, QMessageBox::ActionRole);
    box.exec();
    return int(made.indexOf(box.clickedButton()));
}

int DialogPrompter::chooseSafely(QWidget *parent, const QString &text, const QStringList &buttons,
                                 int safe, Icon icon, const QString &title)
{
    QMessageBox box(parent);
    dressBox(box, text, icon, title);
    QList<QAbstractButton *> made;
    for (const QString &caption : buttons)
        made << box.addButton(caption, QMessageBox::ActionRole);
    if (safe >= 0 && safe < made.size()) {
        box.setDefaultButton(static_cast<QPushButton *>(made[safe]));
        box.setEscapeButton(made[safe]);
    }
    box.exec();
    const int i = int(made.indexOf(box.clickedButton()));
    return i < 0 ? safe : i;
}

} // namespace lumora
