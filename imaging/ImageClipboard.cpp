#include "imaging/ImageClipboard.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

namespace lumora::imaging
{

bool CopyToClipboard(const QImage &picture, const QString &sourcePath)
{
    if (picture.isNull())
        return false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    auto *data = new QMimeData;
    data->setImageData(picture);
    if (!sourcePath.isEmpty() && QFileInfo(sourcePath).isFile())
        data->setUrls({QUrl::fromLocalFile(QFileInfo(sourcePath).absoluteFilePath())});
    clipboard->setMimeData(data); // the clipboard owns it from here
    return true;
}

} // namespace lumora::imaging
