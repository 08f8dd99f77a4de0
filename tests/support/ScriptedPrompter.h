#pragma once

#include "dialogs/Prompter.h"

#include <QList>

#include <deque>

namespace lumora::test {

// Answers prompts from queues filled by the test and records what was asked.
// An unexpected prompt answers Cancel / nothing, so a test never blocks.
class ScriptedPrompter : public Prompter {
public:
    struct Asked {
        QString kind; // "message", "input", "open", "save", "folder", "color", "choose"
        QString text; // message text, prompt, or filter
        QString title;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        QStringList choices = {}; // the buttons offered by choose()
    };

    std::deque<Answer> answers;
    std::deque<std::optional<QString>> inputs;
    std::deque<std::optional<FileChoice>> files;
    std::deque<std::optional<QString>> folders;
    std::deque<std::optional<QColor>> colors;
    QList<Asked> asked;
    // choose(): the button index to answer; an empty queue answers -1.
    std::deque<int> chosen;

    Answer message(QWidget *, const QString &text, Icon icon, Buttons buttons,
                   const QString &title) override
    {
        asked.push_back({QStringLiteral("message"), text, title, icon, buttons});
        return pop(answers, buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel);
    }
    std::optional<QString> inputText(QWidget *, const QString &title, const QString &prompt,
                                     const QString &) override
    {
        asked.push_back({QStringLiteral("input"), prompt, title});
        return pop(inputs, std::optional<QString>());
    }
    std::optional<FileChoice> openFiles(QWidget *, const QString &title, const QString &filter,
                                        bool) override
    {
        asked.push_back({QStringLiteral("open"), filter, title});
        return pop(files, std::optional<FileChoice>());
    }
    std::optional<FileChoice> saveFile(QWidget *, const QString &title, const QString &filter,
                                       const QString &) override
    {
        asked.push_back({QStringLiteral("save"), filter, title});
        return pop(files, std::optional<FileChoice>());
    }
    std::optional<QString> chooseFolder(QWidget *, const QString &title, const QString &) override
    {
        asked.push_back({QStringLiteral("folder"), {}, title});
        return pop(folders, std::optional<QString>());
    }
    std::optional<QColor> chooseColor(QWidget *, const QColor &) override
    {
        asked.push_back({QStringLiteral("color"), {}, {}});
        return pop(colors, std::optional<QColor>());
    }
    int choose(QWidget *, const QString &text, const QStringList &buttons, Icon icon,
               const QString &title) override
    {
        asked.push_back({QStringLiteral("choose"), text, title, icon, Buttons::Ok, buttons});
        return pop(chosen, -1);
    }

    // --- Save dialog with a preselected file type: recorded in full, and
    // answered from `files` like saveFile().
    QList<SaveRequest> saveRequests;
    std::optional<FileChoice> saveFileAs(QWidget *, const SaveRequest &request) override
    {
        asked.push_back({QStringLiteral("save"), request.filter, request.title});
        saveRequests.push_back(request);
        return pop(files, std::optional<FileChoice>());
    }

private:
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
