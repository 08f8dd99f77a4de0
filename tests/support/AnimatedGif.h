#pragma once

#include "support/ExternalWriters.h"

#include <QColor>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

namespace lumora::test
{

// An animated GIF written by ImageMagick: one whole frame of each colour,
// `delayCs` hundredths of a second each, `loop` as ImageMagick's -loop (0 for
// ever, n plays n times).
inline bool writeAnimatedGif(const QString &path, const QList<QColor> &colours, int delayCs,
                             int loop = 0, QSize size = QSize(48, 36))
{
    QStringList args{QStringLiteral("-delay"), QString::number(delayCs), QStringLiteral("-size"),
                     QStringLiteral("%1x%2").arg(size.width()).arg(size.height())};
    for (const QColor &c : colours)
        args << QStringLiteral("xc:") + c.name();
    args << QStringLiteral("-loop") << QString::number(loop) << path;
    return runTool(QStringLiteral("convert"), args);
}

} // namespace lumora::test
