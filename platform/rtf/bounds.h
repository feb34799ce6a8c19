#pragma once
// Limits that keep hostile files in proportion. Real documents stay far
// below each of them.
#include <QtGlobal>

namespace rtf {

constexpr int kMaxDepth = 1000;        // groups kept as states; deeper ones are only counted
constexpr int kMaxTabs = 16;           // tab stops per paragraph
constexpr int kMaxColumns = 64;        // table columns
constexpr int kMaxColumnTwips = 31680;  // a column: the widest page, 22 inches
// Tables nested in a cell; deeper rows go into the deepest one. Qt lays a
// nested table out again for each pass over the one around it.
constexpr int kMaxTableDepth = 4;
constexpr int kMaxFonts = 8192;
constexpr int kMaxColors = 8192;
constexpr int kMaxStyles = 4096;       // also lists and list overrides
constexpr int kMaxStyleWords = 64;
constexpr int kMaxStyleChain = 16;
constexpr int kMaxUc = 16;
// QTextDocument spends about 2.5 us and 100 bytes on each block. A paragraph
// with text in it is in proportion to the file; past this many empty ones,
// further empty paragraphs become line breaks inside the last paragraph.
constexpr qint64 kMaxBlocks = 100000;
constexpr qint64 kMaxPixels = 8192LL * 8192;   // 256 MB of ARGB, as QImageReader allows
constexpr double kMaxPictureSide = 20000;     // displayed pixels
constexpr int kMaxTwips = 31680;               // 22 inches: the widest page, indent or spacing
constexpr int kMaxPictureUnits = 1000000;      // \picw, \pich: pixels or 0.01 mm

}  // namespace rtf
