#include "properties.h"

namespace rtf {

bool applyFormat(CharProps &c, ParaProps &pp, Kw kw, int param, bool hasParam, int defaultFont)
{
    const quint8 on = !hasParam || param != 0;
    switch (kw) {
    case K_plain: {
        const int link = c.link;
        c = CharProps();
        c.font = defaultFont;
        c.link = link;
        return true;
    }
    case K_b: c.bold = on; return true;
    case K_i: c.italic = on; return true;
    case K_ul: case K_uld: case K_uldash: case K_uldashd: case K_uldashdd: case K_uldb:
    case K_ulhwave: case K_ulldash: case K_ulth: case K_ulthd: case K_ulthdash:
    case K_ulthdashd: case K_ulthdashdd: case K_ulthldash: case K_ululdbwave: case K_ulw:
    case K_ulwave:
        c.underline = on;
        return true;
    case K_ulnone: c.underline = 0; return true;
    case K_strike: c.strike = on; return true;
    case K_striked: c.strike = on; return true;
    case K_cf: c.fg = hasParam ? param : 0; return true;
    case K_cb: case K_chcbpat: case K_highlight:
        c.bg = hasParam ? param : 0;
        c.bgWord = kw == K_highlight ? 0 : kw == K_cb ? 1 : 2;
        return true;
    case K_fs: c.size = hasParam && param > 0 ? param : 24; return true;
    case K_f: c.font = param; return true;
    case K_super: c.valign = on ? 1 : 0; return true;
    case K_sub: c.valign = on ? 2 : 0; return true;
    case K_nosupersub: c.valign = 0; return true;
    case K_v: c.hidden = on; return true;
    case K_pard: pp = ParaProps(); return true;
    case K_ql: pp.align = 0; return true;
    case K_qc: pp.align = 1; return true;
    case K_qr: pp.align = 2; return true;
    case K_qj: case K_qd: pp.align = 3; return true;
    case K_li: case K_lin: pp.li = param; return true;
    case K_ri: case K_rin: pp.ri = param; return true;
    case K_fi: pp.fi = param; return true;
    case K_sb: pp.sb = param; return true;
    case K_sa: pp.sa = param; return true;
    case K_sl: pp.sl = param; return true;
    case K_slmult: pp.slmult = on; return true;
    case K_pagebb: pp.pagebb = on; return true;
    case K_tqr: pp.nextTabType = 1; return true;
    case K_tqc: pp.nextTabType = 2; return true;
    case K_tqdec: pp.nextTabType = 3; return true;
    case K_tx:
        if (pp.ntabs < kMaxTabs) {
            pp.tabs[pp.ntabs] = param;
            pp.tabTypes[pp.ntabs] = pp.nextTabType;
            ++pp.ntabs;
        }
        pp.nextTabType = 0;
        return true;
    case K_intbl: pp.intbl = on; return true;
    case K_itap: pp.itap = quint8(param); pp.intbl |= param > 0; return true;  // \itap0 leaves \intbl as it is
    case K_ls: pp.listKind = 2; pp.ls = param; return true;
    case K_ilvl: pp.ilvl = param; return true;
    default:
        return false;
    }
}

}  // namespace rtf
