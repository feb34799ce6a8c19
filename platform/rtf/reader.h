#pragma once
// The RTF reader: the tokenizer's listener. It keeps a state for each open
// group, sends each token to the destination the group reads (the body, a
// header table, a picture, a field instruction) and decodes text in the
// code page of its font. The tokens, groups and text are read in reader.cpp,
// the body's words in reader_body.cpp, fields, drawing objects and kept
// groups in reader_kept.cpp.
#include "builder.h"
#include "codepages.h"
#include "picture.h"
#include "properties.h"
#include "tables.h"
#include "tokenizer.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class QTextDocument;

namespace rtf {

class Reader final
{
public:
    Reader(const QByteArray &data, QTextDocument *doc);
    void run();
    // Told how far the reading is every few thousand tokens; the reading
    // stops when it answers false (completed() is then false).
    using Progress = std::function<bool(qint64 done, qint64 total)>;
    void setProgress(const Progress *progress) { this->progress = progress; }
    bool completed() const { return !stopped; }

    // ---- the tokens -------------------------------------------------------
    void groupOpen();
    void groupClose();
    void word(Kw kw, int param, bool hasParam, bool starred);
    void symbol(char c);

    void hexByte(uchar b) { textByte(b); }

    void binary(const char *data, qint64 size);
    void text(const char *begin, const char *end);
    void byte(uchar b);

private:
    State &state() { return groups.top(); }
    // Counts tokens and tells the progress every few thousand.
    void tick()
    {
        if (progress && --untilLook <= 0)
            look();
    }
    void look();
    const Progress *progress = nullptr;
    int untilLook = 0;
    bool stopped = false;
    const char *dataBegin;
    qint64 dataSize;

    // ---- groups -----------------------------------------------------------
    bool readsStarred(Kw kw);
    bool openDestination(Kw kw);
    bool openInBody(Kw kw);
    void unread(Kw kw, bool starred);
    void skipGroup();
    static bool keepsSkipped(Kw kw);

    // ---- fields -------------------------------------------------------------
    // A field the document cannot show as a link keeps its instruction: the
    // result is shown between the field's bytes up to \\fldrslt and its
    // closing braces. One without any result is kept whole.
    struct OpenField {
        qint64 depth;
        const char *open;  // its '{', null when it cannot be kept as read
        qint64 shownBefore;  // what the builder had shown when it began
        bool result = false, spanning = false;
    };

    void beginField();
    void fieldResult(bool keepAround);
    void endField();

    // ---- drawing objects ------------------------------------------------------
    void beginShape();
    void endShape();
    void dropField();
    void saveKeptTables();
    void keepGroup(Kw kw, bool starred);
    void endDestination(const State &popped);
    void startPicture(bool alternative);
    int finishField();

    // ---- the body ---------------------------------------------------------
    void bodyWord(Kw kw, int param, bool hasParam);
    void keepPageSetting();
    void keepBackground();
    void endParagraph(const QByteArray &breakWord = QByteArray());
    void endCell(bool nested);

    // ---- text -------------------------------------------------------------
    bool unicodeWord(Kw kw, int param);
    void unicode(int value);
    void textByte(uchar b);
    void textChar(char16_t c);

    template <typename Text>
    void bodyText(const Text &text);
    int currentCp();

    Tokenizer<Reader> tokens;

    GroupStack groups;

    DocumentTables tables;

    // Decoding text.
    codepage::ByteDecoder decoder;
    char16_t highSurrogate = 0;  // the first half of a \u pair, in the body

    std::vector<OpenField> fields;
    qint64 shapeDepth = 0;  // of the shape being read, 0 for none
    QByteArray shapeObject;
    QByteArray shapeProperty;  // the name of the property being read
    DecodedPicture shapePicture;
    bool pictureOfShape = false;

    // Sections and footnotes.
    bool sectionBroke = false;  // since the last \\sect, no paragraph has ended
    bool sectionsEnded = false;  // the first section has
    QByteArray pageSettings;
    QByteArray background;  // the page background's group
    const char *styleSheetOpen = nullptr;  // its '{', when it can be kept
    bool styleSheetSeen = false;
    QByteArray styleSheet;
    int footnoteMarks = 0;

    // Destinations being read.
    QString fieldInst;
    PictureReader picture;

    DocumentBuilder builder;
};

}  // namespace rtf
