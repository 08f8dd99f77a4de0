#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;

namespace lumora::platform
{

// Starts another program as a process of its own, without waiting for it.
class ProgramStarter
{
public:
    virtual ~ProgramStarter() = default;
    // False when the program could not be started. An empty working folder
    // is the program's own folder.
    virtual bool start(const QString &program, const QStringList &arguments,
                       const QString &workingFolder) = 0;
    bool start(const QString &program) { return start(program, {}, {}); }
};

// The real one: a detached process.
class DetachedProgramStarter : public ProgramStarter
{
public:
    using ProgramStarter::start;
    bool start(const QString &program, const QStringList &arguments,
               const QString &workingFolder) override;
};

// Hands a file to the desktop's own opener and tells, once that is known,
// whether the desktop opened it. Qt's openUrl counts a launch of xdg-open as
// success even when xdg-open then finds nothing to open the file with.
class DocumentOpener
{
public:
    virtual ~DocumentOpener() = default;
    // `done` runs once, on the calling thread, later or at once; never after
    // `context` is gone.
    virtual void open(const QString &path, QObject *context, std::function<void(bool)> done) = 0;
};

// xdg-open, found in PATH, run as a process whose exit status is the answer.
class XdgDocumentOpener : public DocumentOpener
{
public:
    void open(const QString &path, QObject *context, std::function<void(bool)> done) override;
};

} // namespace lumora::platform
