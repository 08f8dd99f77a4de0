#include "explorer/ExtensionFilter.h"

#include "explorer/NameOrder.h"
#include "imaging/PhotoCodecs.h"

#include <QDir>
#include <QFileInfo>

namespace lumora
{

bool ExtensionFilter::SetExt(const QString &s)
{
    m_ext = s.toLower();
    return !s.isEmpty();
}

QString ExtensionFilter::extensionOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {};
    return name.mid(dot + 1);
}

bool ExtensionFilter::IsImageFile(const QString &path) const
{
    const QString ext = extensionOf(path);
    if (ext.size() < 3)
        return false;
    const QString lower = ext.toLower();
    if (m_moreTypes && imaging::isPhotoExtension(lower))
        return true;
    return m_ext.contains(lower);
}

QStringList ExtensionFilter::GetImageList(QString &path, const QString &searchStr) const
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');

    QDir dir(path);
    // "*.*" is the everything pattern of the shell this list format comes from.
    QStringList filters;
    if (!searchStr.isEmpty() && searchStr != QLatin1String("*.*"))
        filters << searchStr;
    QStringList names =
        dir.entryList(filters, QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    sortByName(names);

    QStringList out;
    out.reserve(names.size());
    for (const QString &name : names) {
        const QString full = path + name;
        if (IsImageFile(full) && !QFileInfo(full).isDir())
            out << full;
    }
    return out;
}

} // namespace lumora
