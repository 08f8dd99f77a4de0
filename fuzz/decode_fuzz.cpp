// libFuzzer entry for the decoding layer: format detection, the header
// plausibility checks, the size budget, metafile record validation and the
// codec families behind them.
//
// Input layout: byte 0 chooses the name hint (low 7 bits, modulo the number
// of hints this target was built with) and, with its top bit, a decode into a
// small box (the thumbnail path); the rest is the file.

#include "imaging/Decoder.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace
{

const QStringList &hints()
{
    static const QStringList list =
        QString::fromLatin1(LUMORA_FUZZ_HINTS).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return list;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // SVG text (EMF) and painting need a GUI application; no display here.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    // Every damaged input makes the image plugins complain; keep the log for
    // what the fuzzer finds.
    if (!qEnvironmentVariableIsSet("LUMORA_FUZZ_VERBOSE"))
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    lumora::imaging::applyDecodeLimits();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QStringList &names = hints();
    const QString hint = QStringLiteral("fuzz") + names.at((data[0] & 0x7F) % names.size());
    lumora::imaging::DecodeOptions options;
    options.allPages = true;
    if (data[0] & 0x80)
        options.scaledSize = QSize(48, 48);
    // fromRawData: no copy, and ASan sees reads past the input's end.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const lumora::imaging::DecodedImage decoded =
        lumora::imaging::decodeDataInProcess(bytes, options, hint);
    // For triage and for checking that the seeds decode at all.
    static const bool verbose = qEnvironmentVariableIsSet("LUMORA_FUZZ_VERBOSE");
    if (verbose)
        fprintf(stderr, "%s: %s\n", qPrintable(hint),
                decoded.ok() ? "ok" : qPrintable(decoded.error));
    // The contract every caller relies on: a picture or a sentence.
    if (decoded.ok() && !decoded.pages.front().isNull())
        return 0;
    if (!decoded.ok() && !decoded.error.isEmpty() && decoded.pages.isEmpty())
        return 0;
    abort();
}
