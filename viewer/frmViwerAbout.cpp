// The Help menu: the about box, the help file and the updater.
#include "viewer/frmViwer.h"

#include "dialogs/Prompter.h"
#include "dialogs/frmAbout.h"
#include "platform/ProgramStarter.h"
#include "viewer/HelpFiles.h"
#include "viewer/HelpWindow.h"

#include <QFileInfo>

namespace lumora
{

void frmViwer::ShowAbout()
{
    // Modeless and owned by the viewer; OK unloads it.
    if (!m_about)
        m_about = new frmAbout(m_ctx.registry, m_ctx.prompter, m_ctx.skin, this);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void frmViwer::HelpIndex()
{
    const HelpTarget target = helpIndexTarget(programFolder);
    if (!target.missing.isEmpty()) {
        if (m_ctx.prompter)
            m_ctx.prompter->message(this, target.missing, Prompter::Icon::Warning);
        return;
    }
    // The desktop's viewer when it has one; else our own window.
    m_documents->open(target.path, this, [this, path = target.path](bool opened) {
        if (!opened)
            showOwnHelp(path);
    });
}

void frmViwer::showOwnHelp(const QString &tried)
{
    const QString page = programFolder + QLatin1String(kHtmlHelp);
    if (!QFileInfo(page).isFile()) {
        if (m_ctx.prompter)
            m_ctx.prompter->message(
                this,
                QStringLiteral("\"%1\" could not be opened: nothing on this computer opens it.")
                    .arg(tried),
                Prompter::Icon::Warning);
        return;
    }
    if (!m_help)
        m_help = new HelpWindow(page, this);
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void frmViwer::RunUpdate()
{
    const HelpTarget target = updaterTarget(programFolder);
    QString problem = target.missing;
    // Started as the updater always was: the argument "0", the root folder
    // as its working folder.
    if (problem.isEmpty() &&
        !m_programs->start(target.path, {QStringLiteral("0")}, QStringLiteral("/")))
        problem = QStringLiteral("The updater \"%1\" could not be started.").arg(target.path);
    if (!problem.isEmpty() && m_ctx.prompter)
        m_ctx.prompter->message(this, problem, Prompter::Icon::Warning);
}

} // namespace lumora
