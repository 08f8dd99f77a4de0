#pragma once

#include "app/ConvertJobs.h"
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
    enum class Mode { Help, Version, ListFormats, Single, Batch, Identify };
    Mode mode = Mode::Help;
    QStringList inputs; // paths in platform::pathFromBytes form, or "-"
    QString output;     // single mode: the output file, or "-"
    QString outDir;     // batch mode: the folder receiving the outputs
    std::optional<imaging::FormatCode> format;
    bool overwrite = false;
    bool skipExisting = false;
    bool quiet = false;
    bool recursive = false; // folders among the inputs: their images, tree kept
    bool strip = false;
    int jobs = 0;    // 0: one per core
    int quality = 0; // 0: the writer's default
    int page = 0;    // 1-based; 0: the first
    std::optional<ResizeRule> resize;
    int inputFd = 0; // what "-" reads and writes (tests give others)
    int outputFd = 1;
};

// The output format named by an extension or a --format value ("jpg", "jpeg",
// "tif", "tiff", ... case-insensitive); nullopt for any other text.
std::optional<imaging::FormatCode> convertFormatFromName(const QString &name);

// Parses the arguments after the program name. nullopt with *error set when
// they make no sense; Mode::Help for --help.
std::optional<ConvertRequest> parseConvertArguments(const QStringList &args, QString *error);

QString convertUsage();

// --resize's value: "N" (long side), "WxH", "Wx", "xH", with "!" for that
// exact size or ">" (shrink only, the default anyway); nullopt for others.
std::optional<ResizeRule> parseResize(const QString &text);

// One line per format of the table: its name, whether it is read and
// written, and the extensions it is known by.
QString formatTableText();

// Runs a parsed request. Progress goes to `err` as a bar when `terminal` is
// set; results and the summary go to `out`. Returns the process exit status:
// 0 all done, 1 some input failed, 2 bad usage.
int runConvert(const ConvertRequest &request, QTextStream &out, QTextStream &err, bool terminal);

} // namespace lumora
