// A save that cannot complete leaves an existing file byte for byte as it
// was, leaves no temporary file behind and says why.
#include "imaging/ImageWriter.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <csignal>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace lumora;
using namespace lumora::imaging;
using lumora::test::TempDir;

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Noise does not compress: the encoded file is about as large as the pixels.
QImage noise(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    quint32 seed = 99;
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            line[x] = 0xFF000000u | (seed >> 8);
        }
    }
    return img;
}

const QByteArray kOld("the picture that was here before\n");

// As root, permissions do not stop a write. This drops the capabilities that
// override them from this thread (they are per thread) for its lifetime.
class WithoutFileOverrides
{
public:
    WithoutFileOverrides()
    {
        if (geteuid() != 0)
            return;
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        const quint32 drop =
            (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
        reduced[0].effective &= ~drop;
        m_active = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutFileOverrides()
    {
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
    }
    bool ok() const { return geteuid() != 0 || m_active; }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

} // namespace

TEST(SaveFaults, ReadOnlyFolderKeepsTheOldFile)
{
    TempDir dir;
    const QString folder = dir.mkdir("locked");
    const QString target = dir.write("locked/photo.png", kOld);
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QString error;
    bool saved = true;
    {
        WithoutFileOverrides asUser;
        ASSERT_TRUE(asUser.ok());
        saved = writeImageFile(noise(64, 64), target, FormatCode::Png, 0, true, &error);
    }
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(saved);
    EXPECT_TRUE(error.contains(target)) << error.toStdString();
    EXPECT_EQ(readAll(target), kOld);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"photo.png"});
}

TEST(SaveFaults, FailingWriteKeepsTheOldFile)
{
    // The kernel refuses writes past the file-size limit (EFBIG), as it
    // refuses them on a full disk (ENOSPC), in the middle of the file.
    TempDir dir;
    const QString target = dir.write("photo.bmp", kOld);
    struct rlimit saved {
    };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto *previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    bool ok = true;
    for (FormatCode code : {FormatCode::Bmp, FormatCode::Psd, FormatCode::Emf}) {
        ok = ok && !writeImageFile(noise(256, 256), target, code, 0, true, &error);
        EXPECT_FALSE(error.isEmpty());
        error.clear();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(ok) << "a save past the limit reported success";
    EXPECT_EQ(readAll(target), kOld);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"photo.bmp"});
}

TEST(SaveFaults, FullSmallFileSystemKeepsTheOldFile)
{
    TempDir dir;
    const QString mountPoint = dir.mkdir("small");
    const QByteArray where = QFile::encodeName(mountPoint);
    if (mount("lumora-test", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=128k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here (needs CAP_SYS_ADMIN)";
    const QString target = mountPoint + QStringLiteral("/photo.tif");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kOld);
    }
    QString error;
    const bool saved = writeImageFile(noise(200, 200), target, FormatCode::Tiff, 0, true, &error);
    const QByteArray after = readAll(target);
    const QStringList left = QDir(mountPoint).entryList(QDir::Files | QDir::Hidden);
    umount2(where.constData(), MNT_DETACH);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(after, kOld);
    EXPECT_EQ(left, QStringList{"photo.tif"});
}

TEST(SaveFaults, VanishedFolderAndEncoderErrorsAreReported)
{
    TempDir dir;
    QString error;
    EXPECT_FALSE(
        writeImageFile(noise(8, 8), dir.file("gone/photo.png"), FormatCode::Png, 0, true, &error));
    EXPECT_TRUE(error.contains("does not exist")) << error.toStdString();

    // libjpeg refuses sides over 65500 pixels: the encoder fails before any
    // file is touched.
    const QString target = dir.write("wide.jpg", kOld);
    QImage wide(70000, 1, QImage::Format_RGB32);
    wide.fill(Qt::gray);
    error.clear();
    EXPECT_FALSE(writeImageFile(wide, target, FormatCode::Jpeg, 0, true, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readAll(target), kOld);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"wide.jpg"});
}
