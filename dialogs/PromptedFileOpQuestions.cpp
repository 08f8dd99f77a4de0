#include "dialogs/PromptedFileOpQuestions.h"

#include "platform/FileOperations.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPalette>
#include <QProgressBar>
#include <QProgressDialog>

namespace lumora
{

namespace
{

// As a person reads them: a stray byte of a name that is not UTF-8 as U+FFFD.
QString nameOf(const QString &path)
{
    return platform::displayPath(QFileInfo(path).fileName());
}

QString folderOf(const QString &path)
{
    return platform::displayPath(QFileInfo(path).absolutePath());
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

// The progress bar counts in steps of a fixed range so files above 2 GB fit an int.
constexpr int kSteps = 10000;

} // namespace

QString describeFileForCollision(const QString &path)
{
    const platform::PathFacts facts = platform::pathFacts(path);
    if (!facts.exists)
        return QStringLiteral("no longer there");
    return QStringLiteral("%1, modified %2")
        .arg(sizeText(facts.size), QDateTime::fromMSecsSinceEpoch(facts.modifiedMs)
                                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

PromptedFileOpQuestions::PromptedFileOpQuestions(Prompter &prompter, QWidget *parent)
    : m_prompter(prompter), m_parent(parent)
{
}

PromptedFileOpQuestions::~PromptedFileOpQuestions()
{
    end();
}

bool PromptedFileOpQuestions::confirmTrash(const QStringList &paths)
{
    // The Trash gives everything back (Ctrl+Z, or the desktop's Trash), so
    // Yes may stay the default here.
    const QString text =
        paths.size() == 1
            ? QStringLiteral("Are you sure you want to move \"%1\" to the Trash?")
                  .arg(nameOf(paths.first()))
            : QStringLiteral("Are you sure you want to move these %1 items to the Trash?")
                  .arg(paths.size());
    const QString title =
        paths.size() == 1 ? QStringLiteral("Delete File") : QStringLiteral("Delete Multiple Items");
    return m_prompter.message(m_parent, text, Prompter::Icon::Question, Prompter::Buttons::YesNo,
                              title) == Prompter::Answer::Yes;
}

bool PromptedFileOpQuestions::confirmDelete(const QStringList &paths)
{
    const QString text =
        paths.size() == 1
            ? QStringLiteral("Are you sure you want to permanently delete \"%1\"?\n\n"
                             "It will not go to the Trash and cannot be brought back.")
                  .arg(nameOf(paths.first()))
            : QStringLiteral("Are you sure you want to permanently delete these %1 items?\n\n"
                             "They will not go to the Trash and cannot be brought back.")
                  .arg(paths.size());
    const QString title =
        paths.size() == 1 ? QStringLiteral("Delete File") : QStringLiteral("Delete Multiple Items");
    return m_prompter.chooseSafely(m_parent, text,
                                   {QStringLiteral("Delete Permanently"), QStringLiteral("Cancel")},
                                   1, Prompter::Icon::Warning, title) == 0;
}

bool PromptedFileOpQuestions::confirmDeleteUntrashable(const QString &path, const QString &reason)
{
    // Deleting needs a writable folder just as the Trash does: offering it
    // there would only fail a second time, after the user agreed to lose the file.
    const QString folder = folderOf(path);
    if (!QFileInfo(QFileInfo(path).absolutePath()).isWritable()) {
        m_prompter.message(
            m_parent,
            QStringLiteral("\"%1\" cannot be moved to the Trash: %2\n\n"
                           "It cannot be deleted either, because the folder \"%3\" is read-only. "
                           "Nothing was changed.")
                .arg(nameOf(path), reason, QDir::toNativeSeparators(folder)),
            Prompter::Icon::Warning, Prompter::Buttons::Ok, QStringLiteral("Delete File"));
        return false;
    }
    const QString text =
        QStringLiteral("\"%1\" cannot be moved to the Trash: %2\n\nDelete it permanently instead? "
                       "It cannot be brought back.")
            .arg(nameOf(path), reason);
    return m_prompter.chooseSafely(m_parent, text,
                                   {QStringLiteral("Delete Permanently"), QStringLiteral("Cancel")},
                                   1, Prompter::Icon::Warning, QStringLiteral("Delete File")) == 0;
}

platform::FileOpQuestions::Collision
PromptedFileOpQuestions::askCollision(const QString &source, const QString &target, bool moreToCome)
{
    if (operation() == 5) {
        // A rename never replaces another file: its own numbered name, or nothing.
        const QString text = QStringLiteral("Another file in \"%1\" is already named \"%2\" (%3).\n"
                                            "A rename never replaces a file.\n\n"
                                            "Keep both, giving \"%4\" the next free numbered name?")
                                 .arg(folderOf(target), nameOf(target),
                                      describeFileForCollision(target), nameOf(source));
        const int i = m_prompter.chooseSafely(
            m_parent, text, {QStringLiteral("Keep Both"), QStringLiteral("Cancel")}, 1,
            Prompter::Icon::Warning, QStringLiteral("File Already Exists"));
        return i == 0 ? Collision::KeepBoth : Collision::Cancel;
    }
    const QString text =
        QStringLiteral("A file named \"%1\" already exists in \"%2\".\n\n"
                       "Existing file: %3\nNew file from \"%4\": %5\n\n"
                       "Replace it with \"%6\"?")
            .arg(nameOf(target), folderOf(target), describeFileForCollision(target),
                 folderOf(source), describeFileForCollision(source), nameOf(source));
    QStringList buttons;
    QList<Collision> meaning;
    buttons << QStringLiteral("Replace");
    meaning << Collision::Replace;
    if (moreToCome) {
        buttons << QStringLiteral("Replace All");
        meaning << Collision::ReplaceAll;
    }
    buttons << QStringLiteral("Skip");
    meaning << Collision::Skip;
    if (moreToCome) {
        buttons << QStringLiteral("Skip All");
        meaning << Collision::SkipAll;
    }
    buttons << QStringLiteral("Keep Both") << QStringLiteral("Cancel");
    meaning << Collision::KeepBoth << Collision::Cancel;
    const int i =
        m_prompter.chooseSafely(m_parent, text, buttons, int(buttons.size()) - 1,
                                Prompter::Icon::Warning, QStringLiteral("File Already Exists"));
    return i >= 0 && i < meaning.size() ? meaning[i] : Collision::Cancel;
}

QString PromptedFileOpQuestions::errorTitle() const
{
    switch (operation()) {
    case 1:
        return QStringLiteral("Could Not Copy");
    case 2:
        return QStringLiteral("Could Not Move to the Trash");
    case 3:
        return QStringLiteral("Could Not Delete");
    case 4:
        return QStringLiteral("Could Not Move");
    case 5:
        return QStringLiteral("Could Not Rename");
    default:
        return QStringLiteral("File Operation Failed");
    }
}

void PromptedFileOpQuestions::showError(const QString &message)
{
    // The progress dialog must not stay up behind the message, nor lend it its title.
    if (m_dialog)
        m_dialog->hide();
    m_prompter.message(m_parent, message, Prompter::Icon::Critical, Prompter::Buttons::Ok,
                       errorTitle());
}

void PromptedFileOpQuestions::begin(const QString &title, int fileCount, qint64 totalBytes)
{
    end();
    m_title = title;
    m_fileCount = fileCount;
    m_totalBytes = totalBytes;
    m_cancelled = false;
    m_clock.start();
    m_sinceEvents.start();
}

QString PromptedFileOpQuestions::progressText(int filesDone, qint64 bytesDone,
                                              const QString &currentPath) const
{
    QString text = QStringLiteral("%1 of %2: %3")
                       .arg(qMin(filesDone + 1, m_fileCount))
                       .arg(m_fileCount)
                       .arg(nameOf(currentPath));
    if (!destination().isEmpty() && operation() != 2 && operation() != 3) {
        const QFileInfo to(destination());
        const QString folder = to.isDir() ? to.absoluteFilePath() : to.absolutePath();
        text += QStringLiteral("\nTo: %1").arg(QDir::toNativeSeparators(folder));
    }
    if (m_totalBytes > 0)
        text += QStringLiteral("\n%1 of %2").arg(sizeText(bytesDone), sizeText(m_totalBytes));
    return text;
}

void PromptedFileOpQuestions::showProgressDialog()
{
    m_dialog = new QProgressDialog(m_parent);
    m_dialog->setWindowTitle(m_title);
    m_dialog->setCancelButtonText(QStringLiteral("Cancel"));
    // The figure is drawn over the bar's groove and, when the bar passes it,
    // over the highlight: it takes the window's own text colours, never a
    // faded style default.
    auto *bar = new QProgressBar(m_dialog);
    QPalette pal = bar->palette();
    pal.setColor(QPalette::Text, pal.color(QPalette::WindowText));
    pal.setColor(QPalette::HighlightedText, pal.color(QPalette::WindowText));
    bar->setPalette(pal);
    bar->setTextVisible(true);
    bar->setAlignment(Qt::AlignCenter);
    m_dialog->setBar(bar);
    m_dialog->setRange(0, kSteps);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setMinimumWidth(460);
    m_dialog->show();
}

bool PromptedFileOpQuestions::progress(int filesDone, qint64 bytesDone, const QString &currentPath)
{
    if (!m_clock.isValid())
        return !m_cancelled;
    if (!m_dialog && m_clock.elapsed() >= m_delayMs)
        showProgressDialog();
    if (m_dialog) {
        const double share = m_totalBytes > 0
                                 ? double(bytesDone) / double(m_totalBytes)
                                 : (m_fileCount > 0 ? double(filesDone) / m_fileCount : 0.0);
        m_dialog->setLabelText(progressText(filesDone, bytesDone, currentPath));
        m_dialog->setValue(int(qBound(0.0, share, 1.0) * kSteps));
        // Let the Cancel button and repaints through, but not on every block.
        if (m_sinceEvents.elapsed() >= 40) {
            QCoreApplication::processEvents();
            m_sinceEvents.restart();
        }
        if (m_dialog && m_dialog->wasCanceled())
            m_cancelled = true;
    }
    return !m_cancelled;
}

void PromptedFileOpQuestions::end()
{
    if (m_dialog) {
        m_dialog->hide();
        delete m_dialog.data();
    }
    m_clock.invalidate();
}

} // namespace lumora
