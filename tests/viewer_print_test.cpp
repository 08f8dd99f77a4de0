#include "support/QtPrinters.h"
#include "support/ViewerFixture.h"
#include "viewer/ViewerPrint.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace
{

// A4 with 20 mm margins, in points as the PDF is rendered at 72 dpi.
constexpr double kPageW = 595.276, kPageH = 841.89, kMargin = 20 / 25.4 * 72;
constexpr double kAreaW = kPageW - 2 * kMargin, kAreaH = kPageH - 2 * kMargin;

struct PageBox {
    QRect box;    // the non-white part of the page, in points
    QColor color; // the colour in its middle
};

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString &pdf)
{
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfTitle(const QString &pdf)
{
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    const auto m = QRegularExpression(QStringLiteral("Title:\\s+(.*)")).match(info);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

// Renders every page with poppler and measures where the picture landed.
QList<PageBox> pageBoxes(const QString &pdf, const QString &workDir)
{
    QDir().mkpath(workDir);
    const QString prefix = workDir + QStringLiteral("/p");
    QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("72"),
                                                   QStringLiteral("-png"), pdf, prefix});
    QStringList pages =
        QDir(workDir).entryList({QStringLiteral("p-*.png")}, QDir::Files, QDir::Name);
    QList<PageBox> out;
    for (const QString &name : pages) {
        const QImage img =
            QImage(workDir + QLatin1Char('/') + name).convertToFormat(QImage::Format_RGB32);
        int x0 = img.width(), y0 = img.height(), x1 = -1, y1 = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb p = img.pixel(x, y);
                if (qRed(p) < 230 || qGreen(p) < 230 || qBlue(p) < 230) {
                    x0 = qMin(x0, x);
                    y0 = qMin(y0, y);
                    x1 = qMax(x1, x);
                    y1 = qMax(y1, y);
                }
            }
        PageBox b;
        if (x1 >= 0) {
            b.box = QRect(QPoint(x0, y0), QPoint(x1, y1));
            b.color = img.pixelColor(b.box.center());
        }
        out << b;
        QFile::remove(workDir + QLatin1Char('/') + name);
    }
    return out;
}

void expectBox(const QRect &box, double x, double y, double w, double h)
{
    EXPECT_NEAR(box.x(), x, 1.5);
    EXPECT_NEAR(box.y(), y, 1.5);
    EXPECT_NEAR(box.width(), w, 2.0);
    EXPECT_NEAR(box.height(), h, 2.0);
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 12 && qAbs(a.green() - b.green()) < 12 &&
           qAbs(a.blue() - b.blue()) < 12;
}

const QColor kColors[5] = {QColor(200, 0, 0), QColor(0, 150, 0), QColor(0, 0, 200),
                           QColor(200, 120, 0), QColor(120, 0, 160)};

// 144 x 72 pixels at 72 dpi: two inches by one, 144 x 72 points.
QImage page(int i, int w = 144, int h = 72, double dpi = 72)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kColors[i % 5]);
    if (dpi > 0) {
        img.setDotsPerMeterX(qRound(dpi / 0.0254));
        img.setDotsPerMeterY(qRound(dpi / 0.0254));
    }
    return img;
}

struct PrintFixture : ViewerFixture {
    QStringList jobs; // one PDF per job sent
    QString pdf;

    PrintFixture()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            return;
        pdf = dir.file(QStringLiteral("out.pdf"));
        QPrinter &printer = viewer->printing().printer();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        // Set up once through Page Setup; every print below uses it.
        prompter.pageLayouts.push_back(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                                   QMarginsF(20, 20, 20, 20),
                                                   QPageLayout::Millimeter));
        viewer->action(QStringLiteral("mnuPageSetup"))->trigger();
        viewer->printing().jobFinished = [this](int n) {
            const QString copy = dir.file(QStringLiteral("job%1.pdf").arg(n));
            QFile::remove(copy);
            QFile::rename(pdf, copy);
            jobs << copy;
        };
    }
    void load(const QList<QImage> &pages, int current = 0)
    {
        viewer->ImgX->document()->adopt(pages, imaging::FormatCode::Tiff, 24,
                                        dir.file(QStringLiteral("m.tif")));
        viewer->ImgX->document()->SetCurrentImage(current);
    }
    void answer(QPrinter::PrintRange range, int from = 0, int to = 0)
    {
        prompter.printAnswers.push_back({true, range, from, to, pdf});
    }
};

#define NEED_POPPLER()                                                                             \
    if (f.pdf.isEmpty())                                                                           \
    GTEST_SKIP() << "poppler-utils are not installed"

} // namespace

TEST(ViewerPrint, SinglePageCenteredIsOneJobOfPageZeroTitledVellaquin)
{
    PrintFixture f;
    NEED_POPPLER();
    EXPECT_EQ(f.prompter.pageSetups, 1);
    f.load({page(0)});
    f.answer(QPrinter::AllPages);
    f.viewer->action(QStringLiteral("mnuCentered"))->trigger();
    ASSERT_EQ(f.jobs.size(), 1);
    // The dialog was offered the whole range of the one page.
    ASSERT_EQ(f.prompter.printAsked.size(), 1);
    EXPECT_EQ(f.prompter.printAsked[0].setup.minPage, 1);
    EXPECT_EQ(f.prompter.printAsked[0].setup.maxPage, 1);
    EXPECT_EQ(f.prompter.printAsked[0].fromPage, 1);
    EXPECT_EQ(f.prompter.printAsked[0].toPage, 1);
    EXPECT_TRUE(f.prompter.printAsked[0].setup.offerCurrentPage);
    EXPECT_EQ(pdfPages(f.jobs[0]), 1);
    EXPECT_EQ(pdfTitle(f.jobs[0]), QStringLiteral("Vellaquin"));
    const QList<PageBox> boxes = pageBoxes(f.jobs[0], f.dir.file(QStringLiteral("r")));
    ASSERT_EQ(boxes.size(), 1);
    expectBox(boxes[0].box, kMargin + (kAreaW - 144) / 2, kMargin + (kAreaH - 72) / 2, 144, 72);
    EXPECT_TRUE(near(boxes[0].color, kColors[0]));
    // No message on success.
    for (const auto &a : f.prompter.asked)
        EXPECT_NE(a.kind, QStringLiteral("message")) << a.text.toStdString();
}

TEST(ViewerPrint, TheThreePlacementsAndAPictureLargerThanThePage)
{
    PrintFixture f;
    NEED_POPPLER();
    f.load({page(1)});
    for (int i = 0; i < 3; ++i)
        f.answer(QPrinter::AllPages);
    f.viewer->action(QStringLiteral("mnuTopLeft"))->trigger();
    f.viewer->action(QStringLiteral("mnuCentered"))->trigger();
    f.viewer->action(QStringLiteral("mnuFitToPage"))->trigger();
    ASSERT_EQ(f.jobs.size(), 3);
    QList<PageBox> b = pageBoxes(f.jobs[0], f.dir.file(QStringLiteral("r0")));
    ASSERT_EQ(b.size(), 1);
    expectBox(b[0].box, kMargin, kMargin, 144, 72);
    b = pageBoxes(f.jobs[1], f.dir.file(QStringLiteral("r1")));
    expectBox(b[0].box, kMargin + (kAreaW - 144) / 2, kMargin + (kAreaH - 72) / 2, 144, 72);
    b = pageBoxes(f.jobs[2], f.dir.file(QStringLiteral("r2")));
    const double fitH = kAreaW / 2;
    expectBox(b[0].box, kMargin, kMargin + (kAreaH - fitH) / 2, kAreaW, fitH);

    // Without a resolution of its own a picture prints at 96 dpi:
    // 192 x 96 pixels are two inches by one.
    f.load({page(2, 192, 96, 0)});
    f.answer(QPrinter::AllPages);
    f.viewer->Print(0);
    ASSERT_EQ(f.jobs.size(), 4);
    b = pageBoxes(f.jobs[3], f.dir.file(QStringLiteral("r3")));
    expectBox(b[0].box, kMargin, kMargin, 144, 72);

    // 40 inches wide at top left: scaled down to the area, still at its corner.
    f.load({page(3, 2880, 720, 72)});
    f.answer(QPrinter::AllPages);
    f.answer(QPrinter::AllPages);
    f.viewer->Print(0);
    f.viewer->Print(1);
    ASSERT_EQ(f.jobs.size(), 6);
    b = pageBoxes(f.jobs[4], f.dir.file(QStringLiteral("r4")));
    expectBox(b[0].box, kMargin, kMargin, kAreaW, kAreaW / 4);
    b = pageBoxes(f.jobs[5], f.dir.file(QStringLiteral("r5")));
    expectBox(b[0].box, kMargin, kMargin + (kAreaH - kAreaW / 4) / 2, kAreaW, kAreaW / 4);
}

TEST(ViewerPrint, FivePagesAllIsOneJobOfTheWholeCollection)
{
    PrintFixture f;
    NEED_POPPLER();
    f.load({page(0), page(1), page(2), page(3), page(4)}, 2);
    f.answer(QPrinter::AllPages);
    f.viewer->Print(0);
    ASSERT_EQ(f.jobs.size(), 1);
    EXPECT_EQ(f.prompter.printAsked[0].setup.maxPage, 5);
    EXPECT_EQ(f.prompter.printAsked[0].toPage, 5);
    EXPECT_EQ(pdfPages(f.jobs[0]), 5);
    EXPECT_EQ(pdfTitle(f.jobs[0]), QStringLiteral("Vellaquin"));
    const QList<PageBox> b = pageBoxes(f.jobs[0], f.dir.file(QStringLiteral("r")));
    ASSERT_EQ(b.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(near(b[i].color, kColors[i])) << "page " << i;
        expectBox(b[i].box, kMargin, kMargin, 144, 72);
    }
}

TEST(ViewerPrint, FivePagesTwoToFourIsThreeJobsOfIndexesOneToThree)
{
    PrintFixture f;
    NEED_POPPLER();
    f.load({page(0), page(1), page(2), page(3), page(4)});
    f.answer(QPrinter::PageRange, 2, 4);
    f.viewer->Print(2);
    ASSERT_EQ(f.jobs.size(), 3);
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(pdfPages(f.jobs[j]), 1);
        EXPECT_EQ(pdfTitle(f.jobs[j]), QStringLiteral("Vellaquin"));
        const QList<PageBox> b = pageBoxes(f.jobs[j], f.dir.file(QStringLiteral("r%1").arg(j)));
        ASSERT_EQ(b.size(), 1);
        EXPECT_TRUE(near(b[0].color, kColors[j + 1])) << "job " << j;
        // Fit To Page for a range.
        EXPECT_NEAR(b[0].box.width(), kAreaW, 2.0);
    }
}

TEST(ViewerPrint, SelectionPrintsTheCurrentPageCentredEvenForFitToPage)
{
    PrintFixture f;
    NEED_POPPLER();
    f.load({page(0), page(1), page(2), page(3), page(4)}, 3);
    f.answer(QPrinter::CurrentPage);
    f.viewer->action(QStringLiteral("mnuFitToPage"))->trigger();
    ASSERT_EQ(f.jobs.size(), 1);
    EXPECT_EQ(pdfPages(f.jobs[0]), 1);
    const QList<PageBox> b = pageBoxes(f.jobs[0], f.dir.file(QStringLiteral("r")));
    ASSERT_EQ(b.size(), 1);
    EXPECT_TRUE(near(b[0].color, kColors[3]));
    expectBox(b[0].box, kMargin + (kAreaW - 144) / 2, kMargin + (kAreaH - 72) / 2, 144, 72);
    // A later print starts from all pages again, not from the last choice.
    f.prompter.printAnswers.push_back({false, QPrinter::AllPages, 0, 0, QString()});
    f.viewer->Print(1);
    EXPECT_EQ(f.prompter.printAsked.back().range, QPrinter::AllPages);
}

TEST(ViewerPrint, CancelPrintsNothingAndAFailedJobSaysSo)
{
    PrintFixture f;
    NEED_POPPLER();
    f.load({page(0), page(1)});
    f.prompter.printAnswers.push_back({false, QPrinter::AllPages, 0, 0, QString()});
    f.viewer->Print(1);
    EXPECT_TRUE(f.jobs.isEmpty());
    EXPECT_FALSE(QFile::exists(f.pdf));
    EXPECT_EQ(f.prompter.asked.size(), 2); // page setup, print dialog; no message

    // A PDF that cannot be written: the print ends with a message.
    f.prompter.printAnswers.push_back(
        {true, QPrinter::AllPages, 0, 0, f.dir.file(QStringLiteral("no/such/folder/out.pdf"))});
    f.viewer->Print(1);
    EXPECT_TRUE(f.jobs.isEmpty());
    ASSERT_EQ(f.prompter.asked.back().kind, QStringLiteral("message"));
    EXPECT_TRUE(
        f.prompter.asked.back().text.startsWith(QStringLiteral("The image could not be printed.")));
    EXPECT_EQ(f.prompter.asked.back().icon, Prompter::Icon::Critical);

    // Nothing loaded: nothing to ask about.
    f.viewer->ImgX->document()->ResetImages();
    const auto before = f.prompter.printAsked.size();
    f.viewer->Print(0);
    EXPECT_EQ(f.prompter.printAsked.size(), before);
    EXPECT_EQ(f.prompter.asked.back().text, QStringLiteral("There is no image to print."));
}
