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
    // copy by the screen it is on.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        first->setProxyLimit(screen->size() * screen->devicePixelRatio());
    first->keep({info.canonicalFilePath()});
    return first;
}

std::unique_ptr<Preloader> startDecoders(const QString &commandLine)
{
    std::unique_ptr<Preloader> first = decodeFirstPicture(commandLine);
    if (!first)
        loader::startLoaders();
    return first;
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
