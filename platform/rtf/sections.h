#pragma once
// Sections after the first: a section break (\sect) is kept with the words
// and header and footer groups that set the new section up, as read, on the
// first paragraph of the section (kept::Section), and written back before
// that paragraph. The first section's page settings are the document's
// (kept::Tables::settings); its headers and footers go before its first
// paragraph the same way.
#include "keywords.h"

namespace rtf {

// Words read between a section break and the section's first text that set
// the section up: its settings, and words this reader does not know, which
// are written back where they stood.
bool isSectionWord(Kw kw);

// Paper, margins, orientation, columns and the like.
bool isPageSetting(Kw kw);

// The document's footnote and endnote settings: where they go, how they
// are numbered.
bool isNoteSetting(Kw kw);

// Groups that belong to the section rather than a place in its text.
bool isSectionGroup(Kw kw);

}  // namespace rtf
