#pragma once

#include <QImage>
#include <QList>
#include <QString>

#include <functional>
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

    // Called after each job that was sent (tests collect the output here).
    std::function<void(int jobNumber)> jobFinished;

private:
    bool printJob(const QString &title, const QList<QImage> &images, bool centred, bool fitted,
                  QString *error);

    std::unique_ptr<QPrinter> m_printer;
    int m_jobs = 0;
};

} // namespace lumora
