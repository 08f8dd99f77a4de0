#include "app/ConvertTool.h"

#include "imaging/Codec.h"
#include "platform/FileOperations.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

// The converter's command line: its options, usage text and format list.
namespace lumora
{

using imaging::FormatCode;
using platform::displayPath;

std::optional<FormatCode> convertFormatFromName(const QString &name)
{
    const imaging::FormatSpec *row = imaging::formatNamed(name);
    if (!row || !row->encode)
        return std::nullopt;
    return row->code;
}

namespace
{

// "jpg (jpeg), png, ...": the names of the formats written (or read), wrapped
// for the help text.
QString formatList(bool writtenOnly)
{
    QStringList items;
    for (const imaging::FormatSpec &row : imaging::formatTable()) {
        if (writtenOnly && !row.encode)
            continue;
        QStringList names = QString::fromLatin1(row.names).split(QLatin1Char(' '));
        QString item = names.takeFirst();
        if (!names.isEmpty())
            item += QStringLiteral(" (%1)").arg(names.join(QStringLiteral(", ")));
        items << item;
    }
    QString text;
    int column = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString piece = items[i] + (i + 1 < items.size() ? QStringLiteral(", ") : QString());
        if (column + piece.trimmed().size() > 58) {
            text = text.trimmed() + QStringLiteral("\n                      ");
            column = 0;
        }
        text += piece;
        column += int(piece.size());
    }
    return text;
}

} // namespace

QString convertUsage()
{
    return QStringLiteral(
               "Usage:\n"
               "  lumora-convert [OPTIONS] IN OUT\n"
               "  lumora-convert [OPTIONS] --format FMT --out-dir DIR [--recursive] IN...\n"
               "  lumora-convert --identify FILE...\n"
               "  lumora-convert --list-formats | --version | --help\n"
               "\n"
               "Converts images with the same decoders and writers as the Lumora viewer.\n"
               "\n"
               "  IN OUT              convert one file; the format is taken from OUT's extension\n"
               "                      unless --format names it. \"-\" for IN reads standard\n"
               "                      input, for OUT writes standard output (give --format)\n"
               "  --format FMT, -f    output format, one of:\n"
               "                      %1\n"
               "  --out-dir DIR, -o   convert every IN into DIR (made when missing), each output\n"
               "                      named after its input with the format's extension; uses\n"
               "                      every core, shows a progress bar on a terminal and a\n"
               "                      summary at the end\n"
               "  --recursive, -r     a folder among the INs gives every image under it (by\n"
               "                      extension, hidden files left out), its tree mirrored\n"
               "                      under DIR\n"
               "  --quality N         JPEG quality 1-100 (default 90); a lossless format\n"
               "                      ignores it\n"
               "  --resize GEOMETRY   N: the long side at most N pixels; WxH: fit within W by H,\n"
               "                      aspect kept (Wx or xH bound one side); pictures are only\n"
               "                      made smaller unless --enlarge is given; WxH! gives\n"
               "                      exactly W by H, aspect ignored, larger or smaller\n"
               "  --enlarge           let --resize make small pictures larger too\n"
               "  --strip             write no metadata: no EXIF (GPS included), XMP, IPTC,\n"
               "                      comments or text; the colour profile stays\n"
               "  --page N            convert page N (from 1) of a multi-page file (TIFF pages,\n"
               "                      icon sizes, GIF frames); default the first\n"
               "  --jobs N, -j        at most N files at once (default: one per core)\n"
               "  --overwrite         replace outputs that exist (default: refuse and report)\n"
               "  --skip-existing     leave outputs that exist alone and do not count them as\n"
               "                      failures: reruns an interrupted batch where it stopped\n"
               "  --quiet, -q         no progress bar and no summary\n"
               "  --identify          one line per file: the format found by content,\n"
               "                      width x height, bits per pixel and pages\n"
               "  --list-formats      every format with whether it is read and written\n"
               "  --version           the program's version\n"
               "  --help, -h          this text\n"
               "\n"
               "Inputs are read by content, whatever their names say, in these formats:\n"
               "                      %2\n"
               "A JPEG written from a JPEG keeps its EXIF (orientation reset to normal, with\n"
               "an upright thumbnail), XMP, IPTC and comments. Outputs are written to a\n"
               "temporary file and only then given their name, so a name never holds a half\n"
               "written file, even after a crash or kill.\n"
               "\n"
               "A damaged file (cut short, partly corrupt) is converted as far as it can be read\n"
               "and named in a warning on standard error.\n"
               "\n"
               "Exit status: 0 when every file was converted intact, 1 when any failed (each\n"
               "failure is named on standard error), 2 for a usage error, 3 when every file was\n"
               "converted but at least one was damaged.\n")
        .arg(formatList(true), formatList(false));
}

std::optional<ResizeRule> parseResize(const QString &text)
{
    static const QRegularExpression box(QStringLiteral("^(?:(\\d+)|(\\d*)[xX](\\d*))([!>]?)$"));
    const QRegularExpressionMatch m = box.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    ResizeRule rule;
    auto number = [](const QString &digits) {
        bool ok = false;
        const int v = digits.toInt(&ok);
        return ok && v > 0 && v <= 1 << 20 ? v : -1;
    };
    if (!m.captured(1).isEmpty()) {
        const int n = number(m.captured(1));
        if (n < 0)
            return std::nullopt;
        rule.longSide = true;
        rule.box = QSize(n, n);
    } else {
        const QString w = m.captured(2), h = m.captured(3);
        if (w.isEmpty() && h.isEmpty())
            return std::nullopt;
        const int wv = w.isEmpty() ? 0 : number(w);
        const int hv = h.isEmpty() ? 0 : number(h);
        if (wv < 0 || hv < 0)
            return std::nullopt;
        rule.box = QSize(wv, hv);
    }
    rule.exact = m.captured(4) == QLatin1String("!");
    return rule;
}

QString formatTableText()
{
    QString text = QStringLiteral("%1 %2 %3 %4\n")
                       .arg(QStringLiteral("FORMAT"), -7)
                       .arg(QStringLiteral("READ"), -5)
                       .arg(QStringLiteral("WRITE"), -6)
                       .arg(QStringLiteral("NAMES"));
    for (const imaging::FormatSpec &row : imaging::formatTable()) {
        const QString names =
            row.names ? QString::fromLatin1(row.names) : QString::fromLatin1(row.shortName);
        text += QStringLiteral("%1 %2 %3 %4\n")
                    .arg(QString::fromLatin1(row.shortName), -7)
                    .arg(row.decode ? QStringLiteral("yes") : QStringLiteral("no"), -5)
                    .arg(row.encode ? QStringLiteral("yes") : QStringLiteral("no"), -6)
                    .arg(names);
    }
    return text;
}

std::optional<ConvertRequest> parseConvertArguments(const QStringList &args, QString *error)
{
    ConvertRequest req;
    bool identify = false;
    bool enlarge = false;
    QString formatText;
    QStringList positional;
    bool optionsEnded = false;
    auto fail = [error](const QString &message) {
        *error = message;
        return std::nullopt;
    };
    auto wholeNumber = [](const QString &v, int low, int high) -> std::optional<int> {
        bool ok = false;
        const int n = v.toInt(&ok);
        if (!ok || n < low || n > high)
            return std::nullopt;
        return n;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            positional << arg;
            continue;
        }
        // "--name=value" and "--name value" alike.
        QString a = arg;
        std::optional<QString> inlineValue;
        if (a.startsWith(QLatin1String("--")) && a.contains(QLatin1Char('='))) {
            inlineValue = a.mid(a.indexOf(QLatin1Char('=')) + 1);
            a = a.left(a.indexOf(QLatin1Char('=')));
        }
        auto value = [&]() -> std::optional<QString> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        auto takesValue = [&](std::initializer_list<const char *> names) {
            return std::any_of(names.begin(), names.end(),
                               [&](const char *n) { return a == QLatin1String(n); });
        };
        if (takesValue({"--format", "-f", "--out-dir", "-o", "--jobs", "-j", "--quality",
                        "--resize", "--page"})) {
            const std::optional<QString> v = value();
            if (!v)
                return fail(QStringLiteral("%1 needs a value").arg(a));
            if (a == QLatin1String("--format") || a == QLatin1String("-f")) {
                formatText = *v;
            } else if (a == QLatin1String("--out-dir") || a == QLatin1String("-o")) {
                req.outDir = *v;
            } else if (a == QLatin1String("--jobs") || a == QLatin1String("-j")) {
                const auto n = wholeNumber(*v, 1, 4096);
                if (!n)
                    return fail(QStringLiteral("--jobs needs a whole number of at least 1"));
                req.jobs = *n;
            } else if (a == QLatin1String("--quality")) {
                const auto n = wholeNumber(*v, 1, 100);
                if (!n)
                    return fail(QStringLiteral("--quality needs a whole number from 1 to 100"));
                req.quality = *n;
            } else if (a == QLatin1String("--page")) {
                const auto n = wholeNumber(*v, 1, 1 << 20);
                if (!n)
                    return fail(QStringLiteral("--page needs a page number, from 1"));
                req.page = *n;
            } else {
                req.resize = parseResize(*v);
                if (!req.resize)
                    return fail(QStringLiteral("--resize needs N, WxH, Wx or xH (with ! for an "
                                               "exact size), not \"%1\"")
                                    .arg(*v));
            }
            continue;
        }
        if (inlineValue)
            return fail(QStringLiteral("%1 takes no value").arg(a));
        if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            req.mode = ConvertRequest::Mode::Help;
            return req;
        } else if (a == QLatin1String("--version")) {
            req.mode = ConvertRequest::Mode::Version;
            return req;
        } else if (a == QLatin1String("--list-formats")) {
            req.mode = ConvertRequest::Mode::ListFormats;
            return req;
        } else if (a == QLatin1String("--overwrite")) {
            req.overwrite = true;
        } else if (a == QLatin1String("--skip-existing")) {
            req.skipExisting = true;
        } else if (a == QLatin1String("--quiet") || a == QLatin1String("-q")) {
            req.quiet = true;
        } else if (a == QLatin1String("--recursive") || a == QLatin1String("-r")) {
            req.recursive = true;
        } else if (a == QLatin1String("--strip")) {
            req.strip = true;
        } else if (a == QLatin1String("--enlarge")) {
            enlarge = true;
        } else if (a == QLatin1String("--identify")) {
            identify = true;
        } else {
            return fail(QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (enlarge) {
        if (!req.resize)
            return fail(QStringLiteral("--enlarge needs --resize"));
        req.resize->enlarge = true;
    }
    if (req.overwrite && req.skipExisting)
        return fail(QStringLiteral("--overwrite and --skip-existing exclude each other"));
    if (!formatText.isEmpty()) {
        req.format = convertFormatFromName(formatText);
        if (!req.format)
            return fail(QStringLiteral("cannot write the format \"%1\"").arg(formatText));
    }
    if (identify) {
        if (positional.isEmpty())
            return fail(QStringLiteral("--identify needs at least one file"));
        req.mode = ConvertRequest::Mode::Identify;
        req.inputs = positional;
        return req;
    }
    if (!req.outDir.isEmpty()) {
        if (!req.format)
            return fail(QStringLiteral("--out-dir needs --format"));
        if (positional.isEmpty())
            return fail(QStringLiteral("no input files"));
        if (positional.contains(QLatin1String(kStandardStream)))
            return fail(QStringLiteral("standard input (-) is converted alone: IN OUT, not with "
                                       "--out-dir"));
        req.mode = ConvertRequest::Mode::Batch;
        req.inputs = positional;
        return req;
    }
    if (req.recursive)
        return fail(QStringLiteral("--recursive needs --out-dir"));
    if (positional.size() != 2)
        return fail(positional.size() < 2
                        ? QStringLiteral("give an input and an output file, or --out-dir")
                        : QStringLiteral("more than one input needs --out-dir"));
    if (!req.format) {
        if (positional[1] == QLatin1String(kStandardStream))
            return fail(QStringLiteral("writing to standard output (-) needs --format"));
        req.format = convertFormatFromName(QFileInfo(positional[1]).suffix());
        if (!req.format)
            return fail(QStringLiteral("cannot tell the output format from \"%1\"; use --format")
                            .arg(displayPath(positional[1])));
    }
    req.mode = ConvertRequest::Mode::Single;
    req.inputs = {positional[0]};
    req.output = positional[1];
    return req;
}

} // namespace lumora
