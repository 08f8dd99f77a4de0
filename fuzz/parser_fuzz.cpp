// libFuzzer entries for the parsers Lumora wrote itself, one executable per
// parser (LUMORA_FUZZ_PARSER names it) so that each has its own corpus and
// its own coverage figure. The checks live in ParserChecks.cpp, shared with
// the regression test that replays what the fuzzers found.

#include "fuzz/ParserChecks.h"
#include "imaging/Decoder.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    if (!qEnvironmentVariableIsSet("LUMORA_FUZZ_VERBOSE"))
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    lumora::imaging::applyDecodeLimits();
    if (!lumora::fuzz::parserNames().contains(QLatin1String(LUMORA_FUZZ_PARSER)))
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString name = QStringLiteral(LUMORA_FUZZ_PARSER);
    const QString failed = lumora::fuzz::runParser(name, data, size);
    if (failed.isEmpty())
        return 0;
    fprintf(stderr, "lumora_fuzz_%s: %s\n", LUMORA_FUZZ_PARSER, qPrintable(failed));
    abort();
}
