#pragma once

// Readers that are not ours, each run as a process of its own: ImageMagick
// for raster files, libwmf's wmf2gd for WMF, libemf2svg's emf2svg-conv for
// EMF. Running them out of process also keeps ImageMagick's TIFF coder away
// from the libtiff that Qt's TIFF reader shares.

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace lumora::test
{

inline bool haveProgram(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

struct ProcessResult {
    bool ok = false;
    QByteArray out;
    QByteArray err;
};

inline ProcessResult runProgram(const QString &program, const QStringList &args, int msecs = 60000)
{
    QProcess process;
    process.start(program, args);
    ProcessResult r;
    if (!process.waitForStarted(msecs) || !process.waitForFinished(msecs)) {
        process.kill();
        process.waitForFinished();
        r.err = "did not finish";
        return r;
    }
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
    r.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return r;
}

// Parses a PAM (P7) stream as ImageMagick writes it: grey, grey+alpha, RGB or
// RGBA at 8 or 16 bits. 8-bit input gives RGBA8888, 16-bit RGBA64.
inline QImage parsePam(const QByteArray &pam)
{
    if (!pam.startsWith("P7\n"))
        return {};
    const qsizetype end = pam.indexOf("ENDHDR\n");
    if (end < 0)
        return {};
    int width = 0, height = 0, depth = 0, maxval = 0;
    for (const QByteArray &line : pam.left(end).split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() < 2)
            continue;
        if (parts[0] == "WIDTH")
            width = parts[1].toInt();
        else if (parts[0] == "HEIGHT")
            height = parts[1].toInt();
        else if (parts[0] == "DEPTH")
            depth = parts[1].toInt();
        else if (parts[0] == "MAXVAL")
            maxval = parts[1].toInt();
    }
    const int bytesPerSample = maxval > 255 ? 2 : 1;
    const qsizetype start = end + 7;
    if (width <= 0 || height <= 0 || depth < 1 || depth > 4 ||
        pam.size() - start < qint64(width) * height * depth * bytesPerSample)
        return {};
    QImage out(width, height,
               bytesPerSample == 2 ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
    const auto *src = reinterpret_cast<const uchar *>(pam.constData() + start);
    auto sample = [&](qint64 index) -> int {
        if (bytesPerSample == 1)
            return src[index];
        return (src[2 * index] << 8) | src[2 * index + 1];
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const qint64 base = (qint64(y) * width + x) * depth;
            int r, g, b, a = maxval;
            if (depth <= 2) {
                r = g = b = sample(base);
                if (depth == 2)
                    a = sample(base + 1);
            } else {
                r = sample(base);
                g = sample(base + 1);
                b = sample(base + 2);
                if (depth == 4)
                    a = sample(base + 3);
            }
            if (bytesPerSample == 2) {
                reinterpret_cast<QRgba64 *>(out.scanLine(y))[x] =
                    QRgba64::fromRgba64(quint16(r), quint16(g), quint16(b), quint16(a));
            } else {
                uchar *p = out.scanLine(y) + 4 * x;
                p[0] = uchar(r);
                p[1] = uchar(g);
                p[2] = uchar(b);
                p[3] = uchar(a);
            }
        }
    }
    return out;
}

// The first image of a raster file as ImageMagick reads it; `bits` is 8 or 16.
inline QImage readWithMagick(const QString &path, int bits = 8, QString *why = nullptr)
{
    const ProcessResult r = runProgram(QStringLiteral("convert"),
                                       {path + QStringLiteral("[0]"), QStringLiteral("-depth"),
                                        QString::number(bits), QStringLiteral("pam:-")});
    if (!r.ok) {
        if (why)
            *why = QString::fromLocal8Bit(r.err);
        return {};
    }
    return parsePam(r.out);
}

// ImageMagick's `identify -format` for one file.
inline QString identify(const QString &path, const QString &format)
{
    const ProcessResult r =
        runProgram(QStringLiteral("identify"), {QStringLiteral("-format"), format, path + "[0]"});
    return r.ok ? QString::fromLocal8Bit(r.out).trimmed() : QStringLiteral("<identify failed>");
}

// A WMF drawn by libwmf's gd renderer, at the given size (its own choice,
// 72 dots an inch, when none is given).
inline QImage readWmfWithLibwmf(const QString &path, const QSize &size = {}, QString *why = nullptr)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("out.png"));
    QStringList args{QStringLiteral("-t"), QStringLiteral("png"), QStringLiteral("-o"), png};
    if (size.isValid())
        args << QStringLiteral("--maxwidth=%1").arg(size.width())
             << QStringLiteral("--maxheight=%1").arg(size.height()) << QStringLiteral("--maxsize");
    args << path;
    const ProcessResult r = runProgram(QStringLiteral("wmf2gd"), args);
    if (!r.ok) {
        if (why)
            *why = QString::fromLocal8Bit(r.err);
        return {};
    }
    return QImage(png);
}

// What libemf2svg makes of an EMF that holds one bitmap: the SVG's size and
// the embedded picture with its placement.
struct EmfAsSvg {
    double svgWidth = 0, svgHeight = 0;
    double x = 0, y = 0, width = 0, height = 0;
    int images = 0;
    QImage picture;
};

inline std::optional<EmfAsSvg> readEmfWithLibemf2svg(const QString &path, QString *why = nullptr)
{
    QTemporaryDir dir;
    const QString svg = dir.filePath(QStringLiteral("out.svg"));
    const ProcessResult r = runProgram(QStringLiteral("emf2svg-conv"),
                                       {QStringLiteral("-i"), path, QStringLiteral("-o"), svg});
    QFile file(svg);
    if (!r.ok || !file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = QString::fromLocal8Bit(r.err);
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(file.readAll());
    EmfAsSvg out;
    auto number = [](const QString &tag, const char *name) {
        const QRegularExpression re(
            QStringLiteral("\\b%1=\"([-0-9.eE]+)").arg(QLatin1String(name)));
        const QRegularExpressionMatch m = re.match(tag);
        return m.hasMatch() ? m.captured(1).toDouble() : 0.0;
    };
    const QRegularExpression svgTag(QStringLiteral("<svg[^>]*>"));
    const QRegularExpressionMatch svgMatch = svgTag.match(text);
    if (svgMatch.hasMatch()) {
        out.svgWidth = number(svgMatch.captured(0), "width");
        out.svgHeight = number(svgMatch.captured(0), "height");
    }
    const QRegularExpression imageTag(QStringLiteral("<image[^>]*>"));
    auto it = imageTag.globalMatch(text);
    while (it.hasNext()) {
        const QString tag = it.next().captured(0);
        ++out.images;
        out.x = number(tag, "x");
        out.y = number(tag, "y");
        out.width = number(tag, "width");
        out.height = number(tag, "height");
        const QRegularExpression data(QStringLiteral("base64,([A-Za-z0-9+/=\\s]+)\""));
        const QRegularExpressionMatch m = data.match(tag);
        if (m.hasMatch())
            out.picture = QImage::fromData(QByteArray::fromBase64(m.captured(1).toLatin1()));
    }
    return out;
}

} // namespace lumora::test
