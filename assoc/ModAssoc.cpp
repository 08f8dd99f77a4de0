#include "assoc/ModAssoc.h"

#include "platform/DesktopAssociations.h"
#include "platform/DesktopEntry.h"

#include <QFileInfo>

namespace lumora::assoc
{

using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_CURRENT_USER;

ModAssoc::ModAssoc(platform::RegistryStore &store, platform::DesktopAssociations *desktop,
                   QString programPath)
    : m_store(store), m_desktop(desktop), m_programPath(std::move(programPath))
{
}

// ------------------------------------------------------------- primitives

QString ModAssoc::GetRegString(std::uint32_t root, const QString &key, const QString &valueName,
                               const QString &sDefault)
{
    const auto r = platform::registryRootFromHandle(root);
    if (!r || m_store.openKey(*r, key, platform::RegAccess::Read) != platform::RegResult::Ok)
        return sDefault;
    platform::RegValue v;
    if (m_store.queryValue(*r, key, valueName, &v) != platform::RegResult::Ok)
        return sDefault;
    QString text = TrimAtNull(v.data);
    if (v.type == platform::RegExpandSz)
        text = TrimAtNull(ExpandEnvString(text));
    return text;
}

void ModAssoc::SetRegString(std::uint32_t root, const QString &key, const QString &valueName,
                            const QString &text)
{
    const auto r = platform::registryRootFromHandle(root);
    if (!r || m_store.createKey(*r, key) != platform::RegResult::Ok)
        return;
    m_store.setValue(*r, key, valueName, platform::RegValue{text, platform::RegSz});
}

void ModAssoc::DeleteRegValue(std::uint32_t root, const QString &key, const QString &valueName)
{
    const auto r = platform::registryRootFromHandle(root);
    if (r && m_store.openKey(*r, key, platform::RegAccess::All) == platform::RegResult::Ok)
        m_store.deleteValue(*r, key, valueName);
}

void ModAssoc::DeleteRegKey(std::uint32_t root, const QString &key)
{
    // The root itself is never deleted, whatever the path says.
    const auto r = platform::registryRootFromHandle(root);
    if (r && !key.isEmpty())
        m_store.deleteKey(*r, key);
}

// ---------------------------------------------------------------- strings

QString ModAssoc::ExpandEnvString(const QString &text)
{
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('%'), i);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('%'), open + 1);
        if (close < 0) {
            out += text.mid(i);
            break;
        }
        out += text.mid(i, open - i);
        const QString name = text.mid(open + 1, close - open - 1);
        const QByteArray value =
            name.isEmpty() ? QByteArray() : qgetenv(name.toLocal8Bit().constData());
        if (!name.isEmpty() && qEnvironmentVariableIsSet(name.toLocal8Bit().constData())) {
            out += QString::fromLocal8Bit(value);
            i = close + 1;
        } else {
            // Not a variable: the first '%' stays, and the second may open
            // the next reference.
            out += text.mid(open, close - open);
            i = close;
        }
    }
    return out;
}

QString ModAssoc::TrimAtNull(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QString ModAssoc::GetShortPath(const QString &path)
{
    return !path.isEmpty() && QFileInfo::exists(path) ? path : QString();
}

QString ModAssoc::GetAppFolder() const
{
    QString folder = QFileInfo(m_programPath).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString ModAssoc::openCommand() const
{
    const QString program = GetShortPath(m_programPath);
    if (program.isEmpty())
        return {};
    return platform::DesktopEntry::quoteArgument(program) + QStringLiteral(" %1");
}

QString ModAssoc::programIcon() const
{
    return GetAppFolder() + QStringLiteral("icons/lumora.png");
}

// ----------------------------------------------------------- associations

void ModAssoc::RegisterProgID(const QString &ProgID, const QString &description,
                              const QString &verb, const QString &icon)
{
    // A class once written under its description's name is cleared away.
    if (GetRegString(HKEY_CLASSES_ROOT, description, QString(), QString()) == ProgID)
        DeleteRegKey(HKEY_CLASSES_ROOT, description);
    SetRegString(HKEY_CLASSES_ROOT, ProgID, QString(), description);
    SetRegString(HKEY_CLASSES_ROOT, ProgID + QStringLiteral("\\shell"), QString(), QString());
    SetRegString(HKEY_CLASSES_ROOT, ProgID + QStringLiteral("\\shell\\") + verb, QString(),
                 QString());
    const QString command = openCommand();
    if (!command.isEmpty())
        SetRegString(HKEY_CLASSES_ROOT,
                     ProgID + QStringLiteral("\\shell\\") + verb + QStringLiteral("\\command"),
                     QString(), command);
    SetRegString(HKEY_CLASSES_ROOT, ProgID + QStringLiteral("\\DefaultIcon"), QString(),
                 !icon.isEmpty() ? icon : GetShortPath(m_programPath));
    if (m_desktop && !GetShortPath(m_programPath).isEmpty())
        m_desktop->registerApplication(m_programPath, programIcon());
}

int ModAssoc::storeAssociated(const QString &extension, const QString &ProgID)
{
    return GetRegString(HKEY_CLASSES_ROOT, extension, QString(), QString()) == ProgID ? 1 : 0;
}

QString ModAssoc::desktopMimeType(const QString &extension)
{
    return m_desktop ? m_desktop->mimeTypeForExtension(extension) : QString();
}

int ModAssoc::IsAssociated(const QString &extension, const QString &ProgID)
{
    if (storeAssociated(extension, ProgID) != 1)
        return 0;
    if (!m_desktop)
        return 1;
    const QString type = desktopMimeType(extension);
    return !type.isEmpty() && m_desktop->defaultApplication(type) == m_desktop->applicationId() ? 1
                                                                                                : 0;
}

void ModAssoc::AssociateExtension(const QString &extension, const QString &ProgID)
{
    bool changed = false;
    // The store and the desktop are mended separately: a store row that is
    // ours already must not have our own class saved as its previous owner.
    if (storeAssociated(extension, ProgID) != 1) {
        SetRegString(HKEY_CLASSES_ROOT, extension, QStringLiteral("OldAss"),
                     GetRegString(HKEY_CLASSES_ROOT, extension, QString(), QString()));
        SetRegString(HKEY_CLASSES_ROOT, extension, QString(), ProgID);
        const QString fileExts = QLatin1String(kFileExtsKey) + extension;
        SetRegString(
            HKEY_CURRENT_USER, fileExts, QStringLiteral("OldProgID"),
            GetRegString(HKEY_CURRENT_USER, fileExts, QStringLiteral("ProgID"), QString()));
        SetRegString(HKEY_CURRENT_USER, fileExts, QStringLiteral("ProgID"), ProgID);
        changed = true;
    }
    if (m_desktop && !GetShortPath(m_programPath).isEmpty()) {
        QString type = desktopMimeType(extension);
        if (type.isEmpty() || m_desktop->defaultApplication(type) != m_desktop->applicationId()) {
            // The default only counts when the desktop knows the program and
            // the type; both are made sure of first.
            m_desktop->registerApplication(m_programPath, programIcon());
            type = desktopMimeType(extension);
            QString previous;
            if (!type.isEmpty() &&
                m_desktop->defaultApplication(type) != m_desktop->applicationId() &&
                m_desktop->makeDefault(type, &previous)) {
                SetRegString(HKEY_CURRENT_USER, QLatin1String(kDesktopDefaultsKey), type, previous);
                changed = true;
            }
        }
    }
    if (changed)
        NotifyAssocChanged();
}

void ModAssoc::RestoreExtension(const QString &extension, const QString &ProgID)
{
    bool changed = false;
    if (storeAssociated(extension, ProgID) == 1) {
        SetRegString(
            HKEY_CLASSES_ROOT, extension, QString(),
            GetRegString(HKEY_CLASSES_ROOT, extension, QStringLiteral("OldAss"), QString()));
        SetRegString(HKEY_CLASSES_ROOT, extension, QStringLiteral("OldAss"),
                     QStringLiteral("Dummy"));
        DeleteRegValue(HKEY_CLASSES_ROOT, extension, QStringLiteral("OldAss"));
        const QString fileExts = QLatin1String(kFileExtsKey) + extension;
        const QString oldUser =
            GetRegString(HKEY_CURRENT_USER, fileExts, QStringLiteral("OldProgID"), QString());
        SetRegString(HKEY_CURRENT_USER, fileExts, QStringLiteral("OldProgID"),
                     QStringLiteral("Dummy"));
        SetRegString(HKEY_CURRENT_USER, fileExts, QStringLiteral("ProgID"), oldUser);
        DeleteRegValue(HKEY_CURRENT_USER, fileExts, QStringLiteral("OldProgID"));
        changed = true;
    }
    if (m_desktop) {
        const QString type = desktopMimeType(extension);
        const QString memoryKey = QLatin1String(kDesktopDefaultsKey);
        platform::RegValue remembered;
        const bool hasMemory =
            !type.isEmpty() && m_store.queryValue(platform::RegistryRoot::CurrentUser, memoryKey,
                                                  type, &remembered) == platform::RegResult::Ok;
        // A type shared with an extension given back before is not ours any
        // more and has nothing remembered: it is left alone.
        if (!type.isEmpty() &&
            (hasMemory || m_desktop->defaultApplication(type) == m_desktop->applicationId())) {
            if (m_desktop->restoreDefault(type, hasMemory ? remembered.data : QString()))
                DeleteRegValue(HKEY_CURRENT_USER, memoryKey, type);
            changed = true;
        }
    }
    if (changed)
        NotifyAssocChanged();
}

std::optional<platform::DefaultRefusal> ModAssoc::desktopRefusal(const QString &extension)
{
    const QString type = desktopMimeType(extension);
    if (!m_desktop || type.isEmpty())
        return std::nullopt;
    return m_desktop->refusal(type);
}

bool ModAssoc::refusalStands(const QString &extension)
{
    const QString type = desktopMimeType(extension);
    if (type.isEmpty())
        return false;
    const QString told =
        GetRegString(HKEY_CURRENT_USER, QLatin1String(kRefusedDefaultsKey), type, QString());
    if (told.isEmpty())
        return false;
    const std::optional<platform::DefaultRefusal> now = m_desktop->refusal(type);
    return now && now->fingerprint == told;
}

void ModAssoc::rememberRefusal(const QString &mimeType, const QString &fingerprint)
{
    // An empty name would be the key's default value.
    if (mimeType.isEmpty())
        return;
    SetRegString(HKEY_CURRENT_USER, QLatin1String(kRefusedDefaultsKey), mimeType, fingerprint);
}

void ModAssoc::forgetRefusal(const QString &mimeType)
{
    if (mimeType.isEmpty())
        return;
    DeleteRegValue(HKEY_CURRENT_USER, QLatin1String(kRefusedDefaultsKey), mimeType);
}

void ModAssoc::releaseDesktop()
{
    if (m_desktop && m_desktop->releaseApplication())
        m_desktop->notifyChanged();
}

void ModAssoc::NotifyAssocChanged()
{
    if (m_desktop)
        m_desktop->notifyChanged();
}

} // namespace lumora::assoc
