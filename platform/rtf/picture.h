#pragma once
// A \pict group: its words and data as they are read, then the decoded
// image and the size it is shown at.
#include "keywords.h"

#include <QByteArray>
#include <QImage>

namespace rtf {

struct DecodedPicture {
    QImage image;     // null when the data could not be decoded
    QByteArray jpeg;  // the original bytes of a JPEG picture
    double width = 0, height = 0;  // displayed pixels
    bool alternative = false;  // from \nonshppict, in place of a picture shown as a box
};

class PictureReader
{
public:
    void begin(bool alternative);
    void word(Kw kw, int param, bool hasParam);
    void hexText(const char *begin, const char *end);  // hex digits; anything else is passed over
    void binary(const char *data, qint64 size) { bytes.append(data, size); }
    DecodedPicture finish();

    // The box shown in place of a picture that cannot be decoded.
    static const QImage &placeholder();

private:
    enum Format : quint8 { None, Png, Jpeg, Dib, Wbitmap, Meta };
    QImage decode() const;
    QImage decodeWbitmap() const;

    Format format = None;
    int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    int bpp = 1, widthBytes = 0;
    QByteArray bytes;
    int nibble = -1;  // the first digit of a byte, -1 between bytes
    bool alternative = false;
};

}  // namespace rtf
