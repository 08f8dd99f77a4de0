#pragma once

#include <QColor>
#include <QPushButton>

namespace lumora
{

// A button whose face is a colour: the value of a colour row.
class ColorButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ColorButton(QWidget *parent = nullptr);

    QColor backColor() const { return m_color; }
    void setBackColor(const QColor &color);

private:
    QColor m_color;
};

} // namespace lumora
