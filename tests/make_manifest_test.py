#!/usr/bin/env python3
"""tools/make_manifest.py as an operator runs it: the manifest it writes, and what it refuses.

    make_manifest_test.py [--name-keys EXE] [--manifest-verdicts EXE] [--sync-runner EXE]
                          [--emulator=WINE]

The launcher's side, each run under the emulator when one is given: with --name-keys the
letter-case rule of the tool is compared, for every character of the BMP, with the launcher's own
(the fixture name_keys); with --manifest-verdicts a table of file names goes through the tool and
through the launcher's manifest check (the fixture manifest_verdicts), which must refuse the same
ones; with --sync-runner the launcher installs a game from a folder and manifest that the tool
made, served by a web server on 127.0.0.1, and then finds it up to date.
"""

import argparse
import functools
import hashlib
import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading
import unittest

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools")
TOOL = os.path.join(TOOLS, "make_manifest.py")
sys.path.insert(0, TOOLS)
import make_manifest  # noqa: E402

LAUNCHER = {}  # the fixtures given on the command line, and "emulator"


def launcher_command(fixture, *arguments):
    """The command that runs one of the launcher's fixtures, or None when it was not given."""
    if not LAUNCHER.get(fixture):
        return None
    emulator = [LAUNCHER["emulator"]] if LAUNCHER.get("emulator") else []
    return emulator + [LAUNCHER[fixture], *arguments]


def windows_path(path):
    """A path of this machine as the launcher's fixture sees it (under Wine, the drive Z:)."""
    return "Z:" + path.replace("/", "\\") if LAUNCHER.get("emulator") else path


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

    def paths(self):
        return [entry["path"] for entry in self.manifest()["files"]]

    def unchecked_manifest(self):
        """The manifest of this folder as the tool lists it, before it judges the paths."""
        return {"schema": 1, "files": list(make_manifest.entries(self.game, "", set()))}


# The table that tool and launcher must judge alike: the files of one folder, and whether a
# manifest of them is accepted.
SHARED_NAMES = [
    (("a b/c.pak",), True),
    (("ñandú/canción.ogg", "日本語/テスト.dat"), True),
    (("a#b%c&d'e(f)g+h,i;j=k@l[m]n^o`p{q}r~s",), True),
    (("x\x7fy",), True),
    (("console.txt", "COM10", "aux_files/a", "nul-point.pak", "LPT.log"), True),
    (("x.bin", "x.bin.downloaded", "y.download"), True),
    ((".kadeorvindal-managed.jsonx", "data/.kadeorvindal-managed.json"), True),
    (("bad?.dat",), False),
    (("a*.pak",), False),
    (("<a>",), False),
    (("a|b",), False),
    (('say"hi".txt',), False),
    (("x\x01y",), False),
    (("x\x1fy",), False),
    (("tab\tname",), False),
    (("back\\slash",), False),
    (("C:x",), False),
    (("stream:x",), False),
    (("a.",), False),
    (("a ",), False),
    (("dir./a",), False),
    (("dir /a",), False),
    (("CON",), False),
    (("aux.txt",), False),
    (("data/nul",), False),
    (("Com1.log",), False),
    (("lpt9",), False),
    (("COM0",), False),
    (("LPT\u00b9.log",), False),
    (("AUX .txt",), False),
    (("con.d/x",), False),
    (("CONIN$",), False),
    (("conout$.x",), False),
    ((".kadeorvindal-managed.json",), False),
    ((".KADEORVINDAL-MANAGED.JSON.tmp",), False),
    ((".kadeorvindal-managed.json/x",), False),
    (("x.bin", "x.bin.download"), False),
    (("\u00c9.bin", "\u00e9.bin.DOWNLOAD/y"), False),
    (("\u00c9.pak", "\u00e9.pak"), False),
    (("\udcff.pak",), False),  # a byte that is not UTF-8
]


class StaticServer:
    """A web server on 127.0.0.1 that serves a folder as it lies, as an operator publishes one,
    and notes the path of every request."""

    def __init__(self, folder):
        requests = self.requests = []

        class Handler(http.server.SimpleHTTPRequestHandler):
            def log_message(self, format, *args):
                requests.append(self.path)

        self.httpd = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Handler, directory=folder))
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.httpd.server_address[1], path)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *_):
        self.httpd.shutdown()
        self.httpd.server_close()


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

    def test_never_lists_its_own_output_or_temporary_file(self):
        folder = self.folder("a.pak", "data/b.pak")
        inside = os.path.join(folder.game, "manifest.json")
        with open(inside + ".tmp", "w", encoding="utf-8") as file:
            file.write("left by an interrupted run")
        runs = [subprocess.run([sys.executable, TOOL, folder.game, "-o", inside],
                               capture_output=True, text=True, encoding="utf-8")
                for _ in range(2)]
        for done in runs:
            self.assertEqual(done.returncode, 0, done.stderr)
        folder.output = inside
        self.assertEqual(folder.paths(), ["a.pak", "data/b.pak"])

    def test_an_excluded_folder_leaves_out_everything_beneath_it(self):
        folder = self.folder("a.pak", ".git/HEAD", ".git/objects/ab/cdef", "data/cache/x.tmp",
                             "data/cache/deep/y.tmp", "data/keep.pak", "data/.git/config",
                             "cache/top.pak")
        done = folder.make("--exclude", ".git", "--exclude", "data/cache/")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(folder.paths(), ["a.pak", "cache/top.pak", "data/keep.pak"])

    def test_refuses_a_base_url_the_launcher_cannot_use(self):
        refused = [("cdn.example.org/game", "absolute"), ("/game", "absolute"),
                   ("ftp://cdn.example.org/game", "absolute"), ("https://", "absolute"),
                   ("https://user:pw@cdn.example.org/game", "user name or password"),
                   ("https://user@cdn.example.org/game", "user name or password"),
                   ("https://cdn.example.org/game?v=2", "query or fragment"),
                   ("https://cdn.example.org/game#x", "query or fragment"),
                   ("https://cdn.example.org:99999/game", "port")]
        for url, words in refused:
            with self.subTest(url=url):
                folder = self.folder("a.pak")
                self.assert_refused(folder, folder.make("--base-url", url), repr(url), words)
        folder = self.folder("a.pak")
        done = folder.make("--base-url", "HTTP://127.0.0.1:8080")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(folder.manifest()["files"][0]["url"], "HTTP://127.0.0.1:8080/a.pak")

    # What players could never install is refused however it arose, naming every such path.
    def test_refuses_every_name_the_launcher_refuses_naming_each(self):
        folder = self.folder("good.pak", "bad?.dat", "CON.txt", "data/a.", "x.bin",
                             "x.bin.download")
        self.assert_refused(folder, folder.make(), "'bad?.dat'", "'CON.txt'", "'data/a.'",
                            "'x.bin.download'", "'x.bin'")

    def test_tool_and_launcher_refuse_the_same_names(self):
        folders, tool = [], []
        for paths, accepted in SHARED_NAMES:
            folder = self.folder(*paths)
            done = folder.make()
            folders.append(folder)
            tool.append(done.returncode == 0)
            with self.subTest(paths=paths):
                self.assertEqual(tool[-1], accepted, done.stderr)
                if not accepted:
                    self.assertTrue(any(make_manifest.shown(path) in done.stderr
                                        for path in paths), done.stderr)
        command = launcher_command("manifest_verdicts")
        if not command:
            self.skipTest("the launcher's side needs --manifest-verdicts")
        manifests = json.dumps([folder.unchecked_manifest() for folder in folders],
                               ensure_ascii=False)
        done = subprocess.run(command, input=manifests.encode("utf-8", "surrogateescape"),
                              capture_output=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        verdicts = json.loads(done.stdout.decode("utf-8", "surrogateescape"))
        self.assertEqual(len(verdicts), len(SHARED_NAMES))
        for (paths, accepted), verdict in zip(SHARED_NAMES, verdicts):
            with self.subTest(paths=paths):
                self.assertEqual(verdict is None, accepted, verdict)

    # The operator's way of publishing: the manifest written into the folder it lists, twice,
    # and the folder served as it is. The player's launcher installs the game from it, and then
    # finds it up to date without fetching anything but the manifest.
    def test_an_install_from_a_manifest_written_into_its_folder_is_up_to_date(self):
        command = launcher_command("sync_runner")
        if not command:
            self.skipTest("needs --sync-runner")
        folder = self.folder()
        contents = {"Braxholm.bin": b"game" * 1000, "data/mapa del norte.pak": b"north",
                    "m\u00fasica/canci\u00f3n.ogg": b"song",
                    "\u65e5\u672c\u8a9e/\u30c6\u30b9\u30c8.dat": b"\x00\x01"}
        for path, content in contents.items():
            folder.add(path, content)
        folder.output = os.path.join(folder.game, "manifest.json")
        for _ in range(2):
            done = folder.make()
            self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(folder.paths(), sorted(contents))

        player = os.path.join(folder.root, "player")
        with StaticServer(folder.game) as server:
            for run in range(2):
                server.requests.clear()
                done = subprocess.run(command + [server.url("/manifest.json"),
                                                 windows_path(player)],
                                      capture_output=True, text=True, timeout=120,
                                      stdin=subprocess.DEVNULL)
                self.assertEqual(done.returncode, 0, done.stderr)
                expected = len(contents) + 1 if run == 0 else 1
                self.assertEqual(len(server.requests), expected, server.requests)
        for path, content in contents.items():
            with open(os.path.join(player, *path.split("/")), "rb") as file:
                self.assertEqual(file.read(), content, path)
        self.assertFalse(os.path.exists(os.path.join(player, "manifest.json")))

    def test_folds_every_character_as_the_launcher_does(self):
        command = launcher_command("name_keys")
        if not command:
            self.skipTest("needs --name-keys")
        done = subprocess.run(command, capture_output=True, text=True,
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
    for fixture in ("name-keys", "manifest-verdicts", "sync-runner"):
        parser.add_argument("--" + fixture)
    parser.add_argument("--emulator")
    args, rest = parser.parse_known_args()
    LAUNCHER.update(name_keys=args.name_keys, manifest_verdicts=args.manifest_verdicts,
                    sync_runner=args.sync_runner, emulator=args.emulator)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
