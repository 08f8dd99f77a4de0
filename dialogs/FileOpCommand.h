#pragma once

#include "dialogs/FileOpServices.h"
#include "platform/FileOperations.h"

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace lumora
{

class Prompter;

// The file commands of the viewer and the grid. The numbers are the ones the
// folder chooser, the questions and the service's request take, converted
// where those are called.
enum class FileOpType { Copy = 1, Trash = 2, Delete = 3, Move = 4, Rename = 5 };

// The one way the viewer and the grid run Copy To, Delete (to the Trash or
// for good), Move To and Rename on their files.

// Where the command goes: the folder chooser's folder followed by the file's
// name for Copy To and Move To, the file's folder and the typed name for
// Rename, nothing for Delete. nullopt ends the command without a request and
// without a message: a cancelled chooser or rename box, an empty or unchanged
// name, a name taken by a folder.
std::optional<QString> askFileOpTarget(const FileOpServices &services, Prompter *prompter,
                                       QWidget *parent, FileOpType type, const QString &source);

// What a command did, from the service's report and what the disk holds.
struct FileOpOutcome {
    bool sent = false; // the request reached the service
    int answer = -1;   // what perform() returned
    platform::FileOpResult result;
    // Sources no longer at their place (moved, trashed, deleted, renamed),
    // also after a cancel or a failure part-way.
    QStringList left;
    // Rename: the name the file really has now, as the service reports it
    // (with Keep Both a numbered one, never the typed one); "" when it kept its name.
    QString renamedTo;
};

// Sends the request and reads back what happened. Files sent to the Trash
// are remembered in services.trashUndo for Ctrl+Z.
FileOpOutcome runFileOp(const FileOpServices &services, QWidget *parent, FileOpType type,
                        const QStringList &sources, const QString &target);

// Ctrl+Z: the last Delete to the Trash put back; a message over `parent`
// names what could not come back. The paths back at their place.
QStringList undoLastTrash(const FileOpServices &services, Prompter *prompter, QWidget *parent);

} // namespace lumora
