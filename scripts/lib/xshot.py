"""Saves a rectangle of the X server's screen as a PNG file, with nothing but
Python's standard library and libX11 (no ImageMagick, no xwd converter).

    python3 scripts/lib/xshot.py OUT.png X Y WIDTH HEIGHT
"""
import ctypes
import ctypes.util
import struct
import sys
import zlib


class XImage(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in ("width", "height", "xoffset", "format")] + [
        ("data", ctypes.POINTER(ctypes.c_ubyte))] + [
        (name, ctypes.c_int) for name in ("byte_order", "bitmap_unit", "bitmap_bit_order",
                                          "bitmap_pad", "depth", "bytes_per_line",
                                          "bits_per_pixel")]


def grab(x, y, width, height):
    xlib = ctypes.CDLL(ctypes.util.find_library("X11"))
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                               ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    xlib.XGetImage.restype = ctypes.POINTER(XImage)
    display = xlib.XOpenDisplay(None)
    if not display:
        sys.exit("xshot: cannot open the X display")
    z_pixmap = 2
    image = xlib.XGetImage(display, xlib.XDefaultRootWindow(display), x, y, width, height,
                           0xFFFFFFFF, z_pixmap)
    if not image:
        sys.exit("xshot: the rectangle is not on the screen")
    image = image.contents
    if image.bits_per_pixel != 32 or image.byte_order != 0:
        sys.exit("xshot: only a 24-bit screen in LSB-first order is read (Xvfb -screen 0 WxHx24)")
    raw = ctypes.string_at(image.data, image.bytes_per_line * height)
    rows = bytearray()
    for row in range(height):
        pixels = raw[row * image.bytes_per_line:row * image.bytes_per_line + 4 * width]
        rgb = bytearray(3 * width)
        rgb[0::3], rgb[1::3], rgb[2::3] = pixels[2::4], pixels[1::4], pixels[0::4]
        rows += b"\0" + rgb
    return bytes(rows)


def png(width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    out = sys.argv[1]
    x, y, width, height = (int(value) for value in sys.argv[2:])
    with open(out, "wb") as f:
        f.write(png(width, height, grab(x, y, width, height)))


main()
