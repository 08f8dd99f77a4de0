#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace lumora
{

// What was sent to the Trash last, so Ctrl+Z can put it back. One memory
// serves the viewer and the grid alike: the last Delete of either is undone.
class TrashUndo
{
public:
    struct Entry {
        QString original;  // where the file was
        QString trashedAs; // the file inside the Trash's files/ folder
    };
    struct Undone {
        QStringList restored; // originals back at their place, in order
        QString message;      // why some could not come back ("" when all did)
    };

    // One Delete's files; an empty batch changes nothing.
    void remember(const QList<Entry> &batch);
    bool canUndo() const { return !m_batches.isEmpty(); }
    const QList<Entry> *last() const { return m_batches.isEmpty() ? nullptr : &m_batches.last(); }

    // Puts the files of the last Delete back where they were, never over a
    // file that has taken the place since; those stay in the Trash with
    // their .trashinfo, and the message says so.
    Undone undoLast();

    static constexpr int kDepth = 32; // Deletes remembered

private:
    QList<QList<Entry>> m_batches;
};

} // namespace lumora
