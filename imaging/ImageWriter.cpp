#include "imaging/ImageWriter.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>

namespace lumora::imaging
{

namespace
{

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

QByteArray encodeBmp(const QImage &image)
{
    // BMP has no alpha in the readers people use: flatten on white.
    QImage opaque = image;
    if (image.hasAlphaChannel()) {
        opaque = QImage(image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(opaque))
        return {};
    return bytes;
}

} // namespace

bool canWriteFormat(FormatCode code)
{
    return code == FormatCode::Bmp;
}

bool writeImageFile(const QImage &image, const QString &path, FormatCode code, int option,
                    bool overwrite, QString *error)
{
    Q_UNUSED(option);
    if (image.isNull())
        return fail(error, QStringLiteral("There is no image to save."));
    if (!canWriteFormat(code))
        return fail(error, QStringLiteral("Saving in the %1 format is not supported yet.")
                               .arg(QString::fromLatin1(formatShortName(code)).toUpper()));
    const QFileInfo target(path);
    if (target.isDir())
        return fail(error, QStringLiteral("\"%1\" is a folder.").arg(path));
    if (!overwrite && target.exists())
        return fail(error, QStringLiteral("The file \"%1\" already exists.").arg(path));

    const QByteArray bytes = encodeBmp(image);
    if (bytes.isEmpty())
        return fail(error, QStringLiteral("The image could not be encoded."));

    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return fail(
            error,
            QStringLiteral("The file \"%1\" cannot be written: %2.").arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(error,
                    QStringLiteral("The file \"%1\" cannot be written: %2.").arg(path, reason));
    }
    if (!file.commit())
        return fail(
            error,
            QStringLiteral("The file \"%1\" cannot be written: %2.").arg(path, file.errorString()));
    if (error)
        error->clear();
    return true;
}

} // namespace lumora::imaging
