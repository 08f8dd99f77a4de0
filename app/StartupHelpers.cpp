#include "app/StartupHelpers.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

namespace lumora
{

QString commandLineText(const QStringList &arguments)
{
    return arguments.mid(1).join(QLatin1Char(' '));
}

bool PathExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    if (path.contains(QLatin1Char('*')) || path.contains(QLatin1Char('?'))) {
        const QFileInfo info(path);
        const QDir dir = info.dir();
        return !dir.entryList({info.fileName()},
                              QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                    .isEmpty();
    }
    const QFileInfo info(path);
    // A dangling link still names an entry of its folder.
    return info.exists() || info.isSymLink();
}

int FindImageIndex(const QStringList &list, const QString &path)
{
    const qsizetype i = list.indexOf(path);
    return i < 0 ? 0 : int(i);
}

QString GetParentFolderName(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    if (slash == 0)
        return QStringLiteral("/");
    return p.left(slash);
}

quintptr FindWin(const QString &text)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->windowTitle().contains(text, Qt::CaseSensitive))
            return quintptr(w->winId());
    }
    return 0;
}

} // namespace lumora
