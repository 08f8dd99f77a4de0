#pragma once

#include <QWidget>

class QTextBrowser;

namespace lumora
{

// The shipped HTML help in a window of the program's own, for a machine
// whose desktop has nothing to open it with.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    HelpWindow(const QString &htmlFile, QWidget *owner);
    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
};

} // namespace lumora
