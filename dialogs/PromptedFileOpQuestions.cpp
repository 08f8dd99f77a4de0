#include "dialogs/PromptedFileOpQuestions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>

namespace lumora
{

namespace
{

QString nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

// The progress bar counts in steps of a fixed range so files above 2 GB fit an int.
constexpr int kSteps = 10000;

} // namespace

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
            ? QStringLiteral("Are you sure you want to permanently delete \"%1\"?")
                  .arg(nameOf(paths.first()))
            : QStringLiteral("Are you sure you want to permanently delete these %1 items?")
                  .arg(paths.size());
    const QString title =
        paths.size() == 1 ? QStringLiteral("Delete File") : QStringLiteral("Delete Multiple Items");
    return m_prompter.message(m_parent, text, Prompter::Icon::Warning, Prompter::Buttons::YesNo,
                              title) == Prompter::Answer::Yes;
}

bool PromptedFileOpQuestions::confirmDeleteUntrashable(const QString &path, const QString &reason)
{
    const QString text =
        QStringLiteral("\"%1\" cannot be moved to the Trash: %2\n\nDelete it permanently instead?")
            .arg(nameOf(path), reason);
    return m_prompter.choose(m_parent, text,
                             {QStringLiteral("Delete Permanently"), QStringLiteral("Cancel")},
                             Prompter::Icon::Warning, QStringLiteral("Delete File")) == 0;
}

platform::FileOpQuestions::Collision
PromptedFileOpQuestions::askCollision(const QString &source, const QString &target, bool moreToCome)
{
    const QString text =
        QStringLiteral("A file named \"%1\" already exists in \"%2\".\n\n"
                       "Replace it with \"%3\" from \"%4\"?")
            .arg(nameOf(target), folderOf(target), nameOf(source), folderOf(source));
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
    const int i = m_prompter.choose(m_parent, text, buttons, Prompter::Icon::Warning,
                                    QStringLiteral("File Already Exists"));
    return i >= 0 && i < meaning.size() ? meaning[i] : Collision::Cancel;
}

void PromptedFileOpQuestions::showError(const QString &message)
{
    m_prompter.message(m_parent, message, Prompter::Icon::Critical, Prompter::Buttons::Ok,
                       m_title.isEmpty() ? QStringLiteral("Error") : m_title);
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

bool PromptedFileOpQuestions::progress(int filesDone, qint64 bytesDone, const QString &currentPath)
{
    if (!m_clock.isValid())
        return !m_cancelled;
    if (!m_dialog && m_clock.elapsed() >= m_delayMs) {
        m_dialog = new QProgressDialog(m_parent);
        m_dialog->setWindowTitle(m_title);
        m_dialog->setCancelButtonText(QStringLiteral("Cancel"));
        m_dialog->setRange(0, kSteps);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setMinimumWidth(420);
        m_dialog->show();
    }
    if (m_dialog) {
        const double share = m_totalBytes > 0
                                 ? double(bytesDone) / double(m_totalBytes)
                                 : (m_fileCount > 0 ? double(filesDone) / m_fileCount : 0.0);
        m_dialog->setLabelText(QStringLiteral("%1 of %2: %3")
                                   .arg(qMin(filesDone + 1, m_fileCount))
                                   .arg(m_fileCount)
                                   .arg(nameOf(currentPath)));
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
