#include "dialogs/FileOpCommand.h"

#include "dialogs/Prompter.h"
#include "dialogs/TrashUndo.h"
#include "dialogs/frmFile.h"
#include "platform/FileOpQuestions.h"

#include <QFileInfo>
#include <QPointer>
#include <QWidget>

namespace lumora
{

namespace
{

// By the path's bytes: a name that is not UTF-8 is carried in the service's form.
bool stillThere(const QString &path)
{
    return platform::pathFacts(path).exists;
}

} // namespace

std::optional<QString> askFileOpTarget(const FileOpServices &services, Prompter *prompter,
                                       QWidget *parent, FileOpType type, const QString &source)
{
    const QFileInfo info(source);
    QPointer<QWidget> alive(parent);
    switch (type) {
    case FileOpType::Copy:
    case FileOpType::Move: {
        frmFile *chooser = services.chooser ? services.chooser() : nullptr;
        if (!chooser)
            return std::nullopt;
        const QString folder = chooser->ShowFileForm(int(type), platform::displayPath(source));
        if ((parent && !alive) || folder.isEmpty())
            return std::nullopt;
        return folder + info.fileName();
    }
    case FileOpType::Trash:
    case FileOpType::Delete:
        return QString();
    case FileOpType::Rename: {
        if (!prompter)
            return std::nullopt;
        // A name that is not UTF-8 is offered as it shows; given back
        // unchanged it is no new name.
        const QString shown = platform::displayPath(info.fileName());
        const std::optional<QString> name = prompter->inputText(
            parent, QStringLiteral("Rename File"), QStringLiteral("File Name:"), shown);
        if (parent && !alive)
            return std::nullopt;
        if (name && *name == shown)
            return std::nullopt;
        // Cancel and an empty answer leave the folder itself, which is refused
        // along with the name of a sub-folder.
        const QString target = info.path() + QLatin1Char('/') + name.value_or(QString());
        if (platform::pathFacts(target).isFolder || target == source)
            return std::nullopt;
        return target;
    }
    }
    return std::nullopt;
}

FileOpOutcome runFileOp(const FileOpServices &services, QWidget *parent, FileOpType type,
                        const QStringList &sources, const QString &target)
{
    FileOpOutcome out;
    if (!services.usable() || sources.isEmpty())
        return out;
    // A file in the root folder gives "//name"; one separator is meant.
    QString destination = target;
    while (destination.contains(QStringLiteral("//")))
        destination.replace(QStringLiteral("//"), QStringLiteral("/"));
    // Copy To and Move To name the folder: every file keeps its own name,
    // also when the selection does not hold the item the target was named after.
    if ((type == FileOpType::Copy || type == FileOpType::Move) && !destination.isEmpty())
        destination = QFileInfo(destination).path() + QLatin1Char('/');
    const platform::FileOpRequest request =
        platform::FileOpRequest::forOperation(int(type), sources, destination);
    const std::unique_ptr<platform::FileOpQuestions> questions = services.questions(parent);
    if (!questions)
        return out;
    questions->setOperation(int(type), destination);
    out.sent = true;
    out.answer = services.operations->perform(request, *questions, &out.result);

    if (type == FileOpType::Rename) {
        const qsizetype i = out.result.done.indexOf(sources.first());
        if (i >= 0 && i < out.result.targets.size() && out.result.targets[i] != sources.first())
            out.renamedTo = out.result.targets[i];
        if (!out.renamedTo.isEmpty())
            out.left << sources.first();
    } else if (type != FileOpType::Copy) {
        // The disk decides, not the answer: after a cancel or a failure
        // part-way some files have gone already, and one may have vanished
        // on its own meanwhile.
        for (const QString &s : sources)
            if (!stillThere(s))
                out.left << s;
    }

    if (type == FileOpType::Trash && services.trashUndo) {
        QList<TrashUndo::Entry> batch;
        for (qsizetype i = 0; i < out.result.done.size() && i < out.result.targets.size(); ++i)
            if (!out.result.targets[i].isEmpty())
                batch << TrashUndo::Entry{out.result.done[i], out.result.targets[i]};
        services.trashUndo->remember(batch);
    }
    return out;
}

QStringList undoLastTrash(const FileOpServices &services, Prompter *prompter, QWidget *parent)
{
    if (!services.trashUndo || !services.trashUndo->canUndo())
        return {};
    const TrashUndo::Undone undone = services.trashUndo->undoLast();
    if (!undone.message.isEmpty() && prompter)
        prompter->message(parent, undone.message, Prompter::Icon::Warning, Prompter::Buttons::Ok,
                          QStringLiteral("Undo Delete"));
    return undone.restored;
}

} // namespace lumora
