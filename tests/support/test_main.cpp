#include "imaging/Decoder.h"

#include <QApplication>
#include <gtest/gtest.h>

// Every test binary gets a QApplication (offscreen in CTest) so widget and
// pixmap code can run, and the same decoding limits the program sets.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora"));
    lumora::imaging::applyDecodeLimits();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
