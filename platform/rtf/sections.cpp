#include "sections.h"

namespace rtf {

bool isSectionWord(Kw kw)
{
    return kw == K_none || keyword(kw).prop() == P_section || isPageSetting(kw) || isNoteSetting(kw);
}

bool isPageSetting(Kw kw)
{
    return keyword(kw).kind != Kind::Skipped && keyword(kw).prop() == P_page;
}

bool isNoteSetting(Kw kw) { return keyword(kw).prop() == P_note; }

bool isSectionGroup(Kw kw)
{
    return keyword(kw).kind == Kind::Skipped && keyword(kw).prop() == P_page;
}

}  // namespace rtf
