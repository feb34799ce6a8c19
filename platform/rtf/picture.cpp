#include "picture.h"

#include "bounds.h"
#include "tokenizer.h"

#include <QBuffer>
#include <QColor>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace rtf {

namespace {

QImage decodeImage(const QByteArray &bytes, const char *format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return QImage();
    // Compressed data rarely stands for more than a couple of thousand
    // pixels a byte: a header claiming more is not believed in full.
    const qint64 pixels = qint64(size.width()) * size.height();
    const qint64 allowed = std::min(kMaxPixels, std::max<qint64>(4LL << 20, qint64(bytes.size()) * 2048));
    if (pixels > allowed) {
        if (qstrcmp(format, "jpeg") != 0)
            return QImage();
        const double f = std::sqrt(double(allowed) / double(pixels));
        reader.setScaledSize(QSize(std::max(1, int(size.width() * f)), std::max(1, int(size.height() * f))));
    }
    QImage image;
    if (!reader.read(&image))
        return QImage();
    return image;
}

// A device-independent bitmap: a BITMAPINFO and the bits. Checked against
// the data it holds, then handed to the BMP decoder behind a file header.
QImage decodeDib(const QByteArray &d)
{
    auto u16 = [&](int o) { return quint32(uchar(d[o])) | quint32(uchar(d[o + 1])) << 8; };
    auto u32 = [&](int o) { return u16(o) | u16(o + 2) << 16; };
    if (d.size() < 12)
        return QImage();
    const quint32 headerSize = u32(0);
    qint64 w, h, bpp, compression = 0, colorsUsed = 0;
    int paletteEntry = 4;
    if (headerSize == 12) {
        w = u16(4);
        h = qint16(u16(6));
        bpp = u16(10);
        paletteEntry = 3;
    } else if (headerSize >= 40 && headerSize <= 256 && d.size() >= qsizetype(headerSize)) {
        w = qint32(u32(4));
        h = qint32(u32(8));
        bpp = u16(14);
        compression = u32(16);
        colorsUsed = u32(32);
    } else {
        return QImage();
    }
    h = h < 0 ? -h : h;
    if (w <= 0 || h <= 0 || w * h > kMaxPixels)
        return QImage();
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return QImage();
    qint64 palette = 0;
    if (bpp <= 8)
        palette = colorsUsed > 0 && colorsUsed <= (1 << bpp) ? colorsUsed : (1 << bpp);
    qint64 offset = headerSize + palette * paletteEntry;
    if (compression == 3 && headerSize == 40)
        offset += 12;
    if (compression == 0 || compression == 3) {
        const qint64 stride = ((w * bpp + 31) / 32) * 4;
        if (offset + stride * h > d.size())
            return QImage();
    } else if (offset >= d.size()) {
        return QImage();
    }
    QByteArray file;
    file.reserve(14 + d.size());
    const qint64 fileSize = 14 + d.size();
    auto put32 = [&](quint32 v) {
        for (int k = 0; k < 4; ++k)
            file.append(char((v >> (8 * k)) & 0xFF));
    };
    file.append("BM", 2);
    put32(quint32(fileSize));
    put32(0);
    put32(quint32(14 + offset));
    file.append(d);
    return decodeImage(file, "bmp");
}

}  // namespace

void PictureReader::begin(bool alt)
{
    *this = PictureReader();
    alternative = alt;
}

void PictureReader::word(Kw kw, int param, bool hasParam)
{
    switch (kw) {
    case K_pngblip: format = Png; return;
    case K_jpegblip: format = Jpeg; return;
    case K_dibitmap: format = Dib; return;
    case K_wbitmap: format = Wbitmap; return;
    case K_wmetafile: case K_emfblip: case K_macpict: case K_pmmetafile: format = Meta; return;
    case K_picw: picw = param; return;
    case K_pich: pich = param; return;
    case K_picwgoal: goalw = param; return;
    case K_pichgoal: goalh = param; return;
    case K_picscalex: scalex = hasParam ? param : 100; return;
    case K_picscaley: scaley = hasParam ? param : 100; return;
    case K_wbmbitspixel: bpp = param; return;
    case K_wbmwidthbytes: widthBytes = param; return;
    default: return;
    }
}

void PictureReader::hexText(const char *begin, const char *end)
{
    for (const char *q = begin; q < end; ++q) {
        const int h = hexValue(uchar(*q));
        if (h < 0)
            continue;
        if (nibble < 0) {
            nibble = h;
        } else {
            bytes.append(char(nibble << 4 | h));
            nibble = -1;
        }
    }
}

QImage PictureReader::decode() const
{
    switch (format) {
    case Png: return decodeImage(bytes, "png");
    case Jpeg: return decodeImage(bytes, "jpeg");
    case Dib: return decodeDib(bytes);
    case Wbitmap: return decodeWbitmap();
    default: return QImage();
    }
}

// A device-dependent bitmap: bare rows of pixels described by \picw,
// \pich, \wbmbitspixel and \wbmwidthbytes.
QImage PictureReader::decodeWbitmap() const
{
    const qint64 w = picw, h = pich;
    if (w <= 0 || h <= 0 || w * h > kMaxPixels)
        return QImage();
    QImage::Format imageFormat;
    switch (bpp) {
    case 1: imageFormat = QImage::Format_Mono; break;
    case 8: imageFormat = QImage::Format_Grayscale8; break;
    case 24: imageFormat = QImage::Format_BGR888; break;
    case 32: imageFormat = QImage::Format_RGB32; break;
    default: return QImage();
    }
    const qint64 rowBytes = (w * bpp + 7) / 8;
    const qint64 stride = widthBytes >= rowBytes ? widthBytes : ((rowBytes + 1) / 2) * 2;
    if (stride * h > bytes.size())
        return QImage();
    QImage image(int(w), int(h), imageFormat);
    if (image.isNull())
        return QImage();
    if (imageFormat == QImage::Format_Mono)
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (qint64 y = 0; y < h; ++y)
        memcpy(image.scanLine(int(y)), bytes.constData() + y * stride, size_t(rowBytes));
    return image;
}

DecodedPicture PictureReader::finish()
{
    DecodedPicture out;
    out.alternative = alternative;
    out.image = decode();
    if (format == Jpeg && !out.image.isNull())
        out.jpeg = bytes;
    // Natural size in pixels, then the goal size and scaling.
    double w = 0, h = 0;
    if (!out.image.isNull()) {
        w = out.image.width();
        h = out.image.height();
    } else if (format == Meta) {
        w = picw * 96.0 / 2540.0;
        h = pich * 96.0 / 2540.0;
    } else {
        w = picw;
        h = pich;
    }
    if (goalw > 0)
        w = goalw / 15.0;
    if (goalh > 0)
        h = goalh / 15.0;
    if (scalex > 0 && scalex != 100)
        w = w * scalex / 100.0;
    if (scaley > 0 && scaley != 100)
        h = h * scaley / 100.0;
    if (!(w >= 1))
        w = 32;
    if (!(h >= 1))
        h = 32;
    out.width = std::min(w, kMaxPictureSide);
    out.height = std::min(h, kMaxPictureSide);
    *this = PictureReader();
    return out;
}

const QImage &PictureReader::placeholder()
{
    static const QImage image = [] {
        QImage box(32, 32, QImage::Format_RGB32);
        box.fill(QColor(0xE8, 0xE8, 0xE8));
        QPainter painter(&box);
        painter.setPen(QColor(0x80, 0x80, 0x80));
        painter.drawRect(0, 0, 31, 31);
        painter.drawLine(0, 0, 31, 31);
        painter.drawLine(0, 31, 31, 0);
        return box;
    }();
    return image;
}

}  // namespace rtf
