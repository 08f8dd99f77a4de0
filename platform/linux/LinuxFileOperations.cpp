#include "platform/linux/LinuxFileOperations.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>

namespace lumora::platform
{

std::unique_ptr<FileOperations> createFileOperations()
{
    return std::make_unique<LinuxFileOperations>();
}

PathFacts pathFacts(const QString &path)
{
    PathFacts out;
    struct stat st;
    SysIo io;
    if (io.lstat(pathBytes(path).constData(), &st) != 0)
        return out;
    out.exists = true;
    // A link to a folder is a folder to work in.
    struct stat target;
    out.isFolder = S_ISDIR(st.st_mode) ||
                   (S_ISLNK(st.st_mode) && io.stat(pathBytes(path).constData(), &target) == 0 &&
                    S_ISDIR(target.st_mode));
    out.size = st.st_size;
    out.modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return out;
}

int moveNoReplace(const QString &from, const QString &to)
{
    SysIo io;
    return io.renameNoReplace(pathBytes(from).constData(), pathBytes(to).constData()) == 0 ? 0
                                                                                           : errno;
}

int removeFile(const QString &path)
{
    SysIo io;
    return io.unlink(pathBytes(path).constData()) == 0 ? 0 : errno;
}

namespace
{

QString shown(const QByteArray &path)
{
    return displayPath(pathFromBytes(path));
}
QString shownName(const QByteArray &path)
{
    return shown(nameOf(path));
}
QString asPath(const QByteArray &path)
{
    return pathFromBytes(path);
}

QByteArray withoutTrailingSlashes(QByteArray p)
{
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    return p;
}

// "/a//b/" → "/a/b": a destination built from a root folder and a name
// carries a doubled separator.
QByteArray cleaned(const QByteArray &p)
{
    QByteArray out;
    out.reserve(p.size());
    for (char c : p) {
        if (c == '/' && out.endsWith('/'))
            continue;
        out += c;
    }
    return withoutTrailingSlashes(out);
}

} // namespace

struct LinuxFileOperations::Run {
    const FileOpRequest &request;
    FileOpQuestions &questions;
    SysIo &io;
    FileOpResult result;
    QString verb = {}; // "copy", "move", "rename", "delete"
    QString done = {}; // "copied", "moved", ...
    int fileCount = 0; // files in the request
    std::optional<FileOpQuestions::Collision> forAll = {};
    // Copies written but not named yet: their names are taken already.
    const Batch *pending = nullptr;
    // Finishes the copies already written before a failure is told, so the
    // message counts them.
    std::function<void()> settleFirst = {};

    void settleNow()
    {
        if (auto settle = std::exchange(settleFirst, nullptr))
            settle();
    }
    void fail(FileOpResult::Code code, const QString &message)
    {
        settleNow();
        result.code = code;
        result.message = message;
        if (!message.isEmpty())
            questions.showError(message);
    }
    void cancel() { result.code = FileOpResult::Cancelled; }
    bool ok() const { return result.code == FileOpResult::Ok; }

    // What the failure leaves behind, so nobody is told "nothing was changed"
    // after part of the work was done.
    QString tail()
    {
        settleNow();
        const qsizetype n = result.done.size();
        if (n == 0)
            return QStringLiteral("Nothing was changed.");
        return QStringLiteral("%1 of the %2 files had already been %3; the others are where "
                              "they were.")
            .arg(n)
            .arg(fileCount)
            .arg(done);
    }

    // Keep Both found no name of its own beside `taken`.
    void failFreeName(int err, const QByteArray &source, const QByteArray &taken)
    {
        const QString why = err == ENAMETOOLONG
                                ? QStringLiteral("the name is too long to add a number to it")
                            : err == EEXIST ? QStringLiteral("every numbered name is taken")
                                            : QString::fromLocal8Bit(std::strerror(err));
        fail(err == ENAMETOOLONG ? FileOpResult::BadName : FileOpResult::IoError,
             QStringLiteral("Cannot keep both \"%1\" and \"%2\": %3. Rename one of them first. %4")
                 .arg(shownName(source), shown(taken), why, tail()));
    }

    // A failed system call on one file, told in the user's terms. folder is
    // the folder that was being changed when it failed.
    void failIo(int err, const QByteArray &source, const QByteArray &folder, const char *step = "")
    {
        const QString name = shownName(source);
        const QString where = shown(folder);
        switch (err) {
        case ENOSPC:
        case EDQUOT:
            fail(FileOpResult::DiskFull,
                 QStringLiteral("The disk is full: there is not enough space in \"%1\" to %2 "
                                "\"%3\". %4")
                     .arg(where, verb, name, tail()));
            return;
        case EROFS:
            fail(FileOpResult::NotPermitted,
                 QStringLiteral("Cannot %1 \"%2\": the folder \"%3\" is on a read-only disk. %4")
                     .arg(verb, name, where, tail()));
            return;
        case EACCES:
        case EPERM:
            fail(FileOpResult::NotPermitted,
                 QStringLiteral("Cannot %1 \"%2\": you do not have permission to change the "
                                "folder \"%3\". %4")
                     .arg(verb, name, where, tail()));
            return;
        case ENAMETOOLONG:
            fail(FileOpResult::BadName,
                 QStringLiteral("Cannot %1 \"%2\": the name is too long for \"%3\". %4")
                     .arg(verb, name, where, tail()));
            return;
        default:
            break;
        }
        struct stat st;
        if (io.lstat(source.constData(), &st) != 0 && errno == ENOENT) {
            fail(FileOpResult::SourceMissing,
                 QStringLiteral(
                     "\"%1\" could not be found. It may have been moved, renamed or deleted. %2")
                     .arg(shown(source), tail()));
            return;
        }
        if (err == EIO && std::strcmp(step, "verify") == 0) {
            fail(FileOpResult::IoError,
                 QStringLiteral("Cannot %1 \"%2\": the copy in \"%3\" did not match the original. "
                                "The original was kept. %4")
                     .arg(verb, name, where, tail()));
            return;
        }
        fail(FileOpResult::IoError,
             QStringLiteral("Cannot %1 \"%2\" (in \"%3\"): %4. %5")
                 .arg(verb, name, where, QString::fromLocal8Bit(std::strerror(err)), tail()));
    }
};

LinuxFileOperations::LinuxFileOperations()
    : m_io(m_realIo), m_copier(m_io),
      m_trash(m_io, FreedesktopTrash::defaultHomeTrash(), ::getuid())
{
}

LinuxFileOperations::LinuxFileOperations(SysIo &io, QByteArray homeTrash)
    : m_io(io), m_copier(io), m_trash(io, std::move(homeTrash), ::getuid())
{
}

int LinuxFileOperations::perform(const FileOpRequest &request, FileOpQuestions &questions,
                                 FileOpResult *result)
{
    Run run{request, questions, m_io, {}};
    run.fileCount = int(request.sources.size());
    bool valid = !request.sources.isEmpty();
    for (const QString &s : request.sources)
        valid = valid && s.startsWith(QLatin1Char('/'));
    if (!valid) {
        run.fail(FileOpResult::BadRequest, QStringLiteral("No file was given to work on."));
    } else {
        switch (request.function) {
        case FileOpRequest::Copy:
            run.verb = QStringLiteral("copy");
            run.done = QStringLiteral("copied");
            copyOrMove(run, false);
            break;
        case FileOpRequest::Move:
            run.verb = QStringLiteral("move");
            run.done = QStringLiteral("moved");
            copyOrMove(run, true);
            break;
        case FileOpRequest::Rename:
            run.verb = QStringLiteral("rename");
            run.done = QStringLiteral("renamed");
            rename(run);
            break;
        case FileOpRequest::Delete: {
            const bool toTrash = request.flags & FileOpRequest::AllowUndo;
            run.verb = QStringLiteral("delete");
            run.done = toTrash ? QStringLiteral("moved to the Trash") : QStringLiteral("deleted");
            remove(run, toTrash);
            break;
        }
        default:
            run.fail(FileOpResult::BadRequest, QStringLiteral("This file operation is not known."));
            break;
        }
    }
    if (result)
        *result = run.result;
    return run.result.code;
}

bool LinuxFileOperations::checkSource(Run &run, const QByteArray &source, struct stat *st)
{
    if (m_io.lstat(source.constData(), st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            run.fail(
                FileOpResult::SourceMissing,
                QStringLiteral(
                    "\"%1\" could not be found. It may have been moved, renamed or deleted. %2")
                    .arg(shown(source), run.tail()));
        else
            run.failIo(errno, source, parentOf(source));
        return false;
    }
    if (S_ISDIR(st->st_mode)) {
        run.fail(FileOpResult::SourceIsFolder,
                 QStringLiteral("\"%1\" is a folder. Only files can be copied, moved, renamed or "
                                "deleted here. %2")
                     .arg(shown(source), run.tail()));
        return false;
    }
    if (!S_ISREG(st->st_mode) && !S_ISLNK(st->st_mode)) {
        run.fail(FileOpResult::BadRequest,
                 QStringLiteral("\"%1\" is not a regular file. %2").arg(shown(source), run.tail()));
        return false;
    }
    return true;
}

bool LinuxFileOperations::claims(const Batch *batch, const QByteArray &target)
{
    return batch && std::any_of(batch->begin(), batch->end(),
                                [&](const Pending &p) { return p.target == target; });
}

int LinuxFileOperations::freeName(const QByteArray &target, QByteArray *name, const Batch *claimed)
{
    const QByteArray folder = parentOf(target);
    const QByteArray base = nameOf(target);
    const qsizetype dot = base.lastIndexOf('.');
    const QByteArray stem = dot > 0 ? base.left(dot) : base;
    const QByteArray ext = dot > 0 ? base.mid(dot) : QByteArray();
    for (int n = 2; n < 10000; ++n) {
        const QByteArray candidate =
            joinPath(folder, stem + " (" + QByteArray::number(n) + ")" + ext);
        struct stat st;
        if (claims(claimed, candidate) || m_io.lstat(candidate.constData(), &st) == 0)
            continue;
        // Only "not there" makes a name free; any other answer (a name too
        // long, a folder gone, no permission) would come back on every
        // number, so the search ends here.
        if (errno != ENOENT)
            return errno;
        *name = candidate;
        return 0;
    }
    return EEXIST;
}

int LinuxFileOperations::copyLink(const QByteArray &source, const QByteArray &target,
                                  SafeFileCopy::Publish publish)
{
    char buf[4096];
    const ssize_t n = m_io.readlink(source.constData(), buf, sizeof buf - 1);
    if (n < 0)
        return errno;
    QByteArray link(buf, n);
    if (!link.startsWith('/')) {
        // A relative link names its target from its own folder; from the
        // new folder it would point elsewhere or nowhere. Where the original
        // resolves, the copy names that place in full.
        std::string real;
        struct stat here, there;
        const QByteArray from = joinPath(parentOf(source), link);
        const QByteArray fromNew = joinPath(parentOf(target), link);
        const bool sameThere = m_io.stat(from.constData(), &here) == 0 &&
                               m_io.stat(fromNew.constData(), &there) == 0 &&
                               here.st_dev == there.st_dev && here.st_ino == there.st_ino;
        if (!sameThere && m_io.realPath(from.constData(), &real) == 0)
            link = QByteArray::fromStdString(real);
    }
    if (publish == SafeFileCopy::Publish::NoReplace)
        return m_io.symlink(link.constData(), target.constData()) == 0 ? 0 : errno;
    const QByteArray temp = joinPath(parentOf(target), partName(nameOf(target)));
    if (m_io.symlink(link.constData(), temp.constData()) != 0)
        return errno;
    if (m_io.renameReplace(temp.constData(), target.constData()) != 0) {
        const int err = errno;
        m_io.unlink(temp.constData());
        return err;
    }
    return 0;
}

bool LinuxFileOperations::resolveDestination(Run &run, Destination *d)
{
    d->path = cleaned(pathBytes(run.request.destination));
    if (d->path.isEmpty() || !d->path.startsWith('/')) {
        run.fail(FileOpResult::BadRequest, QStringLiteral("No destination folder was given."));
        return false;
    }
    // A folder receives the files under their own names; a file path names
    // the one target (or, for several files, its folder receives them).
    struct stat st;
    const bool isDir = m_io.stat(d->path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    d->intoFolder = run.request.destination.endsWith(QLatin1Char('/')) || isDir;
    d->folder = d->intoFolder ? d->path : parentOf(d->path);
    if (m_io.stat(d->folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        run.fail(FileOpResult::BadRequest,
                 QStringLiteral("The folder \"%1\" does not exist.").arg(shown(d->folder)));
        return false;
    }
    return true;
}

bool LinuxFileOperations::collectSources(Run &run, QList<QByteArray> *paths, qint64 *total)
{
    *total = 0;
    for (const QString &s : run.request.sources) {
        const QByteArray p = cleaned(pathBytes(s));
        struct stat st;
        if (!checkSource(run, p, &st))
            return false;
        *paths << p;
        *total += st.st_size;
    }
    return true;
}

LinuxFileOperations::Decision LinuxFileOperations::decide(Run &run, const QByteArray &source,
                                                          const struct stat &st,
                                                          const QByteArray &target, bool move,
                                                          bool moreToCome)
{
    using Collision = FileOpQuestions::Collision;
    Decision d;
    d.target = target;
    struct stat there;
    if (m_io.lstat(target.constData(), &there) != 0) {
        if (errno == ENOENT)
            return d;
        run.failIo(errno, source, parentOf(target));
        d.step = Decision::Fail;
        return d;
    }
    const bool same = there.st_dev == st.st_dev && there.st_ino == st.st_ino;
    if (same && move && target == source) {
        d.step = Decision::Skip; // already where it should go
        return d;
    }
    if (!S_ISREG(there.st_mode) && !S_ISLNK(there.st_mode)) {
        // A device, pipe or folder under that name is nothing a photo replaces.
        run.fail(FileOpResult::BadRequest,
                 QStringLiteral("Cannot %1 \"%2\": \"%3\" is there already and is not a regular "
                                "file. %4")
                     .arg(run.verb, shownName(source), shown(target), run.tail()));
        d.step = Decision::Fail;
        return d;
    }
    Collision answer = run.forAll
                           ? *run.forAll
                           : run.questions.askCollision(asPath(source), asPath(target), moreToCome);
    if (answer == Collision::ReplaceAll) {
        run.forAll = answer = Collision::Replace;
    } else if (answer == Collision::SkipAll) {
        run.forAll = answer = Collision::Skip;
    }
    if (answer == Collision::Cancel) {
        run.cancel();
        d.step = Decision::Cancel;
    } else if (answer == Collision::Skip || (same && answer == Collision::Replace)) {
        // Replacing a file by itself changes nothing.
        d.step = Decision::Skip;
    } else if (answer == Collision::KeepBoth) {
        if (const int err = freeName(target, &d.target, run.pending)) {
            run.failFreeName(err, source, target);
            d.step = Decision::Fail;
        }
    } else {
        d.publish = SafeFileCopy::Publish::Replace;
    }
    return d;
}

bool LinuxFileOperations::placeOne(Run &run, const QByteArray &source, const struct stat &st,
                                   Decision d, bool move, bool moreToCome, Batch &batch,
                                   const SafeFileCopy::Progress &progress)
{
    const bool replace = d.publish == SafeFileCopy::Publish::Replace;
    const QByteArray folder = parentOf(d.target);
    if (move) {
        // One file system: a rename, done at once.
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int r = replace ? m_io.renameReplace(source.constData(), d.target.constData())
                                  : m_io.renameNoReplace(source.constData(), d.target.constData());
            const int err = r == 0 ? 0 : errno;
            if (err == 0) {
                run.result.done << asPath(source);
                run.result.targets << asPath(d.target);
                return true;
            }
            if (err == EXDEV)
                break;
            if (err != EEXIST || replace) {
                run.failIo(err, source, err == EACCES || err == EPERM ? parentOf(source) : folder);
                return false;
            }
            // A file took the name in the meantime: ask again about that one.
            d = decide(run, source, st, d.target, move, moreToCome);
            if (d.step == Decision::Skip) {
                run.result.skipped << asPath(source);
                return true;
            }
            if (d.step != Decision::Place)
                return false;
        }
    }
    if (S_ISLNK(st.st_mode)) {
        // A link is copied as a link, at once: there are no bytes to flush.
        if (const int err = copyLink(source, d.target, d.publish)) {
            run.failIo(err, source, folder);
            return false;
        }
        if (move && m_io.unlink(source.constData()) != 0 && errno != ENOENT) {
            const int err = errno;
            if (!replace)
                m_io.unlink(d.target.constData());
            run.failIo(err, source, parentOf(source));
            return false;
        }
        run.result.done << asPath(source);
        run.result.targets << asPath(d.target);
        return true;
    }
    Pending p{source, d.target, d.publish, {}};
    if (const int err = m_copier.stage(source, d.target, &p.staged, progress)) {
        if (err == ECANCELED)
            run.cancel();
        else
            run.failIo(err, source, folder, m_copier.failedStep());
        return false;
    }
    batch.push_back(std::move(p));
    return true;
}

bool LinuxFileOperations::settle(Run &run, Batch &batch, bool move)
{
    if (batch.empty())
        return true;
    // Whatever happened before (a cancel, a failure on the next file), the
    // copies written completely are finished; any error here is told only
    // when none was told yet.
    run.settleFirst = nullptr;
    auto failed = [&](int err, const Pending &p, const QByteArray &folder, const char *step) {
        if (run.ok())
            run.failIo(err, p.source, folder, step);
        batch.clear();
        return false;
    };
    std::vector<SafeFileCopy::Staged *> staged;
    for (Pending &p : batch)
        staged.push_back(&p.staged);
    if (const int err = m_copier.flush(staged))
        return failed(err, batch.front(), parentOf(batch.front().target), "flush");

    QByteArray folder;
    std::vector<Pending *> named;
    bool stopped = false;
    for (Pending &p : batch) {
        if (stopped)
            break;
        if (move) {
            if (const int err = m_copier.check(p.staged)) {
                if (run.ok())
                    run.failIo(err, p.source, parentOf(p.target), "verify");
                break;
            }
        }
        struct stat st = p.staged.st;
        for (int attempt = 0;; ++attempt) {
            const int err = m_copier.publish(p.staged, p.target, p.publish);
            if (err == 0) {
                named.push_back(&p);
                folder = parentOf(p.target);
                break;
            }
            if (err != EEXIST || p.publish == SafeFileCopy::Publish::Replace || attempt >= 20 ||
                !run.ok()) {
                if (run.ok())
                    run.failIo(err, p.source, parentOf(p.target), "rename");
                stopped = true;
                break;
            }
            // A file took the name while the batch was written: ask again.
            const Decision d = decide(run, p.source, st, p.target, move, false);
            if (d.step == Decision::Skip) {
                run.result.skipped << asPath(p.source);
                break;
            }
            if (d.step != Decision::Place) {
                stopped = true;
                break;
            }
            p.target = d.target;
            p.publish = d.publish;
        }
    }
    if (!named.empty())
        m_copier.flushFolder(folder);
    // A move's originals go only now that their copies are named and flushed.
    for (Pending *p : named) {
        if (move && m_io.unlink(p->source.constData()) != 0 && errno != ENOENT) {
            // Back to where we were: the original stays, the new copy goes.
            const int err = errno;
            if (p->publish == SafeFileCopy::Publish::NoReplace)
                m_io.unlink(p->target.constData());
            if (run.ok())
                run.failIo(err, p->source, parentOf(p->source));
            continue;
        }
        // Someone else removed the original meanwhile (ENOENT): the
        // complete copy is now the only one, so it stays.
        run.result.done << asPath(p->source);
        run.result.targets << asPath(p->target);
    }
    const bool ok = run.ok();
    batch.clear();
    return ok;
}

void LinuxFileOperations::copyOrMove(Run &run, bool move)
{
    Destination dest;
    if (!resolveDestination(run, &dest))
        return;
    QList<QByteArray> paths;
    qint64 total = 0;
    if (!collectSources(run, &paths, &total))
        return;
    m_copier.sweepStaleParts(dest.folder);

    run.questions.begin(move ? QStringLiteral("Moving") : QStringLiteral("Copying"),
                        int(paths.size()), total);
    Batch batch;
    run.pending = &batch;
    run.settleFirst = [&] { settle(run, batch, move); };
    qint64 batchBytes = 0;
    qint64 bytesBefore = 0;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QByteArray &source = paths[i];
        if (!run.questions.progress(int(i), bytesBefore, asPath(source))) {
            run.cancel();
            break;
        }
        struct stat st;
        if (!checkSource(run, source, &st))
            break;
        const bool one = !dest.intoFolder && paths.size() == 1;
        const QByteArray target = one ? dest.path : joinPath(dest.folder, nameOf(source));
        const bool more = i + 1 < paths.size();
        // A name an earlier file of this run is about to take (Keep Both
        // numbered it so): that one is named first, so the question about
        // this one is asked of what the folder really holds.
        if (claims(&batch, target)) {
            if (!settle(run, batch, move))
                break;
            run.settleFirst = [&] { settle(run, batch, move); };
        }
        const Decision d = decide(run, source, st, target, move, more);
        if (d.step == Decision::Skip) {
            run.result.skipped << asPath(source);
        } else if (d.step != Decision::Place) {
            break;
        } else {
            const auto progress = [&](qint64 done) {
                return run.questions.progress(int(i), bytesBefore + done, asPath(source));
            };
            if (!placeOne(run, source, st, d, move, more, batch, progress))
                break;
            batchBytes += st.st_size;
            if (int(batch.size()) >= m_batchFiles || batchBytes >= m_batchBytes) {
                batchBytes = 0;
                if (!settle(run, batch, move))
                    break;
                run.settleFirst = [&] { settle(run, batch, move); };
            }
        }
        bytesBefore += st.st_size;
    }
    settle(run, batch, move);
    run.settleFirst = nullptr;
    run.questions.end();
}

void LinuxFileOperations::rename(Run &run)
{
    if (run.request.sources.size() != 1) {
        run.fail(FileOpResult::BadRequest,
                 QStringLiteral("Only one file can be renamed at a time."));
        return;
    }
    const QByteArray source = cleaned(pathBytes(run.request.sources.first()));
    const QByteArray raw = pathBytes(run.request.destination);
    const qsizetype slash = raw.lastIndexOf('/');
    const QByteArray newName = raw.mid(slash + 1);
    if (newName.isEmpty() || newName.trimmed().isEmpty()) {
        run.fail(FileOpResult::BadName, QStringLiteral("A file name cannot be empty."));
        return;
    }
    const QByteArray target = cleaned(raw);
    if (slash < 0 || parentOf(target) != parentOf(source)) {
        run.fail(
            FileOpResult::BadName,
            QStringLiteral("A file name cannot contain \"/\". Please type a name without it."));
        return;
    }
    if (newName == "." || newName == "..") {
        run.fail(FileOpResult::BadName,
                 QStringLiteral("\"%1\" cannot be used as a file name.").arg(shown(newName)));
        return;
    }
    struct stat st;
    if (!checkSource(run, source, &st))
        return;
    if (target == source) {
        run.result.skipped << asPath(source);
        return;
    }

    QByteArray to = target;
    for (int attempt = 0; attempt < 20; ++attempt) {
        struct stat there;
        int r;
        if (m_io.lstat(to.constData(), &there) == 0) {
            if (there.st_dev == st.st_dev && there.st_ino == st.st_ino) {
                // The same file under another spelling: a case-only change on
                // a file system that ignores case.
                r = m_io.renameReplace(source.constData(), to.constData());
            } else {
                // A rename never replaces another file: the only ways on are
                // a name of its own beside it, or no change.
                const auto answer = run.questions.askCollision(asPath(source), asPath(to), false);
                if (answer == FileOpQuestions::Collision::Cancel) {
                    run.cancel();
                    return;
                }
                if (answer == FileOpQuestions::Collision::Skip ||
                    answer == FileOpQuestions::Collision::SkipAll) {
                    run.result.skipped << asPath(source);
                    return;
                }
                if (answer != FileOpQuestions::Collision::KeepBoth) {
                    run.fail(FileOpResult::NameTaken,
                             QStringLiteral("\"%1\" cannot be renamed to \"%2\": another file "
                                            "has that name, and a rename never replaces a file. "
                                            "Nothing was changed.")
                                 .arg(shownName(source), shownName(to)));
                    return;
                }
                QByteArray free;
                if (const int err = freeName(to, &free)) {
                    run.failFreeName(err, source, to);
                    return;
                }
                to = free;
                r = m_io.renameNoReplace(source.constData(), to.constData());
            }
        } else if (errno != ENOENT) {
            run.failIo(errno, source, parentOf(source));
            return;
        } else {
            r = m_io.renameNoReplace(source.constData(), to.constData());
        }
        if (r == 0) {
            run.result.done << asPath(source);
            run.result.targets << asPath(to);
            return;
        }
        // Another file took the name in between: ask again about that one.
        if (errno != EEXIST) {
            run.failIo(errno, source, parentOf(source));
            return;
        }
    }
    run.failIo(EEXIST, source, parentOf(source));
}

void LinuxFileOperations::remove(Run &run, bool toTrash)
{
    QList<QByteArray> paths;
    for (const QString &s : run.request.sources) {
        const QByteArray p = cleaned(pathBytes(s));
        struct stat st;
        if (!checkSource(run, p, &st))
            return;
        paths << p;
    }
    const bool confirmed = toTrash ? run.questions.confirmTrash(run.request.sources)
                                   : run.questions.confirmDelete(run.request.sources);
    if (!confirmed) {
        run.cancel();
        return;
    }
    run.questions.begin(toTrash ? QStringLiteral("Moving to the Trash")
                                : QStringLiteral("Deleting"),
                        int(paths.size()), 0);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QByteArray &path = paths[i];
        if (!run.questions.progress(int(i), 0, asPath(path))) {
            run.cancel();
            break;
        }
        struct stat st;
        if (!checkSource(run, path, &st))
            break;
        if (toTrash) {
            const FreedesktopTrash::Outcome out = m_trash.trash(path);
            if (out.err == 0) {
                run.result.done << asPath(path);
                run.result.targets << asPath(out.trashedAs);
                continue;
            }
            // Never a silent permanent delete: the user decides.
            if (!run.questions.confirmDeleteUntrashable(asPath(path), out.reason)) {
                run.cancel();
                break;
            }
        }
        if (m_io.unlink(path.constData()) != 0) {
            run.failIo(errno, path, parentOf(path));
            break;
        }
        run.result.done << asPath(path);
        run.result.targets << QString();
    }
    run.questions.end();
}

} // namespace lumora::platform
