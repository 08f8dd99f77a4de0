#include "platform/MimeGlobs.h"

#include <QFile>

namespace lumora::platform
{

QString mimeTypeForExtension(const QStringList &dataDirs, const QString &ext)
{
    const QByteArray wanted = "*." + ext.toUtf8();
    QString best;
    int bestWeight = -1;
    for (const QString &dir : dataDirs) {
        QFile f(dir + QStringLiteral("/mime/globs2"));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        while (!f.atEnd()) {
            const QByteArray line = f.readLine().trimmed();
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            // weight:type:pattern[:flags[:...]]
            const QList<QByteArray> parts = line.split(':');
            if (parts.size() < 3)
                continue;
            const bool caseSensitive = parts.size() > 3 && parts[3].split(',').contains("cs");
            const bool match =
                caseSensitive ? parts[2] == wanted : parts[2].toLower() == wanted.toLower();
            bool ok = false;
            const int weight = parts[0].toInt(&ok);
            if (match && ok && weight > bestWeight) {
                bestWeight = weight;
                best = QString::fromUtf8(parts[1]);
            }
        }
    }
    return best;
}

} // namespace lumora::platform
