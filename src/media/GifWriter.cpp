#include "GifWriter.h"

#include <QFile>

#include <unordered_map>

namespace tessaly {

namespace {

// LZW codes packed least significant bit first, in sub-blocks of at most 255 bytes.
class CodeWriter {
public:
    void write(int code, int size)
    {
        m_acc |= quint32(code) << m_bits;
        m_bits += size;
        while (m_bits >= 8) {
            m_bytes.append(char(m_acc & 0xFF));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bits > 0)
            m_bytes.append(char(m_acc & 0xFF));
        QByteArray blocks;
        for (int i = 0; i < m_bytes.size(); i += 255) {
            const QByteArray part = m_bytes.mid(i, 255);
            blocks.append(char(part.size()));
            blocks.append(part);
        }
        blocks.append('\0');
        return blocks;
    }

private:
    QByteArray m_bytes;
    quint32 m_acc = 0;
    int m_bits = 0;
};

void put16(QByteArray &out, int v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

}  // namespace

bool WriteGif(const QImage &source, const QString &path)
{
    const QImage image = source.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
    if (image.isNull() || image.width() > 0xFFFF || image.height() > 0xFFFF)
        return false;
    QVector<QRgb> palette = image.colorTable();
    palette.resize(256);

    QByteArray out("GIF89a");
    put16(out, image.width());
    put16(out, image.height());
    out.append(char(0xF7));  // global colour table of 256 entries
    out.append('\0');
    out.append('\0');
    for (QRgb c : palette) {
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    out.append(char(0x2C));
    put16(out, 0);
    put16(out, 0);
    put16(out, image.width());
    put16(out, image.height());
    out.append('\0');

    const int minCodeSize = 8;
    const int clearCode = 1 << minCodeSize;
    out.append(char(minCodeSize));
    CodeWriter codes;
    std::unordered_map<quint32, int> table;
    int codeSize = minCodeSize + 1;
    int maxCode = clearCode + 1;
    codes.write(clearCode, codeSize);
    int current = -1;
    for (int y = 0; y < image.height(); ++y) {
        const uchar *row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const int k = row[x];
            if (current < 0) {
                current = k;
                continue;
            }
            const quint32 key = (quint32(current) << 8) | quint32(k);
            const auto it = table.find(key);
            if (it != table.end()) {
                current = it->second;
                continue;
            }
            codes.write(current, codeSize);
            table.emplace(key, ++maxCode);
            if (maxCode >= (1 << codeSize))
                ++codeSize;
            if (maxCode == 4095) {
                codes.write(clearCode, codeSize);
                table.clear();
                codeSize = minCodeSize + 1;
                maxCode = clearCode + 1;
            }
            current = k;
        }
    }
    if (current >= 0)
        codes.write(current, codeSize);
    codes.write(clearCode + 1, codeSize);
    out.append(codes.finish());
    out.append(char(0x3B));

    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(out) == out.size();
}

}  // namespace tessaly
