#pragma once

#include "dialogs/Prompter.h"
#include "platform/FileOpQuestions.h"

#include <QElapsedTimer>
#include <QPointer>

class QProgressDialog;
class QWidget;

namespace lumora
{

// The file-operation service's questions asked through the Prompter, and its
// progress shown in a progress dialog once the work has taken about half a
// second (short operations never flash a window). Every question whose other
// answers can destroy data has Cancel as its default and Escape answer.
class PromptedFileOpQuestions : public platform::FileOpQuestions
{
public:
    PromptedFileOpQuestions(Prompter &prompter, QWidget *parent);
    ~PromptedFileOpQuestions() override;

    bool confirmTrash(const QStringList &paths) override;
    bool confirmDelete(const QStringList &paths) override;
    bool confirmDeleteUntrashable(const QString &path, const QString &reason) override;
    Collision askCollision(const QString &source, const QString &target, bool moreToCome) override;
    void showError(const QString &message) override;

    void begin(const QString &title, int fileCount, qint64 totalBytes) override;
    bool progress(int filesDone, qint64 bytesDone, const QString &currentPath) override;
    void end() override;

    // How long the work runs before the progress dialog appears.
    void setProgressDelay(int ms) { m_delayMs = ms; }
    bool progressShown() const { return m_dialog != nullptr; }
    QProgressDialog *progressDialog() const { return m_dialog; }

    // The title of error boxes for the operation (never the progress title).
    QString errorTitle() const;
    // What the progress dialog says, for a file count, sizes and the file at hand.
    QString progressText(int filesDone, qint64 bytesDone, const QString &currentPath) const;

private:
    void showProgressDialog();

    Prompter &m_prompter;
    QPointer<QWidget> m_parent;
    QPointer<QProgressDialog> m_dialog;
    QElapsedTimer m_clock;
    QElapsedTimer m_sinceEvents;
    QString m_title;
    int m_fileCount = 0;
    qint64 m_totalBytes = 0;
    int m_delayMs = 500;
    bool m_cancelled = false;
};

// "1.5 MB, modified 9 Dec 2026 10:41" for a file, or why it cannot be told.
QString describeFileForCollision(const QString &path);

} // namespace lumora
