#include "dialogs/Skin.h"

#include <QFile>
#include <QStyle>
#include <QWidget>

namespace lumora
{

bool Skin::LoadSkin(const QString &path)
{
    m_sheet.clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // A skin file is small; anything large or with NUL bytes is not a style
    // sheet and would only make Qt complain on every window.
    const QByteArray bytes = f.read(4 * 1024 * 1024);
    if (bytes.contains('\0'))
        return false;
    m_sheet = QString::fromUtf8(bytes);
    return !m_sheet.isEmpty();
}

static void tagAndPolish(QWidget *w, const QString &element, const QString &sheet)
{
    if (!w)
        return;
    w->setProperty(Skin::kProperty, element);
    if (!sheet.isEmpty() && w->styleSheet() != sheet)
        w->setStyleSheet(sheet);
    // Property selectors are matched at polish time.
    w->style()->unpolish(w);
    w->style()->polish(w);
    w->update();
}

void Skin::ApplySkin(QWidget *window) const
{
    tagAndPolish(window, QStringLiteral("Main"), m_sheet);
}

void Skin::ApplySkinByName(QWidget *widget, const QString &element) const
{
    tagAndPolish(widget, element, m_sheet);
}

} // namespace lumora
