#!/usr/bin/env python3
"""Accuracy of marc-pinyin-cli --lines on a labelled polyphone sentence set.

Usage: scripts/eval/polyphone_lines.py CLI SENTENCES.tsv [--polyphone MODE ...] [--db PY.DB]

Each line of the set is "id<TAB>sentence<TAB>pos:reading", pos counting Han characters only.
Every character that is not Han is replaced by "|" before the sentence goes to the program:
copied through, the bar keeps Han runs apart as punctuation does and lets the output split
into one reading per Han character. Prints, per mode, how often the labelled character's
reading is right. bench/polyphone_eval.cpp measures the same through the library and must
agree with this script.
"""

import argparse
import re
import subprocess
import sys

HAN = re.compile("[\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff\U00020000-\U0003ffff]")


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("cli", help="path of marc-pinyin-cli")
    ap.add_argument("sentences", help="the labelled set (tsv)")
    ap.add_argument("--polyphone", action="append", default=None,
                    help="modes to measure (default: first and phrase)")
    ap.add_argument("--db", help="py.db to use instead of the one beside the program")
    args = ap.parse_args(argv)

    rows = []
    with open(args.sentences, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) != 3 or ":" not in parts[2]:
                continue
            pos, reading = parts[2].split(":", 1)
            text = "".join(c if HAN.match(c) else "|" for c in parts[1])
            rows.append((text, int(pos), reading))
    stdin = "".join(text + "\n" for text, _, _ in rows)

    for mode in args.polyphone or ["first", "phrase"]:
        command = [args.cli, "--lines", "--encoding", "utf-8", "--polyphone", mode, "-"]
        if args.db:
            command[1:1] = ["--db", args.db]
        out = subprocess.run(command, input=stdin, capture_output=True, text=True, check=True)
        lines = out.stdout.split("\n")
        right = 0
        for (text, pos, reading), got in zip(rows, lines):
            tokens = [t for t in re.split(r"[ |]+", got) if t]
            right += pos < len(tokens) and tokens[pos] == reading
        print(f"{mode:10} accuracy {100 * right / len(rows):.2f} % ({right}/{len(rows)})")


if __name__ == "__main__":
    main(sys.argv[1:])
