#pragma once

#include "dialogs/Prompter.h"

#include <functional>
#include <vector>

class QTimer;

namespace lumora
{

// Holds a timer still while anything modal is open over its window, so a
// command finishes on what was on screen when it asked its question. Holds
// nest: the timer runs again, with a full interval, when the last one goes,
// and only if it ran before the first one came and `mayRun` still agrees.
class PromptPause
{
public:
    PromptPause(QTimer &timer, std::function<bool()> mayRun);
    PromptPause(const PromptPause &) = delete;
    PromptPause &operator=(const PromptPause &) = delete;

    class [[nodiscard]] Hold
    {
    public:
        explicit Hold(PromptPause *pause);
        Hold(Hold &&other) noexcept;
        Hold &operator=(Hold &&) = delete;
        Hold(const Hold &) = delete;
        ~Hold();

    private:
        PromptPause *m_pause;
    };

    Hold hold() { return Hold(this); }
    bool held() const { return m_depth > 0; }
    // The timer was stopped for good while held (the window closed): the
    // last hold leaves it stopped.
    void stayStopped() { m_wasRunning = false; }
    // Told when the first hold comes (true) and the last one goes (false),
    // for what else must stand still under a prompt (an animation).
    void onHeldChanged(std::function<void(bool held)> listener)
    {
        m_listeners.push_back(std::move(listener));
    }

private:
    void enter();
    void leave();

    QTimer &m_timer;
    std::function<bool()> m_mayRun;
    int m_depth = 0;
    bool m_wasRunning = false;
    std::vector<std::function<void(bool)>> m_listeners;
};

// A prompter that holds a pause for as long as each of its prompts is open,
// passing every prompt on to the real one.
class PausingPrompter : public Prompter
{
public:
    PausingPrompter(Prompter &inner, PromptPause &pause) : m_inner(inner), m_pause(pause) {}

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
    int execDialog(QWidget *parent, QDialog &dialog) override;
    bool printDialog(QWidget *parent, QPrinter &printer, const PrintSetup &setup) override;
    bool pageSetup(QWidget *parent, QPrinter &printer) override;

private:
    Prompter &m_inner;
    PromptPause &m_pause;
};

} // namespace lumora
