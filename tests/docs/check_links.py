#!/usr/bin/env python3
"""Every relative link in README.md, CHANGELOG.md and docs/*.md leads to a
file of the tree, and every #anchor to a heading of that file (GitHub's
slugs: lowercase, punctuation dropped, spaces to hyphens).

Usage: check_links.py SOURCE_DIR"""
import glob
import os
import re
import sys

LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#{1,6}\s+(.*)$")


def slug(heading):
    heading = re.sub(r"[`*_]", "", heading.strip().lower())
    heading = re.sub(r"[^\w\- ]", "", heading)
    return heading.replace(" ", "-")


def anchors(path):
    found, fenced = set(), False
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("```"):
                fenced = not fenced
            m = HEADING.match(line)
            if m and not fenced:
                found.add(slug(m.group(1)))
    return found


def main(root):
    documents = [os.path.join(root, "README.md"), os.path.join(root, "CHANGELOG.md")]
    documents += sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    broken, checked = [], 0
    for doc in documents:
        with open(doc, encoding="utf-8") as f:
            text = f.read()
        text = re.sub(r"```.*?```", "", text, flags=re.S)  # code blocks hold no links
        for target in LINK.findall(text):
            if re.match(r"[a-z]+:", target):
                continue  # a URL, not a file of the tree
            checked += 1
            path, _, anchor = target.partition("#")
            resolved = os.path.normpath(os.path.join(os.path.dirname(doc), path)) if path else doc
            where = os.path.relpath(doc, root)
            if not os.path.exists(resolved):
                broken.append(f"{where}: {target}: no such file")
            elif anchor and resolved.endswith(".md") and anchor not in anchors(resolved):
                broken.append(f"{where}: {target}: no such heading")
    for b in broken:
        print(b)
    print(f"{checked} relative links in {len(documents)} documents, {len(broken)} broken")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
