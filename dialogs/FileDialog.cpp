#include "dialogs/FileDialog.h"

#include "dialogs/Prompter.h"

#include <QDir>

namespace lumora
{

bool FileDialog::ShowSave(Prompter &prompter, QWidget *parent)
{
    Prompter::SaveRequest request;
    request.title = DialogTitle;
    request.filter = Filter;
    request.filterIndex = FilterIndex;
    request.defaultSuffix = DefaultExt;
    request.confirmOverwrite = (Flags & OverwritePrompt) != 0;
    if (!InitDir.isEmpty() && !FileName.isEmpty())
        request.initialPath = QDir(InitDir).filePath(FileName);
    else
        request.initialPath = InitDir.isEmpty() ? FileName : InitDir;

    const std::optional<Prompter::FileChoice> choice = prompter.saveFileAs(parent, request);
    if (!choice || choice->fileNames.isEmpty())
        return false;
    FileName = choice->folder + choice->fileNames.constFirst();
    FilterIndex = choice->filterIndex;
    return true;
}

} // namespace lumora
