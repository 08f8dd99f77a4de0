#include "app/Splash.h"

#include "imaging/Decoder.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QSplashScreen>
#include <QTimer>

namespace lumora
{

Splash::Splash() = default;
Splash::~Splash() = default;

void Splash::ShowSplash(const QString &path)
{
    const imaging::DecodedImage img = imaging::decodeFile(path, {QSize(), false, nullptr});
    if (!img.ok())
        return;
    m_screen = std::make_unique<QSplashScreen>(QPixmap::fromImage(img.pages.first()));
    m_screen->show();
    QCoreApplication::processEvents();
}

void Splash::CloseSplash(int delayMs, QWidget *window)
{
    if (!m_screen)
        return;
    if (window)
        m_screen->finish(window);
    QSplashScreen *s = m_screen.release();
    QTimer::singleShot(delayMs, s, [s] {
        s->close();
        s->deleteLater();
    });
}

bool Splash::isShown() const
{
    return m_screen && m_screen->isVisible();
}

} // namespace lumora
