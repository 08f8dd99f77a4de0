#pragma once

#include <QByteArray>
#include <QtEndian>

// Bounds-checked little-endian reads for header sniffing; out of range reads 0.
namespace lumora::imaging::bytes {

inline quint16 le16(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset + 2 > data.size())
        return 0;
    return qFromLittleEndian<quint16>(data.constData() + offset);
}

inline quint32 le32(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset + 4 > data.size())
        return 0;
    return qFromLittleEndian<quint32>(data.constData() + offset);
}

inline qint32 les32(const QByteArray &data, qsizetype offset)
{
    return qint32(le32(data, offset));
}

inline quint8 u8(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset >= data.size())
        return 0;
    return quint8(data[offset]);
}

} // namespace lumora::imaging::bytes
