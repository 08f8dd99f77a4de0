#pragma once

#include <QString>

namespace lumora
{

// A file next to the program that a Help menu entry opens: the path to hand
// to the desktop's opener, or the sentence to show when there is none.
struct HelpTarget {
    QString path;
    QString missing;
};

// The help file "orx.chm" in the program folder; when it is absent the HTML
// help page that ships with the program.
HelpTarget helpIndexTarget(const QString &programFolder);
// The updater "update/update.exe" in the program folder.
HelpTarget updaterTarget(const QString &programFolder);

// Where the shipped HTML help page lives, relative to the program folder.
inline constexpr const char *kHtmlHelp = "/help/index.html";

} // namespace lumora
