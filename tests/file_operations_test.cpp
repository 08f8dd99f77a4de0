// The file-operation service against real folders, a real Trash under a
// temporary data home, and a second file system (/dev/shm).

#include "app/ConvertJobs.h"
#include "imaging/ImageWriter.h"
#include "platform/AtomicFile.h"
#include "platform/FileOperations.h"
#include "platform/linux/LinuxFileOperations.h"
#include "support/FaultyIo.h"
#include "support/ScratchMount.h"
#include "support/ScriptedFileOpQuestions.h"
#include "support/TempDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace lumora;
using namespace lumora::platform;
using lumora::test::ScriptedFileOpQuestions;
using lumora::test::TempDir;
using Collision = FileOpQuestions::Collision;

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray pattern(int size, char seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(seed + i * 31 + (i >> 9));
    return b;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

dev_t deviceOf(const QString &path)
{
    struct stat st {
    };
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_dev;
}

// Extended attributes of a path by name (ACLs among them), where the file
// system keeps them.
QMap<QByteArray, QByteArray> xattrs(const QString &path)
{
    QMap<QByteArray, QByteArray> out;
    const QByteArray p = QFile::encodeName(path);
    char names[4096];
    const ssize_t n = ::llistxattr(p.constData(), names, sizeof names);
    for (ssize_t at = 0; at < n;) {
        const char *name = names + at;
        at += ssize_t(std::strlen(name)) + 1;
        char value[4096];
        const ssize_t len = ::lgetxattr(p.constData(), name, value, sizeof value);
        if (len >= 0 && QByteArray(name) != "security.selinux")
            out.insert(name, QByteArray(value, len));
    }
    return out;
}

bool setXattr(const QString &path, const char *name, const QByteArray &value)
{
    return ::setxattr(QFile::encodeName(path).constData(), name, value.constData(),
                      size_t(value.size()), 0) == 0;
}

bool runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A process id that no process has: a child that has ended and been reaped.
pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

class FileOperationsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        trashHome = dataHome.mkdir(QStringLiteral("share")) + QStringLiteral("/Trash");
        ops = std::make_unique<LinuxFileOperations>(io, QFile::encodeName(trashHome));
    }
    int run(int opType, const QStringList &sources, const QString &dest = {})
    {
        return ops->perform(FileOpRequest::forOperation(opType, sources, dest), q, &result);
    }

    TempDir dir;
    TempDir dataHome;
    QString trashHome;
    SysIo io;
    std::unique_ptr<LinuxFileOperations> ops;
    ScriptedFileOpQuestions q;
    FileOpResult result;
};

TEST(FileOpRequestTest, OperationCodesGiveTheShellFunctionAndFlags)
{
    EXPECT_EQ(FileOpRequest::forOperation(1, {"/a"}, "/b/").function, FileOpRequest::Copy);
    EXPECT_EQ(FileOpRequest::forOperation(2, {"/a"}, "/b").flags, FileOpRequest::AllowUndo);
    EXPECT_TRUE(FileOpRequest::forOperation(2, {"/a"}, "/b").destination.isEmpty());
    EXPECT_EQ(FileOpRequest::forOperation(3, {"/a"}, {}).flags, 0u);
    EXPECT_EQ(FileOpRequest::forOperation(3, {"/a"}, {}).function, FileOpRequest::Delete);
    EXPECT_EQ(FileOpRequest::forOperation(4, {"/a"}, "/b/").function, FileOpRequest::Move);
    EXPECT_EQ(FileOpRequest::forOperation(5, {"/a"}, "/b").function, FileOpRequest::Rename);
    for (int code = 1; code <= 5; ++code)
        EXPECT_EQ(FileOpRequest::forOperation(code, {"/a"}, "/b").operationCode(), code);
    EXPECT_EQ(FileOpRequest::forOperation(9, {"/a"}, "/b").operationCode(), 0);
}

TEST_F(FileOperationsTest, UnknownFunctionOrNoSourceIsRefused)
{
    const QString a = dir.write("a.jpg", "A");
    EXPECT_NE(run(9, {a}, dir.mkdir("t")), 0);
    EXPECT_EQ(result.code, FileOpResult::BadRequest);
    EXPECT_NE(run(1, {}, dir.mkdir("t")), 0);
    EXPECT_NE(run(1, {QStringLiteral("relative.jpg")}, dir.mkdir("t")), 0);
    EXPECT_EQ(readAll(a), "A");
}

TEST_F(FileOperationsTest, CopyIntoFolderKeepsSourceDataAndTimes)
{
    const QByteArray data = pattern(300000, 7);
    const QString a = dir.write("src/a.jpg", data);
    struct timespec times[2] = {{1000000000, 0}, {1200000000, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(a).constData(), times, 0);
    const QString target = dir.mkdir("target");

    ASSERT_EQ(run(1, {a}, target + "/"), 0) << q.errors.join("\n").toStdString();
    EXPECT_EQ(readAll(target + "/a.jpg"), data);
    EXPECT_EQ(readAll(a), data);
    EXPECT_EQ(entries(target), QStringList{"a.jpg"}); // no temporary left behind
    EXPECT_EQ(QFileInfo(target + "/a.jpg").lastModified().toSecsSinceEpoch(), 1200000000);
    EXPECT_EQ(result.done, QStringList{a});
    EXPECT_EQ(result.targets, QStringList{target + "/a.jpg"});
    EXPECT_TRUE(q.asked.isEmpty());
}

TEST_F(FileOperationsTest, CopyToAFullTargetPathAndSeveralFilesToTheTargetsFolder)
{
    const QString a = dir.write("src/a.jpg", "A");
    const QString b = dir.write("src/b.jpg", "B");
    const QString target = dir.mkdir("target");
    ASSERT_EQ(run(1, {a}, target + "/renamed.jpg"), 0);
    EXPECT_EQ(readAll(target + "/renamed.jpg"), "A");
    // Two files and a file path (the current item's name joined on): both
    // land in that folder under their own names, no folder named like a file.
    ASSERT_EQ(run(1, {a, b}, target + "/a.jpg"), 0);
    EXPECT_EQ(entries(target), (QStringList{"a.jpg", "b.jpg", "renamed.jpg"}));
    EXPECT_EQ(readAll(target + "/b.jpg"), "B");
}

TEST_F(FileOperationsTest, CopyCollisionAnswers)
{
    const QString a = dir.write("src/a.jpg", "NEW");
    const QString target = dir.mkdir("target");
    const QString old = dir.write("target/a.jpg", "OLD");

    q.collisions = {Collision::Skip};
    EXPECT_EQ(run(1, {a}, target), 0);
    EXPECT_EQ(readAll(old), "OLD");
    EXPECT_EQ(result.skipped, QStringList{a});

    q.collisions = {Collision::Cancel};
    EXPECT_EQ(run(1, {a}, target), int(FileOpResult::Cancelled));
    EXPECT_EQ(readAll(old), "OLD");

    q.collisions = {Collision::KeepBoth, Collision::KeepBoth};
    EXPECT_EQ(run(1, {a}, target), 0);
    EXPECT_EQ(run(1, {a}, target), 0);
    EXPECT_EQ(readAll(old), "OLD");
    EXPECT_EQ(readAll(target + "/a (2).jpg"), "NEW");
    EXPECT_EQ(readAll(target + "/a (3).jpg"), "NEW");

    q.collisions = {Collision::Replace};
    EXPECT_EQ(run(1, {a}, target), 0);
    EXPECT_EQ(readAll(old), "NEW");
    EXPECT_EQ(entries(target), (QStringList{"a (2).jpg", "a (3).jpg", "a.jpg"}));
    EXPECT_EQ(q.asked.size(), 5);
    EXPECT_TRUE(q.errors.isEmpty());
}

TEST_F(FileOperationsTest, KeepBothNeverTakesANameAnotherFileOfTheSameCopyIsGetting)
{
    // "a.jpg" kept beside the old one becomes "a (2).jpg", which is also the
    // name of the next file: each file is asked about as if the one before
    // were already there, in both orders, whether copied or moved.
    for (const bool move : {false, true}) {
        for (const bool numberedFirst : {false, true}) {
            TempDir d;
            const QString target = d.mkdir("target");
            d.write("target/a.jpg", "OLD");
            const QString plain = d.write("src/a.jpg", "PLAIN");
            const QString numbered = d.write("src/a (2).jpg", "NUMBERED");
            const QStringList sources =
                numberedFirst ? QStringList{numbered, plain} : QStringList{plain, numbered};
            q = ScriptedFileOpQuestions();
            q.collisions = {Collision::KeepBoth, Collision::KeepBoth};
            const QString where =
                QStringLiteral("move %1, numbered first %2").arg(move).arg(numberedFirst);
            EXPECT_EQ(run(move ? 4 : 1, sources, target + "/"), 0)
                << where.toStdString() << q.errors.join("\n").toStdString();
            EXPECT_EQ(readAll(target + "/a.jpg"), "OLD") << where.toStdString();
            EXPECT_EQ(entries(target).size(), 3) << where.toStdString();
            QStringList got;
            for (const QString &n : entries(target))
                got << n + "=" + QString::fromLatin1(readAll(target + "/" + n));
            EXPECT_TRUE(got.contains("a (2).jpg=" + QString(numberedFirst ? "NUMBERED" : "PLAIN")))
                << where.toStdString() << " " << got.join(", ").toStdString();
            // Kept beside "a (2).jpg", "a (2).jpg" itself is numbered on its own name.
            EXPECT_TRUE(got.contains(numberedFirst ? "a (3).jpg=PLAIN" : "a (2) (2).jpg=NUMBERED"))
                << where.toStdString() << " " << got.join(", ").toStdString();
            // One question per file that met a name, none about a name this copy made up.
            EXPECT_EQ(q.asked.size(), numberedFirst ? 1 : 2) << q.asked.join(", ").toStdString();
            EXPECT_TRUE(q.errors.isEmpty()) << q.errors.join("\n").toStdString();
        }
    }
}

TEST_F(FileOperationsTest, CopyOntoItselfNeverTruncatesIt)
{
    const QString a = dir.write("a.jpg", pattern(5000, 1));
    q.collisions = {Collision::Replace, Collision::KeepBoth};
    EXPECT_EQ(run(1, {a}, dir.path()), 0);
    EXPECT_EQ(readAll(a), pattern(5000, 1));
    EXPECT_EQ(run(1, {a}, dir.path()), 0);
    EXPECT_EQ(readAll(dir.file("a (2).jpg")), pattern(5000, 1));
}

TEST_F(FileOperationsTest, ReplaceAllAndSkipAllAnswerTheRestOfTheFiles)
{
    QStringList sources;
    const QString target = dir.mkdir("target");
    for (const char *n : {"a.jpg", "b.jpg", "c.jpg"}) {
        sources << dir.write(QStringLiteral("src/") + n, "NEW");
        dir.write(QStringLiteral("target/") + n, "OLD");
    }
    q.collisions = {Collision::Skip, Collision::ReplaceAll};
    EXPECT_EQ(run(1, sources, target), 0);
    EXPECT_EQ(readAll(target + "/a.jpg"), "OLD");
    EXPECT_EQ(readAll(target + "/b.jpg"), "NEW");
    EXPECT_EQ(readAll(target + "/c.jpg"), "NEW");
    EXPECT_EQ(q.asked.size(), 2);
}

TEST_F(FileOperationsTest, MoveOnOneFileSystemIsARename)
{
    const QString a = dir.write("src/a.jpg", pattern(4096, 3));
    struct stat before {
    };
    ASSERT_EQ(::stat(QFile::encodeName(a).constData(), &before), 0);
    const ino_t ino = before.st_ino;
    const QString target = dir.mkdir("target");
    ASSERT_EQ(run(4, {a}, target + "/a.jpg"), 0);
    EXPECT_FALSE(QFileInfo::exists(a));
    struct stat st {
    };
    ::stat(QFile::encodeName(target + "/a.jpg").constData(), &st);
    EXPECT_EQ(st.st_ino, ino);
    EXPECT_EQ(readAll(target + "/a.jpg"), pattern(4096, 3));
}

TEST_F(FileOperationsTest, MoveAcrossFileSystemsCopiesVerifiesThenRemoves)
{
    QTemporaryDir shm(QStringLiteral("/dev/shm/lumora-fileops-XXXXXX"));
    ASSERT_TRUE(shm.isValid());
    ASSERT_NE(deviceOf(shm.path()), deviceOf(dir.path()))
        << "/dev/shm is not a second file system here";
    const QByteArray data = pattern(3 << 20, 9);
    const QString a = dir.write("a.jpg", data);
    ASSERT_EQ(run(4, {a}, shm.path() + "/"), 0) << q.errors.join("\n").toStdString();
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_EQ(readAll(shm.path() + "/a.jpg"), data);
    // and back, onto a taken name the user keeps
    const QString back = dir.write("a.jpg", "OTHER");
    q.collisions = {Collision::KeepBoth};
    ASSERT_EQ(run(4, {shm.path() + "/a.jpg"}, dir.path()), 0);
    EXPECT_EQ(readAll(back), "OTHER");
    EXPECT_EQ(readAll(dir.file("a (2).jpg")), data);
    EXPECT_TRUE(entries(shm.path()).isEmpty());
}

TEST_F(FileOperationsTest, RenameRules)
{
    const QString a = dir.write("a.jpg", "A");
    dir.write("taken.jpg", "T");

    EXPECT_EQ(run(5, {a}, dir.path() + "/b.jpg"), 0);
    EXPECT_EQ(readAll(dir.file("b.jpg")), "A");
    EXPECT_FALSE(QFileInfo::exists(a));

    const QString b = dir.file("b.jpg");
    EXPECT_EQ(run(5, {b}, dir.path() + "/sub/c.jpg"), int(FileOpResult::BadName));
    EXPECT_TRUE(q.errors.last().contains("\"/\""));
    EXPECT_EQ(run(5, {b}, dir.path() + "/"), int(FileOpResult::BadName));
    EXPECT_TRUE(q.errors.last().contains("empty"));
    EXPECT_EQ(run(5, {b}, dir.path() + "/.."), int(FileOpResult::BadName));

    // case only: a new name on this (case-sensitive) file system, still the same file
    EXPECT_EQ(run(5, {b}, dir.path() + "/B.jpg"), 0);
    EXPECT_EQ(entries(dir.path()), (QStringList{"B.jpg", "taken.jpg"}));

    q.collisions = {Collision::Skip};
    EXPECT_EQ(run(5, {dir.file("B.jpg")}, dir.file("taken.jpg")), 0);
    EXPECT_EQ(readAll(dir.file("taken.jpg")), "T");
    q.collisions = {Collision::KeepBoth};
    EXPECT_EQ(run(5, {dir.file("B.jpg")}, dir.file("taken.jpg")), 0);
    EXPECT_EQ(readAll(dir.file("taken (2).jpg")), "A");
    EXPECT_EQ(readAll(dir.file("taken.jpg")), "T");

    // A drive-root style doubled separator is the same folder.
    const QString c = dir.write("c.jpg", "C");
    EXPECT_EQ(run(5, {c}, dir.path() + "//d.jpg"), 0);
    EXPECT_EQ(readAll(dir.file("d.jpg")), "C");
}

TEST_F(FileOperationsTest, RenameNeverReplacesAnotherFile)
{
    // Whatever the answer to "the name is taken", the other file stays as it
    // was; Keep Both reports the name the file really got.
    struct Case {
        Collision answer;
        int code;
        const char *renamedTo; // nullptr: the file keeps its name
    };
    const Case cases[] = {
        {Collision::Replace, FileOpResult::NameTaken, nullptr},
        {Collision::ReplaceAll, FileOpResult::NameTaken, nullptr},
        {Collision::Skip, 0, nullptr},
        {Collision::Cancel, FileOpResult::Cancelled, nullptr},
        {Collision::KeepBoth, 0, "i (2).jpg"},
    };
    for (const Case &c : cases) {
        TempDir d;
        const QString img = d.write("IMG_0002.jpg", "MINE");
        const QString taken = d.write("i.jpg", "OTHER");
        q.collisions = {c.answer};
        q.errors.clear();
        EXPECT_EQ(run(5, {img}, taken), c.code) << int(c.answer);
        EXPECT_EQ(readAll(taken), "OTHER") << int(c.answer);
        if (c.renamedTo) {
            EXPECT_EQ(readAll(d.file(c.renamedTo)), "MINE");
            EXPECT_EQ(result.done, QStringList{img});
            EXPECT_EQ(result.targets, QStringList{d.file(c.renamedTo)});
        } else {
            EXPECT_EQ(readAll(img), "MINE") << int(c.answer);
            EXPECT_TRUE(result.targets.isEmpty());
        }
        if (c.code == FileOpResult::NameTaken) {
            ASSERT_EQ(q.errors.size(), 1);
            EXPECT_TRUE(q.errors.last().contains("never replaces"))
                << q.errors.last().toStdString();
        }
    }
}

TEST_F(FileOperationsTest, KeepBothOnALongNameEndsWithAMessage)
{
    // "stem (2).jpg" would pass the 255-byte limit: the search must stop at
    // the first such error instead of counting on for ever.
    const QString longName = QString(250, QLatin1Char('n')) + QStringLiteral(".jpg");
    const QString taken = dir.write(longName, "OTHER");
    const QString mine = dir.write("src/" + longName, "MINE");
    const QString other = dir.write("mine.jpg", "MINE2");
    for (int op : {1, 4, 5}) {
        q.collisions = {Collision::KeepBoth};
        q.errors.clear();
        const QString source = op == 5 ? other : mine;
        EXPECT_EQ(run(op, {source}, op == 5 ? taken : dir.path()), int(FileOpResult::BadName))
            << op;
        ASSERT_EQ(q.errors.size(), 1) << op;
        EXPECT_TRUE(q.errors.last().contains("too long")) << q.errors.last().toStdString();
        EXPECT_EQ(readAll(taken), "OTHER");
        EXPECT_TRUE(QFileInfo::exists(source));
    }
}

TEST_F(FileOperationsTest, TrashGoesToTheTopOfTheRealMount)
{
    // Through a linked folder onto another disk, and through a bind mount of
    // a folder of the home disk: the Trash at the top of the mount that
    // really holds the file, with Path relative to that top.
    lumora::test::ScratchMount disk("size=4m");
    if (!disk.ok())
        GTEST_SKIP() << "cannot mount here";
    const QString uid = QString::number(::getuid());
    ASSERT_TRUE(QDir().mkpath(disk.path() + "/photos/2019"));
    ASSERT_TRUE(QFile::link(disk.path() + "/photos/2019", dir.file("linked")));
    const QString homeSide = dir.mkdir("bound");
    lumora::test::BindMount bound(homeSide);
    ASSERT_TRUE(bound.ok());
    struct Case {
        const char *label;
        QString file;  // where the user sees it
        QString trash; // the Trash it must reach
        const char *infoPath;
        bool mountIds;
    };
    const Case cases[] = {
        {"linked folder", dir.file("linked") + "/a.jpg", disk.path() + "/.Trash-" + uid,
         "photos/2019/a.jpg", true},
        {"linked folder, no mount ids", dir.file("linked") + "/b.jpg",
         disk.path() + "/.Trash-" + uid, "photos/2019/b.jpg", false},
        {"bind mount of a home folder", bound.path() + "/c.jpg", bound.path() + "/.Trash-" + uid,
         "c.jpg", true},
    };
    for (const Case &c : cases) {
        {
            QFile f(c.file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << c.label;
            f.write(c.label);
        }
        lumora::test::FaultyIo fio;
        fio.noMountId = !c.mountIds;
        LinuxFileOperations faulty(fio, QFile::encodeName(trashHome));
        q.confirms = {true};
        q.errors.clear();
        ASSERT_EQ(faulty.perform(FileOpRequest::forOperation(2, {c.file}, {}), q, &result), 0)
            << c.label << ": " << q.errors.join("\n").toStdString();
        const QString name = QFileInfo(c.file).fileName();
        EXPECT_EQ(result.targets.value(0), c.trash + "/files/" + name) << c.label;
        EXPECT_EQ(readAll(c.trash + "/files/" + name), c.label);
        EXPECT_TRUE(readAll(c.trash + "/info/" + name + ".trashinfo")
                        .contains(QByteArray("\nPath=") + c.infoPath + "\n"))
            << c.label;
        EXPECT_FALSE(QFileInfo::exists(disk.path() + "/photos/2019/.Trash-" + uid)) << c.label;
    }
}

TEST_F(FileOperationsTest, LongNamesKeepTheirNameWhereverTheyGo)
{
    // Names of 240-255 bytes are legal; the names of the helpers (the
    // .trashinfo, a part file) must not push them past the limit, and the
    // user's name is never cut.
    lumora::test::ExfatMount exfat;
    QTemporaryDir shm(QStringLiteral("/dev/shm/lumora-fileops-XXXXXX"));
    for (int length : {240, 250, 251, 255}) {
        const QString name = QString(length - 4, QLatin1Char('x')) + QStringLiteral(".jpg");
        const QString tag = QString::number(length);
        // The Trash, twice under the same name.
        for (int i = 0; i < 2; ++i) {
            const QString a = dir.write("t/" + name, tag.toUtf8() + char('0' + i));
            q.confirms = {true};
            ASSERT_EQ(run(2, {a}), 0) << length << q.errors.join("\n").toStdString();
            const QString entry = QFileInfo(result.targets.value(0)).fileName();
            EXPECT_EQ(readAll(result.targets.value(0)), tag.toUtf8() + char('0' + i));
            const QByteArray info = readAll(trashHome + "/info/" + entry + ".trashinfo");
            EXPECT_TRUE(info.contains("/t/" + QUrl::toPercentEncoding(name) + "\n")) << length;
        }
        // Copies through a part file, new and over an existing file.
        for (const QString &folder : {exfat.ok() ? exfat.path() : QString(), shm.path()}) {
            if (folder.isEmpty())
                continue;
            lumora::test::FaultyIo fio;
            fio.noTmpFile = true;
            LinuxFileOperations faulty(fio, QFile::encodeName(trashHome));
            const QString a = dir.write("c/" + name, "NEW" + tag.toUtf8());
            q.collisions = {Collision::Replace};
            for (int round = 0; round < 2; ++round) {
                ASSERT_EQ(faulty.perform(FileOpRequest::forOperation(1, {a}, folder), q, &result),
                          0)
                    << length << " " << folder.toStdString() << " "
                    << q.errors.join("\n").toStdString();
                EXPECT_EQ(readAll(folder + "/" + name), "NEW" + tag.toUtf8());
            }
            EXPECT_EQ(entries(folder).filter(".part"), QStringList());
            QFile::remove(folder + "/" + name);
        }
    }
    if (!exfat.ok())
        std::printf("exFAT through FUSE cannot be mounted here: /dev/shm without unnamed files "
                    "stands in\n");
}

TEST_F(FileOperationsTest, CopiesAndMovesKeepWhatCpAKeeps)
{
    QTemporaryDir shm(QStringLiteral("/dev/shm/lumora-fileops-XXXXXX"));
    const QString within = dir.mkdir("within");
    struct Case {
        const char *label;
        int op;
        QString target;
    };
    const Case cases[] = {
        {"copy within", 1, within},
        {"copy across", 1, shm.path()},
        {"move across", 4, shm.path() + "/moved"},
    };
    ASSERT_TRUE(QDir().mkpath(shm.path() + "/moved"));
    for (const Case &c : cases) {
        const QString a = dir.write(QStringLiteral("src/%1.jpg").arg(c.op), pattern(70000, 4));
        const QByteArray p = QFile::encodeName(a);
        ASSERT_TRUE(setXattr(a, "user.xdg.origin.url", "https://example.org/a.jpg"));
        ASSERT_TRUE(setXattr(a, "user.xdg.comment", "beach"));
        const bool acl = runTool("setfacl", {"-m", "u:nobody:r", a});
        ::chmod(p.constData(), 0640);
        const bool chowned = ::chown(p.constData(), 1234, 1234) == 0;
        struct timespec times[2] = {{1100000000, 5}, {1300000000, 123456789}};
        ::utimensat(AT_FDCWD, p.constData(), times, 0);
        const auto before = xattrs(a);
        struct stat was {
        };
        ::stat(p.constData(), &was);

        ASSERT_EQ(run(c.op, {a}, c.target + "/"), 0) << c.label;
        const QString t = c.target + "/" + QFileInfo(a).fileName();
        EXPECT_EQ(readAll(t), pattern(70000, 4)) << c.label;
        const auto after = xattrs(t);
        EXPECT_EQ(after.value("user.xdg.origin.url"), "https://example.org/a.jpg") << c.label;
        EXPECT_EQ(after.value("user.xdg.comment"), "beach") << c.label;
        if (acl) {
            EXPECT_EQ(after.value("system.posix_acl_access"),
                      before.value("system.posix_acl_access"))
                << c.label;
        }
        struct stat now {
        };
        ::stat(QFile::encodeName(t).constData(), &now);
        EXPECT_EQ(now.st_mode & 07777, was.st_mode & 07777) << c.label;
        EXPECT_EQ(now.st_mtim.tv_sec, 1300000000) << c.label;
        EXPECT_EQ(now.st_mtim.tv_nsec, 123456789) << c.label;
        if (chowned) {
            EXPECT_EQ(now.st_uid, 1234u) << c.label;
            EXPECT_EQ(now.st_gid, 1234u) << c.label;
        }
        EXPECT_EQ(QFileInfo::exists(a), c.op == 1) << c.label;
    }
}

TEST_F(FileOperationsTest, ARelativeLinkMovedAcrossDisksStillPointsAtItsFile)
{
    QTemporaryDir shm(QStringLiteral("/dev/shm/lumora-fileops-XXXXXX"));
    const QString photo = dir.write("photos/a.jpg", "A");
    const QString link = dir.file("photos/latest.jpg");
    ASSERT_EQ(::symlink("a.jpg", QFile::encodeName(link).constData()), 0);
    const QString dangling = dir.file("photos/gone.jpg");
    ASSERT_EQ(::symlink("nothing-here.jpg", QFile::encodeName(dangling).constData()), 0);
    ASSERT_EQ(run(4, {link, dangling}, shm.path() + "/"), 0) << q.errors.join("\n").toStdString();
    EXPECT_FALSE(QFileInfo::exists(link));
    EXPECT_EQ(readAll(shm.path() + "/latest.jpg"), "A");
    EXPECT_EQ(QFileInfo(shm.path() + "/latest.jpg").symLinkTarget(), photo);
    // A link that pointed nowhere still says what it said.
    char buf[256] = {};
    ASSERT_GT(::readlink(QFile::encodeName(shm.path() + "/gone.jpg").constData(), buf, 255), 0);
    EXPECT_STREQ(buf, "nothing-here.jpg");
}

TEST_F(FileOperationsTest, StalePartFilesOfDeadProcessesGoWhenTheFolderIsNextUsed)
{
    const QString target = dir.mkdir("target");
    const QString dead = QStringLiteral(".a.jpg.lumora-%1-x1.part").arg(deadPid());
    const QString alive = QStringLiteral(".b.jpg.lumora-%1-x2.part").arg(::getppid());
    const QString old = QStringLiteral(".c.jpg.lumora-abc123.part"); // older form, fresh
    const QString stranger = QStringLiteral(".d.jpg.part");
    for (const QString &n : {dead, alive, old, stranger})
        dir.write("target/" + n, pattern(1000, 1));
    const QString a = dir.write("a.jpg", "A");
    ASSERT_EQ(run(1, {a}, target), 0);
    EXPECT_EQ(entries(target), (QStringList{alive, old, stranger, "a.jpg"}));
}

TEST_F(FileOperationsTest, NamesThatAreNotUtf8WorkOnTheirBytes)
{
    // The helpers carry any bytes through a QString and back.
    const QByteArray samples[] = {
        "caf\xe9.jpg",           "\xff\xfe\x80.png", "ok-\xc3\xa9\xf0\x9f\x93\xb7",
        "\xed\xa0\x80surrogate", "\xc0\xafoverlong", "plain.jpg"};
    for (const QByteArray &b : samples) {
        EXPECT_EQ(pathBytes(pathFromBytes(b)), b) << b.toHex().constData();
        if (QString::fromUtf8(b).toUtf8() == b) {
            EXPECT_EQ(pathFromBytes(b), QString::fromUtf8(b));
        }
        EXPECT_FALSE(displayPath(pathFromBytes(b)).toUtf8().contains('?'));
    }
    EXPECT_EQ(displayPath(pathFromBytes("caf\xe9.jpg")), QString::fromUtf8("caf\xef\xbf\xbd.jpg"));

    QTemporaryDir shm(QStringLiteral("/dev/shm/lumora-fileops-XXXXXX"));
    const QByteArray root = QFile::encodeName(dir.path());
    const QByteArray raw = root + "/caf\xe9.jpg";
    {
        const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "BYTES", 5), 5);
        ::close(fd);
    }
    auto exists = [](const QByteArray &p) {
        struct stat st;
        return ::lstat(p.constData(), &st) == 0;
    };
    const QString source = pathFromBytes(raw);
    const QString target = dir.mkdir("target");
    ASSERT_EQ(run(1, {source}, target), 0) << q.errors.join("\n").toStdString();
    EXPECT_TRUE(exists(QFile::encodeName(target) + "/caf\xe9.jpg"));
    EXPECT_EQ(result.targets,
              QStringList{pathFromBytes(QFile::encodeName(target) + "/caf\xe9.jpg")});
    ASSERT_EQ(run(5, {source}, pathFromBytes(root + "/\xff.jpg")), 0);
    EXPECT_TRUE(exists(root + "/\xff.jpg"));
    ASSERT_EQ(run(4, {pathFromBytes(root + "/\xff.jpg")}, shm.path()), 0);
    EXPECT_TRUE(exists(QFile::encodeName(shm.path()) + "/\xff.jpg"));
    EXPECT_FALSE(exists(root + "/\xff.jpg"));
    q.confirms = {true};
    ASSERT_EQ(run(2, {pathFromBytes(QFile::encodeName(target) + "/caf\xe9.jpg")}), 0)
        << q.errors.join("\n").toStdString();
    EXPECT_TRUE(exists(QFile::encodeName(trashHome) + "/files/caf\xe9.jpg"));
    QFile info;
    const QByteArray infoPath = QFile::encodeName(trashHome) + "/info/caf\xe9.jpg.trashinfo";
    const int fd = ::open(infoPath.constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(info.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    EXPECT_TRUE(info.readAll().contains("/target/caf%E9.jpg\n"));
    q.confirms = {true};
    ASSERT_EQ(run(3, {pathFromBytes(QFile::encodeName(shm.path()) + "/\xff.jpg")}), 0);
    EXPECT_FALSE(exists(QFile::encodeName(shm.path()) + "/\xff.jpg"));
    // QDir cannot remove what it cannot name.
    ::unlink(raw.constData());
    ::unlink(infoPath.constData());
    ::unlink((QFile::encodeName(trashHome) + "/files/caf\xe9.jpg").constData());
}

TEST_F(FileOperationsTest, APartlyDoneOperationSaysWhatWasDone)
{
    lumora::test::ScratchMount small("size=300k");
    if (!small.ok())
        GTEST_SKIP() << "cannot mount a tmpfs here";
    QStringList sources;
    for (int i = 0; i < 3; ++i)
        sources << dir.write(QStringLiteral("src/%1.jpg").arg(i), pattern(120000, char(i)));
    EXPECT_EQ(run(4, sources, small.path()), int(FileOpResult::DiskFull));
    ASSERT_EQ(q.errors.size(), 1);
    const QString m = q.errors.last();
    EXPECT_TRUE(m.contains("disk is full")) << m.toStdString();
    EXPECT_TRUE(m.contains(small.path())) << m.toStdString();
    EXPECT_FALSE(m.contains("Nothing was changed")) << m.toStdString();
    EXPECT_TRUE(m.contains("2 of the 3 files had already been moved")) << m.toStdString();
    EXPECT_EQ(result.done, sources.mid(0, 2));

    // A read-only folder is named, not the file.
    ASSERT_TRUE(small.setReadOnly(true));
    q.errors.clear();
    EXPECT_EQ(run(1, {sources[2]}, small.path()), int(FileOpResult::NotPermitted));
    ASSERT_EQ(q.errors.size(), 1);
    EXPECT_TRUE(q.errors.last().contains("the folder \"" + small.path() + "\" is on a read-only"))
        << q.errors.last().toStdString();
    EXPECT_TRUE(q.errors.last().contains("Nothing was changed"));
}

TEST_F(FileOperationsTest, ManyFilesAreFlushedOnceAndNamedAfterwards)
{
    // The batch: every copy written, one flush of the file system, then the
    // names. A flush that fails leaves none of them named.
    QStringList sources;
    for (int i = 0; i < 10; ++i)
        sources << dir.write(QStringLiteral("src/%1.jpg").arg(i), pattern(3000, char(i)));
    const QString target = dir.mkdir("target");
    lumora::test::FaultyIo fio;
    LinuxFileOperations faulty(fio, QFile::encodeName(trashHome));
    ASSERT_EQ(faulty.perform(FileOpRequest::forOperation(1, sources, target), q, &result), 0);
    EXPECT_EQ(fio.counts[lumora::test::FaultyIo::Syncfs], 1);
    EXPECT_EQ(fio.counts[lumora::test::FaultyIo::Fdatasync], 0);
    EXPECT_EQ(fio.counts[lumora::test::FaultyIo::Fsync], 1); // the folder, once
    EXPECT_EQ(entries(target).size(), 10);

    const QString other = dir.mkdir("other");
    lumora::test::FaultyIo failing;
    failing.failCall = lumora::test::FaultyIo::Syncfs;
    failing.failIndex = 0;
    LinuxFileOperations broken(failing, QFile::encodeName(trashHome));
    EXPECT_EQ(broken.perform(FileOpRequest::forOperation(1, sources, other), q, &result),
              int(FileOpResult::IoError));
    EXPECT_TRUE(entries(other).isEmpty());
    EXPECT_TRUE(result.done.isEmpty());
}

TEST_F(FileOperationsTest, SavesReplaceOnlyRegularFilesAndNeverATakenName)
{
    // Save As and the converter write through commitFile: whatever is at the
    // target that is not a regular file (or a link to one) stays as it is.
    const QString fifo = dir.file("pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString device = dir.file("null.png");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), device));
    const QString sock = dir.file("socket.png");
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un addr {
        };
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, QFile::encodeName(sock).constData(), sizeof addr.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    const QString folder = dir.mkdir("folder.png");
    for (const QString &target : {fifo, device, sock, folder}) {
        for (bool replace : {false, true}) {
            QString error;
            EXPECT_FALSE(commitFile(target, "PNG", replace, &error)) << target.toStdString();
            EXPECT_TRUE(error.contains(target)) << error.toStdString();
        }
    }
    struct stat st {
    };
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(QFileInfo(device).symLinkTarget(), "/dev/null");
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // The viewer's writer and lumora-convert --overwrite say why.
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(Qt::red);
    QString error;
    EXPECT_FALSE(imaging::writeImageFile(img, device, imaging::FormatCode::Png, 0, true, &error));
    EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
    const QString input = dir.file("in.png");
    ASSERT_TRUE(img.save(input));
    const ConvertOutcome out = convertOne({input, fifo}, imaging::FormatCode::Png, true);
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(out.message.contains("not a regular file")) << out.message.toStdString();

    // A link to a regular file: the file behind it is replaced, the link stays.
    const QString real = dir.write("real.png", "OLD");
    const QString link = dir.file("link.png");
    ASSERT_TRUE(QFile::link(real, link));
    EXPECT_TRUE(commitFile(link, "NEW", true, &error)) << error.toStdString();
    EXPECT_EQ(readAll(real), "NEW");
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), real);
    EXPECT_FALSE(commitFile(real, "NEWER", false, &error));
    EXPECT_EQ(readAll(real), "NEW");
    EXPECT_TRUE(entries(dir.path()).filter(".part").isEmpty());
}

TEST_F(FileOperationsTest, ANameTakenWhileTheSaveIsWrittenIsNeverReplaced)
{
    // Another program creates the file between the check and the naming:
    // with unnamed files (link) and without (no-replace rename); for a save
    // that may not replace, and for one that may replace only what was there.
    using lumora::test::FaultyIo;
    for (bool noTmp : {false, true}) {
        for (bool replace : {false, true}) {
            TempDir d;
            const QString target = d.file("photo.jpg");
            FaultyIo fio;
            fio.noTmpFile = noTmp;
            fio.hookCall = noTmp ? FaultyIo::RenameNoReplace : FaultyIo::LinkOpenFile;
            fio.hookIndex = 0;
            fio.hook = [&] {
                QFile f(target);
                f.open(QIODevice::WriteOnly);
                f.write("THEIRS");
            };
            QString error;
            EXPECT_FALSE(commitFile(target, "OURS", replace, &error, &fio)) << noTmp << replace;
            EXPECT_TRUE(error.contains("appeared meanwhile")) << error.toStdString();
            EXPECT_EQ(readAll(target), "THEIRS");
            EXPECT_EQ(entries(d.path()), QStringList{"photo.jpg"});
        }
    }
}

TEST_F(FileOperationsTest, ClearMessagesForFoldersVanishedSourcesAndMissingTargets)
{
    const QString folder = dir.mkdir("folder");
    const QString target = dir.mkdir("target");
    EXPECT_EQ(run(1, {folder}, target), int(FileOpResult::SourceIsFolder));
    EXPECT_TRUE(q.errors.last().contains("is a folder"));
    EXPECT_EQ(run(2, {folder}), int(FileOpResult::SourceIsFolder));
    EXPECT_EQ(run(4, {dir.file("gone.jpg")}, target), int(FileOpResult::SourceMissing));
    EXPECT_TRUE(q.errors.last().contains("could not be found"));
    const QString a = dir.write("a.jpg", "A");
    EXPECT_EQ(run(1, {a}, dir.file("nowhere/")), int(FileOpResult::BadRequest));
    EXPECT_TRUE(q.errors.last().contains("does not exist"));
    EXPECT_TRUE(QFileInfo::exists(folder));
    EXPECT_EQ(readAll(a), "A");
    EXPECT_TRUE(entries(target).isEmpty());
}

TEST_F(FileOperationsTest, TrashWritesInfoFirstAndNeverOverwrites)
{
    const QString a1 = dir.write("one/a.jpg", "first");
    const QString a2 = dir.write("two/a.jpg", "second");
    const QString spaced = dir.write("one/with space%.jpg", "third");
    q.confirms = {false};
    EXPECT_EQ(run(2, {a1}), int(FileOpResult::Cancelled));
    EXPECT_EQ(readAll(a1), "first");
    EXPECT_EQ(q.asked, QStringList{"trash 1"});

    q.confirms = {true, true};
    ASSERT_EQ(run(2, {a1, spaced}), 0) << q.errors.join("\n").toStdString();
    ASSERT_EQ(run(2, {a2}), 0);
    EXPECT_FALSE(QFileInfo::exists(a1));
    EXPECT_FALSE(QFileInfo::exists(a2));
    EXPECT_EQ(readAll(trashHome + "/files/a.jpg"), "first");
    EXPECT_EQ(readAll(trashHome + "/files/a.2.jpg"), "second");
    EXPECT_EQ(entries(trashHome + "/info"),
              (QStringList{"a.2.jpg.trashinfo", "a.jpg.trashinfo", "with space%.jpg.trashinfo"}));
    const QString info = QString::fromUtf8(readAll(trashHome + "/info/with space%.jpg.trashinfo"));
    const QStringList lines = info.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "[Trash Info]");
    EXPECT_EQ(lines[1], "Path=" + QString::fromLatin1(QUrl::toPercentEncoding(spaced, "/")));
    EXPECT_TRUE(lines[1].contains("with%20space%25.jpg"));
    EXPECT_TRUE(QDateTime::fromString(lines[2].mid(13), Qt::ISODate).isValid())
        << lines[2].toStdString();
    EXPECT_TRUE(lines[2].startsWith("DeletionDate="));
    EXPECT_EQ(QFileInfo(trashHome).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
}

TEST_F(FileOperationsTest, ATrashFullOfOneNameTakesTheNextFileAtOnceAndKeepsEveryOne)
{
    // Every camera writes IMG_0001.JPG: 300 of them in the Trash must not
    // cost 300 looks on the next Delete, nor may any entry be overwritten.
    struct CountingIo : SysIo {
        int opens = 0; // looks at a name: lstat or open
        int open(const char *path, int flags, mode_t mode) override
        {
            ++opens;
            return SysIo::open(path, flags, mode);
        }
        int lstat(const char *path, struct stat *st) override
        {
            ++opens;
            return SysIo::lstat(path, st);
        }
    } counting;
    LinuxFileOperations service(counting, QFile::encodeName(trashHome));
    const int kept = 300;
    QDir().mkpath(trashHome + "/files");
    QDir().mkpath(trashHome + "/info");
    for (int n = 1; n <= kept; ++n) {
        const QString entry = n == 1 ? "IMG_0001.JPG" : QStringLiteral("IMG_0001.%1.JPG").arg(n);
        QFile f(trashHome + "/files/" + entry);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(n));
        f.close();
        QFile i(trashHome + "/info/" + entry + ".trashinfo");
        ASSERT_TRUE(i.open(QIODevice::WriteOnly));
        i.write("[Trash Info]\nPath=/x/IMG_0001.JPG\nDeletionDate=2026-01-01T00:00:00\n");
    }
    for (int round = 0; round < 3; ++round) {
        const QString photo = dir.write("IMG_0001.JPG", "new " + QByteArray::number(round));
        q.confirms = {true};
        counting.opens = 0;
        ASSERT_EQ(service.perform(FileOpRequest::forOperation(2, {photo}, {}), q, &result), 0)
            << q.errors.join("\n").toStdString();
        EXPECT_LT(counting.opens, 40) << "round " << round;
        EXPECT_EQ(readAll(result.targets.value(0)), "new " + QByteArray::number(round));
        EXPECT_TRUE(QFileInfo::exists(
            trashHome + "/info/" + QFileInfo(result.targets.value(0)).fileName() + ".trashinfo"));
    }
    EXPECT_EQ(entries(trashHome + "/files").size(), kept + 3);
    EXPECT_EQ(entries(trashHome + "/info").size(), kept + 3);
    for (int n = 2; n <= kept; ++n)
        EXPECT_EQ(readAll(trashHome + QStringLiteral("/files/IMG_0001.%1.JPG").arg(n)),
                  QByteArray::number(n));
}

TEST_F(FileOperationsTest, TrashOnAnotherMountUsesItsOwnTrashWithARelativePath)
{
    QTemporaryDir shm(QStringLiteral("/dev/shm/lumora-fileops-XXXXXX"));
    ASSERT_TRUE(shm.isValid());
    const QString a = shm.path() + "/a.jpg";
    {
        QFile f(a);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("shm");
    }
    const QString own = QStringLiteral("/dev/shm/.Trash-%1").arg(::getuid());
    const bool hadTrash = QFileInfo::exists(own);
    q.confirms = {true};
    ASSERT_EQ(run(2, {a}), 0) << q.errors.join("\n").toStdString();
    const QString name = result.targets.value(0);
    EXPECT_TRUE(name.startsWith(own + "/files/")) << name.toStdString();
    EXPECT_EQ(readAll(name), "shm");
    const QString info = own + "/info/" + QFileInfo(name).fileName() + ".trashinfo";
    EXPECT_TRUE(QString::fromUtf8(readAll(info))
                    .contains("Path=" + QFileInfo(shm.path()).fileName() + "/a.jpg\n"));
    QFile::remove(name);
    QFile::remove(info);
    if (!hadTrash)
        QDir(own).removeRecursively();
}

TEST_F(FileOperationsTest, TopOfAMountPrefersAStickyAdminTrashAndRefusesALink)
{
    lumora::test::ScratchMount mount("size=4m");
    if (!mount.ok())
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const QString top = mount.path();
    auto put = [&](const QString &name) {
        QFile f(top + "/" + name);
        f.open(QIODevice::WriteOnly);
        f.write(name.toUtf8());
        return top + "/" + name;
    };
    const QString uid = QString::number(::getuid());
    // A .Trash that is a link to elsewhere must not be used.
    const QString elsewhere = dir.mkdir("elsewhere");
    ASSERT_TRUE(QFile::link(elsewhere, top + "/.Trash"));
    q.confirms = {true};
    ASSERT_EQ(run(2, {put("a.jpg")}), 0);
    EXPECT_TRUE(entries(elsewhere).isEmpty());
    EXPECT_EQ(readAll(top + "/.Trash-" + uid + "/files/a.jpg"), "a.jpg");
    QFile::remove(top + "/.Trash");

    // Not sticky: ignored as well.
    ASSERT_EQ(::mkdir(QFile::encodeName(top + "/.Trash").constData(), 0777), 0);
    q.confirms = {true};
    ASSERT_EQ(run(2, {put("b.jpg")}), 0);
    EXPECT_EQ(readAll(top + "/.Trash-" + uid + "/files/b.jpg"), "b.jpg");
    EXPECT_FALSE(QFileInfo::exists(top + "/.Trash/" + uid));

    // Sticky: the per-user folder inside it.
    ::chmod(QFile::encodeName(top + "/.Trash").constData(), 01777);
    q.confirms = {true};
    ASSERT_EQ(run(2, {put("c.jpg")}), 0);
    EXPECT_EQ(readAll(top + "/.Trash/" + uid + "/files/c.jpg"), "c.jpg");
    EXPECT_TRUE(readAll(top + "/.Trash/" + uid + "/info/c.jpg.trashinfo").contains("Path=c.jpg\n"));
}

TEST_F(FileOperationsTest, PermanentDeleteAsksFirst)
{
    const QString a = dir.write("a.jpg", "A");
    const QString b = dir.write("b.jpg", "B");
    q.confirms = {false};
    EXPECT_EQ(run(3, {a, b}), int(FileOpResult::Cancelled));
    EXPECT_TRUE(QFileInfo::exists(a));
    q.confirms = {true};
    EXPECT_EQ(run(3, {a, b}), 0);
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_EQ(q.asked, (QStringList{"delete 2", "delete 2"}));
    EXPECT_FALSE(QFileInfo::exists(trashHome + "/files/a.jpg"));
}

TEST_F(FileOperationsTest, FullDiskAndReadOnlyTargetLoseNothing)
{
    lumora::test::ScratchMount small("size=256k");
    if (!small.ok())
        GTEST_SKIP() << "cannot mount a tmpfs here; the injected-failure suite covers a full disk";
    const QByteArray data = pattern(1 << 20, 5);
    const QString a = dir.write("a.jpg", data);
    EXPECT_EQ(run(1, {a}, small.path()), int(FileOpResult::DiskFull));
    EXPECT_TRUE(q.errors.last().contains("not enough space")) << q.errors.last().toStdString();
    EXPECT_EQ(run(4, {a}, small.path()), int(FileOpResult::DiskFull));
    EXPECT_EQ(readAll(a), data);
    EXPECT_TRUE(entries(small.path()).isEmpty());

    ASSERT_TRUE(small.setReadOnly(true));
    const QString little = dir.write("little.jpg", "L");
    EXPECT_EQ(run(1, {little}, small.path()), int(FileOpResult::NotPermitted));
    EXPECT_TRUE(q.errors.last().contains("read-only")) << q.errors.last().toStdString();
    EXPECT_EQ(run(4, {little}, small.path()), int(FileOpResult::NotPermitted));
    EXPECT_EQ(readAll(little), "L");
    EXPECT_TRUE(entries(small.path()).isEmpty());
}

TEST_F(FileOperationsTest, CancelBetweenFilesLeavesEachWholeSomewhere)
{
    QTemporaryDir shm(QStringLiteral("/dev/shm/lumora-fileops-XXXXXX"));
    QStringList sources;
    for (int i = 0; i < 4; ++i)
        sources << dir.write(QStringLiteral("src/%1.jpg").arg(i), pattern(20000, char(i)));
    ops->copier().setUseCopyRange(false);
    // Progress is asked before each file and after each block: the fourth
    // call comes when the second file's bytes are copied but not yet named.
    q.cancelAtProgress = 3;
    EXPECT_EQ(run(4, sources, shm.path()), int(FileOpResult::Cancelled));
    EXPECT_EQ(q.begun, 1);
    EXPECT_EQ(q.ended, 1);
    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("%1.jpg").arg(i);
        const bool atSource = QFileInfo::exists(sources[i]);
        const bool atTarget = QFileInfo::exists(shm.path() + "/" + name);
        EXPECT_NE(atSource, atTarget) << i;
        EXPECT_EQ(readAll(atSource ? sources[i] : shm.path() + "/" + name),
                  pattern(20000, char(i)));
    }
    EXPECT_EQ(result.done.size(), 1);
}

} // namespace
