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
// second (short operations never flash a window).
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

private:
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

} // namespace lumora
