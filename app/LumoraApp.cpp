#include "app/LumoraApp.h"

#include "app/ColourSetup.h"
#include "app/StartupHelpers.h"
#include "assoc/AssocTypes.h"
#include "assoc/ModAssoc.h"
#include "dialogs/PromptedFileOpQuestions.h"
#include "dialogs/frmFile.h"
#include "explorer/ExtensionFilterSetting.h"
#include "explorer/ImageExplore.h"
#include "explorer/ThumbnailCacheSetting.h"
#include "explorer/ThumbnailCacheUpkeep.h"
#include "loader/LoaderClient.h"
#include "loader/LoaderSetting.h"
#include "platform/DisplayProfile.h"
#include "platform/FileOperations.h"
#include "platform/ProcessCommandRunner.h"
#include "platform/SingleInstance.h"
#include "platform/linux/FreedesktopAssociations.h"
#include "viewer/FirstPicture.h"
#include "viewer/frmViwer.h"
#include <QProgressDialog> // until the adapter header includes it itself

#include <QApplication>
#include <QDir>

namespace lumora
{

namespace
{

// The user's time limit keeps a loader already decoding the first picture.
std::unique_ptr<Preloader> startDecoding(platform::RegistryStore *registry,
                                         std::unique_ptr<Preloader> first)
{
    loader::LoaderSettings decoding = loader::currentSettings();
    decoding.timeLimitMs = loader::decoderTimeLimitMs(registry);
    loader::configure(decoding);
    startOtherDecoders(first.get());
    return first;
}

} // namespace

LumoraApp::LumoraApp(std::unique_ptr<Preloader> firstPicture)
    : m_registry(platform::openDefaultRegistryStore()),
      m_instance(platform::createSingleInstance()),
      m_firstPicture(startDecoding(m_registry.get(), std::move(firstPicture))),
      m_main(std::make_unique<frmMain>(*this)),
      m_fileOperations(withThumbnailCacheUpkeep(platform::createFileOperations(),
                                                thumbnailCacheWritingAllowed(m_registry.get())))
{
    setUpColourManagement(m_registry.get(), *platform::createDisplayProfile());
    m_main->ImageExplore1->setFileOperations(fileOpServices());
}

LumoraApp::~LumoraApp()
{
    delete m_viewer.data();
    m_folderChooser.reset();
}

frmFile *LumoraApp::folderChooser()
{
    if (!m_folderChooser)
        m_folderChooser = std::make_unique<frmFile>(&m_skin);
    return m_folderChooser.get();
}

void LumoraApp::unloadFolderChooser()
{
    m_folderChooser.reset();
}

FileOpServices LumoraApp::fileOpServices()
{
    FileOpServices s;
    s.operations = m_fileOperations.get();
    s.trashUndo = m_trashUndo;
    s.chooser = [this] { return folderChooser(); };
    s.questions = [this](QWidget *parent) -> std::unique_ptr<platform::FileOpQuestions> {
        return std::make_unique<PromptedFileOpQuestions>(m_prompter, parent);
    };
    return s;
}

bool LumoraApp::start(const QStringList &arguments)
{
    m_main->ImageExplore1->setThumbnailCacheWriting(thumbnailCacheWritingAllowed(m_registry.get()));
    m_main->ImageExplore1->setMoreImageTypes(moreImageTypesListed(m_registry.get()));
    const bool running = m_main->Form_Load(commandLineText(arguments));
    // A first picture the viewer did not take (its folder showed in the
    // browser instead) is let go.
    if (m_firstPicture)
        m_firstPicture->keep({});
    return running;
}

assoc::ModAssoc *LumoraApp::associations()
{
    if (!m_assoc) {
        m_commands = std::make_unique<platform::ProcessCommandRunner>();
        m_desktop = std::make_unique<platform::FreedesktopAssociations>(
            platform::XdgDirs::fromEnvironment(), *m_commands, assoc::associatedExtensions());
        m_assoc = std::make_unique<assoc::ModAssoc>(*m_registry, m_desktop.get(),
                                                    QCoreApplication::applicationFilePath());
    }
    return m_assoc.get();
}

QString LumoraApp::programFolder()
{
    return QCoreApplication::applicationDirPath();
}

bool LumoraApp::anotherInstanceRuns()
{
    return m_instance && !m_instance->tryBecomePrimary();
}

frmViwer *LumoraApp::viewer()
{
    if (!m_viewer) {
        ViewerContext ctx;
        ctx.prompter = &m_prompter;
        ctx.browser = m_main.get();
        ctx.skin = &m_skin;
        ctx.registry = m_registry.get();
        ctx.fileOps = fileOpServices();
        ctx.firstPicture = m_firstPicture.get();
        m_viewer = new frmViwer(ctx);
        // Closing the viewer unloads it; the next use loads a fresh one.
        QObject::connect(m_viewer, &frmViwer::viewerClosed, m_main.get(), [this](bool endProgram) {
            if (m_viewer)
                m_viewer->deleteLater();
            if (endProgram) {
                unloadFolderChooser();
                terminate();
            }
        });
    }
    return m_viewer;
}

void LumoraApp::unloadViewer()
{
    if (m_viewer) {
        m_viewer->close();
        delete m_viewer.data();
    }
}

void LumoraApp::terminate()
{
    QCoreApplication::exit(0);
}

} // namespace lumora
