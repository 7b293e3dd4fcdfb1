"""Reads what the tests check of a 32-bit PE file: header fields, imported DLLs, resources."""

import struct
from dataclasses import dataclass

RT_ICON, RT_MENU, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 4, 5, 6, 14, 16, 24


@dataclass
class Section:
    name: str
    address: int
    virtual_size: int
    raw_offset: int
    raw_size: int


class PeFile:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3c)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('not a PE file')
        self.machine, count, _, _, _, optional_size, _ = struct.unpack_from('<HHIIIHH', data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from('<H', data, optional)[0]
        self.subsystem = struct.unpack_from('<H', data, optional + 68)[0]
        self.image_base = struct.unpack_from('<I', data, optional + 28)[0]
        self.image_size = struct.unpack_from('<I', data, optional + 56)[0]
        self.directories = [struct.unpack_from('<II', data, optional + 96 + 8 * i)
                            for i in range(16)]
        table = optional + optional_size
        self.sections = []
        for i in range(count):
            name, virtual_size, address, raw_size, raw_offset = struct.unpack_from(
                '<8sIIII', data, table + 40 * i)
            self.sections.append(Section(name.rstrip(b'\0').decode(), address, virtual_size,
                                         raw_offset, raw_size))

    def offset(self, address):
        for s in self.sections:
            if s.address <= address < s.address + max(s.virtual_size, s.raw_size):
                return s.raw_offset + address - s.address
        raise ValueError(f'address {address:#x} is in no section')

    def _string(self, address):
        start = self.offset(address)
        return self.data[start:self.data.index(b'\0', start)].decode('latin-1')

    def imported_dlls(self):
        address, _ = self.directories[1]
        dlls, entry = [], self.offset(address)
        while True:
            name = struct.unpack_from('<5I', self.data, entry)[3]
            if name == 0:
                return dlls
            dlls.append(self._string(name))
            entry += 20

    def resources(self):
        """{type: {name: {language: bytes}}}, with numeric types and names as ints."""
        root_address, _ = self.directories[2]
        root = self.offset(root_address)

        def directory(at, depth):
            named, numbered = struct.unpack_from('<HH', self.data, at + 12)
            entries = {}
            for i in range(named + numbered):
                name, target = struct.unpack_from('<II', self.data, at + 16 + 8 * i)
                if name & 0x80000000:
                    length = struct.unpack_from('<H', self.data, root + (name & 0x7fffffff))[0]
                    start = root + (name & 0x7fffffff) + 2
                    key = self.data[start:start + 2 * length].decode('utf-16-le')
                else:
                    key = name
                if target & 0x80000000:
                    entries[key] = directory(root + (target & 0x7fffffff), depth + 1)
                else:
                    data_address, size = struct.unpack_from('<II', self.data, root + target)
                    start = self.offset(data_address)
                    entries[key] = self.data[start:start + size]
            return entries

        return directory(root, 0)

    def section(self, name):
        return next(s for s in self.sections if s.name == name)


def version_strings(block):
    """The StringFileInfo values of a VS_VERSIONINFO resource: {key: value}."""
    strings = {}

    def align(at):
        return (at + 3) & ~3

    def node(at):
        length, value_length, is_text = struct.unpack_from('<HHH', block, at)
        key_end = at + 6
        while block[key_end:key_end + 2] != b'\0\0':
            key_end += 2
        key = block[at + 6:key_end].decode('utf-16-le')
        value_at = align(key_end + 2)
        value_size = 2 * value_length if is_text else value_length
        if is_text and value_length:
            strings[key] = block[value_at:value_at + value_size].decode('utf-16-le').rstrip('\0')
        child = align(value_at + value_size)
        while child < at + length:
            child = node(child)
        return align(at + length)

    node(0)
    return strings
