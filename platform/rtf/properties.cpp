#include "properties.h"

namespace rtf {

namespace {

bool toggle(CharProps &c, ParaProps &pp, Prop prop, quint8 on)
{
    switch (prop) {
    case P_bold: c.bold = on; return true;
    case P_italic: c.italic = on; return true;
    case P_underline: c.underline = on; return true;
    case P_strike: c.strike = on; return true;
    case P_super: c.valign = on ? 1 : 0; return true;
    case P_sub: c.valign = on ? 2 : 0; return true;
    case P_hidden: c.hidden = on; return true;
    case P_noproof: c.noproof = on; return true;
    case P_lineMultiple: pp.slmult = on; return true;
    case P_pageBreakBefore: pp.pagebb = on; return true;
    case P_inTable: pp.intbl = on; return true;
    default: return false;
    }
}

bool value(CharProps &c, ParaProps &pp, Prop prop, int param, bool hasParam)
{
    switch (prop) {
    case P_fg: c.fg = hasParam ? param : 0; return true;
    case P_cb: case P_chcbpat: case P_highlight:
        c.bg = hasParam ? param : 0;
        c.bgWord = prop == P_highlight ? 0 : prop == P_cb ? 1 : 2;
        return true;
    case P_size: c.size = hasParam && param > 0 ? param : 24; return true;
    case P_font: c.font = param; return true;
    case P_lang: case P_langfe: case P_langnp: case P_langfenp: case P_alang:
        c.lang[prop - P_lang] = quint16(param);
        return true;
    case P_leftIndent: pp.li = param; return true;
    case P_rightIndent: pp.ri = param; return true;
    case P_firstIndent: pp.fi = param; return true;
    case P_spaceBefore: pp.sb = param; return true;
    case P_spaceAfter: pp.sa = param; return true;
    case P_lineSpacing: pp.sl = param; return true;
    case P_tabStop:
        if (pp.ntabs < kMaxTabs) {
            pp.tabs[pp.ntabs] = param;
            pp.tabTypes[pp.ntabs] = pp.nextTabType;
            ++pp.ntabs;
        }
        pp.nextTabType = 0;
        return true;
    case P_tableDepth: pp.itap = quint8(param); pp.intbl |= param > 0; return true;  // \itap0 leaves \intbl as it is
    case P_list: pp.listKind = 2; pp.ls = param; return true;
    case P_listLevel: pp.ilvl = param; return true;
    case P_outline: pp.outline = quint8(param < 9 ? param + 1 : 0); return true;
    default: return false;
    }
}

bool flag(CharProps &c, ParaProps &pp, Prop prop, int defaultFont)
{
    switch (prop) {
    case P_plain: {
        const int link = c.link;
        c = CharProps();
        c.font = defaultFont;
        c.link = link;
        return true;
    }
    case P_noUnderline: c.underline = 0; return true;
    case P_noSuperSub: c.valign = 0; return true;
    case P_pard: pp = ParaProps(); return true;
    case P_left: pp.align = 0; return true;
    case P_center: pp.align = 1; return true;
    case P_right: pp.align = 2; return true;
    case P_justify: pp.align = 3; return true;
    case P_rightTab: pp.nextTabType = 1; return true;
    case P_centerTab: pp.nextTabType = 2; return true;
    case P_decimalTab: pp.nextTabType = 3; return true;
    default: return false;
    }
}

}  // namespace

bool applyFormat(CharProps &c, ParaProps &pp, Kw kw, int param, bool hasParam, int defaultFont)
{
    const Keyword &k = keyword(kw);
    switch (k.kind) {
    case Kind::Toggle: return toggle(c, pp, k.prop(), !hasParam || param != 0);
    case Kind::Value: return value(c, pp, k.prop(), param, hasParam);
    case Kind::Flag: return flag(c, pp, k.prop(), defaultFont);
    default: return false;
    }
}

}  // namespace rtf
