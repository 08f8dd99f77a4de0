#include "dialogs/DialogPrompter.h"
#include "support/QtPrinters.h"
#include "support/ViewerFixture.h"
#include "viewer/ViewerPrint.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>
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

// The real print dialog, driven as a user drives it: the range, the copies
// and collation set in its own fields, then Print pressed.
class RealPrintDialogs : public ScriptedPrompter
{
public:
    struct Drive {
        bool real = true; // false: the scripted answer straight into the printer
        int copies = 1;
        bool collate = true;
    };
    std::deque<Drive> drives;

    bool printDialog(QWidget *parent, QPrinter &printer, const PrintSetup &setup) override
    {
        Drive drive;
        if (!drives.empty()) {
            drive = drives.front();
            drives.pop_front();
        }
        if (!drive.real || printAnswers.empty())
            return ScriptedPrompter::printDialog(parent, printer, setup);
        printAsked.push_back({setup, printer.fromPage(), printer.toPage(), printer.printRange()});
        asked.push_back({QStringLiteral("print"), {}, {}});
        const PrintAnswer a = printAnswers.front();
        printAnswers.pop_front();
        QTimer::singleShot(0, [a, drive] {
            auto *d = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            if (!d)
                return;
            if (!a.accepted) {
                d->reject();
                return;
            }
            const auto radio = [d](const char *name) {
                if (auto *r = d->findChild<QRadioButton *>(QLatin1String(name)))
                    r->click();
            };
            switch (a.range) {
            case QPrinter::PageRange:
                radio("printRange");
                d->findChild<QSpinBox *>(QStringLiteral("to"))->setValue(a.toPage);
                d->findChild<QSpinBox *>(QStringLiteral("from"))->setValue(a.fromPage);
                break;
            case QPrinter::CurrentPage:
                radio("printCurrentPage");
                break;
            default:
                radio("printAll");
                break;
            }
            d->findChild<QSpinBox *>(QStringLiteral("copies"))->setValue(drive.copies);
            d->findChild<QCheckBox *>(QStringLiteral("collate"))->setChecked(drive.collate);
            if (!a.pdfPath.isEmpty())
                d->findChild<QLineEdit *>(QStringLiteral("filename"))->setText(a.pdfPath);
            d->accept();
        });
        return DialogPrompter().printDialog(parent, printer, setup);
    }
};

struct PrintFixture {
    TempDir dir;
    RealPrintDialogs prompter;
    FakeBrowser browser;
    std::unique_ptr<platform::SqliteRegistryStore> registry;
    std::unique_ptr<frmViwer> viewer;
    QStringList jobs; // one PDF per print command, as it was written
    QString pdf;

    explicit PrintFixture(QPageLayout::Orientation orientation = QPageLayout::Portrait,
                          const QPageLayout &layout = {})
    {
        registry = std::make_unique<platform::SqliteRegistryStore>(
            dir.file(QStringLiteral("registry.db")));
        const QString key = QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings");
        registry->createKey(platform::RegistryRoot::LocalMachine, key);
        registry->setValue(platform::RegistryRoot::LocalMachine, key, QStringLiteral("FullScreen"),
                           {QStringLiteral("0"), platform::RegSz});
        ViewerContext ctx;
        ctx.prompter = &prompter;
        ctx.browser = &browser;
        ctx.registry = registry.get();
        viewer = std::make_unique<frmViwer>(ctx);
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            return;
        pdf = dir.file(QStringLiteral("out.pdf"));
        QPrinter &printer = viewer->printing().printer();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        // Set up once through Page Setup; every print below uses it.
        prompter.pageLayouts.push_back(
            layout.isValid() ? layout
                             : QPageLayout(QPageSize(QPageSize::A4), orientation,
                                           QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter));
        viewer->action(QStringLiteral("mnuPageSetup"))->trigger();
    }
    void load(const QList<QImage> &pages, int current = 0)
    {
        viewer->ImgX->document()->adopt(pages, imaging::FormatCode::Tiff, 24,
                                        dir.file(QStringLiteral("m.tif")));
        viewer->ImgX->document()->SetCurrentImage(current);
    }
    void answer(QPrinter::PrintRange range, int from = 0, int to = 0, int copies = 1,
                bool collate = true)
    {
        prompter.printAnswers.push_back({true, range, from, to, pdf});
        prompter.drives.push_back({true, copies, collate});
    }
    // Runs one print command and keeps the PDF it wrote (the dialog would
    // rightly ask before overwriting it).
    void print(int placement)
    {
        viewer->Print(short(placement));
        if (QFile::exists(pdf)) {
            const QString copy = dir.file(QStringLiteral("print%1.pdf").arg(jobs.size()));
            QFile::rename(pdf, copy);
            jobs << copy;
        }
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
    f.print(1);
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

TEST(ViewerPrint, TheThreePlacementsAndAPictureLargerThanThePageOnPortraitAndLandscape)
{
    for (const auto orientation : {QPageLayout::Portrait, QPageLayout::Landscape}) {
        SCOPED_TRACE(orientation == QPageLayout::Portrait ? "portrait" : "landscape");
        PrintFixture f(orientation);
        NEED_POPPLER();
        const bool wide = orientation == QPageLayout::Landscape;
        const double areaW = wide ? kAreaH : kAreaW, areaH = wide ? kAreaW : kAreaH;
        f.load({page(1)});
        for (int i = 0; i < 3; ++i)
            f.answer(QPrinter::AllPages);
        f.print(0);
        f.print(1);
        f.print(2);
        ASSERT_EQ(f.jobs.size(), 3);
        QList<PageBox> b = pageBoxes(f.jobs[0], f.dir.file(QStringLiteral("r0")));
        ASSERT_EQ(b.size(), 1);
        expectBox(b[0].box, kMargin, kMargin, 144, 72);
        b = pageBoxes(f.jobs[1], f.dir.file(QStringLiteral("r1")));
        ASSERT_EQ(b.size(), 1);
        expectBox(b[0].box, kMargin + (areaW - 144) / 2, kMargin + (areaH - 72) / 2, 144, 72);
        b = pageBoxes(f.jobs[2], f.dir.file(QStringLiteral("r2")));
        ASSERT_EQ(b.size(), 1);
        // Fitted: as wide as the area (the picture is 2:1) or as high.
        const double fitW = qMin(areaW, areaH * 2), fitH = fitW / 2;
        expectBox(b[0].box, kMargin + (areaW - fitW) / 2, kMargin + (areaH - fitH) / 2, fitW, fitH);

        // Without a resolution of its own a picture prints at 96 dpi:
        // 192 x 96 pixels are two inches by one.
        f.load({page(2, 192, 96, 0)});
        f.answer(QPrinter::AllPages);
        f.print(0);
        ASSERT_EQ(f.jobs.size(), 4);
        b = pageBoxes(f.jobs[3], f.dir.file(QStringLiteral("r3")));
        ASSERT_EQ(b.size(), 1);
        expectBox(b[0].box, kMargin, kMargin, 144, 72);

        // 40 inches wide at top left: scaled down to the area, still at its corner.
        f.load({page(3, 2880, 720, 72)});
        f.answer(QPrinter::AllPages);
        f.answer(QPrinter::AllPages);
        f.print(0);
        f.print(1);
        ASSERT_EQ(f.jobs.size(), 6);
        b = pageBoxes(f.jobs[4], f.dir.file(QStringLiteral("r4")));
        ASSERT_EQ(b.size(), 1);
        expectBox(b[0].box, kMargin, kMargin, areaW, areaW / 4);
        b = pageBoxes(f.jobs[5], f.dir.file(QStringLiteral("r5")));
        ASSERT_EQ(b.size(), 1);
        expectBox(b[0].box, kMargin, kMargin + (areaH - areaW / 4) / 2, areaW, areaW / 4);
    }
}

TEST(ViewerPrint, FivePagesAllIsOneJobOfTheWholeCollection)
{
    PrintFixture f;
    NEED_POPPLER();
    f.load({page(0), page(1), page(2), page(3), page(4)}, 2);
    f.answer(QPrinter::AllPages);
    f.print(0);
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

// A range printed to a file is one job of its pages: page by page, each job
// would overwrite the file the one before wrote.
TEST(ViewerPrint, FivePagesTwoToFourToAFileKeepsAllThreePages)
{
    PrintFixture f;
    NEED_POPPLER();
    f.load({page(0), page(1), page(2), page(3), page(4)});
    f.answer(QPrinter::PageRange, 2, 4);
    f.print(2);
    ASSERT_EQ(f.jobs.size(), 1);
    EXPECT_EQ(f.viewer->printing().jobsSent(), 1);
    EXPECT_EQ(pdfPages(f.jobs[0]), 3);
    EXPECT_EQ(pdfTitle(f.jobs[0]), QStringLiteral("Vellaquin"));
    const QList<PageBox> b = pageBoxes(f.jobs[0], f.dir.file(QStringLiteral("r")));
    ASSERT_EQ(b.size(), 3);
    for (int j = 0; j < 3; ++j) {
        EXPECT_TRUE(near(b[j].color, kColors[j + 1])) << "page " << j;
        // Fit To Page for a range.
        EXPECT_NEAR(b[j].box.width(), kAreaW, 2.0);
    }
    // A single page of the range, and all pages of a single picture.
    f.answer(QPrinter::PageRange, 4, 4);
    f.print(0);
    ASSERT_EQ(f.jobs.size(), 2);
    QList<PageBox> one = pageBoxes(f.jobs[1], f.dir.file(QStringLiteral("r1")));
    ASSERT_EQ(one.size(), 1);
    EXPECT_TRUE(near(one[0].color, kColors[3]));
    f.load({page(4)});
    f.answer(QPrinter::AllPages);
    f.print(0);
    ASSERT_EQ(f.jobs.size(), 3);
    one = pageBoxes(f.jobs[2], f.dir.file(QStringLiteral("r2")));
    ASSERT_EQ(one.size(), 1);
    EXPECT_TRUE(near(one[0].color, kColors[4]));
}

// Qt's PDF output leaves copies to the program: three copies are three sets
// of pages, collated or not as the dialog said.
TEST(ViewerPrint, CopiesCollatedAndNot)
{
    PrintFixture f;
    NEED_POPPLER();
    ASSERT_FALSE(f.viewer->printing().printer().supportsMultipleCopies());
    f.load({page(0), page(1), page(2), page(3), page(4)});
    f.answer(QPrinter::PageRange, 2, 3, 3, true);
    f.answer(QPrinter::PageRange, 2, 3, 3, false);
    f.print(0);
    f.print(0);
    ASSERT_EQ(f.jobs.size(), 2);
    const auto colours = [&f](int job) {
        QList<int> out;
        for (const PageBox &b :
             pageBoxes(f.jobs[job], f.dir.file(QStringLiteral("c%1").arg(job)))) {
            int found = -1;
            for (int i = 0; i < 5; ++i)
                if (near(b.color, kColors[i]))
                    found = i;
            out << found;
        }
        return out;
    };
    EXPECT_EQ(colours(0), (QList<int>{1, 2, 1, 2, 1, 2}));
    EXPECT_EQ(colours(1), (QList<int>{1, 1, 1, 2, 2, 2}));
    // One picture, three copies.
    f.load({page(2)});
    f.answer(QPrinter::AllPages, 0, 0, 3, true);
    f.print(1);
    ASSERT_EQ(f.jobs.size(), 3);
    EXPECT_EQ(colours(2), (QList<int>{2, 2, 2}));
}

// A lossless picture reaches the page lossless: every pixel of a noisy PNG
// comes back from the rasterised PDF as it went in.
TEST(ViewerPrint, ALosslessPictureIsPrintedPixelForPixel)
{
    // Margins of whole points, so the picture's pixels fall on the raster's.
    PrintFixture f(QPageLayout::Portrait,
                   QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                               QMarginsF(36, 36, 36, 36), QPageLayout::Point));
    NEED_POPPLER();
    QImage picture(32, 32, QImage::Format_RGB32);
    std::uint32_t seed = 12345;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            seed = seed * 1664525u + 1013904223u;
            picture.setPixel(x, y,
                             qRgb(int(seed >> 24), int(seed >> 16) & 255, int(seed >> 8) & 255));
        }
    picture.setDotsPerMeterX(qRound(72 / 0.0254));
    picture.setDotsPerMeterY(qRound(72 / 0.0254));
    f.viewer->ImgX->document()->adopt({picture}, imaging::FormatCode::Png, 24,
                                      f.dir.file(QStringLiteral("noise.png")));
    f.answer(QPrinter::AllPages);
    f.print(0);
    ASSERT_EQ(f.jobs.size(), 1);
    const QString prefix = f.dir.file(QStringLiteral("lossless"));
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
                       QStringLiteral("-singlefile"), f.jobs[0], prefix});
    const QImage raster =
        QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(raster.isNull());
    int worst = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb a = picture.pixel(x, y), b = raster.pixel(36 + x, 36 + y);
            worst = qMax(worst, qMax(qAbs(qRed(a) - qRed(b)),
                                     qMax(qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b)))));
        }
    EXPECT_LE(worst, 2);
}

TEST(ViewerPrint, SelectionPrintsTheCurrentPageCentredEvenForFitToPage)
{
    PrintFixture f;
    NEED_POPPLER();
    f.load({page(0), page(1), page(2), page(3), page(4)}, 3);
    f.answer(QPrinter::CurrentPage);
    f.print(2);
    ASSERT_EQ(f.jobs.size(), 1);
    EXPECT_EQ(pdfPages(f.jobs[0]), 1);
    const QList<PageBox> b = pageBoxes(f.jobs[0], f.dir.file(QStringLiteral("r")));
    ASSERT_EQ(b.size(), 1);
    EXPECT_TRUE(near(b[0].color, kColors[3]));
    expectBox(b[0].box, kMargin + (kAreaW - 144) / 2, kMargin + (kAreaH - 72) / 2, 144, 72);
    // A later print starts from all pages again, not from the last choice.
    f.prompter.printAnswers.push_back({false, QPrinter::AllPages, 0, 0, QString()});
    f.print(1);
    EXPECT_EQ(f.prompter.printAsked.back().range, QPrinter::AllPages);
}

TEST(ViewerPrint, CancelPrintsNothingAndAFailedJobSaysSo)
{
    PrintFixture f;
    NEED_POPPLER();
    f.load({page(0), page(1)});
    f.prompter.printAnswers.push_back({false, QPrinter::AllPages, 0, 0, QString()});
    f.print(1);
    EXPECT_TRUE(f.jobs.isEmpty());
    EXPECT_FALSE(QFile::exists(f.pdf));
    EXPECT_EQ(f.prompter.asked.size(), 2); // page setup, print dialog; no message

    // A PDF that cannot be written: the print ends with a message. (The real
    // dialog would refuse the folder itself; the answer goes straight in.)
    f.prompter.drives.push_back({false});
    f.prompter.printAnswers.push_back(
        {true, QPrinter::AllPages, 0, 0, f.dir.file(QStringLiteral("no/such/folder/out.pdf"))});
    f.print(1);
    EXPECT_TRUE(f.jobs.isEmpty());
    ASSERT_EQ(f.prompter.asked.back().kind, QStringLiteral("message"));
    EXPECT_TRUE(
        f.prompter.asked.back().text.startsWith(QStringLiteral("The image could not be printed.")));
    EXPECT_EQ(f.prompter.asked.back().icon, Prompter::Icon::Critical);

    // Nothing loaded: nothing to ask about.
    f.viewer->ImgX->document()->ResetImages();
    const auto before = f.prompter.printAsked.size();
    f.print(0);
    EXPECT_EQ(f.prompter.printAsked.size(), before);
    EXPECT_EQ(f.prompter.asked.back().text, QStringLiteral("There is no image to print."));
}
