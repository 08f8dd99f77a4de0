#pragma once

#include "platform/FileOperations.h"
#include "platform/linux/FreedesktopTrash.h"
#include "platform/linux/SafeFileCopy.h"
#include "platform/linux/SysIo.h"

namespace lumora::platform
{

// The file-operation service on Linux: copies through SafeFileCopy, moves by
// a no-replace rename (or a verified copy across file systems, removing the
// source only when the copy is complete), deletes into the freedesktop
// Trash. Every system call goes through the SysIo given.
class LinuxFileOperations : public FileOperations
{
public:
    LinuxFileOperations(); // the real system calls, the home Trash of the environment
    LinuxFileOperations(SysIo &io, QByteArray homeTrash);

    int perform(const FileOpRequest &request, FileOpQuestions &questions,
                FileOpResult *result = nullptr) override;

    SafeFileCopy &copier() { return m_copier; }
    FreedesktopTrash &trash() { return m_trash; }

private:
    struct Run;
    void copyOrMove(Run &run, bool move);
    void rename(Run &run);
    void remove(Run &run, bool toTrash);
    // 0 or errno; moves one file by rename or, across file systems, by copy.
    int moveOne(const QByteArray &source, const QByteArray &target, SafeFileCopy::Publish publish,
                const SafeFileCopy::Progress &progress);
    bool checkSource(Run &run, const QByteArray &source, struct stat *st);
    // 0 and, in *name, the first "stem (n).ext" beside target that is free;
    // or the errno that ended the search.
    int freeName(const QByteArray &target, QByteArray *name);

    SysIo m_realIo;
    SysIo &m_io;
    SafeFileCopy m_copier;
    FreedesktopTrash m_trash;
};

} // namespace lumora::platform
