#include "imaging/Decoder.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Every test binary gets a QApplication (offscreen in CTest) so widget and
// pixmap code can run, and the same decoding limits the program sets.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Listing folders writes thumbnails to the desktop's cache; no test may
    // touch the user's own, and every run starts with an empty one.
    QTemporaryDir cacheHome;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome.path()));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora"));
    lumora::imaging::applyDecodeLimits();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
