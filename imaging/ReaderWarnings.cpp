#include "imaging/ReaderWarnings.h"

#include "imaging/DecodeSupport.h"

#include <mutex>

namespace lumora::imaging::support
{

namespace
{

thread_local ReaderWarnings *t_current = nullptr;
QtMessageHandler g_previous = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (t_current && type == QtWarningMsg)
        t_current->add(message);
    // Qt hands back its default handler when none was installed.
    if (g_previous)
        g_previous(type, context, message);
}

void installOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { g_previous = qInstallMessageHandler(collect); });
}

} // namespace

ReaderWarnings::ReaderWarnings() : m_outer(t_current)
{
    installOnce();
    t_current = this;
}

ReaderWarnings::~ReaderWarnings()
{
    t_current = m_outer;
    if (m_outer)
        for (const QString &m : m_messages)
            m_outer->add(m);
}

QString damageFromWarnings(const QStringList &messages)
{
    bool corrupt = false;
    for (const QString &m : messages) {
        // libjpeg: JWRN_JPEG_EOF; libpng and giflib say much the same.
        if (m.contains(QLatin1String("Premature end"), Qt::CaseInsensitive) ||
            m.contains(QLatin1String("unexpected end"), Qt::CaseInsensitive) ||
            m.contains(QLatin1String("Not enough image data"), Qt::CaseInsensitive) ||
            m.contains(QLatin1String("Read Error"), Qt::CaseInsensitive))
            return truncatedDamage();
        // libjpeg's "Corrupt JPEG data: ..." family, libpng's CRC errors.
        if (m.contains(QLatin1String("Corrupt"), Qt::CaseInsensitive) ||
            m.contains(QLatin1String("CRC error"), Qt::CaseInsensitive) ||
            m.contains(QLatin1String("bad Huffman"), Qt::CaseInsensitive))
            corrupt = true;
    }
    return corrupt ? corruptDataDamage() : QString();
}

} // namespace lumora::imaging::support
