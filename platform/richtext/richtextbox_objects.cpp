// Objects embedded in the rich-text box: pictures read from files.
#include "richtextbox.h"

#include "drivemapping.h"
#include "rtf/rtf.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>
#include <QUuid>

#include <stdexcept>

namespace platform {

namespace {

// The largest picture taken, in bytes of decoded image: the same ceiling
// Qt's image reader puts on one allocation.
qint64 pictureByteLimit()
{
    const int mb = QImageReader::allocationLimit();
    return mb > 0 ? qint64(mb) * 1024 * 1024 : qint64(256) * 1024 * 1024;
}

}  // namespace

void RichTextBox::ObjectCollection::Add(const QString &sourceFile)
{
    if (sourceFile.isEmpty())
        throw std::runtime_error("no file name");
    const QString path = mapDrivePath(sourceFile);
    const QFileInfo info(path);
    if (!info.isFile())
        throw std::runtime_error("no such file");

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot open the file");
    // Any picture format Qt reads, told by its content, not its name.
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    if (format.isEmpty())
        throw std::runtime_error("not a picture");
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() * 4 > pictureByteLimit())
        throw std::runtime_error("picture too large");
    QImage image = reader.read();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        throw std::runtime_error("cannot read the picture");
    if (image.sizeInBytes() > pictureByteLimit())
        throw std::runtime_error("picture too large");

    QTextDocument *doc = m_box->document();
    const QString name = QStringLiteral("embedded-picture:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    doc->addResource(QTextDocument::ImageResource, QUrl(name), image);
    // A JPEG is kept as it came, so that saving does not re-encode it.
    if (format == "jpeg" && reader.transformation() == QImageIOHandler::TransformationNone) {
        if (file.seek(0)) {
            const QByteArray bytes = file.readAll();
            if (bytes.startsWith("\xFF\xD8"))
                doc->addResource(QTextDocument::UserResource, rtf::jpegSourceUrl(name), bytes);
        }
    }

    // Natural size: one picture pixel to a pixel at 96 dpi. The picture
    // carries the look of the text where it goes, which text typed after it
    // then takes.
    QTextCursor c = m_box->textCursor();
    const QTextCharFormat text = c.charFormat();
    QTextImageFormat f;
    for (const int id : {int(QTextFormat::FontFamilies), int(QTextFormat::FontFamily), int(QTextFormat::FontPointSize),
                         int(QTextFormat::FontWeight), int(QTextFormat::FontItalic), int(QTextFormat::FontUnderline),
                         int(QTextFormat::TextUnderlineStyle), int(QTextFormat::FontStrikeOut),
                         int(QTextFormat::ForegroundBrush)}) {
        if (text.hasProperty(id))
            f.setProperty(id, text.property(id));
    }
    f.setName(name);
    f.setWidth(image.width());
    f.setHeight(image.height());
    c.insertImage(f);
    m_box->setTextCursor(c);
}

}  // namespace platform
