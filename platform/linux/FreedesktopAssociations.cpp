#include "platform/linux/FreedesktopAssociations.h"

#include "platform/AtomicFile.h"
#include "platform/CommandRunner.h"
#include "platform/DesktopEntry.h"
#include "platform/MimeAppsList.h"
#include "platform/MimeGlobs.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace lumora::platform
{

namespace
{

QString bare(const QString &extension)
{
    QString e = extension.toLower();
    if (e.startsWith(QLatin1Char('.')))
        e.remove(0, 1);
    return e;
}

// The remembered lines travel as text: each line percent-encoded (it may hold
// any bytes), lines separated by a line feed.
QString encodeLines(const QList<QByteArray> &lines)
{
    QStringList parts;
    for (const QByteArray &l : lines)
        parts << QString::fromLatin1(l.toPercentEncoding(" =;/.+#[]"));
    return parts.join(QLatin1Char('\n'));
}

QList<QByteArray> decodeLines(const QString &text)
{
    QList<QByteArray> out;
    if (text.isEmpty())
        return out;
    for (const QString &part : text.split(QLatin1Char('\n')))
        out << QByteArray::fromPercentEncoding(part.toLatin1());
    return out;
}

bool writeIfChanged(const QString &path, const QByteArray &bytes, bool *changed)
{
    QFile f(path);
    if (f.open(QIODevice::ReadOnly) && f.readAll() == bytes) {
        *changed = false;
        return true;
    }
    *changed = true;
    return writeFileAtomically(path, bytes);
}

// The program an entry's Exec line starts, as a canonical path; "" when it
// names nothing that can be found.
QString startedProgram(const QString &entryFile)
{
    QFile f(entryFile);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const DesktopEntry::Parsed p = DesktopEntry::parse(f.read(1 << 20));
    const QStringList args = DesktopEntry::splitCommand(p.exec);
    if (!p.valid || args.isEmpty())
        return {};
    QString program = args.first();
    program.replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (!program.contains(QLatin1Char('/')))
        program = QStandardPaths::findExecutable(program);
    return program.isEmpty() ? QString() : QFileInfo(program).canonicalFilePath();
}

// What a file looks like from outside, enough to tell that it changed.
QString fileState(const QString &path)
{
    const QFileInfo fi(path);
    QString s = path;
    if (fi.isSymLink())
        s += QStringLiteral("|link:") + fi.symLinkTarget();
    if (fi.exists())
        s += QStringLiteral("|%1|%2|%3|%4")
                 .arg(fi.size())
                 .arg(fi.lastModified().toMSecsSinceEpoch())
                 .arg(int(fi.permissions()))
                 .arg(fi.isWritable() ? 1 : 0);
    else
        s += QStringLiteral("|missing");
    return s;
}

// A file the user made read-only stays as it is, also for a program that
// could write it anyway (as root can).
bool readOnly(const QString &path)
{
    const QFileInfo fi(path);
    return fi.exists() && (!fi.isWritable() || !(fi.permissions() & QFileDevice::WriteOwner));
}

QString fingerprintOf(const QString &file, const QString &verdict)
{
    return QString::fromLatin1(
        QCryptographicHash::hash((fileState(file) + QLatin1Char('|') + verdict).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex());
}

} // namespace

FreedesktopAssociations::FreedesktopAssociations(XdgDirs dirs, CommandRunner &runner,
                                                 QStringList extensions)
    : m_dirs(std::move(dirs)), m_runner(runner)
{
    for (const QString &e : extensions)
        m_extensions << bare(e);
}

QString FreedesktopAssociations::desktopEntryPath() const
{
    return m_dirs.dataHome + QStringLiteral("/applications/") + applicationId();
}

QString FreedesktopAssociations::mimePackagePath() const
{
    return m_dirs.dataHome + QStringLiteral("/mime/packages/lumora.xml");
}

QString FreedesktopAssociations::mimeAppsPath() const
{
    return m_dirs.configHome + QStringLiteral("/mimeapps.list");
}

QString FreedesktopAssociations::declaredMimeType(const QString &extension)
{
    return QStringLiteral("image/x-") + bare(extension);
}

QStringList FreedesktopAssociations::unknownExtensions()
{
    // Judged by the system's database alone, so our own package does not
    // make its types look known.
    if (m_unknown)
        return *m_unknown;
    QStringList out;
    for (const QString &e : m_extensions) {
        if (platform::mimeTypeForExtension(m_dirs.dataDirs, e).isEmpty() && !out.contains(e))
            out << e;
    }
    m_unknown = out;
    return out;
}

QString FreedesktopAssociations::packageXml(const QStringList &unknown) const
{
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n");
    for (const QString &e : unknown) {
        xml += QStringLiteral("  <mime-type type=\"%1\">\n"
                              "    <comment>%2 image</comment>\n"
                              "    <glob pattern=\"*.%3\"/>\n"
                              "  </mime-type>\n")
                   .arg(declaredMimeType(e), e.toUpper(), e);
    }
    return xml + QStringLiteral("</mime-info>\n");
}

bool FreedesktopAssociations::refreshMimeDatabase()
{
    m_mimeCache.clear();
    return m_runner
        .run(QStringLiteral("update-mime-database"), {m_dirs.dataHome + QStringLiteral("/mime")})
        .ok();
}

QString FreedesktopAssociations::installedEntry(const QString &programPath) const
{
    const QString program = QFileInfo(programPath).canonicalFilePath();
    if (program.isEmpty())
        return {};
    // Only the first entry of that name counts: it is the one the desktop
    // uses when the user's folder holds none.
    for (const QString &data : m_dirs.dataDirs) {
        const QString file = data + QStringLiteral("/applications/") + applicationId();
        if (QFileInfo(file).isFile())
            return startedProgram(file) == program ? file : QString();
    }
    return {};
}

bool FreedesktopAssociations::userEntryIsOurs() const
{
    QFile f(desktopEntryPath());
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // Written by this program: marked so, or (by versions before the mark)
    // named Lumora and starting a program called lumora. An entry the user
    // wrote by hand under that name stays theirs.
    const QByteArray bytes = f.read(1 << 20);
    if (bytes.contains("\nX-Lumora-Written-By-Lumora=true\n"))
        return true;
    const QStringList args = DesktopEntry::splitCommand(DesktopEntry::parse(bytes).exec);
    return bytes.contains("\nName=Lumora\n") && !args.isEmpty() &&
           QFileInfo(args.first()).fileName() == QLatin1String("lumora");
}

bool FreedesktopAssociations::removeUserEntry()
{
    if (!QFileInfo::exists(desktopEntryPath()) || !userEntryIsOurs())
        return true;
    if (!QFile::remove(desktopEntryPath()))
        return false;
    m_entryChanged = false;
    // The folder's cache still lists the entry for its types, and both
    // xdg-mime and GLib choose from that cache: build it again, or remove it
    // when no entry of anyone's is left to list.
    const QString apps = m_dirs.dataHome + QStringLiteral("/applications");
    const QString cache = apps + QStringLiteral("/mimeinfo.cache");
    QDirIterator others(apps, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories);
    if (!others.hasNext())
        return !QFileInfo::exists(cache) || QFile::remove(cache);
    return m_runner.run(QStringLiteral("update-desktop-database"), {QStringLiteral("-q"), apps})
        .ok();
}

bool FreedesktopAssociations::releaseApplication()
{
    // A list left saying nothing (the group our lines were added under) is
    // what a missing one means to every reader; it goes, so that an account
    // that had none before has none again.
    const QString list = mimeAppsPath();
    const std::optional<QByteArray> bytes =
        QFileInfo(list).isSymLink() ? std::nullopt : readWholeFile(list);
    if (bytes && !bytes->isEmpty() &&
        bytes->trimmed() == QByteArray("[") + MimeAppsList::kDefaultGroup + ']')
        QFile::remove(list);
    return removeUserEntry();
}

bool FreedesktopAssociations::registerApplication(const QString &programPath,
                                                  const QString &iconPath)
{
    bool ok = true;

    // An installed program is known to the desktop through its packaged
    // entry; a copy in the user's folder would hide that one and outlive the
    // package, so none is written and an old one of ours goes.
    if (!installedEntry(programPath).isEmpty())
        return removeUserEntry();

    const QStringList unknown = unknownExtensions();
    bool packageChanged = false;
    if (!unknown.isEmpty()) {
        ok = writeIfChanged(mimePackagePath(), packageXml(unknown).toUtf8(), &packageChanged) && ok;
        // A package in place whose types the cache lacks (the cache was
        // removed, or never built) needs the cache built as well.
        for (const QString &e : unknown) {
            if (platform::mimeTypeForExtension(QStringList{m_dirs.dataHome}, e) !=
                declaredMimeType(e))
                packageChanged = true;
        }
    } else if (QFile::exists(mimePackagePath())) {
        packageChanged = QFile::remove(mimePackagePath());
    }
    if (packageChanged)
        ok = refreshMimeDatabase() && ok;

    DesktopEntry::Contents c;
    c.programPath = programPath;
    c.iconPath = iconPath;
    for (const QString &e : m_extensions) {
        const QString type = mimeTypeForExtension(e);
        const QString t = type.isEmpty() ? declaredMimeType(e) : type;
        if (!c.mimeTypes.contains(t))
            c.mimeTypes << t;
    }
    bool entryChanged = false;
    ok = writeIfChanged(desktopEntryPath(), DesktopEntry::build(c).toUtf8(), &entryChanged) && ok;
    m_entryChanged = m_entryChanged || entryChanged;
    return ok;
}

QString FreedesktopAssociations::mimeTypeForExtension(const QString &extension)
{
    const QString e = bare(extension);
    auto it = m_mimeCache.constFind(e);
    if (it != m_mimeCache.constEnd())
        return *it;
    const QString type = platform::mimeTypeForExtension(m_dirs.allDataDirs(), e);
    // Only answers worth keeping are kept: an unknown type may become known
    // once our package is in the cache.
    if (!type.isEmpty())
        m_mimeCache.insert(e, type);
    return type;
}

QString FreedesktopAssociations::defaultApplication(const QString &mimeType)
{
    if (mimeType.isEmpty())
        return {};
    const QByteArray type = mimeType.toUtf8();
    for (const QString &file : m_dirs.mimeAppsFiles()) {
        if (!QFileInfo(file).isFile())
            continue;
        const std::optional<QByteArray> bytes = readWholeFile(file);
        if (!bytes)
            continue;
        for (const QString &id : MimeAppsList(*bytes).defaultIds(type)) {
            if (DesktopEntry::isUsable(DesktopEntry::findFile(m_dirs, id)))
                return id;
        }
    }
    return {};
}

bool FreedesktopAssociations::makeDefault(const QString &mimeType, QString *previous)
{
    if (mimeType.isEmpty() || readOnly(mimeAppsPath()))
        return false;
    const std::optional<QByteArray> bytes = readWholeFile(mimeAppsPath());
    if (!bytes)
        return false;
    MimeAppsList list(*bytes);
    const QByteArray type = mimeType.toUtf8();
    const QByteArray ours = MimeAppsList::entryLine(type, applicationId());
    const QList<QByteArray> before = list.defaultLines(type);
    // Our entry there already and still not the default: a file read before
    // this one decides, and nothing written here would change that.
    const QStringList ourId{applicationId()};
    if (!before.isEmpty() && std::all_of(before.begin(), before.end(), [&](const QByteArray &l) {
            return MimeAppsList::idsOf(l) == ourId;
        }))
        return false;
    // Every line of the type becomes ours, in its own place, so whichever one
    // a reader takes it finds us, and a restore puts each back where it was.
    list.replaceDefaultLines(type, QList<QByteArray>(std::max<qsizetype>(1, before.size()), ours));
    if (!writeFileAtomically(mimeAppsPath(), list.bytes()))
        return false;
    if (previous)
        *previous = encodeLines(before);
    return true;
}

bool FreedesktopAssociations::restoreDefault(const QString &mimeType, const QString &previous)
{
    if (mimeType.isEmpty())
        return false;
    const std::optional<QByteArray> bytes = readWholeFile(mimeAppsPath());
    if (!bytes)
        return false;
    MimeAppsList list(*bytes);
    const QByteArray type = mimeType.toUtf8();
    if (list.defaultIds(type) != QStringList{applicationId()})
        return true; // someone else's default now: theirs to keep
    list.replaceDefaultLines(type, decodeLines(previous));
    const QByteArray after = list.bytes();
    return after == *bytes || writeFileAtomically(mimeAppsPath(), after);
}

std::optional<DefaultRefusal> FreedesktopAssociations::refusal(const QString &mimeType)
{
    if (mimeType.isEmpty())
        return std::nullopt;
    const QString own = mimeAppsPath();
    const QFileInfo ownInfo(own);
    auto refused = [](const QString &file, const QString &reason, const QString &verdict) {
        return DefaultRefusal{file, reason, fingerprintOf(file, verdict)};
    };
    if (ownInfo.isSymLink() && !QFileInfo::exists(ownInfo.symLinkTarget()))
        return refused(own,
                       QStringLiteral("%1 is a link to %2, which does not exist, so Lumora cannot "
                                      "change it.")
                           .arg(own, ownInfo.symLinkTarget()),
                       QStringLiteral("dangling"));
    const QString writable = ownInfo.exists() ? own : ownInfo.absolutePath();
    if (readOnly(writable))
        return refused(writable,
                       QStringLiteral("%1 is read-only, so Lumora cannot change it.").arg(writable),
                       QStringLiteral("read-only"));

    // The first list naming a program that can be started decides.
    const QByteArray type = mimeType.toUtf8();
    for (const QString &file : m_dirs.mimeAppsFiles()) {
        if (!QFileInfo(file).isFile())
            continue;
        const std::optional<QByteArray> bytes = readWholeFile(file);
        if (!bytes)
            continue;
        for (const QString &id : MimeAppsList(*bytes).defaultIds(type)) {
            if (!DesktopEntry::isUsable(DesktopEntry::findFile(m_dirs, id)))
                continue;
            if (id == applicationId())
                return std::nullopt;
            return refused(
                file, QStringLiteral("The desktop reads %1 first, and it names %2.").arg(file, id),
                id);
        }
    }
    const QString entry = DesktopEntry::findFile(m_dirs, applicationId());
    if (!DesktopEntry::isUsable(entry)) {
        const QString where = entry.isEmpty() ? desktopEntryPath() : entry;
        return refused(where, QStringLiteral("The desktop cannot start Lumora from %1.").arg(where),
                       QStringLiteral("unusable"));
    }
    return refused(own, QStringLiteral("The desktop does not take the default from %1.").arg(own),
                   defaultApplication(mimeType));
}

void FreedesktopAssociations::notifyChanged()
{
    // File managers watch mimeapps.list themselves; only the cache of which
    // entry opens which types needs building, and only when an entry changed.
    if (!m_entryChanged)
        return;
    m_entryChanged = false;
    const QString apps = m_dirs.dataHome + QStringLiteral("/applications");
    if (QFileInfo(apps).isDir())
        m_runner.run(QStringLiteral("update-desktop-database"), {QStringLiteral("-q"), apps});
}

} // namespace lumora::platform
