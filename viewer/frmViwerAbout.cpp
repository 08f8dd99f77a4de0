// The Help menu: the about box, the help file and the updater.
#include "viewer/frmViwer.h"

#include "dialogs/Prompter.h"
#include "dialogs/frmAbout.h"
#include "viewer/HelpFiles.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

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

static void openHelpTarget(frmViwer *viewer, Prompter *prompter, const HelpTarget &target,
                           const std::function<bool(const QUrl &)> &opener)
{
    QString problem = target.missing;
    if (problem.isEmpty()) {
        const QUrl url = QUrl::fromLocalFile(target.path);
        const bool opened = opener ? opener(url) : QDesktopServices::openUrl(url);
        if (!opened)
            problem = QStringLiteral("\"%1\" could not be opened.").arg(target.path);
    }
    if (!problem.isEmpty() && prompter)
        prompter->message(viewer, problem, Prompter::Icon::Warning);
}

void frmViwer::HelpIndex()
{
    openHelpTarget(this, m_ctx.prompter, helpIndexTarget(QCoreApplication::applicationDirPath()),
                   openDocument);
}

void frmViwer::RunUpdate()
{
    openHelpTarget(this, m_ctx.prompter, updaterTarget(QCoreApplication::applicationDirPath()),
                   openDocument);
}

} // namespace lumora
