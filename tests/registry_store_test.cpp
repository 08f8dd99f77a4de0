#include "platform/SqliteRegistryStore.h"

#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace lumora::platform;
using lumora::test::TempDir;

namespace
{

const QString kRace = QStringLiteral("Software\\Race");

// The test binary doubles as the writer processes: started with
// LUMORA_REGTEST_ROLE set, it does that role before main() and exits.
void waitForGo()
{
    const QString go = qEnvironmentVariable("LUMORA_REGTEST_GO");
    for (int i = 0; i < 3000 && !QFileInfo::exists(go); ++i)
        QThread::msleep(5);
}

int runChild(const QByteArray &role)
{
    if (role == "recover") {
        // Opened by both at the same moment, so both find the broken file.
        waitForGo();
        SqliteRegistryStore store(qEnvironmentVariable("LUMORA_REGTEST_DB"));
        const QString tag = qEnvironmentVariable("LUMORA_REGTEST_TAG");
        if (store.createKey(RegistryRoot::CurrentUser, QStringLiteral("Recovered")) !=
                RegResult::Ok ||
            store.setValue(RegistryRoot::CurrentUser, QStringLiteral("Recovered"), tag,
                           {tag, RegSz}) != RegResult::Ok)
            return 1;
        return 0;
    }
    SqliteRegistryStore store(qEnvironmentVariable("LUMORA_REGTEST_DB"));
    if (!store.isWritable())
        return 100;
    if (role == "race") {
        const QString tag = qEnvironmentVariable("LUMORA_REGTEST_TAG");
        const int count = qEnvironmentVariableIntValue("LUMORA_REGTEST_COUNT");
        // Both writers start on the same signal so their writes overlap.
        waitForGo();
        int failures = 0;
        for (int i = 0; i < count; ++i) {
            const QString n = QString::number(i);
            if (store.createKey(RegistryRoot::CurrentUser, kRace + QLatin1Char('\\') + tag + n) !=
                RegResult::Ok)
                ++failures;
            if (store.setValue(RegistryRoot::CurrentUser, kRace, tag + n, {n, RegSz}) !=
                RegResult::Ok)
                ++failures;
        }
        return std::min(failures, 99);
    }
    if (role == "endless") {
        const QString filler(2000, QLatin1Char('x'));
        for (int i = 0;; ++i) {
            const QString key = QStringLiteral("Software\\Endless\\K") + QString::number(i);
            if (store.createKey(RegistryRoot::CurrentUser, key) != RegResult::Ok ||
                store.setValue(RegistryRoot::CurrentUser, key, QStringLiteral("fill"),
                               {filler, RegSz}) != RegResult::Ok ||
                store.setValue(RegistryRoot::CurrentUser, QStringLiteral("Software\\Endless"),
                               QStringLiteral("v") + QString::number(i),
                               {QString::number(i), RegSz}) != RegResult::Ok)
                return 101;
            std::printf("%d\n", i);
            std::fflush(stdout);
        }
    }
    return 102;
}

[[maybe_unused]] const int kChildRole = [] {
    const QByteArray role = qgetenv("LUMORA_REGTEST_ROLE");
    if (!role.isEmpty()) {
        const int rc = runChild(role);
        std::fflush(stdout);
        _exit(rc);
    }
    return 0;
}();

QProcessEnvironment childEnv(const QString &role, const QString &db)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMORA_REGTEST_ROLE"), role);
    env.insert(QStringLiteral("LUMORA_REGTEST_DB"), db);
    return env;
}

QString valueOf(RegistryStore &store, RegistryRoot root, const QString &path, const QString &name)
{
    RegValue v;
    if (store.queryValue(root, path, name, &v) != RegResult::Ok)
        return QStringLiteral("<missing>");
    return v.data;
}

} // namespace

TEST(SqliteRegistryStore, KeysAndValuesKeepFirstSpellingAndCompareWithoutCase)
{
    TempDir dir;
    SqliteRegistryStore store(dir.file(QStringLiteral("r.db")));
    ASSERT_TRUE(store.isWritable());

    EXPECT_EQ(store.openKey(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Quorvane"),
                            RegAccess::Read),
              RegResult::NotFound);
    ASSERT_EQ(store.createKey(RegistryRoot::LocalMachine,
                              QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings")),
              RegResult::Ok);
    // Re-creating under another spelling finds the same key.
    ASSERT_EQ(store.createKey(RegistryRoot::LocalMachine,
                              QStringLiteral("software\\QUORVANE\\lumora settings\\Sub")),
              RegResult::Ok);
    QStringList names;
    ASSERT_EQ(store.subKeys(RegistryRoot::LocalMachine, QStringLiteral("Software"), &names),
              RegResult::Ok);
    EXPECT_EQ(names, QStringList{QStringLiteral("Quorvane")});
    ASSERT_EQ(store.subKeys(RegistryRoot::LocalMachine, QString(), &names), RegResult::Ok);
    EXPECT_EQ(names, QStringList{QStringLiteral("SOFTWARE")});

    const QString key = QStringLiteral("Software/Quorvane/Lumora Settings"); // '/' works as well
    ASSERT_EQ(store.setValue(RegistryRoot::LocalMachine, key, QStringLiteral("AntiAlias"),
                             {QStringLiteral("-1"), RegSz}),
              RegResult::Ok);
    ASSERT_EQ(store.setValue(RegistryRoot::LocalMachine, key, QStringLiteral("ANTIALIAS"),
                             {QStringLiteral("0"), RegExpandSz}),
              RegResult::Ok);
    RegValue v;
    ASSERT_EQ(store.queryValue(RegistryRoot::LocalMachine, key, QStringLiteral("antialias"), &v),
              RegResult::Ok);
    EXPECT_EQ(v.data, QStringLiteral("0"));
    EXPECT_EQ(v.type, std::uint32_t(RegExpandSz));

    // The default value is the empty name and is separate from the others.
    EXPECT_EQ(store.queryValue(RegistryRoot::LocalMachine, key, QString(), &v),
              RegResult::NotFound);
    ASSERT_EQ(
        store.setValue(RegistryRoot::LocalMachine, key, QString(), {QStringLiteral("dflt"), RegSz}),
        RegResult::Ok);
    EXPECT_EQ(valueOf(store, RegistryRoot::LocalMachine, key, QString()), QStringLiteral("dflt"));

    // The three roots do not share keys.
    EXPECT_EQ(store.openKey(RegistryRoot::CurrentUser, key, RegAccess::Read), RegResult::NotFound);
    EXPECT_EQ(store.openKey(RegistryRoot::ClassesRoot, key, RegAccess::Read), RegResult::NotFound);

    // A value needs its key; malformed paths name nothing.
    EXPECT_EQ(
        store.setValue(RegistryRoot::LocalMachine, QStringLiteral("Nope"), QStringLiteral("x"), {}),
        RegResult::NotFound);
    EXPECT_EQ(store.createKey(RegistryRoot::LocalMachine, QStringLiteral("a\\\\b")),
              RegResult::NotFound);
    EXPECT_EQ(
        store.openKey(RegistryRoot::LocalMachine, QStringLiteral("\\SOFTWARE"), RegAccess::Read),
        RegResult::NotFound);

    EXPECT_EQ(store.deleteValue(RegistryRoot::LocalMachine, key, QStringLiteral("antiALIAS")),
              RegResult::Ok);
    EXPECT_EQ(store.deleteValue(RegistryRoot::LocalMachine, key, QStringLiteral("AntiAlias")),
              RegResult::NotFound);
    EXPECT_EQ(valueOf(store, RegistryRoot::LocalMachine, key, QString()), QStringLiteral("dflt"));
}

TEST(SqliteRegistryStore, DeleteKeyTakesSubtreeAndSurvivesReopen)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("r.db"));
    {
        SqliteRegistryStore store(path);
        ASSERT_EQ(store.createKey(RegistryRoot::ClassesRoot,
                                  QStringLiteral("Lumora.jpg\\shell\\open\\command")),
                  RegResult::Ok);
        ASSERT_EQ(store.setValue(RegistryRoot::ClassesRoot,
                                 QStringLiteral("Lumora.jpg\\shell\\open\\command"), QString(),
                                 {QStringLiteral("/usr/bin/lumora %1"), RegSz}),
                  RegResult::Ok);
        ASSERT_EQ(store.createKey(RegistryRoot::ClassesRoot, QStringLiteral(".jpg")),
                  RegResult::Ok);
        ASSERT_EQ(store.setValue(RegistryRoot::ClassesRoot, QStringLiteral(".jpg"), QString(),
                                 {QStringLiteral("Lumora.jpg"), RegSz}),
                  RegResult::Ok);
        EXPECT_EQ(store.deleteKey(RegistryRoot::ClassesRoot, QString()), RegResult::Failed);
    }
    SqliteRegistryStore store(path);
    EXPECT_EQ(valueOf(store, RegistryRoot::ClassesRoot,
                      QStringLiteral("lumora.JPG\\Shell\\Open\\Command"), QString()),
              QStringLiteral("/usr/bin/lumora %1"));
    QStringList names;
    ASSERT_EQ(store.subKeys(RegistryRoot::ClassesRoot, QString(), &names), RegResult::Ok);
    EXPECT_EQ(names, (QStringList{QStringLiteral(".jpg"), QStringLiteral("Lumora.jpg")}));

    EXPECT_EQ(store.deleteKey(RegistryRoot::ClassesRoot, QStringLiteral("LUMORA.jpg")),
              RegResult::Ok);
    EXPECT_EQ(store.openKey(RegistryRoot::ClassesRoot, QStringLiteral("Lumora.jpg\\shell"),
                            RegAccess::Read),
              RegResult::NotFound);
    EXPECT_EQ(store.deleteKey(RegistryRoot::ClassesRoot, QStringLiteral("Lumora.jpg")),
              RegResult::NotFound);
    // Re-creating the deleted key starts it empty.
    ASSERT_EQ(store.createKey(RegistryRoot::ClassesRoot,
                              QStringLiteral("Lumora.jpg\\shell\\open\\command")),
              RegResult::Ok);
    EXPECT_EQ(valueOf(store, RegistryRoot::ClassesRoot,
                      QStringLiteral("Lumora.jpg\\shell\\open\\command"), QString()),
              QStringLiteral("<missing>"));
    EXPECT_EQ(valueOf(store, RegistryRoot::ClassesRoot, QStringLiteral(".jpg"), QString()),
              QStringLiteral("Lumora.jpg"));
}

TEST(SqliteRegistryStore, TwoProcessesWritingAtOnceBothSucceed)
{
    TempDir dir;
    const QString db = dir.file(QStringLiteral("shared.db"));
    const QString go = dir.file(QStringLiteral("go"));
    const int count = 60;
    QProcess a, b;
    for (auto [proc, tag] : {std::pair{&a, "A"}, std::pair{&b, "B"}}) {
        QProcessEnvironment env = childEnv(QStringLiteral("race"), db);
        env.insert(QStringLiteral("LUMORA_REGTEST_TAG"), QString::fromLatin1(tag));
        env.insert(QStringLiteral("LUMORA_REGTEST_COUNT"), QString::number(count));
        env.insert(QStringLiteral("LUMORA_REGTEST_GO"), go);
        proc->setProcessEnvironment(env);
        proc->start(QCoreApplication::applicationFilePath(), {});
        ASSERT_TRUE(proc->waitForStarted(10000));
    }
    QThread::msleep(200);
    dir.write(QStringLiteral("go"));
    ASSERT_TRUE(a.waitForFinished(120000));
    ASSERT_TRUE(b.waitForFinished(120000));
    EXPECT_EQ(a.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(a.exitCode(), 0) << "failed writes in A";
    EXPECT_EQ(b.exitCode(), 0) << "failed writes in B";

    SqliteRegistryStore store(db);
    QStringList keys;
    ASSERT_EQ(store.subKeys(RegistryRoot::CurrentUser, kRace, &keys), RegResult::Ok);
    EXPECT_EQ(keys.size(), 2 * count);
    for (int i = 0; i < count; ++i) {
        const QString n = QString::number(i);
        EXPECT_EQ(valueOf(store, RegistryRoot::CurrentUser, kRace, QStringLiteral("A") + n), n);
        EXPECT_EQ(valueOf(store, RegistryRoot::CurrentUser, kRace, QStringLiteral("B") + n), n);
    }
}

TEST(SqliteRegistryStore, WriterKilledMidWriteKeepsCommittedData)
{
    TempDir dir;
    const QString db = dir.file(QStringLiteral("killed.db"));
    QProcess writer;
    writer.setProcessEnvironment(childEnv(QStringLiteral("endless"), db));
    writer.start(QCoreApplication::applicationFilePath(), {});
    ASSERT_TRUE(writer.waitForStarted(10000));

    int lastCommitted = -1;
    QByteArray pending;
    QElapsedTimer clock;
    clock.start();
    while (lastCommitted < 40 && clock.elapsed() < 120000 && writer.state() == QProcess::Running) {
        writer.waitForReadyRead(1000);
        pending += writer.readAllStandardOutput();
        const int cut = pending.lastIndexOf('\n');
        if (cut < 0)
            continue;
        const QList<QByteArray> lines = pending.left(cut).split('\n');
        lastCommitted = lines.last().trimmed().toInt();
        pending.remove(0, cut + 1);
    }
    ASSERT_EQ(writer.state(), QProcess::Running) << "the writer stopped by itself";
    ::kill(pid_t(writer.processId()), SIGKILL);
    ASSERT_TRUE(writer.waitForFinished(10000));
    EXPECT_EQ(writer.exitStatus(), QProcess::CrashExit);
    ASSERT_GE(lastCommitted, 40);

    testing::internal::CaptureStderr();
    SqliteRegistryStore store(db);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "") << "an interrupted write must not look like a broken file";
    ASSERT_TRUE(store.isWritable());
    EXPECT_TRUE(store.setAsidePath().isEmpty());
    for (int i = 0; i <= lastCommitted; ++i)
        ASSERT_EQ(valueOf(store, RegistryRoot::CurrentUser, QStringLiteral("Software\\Endless"),
                          QStringLiteral("v") + QString::number(i)),
                  QString::number(i));
    // And it goes on taking writes.
    EXPECT_EQ(store.setValue(RegistryRoot::CurrentUser, QStringLiteral("Software\\Endless"),
                             QStringLiteral("after"), {QStringLiteral("1"), RegSz}),
              RegResult::Ok);
}

TEST(SqliteRegistryStore, GarbageFileIsSetAsideAndRebuiltSayingSoOnce)
{
    TempDir dir;
    const QString db = dir.file(QStringLiteral("registry.db"));
    QByteArray garbage;
    for (int i = 0; i < 8192; ++i)
        garbage.append(char((i * 7919 + 13) & 0xff));
    dir.write(QStringLiteral("registry.db"), garbage);

    testing::internal::CaptureStderr();
    QString setAside;
    {
        SqliteRegistryStore store(db);
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(store.isWritable());
        setAside = store.setAsidePath();
        ASSERT_FALSE(setAside.isEmpty());
        EXPECT_TRUE(setAside.startsWith(db + QStringLiteral(".corrupt-")));
        EXPECT_NE(said.find("set aside"), std::string::npos) << said;
        EXPECT_NE(said.find(setAside.toStdString()), std::string::npos) << said;
        EXPECT_EQ(said.find("set aside"), said.rfind("set aside"))
            << "said more than once: " << said;

        QFile moved(setAside);
        ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
        EXPECT_EQ(moved.readAll(), garbage) << "the broken file must be kept as it was";

        ASSERT_EQ(store.createKey(RegistryRoot::CurrentUser, QStringLiteral("Fresh")),
                  RegResult::Ok);
        ASSERT_EQ(store.setValue(RegistryRoot::CurrentUser, QStringLiteral("Fresh"),
                                 QStringLiteral("v"), {QStringLiteral("1"), RegSz}),
                  RegResult::Ok);
    }
    testing::internal::CaptureStderr();
    SqliteRegistryStore again(db);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(again.setAsidePath().isEmpty());
    EXPECT_EQ(
        valueOf(again, RegistryRoot::CurrentUser, QStringLiteral("Fresh"), QStringLiteral("v")),
        QStringLiteral("1"));
}

TEST(SqliteRegistryStore, TwoProcessesFindingTheSameGarbageSetItAsideOnce)
{
    TempDir dir;
    const QString db = dir.file(QStringLiteral("registry.db"));
    dir.write(QStringLiteral("registry.db"), QByteArray(4096, '\x5a'));
    const QString go = dir.file(QStringLiteral("go"));
    QProcess a, b;
    for (auto [proc, tag] : {std::pair{&a, "A"}, std::pair{&b, "B"}}) {
        QProcessEnvironment env = childEnv(QStringLiteral("recover"), db);
        env.insert(QStringLiteral("LUMORA_REGTEST_TAG"), QString::fromLatin1(tag));
        env.insert(QStringLiteral("LUMORA_REGTEST_GO"), go);
        proc->setProcessEnvironment(env);
        proc->start(QCoreApplication::applicationFilePath(), {});
        ASSERT_TRUE(proc->waitForStarted(10000));
    }
    QThread::msleep(200);
    dir.write(QStringLiteral("go"));
    ASSERT_TRUE(a.waitForFinished(60000));
    ASSERT_TRUE(b.waitForFinished(60000));
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);
    const QString said =
        QString::fromLocal8Bit(a.readAllStandardError() + b.readAllStandardError());
    EXPECT_EQ(said.count(QStringLiteral("set aside")), 1) << said.toStdString();

    const QStringList moved =
        QDir(dir.path()).entryList({QStringLiteral("registry.db.corrupt-*")}, QDir::Files);
    EXPECT_EQ(moved.size(), 1) << moved.join(QLatin1Char(' ')).toStdString();
    SqliteRegistryStore store(db);
    EXPECT_EQ(
        valueOf(store, RegistryRoot::CurrentUser, QStringLiteral("Recovered"), QStringLiteral("A")),
        QStringLiteral("A"));
    EXPECT_EQ(
        valueOf(store, RegistryRoot::CurrentUser, QStringLiteral("Recovered"), QStringLiteral("B")),
        QStringLiteral("B"));
}

TEST(SqliteRegistryStore, ReadOnlyFileAndFolderStillRead)
{
    TempDir outer;
    const QString folder = outer.mkdir(QStringLiteral("ro"));
    const QString db = folder + QStringLiteral("/registry.db");
    {
        SqliteRegistryStore store(db);
        ASSERT_EQ(store.createKey(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Quorvane")),
                  RegResult::Ok);
        ASSERT_EQ(store.setValue(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Quorvane"),
                                 QStringLiteral("FullScreen"), {QStringLiteral("0"), RegSz}),
                  RegResult::Ok);
    }
    QFile::setPermissions(db,
                          QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    // Permissions do not hold back root; the immutable attribute does.
    const bool root = ::geteuid() == 0;
    if (root)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), db, folder});
    struct Restore {
        QString db, folder;
        bool root;
        ~Restore()
        {
            if (root)
                QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), db, folder});
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
            QFile::setPermissions(db, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    } restore{db, folder, root};
    {
        QFile probe(db);
        if (probe.open(QIODevice::ReadWrite))
            GTEST_SKIP() << "cannot make a file read-only here";
    }

    SqliteRegistryStore store(db);
    ASSERT_TRUE(store.isOpen());
    EXPECT_FALSE(store.isWritable());
    EXPECT_EQ(store.openKey(RegistryRoot::LocalMachine, QStringLiteral("software\\quorvane"),
                            RegAccess::All),
              RegResult::AccessDenied);
    EXPECT_EQ(store.openKey(RegistryRoot::LocalMachine, QStringLiteral("software\\quorvane"),
                            RegAccess::Read),
              RegResult::Ok);
    EXPECT_EQ(valueOf(store, RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Quorvane"),
                      QStringLiteral("fullscreen")),
              QStringLiteral("0"));
    EXPECT_EQ(store.setValue(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Quorvane"),
                             QStringLiteral("FullScreen"), {QStringLiteral("-1"), RegSz}),
              RegResult::AccessDenied);
    EXPECT_EQ(store.createKey(RegistryRoot::LocalMachine, QStringLiteral("Other")),
              RegResult::AccessDenied);
}

TEST(RegistryStoreFactory, HonoursOverrideElseConfigFolder)
{
    TempDir dir;
    const QByteArray oldReg = qgetenv("LUMORA_REGISTRY");
    const QByteArray oldCfg = qgetenv("XDG_CONFIG_HOME");

    qputenv("LUMORA_REGISTRY", QFile::encodeName(dir.file(QStringLiteral("over.db"))));
    {
        auto store = openDefaultRegistryStore();
        ASSERT_EQ(store->createKey(RegistryRoot::CurrentUser, QStringLiteral("X")), RegResult::Ok);
    }
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("over.db"))));

    qunsetenv("LUMORA_REGISTRY");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.file(QStringLiteral("cfg"))));
    EXPECT_EQ(defaultRegistryPath(), dir.file(QStringLiteral("cfg/lumora/registry.db")));
    {
        auto store = openDefaultRegistryStore();
        EXPECT_TRUE(store->isWritable());
    }
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("cfg/lumora/registry.db"))));

    qputenv("LUMORA_REGISTRY", oldReg);
    if (oldCfg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldCfg);
}
