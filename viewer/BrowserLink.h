#pragma once

#include <QString>

namespace lumora
{

// What the viewer needs of the browser window. The browser implements it, so
// the viewer never includes the browser.
class BrowserLink
{
public:
    virtual ~BrowserLink() = default;
    // Shows the browser window (modeless).
    virtual void showBrowser() = 0;
    // Shows the folder of `path` and makes it the current item.
    virtual void CheckPath(const QString &path) = 0;
    // A file operation changed `path` (`newPath` after a rename, "" when the
    // file left the folder).
    virtual void RefreshImages(const QString &path, const QString &newPath) = 0;
    // Ends the program the way closing the browser does.
    virtual void EndMe() = 0;
};

} // namespace lumora
