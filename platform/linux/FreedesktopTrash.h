#pragma once

#include "platform/linux/SysIo.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace lumora::platform
{

// Moves files into the Trash the way freedesktop.org desktops share it: the
// home Trash under the data home for files on its file system, else the
// Trash at the top of the file's own mount ($topdir/.Trash/$uid when an
// administrator made a sticky .Trash there, else $topdir/.Trash-$uid). The
// .trashinfo is created exclusively and written out before the file moves,
// and nothing in a Trash is ever overwritten.
class FreedesktopTrash
{
public:
    struct Outcome {
        int err = 0;          // 0 when the file is in a Trash
        QString reason;       // why not, for the user
        QByteArray trashDir;  // the Trash used
        QByteArray trashedAs; // files/<name> inside it
        QByteArray infoPath;  // info/<name>.trashinfo inside it
    };

    // homeTrash: the home Trash folder ($XDG_DATA_HOME/Trash).
    FreedesktopTrash(SysIo &io, QByteArray homeTrash, uid_t uid);

    // The home Trash of this user by the environment.
    static QByteArray defaultHomeTrash();

    Outcome trash(const QByteArray &path);

    // For tests: the clock written into DeletionDate.
    void setNow(const QDateTime &now) { m_now = now; }

    // The .trashinfo text for a file (Path percent-encoded as a URI path,
    // byte for byte).
    static QByteArray infoText(const QByteArray &pathForInfo, const QDateTime &when);
    // The name of the n-th candidate entry for a file called base (n = 1:
    // base itself), short enough that "<entry>.trashinfo" fits in 255 bytes.
    static QByteArray entryName(const QByteArray &base, int n);
    // The mount point holding path, from /proc/self/mountinfo: the mount
    // whose id statx gives, else the longest mount point above path.
    QByteArray mountPointOf(const QByteArray &realPath);

private:
    bool ensureDir(const QByteArray &dir, bool mustBeOwned);
    bool makePath(const QByteArray &dir);
    void flushDir(const QByteArray &dir);
    bool usableTrash(const QByteArray &trash);
    QByteArray topDirOf(const QByteArray &path, dev_t dev);
    // The same mount (by id; by device where the kernel gives no ids).
    bool sameMount(const QByteArray &a, const QByteArray &b);
    Outcome putInto(const QByteArray &trash, const QByteArray &path, const QByteArray &pathForInfo);

    SysIo &m_io;
    QByteArray m_homeTrash;
    uid_t m_uid;
    QDateTime m_now;
};

} // namespace lumora::platform
