#!/usr/bin/python3
"""Writes engine/src/bluenoise.h: a 64 x 64 threshold map of blue noise, made
by the void-and-cluster method (Ulichney, 1993), for the ordered dithering
that keeps its dots in place from frame to frame.

    tools/make_blue_noise.py > engine/src/bluenoise.h && clang-format -i engine/src/bluenoise.h

The energy of a dot is the sum over the set dots of exp(-d^2 / (2 * 1.5^2)),
d the distance on the torus (the map repeats side by side). A prototype of
410 dots (a tenth), placed by a fixed pseudo-random sequence, is relaxed by
moving its tightest cluster to its largest void until they are the same dot;
its dots are then ranked down by removing tightest clusters, and the rest
ranked up by filling largest voids. Every rank 0 .. 4095 appears once. Plain
Python, no package: the same table on every run.
"""
import math

SIDE = 64
N = SIDE * SIDE
SIGMA = 1.5

kernel = []
for dy in range(SIDE):
    for dx in range(SIDE):
        ddx = min(dx, SIDE - dx)
        ddy = min(dy, SIDE - dy)
        kernel.append(math.exp(-(ddx * ddx + ddy * ddy) / (2 * SIGMA * SIGMA)))


def add(energy, i, sign):
    y0, x0 = divmod(i, SIDE)
    for j in range(N):
        y, x = divmod(j, SIDE)
        energy[j] += sign * kernel[((y - y0) % SIDE) * SIDE + (x - x0) % SIDE]


def tightest(energy, ones):
    return max((i for i in range(N) if ones[i]), key=lambda i: (energy[i], -i))


def largest_void(energy, ones):
    return min((i for i in range(N) if not ones[i]), key=lambda i: (energy[i], i))


# The prototype: a tenth of the dots by a linear congruential sequence.
ones = [False] * N
state = 12345
placed = 0
while placed < N // 10:
    state = (state * 1103515245 + 12345) % (1 << 31)
    i = (state >> 8) % N
    if not ones[i]:
        ones[i] = True
        placed += 1
energy = [0.0] * N
for i in range(N):
    if ones[i]:
        add(energy, i, 1)
while True:
    c = tightest(energy, ones)
    ones[c] = False
    add(energy, c, -1)
    v = largest_void(energy, ones)
    ones[v] = True
    add(energy, v, 1)
    if v == c:
        break

rank = [0] * N
prototype, prototype_energy = ones[:], energy[:]
count = sum(ones)
for r in range(count - 1, -1, -1):
    c = tightest(energy, ones)
    ones[c] = False
    add(energy, c, -1)
    rank[c] = r
ones, energy = prototype, prototype_energy
for r in range(count, N):
    v = largest_void(energy, ones)
    ones[v] = True
    add(energy, v, 1)
    rank[v] = r

print("// A 64 x 64 threshold map of blue noise: each rank 0 .. 4095 once, made by")
print("// tools/make_blue_noise.py (void-and-cluster, a Gaussian of 1.5 dots on the")
print("// torus, a fixed prototype), then laid out by clang-format; do not edit, run it")
print("// again.")
print("#pragma once")
print()
print("#include <cstdint>")
print()
print("namespace grob {")
print()
print("inline constexpr int kBlueNoiseSide = 64;")
print("inline constexpr std::uint16_t kBlueNoise[64][64] = {")
for y in range(SIDE):
    row = [str(v) for v in rank[y * SIDE:(y + 1) * SIDE]]
    lines = [", ".join(row[k:k + 16]) for k in range(0, SIDE, 16)]
    print("    {" + ",\n     ".join(lines) + "},")
print("};")
print()
print("} // namespace grob")
