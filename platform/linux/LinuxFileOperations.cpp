#include "platform/linux/LinuxFileOperations.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace lumora::platform
{

std::unique_ptr<FileOperations> createFileOperations()
{
    return std::make_unique<LinuxFileOperations>();
}

namespace
{

QString shown(const QByteArray &path)
{
    return QFile::decodeName(path);
}
QString shownName(const QByteArray &path)
{
    return QFile::decodeName(nameOf(path));
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
    FileOpResult result;
    QString verb; // "copy", "move", "rename", "delete"

    void fail(FileOpResult::Code code, const QString &message)
    {
        result.code = code;
        result.message = message;
        if (!message.isEmpty())
            questions.showError(message);
    }
    void cancel() { result.code = FileOpResult::Cancelled; }

    // Keep Both found no name of its own beside `taken`.
    void failFreeName(int err, const QByteArray &source, const QByteArray &taken)
    {
        const QString why = err == ENAMETOOLONG
                                ? QStringLiteral("the name is too long to add a number to it")
                            : err == EEXIST ? QStringLiteral("every numbered name is taken")
                                            : QString::fromLocal8Bit(std::strerror(err));
        fail(err == ENAMETOOLONG ? FileOpResult::BadName : FileOpResult::IoError,
             QStringLiteral("Cannot keep both \"%1\" and \"%2\": %3. Rename one of them first.")
                 .arg(shownName(source), shown(taken), why));
    }

    // A failed system call on one file, told in the user's terms.
    void failIo(int err, const QByteArray &source, const QByteArray &targetFolder,
                const char *step = "")
    {
        const QString name = shownName(source);
        const QString folder = shown(targetFolder);
        switch (err) {
        case ENOSPC:
        case EDQUOT:
            fail(FileOpResult::DiskFull,
                 QStringLiteral(
                     "There is not enough space in \"%1\" to %2 \"%3\". Nothing was changed.")
                     .arg(folder, verb, name));
            return;
        case EROFS:
            fail(FileOpResult::NotPermitted,
                 QStringLiteral("Cannot %1 \"%2\": \"%3\" is on a read-only disk.")
                     .arg(verb, name, folder));
            return;
        case EACCES:
        case EPERM:
            fail(FileOpResult::NotPermitted,
                 QStringLiteral("Cannot %1 \"%2\": you do not have permission to change \"%3\".")
                     .arg(verb, name, folder));
            return;
        case ENAMETOOLONG:
            fail(FileOpResult::BadName,
                 QStringLiteral("Cannot %1 \"%2\": the name is too long.").arg(verb, name));
            return;
        default:
            break;
        }
        struct stat st;
        if (::lstat(source.constData(), &st) != 0 && errno == ENOENT) {
            fail(FileOpResult::SourceMissing,
                 QStringLiteral(
                     "\"%1\" could not be found. It may have been moved, renamed or deleted.")
                     .arg(shown(source)));
            return;
        }
        if (err == EIO && std::strcmp(step, "verify") == 0) {
            fail(FileOpResult::IoError,
                 QStringLiteral("Cannot %1 \"%2\": the copy in \"%3\" did not match the original. "
                                "The original was kept.")
                     .arg(verb, name, folder));
            return;
        }
        fail(FileOpResult::IoError,
             QStringLiteral("Cannot %1 \"%2\" to \"%3\": %4.")
                 .arg(verb, name, folder, QString::fromLocal8Bit(std::strerror(err))));
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
    Run run{request, questions, {}, {}};
    bool valid = !request.sources.isEmpty();
    for (const QString &s : request.sources)
        valid = valid && s.startsWith(QLatin1Char('/'));
    if (!valid) {
        run.fail(FileOpResult::BadRequest, QStringLiteral("No file was given to work on."));
    } else {
        switch (request.function) {
        case FileOpRequest::Copy:
            run.verb = QStringLiteral("copy");
            copyOrMove(run, false);
            break;
        case FileOpRequest::Move:
            run.verb = QStringLiteral("move");
            copyOrMove(run, true);
            break;
        case FileOpRequest::Rename:
            run.verb = QStringLiteral("rename");
            rename(run);
            break;
        case FileOpRequest::Delete:
            run.verb = QStringLiteral("delete");
            remove(run, request.flags & FileOpRequest::AllowUndo);
            break;
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
            run.fail(FileOpResult::SourceMissing,
                     QStringLiteral(
                         "\"%1\" could not be found. It may have been moved, renamed or deleted.")
                         .arg(shown(source)));
        else
            run.failIo(errno, source, parentOf(source));
        return false;
    }
    if (S_ISDIR(st->st_mode)) {
        run.fail(FileOpResult::SourceIsFolder,
                 QStringLiteral("\"%1\" is a folder. Only files can be copied, moved, renamed or "
                                "deleted here.")
                     .arg(shown(source)));
        return false;
    }
    if (!S_ISREG(st->st_mode) && !S_ISLNK(st->st_mode)) {
        run.fail(FileOpResult::BadRequest,
                 QStringLiteral("\"%1\" is not a regular file.").arg(shown(source)));
        return false;
    }
    return true;
}

int LinuxFileOperations::freeName(const QByteArray &target, QByteArray *name)
{
    const QByteArray folder = parentOf(target);
    const QByteArray base = nameOf(target);
    const qsizetype dot = base.lastIndexOf('.');
    const QByteArray stem = dot > 0 ? base.left(dot) : base;
    const QByteArray ext = dot > 0 ? base.mid(dot) : QByteArray();
    for (int n = 2; n < 10000; ++n) {
        const QByteArray candidate = (folder == "/" ? QByteArray() : folder) + "/" + stem + " (" +
                                     QByteArray::number(n) + ")" + ext;
        struct stat st;
        if (m_io.lstat(candidate.constData(), &st) == 0)
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

int LinuxFileOperations::moveOne(const QByteArray &source, const QByteArray &target,
                                 SafeFileCopy::Publish publish,
                                 const SafeFileCopy::Progress &progress)
{
    const bool replace = publish == SafeFileCopy::Publish::Replace;
    if ((replace ? m_io.renameReplace(source.constData(), target.constData())
                 : m_io.renameNoReplace(source.constData(), target.constData())) == 0)
        return 0;
    if (errno != EXDEV)
        return errno;

    // Another file system: the source goes only once a complete, verified,
    // flushed copy has its name.
    struct stat st;
    if (m_io.lstat(source.constData(), &st) != 0)
        return errno;
    if (S_ISLNK(st.st_mode)) {
        char link[4096];
        const ssize_t n = m_io.readlink(source.constData(), link, sizeof link - 1);
        if (n < 0)
            return errno;
        link[n] = '\0';
        if (replace) {
            const QByteArray temp = parentOf(target) + "/." + nameOf(target) + ".lumora-link";
            if (m_io.symlink(link, temp.constData()) != 0)
                return errno;
            if (m_io.renameReplace(temp.constData(), target.constData()) != 0) {
                const int err = errno;
                m_io.unlink(temp.constData());
                return err;
            }
        } else if (m_io.symlink(link, target.constData()) != 0) {
            return errno;
        }
    } else if (const int err = m_copier.copy(source, target, publish, true, progress)) {
        return err;
    }
    if (m_io.unlink(source.constData()) != 0) {
        const int err = errno;
        // Someone else removed the original meanwhile: the complete copy is
        // now the only one, so it must stay.
        if (err == ENOENT)
            return 0;
        // Back to where we were: the original stays, the new copy goes.
        if (!replace)
            m_io.unlink(target.constData());
        return err;
    }
    return 0;
}

void LinuxFileOperations::copyOrMove(Run &run, bool move)
{
    const QList<QString> &sources = run.request.sources;
    QByteArray dest = cleaned(QFile::encodeName(run.request.destination));
    if (dest.isEmpty() || !dest.startsWith('/')) {
        run.fail(FileOpResult::BadRequest, QStringLiteral("No destination folder was given."));
        return;
    }
    // A folder receives the files under their own names; a file path names
    // the one target (or, for several files, its folder receives them).
    const bool namesFolder = run.request.destination.endsWith(QLatin1Char('/'));
    const bool intoFolder = namesFolder || QFileInfo(QFile::decodeName(dest)).isDir();
    const QByteArray folder = intoFolder ? dest : parentOf(dest);
    if (!QFileInfo(QFile::decodeName(folder)).isDir()) {
        run.fail(FileOpResult::BadRequest,
                 QStringLiteral("The folder \"%1\" does not exist.").arg(shown(folder)));
        return;
    }

    QList<QByteArray> paths;
    qint64 total = 0;
    for (const QString &s : sources) {
        const QByteArray p = cleaned(QFile::encodeName(s));
        struct stat st;
        if (!checkSource(run, p, &st))
            return;
        paths << p;
        total += st.st_size;
    }

    run.questions.begin(move ? QStringLiteral("Moving") : QStringLiteral("Copying"),
                        int(paths.size()), total);
    std::optional<FileOpQuestions::Collision> forAll;
    qint64 bytesBefore = 0;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QByteArray &source = paths[i];
        if (!run.questions.progress(int(i), bytesBefore, QFile::decodeName(source))) {
            run.cancel();
            break;
        }
        struct stat st;
        if (!checkSource(run, source, &st))
            break;
        QByteArray target = (intoFolder || paths.size() > 1) ? folder + "/" + nameOf(source) : dest;
        if (folder == "/")
            target = intoFolder || paths.size() > 1 ? "/" + nameOf(source) : dest;

        const auto progress = [&](qint64 done) {
            return run.questions.progress(int(i), bytesBefore + done, QFile::decodeName(source));
        };
        SafeFileCopy::Publish publish = SafeFileCopy::Publish::NoReplace;
        bool skip = false;
        int err = 0;
        bool freeNameFailed = false;
        const char *step = "";
        for (int attempt = 0; attempt < 20; ++attempt) {
            struct stat there;
            if (m_io.lstat(target.constData(), &there) == 0) {
                const bool same = there.st_dev == st.st_dev && there.st_ino == st.st_ino;
                if (same && move && target == source) {
                    skip = true; // already where it should go
                    break;
                }
                FileOpQuestions::Collision answer =
                    forAll ? *forAll
                           : run.questions.askCollision(QFile::decodeName(source),
                                                        QFile::decodeName(target),
                                                        i + 1 < paths.size());
                if (answer == FileOpQuestions::Collision::ReplaceAll) {
                    forAll = FileOpQuestions::Collision::Replace;
                    answer = FileOpQuestions::Collision::Replace;
                } else if (answer == FileOpQuestions::Collision::SkipAll) {
                    forAll = FileOpQuestions::Collision::Skip;
                    answer = FileOpQuestions::Collision::Skip;
                }
                if (answer == FileOpQuestions::Collision::Cancel) {
                    run.cancel();
                    break;
                }
                if (answer == FileOpQuestions::Collision::Skip ||
                    (same && answer == FileOpQuestions::Collision::Replace)) {
                    // Replacing a file by itself changes nothing.
                    skip = true;
                    break;
                }
                if (answer == FileOpQuestions::Collision::KeepBoth) {
                    QByteArray free;
                    if ((err = freeName(target, &free)) != 0) {
                        freeNameFailed = true;
                        break;
                    }
                    target = free;
                    publish = SafeFileCopy::Publish::NoReplace;
                } else {
                    publish = SafeFileCopy::Publish::Replace;
                }
            } else {
                publish = SafeFileCopy::Publish::NoReplace;
            }
            err = move ? moveOne(source, target, publish, progress)
                       : m_copier.copy(source, target, publish, false, progress);
            step = m_copier.failedStep();
            // A file that took the name in the meantime: ask again.
            if (err != EEXIST || publish == SafeFileCopy::Publish::Replace)
                break;
        }
        if (run.result.code == FileOpResult::Cancelled)
            break;
        if (freeNameFailed) {
            run.failFreeName(err, source, target);
            break;
        }
        if (skip) {
            run.result.skipped << QFile::decodeName(source);
        } else if (err == ECANCELED) {
            run.cancel();
            break;
        } else if (err) {
            run.failIo(err, source, folder, step);
            break;
        } else {
            run.result.done << QFile::decodeName(source);
            run.result.targets << QFile::decodeName(target);
        }
        bytesBefore += st.st_size;
    }
    run.questions.end();
}

void LinuxFileOperations::rename(Run &run)
{
    if (run.request.sources.size() != 1) {
        run.fail(FileOpResult::BadRequest,
                 QStringLiteral("Only one file can be renamed at a time."));
        return;
    }
    const QByteArray source = cleaned(QFile::encodeName(run.request.sources.first()));
    const QByteArray raw = QFile::encodeName(run.request.destination);
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
        run.fail(FileOpResult::BadName, QStringLiteral("\"%1\" cannot be used as a file name.")
                                            .arg(QFile::decodeName(newName)));
        return;
    }
    struct stat st;
    if (!checkSource(run, source, &st))
        return;
    if (target == source) {
        run.result.skipped << QFile::decodeName(source);
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
                const auto answer = run.questions.askCollision(QFile::decodeName(source),
                                                               QFile::decodeName(to), false);
                if (answer == FileOpQuestions::Collision::Cancel) {
                    run.cancel();
                    return;
                }
                if (answer == FileOpQuestions::Collision::Skip ||
                    answer == FileOpQuestions::Collision::SkipAll) {
                    run.result.skipped << QFile::decodeName(source);
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
            run.result.done << QFile::decodeName(source);
            run.result.targets << QFile::decodeName(to);
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
        const QByteArray p = cleaned(QFile::encodeName(s));
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
        if (!run.questions.progress(int(i), 0, QFile::decodeName(path))) {
            run.cancel();
            break;
        }
        struct stat st;
        if (!checkSource(run, path, &st))
            break;
        if (toTrash) {
            const FreedesktopTrash::Outcome out = m_trash.trash(path);
            if (out.err == 0) {
                run.result.done << QFile::decodeName(path);
                run.result.targets << QFile::decodeName(out.trashedAs);
                continue;
            }
            // Never a silent permanent delete: the user decides.
            if (!run.questions.confirmDeleteUntrashable(QFile::decodeName(path), out.reason)) {
                run.cancel();
                break;
            }
        }
        if (m_io.unlink(path.constData()) != 0) {
            run.failIo(errno, path, parentOf(path));
            break;
        }
        run.result.done << QFile::decodeName(path);
        run.result.targets << QString();
    }
    run.questions.end();
}

} // namespace lumora::platform
