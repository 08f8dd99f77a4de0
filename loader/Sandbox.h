#pragma once

#include <QString>

// The limits a loader process puts on itself once its libraries and their
// data files are loaded: what it may still do is read files it is handed or
// already knows, compute, and answer on its socket.
namespace lumora::loader
{

struct SandboxState {
    bool sandboxed = false;
    QString description; // one sentence, for the log and About's System Info
};

// Caps the address space at the current size plus `headroom` bytes, so a
// decode that needs more fails inside this process.
bool capAddressSpace(qint64 headroom, QString *error);

// PR_SET_NO_NEW_PRIVS and the seccomp filter. Where the kernel refuses the
// filter the process goes on without it and the state says so.
SandboxState enterSandbox();

} // namespace lumora::loader
