#include "imaging/Twips.h"

#include <QGuiApplication>
#include <QScreen>

namespace lumora
{

Twips Twips::forScreen()
{
    Twips t;
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        if (QScreen *s = app->primaryScreen()) {
            const double dx = s->logicalDotsPerInchX();
            const double dy = s->logicalDotsPerInchY();
            if (dx > 0)
                t.tpx = 1440.0 / dx;
            if (dy > 0)
                t.tpy = 1440.0 / dy;
        }
    }
    return t;
}

} // namespace lumora
