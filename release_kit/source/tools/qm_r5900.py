"""The recompiler's view of the game's code for qm_build.py: the boot program's ELF sections and
symbols, R5900 instructions decoded into C-like listings, and those listings assembled back into
object files (every line checked against the word it came from) and read again by the linker.

Sections: instruction table | ELF | listings | objects.
"""

import os
import re
import struct
import zlib


# --- instruction table ----------------------------------------------------------------------------


# The R5900 instructions the recompiler knows: code -> (mnemonic, operand format). R: rd, rs, rt,
# sa; I: rt, rs, signed immediate; U: rt, rs, unsigned immediate; J: jump target address.
PRIMARY_OPS = {
    0x02: ("J", "J"), 0x03: ("JAL", "J"), 0x04: ("BEQ", "I"), 0x05: ("BNE", "I"),
    0x06: ("BLEZ", "I"), 0x07: ("BGTZ", "I"), 0x08: ("ADDI", "I"), 0x09: ("ADDIU", "I"),
    0x0A: ("SLTI", "I"), 0x0B: ("SLTIU", "I"), 0x0C: ("ANDI", "U"), 0x0D: ("ORI", "U"),
    0x0E: ("XORI", "U"), 0x0F: ("LUI", "U"), 0x19: ("DADDIU", "I"), 0x1E: ("LQ", "I"),
    0x1F: ("SQ", "I"), 0x20: ("LB", "I"), 0x21: ("LH", "I"), 0x23: ("LW", "I"),
    0x24: ("LBU", "I"), 0x25: ("LHU", "I"), 0x28: ("SB", "I"), 0x29: ("SH", "I"),
    0x2B: ("SW", "I"), 0x31: ("LWC1", "I"), 0x37: ("LD", "I"), 0x39: ("SWC1", "I"),
    0x3F: ("SD", "I"),
}
SPECIAL_OPS = {
    0x00: "SLL", 0x02: "SRL", 0x03: "SRA", 0x08: "JR", 0x09: "JALR", 0x0C: "SYSCALL",
    0x10: "MFHI", 0x12: "MFLO", 0x18: "MULT", 0x1A: "DIV", 0x21: "ADDU", 0x23: "SUBU",
    0x24: "AND", 0x25: "OR", 0x26: "XOR", 0x27: "NOR", 0x2A: "SLT", 0x2B: "SLTU", 0x2D: "DADDU",
}


def op_table():
    return {"primary": {str(k): list(v) for k, v in PRIMARY_OPS.items()},
            "special": {str(k): [v, "R"] for k, v in SPECIAL_OPS.items()}}


def decode(word, pc, ops):
    op = word >> 26
    rs, rt, rd, sa = (word >> 21) & 31, (word >> 16) & 31, (word >> 11) & 31, (word >> 6) & 31
    if op == 0 and str(word & 63) in ops["special"]:
        return ops["special"][str(word & 63)][0], [rd, rs, rt, sa]
    entry = ops["primary"].get(str(op)) if op else None
    if entry is None:
        return "WORD", [word]
    name, fmt = entry
    if fmt == "J":
        return name, [((pc + 4) & 0xF0000000) | ((word & 0x3FFFFFF) << 2)]
    imm = word & 0xFFFF
    return name, [rt, rs, imm - 0x10000 if fmt == "I" and imm & 0x8000 else imm]


def encode(name, args, ops):
    if name == "WORD":
        return args[0] & 0xFFFFFFFF
    for code, (mnemonic, _) in ops["special"].items():
        if mnemonic == name:
            rd, rs, rt, sa = args
            return (rs << 21) | (rt << 16) | (rd << 11) | (sa << 6) | int(code)
    for code, (mnemonic, fmt) in ops["primary"].items():
        if mnemonic == name:
            if fmt == "J":
                return (int(code) << 26) | ((args[0] >> 2) & 0x3FFFFFF)
            rt, rs, imm = args
            return (int(code) << 26) | (rs << 21) | (rt << 16) | (imm & 0xFFFF)
    raise ValueError("unknown instruction " + name)


def parse_elf(data):
    """(entry, {section name: (addr, offset, size)}, [(name, addr, size)] of FUNC symbols)."""
    if data[:4] != b"\x7fELF" or data[4] != 1 or data[5] != 1:
        raise ValueError("the boot program is no 32-bit little-endian ELF file")
    machine, _, entry, _, shoff = struct.unpack_from("<HIIII", data, 18)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 46)
    if machine != 8:
        raise ValueError("the boot program is for machine %d, not MIPS" % machine)
    if shoff + shnum * 40 > len(data) or shstrndx >= shnum or shentsize != 40:
        raise ValueError("the boot program's section table is damaged")
    heads = [struct.unpack_from("<10I", data, shoff + 40 * i) for i in range(shnum)]
    names_off = heads[shstrndx][4]

    def cstr(off):
        return data[off : data.index(b"\0", off)].decode("ascii", "replace")

    sections = {cstr(names_off + h[0]): (h[3], h[4], h[5]) for h in heads}
    functions = []
    for h in heads:
        if h[1] != 2:  # SYMTAB
            continue
        strtab = heads[h[6]][4]
        for off in range(h[4], h[4] + h[5], 16):
            name, value, size, info, _, _ = struct.unpack_from("<IIIBBH", data, off)
            if info & 15 == 2 and size:
                functions.append((cstr(strtab + name), value, size))
    return entry, sections, sorted(functions, key=lambda f: f[1])


def c_listing(name, addr, words, ops):
    lines = ["/* %s: 0x%08x, %d instructions */" % (name, addr, len(words)),
             "void %s(R5900 *c) { /* 0x%08x */" % (name, addr)]
    for i, word in enumerate(words):
        pc = addr + 4 * i
        mnemonic, args = decode(word, pc, ops)
        text = ", ".join(("0x%08x" % a) if mnemonic in ("J", "JAL", "WORD") else str(a)
                         for a in args)
        lines.append("    %s(%s); /* %08x: %08x */" % (mnemonic, text, pc, word))
    return "\n".join(lines + ["}", ""])


# --- objects --------------------------------------------------------------------------------------


LINE = re.compile(r"^    ([A-Z0-9]+)\(([^)]*)\); /\* ([0-9a-f]{8}): ([0-9a-f]{8}) \*/$")
HEAD = re.compile(r"^void (\w+)\(R5900 \*c\) \{ /\* 0x([0-9a-f]{8}) \*/$")


def compile_unit(path, ops):
    """Assembles a recompiled unit back into R5900 words, checking every line against the word it
    came from, and packs the functions into an object: "QMO1", count, then per function its
    name, address, words and a CRC-32."""
    functions, current = [], None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            m = HEAD.match(line)
            if m:
                current = (m.group(1), int(m.group(2), 16), [])
                functions.append(current)
                continue
            m = LINE.match(line)
            if not m:
                continue
            args = [int(a, 0) for a in m.group(2).split(", ")] if m.group(2) else []
            word = encode(m.group(1), args, ops)
            if current is None or word != int(m.group(4), 16):
                raise ValueError("%s line %d does not assemble to %s"
                                 % (os.path.basename(path), number, m.group(4)))
            current[2].append(word)
    out = [b"QMO1", struct.pack("<I", len(functions))]
    for name, addr, words in functions:
        body = struct.pack("<%dI" % len(words), *words)
        out += [struct.pack("<H", len(name)), name.encode(), struct.pack("<II", addr, len(words)),
                body, struct.pack("<I", zlib.crc32(body) & 0xFFFFFFFF)]
    return b"".join(out)


def read_object(data):
    count, pos, functions = struct.unpack_from("<I", data, 4)[0], 8, []
    for _ in range(count):
        n = struct.unpack_from("<H", data, pos)[0]
        name = data[pos + 2 : pos + 2 + n].decode()
        addr, nwords = struct.unpack_from("<II", data, pos + 2 + n)
        body = data[pos + 10 + n : pos + 10 + n + 4 * nwords]
        crc = struct.unpack_from("<I", data, pos + 10 + n + 4 * nwords)[0]
        if zlib.crc32(body) & 0xFFFFFFFF != crc:
            raise ValueError("object of %s is damaged" % name)
        functions.append((addr, name, body))
        pos += 14 + n + 4 * nwords
    return functions
