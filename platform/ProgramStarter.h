#pragma once

#include <QString>

namespace lumora::platform
{

// Starts another program as a process of its own, without waiting for it.
class ProgramStarter
{
public:
    virtual ~ProgramStarter() = default;
    // False when the program could not be started.
    virtual bool start(const QString &program) = 0;
};

// The real one: a detached process in the program's own folder.
class DetachedProgramStarter : public ProgramStarter
{
public:
    bool start(const QString &program) override;
};

} // namespace lumora::platform
