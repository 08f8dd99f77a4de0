#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace lumora::test
{

// A throw-away folder with helpers to lay out files in it.
class TempDir
{
public:
    TempDir() { m_dir.setAutoRemove(true); }
    QString path() const { return m_dir.path(); }
    QString file(const QString &rel) const { return m_dir.path() + QLatin1Char('/') + rel; }
    QString mkdir(const QString &rel) const
    {
        QDir(m_dir.path()).mkpath(rel);
        return file(rel);
    }
    QString write(const QString &rel, const QByteArray &bytes = QByteArray("x")) const
    {
        const QString p = file(rel);
        QDir().mkpath(p.section(QLatin1Char('/'), 0, -2));
        QFile f(p);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return p;
    }

private:
    QTemporaryDir m_dir;
};

} // namespace lumora::test
