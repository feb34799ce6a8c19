#!/usr/bin/env python3
"""What an open-and-save through Tarbel's RTF codec keeps, as LibreOffice sees it.

For every RTF file in the folders given (default: the shared samples, plus
the corpus of other projects' files in $TARBEL_RTF_CORPUS or ../shared/rtf-corpus
when present), rtf_bench FILE --out COPY opens and saves it;
LibreOffice then converts original and copy to HTML (one soffice call for
each side) and the two are compared kind by kind: the words, the text in
bold, italic, underline, strike-out, colour and highlight, pictures, page
breaks, headers and footers, footnotes, fields, tables and list numbering.

Prints the share of files that come back unchanged and, for each kind, the
files that lost or changed it. Exit status 0 unless a copy could not be made
(a crash or a hang of the codec) or --min-share is not reached.

usage: rtf-keep.py [--bench build/bin/rtf_bench] [--min-share PCT] [--keep DIR] [-v] [FOLDER...]
"""
import argparse
import html.parser
import os
import re
import shutil
import subprocess
import sys
import tempfile

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
    return out


KINDS = ["text", "bold", "italic", "underline", "strike", "colour", "highlight", "pictures", "page breaks",
         "headers", "footers", "footnotes", "fields", "tables", "lists"]


def convert(soffice, files, outdir, profile):
    os.makedirs(outdir, exist_ok=True)
    if not files:
        return
    cmd = [soffice, "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", "html",
           "--outdir", outdir] + files
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60 * 30)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("folders", nargs="*")
    ap.add_argument("--bench", default=os.path.join(ROOT, "build", "bin", "rtf_bench"))
    ap.add_argument("--soffice", default=shutil.which("soffice") or "soffice")
    ap.add_argument("--min-share", type=float, default=0.0, help="fail below this share (percent)")
    ap.add_argument("--keep", help="keep the copies and HTML here")
    ap.add_argument("-v", "--verbose", action="store_true", help="name the files of each kind")
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
    convert(args.soffice, [os.path.join(origdir, n) for n in names], os.path.join(work, "orig-html"), profile)
    convert(args.soffice, [os.path.join(copydir, n) for n in names], os.path.join(work, "copy-html"), profile)

    lost = {k: [] for k in KINDS}
    unchanged, compared, unreadable = 0, 0, []
    for src, name in pairs:
        html_name = os.path.splitext(name)[0] + ".html"
        a = features(os.path.join(work, "orig-html", html_name))
        b = features(os.path.join(work, "copy-html", html_name))
        if a is None:
            unreadable.append(src)  # LibreOffice cannot read the original: not counted
            continue
        compared += 1
        if b is None:
            for k in KINDS:
                lost[k].append(src)
            continue
        same = True
        for k in KINDS:
            if a[k] != b[k]:
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
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed or share < args.min_share else 0


if __name__ == "__main__":
    sys.exit(main())
