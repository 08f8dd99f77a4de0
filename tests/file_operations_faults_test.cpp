// Fault injection for the file-operation service: every step of copy, move,
// trash and rename made to fail in turn (and the process killed at each step
// of a copy and a move), each run checked against a SHA-256 inventory taken
// before: every byte of every file at its source or complete at its target,
// nothing else changed.

#include "platform/FileOperations.h"
#include "platform/linux/LinuxFileOperations.h"
#include "support/FaultyIo.h"
#include "support/ScratchMount.h"
#include "support/ScriptedFileOpQuestions.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumora;
using namespace lumora::platform;
using lumora::test::FaultyIo;
using lumora::test::ScriptedFileOpQuestions;
using Collision = FileOpQuestions::Collision;

namespace
{

using Inventory = QMap<QString, QByteArray>; // path → SHA-256

Inventory inventory(const QStringList &roots)
{
    Inventory inv;
    for (const QString &root : roots) {
        QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QFile f(p);
            QCryptographicHash h(QCryptographicHash::Sha256);
            if (f.open(QIODevice::ReadOnly))
                h.addData(&f);
            inv.insert(p, h.result());
        }
    }
    return inv;
}

QByteArray content(int size, int seed)
{
    QByteArray b(size, Qt::Uninitialized);
    quint32 x = 2166136261u ^ quint32(seed);
    for (int i = 0; i < size; ++i) {
        x = x * 16777619u + 7u;
        b[i] = char(x >> 24);
    }
    return b;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

struct Tally {
    int faults = 0;
    int lost = 0;
    int stray = 0;
    QStringList problems;
    void problem(const QString &what)
    {
        if (problems.size() < 25)
            problems << what;
    }
};

Tally &tally()
{
    static Tally t;
    return t;
}

// What one run may have done to the files.
struct Expectation {
    QStringList sources;
    bool sourcesStay = false;    // a copy never takes its source away
    bool replaceAllowed = false; // the user answered Replace
    QSet<QString> vanished;      // removed by "someone else" during the run
    QSet<QString> intruders;     // created by "someone else": must survive as they were
    QString trashRoot;           // a Trash whose info files may appear
};

// Compares after with before; counts lost files and changes nobody asked for.
void check(const Inventory &before, const Inventory &after, const Expectation &e,
           const QString &label)
{
    Tally &t = tally();
    QSet<QByteArray> moving;
    for (const QString &s : e.sources)
        moving.insert(before.value(s));
    for (const QString &s : e.sources) {
        if (e.vanished.contains(s))
            continue;
        const QByteArray h = before.value(s);
        bool found = after.value(s) == h;
        if (e.sourcesStay && !found) {
            ++t.lost;
            t.problem(label + ": source changed or gone: " + s);
            continue;
        }
        for (auto it = after.begin(); !found && it != after.end(); ++it)
            found = it.key() != s && it.value() == h;
        if (!found) {
            ++t.lost;
            t.problem(label + ": lost " + s);
        }
    }
    for (auto it = before.begin(); it != before.end(); ++it) {
        const QString &p = it.key();
        if (e.sources.contains(p) || e.vanished.contains(p))
            continue;
        if (!after.contains(p)) {
            ++t.lost;
            t.problem(label + ": bystander gone: " + p);
        } else if (after.value(p) != it.value() &&
                   !(e.replaceAllowed && moving.contains(after.value(p)))) {
            ++t.lost;
            t.problem(label + ": bystander changed: " + p);
        }
    }
    for (auto it = after.begin(); it != after.end(); ++it) {
        const QString &p = it.key();
        if (before.contains(p) && before.value(p) == it.value())
            continue;
        if (moving.contains(it.value()) || e.intruders.contains(p))
            continue;
        if (!e.trashRoot.isEmpty() && p.startsWith(e.trashRoot) && p.endsWith(".trashinfo")) {
            const QString name = QFileInfo(p).completeBaseName();
            const QString trash = QFileInfo(QFileInfo(p).absolutePath()).absolutePath();
            if (after.contains(trash + "/files/" + name))
                continue;
        }
        ++t.stray;
        t.problem(label + ": unexpected " + p);
    }
}

enum class Op { Copy, Move, Trash, Rename };

struct Scenario {
    const char *name;
    Op op;
    bool crossFs = false;                    // target folder on /dev/shm
    bool fromShm = false;                    // sources on /dev/shm, target under /tmp
    bool noTmpFile = false;                  // the hidden-temporary-name path
    bool copyRange = false;                  // the kernel's in-place copy instead of read/write
    Collision collision = Collision::Cancel; // answer when the target is taken
    bool taken = false;                      // the first target name holds another file already
    int batchFiles = 64;                     // files written before each flush
};

// One run in fresh folders: sources, target folder, Trash.
class Stage
{
public:
    explicit Stage(const Scenario &s)
        : m_shm(QStringLiteral("/dev/shm/lumora-faults-XXXXXX")), m_scenario(s)
    {
        const QString tmpRoot = m_tmp.path();
        const QString shmRoot = m_shm.path();
        srcDir = (s.fromShm ? shmRoot : tmpRoot) + "/src";
        dstDir = ((s.crossFs && !s.fromShm) ? shmRoot : tmpRoot) + "/dst";
        trashHome = tmpRoot + "/data/Trash";
        QDir().mkpath(srcDir);
        QDir().mkpath(dstDir);
        const int sizes[] = {1, 150000, 333333};
        const char *names[] = {"a.jpg", "b.jpg", "c.jpg"};
        const int count = s.op == Op::Rename ? 1 : 3;
        for (int i = 0; i < count; ++i) {
            sources << srcDir + "/" + names[i];
            writeFile(sources.last(), content(sizes[i], i + 1));
        }
        writeFile(dstDir + "/bystander.jpg", content(5000, 99));
        if (s.taken)
            writeFile(dstDir + "/a.jpg", content(7000, 77));
        roots = {srcDir, dstDir, tmpRoot + "/data"};
    }

    FileOpRequest request() const
    {
        switch (m_scenario.op) {
        case Op::Copy:
            return FileOpRequest::forOperation(1, sources, dstDir + "/");
        case Op::Move:
            return FileOpRequest::forOperation(4, sources, dstDir + "/");
        case Op::Trash:
            return FileOpRequest::forOperation(2, sources, {});
        case Op::Rename:
            return FileOpRequest::forOperation(5, sources, srcDir + "/renamed.jpg");
        }
        return {};
    }

    void answer(ScriptedFileOpQuestions &q) const
    {
        q.confirms = {true};
        for (int i = 0; i < 4; ++i)
            q.collisions.push_back(m_scenario.collision);
        // A file that cannot go to the Trash stays: no permanent delete here.
        q.untrashable = {false, false, false};
    }

    Expectation expectation() const
    {
        Expectation e;
        e.sources = sources;
        e.sourcesStay = m_scenario.op == Op::Copy;
        e.replaceAllowed = m_scenario.collision == Collision::Replace ||
                           m_scenario.collision == Collision::ReplaceAll;
        e.trashRoot = m_tmp.path() + "/data";
        return e;
    }

    int run(FaultyIo &io, ScriptedFileOpQuestions &q, FileOpResult *result) const
    {
        LinuxFileOperations ops(io, QFile::encodeName(trashHome));
        ops.copier().setChunkBytes(64 * 1024);
        ops.copier().setUseCopyRange(m_scenario.copyRange);
        ops.setBatchLimits(m_scenario.batchFiles, qint64(1) << 30);
        io.noTmpFile = m_scenario.noTmpFile;
        return ops.perform(request(), q, result);
    }

    QStringList sources;
    QString srcDir, dstDir, trashHome;
    QStringList roots;

private:
    QTemporaryDir m_tmp;
    QTemporaryDir m_shm;
    Scenario m_scenario;
};

int errnoFor(FaultyIo::Call c)
{
    switch (c) {
    case FaultyIo::Write:
    case FaultyIo::CopyRange:
        return ENOSPC; // the disk fills up
    case FaultyIo::Open:
        return EROFS; // a read-only target
    case FaultyIo::Mkdir:
        return EACCES;
    default:
        return EIO;
    }
}

const Scenario kScenarios[] = {
    {"copy", Op::Copy},
    {"copy, no unnamed files", Op::Copy, false, false, true},
    {"copy, kernel copy", Op::Copy, false, false, false, true},
    {"copy across", Op::Copy, true},
    {"copy across, no unnamed files", Op::Copy, true, false, true},
    {"copy onto a taken name, keep both", Op::Copy, false, false, false, false, Collision::KeepBoth,
     true},
    {"copy onto a taken name, replace", Op::Copy, true, false, false, false, Collision::Replace,
     true},
    {"copy onto a taken name, replace, no unnamed files", Op::Copy, false, false, true, false,
     Collision::Replace, true},
    {"move", Op::Move},
    {"move across", Op::Move, true},
    {"move across, no unnamed files", Op::Move, true, false, true},
    {"move back across", Op::Move, true, true},
    {"move across onto a taken name, replace", Op::Move, true, false, false, false,
     Collision::Replace, true},
    {"move across onto a taken name, keep both", Op::Move, true, false, false, false,
     Collision::KeepBoth, true},
    {"move onto a taken name, skip", Op::Move, false, false, false, false, Collision::Skip, true},
    {"copy in batches of two", Op::Copy, false, false, false, false, Collision::Cancel, false, 2},
    {"move across in batches of two, no unnamed files", Op::Move, true, false, true, false,
     Collision::Cancel, false, 2},
    {"trash", Op::Trash},
    {"rename", Op::Rename},
};

TEST(FileOperationFaults, EveryFailingStepLosesNothing)
{
    for (const Scenario &s : kScenarios) {
        // A clean run first: it must succeed, and it tells how many calls of
        // each kind there are to fail.
        FaultyIo probe;
        std::array<int, FaultyIo::CallCount> counts{};
        {
            Stage stage(s);
            const Inventory before = inventory(stage.roots);
            ScriptedFileOpQuestions q;
            stage.answer(q);
            FileOpResult r;
            ASSERT_EQ(stage.run(probe, q, &r), 0)
                << s.name << ": " << q.errors.join("\n").toStdString();
            check(before, inventory(stage.roots), stage.expectation(), QString(s.name) + " clean");
            counts = probe.counts;
        }
        for (int c = 0; c < FaultyIo::CallCount; ++c) {
            for (int i = 0; i < counts[c]; ++i) {
                Stage stage(s);
                const Inventory before = inventory(stage.roots);
                FaultyIo io;
                io.failCall = FaultyIo::Call(c);
                io.failIndex = i;
                io.failErrno = errnoFor(FaultyIo::Call(c));
                ScriptedFileOpQuestions q;
                stage.answer(q);
                FileOpResult r;
                const int code = stage.run(io, q, &r);
                const QString label = QStringLiteral("%1, %2 #%3 fails")
                                          .arg(s.name, FaultyIo::name(FaultyIo::Call(c)))
                                          .arg(i);
                ++tally().faults;
                check(before, inventory(stage.roots), stage.expectation(), label);
                // A failure is never reported as success without a reason.
                if (code != 0 && code != FileOpResult::Cancelled && q.errors.isEmpty())
                    tally().problem(label + ": failed without a message");
                if (code == 0 && int(r.done.size() + r.skipped.size()) != stage.sources.size())
                    tally().problem(label + ": success with files left undone");
            }
        }
    }
}

TEST(FileOperationFaults, VanishingSourcesAndAppearingTargets)
{
    const Scenario ss[] = {{"copy", Op::Copy},
                           {"move across", Op::Move, true},
                           {"move", Op::Move},
                           {"trash", Op::Trash}};
    for (const Scenario &s : ss) {
        FaultyIo probe;
        {
            Stage stage(s);
            ScriptedFileOpQuestions q;
            stage.answer(q);
            ASSERT_EQ(stage.run(probe, q, nullptr), 0);
        }
        // The second file disappears right before each open, lstat and rename.
        for (FaultyIo::Call c : {FaultyIo::Open, FaultyIo::Lstat, FaultyIo::RenameNoReplace}) {
            for (int i = 0; i < probe.counts[c]; ++i) {
                Stage stage(s);
                const Inventory before = inventory(stage.roots);
                FaultyIo io;
                const QString victim = stage.sources[1];
                io.hookCall = c;
                io.hookIndex = i;
                io.hook = [victim] { QFile::remove(victim); };
                ScriptedFileOpQuestions q;
                stage.answer(q);
                FileOpResult r;
                const int code = stage.run(io, q, &r);
                Expectation e = stage.expectation();
                e.vanished.insert(victim);
                const QString label = QStringLiteral("%1, source gone before %2 #%3")
                                          .arg(s.name, FaultyIo::name(c))
                                          .arg(i);
                ++tally().faults;
                check(before, inventory(stage.roots), e, label);
                if (code != 0 && code != FileOpResult::Cancelled && q.errors.isEmpty())
                    tally().problem(label + ": failed without a message");
            }
        }
        if (s.op == Op::Trash)
            continue;
        // Another program takes a target name right before it is given.
        for (FaultyIo::Call c : {FaultyIo::LinkOpenFile, FaultyIo::RenameNoReplace}) {
            for (int i = 0; i < probe.counts[c]; ++i) {
                Stage stage(s);
                const Inventory before = inventory(stage.roots);
                FaultyIo io;
                const QString intruder = stage.dstDir + "/b.jpg";
                io.hookCall = c;
                io.hookIndex = i;
                bool intruded = false;
                io.hook = [intruder, &intruded] {
                    if (!QFileInfo::exists(intruder)) {
                        writeFile(intruder, "someone else's file");
                        intruded = true;
                    }
                };
                ScriptedFileOpQuestions q;
                stage.answer(q);
                q.collisions = {Collision::KeepBoth, Collision::KeepBoth, Collision::KeepBoth};
                stage.run(io, q, nullptr);
                Expectation e = stage.expectation();
                e.intruders.insert(intruder);
                const Inventory after = inventory(stage.roots);
                const QString label = QStringLiteral("%1, target taken before %2 #%3")
                                          .arg(s.name, FaultyIo::name(c))
                                          .arg(i);
                ++tally().faults;
                check(before, after, e, label);
                if (intruded &&
                    after.value(intruder) != QCryptographicHash::hash("someone else's file",
                                                                      QCryptographicHash::Sha256)) {
                    ++tally().lost;
                    tally().problem(label + ": the other program's file was overwritten");
                }
            }
        }
    }
}

// The process dies (SIGKILL) right before each step of a copy and a move.
TEST(FileOperationFaults, KilledAtEveryStep)
{
    const Scenario ss[] = {{"copy across", Op::Copy, true},
                           {"move across", Op::Move, true},
                           {"move", Op::Move},
                           {"copy onto a taken name, replace", Op::Copy, false, false, false, false,
                            Collision::Replace, true}};
    for (const Scenario &s : ss) {
        FaultyIo probe;
        {
            Stage stage(s);
            ScriptedFileOpQuestions q;
            stage.answer(q);
            ASSERT_EQ(stage.run(probe, q, nullptr), 0);
        }
        for (FaultyIo::Call c : {FaultyIo::Open, FaultyIo::Read, FaultyIo::Write, FaultyIo::Fsync,
                                 FaultyIo::Fdatasync, FaultyIo::DropCache, FaultyIo::SetXattr,
                                 FaultyIo::Pread, FaultyIo::LinkOpenFile, FaultyIo::RenameNoReplace,
                                 FaultyIo::RenameReplace, FaultyIo::Unlink, FaultyIo::Close}) {
            for (int i = 0; i < probe.counts[c]; ++i) {
                Stage stage(s);
                const Inventory before = inventory(stage.roots);
                std::fflush(nullptr);
                const pid_t child = ::fork();
                ASSERT_GE(child, 0);
                if (child == 0) {
                    FaultyIo io;
                    io.failCall = c;
                    io.failIndex = i;
                    io.kill = true;
                    ScriptedFileOpQuestions q;
                    stage.answer(q);
                    const int code = stage.run(io, q, nullptr);
                    ::_exit(code == 0 ? 0 : 1);
                }
                int status = 0;
                ::waitpid(child, &status, 0);
                const QString label = QStringLiteral("%1, killed before %2 #%3")
                                          .arg(s.name, FaultyIo::name(c))
                                          .arg(i);
                if (!(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL))
                    tally().problem(label + ": the child was not killed");
                ++tally().faults;
                check(before, inventory(stage.roots), stage.expectation(), label);
            }
        }
    }
}

// A real kill from outside at arbitrary moments of a large move across file systems.
TEST(FileOperationFaults, KilledFromOutsideMidMove)
{
    for (int round = 0; round < 12; ++round) {
        QTemporaryDir tmp;
        QTemporaryDir shm(QStringLiteral("/dev/shm/lumora-faults-XXXXXX"));
        const QString src = tmp.path() + "/big.jpg";
        writeFile(src, content(24 << 20, round));
        writeFile(tmp.path() + "/small.jpg", content(1000, 500 + round));
        const QStringList roots = {tmp.path(), shm.path()};
        const Inventory before = inventory(roots);
        std::fflush(nullptr);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SysIo io;
            LinuxFileOperations ops(io, QFile::encodeName(tmp.path() + "/data/Trash"));
            SilentFileOpQuestions q;
            const int opType = round % 2 ? 4 : 1;
            const int code =
                ops.perform(FileOpRequest::forOperation(opType, {src, tmp.path() + "/small.jpg"},
                                                        shm.path() + "/"),
                            q);
            ::_exit(code);
        }
        ::usleep(useconds_t(2000 + round * 4000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        Expectation e;
        e.sources = {src, tmp.path() + "/small.jpg"};
        e.sourcesStay = round % 2 == 0;
        ++tally().faults;
        check(before, inventory(roots), e,
              QStringLiteral("killed from outside, round %1").arg(round));
    }
}

TEST(FileOperationFaults, RealFullDiskAndReadOnlyMount)
{
    for (bool noTmp : {false, true}) {
        for (int opType : {1, 4}) {
            for (bool readOnly : {false, true}) {
                lumora::test::ScratchMount small("size=400k");
                if (!small.ok())
                    GTEST_SKIP() << "cannot mount a tmpfs here; injected ENOSPC and EROFS stand in";
                QTemporaryDir tmp;
                QStringList sources;
                for (int i = 0; i < 3; ++i) {
                    sources << tmp.path() + QStringLiteral("/%1.jpg").arg(i);
                    writeFile(sources.last(), content(180000, 40 + i));
                }
                if (readOnly) {
                    ASSERT_TRUE(small.setReadOnly(true));
                }
                const QStringList roots = {tmp.path(), small.path()};
                const Inventory before = inventory(roots);
                FaultyIo io;
                io.noTmpFile = noTmp;
                LinuxFileOperations ops(io, QFile::encodeName(tmp.path() + "/data/Trash"));
                ScriptedFileOpQuestions q;
                FileOpResult r;
                const int code = ops.perform(
                    FileOpRequest::forOperation(opType, sources, small.path() + "/"), q, &r);
                EXPECT_EQ(code,
                          readOnly ? int(FileOpResult::NotPermitted) : int(FileOpResult::DiskFull));
                EXPECT_EQ(q.errors.size(), 1);
                Expectation e;
                e.sources = sources;
                e.sourcesStay = opType == 1;
                ++tally().faults;
                check(before, inventory(roots), e,
                      QStringLiteral("%1 onto a %2 mount%3")
                          .arg(opType == 1 ? "copy" : "move", readOnly ? "read-only" : "full",
                               noTmp ? ", no unnamed files" : ""));
            }
        }
    }
}

// A copy killed half-way on a disk without unnamed files (exFAT through
// FUSE where it can be mounted, else /dev/shm told to have none) leaves its
// part file; the next operation into that folder removes it.
TEST(FileOperationFaults, AKilledCopyLeavesNoPartFileAfterTheNextOperation)
{
    lumora::test::ExfatMount exfat;
    QTemporaryDir shm(QStringLiteral("/dev/shm/lumora-faults-XXXXXX"));
    const QString target = exfat.ok() ? exfat.path() : shm.path();
    QTemporaryDir tmp;
    const QString big = tmp.path() + "/big.jpg";
    writeFile(big, content(3 << 20, 5));
    writeFile(tmp.path() + "/next.jpg", content(1000, 6));
    const Inventory before = inventory({tmp.path()});
    for (int killAt : {0, 5, 20}) {
        std::fflush(nullptr);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FaultyIo io;
            io.noTmpFile = true;
            io.failCall = FaultyIo::Write;
            io.failIndex = killAt;
            io.kill = true;
            LinuxFileOperations ops(io, QFile::encodeName(tmp.path() + "/data/Trash"));
            ops.copier().setUseCopyRange(false);
            ops.copier().setChunkBytes(64 * 1024);
            SilentFileOpQuestions q;
            ::_exit(ops.perform(FileOpRequest::forOperation(1, {big}, target + "/"), q));
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << killAt;
        const QStringList left =
            QDir(target).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        ASSERT_EQ(left.size(), 1) << killAt;
        EXPECT_TRUE(left.first().startsWith(".big.jpg.lumora-")) << left.first().toStdString();
        EXPECT_FALSE(QFileInfo::exists(target + "/big.jpg"));
    }
    SysIo io;
    LinuxFileOperations ops(io, QFile::encodeName(tmp.path() + "/data/Trash"));
    SilentFileOpQuestions q;
    ASSERT_EQ(
        ops.perform(FileOpRequest::forOperation(1, {tmp.path() + "/next.jpg"}, target + "/"), q),
        0);
    EXPECT_EQ(QDir(target).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"next.jpg"});
    EXPECT_EQ(inventory({tmp.path()}), before);
    if (!exfat.ok())
        std::printf("exFAT through FUSE cannot be mounted here: /dev/shm stood in\n");
}

// Last, by name order within this executable: the totals.
TEST(FileOperationFaults, ZTotals)
{
    const Tally &t = tally();
    std::printf("file-operation faults tried: %d, files lost: %d, unexpected changes: %d\n",
                t.faults, t.lost, t.stray);
    for (const QString &p : t.problems)
        std::printf("  %s\n", qPrintable(p));
    EXPECT_GE(t.faults, 600);
    EXPECT_EQ(t.lost, 0);
    EXPECT_EQ(t.stray, 0);
    EXPECT_TRUE(t.problems.isEmpty());
}

} // namespace
