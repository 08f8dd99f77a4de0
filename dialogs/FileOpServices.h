#pragma once

#include "dialogs/TrashUndo.h"

#include <functional>
#include <memory>

class QWidget;

namespace lumora::platform
{
class FileOperations;
class FileOpQuestions;
} // namespace lumora::platform

namespace lumora
{

class frmFile;

// What a window needs to copy, move, rename and delete files: the service
// that does the work, the shared folder chooser, and the questions the
// service asks on the window's behalf. All of it is owned by the application
// object; a window without them offers the commands but does nothing.
struct FileOpServices {
    platform::FileOperations *operations = nullptr;
    // The one folder chooser of the program, loaded on first use.
    std::function<frmFile *()> chooser;
    // Confirmations, collisions, errors and progress, shown over `parent`.
    std::function<std::unique_ptr<platform::FileOpQuestions>(QWidget *parent)> questions;
    // The files sent to the Trash last, for Ctrl+Z; the owner may share one
    // between windows.
    std::shared_ptr<TrashUndo> trashUndo = std::make_shared<TrashUndo>();

    bool usable() const { return operations && questions; }
};

} // namespace lumora
