#!/usr/bin/env python3
"""Prints what a Windows shortcut (.lnk) starts and which icon it shows, one per
line: target, working folder, icon file, icon index. Read from the file itself
([MS-SHLLINK]), so that scripts/test-wine-msi checks the link the installer
wrote, not what the MSI asked for."""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH = 0x1, 0x2, 0x4, 0x8
HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON_LOCATION, IS_UNICODE = 0x10, 0x20, 0x40, 0x80
VOLUME_ID_AND_LOCAL_BASE_PATH = 0x1


def c_string(data, at, wide):
    if wide:
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[at:end].decode("utf-16-le")
    return data[at:data.index(b"\0", at)].decode("latin-1")


def main(path):
    data = open(path, "rb").read()
    header_size, flags = struct.unpack_from("<I16xI", data, 0)
    if header_size != 0x4C:
        sys.exit(f"{path}: not a shell link")
    (icon_index,) = struct.unpack_from("<i", data, 56)
    at = header_size
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = ""
    if flags & HAS_LINK_INFO:
        size, header, info_flags = struct.unpack_from("<III", data, at)
        if info_flags & VOLUME_ID_AND_LOCAL_BASE_PATH:
            base, suffix = struct.unpack_from("<I4xI", data, at + 16)
            wide = header >= 0x24
            if wide:
                base, suffix = struct.unpack_from("<II", data, at + 28)
            target = c_string(data, at + base, wide) + c_string(data, at + suffix, wide)
        at += size
    strings = {}
    unit = 2 if flags & IS_UNICODE else 1
    for flag in (HAS_NAME, HAS_RELATIVE_PATH, HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON_LOCATION):
        if flags & flag:
            (count,) = struct.unpack_from("<H", data, at)
            raw = data[at + 2:at + 2 + count * unit]
            # Wine counts the terminating NUL, Windows does not.
            strings[flag] = raw.decode("utf-16-le" if unit == 2 else "latin-1").rstrip("\0")
            at += 2 + count * unit
    print(target)
    print(strings.get(HAS_WORKING_DIR, ""))
    print(strings.get(HAS_ICON_LOCATION, ""))
    print(icon_index)


if __name__ == "__main__":
    main(sys.argv[1])
