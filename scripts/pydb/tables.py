"""The tables the py.db scripts keep as data: data/NAME.tsv, UTF-8, one row a line, its columns
apart by tabs; blank lines and lines starting with "#" (what the table is) are passed over."""
import os

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")


def rows(name, columns):
    """The rows of data/NAME.tsv, each a tuple of exactly `columns` strings."""
    out = []
    path = os.path.join(DATA, name + ".tsv")
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            cells = line.split("\t")
            if len(cells) != columns:
                raise SystemExit(f"{path}:{number}: {columns} columns apart by tabs, not {len(cells)}")
            out.append(tuple(cells))
    return out
