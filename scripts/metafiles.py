"""Small writers for Windows metafiles (WMF and EMF), standard library only.

ImageMagick reads these formats but cannot write them, so the sample and test
metafiles are produced here record by record. Each writer keeps a list of
encoded records and assembles the headers last, when sizes and counts are
known. Coordinates are logical units; with the defaults one unit is one pixel
at 96 DPI.
"""

import struct


def rgb(r, g, b):
    """A COLORREF: 0x00BBGGRR."""
    return r | (g << 8) | (b << 16)


def dib_24(width, height, bgr_top_down):
    """A packed DIB (BITMAPINFOHEADER + bottom-up 24-bit rows padded to 4 bytes).

    bgr_top_down holds width*height*3 bytes in B, G, R order, first row on top.
    """
    stride_in = width * 3
    stride = (stride_in + 3) & ~3
    pad = b"\0" * (stride - stride_in)
    rows = []
    for y in range(height - 1, -1, -1):
        rows.append(bgr_top_down[y * stride_in:(y + 1) * stride_in] + pad)
    bits = b"".join(rows)
    # biSize, biWidth, biHeight, biPlanes, biBitCount, biCompression (BI_RGB),
    # biSizeImage, biXPelsPerMeter, biYPelsPerMeter (96 DPI), biClrUsed, biClrImportant
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(bits), 3780, 3780, 0, 0)
    return header, bits


# ---------------------------------------------------------------------------
# WMF
# ---------------------------------------------------------------------------

META_EOF = 0x0000
META_SETBKMODE = 0x0102
META_SETMAPMODE = 0x0103
META_SETPOLYFILLMODE = 0x0106
META_SETTEXTALIGN = 0x012E
META_SELECTOBJECT = 0x012D
META_DELETEOBJECT = 0x01F0
META_SETTEXTCOLOR = 0x0209
META_SETWINDOWORG = 0x020B
META_SETWINDOWEXT = 0x020C
META_CREATEPENINDIRECT = 0x02FA
META_CREATEFONTINDIRECT = 0x02FB
META_CREATEBRUSHINDIRECT = 0x02FC
META_POLYGON = 0x0324
META_POLYLINE = 0x0325
META_ELLIPSE = 0x0418
META_RECTANGLE = 0x041B
META_TEXTOUT = 0x0521
META_ROUNDRECT = 0x061C
META_STRETCHDIB = 0x0F43

PS_SOLID, PS_NULL = 0, 5
BS_SOLID, BS_NULL = 0, 1
SRCCOPY = 0x00CC0020


class WmfWriter:
    """Builds a placeable WMF (Aldus header) in MM_ANISOTROPIC logical units."""

    def __init__(self, width, height, units_per_inch=96):
        self.width = width
        self.height = height
        self.units_per_inch = units_per_inch
        self.records = []
        self.slots = []  # object table: True where a slot is taken
        self.max_objects = 0
        self.record(META_SETMAPMODE, struct.pack("<H", 8))  # MM_ANISOTROPIC
        self.record(META_SETWINDOWORG, struct.pack("<hh", 0, 0))  # y, x
        self.record(META_SETWINDOWEXT, struct.pack("<hh", height, width))  # y, x

    def record(self, function, params):
        if len(params) % 2:
            params += b"\0"
        words = 3 + len(params) // 2
        self.records.append(struct.pack("<IH", words, function) + params)

    def _new_object(self, function, params):
        # Windows puts a new object in the lowest free slot of the table.
        for i, taken in enumerate(self.slots):
            if not taken:
                self.slots[i] = True
                break
        else:
            self.slots.append(True)
            i = len(self.slots) - 1
        self.max_objects = max(self.max_objects, sum(self.slots))
        self.record(function, params)
        self.record(META_SELECTOBJECT, struct.pack("<H", i))
        return i

    def delete(self, index):
        self.slots[index] = False
        self.record(META_DELETEOBJECT, struct.pack("<H", index))

    def pen(self, color, width=1, style=PS_SOLID):
        return self._new_object(META_CREATEPENINDIRECT, struct.pack("<HhhI", style, width, 0, color))

    def brush(self, color, style=BS_SOLID):
        return self._new_object(META_CREATEBRUSHINDIRECT, struct.pack("<HIH", style, color, 0))

    def font(self, height, face, weight=700, italic=False):
        name = face.encode("latin-1")[:31] + b"\0"
        logfont = struct.pack("<hhhhhBBBBBBBB", -height, 0, 0, 0, weight, int(italic), 0, 0,
                              0, 0, 0, 4, 0) + name  # quality 4: antialiased
        return self._new_object(META_CREATEFONTINDIRECT, logfont)

    def bk_mode(self, mode):
        self.record(META_SETBKMODE, struct.pack("<H", mode))

    def poly_fill_mode(self, mode):
        self.record(META_SETPOLYFILLMODE, struct.pack("<H", mode))

    def text_color(self, color):
        self.record(META_SETTEXTCOLOR, struct.pack("<I", color))

    def text_align(self, align):
        self.record(META_SETTEXTALIGN, struct.pack("<H", align))

    def rectangle(self, left, top, right, bottom):
        self.record(META_RECTANGLE, struct.pack("<hhhh", bottom, right, top, left))

    def round_rect(self, left, top, right, bottom, cw, ch):
        self.record(META_ROUNDRECT, struct.pack("<hhhhhh", ch, cw, bottom, right, top, left))

    def ellipse(self, left, top, right, bottom):
        self.record(META_ELLIPSE, struct.pack("<hhhh", bottom, right, top, left))

    def polygon(self, points):
        self.record(META_POLYGON, struct.pack("<h", len(points)) + b"".join(struct.pack("<hh", x, y) for x, y in points))

    def polyline(self, points):
        self.record(META_POLYLINE, struct.pack("<h", len(points)) + b"".join(struct.pack("<hh", x, y) for x, y in points))

    def text_out(self, x, y, text):
        s = text.encode("latin-1")
        padded = s + (b"\0" if len(s) % 2 else b"")
        self.record(META_TEXTOUT, struct.pack("<h", len(s)) + padded + struct.pack("<hh", y, x))

    def stretch_dib(self, x, y, dest_w, dest_h, width, height, bgr_top_down):
        header, bits = dib_24(width, height, bgr_top_down)
        params = struct.pack("<IHhhhhhhhh", SRCCOPY, 0, height, width, 0, 0, dest_h, dest_w, y, x)
        self.record(META_STRETCHDIB, params + header + bits)

    def data(self):
        body = b"".join(self.records) + struct.pack("<IH", 3, META_EOF)
        total_words = 9 + len(body) // 2
        max_record = max(struct.unpack_from("<I", r)[0] for r in self.records + [struct.pack("<I", 3)])
        meta_header = struct.pack("<HHHIHIH", 1, 9, 0x0300, total_words, self.max_objects, max_record, 0)
        words = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, self.width, self.height, self.units_per_inch, 0)
        checksum = 0
        for (w,) in struct.iter_unpack("<H", words):
            checksum ^= w
        return words + struct.pack("<H", checksum) + meta_header + body


# ---------------------------------------------------------------------------
# EMF
# ---------------------------------------------------------------------------

EMR_HEADER = 1
EMR_EOF = 14
EMR_SETMAPMODE = 17
EMR_SETBKMODE = 18
EMR_SETPOLYFILLMODE = 19
EMR_SETTEXTALIGN = 22
EMR_SETTEXTCOLOR = 24
EMR_SELECTOBJECT = 37
EMR_CREATEPEN = 38
EMR_CREATEBRUSHINDIRECT = 39
EMR_DELETEOBJECT = 40
EMR_ELLIPSE = 42
EMR_RECTANGLE = 43
EMR_ROUNDRECT = 44
EMR_STRETCHDIBITS = 81
EMR_EXTCREATEFONTINDIRECTW = 82
EMR_EXTTEXTOUTW = 84
EMR_POLYGON16 = 86
EMR_POLYLINE16 = 87


def _bounds(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return struct.pack("<iiii", min(xs), min(ys), max(xs), max(ys))


class EmfWriter:
    """Builds an EMF whose logical units are device pixels of a 96 DPI reference."""

    DEVICE = (1920, 1080)       # reference device in pixels
    MILLIMETERS = (508, 286)    # the same device at 96 DPI

    def __init__(self, width, height, description="Lumora\0sample\0"):
        self.width = width
        self.height = height
        self.description = description
        self.records = []
        self.next_handle = 1  # handle 0 is the metafile itself
        self.free = []
        self.record(EMR_SETMAPMODE, struct.pack("<I", 1))  # MM_TEXT

    def record(self, rtype, params):
        params += b"\0" * (-len(params) % 4)
        self.records.append(struct.pack("<II", rtype, 8 + len(params)) + params)

    def _new_object(self, rtype, body):
        if self.free:
            h = self.free.pop(0)
        else:
            h = self.next_handle
            self.next_handle += 1
        self.record(rtype, struct.pack("<I", h) + body)
        self.record(EMR_SELECTOBJECT, struct.pack("<I", h))
        return h

    def delete(self, handle):
        self.free.append(handle)
        self.free.sort()
        self.record(EMR_DELETEOBJECT, struct.pack("<I", handle))

    def pen(self, color, width=1, style=PS_SOLID):
        return self._new_object(EMR_CREATEPEN, struct.pack("<IiiI", style, width, 0, color))

    def brush(self, color, style=BS_SOLID):
        return self._new_object(EMR_CREATEBRUSHINDIRECT, struct.pack("<III", style, color, 0))

    def font(self, height, face, weight=700, italic=False):
        name = face.encode("utf-16-le")[:62]
        name += b"\0" * (64 - len(name))
        logfont = struct.pack("<iiiiiBBBBBBBB", -height, 0, 0, 0, weight, int(italic), 0, 0,
                              0, 0, 0, 4, 0) + name
        return self._new_object(EMR_EXTCREATEFONTINDIRECTW, logfont)

    def bk_mode(self, mode):
        self.record(EMR_SETBKMODE, struct.pack("<I", mode))

    def poly_fill_mode(self, mode):
        self.record(EMR_SETPOLYFILLMODE, struct.pack("<I", mode))

    def text_color(self, color):
        self.record(EMR_SETTEXTCOLOR, struct.pack("<I", color))

    def text_align(self, align):
        self.record(EMR_SETTEXTALIGN, struct.pack("<I", align))

    def rectangle(self, left, top, right, bottom):
        self.record(EMR_RECTANGLE, struct.pack("<iiii", left, top, right, bottom))

    def round_rect(self, left, top, right, bottom, cw, ch):
        self.record(EMR_ROUNDRECT, struct.pack("<iiiiii", left, top, right, bottom, cw, ch))

    def ellipse(self, left, top, right, bottom):
        self.record(EMR_ELLIPSE, struct.pack("<iiii", left, top, right, bottom))

    def polygon(self, points):
        self.record(EMR_POLYGON16, _bounds(points) + struct.pack("<I", len(points))
                    + b"".join(struct.pack("<hh", x, y) for x, y in points))

    def polyline(self, points):
        self.record(EMR_POLYLINE16, _bounds(points) + struct.pack("<I", len(points))
                    + b"".join(struct.pack("<hh", x, y) for x, y in points))

    def text_out(self, x, y, text, advance):
        s = text.encode("utf-16-le")
        s += b"\0" * (-len(s) % 4)
        n = len(text)
        fixed = 76
        off_string = fixed
        off_dx = off_string + len(s)
        right = x + advance * n
        body = struct.pack("<iiii", x, y, right, y + advance * 2)          # bounds
        body += struct.pack("<Iff", 1, 0.0, 0.0)                           # GM_COMPATIBLE
        body += struct.pack("<iiIII", x, y, n, off_string, 0)              # reference, chars, offString, options
        body += struct.pack("<iiii", 0, 0, -1, -1)                         # no clipping rectangle
        body += struct.pack("<I", off_dx)
        body += s + b"".join(struct.pack("<I", advance) for _ in range(n))
        self.record(EMR_EXTTEXTOUTW, body)

    def stretch_dib(self, x, y, dest_w, dest_h, width, height, bgr_top_down):
        header, bits = dib_24(width, height, bgr_top_down)
        fixed = 80
        bounds = struct.pack("<iiii", x, y, x + dest_w - 1, y + dest_h - 1)
        body = bounds + struct.pack("<iiiiii", x, y, 0, 0, width, height)
        body += struct.pack("<IIII", fixed, len(header), fixed + len(header), len(bits))
        body += struct.pack("<IIii", 0, SRCCOPY, dest_w, dest_h)
        self.record(EMR_STRETCHDIBITS, body + header + bits)

    def data(self):
        eof = struct.pack("<IIIII", EMR_EOF, 20, 0, 16, 20)
        desc = self.description.encode("utf-16-le")
        desc_padded = desc + b"\0" * (-len(desc) % 4)
        header_size = 108 + len(desc_padded)
        body = b"".join(self.records) + eof
        total = header_size + len(body)
        count = len(self.records) + 2
        dev_w, dev_h = self.DEVICE
        mm_w, mm_h = self.MILLIMETERS
        # Inclusive bounds in device pixels, frame in 0.01 mm of the reference device.
        bounds = (0, 0, self.width - 1, self.height - 1)
        frame = (0, 0, round(self.width * mm_w * 100 / dev_w) - 1, round(self.height * mm_h * 100 / dev_h) - 1)
        header = struct.pack("<II", EMR_HEADER, header_size)
        header += struct.pack("<iiii", *bounds) + struct.pack("<iiii", *frame)
        header += struct.pack("<IIIIHHIII", 0x464D4520, 0x10000, total, count, self.next_handle, 0,
                              len(self.description), 108, 0)
        header += struct.pack("<iiii", dev_w, dev_h, mm_w, mm_h)
        header += struct.pack("<III", 0, 0, 0)                   # no pixel format, not OpenGL
        header += struct.pack("<II", mm_w * 1000, mm_h * 1000)   # micrometres
        assert len(header) == 108
        return header + desc_padded + body


def read_records(data):
    """Yields (type, size) for each record of a WMF or EMF; raises on a bad layout."""
    if struct.unpack_from("<I", data)[0] == 0x9AC6CDD7:
        pos = 22
        words = struct.unpack_from("<I", data, pos + 6)[0]
        if 22 + words * 2 != len(data):
            raise ValueError("WMF size field %d words does not match file" % words)
        pos += 18
        while pos < len(data):
            size, func = struct.unpack_from("<IH", data, pos)
            if size < 3 or pos + size * 2 > len(data):
                raise ValueError("bad WMF record at %d" % pos)
            yield func, size * 2
            pos += size * 2
            if func == META_EOF:
                break
        if pos != len(data):
            raise ValueError("trailing bytes after META_EOF")
        return
    rtype, size = struct.unpack_from("<II", data)
    if rtype != EMR_HEADER:
        raise ValueError("neither placeable WMF nor EMF")
    total, count = struct.unpack_from("<II", data, 48)
    if total != len(data):
        raise ValueError("EMF byte count does not match file")
    pos, seen = 0, 0
    while pos < len(data):
        rtype, size = struct.unpack_from("<II", data, pos)
        if size < 8 or size % 4 or pos + size > len(data):
            raise ValueError("bad EMF record at %d" % pos)
        yield rtype, size
        seen += 1
        pos += size
        if rtype == EMR_EOF:
            break
    if pos != len(data) or seen != count:
        raise ValueError("EMF record count or length mismatch")
