#!/usr/bin/env python3
"""README.txt for the packages: the operator's part of README.md (everything before the builder's
section), as plain text with Windows line ends. usage: readme_txt.py README.md OUT"""
import re
import sys
import textwrap


def plain(text):
    return text.replace("**", "").replace("`", "")


def main():
    source, out = sys.argv[1], sys.argv[2]
    text = open(source, encoding="utf-8").read()
    text = text.split("\n---\n", 1)[0]  # the builder's section follows the rule
    lines = []
    table_header = True
    for line in text.splitlines():
        if line.startswith("![") or line.startswith("(These pictures"):
            continue
        heading = re.match(r"^(#+) (.*)", line)
        if heading:
            title = plain(heading.group(2))
            lines += [title, ("=" if heading.group(1) == "#" else "-") * len(title)]
            continue
        if line.startswith("|"):
            cells = [plain(c.strip()) for c in line.strip("|").split("|")]
            if set(line) <= set("|-: "):  # the rule under the header row
                continue
            if table_header:  # the header row itself: the text says what the rows are
                table_header = False
                continue
            lines.append("- " + cells[0])
            lines += textwrap.wrap(cells[1], 94, initial_indent="  ", subsequent_indent="  ")
            continue
        table_header = True
        lines.append(plain(line))
    while lines and not lines[-1].strip():
        lines.pop()
    body = re.sub(r"\n{3,}", "\n\n", "\n".join(lines)) + "\n"
    # UTF-8 with a byte-order mark, which Notepad reads from Windows 7 on: the README names
    # profiles and window titles in several scripts.
    with open(out, "w", encoding="utf-8-sig", newline="\r\n") as f:
        f.write(body)


if __name__ == "__main__":
    main()
