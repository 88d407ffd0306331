#!/usr/bin/env python3
"""Writes the launcher's patch manifest for a folder of game files.

Every regular file below FOLDER becomes one entry: its path relative to FOLDER with '/'
separators, its download URL, its size in bytes and its SHA-256 digest. The URL is the
percent-encoded path, either relative (resolved by the launcher against the manifest's own
URL) or prefixed with --base-url.

It refuses, writing nothing, a folder without files (a manifest without files makes the
launcher remove every file it installed) and two paths that differ only in letter case as
Windows folds it (one file on the player's disk; the launcher refuses such a manifest).

    tools/make_manifest.py FOLDER [--base-url URL] [--exclude NAME ...] [-o manifest.json]
"""
import argparse
import hashlib
import json
import os
import sys
import urllib.parse


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            digest.update(chunk)
    return digest.hexdigest()


def unit_key(char):
    """One character's key in the launcher's letter-case rule (bx::file_name_key): the capital
    letter that Windows folds it to, or the character itself. A letter folds only to a one-letter
    capital whose own small letter it is, so ß is not SS, the Kelvin sign is not K, and µ, ſ, ς
    and the title-case letters such as ǅ keep their case. Characters beyond the BMP (two UTF-16
    units) keep their case too."""
    if ord(char) > 0xFFFF:
        return char
    capital = char.upper()
    if len(capital) != 1:
        capital = char.title()  # ᾳ has the one-letter capital ᾼ; ß has none
    return capital if len(capital) == 1 and capital.lower() == char else char


def file_name_key(path):
    """Two paths name one file on the player's disk exactly when their keys are equal."""
    return "".join(unit_key(char) for char in path)


def refuse(text):
    sys.exit(f"make_manifest.py: {text}; nothing written")


def refuse_letter_case_twins(files):
    seen = {}
    for entry in files:
        twin = seen.setdefault(file_name_key(entry["path"]), entry["path"])
        if twin != entry["path"]:
            refuse(f"'{twin}' and '{entry['path']}' differ only in letter case, so they are one "
                   f"file on Windows; the launcher would refuse the manifest")


def entries(folder, base_url, excluded):
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            full = os.path.join(root, name)
            rel = os.path.relpath(full, folder).replace(os.sep, "/")
            if rel in excluded or name in excluded or not os.path.isfile(full):
                continue
            url = urllib.parse.quote(rel, safe="/")
            if base_url:
                url = base_url.rstrip("/") + "/" + url
            yield {"path": rel, "url": url, "size": os.path.getsize(full),
                   "sha256": sha256_of(full)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--base-url", default="",
                        help="absolute URL the files are served under (default: relative URLs)")
    parser.add_argument("--exclude", action="append", default=[],
                        help="a relative path or file name to leave out (repeatable)")
    parser.add_argument("-o", "--output", help="manifest file (default: standard output)")
    args = parser.parse_args()
    if not os.path.isdir(args.folder):
        sys.exit(f"not a folder: {args.folder}")
    files = list(entries(args.folder, args.base_url, set(args.exclude)))
    if not files:
        refuse(f"no files in {args.folder}" + (" besides the excluded ones" if args.exclude else "")
               + ": a manifest without files makes the launcher remove every file it installed")
    refuse_letter_case_twins(files)
    manifest = {"schema": 1, "files": files}
    text = json.dumps(manifest, ensure_ascii=False, indent=2) + "\n"
    if args.output:
        tmp = args.output + ".tmp"
        with open(tmp, "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
        os.replace(tmp, args.output)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
