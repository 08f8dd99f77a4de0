#include "dialogs/TrashUndo.h"

#include "platform/FileOperations.h"

#include <QDir>
#include <QFileInfo>

#include <cstring>

namespace lumora
{

namespace
{

// Paths come from the service, with a name that is not UTF-8 carried byte
// for byte: they are looked at and moved by those bytes.
bool takenOrThere(const QString &path)
{
    return platform::pathFacts(path).exists;
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

QString shownName(const QString &path)
{
    return platform::displayPath(QFileInfo(path).fileName());
}

QString shownFolder(const QString &path)
{
    return QDir::toNativeSeparators(platform::displayPath(folderOf(path)));
}

// <trash>/files/<name> -> <trash>/info/<name>.trashinfo
QString infoFileOf(const QString &trashedAs)
{
    return folderOf(folderOf(trashedAs)) + QStringLiteral("/info/") +
           QFileInfo(trashedAs).fileName() + QStringLiteral(".trashinfo");
}

} // namespace

void TrashUndo::remember(const QList<Entry> &batch)
{
    if (batch.isEmpty())
        return;
    m_batches << batch;
    while (m_batches.size() > kDepth)
        m_batches.removeFirst();
}

TrashUndo::Undone TrashUndo::undoLast()
{
    Undone out;
    if (m_batches.isEmpty())
        return out;
    const QList<Entry> batch = m_batches.takeLast();
    QStringList problems;
    for (const Entry &e : batch) {
        const QString name = shownName(e.original);
        if (!takenOrThere(e.trashedAs)) {
            problems << QStringLiteral("\"%1\" is no longer in the Trash.").arg(name);
            continue;
        }
        if (!platform::pathFacts(folderOf(e.original)).isFolder) {
            problems << QStringLiteral("\"%1\" stays in the Trash: its folder \"%2\" is gone.")
                            .arg(name, shownFolder(e.original));
            continue;
        }
        if (takenOrThere(e.original)) {
            problems << QStringLiteral("\"%1\" stays in the Trash: another file has taken its "
                                       "name in \"%2\".")
                            .arg(name, shownFolder(e.original));
            continue;
        }
        // Never over a file that appeared in between.
        if (const int err = platform::moveNoReplace(e.trashedAs, e.original)) {
            problems << QStringLiteral("\"%1\" could not be put back: %2")
                            .arg(name, QString::fromLocal8Bit(std::strerror(err)));
            continue;
        }
        platform::removeFile(infoFileOf(e.trashedAs));
        out.restored << e.original;
    }
    out.message = problems.join(QLatin1Char('\n'));
    return out;
}

} // namespace lumora
