#pragma once

#include "platform/FileOperations.h"
#include "platform/linux/FreedesktopTrash.h"
#include "platform/linux/SafeFileCopy.h"
#include "platform/linux/SysIo.h"

#include <optional>
#include <vector>

namespace lumora::platform
{

// The file-operation service on Linux: copies through SafeFileCopy, moves by
// a no-replace rename (or a verified copy across file systems, removing the
// source only when the copy is complete), deletes into the freedesktop
// Trash. Every system call goes through the SysIo given.
//
// Copies of many files are written in batches: every file of a batch to its
// unnamed or hidden part file, one flush for the batch, then the names, then
// one flush of the folder, so a name never points at a partial file and the
// medium is waited for once per batch instead of once per file.
class LinuxFileOperations : public FileOperations
{
public:
    LinuxFileOperations(); // the real system calls, the home Trash of the environment
    LinuxFileOperations(SysIo &io, QByteArray homeTrash);

    int perform(const FileOpRequest &request, FileOpQuestions &questions,
                FileOpResult *result = nullptr) override;

    SafeFileCopy &copier() { return m_copier; }
    FreedesktopTrash &trash() { return m_trash; }
    // At most this many files (or bytes) are written before a flush: every
    // flush waits for the medium, and a file costs two descriptors meanwhile.
    void setBatchLimits(int files, qint64 bytes)
    {
        m_batchFiles = files;
        m_batchBytes = bytes;
    }

private:
    struct Run;
    struct Destination {
        QByteArray path;   // as given, cleaned
        QByteArray folder; // the folder that receives the files
        bool intoFolder = false;
    };
    // Where one file goes, once any question about a taken name is answered.
    struct Decision {
        enum Step { Place, Skip, Cancel, Fail } step = Place;
        QByteArray target;
        SafeFileCopy::Publish publish = SafeFileCopy::Publish::NoReplace;
    };
    // A copy written to its part file, waiting for the batch's flush.
    struct Pending {
        QByteArray source;
        QByteArray target;
        SafeFileCopy::Publish publish;
        SafeFileCopy::Staged staged;
    };
    using Batch = std::vector<Pending>;

    void copyOrMove(Run &run, bool move);
    bool resolveDestination(Run &run, Destination *d);
    bool collectSources(Run &run, QList<QByteArray> *paths, qint64 *total);
    Decision decide(Run &run, const QByteArray &source, const struct stat &st,
                    const QByteArray &target, bool move, bool moreToCome);
    // One file: renamed at once (same file system), or staged into batch.
    // false when the operation stops here.
    bool placeOne(Run &run, const QByteArray &source, const struct stat &st, Decision d, bool move,
                  bool moreToCome, Batch &batch, const SafeFileCopy::Progress &progress);
    // Flushes, checks and names every staged copy; a move then removes its
    // sources. false when something failed.
    bool settle(Run &run, Batch &batch, bool move);
    void rename(Run &run);
    void remove(Run &run, bool toTrash);
    // 0 or errno: a symbolic link recreated at target (it points where the
    // original pointed, also from its new folder).
    int copyLink(const QByteArray &source, const QByteArray &target, SafeFileCopy::Publish publish);
    bool checkSource(Run &run, const QByteArray &source, struct stat *st);
    // 0 and, in *name, the first "stem (n).ext" beside target that is free;
    // or the errno that ended the search.
    // Keep Both's name beside `target`: the first numbered one that is free
    // on disk and not in `claimed` (names the batch is about to take).
    int freeName(const QByteArray &target, QByteArray *name, const Batch *claimed = nullptr);
    static bool claims(const Batch *batch, const QByteArray &target);

    SysIo m_realIo;
    SysIo &m_io;
    SafeFileCopy m_copier;
    FreedesktopTrash m_trash;
    int m_batchFiles = 256;
    qint64 m_batchBytes = qint64(2) << 30;
};

} // namespace lumora::platform
