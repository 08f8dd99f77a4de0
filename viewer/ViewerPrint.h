#pragma once

#include <QImage>
#include <QList>
#include <QString>

#include <memory>

class QPrinter;
class QWidget;

namespace lumora
{

class Prompter;
namespace imaging
{
class ImageDocument;
}

// The viewer's print object: one printer kept for the viewer's lifetime, the
// page setup and print dialogs on it, and the jobs it sends.
class ViewerPrint
{
public:
    static constexpr const char *kJobTitle = "Vellaquin";

    ViewerPrint();
    ~ViewerPrint();
    ViewerPrint(const ViewerPrint &) = delete;
    ViewerPrint &operator=(const ViewerPrint &) = delete;

    QPrinter &printer() { return *m_printer; }

    void PageSetup(QWidget *owner, Prompter &prompter);
    // Asks for the range and prints the document's pages with the placement
    // (0 top left, 1 centred, 2 fit to page). Cancel prints nothing; an
    // error ends the print with a message, jobs already sent stay sent.
    void Print(QWidget *owner, const imaging::ImageDocument &doc, Prompter &prompter,
               int placement);

    // One job: the image on one page.
    bool PrintImage(const QString &title, const QImage &image, bool centred, bool fitted,
                    QString *error);
    // One job: every image on a page of its own.
    bool PrintImages(const QString &title, const QList<QImage> &images, bool centred, bool fitted,
                     QString *error);

    // Jobs sent so far by this print object.
    int jobsSent() const { return m_jobs; }

    // The pixels a page is printed from: converted from the profile they
    // are in (the document's) to sRGB, which is what Qt's PDF and print
    // output assume, unless colour management is off.
    static QImage printablePixels(const QImage &page, const QByteArray &profile = {});

private:
    bool printJob(const QString &title, const QList<QImage> &images, bool centred, bool fitted,
                  QString *error);
    // Whether the jobs of one print command would overwrite one another:
    // output to a file (PDF, or a printer's "print to file") is one file per
    // job.
    bool outputIsAFile() const;

    std::unique_ptr<QPrinter> m_printer;
    int m_jobs = 0;
    // The profile of the document being printed, for printablePixels().
    QByteArray m_profile;
};

} // namespace lumora
