#pragma once

#include "platform/FileOpQuestions.h"

#include <QStringList>

#include <deque>

namespace lumora::test
{

// Answers the file-operation service from queues and records what it asked;
// an empty queue answers no / Cancel, so a test never blocks.
class ScriptedFileOpQuestions : public platform::FileOpQuestions
{
public:
    std::deque<bool> confirms;        // confirmTrash / confirmDelete
    std::deque<bool> untrashable;     // confirmDeleteUntrashable
    std::deque<Collision> collisions; // askCollision
    int cancelAtProgress = -1;        // progress() call (0-based) that answers Cancel

    QStringList asked;  // "trash N", "delete N", "untrashable <path>", "collision <target>"
    QStringList errors; // showError texts
    int progressCalls = 0;
    int begun = 0;
    int ended = 0;

    bool confirmTrash(const QStringList &paths) override
    {
        asked << QStringLiteral("trash %1").arg(paths.size());
        return pop(confirms, false);
    }
    bool confirmDelete(const QStringList &paths) override
    {
        asked << QStringLiteral("delete %1").arg(paths.size());
        return pop(confirms, false);
    }
    bool confirmDeleteUntrashable(const QString &path, const QString &) override
    {
        asked << QStringLiteral("untrashable ") + path;
        return pop(untrashable, false);
    }
    Collision askCollision(const QString &, const QString &target, bool) override
    {
        asked << QStringLiteral("collision ") + target;
        return pop(collisions, Collision::Cancel);
    }
    void showError(const QString &message) override { errors << message; }
    void begin(const QString &, int, qint64) override { ++begun; }
    bool progress(int, qint64, const QString &) override
    {
        return progressCalls++ != cancelAtProgress;
    }
    void end() override { ++ended; }

private:
    template <typename T> static T pop(std::deque<T> &q, T fallback)
    {
        if (q.empty())
            return fallback;
        T v = q.front();
        q.pop_front();
        return v;
    }
};

} // namespace lumora::test
