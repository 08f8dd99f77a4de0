#include "viewer/TypeRule.h"

#include "imaging/Decoder.h"

#include <QFileInfo>

namespace lumora
{

bool takesPictureRoute(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    return QStringLiteral("ico cur dib").contains(ext);
}

Result<> loadByTypeRule(imaging::ImageDocument &doc, const QString &path)
{
    if (!takesPictureRoute(path))
        return doc.LoadFromFile(path, 0, QString());

    QString error;
    const QImage picture = imaging::loadPicture(path, &error);
    if (picture.isNull())
        return fail(error);
    // The picture carries no file; name it first so listeners of the change
    // notice already see the right file.
    doc.setSourcePath(path);
    return doc.LoadFromPicture(picture, QString());
}

QString viewerCaption(const QString &path)
{
    return QFileInfo(path).fileName() +
           QStringLiteral("- Lumora %1.%2").arg(LUMORA_VERSION_MAJOR).arg(LUMORA_VERSION_MINOR);
}

} // namespace lumora
