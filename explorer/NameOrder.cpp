#include "explorer/NameOrder.h"

#include <QCollator>

#include <algorithm>

namespace lumora {

static const QCollator &collator()
{
    // QCollator is not safe to share for writing, but compare() is const and
    // the settings never change after this.
    static const QCollator c = [] {
        QCollator col;
        col.setNumericMode(true);
        col.setCaseSensitivity(Qt::CaseInsensitive);
        col.setIgnorePunctuation(false);
        return col;
    }();
    return c;
}

bool nameLess(const QString &a, const QString &b)
{
    const int r = collator().compare(a, b);
    if (r != 0)
        return r < 0;
    // Names that collate equal ("a.jpg", "A.jpg") still need a stable order.
    return a < b;
}

void sortByName(QStringList &names)
{
    std::sort(names.begin(), names.end(), nameLess);
}

} // namespace lumora
