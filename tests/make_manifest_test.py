#!/usr/bin/env python3
"""tools/make_manifest.py as an operator runs it: the manifest it writes, and what it refuses.

    make_manifest_test.py [--name-keys EXE [--emulator=WINE]]

With --name-keys, the letter-case rule of the tool is compared, for every character of the BMP,
with the launcher's own (the fixture name_keys, run under the emulator when one is given).
"""

import argparse
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import unittest

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools")
TOOL = os.path.join(TOOLS, "make_manifest.py")
sys.path.insert(0, TOOLS)
import make_manifest  # noqa: E402

LAUNCHER = {}  # --name-keys and --emulator


class Folder:
    """A game folder of one case, with the place of its manifest beside it."""

    def __init__(self, scratch, *paths):
        self.root = tempfile.mkdtemp(dir=scratch)
        self.game = os.path.join(self.root, "game")
        self.output = os.path.join(self.root, "manifest.json")
        os.mkdir(self.game)
        for path in paths:
            self.add(path)

    def add(self, path, content=b"x"):
        full = os.path.join(self.game, *path.split("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as file:
            file.write(content)

    def make(self, *options):
        return subprocess.run([sys.executable, TOOL, self.game, "-o", self.output, *options],
                              capture_output=True, text=True, encoding="utf-8")

    def manifest(self):
        with open(self.output, encoding="utf-8") as file:
            return json.load(file)


class MakeManifestTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.addCleanup(self.scratch.cleanup)

    def folder(self, *paths):
        return Folder(self.scratch.name, *paths)

    def assert_refused(self, folder, done, *words):
        self.assertNotEqual(done.returncode, 0)
        for word in words + ("nothing written",):
            self.assertIn(word, done.stderr)
        self.assertEqual(os.listdir(folder.root), ["game"])

    def test_lists_every_file_with_its_size_digest_and_url(self):
        folder = self.folder()
        folder.add("data/a b.pak", b"abc")
        folder.add("Braxholm.bin", b"")
        done = folder.make("--base-url", "https://cdn.example.org/game/")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(folder.manifest(), {"schema": 1, "files": [
            {"path": "Braxholm.bin", "url": "https://cdn.example.org/game/Braxholm.bin",
             "size": 0, "sha256": hashlib.sha256(b"").hexdigest()},
            {"path": "data/a b.pak", "url": "https://cdn.example.org/game/data/a%20b.pak",
             "size": 3, "sha256": hashlib.sha256(b"abc").hexdigest()},
        ]})

    # A manifest without files would make the launcher remove every file it installed.
    def test_refuses_a_folder_without_files(self):
        folder = self.folder()
        os.mkdir(os.path.join(folder.game, "empty folder"))
        self.assert_refused(folder, folder.make(), "no files in", "remove every file")
        folder.add("Thumbs.db")
        self.assert_refused(folder, folder.make("--exclude", "Thumbs.db"),
                            "besides the excluded ones")

    def test_a_refusal_leaves_the_manifest_already_published(self):
        folder = self.folder("É.pak", "é.pak")
        with open(folder.output, "w", encoding="utf-8") as file:
            file.write('{"schema": 1, "files": ["the published one"]}')
        self.assertNotEqual(folder.make().returncode, 0)
        self.assertEqual(folder.manifest(), {"schema": 1, "files": ["the published one"]})
        self.assertEqual(sorted(os.listdir(folder.root)), ["game", "manifest.json"])

    def test_refuses_paths_that_windows_takes_for_one_file(self):
        twins = [("É.pak", "é.pak"), ("Data/Music.bin", "data/music.BIN"),
                 ("Ωmega.dat", "ωmega.dat"), ("ǆ.pak", "Ǆ.pak"), ("ᾳ.pak", "ᾼ.pak")]
        for first, second in twins:
            with self.subTest(first=first, second=second):
                folder = self.folder(first, second)
                self.assert_refused(folder, folder.make(), f"'{first}'", f"'{second}'",
                                    "letter case")

    # Letters that a language's rules would fold but Windows does not: distinct files.
    def test_keeps_paths_that_windows_keeps_apart(self):
        apart = [("straße.pak", "STRASSE.pak"), ("ß.pak", "ẞ.pak"),
                 ("\u212a.pak", "k.pak"),  # the Kelvin sign
                 ("\U00010400.pak", "\U00010428.pak")]  # Deseret, beyond the BMP
        for first, second in apart:
            with self.subTest(first=first, second=second):
                folder = self.folder(first, second)
                done = folder.make()
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual({entry["path"] for entry in folder.manifest()["files"]},
                                 {first, second})

    def test_folds_every_character_as_the_launcher_does(self):
        if not LAUNCHER:
            self.skipTest("needs --name-keys")
        command = [LAUNCHER["emulator"]] if LAUNCHER["emulator"] else []
        done = subprocess.run(command + [LAUNCHER["name_keys"]], capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=300)
        self.assertEqual(done.returncode, 0, done.stderr)
        launcher = {int(unit, 16): int(key, 16)
                    for unit, key in (line.split() for line in done.stdout.splitlines())}
        self.assertGreater(len(launcher), 1000)
        differ = [f"U+{unit:04X}: tool U+{ord(make_manifest.unit_key(chr(unit))):04X}, "
                  f"launcher U+{launcher.get(unit, unit):04X}"
                  for unit in range(1, 0x10000) if not 0xD800 <= unit <= 0xDFFF
                  and ord(make_manifest.unit_key(chr(unit))) != launcher.get(unit, unit)]
        self.assertEqual(differ, [])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--name-keys")
    parser.add_argument("--emulator")
    args, rest = parser.parse_known_args()
    if args.name_keys:
        LAUNCHER.update(name_keys=args.name_keys, emulator=args.emulator)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
