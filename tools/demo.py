#!/usr/bin/env python3
"""The launcher's main job in one command (what ./dev demo runs after the build).

    tools/demo.py --build-dir BUILD [--fresh]

It generates a small game (BUILD/demo/server/game) and its patch manifest with
tools/make_manifest.py, serves both on 127.0.0.1 with the demo mode of the test server (status,
manifest, files, accounts), writes a branded configuration (BUILD/demo/launcher.json, game
directory BUILD/demo/game) and starts the real launcher under Wine in a prefix of the demo's
own (BUILD/demo/wineprefix).

With a DISPLAY the window opens there to be played by hand. Without one it runs on Xvfb and
plays itself: it waits for the server to show as online, presses download/verify, types a user
name and the password, presses Enter, reads the game's message box and closes it. Screenshots
go to BUILD/demo/. The exit code is 0 only when the game was started with the expected
arguments in the game directory.

The server stops once the launcher and the game it started have ended. The game directory is
kept between runs, so a second run finds the game installed and up to date; --fresh empties it.
"""

import argparse
import hashlib
import json
import os
import pathlib
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "fixtures" / "test_server"))
import demo_server  # noqa: E402
from wine_gui import XvfbDisplay, host_to_wine  # noqa: E402
from wine_gui import wait_until as wait_for  # noqa: E402

PASSWORD = "demo"
PLAYER = "ana"
GAME_EXECUTABLE = "Braxholm.exe"
GAME_CAPTION = "Braxholm (demo game)"
WINDOW_TITLE = "Kade Orvindal - Demo"
STATUS_ONLINE = "\u2022  SERVIDOR DEMO EN L\u00cdNEA"
LAUNCH_ARGUMENTS = ["-user", "{username}", "-pass", "{password}", "-channel", "{channel}"]
DISPLAYS = range(90, 100)
RATE = 3 << 20  # bytes per second per file: the large file takes a few seconds
ID_USERNAME, ID_PASSWORD, ID_DOWNLOAD = 101, 102, 105
DOWNLOADED = "\u00a1Descarga completa!"
UP_TO_DATE = "El juego est\u00e1 al d\u00eda."

# The demo game's files besides the executable: (path, size, seed). Seeded, so every run
# generates the same bytes and an installed game stays up to date.
DATA_FILES = [("data/world.pak", 12 << 20, 1), ("data/textures.pak", 768 << 10, 2)]
TEXT_FILES = {
    "config/client.ini": "[client]\nlanguage=es\nwindowed=1\n",
    "LEEME.txt": "Braxholm - juego de demostraci\u00f3n del launcher de Kade Orvindal.\n",
}


class DemoFailure(Exception):
    pass


def wait_until(condition, seconds, what):
    return wait_for(condition, seconds, what, DemoFailure)


def say(text):
    print("demo: " + text, flush=True)


def legacy_hex(password):
    return "".join("%02x" % ord(c) for c in password)


# ---------------------------------------------------------------------------------------------
# Paths of the build and of the demo's own folder.

class Paths:
    def __init__(self, build_dir):
        build = pathlib.Path(build_dir).resolve()
        windows = build / "windows"
        fixtures = windows / "tests" / "fixtures"
        self.launcher = windows / "window" / "KadeOrvindalLauncher.exe"
        self.demo_game = fixtures / "demo_game" / "demo_game.exe"
        self.box_probe = fixtures / "demo_game" / "message_box_probe.exe"
        self.window_probe = fixtures / "window_probe" / "window_probe.exe"
        self.demo = build / "demo"
        self.served = self.demo / "server" / "game"
        self.manifest = self.demo / "server" / "manifest.json"
        self.game = self.demo / "game"
        self.config = self.demo / "launcher.json"
        self.record = self.demo / "game-record.json"
        self.prefix = self.demo / "wineprefix"
        self.server_log = self.demo / "server.log"
        self.wine_log = self.demo / "wine.log"

    def check_built(self):
        if not self.launcher.is_file():
            raise DemoFailure(
                "the launcher executable is missing: %s\n      The build made everything else; "
                "KadeOrvindalLauncher is built only when window/main.cpp exists." % self.launcher)
        for program in (self.demo_game, self.box_probe, self.window_probe):
            if not program.is_file():
                raise DemoFailure("a development fixture is missing: %s" % program)


# ---------------------------------------------------------------------------------------------
# The game on the server side, its manifest, and the launcher's configuration.

def write_if_changed(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    if not path.is_file() or path.read_bytes() != data:
        path.write_bytes(data)


def generate_game(paths):
    write_if_changed(paths.served / GAME_EXECUTABLE, paths.demo_game.read_bytes())
    for name, size, seed in DATA_FILES:
        target = paths.served / name
        if not target.is_file() or target.stat().st_size != size:
            write_if_changed(target, random.Random(seed).randbytes(size))
    for name, text in TEXT_FILES.items():
        write_if_changed(paths.served / name, text.replace("\n", "\r\n").encode("utf-8"))


def make_manifest(paths, files_url):
    subprocess.run([sys.executable, str(ROOT / "tools" / "make_manifest.py"), str(paths.served),
                    "--base-url", files_url, "-o", str(paths.manifest)], check=True)
    return json.loads(paths.manifest.read_text(encoding="utf-8"))["files"]


def write_config(paths, server):
    config = {
        "_comment": "Written by ./dev demo for the local demo server",
        "serverName": "Kade Orvindal",
        "loginUrl": server.url(demo_server.SESSION_PATH),
        "gameDirectory": "game",
        "gameExecutable": GAME_EXECUTABLE,
        "launchArguments": LAUNCH_ARGUMENTS,
        "patchManifestUrl": server.url(demo_server.MANIFEST_PATH),
        "statusUrl": server.url("/healthz"),
        "registrationUrl": server.url("/register"),
        "loginTimeoutSeconds": 15,
        "closeAfterLaunch": True,
        "autoDownloadWhenMissing": False,
        "branding": {
            "windowTitle": WINDOW_TITLE,
            "eyebrow": "SERVIDOR DE DEMOSTRACI\u00d3N",
            "heroTitle": "Bienvenido a\nBraxholm",
            "heroDescription": "Un servidor local en 127.0.0.1 sirve el juego, la lista de "
                               "archivos y las cuentas.",
            "panelTitle": "DEMO LOCAL",
            "playButton": "JUGAR",
            "checkFilesButton": "DESCARGAR / VERIFICAR",
            "idleText": "Cualquier usuario, contrase\u00f1a \u201c%s\u201d." % PASSWORD,
            "protocolLabel": "SERVIDOR",
            "protocolText": "127.0.0.1:%d" % server.port,
            "statusChecking": "\u2022  BUSCANDO EL SERVIDOR DEMO",
            "statusOnline": STATUS_ONLINE,
            "statusOffline": "\u2022  SERVIDOR DEMO APAGADO",
            "heroWidthPercent": 55,
            "colors": {
                "background": "#0B0D12", "hero": "#10141C", "card": "#161B24",
                "field": "#1E2530", "muted": "#8F99A8", "accent": "#3FA7F5",
                "success": "#48C78E", "text": "#F7F9FC", "darkStripe": "#14283A",
                "accentStripe": "#2A5B8B", "border": "#414C5A",
            },
        },
    }
    text = json.dumps(config, indent=2, ensure_ascii=False) + "\n"
    paths.config.write_text(text, encoding="utf-8")


# ---------------------------------------------------------------------------------------------
# Wine, the X server and screenshots.

class Wine:
    def __init__(self, paths, display):
        self.paths = paths
        self.env = dict(os.environ)
        for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                     "ALL_PROXY", "no_proxy", "NO_PROXY"):
            self.env.pop(name, None)
        self.env.update({"WINEPREFIX": str(paths.prefix), "WINEDEBUG": "-all",
                         "WINEDLLOVERRIDES": "mscoree,mshtml=", "DISPLAY": display,
                         "BX_DEMO_GAME_RECORD": host_to_wine(paths.record)})
        self.log = open(paths.wine_log, "ab")

    def boot(self):
        if (self.paths.prefix / "system.reg").exists():
            return
        say("preparing the demo's Wine prefix (first run only)")
        self.paths.prefix.mkdir(parents=True, exist_ok=True)
        env = dict(self.env)
        env.pop("DISPLAY")
        subprocess.run(["wine", "wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=self.log, stderr=self.log, check=True, timeout=600)
        subprocess.run(["wineserver", "-w"], env=env, timeout=600)

    def start(self, program, *arguments):
        return subprocess.Popen(["wine", str(program), *arguments], env=self.env,
                                stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)

    def run(self, program, *arguments, timeout=180):
        """Runs a helper to its end; returns (exit code, standard output)."""
        # Its output goes through a file: a Wine service process started meanwhile would
        # inherit a pipe and hold it open long after the helper has ended.
        with tempfile.TemporaryFile() as output:
            result = subprocess.run(["wine", str(program), *arguments], env=self.env,
                                    stdin=subprocess.DEVNULL, stdout=output, stderr=self.log,
                                    timeout=timeout)
            output.seek(0)
            return result.returncode, output.read()

    def wait_all_ended(self):
        """Every program of the demo's prefix has ended (the game included)."""
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=None)

    def kill(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


class XServer(XvfbDisplay):
    def __init__(self):
        super().__init__(DISPLAYS)

    def start(self):
        try:
            return super().start()
        except RuntimeError as error:
            raise DemoFailure(str(error)) from None


def x_tool(env, *arguments):
    result = subprocess.run([str(a) for a in arguments], env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=60)
    return result.stdout.decode(errors="replace")


def x_window(env, title):
    pattern = re.sub(r"([.\[\](){}*+?|^$\\])", r"\\\1", title)  # a POSIX extended regex
    found = x_tool(env, "xdotool", "search", "--name", "^%s$" % pattern).split()
    return found[0] if found else None


def x_geometry(env, window):
    """(left, top, width, height) of an X window on the screen."""
    info = x_tool(env, "xwininfo", "-id", window)
    value = lambda label: int(info.split(label)[1].split()[0])  # noqa: E731
    return (value("Absolute upper-left X:"), value("Absolute upper-left Y:"),
            value("Width:"), value("Height:"))


def screenshot(env, window, target):
    left, top, width, height = x_geometry(env, window)
    raw = subprocess.run(["xwd", "-root", "-silent"], env=env, capture_output=True, check=True,
                         timeout=60).stdout
    subprocess.run(["convert", "xwd:-", "-crop", "%dx%d+%d+%d" % (width, height, left, top),
                    "+repage", str(target)], input=raw, check=True, timeout=60)
    say("screenshot %s" % target)


# ---------------------------------------------------------------------------------------------
# The launcher window as the window probe reads it.

class Window:
    def __init__(self, wine):
        self.wine = wine
        self.xwindow = None
        self.last_status = None

    def state(self):
        _, output = self.wine.run(self.wine.paths.window_probe, "dump")
        try:
            state = json.loads(output.decode("utf-8"))
        except ValueError:
            return None
        return state if state.get("found") else None

    @staticmethod
    def control(state, control_id):
        for control in (state or {}).get("controls", []):
            if control["id"] == control_id:
                return control
        raise DemoFailure("the window has no control %d" % control_id)

    @staticmethod
    def status_line(state):
        # The status line is the control that follows the progress bar.
        controls = state["controls"]
        for index, control in enumerate(controls[:-1]):
            if control["class"].lower() == "msctls_progress32":
                return controls[index + 1]["text"]
        return ""

    @staticmethod
    def progress(state):
        # A window that is being destroyed may already have lost its controls.
        for control in state["controls"]:
            if control["class"].lower() == "msctls_progress32":
                return control
        return {"visible": False}

    def follow(self, state):
        """Prints the status line when its message or the progress quarter changes."""
        text = self.status_line(state)
        bar = self.progress(state)
        seen = (text.split("\n")[0], bar.get("position", 0) // 25 if bar["visible"] else -1)
        if text and seen != self.last_status:
            self.last_status = seen
            say("launcher: " + text.replace("\n", "  "))
        # While the launcher closes, the probe may list the game's box as one of its own.
        boxes = [box for box in state["boxes"] if box["title"] != GAME_CAPTION]
        if boxes:
            box = boxes[0]
            raise DemoFailure("the launcher shows a message box %r: %s" % (box["title"],
                                                                          box["text"]))
        return state

    def wait_for_focus(self, control_id):
        wait_until(lambda: (self.state() or {}).get("focus") == control_id, 30,
                   "the keyboard focus on control %d" % control_id)

    def type_text(self, control_id, text):
        x_tool(self.wine.env, "xdotool", "type", "--delay", "40", text)
        wait_until(lambda: self.control(self.state(), control_id)["textLength"] == len(text), 30,
                   "the typed text in control %d" % control_id)

    def click_control(self, state, control_id):
        rect = self.control(state, control_id)["rect"]
        env = self.wine.env
        # Without a window manager the X window may hold Wine's own frame around the client.
        _, _, width, height = x_geometry(env, self.xwindow)
        client_width, client_height = state["client"]
        border = max(0, (width - client_width) // 2)
        caption = max(0, height - client_height - border)
        x_tool(env, "xdotool", "mousemove", "--window", self.xwindow,
               border + rect[0] + rect[2] // 2, caption + rect[1] + rect[3] // 2, "click", "1")


def has_status(window, state, texts):
    window.follow(state)
    enabled = window.control(state, ID_DOWNLOAD)["enabled"]
    return enabled and any(window.status_line(state).startswith(t) for t in texts)


# ---------------------------------------------------------------------------------------------
# Playing by itself (no DISPLAY) and by hand.

def play_by_itself(paths, wine, launcher, downloads):
    fresh_download = downloads > 0
    env = wine.env
    window = Window(wine)
    if wine.run(paths.window_probe, "wait-window", "120")[0] != 0:
        raise DemoFailure("the launcher window did not appear (see %s)" % paths.wine_log)
    window.xwindow = wait_until(lambda: x_window(env, WINDOW_TITLE), 30, "the X window")
    say("the launcher window is open: %r" % WINDOW_TITLE)

    def online():
        current = window.state()
        if current and STATUS_ONLINE in [c["text"] for c in current["controls"]]:
            return current
        return None

    state = wait_until(online, 60, "the server to show as online")
    window.follow(state)
    say("the status probe answered: %r" % STATUS_ONLINE.strip("\u2022 "))
    time.sleep(0.5)
    screenshot(env, window.xwindow, paths.demo / "1-idle.png")

    say("pressing %r" % "DESCARGAR / VERIFICAR")
    window.click_control(state, ID_DOWNLOAD)
    shot_taken = False
    while True:
        state = window.state()
        if state is None:
            raise DemoFailure("the launcher window closed during download/verify")
        window.follow(state)
        bar = window.progress(state)
        if fresh_download and not shot_taken and bar["visible"] and \
                30 <= bar.get("position", 0) <= 80:
            screenshot(env, window.xwindow, paths.demo / "2-download.png")
            say("progress bar at %d %%" % bar["position"])
            shot_taken = True
        if has_status(window, state, (DOWNLOADED, UP_TO_DATE)):
            break
        time.sleep(0.3)
    if fresh_download and not shot_taken:
        say("the download ended before the screenshot; it shows the end")
        screenshot(env, window.xwindow, paths.demo / "2-download.png")
    elif not fresh_download:
        screenshot(env, window.xwindow, paths.demo / "2-up-to-date.png")
    expected = DOWNLOADED if fresh_download else UP_TO_DATE
    if not window.status_line(state).startswith(expected):
        raise DemoFailure("expected the launcher to say %r" % expected)

    say("logging in as %r with the password %r and pressing Enter" % (PLAYER, PASSWORD))
    window.click_control(state, ID_USERNAME)
    window.wait_for_focus(ID_USERNAME)
    window.type_text(ID_USERNAME, PLAYER)
    x_tool(env, "xdotool", "key", "Tab")
    window.wait_for_focus(ID_PASSWORD)
    window.type_text(ID_PASSWORD, PASSWORD)
    x_tool(env, "xdotool", "key", "Return")

    def game_box():
        current = window.state()
        if current is not None:
            window.follow(current)
        return x_window(env, GAME_CAPTION)

    box = wait_until(game_box, 120, "the game's message box")
    say("the game is running and shows its message box")
    time.sleep(0.5)
    screenshot(env, box, paths.demo / "3-game.png")
    code, output = wine.run(paths.box_probe, GAME_CAPTION, "30", "--press-ok")
    if code != 0:
        raise DemoFailure("the game's message box could not be read")
    box_text = output.decode("utf-8")
    say("the game's message box says:")
    for line in box_text.splitlines():
        print("      " + line, flush=True)
    say("pressed OK in the game's message box")
    try:
        launcher.wait(60)
    except subprocess.TimeoutExpired:
        raise DemoFailure("the launcher did not close after starting the game "
                          "(closeAfterLaunch is true)")
    say("the launcher closed itself after starting the game (exit code %d)" % launcher.returncode)
    return box_text


def play_by_hand(paths, wine, launcher):
    say("the launcher is open on %s: log in with any user name and the password %r"
        % (wine.env["DISPLAY"], PASSWORD))
    launcher.wait()
    say("the launcher has ended (exit code %d)" % launcher.returncode)
    return None


# ---------------------------------------------------------------------------------------------
# What the run must have done.

def verify(paths, server, manifest_files, downloads, box_text, by_hand):
    """Checks the game's record against what the server saw. The demo that played by itself
    knows exactly which requests it caused; a player by hand may have tried several times, so
    then only the last accepted login counts."""
    journal = server.journal()
    if not paths.record.is_file():
        raise DemoFailure("the game was not started (no %s)" % paths.record)
    record = json.loads(paths.record.read_text(encoding="utf-8"))

    def requests(method, path):
        return [e for e in journal if e["method"] == method and e["path"] == path]

    logins = [json.loads(bytes.fromhex(e["body_hex"]))
              for e in requests("POST", demo_server.SESSION_PATH)]
    accepted = [body["username"] for body in logins if body.get("password") == PASSWORD]
    player = accepted[-1] if by_hand and accepted else PLAYER
    expected = [a.replace("{username}", player).replace("{password}", legacy_hex(PASSWORD))
                .replace("{channel}", str(demo_server.CHANNEL)) for a in LAUNCH_ARGUMENTS]
    problems = []
    if record["arguments"][1:] != expected:
        problems.append("the game got the arguments %r, not %r" % (record["arguments"][1:],
                                                                   expected))
    if record["directory"].rstrip("\\").lower() != host_to_wine(paths.game).lower():
        problems.append("the game ran in %s, not in the game directory" % record["directory"])
    executable = host_to_wine(paths.game / GAME_EXECUTABLE).lower()
    if record["arguments"][0].lower() != executable:
        problems.append("the game started was %s" % record["arguments"][0])
    if box_text is not None and record["commandLine"] not in box_text:
        problems.append("the message box does not show the command line")
    if not by_hand:
        if logins != [{"username": PLAYER, "password": PASSWORD}]:
            problems.append("the server saw %d logins, not one with the typed user name and "
                            "password" % len(logins))
        starts = requests("POST", demo_server.START_PATH)
        if len(starts) != 1:
            problems.append("the server saw %d /start requests, not one" % len(starts))
        file_gets = [e for e in journal if e["method"] == "GET"
                     and e["path"].startswith(demo_server.FILES_PREFIX)]
        if len(file_gets) != downloads:
            problems.append("%d files were downloaded, not %d" % (len(file_gets), downloads))
    for entry in manifest_files:
        local = paths.game / entry["path"]
        if not local.is_file() or hashlib.sha256(local.read_bytes()).hexdigest() != entry["sha256"]:
            problems.append("%s is not the served file" % entry["path"])
    if problems:
        raise DemoFailure("; ".join(problems))
    say("the game was started in %s with %s" % (record["directory"], " ".join(expected)))


# ---------------------------------------------------------------------------------------------

def differing_files(paths, manifest_files):
    """How many files of the manifest the game directory lacks or holds in another version."""
    count = 0
    for entry in manifest_files:
        local = paths.game / entry["path"]
        if not local.is_file() or local.stat().st_size != entry["size"] or \
                hashlib.sha256(local.read_bytes()).hexdigest() != entry["sha256"]:
            count += 1
    return count


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--fresh", action="store_true", help="start from an empty game directory")
    arguments = parser.parse_args()
    paths = Paths(arguments.build_dir)
    by_hand = bool(os.environ.get("DISPLAY"))
    xserver = XServer()
    server = wine = launcher = None
    try:
        paths.check_built()
        paths.demo.mkdir(parents=True, exist_ok=True)
        for old in ["1-idle.png", "2-download.png", "2-up-to-date.png", "3-game.png",
                    "failure.png", paths.record.name]:
            (paths.demo / old).unlink(missing_ok=True)
        if arguments.fresh and paths.game.exists():
            shutil.rmtree(paths.game)
            say("emptied the game directory %s" % paths.game)
        paths.game.mkdir(parents=True, exist_ok=True)

        generate_game(paths)
        server_log = open(paths.server_log, "a")
        server = demo_server.DemoServer(paths.served, paths.manifest, PASSWORD, RATE,
                                        report=lambda line: print("demo: server: " + line,
                                                                  flush=True),
                                        log=server_log)
        manifest_files = make_manifest(paths, server.url(demo_server.FILES_PREFIX.rstrip("/")))
        total = sum(entry["size"] for entry in manifest_files)
        say("generated the demo game: %d files, %s, manifest %s"
            % (len(manifest_files), demo_server.human_size(total), paths.manifest))
        downloads = differing_files(paths, manifest_files)
        say("game directory %s: %s" % (paths.game, "%d of %d files to download" % (
            downloads, len(manifest_files)) if downloads else "the game is installed"))
        write_config(paths, server)
        server.start()
        say("demo server on %s (any user name, password %r)" % (server.url("/"), PASSWORD))
        say("configuration %s" % paths.config)

        display = os.environ["DISPLAY"] if by_hand else xserver.start()
        if not by_hand:
            say("no DISPLAY: running on Xvfb %s and playing by itself" % display)
        wine = Wine(paths, display)
        wine.boot()
        launcher = wine.start(paths.launcher, "--config", host_to_wine(paths.config))
        say("started %s --config %s" % (paths.launcher.name, paths.config))
        if by_hand:
            box_text = play_by_hand(paths, wine, launcher)
        else:
            box_text = play_by_itself(paths, wine, launcher, downloads)
        if paths.record.is_file():
            say("waiting for the game to end")
        wine.wait_all_ended()
        if by_hand and not paths.record.is_file():
            say("the launcher ended without starting the game")
            return 0
        verify(paths, server, manifest_files, downloads, box_text, by_hand)
        say("OK: screenshots and logs in %s" % paths.demo)
        return 0
    except (DemoFailure, subprocess.TimeoutExpired, subprocess.CalledProcessError) as failure:
        say("FAILED: %s" % failure)
        if xserver.display is not None and wine is not None:
            env = dict(wine.env)
            raw = subprocess.run(["xwd", "-root", "-silent"], env=env, capture_output=True,
                                 timeout=60).stdout
            if raw:
                subprocess.run(["convert", "xwd:-", str(paths.demo / "failure.png")], input=raw,
                               timeout=60)
                say("the screen at the failure: %s" % (paths.demo / "failure.png"))
        return 1
    except KeyboardInterrupt:
        say("interrupted")
        return 130
    finally:
        if launcher is not None and launcher.poll() is None:
            launcher.kill()
            launcher.wait(30)
        if wine is not None:
            wine.kill()
        if server is not None:
            server.stop()
            say("demo server stopped")
        xserver.stop()


if __name__ == "__main__":
    sys.exit(main())
