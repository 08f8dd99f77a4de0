#include "app/BrowserLayout.h"

namespace lumora
{

QSizeF BrowserLayout::snapWindow(QSizeF window)
{
    if (window.width() < kMinWidth)
        window.setWidth(kMinWidth);
    if (window.height() < kMinHeight)
        window.setHeight(kMinHeight);
    return window;
}

QSizeF BrowserLayout::splitter2Size(QSizeF window)
{
    return {window.width() - kSplitter2WidthInset, window.height() - kSplitter2HeightInset};
}

QSizeF BrowserLayout::splitter1Size(QSizeF container, double toolbarHeight)
{
    return {container.width() - kSplitter1WidthInset,
            container.height() - toolbarHeight - kSplitter1HeightInset};
}

} // namespace lumora
