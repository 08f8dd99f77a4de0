#pragma once

#include "imaging/FormatCode.h"

#include <QString>
#include <QStringList>

#include <optional>

class QTextStream;

namespace lumora
{

// The command-line converter: everything but main(), so tests run it in-process.
// Reads with the viewer's decoder and writes with the Save As writers.
struct ConvertRequest {
    enum class Mode { Help, Single, Batch, Identify };
    Mode mode = Mode::Help;
    QStringList inputs;
    QString output; // single mode: the output file
    QString outDir; // batch mode: the folder receiving the outputs
    std::optional<imaging::FormatCode> format;
    bool overwrite = false;
    bool quiet = false;
    int jobs = 0; // 0: one per core
};

// The output format named by an extension or a --format value ("jpg", "jpeg",
// "tif", "tiff", ... case-insensitive); nullopt for any other text.
std::optional<imaging::FormatCode> convertFormatFromName(const QString &name);

// Parses the arguments after the program name. nullopt with *error set when
// they make no sense; Mode::Help for --help.
std::optional<ConvertRequest> parseConvertArguments(const QStringList &args, QString *error);

QString convertUsage();

// Runs a parsed request. Progress goes to `err` as a bar when `terminal` is
// set; results and the summary go to `out`. Returns the process exit status:
// 0 all done, 1 some input failed, 2 bad usage.
int runConvert(const ConvertRequest &request, QTextStream &out, QTextStream &err, bool terminal);

} // namespace lumora
