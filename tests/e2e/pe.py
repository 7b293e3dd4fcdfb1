"""What the tests check of a 32-bit PE file, as pefile reads it: header fields, imported DLLs,
resources and the strings of the version resource."""

import pefile

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = (
    pefile.RESOURCE_TYPE[f'RT_{name}'] for name in ('ICON', 'GROUP_ICON', 'VERSION', 'MANIFEST'))


class PeFile:
    def __init__(self, data):
        self.pe = pefile.PE(data=data)
        self.machine = self.pe.FILE_HEADER.Machine
        self.magic = self.pe.OPTIONAL_HEADER.Magic
        self.subsystem = self.pe.OPTIONAL_HEADER.Subsystem
        self.image_base = self.pe.OPTIONAL_HEADER.ImageBase
        self.image_size = self.pe.OPTIONAL_HEADER.SizeOfImage

    def imported_dlls(self):
        return [entry.dll.decode('latin-1') for entry in self.pe.DIRECTORY_ENTRY_IMPORT]

    def resources(self):
        """{type: {name: {language: bytes}}}, with numeric types and names as ints."""
        def directory(node):
            return {str(entry.name) if entry.name else entry.id:
                    directory(entry.directory) if hasattr(entry, 'directory') else
                    self.pe.get_data(entry.data.struct.OffsetToData, entry.data.struct.Size)
                    for entry in node.entries}

        return directory(self.pe.DIRECTORY_ENTRY_RESOURCE)

    def version_strings(self):
        """The StringFileInfo values of the (first) version resource: {key: value}."""
        return {key.decode(): value.decode()
                for info in self.pe.FileInfo[0] if info.Key == b'StringFileInfo'
                for table in info.StringTable for key, value in table.entries.items()}

    def section(self, name):
        """The header of the section of that name, with pefile's field names (SizeOfRawData)."""
        return next(s for s in self.pe.sections if s.Name.rstrip(b'\0').decode() == name)
