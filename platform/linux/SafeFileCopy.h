#pragma once

#include "platform/linux/SysIo.h"

#include <QByteArray>

#include <functional>
#include <vector>

namespace lumora::platform
{

// Copies regular files so that a target name only ever holds a complete,
// flushed copy. The bytes go to an unnamed file in the target's folder (or,
// where the file system has none, a hidden part file that a failure
// removes); then the file is flushed, optionally read back from the medium
// and compared with the source, and only then gets the target name.
//
// The steps are apart so an operation on many files can write all of them
// first, flush them together, and name them last: stage() each, flush() the
// lot, check() and publish() each, then flushFolder().
class SafeFileCopy
{
public:
    enum class Publish { NoReplace, Replace };
    // Told the bytes of this file copied so far; false stops the copy.
    using Progress = std::function<bool(qint64 bytesDone)>;

    // One copy written but not yet named. Destroying it (or release())
    // closes its files and takes away a part file it still has.
    class Staged
    {
    public:
        Staged() = default;
        Staged(const Staged &) = delete;
        Staged &operator=(const Staged &) = delete;
        Staged(Staged &&other) noexcept { *this = std::move(other); }
        Staged &operator=(Staged &&other) noexcept;
        ~Staged() { release(); }
        void release();

        QByteArray source;
        QByteArray folder;   // where the copy is written
        QByteArray tempName; // its hidden part file; empty for an unnamed file
        struct stat st {
        }; // the source's
        bool published = false;

    private:
        friend class SafeFileCopy;
        SysIo *io = nullptr;
        int in = -1;
        int out = -1;
    };

    explicit SafeFileCopy(SysIo &io, size_t chunkBytes = size_t(8) << 20);

    // 0, or the errno of the step that failed: EEXIST when Publish::NoReplace
    // finds the target taken, ECANCELED when progress said stop, EIO when the
    // read-back differs. On failure the target name is untouched (Replace:
    // the old file is still there) and no temporary file is left. The target
    // gets the source's mode, times, owner (where permitted) and extended
    // attributes, ACLs among them.
    int copy(const QByteArray &source, const QByteArray &target, Publish publish, bool verify,
             const Progress &progress = {});

    // The steps of copy(), for many files at once. stage() writes the bytes
    // and metadata of source into the folder of target, unflushed.
    int stage(const QByteArray &source, const QByteArray &target, Staged *staged,
              const Progress &progress = {});
    // Flushes every staged copy to its medium: one syncfs when there are
    // many on one file system, else one fdatasync each.
    int flush(const std::vector<Staged *> &staged);
    // Drops the flushed copy's pages and compares what the medium holds with
    // the source.
    int check(Staged &staged);
    // Gives the flushed copy its name.
    int publish(Staged &staged, const QByteArray &target, Publish publish);
    // Makes the names given in a folder survive a crash.
    void flushFolder(const QByteArray &folder);

    // Removes part files of ours in folder whose process is gone (left by a
    // crash or a kill); files of running operations are left alone.
    void sweepStaleParts(const QByteArray &folder);

    // Which step failed last ("open", "read", "write", "flush", "verify",
    // "rename", ...), for messages and tests.
    const char *failedStep() const { return m_step; }

    // The kernel's in-place copy is the fast path; tests turn it off to see
    // every read and write.
    void setUseCopyRange(bool on) { m_useCopyRange = on; }
    // Smaller blocks give a test more steps to fail.
    void setChunkBytes(size_t bytes) { m_chunk = bytes; }

private:
    int fail(const char *step, int err);
    int transfer(int in, int out, const Progress &progress);
    int compare(int in, int out, qint64 size);
    void copyMetadata(int in, int out, const struct stat &st);

    SysIo &m_io;
    size_t m_chunk;
    bool m_useCopyRange = true;
    const char *m_step = "";
};

// The folder part of a path ("/a/b" → "/a"; "/b" → "/").
QByteArray parentOf(const QByteArray &path);
// The last component of a path.
QByteArray nameOf(const QByteArray &path);
// folder + "/" + name, without a doubled separator at the root.
QByteArray joinPath(const QByteArray &folder, const QByteArray &name);
// The longest start of name of at most maxBytes bytes that does not cut a
// UTF-8 character in two.
QByteArray cutName(const QByteArray &name, qsizetype maxBytes);
// A hidden name beside `name` in its folder for a file of this process
// that is not the user's yet (".name.lumora-<pid>-<random>.part"), short
// enough for a 255-byte name limit however long `name` is.
QByteArray partName(const QByteArray &name);

} // namespace lumora::platform
