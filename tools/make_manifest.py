#!/usr/bin/env python3
"""Writes the launcher's patch manifest for a folder of game files.

Every regular file below FOLDER becomes one entry: its path relative to FOLDER with '/'
separators, its download URL, its size in bytes and its SHA-256 digest. The URL is the
percent-encoded path, either relative (resolved by the launcher against the manifest's own
URL) or prefixed with --base-url.

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
    manifest = {"schema": 1, "files": list(entries(args.folder, args.base_url, set(args.exclude)))}
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
