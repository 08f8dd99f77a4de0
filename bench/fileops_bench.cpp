// Copy and move through the file-operation service against cp and mv of the
// same files in the same run: 1,000 photos and one large file, within one
// file system (the work folder) and across two (work folder → /dev/shm).
//
//   lumora-fileopsbench [--photos N] [--big-mb MB] [--work DIR] [--other DIR] [--from PHOTODIR]
//
// The photos are files of 2-5 MB (the size of a 12-megapixel JPEG) filled
// with incompressible bytes, or copies of the JPEGs in PHOTODIR. Our copy
// has every file on the medium before it gets its name, which cp does not;
// the "cp+sync" and "mv+sync" references add one sync of the target file
// system to the tool so both are compared at the same durability too. Goals:
// a copy at most 1.2x cp+sync and 2.0x cp, a move across file systems (with
// its read-back from the medium) at most 1.6x mv+sync.
//
//   lumora-fileopsbench ... [--rounds N]   medians of N rounds (default 3)
#include "platform/FileOperations.h"
#include "platform/linux/LinuxFileOperations.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

using namespace lumora::platform;

namespace
{

double runTool(const QString &program, const QStringList &args)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     p.readAllStandardError().constData());
    return t.elapsed() / 1000.0;
}

double syncFs(const QString &dir)
{
    return runTool(QStringLiteral("sync"), {QStringLiteral("-f"), dir});
}

double ours(FileOperations &ops, int opType, const QStringList &sources, const QString &dest)
{
    SilentFileOpQuestions q;
    QElapsedTimer t;
    t.start();
    FileOpResult r;
    if (ops.perform(FileOpRequest::forOperation(opType, sources, dest), q, &r) != 0)
        std::fprintf(stderr, "service failed: %s\n", qPrintable(r.message));
    return t.elapsed() / 1000.0;
}

QStringList listIn(const QString &dir)
{
    QStringList out;
    for (const QString &n : QDir(dir).entryList(QDir::Files, QDir::Name))
        out << dir + QLatin1Char('/') + n;
    return out;
}

void writeRandom(const QString &path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return;
    QByteArray block(1 << 20, Qt::Uninitialized);
    auto *words = reinterpret_cast<quint32 *>(block.data());
    for (qint64 done = 0; done < size;) {
        QRandomGenerator::global()->fillRange(words, block.size() / 4);
        const qint64 n = qMin<qint64>(block.size(), size - done);
        f.write(block.constData(), n);
        done += n;
    }
}

void warm(const QStringList &files)
{
    for (const QString &p : files) {
        QFile f(p);
        if (f.open(QIODevice::ReadOnly))
            while (!f.read(8 << 20).isEmpty()) {
            }
    }
}

void row(const char *what, double mine, double ref, double refSync)
{
    std::printf("%-34s ours %8.2f s   cp/mv %8.2f s   ratio %5.2f", what, mine, ref,
                ref > 0 ? mine / ref : 0.0);
    if (refSync >= 0)
        std::printf("   +sync %8.2f s   ratio %5.2f", refSync, refSync > 0 ? mine / refSync : 0.0);
    std::printf("\n");
    std::fflush(stdout);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Medians over the rounds of one comparison.
struct Times {
    std::vector<double> mine, ref, refSync;
    void print(const QString &what) const
    {
        row(what.toUtf8().constData(), median(mine), median(ref),
            refSync.empty() ? -1 : median(refSync));
    }
};

// One workload: copy within, copy across, move within, move across; each
// against the tool on a twin of the same files. Every timing starts with
// both file systems flushed, so neither side pays for what the other (or
// the making of the sources) left to write; the two sides take turns at
// going first, and the medians of the rounds are printed.
void workload(const char *label, const QStringList &files, const QString &work,
              const QString &other, int rounds)
{
    FileOperations &ops = *createFileOperations().release();
    const QString src = work + QStringLiteral("/src");
    QStringList srcFiles;
    for (const QString &f : files)
        srcFiles << src + QLatin1Char('/') + QFileInfo(f).fileName();
    auto settle = [&] {
        syncFs(work);
        syncFs(other);
        warm(srcFiles);
    };

    for (bool across : {false, true}) {
        const QString base = across ? other : work;
        const QString mineDir = base + QStringLiteral("/copy-ours");
        const QString refDir = base + QStringLiteral("/copy-ref");
        const QString mineMoved = base + QStringLiteral("/moved-ours");
        const QString refMoved = base + QStringLiteral("/moved-ref");
        const QString xMine = other + QStringLiteral("/moved-across-ours");
        const QString xRef = other + QStringLiteral("/moved-across-ref");
        Times copy, moveWithin, moveAcross;
        for (int round = 0; round < rounds; ++round) {
            for (const QString &d : {mineDir, refDir, mineMoved, refMoved, xMine, xRef}) {
                QDir(d).removeRecursively();
                QDir().mkpath(d);
            }
            const bool refFirst = round % 2 == 0;
            for (int side = 0; side < 2; ++side) {
                settle();
                if ((side == 0) == refFirst) {
                    QStringList cpArgs = srcFiles;
                    cpArgs << refDir + QLatin1Char('/');
                    const double ref = runTool(QStringLiteral("cp"), cpArgs);
                    copy.ref.push_back(ref);
                    copy.refSync.push_back(ref + syncFs(refDir));
                } else {
                    copy.mine.push_back(ours(ops, 1, srcFiles, mineDir + QLatin1Char('/')));
                }
            }
            // Move the two copies on: within the same file system, and (for
            // the copies in the work folder) across to the other one.
            for (int side = 0; side < 2; ++side) {
                settle();
                if ((side == 0) == refFirst) {
                    QStringList mvArgs = listIn(refDir);
                    mvArgs << refMoved + QLatin1Char('/');
                    moveWithin.ref.push_back(runTool(QStringLiteral("mv"), mvArgs));
                } else {
                    moveWithin.mine.push_back(
                        ours(ops, 4, listIn(mineDir), mineMoved + QLatin1Char('/')));
                }
            }
            if (across)
                continue;
            for (int side = 0; side < 2; ++side) {
                settle();
                warm(listIn(refMoved) + listIn(mineMoved));
                if ((side == 0) == refFirst) {
                    QStringList xArgs = listIn(refMoved);
                    xArgs << xRef + QLatin1Char('/');
                    const double xr = runTool(QStringLiteral("mv"), xArgs);
                    moveAcross.ref.push_back(xr);
                    moveAcross.refSync.push_back(xr + syncFs(xRef));
                } else {
                    moveAcross.mine.push_back(
                        ours(ops, 4, listIn(mineMoved), xMine + QLatin1Char('/')));
                }
            }
        }
        copy.print(QStringLiteral("%1: copy %2").arg(label, across ? "across" : "within"));
        moveWithin.print(
            QStringLiteral("%1: move within %2").arg(label, across ? "/dev/shm" : "work"));
        if (!across)
            moveAcross.print(QStringLiteral("%1: move across").arg(label));
        for (const QString &d : {mineDir, refDir, mineMoved, refMoved, xMine, xRef})
            QDir(d).removeRecursively();
    }
    delete &ops;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int photos = 1000;
    qint64 bigMb = 2048;
    QString workBase = QDir::tempPath();
    QString otherBase = QStringLiteral("/dev/shm");
    QString from;
    int rounds = 3;
    const QStringList args = app.arguments();
    const char *usage =
        "usage: lumora-fileopsbench [--photos N] [--big-mb MB] [--work DIR] [--other DIR]\n"
        "                           [--from PHOTODIR] [--rounds N]\n"
        "Copies and moves N photos (default 1000) and one big file (default 2048 MB)\n"
        "through the file-operation service and through cp and mv, within DIR\n"
        "(default the temporary folder) and from there to a second file system (default\n"
        "/dev/shm), and prints each time and its ratio to the tool and to the tool\n"
        "followed by sync: the medians of N rounds (default 3), the two sides taking\n"
        "turns at going first.\n";
    for (int i = 1; i < args.size(); i += 2) {
        const QString &a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        const bool known = a == "--photos" || a == "--big-mb" || a == "--work" || a == "--other" ||
                           a == "--from" || a == "--rounds";
        if (!known || i + 1 >= args.size()) {
            std::fprintf(stderr, "lumora-fileopsbench: %s %s\n%s",
                         known ? "a value is missing after" : "unknown argument", qPrintable(a),
                         usage);
            return 2;
        }
        const QString &v = args[i + 1];
        if (a == "--photos")
            photos = v.toInt();
        else if (a == "--big-mb")
            bigMb = v.toLongLong();
        else if (a == "--work")
            workBase = v;
        else if (a == "--other")
            otherBase = v;
        else if (a == "--rounds")
            rounds = qMax(1, v.toInt());
        else
            from = v;
    }
    QTemporaryDir work(workBase + QStringLiteral("/lumora-fileopsbench-XXXXXX"));
    QTemporaryDir other(otherBase + QStringLiteral("/lumora-fileopsbench-XXXXXX"));
    struct stat a {
    }, b{};
    ::stat(QFile::encodeName(work.path()).constData(), &a);
    ::stat(QFile::encodeName(other.path()).constData(), &b);
    std::printf("work %s, other %s: %s\n", qPrintable(work.path()), qPrintable(other.path()),
                a.st_dev != b.st_dev ? "two file systems"
                                     : "THE SAME file system (across = within)");

    // Photos: a set of 2-5 MB files, or copies of real JPEGs.
    const QString photoSrc = work.path() + QStringLiteral("/src");
    QDir().mkpath(photoSrc);
    QStringList photoFiles;
    QStringList real = from.isEmpty() ? QStringList() : listIn(from);
    qint64 photoBytes = 0;
    for (int i = 0; i < photos; ++i) {
        const QString p =
            QStringLiteral("%1/IMG_%2.jpg").arg(photoSrc).arg(i, 4, 10, QLatin1Char('0'));
        if (!real.isEmpty())
            QFile::copy(real[i % real.size()], p);
        else
            writeRandom(p, 2000000 + qint64(QRandomGenerator::global()->bounded(3000000)));
        photoBytes += QFileInfo(p).size();
        photoFiles << p;
    }

    // Room for the big file: it exists three times at once on the other
    // file system (two copies and a move) and twice in the work folder.
    const qint64 freeOther = QStorageInfo(other.path()).bytesAvailable() - photoBytes * 3;
    const qint64 freeWork = QStorageInfo(work.path()).bytesAvailable() - photoBytes * 3;
    qint64 bigBytes = bigMb << 20;
    const qint64 room = qMin(freeOther / 3, freeWork / 3) - (256 << 20);
    if (bigBytes > room) {
        std::printf("big file sized down from %lld MB to %lld MB for lack of space\n", bigMb,
                    qMax<qint64>(room, 0) >> 20);
        bigBytes = qMax<qint64>(room, 0);
    }
    std::printf("%d photos, %.2f GB; big file %.2f GB\n", photos, photoBytes / 1e9, bigBytes / 1e9);
    std::fflush(stdout);

    workload(qPrintable(QStringLiteral("%1 photos").arg(photos)), photoFiles, work.path(),
             other.path(), rounds);
    // The big file replaces the photos as the source.
    QDir(photoSrc).removeRecursively();
    QDir().mkpath(photoSrc);
    const QString big = photoSrc + QStringLiteral("/big.tif");
    writeRandom(big, bigBytes);
    workload("one big file", {big}, work.path(), other.path(), rounds);
    return 0;
}
