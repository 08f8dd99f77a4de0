#pragma once

#include "dialogs/Prompter.h"

#include <QDialog>
#include <QList>
#include <QPageLayout>
#include <QPrinter>

#include <deque>
#include <functional>

namespace lumora::test
{

// Answers prompts from queues filled by the test and records what was asked.
// An unexpected prompt answers Cancel / nothing, so a test never blocks.
class ScriptedPrompter : public Prompter
{
public:
    struct Asked {
        QString kind; // "message", "input", "open", "save", "folder", "color", "choose"
        QString text; // message text, prompt, or filter
        QString title;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        QStringList choices = {}; // the buttons offered by choose()
        int safe = -1;            // chooseSafely(): the default and Escape button
    };

    std::deque<Answer> answers;
    std::deque<std::optional<QString>> inputs;
    std::deque<std::optional<FileChoice>> files;
    std::deque<std::optional<QString>> folders;
    std::deque<std::optional<QColor>> colors;
    QList<Asked> asked;
    // choose(): the button index to answer; an empty queue answers -1.
    std::deque<int> chosen;
    // Runs while each prompt is "open", before it is answered.
    std::function<void(const Asked &)> duringPrompt;

    Answer message(QWidget *, const QString &text, Icon icon, Buttons buttons,
                   const QString &title) override
    {
        note({QStringLiteral("message"), text, title, icon, buttons});
        return pop(answers, buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel);
    }
    std::optional<QString> inputText(QWidget *, const QString &title, const QString &prompt,
                                     const QString &) override
    {
        note({QStringLiteral("input"), prompt, title});
        return pop(inputs, std::optional<QString>());
    }
    std::optional<FileChoice> openFiles(QWidget *, const QString &title, const QString &filter,
                                        bool) override
    {
        note({QStringLiteral("open"), filter, title});
        return pop(files, std::optional<FileChoice>());
    }
    std::optional<FileChoice> saveFile(QWidget *, const QString &title, const QString &filter,
                                       const QString &) override
    {
        note({QStringLiteral("save"), filter, title});
        return pop(files, std::optional<FileChoice>());
    }
    std::optional<QString> chooseFolder(QWidget *, const QString &title, const QString &) override
    {
        note({QStringLiteral("folder"), {}, title});
        return pop(folders, std::optional<QString>());
    }
    std::optional<QColor> chooseColor(QWidget *, const QColor &) override
    {
        note({QStringLiteral("color"), {}, {}});
        return pop(colors, std::optional<QColor>());
    }
    int choose(QWidget *, const QString &text, const QStringList &buttons, Icon icon,
               const QString &title) override
    {
        note({QStringLiteral("choose"), text, title, icon, Buttons::Ok, buttons});
        return pop(chosen, -1);
    }
    // Like a box whose Escape gives `safe`: an empty queue or -1 answers it.
    int chooseSafely(QWidget *, const QString &text, const QStringList &buttons, int safe,
                     Icon icon, const QString &title) override
    {
        asked.push_back({QStringLiteral("choose"), text, title, icon, Buttons::Ok, buttons, safe});
        const int i = pop(chosen, -1);
        return i < 0 ? safe : i;
    }

    // --- Save dialog with a preselected file type: recorded in full, and
    // answered from `files` like saveFile().
    QList<SaveRequest> saveRequests;
    std::optional<FileChoice> saveFileAs(QWidget *, const SaveRequest &request) override
    {
        note({QStringLiteral("save"), request.filter, request.title});
        saveRequests.push_back(request);
        return pop(files, std::optional<FileChoice>());
    }

    // --- dialogs, print and page setup
    // A dialog script acts on the shown dialog (types, clicks) and may leave
    // it open; the prompt then returns the dialog's result. With no script
    // left the dialog is cancelled.
    std::deque<std::function<void(QDialog &)>> dialogScripts;
    struct PrintAnswer {
        bool accepted = true;
        QPrinter::PrintRange range = QPrinter::AllPages;
        int fromPage = 0; // with PageRange
        int toPage = 0;
        QString pdfPath; // where the jobs go (PDF output)
    };
    struct PrintAsked {
        PrintSetup setup;
        int fromPage = 0; // the printer's range as the dialog found it
        int toPage = 0;
        QPrinter::PrintRange range = QPrinter::AllPages;
    };
    std::deque<PrintAnswer> printAnswers;
    QList<PrintAsked> printAsked;
    std::deque<std::optional<QPageLayout>> pageLayouts;
    int pageSetups = 0;

    int execDialog(QWidget *, QDialog &dialog) override
    {
        note({QStringLiteral("dialog"), {}, dialog.windowTitle()});
        if (dialogScripts.empty()) {
            dialog.reject();
            return QDialog::Rejected;
        }
        auto script = std::move(dialogScripts.front());
        dialogScripts.pop_front();
        dialog.setResult(0);
        dialog.show();
        script(dialog);
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }
    bool printDialog(QWidget *, QPrinter &printer, const PrintSetup &setup) override
    {
        printAsked.push_back({setup, printer.fromPage(), printer.toPage(), printer.printRange()});
        note({QStringLiteral("print"), {}, {}});
        if (printAnswers.empty())
            return false;
        PrintAnswer a = printAnswers.front();
        printAnswers.pop_front();
        if (!a.accepted)
            return false;
        printer.setPrintRange(a.range);
        if (a.range == QPrinter::PageRange)
            printer.setFromTo(a.fromPage, a.toPage);
        if (!a.pdfPath.isEmpty()) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(a.pdfPath);
        }
        return true;
    }
    bool pageSetup(QWidget *, QPrinter &printer) override
    {
        ++pageSetups;
        note({QStringLiteral("pagesetup"), {}, {}});
        if (pageLayouts.empty())
            return false;
        std::optional<QPageLayout> layout = pageLayouts.front();
        pageLayouts.pop_front();
        if (!layout)
            return false;
        printer.setPageLayout(*layout);
        return true;
    }

private:
    void note(const Asked &a)
    {
        asked.push_back(a);
        if (duringPrompt)
            duringPrompt(a);
    }
    // GCC 12 misreads a moved std::optional<QString> payload here as
    // maybe-uninitialised (a known false positive).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
    template <typename T> static T pop(std::deque<T> &q, T fallback)
    {
        if (q.empty())
            return fallback;
        T v = std::move(q.front());
        q.pop_front();
        return v;
    }
#pragma GCC diagnostic pop
};

} // namespace lumora::test
