"""The names the setup gives an image's entries, from its own decoder: the
iso_names program (tools/iso_names.cpp, built from src/formats/iso9660). What
a test expects of the setup comes from here, not from isoread's copy of the
rules, which only the self-test compares with it."""

import subprocess

from .common import fail


def decoded_entries(names_tool, image):
    """[(directory lba, entry index, is_dir, lba, size, name bytes)] for every
    entry of the directories reached from the root, each directory once, the
    index counting its records in order (own and parent records left out)."""
    if not names_tool:
        fail("this command needs --names-tool: the iso_names program built from the setup's decoder")
    r = subprocess.run([names_tool, image], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if r.returncode != 0:
        fail(f"{names_tool} {image}: {r.stderr.decode(errors='replace').strip()}")
    out = []
    for line in r.stdout.decode("ascii").splitlines():
        dir_lba, index, kind, lba, size, name = line.split()
        out.append((int(dir_lba), int(index), kind == "D", int(lba), int(size),
                    b"" if name == "-" else bytes.fromhex(name)))
    return out


def decoded_names(names_tool, image):
    """{(directory lba, entry index): name bytes}, as decoded_entries."""
    return {(e[0], e[1]): e[5] for e in decoded_entries(names_tool, image)}
