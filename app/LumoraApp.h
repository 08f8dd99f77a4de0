#pragma once

#include "app/Splash.h"
#include "app/frmMain.h"
#include "dialogs/DialogPrompter.h"
#include "dialogs/FileOpServices.h"
#include "dialogs/Skin.h"
#include "platform/RegistryStore.h"
#include "viewer/frmViwer.h"

#include <QPointer>

#include <memory>

namespace lumora::platform
{
class CommandRunner;
class DesktopAssociations;
class FileOperations;
class SingleInstance;
} // namespace lumora::platform

namespace lumora
{

class frmFile;

// Owns the program's windows and shared services for one run.
class LumoraApp : public WindowHost
{
public:
    // `firstPicture`: the decode of the file start() is given to view, when
    // main() started it (viewer/FirstPicture.h).
    explicit LumoraApp(std::unique_ptr<Preloader> firstPicture = {});
    ~LumoraApp() override;

    // Runs the start-up; false when the program is to end at once.
    bool start(const QStringList &arguments);

    frmMain &mainWindow() { return *m_main; }

    // WindowHost
    frmViwer *viewer() override;
    frmViwer *existingViewer() override { return m_viewer; }
    void unloadViewer() override;
    void unloadFolderChooser() override;
    void terminate() override;
    bool anotherInstanceRuns() override;
    Skin &skin() override { return m_skin; }
    Splash &splash() override { return m_splash; }
    QString programFolder() override;
    Prompter &prompter() override { return m_prompter; }
    assoc::ModAssoc *associations() override;

    // The shared folder chooser, loaded on first use.
    frmFile *folderChooser();
    frmFile *existingFolderChooser() const { return m_folderChooser.get(); }
    FileOpServices fileOpServices();

private:
    Skin m_skin;
    Splash m_splash;
    DialogPrompter m_prompter;
    std::unique_ptr<platform::RegistryStore> m_registry;
    std::unique_ptr<platform::SingleInstance> m_instance;
    // Decoding while the windows are built.
    std::unique_ptr<Preloader> m_firstPicture;
    std::unique_ptr<platform::CommandRunner> m_commands;
    std::unique_ptr<platform::DesktopAssociations> m_desktop;
    std::unique_ptr<assoc::ModAssoc> m_assoc;
    std::unique_ptr<frmMain> m_main;
    QPointer<frmViwer> m_viewer;
    std::unique_ptr<platform::FileOperations> m_fileOperations;
    // One memory of the last Delete for the viewer and the grid (Ctrl+Z).
    std::shared_ptr<TrashUndo> m_trashUndo = std::make_shared<TrashUndo>();
    std::unique_ptr<frmFile> m_folderChooser;
};

} // namespace lumora
