#!/usr/bin/env python3
"""qm_build.py - prepares Quillmere for the PC from an image of the user's own USA disc.

Usage (the launcher runs it with the kit's Python as "python -I -X utf8 qm_build.py ...", working
folder <release>/source, output read line by line):

    qm_build.py --check --disc IMAGE
        Checks that IMAGE (.iso, or .cue with its .bin) is the supported USA disc SQMU_404.20.
        Prints "INFO ..." lines while it reads, then either "OK SQMU_404.20 USA disc, SHA-1
        matches a known good copy (...)" and exits 0, or exactly one "ERROR verify <reason>" line
        and exits 1. The reason names what was found and contains "European", "boots", "SHA-1",
        "does not exist" or "not an ISO9660 disc image" for those cases.

    qm_build.py --disc IMAGE --out BUILD_DIR --game GAME_DIR
        Builds the game in eight steps: verify, extract, configure, tools, recompile, packs,
        compile, stage. Progress lines:
            PROGRESS <step>               the step starts
            PERCENT <step> <n>            n = 0..100 within the step
            DONE <step> took <s> s        the step ended after s seconds
            SKIP <step> ...               an earlier run finished the step, its outputs are intact
            ERROR <step> <reason>         the step failed; the script exits 1
            RESULT ok                     the build is complete; the script exits 0
        Other lines ("INFO ...", compiler chatter) carry nothing to parse. Each step writes
        BUILD_DIR/logs/<step>.log. Running the same command after a stop, a failure or an update
        of the release continues the build: a step is skipped when its stamp
        (BUILD_DIR/stamps/<step>.json, written only once the step has finished) still matches its
        inputs and every file it produced. Its inputs are its own code (in this script and the
        modules beside it), the outputs of the earlier steps it reads and what it takes from
        outside (the image, the game program), so a step that runs again and makes the same
        files lets the steps after it skip. GAME_DIR/built_from.ini is written by every completed
        build, even one that skipped every step.

    Bad arguments print a usage message and exit 2.

Environment (for tests; none is needed in normal use):
    QM_BUILD_PACE=<float>       scales the build's pacing (default 1.0, about two minutes in
                                all); any value above 0 still gives each step 1.6 s and compile
                                3.2 s; 0 lets every step run as fast as its work allows
    QM_BUILD_FAIL_STEP=<step>   that step fails with an ERROR line (exit 1)
    QM_BUILD_HANG=<step>        that step sleeps forever once it has started
    QM_BUILD_NO_RESULT=1        a completed build exits 0 without printing RESULT
    QM_BUILD_FLOOD=<n>          compile prints n extra lines as fast as it can
    QM_BUILD_NEED_FREE=<bytes>  free space verify requires in each folder's volume
    QM_BUILD_DOUBLE_FORK=1      (POSIX) the script at its start, every step as it starts and every
                                compile worker leave behind a process that forked twice and
                                called setsid, as a daemon does, and that sleeps for ten minutes
                                with the output pipe open: the launcher must end them all when it
                                stops the build or dies itself

Beside it: qm_disc.py reads disc images and tells the supported disc apart (with the table of
known good images); qm_r5900.py reads the boot program and turns its code into listings and
objects.

Sections:
    1. Constants
    2. Output, logs and pacing
    3. Check mode
    4. Stamps: continuing a build
    5. Steps verify, extract, configure, tools
    6. Steps recompile, packs
    7. Step compile and its workers
    8. Step stage
    9. Build driver, command line
"""

import argparse
import ast
import hashlib
import json
import os
import queue
import shutil
import struct
import subprocess
import sys
import threading
import time
import traceback
import zlib

# --- 1. Constants ---------------------------------------------------------------------------------


# -I leaves the script's folder off the module path; the helpers live beside the script. No
# bytecode is written: the release folder stays as it was unpacked.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
try:
    from qm_disc import (SECTOR, USA_SERIAL, DiscError, Image, identify, read_file, read_volume,
                         walk_files)
    from qm_r5900 import (c_listing, compile_unit, decode, encode, op_table, parse_elf,
                          read_object)
except ImportError as e:  # an incomplete release must still answer in the protocol
    print("ERROR verify the release's build tools are incomplete: %s" % e, flush=True)
    sys.exit(1)

STEPS = ("verify", "extract", "configure", "tools", "recompile", "packs", "compile", "stage")
SCRIPT = os.path.abspath(__file__)
TOOLS_DIR = os.path.dirname(SCRIPT)
SOURCE_DIR = os.path.dirname(TOOLS_DIR)
GAME_PROGRAM = "qm.exe" if os.name == "nt" else "qm"
STAMP_VERSION = 2

# Seconds per step at QM_BUILD_PACE=1: most of the time goes to packs and compile, as on a real
# disc. The floors keep every step visible for a moment even at a fast test pace.
PACE_SECONDS = {"verify": 2, "extract": 4, "configure": 16, "tools": 4, "recompile": 4,
                "packs": 52, "compile": 36, "stage": 2}
MIN_STEP_SECONDS = 1.6
MIN_COMPILE_SECONDS = 3.2
TICK = 0.05
TEX_MAGIC = b"TEX0"


class StepError(Exception):
    """A failure with a reason meant for the user; becomes "ERROR <step> <reason>"."""


# --- 2. Output, logs and pacing -------------------------------------------------------------------


def emit(line):
    try:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()
    except (BrokenPipeError, OSError):
        os._exit(1)  # whoever read our output is gone; nothing is left to report to


def env_text(name):
    return os.environ.get(name, "").strip()


def leave_daemon(keep_output=True):
    """With QM_BUILD_DOUBLE_FORK=1: a grandchild in a session of its own, whose parent has gone,
    so that only a job object (or the launcher's job helper) can still find and end it. A
    worker's daemon lets go of the worker's output, which the build reads to its end."""
    if os.name == "nt" or env_text("QM_BUILD_DOUBLE_FORK") in ("", "0"):
        return
    first = os.fork()
    if first == 0:
        try:
            os.setsid()
            if os.fork() == 0:
                if not keep_output:
                    null = os.open(os.devnull, os.O_RDWR)
                    for fd in (1, 2):
                        os.dup2(null, fd)
                time.sleep(600)
        finally:
            os._exit(0)
    os.waitpid(first, 0)


def env_number(name, default):
    try:
        return float(env_text(name))
    except ValueError:
        return default


def step_seconds(step):
    pace = env_number("QM_BUILD_PACE", 1.0)
    if pace <= 0:
        return 0.0
    floor = MIN_COMPILE_SECONDS if step == "compile" else MIN_STEP_SECONDS
    return max(floor, PACE_SECONDS[step] * pace)


class StepLog:
    def __init__(self, logs_dir, step, mode):
        os.makedirs(logs_dir, exist_ok=True)
        self.file = open(os.path.join(logs_dir, step + ".log"), mode, encoding="utf-8")

    def __call__(self, text):
        now = time.time()
        stamp = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(now))
        self.file.write("%s.%03d %s\n" % (stamp, int(now * 1000) % 1000, text))
        self.file.flush()

    def close(self):
        self.file.close()


class Pacer:
    """Spreads a step's work over its share of the build time and reports PERCENT lines.

    reach(f) is called after real work up to fraction f; it waits until f of the step's time has
    passed, moving the percentage along with the clock meanwhile, so progress stays smooth even
    when a step has few, large pieces of work. With heartbeat set, a PERCENT line goes out at
    least every 0.1 s, the rhythm the launcher's compile screen is watched at."""

    def __init__(self, step, seconds, heartbeat=False):
        self.step, self.seconds, self.heartbeat = step, seconds, heartbeat
        self.t0 = time.monotonic()
        self.fraction = 0.0
        self.shown = -1
        self.last_emit = 0.0

    def reach(self, fraction):
        fraction = min(1.0, max(self.fraction, fraction))
        if self.seconds > 0:
            deadline = self.t0 + fraction * self.seconds
            while True:
                now = time.monotonic()
                by_clock = (now - self.t0) / self.seconds
                self.show(min(fraction, max(self.fraction, by_clock)))
                if now >= deadline:
                    break
                time.sleep(min(TICK, deadline - now))
        self.fraction = fraction
        self.show(fraction)

    def show(self, fraction):
        percent = max(0, min(100, int(fraction * 100 + 1e-9)))
        now = time.monotonic()
        if percent != self.shown or (self.heartbeat and now - self.last_emit >= 0.09):
            emit("PERCENT %s %d" % (self.step, percent))
            self.shown, self.last_emit = percent, now


def file_sha1(path):
    h = hashlib.sha1()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def write_file(path, data):
    """Writes under a temporary name first, so a killed run never leaves half a file behind."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.replace(path + ".part", path)


def write_json(path, value):
    write_file(path, (json.dumps(value, indent=1, sort_keys=True) + "\n").encode("utf-8"))


def read_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)


def megabytes(n):
    return "%.1f MB" % (n / 1e6)


def read_ini_value(path, key):
    """First definition of key wins; key loses trailing blanks, value loses leading blanks."""
    try:
        with open(path, encoding="utf-8", errors="replace", newline="") as f:
            lines = f.read().split("\n")
    except OSError:
        return ""
    for line in lines:
        line = line[:-1] if line.endswith("\r") else line
        if "=" not in line or line.startswith("#"):
            continue
        name, value = line.split("=", 1)
        if name.rstrip(" \t") == key:
            return value.lstrip(" \t")
    return ""


# --- 3. Check mode --------------------------------------------------------------------------------


def run_check(disc):
    last = [-1]

    def progress(fraction):
        tenth = int(fraction * 10)
        if tenth != last[0]:
            last[0] = tenth
            emit("INFO hashing %d %%" % (tenth * 10))

    try:
        info = identify(disc, lambda text: emit("INFO " + text), progress)
    except DiscError as e:
        emit("ERROR verify " + str(e))
        return 1
    except OSError as e:
        emit("ERROR verify the disc image %s could not be read: %s" % (disc, e.strerror or e))
        return 1
    except Exception as e:  # never a trace in place of a verdict
        emit("ERROR verify the disc image %s could not be checked: %s: %s"
             % (disc, type(e).__name__, e))
        return 1
    emit("OK %s USA disc, SHA-1 matches a known good copy (%s)" % (info["serial"], info["label"]))
    return 0


# --- 4. Stamps: continuing a build ----------------------------------------------------------------


class Stamps:
    """One JSON file per finished step: the inputs it used and every file it produced with size
    and SHA-1. A step is skipped only when its stamp matches all of that again. A stamp is written
    after the step's last output and removed before the step starts, so a run killed at any
    moment leaves no stamp for unfinished work; the other steps keep theirs, since their recorded
    inputs tell by themselves whether they still hold."""

    def __init__(self, out_dir, game_dir):
        self.dir = os.path.join(out_dir, "stamps")
        self.roots = {"out": out_dir, "game": game_dir}

    def path(self, step):
        return os.path.join(self.dir, step + ".json")

    def resolve(self, ref):
        root, rel = ref.split(":", 1)
        return os.path.join(self.roots[root], *rel.split("/"))

    def valid_stamp(self, step, inputs):
        try:
            stamp = read_json(self.path(step))
        except (OSError, ValueError):
            return None
        if stamp.get("version") != STAMP_VERSION or stamp.get("inputs") != inputs:
            return None
        for ref, size, sha1 in stamp.get("outputs", []):
            path = self.resolve(ref)
            try:
                if os.path.getsize(path) != size or file_sha1(path) != sha1:
                    return None
            except OSError:
                return None
        return stamp

    def remove(self, step):
        try:
            os.remove(self.path(step))
        except FileNotFoundError:
            pass

    def write(self, step, inputs, refs):
        outputs = []
        for ref in sorted(set(refs)):
            path = self.resolve(ref)
            outputs.append([ref, os.path.getsize(path), file_sha1(path)])
        # The digest covers the outputs alone: a step that ran again and made the same files lets
        # the steps that read them skip.
        digest = hashlib.sha1(json.dumps(outputs, sort_keys=True).encode()).hexdigest()
        write_json(self.path(step), {"version": STAMP_VERSION, "step": step, "inputs": inputs,
                                     "outputs": outputs, "digest": digest})
        return digest


def tool_module(name):
    """The file name of a module that lives beside this script, or None for any other module."""
    if not name or os.path.join(TOOLS_DIR, name + ".py") == SCRIPT:
        return None
    return name + ".py" if os.path.isfile(os.path.join(TOOLS_DIR, name + ".py")) else None


def tool_imports(path):
    with open(path, encoding="utf-8") as f:
        tree = ast.parse(f.read())
    found = set()
    for node in ast.walk(tree):
        if isinstance(node, ast.ImportFrom) and not node.level:
            found.add(tool_module(node.module))
        elif isinstance(node, ast.Import):
            found.update(tool_module(a.name) for a in node.names)
    return found - {None}


def defined_names(node):
    if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
        return [node.name]
    if isinstance(node, ast.Assign):
        return [t.id for t in node.targets if isinstance(t, ast.Name)]
    return []


class StepCode:
    """The code that makes a step's outputs: the definitions of this script that its function
    reaches, name by name, and the whole of each module beside the script that they use. The
    script also holds the driver, check mode and the other steps, and a release that changes
    those must not make this step run again."""

    def __init__(self):
        with open(SCRIPT, encoding="utf-8") as f:
            text = f.read()
        tree = ast.parse(text)
        self.defs, self.imported = {}, {}
        for node in tree.body:
            for name in defined_names(node):
                used = {n.id for n in ast.walk(node) if isinstance(n, ast.Name)}
                self.defs[name] = (ast.get_source_segment(text, node), used)
        for node in ast.walk(tree):
            if isinstance(node, ast.ImportFrom) and tool_module(node.module):
                for alias in node.names:
                    self.imported[alias.asname or alias.name] = tool_module(node.module)

    def fingerprint(self, step):
        todo = [STEP_FUNCTIONS[step].__name__] + list(STEP_ENTRIES.get(step, ()))
        seen, modules = set(), set()
        while todo:
            name = todo.pop()
            if name in seen:
                continue
            seen.add(name)
            if name in self.defs:
                todo += self.defs[name][1]
            elif name in self.imported:
                modules.add(self.imported[name])
        own = "\n".join(self.defs[n][0] for n in sorted(seen) if n in self.defs)
        code = {os.path.basename(SCRIPT): hashlib.sha1(own.encode("utf-8")).hexdigest()}
        todo = sorted(modules)
        while todo:
            module = todo.pop()
            if module not in code:
                path = os.path.join(TOOLS_DIR, module)
                code[module] = file_sha1(path)
                todo += sorted(tool_imports(path))
        return code


def refs_under(root_name, root, folder):
    base = os.path.join(root, folder)
    refs = []
    for here, _, files in os.walk(base):
        for name in files:
            rel = os.path.relpath(os.path.join(here, name), root).replace(os.sep, "/")
            refs.append(root_name + ":" + rel)
    return refs


# --- 5. Steps verify, extract, configure, tools ---------------------------------------------------


def existing_ancestor(path):
    path = os.path.abspath(path)
    while not os.path.exists(path) and os.path.dirname(path) != path:
        path = os.path.dirname(path)
    return path


def check_free_space(b, info, log):
    """The build folder holds the extracted files, converted textures and objects (about twice
    the disc); the game folder needs a copy of the disc unless a hard link is possible."""
    out_at, game_at = existing_ancestor(b.out), existing_ancestor(b.game)
    linkable = info["plain"] and os.stat(b.disc).st_dev == os.stat(game_at).st_dev
    needs = {}
    for where, need in ((out_at, 2 * info["user_bytes"] + (64 << 20)),
                        (game_at, (0 if linkable else info["user_bytes"]) + (16 << 20))):
        dev = os.stat(where).st_dev
        folders, total = needs.get(dev, ([], 0))
        needs[dev] = (folders + [where], total + need)
    override = env_text("QM_BUILD_NEED_FREE")
    for folders, need in needs.values():
        if override:
            need = int(env_number("QM_BUILD_NEED_FREE", need))
        free = shutil.disk_usage(folders[0]).free
        log("free space in %s: %s needed, %s free" % (" and ".join(folders), megabytes(need),
                                                       megabytes(free)))
        if free < need:
            raise StepError("not enough free space in %s: %s needed, %s free"
                            % (folders[0], megabytes(need), megabytes(free)))


def step_verify(b, pace, log):
    log("disc image: %s" % b.disc)
    info = identify(b.disc, log, lambda f: pace.reach(0.85 * f))
    log("USA disc %s, SHA-1 %s (%s)" % (info["serial"], info["sha1"], info["label"]))
    emit("INFO disc %s, SHA-1 matches a known good copy (%s)" % (info["serial"], info["label"]))
    check_free_space(b, info, log)
    pace.reach(1.0)
    write_json(os.path.join(b.out, "disc.json"), {k: info[k] for k in (
        "serial", "volume", "sha1", "video_mode", "user_bytes")})
    return ["out:disc.json"]


def step_extract(b, pace, log):
    dest = os.path.join(b.out, "extract")
    fresh_dir(dest)
    img = Image(b.disc)
    try:
        volume, _, root = read_volume(img)
        files = walk_files(img, root)
        total = max(1, sum(size for _, _, size in files))
        done = 0
        log("volume %s: %d files, %s" % (volume, len(files), megabytes(total)))
        for rel, lba, size in files:
            path = os.path.join(dest, *rel.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                for at in range(0, size, 256 * SECTOR):
                    part = min(256 * SECTOR, size - at)
                    f.write(read_file(img, lba + at // SECTOR, part))
                    done += part
                    pace.reach(done / total)
            log("%-32s %10d bytes at sector %d" % (rel, size, lba))
    finally:
        img.close()
    emit("INFO extracted %d files, %s" % (len(files), megabytes(total)))
    return ["out:extract/" + rel for rel, _, _ in files]


def classify(path):
    with open(path, "rb") as f:
        head = f.read(16)
    if head.startswith(b"\x7fELF"):
        return "program"
    if head.startswith(TEX_MAGIC):
        return "texture"
    return "data"


def step_configure(b, pace, log):
    disc = read_json(os.path.join(b.out, "disc.json"))
    root = os.path.join(b.out, "extract")
    files = sorted(r[len("out:extract/"):] for r in refs_under("out", b.out, "extract"))
    log("-- Python %s on %s" % (sys.version.split()[0], sys.platform))
    log("-- zlib %s" % zlib.ZLIB_RUNTIME_VERSION)
    table = {}
    for i, rel in enumerate(files):
        path = os.path.join(root, *rel.split("/"))
        table[rel] = {"kind": classify(path), "size": os.path.getsize(path),
                      "sha1": file_sha1(path)}
        log("-- %-32s %-8s %s" % (rel, table[rel]["kind"], table[rel]["sha1"]))
        pace.reach(0.9 * (i + 1) / max(1, len(files)))
    boot = disc["serial"]
    if table.get(boot, {}).get("kind") != "program":
        raise StepError("the disc's boot program %s is missing or is no ELF program" % boot)
    workers = max(2, min(4, os.cpu_count() or 2))
    config = {"boot": boot, "video_mode": disc["video_mode"], "workers": workers, "files": table,
              "textures": [rel for rel in files if table[rel]["kind"] == "texture"]}
    log("-- boot program %s, %d textures, %d compile workers"
        % (boot, len(config["textures"]), workers))
    write_json(os.path.join(b.out, "config.json"), config)
    pace.reach(1.0)
    return ["out:config.json"]


def step_tools(b, pace, log):
    dest = os.path.join(b.out, "tools")
    fresh_dir(dest)
    ops = op_table()
    names = [v[0] for v in ops["primary"].values()] + [v[0] for v in ops["special"].values()]
    if len(set(names)) != len(names):
        raise StepError("the recompiler's instruction table names an instruction twice")
    checked = 0
    for word in (0x27BDFFF0, 0xAFBF000C, 0x03E00008, 0x00851021, 0x0C040000, 0x3C020010, 0):
        name, args = decode(word, 0x00100000, ops)
        if encode(name, args, ops) != word:
            raise StepError("the recompiler's instruction table does not round-trip 0x%08x" % word)
        checked += 1
    log("instruction table: %d instructions, %d sample encodings checked" % (len(names), checked))
    write_json(os.path.join(dest, "r5900_ops.json"), ops)
    pace.reach(0.3)
    # The recompiler's source, by which the later steps' listings and objects can be traced back;
    # only the module this step runs, so that the file changes exactly when the step must run.
    name = "qm_r5900.py"
    manifest = {name: file_sha1(os.path.join(TOOLS_DIR, name))}
    log("tool source %-20s %s" % (name, manifest[name]))
    write_json(os.path.join(dest, "manifest.json"), manifest)
    pace.reach(1.0)
    return refs_under("out", b.out, "tools")


# --- 6. Steps recompile, packs --------------------------------------------------------------------


def step_recompile(b, pace, log):
    config = read_json(os.path.join(b.out, "config.json"))
    ops = read_json(os.path.join(b.out, "tools", "r5900_ops.json"))
    data = open(os.path.join(b.out, "extract", config["boot"]), "rb").read()
    try:
        entry, sections, functions = parse_elf(data)
    except (ValueError, struct.error, IndexError) as e:
        raise StepError("%s cannot be read: %s" % (config["boot"], e))
    if ".text" not in sections:
        raise StepError("the boot program has no .text section")
    text_addr, text_off, text_size = sections[".text"]
    if not functions:
        functions = [("entry_%08x" % entry, text_addr, text_size)]
    log("%s: entry 0x%08x, %d sections, %d functions" % (config["boot"], entry, len(sections),
                                                        len(functions)))
    dest = os.path.join(b.out, "recomp")
    fresh_dir(dest)
    per_unit = max(1, -(-len(functions) // 48))
    table, unit_text = [], []
    for i, (name, addr, size) in enumerate(functions):
        if not text_addr <= addr < addr + size <= text_addr + text_size:
            raise StepError("function %s at 0x%08x lies outside .text" % (name, addr))
        at = text_off + addr - text_addr
        words = struct.unpack_from("<%dI" % (size // 4), data, at)
        unit = "unit_%03d" % (i // per_unit)
        table.append({"name": name, "addr": addr, "size": size, "unit": unit})
        unit_text.append(c_listing(name, addr, words, ops))
        if len(unit_text) == per_unit or i == len(functions) - 1:
            head = '/* %s.c: recompiled from %s */\n#include "qm_recomp.h"\n\n' % (unit,
                                                                                   config["boot"])
            write_file(os.path.join(dest, unit + ".c"), (head + "\n".join(unit_text)).encode())
            log("%s.c: %d functions" % (unit, len(unit_text)))
            unit_text = []
        pace.reach(0.95 * (i + 1) / len(functions))
    write_file(os.path.join(dest, "qm_recomp.h"),
               b"/* R5900 register file and instruction macros of the recompiled code */\n"
               b"typedef struct R5900 { unsigned long long r[32][2]; unsigned pc; } R5900;\n")
    write_json(os.path.join(dest, "functions.json"), {"entry": entry, "functions": table})
    pace.reach(1.0)
    return refs_under("out", b.out, "recomp")


def png_bytes(width, height, rgba):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    stride = width * 4
    raw = b"".join(b"\0" + rgba[y * stride : (y + 1) * stride] for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6,
                                                              0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def step_packs(b, pace, log):
    config = read_json(os.path.join(b.out, "config.json"))
    dest = os.path.join(b.out, "packs")
    fresh_dir(dest)
    textures, index = config["textures"], {}
    for i, rel in enumerate(textures):
        data = open(os.path.join(b.out, "extract", *rel.split("/")), "rb").read()
        width, height, fmt, size = struct.unpack_from("<HHII", data, 4)
        if fmt != 1 or size != width * height * 4 or len(data) < 16 + size or not width:
            raise StepError("texture %s is damaged (format %d, %dx%d, %d bytes)"
                            % (rel, fmt, width, height, len(data)))
        png = rel.rsplit(".", 1)[0] + ".png"
        write_file(os.path.join(dest, *png.split("/")),
                   png_bytes(width, height, data[16 : 16 + size]))
        index[rel] = {"png": png, "width": width, "height": height}
        log("%-28s %4dx%-4d -> %s" % (rel, width, height, png))
        pace.reach((i + 1) / max(1, len(textures)))
    write_json(os.path.join(dest, "index.json"), index)
    emit("INFO converted %d textures" % len(textures))
    pace.reach(1.0)
    return refs_under("out", b.out, "packs")


# --- 7. Step compile and its workers --------------------------------------------------------------


def run_worker(job_path):
    """A compile worker: compiles its share of the units, reporting "P <fraction>", "O <unit>"
    and finally "END" on its output, paced to the seconds the job allows."""
    try:
        leave_daemon(keep_output=False)
        job = read_json(job_path)
        ops = read_json(job["ops"])
        parent, t0, units = os.getppid(), time.monotonic(), job["units"]
        seconds = job["seconds"]
        for i, unit in enumerate(units):
            write_file(os.path.join(job["obj"], unit + ".o"),
                       compile_unit(os.path.join(job["src"], unit + ".c"), ops))
            emit("O " + unit)
            goal = (i + 1) / len(units)
            while True:
                spent = time.monotonic() - t0
                emit("P %.4f" % (min(goal, spent / seconds) if seconds > 0 else goal))
                if spent >= goal * seconds:
                    break
                if os.name != "nt" and os.getppid() != parent:
                    return 1  # the build was stopped; our results have no one to go to
                time.sleep(TICK)
    except Exception as e:
        emit("FAIL %s: %s" % (type(e).__name__, e))
        return 1
    emit("END")
    return 0


def spawn_workers(b, shares, seconds, log):
    flags = 0x08000000 if os.name == "nt" else 0  # CREATE_NO_WINDOW: no console pops up
    lines, procs = queue.Queue(), []
    for k, share in enumerate(shares):
        job = os.path.join(b.out, "compile", "worker_%d.json" % k)
        write_json(job, {"units": share, "seconds": seconds, "ops": os.path.join(
            b.out, "tools", "r5900_ops.json"), "src": os.path.join(b.out, "recomp"),
            "obj": os.path.join(b.out, "obj")})
        proc = subprocess.Popen([sys.executable, "-I", "-X", "utf8", SCRIPT, "--worker", job],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, creationflags=flags)
        procs.append(proc)
        log("worker %d (pid %d): %d units" % (k, proc.pid, len(share)))

        def read(k=k, stream=proc.stdout):
            for raw in stream:
                lines.put((k, raw.decode("utf-8", "replace").rstrip("\r\n")))
            lines.put((k, None))

        threading.Thread(target=read, daemon=True).start()
    return procs, lines


def flood(count):
    for i in range(count):
        sys.stdout.write("cc1: note: flood line %d of %d (QM_BUILD_FLOOD)\n" % (i + 1, count))
        if i % 64 == 63:
            sys.stdout.flush()
    sys.stdout.flush()


def step_compile(b, pace, log):
    config = read_json(os.path.join(b.out, "config.json"))
    functions = read_json(os.path.join(b.out, "recomp", "functions.json"))["functions"]
    units = sorted({f["unit"] for f in functions})
    fresh_dir(os.path.join(b.out, "obj"))
    fresh_dir(os.path.join(b.out, "compile"))
    n = max(1, min(config["workers"], len(units)))
    shares = [units[k::n] for k in range(n)]
    pace.show(0.0)
    procs, lines = spawn_workers(b, shares, 0.9 * pace.seconds, log)
    emit("INFO compiling %d units with %d workers" % (len(units), n))
    flood(int(env_number("QM_BUILD_FLOOD", 0)))
    progress, finished, compiled, tail = [0.0] * n, 0, set(), []
    try:
        while finished < n:
            try:
                k, line = lines.get(timeout=TICK)
            except queue.Empty:
                k, line = -1, ""
            if line is None:
                finished += 1
            elif line.startswith("P "):
                progress[k] = float(line[2:])
            elif line.startswith("O "):
                compiled.add(line[2:])
                log("worker %d: %s.o" % (k, line[2:]))
            elif line and line != "END":
                tail.append("worker %d: %s" % (k, line))
                log(tail[-1])
            done = sum(p * len(s) for p, s in zip(progress, shares)) / len(units)
            pace.fraction = 0.9 * done
            pace.show(pace.fraction)
        codes = [p.wait() for p in procs]
    finally:
        for p in procs:
            if p.poll() is None:
                p.kill()
    if any(codes) or compiled != set(units):
        detail = tail[-1] if tail else "exit codes %s" % codes
        raise StepError("a compile worker failed: %s" % detail)
    link(b, units, log)
    pace.reach(1.0)
    return refs_under("out", b.out, "obj") + ["out:compile/qm_code.bin", "out:compile/qm_code.map"]


def link(b, units, log):
    placed = []
    for unit in units:
        placed += read_object(open(os.path.join(b.out, "obj", unit + ".o"), "rb").read())
    placed.sort()
    base, end = placed[0][0], max(addr + len(body) for addr, _, body in placed)
    image = bytearray(end - base)
    for addr, _, body in placed:
        image[addr - base : addr - base + len(body)] = body
    write_file(os.path.join(b.out, "compile", "qm_code.bin"), bytes(image))
    write_file(os.path.join(b.out, "compile", "qm_code.map"), "".join(
        "0x%08x %6d %s\n" % (addr, len(body), name) for addr, name, body in placed).encode())
    log("linked %d functions, %d bytes from 0x%08x" % (len(placed), len(image), base))


# --- 8. Step stage --------------------------------------------------------------------------------


def copy_into(src, dest):
    shutil.copyfile(src, dest + ".part")
    os.replace(dest + ".part", dest)


def remove_part(part):
    if os.path.lexists(part):
        os.remove(part)


def stage_disc(b, target, pace, log):
    img = Image(b.disc)
    plain = img.sector_size == SECTOR and img.data_path == b.disc
    # Windows cannot rename a second name of a file that is open, so the image is closed while it
    # is linked.
    img.close()
    if plain and os.path.exists(target) and os.path.samefile(b.disc, target):
        log("disc.iso is already a link to the image")
        return
    part = target + ".part"
    if plain:
        try:
            remove_part(part)
            os.link(b.disc, part)
            os.replace(part, target)
            log("disc.iso: hard link to %s" % b.disc)
            return
        except OSError as e:
            log("no hard link possible (%s), copying the image" % (e.strerror or e))
    # After a link that could not take the name disc.iso, the part is a second name of the user's
    # image: writing into it would empty the image itself.
    remove_part(part)
    img = Image(b.disc)
    try:
        total, done = max(1, img.user_bytes()), 0
        with open(part, "xb") as f:
            for block in img.user_data():
                f.write(block)
                done += len(block)
                pace.reach(0.2 + 0.7 * done / total)
        os.replace(part, target)
        log("disc.iso: %s of user data written from %s" % (megabytes(total), img.kind))
    finally:
        img.close()


def step_stage(b, pace, log):
    program = os.path.join(SOURCE_DIR, "demo", GAME_PROGRAM)
    if not os.path.isfile(program):
        raise StepError("the game program %s is missing from the release" % program)
    os.makedirs(b.game, exist_ok=True)
    target = os.path.join(b.game, GAME_PROGRAM)
    copy_into(program, target)
    os.chmod(target, os.stat(target).st_mode | 0o755)
    log("%s from %s" % (GAME_PROGRAM, program))
    boot = read_json(os.path.join(b.out, "config.json"))["boot"]
    copy_into(os.path.join(b.out, "extract", boot), os.path.join(b.game, USA_SERIAL))
    log("%s from the disc" % USA_SERIAL)
    pace.reach(0.2)
    stage_disc(b, os.path.join(b.game, "disc.iso"), pace, log)
    pace.reach(1.0)
    return ["game:" + GAME_PROGRAM, "game:" + USA_SERIAL, "game:disc.iso"]


def write_built_from(b, log):
    """Names the source the game folder now matches. Written by every completed build, not by a
    step: a release whose changes touch no step's inputs skips them all, and the launcher must
    still learn that the game is built from it."""
    if not b.commit:
        log("warning: %s names no commit" % os.path.join(SOURCE_DIR, "release.ini"))
    disc = read_json(os.path.join(b.out, "disc.json"))
    text = ("# Written by qm_build.py when it assembled this folder.\n"
            "commit = %s\nversion = %s\ndisc = %s %s\n"
            % (b.commit, b.version, disc["serial"], disc["sha1"])).encode("utf-8")
    path = os.path.join(b.game, "built_from.ini")
    try:
        with open(path, "rb") as f:
            unchanged = f.read() == text
    except OSError:
        unchanged = False
    if not unchanged:
        write_file(path, text)
    log("built_from.ini: commit = %s" % b.commit)


# --- 9. Build driver, command line ----------------------------------------------------------------


STEP_FUNCTIONS = {"verify": step_verify, "extract": step_extract, "configure": step_configure,
                  "tools": step_tools, "recompile": step_recompile, "packs": step_packs,
                  "compile": step_compile, "stage": step_stage}

# Code of a step that its function does not call: the compile workers run in processes of their own.
STEP_ENTRIES = {"compile": ("run_worker",)}

# The earlier steps whose outputs each step reads. verify and extract read the image itself, and
# tools only the recompiler's source.
STEP_READS = {"verify": (), "extract": (), "configure": ("verify", "extract"), "tools": (),
              "recompile": ("extract", "configure", "tools"), "packs": ("extract", "configure"),
              "compile": ("configure", "tools", "recompile"), "stage": ("extract", "configure")}


def file_identity(path):
    try:
        st = os.stat(path)
    except OSError:
        return None
    return [os.path.realpath(path), st.st_size, st.st_mtime_ns]


class Build:
    def __init__(self, disc, out, game):
        self.disc, self.out, self.game = (os.path.abspath(p) for p in (disc, out, game))
        self.logs = os.path.join(self.out, "logs")
        ini = os.path.join(SOURCE_DIR, "release.ini")
        self.commit, self.version = read_ini_value(ini, "commit"), read_ini_value(ini, "version")
        self.stamps = Stamps(self.out, self.game)
        self.code = StepCode()
        self.digests = {}  # step -> digest of its outputs, once it has run or been skipped

    def disc_identity(self):
        ident = [file_identity(self.disc)]
        if self.disc.lower().endswith(".cue") and ident[0]:
            try:
                img = Image(self.disc)
                img.close()
                ident.append(file_identity(img.data_path))
            except (DiscError, OSError):
                ident.append(None)
        return ident

    def disc_sha1(self):
        try:
            return read_json(os.path.join(self.out, "disc.json")).get("sha1")
        except (OSError, ValueError):
            return None

    def inputs(self, step):
        # verify trusts the image's path, size and modification time rather than hashing it again
        # on every run; the steps that read the image go by the SHA-1 of its user data that verify
        # found, so another copy of the same disc rebuilds nothing.
        inputs = {"code": self.code.fingerprint(step),
                  "reads": {s: self.digests[s] for s in STEP_READS[step]}}
        if step == "verify":
            inputs["disc_file"] = self.disc_identity()
        if step in ("extract", "stage"):
            inputs["disc_sha1"] = self.disc_sha1()
        if step == "stage":
            program = os.path.join(SOURCE_DIR, "demo", GAME_PROGRAM)
            inputs["program"] = file_sha1(program) if os.path.isfile(program) else None
        return json.loads(json.dumps(inputs))

    def run(self):
        try:
            os.makedirs(self.logs, exist_ok=True)
        except OSError as e:
            emit("ERROR verify the build folder %s cannot be created: %s" % (self.out, e.strerror))
            return 1
        for step in STEPS:
            inputs = self.inputs(step)
            stamp = self.stamps.valid_stamp(step, inputs)
            if stamp:
                emit("SKIP %s done by an earlier run, outputs intact" % step)
                log = StepLog(self.logs, step, "a")
                log("skipped: an earlier run finished this step and its inputs and outputs are "
                    "unchanged")
                log.close()
                self.digests[step] = stamp["digest"]
                continue
            self.stamps.remove(step)
            self.digests[step] = self.run_step(step, inputs)
            if self.digests[step] is None:
                return 1
        if not self.finish():
            return 1
        if env_text("QM_BUILD_NO_RESULT") not in ("", "0"):
            return 0
        emit("RESULT ok the game is ready in %s" % self.game)
        return 0

    def finish(self):
        log = StepLog(self.logs, "stage", "a")
        try:
            write_built_from(self, log)
        except (OSError, ValueError, KeyError) as e:
            self.fail("stage", log, "built_from.ini cannot be written: %s"
                      % (getattr(e, "strerror", None) or e))
            return False
        log.close()
        return True

    def run_step(self, step, inputs):
        emit("PROGRESS %s" % step)
        leave_daemon()
        t0 = time.monotonic()
        log = StepLog(self.logs, step, "w")
        log("%s started (qm_build.py, pid %d, release %s %s)" % (step, os.getpid(), self.version,
                                                                 self.commit))
        pace = Pacer(step, step_seconds(step), heartbeat=step == "compile")
        try:
            pace.show(0.0)
            if env_text("QM_BUILD_HANG") == step:
                log("hanging here as QM_BUILD_HANG asks")
                while True:
                    time.sleep(60)
            if env_text("QM_BUILD_FAIL_STEP") == step:
                pace.reach(0.3)
                raise StepError("failing on purpose as QM_BUILD_FAIL_STEP asks")
            refs = STEP_FUNCTIONS[step](self, pace, log)
            digest = self.stamps.write(step, inputs, refs)
        except (StepError, DiscError) as e:
            return self.fail(step, log, str(e))
        except OSError as e:
            log(traceback.format_exc())
            where = " (%s)" % e.filename if e.filename else ""
            return self.fail(step, log, "%s%s" % (e.strerror or e, where))
        except Exception as e:  # a fault of this script: keep the trace in the log
            log(traceback.format_exc())
            return self.fail(step, log, "internal error: %s: %s" % (type(e).__name__, e))
        seconds = time.monotonic() - t0
        log("done in %.2f s, %d files recorded" % (seconds, len(refs)))
        log.close()
        emit("DONE %s took %.2f s" % (step, seconds))
        return digest

    def fail(self, step, log, reason):
        reason = " ".join(reason.split())
        log("ERROR: " + reason)
        log.close()
        emit("ERROR %s %s" % (step, reason))
        return None


class Parser(argparse.ArgumentParser):
    def error(self, message):
        self.print_usage(sys.stderr)
        sys.stderr.write("qm_build.py: %s\n" % message)
        sys.stderr.flush()
        sys.exit(2)


def main(argv):
    parser = Parser(prog="qm_build.py", allow_abbrev=False,
                    description="Checks a Quillmere disc image or builds the game from it.")
    parser.add_argument("--check", action="store_true", help="only check the disc image")
    parser.add_argument("--disc", help="the disc image: .iso, or .cue with its .bin")
    parser.add_argument("--out", help="the build folder")
    parser.add_argument("--game", help="the game folder to assemble")
    parser.add_argument("--worker", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    if args.worker:
        return run_worker(args.worker)
    leave_daemon()
    if not args.disc:
        parser.error("--disc IMAGE is required")
    if args.check:
        if args.out or args.game:
            parser.error("--check takes only --disc")
        return run_check(args.disc)
    if not args.out or not args.game:
        parser.error("a build needs --disc, --out and --game")
    return Build(args.disc, args.out, args.game).run()


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except KeyboardInterrupt:
        sys.exit(130)
