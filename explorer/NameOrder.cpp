#include "explorer/NameOrder.h"

#include <algorithm>

namespace lumora
{

// Compares runs of digits by value and everything else case-insensitively,
// without depending on the locale's collation (the C locale has no numeric
// mode), so the order is the same on every machine.
static int naturalCompare(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = a.at(i).isDigit(), db = b.at(j).isDigit();
        if (da && db) {
            qsizetype si = i, sj = j;
            while (si < a.size() && a.at(si) == QLatin1Char('0'))
                ++si;
            while (sj < b.size() && b.at(sj) == QLatin1Char('0'))
                ++sj;
            qsizetype ei = si, ej = sj;
            while (ei < a.size() && a.at(ei).isDigit())
                ++ei;
            while (ej < b.size() && b.at(ej).isDigit())
                ++ej;
            const qsizetype la = ei - si, lb = ej - sj;
            if (la != lb)
                return la < lb ? -1 : 1;
            for (qsizetype k = 0; k < la; ++k) {
                const int d = a.at(si + k).digitValue() - b.at(sj + k).digitValue();
                if (d != 0)
                    return d < 0 ? -1 : 1;
            }
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a.at(i).toCaseFolded(), cb = b.at(j).toCaseFolded();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

bool nameLess(const QString &a, const QString &b)
{
    const int r = naturalCompare(a, b);
    if (r != 0)
        return r < 0;
    // Names equal but for case or leading zeros still need a stable order.
    return a < b;
}

void sortByName(QStringList &names)
{
    std::sort(names.begin(), names.end(), nameLess);
}

} // namespace lumora
