// The viewer's stored settings: anti-aliasing, slide-show delay, full screen.
#include "viewer/frmViwer.h"

#include "dialogs/Prompter.h"
#include "settings/SettingKeys.h"
#include "viewer/ViewerSettings.h"

#include <QAction>

namespace lumora
{

void frmViwer::LoadSettings()
{
    const ViewerSettingsValues v = loadViewerSettings(m_ctx.registry);
    ImgX->setAntiAliasDisplay(v.antiAlias);
    m_act.antiAlias->setChecked(v.antiAlias);
    m_slides.timer().setInterval(v.slideShowDelay);
    m_fullScreen = v.fullScreen;
}

void frmViwer::ToggleAntiAlias()
{
    ImgX->setAntiAliasDisplay(!ImgX->AntiAliasDisplay());
    const bool on = ImgX->AntiAliasDisplay();
    m_act.antiAlias->setChecked(on);
    saveViewerSetting(m_ctx.registry, settings::kAntiAlias,
                      on ? QStringLiteral("-1") : QStringLiteral("0"));
}

void frmViwer::PromptSlideShowDelay()
{
    if (!m_ctx.prompter)
        return;
    const auto answer =
        m_ctx.prompter->inputText(this, QStringLiteral("Slide Show Delay"),
                                  QStringLiteral("Delay in Milliseconds(1000=1 Second):"),
                                  QString::number(m_slides.timer().interval()));
    if (!answer)
        return;
    const auto delay = parseDelayAnswer(*answer);
    if (!delay)
        return;
    // A running show goes on at the new pace; a delay of 0 holds it.
    m_slides.timer().setInterval(*delay);
    if (*delay == 0)
        m_slides.timer().stop();
    else if (slideShowRunning() && !m_slides.timer().isActive())
        m_slides.timer().start();
    saveViewerSetting(m_ctx.registry, settings::kSlideShowDelay,
                      QString::number(m_slides.timer().interval()));
}

void frmViwer::saveFullScreenSetting()
{
    saveViewerSetting(m_ctx.registry, settings::kFullScreen,
                      m_fullScreen ? QStringLiteral("-1") : QStringLiteral("0"));
}

} // namespace lumora
