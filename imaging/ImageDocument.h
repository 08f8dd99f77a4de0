#pragma once

#include "base/Result.h"
#include "imaging/Decoder.h"
#include "imaging/FormatCode.h"
#include "imaging/ImageCipher.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

namespace lumora::imaging
{

// The open image as a state object, free of widgets: its pages, the current
// page, the file it came from and its format. Views listen to changed().
class ImageDocument : public QObject
{
    Q_OBJECT
public:
    enum class State { Empty, Loaded, Failed };

    explicit ImageDocument(QObject *parent = nullptr);

    // File route: decode by content; page selects the first current page.
    // The password is for encrypted files (not supported yet: a non-empty
    // password on an unencrypted file is ignored).
    Result<> LoadFromFile(const QString &path, int page = 0, const QString &password = {});
    // Picture route: take an already decoded picture. The file name and path
    // stay as given by setSourcePath() (the picture loader knows the file).
    Result<> LoadFromPicture(const QImage &picture, const QString &key = {});
    // Adopts an already decoded result (e.g. from a preloading worker),
    // with the profile its pixels are in (DecodedImage::iccProfile).
    void adopt(QList<QImage> pages, FormatCode format, int bitsPerPixel, const QString &path,
               const QString &damage = {}, const QByteArray &iccProfile = {});
    // The same with everything the decode says, an animation's timing too.
    void adopt(DecodedImage &&decoded, const QString &path);
    void ResetImages(const QString &key = {});

    State state() const { return m_state; }
    QString lastError() const { return m_error; }
    bool isEmpty() const { return m_pages.isEmpty(); }

    int ImageCount() const { return int(m_pages.size()); }
    // Page i (0-based); a null image when out of range.
    QImage ImageItem(int index) const;
    int currentIndex() const { return m_current; }
    void SetCurrentImage(int index);
    // An animation's next frame: the page changes as with SetCurrentImage,
    // but views keep their zoom and scroll position (frameChanged, not
    // changed).
    void showFrame(int index);

    // How long each page shows (ms, as the file says) when the pages are the
    // frames of an animation; empty otherwise. See DecodedImage.
    const QList<int> &frameDelays() const { return m_frameDelays; }
    bool isAnimation() const { return m_frameDelays.size() > 1; }
    int playCount() const { return m_playCount; }
    QString animationNote() const { return m_animationNote; }
    // Counts the pictures taken in (loads, adoptions, resets), so a listener
    // to changed() can tell a new picture from a turned one.
    quint64 pictureSerial() const { return m_pictureSerial; }
    const QImage &currentImage() const;

    int ImageWidth() const;
    int ImageHeight() const;
    int BitsPerPixel() const { return m_bitsPerPixel; }
    // Why the file shown is damaged (see DecodedImage::damage); empty when
    // it is intact.
    QString damage() const { return m_damage; }
    FormatCode ImageFormat() const { return m_format; }
    // The ICC profile the pages' pixels are in, as the file embedded it;
    // empty for sRGB or unprofiled pictures. The pages keep the file's
    // numbers: what is shown or printed is converted from this profile, and
    // Save As keeps it (or converts, for formats without profiles).
    QByteArray iccProfile() const { return m_iccProfile; }
    QString ImageFileName() const; // name with extension, no folder
    QString ImageFilePath() const { return m_path; }
    void setSourcePath(const QString &path) { m_path = path; }

    // Rotates every page by a multiple of 90 degrees (other angles: nearest
    // quarter turn). Region, option and key are accepted for the caller's
    // sake and not used.
    void Rotate(float degrees, const void *region = nullptr, int option = 0,
                const QString &key = {});

    // Output helpers used by thumbnails and previews; they work on the
    // current page. A width or height of 0 keeps the proportions.
    void Resize(int width, int height, bool smooth = true);
    // The fill Canvas() uses when it is given no valid background colour.
    void Fill(const QColor &color);
    // Puts the current page on a canvas of the given size at (x, y).
    void Canvas(int width, int height, int x, int y, const QColor &background);
    QImage Picture() const { return currentImage(); }

    // Writes the current page, the one on screen. Atomic: a temporary file in
    // the target folder is renamed over the target, so a failed save never
    // leaves half a file. Returns false with *error set (a sentence for the
    // user) when the format cannot be written or the file cannot be made.
    // `option` is the JPEG quality (0: the default); a JPEG saved from a JPEG
    // keeps its EXIF data with the orientation reset to normal.
    bool SaveToFile(const QString &path, FormatCode code, int option = 0, bool overwrite = true,
                    QString *error = nullptr) const;

    // --- encryption of the current page
    // Seals or opens the current page under the key; the second string is
    // accepted for the caller's sake and not used. On failure the page is
    // left exactly as it was and the result says why.
    Result<> EncryptImage(const QString &key, const QString &unused = {});
    Result<> DecryptImage(const QString &key, const QString &unused = {});
    // Whether the current page is a sealed picture.
    bool isEncrypted() const;
    // The key-derivation cost new encryptions use.
    void setCipherCost(const CipherCost &cost) { m_cipherCost = cost; }

signals:
    // After every change of image or orientation.
    void changed();
    // After showFrame().
    void frameChanged();

private:
    void setPages(QList<QImage> pages, int current);
    void setAnimation(QList<int> delays = {}, int playCount = 0, const QString &note = {});

    QList<QImage> m_pages;
    int m_current = 0;
    FormatCode m_format = FormatCode::Unknown;
    int m_bitsPerPixel = 0;
    QString m_damage;
    QByteArray m_iccProfile;
    QList<int> m_frameDelays;
    int m_playCount = 0;
    QString m_animationNote;
    quint64 m_pictureSerial = 0;
    QString m_path;
    QString m_error;
    QColor m_fill = Qt::white;
    State m_state = State::Empty;
    CipherCost m_cipherCost = CipherCost::standard();
};

} // namespace lumora::imaging
