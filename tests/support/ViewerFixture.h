#pragma once

#include "platform/SqliteRegistryStore.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "viewer/BrowserLink.h"
#include "viewer/frmViwer.h"

#include <QColor>
#include <QImage>

#include <memory>

namespace lumora::test
{

// Records what the viewer asks of the browser.
class FakeBrowser : public BrowserLink
{
public:
    int shown = 0;
    QStringList checked;
    QList<QPair<QString, QString>> refreshed;
    int ended = 0;
    void showBrowser() override { ++shown; }
    void CheckPath(const QString &path) override { checked << path; }
    void RefreshImages(const QString &p, const QString &to) override { refreshed.append({p, to}); }
    void EndMe() override { ++ended; }
};

inline QString writeImage(const TempDir &dir, const QString &name, int w, int h,
                          QColor color = Qt::red, const char *format = nullptr)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(color);
    const QString path = dir.file(name);
    img.save(path, format);
    return path;
}

// A viewer with a real registry file, a scripted prompter and a fake browser.
struct ViewerFixture {
    TempDir dir;
    ScriptedPrompter prompter;
    FakeBrowser browser;
    std::unique_ptr<platform::SqliteRegistryStore> registry;
    std::unique_ptr<frmViwer> viewer;
    Preloader *firstPicture = nullptr; // for the next makeViewer()

    explicit ViewerFixture(bool fullScreenSetting = false)
    {
        registry = std::make_unique<platform::SqliteRegistryStore>(
            dir.file(QStringLiteral("registry.db")));
        if (!fullScreenSetting) {
            const QString key = QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings");
            registry->createKey(platform::RegistryRoot::LocalMachine, key);
            registry->setValue(platform::RegistryRoot::LocalMachine, key,
                               QStringLiteral("FullScreen"),
                               {QStringLiteral("0"), platform::RegSz});
        }
        makeViewer();
    }
    void makeViewer()
    {
        ViewerContext ctx;
        ctx.prompter = &prompter;
        ctx.browser = &browser;
        ctx.registry = registry.get();
        ctx.firstPicture = firstPicture;
        viewer = std::make_unique<frmViwer>(ctx);
    }
    QStringList images(int count, int w = 64, int h = 48)
    {
        QStringList out;
        for (int i = 0; i < count; ++i)
            out << writeImage(dir, QStringLiteral("img%1.png").arg(i), w + i, h,
                              QColor::fromHsv(i * 40 % 360, 200, 200));
        return out;
    }
};

} // namespace lumora::test
