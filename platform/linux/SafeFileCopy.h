#pragma once

#include "platform/linux/SysIo.h"

#include <QByteArray>

#include <functional>

namespace lumora::platform
{

// Copies one regular file so that the target name only ever holds a complete,
// flushed copy: the bytes go to an unnamed file in the target's folder (or,
// where the file system has none, a hidden temporary name that a failure
// removes), are flushed, optionally read back and compared with the source,
// and only then get the target name.
class SafeFileCopy
{
public:
    enum class Publish { NoReplace, Replace };
    // Told the bytes of this file copied so far; false stops the copy.
    using Progress = std::function<bool(qint64 bytesDone)>;

    explicit SafeFileCopy(SysIo &io, size_t chunkBytes = size_t(8) << 20);

    // 0, or the errno of the step that failed: EEXIST when Publish::NoReplace
    // finds the target taken, ECANCELED when progress said stop, EIO when the
    // read-back differs. On failure the target name is untouched (Replace:
    // the old file is still there) and no temporary file is left.
    int copy(const QByteArray &source, const QByteArray &target, Publish publish, bool verify,
             const Progress &progress = {});

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

    SysIo &m_io;
    size_t m_chunk;
    bool m_useCopyRange = true;
    const char *m_step = "";
};

// The folder part of a path ("/a/b" → "/a"; "/b" → "/").
QByteArray parentOf(const QByteArray &path);
// The last component of a path.
QByteArray nameOf(const QByteArray &path);

} // namespace lumora::platform
