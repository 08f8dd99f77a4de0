#pragma once

#include <QSizeF>

namespace lumora
{

// The browser's layout rules in twips, free of widgets.
class BrowserLayout
{
public:
    static constexpr double kMinWidth = 3700;
    static constexpr double kMinHeight = 2400;
    static constexpr double kSplitter2WidthInset = 300;
    static constexpr double kSplitter2HeightInset = 1000;
    static constexpr double kSplitter1WidthInset = 20;
    static constexpr double kSplitter1HeightInset = 80;

    // The window size after the minimum-size snap.
    static QSizeF snapWindow(QSizeF window);
    // The outer splitter's size for a window of that (outer) size.
    static QSizeF splitter2Size(QSizeF window);
    // The inner splitter's size for a container of that size and a toolbar
    // of that height.
    static QSizeF splitter1Size(QSizeF container, double toolbarHeight);
};

} // namespace lumora
