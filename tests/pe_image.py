"""A PE image (a Windows DLL) read straight from its bytes, for the checks
that look inside the built DLLs: its machine, its sections, and the export and
resource directories. Reading the file format itself keeps the checks
independent of how a particular objdump prints it.
"""
import struct

EXPORT_DIRECTORY = 0
RESOURCE_DIRECTORY = 2
PE32_MAGIC = 0x10B  # PE32+ (64-bit) has 0x20B


class Image:
    def __init__(self, data):
        self.data = data
        pe = self.u32(0x3C)
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE image"
        self.machine, nsections = struct.unpack_from("<HH", data, pe + 4)
        opt_size = self.u16(pe + 20)
        opt = pe + 24
        self._directories = opt + (96 if self.u16(opt) == PE32_MAGIC else 112)
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((vaddr, max(vsize, rsize), raddr))

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def directory(self, index):
        """(RVA, size) of a data directory."""
        return struct.unpack_from("<II", self.data, self._directories + 8 * index)

    def offset(self, rva):
        """The file offset of an RVA."""
        for vaddr, size, raddr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError("RVA %x outside every section" % rva)

    def cstr(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def exports(self):
        """The export directory's own name, and {export name: function RVA}."""
        e = self.offset(self.directory(EXPORT_DIRECTORY)[0])
        name_rva, _base, _nfuncs, nnames, funcs, names, ords = struct.unpack_from(
            "<IIIIIII", self.data, e + 12)
        table = {}
        for i in range(nnames):
            ordinal = self.u16(self.offset(ords) + 2 * i)
            table[self.cstr(self.u32(self.offset(names) + 4 * i))] = \
                self.u32(self.offset(funcs) + 4 * ordinal)
        return self.cstr(name_rva), table

    def resource(self, type_id):
        """The data of the first resource of a type (first name, first language)."""
        base = self.offset(self.directory(RESOURCE_DIRECTORY)[0])
        entry = self._entry(base, type_id)
        for _ in range(2):  # name, then language: the first of each
            entry = self._entry(base + (entry & 0x7FFFFFFF), None)
        rva, size = struct.unpack_from("<II", self.data, base + entry)
        return self.data[self.offset(rva):self.offset(rva) + size]

    def _entry(self, table, wanted):
        named, ids = struct.unpack_from("<HH", self.data, table + 12)
        for i in range(named + ids):
            ident, target = struct.unpack_from("<II", self.data, table + 16 + 8 * i)
            if wanted is None or ident == wanted:
                return target
        raise ValueError("no resource of type %s" % wanted)
