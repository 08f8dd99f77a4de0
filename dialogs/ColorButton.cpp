#include "dialogs/ColorButton.h"

namespace lumora
{

ColorButton::ColorButton(QWidget *parent) : QPushButton(parent)
{
    setBackColor(Qt::white);
}

void ColorButton::setBackColor(const QColor &color)
{
    m_color = color.isValid() ? color : QColor(Qt::white);
    // A sheet of its own wins over the window's skin, so the face always
    // shows the value.
    setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid #808080; }")
                      .arg(m_color.name()));
}

} // namespace lumora
