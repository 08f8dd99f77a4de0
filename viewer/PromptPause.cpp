#include "viewer/PromptPause.h"

#include <QTimer>

namespace lumora
{

PromptPause::PromptPause(QTimer &timer, std::function<bool()> mayRun)
    : m_timer(timer), m_mayRun(std::move(mayRun))
{
}

PromptPause::Hold::Hold(PromptPause *pause) : m_pause(pause)
{
    m_pause->enter();
}

PromptPause::Hold::Hold(Hold &&other) noexcept : m_pause(other.m_pause)
{
    other.m_pause = nullptr;
}

PromptPause::Hold::~Hold()
{
    if (m_pause)
        m_pause->leave();
}

void PromptPause::enter()
{
    if (m_depth++ == 0) {
        m_wasRunning = m_timer.isActive();
        m_timer.stop();
        for (const auto &listener : m_listeners)
            listener(true);
    }
}

void PromptPause::leave()
{
    if (--m_depth > 0)
        return;
    // Whatever the prompt's command did (stopped the show, closed the
    // window, set a delay of 0) decides over the state before it.
    if (m_wasRunning && !m_timer.isActive() && m_timer.interval() > 0 && (!m_mayRun || m_mayRun()))
        m_timer.start();
    m_wasRunning = false;
    for (const auto &listener : m_listeners)
        listener(false);
}

Prompter::Answer PausingPrompter::message(QWidget *parent, const QString &text, Icon icon,
                                          Buttons buttons, const QString &title)
{
    const auto hold = m_pause.hold();
    return m_inner.message(parent, text, icon, buttons, title);
}

std::optional<QString> PausingPrompter::inputText(QWidget *parent, const QString &title,
                                                  const QString &prompt, const QString &initial)
{
    const auto hold = m_pause.hold();
    return m_inner.inputText(parent, title, prompt, initial);
}

std::optional<Prompter::FileChoice> PausingPrompter::openFiles(QWidget *parent,
                                                               const QString &title,
                                                               const QString &filter, bool multiple)
{
    const auto hold = m_pause.hold();
    return m_inner.openFiles(parent, title, filter, multiple);
}

std::optional<Prompter::FileChoice> PausingPrompter::saveFile(QWidget *parent, const QString &title,
                                                              const QString &filter,
                                                              const QString &initialName)
{
    const auto hold = m_pause.hold();
    return m_inner.saveFile(parent, title, filter, initialName);
}

std::optional<QString> PausingPrompter::chooseFolder(QWidget *parent, const QString &title,
                                                     const QString &start)
{
    const auto hold = m_pause.hold();
    return m_inner.chooseFolder(parent, title, start);
}

std::optional<QColor> PausingPrompter::chooseColor(QWidget *parent, const QColor &initial)
{
    const auto hold = m_pause.hold();
    return m_inner.chooseColor(parent, initial);
}

std::optional<Prompter::FileChoice> PausingPrompter::saveFileAs(QWidget *parent,
                                                                const SaveRequest &request)
{
    const auto hold = m_pause.hold();
    return m_inner.saveFileAs(parent, request);
}

int PausingPrompter::choose(QWidget *parent, const QString &text, const QStringList &buttons,
                            Icon icon, const QString &title)
{
    const auto hold = m_pause.hold();
    return m_inner.choose(parent, text, buttons, icon, title);
}

int PausingPrompter::chooseSafely(QWidget *parent, const QString &text, const QStringList &buttons,
                                  int safe, Icon icon, const QString &title)
{
    const auto hold = m_pause.hold();
    return m_inner.chooseSafely(parent, text, buttons, safe, icon, title);
}

int PausingPrompter::execDialog(QWidget *parent, QDialog &dialog)
{
    const auto hold = m_pause.hold();
    return m_inner.execDialog(parent, dialog);
}

bool PausingPrompter::printDialog(QWidget *parent, QPrinter &printer, const PrintSetup &setup)
{
    const auto hold = m_pause.hold();
    return m_inner.printDialog(parent, printer, setup);
}

bool PausingPrompter::pageSetup(QWidget *parent, QPrinter &printer)
{
    const auto hold = m_pause.hold();
    return m_inner.pageSetup(parent, printer);
}

} // namespace lumora
