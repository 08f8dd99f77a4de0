#include "app/LumoraApp.h"
#include "app/StartupHelpers.h"
#include "imaging/Decoder.h"
#include "viewer/FirstPicture.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // `lumora photo.jpg`: the photo decodes while the program connects to
    // the display, which takes a while, and builds its windows.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    std::unique_ptr<lumora::Preloader> first =
        lumora::decodeFirstPicture(lumora::commandLineText(arguments));

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora"));
    QApplication::setApplicationVersion(QStringLiteral("2.1.0.0"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    // The viewer going away must not end the program by itself: closing it
    // either returns to the browser or ends the program explicitly.
    QApplication::setQuitOnLastWindowClosed(false);
    lumora::imaging::applyDecodeLimits();

    lumora::LumoraApp lumora(std::move(first));
    if (!lumora.start(QApplication::arguments()))
        return 0;
    return QApplication::exec();
}
