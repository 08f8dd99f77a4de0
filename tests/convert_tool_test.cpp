#include "app/ConvertTool.h"
#include "imaging/Codec.h"
#include "imaging/Decoder.h"
#include "platform/FileOperations.h"
#include "support/ExternalReaders.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include <cstdio>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumora;
using lumora::imaging::FormatCode;

namespace
{

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

ToolRun convert(const QStringList &args, int inputFd = 0, int outputFd = 1)
{
    ToolRun r;
    QString parseError;
    auto req = parseConvertArguments(args, &parseError);
    if (!req) {
        r.status = 2;
        r.err = parseError;
        return r;
    }
    req->inputFd = inputFd;
    req->outputFd = outputFd;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.status = runConvert(*req, out, err, false);
    return r;
}

QString writePng(const test::TempDir &dir, const QString &name, QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(QColor(40, 120, 200));
    const QString path = dir.file(name);
    img.save(path, "PNG");
    return path;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(ConvertArguments, FormatsFromNamesAndExtensions)
{
    EXPECT_EQ(convertFormatFromName(QStringLiteral("JPEG")), FormatCode::Jpeg);
    EXPECT_EQ(convertFormatFromName(QStringLiteral("tiff")), FormatCode::Tiff);
    EXPECT_EQ(convertFormatFromName(QStringLiteral("Wbmp")), FormatCode::Wbmp);
    // Readable but not among the ten written formats.
    EXPECT_FALSE(convertFormatFromName(QStringLiteral("gif")));
    EXPECT_FALSE(convertFormatFromName(QStringLiteral("ico")));

    QString error;
    auto single =
        parseConvertArguments({QStringLiteral("a.png"), QStringLiteral("b.TIFF")}, &error);
    ASSERT_TRUE(single);
    EXPECT_EQ(single->mode, ConvertRequest::Mode::Single);
    EXPECT_EQ(single->format, FormatCode::Tiff);

    // --format wins over the output's extension.
    auto forced = parseConvertArguments({QStringLiteral("--format"), QStringLiteral("pcx"),
                                         QStringLiteral("a.png"), QStringLiteral("b.img")},
                                        &error);
    ASSERT_TRUE(forced);
    EXPECT_EQ(forced->format, FormatCode::Pcx);

    EXPECT_FALSE(parseConvertArguments({QStringLiteral("a.png"), QStringLiteral("b.xyz")}, &error));
    EXPECT_TRUE(error.contains(QLatin1String("--format")));
    EXPECT_FALSE(parseConvertArguments(
        {QStringLiteral("-o"), QStringLiteral("out"), QStringLiteral("a.png")}, &error));
    EXPECT_FALSE(parseConvertArguments(
        {QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("c.png")}, &error));
    EXPECT_FALSE(parseConvertArguments(
        {QStringLiteral("--format=gif"), QStringLiteral("a"), QStringLiteral("b")}, &error));
    EXPECT_FALSE(parseConvertArguments({QStringLiteral("--frobnicate")}, &error));
    EXPECT_FALSE(parseConvertArguments({QStringLiteral("--identify")}, &error));

    auto help = parseConvertArguments({QStringLiteral("--help")}, &error);
    ASSERT_TRUE(help);
    ToolRun r = convert({QStringLiteral("--help")});
    EXPECT_EQ(r.status, 0);
    for (const char *word :
         {"--out-dir", "--identify", "--overwrite", "--format", "Exit status", "3 when every"})
        EXPECT_TRUE(r.out.contains(QLatin1String(word))) << word;
}

TEST(ConvertBatch, OneCorruptInputAmongGoodOnesIsNamedAndTheRestConverted)
{
    test::TempDir dir;
    const QString a = writePng(dir, QStringLiteral("a.png"), {31, 17});
    const QString b = writePng(dir, QStringLiteral("b.png"), {64, 48});
    const QString bad =
        dir.write(QStringLiteral("broken.jpg"), QByteArray("\xFF\xD8\xFF\xE0 not a jpeg", 17));
    const QString c = writePng(dir, QStringLiteral("c.png"), {5, 200});
    const QString outDir = dir.file(QStringLiteral("out/deeper"));

    ToolRun r =
        convert({QStringLiteral("--format"), QStringLiteral("bmp"), QStringLiteral("--out-dir"),
                 outDir, QStringLiteral("-j"), QStringLiteral("2"), a, b, bad, c});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(bad)) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(a));
    EXPECT_TRUE(r.out.contains(QLatin1String("Converted 3 of 4 files, 1 failed.")))
        << r.out.toStdString();

    const QList<std::pair<QString, QSize>> expected = {{QStringLiteral("a.bmp"), {31, 17}},
                                                       {QStringLiteral("b.bmp"), {64, 48}},
                                                       {QStringLiteral("c.bmp"), {5, 200}}};
    for (const auto &[name, size] : expected) {
        const imaging::DecodedImage d = imaging::decodeFile(outDir + QLatin1Char('/') + name);
        ASSERT_TRUE(d.ok()) << name.toStdString() << ": " << d.error.toStdString();
        EXPECT_EQ(d.format, FormatCode::Bmp);
        EXPECT_EQ(d.pages.first().size(), size);
        EXPECT_EQ(d.pages.first().pixelColor(0, 0), QColor(40, 120, 200));
    }
    EXPECT_FALSE(QFile::exists(outDir + QStringLiteral("/broken.bmp")));
    // Nothing but the three outputs: no temporary files left behind.
    EXPECT_EQ(QDir(outDir).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

// A JPEG cut short converts as far as it can be read, but is named in a
// warning, counted as damaged in the summary and in the exit status (3);
// a failure elsewhere in the batch still makes it 1.
TEST(ConvertBatch, ACutShortJpegIsConvertedNamedAndCountedAsDamaged)
{
    test::TempDir dir;
    QImage photo(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, ((x ^ y) * 3) % 256));
    const QString whole = dir.file(QStringLiteral("whole.jpg"));
    ASSERT_TRUE(photo.save(whole, "JPEG", 90));
    const QByteArray bytes = readAll(whole);
    const QString cut = dir.write(QStringLiteral("cut.jpg"), bytes.left(bytes.size() / 2));
    const QString good = writePng(dir, QStringLiteral("good.png"), {20, 10});
    const QString outDir = dir.file(QStringLiteral("out"));

    ToolRun r = convert({QStringLiteral("-f"), QStringLiteral("png"), QStringLiteral("-o"), outDir,
                         whole, cut, good});
    EXPECT_EQ(r.status, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("warning: %1: damaged file").arg(cut)))
        << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(whole)) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("Converted 3 of 3 files, 1 damaged.")))
        << r.out.toStdString();
    const imaging::DecodedImage written = imaging::decodeFile(outDir + QStringLiteral("/cut.png"));
    ASSERT_TRUE(written.ok()) << written.error.toStdString();
    EXPECT_EQ(written.pages.first().size(), QSize(320, 240));

    const QString bad =
        dir.write(QStringLiteral("bad.jpg"), QByteArray("\xFF\xD8\xFF nothing", 12));
    r = convert({QStringLiteral("-f"), QStringLiteral("png"), QStringLiteral("-o"), outDir,
                 QStringLiteral("--overwrite"), cut, bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QLatin1String("Converted 1 of 2 files, 1 damaged, 1 failed.")))
        << r.out.toStdString();

    r = convert({cut, dir.file(QStringLiteral("single.bmp"))});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.contains(cut));
    r = convert({QStringLiteral("--identify"), whole, cut});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("warning: %1: damaged file").arg(cut)));
    EXPECT_TRUE(r.out.contains(cut)); // still identified
}

TEST(ConvertBatch, TwoInputsWithOneOutputNameNeverReplaceEachOther)
{
    test::TempDir dir;
    const QString first = writePng(dir, QStringLiteral("x.png"), {10, 10});
    QImage other(20, 30, QImage::Format_RGB32);
    other.fill(Qt::red);
    const QString second = dir.file(QStringLiteral("x.jpg"));
    other.save(second, "JPEG");
    const QString outDir = dir.mkdir(QStringLiteral("out"));

    ToolRun r = convert({QStringLiteral("-f"), QStringLiteral("bmp"), QStringLiteral("-o"), outDir,
                         QStringLiteral("--overwrite"), first, second});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(second));
    const imaging::DecodedImage d = imaging::decodeFile(outDir + QStringLiteral("/x.bmp"));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.pages.first().size(), QSize(10, 10));
}

TEST(ConvertSingle, RefusesToOverwriteUnlessAsked)
{
    test::TempDir dir;
    const QString in = writePng(dir, QStringLiteral("in.png"), {12, 9});
    const QString out = dir.write(QStringLiteral("in.bmp"), "keep me");

    ToolRun refused = convert({in, out});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QLatin1String("--overwrite")));
    EXPECT_EQ(readAll(out), QByteArray("keep me"));

    ToolRun batchRefused = convert(
        {QStringLiteral("-f"), QStringLiteral("bmp"), QStringLiteral("-o"), dir.path(), in});
    EXPECT_EQ(batchRefused.status, 1);
    EXPECT_TRUE(batchRefused.err.contains(in));
    EXPECT_EQ(readAll(out), QByteArray("keep me"));

    ToolRun replaced = convert({QStringLiteral("--overwrite"), in, out});
    EXPECT_EQ(replaced.status, 0) << replaced.err.toStdString();
    const imaging::DecodedImage d = imaging::decodeFile(out);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.pages.first().size(), QSize(12, 9));

    // A missing input is a failure, and writes nothing.
    ToolRun missing =
        convert({dir.file(QStringLiteral("nope.png")), dir.file(QStringLiteral("n.bmp"))});
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("n.bmp"))));
}

TEST(ConvertIdentify, EveryReadTypeByContent)
{
    const QDir samples(QStringLiteral(LUMORA_SAMPLES));
    const QStringList files = samples.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 15);
    QStringList paths;
    QSet<QString> formats;
    for (const QString &f : files)
        paths << samples.filePath(f);

    ToolRun r = convert(QStringList{QStringLiteral("--identify")} + paths);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), paths.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        ASSERT_TRUE(line.startsWith(paths[i])) << line.toStdString();
        const QStringList words =
            line.mid(paths[i].size()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        ASSERT_EQ(words.size(), 5) << line.toStdString();
        formats.insert(words[0]);
        const imaging::DecodedImage d = imaging::decodeFile(paths[i]);
        ASSERT_TRUE(d.ok());
        EXPECT_EQ(words[0], QString::fromLatin1(imaging::formatShortName(d.format)).toUpper());
        EXPECT_EQ(words[1],
                  QStringLiteral("%1x%2").arg(d.originalSize.width()).arg(d.originalSize.height()));
        EXPECT_EQ(words[2], QStringLiteral("%1-bit").arg(d.bitsPerPixel));
        EXPECT_EQ(words[3].toInt(), d.pages.size());
    }
    // The samples hold one of each of the fifteen types.
    EXPECT_EQ(formats.size(), 15)
        << QStringList(formats.values()).join(QLatin1Char(',')).toStdString();
    EXPECT_TRUE(r.out.contains(
        QRegularExpression(QStringLiteral("three-pages.tif TIF \\d+x\\d+ \\d+-bit 3 pages"))));

    // A file named like an image but holding something else is reported, the rest listed.
    test::TempDir dir;
    const QString fake = dir.write(QStringLiteral("fake.png"), "hello");
    ToolRun mixed = convert({QStringLiteral("--identify"), fake, paths.first()});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_TRUE(mixed.err.contains(fake));
    EXPECT_EQ(mixed.out.count(QLatin1Char('\n')), 1);
}

namespace
{

// Writes a file by the bytes of its name, which need not be UTF-8.
void writeRaw(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

QByteArray pngBytes(QSize size, QColor colour)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return buffer.data();
}

// A picture whose corners differ, so a turn or a flip shows.
QImage corners(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         x < w / 2 ? (y < h / 2 ? qRgb(220, 20, 20) : qRgb(20, 200, 20))
                                   : (y < h / 2 ? qRgb(20, 20, 220) : qRgb(240, 240, 20)));
    return img;
}

// Removes everything under a folder by bytes before the temporary folder
// goes: QTemporaryDir cannot name files whose names are not UTF-8.
struct RawCleanup {
    QByteArray folder;
    ~RawCleanup()
    {
        ::nftw(
            folder.constData(),
            [](const char *path, const struct stat *, int, FTW *) { return std::remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
};

bool haveExiftool()
{
    return test::haveProgram(QStringLiteral("exiftool"));
}

// exiftool's view of the file's tags, one object (-j), values as numbers (-n).
QJsonObject exifJson(const QString &path, const QStringList &tags)
{
    const test::ProcessResult r = test::runProgram(
        QStringLiteral("exiftool"), QStringList{QStringLiteral("-j"), QStringLiteral("-n"),
                                                QStringLiteral("-G1"), QStringLiteral("-a")} +
                                        tags + QStringList{path});
    const QJsonArray all = QJsonDocument::fromJson(r.out).array();
    return all.isEmpty() ? QJsonObject() : all.first().toObject();
}

void exiftool(const QStringList &args)
{
    const test::ProcessResult r = test::runProgram(
        QStringLiteral("exiftool"),
        QStringList{QStringLiteral("-q"), QStringLiteral("-overwrite_original")} + args);
    ASSERT_TRUE(r.ok) << r.err.toStdString();
}

} // namespace

TEST(ConvertArguments, EveryOptionParsesAndBadValuesAreRefused)
{
    const QString a = QStringLiteral("a.png"), b = QStringLiteral("b.jpg");
    struct Case {
        QStringList args;
        const char *error; // a piece of the message, or nullptr for a valid request
    };
    const QList<Case> cases = {
        {{"--quality", "75", a, b}, nullptr},
        {{"--quality=1", a, b}, nullptr},
        {{"--quality", "0", a, b}, "--quality"},
        {{"--quality", "101", a, b}, "--quality"},
        {{"--quality", "high", a, b}, "--quality"},
        {{"--quality"}, "needs a value"},
        {{"--resize", "800", a, b}, nullptr},
        {{"--resize=800x600!", a, b}, nullptr},
        {{"--resize", "x600", "--enlarge", a, b}, nullptr},
        {{"--resize", "0", a, b}, "--resize"},
        {{"--resize", "x", a, b}, "--resize"},
        {{"--resize", "80%", a, b}, "--resize"},
        {{"--enlarge", a, b}, "--enlarge needs --resize"},
        {{"--page", "2", a, b}, nullptr},
        {{"--page", "0", a, b}, "--page"},
        {{"--strip", a, b}, nullptr},
        {{"--strip=yes", a, b}, "takes no value"},
        {{"--skip-existing", "-f", "png", "-o", "out", a}, nullptr},
        {{"--skip-existing", "--overwrite", a, b}, "exclude each other"},
        {{"--recursive", a, b}, "--recursive needs --out-dir"},
        {{"-r", "-f", "png", "-o", "out", "folder"}, nullptr},
        {{"-", "-"}, "needs --format"},
        {{"-f", "png", "-", "-"}, nullptr},
        {{"-f", "png", "-o", "out", "-", a}, "standard input"},
        {{"--version"}, nullptr},
        {{"--list-formats"}, nullptr},
    };
    for (const Case &c : cases) {
        QString error;
        const auto req = parseConvertArguments(c.args, &error);
        const std::string shown = c.args.join(QLatin1Char(' ')).toStdString();
        if (!c.error) {
            EXPECT_TRUE(req) << shown << ": " << error.toStdString();
        } else {
            EXPECT_FALSE(req) << shown;
            EXPECT_TRUE(error.contains(QLatin1String(c.error)))
                << shown << ": " << error.toStdString();
        }
    }

    QString error;
    auto req =
        parseConvertArguments({"--quality", "75", "--resize", "800x600!", "--page", "3", "--strip",
                               "-f", "jpg", "-o", "out", "-r", "--skip-existing", "tree"},
                              &error);
    ASSERT_TRUE(req) << error.toStdString();
    EXPECT_EQ(req->mode, ConvertRequest::Mode::Batch);
    EXPECT_EQ(req->quality, 75);
    EXPECT_EQ(req->page, 3);
    EXPECT_TRUE(req->strip && req->recursive && req->skipExisting);
    ASSERT_TRUE(req->resize);
    EXPECT_EQ(req->resize->box, QSize(800, 600));
    EXPECT_TRUE(req->resize->exact);
    req = parseConvertArguments({"--resize", "800", "--enlarge", "-f", "png", "-", "-"}, &error);
    ASSERT_TRUE(req);
    EXPECT_EQ(req->mode, ConvertRequest::Mode::Single);
    EXPECT_TRUE(req->resize->longSide && req->resize->enlarge);
    EXPECT_EQ(req->inputs, QStringList{QStringLiteral("-")});
    EXPECT_EQ(req->output, QStringLiteral("-"));
}

TEST(ConvertResize, SizesFollowImageMagickAndVipsConventions)
{
    struct Case {
        const char *geometry;
        bool enlarge;
        QSize source, expected;
    };
    const QList<Case> cases = {
        {"800", false, {4000, 3000}, {800, 600}}, // long side
        {"800", false, {3000, 4000}, {600, 800}}, // long side of a portrait
        {"800", false, {640, 480}, {640, 480}},   // never larger unless asked
        {"800", true, {640, 480}, {800, 600}},    // --enlarge
        {"800x600", false, {4000, 4000}, {600, 600}},
        {"800x600", false, {1000, 200}, {800, 160}},
        {"800x600>", false, {1000, 200}, {800, 160}}, // ImageMagick's shrink-only mark
        {"800x", false, {1600, 100}, {800, 50}},
        {"x100", false, {1600, 400}, {400, 100}},
        {"x100", false, {50, 50}, {50, 50}},
        {"300x200!", false, {4000, 3000}, {300, 200}}, // exact, aspect ignored
        {"300x200!", false, {30, 20}, {300, 200}},     // exact is exact, even larger
        {"10", false, {3000, 1}, {10, 1}},             // never below one pixel
    };
    for (const Case &c : cases) {
        auto rule = parseResize(QString::fromLatin1(c.geometry));
        ASSERT_TRUE(rule) << c.geometry;
        rule->enlarge = c.enlarge;
        EXPECT_EQ(rule->target(c.source), c.expected)
            << c.geometry << (c.enlarge ? " enlarge " : " ") << c.source.width() << "x"
            << c.source.height();
    }
}

// Quality, resize and page, each checked on the file written.
TEST(ConvertOptions, QualityResizeAndPageReachTheOutput)
{
    if (!test::haveProgram(QStringLiteral("identify")))
        GTEST_SKIP() << "ImageMagick is not installed";
    test::TempDir dir;
    const QString photo = dir.file(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(corners(1200, 800).save(photo, "JPEG", 95));
    const QString tiff = QStringLiteral(LUMORA_SAMPLES "/three-pages.tif");
    const imaging::DecodedImage pages = imaging::decodeFile(tiff);
    ASSERT_TRUE(pages.ok());
    ASSERT_EQ(pages.pages.size(), 3);

    struct Case {
        QStringList options;
        QString input, outName, identifyFormat, expected;
    };
    const QList<Case> cases = {
        {{"--quality", "42"}, photo, "q42.jpg", "%Q %wx%h", "42 1200x800"},
        {{}, photo, "q90.jpg", "%Q", "90"},
        {{"--resize", "300"}, photo, "small.jpg", "%wx%h", "300x200"},
        {{"--resize", "300x300", "--quality", "60"}, photo, "box.png", "%wx%h", "300x200"},
        {{"--resize", "5000"}, photo, "same.bmp", "%wx%h", "1200x800"},
        {{"--resize", "2400", "--enlarge"}, photo, "big.png", "%wx%h", "2400x1600"},
        {{"--resize", "100x100!"}, photo, "square.png", "%wx%h", "100x100"},
        {{"--page", "3"},
         tiff,
         "page3.png",
         "%wx%h",
         QStringLiteral("%1x%2").arg(pages.pages[2].width()).arg(pages.pages[2].height())},
    };
    for (const Case &c : cases) {
        const QString out = dir.file(c.outName);
        ToolRun r = convert(c.options + QStringList{c.input, out});
        EXPECT_EQ(r.status, 0) << c.outName.toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(test::identify(out, c.identifyFormat), c.expected) << c.outName.toStdString();
    }
    // The third page is the third page, not the first one scaled.
    const imaging::DecodedImage third = imaging::decodeFile(dir.file(QStringLiteral("page3.png")));
    ASSERT_TRUE(third.ok());
    EXPECT_EQ(third.pages.first().convertToFormat(QImage::Format_RGB32),
              pages.pages[2].convertToFormat(QImage::Format_RGB32));
    // The resized photo kept its corners where they were.
    const imaging::DecodedImage small = imaging::decodeFile(dir.file(QStringLiteral("small.jpg")));
    ASSERT_TRUE(small.ok());
    EXPECT_GT(qRed(small.pages.first().pixel(10, 10)), 180);
    EXPECT_GT(qBlue(small.pages.first().pixel(290, 10)), 180);

    ToolRun missingPage = convert({"--page", "4", tiff, dir.file(QStringLiteral("p4.png"))});
    EXPECT_EQ(missingPage.status, 1);
    EXPECT_TRUE(missingPage.err.contains(QLatin1String("3 pages")))
        << missingPage.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("p4.png"))));
}

// JPEGs written by ImageMagick, Pillow and Qt, each tagged by exiftool the
// way photo managers tag them, keep XMP, IPTC and the comment byte for byte;
// the orientation is reset and the thumbnail shows the upright picture.
TEST(ConvertJpegMetadata, XmpIptcAndCommentKeptAndTheThumbnailTurnsUpright)
{
    if (!haveExiftool() || !test::haveProgram(QStringLiteral("convert")))
        GTEST_SKIP() << "exiftool or ImageMagick is not installed";
    test::TempDir dir;
    const QString stored =
        dir.file(QStringLiteral("stored.png")); // landscape, as the sensor saw it
    ASSERT_TRUE(corners(160, 120).save(stored, "PNG"));
    const QString sideways = dir.file(QStringLiteral("thumb.jpg"));
    ASSERT_TRUE(corners(40, 30).save(sideways, "JPEG"));

    QStringList sources;
    const QString magick = dir.file(QStringLiteral("magick.jpg"));
    ASSERT_TRUE(test::runProgram(QStringLiteral("convert"), {stored, magick}).ok);
    sources << magick;
    if (test::haveProgram(QStringLiteral("/usr/bin/python3"))) {
        const QString pillow = dir.file(QStringLiteral("pillow.jpg"));
        const test::ProcessResult r = test::runProgram(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys; from PIL import Image; "
                            "Image.open(sys.argv[1]).convert('RGB').save(sys.argv[2], quality=92)"),
             stored, pillow});
        if (r.ok)
            sources << pillow;
    }
    const QString qt = dir.file(QStringLiteral("qt.jpg"));
    ASSERT_TRUE(corners(160, 120).save(qt, "JPEG"));
    sources << qt;

    const QStringList tags = {"-XMP-xmp:Rating",  "-XMP-dc:Subject",      "-IPTC:Keywords",
                              "-File:Comment",    "-IFD0:Orientation",    "-IFD0:Make",
                              "-GPS:GPSLatitude", "-IFD1:ThumbnailLength"};
    for (const QString &src : sources) {
        SCOPED_TRACE(src.toStdString());
        exiftool({"-XMP-xmp:Rating=4", "-XMP-dc:Subject=cat", "-XMP-dc:Subject=dog",
                  "-IPTC:Keywords=holiday", "-IPTC:Keywords=beach", "-Comment=taken at dawn",
                  "-IFD0:Make=LumoraCam", "-EXIF:Orientation#=6", "-GPSLatitude=48.1",
                  "-GPSLatitudeRef=N", "-ThumbnailImage<=" + sideways, src});
        const QJsonObject before = exifJson(src, tags);
        ASSERT_EQ(before.value("IFD0:Orientation").toInt(), 6);
        const QString out = dir.file(QFileInfo(src).baseName() + QStringLiteral("-out.jpg"));
        ToolRun r = convert({"--quality", "85", src, out});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();

        const QJsonObject after = exifJson(out, tags);
        for (const char *key : {"XMP-xmp:Rating", "XMP-dc:Subject", "IPTC:Keywords", "File:Comment",
                                "IFD0:Make", "GPS:GPSLatitude"})
            EXPECT_EQ(after.value(key), before.value(key)) << key;
        EXPECT_EQ(after.value("File:Comment").toString(), QStringLiteral("taken at dawn"));
        EXPECT_EQ(after.value("IFD0:Orientation").toInt(), 1);

        // The thumbnail is there and upright: portrait like the picture,
        // red (the stored top-left) now at the top right.
        const test::ProcessResult thumb =
            test::runProgram(QStringLiteral("exiftool"),
                             {QStringLiteral("-b"), QStringLiteral("-ThumbnailImage"), out});
        const QImage t = QImage::fromData(thumb.out, "JPEG");
        ASSERT_FALSE(t.isNull()) << "no thumbnail";
        EXPECT_LT(t.width(), t.height());
        const QImage picture = imaging::decodeFile(out).pages.value(0);
        ASSERT_EQ(picture.size(), QSize(120, 160));
        EXPECT_GT(qRed(t.pixel(t.width() - 3, 2)), 150);
        EXPECT_GT(qRed(picture.pixel(picture.width() - 5, 4)), 150);
        const test::ProcessResult valid = test::runProgram(
            QStringLiteral("exiftool"), {QStringLiteral("-validate"), QStringLiteral("-warning"),
                                         QStringLiteral("-a"), QStringLiteral("-s3"), out});
        EXPECT_EQ(QString::fromUtf8(valid.out).trimmed(), QStringLiteral("OK"));

        // --strip: nothing of it left, GPS included.
        const QString bare = dir.file(QFileInfo(src).baseName() + QStringLiteral("-bare.jpg"));
        r = convert({"--strip", src, bare});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QJsonObject stripped =
            exifJson(bare, {"-EXIF:all", "-XMP:all", "-IPTC:all", "-File:Comment", "-GPS:all",
                            "-Photoshop:all"});
        QStringList left = stripped.keys();
        left.removeAll(QStringLiteral("SourceFile"));
        EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(
            test::identify(bare, QStringLiteral("%[exif:*]")).contains(QLatin1String("exif:")));
    }
}

// A tree with names that are not UTF-8, mirrored under --out-dir with the
// same bytes; a rerun after an interruption converts only what is missing.
TEST(ConvertBatch, RecursiveTreeWithAnyNameBytesIsMirroredAndRerunsSkipWhatIsThere)
{
    test::TempDir dir;
    const QByteArray root = QFile::encodeName(dir.path()) + "/photos";
    const RawCleanup cleanup{QFile::encodeName(dir.path())};
    for (const QByteArray &d :
         {root, root + "/2019", root + "/2019/caf\xe9", root + "/.cache", root + "/\xff\xfe"})
        ASSERT_EQ(::mkdir(d.constData(), 0755), 0) << d.constData();
    writeRaw(root + "/top.png", pngBytes({30, 20}, Qt::red));
    writeRaw(root + "/2019/a.png", pngBytes({16, 16}, Qt::green));
    writeRaw(root + "/2019/caf\xe9/cr\xe8me.png", pngBytes({8, 12}, Qt::blue));
    writeRaw(root + "/\xff\xfe/x.PNG", pngBytes({5, 5}, Qt::white));
    writeRaw(root + "/.cache/hidden.png", pngBytes({5, 5}, Qt::black));
    writeRaw(root + "/2019/notes.txt", "not a picture");
    const QString out = dir.file(QStringLiteral("out"));
    QList<QByteArray> expected = {"/top.jpg", "/2019/a.jpg", "/2019/caf\xe9/cr\xe8me.jpg",
                                  "/\xff\xfe/x.jpg"};
    // Today's types count as images by their whole extension too.
    if (test::haveProgram(QStringLiteral("cwebp"))) {
        const QString png = writePng(dir, QStringLiteral("w.png"), {6, 4});
        const QString webp = QFile::decodeName(root + "/2019/w.webp");
        ASSERT_TRUE(test::runProgram(QStringLiteral("cwebp"),
                                     {QStringLiteral("-quiet"), png, QStringLiteral("-o"), webp})
                        .ok);
        expected << "/2019/w.jpg";
    }
    const int n = int(expected.size());

    ToolRun r = convert({QStringLiteral("-r"), QStringLiteral("-f"), QStringLiteral("jpg"),
                         QStringLiteral("-o"), out, platform::pathFromBytes(root)});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Converted %1 of %1 files.").arg(n)))
        << r.out.toStdString();
    const QByteArray outBytes = QFile::encodeName(out);
    for (const QByteArray &name : expected) {
        struct stat st {
        };
        EXPECT_EQ(::stat((outBytes + name).constData(), &st), 0) << name.toHex().constData();
    }
    const imaging::DecodedImage creme =
        decodeInput(platform::pathFromBytes(outBytes + "/2019/caf\xe9/cr\xe8me.jpg"), 0);
    ASSERT_TRUE(creme.ok()) << creme.error.toStdString();
    EXPECT_EQ(creme.pages.first().size(), QSize(8, 12));
    struct stat st {
    };
    EXPECT_NE(::stat((outBytes + "/.cache").constData(), &st), 0);

    // Interrupted: one output gone, one left as a hidden part file by a
    // killed writer. A rerun makes the missing one and leaves the rest.
    ASSERT_EQ(::unlink((outBytes + "/2019/a.jpg").constData()), 0);
    writeRaw(outBytes + "/2019/.a.jpg.lumora-1234.part", "half a jpeg");
    const QByteArray keep = "not touched";
    writeRaw(outBytes + "/top.jpg", keep);
    r = convert({QStringLiteral("-r"), QStringLiteral("-f"), QStringLiteral("jpg"),
                 QStringLiteral("-o"), out, QStringLiteral("--skip-existing"),
                 platform::pathFromBytes(root)});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(
        QStringLiteral("Converted 1 of %1 files, %2 already there.").arg(n).arg(n - 1)))
        << r.out.toStdString();
    EXPECT_TRUE(decodeInput(out + QStringLiteral("/2019/a.jpg"), 0).ok());
    EXPECT_EQ(readAll(out + QStringLiteral("/top.jpg")), keep);

    // Without --skip-existing the same rerun refuses the three and says why.
    r = convert({QStringLiteral("-r"), QStringLiteral("-f"), QStringLiteral("jpg"),
                 QStringLiteral("-o"), out, platform::pathFromBytes(root)});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.count(QLatin1String("--overwrite")), n) << r.err.toStdString();

    // A folder without --recursive is named, not silently skipped.
    r = convert({QStringLiteral("-f"), QStringLiteral("png"), QStringLiteral("-o"),
                 dir.file(QStringLiteral("flat")), platform::pathFromBytes(root)});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("--recursive"))) << r.err.toStdString();
}

TEST(ConvertStreams, StandardInputToStandardOutputAndAFullDevice)
{
    test::TempDir dir;
    const QString in = writePng(dir, QStringLiteral("in.png"), {33, 21});
    const int input = ::open(QFile::encodeName(in).constData(), O_RDONLY);
    const QString outPath = dir.file(QStringLiteral("from-stdout.bmp"));
    const int output = ::open(QFile::encodeName(outPath).constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(input, 0);
    ASSERT_GE(output, 0);
    ToolRun r = convert({"-f", "bmp", "--resize", "11", "-", "-"}, input, output);
    ::close(input);
    ::close(output);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const imaging::DecodedImage d = imaging::decodeFile(outPath);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_EQ(d.format, FormatCode::Bmp);
    EXPECT_EQ(d.pages.first().size(), QSize(11, 7));

    // Standard input to a file, the format from its name.
    const int again = ::open(QFile::encodeName(in).constData(), O_RDONLY);
    r = convert({"-", dir.file(QStringLiteral("s.tga"))}, again);
    ::close(again);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(imaging::decodeFile(dir.file(QStringLiteral("s.tga"))).format, FormatCode::Tga);

    // Nothing readable on standard input.
    const int empty = ::open("/dev/null", O_RDONLY);
    r = convert({"-f", "png", "-", dir.file(QStringLiteral("e.png"))}, empty);
    ::close(empty);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("empty"))) << r.err.toStdString();

    const int full = ::open("/dev/full", O_WRONLY);
    if (full < 0)
        GTEST_SKIP() << "no /dev/full";
    r = convert({"-f", "png", in, "-"}, 0, full);
    ::close(full);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("standard output"))) << r.err.toStdString();
}

// Both streams on one device, as on a terminal: the summary must not be
// glued to the end of the bar.
TEST(ConvertBatch, TheSummaryStartsOnItsOwnLineAfterTheProgressBar)
{
    test::TempDir dir;
    const QString a = writePng(dir, QStringLiteral("a.png"), {10, 10});
    const QString b = writePng(dir, QStringLiteral("b.png"), {10, 10});
    QString error;
    const auto req =
        parseConvertArguments({"-f", "bmp", "-o", dir.file(QStringLiteral("out")), a, b}, &error);
    ASSERT_TRUE(req);
    QBuffer terminal;
    terminal.open(QIODevice::WriteOnly);
    QTextStream out(&terminal);
    QTextStream err(&terminal);
    ASSERT_EQ(runConvert(*req, out, err, true), 0);
    const QString shown = QString::fromUtf8(terminal.data());
    EXPECT_TRUE(shown.contains(QLatin1String("2/2\nConverted 2 of 2 files.\n")))
        << shown.toStdString();
}

TEST(ConvertSingle, AWmfWiderThanItCanHoldSaysItWasScaled)
{
    test::TempDir dir;
    const QString wide = writePng(dir, QStringLiteral("wide.png"), {40000, 2});
    ToolRun r = convert({wide, dir.file(QStringLiteral("wide.wmf"))});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("scaled from 40000 x 2 to 32767 x 1")))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("32,767")));
    ToolRun fits = convert(
        {writePng(dir, QStringLiteral("ok.png"), {300, 2}), dir.file(QStringLiteral("ok.wmf"))});
    EXPECT_EQ(fits.status, 0);
    EXPECT_FALSE(fits.err.contains(QLatin1String("scaled")));
}

TEST(ConvertInfo, ListFormatsFollowsTheCodecTableAndVersionNamesTheProgram)
{
    ToolRun r = convert({QStringLiteral("--list-formats")});
    EXPECT_EQ(r.status, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const auto table = imaging::formatTable();
    ASSERT_EQ(lines.size(), qsizetype(table.size()) + 1);
    for (size_t i = 0; i < table.size(); ++i) {
        const QStringList cols =
            lines[qsizetype(i) + 1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        ASSERT_GE(cols.size(), 4) << lines[qsizetype(i) + 1].toStdString();
        EXPECT_EQ(cols[0], QString::fromLatin1(table[i].shortName));
        EXPECT_EQ(cols[1], table[i].decode ? QStringLiteral("yes") : QStringLiteral("no"));
        EXPECT_EQ(cols[2], table[i].encode ? QStringLiteral("yes") : QStringLiteral("no"));
    }
    r = convert({QStringLiteral("--version")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains(QRegularExpression(QStringLiteral("^lumora-convert \\d+\\.\\d+"))))
        << r.out.toStdString();
}

// The program itself: arguments that are not UTF-8 name their files, and a
// summary that cannot be written is a failure.
TEST(ConvertProgram, NonUtf8ArgumentsConvertAndAFullStandardOutputFails)
{
    test::TempDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const RawCleanup cleanup{folder};
    writeRaw(folder + "/caf\xe9.png", pngBytes({7, 9}, Qt::red));
    const QString script = QStringLiteral(
        "cd \"$1\" && \"$2\" \"$(printf 'caf\\351.png')\" \"$(printf 'out\\377.bmp')\" && "
        "\"$2\" -f bmp -o sub \"$(printf 'caf\\351.png')\" > /dev/full; echo \"status $?\"");
    const test::ProcessResult r = test::runProgram(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral("sh"), dir.path(),
                                    QStringLiteral(LUMORA_CONVERT)});
    EXPECT_TRUE(r.out.contains("status 1")) << r.out.constData() << r.err.constData();
    EXPECT_TRUE(r.err.contains("standard output")) << r.err.constData();
    struct stat st {
    };
    EXPECT_EQ(::stat((folder + "/out\xff.bmp").constData(), &st), 0);
    EXPECT_EQ(::stat((folder + "/sub/caf\xe9.bmp").constData(), &st), 0);
}
