#pragma once

#include <QString>
#include <QStringList>

namespace lumora
{

// The one file order of the program: by name, case-insensitive and natural
// ("img2" before "img10"). The grid, folder image lists and the viewer all use
// it, so the n-th image of a list is the n-th image item of the grid.
void sortByName(QStringList &names);
bool nameLess(const QString &a, const QString &b);

} // namespace lumora
