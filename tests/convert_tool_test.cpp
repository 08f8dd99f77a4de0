#include "app/ConvertTool.h"
#include "imaging/Decoder.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include <gtest/gtest.h>

using namespace lumora;
using lumora::imaging::FormatCode;

namespace
{

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

ToolRun convert(const QStringList &args)
{
    ToolRun r;
    QString parseError;
    const auto req = parseConvertArguments(args, &parseError);
    if (!req) {
        r.status = 2;
        r.err = parseError;
        return r;
    }
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
