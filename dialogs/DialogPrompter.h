#pragma once

#include "dialogs/Prompter.h"

class QWidget;

namespace lumora
{

// A width at which a window's title bar shows `title` whole.
int titleFittingWidth(const QWidget &window, const QString &title);

// The real prompts: Qt's message box, input dialog, file and colour dialogs.
class DialogPrompter : public Prompter
{
public:
    Answer message(QWidget *parent, const QString &text, Icon icon, Buttons buttons,
                   const QString &title) override;
    int chooseSafely(QWidget *parent, const QString &text, const QStringList &buttons, int safe,
                     Icon icon, const QString &title) override;
    std::optional<QString> inputText(QWidget *parent, const QString &title, const QString &prompt,
                                     const QString &initial) override;
    std::optional<FileChoice> openFiles(QWidget *parent, const QString &title,
                                        const QString &filter, bool multiple) override;
    std::optional<FileChoice> saveFile(QWidget *parent, const QString &title, const QString &filter,
                                       const QString &initialName) override;
    std::optional<QString> chooseFolder(QWidget *parent, const QString &title,
                                        const QString &start) override;
    std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) override;
    std::optional<FileChoice> saveFileAs(QWidget *parent, const SaveRequest &request) override;
    int choose(QWidget *parent, const QString &text, const QStringList &buttons, Icon icon,
               const QString &title) override;

    // --- dialogs, print and page setup
    int execDialog(QWidget *parent, QDialog &dialog) override;
    bool printDialog(QWidget *parent, QPrinter &printer, const PrintSetup &setup) override;
    bool pageSetup(QWidget *parent, QPrinter &printer) override;
};

} // namespace lumora
