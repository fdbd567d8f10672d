"""A small reader of PE executables: the headers, the import tables, the
debug directory and the resources, including the version resource.

Only what the release checks need; every offset is the one of the PE/COFF
format, so a malformed file raises ValueError instead of reading garbage.
"""

import struct
from dataclasses import dataclass, field
from pathlib import Path

MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664
SUBSYSTEM_CONSOLE = 3
RT_VERSION = 16
RT_MANIFEST = 24

_DIR_EXPORT, _DIR_IMPORT, _DIR_RESOURCE, _DIR_DEBUG, _DIR_DELAY_IMPORT = 0, 1, 2, 6, 13


@dataclass
class Import:
    dll: str
    name: str | None  # None when imported by ordinal
    ordinal: int | None = None
    delayed: bool = False


@dataclass
class Resource:
    type: int | str
    name: int | str
    language: int | str
    data: bytes


@dataclass
class VersionInfo:
    file_version: tuple
    product_version: tuple
    file_date: int
    strings: dict = field(default_factory=dict)


class PeFile:
    def __init__(self, data):
        self.data = bytes(data)
        if self.data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        pe = self._u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        coff = pe + 4
        (self.machine, sections, self.timestamp, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", self.data, coff)
        opt = coff + 20
        self.magic = self._u16(opt)
        if self.magic not in (0x10B, 0x20B):
            raise ValueError(f"unknown optional header magic {self.magic:#x}")
        wide = self.magic == 0x20B
        self.image_base = struct.unpack_from("<Q" if wide else "<I", self.data, opt + 24 if wide else opt + 28)[0]
        self.os_version = struct.unpack_from("<HH", self.data, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", self.data, opt + 48)
        self.subsystem = self._u16(opt + 68)
        count_at = opt + (108 if wide else 92)
        directories = opt + (112 if wide else 96)
        self.directories = [struct.unpack_from("<II", self.data, directories + 8 * i)
                            for i in range(min(self._u32(count_at), 16))]
        table = opt + optional_size
        self.sections = []
        for i in range(sections):
            name, vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<8sIIII", self.data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), vaddr,
                                  max(vsize, raw_size), raw_ptr, raw_size))

    @classmethod
    def open(cls, path):
        return cls(Path(path).read_bytes())

    @property
    def is_64bit(self):
        return self.magic == 0x20B

    # Raw access.
    def _u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def _u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def _offset(self, rva):
        for _, vaddr, size, raw_ptr, raw_size in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= raw_size:
                    raise ValueError(f"RVA {rva:#x} lies in uninitialised data")
                return raw_ptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} is in no section")

    def _cstring(self, rva):
        start = self._offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("ascii")

    def directory(self, index):
        """(rva, size) of a data directory; (0, 0) when absent."""
        return self.directories[index] if index < len(self.directories) else (0, 0)

    # Imports.
    def _thunks(self, rva, dll, delayed):
        size, ordinal_flag = (8, 1 << 63) if self.is_64bit else (4, 1 << 31)
        found = []
        while True:
            value = struct.unpack_from("<Q" if size == 8 else "<I", self.data, self._offset(rva))[0]
            if value == 0:
                return found
            if value & ordinal_flag:
                found.append(Import(dll, None, value & 0xFFFF, delayed))
            else:
                found.append(Import(dll, self._cstring((value & 0x7FFFFFFF) + 2), None, delayed))
            rva += size

    def imports(self):
        """Every imported function, the delay-loaded ones included."""
        found = []
        rva, size = self.directory(_DIR_IMPORT)
        while rva and size:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, self._offset(rva))
            if name == 0 and first == 0:
                break
            found += self._thunks(lookup or first, self._cstring(name), False)
            rva += 20
        rva, size = self.directory(_DIR_DELAY_IMPORT)
        while rva and size:
            attributes, name, _, _, names, _, _, _ = struct.unpack_from("<8I", self.data, self._offset(rva))
            if name == 0:
                break
            # Old-style descriptors hold addresses, not RVAs.
            base = 0 if attributes & 1 else self.image_base
            found += self._thunks(names - base, self._cstring(name - base), True)
            rva += 32
        return found

    # Time stamps beyond the file header's.
    def debug_entries(self):
        """(type, time stamp) of each debug directory entry."""
        rva, size = self.directory(_DIR_DEBUG)
        if not rva:
            return []
        start = self._offset(rva)
        return [struct.unpack_from("<4xI4xI", self.data, start + 28 * i) for i in range(size // 28)]

    def export_timestamp(self):
        rva, _ = self.directory(_DIR_EXPORT)
        return self._u32(self._offset(rva) + 4) if rva else None

    # Resources.
    def _resource_tree(self):
        rva, _ = self.directory(_DIR_RESOURCE)
        if not rva:
            return [], []
        base = self._offset(rva)
        stamps, leaves = [], []

        def key(entry_name):
            if entry_name & 0x80000000:
                at = base + (entry_name & 0x7FFFFFFF)
                length = self._u16(at)
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return entry_name

        def walk(offset, path):
            stamps.append(self._u32(base + offset + 4))
            named, ids = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + ids):
                entry_name, target = struct.unpack_from("<II", self.data, base + offset + 16 + 8 * i)
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, path + [key(entry_name)])
                else:
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + target)
                    start = self._offset(data_rva)
                    leaves.append(Resource(*(path + [key(entry_name)]), self.data[start:start + data_size]))

        walk(0, [])
        return stamps, leaves

    def resources(self):
        return self._resource_tree()[1]

    def resource_timestamps(self):
        return self._resource_tree()[0]

    def manifest(self):
        found = [r.data for r in self.resources() if r.type == RT_MANIFEST]
        return found[0].decode("utf-8") if found else None

    def version_info(self):
        found = [r.data for r in self.resources() if r.type == RT_VERSION]
        return parse_version_info(found[0]) if found else None


def _align(offset):
    return (offset + 3) & ~3


def _version_node(data, offset):
    """One node of a VS_VERSIONINFO tree: (key, type, value bytes, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    if length < 6 or offset + length > len(data):
        raise ValueError("version resource node out of bounds")
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    at = _align(key_end + 2)
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[at:at + value_bytes]
    at = _align(at + value_bytes)
    children = []
    while at < end:
        child = _version_node(data, at)
        children.append(child)
        at = _align(child[4])
    return key, kind, value, children, end


def parse_version_info(data):
    key, _, fixed, children, _ = _version_node(data, 0)
    if key != "VS_VERSION_INFO" or len(fixed) < 52:
        raise ValueError("not a VS_VERSION_INFO resource")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        raise ValueError("bad VS_FIXEDFILEINFO signature")
    date_ms, date_ls = struct.unpack_from("<II", fixed, 44)
    info = VersionInfo(
        (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF),
        (product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16, product_ls & 0xFFFF),
        (date_ms << 32) | date_ls)
    for block_key, _, _, tables, _ in children:
        if block_key != "StringFileInfo":
            continue
        for _, _, _, strings, _ in tables:
            for name, _, value, _, _ in strings:
                info.strings[name] = value.decode("utf-16-le").split("\0", 1)[0]
    return info
