#include "viewer/ViewerPrint.h"

#include "dialogs/Prompter.h"
#include "imaging/ColourManagement.h"
#include "imaging/ImageDocument.h"
#include "viewer/PrintPlacement.h"

#include <QPainter>
#include <QPrinter>

namespace lumora
{

ViewerPrint::ViewerPrint() : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)) {}

ViewerPrint::~ViewerPrint() = default;

void ViewerPrint::PageSetup(QWidget *owner, Prompter &prompter)
{
    prompter.pageSetup(owner, *m_printer);
}

void ViewerPrint::Print(QWidget *owner, const imaging::ImageDocument &doc, Prompter &prompter,
                        int placement)
{
    const int n = doc.ImageCount();
    if (n < 1) {
        prompter.message(owner, QStringLiteral("There is no image to print."),
                         Prompter::Icon::Information);
        return;
    }
    const PlacementFlags flags = placementFlags(placement);
    m_printer->setFromTo(1, n);
    // Each print starts from all pages rather than the last choice.
    m_printer->setPrintRange(QPrinter::AllPages);
    if (!prompter.printDialog(owner, *m_printer, {1, n, true}))
        return;

    QString error;
    bool ok = true;
    const QString title = QString::fromLatin1(kJobTitle);
    m_profile = doc.iccProfile();
    const QPrinter::PrintRange range = m_printer->printRange();
    if (n > 1 && range == QPrinter::AllPages) {
        QList<QImage> pages;
        for (int i = 0; i < n; ++i)
            pages << doc.ImageItem(i);
        ok = PrintImages(title, pages, flags.centred, flags.fitted, &error);
    } else if (range == QPrinter::CurrentPage || range == QPrinter::Selection) {
        // The current page always goes centred at its own size.
        ok = PrintImage(title, doc.currentImage(), true, false, &error);
    } else {
        int f = 1, t = n;
        if (range == QPrinter::PageRange) {
            f = m_printer->fromPage();
            t = m_printer->toPage();
        }
        if (f < 1 || t > n || f > t) {
            ok = false;
            error = QStringLiteral("The pages %1 to %2 are not in this image, which has %3.")
                        .arg(f)
                        .arg(t)
                        .arg(n);
        }
        if (ok && outputIsAFile()) {
            // Each job would replace the file the one before wrote, so a
            // range to a file is one job of its pages.
            QList<QImage> pages;
            for (int i = f - 1; i <= t - 1; ++i)
                pages << doc.ImageItem(i);
            ok = PrintImages(title, pages, flags.centred, flags.fitted, &error);
        }
        // To a printer, one job per page.
        for (int i = f - 1; ok && !outputIsAFile() && i <= t - 1; ++i)
            ok = PrintImage(title, doc.ImageItem(i), flags.centred, flags.fitted, &error);
    }
    m_profile.clear();
    if (!ok)
        prompter.message(owner, QStringLiteral("The image could not be printed. %1").arg(error),
                         Prompter::Icon::Critical);
}

bool ViewerPrint::outputIsAFile() const
{
    return m_printer->outputFormat() == QPrinter::PdfFormat ||
           !m_printer->outputFileName().isEmpty();
}

QImage ViewerPrint::printablePixels(const QImage &page, const QByteArray &profile)
{
    return imaging::colour::forSrgb(page, profile);
}

bool ViewerPrint::PrintImage(const QString &title, const QImage &image, bool centred, bool fitted,
                             QString *error)
{
    return printJob(title, {image}, centred, fitted, error);
}

bool ViewerPrint::PrintImages(const QString &title, const QList<QImage> &images, bool centred,
                              bool fitted, QString *error)
{
    return printJob(title, images, centred, fitted, error);
}

bool ViewerPrint::printJob(const QString &title, const QList<QImage> &images, bool centred,
                           bool fitted, QString *error)
{
    for (const QImage &img : images) {
        if (img.isNull()) {
            *error = QStringLiteral("A page of the image is missing.");
            return false;
        }
    }
    if (images.isEmpty()) {
        *error = QStringLiteral("There is nothing to print.");
        return false;
    }
    m_printer->setDocName(title);
    // Where the printer cannot repeat the pages itself (Qt's PDF output), the
    // copies the dialog asked for are drawn here, in the order it asked:
    // collated 1 2 3 1 2 3, else 1 1 2 2 3 3.
    const int copies = m_printer->supportsMultipleCopies() ? 1 : qMax(1, m_printer->copyCount());
    QList<int> order;
    const bool collated = m_printer->collateCopies();
    for (int outer = 0; outer < (collated ? copies : int(images.size())); ++outer)
        for (int inner = 0; inner < (collated ? int(images.size()) : copies); ++inner)
            order << (collated ? inner : outer);
    QPainter painter;
    if (!painter.begin(m_printer.get())) {
        *error = QStringLiteral("The printer could not be started.");
        return false;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // A PNG stays a PNG on paper: no JPEG fringes in the PDF.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    // The painter's origin is the printable area's corner.
    const QRectF area(QPointF(0, 0), m_printer->pageRect(QPrinter::DevicePixel).size());
    const QSizeF deviceDpi(m_printer->logicalDpiX(), m_printer->logicalDpiY());
    for (qsizetype k = 0; k < order.size(); ++k) {
        if (k > 0 && !m_printer->newPage()) {
            painter.end();
            *error = QStringLiteral("The printer refused page %1.").arg(k + 1);
            return false;
        }
        const QImage img = printablePixels(images.at(order.at(k)), m_profile);
        painter.drawImage(
            placeOnPage(img.size(), printResolution(img), area, deviceDpi, centred, fitted), img);
    }
    const bool ended = painter.end();
    if (!ended || m_printer->printerState() == QPrinter::Error) {
        *error = QStringLiteral("The printer reported an error.");
        return false;
    }
    ++m_jobs;
    return true;
}

} // namespace lumora
