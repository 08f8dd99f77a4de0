#include "viewer/FullScreenHint.h"

namespace lumora
{

FullScreenHint::FullScreenHint(QWidget *over)
    : QLabel(QStringLiteral("F: window  \u00b7  Escape: close  \u00b7  Enter: browser"), over)
{
    setObjectName(QStringLiteral("fullScreenHint"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAlignment(Qt::AlignCenter);
    setStyleSheet(QStringLiteral("background: rgba(20, 21, 24, 200); color: #e8eaed;"
                                 "border-radius: 6px; padding: 6px 14px;"));
    m_timer.setSingleShot(true);
    m_timer.setInterval(kShownForMs);
    connect(&m_timer, &QTimer::timeout, this, &FullScreenHint::hide);
    hide();
}

void FullScreenHint::flash()
{
    place();
    show();
    raise();
    m_timer.start();
}

void FullScreenHint::dismiss()
{
    m_timer.stop();
    hide();
}

void FullScreenHint::place()
{
    adjustSize();
    const QWidget *p = parentWidget();
    move((p->width() - width()) / 2, 12);
}

} // namespace lumora
