#pragma once

#include "platform/FileOpQuestions.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace lumora::platform
{

// One request to the file-operation service, in the shape of the shell's
// file-operation request: what to do, to which files, where to.
struct FileOpRequest {
    // The shell's function numbers.
    enum Function { Move = 1, Copy = 2, Delete = 3, Rename = 4 };
    // Delete with this flag sends the files to the Trash; without it they are
    // gone for good.
    static constexpr unsigned AllowUndo = 0x40;

    Function function = Copy;
    unsigned flags = 0;
    QStringList sources; // full paths of files
    // Copy and Move: an existing folder (each file keeps its name), or the
    // full target path of a single file; with several files and a target
    // path, the target's folder receives them under their own names.
    // Rename: the full new path, in the source's own folder.
    // Delete: empty.
    QString destination;

    // The request for one of the program's operation codes: 1 copy, 2 delete
    // to the Trash, 3 delete for good, 4 move, 5 rename. An unknown code
    // gives a request that perform() refuses.
    static FileOpRequest forOperation(int opType, const QStringList &sources,
                                      const QString &destination);
    int operationCode() const; // the code back; 0 for a request no code makes
};

// What happened, beyond the number perform() returns.
struct FileOpResult {
    enum Code {
        Ok = 0,
        Cancelled,      // the user said no or cancelled on the way
        BadRequest,     // unknown function, no sources, bad destination
        BadName,        // rename to an empty name or one with '/'
        SourceMissing,  // a source is not there (any more)
        SourceIsFolder, // only files are handled
        NotPermitted,   // read-only folder or file system, no permission
        DiskFull,
        TrashUnavailable,
        IoError,
        NameTaken, // a rename onto another file's name, which it never replaces
    };
    Code code = Ok;
    QString message;     // the sentence the user was shown (empty if none)
    QStringList done;    // sources that were fully handled, in order
    QStringList targets; // for Copy, Move and Rename: where each of done went
    QStringList skipped; // sources the user chose to skip on a collision
};

// Names on disk are bytes; most are UTF-8, but old disks and archives hold
// others ("caf\xe9.jpg"). These carry any name through a QString and back
// unchanged: a byte that is not part of a valid UTF-8 character becomes the
// lone surrogate U+DC80 + (byte - 0x80), which no valid name decodes to. The
// service takes and reports paths in this form; QFile::encodeName would
// turn such bytes into other ones.
QByteArray pathBytes(const QString &path);
QString pathFromBytes(const QByteArray &bytes);
// The path to show a person: every such byte as U+FFFD.
QString displayPath(const QString &path);

// What one name on disk is, for paths in that form (QFileInfo would look at
// other bytes): whether anything has the name (a dangling link counts), and
// for a file its size and modification time.
struct PathFacts {
    bool exists = false;
    bool isFolder = false;
    qint64 size = 0;
    qint64 modifiedMs = 0; // since the epoch, UTC
};
PathFacts pathFacts(const QString &path);
// Moves a file to another name on the same file system, never over anything
// that has that name (also one that appears meanwhile). 0, or the errno.
int moveNoReplace(const QString &from, const QString &to);
// Removes one file; 0, or the errno.
int removeFile(const QString &path);

// The stand-in for the shell's file operation. Every confirmation, question
// and error goes through the FileOpQuestions given; the call returns when the
// work is done, failed, or was cancelled. No file is ever overwritten without
// the user's answer, and an interrupted or failing operation leaves every file
// whole at its source or complete at its target.
class FileOperations
{
public:
    virtual ~FileOperations() = default;
    // 0 when every file was handled (skipped collisions count as handled),
    // otherwise the FileOpResult::Code. result, if given, receives the detail.
    virtual int perform(const FileOpRequest &request, FileOpQuestions &questions,
                        FileOpResult *result = nullptr) = 0;
};

// The service for the platform this process runs on.
std::unique_ptr<FileOperations> createFileOperations();

} // namespace lumora::platform
