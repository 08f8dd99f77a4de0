#include "viewer/ViewerPrint.h"

#include "dialogs/Prompter.h"
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
    const QPrinter::PrintRange range = m_printer->printRange();
    if (n > 1 && range == QPrinter::AllPages) {
        QList<QImage> pages;
        for (int i = 0; i < n; ++i)
            pages << doc.ImageItem(i);
        ok =
            PrintImages(QString::fromLatin1(kJobTitle), pages, flags.centred, flags.fitted, &error);
    } else if (range == QPrinter::CurrentPage || range == QPrinter::Selection) {
        // The current page always goes centred at its own size.
        ok = PrintImage(QString::fromLatin1(kJobTitle), doc.currentImage(), true, false, &error);
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
        // One job per page.
        for (int i = f - 1; ok && i <= t - 1; ++i)
            ok = PrintImage(QString::fromLatin1(kJobTitle), doc.ImageItem(i), flags.centred,
                            flags.fitted, &error);
    }
    if (!ok)
        prompter.message(owner, QStringLiteral("The image could not be printed. %1").arg(error),
                         Prompter::Icon::Critical);
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
    QPainter painter;
    if (!painter.begin(m_printer.get())) {
        *error = QStringLiteral("The printer could not be started.");
        return false;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // The painter's origin is the printable area's corner.
    const QRectF area(QPointF(0, 0), m_printer->pageRect(QPrinter::DevicePixel).size());
    const QSizeF deviceDpi(m_printer->logicalDpiX(), m_printer->logicalDpiY());
    for (qsizetype i = 0; i < images.size(); ++i) {
        if (i > 0 && !m_printer->newPage()) {
            painter.end();
            *error = QStringLiteral("The printer refused page %1.").arg(i + 1);
            return false;
        }
        const QImage &img = images.at(i);
        painter.drawImage(
            placeOnPage(img.size(), printResolution(img), area, deviceDpi, centred, fitted), img);
    }
    const bool ended = painter.end();
    if (!ended || m_printer->printerState() == QPrinter::Error) {
        *error = QStringLiteral("The printer reported an error.");
        return false;
    }
    ++m_jobs;
    if (jobFinished)
        jobFinished(m_jobs);
    return true;
}

} // namespace lumora
