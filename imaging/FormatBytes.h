#pragma once

#include <QByteArray>

// Bounds-checked little-endian reads for header sniffing; out of range reads 0.
namespace lumora::imaging::bytes
{

inline quint8 u8(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset >= data.size())
        return 0;
    return quint8(data.at(offset));
}

inline quint16 le16(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset + 2 > data.size())
        return 0;
    return quint16(u8(data, offset) | (u8(data, offset + 1) << 8));
}

inline quint32 le32(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset + 4 > data.size())
        return 0;
    return quint32(le16(data, offset)) | (quint32(le16(data, offset + 2)) << 16);
}

inline qint32 les32(const QByteArray &data, qsizetype offset)
{
    return qint32(le32(data, offset));
}

} // namespace lumora::imaging::bytes
