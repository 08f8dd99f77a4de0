#include "imaging/Decoder.h"

#include "imaging_samples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>
#include <QtConcurrent>

#include <sys/stat.h>

using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

struct Named {
    const char *name;
    QByteArray bytes;
};

QList<Named> samples()
{
    const QImage image = quadrants(24, 16);
    return {
        {"a.jpg", encodeWithQt(image, "jpeg")},
        {"a.png", encodeWithQt(image, "png")},
        {"a.bmp", encodeWithQt(image, "bmp")},
        {"a.dib", encodeWithQt(image, "bmp").mid(14)},
        {"a.tif", encodeWithQt(image, "tiff")},
        {"a.ico", encodeWithQt(image, "ico")},
        {"a.wbmp", encodeWithQt(image.convertToFormat(QImage::Format_Mono), "wbmp")},
        {"a.gif", encodeWithMagick(image, "GIF")},
        {"a.psd", encodeWithMagick(image, "PSD")},
        {"a.pcx", encodeWithMagick(image, "PCX")},
        {"a.tga", encodeWithMagick(image, "TGA")},
        {"a.wmf", quadrantWmf(24, 16)},
        {"a.emf", quadrantEmf(24, 16)},
    };
}

// Either a picture or a sentence; never both, never neither.
::testing::AssertionResult wellFormed(const DecodedImage &d)
{
    if (d.ok() && !d.pages.front().isNull())
        return ::testing::AssertionSuccess();
    if (!d.ok() && d.pages.isEmpty() && !d.error.isEmpty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pages " << d.pages.size() << ", error \"" << d.error.toStdString() << "\"";
}

} // namespace

TEST(DecodeBadInput, MissingEmptyFolderAndPipeGiveASentence)
{
    TempDir dir;
    const DecodedImage missing = decodeFile(dir.file("gone.jpg"));
    EXPECT_FALSE(missing.ok());
    EXPECT_TRUE(missing.error.contains(QLatin1String("does not exist")));

    const DecodedImage empty = decodeFile(dir.write("empty.png", QByteArray()));
    EXPECT_FALSE(empty.ok());
    EXPECT_TRUE(empty.error.contains(QLatin1String("empty")));

    const DecodedImage folder = decodeFile(dir.mkdir("folder.jpg"));
    EXPECT_FALSE(folder.ok());
    EXPECT_TRUE(folder.error.contains(QLatin1String("folder")));

    // A named pipe would block a reader for ever.
    const QString fifo = dir.file("pipe.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(wellFormed(decodeFile(fifo)));
    EXPECT_FALSE(decodeFile(fifo).ok());

    QString error;
    EXPECT_TRUE(loadPicture(dir.file("gone.ico"), &error).isNull());
    EXPECT_FALSE(error.isEmpty());
}

TEST(DecodeBadInput, TruncatedAndGarbledFilesNeverCrash)
{
    QRandomGenerator random(20240611); // fixed seed: failures must reproduce
    for (const Named &sample : samples()) {
        SCOPED_TRACE(sample.name);
        ASSERT_FALSE(sample.bytes.isEmpty());
        const QString hint = QString::fromLatin1(sample.name);
        // Every cut through the header, then coarser steps through the data.
        for (qsizetype cut = 0; cut < sample.bytes.size();
             cut += cut < 160 ? 1 : qMax<qsizetype>(1, sample.bytes.size() / 40)) {
            const DecodedImage d = decodeData(sample.bytes.left(cut), {}, hint);
            ASSERT_TRUE(wellFormed(d)) << "cut at " << cut;
        }
        for (int round = 0; round < 150; ++round) {
            QByteArray garbled = sample.bytes;
            const int flips = 1 + int(random.bounded(8));
            for (int i = 0; i < flips; ++i) {
                // Mostly the header, where parsers make their decisions.
                const qsizetype limit =
                    round % 2 ? garbled.size() : qMin<qsizetype>(garbled.size(), 128);
                garbled[qsizetype(random.bounded(quint32(limit)))] = char(random.bounded(256));
            }
            const DecodedImage d = decodeData(garbled, {}, hint);
            ASSERT_TRUE(wellFormed(d)) << "round " << round;
        }
    }
}

TEST(DecodeBadInput, ConcurrentDecodesAgreeWithSerialOnes)
{
    TempDir dir;
    QStringList paths;
    QList<QImage> expected;
    for (const Named &sample : samples()) {
        const QString path = writeFile(dir.file(QString::fromLatin1(sample.name)), sample.bytes);
        paths << path;
        expected << decodeFile(path).pages.value(0);
    }
    QStringList work;
    for (int round = 0; round < 6; ++round)
        work << paths;
    const QList<QImage> results = QtConcurrent::blockingMapped(work, [](const QString &path) {
        DecodeOptions options;
        options.allPages = false;
        return decodeFile(path, options).pages.value(0);
    });
    for (int i = 0; i < results.size(); ++i) {
        ASSERT_FALSE(results[i].isNull()) << work[i].toStdString();
        EXPECT_EQ(results[i], expected[i % paths.size()]) << work[i].toStdString();
    }
}
