#include "fuzz/ParserChecks.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace lumora::fuzz;

// Inputs the parser fuzzers (fuzz/parser_fuzz.cpp) once failed on, kept in
// tests/data/fuzz-regressions/parsers/<parser>/ with the fuzzer's leading
// option bytes, and the small seed sets in fuzz/corpus/<parser>: each is run
// through the same checks the fuzzer makes.
namespace
{

void replay(const QString &folder, const QString &parser, int *count)
{
    const QDir dir(folder);
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files, QDir::Name)) {
        SCOPED_TRACE((parser + QLatin1Char('/') + info.fileName()).toStdString());
        QFile file(info.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QString failed = runParser(
            parser, reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        EXPECT_TRUE(failed.isEmpty()) << failed.toStdString();
        ++*count;
    }
}

} // namespace

TEST(ParserFuzzRegression, KeptInputsPassEveryCheck)
{
    const QDir root(QStringLiteral(LUMORA_TEST_DATA "/fuzz-regressions/parsers"));
    int count = 0;
    for (const QString &parser : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        ASSERT_TRUE(parserNames().contains(parser)) << parser.toStdString();
        replay(root.filePath(parser), parser, &count);
    }
    EXPECT_GT(count, 0);
}

TEST(ParserFuzzRegression, SeedsPassEveryCheck)
{
    int count = 0;
    for (const QString &parser : parserNames())
        replay(QStringLiteral(LUMORA_SOURCE_DIR "/fuzz/corpus/") + parser, parser, &count);
    EXPECT_GT(count, 0);
}
