#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include <optional>

class QDialog;
class QPrinter;
class QWidget;

namespace lumora
{

// Every modal question the program asks goes through here, so tests can
// answer by script and nothing modal ever blocks a test.
class Prompter
{
public:
    enum class Icon { None, Information, Warning, Critical, Question };
    // YesNoDefaultNo: for a question whose Yes can cost data, No is the
    // default button and the answer of Escape and the close box.
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, YesNoDefaultNo };
    enum class Answer { Ok, Cancel, Yes, No };

    struct FileChoice {
        QString folder;        // ends with '/'
        QStringList fileNames; // names inside folder, in the order chosen
        int filterIndex = 1;   // 1-based position of the chosen filter pair
    };

    virtual ~Prompter() = default;

    // A box without a title of its own shows the application title.
    virtual Answer message(QWidget *parent, const QString &text, Icon icon = Icon::None,
                           Buttons buttons = Buttons::Ok, const QString &title = {}) = 0;
    // std::nullopt when cancelled.
    virtual std::optional<QString> inputText(QWidget *parent, const QString &title,
                                             const QString &prompt, const QString &initial) = 0;
    // filter uses the "Description|*.a;*.b|..." form; the first pair is selected.
    virtual std::optional<FileChoice> openFiles(QWidget *parent, const QString &title,
                                                const QString &filter, bool multiple) = 0;
    virtual std::optional<FileChoice> saveFile(QWidget *parent, const QString &title,
                                               const QString &filter,
                                               const QString &initialName) = 0;
    virtual std::optional<QString> chooseFolder(QWidget *parent, const QString &title,
                                                const QString &start) = 0;
    virtual std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) = 0;

    // --- Save dialog with a preselected file type (Save As)
    struct SaveRequest {
        QString title;
        QString filter;               // "Description|*.a|Description2|*.b" pairs
        int filterIndex = 1;          // 1-based entry selected when the dialog opens
        QString defaultSuffix;        // added by the dialog when the user types no extension
        QString initialPath;          // folder, or folder and file name, to start with
        bool confirmOverwrite = true; // the dialog asks before naming an existing file
    };
    // The chosen file and the entry the user left selected; nullopt on cancel.
    // Prompters that do not know it fall back to saveFile().
    virtual std::optional<FileChoice> saveFileAs(QWidget *parent, const SaveRequest &request)
    {
        return saveFile(parent, request.title, request.filter, request.initialPath);
    }

    // A question answered by one of the given buttons (left to right); the
    // index of the button pressed, or -1 when the box was closed otherwise.
    virtual int choose(QWidget *parent, const QString &text, const QStringList &buttons,
                       Icon icon = Icon::Question, const QString &title = {}) = 0;
    // A question whose other answers can destroy data: the button at `safe`
    // is the one Enter presses, and Escape and the close box give it too.
    // Prompters that cannot mark a button still map "closed" to it.
    virtual int chooseSafely(QWidget *parent, const QString &text, const QStringList &buttons,
                             int safe, Icon icon = Icon::Warning, const QString &title = {})
    {
        const int i = choose(parent, text, buttons, icon, title);
        return i < 0 ? safe : i;
    }

    // --- dialogs, print and page setup
    // What the print dialog is opened with besides the printer's own state.
    struct PrintSetup {
        int minPage = 1;
        int maxPage = 1;
        bool offerCurrentPage = true;
    };
    // Shows a dialog of ours modally and returns its result code. Without a
    // prompter of its own a dialog answers as though it were cancelled.
    virtual int execDialog(QWidget *parent, QDialog &dialog);
    // The print dialog on the given printer; true when the user confirmed.
    virtual bool printDialog(QWidget *parent, QPrinter &printer, const PrintSetup &setup);
    // The page-setup dialog on the given printer; true when the user confirmed.
    virtual bool pageSetup(QWidget *parent, QPrinter &printer);
};

// Converts "Desc|*.a;*.b|Desc2|*.c" into Qt's "Desc (*.a *.b);;Desc2 (*.c)".
QStringList qtFilterList(const QString &pairs);

} // namespace lumora
