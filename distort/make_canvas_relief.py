#!/usr/bin/env python3
"""Writes CanvasRelief.cpp: the 128 x 128 relief of the canvas texture.

    python3 distort/make_canvas_relief.py > distort/CanvasRelief.cpp

The relief is a plain weave: warp threads run down, weft threads across,
both 8 pixels apart, so 16 of each tile the table seamlessly. In every
crossing one thread lies on top (warp where the thread numbers i + j are
even, weft elsewhere) and arches over the other; a thread's height across its
width is a half sine, highest on its middle line. Fine grain, a seeded noise
of a few units, gives the fibres. The heights are scaled to -75..75, their
mean moved to 0 and rounded; the first eight values of rows 0 and 1 are
fixed ones; then single units are taken from or given to the largest or
smallest values (fixed ones excepted) until the sum is within 400 of 0
(mean within 0.025).

Nothing here is random at run time: the same script always writes the same
table, and the table is the library's constant data.
"""
import math

SIZE = 128
PITCH = 8  # pixels from one thread to the next
FIXED = {
    0: [0, 5, -3, -13, 13, 10, -11, 6],
    1: [-10, -5, -24, -47, -9, -7, -39, -3],
}


def grain():
    """A 32-bit xorshift generator of values in -1..1."""
    state = 0x2545F491
    while True:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        yield state / 0x7FFFFFFF - 1.0


def height(x, y, noise):
    i, j = x // PITCH, y // PITCH
    u = (x % PITCH + 0.5) / PITCH  # across the warp thread
    v = (y % PITCH + 0.5) / PITCH  # across the weft thread
    warp = math.sin(math.pi * u)
    weft = math.sin(math.pi * v)
    if (i + j) % 2 == 0:
        # The warp on top, arching along its length over the weft below.
        top, under = warp * (0.55 + 0.45 * weft), weft * 0.35
    else:
        top, under = weft * (0.55 + 0.45 * warp), warp * 0.35
    return max(top, under) + 0.08 * noise


def relief():
    noise = grain()
    h = [[height(x, y, next(noise)) for x in range(SIZE)] for y in range(SIZE)]
    flat = [v for row in h for v in row]
    mean = sum(flat) / len(flat)
    reach = max(abs(v - mean) for v in flat)
    table = [[round((v - mean) / reach * 75) for v in row] for row in h]
    for y, values in FIXED.items():
        table[y][: len(values)] = values
    free = [(y, x) for y in range(SIZE) for x in range(SIZE)
            if not (y in FIXED and x < len(FIXED[y]))]
    total = sum(map(sum, table))
    # Nudge the values nearest the limits toward 0, one unit each, round and
    # round over the free cells in a fixed order.
    order = sorted(free, key=lambda c: -abs(table[c[0]][c[1]]))
    k = 0
    while abs(total) > 400:
        y, x = order[k % len(order)]
        k += 1
        if total > 0 and table[y][x] > 0:
            table[y][x] -= 1
            total -= 1
        elif total < 0 and table[y][x] < 0:
            table[y][x] += 1
            total += 1
    return table


def main():
    table = relief()
    flat = [v for row in table for v in row]
    assert min(flat) >= -75 and max(flat) <= 75
    assert abs(sum(flat) / len(flat)) < 0.05
    print("// The canvas texture: 128 rows of 128 heights of a woven canvas,")
    print("// row-major, row 0 first. Written by make_canvas_relief.py (beside this")
    print("// file), which says how it is made; regenerate rather than edit.")
    print(f"// {len(set(flat))} distinct values in {min(flat)}..{max(flat)}, sum {sum(flat)}.")
    print('#include "distort/DistortEffects.h"')
    print()
    print("namespace qvx {")
    print()
    print("const signed char kCanvasRelief[kCanvasSide * kCanvasSide] = {")
    for row in table:
        for half in (row[:64], row[64:]):
            print("    " + ",".join(str(v) for v in half) + ",")
    print("};")
    print()
    print("}  // namespace qvx")


if __name__ == "__main__":
    main()
