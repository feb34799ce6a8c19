// The toolbar: the dispatch of its buttons, its own open, save and end, and
// the bullets, line numbering and picture commands only it offers. Its other
// buttons run the menus' commands; its formatting keys toggle as the Option
// menu does but leave changed to the control's Change.
#include "frmeditor.h"

#include "longwork.h"

#include "dialoghost.h"
#include "runtime.h"

#include <QImageReader>

#include <algorithm>
#include <stdexcept>

using platform::RichTextBox;

namespace {

const QString kImageRetrieveError = QStringLiteral("Image Retrieve Error");

// Every kind of picture Insert Image takes, bitmaps first: all of them
// together, then one kind at a time.
QString pictureFilter()
{
    // One kind under several suffixes is listed once.
    const auto kindOf = [](const QString &suffix) {
        if (suffix == QLatin1String("jpg"))
            return QStringLiteral("jpeg");
        if (suffix == QLatin1String("tif"))
            return QStringLiteral("tiff");
        if (suffix == QLatin1String("svgz"))
            return QStringLiteral("svg");
        return suffix;
    };
    QStringList suffixes;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        suffixes << QString::fromLatin1(format).toLower();
    suffixes.removeDuplicates();
    std::sort(suffixes.begin(), suffixes.end(), [&kindOf](const QString &a, const QString &b) {
        const auto key = [&kindOf](const QString &s) { return std::pair(kindOf(s) != QLatin1String("bmp"), kindOf(s)); };
        return key(a) < key(b) || (key(a) == key(b) && a < b);
    });
    QStringList all;
    QStringList kinds;
    QString previous;
    for (const QString &suffix : suffixes) {
        all << QStringLiteral("*.") + suffix;
        const QString kind = kindOf(suffix);
        if (kind == QLatin1String("bmp"))
            kinds << QStringLiteral("bitmap (*.bmp)|*.bmp");
        else if (kind == previous)
            kinds.last() += QStringLiteral(";*.") + suffix;
        else
            kinds << kind.toUpper() + QStringLiteral("|*.") + suffix;
        previous = kind;
    }
    return QStringLiteral("Pictures|") + all.join(u';') + u'|' + kinds.join(u'|');
}

}  // namespace

void frmeditor::Toolbar1_ButtonClick(platform::ToolbarButton *Button)
{
    if (!Button)
        return;
    // One command a key; keys are exact and case-sensitive.
    struct Command {
        const char *key;
        void (*run)(frmeditor &);
    };
    static const Command kCommands[] = {
        {"open", [](frmeditor &w) { w.toolbarOpen(); }},
        {"save", [](frmeditor &w) { w.toolbarSave(); }},
        {"print", [](frmeditor &w) { w.mnu_print_Click(); }},
        {"bold", [](frmeditor &w) { w.toggleSelection(&RichTextBox::SelBold, &RichTextBox::setSelBold); }},
        {"italics", [](frmeditor &w) { w.toggleSelection(&RichTextBox::SelItalic, &RichTextBox::setSelItalic); }},
        {"under", [](frmeditor &w) { w.toggleSelection(&RichTextBox::SelUnderline, &RichTextBox::setSelUnderline); }},
        {"strike", [](frmeditor &w) { w.toggleSelection(&RichTextBox::SelStrikeThru, &RichTextBox::setSelStrikeThru); }},
        {"clour", [](frmeditor &w) { w.mnu_clour_Click(); }},
        {"cut", [](frmeditor &w) { w.mnucut_Click(); }},
        {"copy", [](frmeditor &w) { w.mnucopy_Click(); }},
        {"paste", [](frmeditor &w) { w.mnupaste_Click(); }},
        {"bullet", [](frmeditor &w) { w.toolbarBullet(); }},
        {"num", [](frmeditor &w) { w.toolbarNumbering(); }},
        {"image", [](frmeditor &w) { w.toolbarImage(); }},
        {"end", [](frmeditor &w) { w.toolbarEnd(); }},
    };
    for (const Command &command : kCommands) {
        if (Button->Key == QLatin1String(command.key)) {
            command.run(*this);
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Open, Save and End

void frmeditor::toolbarOpen()
{
    RichTextBox *box = activeEditor();
    if (!box || !openDocument(box))
        return;
    // The font boxes follow through the key-up procedure alone, which a
    // pending skip swallows.
    box->setFocus();
    refreshFontBoxes();
}

void frmeditor::toolbarSave()
{
    QString path = curfile;
    if (path.isEmpty() && !nameUntitledDocument(path))
        return;
    RichTextBox *box = activeEditor();
    // The wrapped view writes as Save As does: a line end after the document.
    const bool wrapped = box == tmpeditor;
    if (!box || !saveInFormat(box, path, wrapped))
        return;
    if (!wrapped)
        editor->setFocus();
}

void frmeditor::toolbarEnd()
{
    if (letGoOfChanges(saveFirstQuestion()))
        close();
}

// ---------------------------------------------------------------------------
// Bullets, numbering, pictures

void frmeditor::toolbarBullet()
{
    if (RichTextBox *e = activeEditor()) {
        const std::optional<bool> on = e->SelBullet();
        e->setSelBullet(!(on && *on));
    }
}

QString frmeditor::numberedText(const QString &text)
{
    // Every line gets "n. " in front, counting from 1, until the rest of the
    // text after a line end holds nothing but blanks and at most one more
    // line end: that rest stays as it is. A line end is appended first, so
    // the text always ends with one. (The same result as rewriting the text
    // once per line, built in one pass.)
    QString src = text;
    src += QLatin1String("\r\n");
    const qsizetype n = src.size();
    // The rest from p on, blanks trimmed, is empty or CR LF exactly when p
    // lies in [stopFrom, n - 2] or p >= n.
    qsizetype stopFrom = n - 2;
    while (stopFrom > 0 && src.at(stopFrom - 1) == u' ')
        --stopFrom;
    const auto restIsBlank = [&](qsizetype p) { return (p >= stopFrom && p <= n - 2) || p >= n; };

    QString out;
    out.reserve(n + n / 2 + 16);
    out += QLatin1String("1. ");
    qint64 counter = 2;
    qsizetype i = 0;
    qsizetype copied = 0;  // src[copied, i) still to be copied
    for (; i < n; ++i) {
        if (src.at(i) != u'\r')
            continue;
        out += QStringView(src).mid(copied, i - copied);
        if (restIsBlank(i + 2)) {
            copied = i;
            break;
        }
        out += QLatin1String("\r\n");
        out += QString::number(counter++);
        out += QLatin1String(". ");
        // What followed the CR (its LF) is replaced by the new line end.
        copied = std::min(i + 2, n);
        ++i;
    }
    out += QStringView(src).mid(copied);
    return out;
}

void frmeditor::toolbarNumbering()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    const int before = changed;
    platform::LongWork work(StatusBar1, platform::LongWork::MayCancel);
    // Each pass over a large text takes a while: the window lives between.
    QString numbered;
    {
        const QString text = e->Text();
        if (!work.update(0, 1))
            return;
        numbered = numberedText(text);
    }
    if (!work.update(0, 1))
        return;
    // Back as plain text, as one step Undo takes back: paragraphs at the
    // line ends, line breaks kept; pictures do not come back, nor their
    // placeholders. Escape while it goes in leaves the document as it was.
    numbered.remove(QChar::ObjectReplacementCharacter);
    if (!e->replaceText(numbered, work.progress()))
        changed = before;
}

void frmeditor::toolbarImage()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    // The first key or click after the dialog is swallowed.
    skipevent = 1;
    // The picture dialog has its own filter and starts from the picture
    // chosen last; the document dialogs go on from where they were.
    const QString documentName = CMDialog1->FileName;
    CMDialog1->Filter = pictureFilter();
    CMDialog1->startFrom(m_lastPicture);
    CMDialog1->ShowOpen();
    const QString picture = CMDialog1->FileName;
    CMDialog1->startFrom(documentName);
    if (picture.isEmpty())
        return;   // cancelled
    m_lastPicture = picture;
    try {
        e->OLEObjects.Add(picture);
    } catch (const std::exception &error) {   // no such file, not a picture, too large
        platform::MsgBoxFailure(kImageRetrieveError, picture, QString::fromUtf8(error.what()));
        return;
    }
    show();
    raise();
    activateWindow();
}
