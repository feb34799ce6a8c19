#!/usr/bin/env python3
"""What an open-and-save through Tarbel's RTF codec keeps, as LibreOffice sees it.

For every RTF file in the folders given (default: the shared samples, plus
the corpus of other projects' files in $TARBEL_RTF_CORPUS or ../shared/rtf-corpus
when present), rtf_bench FILE --out COPY opens and saves it;
LibreOffice then converts original and copy to HTML (one soffice call for
each side) and the two are compared kind by kind: the words, the text in
bold, italic, underline, strike-out, colour and highlight, pictures, page
breaks, headers and footers, footnotes, fields, tables, their cell widths
and list numbering.
It also converts both to flat ODF (fodt) and compares them word by word:
each word of the original, in order, with the attributes LibreOffice shows
it in (ATTRIBUTES: bold, italic, underline, strike, colour, size,
super/subscript, alignment, list and table membership, font face), is kept
when the copy has it, at the same place in the sequence, with all of them.

Prints the share of files that come back unchanged and, for each kind, the
files that lost or changed it; then the share of words and of files kept
whole word by word, how many words each attribute changed, and how many
words of the copies are shown in a font alias (Sans Serif and the like:
fontconfig's names for its defaults); with -v, every file not whole word by word. Exit
status 0 unless a copy could not be made (a crash or a hang of the codec)
or --min-share (of files unchanged by kind) is not reached.

usage: rtf-keep.py [--bench build/bin/rtf_bench] [--min-share PCT] [--keep DIR] [--no-words] [-v] [FOLDER...]
"""
import argparse
import collections
import difflib
import html.parser
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


class Html(html.parser.HTMLParser):
    """The features of a LibreOffice HTML export, each as the text it holds
    or as a count."""

    STYLE_KINDS = {
        # Headings are bold unless they say otherwise.
        "bold": lambda tag, a, s: tag in ("b", "strong", "h1", "h2", "h3", "h4", "h5", "h6")
        or "font-weight: bold" in s,
        "italic": lambda tag, a, s: tag in ("i", "em") or "font-style: italic" in s,
        "underline": lambda tag, a, s: tag == "u" or "text-decoration: underline" in s,
        "strike": lambda tag, a, s: tag in ("strike", "s", "del") or "line-through" in s,
        # Black and white are what a reader shows without any colour.
        "colour": lambda tag, a, s: (tag == "font" and a.get("color", "#000000").lower() != "#000000")
        or re.search(r"(^|[; ])color: *#(?!000000)", s) is not None,
        "highlight": lambda tag, a, s: tag in ("span", "font")
        and re.search(r"background: *#(?!ffffff)", s) is not None,
    }
    VOID = {"br", "img", "meta", "link", "hr", "input", "col"}
    # Tags that part words; text on both sides of any other tag (a font
    # change) is one word.
    BLOCK = {"p", "div", "td", "th", "tr", "table", "li", "ol", "ul", "dd", "dt", "dl", "h1", "h2", "h3", "h4",
             "h5", "h6", "center", "blockquote", "pre", "body", "sdfield", "a"} | VOID

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []  # (tag, set of kinds)
        self.text = []
        self.styled = {k: [] for k in self.STYLE_KINDS}
        self.counts = {"pictures": 0, "page breaks": 0, "headers": 0, "footers": 0, "footnotes": 0,
                       "fields": 0, "tables": 0}
        self.region = []  # header/footer/footnote text
        self.lists = []
        self.widths = []  # of the table columns, in pixels
        self.skip = 0

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        style = (a.get("style") or "").lower()
        if tag in self.BLOCK:
            self.text.append(" ")
        if tag in ("style", "script", "title"):
            self.skip += 1
        kinds = {k for k, f in self.STYLE_KINDS.items() if f(tag, a, style)}
        if tag == "img":
            self.counts["pictures"] += 1
        if "page-break-before: always" in style or "page-break-after: always" in style:
            self.counts["page breaks"] += 1
        title = a.get("title", "")
        if tag == "div" and title == "header":
            self.counts["headers"] += 1
        if tag == "div" and title == "footer":
            self.counts["footers"] += 1
        if tag == "a" and a.get("class") in ("sdfootnoteanc", "sdendnoteanc"):
            self.counts["footnotes"] += 1
        if tag == "sdfield":
            self.counts["fields"] += 1
        if tag == "table":
            self.counts["tables"] += 1
        if tag in ("ol", "ul"):
            self.lists.append("%s%s" % (tag, a.get("start", "")))
        if tag == "col":
            self.widths.append(a.get("width", ""))
        if tag in self.VOID:
            return
        self.stack.append((tag, kinds))

    def handle_endtag(self, tag):
        if tag in self.BLOCK:
            self.text.append(" ")
        if tag in ("style", "script", "title"):
            self.skip = max(0, self.skip - 1)
        if tag in ("ol", "ul"):
            self.lists.append("/")
        for i in range(len(self.stack) - 1, -1, -1):
            if self.stack[i][0] == tag:
                del self.stack[i:]
                return

    def handle_data(self, data):
        if self.skip:
            return
        self.text.append(data)
        active = set()
        for _, kinds in self.stack:
            active |= kinds
        squeezed = "".join(data.split())
        for k in active:
            self.styled[k].append(squeezed)


def features(path):
    p = Html()
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            p.feed(f.read())
    except OSError:
        return None
    out = {"text": " ".join("".join(p.text).split())}
    for k, parts in p.styled.items():
        out[k] = "".join(parts)
    out.update(p.counts)
    out["lists"] = " ".join(p.lists)
    out["cell widths"] = p.widths
    return out


def kept_alike(kind, a, b):
    """Whether a kind is kept: cell widths within a pixel or two of rounding."""
    if kind == "cell widths":
        return len(a) == len(b) and all(x == y or (x.isdigit() and y.isdigit() and abs(int(x) - int(y)) <= 2)
                                        for x, y in zip(a, b))
    return a == b


KINDS = ["text", "bold", "italic", "underline", "strike", "colour", "highlight", "pictures", "page breaks",
         "headers", "footers", "footnotes", "fields", "tables", "cell widths", "lists"]


# Word by word, from LibreOffice's flat ODF: its HTML leaves out the face a
# paragraph style gives. Property names are ODF's without their namespace;
# a style's values lie over its parent's, a paragraph style's over the
# default one, a span's over its paragraph's. Asian and complex-script words
# take the properties with those suffixes.
ATTRIBUTES = {
    "bold": lambda p, s: p.get("font-weight" + s, "normal") in ("bold", "600", "700", "800", "900"),
    "italic": lambda p, s: p.get("font-style" + s, "normal") != "normal",
    "underline": lambda p, s: line(p, "underline"),
    "strike": lambda p, s: line(p, "line-through"),
    # Automatic colour is black on a white page.
    "colour": lambda p, s: p.get("color", "#000000").replace("auto", "#000000").lower(),
    "size": lambda p, s: round(p.get("font-size" + s) or 0, 1),
    "super/sub": lambda p, s: position(p.get("text-position", "0%")),
    "alignment": lambda p, s: {"start": "left", "end": "right"}.get(p.get("text-align"), p.get("text-align", "left")),
    "list": lambda p, s: p.get("in list"),
    "table": lambda p, s: p.get("in table"),
    "face": lambda p, s: p.get("face" + s),
}
# Names fontconfig resolves to whatever font it has.
ALIASES = {"sans serif", "sans-serif", "sans", "serif", "monospace", "mono"}
FACES = {k + s: "face" + s for k in ("font-name", "font-family") for s in ("", "-asian", "-complex")}
SIZES = {"font-size", "font-size-asian", "font-size-complex"}
TEXT_NS = "urn:oasis:names:tc:opendocument:xmlns:text:1.0"
STYLE_NS = "urn:oasis:names:tc:opendocument:xmlns:style:1.0"
OFFICE_NS = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"
# Elements whose text is not shown as the document's words.
HIDDEN = {"tracked-changes", "table-of-content-source", "alphabetical-index-source", "illustration-index-source",
          "user-index-source", "bibliography-source", "object-index-source", "table-index-source", "number",
          "creator", "date", "date-string", "initials", "title", "desc", "binary-data"}


def local(name):
    return name.rsplit("}", 1)[-1]


def line(p, kind):
    style, kind = p.get("text-%s-style" % kind, "none"), p.get("text-%s-type" % kind, "single")
    return "" if style == "none" or kind == "none" else style + ("" if kind == "single" else " " + kind)


def position(value):
    first = value.split()[0] if value.split() else "0%"
    if first in ("super", "sub"):
        return first
    try:
        return "super" if float(first.rstrip("%")) > 0 else "sub" if float(first.rstrip("%")) < 0 else ""
    except ValueError:
        return first


ASIAN = re.compile("[\u1100-\u11ff\u2e80-\ua4cf\uac00-\ud7af\uf900-\ufaff\uff00-\uffef\U00020000-\U0003ffff]")
COMPLEX = re.compile("[\u0590-\u08ff\u0900-\u0eff\u1780-\u17ff]")


def script(word):
    return "-asian" if ASIAN.search(word) else "-complex" if COMPLEX.search(word) else ""


class Odf:
    """A flat ODF document's styles, as property dictionaries."""

    def __init__(self, root):
        self.styles, self.faces, self.lists, self.default, self.notes = {}, {}, {}, {}, {}
        for el in (el for part in root if local(part.tag) != "body" for el in part.iter()):
            tag, a = local(el.tag), {local(k): v for k, v in el.attrib.items()}
            if tag == "style":
                self.styles[(a.get("family"), a.get("name"))] = el
            elif tag == "font-face":
                self.faces[a.get("name")] = a.get("font-family", "").strip("'\"")
            elif tag == "notes-configuration":  # the style of a note's mark in the text
                self.notes[a.get("note-class")] = a.get("citation-body-style-name")
            elif tag == "list-style":
                self.lists[a.get("name")] = {
                    c.get("{%s}level" % TEXT_NS): "bullet" if local(c.tag).endswith("bullet") else "image"
                    if local(c.tag).endswith("image") else "number" if c.get("{%s}num-format" % STYLE_NS) else "plain"
                    for c in el}
        for el in root.iter("{%s}default-style" % STYLE_NS):
            if el.get("{%s}family" % STYLE_NS) == "paragraph":
                self.default = self.overlay({}, el)
        self.cache = {}

    def overlay(self, props, el):
        out = dict(props)
        for child in el:
            if local(child.tag) not in ("text-properties", "paragraph-properties"):
                continue
            for k, v in child.attrib.items():
                k = local(k)
                if k in FACES:
                    out[FACES[k]] = self.faces.get(v, v) if k.startswith("font-name") else v.strip("'\"")
                elif k in SIZES:
                    out[k] = out.get(k, 12.0) * float(v[:-1]) / 100 if v.endswith("%") else \
                        float(v[:-2]) if v.endswith("pt") else None
                elif k == "use-window-font-color":
                    if v == "true":
                        out["color"] = "auto"
                else:
                    out[k] = v
        return out

    # The caches hold on to the props they were given, so that no other
    # dictionary takes on its id.
    def style(self, family, name, props):
        """props with the named style and its parents over them."""
        key = (family, name, id(props))
        if key not in self.cache:
            self.cache[key] = (props, self.resolve(family, name, props))
        return self.cache[key][1]

    def resolve(self, family, name, props):
        chain = []
        while name and (family, name) in self.styles and len(chain) < 50:
            chain.insert(0, self.styles[(family, name)])
            name = chain[0].get("{%s}parent-style-name" % STYLE_NS)
        for el in chain:
            props = self.overlay(props, el)
        return props

    def paragraph(self, name, in_list, in_table):
        key = ("paragraph", name, in_list, in_table)
        if key not in self.cache:
            self.cache[key] = dict(self.style("paragraph", name, self.default),
                                   **{"in list": in_list, "in table": in_table})
        return self.cache[key]

    def values(self, props, script):
        """The value of each of ATTRIBUTES."""
        key = (id(props), script)
        if key not in self.cache:
            self.cache[key] = (props, tuple(f(props, script) for f in ATTRIBUTES.values()))
        return self.cache[key][1]



def words(path):
    """Each word LibreOffice shows (headers and footers first, notes where they
    stand), as (text, value of each of ATTRIBUTES); None when unreadable."""
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError):
        return None
    doc = Odf(root)
    pieces = []  # (text, properties), None between words

    def walk(el, props, inside):
        tag = local(el.tag)
        name = el.get("{%s}style-name" % TEXT_NS)
        if tag in ("note-body", "annotation", "text-box"):
            props = {}
        if tag in ("p", "h"):
            props = doc.paragraph(name, props.get("in list"), props.get("in table"))
            inside = True
            pieces.append(None)
        elif tag in ("span", "a"):
            props = doc.style("text", name, props)
        elif tag == "note":  # without a style of its own the mark is raised
            style = doc.notes.get(el.get("{%s}note-class" % TEXT_NS))
            props = doc.style("text", style, props) if style else dict(props, **{"text-position": "super"})
        elif tag == "list":
            level = props.get("level", 0) + 1
            props = dict(props, level=level, **{"list style": name or props.get("list style")})
        elif tag == "list-item":
            kind = doc.lists.get(props.get("list style"), {}).get(str(props.get("level")), "list")
            props = dict(props, **{"in list": "%s %d" % (kind, props.get("level"))})
        elif tag == "list-header":
            props = dict(props, **{"in list": None})
        elif tag == "table-cell":
            props = dict(props, **{"in table": props.get("in table", 0) + 1})
        elif tag in ("s", "tab", "line-break"):
            pieces.append(None)
        if inside and el.text:
            pieces.append((el.text, props))
        for child in el:
            if local(child.tag) not in HIDDEN:
                walk(child, props, inside)
            if inside and child.tail:
                pieces.append((child.tail, props))
        if tag in ("p", "h"):
            pieces.append(None)

    for part in ("master-styles", "body"):
        for el in root.iter("{%s}%s" % (OFFICE_NS, part)):
            walk(el, {}, False)
    out, parts = [], []

    def end():
        if parts:
            text = "".join(t for t, _ in parts)
            s = script(text)
            values = {doc.values(p, s) for _, p in parts}
            if len(values) > 1:  # attributes that change inside the word: the values in turn
                values = [doc.values(p, s) for _, p in parts]
                values = [tuple(v for i, v in enumerate(c) if not i or v != c[i - 1]) for c in zip(*values)]
                values = {tuple(c[0] if len(c) == 1 else c for c in values)}
            out.append((text, values.pop()))
            parts.clear()

    for piece in pieces:
        if piece is None:
            end()
            continue
        for i, chunk in enumerate(re.split(r"\s+", piece[0])):
            if i:
                end()
            if chunk:
                parts.append((chunk, piece[1]))
    end()
    return out


def matches(a, b):
    """Pairs (i, j) of words a[i] and b[j] with the same text, in order."""
    x, y = [w for w, _ in a], [w for w, _ in b]
    # Fast on whole documents; then the changed stretches again, where
    # frequent words were passed over.
    for tag, i1, i2, j1, j2 in difflib.SequenceMatcher(None, x, y).get_opcodes():
        if tag == "equal":
            yield from zip(range(i1, i2), range(j1, j2))
        elif tag == "replace" and (i2 - i1) * (j2 - j1) <= 1000000:
            sm = difflib.SequenceMatcher(None, x[i1:i2], y[j1:j2], autojunk=False)
            for i, j, n in sm.get_matching_blocks():
                yield from zip(range(i1 + i, i1 + i + n), range(j1 + j, j1 + j + n))


# Of a file's words: how many come back with everything kept, with each
# attribute changed, lost (or their text changed); how many the copy adds,
# and how many words of the copy are shown in an alias face.
Words = collections.namedtuple("Words", "total kept changed lost added alias")


def compare_words(a, b):
    changed = dict.fromkeys(ATTRIBUTES, 0)
    kept = found = 0
    for i, j in matches(a, b):
        found += 1
        same = True
        for k, x, y in zip(ATTRIBUTES, a[i][1], b[j][1]):
            if x != y:
                changed[k] += 1
                same = False
        kept += same
    face = list(ATTRIBUTES).index("face")
    alias = sum(any(str(f).lower() in ALIASES for f in (w[1][face] if isinstance(w[1][face], tuple) else [w[1][face]]))
                for w in b)
    return Words(len(a), kept, changed, len(a) - found, len(b) - found, alias)


def convert(soffice, files, outdir, profile, to):
    os.makedirs(outdir, exist_ok=True)
    if not files:
        return
    cmd = [soffice, "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", to,
           "--outdir", outdir] + files
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60 * 30)


def report_words(by_word, verbose):
    total = sum(f.total for f in by_word.values())
    kept = sum(f.kept for f in by_word.values())
    whole = sum(f.kept == f.total and not f.added for f in by_word.values())
    print("words: %d, kept with every attribute: %d (%.1f%%); files kept whole word by word: %d of %d (%.0f%%)"
          % (total, kept, 100.0 * kept / total if total else 100.0, whole, len(by_word),
             100.0 * whole / len(by_word) if by_word else 100.0))
    alias = [f.alias for f in by_word.values() if f.alias]
    print("words in an alias face (%s): %d in %d files" % (", ".join(sorted(ALIASES)), sum(alias), len(alias)))
    print("changed, by attribute (words, files; text: lost or changed, added: only in the copy):")
    rows = [("text", lambda f: f.lost)] + [(k, lambda f, k=k: f.changed[k]) for k in ATTRIBUTES] + \
        [("added", lambda f: f.added)]
    for k, count in rows:
        n = [count(f) for f in by_word.values() if count(f)]
        if n:
            print("  %-12s %6d %4d" % (k, sum(n), len(n)))
    worst = sorted(by_word.items(), key=lambda i: i[1].kept - i[1].total - i[1].added)
    if verbose and worst and (worst[0][1].kept < worst[0][1].total or worst[0][1].added):
        print("files not whole word by word, most words first:")
        for src, f in worst:
            if f.kept < f.total or f.added:
                what = ", ".join("%s %d" % (k, count(f)) for k, count in rows if count(f))
                print("  %-44s %d of %d: %s" % (os.path.basename(src), f.total - f.kept, f.total, what))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("folders", nargs="*")
    ap.add_argument("--bench", default=os.path.join(ROOT, "build", "bin", "rtf_bench"))
    ap.add_argument("--soffice", default=shutil.which("soffice") or "soffice")
    ap.add_argument("--min-share", type=float, default=0.0, help="fail below this share (percent)")
    ap.add_argument("--keep", help="keep the copies, HTML and fodt here")
    ap.add_argument("--no-words", action="store_true", help="by kind only (half the LibreOffice time)")
    ap.add_argument("-v", "--verbose", action="store_true", help="name the files of each kind and those not whole word by word")
    args = ap.parse_args()

    shared = os.environ.get("TARBEL_SHARED_DIR") or os.path.join(ROOT, "..", "shared")
    folders = args.folders or [os.path.join(shared, "rtf-samples"),
                               os.environ.get("TARBEL_RTF_CORPUS") or os.path.join(shared, "rtf-corpus")]
    originals = []
    for folder in folders:
        if os.path.isdir(folder):
            originals += sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.lower().endswith(".rtf"))
    if not originals:
        print("no RTF files found in", ", ".join(folders))
        return 0
    if not shutil.which(args.soffice):
        print("LibreOffice (soffice) not found: nothing measured")
        return 0

    work = args.keep or tempfile.mkdtemp(prefix="rtf-keep-")
    origdir, copydir = os.path.join(work, "orig"), os.path.join(work, "copy")
    os.makedirs(origdir, exist_ok=True)
    os.makedirs(copydir, exist_ok=True)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    # Names may repeat across folders: number them.
    pairs, failed = [], []
    for i, src in enumerate(originals):
        name = "%03d-%s" % (i, re.sub(r"[^A-Za-z0-9._-]", "_", os.path.basename(src)))
        orig = os.path.join(origdir, name)
        shutil.copyfile(src, orig)
        copy = os.path.join(copydir, name)
        try:
            r = subprocess.run([args.bench, orig, "--out", copy], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=120)
            ok = r.returncode == 0 and os.path.exists(copy)
        except subprocess.TimeoutExpired:
            ok = False
        if ok:
            pairs.append((src, name))
        else:
            failed.append(src)

    profile = os.path.join(work, "profile")
    names = [n for _, n in pairs]
    for to in ("html",) if args.no_words else ("html", "fodt"):
        for side, folder in (("orig", origdir), ("copy", copydir)):
            convert(args.soffice, [os.path.join(folder, n) for n in names], os.path.join(work, side + "-" + to),
                    profile, to)

    lost = {k: [] for k in KINDS}
    unchanged, compared, unreadable = 0, 0, []
    by_word = {}  # file: Words
    for src, name in pairs:
        html_name = os.path.splitext(name)[0] + ".html"
        a = features(os.path.join(work, "orig-html", html_name))
        b = features(os.path.join(work, "copy-html", html_name))
        if a is None:
            unreadable.append(src)  # LibreOffice cannot read the original: not counted
            continue
        compared += 1
        if not args.no_words:
            fodt = os.path.splitext(name)[0] + ".fodt"
            wa = words(os.path.join(work, "orig-fodt", fodt))
            if wa is not None:
                by_word[src] = compare_words(wa, words(os.path.join(work, "copy-fodt", fodt)) or [])
        if b is None:
            for k in KINDS:
                lost[k].append(src)
            continue
        same = True
        for k in KINDS:
            if not kept_alike(k, a[k], b[k]):
                lost[k].append(src)
                same = False
        unchanged += same

    share = 100.0 * unchanged / compared if compared else 100.0
    print("files: %d, compared: %d, unchanged: %d (%.0f%%)" % (len(originals), compared, unchanged, share))
    if failed:
        print("NO COPY (crash or hang): %d" % len(failed))
        for f in failed:
            print("  " + f)
    if unreadable:
        print("LibreOffice cannot read %d originals (not counted)" % len(unreadable))
    print("changed, by kind (files):")
    for k in KINDS:
        if lost[k]:
            print("  %-12s %d" % (k, len(lost[k])))
            if args.verbose:
                for f in lost[k]:
                    print("      " + os.path.basename(f))
    if not args.no_words:
        report_words(by_word, args.verbose)
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed or share < args.min_share else 0


if __name__ == "__main__":
    sys.exit(main())
