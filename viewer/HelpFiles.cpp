#include "viewer/HelpFiles.h"

#include <QFileInfo>

namespace lumora
{

HelpTarget helpIndexTarget(const QString &programFolder)
{
    const QString chm = programFolder + QStringLiteral("/orx.chm");
    if (QFileInfo(chm).isFile())
        return {chm, {}};
    const QString html = programFolder + QLatin1String(kHtmlHelp);
    if (QFileInfo(html).isFile())
        return {html, {}};
    return {{}, QStringLiteral("The help file \"%1\" cannot be found.").arg(chm)};
}

HelpTarget updaterTarget(const QString &programFolder)
{
    const QString updater = programFolder + QStringLiteral("/update/update.exe");
    if (QFileInfo(updater).isFile())
        return {updater, {}};
    return {{}, QStringLiteral("The updater \"%1\" cannot be found.").arg(updater)};
}

} // namespace lumora
