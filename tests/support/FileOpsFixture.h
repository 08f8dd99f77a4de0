#pragma once

#include "dialogs/FileOpServices.h"
#include "dialogs/PromptedFileOpQuestions.h"
#include "dialogs/frmFile.h"
#include "platform/FileOperations.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include <QProgressDialog> // until the adapter header includes it itself

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <deque>
#include <functional>
#include <memory>

namespace lumora::test
{

// The real file-operation service with a real Trash under a temporary
// XDG_DATA_HOME, the real folder chooser answered by script, and the
// service's questions asked through a scripted prompter.
struct FileOpsFixture {
    TempDir home; // XDG_DATA_HOME for the run
    QByteArray savedDataHome;
    std::unique_ptr<platform::FileOperations> operations; // made once XDG_DATA_HOME is set
    std::unique_ptr<frmFile> chooser;
    int chooserShown = 0;
    QStringList chooserCaptions;
    QStringList chooserSources;
    QStringList chooserOffered; // txtDestination as the chooser opened
    // One step per showing; an empty queue cancels.
    std::deque<std::function<void(frmFile &)>> chooserSteps;

    FileOpsFixture()
    {
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        operations = platform::createFileOperations();
        chooser = std::make_unique<frmFile>();
        chooser->runModal = [this](frmFile &f) {
            ++chooserShown;
            chooserCaptions << f.windowTitle();
            chooserSources << f.txtSource->text();
            chooserOffered << f.txtDestination->text();
            if (chooserSteps.empty()) {
                f.cmdCancel->click();
                return;
            }
            auto step = std::move(chooserSteps.front());
            chooserSteps.pop_front();
            step(f);
        };
    }
    ~FileOpsFixture()
    {
        if (savedDataHome.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", savedDataHome);
    }

    // The next showing of the chooser: type `folder` and press Ok.
    void chooseFolder(const QString &folder)
    {
        chooserSteps.push_back([folder](frmFile &f) {
            f.txtDestination->setText(folder);
            f.cmdOK->click();
        });
    }
    // The next showing: keep what is offered and press Ok.
    void acceptOffered()
    {
        chooserSteps.push_back([](frmFile &f) { f.cmdOK->click(); });
    }
    // The next showing: press Cancel, after typing `typed` when given.
    void cancelChooser(const QString &typed = {})
    {
        chooserSteps.push_back([typed](frmFile &f) {
            if (!typed.isEmpty())
                f.txtDestination->setText(typed);
            f.cmdCancel->click();
        });
    }

    FileOpServices services(Prompter &prompter)
    {
        FileOpServices s;
        s.operations = operations.get();
        s.chooser = [this] { return chooser.get(); };
        s.questions = [&prompter](QWidget *parent) -> std::unique_ptr<platform::FileOpQuestions> {
            return std::make_unique<PromptedFileOpQuestions>(prompter, parent);
        };
        return s;
    }

    QString trashFolder() const { return home.file(QStringLiteral("Trash")); }
    // Names in the Trash's files folder, and whether each has its info file.
    QStringList trashed() const
    {
        return QDir(trashFolder() + QStringLiteral("/files"))
            .entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    }
    bool hasTrashInfo(const QString &name) const
    {
        return QFile::exists(trashFolder() + QStringLiteral("/info/") + name +
                             QStringLiteral(".trashinfo"));
    }
};

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace lumora::test
