#!/usr/bin/env python3
"""Stages the files of the demo product and writes the packer manifest that lists them.

The real product's files are not available, so the installer carries a demo product of the
same shape: the programs and libraries built from tools/demo_product, and data files made
here from seeded pseudo-random generators (the same bytes on every build). Their sizes
bring the decompressed payload to about 28 MB, and their content compresses about as well
as the product's (roughly 3 to 1).

  generate_demo_product.py OUTPUT_DIR --main-program EXE --uninstaller EXE --dsetup DLL
                           --language-library DLL [--language-library DLL ...] [--scale N]

--scale N makes every generated data file N times larger (the programs and libraries stay
as built): a payload of the same mix of files and content, about N times the size, for
measuring how the installer behaves with a large product (scripts/large-payload.sh).

Writes OUTPUT_DIR/files/... and OUTPUT_DIR/manifest.txt; the manifest's source paths are
relative to OUTPUT_DIR, so the archive does not depend on where the build runs.
"""
import argparse
import os
import random
import shutil
import sys
import zlib

KB = 1024

# Destination folders of the payload, as path tokens the installer expands.
TEMPORARY = "<Temporary>"
INSTALL = "<InstallPath>"
LANGUAGES = "<InstallPath>\\Lang"
SHARED = "<CommonData>\\Korvane\\Tavelo 7"
MATERIALS = "<CommonData>\\Korvane\\Materials"
USER = "<UserData>\\Korvane\\Tavelo 7"
SAMPLES = "<SamplePath>"
TEXTURES = "<CommonData>\\Korvane\\Textures\\Tavelo 7"

# DirectX runtime setup files besides DSETUP.dll: (name, size).
DIRECTX_FILES = [
    ("dsetup32.dll", 520 * KB),
    ("dxdllreg_x86.cab", 96 * KB),
    ("dxupdate.cab", 190 * KB),
    ("Jun2010_D3DCompiler_43_x86.cab", 1_090 * KB),
    ("Jun2010_d3dx9_43_x86.cab", 1_160 * KB),
]

# Shared data: libraries and settings, materials, and the user image file.
LIBRARIES = [
    ("Brushes.kvl", 610 * KB), ("Shapes.kvl", 540 * KB), ("Symbols.kvl", 720 * KB),
    ("Fonts.kvl", 380 * KB), ("Palettes.kvl", 150 * KB), ("Templates.kvl", 930 * KB),
    ("Styles.kvl", 260 * KB), ("Patterns.kvl", 470 * KB), ("Gradients.kvl", 120 * KB),
    ("Markers.kvl", 90 * KB), ("Presets.kvl", 310 * KB), ("Settings.kvs", 12 * KB),
]
MATERIAL_FILES = [
    ("Wood.kvm", 420 * KB), ("Metal.kvm", 380 * KB), ("Stone.kvm", 450 * KB),
    ("Glass.kvm", 210 * KB), ("Fabric.kvm", 330 * KB), ("Plastic.kvm", 190 * KB),
    ("Paper.kvm", 140 * KB), ("Leather.kvm", 260 * KB), ("Ceramic.kvm", 230 * KB),
]
USER_FILES = [("User Image.kvi", 64 * KB)]

# Samples and textures.
SAMPLE_FILES = [
    (f"Sample {i:02d} - {name}.tvp", size * KB)
    for i, (name, size) in enumerate([
        ("Kitchen", 540), ("Living Room", 610), ("Garden", 720), ("Office", 480),
        ("Bathroom", 350), ("Staircase", 290), ("Facade", 830), ("Roof", 410),
        ("Terrace", 380), ("Bedroom", 450), ("Workshop", 520), ("Shop Front", 660),
        ("Loft", 570), ("Cellar", 240), ("Balcony", 210), ("Hall", 330),
    ], start=1)
]
TEXTURE_FILES = [
    (f"{name}.ktx", size * KB)
    for name, size in [
        ("Oak", 800), ("Walnut", 770), ("Marble", 840), ("Granite", 790), ("Brick", 720),
        ("Concrete", 680), ("Slate", 660), ("Linen", 600), ("Steel", 620), ("Copper", 580),
        ("Terracotta", 700), ("Parquet", 780),
    ]
]

WORDS = ("layer node material texture shape brush colour gradient pattern stroke fill "
         "width height depth angle scale offset origin matrix vertex edge face group "
         "symbol marker preset style opacity blend shadow light ambient diffuse specular "
         "roughness metal wood stone glass fabric paper leather ceramic plastic").split()


def seeded(name):
    """A generator seeded from the file name alone, so every build makes the same bytes."""
    return random.Random(zlib.crc32(name.encode("utf-8")))


def text_content(name, size):
    """Structured text such as the product's libraries and projects: compresses well."""
    rng = seeded(name)
    lines = []
    length = 0
    while length < size:
        words = " ".join(rng.choices(WORDS, k=rng.randint(3, 9)))
        line = f'<item id="{rng.randint(0, 99999)}" value="{rng.random():.6f}">{words}</item>\n'
        lines.append(line)
        length += len(line)
    return "".join(lines).encode("ascii")[:size]


# Maps random bytes to 12 values: image-like data that bzip2 halves, or so.
IMAGE_LEVELS = bytes((i * 12 // 256) * 21 for i in range(256))


def image_content(name, size):
    """Texture and image data: a header, then pixels of limited variety."""
    rng = seeded(name)
    header = b"KVTX" + size.to_bytes(4, "little") + b"\0" * 56
    return (header + rng.randbytes(size).translate(IMAGE_LEVELS))[:size]


def packed_content(name, size):
    """Already compressed data, such as cabinet files: does not compress further."""
    return seeded(name).randbytes(size)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--main-program", required=True)
    parser.add_argument("--uninstaller", required=True)
    parser.add_argument("--dsetup", required=True)
    parser.add_argument("--language-library", action="append", required=True)
    parser.add_argument("--scale", type=int, default=1)
    args = parser.parse_args()
    if len(args.language_library) != 13:
        sys.exit(f"generate_demo_product: 13 language libraries expected, {len(args.language_library)} given")

    files = os.path.join(args.output, "files")
    shutil.rmtree(files, ignore_errors=True)
    os.makedirs(files)

    entries = []   # (kind, destination, relative source)
    scale = max(1, args.scale)

    def stage(kind, destination, group, name, data=None, copy_from=None):
        folder = os.path.join(files, group)
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name)
        if copy_from:
            shutil.copyfile(copy_from, path)
        else:
            with open(path, "wb") as out:
                out.write(data)
        entries.append((kind, destination, f"files/{group}/{name}"))

    # The six temporary files come first, the main program last.
    stage("TemporaryFile", TEMPORARY, "directx", "DSETUP.dll", copy_from=args.dsetup)
    for name, size in DIRECTX_FILES:
        stage("TemporaryFile", TEMPORARY, "directx", name, packed_content(name, size * scale))
    for library in args.language_library:
        stage("LanguageLibrary", LANGUAGES, "lang", os.path.basename(library), copy_from=library)
    stage("Uninstaller", INSTALL, "program", "Uninstall.exe", copy_from=args.uninstaller)
    for name, size in LIBRARIES:
        stage("SharedData", SHARED, "shared", name, text_content(name, size * scale))
    for name, size in MATERIAL_FILES:
        stage("SharedData", MATERIALS, "materials", name, text_content(name, size * scale))
    for name, size in USER_FILES:
        stage("SharedData", USER, "user", name, image_content(name, size * scale))
    for name, size in SAMPLE_FILES:
        stage("SampleData", SAMPLES, "samples", name, text_content(name, size * scale))
    for name, size in TEXTURE_FILES:
        stage("SampleData", TEXTURES, "textures", name, image_content(name, size * scale))
    stage("MainProgram", INSTALL, "program", "Tavelo.exe", copy_from=args.main_program)

    lines = [
        "# Payload of the Tavelo 7.01j demo product, written by generate_demo_product.py.",
        "# \"folder DESTINATION\" sets the destination of the file lines below it;",
        "# a file line is \"KIND SOURCE\", SOURCE relative to this manifest.",
    ]
    folder = None
    for kind, destination, source in entries:
        if destination != folder:
            lines.append("")
            lines.append(f"folder {destination}")
            folder = destination
        lines.append(f"{kind:<16}{source}")
    manifest = os.path.join(args.output, "manifest.txt")
    with open(manifest + ".new", "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + "\n")
    os.replace(manifest + ".new", manifest)


if __name__ == "__main__":
    main()
