#include "app/NamedFile.h"

#include "explorer/NameOrder.h"

#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace lumora
{

namespace
{

bool sameFile(const QString &a, const QString &b)
{
    std::error_code ec;
    return std::filesystem::equivalent(std::filesystem::path(a.toStdString()),
                                       std::filesystem::path(b.toStdString()), ec) &&
           !ec;
}

} // namespace

int placeNamedFile(QStringList &list, const QString &path)
{
    const qsizetype exact = list.indexOf(path);
    if (exact >= 0)
        return int(exact);
    const QFileInfo named(path);
    if (!named.isFile())
        return 0;

    // The listing may spell the same file otherwise: "..", a link to its
    // folder, another case on a disk that ignores case, a second hard link.
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (sameFile(list[i], path))
            return int(i);
    }

    const QString name = named.fileName();
    qsizetype at = 0;
    while (at < list.size() && !nameLess(name, QFileInfo(list[at]).fileName()))
        ++at;
    list.insert(at, named.absoluteFilePath());
    return int(at);
}

} // namespace lumora
