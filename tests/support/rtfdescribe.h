#pragma once
// A readable account of a document (one line per paragraph, its format, list
// and runs of equal character format) and random documents to round-trip.
// Two documents that describe alike hold the same content.
#include <QImage>
#include <QRandomGenerator>
#include <QString>
#include <QTextDocument>

#include <memory>

namespace rtftest {

QString describe(const QTextDocument *doc);
QString plainText(const QTextDocument *doc);
// portable: only what other word processors read back as written.
std::unique_ptr<QTextDocument> randomDocument(QRandomGenerator &rng, bool portable);
// A picture of random pixels, the same for the same seed.
QImage randomImage(int w, int h, quint32 seed);

}  // namespace rtftest
