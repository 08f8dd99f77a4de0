#pragma once

#include <QByteArray>
#include <QTemporaryDir>

#include <sys/mount.h>

namespace lumora::test
{

// A small tmpfs of its own, for a full disk or a read-only folder. Mounting
// needs privileges; ok() is false where the test may not mount, and the test
// then falls back to injected failures.
class ScratchMount
{
public:
    explicit ScratchMount(const QByteArray &options)
    {
        m_dir.setAutoRemove(true);
        m_path = QFile::encodeName(m_dir.path());
        m_ok = ::mount("tmpfs", m_path.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~ScratchMount()
    {
        if (m_ok)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;

    bool ok() const { return m_ok; }
    QString path() const { return QFile::decodeName(m_path); }
    // Makes the whole mount read-only (or writable again).
    bool setReadOnly(bool ro)
    {
        return m_ok && ::mount("tmpfs", m_path.constData(), "tmpfs",
                               MS_REMOUNT | (ro ? MS_RDONLY : 0), nullptr) == 0;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
    bool m_ok = false;
};

} // namespace lumora::test
