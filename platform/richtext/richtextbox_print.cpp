// Printing the rich-text box.
#include "richtextbox.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QUrl>

#include <memory>
#include <stdexcept>

namespace platform {

// Lays out a copy of the selection, or of the whole content when nothing is
// selected, on the printer's page and prints it page by page, formatting and
// pictures included. Throws std::runtime_error when the printer cannot be
// opened or refuses a page.
void RichTextBox::SelPrint(QPrinter *printer)
{
    if (!printer)
        throw std::runtime_error("no printer");
    QTextDocument *source = document();
    auto copy = std::make_unique<QTextDocument>(source);
    copy->setUndoRedoEnabled(false);
    copy->setDefaultFont(source->defaultFont());
    // On paper a right-to-left paragraph starts at the right edge, whatever
    // the view does where lines run on past the window.
    QTextOption option = source->defaultTextOption();
    option.setAlignment(Qt::AlignLeft);
    copy->setDefaultTextOption(option);
    copy->setUseDesignMetrics(source->useDesignMetrics());
    copy->setIndentWidth(source->indentWidth());
    const QTextCursor selection = textCursor();
    QTextCursor(copy.get()).insertFragment(selection.hasSelection() ? selection.selection()
                                                                    : QTextDocumentFragment(source));
    // Pictures are resources of the source document: the copy gets its own.
    for (QTextBlock block = copy->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            const QUrl name(format.toImageFormat().name());
            const QVariant picture = source->resource(QTextDocument::ImageResource, name);
            if (picture.isValid())
                copy->addResource(QTextDocument::ImageResource, name, picture);
        }
    }

    QPainter painter;
    if (!painter.begin(printer))
        throw std::runtime_error("the printer cannot be opened");

    QAbstractTextDocumentLayout *layout = copy->documentLayout();
    layout->setPaintDevice(printer);
    // Objects drawn by handlers of the control's own layout are drawn the
    // same way on paper.
    for (int type = QTextFormat::UserObject; type < QTextFormat::UserObject + 16; ++type)
        if (QTextObjectInterface *handler = source->documentLayout()->handlerForObject(type))
            layout->registerHandler(type, dynamic_cast<QObject *>(handler));
    // The page set-up's margins are the printer's; the text fills the rest.
    QTextFrameFormat frame = copy->rootFrame()->frameFormat();
    frame.setMargin(0);
    frame.setPadding(0);
    copy->rootFrame()->setFrameFormat(frame);
    const QRectF page = printer->pageLayout().paintRectPixels(printer->resolution());
    const QSizeF body(page.width(), page.height());
    if (body.width() <= 0 || body.height() <= 0) {
        painter.end();
        throw std::runtime_error("no room on the page");
    }
    copy->setPageSize(body);

    const int pages = std::max(1, copy->pageCount());
    const int copies = printer->supportsMultipleCopies() ? 1 : std::max(1, printer->copyCount());
    bool first = true;
    for (int c = 0; c < copies; ++c) {
        for (int i = 0; i < pages; ++i) {
            if (!first && !printer->newPage()) {
                painter.end();
                throw std::runtime_error("the printer refused a page");
            }
            first = false;
            painter.save();
            const QRectF view(0, i * body.height(), body.width(), body.height());
            painter.translate(0, -view.top());
            painter.setClipRect(view);
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = view;
            context.palette.setColor(QPalette::Text, Qt::black);
            layout->draw(&painter, context);
            painter.restore();
        }
    }
    if (!painter.end())
        throw std::runtime_error("the print job failed");
}

}  // namespace platform
