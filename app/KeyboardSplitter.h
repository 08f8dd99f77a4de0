#pragma once

#include <QSplitter>

namespace lumora
{

// A splitter whose handles take the keyboard focus (Tab, or a click) and
// move with the arrow keys: ten pixels a press, one with Shift, Home and End
// to either limit. Someone who cannot drag can still size the panes.
class KeyboardSplitter : public QSplitter
{
    Q_OBJECT
public:
    KeyboardSplitter(Qt::Orientation orientation, QWidget *parent = nullptr);

protected:
    QSplitterHandle *createHandle() override;
};

} // namespace lumora
