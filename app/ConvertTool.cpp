#include "app/ConvertTool.h"

#include "app/ConvertJobs.h"
#include "imaging/Codec.h"
#include "imaging/Decoder.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>

namespace lumora
{

using imaging::FormatCode;

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
               "  lumora-convert [--format FMT] [--overwrite] IN OUT\n"
               "  lumora-convert --format FMT --out-dir DIR [--jobs N] [--overwrite] [--quiet] "
               "IN...\n"
               "  lumora-convert --identify FILE...\n"
               "\n"
               "Converts images with the same decoders and writers as the Lumora viewer.\n"
               "\n"
               "  IN OUT              convert one file; the format is taken from OUT's extension\n"
               "                      unless --format names it\n"
               "  --format FMT, -f    output format, one of:\n"
               "                      %1\n"
               "  --out-dir DIR, -o   convert every IN into DIR (made when missing), each output\n"
               "                      named after its input with the format's extension; uses\n"
               "                      every core, shows a progress bar on a terminal and a\n"
               "                      summary at the end\n"
               "  --jobs N, -j        at most N files at once (default: one per core)\n"
               "  --overwrite         replace outputs that exist (default: refuse and report)\n"
               "  --quiet, -q         no progress bar and no summary\n"
               "  --identify          one line per file: the format found by content,\n"
               "                      width x height, bits per pixel and pages\n"
               "  --help, -h          this text\n"
               "\n"
               "Inputs are read by content, whatever their names say, in these formats:\n"
               "                      %2\n"
               "The first page of a multi-page file is converted. Outputs are written to a\n"
               "temporary file and renamed, so an existing file is never left half written.\n"
               "\n"
               "A damaged file (cut short, partly corrupt) is converted as far as it can be read\n"
               "and named in a warning on standard error.\n"
               "\n"
               "Exit status: 0 when every file was converted intact, 1 when any failed (each\n"
               "failure is named on standard error), 2 for a usage error, 3 when every file was\n"
               "converted but at least one was damaged.\n")
        .arg(formatList(true), formatList(false));
}

std::optional<ConvertRequest> parseConvertArguments(const QStringList &args, QString *error)
{
    ConvertRequest req;
    bool identify = false;
    QString formatText;
    QStringList positional;
    bool optionsEnded = false;
    auto needValue = [&](qsizetype &i, const QString &opt) -> std::optional<QString> {
        if (i + 1 >= args.size()) {
            *error = QStringLiteral("%1 needs a value").arg(opt);
            return std::nullopt;
        }
        return args[++i];
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            positional << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            req.mode = ConvertRequest::Mode::Help;
            return req;
        } else if (a == QLatin1String("--format") || a == QLatin1String("-f")) {
            auto v = needValue(i, a);
            if (!v)
                return std::nullopt;
            formatText = *v;
        } else if (a.startsWith(QLatin1String("--format="))) {
            formatText = a.mid(9);
        } else if (a == QLatin1String("--out-dir") || a == QLatin1String("-o")) {
            auto v = needValue(i, a);
            if (!v)
                return std::nullopt;
            req.outDir = *v;
        } else if (a.startsWith(QLatin1String("--out-dir="))) {
            req.outDir = a.mid(10);
        } else if (a == QLatin1String("--jobs") || a == QLatin1String("-j")) {
            auto v = needValue(i, a);
            if (!v)
                return std::nullopt;
            bool ok = false;
            req.jobs = v->toInt(&ok);
            if (!ok || req.jobs < 1) {
                *error = QStringLiteral("--jobs needs a whole number of at least 1");
                return std::nullopt;
            }
        } else if (a == QLatin1String("--overwrite")) {
            req.overwrite = true;
        } else if (a == QLatin1String("--quiet") || a == QLatin1String("-q")) {
            req.quiet = true;
        } else if (a == QLatin1String("--identify")) {
            identify = true;
        } else {
            *error = QStringLiteral("unknown option %1").arg(a);
            return std::nullopt;
        }
    }
    if (!formatText.isEmpty()) {
        req.format = convertFormatFromName(formatText);
        if (!req.format) {
            *error = QStringLiteral("cannot write the format \"%1\"").arg(formatText);
            return std::nullopt;
        }
    }
    if (identify) {
        if (positional.isEmpty()) {
            *error = QStringLiteral("--identify needs at least one file");
            return std::nullopt;
        }
        req.mode = ConvertRequest::Mode::Identify;
        req.inputs = positional;
        return req;
    }
    if (!req.outDir.isEmpty()) {
        if (!req.format) {
            *error = QStringLiteral("--out-dir needs --format");
            return std::nullopt;
        }
        if (positional.isEmpty()) {
            *error = QStringLiteral("no input files");
            return std::nullopt;
        }
        req.mode = ConvertRequest::Mode::Batch;
        req.inputs = positional;
        return req;
    }
    if (positional.size() != 2) {
        *error = positional.size() < 2
                     ? QStringLiteral("give an input and an output file, or --out-dir")
                     : QStringLiteral("more than one input needs --out-dir");
        return std::nullopt;
    }
    if (!req.format) {
        req.format = convertFormatFromName(QFileInfo(positional[1]).suffix());
        if (!req.format) {
            *error = QStringLiteral("cannot tell the output format from \"%1\"; use --format")
                         .arg(positional[1]);
            return std::nullopt;
        }
    }
    req.mode = ConvertRequest::Mode::Single;
    req.inputs = {positional[0]};
    req.output = positional[1];
    return req;
}

namespace
{

// Exit status 3: nothing failed, but something was read from a damaged file.
constexpr int kDamagedStatus = 3;

void warnDamaged(QTextStream &err, const QString &file, const QString &damage)
{
    err << "lumora-convert: warning: " << file << ": damaged file: " << damage
        << "; converted what could be read\n";
}

int identify(const QStringList &files, QTextStream &out, QTextStream &err)
{
    int failed = 0;
    int damaged = 0;
    for (const QString &file : files) {
        const imaging::DecodedImage d = imaging::decodeFile(file);
        if (!d.ok()) {
            err << "lumora-convert: " << file << ": " << d.error << '\n';
            ++failed;
            continue;
        }
        if (d.damaged()) {
            err << "lumora-convert: warning: " << file << ": damaged file: " << d.damage << '\n';
            ++damaged;
        }
        const qsizetype pages = d.pages.size();
        out << file << ' ' << QString::fromLatin1(imaging::formatShortName(d.format)).toUpper()
            << ' ' << d.originalSize.width() << 'x' << d.originalSize.height() << ' '
            << d.bitsPerPixel << "-bit " << pages << (pages == 1 ? " page" : " pages") << '\n';
    }
    out.flush();
    err.flush();
    return failed ? 1 : damaged ? kDamagedStatus : 0;
}

QList<ConvertJob> batchJobs(const ConvertRequest &req, QStringList *clashes)
{
    const QString ext = QString::fromLatin1(imaging::formatShortName(*req.format));
    const QDir dir(req.outDir);
    QList<ConvertJob> jobs;
    QSet<QString> taken;
    for (const QString &in : req.inputs) {
        const QString out = dir.filePath(QFileInfo(in).completeBaseName() + QLatin1Char('.') + ext);
        // Two inputs that would write one output: the second must not replace
        // the first, even with --overwrite.
        if (taken.contains(out)) {
            clashes->append(in);
            continue;
        }
        taken.insert(out);
        jobs.append({in, out});
    }
    return jobs;
}

} // namespace

int runConvert(const ConvertRequest &req, QTextStream &out, QTextStream &err, bool terminal)
{
    switch (req.mode) {
    case ConvertRequest::Mode::Help:
        out << convertUsage();
        out.flush();
        return 0;
    case ConvertRequest::Mode::Identify:
        return identify(req.inputs, out, err);
    case ConvertRequest::Mode::Single: {
        const ConvertOutcome r =
            convertOne({req.inputs[0], req.output}, *req.format, req.overwrite);
        if (!r.ok) {
            err << "lumora-convert: " << req.inputs[0] << ": " << r.message << '\n';
            err.flush();
            return 1;
        }
        if (!r.damage.isEmpty()) {
            warnDamaged(err, req.inputs[0], r.damage);
            err.flush();
            return kDamagedStatus;
        }
        return 0;
    }
    case ConvertRequest::Mode::Batch:
        break;
    }

    if (!QDir().mkpath(req.outDir)) {
        err << "lumora-convert: cannot make the folder " << req.outDir << '\n';
        err.flush();
        return 1;
    }
    QStringList clashes;
    const QList<ConvertJob> jobs = batchJobs(req, &clashes);
    ProgressFn progress;
    if (terminal && !req.quiet)
        progress = [&err](int done, int total) {
            const int width = 30;
            const int filled = total ? done * width / total : width;
            err << '\r' << '[' << QString(filled, QLatin1Char('#'))
                << QString(width - filled, QLatin1Char(' ')) << "] " << done << '/' << total;
            err.flush();
        };
    const QList<ConvertOutcome> results =
        runConvertJobs(jobs, *req.format, req.overwrite, req.jobs, progress);
    if (progress)
        err << '\n';
    int failed = 0;
    int damaged = 0;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        if (results[i].ok) {
            if (!results[i].damage.isEmpty()) {
                ++damaged;
                warnDamaged(err, jobs[i].input, results[i].damage);
            }
            continue;
        }
        ++failed;
        err << "lumora-convert: " << jobs[i].input << ": " << results[i].message << '\n';
    }
    for (const QString &in : clashes) {
        ++failed;
        err << "lumora-convert: " << in
            << ": another input already writes the same output name; not converted\n";
    }
    const qsizetype total = req.inputs.size();
    if (!req.quiet) {
        out << "Converted " << (total - failed) << " of " << total << " files";
        if (damaged)
            out << ", " << damaged << " damaged";
        if (failed)
            out << ", " << failed << " failed";
        out << ".\n";
    }
    out.flush();
    err.flush();
    return failed ? 1 : damaged ? kDamagedStatus : 0;
}

} // namespace lumora
