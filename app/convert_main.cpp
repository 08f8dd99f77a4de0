#include "app/ConvertTool.h"
#include "imaging/Decoder.h"
#include "loader/LoaderClient.h"
#include "loader/LoaderSetting.h"
#include "platform/RegistryStore.h"

#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

// Qt's own chatter (a missing XDG_RUNTIME_DIR over ssh, font fallbacks) is
// not the converter's output; only Qt's criticals still reach stderr.
static void quietQtMessages(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "lumora-convert: %s\n", qPrintable(msg));
}

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietQtMessages);
    // No window is ever shown: metafiles still need a GUI application for
    // their fonts, and over ssh there is no display to connect to.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Lumora"));
    QGuiApplication::setApplicationVersion(QStringLiteral("2.1.0.0"));
    lumora::imaging::applyDecodeLimits();
    {
        // The same time limit a decode has in the viewer.
        const auto registry = lumora::platform::openDefaultRegistryStore();
        lumora::loader::LoaderSettings decoding;
        decoding.timeLimitMs = lumora::loader::decoderTimeLimitMs(registry.get());
        lumora::loader::configure(decoding);
    }

    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    QString error;
    const auto request = lumora::parseConvertArguments(args, &error);
    if (!request) {
        err << "lumora-convert: " << error << "\nTry 'lumora-convert --help'.\n";
        return 2;
    }
    return lumora::runConvert(*request, out, err, isatty(STDERR_FILENO) != 0);
}
