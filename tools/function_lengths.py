#!/usr/bin/env python3
"""Lists the functions longer than a given number of lines, folder by folder.

  tools/function_lengths.py [--over N] [PATH ...]

PATH is a folder (its .cc and .h files, not its tests unless --tests) or a
file; the default is every source folder. A function is a brace block whose
opening line reads as a function head (a name followed by a parenthesis, not
a control statement, class or namespace); its length runs from the line of
its name to its closing brace. Lambdas inside a function count as its lines.
This is a plain brace count over the text with comments, strings and
character literals blanked out, good enough for the house style: it does not
parse C++.
"""
import argparse
import os
import re
import sys

FOLDERS = ["util", "constraints", "dataset", "levels", "engine", "vertical", "mining", "driver",
           "mpi", "python", "include", "tools"]
CONTROL = {"if", "for", "while", "switch", "catch", "return", "sizeof", "alignof", "decltype",
           "static_assert", "defined", "do", "else"}
HEAD = re.compile(r"([A-Za-z_~][A-Za-z_0-9]*(?:::[A-Za-z_~][A-Za-z_0-9]*)*|operator[^\s(]*)\s*\($")


def blank_out(text):
    """The text with comments, strings and character literals replaced by spaces."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + " " * (j - i - 2) + c if j - i >= 2 else c)
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def function_name(before):
    """The name of the function whose body opens after `before`, or None."""
    # Drop a trailing constructor initialiser list, qualifiers and the
    # parameter list, then read the name in front of it.
    depth = 0
    for k in range(len(before) - 1, -1, -1):
        ch = before[k]
        if ch == ")":
            depth += 1
        elif ch == "(":
            depth -= 1
            if depth == 0:
                head = before[:k + 1].rstrip()
                m = HEAD.search(head[:-1].rstrip() + "(")
                if m is None:
                    return None
                name = m.group(1)
                if name.split("::")[-1] in CONTROL:
                    return None
                # An initialiser list: keep looking for the head before the ':'.
                prefix = before[:m.start()].rstrip()
                if prefix.endswith(",") or (prefix.endswith(":") and not prefix.endswith("::")):
                    continue
                return name
        elif ch in ";{}" and depth == 0:
            return None
    return None


def functions(path):
    """(name, first line, lines) of each outermost function body in the file."""
    text = blank_out(open(path, encoding="utf-8", errors="replace").read())
    found = []
    stack = []  # (kind, name, line) per open brace
    line = 1
    last_stop = 0
    for i, ch in enumerate(text):
        if ch == "\n":
            line += 1
        elif ch == "{":
            inside = any(kind == "function" for kind, _, _ in stack)
            name = None if inside else function_name(text[last_stop:i])
            if name is not None:
                head_line = line - text[text.rfind(name, last_stop, i):i].count("\n")
                stack.append(("function", name, head_line))
            else:
                stack.append(("block", None, line))
            last_stop = i + 1
        elif ch == "}":
            if stack:
                kind, name, first = stack.pop()
                if kind == "function":
                    found.append((name, first, line - first + 1))
            last_stop = i + 1
        elif ch == ";":
            last_stop = i + 1
    return found


def sources(path, tests):
    if os.path.isfile(path):
        yield path
        return
    for root, _, files in os.walk(path):
        for f in sorted(files):
            if not f.endswith((".cc", ".h")):
                continue
            if f.endswith("_test.cc") and not tests:
                continue
            yield os.path.join(root, f)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[1])
    parser.add_argument("--over", type=int, default=80, help="list functions over this many lines")
    parser.add_argument("--tests", action="store_true", help="include the _test.cc files")
    parser.add_argument("paths", nargs="*")
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    paths = args.paths or [os.path.join(root, f) for f in FOLDERS]
    over = 0
    for path in paths:
        if not os.path.exists(path):
            continue
        long_ones = []
        for f in sources(path, args.tests):
            for name, first, lines in functions(f):
                if lines > args.over:
                    long_ones.append((lines, os.path.relpath(f, root), first, name))
        print(f"{os.path.relpath(path, root)}: {len(long_ones)} over {args.over} lines")
        for lines, f, first, name in sorted(long_ones, reverse=True):
            print(f"  {lines:4d}  {f}:{first}  {name}")
        over += len(long_ones)
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main())
