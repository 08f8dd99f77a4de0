#pragma once

#include <QString>
#include <QStringList>

namespace lumora::imaging::support
{

// Collects the warnings image libraries print through Qt's log on this
// thread while it lives ("Premature end of JPEG file" and the like): Qt's
// readers return the part of a damaged picture they could decode as a
// success, and their warnings are the only word that it is damaged. Every
// message still goes on to whatever handler was installed before.
class ReaderWarnings
{
public:
    ReaderWarnings();
    ~ReaderWarnings();
    ReaderWarnings(const ReaderWarnings &) = delete;
    ReaderWarnings &operator=(const ReaderWarnings &) = delete;

    const QStringList &messages() const { return m_messages; }
    void add(const QString &message) { m_messages << message; }

private:
    QStringList m_messages;
    ReaderWarnings *m_outer;
};

// The short damage reason those warnings amount to; empty when none of
// them says the data is cut short or corrupt.
QString damageFromWarnings(const QStringList &messages);

} // namespace lumora::imaging::support
