#!/usr/bin/env python3
"""Packs the skin tree into the zip archive that the installer carries.

    pack_theme.py <repository root> <output zip>

Only resources/themes and resources/lang go in, every entry named from
"resources/". Entries are sorted and carry a fixed time stamp, so the same tree
always gives the same bytes and the installer build is reproducible.
"""
import os
import sys
import zipfile

PACKED = ("themes", "lang")
STAMP = (2020, 1, 1, 0, 0, 0)


def entries(root):
    for top in PACKED:
        for folder, dirs, files in os.walk(os.path.join(root, "resources", top)):
            dirs.sort()
            rel = os.path.relpath(folder, root).replace(os.sep, "/")
            yield rel + "/", None
            for name in sorted(files):
                yield rel + "/" + name, os.path.join(folder, name)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    root, out = sys.argv[1], sys.argv[2]
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    # Written beside the target and renamed, so a failed run never leaves a
    # truncated archive that make would take as up to date.
    tmp = out + ".tmp"
    with zipfile.ZipFile(tmp, "w") as zf:
        for name, path in entries(root):
            info = zipfile.ZipInfo(name, STAMP)
            if path is None:
                info.external_attr = (0o40755 << 16) | 0x10
                zf.writestr(info, b"")
                continue
            info.external_attr = 0o100644 << 16
            # PNGs are already compressed; deflating them again only costs time.
            info.compress_type = zipfile.ZIP_STORED if name.endswith(".png") else zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                zf.writestr(info, f.read(), compresslevel=9)
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
