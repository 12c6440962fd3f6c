"""The command line of tools/mkdisc.py."""

import argparse
import os
import sys

from . import __doc__ as PACKAGE_DOC
from .common import MiB, RAW_SECTOR, SECTOR, fail, fresh_dir, parse_size, rmtree
from .tree import make_tree, write_manifest
from .mastering import master_iso
from .raw import iso_to_raw, write_cue
from .isoread import IsoReader
from .crafted import (CRAFTED, UNSAFE_NAMES, craft_shared, craft_unsafe_name, unsafe_ident,
                      write_hostile, write_unsafe_set)
from .rips import RIP_KINDS, check_rip_set, write_rip, write_rip_set
from .samples import make_fixtures, make_sample
from .selftest import selftest
from .corpus import make_corpus, write_listings


# Listing

def cmd_ls(args):
    layout = None
    if args.layout:
        layout = {"2048": (SECTOR, 0), "mode1": (RAW_SECTOR, 16), "mode2": (RAW_SECTOR, 24)}[args.layout]
    try:
        r = IsoReader(args.image, layout, pvd_sector=args.pvd_sector)
    except ValueError as e:
        fail(str(e))
    with r:
        print(f"layout {r.sector_size}/{r.data_offset}, root lba {r.root_lba} size {r.root_size}, "
              f"volume space {r.volume_space} sectors, file {r.file_size} bytes")
        problems = []
        for rel, e in r.walk(problems):
            kind = "d" if e.is_dir else "-"
            shown = "".join(ch if ch.isprintable() else f"\\x{ord(ch):02x}" for ch in rel)
            print(f"{kind} flags=0x{e.flags:02x} lba={e.lba:<10} size={e.size:<10} {shown}"
                  f"{'' if e.name == e.ident else '   [' + repr(e.ident)[2:-1] + ']'}")
        for p in problems:
            print(f"problem: {p}")


# ---------------------------------------------------------------------------
# Command line

def main(argv=None):
    ap = argparse.ArgumentParser(
        prog="mkdisc.py", description=PACKAGE_DOC.split("\n\n")[0],
        formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog="Sizes accept K, M and G suffixes (binary units): 300M, 4M, 65536.")
    sub = ap.add_subparsers(dest="cmd", required=True, metavar="COMMAND")

    p = sub.add_parser("tree", help="generate a folder tree", description=make_tree.__doc__,
                       formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("out", metavar="OUT")
    p.add_argument("--seed", type=int, default=1, help="content and layout seed (default 1)")
    p.add_argument("--total", type=parse_size, default=4 * MiB,
                   help="bytes in all files, met exactly unless below the ~201K of standard content (default 4M)")
    p.add_argument("--depth", type=int, default=0, help="add a chain of N nested folders")
    p.add_argument("--many", type=int, default=0, help="add folder MANY with N files")
    p.add_argument("--minimal", action="store_true",
                   help="only the --depth chain and --many folder, no standard content")
    p.add_argument("--manifest", metavar="FILE", help="also write a manifest of the tree")
    p.add_argument("--force", action="store_true", help="replace a non-empty OUT")

    p = sub.add_parser("iso", help="master a plain ISO 9660 image of a folder")
    p.add_argument("src", metavar="SRC")
    p.add_argument("out", metavar="OUT.iso")
    p.add_argument("--hidden", nargs="+", default=[], metavar="GLOB",
                   help="set the hidden flag on files whose name or path below SRC matches")
    p.add_argument("--volid", default="TESTDISC", help="volume identifier (default TESTDISC)")
    p.add_argument("--tool", choices=("genisoimage", "xorriso"), help="force a mastering tool")

    p = sub.add_parser("raw", help="convert a plain image to raw 2352-byte sectors")
    p.add_argument("src", metavar="IN.iso")
    p.add_argument("out", metavar="OUT.bin")
    p.add_argument("--mode", type=int, choices=(1, 2), required=True, help="1 or 2 (Mode 2 Form 1)")
    p.add_argument("--cue", metavar="OUT.cue", help="also write a cue sheet naming OUT.bin")
    p.add_argument("--bin-ref", metavar="TEXT", help="name written in the cue sheet (default: OUT.bin's bare name)")
    p.add_argument("--crlf", action="store_true", help="cue sheet with CR LF line ends")

    p = sub.add_parser("sample", help="the sample pair of game discs")
    p.add_argument("out", metavar="OUT")
    p.add_argument("--size", type=parse_size, default=4 * MiB, help="bytes per disc (default 4M)")
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--folders-only", action="store_true", help="no disc1.iso, disc2.bin, disc2.cue")
    p.add_argument("--disc2-mode", type=int, choices=(1, 2), default=1, help="raw mode of disc2.bin (default 1)")
    p.add_argument("--tool", choices=("genisoimage", "xorriso"))
    p.add_argument("--force", action="store_true", help="replace a non-empty OUT not made by mkdisc")

    rip_kinds = "\n".join(f"  {k:<12} {d}" for k, (_, d) in RIP_KINDS.items())
    p = sub.add_parser("rip", help="a rip as another program writes it (CloneCD, Alcohol, Nero, ...)",
                       formatter_class=argparse.RawDescriptionHelpFormatter,
                       description="Writes KIND's files from a plain image as BASE.* and prints the "
                                   "path a user would open.", epilog=f"kinds:\n{rip_kinds}")
    p.add_argument("kind", metavar="KIND", choices=list(RIP_KINDS) + ["all"],
                   help="a kind below, or all: every kind into the folder BASE as KIND.*")
    p.add_argument("src", metavar="IN.iso")
    p.add_argument("base", metavar="BASE")
    p.add_argument("--check", action="store_true",
                   help="also read it with the independent readers (ccd2iso, mdf2iso, nrg2iso, "
                        "cd-info, bchunk, cdrdao, toc2cue); exit 1 if one fails")

    kinds = "\n".join(f"  {k:<13} {d}" for k, (_, d) in CRAFTED.items())
    labels = "\n".join(f"  {l:<13} {i!r}" for l, i in UNSAFE_NAMES)
    p = sub.add_parser("crafted", help="an image no mastering tool makes",
                       formatter_class=argparse.RawDescriptionHelpFormatter,
                       epilog=f"kinds:\n{kinds}\n  {'unsafe-name':<13} root: A_FIRST.TXT;1, the unsafe entry, "
                              f"Z_LAST.TXT;1 (--name HEX or --label LABEL; --dir: a directory holding "
                              f"ESCAPED.TXT;1)\n  {'unsafe-set':<13} OUT is a folder: every label below, "
                              f"as LABEL.iso and LABEL-dir.iso, with index.txt\n\nunsafe-name labels:\n{labels}")
    p.add_argument("kind", metavar="KIND", choices=list(CRAFTED) + ["unsafe-name", "unsafe-set"])
    p.add_argument("out", metavar="OUT.iso")
    p.add_argument("--name", metavar="HEX", help="unsafe-name: identifier bytes in hex (2e2e2e is '...')")
    p.add_argument("--label", help="unsafe-name: a predefined identifier")
    p.add_argument("--dir", action="store_true", help="unsafe-name: make the entry a directory")
    p.add_argument("--names-tool", metavar="ISO_NAMES",
                   help="unsafe-set: the iso_names program built from the setup's decoder "
                        "(build/native/iso_names), which gives the names tests expect")
    p.add_argument("--levels", type=int, default=10, help="shared: levels (default 10)")
    p.add_argument("--fanout", type=int, default=10, help="shared: records per level (default 10)")

    p = sub.add_parser("hostile", help="inputs that try to cost time, memory or disk",
                       description="Writes into OUT the hostile inputs listed in OUT/index.txt; "
                                   "the large ones are sparse files.")
    p.add_argument("out", metavar="OUT")
    p.add_argument("--chain", type=int, default=3000, help="directories in chain.iso (default 3000)")

    p = sub.add_parser("fixtures", help="the standard fixture set of the tests")
    p.add_argument("out", metavar="OUT")
    p.add_argument("--tool", choices=("genisoimage", "xorriso"))
    p.add_argument("--force", action="store_true", help="replace a non-empty OUT not made by mkdisc")
    p.add_argument("--names-tool", metavar="ISO_NAMES", required=True,
                   help="the iso_names program built from the setup's decoder "
                        "(build/native/iso_names), which gives the names tests expect")

    p = sub.add_parser("corpus", help="discs of other programs' writers, with the expected extraction",
                       description="Writes the real-writer corpus into OUT (vcdimager, xorriso, "
                                   "genisoimage, images in pieces) with each disc's expected listing "
                                   "as libcdio and bsdtar extract it; see discmaker/corpus.py.")
    p.add_argument("out", metavar="OUT")
    p.add_argument("--force", action="store_true", help="replace a non-empty OUT not made by mkdisc")

    p = sub.add_parser("listing", help="the listing of a folder tree as the corpus compares it")
    p.add_argument("folders", metavar="FOLDER", nargs="+")
    p.add_argument("--into", metavar="DIR",
                   help="write each folder's listing to DIR/NAME.txt (NAME: the folder's own name)")

    p = sub.add_parser("ls", help="list an image's records with the checking reader")
    p.add_argument("image", metavar="IMAGE")
    p.add_argument("--layout", choices=("2048", "mode1", "mode2"), help="skip probing")
    p.add_argument("--pvd-sector", type=int, default=16, help="where the primary descriptor is (default 16)")

    p = sub.add_parser("selftest", help="check every command's output; exit 1 on failure")
    p.add_argument("--keep", metavar="DIR", help="work in DIR and keep the outputs")
    p.add_argument("-v", "--verbose", action="store_true")
    p.add_argument("--names-tool", metavar="ISO_NAMES", required=True,
                   help="the iso_names program built from the setup's decoder "
                        "(build/native/iso_names), which gives the names tests expect")

    args = ap.parse_args(argv)
    if args.cmd == "tree":
        fresh_dir(args.out, force=args.force)
        make_tree(args.out, args.seed, args.total, args.depth, args.many, args.minimal)
        if args.manifest:
            write_manifest(args.manifest, [("tree", args.out)])
    elif args.cmd == "iso":
        if not os.path.isdir(args.src):
            fail(f"{args.src} is not a folder")
        master_iso(args.src, args.out, args.hidden, args.volid, args.tool)
    elif args.cmd == "raw":
        iso_to_raw(args.src, args.out, args.mode)
        if args.cue:
            write_cue(args.cue, args.out, args.mode, args.bin_ref, args.crlf)
    elif args.cmd == "rip":
        if args.kind == "all":
            paths = write_rip_set(args.src, args.base)
        else:
            paths = {args.kind: write_rip(args.kind, args.src, args.base)}
        for path in paths.values():
            print(path)
        if args.check:
            failures, skipped = check_rip_set(paths, args.src, args.base + ".check")
            rmtree(args.base + ".check")
            for line in skipped:
                print(f"SKIPPED: {line}", file=sys.stderr)
            for f in failures:
                print(f"FAIL: {f}", file=sys.stderr)
            return 1 if failures else 0
    elif args.cmd == "sample":
        fresh_dir(args.out, force=args.force, marker=True)
        make_sample(args.out, args.size, args.seed, args.folders_only, args.disc2_mode, args.tool)
    elif args.cmd == "crafted":
        if args.kind == "unsafe-set":
            write_unsafe_set(args.out, args.names_tool)
        elif args.kind == "unsafe-name":
            craft_unsafe_name(unsafe_ident(args), args.dir).write(args.out)
        elif args.kind == "shared":
            craft_shared(args.levels, args.fanout).write(args.out)
        else:
            CRAFTED[args.kind][0]().write(args.out)
    elif args.cmd == "hostile":
        write_hostile(args.out, args.chain)
    elif args.cmd == "fixtures":
        make_fixtures(args.out, args.names_tool, args.force, args.tool)
    elif args.cmd == "corpus":
        make_corpus(args.out, args.force)
    elif args.cmd == "listing":
        write_listings(args.folders, args.into)
    elif args.cmd == "ls":
        cmd_ls(args)
    elif args.cmd == "selftest":
        return selftest(args.names_tool, args.keep, args.verbose)
    return 0


if __name__ == "__main__":
    sys.exit(main())
