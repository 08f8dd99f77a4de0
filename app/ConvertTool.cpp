#include "app/ConvertTool.h"

#include "app/ConvertJobs.h"
#include "app/ConvertToolTree.h"
#include "imaging/Codec.h"
#include "imaging/Decoder.h"
#include "platform/FileOperations.h"

#include <QCoreApplication>
#include <QSet>
#include <QTextStream>

namespace lumora
{

using imaging::FormatCode;
using platform::displayPath;
using platform::pathBytes;

namespace
{

// Exit status 3: nothing failed, but something was read from a damaged file.
constexpr int kDamagedStatus = 3;

QString shown(const QString &path)
{
    return path == QLatin1String(kStandardStream) ? QStringLiteral("(standard input)")
                                                  : displayPath(path);
}

void warnDamaged(QTextStream &err, const QString &file, const QString &damage)
{
    err << "lumora-convert: warning: " << shown(file) << ": damaged file: " << damage
        << "; converted what could be read\n";
}

void tellNote(QTextStream &err, const QString &file, const QString &note)
{
    if (!note.isEmpty())
        err << "lumora-convert: note: " << shown(file) << ": " << note << '\n';
}

int identify(const ConvertRequest &req, QTextStream &out, QTextStream &err)
{
    int failed = 0;
    int damaged = 0;
    for (const QString &file : req.inputs) {
        const imaging::DecodedImage d = decodeInput(file, req.inputFd);
        if (!d.ok()) {
            err << "lumora-convert: " << shown(file) << ": " << d.error << '\n';
            ++failed;
            continue;
        }
        if (d.damaged()) {
            err << "lumora-convert: warning: " << shown(file) << ": damaged file: " << d.damage
                << '\n';
            ++damaged;
        }
        const qsizetype pages = d.pages.size();
        out << shown(file) << ' '
            << QString::fromLatin1(imaging::formatShortName(d.format)).toUpper() << ' '
            << d.originalSize.width() << 'x' << d.originalSize.height() << ' ' << d.bitsPerPixel
            << "-bit " << pages << (pages == 1 ? " page" : " pages") << '\n';
    }
    out.flush();
    err.flush();
    return failed ? 1 : damaged ? kDamagedStatus : 0;
}

} // namespace

int runConvert(const ConvertRequest &req, QTextStream &out, QTextStream &err, bool terminal)
{
    ConvertSettings settings;
    settings.format = req.format.value_or(FormatCode::Unknown);
    settings.overwrite = req.overwrite;
    settings.skipExisting = req.skipExisting;
    settings.quality = req.quality;
    settings.resize = req.resize;
    settings.strip = req.strip;
    settings.page = req.page;
    settings.inputFd = req.inputFd;
    settings.outputFd = req.outputFd;

    switch (req.mode) {
    case ConvertRequest::Mode::Help:
        out << convertUsage();
        out.flush();
        return 0;
    case ConvertRequest::Mode::Version: {
        QString version = QCoreApplication::applicationVersion();
        if (version.isEmpty())
            version = QStringLiteral("%1.%2").arg(LUMORA_VERSION_MAJOR).arg(LUMORA_VERSION_MINOR);
        out << "lumora-convert " << version << " (Qt " << qVersion() << ")\n";
        out.flush();
        return 0;
    }
    case ConvertRequest::Mode::ListFormats:
        out << formatTableText();
        out.flush();
        return 0;
    case ConvertRequest::Mode::Identify:
        return identify(req, out, err);
    case ConvertRequest::Mode::Single: {
        const ConvertOutcome r = convertOne({req.inputs[0], req.output}, settings);
        if (!r.ok) {
            err << "lumora-convert: " << shown(req.inputs[0]) << ": " << r.message << '\n';
            err.flush();
            return 1;
        }
        if (r.skipped && !req.quiet)
            err << "lumora-convert: " << displayPath(req.output)
                << " is there already; left as it is\n";
        tellNote(err, req.inputs[0], r.note);
        if (!r.damage.isEmpty()) {
            warnDamaged(err, req.inputs[0], r.damage);
            err.flush();
            return kDamagedStatus;
        }
        err.flush();
        return 0;
    }
    case ConvertRequest::Mode::Batch:
        break;
    }

    const BatchInputs inputs = collectBatchInputs(req.inputs, req.recursive, req.outDir);
    const QString ext = QString::fromLatin1(imaging::formatShortName(settings.format));
    QString outRoot = req.outDir;
    while (outRoot.size() > 1 && outRoot.endsWith(QLatin1Char('/')))
        outRoot.chop(1);
    QList<ConvertJob> jobs;
    QSet<QString> taken;
    QSet<QString> folders;
    QStringList clashes;
    for (const BatchInput &in : inputs.files) {
        const QString folder =
            in.folder.isEmpty() ? outRoot : outRoot + QLatin1Char('/') + in.folder;
        const QString output =
            folder + QLatin1Char('/') + outputBaseName(in.path) + QLatin1Char('.') + ext;
        // Two inputs that would write one output: the second must not replace
        // the first, even with --overwrite.
        if (taken.contains(output)) {
            clashes << in.path;
            continue;
        }
        taken.insert(output);
        folders.insert(folder);
        jobs.append({in.path, output});
    }
    QString folderError;
    if (!makeFolders(pathBytes(outRoot), &folderError)) {
        err << "lumora-convert: " << folderError << '\n';
        err.flush();
        return 1;
    }
    for (const QString &folder : std::as_const(folders)) {
        if (!makeFolders(pathBytes(folder), &folderError)) {
            err << "lumora-convert: " << folderError << '\n';
            err.flush();
            return 1;
        }
    }

    ProgressFn progress;
    if (terminal && !req.quiet)
        progress = [&err](int done, int total) {
            const int width = 30;
            const int filled = total ? done * width / total : width;
            err << '\r' << '[' << QString(filled, QLatin1Char('#'))
                << QString(width - filled, QLatin1Char(' ')) << "] " << done << '/' << total;
            err.flush();
        };
    const QList<ConvertOutcome> results = runConvertJobs(jobs, settings, req.jobs, progress);
    if (progress) {
        // The bar's line is ended before anything else is printed, on either stream.
        err << '\n';
        err.flush();
    }
    int failed = 0;
    int damaged = 0;
    int skipped = 0;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const ConvertOutcome &r = results[i];
        if (r.ok) {
            skipped += r.skipped ? 1 : 0;
            tellNote(err, jobs[i].input, r.note);
            if (!r.damage.isEmpty()) {
                ++damaged;
                warnDamaged(err, jobs[i].input, r.damage);
            }
            continue;
        }
        ++failed;
        err << "lumora-convert: " << shown(jobs[i].input) << ": " << r.message << '\n';
    }
    for (const QString &in : std::as_const(clashes)) {
        ++failed;
        err << "lumora-convert: " << shown(in)
            << ": another input already writes the same output name; not converted\n";
    }
    for (const QString &why : inputs.problems) {
        ++failed;
        err << "lumora-convert: " << why << '\n';
    }
    err.flush();
    const qsizetype total = jobs.size() + clashes.size() + inputs.problems.size();
    if (!req.quiet) {
        out << "Converted " << (total - failed - skipped) << " of " << total << " files";
        if (skipped)
            out << ", " << skipped << " already there";
        if (damaged)
            out << ", " << damaged << " damaged";
        if (failed)
            out << ", " << failed << " failed";
        out << ".\n";
    }
    out.flush();
    return failed ? 1 : damaged ? kDamagedStatus : 0;
}

} // namespace lumora
