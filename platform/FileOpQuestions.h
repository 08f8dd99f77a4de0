#pragma once

#include <QString>
#include <QStringList>

namespace lumora::platform
{

// What the file-operation service asks the user and shows while it works.
// The service runs on the calling (user-interface) thread and calls these in
// between steps; an implementation may process pending events in progress().
class FileOpQuestions
{
public:
    enum class Collision { Replace, ReplaceAll, Skip, SkipAll, KeepBoth, Cancel };

    virtual ~FileOpQuestions() = default;

    // The caller's operation code (1 copy, 2 trash, 3 delete, 4 move, 5
    // rename) and destination, told before the request runs, so questions
    // can be worded and limited to it: a rename never replaces another file,
    // so its collision question offers no Replace.
    virtual void setOperation(int opType, const QString &destination = {})
    {
        m_opType = opType;
        m_destination = destination;
    }
    int operation() const { return m_opType; }
    const QString &destination() const { return m_destination; }

    // Before anything goes to the Trash: one named file, or the count.
    virtual bool confirmTrash(const QStringList &paths) = 0;
    // Before anything is deleted for good.
    virtual bool confirmDelete(const QStringList &paths) = 0;
    // A file cannot go to any Trash (reason says why): true deletes it for
    // good, false leaves it where it is and cancels what is left.
    virtual bool confirmDeleteUntrashable(const QString &path, const QString &reason) = 0;
    // target already exists. moreToCome: further files follow in this
    // operation, so the "...All" answers make sense.
    virtual Collision askCollision(const QString &source, const QString &target,
                                   bool moreToCome) = 0;
    // A failure the user has to hear of; the operation stops after it.
    virtual void showError(const QString &message) = 0;

    // Progress of one operation: begin once, progress as work is done (bytes
    // over the total of all files), end once. progress() answers false when
    // the user asked to cancel; the service then stops at the next point
    // where every file is whole at its source or complete at its target.
    virtual void begin(const QString &title, int fileCount, qint64 totalBytes) = 0;
    virtual bool progress(int filesDone, qint64 bytesDone, const QString &currentPath) = 0;
    virtual void end() = 0;

private:
    int m_opType = 0;
    QString m_destination;
};

// Answers every question with a fixed choice and shows nothing: for callers
// without a user (batch work, benchmarks).
class SilentFileOpQuestions : public FileOpQuestions
{
public:
    explicit SilentFileOpQuestions(bool confirm = true, Collision onCollision = Collision::Cancel)
        : m_confirm(confirm), m_collision(onCollision)
    {
    }
    bool confirmTrash(const QStringList &) override { return m_confirm; }
    bool confirmDelete(const QStringList &) override { return m_confirm; }
    bool confirmDeleteUntrashable(const QString &, const QString &) override { return false; }
    Collision askCollision(const QString &, const QString &, bool) override { return m_collision; }
    void showError(const QString &message) override { lastError = message; }
    void begin(const QString &, int, qint64) override {}
    bool progress(int, qint64, const QString &) override { return true; }
    void end() override {}

    QString lastError;

private:
    bool m_confirm;
    Collision m_collision;
};

} // namespace lumora::platform
