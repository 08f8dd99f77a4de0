#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
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

// A folder shown a second time through a bind mount: the same file system,
// another mount (renames between the two fail with EXDEV).
class BindMount
{
public:
    explicit BindMount(const QString &folder)
    {
        m_dir.setAutoRemove(true);
        m_path = QFile::encodeName(m_dir.path());
        m_ok = ::mount(QFile::encodeName(folder).constData(), m_path.constData(), nullptr, MS_BIND,
                       nullptr) == 0;
    }
    ~BindMount()
    {
        if (m_ok)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    BindMount(const BindMount &) = delete;
    BindMount &operator=(const BindMount &) = delete;
    bool ok() const { return m_ok; }
    QString path() const { return QFile::decodeName(m_path); }

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
    bool m_ok = false;
};

// A small exFAT disk through FUSE (mkfs.exfat on a file, a loop device,
// mount.exfat-fuse): no unnamed files, no hard links, no RENAME_NOREPLACE.
// ok() is false where any step is not possible here.
class ExfatMount
{
public:
    ExfatMount()
    {
        m_dir.setAutoRemove(true);
        const QString image = m_dir.path() + QStringLiteral("/disk.img");
        m_point = m_dir.path() + QStringLiteral("/mnt");
        QFile f(image);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(qint64(32) << 20))
            return;
        f.close();
        if (!QDir().mkpath(m_point) || !run("mkfs.exfat", {image}))
            return;
        QProcess p;
        p.start(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), image});
        if (!p.waitForFinished(20000) || p.exitCode() != 0)
            return;
        m_loop = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
        m_ok = !m_loop.isEmpty() && run("mount.exfat-fuse", {m_loop, m_point});
    }
    ~ExfatMount()
    {
        if (m_ok)
            run("umount", {m_point});
        if (!m_loop.isEmpty())
            run("losetup", {QStringLiteral("-d"), m_loop});
    }
    ExfatMount(const ExfatMount &) = delete;
    ExfatMount &operator=(const ExfatMount &) = delete;
    bool ok() const { return m_ok; }
    QString path() const { return m_point; }

private:
    static bool run(const char *program, const QStringList &args)
    {
        QProcess p;
        p.start(QString::fromLatin1(program), args);
        return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }
    QTemporaryDir m_dir;
    QString m_point;
    QString m_loop;
    bool m_ok = false;
};

} // namespace lumora::test
