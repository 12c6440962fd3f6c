"""Test-disc maker: generated folder trees, ISO 9660 images mastered by the real
tool (genisoimage, or xorriso when it is absent), raw 2352-byte Mode 1 and Mode 2
Form 1 images with cue sheets, rips as other programs write them (CloneCD,
Alcohol, Nero, cdrdao, multi-track cue sheets), the sample pair of game discs,
and crafted images that no mastering tool would write (damaged, hostile), made
by a small ISO 9660 writer of our own.

Standard library only. Tests, benchmarks and the demo run tools/mkdisc.py; a
test script may also import a module of this package, for example
discmaker.isowrite for IsoImage (see tools/README.md).

Modules: common (units, flags, output folders), tree (folder trees and
manifests), mastering (the real tool), raw (raw sectors and cue sheets), rips
(other programs' rips and the readers that check them),
isoread and isowrite (our own ISO 9660 reader and writer), crafted (crafted
and hostile images), samples (the sample discs and the fixture set), decoded
(the names the setup's own decoder gives, through iso_names), selftest, cli
(the command line).
"""
