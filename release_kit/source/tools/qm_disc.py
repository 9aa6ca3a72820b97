"""Disc images for qm_build.py: reading ISO 9660 volumes and telling the supported disc apart.

An image is a plain .iso of 2048-byte sectors, or 2352-byte raw sectors (MODE1 or MODE2 form 1)
named by a .cue sheet or recognised by the sync pattern of their first sector. identify() reads
the volume, finds SYSTEM.CNF and the program it boots, and accepts only the USA disc whose SHA-1
is in KNOWN_GOOD; everything else raises DiscError with a reason meant for the user.

Sections: known discs | image files | ISO 9660 volume | identification.
"""

import hashlib
import os
import re
import struct


# --- known discs ----------------------------------------------------------------------------------


USA_SERIAL = "SQMU_404.20"
EUROPEAN_SERIALS = ("SQME_502.13",)

# SHA-1 over the 2048-byte user data of every sector of the image (see user_data_sha1).
KNOWN_GOOD = {
    "7bed3f9929b32b53cbe58cc1109601223ef24f30": "USA 1.00, compact image",
    "31385b4590208a637f1890395f9fef353860f454": "USA 1.00, full image",
}

SECTOR = 2048
RAW_SECTOR = 2352
SYNC = b"\x00" + b"\xff" * 10 + b"\x00"


class DiscError(Exception):
    """What is wrong with an image, in words for the user."""


# --- image files ----------------------------------------------------------------------------------


class Image:
    """The user data of a disc image, sector by sector, whatever the file's layout: plain 2048-byte
    sectors (.iso), or 2352-byte raw sectors in MODE1 (user data at 16) or MODE2 form 1 (at 24),
    either named by a cue sheet or recognised by the sync pattern of their first sector."""

    def __init__(self, path):
        self.path = path
        self.data_path, self.sector_size, self.user_offset = path, SECTOR, 0
        self.kind = "2048-byte sectors"
        if not os.path.exists(path):
            raise DiscError("the disc image %s does not exist" % path)
        if os.path.isdir(path):
            raise DiscError("%s is a folder, not an ISO9660 disc image" % path)
        if path.lower().endswith(".cue"):
            self._from_cue(path)
        else:
            with open(path, "rb") as f:
                head = f.read(16)
            if len(head) == 16 and head[:12] == SYNC and head[15] in (1, 2):
                self.sector_size, self.user_offset = RAW_SECTOR, 16 if head[15] == 1 else 24
                self.kind = "raw MODE%d/2352 sectors" % head[15]
        self.file = open(self.data_path, "rb")
        self.size = os.fstat(self.file.fileno()).st_size
        self.sectors = self.size // self.sector_size

    def _from_cue(self, cue):
        with open(cue, "rb") as f:
            text = f.read(65536).decode("utf-8", "replace")
        name = mode = None
        for line in text.splitlines():
            words = line.strip()
            m = re.match(r'FILE\s+(?:"([^"]+)"|(\S+))', words, re.I)
            if m and name is None:
                name = m.group(1) or m.group(2)
            m = re.match(r"TRACK\s+\d+\s+(\S+)", words, re.I)
            if m and mode is None:
                mode = m.group(1).upper()
        if name is None or mode is None:
            raise DiscError("the cue sheet %s names no track file: not an ISO9660 disc image" % cue)
        layouts = {"MODE1/2352": (RAW_SECTOR, 16), "MODE2/2352": (RAW_SECTOR, 24),
                   "MODE1/2048": (SECTOR, 0)}
        if mode not in layouts:
            raise DiscError("the cue sheet %s starts with a %s track: not an ISO9660 disc image"
                            % (cue, mode))
        self.data_path = os.path.join(os.path.dirname(os.path.abspath(cue)), name)
        if not os.path.isfile(self.data_path):
            raise DiscError("the track file %s named by %s does not exist" % (self.data_path, cue))
        self.sector_size, self.user_offset = layouts[mode]
        self.kind = "cue sheet, %s track in %s" % (mode, os.path.basename(self.data_path))

    def close(self):
        self.file.close()

    def read(self, lba, count):
        if lba < 0 or lba + count > self.sectors:
            raise DiscError("%s is cut short: sector %d lies beyond its end"
                            % (self.path, lba + count - 1))
        self.file.seek(lba * self.sector_size)
        raw = self.file.read(count * self.sector_size)
        if self.sector_size == SECTOR:
            return raw
        step, off = self.sector_size, self.user_offset
        return b"".join(raw[i * step + off : i * step + off + SECTOR] for i in range(count))

    def user_data(self, chunk=512):
        """Yields the user data of the whole image in order; for a plain image the whole file."""
        if self.sector_size == SECTOR:
            self.file.seek(0)
            yield from iter(lambda: self.file.read(chunk * SECTOR), b"")
            return
        for lba in range(0, self.sectors, chunk):
            yield self.read(lba, min(chunk, self.sectors - lba))

    def user_bytes(self):
        return self.size if self.sector_size == SECTOR else self.sectors * SECTOR


# --- ISO 9660 volume ------------------------------------------------------------------------------


def _record(data, pos):
    length = data[pos]
    lba = struct.unpack_from("<I", data, pos + 2)[0]
    size = struct.unpack_from("<I", data, pos + 10)[0]
    ident = data[pos + 33 : pos + 33 + data[pos + 32]]
    return length, ident, lba, size, bool(data[pos + 25] & 2)


def read_volume(img):
    """The primary volume descriptor: (volume id, system id, root (lba, size))."""
    where = os.path.basename(img.path)
    for lba in range(16, min(img.sectors, 48)):
        vd = img.read(lba, 1)
        if vd[1:6] != b"CD001" or vd[0] == 255:
            break
        if vd[0] == 1:
            if struct.unpack_from("<H", vd, 128)[0] != SECTOR:
                raise DiscError("%s has a logical block size other than 2048: not an ISO9660 disc "
                                "image this build can read" % where)
            _, _, root_lba, root_size, _ = _record(vd, 156)
            return (vd[40:72].decode("ascii", "replace").strip(),
                    vd[8:40].decode("ascii", "replace").strip(), (root_lba, root_size))
    raise DiscError("%s is not an ISO9660 disc image (no CD001 primary volume descriptor from "
                    "sector 16 on)" % where)


def list_dir(img, lba, size):
    """[(name, lba, size, is_dir)] of one directory, "." and ".." left out, versions cut."""
    data = img.read(lba, (size + SECTOR - 1) // SECTOR)
    entries, pos = [], 0
    while pos < min(size, len(data)):
        if data[pos] == 0:  # records never cross a sector boundary; the rest is padding
            pos = (pos // SECTOR + 1) * SECTOR
            continue
        length, ident, at, extent, is_dir = _record(data, pos)
        if length < 34 or pos + length > len(data):
            raise DiscError("%s has a damaged directory at sector %d" % (img.path, lba))
        pos += length
        if ident in (b"\0", b"\1"):
            continue
        name = ident.decode("ascii", "replace").split(";")[0]
        if not is_dir and name.endswith("."):
            name = name[:-1]
        if not name or name in (".", "..") or "/" in name or "\\" in name:
            raise DiscError("%s has a file with an unusable name at sector %d" % (img.path, lba))
        entries.append((name, at, extent, is_dir))
    return entries


def walk_files(img, root):
    """Every file of the volume as (relative path with "/", lba, size), folders before files."""
    out, pending, seen = [], [("", root[0], root[1])], set()
    while pending:
        prefix, lba, size = pending.pop(0)
        if lba in seen or len(seen) > 4096:
            raise DiscError("%s has a directory loop at sector %d" % (img.path, lba))
        seen.add(lba)
        for name, at, extent, is_dir in sorted(list_dir(img, lba, size)):
            if is_dir:
                pending.append((prefix + name + "/", at, extent))
            else:
                out.append((prefix + name, at, extent))
    return out


def read_file(img, lba, size):
    return img.read(lba, (size + SECTOR - 1) // SECTOR)[:size]


# --- identification -------------------------------------------------------------------------------


def user_data_sha1(img, progress):
    # The hash covers the 2048-byte user data of every sector, so an .iso and the .bin/.cue of the
    # same disc hash alike; for an .iso this is simply the SHA-1 of the whole file.
    h, done, total = hashlib.sha1(), 0, max(1, img.user_bytes())
    for block in img.user_data():
        h.update(block)
        done += len(block)
        progress(done / total)
    return h.hexdigest()


def boot_serial(cnf_text):
    """(program, key, line value) of what SYSTEM.CNF boots: "SQMU_404.20" from a BOOT2 line such
    as "cdrom0:\\SQMU_404.20;1", or from a PS1 disc's BOOT line; (None, None, None) without one."""
    for key in ("BOOT2", "BOOT"):
        for line in cnf_text.splitlines():
            name, _, value = line.partition("=")
            if name.strip().upper() == key and value.strip():
                program = value.strip().split(":", 1)[-1].lstrip("\\/")
                return program.split(";")[0].strip().upper(), key, value.strip()
    return None, None, None


def identify(path, note, progress):
    """Checks the image at path; returns a dict describing the good USA disc or raises DiscError."""
    img = Image(path)
    try:
        return _identify(img, path, note, progress)
    except (struct.error, IndexError, ValueError, UnicodeError) as e:
        raise DiscError("%s is not an ISO9660 disc image this build can read (%s: %s)"
                        % (os.path.basename(path), type(e).__name__, e))
    finally:
        img.close()


def _identify(img, path, note, progress):
    note("opened %s (%s, %d sectors)" % (path, img.kind, img.sectors))
    if img.sectors < 17:
        raise DiscError("%s is not an ISO9660 disc image (only %d bytes)"
                        % (os.path.basename(path), img.size))
    volume, system, root = read_volume(img)
    note("volume %s, system %s" % (volume or "(none)", system or "(none)"))
    top = {name.upper(): (at, size) for name, at, size, is_dir in list_dir(img, *root)
           if not is_dir}
    if "SYSTEM.CNF" not in top:
        raise DiscError("the disc has no SYSTEM.CNF in its root folder, so it is no PS2 game disc "
                        "(volume %s)" % (volume or "without a name"))
    cnf = read_file(img, *top["SYSTEM.CNF"]).decode("ascii", "replace")
    serial, key, value = boot_serial(cnf)
    if serial is None:
        raise DiscError("the disc's SYSTEM.CNF names no program to start: not a PS2 game disc")
    vmode = re.search(r"VMODE\s*=\s*(\w+)", cnf)
    vmode = vmode.group(1) if vmode else "NTSC"
    note("boot file %s (%s = %s), video mode %s" % (serial, key, value, vmode))
    if key == "BOOT":
        raise DiscError("the disc boots %s, a PlayStation 1 program: another game" % serial)
    if serial in EUROPEAN_SERIALS:
        raise DiscError("%s is the European (PAL) disc of Quillmere; only the USA disc %s is "
                        "supported" % (serial, USA_SERIAL))
    if serial != USA_SERIAL:
        raise DiscError("the disc boots %s, another game (Quillmere's USA disc is %s)"
                        % (serial, USA_SERIAL))
    sha1 = user_data_sha1(img, progress)
    note("SHA-1 %s over %d sectors of user data" % (sha1, img.user_bytes() // SECTOR))
    if sha1 not in KNOWN_GOOD:
        raise DiscError("the USA disc %s has SHA-1 %s, which matches no known good copy: the "
                        "image is modified or damaged" % (serial, sha1))
    return {"serial": serial, "volume": volume, "sha1": sha1, "label": KNOWN_GOOD[sha1],
            "video_mode": vmode, "user_bytes": img.user_bytes(),
            "plain": img.sector_size == SECTOR and img.data_path == path}
