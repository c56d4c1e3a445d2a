#!/usr/bin/env python3
"""Reads the JSON files Google Benchmark wrote into one folder and prints one
line per ratio: the medians compared, the target and "met" or "missed"."""
import glob
import json
import os
import re
import sys

UNIT = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}

# (what is compared, numerator, denominator, target): the ratio must stay at
# or below the target ("<"-targets strictly below). A numerator or
# denominator may list several names; the first one measured is used.
# Where no target was set for a pair, the peer library is the bar (1.0x) and a
# floor of plain copying or reading may be at most doubled.
RATIOS = [
    ("typing, 1,000,000 vs 10 lines", "TypeAndUndo/1000000", "TypeAndUndo/10", "<=", 1.5),
    ("commands beside 60,000 folds vs none", "BM_CommandsBesideFolds/60000", "BM_CommandsBesideFolds/0", "<=", 1.5),
    ("typing in 1,000,000 lines, word wrap vs none", "TypeWrapped/1000000", "TypeUnwrapped/1000000", "<=",
     1.5),
    ("word wrap: edited line vs no wrap", "BM_EditLine_Wrap", "BM_EditLine_NoWrap", "<=", 1.5),
    ("word wrap: line break vs no wrap", "BM_LineBreak_Wrap", "BM_LineBreak_NoWrap", "<=", 1.5),
    ("word wrap: editor typing vs no wrap", "BM_EditorTyping_Wrap", "BM_EditorTyping_NoWrap", "<=", 1.5),
    ("open 500-file set vs discovery+decoding", ["BM_OpenSet/0", "BM_OpenSet"], "BM_DiscoveryAndDecodingAlone",
     "<=", 3.0),
    ("open set: highlighting on vs off", "BM_OpenSet/0", "BM_OpenSet/-1", "<=", 1.3),
    ("search across panels vs in-memory search", "BM_SearchAcrossPanels", "BM_InMemorySearch", "<=", 1.0),
    ("close 4,000 files scrolled to end vs to top", "BM_CloseBigSet/1", "BM_CloseBigSet/0", "<=", 1.2),
    ("close 4,000 files scrolled to end vs opening", "BM_CloseBigSet/1", "BM_OpenBigSet/0", "<=", 1.0),
    ("load 200 MB into the line buffer vs memchr split", "BM_LoadFromStream", "BM_MemchrSplit", "<=", 3.0),
    ("discovery vs reading+decoding", "BM_Discovery", "BM_ReadAndDecode", "<=", 2.0),
    ("open 200 MB single-file set vs read+split", "BM_OpenBigFile", "BM_ReadAndSplitFloor", "<=", 3.0),
    ("UTF-8 decode+encode vs two-copy floor", "BM_DecodeEncodeUtf8", "BM_Memcpy", "<=", 2.0),
    ("UTF-8 decode+encode vs iconv", "BM_DecodeEncodeUtf8", "BM_DecodeEncodeIconv", "<=", 1.0),
    ("XML parse vs expat", "BM_XmlParse", "BM_ExpatParse", "<=", 1.0),
    ("open 200 MB until idle work done vs read+split", "BM_OpenBigFileSettled", "BM_ReadAndSplitFloor", "<=", 3.0),
    ("530 KB one-line config vs over lines, to folds", "BM_OpenMinified/0", "BM_OpenMinified/1", "<=", 2.0),
    ("panel keys painted, 10 lines vs QPlainTextEdit", "BM_PanelKeys/10", "BM_PlainTextEditKeys/10", "<=", 1.0),
    ("panel keys painted, 10 lines vs QScintilla", "BM_PanelKeys/10", "BM_ScintillaKeys/10", "<=", 1.0),
    ("panel keys painted, 4M lines vs QPlainTextEdit", "BM_PanelKeys/4000000", "BM_PlainTextEditKeys/4000000", "<=",
     1.0),
    ("panel keys painted, 4M lines vs QScintilla", "BM_PanelKeys/4000000", "BM_ScintillaKeys/4000000", "<=", 1.0),
    ("panel keys, wrapped, 4M lines vs QPlainTextEdit", "BM_PanelKeysWrapped", "BM_PlainTextEditKeysWrapped", "<=",
     1.0),
]
for doc in ("0", "1"):
    for peer in ("RapidJson", "Nlohmann"):
        RATIOS.append((f"JSON parse /{doc} vs {peer}", f"BM_Parse_Ondrel/{doc}", f"BM_Parse_{peer}/{doc}", "<=", 1.0))
# Ratios shown for what they tell, with no target.
INFO = [("search across panels vs grep -F (reading files)", "BM_SearchAcrossPanels", "BM_GrepF"),
        ("search across panels caseless vs in-memory search", "BM_SearchAcrossPanelsCaseless", "BM_InMemorySearch")]
# Why a line misses its target, printed beside it when it does.
PAINT_PER_KEY = ("Qt blending the glyphs and beginning a painter for the editor and again for the status bar "
                 "are about a fifth of a key; the panel also shows the caret's place in its status bar, which "
                 "the peer has not")
REASONS = {
    "panel keys painted, 10 lines vs QPlainTextEdit": PAINT_PER_KEY,
    "panel keys painted, 10 lines vs QScintilla": PAINT_PER_KEY,
    "panel keys, wrapped, 4M lines vs QPlainTextEdit": PAINT_PER_KEY,
    "typing, 1,000,000 vs 10 lines": "the line paints every key, and painting in a long text costs more",
    "typing in 1,000,000 lines, word wrap vs none": "the line paints every key, and a wrapped paint costs more",
    "open 200 MB until idle work done vs read+split": "the first paint alone costs over twice the floor; the "
                                                      "idle work then reads each stretch twice (fold tokens, "
                                                      "then the highlighter's states), and a line holding a "
                                                      "bracket takes the fold scan's token-by-token path",
    "search across panels vs in-memory search": "each panel's caret and editor are set up for its search; "
                                                "the peer only scans each whole text",
    "JSON parse /0 vs RapidJson": "a tree of shared pointers and wide strings against an in-place parse",
    "JSON parse /1 vs RapidJson": "a tree of shared pointers and wide strings against an in-place parse",
    "regex back_reference vs PCRE2 JIT": "every word character is a start the interpreter tries (a capture, "
                                         "then the copy fails); the JIT's machine code does that try for less",
    "regex doubled_word vs PCRE2 JIT": "every start inside a word is tried, and a back reference to the group "
                                       "forbids skipping the starts a failed run covered; the JIT's machine "
                                       "code does each try for less",
}
# Why a line could not be measured.
NOT_MEASURED = {"QScintilla": "the QScintilla peer is built only where libqscintilla2-qt6-dev is installed"}
JIT_REASON = "PCRE2's JIT compiles the expression to machine code; ours is interpreted"
# Memory after and while opening the 200 MB set, as a multiple of its size.
MEMORY = [("memory held after opening 200 MB vs file size", "BM_BigFileMemory/0", 1.5),
          ("memory peak opening 200 MB vs file size", "BM_BigFileMemory/1", 2.0)]
REGEX = ["literal", "caseless_literal", "class_run", "word_alternation", "anchored_line", "back_reference",
         "doubled_word"]
# Expressions over lines of a megabyte (bench_regex's long-line cases).
REGEX_LONG = ["dot_star_comma_end", "number_array_brace"]


def load(folder):
    times, counters = {}, {}
    for path in sorted(glob.glob(os.path.join(folder, "*.json"))):
        try:
            with open(path) as f:
                data = json.load(f)
        except (OSError, ValueError):
            continue
        for b in data.get("benchmarks", []):
            if b.get("error_occurred") or b.get("aggregate_name", "median") != "median":
                continue
            # Fixed iterations, minimum times and manual timing show in the
            # name; the ratios name the benchmark and its arguments only.
            name = re.sub(r"(/(iterations|min_time|repeats):[^/]*|/manual_time)+$", "", b.get("run_name", b["name"]))
            times[name] = b["real_time"] * UNIT.get(b.get("time_unit", "ns"), 1e-9)
            if "ratio" in b:
                counters[name] = b["ratio"]
            for counter in ("longest_ms", "command_ms", "idle_ms"):
                if counter in b:
                    counters[name + ":" + counter] = b[counter]
    return times, counters


def first(times, names):
    for n in [names] if isinstance(names, str) else names:
        if n in times:
            return times[n]
    return None


def line(label, ratio, op, target):
    if ratio is None:
        verdict, shown = "not measured", "   -   "
    else:
        ok = ratio < target if op == "<" else ratio <= target
        verdict, shown = ("met" if ok else "missed"), f"{ratio:7.2f}x"
    reason = ""
    if verdict == "missed":
        reason = REASONS.get(label, JIT_REASON if label.endswith("JIT") else "")
    elif verdict == "not measured":
        reason = next((why for peer, why in NOT_MEASURED.items() if peer in label), "")
    reason = f" ({reason})" if reason else ""
    print(f"{label:<48} {shown}  target {op} {target:g}x  {verdict}{reason}")


def main():
    times, counters = load(sys.argv[1] if len(sys.argv) > 1 else ".")
    for label, num, den, op, target in RATIOS:
        a, b = first(times, num), first(times, den)
        line(label, a / b if a is not None and b else None, op, target)
    for label, num, den in INFO:
        a, b = first(times, num), first(times, den)
        shown = f"{a / b:7.2f}x" if a is not None and b else "   -   "
        print(f"{label:<48} {shown}  no target")
    for name in REGEX:
        line(f"regex {name} vs PCRE2", counters.get(f"RatioToPcre2/{name}"), "<", 1.0)
        line(f"regex {name} vs PCRE2 JIT", counters.get(f"RatioToPcre2Jit/{name}"), "<", 1.0)
    for name in REGEX_LONG:
        line(f"regex 1 MB {name} vs PCRE2", counters.get(f"RatioToPcre2/{name}"), "<=", 1.0)
        line(f"regex 1 MB {name} vs PCRE2 JIT", counters.get(f"RatioToPcre2Jit/{name}"), "<=", 1.0)
    for label, name, target in MEMORY:
        line(label, counters.get(name), "<=", target)
    sweep(times, counters)


# The editing sweep: each operation twice in a row in 4,000,000 lines with a
# million folds (and again with two of them collapsed, "folded ...") against
# 10 lines with none collapsed: within 3x, or under 50 ms; no single event of
# the window's thread over 100 ms, the command's own or the idle work's after
# it; and a reload within 2x the floor of reading and splitting the file.
SWEEP_LONG, SWEEP_SHORT = "4000000", "10"
SWEEP_FLOOR = "BM_EditSweepReadAndSplitFloor"


def sweep(times, counters):
    floor = times.get(SWEEP_FLOOR)
    for name in sorted(times):
        m = re.fullmatch(r"BM_EditSweep/(.+)/" + SWEEP_LONG, name)
        if not m:
            continue
        op = m.group(1).replace("_", " ")
        base = re.sub(r"^folded_", "", m.group(1))
        a, b = times[name], times.get(f"BM_EditSweep/{base}/{SWEEP_SHORT}")
        command = counters.get(name + ":command_ms", counters.get(name + ":longest_ms"))
        idle = counters.get(name + ":idle_ms")
        ratio = a / b if b else None
        why = []
        if ratio is not None and ratio > 3.0 and a >= 0.05:
            why.append(f"the two events took {a * 1000:.0f} ms")
        if command is not None and command > 100:
            why.append(f"one event of the command took {command:.0f} ms")
        if idle is not None and idle > 100:
            why.append(f"one event of the idle work after it took {idle:.0f} ms")
        if "reload" in op and floor and a / 2 > 2 * floor:
            why.append(f"a reload took {a * 500:.0f} ms against a floor of {floor * 1000:.0f} ms")
        shown = f"{ratio:7.2f}x" if ratio is not None else "   -   "
        verdict = "not measured" if ratio is None else ("missed (" + "; ".join(why) + ")" if why else "met")
        print(f"{'sweep ' + op:<48} {shown}  target <= 3x or < 50 ms, no event > 100 ms  {verdict}")


if __name__ == "__main__":
    main()
