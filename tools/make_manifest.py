#!/usr/bin/env python3
"""Writes the launcher's patch manifest for a folder of game files.

Every regular file below FOLDER becomes one entry: its path relative to FOLDER with '/'
separators, its download URL, its size in bytes and its SHA-256 digest. The URL is the
percent-encoded path, either relative (resolved by the launcher against the manifest's own
URL) or appended to --base-url. The manifest itself (-o) and its temporary file are never
listed, so -o may point into FOLDER; --exclude leaves out a file or a whole folder.

It refuses, writing nothing and naming each path, whatever the launcher would refuse or a
player's Windows could not create: a folder without files (a manifest without files makes the
launcher remove every file it installed); two paths that differ only in letter case as Windows
folds it; names that hold \\ : * ? " < > | or a control character, that end in a dot or a blank,
that are device names (CON, aux.txt, COM1, ...) or not valid UTF-8; and the launcher's own
working names (its record .kadeorvindal-managed.json and that name with .tmp, and a listed
file's name with .download appended).

    tools/make_manifest.py FOLDER [--base-url URL] [--exclude PATH ...] [-o manifest.json]
"""
import argparse
import hashlib
import json
import os
import sys
import urllib.parse

STATE_FILE = ".kadeorvindal-managed.json"
WORKING_NAMES = (STATE_FILE, STATE_FILE + ".tmp")
DOWNLOAD_SUFFIX = ".download"
FORBIDDEN = frozenset('\\:*?"<>|') | frozenset(chr(code) for code in range(0x20))
DEVICE_NAMES = frozenset(("CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"))
DEVICE_NUMBERS = frozenset("0123456789\u00b9\u00b2\u00b3")
ASCII_UPPER = str.maketrans("abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ")


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


def shown(path):
    """The path as a message can show it: bytes that are not UTF-8 and control characters
    written as \\xNN."""
    try:
        text = path.encode("utf-8", "surrogateescape").decode("utf-8", "backslashreplace")
    except UnicodeEncodeError:  # a lone surrogate that no byte stands for
        text = path.encode("utf-8", "backslashreplace").decode("utf-8")
    return "'" + "".join(f"\\x{ord(c):02x}" if ord(c) < 0x20 else c for c in text) + "'"


def is_device_name(segment):
    """CON, aux.txt, com1 and the like: the name before the first dot, blanks at its end left
    out, is one of Windows' devices, whatever the letter case."""
    base = segment.split(".", 1)[0].rstrip(" ").translate(ASCII_UPPER)
    return base in DEVICE_NAMES or (len(base) == 4 and base[:3] in ("COM", "LPT")
                                    and base[3] in DEVICE_NUMBERS)


def name_problem(path):
    """Why the launcher refuses this one path on its own, or None."""
    try:
        path.encode("utf-8")
    except UnicodeEncodeError:
        return "is not valid UTF-8"
    forbidden = sorted(set(path) & FORBIDDEN)
    if forbidden:
        return (f"holds {shown(''.join(forbidden))}, which no Windows file name may hold "
                f"(\\ : * ? \" < > | and control characters)")
    segments = path.split("/")
    if any(segment in ("", ".", "..") for segment in segments):
        return "has an empty, '.' or '..' segment"
    for segment in segments:
        if segment.endswith((".", " ")):
            return f"{shown(segment)} ends in a dot or a blank, which Windows drops"
        if is_device_name(segment):
            return f"{shown(segment)} is a Windows device name"
    if file_name_key(segments[0]) in {file_name_key(name) for name in WORKING_NAMES}:
        return "is the launcher's own record file (or lies beneath its name)"
    return None


def download_name_problems(paths):
    """Paths at or beneath another listed path's download name ("<path>.download"), where the
    launcher writes that file before moving it into place."""
    listed = {file_name_key(path): path for path in paths}
    for path in paths:
        prefix = path
        while True:
            stem = prefix[:-len(DOWNLOAD_SUFFIX)]
            if (len(prefix) > len(DOWNLOAD_SUFFIX)
                    and prefix[len(stem):].translate(ASCII_UPPER) == DOWNLOAD_SUFFIX.upper()
                    and file_name_key(stem) in listed):
                yield path, (f"is where the launcher downloads {shown(listed[file_name_key(stem)])}"
                             " before moving it into place")
                break
            if "/" not in prefix:
                break
            prefix = prefix.rsplit("/", 1)[0]


def letter_case_problems(paths):
    seen = {}
    for path in paths:
        twin = seen.setdefault(file_name_key(path), path)
        if twin != path:
            yield path, (f"and {shown(twin)} differ only in letter case, so they are one file on "
                         "Windows")


def path_problems(paths):
    """Every (path, reason) for which the launcher would refuse a manifest of these paths."""
    return ([(path, reason) for path in paths if (reason := name_problem(path))]
            + list(letter_case_problems(paths)) + list(download_name_problems(paths)))


def base_url_problem(url):
    parts = urllib.parse.urlsplit(url)
    try:
        parts.port
    except ValueError:
        return "has an invalid port"
    if parts.scheme.lower() not in ("http", "https") or not parts.hostname:
        return "is not an absolute http:// or https:// URL"
    if "@" in parts.netloc:
        return "holds a user name or password"
    if parts.query or parts.fragment:
        return "holds a query or fragment, to which no file path can be appended"
    return None


def file_identity(path):
    try:
        status = os.stat(path)
    except OSError:
        return None
    return status.st_dev, status.st_ino


def relative_path(path):
    return path.replace(os.sep, "/").strip("/")


def entries(folder, base_url, excluded, skipped=()):
    """The entries of every file below folder, sorted, leaving out the excluded paths and names
    (folders with everything beneath them) and the files whose identity is in skipped."""
    for root, dirs, files in os.walk(folder):
        base = os.path.relpath(root, folder)
        base = "" if base == "." else relative_path(base) + "/"
        dirs[:] = sorted(name for name in dirs
                         if name not in excluded and base + name not in excluded)
        for name in sorted(files):
            full = os.path.join(root, name)
            rel = base + name
            if (rel in excluded or name in excluded or not os.path.isfile(full)
                    or file_identity(full) in skipped):
                continue
            url = urllib.parse.quote(rel, safe="/", errors="surrogateescape")
            if base_url:
                url = base_url.rstrip("/") + "/" + url
            yield {"path": rel, "url": url, "size": os.path.getsize(full),
                   "sha256": sha256_of(full)}


def refuse(lines):
    sys.exit("make_manifest.py: " + "\n  ".join(lines) + "\nnothing written")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--base-url", default="",
                        help="absolute http(s) URL the files are served under, without user "
                             "name, password, query or fragment (default: relative URLs)")
    parser.add_argument("--exclude", action="append", default=[],
                        help="a relative path or a name of a file or folder to leave out; a "
                             "folder is left out with everything beneath it (repeatable)")
    parser.add_argument("-o", "--output", help="manifest file (default: standard output)")
    args = parser.parse_args()
    if not os.path.isdir(args.folder):
        sys.exit(f"not a folder: {args.folder}")
    if args.base_url and (problem := base_url_problem(args.base_url)):
        refuse([f"--base-url {args.base_url!r} {problem}"])
    excluded = {relative_path(path) for path in args.exclude}
    skipped = set()
    if args.output:
        skipped = {file_identity(path) for path in (args.output, args.output + ".tmp")} - {None}
    files = list(entries(args.folder, args.base_url, excluded, skipped))
    if not files:
        refuse([f"no files in {args.folder}" + (" besides the excluded ones" if excluded else "")
                + ": a manifest without files makes the launcher remove every file it installed"])
    problems = path_problems([entry["path"] for entry in files])
    if problems:
        refuse([f"{shown(path)} {reason}" for path, reason in problems]
               + ["the launcher would refuse the manifest (or players could not install it)"])
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
