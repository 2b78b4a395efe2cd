#!/usr/bin/env python3
"""zip_tree.py ARCHIVE DIR EPOCH: every file under DIR into ARCHIVE, reproducibly.

Entries in byte order of their paths, each with the time EPOCH (seconds since
1970, UTC) and no owner or permission bits, compressed at a fixed level, so
that the same files always give the same archive bytes."""
import os
import sys
import time
import zipfile


def main(archive, root, epoch):
    stamp = time.gmtime(max(int(epoch), 315532800))[:6]  # zip times start in 1980
    paths = []
    for directory, _, files in os.walk(root):
        for name in files:
            full = os.path.join(directory, name)
            paths.append(os.path.relpath(full, root).replace(os.sep, "/"))
    with zipfile.ZipFile(archive, "w") as out:
        for path in sorted(paths, key=lambda p: p.encode()):
            info = zipfile.ZipInfo(path, stamp)
            info.create_system = 0  # MS-DOS: no Unix owner or mode
            info.external_attr = 0
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(root, path), "rb") as source:
                out.writestr(info, source.read(), compresslevel=9)


if __name__ == "__main__":
    main(*sys.argv[1:])
