#include "dialogs/TrashUndo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lumora
{

namespace
{

bool takenOrThere(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// <trash>/files/<name> -> <trash>/info/<name>.trashinfo
QString infoFileOf(const QString &trashedAs)
{
    const QFileInfo f(trashedAs);
    return QFileInfo(f.absolutePath()).absolutePath() + QStringLiteral("/info/") + f.fileName() +
           QStringLiteral(".trashinfo");
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
        const QString name = QFileInfo(e.original).fileName();
        if (!takenOrThere(e.trashedAs)) {
            problems << QStringLiteral("\"%1\" is no longer in the Trash.").arg(name);
            continue;
        }
        if (!QFileInfo(QFileInfo(e.original).absolutePath()).isDir()) {
            problems << QStringLiteral("\"%1\" stays in the Trash: its folder \"%2\" is gone.")
                            .arg(name,
                                 QDir::toNativeSeparators(QFileInfo(e.original).absolutePath()));
            continue;
        }
        if (takenOrThere(e.original)) {
            problems << QStringLiteral("\"%1\" stays in the Trash: another file has taken its "
                                       "name in \"%2\".")
                            .arg(name,
                                 QDir::toNativeSeparators(QFileInfo(e.original).absolutePath()));
            continue;
        }
        // QFile::rename never replaces a file that appeared in between: it
        // refuses an existing target (on Linux atomically, RENAME_NOREPLACE).
        QFile file(e.trashedAs);
        if (!file.rename(e.original)) {
            problems
                << QStringLiteral("\"%1\" could not be put back: %2").arg(name, file.errorString());
            continue;
        }
        QFile::remove(infoFileOf(e.trashedAs));
        out.restored << e.original;
    }
    out.message = problems.join(QLatin1Char('\n'));
    return out;
}

} // namespace lumora
