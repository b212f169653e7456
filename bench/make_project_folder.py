#!/usr/bin/env python3
"""Writes a flat, project-like folder for the packing benchmark: 2,000 source-like text files of
2 to 50 KB and ten 5 MB binaries that are mostly incompressible. The same seed gives the same
folder, so runs compare like with like. --small writes 40 text files and two 256 KB binaries
instead, for the benchmarks' smoke mode."""
import os
import random
import sys

KEYWORDS = ["begin", "end;", "procedure", "function", "var", "const", "if", "then", "else", "for", "to", "do",
            "while", "repeat", "until", "try", "finally", "except", "raise", "with", "case", "of", "inherited",
            "Result :=", "nil", "Self", "string", "Integer", "Boolean", "Exit;", "True", "False", "and", "or", "not"]


def identifiers(rng, count):
    parts = ["File", "Name", "Zip", "Upload", "Project", "Item", "List", "Count", "Index", "Path", "Folder", "Ftp",
             "Host", "Port", "User", "Mail", "Text", "Buffer", "Size", "Time", "Date", "Handle", "Form", "Button",
             "Edit", "Label", "Panel", "Timer", "Stream", "Reader", "Writer", "Node", "Menu", "Wizard", "Options"]
    names = set()
    while len(names) < count:
        names.add(rng.choice("TFL") + "".join(rng.choice(parts) for _ in range(rng.randint(1, 3))))
    return sorted(names)


def source_text(rng, size, names):
    lines = []
    total = 0
    depth = 1
    while total < size:
        kind = rng.random()
        if kind < 0.08:
            line = "// " + " ".join(rng.choice(names).lower() for _ in range(rng.randint(3, 10)))
        elif kind < 0.15:
            line = "procedure %s.%s(%s: %s);" % (rng.choice(names), rng.choice(names), rng.choice(names),
                                                  rng.choice(["Integer", "string", "TObject", "Boolean"]))
            depth = 1
        elif kind < 0.55:
            line = "%s := %s(%s, %d);" % (rng.choice(names), rng.choice(names), rng.choice(names),
                                          rng.randint(0, 100000))
        else:
            line = " ".join(rng.choice(KEYWORDS) if rng.random() < 0.5 else rng.choice(names)
                            for _ in range(rng.randint(2, 9)))
        depth = max(1, min(6, depth + rng.choice([-1, 0, 0, 1])))
        line = "  " * depth + line
        lines.append(line)
        total += len(line) + 2
    return ("\r\n".join(lines))[:size].encode()


def binary_blob(rng, size):
    # Mostly random bytes with a few zero-filled and table-like stretches, as in resources and
    # compiled units.
    out = bytearray()
    while len(out) < size:
        r = rng.random()
        if r < 0.9:
            out += rng.randbytes(min(65536, size - len(out)))
        elif r < 0.95:
            out += bytes(min(4096, size - len(out)))
        else:
            out += bytes(range(256)) * 16
    return bytes(out[:size])


def main():
    args = sys.argv[1:]
    small = "--small" in args
    args = [a for a in args if a != "--small"]
    if len(args) != 1:
        sys.exit("usage: make_project_folder.py [--small] FOLDER")
    folder = args[0]
    text_files, binaries, binary_size = (40, 2, 256 * 1024) if small else (2000, 10, 5 * 1024 * 1024)
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(20240611)
    names = identifiers(rng, 4000)
    extensions = [".pas"] * 6 + [".dfm"] * 2 + [".inc", ".txt"]
    for i in range(text_files):
        size = rng.randint(2 * 1024, 50 * 1024)
        name = "%s%04d%s" % (rng.choice(["Unit", "Form", "Module", "Frame"]), i, rng.choice(extensions))
        with open(os.path.join(folder, name), "wb") as f:
            f.write(source_text(rng, size, names))
    for i in range(binaries):
        with open(os.path.join(folder, "Resource%02d.bin" % i), "wb") as f:
            f.write(binary_blob(rng, binary_size))


if __name__ == "__main__":
    main()
