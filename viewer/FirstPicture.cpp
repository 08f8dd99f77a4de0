#include "viewer/FirstPicture.h"

#include "loader/LoaderClient.h"
#include "viewer/TypeRule.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

namespace lumora
{

std::unique_ptr<Preloader> decodeFirstPicture(const QString &commandLine)
{
    const QFileInfo info(commandLine);
    if (commandLine.isEmpty() || !info.isFile() || takesPictureRoute(info.absoluteFilePath()))
        return nullptr;
    auto first = std::make_unique<Preloader>();
    // The viewer opens on the primary screen; its own preloading sizes the
    // copy by the screen it is on. Before the program knows its screens the
    // copy keeps the preloader's size, which covers common screens.
    if (qGuiApp) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            first->setProxyLimit(screen->size() * screen->devicePixelRatio());
    }
    first->keep({info.canonicalFilePath()});
    return first;
}

void startOtherDecoders(const Preloader *first)
{
    if (!first)
        loader::startLoaders();
}

std::optional<Preloaded> takeFirstPicture(Preloader *first, const QString &path)
{
    if (!first)
        return std::nullopt;
    // The viewer names the file by its folder's listing, which may spell
    // the path otherwise.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    std::optional<Preloaded> ready = canonical.isEmpty() ? std::nullopt : first->take(canonical);
    first->keep({}); // another file's decode is not waited for
    return ready;
}

} // namespace lumora
