#include "app/ConvertToolTree.h"

#include "imaging/Codec.h"
#include "imaging/PhotoCodecs.h"
#include "platform/FileOperations.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora
{

using platform::displayPath;
using platform::pathBytes;
using platform::pathFromBytes;

namespace
{

// Whether the file's extension is one the program reads: a name of the
// codec table, or one of today's photo types (camera RAW among them).
bool hasImageExtension(const QByteArray &name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0 || dot + 1 >= name.size())
        return false;
    const QString ext = QString::fromLatin1(name.mid(dot + 1)).toLower();
    return imaging::formatNamed(ext) != nullptr || imaging::isPhotoExtension(ext);
}

struct Walk {
    dev_t skipDev = 0;
    ino_t skipIno = 0;
    bool skip = false;
    QList<BatchInput> found;
    QStringList unreadable; // folders that could not be listed, with the reason
};

// Every image under the folder, by the bytes of its names (which need not
// be UTF-8), in name order; symbolic links to folders are not followed, so
// a loop cannot make it endless, and the output folder is left out.
void walkFolder(const QByteArray &dir, const QString &relative, Walk &walk, int depth)
{
    DIR *d = ::opendir(dir.constData());
    if (!d) {
        walk.unreadable << QStringLiteral("%1: the folder cannot be read: %2")
                               .arg(displayPath(pathFromBytes(dir)),
                                    QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    QList<QByteArray> names;
    while (const dirent *e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (!name.startsWith('.')) // hidden files, part files and "." / ".."
            names << name;
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    QList<std::pair<QByteArray, QString>> folders;
    for (const QByteArray &name : names) {
        const QByteArray full = dir + '/' + name;
        struct stat st {
        };
        if (::lstat(full.constData(), &st) != 0)
            continue; // gone meanwhile
        if (S_ISDIR(st.st_mode)) {
            if (walk.skip && st.st_dev == walk.skipDev && st.st_ino == walk.skipIno)
                continue;
            const QString sub = pathFromBytes(name);
            folders.append({full, relative.isEmpty() ? sub : relative + QLatin1Char('/') + sub});
            continue;
        }
        if (S_ISLNK(st.st_mode) && (::stat(full.constData(), &st) != 0 || !S_ISREG(st.st_mode)))
            continue;
        if (S_ISREG(st.st_mode) && hasImageExtension(name))
            walk.found.append({pathFromBytes(full), relative});
    }
    if (depth > 256)
        return;
    for (const auto &[full, rel] : folders)
        walkFolder(full, rel, walk, depth + 1);
}

} // namespace

bool makeFolders(const QByteArray &path, QString *error)
{
    QByteArray sofar;
    const QList<QByteArray> parts = path.split('/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            sofar += '/';
        sofar += parts[i];
        if (parts[i].isEmpty() || parts[i] == ".")
            continue;
        if (::mkdir(sofar.constData(), 0777) != 0 && errno != EEXIST) {
            *error = QStringLiteral("cannot make the folder %1: %2")
                         .arg(displayPath(pathFromBytes(sofar)),
                              QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    struct stat st {
    };
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = QStringLiteral("cannot make the folder %1: something else has that name")
                     .arg(displayPath(pathFromBytes(path)));
        return false;
    }
    return true;
}

QString outputBaseName(const QString &path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

BatchInputs collectBatchInputs(const QStringList &inputs, bool recursive, const QString &outDir)
{
    Walk walk;
    QStringList refused;
    struct stat outSt {
    };
    if (::stat(pathBytes(outDir).constData(), &outSt) == 0) {
        walk.skip = true;
        walk.skipDev = outSt.st_dev;
        walk.skipIno = outSt.st_ino;
    }
    for (const QString &in : inputs) {
        struct stat st {
        };
        const QByteArray bytes = pathBytes(in);
        if (::stat(bytes.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            if (!recursive) {
                refused << QStringLiteral("%1: is a folder; use --recursive to convert the images "
                                          "in it")
                               .arg(displayPath(in));
                continue;
            }
            QByteArray root = bytes;
            while (root.size() > 1 && root.endsWith('/'))
                root.chop(1);
            walkFolder(root, QString(), walk, 0);
            continue;
        }
        walk.found.append({in, QString()});
    }
    return {walk.found, refused + walk.unreadable};
}

} // namespace lumora
