#include "sections.h"

namespace rtf {

bool isSectionWord(Kw kw)
{
    switch (kw) {
    case K_none: case K_sectd: case K_sbknone: case K_sbkcol: case K_sbkpage: case K_sbkeven: case K_sbkodd:
        return true;
    default:
        return isPageSetting(kw) || isNoteSetting(kw);
    }
}

bool isPageSetting(Kw kw)
{
    switch (kw) {
    case K_paperw: case K_paperh: case K_margl: case K_margr: case K_margt: case K_margb: case K_landscape:
    case K_gutter: case K_facingp: case K_titlepg: case K_pgwsxn: case K_pghsxn: case K_marglsxn: case K_margrsxn:
    case K_margtsxn: case K_margbsxn: case K_lndscpsxn: case K_cols: case K_colsx: case K_linebetcol: case K_headery:
    case K_footery: case K_pgnstarts: case K_deftab:
        return true;
    default:
        return false;
    }
}

bool isNoteSetting(Kw kw)
{
    switch (kw) {
    case K_ftnbj: case K_ftntj: case K_ftnstart: case K_ftnrstpg: case K_ftnrestart: case K_ftnrstcont: case K_ftnnar:
    case K_ftnnalc: case K_ftnnauc: case K_ftnnrlc: case K_ftnnruc: case K_ftnnchi: case K_aenddoc: case K_aendnotes:
    case K_aftnbj: case K_aftntj: case K_aftnstart: case K_aftnrstcont: case K_aftnrestart: case K_aftnnar:
    case K_aftnnalc: case K_aftnnauc: case K_aftnnrlc: case K_aftnnruc: case K_aftnnchi: case K_enddoc: case K_endnotes:
    case K_fet:
        return true;
    default:
        return false;
    }
}

bool isSectionGroup(Kw kw)
{
    switch (kw) {
    case K_header: case K_headerl: case K_headerr: case K_headerf: case K_footer: case K_footerl: case K_footerr:
    case K_footerf: case K_pnseclvl:
        return true;
    default:
        return false;
    }
}

}  // namespace rtf
