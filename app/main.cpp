#include "app/LumoraApp.h"
#include "imaging/Decoder.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora"));
    QApplication::setApplicationVersion(QStringLiteral("2.1.0.0"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    // The viewer going away must not end the program by itself: closing it
    // either returns to the browser or ends the program explicitly.
    QApplication::setQuitOnLastWindowClosed(false);
    lumora::imaging::applyDecodeLimits();

    lumora::LumoraApp lumora(QApplication::arguments());
    if (!lumora.start(QApplication::arguments()))
        return 0;
    return QApplication::exec();
}
