#!/usr/bin/env python3
"""Runs the launcher's benchmarks and writes build/bench/results.md (called by bench/run.sh).

Every figure is the median of BENCH_ROUNDS runs (at least 3); every ratio compares two figures
measured in the same run on the same data. Nothing here is a test: no figure fails the build.
"""

import argparse
import hashlib
import json
import os
import random
import shutil
import socket
import statistics
import struct
import subprocess
import sys
import time
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tools"))
from wine_gui import XvfbDisplay  # noqa: E402

MiB = 1 << 20
SCALES = {
    # name: manifest entries for JSON, verify set (files, total bytes), large download, small
    # files, first installs, scale manifests
    "full": dict(json_entries=100_000, verify_files=2000, verify_bytes=2 << 30,
                 big_bytes=1 << 30, small_files=10_000, small_bytes=10 * 1024,
                 installs=[200, 1000, 10_000], scale=[1000, 10_000, 100_000]),
    "small": dict(json_entries=100_000, verify_files=200, verify_bytes=200 * MiB,
                  big_bytes=128 * MiB, small_files=200, small_bytes=10 * 1024,
                  installs=[50, 200], scale=[100, 1000, 3000]),
}

# Each size can also be set on its own, e.g. BENCH_BIG_MB=512 or BENCH_SCALES=1000,10000.
OVERRIDES = {
    "BENCH_JSON_ENTRIES": ("json_entries", int),
    "BENCH_VERIFY_FILES": ("verify_files", int),
    "BENCH_VERIFY_MB": ("verify_bytes", lambda v: int(v) * MiB),
    "BENCH_BIG_MB": ("big_bytes", lambda v: int(v) * MiB),
    "BENCH_SMALL_FILES": ("small_files", int),
    "BENCH_INSTALLS": ("installs", lambda v: [int(x) for x in v.split(",")]),
    "BENCH_SCALES": ("scale", lambda v: [int(x) for x in v.split(",")]),
}


def scale_settings(name):
    settings = dict(SCALES[name])
    for variable, (key, convert) in OVERRIDES.items():
        if os.environ.get(variable):
            settings[key] = convert(os.environ[variable])
    return settings


def say(text):
    print(f"==> {text}", flush=True)


def win(path):
    """The path as Wine's Z: drive shows it."""
    return "Z:" + str(path).replace("/", "\\")


def fmt_bytes(n):
    for unit, size in (("GiB", 1 << 30), ("MiB", MiB), ("KiB", 1024)):
        if n >= size:
            return f"{n / size:.3g} {unit}"
    return f"{n} B"


def fmt_s(s):
    if s >= 7200:
        return f"{s / 3600:.1f} h"
    if s >= 120:
        return f"{s / 60:.1f} min"
    if s >= 1:
        return f"{s:.2f} s"
    if s >= 1e-3:
        return f"{s * 1e3:.1f} ms"
    if s >= 1e-5:
        return f"{s * 1e6:.0f} µs"
    return f"{s * 1e6:.2f} µs"


def fmt_count(n):
    return f"{n:,}"


class Results:
    def __init__(self):
        self.rows = []
        self.notes = []
        self.skipped = []

    def add(self, item, what, size, samples, *, nbytes=None, per=None, ratio=None, goal=None,
            met=None, extra=""):
        med = statistics.median(samples)
        rate = ""
        if nbytes:
            rate = f"{nbytes / med / 1e6:.0f} MB/s"
        elif per:
            rate = f"{fmt_s(med / per)} per {per and 'file'}"
        row = dict(item=item, what=what, size=size, median=fmt_s(med),
                   range=f"{fmt_s(min(samples))} – {fmt_s(max(samples))}", rate=rate,
                   ratio="" if ratio is None else f"{ratio:.2f}×", goal=goal or "",
                   met="" if met is None else ("yes" if met else "**NO**"), extra=extra,
                   runs=len(samples))
        self.rows.append(row)
        line = f"  {item:>3} {what:<58} {size:<22} {row['median']:>10} {row['rate']:>18}"
        if ratio is not None:
            line += f"  {row['ratio']} (goal {goal}" + (f": {row['met']})" if row["met"] else ")")
        print(line, flush=True)
        return med

    def value(self, item, what, size, value, *, ratio="", goal="", met=None, extra=""):
        """A row that is not a time: a count or a size."""
        row = dict(item=item, what=what, size=size, median=value, range="", rate="", ratio=ratio,
                   goal=goal, met="" if met is None else ("yes" if met else "**NO**"),
                   extra=extra, runs=0)
        self.rows.append(row)
        line = f"  {item:>3} {what:<58} {size:<22} {value:>10}"
        if goal:
            line += f"  {ratio} (goal {goal}" + (f": {row['met']})" if row["met"] else ")")
        print(line, flush=True)

    def not_run(self, item, what, size, why):
        """A figure the run left out, in the table itself so that it cannot be overlooked."""
        row = dict(item=item, what=what, size=size, median="not run", range="", rate="",
                   ratio="", goal="", met="", extra=why, runs=0)
        self.rows.append(row)
        print(f"  {item:>3} {what:<58} {size:<22}    not run: {why}", flush=True)

    def note(self, text):
        self.notes.append(text)
        print(f"      {text}", flush=True)

    def markdown(self, header):
        out = [header, "",
               "| # | what ran | size | median | min – max | rate | ratio | goal | met | notes |",
               "|---|---|---|---|---|---|---|---|---|---|"]
        for r in self.rows:
            out.append("| {item} | {what} | {size} | {median} | {range} | {rate} | {ratio} | {goal} | {met} | {extra} |"
                       .format(**r))
        if self.notes:
            out += ["", "## Where the time goes", ""] + [f"- {n}" for n in self.notes]
        if self.skipped:
            out += ["", "## Not run", ""] + [f"- {n}" for n in self.skipped]
        return "\n".join(out) + "\n"


# ---------------------------------------------------------------- data

def block(seed):
    return random.Random(seed).randbytes(MiB)


def write_file(path, size, seed, base):
    """Deterministic content: a shared random block, the seed stamped at its head."""
    path.parent.mkdir(parents=True, exist_ok=True)
    h = hashlib.sha256()
    head = seed.to_bytes(8, "little")
    with open(path, "wb") as f:
        left = size
        first = True
        while left:
            chunk = base[: min(left, MiB)]
            if first:
                chunk = head[: len(chunk)] + chunk[len(head):]
                first = False
            f.write(chunk)
            h.update(chunk)
            left -= len(chunk)
    return h.hexdigest()


def manifest_text(entries, indent=2):
    return json.dumps({"schema": 1, "files": entries}, indent=indent)


def state_text(paths_digests):
    # The ownership file exactly as the launcher writes it, so that up-to-date directories look
    # like directories the launcher installed.
    lines = ['{\n  "schema": 1,\n  "files": [']
    recs = [f'    {{"path": "{p}", "sha256": "{d}", "removeWhenUnlisted": true}}'
            for p, d in paths_digests]
    body = ("\n" + ",\n".join(recs) + "\n") if recs else ""
    return lines[0] + body + "  ]\n}\n"


def make_game(root, name, count, size_of, base, www, url_prefix, own=True):
    """Files of a game directory and the manifest that lists them; returns the entries."""
    game = root / "games" / name
    entries = []
    for i in range(count):
        rel = f"data/pack{i // 1000:03d}/asset_{i:06d}.pak"
        size = size_of(i)
        digest = write_file(game / rel, size, zlib.crc32(f'{name}/{i}'.encode()), base)
        entries.append({"path": rel, "url": f"{url_prefix}/{rel}", "size": size, "sha256": digest})
    (www / f"{name}.json").write_text(manifest_text(entries))
    if own:
        (game / ".kadeorvindal-managed.json").write_text(
            state_text([(e["path"], e["sha256"]) for e in entries]))
    return game, entries


def make_served(www, name, count, size_of, base):
    """Files served by nginx (nothing local) and their manifest; returns the entries."""
    entries = []
    for i in range(count):
        rel = f"data/pack{i // 1000:03d}/asset_{i:06d}.pak"
        size = size_of(i)
        digest = write_file(www / name / rel, size, zlib.crc32(f'{name}/{i}'.encode()), base)
        entries.append({"path": rel, "url": f"{name}/{rel}", "size": size, "sha256": digest})
    return entries


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def gradient_png(path, width, height):
    """Red across, green down, blue flat: large in pixels, small in bytes, since every row
    after the first is stored as its difference to the row above."""
    first = bytearray(b"\0")
    for x in range(width):
        first += bytes((x * 255 // (width - 1), 0, 128))
    same = b"\x02" + bytes(3 * width)
    step = b"\x02" + bytes((0, 1, 0)) * width
    packer = zlib.compressobj(9)
    parts = [packer.compress(bytes(first))]
    green = 0
    for y in range(1, height):
        row_green = y * 255 // (height - 1)
        parts.append(packer.compress(step if row_green != green else same))
        green = row_green
    parts.append(packer.flush())
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
                     png_chunk(b"IDAT", b"".join(parts)) + png_chunk(b"IEND", b""))


def noisy_jpeg(path, side):
    """A photo-like JPEG, about as large in bytes as a print-size export: blotches with grain.
    Baseline with three components, which ImageMagick otherwise may not write."""
    subprocess.run(["convert", "-seed", "1", "-size", "1000x1000", "xc:", "+noise", "Random",
                    "-resize", f"{side}x{side}!", "-attenuate", "0.4", "+noise", "Gaussian",
                    "-type", "TrueColor", "-interlace", "none", "-quality", "83", str(path)],
                   check=True)


# ---------------------------------------------------------------- nginx

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    def __init__(self, work, www):
        self.work = work
        self.www = www
        self.port = free_port()
        self.proc = None

    def __enter__(self):
        self.work.mkdir(parents=True, exist_ok=True)
        for sub in ("body", "proxy", "fastcgi", "uwsgi", "scgi", "logs"):
            (self.work / sub).mkdir(exist_ok=True)
        w = self.work
        conf = f"""
worker_processes 2;
daemon off;
user root;
error_log {w}/logs/error.log warn;
pid {w}/nginx.pid;
events {{ worker_connections 1024; }}
http {{
    access_log off;
    sendfile on;
    tcp_nopush on;
    default_type application/octet-stream;
    client_body_temp_path {w}/body;
    proxy_temp_path {w}/proxy;
    fastcgi_temp_path {w}/fastcgi;
    uwsgi_temp_path {w}/uwsgi;
    scgi_temp_path {w}/scgi;
    server {{
        listen 127.0.0.1:{self.port};
        root {self.www};
    }}
}}
"""
        (w / "nginx.conf").write_text(conf)
        self.log = open(w / "logs" / "stderr.log", "wb")
        self.proc = subprocess.Popen(["nginx", "-p", str(w), "-c", str(w / "nginx.conf")],
                                     stdout=self.log, stderr=self.log)
        for _ in range(100):
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.2):
                    break
            except OSError:
                if self.proc.poll() is not None:
                    raise RuntimeError("nginx did not start; see " + str(w / "logs"))
                time.sleep(0.05)
        return self

    def url(self, rel):
        return f"http://127.0.0.1:{self.port}/{rel}"

    def __exit__(self, *exc):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()   # only the master we started; it stops its workers
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


# ---------------------------------------------------------------- X server

class XServer(XvfbDisplay):
    """An Xvfb display of the benchmark's own, the first free one among :80-:89."""

    def __init__(self):
        super().__init__(range(80, 90))


# ---------------------------------------------------------------- runners

def run_lines(cmd, timeout=1800, env=None):
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, env=env)
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, cmd[:3]))} failed ({done.returncode}): "
                           f"{done.stderr.strip()[-2000:]}")
    return [json.loads(l) for l in done.stdout.splitlines() if l.startswith("{")]


def timed(cmd, **kw):
    start = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, **kw)
    return time.perf_counter() - start


def write_table(path, rows):
    path.write_text("".join("\t".join(r) + "\n" for r in rows), encoding="utf-8")


# ---------------------------------------------------------------- the benchmarks

ITEMS = {"1": "json", "2": "verify", "3": "downloads", "4": "scale", "7": "startup"}


class Bench:
    def __init__(self, args):
        self.root = Path(args.root)
        self.build = Path(args.build)
        self.out = self.build / "bench"
        self.data = self.out / "data"
        self.www = self.data / "www"
        self.scale_name = os.environ.get("BENCH_SCALE", "full")
        if self.scale_name not in SCALES:
            sys.exit(f"BENCH_SCALE must be one of {', '.join(SCALES)}")
        self.s = scale_settings(self.scale_name)
        self.rounds = max(3, int(os.environ.get("BENCH_ROUNDS", "3")))
        self.keep = os.environ.get("BENCH_KEEP") == "1"
        # A measurement whose estimated time (all its rounds) exceeds this is left out and its
        # estimate shown instead; raise it to run everything whatever it costs.
        self.budget = float(os.environ.get("BENCH_BUDGET_MIN", "20")) * 60
        only = os.environ.get("BENCH_ONLY", "")
        self.only = {ITEMS[x.strip()] for x in only.split(",") if x.strip()} if only else set(ITEMS.values())
        self.res = Results()
        win_dir = self.build / "bench-windows" / "bench"
        self.platform_exe = win_dir / "bench_platform.exe"
        self.sync_exe = win_dir / "bench_sync.exe"
        self.state_exe = win_dir / "bench_state.exe"
        self.memory_exe = win_dir / "bench_memory.exe"
        self.probe_exe = win_dir / "startup_probe.exe"
        self.minimal_exe = win_dir / "minimal_window.exe"
        self.launcher_exe = self.build / "bench-windows" / "window" / "KadeOrvindalLauncher.exe"
        self.json_exe = self.build / "bench-native" / "json_bench"
        self.base = block(8)
        self.check_s = None      # seconds per record to load the ownership state (bench_state)
        self.max_memory = float(os.environ.get("BENCH_MAX_MEM_MB", "2048")) * MiB
        self.estimated_peak = None
        self.small_sync = {}

    def wine(self, exe, *args, timeout=4 * 3600, env=None):
        return run_lines(["wine", str(exe), *map(str, args)], timeout=timeout, env=env)

    def over_budget(self, estimate):
        return estimate > self.budget

    # 1. JSON -------------------------------------------------------------
    def bench_json(self):
        n = self.s["json_entries"]
        say(f"1. JSON: manifest of {n:,} entries, bx::parse_json vs nlohmann::json vs RapidJSON")
        rnd = random.Random(1)
        entries = []
        for i in range(n):
            p = f"data/pack{i // 1000:03d}/asset_{i:06d}.pak"
            entries.append({"path": p, "url": f"files/{p}", "size": rnd.randrange(1, 1 << 30),
                            "sha256": hashlib.sha256(p.encode()).hexdigest()})
        path = self.data / "json-manifest.json"
        path.write_text(manifest_text(entries))
        size = path.stat().st_size
        lines = run_lines([str(self.json_exe), str(path), str(self.rounds)])
        by = {}
        for l in lines:
            if l["entries"] != n:
                raise RuntimeError(f"{l['parser']} saw {l['entries']} entries")
            by.setdefault(l["parser"], []).append(l)
        med = {k: statistics.median(x["parse_s"] for x in v) for k, v in by.items()}
        label = f"{n:,} entries, {size / 1e6:.1f} MB"
        names = {"bx": "bx::parse_json (native, -O3)", "nlohmann": "nlohmann::json::parse",
                 "rapidjson": "RapidJSON DOM, default flags",
                 "rapidjson-strict": "RapidJSON DOM, UTF-8 validation + full precision"}
        for k in ("bx", "nlohmann", "rapidjson", "rapidjson-strict"):
            samples = [x["parse_s"] for x in by[k]]
            frees = statistics.median(x["free_s"] for x in by[k])
            if k == "bx":
                self.res.add(1, names[k], label, samples, nbytes=size,
                             extra=f"freeing the document: {fmt_s(frees)}")
            elif k == "nlohmann":
                r = med[k] / med["bx"]
                self.res.add(1, f"{names[k]} — bx speed ÷ nlohmann speed", label, samples,
                             nbytes=size, ratio=r, goal="≥ 2×", met=r >= 2,
                             extra=f"freeing: {fmt_s(frees)}")
            else:
                r = med[k] / med["bx"]
                self.res.add(1, f"{names[k]} — bx speed ÷ RapidJSON speed", label, samples,
                             nbytes=size, ratio=r, goal="report", extra=f"freeing: {fmt_s(frees)}")
        path.unlink()

    # data for 2-6 ---------------------------------------------------------
    def make_data(self):
        s = self.s
        say(f"generating data in {self.data} (scale {self.scale_name})")
        self.www.mkdir(parents=True, exist_ok=True)
        if "verify" in self.only:
            vf, vb = s["verify_files"], s["verify_bytes"]
            avg = vb // vf
            rnd = random.Random(2)
            sizes = [avg + rnd.randrange(-avg // 2, avg // 2) for _ in range(vf)]
            sizes[-1] += vb - sum(sizes)
            self.verify_game, self.verify_entries = make_game(
                self.data, "verify", vf, lambda i: sizes[i], self.base, self.www, "verify-files")
        if "downloads" in self.only:
            self.big_entries = make_served(self.www, "big", 1, lambda i: s["big_bytes"], self.base)
            (self.www / "big.json").write_text(manifest_text(self.big_entries))
        if "downloads" in self.only or "scale" in self.only:
            n = max([s["small_files"]] + s["installs"])
            self.small_entries = make_served(self.www, "small", n, lambda i: s["small_bytes"],
                                             self.base)
            for n in sorted(set(s["installs"] + [s["small_files"]])):
                (self.www / f"small-{n}.json").write_text(manifest_text(self.small_entries[:n]))
        self.scale_games = {}
        if "scale" in self.only:
            for n in s["scale"]:
                game, _ = make_game(self.data, f"scale-{n}", n, lambda i: 256, self.base, self.www,
                                    f"scale-{n}-files")
                self.scale_games[n] = game

    # 2. verification -----------------------------------------------------
    def bench_verify(self, nginx):
        vf, vb = self.s["verify_files"], self.s["verify_bytes"]
        size = f"{vf:,} files, {fmt_bytes(vb)}"
        say(f"2. verification of an up-to-date game directory ({size})")
        files = [self.verify_game / e["path"] for e in self.verify_entries]
        lst = self.data / "verify-list.txt"
        write_table(lst, [(win(p), e["sha256"]) for p, e in zip(files, self.verify_entries)])
        lines = self.wine(self.sync_exe, "verify", nginx.url("verify.json"),
                          win(self.verify_game), lst, self.rounds)
        bare = [l for l in lines if l["kind"] == "bare_hash"]
        sync = [l for l in lines if l["kind"] == "sync"]
        for l in sync:
            if l["downloaded"] != 0:
                raise RuntimeError("the up-to-date directory was not up to date")
        mb = self.res.add(2, "bare BCrypt loop (1 MiB ReadFile, one provider), same process",
                          size, [l["seconds"] for l in bare], nbytes=vb,
                          extra=f"peak working set {fmt_bytes(bare[0]['peak'])} (first round, "
                                f"before any sync in the process)")
        ms = statistics.median(l["seconds"] for l in sync)
        r = ms / mb
        self.res.add(2, "bx::synchronize_client_files, nothing to download — time ÷ bare",
                     size, [l["seconds"] for l in sync], nbytes=vb, ratio=r, goal="≤ 1.05×",
                     met=r <= 1.05, extra=f"peak working set {fmt_bytes(max(l['peak'] for l in sync))}")
        m = {k: statistics.median(l[k] for l in sync) for k in ("manifest_s", "verify_s", "end_s")}
        rv = m["verify_s"] / mb
        self.res.add(2, "  of it the verifying phase alone — time ÷ bare", size,
                     [l["verify_s"] for l in sync], nbytes=vb, ratio=rv, goal="(split)",
                     extra="per file: status, size, SHA-256 through a new CNG provider and an ifstream")
        text = (f"Verification of {size}: before the first file is verified (manifest fetch and "
                f"checks, then the retirement step, which loads the ownership state) "
                f"{fmt_s(m['manifest_s'])}; verifying {fmt_s(m['verify_s'])} "
                f"({fmt_s(m['verify_s'] / vf)} per file, the bare loop {fmt_s(mb / vf)}, "
                f"{rv:.2f}×); end {fmt_s(m['end_s'])}.")
        if r > 1.05:
            text += (f" Goal ≤ 1.05× missed ({r:.2f}×). ")
            if m["manifest_s"] > 0.05 * mb:
                text += (f"{m['manifest_s'] / (ms - mb) * 100:.0f} % of the excess is the "
                         f"time before verifying starts: loading the ownership state checks each "
                         f"of its {vf:,} records (resolve_managed_path: the lexical checks, "
                         f"GetFullPathNameW, and GetLongPathNameW only where a segment can be an "
                         f"8.3 alias), about {fmt_s(m['manifest_s'] / vf)} per record under Wine "
                         f"(see the bookkeeping rows of 4).")
            if rv > 1.02:
                text += (" The verifying phase itself costs more than the bare loop: per file a "
                         "new CNG provider and hash object, an ifstream and two status queries.")
        self.res.note(text)
        paths = [str(p) for p in files]
        self.res.add(2, "context: sha256sum (native)", size,
                     [timed(["sha256sum", *paths]) for _ in range(self.rounds)], nbytes=vb)
        self.res.add(2, "context: openssl dgst -sha256 (native)", size,
                     [timed(["openssl", "dgst", "-sha256", *paths]) for _ in range(self.rounds)],
                     nbytes=vb)

    # 3. downloads --------------------------------------------------------
    def bare_fetch_list(self, entries, name, nginx):
        bare_dir = self.data / "bare"
        bare_dir.mkdir(exist_ok=True)
        lst = self.data / f"{name}-urls.txt"
        write_table(lst, [(nginx.url(e["url"]), win(bare_dir / f"f{i}.bin"))
                          for i, e in enumerate(entries)])
        return lst

    def run_download(self, nginx, entries, name, manifest):
        """Rounds of a sync into an emptied directory and the bare loop, in one process."""
        count = len(entries)
        lst = self.bare_fetch_list(entries, name, nginx)
        game = self.data / "games" / f"dl-{name}"
        lines = self.wine(self.sync_exe, "download", nginx.url(manifest), win(game), lst,
                          self.rounds)
        shutil.rmtree(game, ignore_errors=True)
        bare = [l for l in lines if l["kind"] == "bare_fetch"]
        sync = [l for l in lines if l["kind"] == "sync"]
        for l in sync:
            if l["downloaded"] != count:
                raise RuntimeError(f"{name}: {l['downloaded']} of {count} downloaded")
        return sync, bare

    def add_download_rows(self, item, label, sync, bare, total, count, goal_ratio):
        mb = self.res.add(item, "bare WinHTTP loop (QueryDataAvailable/ReadData ≤ 1 MiB, "
                          "WriteFile), same process", label, [l["seconds"] for l in bare],
                          nbytes=total,
                          extra=f"{fmt_s(statistics.median(l['seconds'] for l in bare) / count)} per file; "
                                f"{fmt_count(bare[0]['chunks'])} chunks")
        ms = statistics.median(l["seconds"] for l in sync)
        # Many small files are far off the bare loop: their ratio reads better as a time.
        r = mb / ms if goal_ratio else ms / mb
        self.res.add(item, "bx::synchronize_client_files into an empty directory — " +
                     ("speed ÷ bare" if goal_ratio else "time ÷ bare"),
                     label, [l["seconds"] for l in sync], nbytes=total, ratio=r,
                     goal=f"≥ {goal_ratio}×" if goal_ratio else "report",
                     met=None if not goal_ratio else r >= goal_ratio,
                     extra=f"{fmt_s(ms / count)} per file; peak working set "
                           f"{fmt_bytes(sync[0]['peak'])} (first run of the process)")
        return mb, ms, mb / ms

    def estimate_install(self, n):
        """Seconds for the rounds of a first install of n small files (sync and bare loop):
        per file a transfer, and the bookkeeping that loads a state of k records for file k."""
        per_file = 0.01
        if self.small_sync:
            done = max(self.small_sync)
            sync = self.small_sync[done]
            per_file = statistics.median(l["transfer_s"] for l in sync) / done * 2
        check = self.check_s if self.check_s else 0.004
        return self.rounds * (n * per_file + check * n * n / 2)

    def bench_downloads(self, nginx):
        s = self.s
        big = self.big_entries
        label = f"1 file, {fmt_bytes(s['big_bytes'])}"
        say(f"3. download of {label} from nginx")
        sync, bare = self.run_download(nginx, big, "big", "big.json")
        mb, ms, r = self.add_download_rows(3, label, sync, bare, s["big_bytes"], 1, 0.95)
        out = self.data / "curl.out"
        self.res.add(3, "context: curl -o file (native)", label,
                     [timed(["curl", "-s", "-f", "-o", str(out), nginx.url(big[0]["url"])])
                      for _ in range(self.rounds)], nbytes=s["big_bytes"])
        out.unlink(missing_ok=True)
        m = {k: statistics.median(l[k] for l in sync) for k in ("transfer_s", "post_s", "manifest_s")}
        rt = mb / m["transfer_s"]
        text = (f"Download of {label}: transfer (GET, QueryDataAvailable/ReadData, ofstream writes) "
                f"{fmt_s(m['transfer_s'])} ({rt:.2f}× the bare loop's speed), after the transfer "
                f"(flush, size check, SHA-256 of the downloaded file, move, ownership record) "
                f"{fmt_s(m['post_s'])}, manifest and verification {fmt_s(m['manifest_s'])}. The "
                f"bare loop does only the transfer part.")
        if r < 0.95:
            text += (f" Goal ≥ 0.95× missed ({r:.2f}×): "
                     + ("the transfer alone keeps pace; " if rt >= 0.95 else
                        f"the transfer alone reaches {rt:.2f}× (ofstream writes against WriteFile, "
                        f"and the noise of the shared machine: see min – max); ")
                     + f"the check of the download reads the whole file back and hashes it "
                       f"through BCrypt ({fmt_s(m['post_s'])}, "
                       f"{s['big_bytes'] / m['post_s'] / 1e6:.0f} MB/s), which the bare loop "
                       f"does not do.")
        self.res.note(text)
        first = sync[0]
        reports = int(statistics.median(l["chunk_reports"] for l in sync))
        extra = (f"chunks {fmt_bytes(first['chunk_min'])} – {fmt_bytes(first['chunk_max'])}; "
                 f"bare loop: {fmt_count(bare[0]['chunks'])} ReadData chunks")
        if s["big_bytes"] < 1 << 30:
            extra += (f"; at this chunk size a 1 GiB download makes about "
                      f"{fmt_count(round(reports * (1 << 30) / s['big_bytes']))}")
        self.res.value(6, "progress reports of the large download (one per received chunk)",
                       label, fmt_count(reports), extra=extra)
        peak = max(l["peak"] for l in sync)
        self.res.value(5, "peak working set, large download (process of its own)", label,
                       fmt_bytes(peak), ratio=f"{peak / MiB:.0f} MiB", goal="≤ 64 MiB",
                       met=peak <= 64 * MiB)

        n = s["small_files"]
        label = f"{n:,} files × {fmt_bytes(s['small_bytes'])}"
        est = self.estimate_install(n)
        if self.over_budget(est):
            self.res.not_run(3, "bx::synchronize_client_files and the bare loop, first install",
                             label, f"estimated {fmt_s(est)} for {self.rounds} runs (over "
                             f"BENCH_BUDGET_MIN): the ownership bookkeeping grows with the square "
                             f"of the file count, see 4")
        else:
            say(f"3/4. download of {label} from nginx (first install)")
            sync, bare = self.run_download(nginx, self.small_entries[:n], "small", f"small-{n}.json")
            self.small_sync[n] = sync
            self.add_download_rows(3, label, sync, bare, n * s["small_bytes"], n, None)
        cfg = self.data / "curl-small.cfg"
        cdir = self.data / "curl-small"
        cdir.mkdir(exist_ok=True)
        cfg.write_text("".join(f'url = "{nginx.url(e["url"])}"\noutput = "{cdir}/f{i}"\n'
                               for i, e in enumerate(self.small_entries[:n])))
        samples = [timed(["curl", "-s", "-f", "-K", str(cfg)]) for _ in range(self.rounds)]
        self.res.add(3, "context: one curl process for all files (connection reused, native)",
                     label, samples, nbytes=n * s["small_bytes"],
                     extra=f"{fmt_s(statistics.median(samples) / n)} per file")
        shutil.rmtree(cdir)

    # 4. scale ------------------------------------------------------------
    def bench_bookkeeping(self):
        """What one file's ownership record costs at each state size, and where it goes."""
        for n, game in sorted(self.scale_games.items()):
            est = self.rounds * 2.2 * n * (self.check_s or 0.004)
            label = f"state of {n:,} records"
            if self.over_budget(est):
                self.res.not_run(4, "ownership bookkeeping of one downloaded file", label,
                                 f"estimated {fmt_s(est)} for {self.rounds} runs")
                continue
            say(f"4. ownership bookkeeping, {label}")
            runs = self.wine(self.state_exe, win(game), self.rounds)
            self.check_s = statistics.median(l["load_s"] for l in runs) / n
            m = {k: statistics.median(l[k] for l in runs)
                 for k in ("load_s", "parse_s", "resolve_s", "opened_s", "text_s", "save_s",
                           "record_s")}
            checks = [(l["load_s"] - l["parse_s"]) / n for l in runs]
            self.res.add(4, "checking one record of a loaded state (load less read and parse, "
                         "per record)", label, checks, goal="≤ 1.5 µs under Wine",
                         met=statistics.median(checks) <= 1.5e-6,
                         extra=f"read and parse {fmt_s(m['parse_s'] / n)} per record; "
                               f"resolve_managed_path with its full path {fmt_s(m['resolve_s'])}")
            first_n = min(self.scale_games)
            if n == first_n:
                self.record_first = m["record_s"]
            ratio = m["record_s"] / self.record_first
            self.res.add(4, f"recording one downloaded file (record_managed_file) ÷ that at {first_n:,}",
                         label, [l["record_s"] for l in runs], ratio=ratio,
                         goal=f"report (size ratio {n / first_n:.0f}×)",
                         extra=f"load {fmt_s(m['load_s'])} = {n:,} × {fmt_s(m['load_s'] / n)} "
                               f"(read and parse {fmt_s(m['parse_s'])}); text {fmt_s(m['text_s'])}; "
                               f"write, flush and move {fmt_s(m['save_s'])}; for comparison "
                               f"path_as_opened of one path {fmt_s(m['opened_s'])}")
        if self.check_s:
            self.res.note(
                f"Ownership bookkeeping: after every downloaded file the state file is read, "
                f"parsed and checked in full, then rewritten. Checking a record is text work on "
                f"its relative path (only a path with '~' asks the disk), so the load is mostly "
                f"reading and parsing: about {fmt_s(self.check_s)} per record under Wine in all. "
                f"File k of a first install therefore costs about k × {fmt_s(self.check_s)} "
                f"besides the fixed cost of the rewrite (write, flush, move), and a first install "
                f"of N files about N²/2 × {fmt_s(self.check_s)}: "
                f"{fmt_s(1000 ** 2 / 2 * self.check_s)} for 1,000 files, "
                f"{fmt_s(10_000 ** 2 / 2 * self.check_s)} for 10,000. The same load makes an "
                f"up-to-date synchronisation pay {fmt_s(self.check_s)} per entry in its "
                f"retirement step.")

    def bench_scale(self, nginx):
        say("4. scale: up-to-date manifests of " + ", ".join(f"{n:,}" for n in self.s["scale"]))
        per = {}
        peaks = {}
        before = {}
        phases = {}
        first_n = min(self.scale_games)
        for n, game in sorted(self.scale_games.items()):
            label = f"{n:,} entries × 256 B"
            rounds = self.rounds
            if peaks:
                # The peak has grown with the entry count so far: do not start a run that
                # would take the shared machine's memory.
                done = max(peaks)
                grown = max(peaks[done] - 16 * MiB, 0) * n / done + 16 * MiB
                if grown > self.max_memory:
                    self.res.not_run(4, "up-to-date sync", label,
                                     f"its peak working set would be about {fmt_bytes(grown)} "
                                     f"(grown with the entry count from {done:,}), over "
                                     f"BENCH_MAX_MEM_MB")
                    self.estimated_peak = (n, grown)
                    continue
            if per:
                est = self.rounds * n * per[max(per)] * 1.2
                if self.over_budget(est / self.rounds):
                    self.res.not_run(4, "up-to-date sync", label,
                                     f"estimated {fmt_s(est)} for {self.rounds} runs")
                    continue
                if self.over_budget(est):
                    # One run still shows the memory and the time per entry.
                    rounds = 1
                    self.res.note(f"The up-to-date sync of {n:,} entries ran once only: "
                                  f"{self.rounds} runs were estimated at {fmt_s(est)}.")
            runs = [self.wine(self.sync_exe, "sync", nginx.url(f"scale-{n}.json"), win(game))[0]
                    for _ in range(rounds)]
            for l in runs:
                if l["downloaded"] != 0:
                    raise RuntimeError(f"scale-{n} was not up to date")
            med = statistics.median(l["seconds"] for l in runs)
            per[n] = med / n
            peaks[n] = max(l["peak"] for l in runs)
            ratio = per[n] / per[first_n]
            m = {k: statistics.median(l[k] for l in runs) for k in ("manifest_s", "verify_s")}
            before[n] = max(l["peak_before_verify"] for l in runs)
            phases[n] = m
            self.res.add(4, f"up-to-date sync, time per entry ÷ that at {first_n:,}", label,
                         [l["seconds"] for l in runs], per=n, ratio=ratio, goal="flat (≤ 1.2×)",
                         met=ratio <= 1.2,
                         extra=f"manifest and retirement {fmt_s(m['manifest_s'])}, verifying "
                               f"{fmt_s(m['verify_s'])}; peak {fmt_bytes(peaks[n])}")
        for n in per:
            if per[n] / per[first_n] > 1.2:
                a, b = phases[first_n], phases[n]
                self.res.note(
                    f"Time per entry of an up-to-date sync is not flat: {fmt_s(per[n])} at "
                    f"{n:,} against {fmt_s(per[first_n])} at {first_n:,}. Per entry, manifest "
                    f"and retirement take {fmt_s(a['manifest_s'] / first_n)} at {first_n:,} and "
                    f"{fmt_s(b['manifest_s'] / n)} at {n:,}; verifying "
                    f"{fmt_s(a['verify_s'] / first_n)} and {fmt_s(b['verify_s'] / n)}.")
        want = max(self.scale_games)
        if want in peaks:
            self.manifest_memory(nginx, want)
        if want in peaks:
            peak = peaks[want]
            self.res.value(5, f"peak working set, up-to-date manifest of {want:,} entries",
                           f"{want:,} entries", fmt_bytes(peak), ratio=f"{peak / MiB:.0f} MiB",
                           goal="≤ 64 MiB", met=peak <= 64 * MiB)
        elif self.estimated_peak and self.estimated_peak[0] == want:
            peak = self.estimated_peak[1]
            self.res.value(5, f"peak working set, up-to-date manifest of {want:,} entries "
                           "(estimated, not run)", f"{want:,} entries", f"≈ {fmt_bytes(peak)}",
                           ratio=f"≈ {peak / MiB:.0f} MiB", goal="≤ 64 MiB", met=peak <= 64 * MiB)
        else:
            self.res.not_run(5, f"peak working set, up-to-date manifest of {want:,} entries",
                             f"{want:,} entries", "its sync was not run (see 4)")
        if len(peaks) >= 2:
            lo, hi = min(peaks), max(peaks)
            growth = (peaks[hi] - peaks[lo]) / (hi - lo)
            self.res.note(
                f"Memory of an up-to-date sync grows by about {fmt_bytes(int(growth))} per "
                f"manifest entry ({fmt_bytes(peaks[lo])} at {lo:,}, {fmt_bytes(peaks[hi])} at "
                f"{hi:,}); the peak is already reached before the first file is verified "
                f"({fmt_bytes(before[hi])} at {hi:,}), i.e. in fetching and checking the "
                f"manifest (the parsed document, the entries with their paths and URLs).")

    def manifest_memory(self, nginx, n):
        """What the manifest step holds of its own, part by part (bench_memory)."""
        m = self.wine(self.memory_exe, nginx.url(f"scale-{n}.json"), win(self.scale_games[n]))[0]
        per = lambda key: fmt_bytes(int(m[key] / n))
        self.res.value(5, f"peak of the launcher's own objects while the manifest of {n:,} entries "
                       "is fetched and checked", f"{n:,} entries", fmt_bytes(m["step_peak"]),
                       extra=f"body {fmt_bytes(m['body'])}, parsed document "
                             f"{fmt_bytes(m['document'])} ({per('document')} per entry), checked "
                             f"entries {fmt_bytes(m['entries_bytes'])} ({per('entries_bytes')} per "
                             f"entry); then retirement's state load beside them "
                             f"{fmt_bytes(m['retirement_peak'])}, all together "
                             f"{fmt_bytes(m['overall_peak'])}; whole process "
                             f"{fmt_bytes(m['working_set_peak'])}")
        self.res.note(
            f"Memory of the manifest step ({n:,} entries), counted in the launcher's own "
            f"allocations: the body {fmt_bytes(m['body'])}, the parsed document "
            f"{fmt_bytes(m['document'])}, the checked entries {fmt_bytes(m['entries_bytes'])} "
            f"({per('entries_bytes')} per entry, most of it the local path: the standard library "
            f"keeps each path's parsed segments beside its text). The body is parsed where it was "
            f"received and released before the entries are built, and each element of the "
            f"document is released as soon as its entry stands, so the step's own peak is "
            f"{fmt_bytes(m['step_peak'])} rather than body + copy + document + entries "
            f"({fmt_bytes(2 * m['body'] + m['document'] + m['entries_bytes'])}). Retirement then "
            f"reads and parses the whole ownership state while the entries live: "
            f"{fmt_bytes(m['retirement_peak'])} more at its height, so the launcher's own objects "
            f"peak at {fmt_bytes(m['overall_peak'])}. The rest of the working set is Wine, the "
            f"code and the heap's own overhead. Time: fetching and checking the manifest "
            f"{fmt_s(m['step_s'])} ({fmt_s(m['step_s'] / n)} per entry), retirement "
            f"{fmt_s(m['retire_s'])} ({fmt_s(m['retire_s'] / n)} per entry).")

    def bench_installs(self, nginx):
        for n in self.s["installs"]:
            label = f"{n:,} files × {fmt_bytes(self.s['small_bytes'])}"
            if n not in self.small_sync:
                est = self.estimate_install(n)
                if self.over_budget(est):
                    self.res.not_run(4, "first install: bx::synchronize_client_files", label,
                                     f"estimated {fmt_s(est)} for {self.rounds} runs (over "
                                     f"BENCH_BUDGET_MIN); see the bookkeeping note")
                    continue
                say(f"4. first install of {label}")
                sync, bare = self.run_download(nginx, self.small_entries[:n], f"install-{n}",
                                               f"small-{n}.json")
                self.small_sync[n] = sync
                self.res.add(4, "first install: bare WinHTTP loop, same process", label,
                             [l["seconds"] for l in bare], per=n)
                self.res.add(4, "first install: bx::synchronize_client_files", label,
                             [l["seconds"] for l in sync], per=n)
            sync = self.small_sync[n]
            ms = statistics.median(l["seconds"] for l in sync)
            m = {k: statistics.median(l[k] for l in sync)
                 for k in ("transfer_s", "post_s", "post_first_ms", "post_last_ms", "state_bytes")}
            self.res.add(4, "  of it after each transfer (hash, move, ownership record)", label,
                         [l["post_s"] for l in sync], per=n,
                         extra=f"{m['post_first_ms']:.1f} ms per file in the first tenth, "
                               f"{m['post_last_ms']:.1f} ms in the last; transfer "
                               f"{fmt_s(m['transfer_s'])} ({fmt_s(m['transfer_s'] / n)} per file)")
            self.res.note(
                f"First install of {n:,} files ({fmt_s(ms)}): transfer {fmt_s(m['transfer_s'])} "
                f"({fmt_s(m['transfer_s'] / n)} per file); after each transfer (flush, hash, move, "
                f"ownership record with the state file loaded and rewritten) {fmt_s(m['post_s'])} "
                f"({m['post_s'] / ms * 100:.0f} % of the run). That cost grows from "
                f"{m['post_first_ms']:.1f} ms per file in the first tenth to "
                f"{m['post_last_ms']:.1f} ms in the last tenth, as the state file grows to "
                f"{fmt_bytes(int(m['state_bytes']))}.")

    # 7. start-up ---------------------------------------------------------
    def hero_pictures(self):
        """The hero pictures the launcher starts with: the built-in one and two that an operator
        might configure, each far larger in pixels than any screen."""
        folder = self.data / "hero"
        folder.mkdir(parents=True, exist_ok=True)
        jpeg, png = folder / "hero-8000.jpg", folder / "hero-20000.png"
        say(f"   generating {jpeg.name} and {png.name}")
        noisy_jpeg(jpeg, 8000)
        gradient_png(png, 20000, 20000)
        return [("built-in picture (720 × 1080)", None),
                (f"8000 × 8000 JPEG, {fmt_bytes(jpeg.stat().st_size)}", jpeg),
                (f"20000 × 20000 PNG, {fmt_bytes(png.stat().st_size)}", png)]

    def bench_startup(self, nginx):
        say("7. start-up: process start to the first painted window")
        size = "1020 × 640 client area"
        if not self.launcher_exe.exists():
            self.res.not_run(7, "KadeOrvindalLauncher.exe start to first painted window", size,
                             "the launcher executable is not in this tree yet")
        # (what, window class, command line, hero picture's label)
        programs = [("minimal Win32 window program (register, create, show, one FillRect)",
                     "BenchMinimalWindow", [win(self.minimal_exe)], None)]
        if self.launcher_exe.exists():
            game = self.data / "startup-game"
            game.mkdir(parents=True, exist_ok=True)
            for index, (label, picture) in enumerate(self.hero_pictures()):
                config = {"serverName": "Kade Orvindal", "loginUrl": nginx.url("session"),
                          "gameDirectory": win(game), "gameExecutable": "Braxholm.exe",
                          "patchManifestUrl": nginx.url("startup-manifest.json"),
                          "statusUrl": nginx.url("status"), "registrationUrl": "",
                          "autoDownloadWhenMissing": False}
                if picture is not None:
                    config["branding"] = {"heroImage": win(picture)}
                cfg = self.data / f"startup-launcher-{index}.json"
                cfg.write_text(json.dumps(config, indent=2), encoding="utf-8")
                programs.append(("KadeOrvindalLauncher.exe --config …", "KadeOrvindalLauncher",
                                 [win(self.launcher_exe), "--config", win(cfg)], label))
        with XServer() as display:
            env = dict(os.environ, DISPLAY=display)
            # The prefix's desktop must be started with the display, so its wineserver is
            # started afresh for this part.
            subprocess.run(["wineserver", "-k"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-p"], env=env, check=True)
            subprocess.run(["wine", "wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                runs = [[] for _ in programs]
                # One untimed start each, then the programs in turn, so that all see the same
                # state of the machine.
                for _, cls, cmd, _ in programs:
                    self.wine(self.probe_exe, cls, 1, *cmd, env=env, timeout=300)
                for _ in range(self.rounds):
                    for index, (_, cls, cmd, _) in enumerate(programs):
                        runs[index] += self.wine(self.probe_exe, cls, 1, *cmd, env=env,
                                                 timeout=300)
            finally:
                subprocess.run(["wineserver", "-k"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        base = statistics.median(l["seconds"] for l in runs[0])
        settled = {}
        for (what, cls, _, label), r in zip(programs, runs):
            med = statistics.median(l["seconds"] for l in r)
            settled[label] = statistics.median(l["working_set"] for l in r)
            extra = (f"window visible after {fmt_s(statistics.median(l['visible_s'] for l in r))}; "
                     f"working set 2 s after it showed {fmt_bytes(int(settled[label]))}; "
                     f"peak working set {fmt_bytes(max(l['peak'] for l in r))}")
            if label is None:
                self.res.add(7, what, size, [l["seconds"] for l in r], extra=extra)
            else:
                self.res.add(7, f"{what} — {label} — time ÷ minimal program", size,
                             [l["seconds"] for l in r], ratio=med / base, goal="report",
                             extra=extra)
        labels = [label for _, _, _, label in programs[2:]]
        if labels:
            default = settled[programs[1][3]]
            for label in labels:
                more = settled[label] - default
                self.res.value(7, f"working set 2 s after the window showed, {label}, less the "
                               "built-in picture's", size, f"{more / MiB:+.0f} MiB",
                               goal="≤ 64 MiB", met=more <= 64 * MiB)

    # ---------------------------------------------------------------------
    def run(self):
        started = time.time()
        self.out.mkdir(parents=True, exist_ok=True)
        if self.data.exists():
            shutil.rmtree(self.data)
        self.data.mkdir(parents=True)
        usage = shutil.disk_usage(self.out)
        need = self.s["verify_bytes"] + 3 * self.s["big_bytes"] + (1 << 30)
        if usage.free < need * 1.5:
            sys.exit(f"not enough free disk for scale {self.scale_name}: need about {fmt_bytes(need)}")
        try:
            if "json" in self.only:
                self.bench_json()
            self.make_data()
            with Nginx(self.out / "nginx", self.www) as nginx:
                if "verify" in self.only:
                    self.bench_verify(nginx)
                if "scale" in self.only:
                    self.bench_bookkeeping()
                if "downloads" in self.only:
                    self.bench_downloads(nginx)
                if "scale" in self.only:
                    self.bench_scale(nginx)
                    self.bench_installs(nginx)
                if "startup" in self.only:
                    self.bench_startup(nginx)
        finally:
            if not self.keep and self.data.exists():
                shutil.rmtree(self.data)
        header = (f"# ./dev bench results\n\nScale `{self.scale_name}`, {self.rounds} runs per "
                  f"figure (median, min – max), {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}, "
                  f"{os.cpu_count()} CPUs, {subprocess.run(['wine', '--version'], capture_output=True, text=True).stdout.strip()}. "
                  "Windows figures are MinGW-w64 Release builds under Wine; files are in the page "
                  "cache (warm), nginx serves them on 127.0.0.1. Ratios compare figures of the same "
                  "run on the same data; MB is 10^6 bytes. The machine is shared with other "
                  "builds and test runs, so the figures are noisy: read the min – max column. "
                  f"Measurements estimated to take longer than {self.budget / 60:.0f} min "
                  "(BENCH_BUDGET_MIN) are listed as not run, with the estimate. Whole run: "
                  f"{(time.time() - started) / 60:.1f} min.")
        text = self.res.markdown(header)
        (self.out / "results.md").write_text(text)
        print()
        print(text)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--build", required=True)
    Bench(p.parse_args()).run()


if __name__ == "__main__":
    main()
