// SPDX-License-Identifier: MIT
#include "firmwarefiles.h"

#include <QFile>

namespace firmwarefiles {

const QByteArray kHexEnd = ":00000001FF";
const QByteArray kBitPreamble = QByteArray::fromHex("00090FF00FF00FF00FF0000001");

QByteArray hexRecord(int type, unsigned address, const QByteArray& data)
{
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char((address >> 8) & 0xFF));
    bytes.append(char(address & 0xFF));
    bytes.append(char(type));
    bytes.append(data);
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    bytes.append(char((0x100 - (sum & 0xFF)) & 0xFF));
    return ":" + bytes.toHex().toUpper();
}

QByteArray intelHex(const QMap<unsigned, QByteArray>& chunks, const QByteArray& lineEnd)
{
    QByteArray text;
    for (auto it = chunks.begin(); it != chunks.end(); ++it)
        for (int i = 0; i < it.value().size(); i += 16)
            text += hexRecord(0, it.key() + unsigned(i), it.value().mid(i, 16)) + lineEnd;
    return text + kHexEnd + lineEnd;
}

QByteArray bigEndian(quint64 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

QByteArray bitField(char key, const QByteArray& text)
{
    return key + bigEndian(quint64(text.size() + 1), 2) + text + '\0';
}

QByteArray bitFile(const QByteArray& part, int bits, const QByteArray& design)
{
    QByteArray stream = QByteArray::fromHex("FFFFFFFFAA995566");
    stream.reserve(bits);
    while (stream.size() < bits)
        stream.append(char(stream.size() & 0xFF));
    stream.truncate(bits);
    return kBitPreamble + bitField('a', design + ";UserID=0xFFFFFFFF") + bitField('b', part)
           + bitField('c', "2011/05/27") + bitField('d', "14:38:41") + 'e' + bigEndian(quint64(bits), 4) + stream;
}

QString writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace firmwarefiles
