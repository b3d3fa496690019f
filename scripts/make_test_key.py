#!/usr/bin/env python3
"""Writes the committed test scrambling key: a permutation of 0..255 (SubstTable), then
29 shift bytes and 227 mask bytes. Deterministic, so the file can be checked and remade.
Real panel firmware needs the real key instead (see README)."""
import random
import sys

rng = random.Random(0x4B4F5256)  # fixed seed: the same key every time
subst = list(range(256))
rng.shuffle(subst)
shift = [rng.randrange(256) for _ in range(29)]
mask = [rng.randrange(256) for _ in range(227)]
out = sys.argv[1] if len(sys.argv) > 1 else "config/test_key.bin"
with open(out, "wb") as f:
    f.write(bytes(subst + shift + mask))
