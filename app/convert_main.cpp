#include "app/ConvertTool.h"
#include "imaging/Decoder.h"
#include "loader/LoaderClient.h"
#include "loader/LoaderSetting.h"
#include "platform/FileOperations.h"
#include "platform/RegistryStore.h"

#include <QGuiApplication>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
    // Names are taken as the bytes given: one that is not UTF-8 still names
    // its file (QCoreApplication::arguments() would replace those bytes).
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << lumora::platform::pathFromBytes(QByteArray(argv[i]));
    QString error;
    const auto request = lumora::parseConvertArguments(args, &error);
    if (!request) {
        err << "lumora-convert: " << error << "\nTry 'lumora-convert --help'.\n";
        return 2;
    }
    int status = lumora::runConvert(*request, out, err, isatty(STDERR_FILENO) != 0);
    // Output that never arrived (a full disk, /dev/full, a closed pipe) is a
    // failure, not a success with nothing to show.
    out.flush();
    if (out.status() != QTextStream::Ok || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        err << "lumora-convert: cannot write to standard output: "
            << QString::fromLocal8Bit(std::strerror(errno ? errno : EIO)) << '\n';
        err.flush();
        if (status == 0 || status == 3)
            status = 1;
    }
    return status;
}
