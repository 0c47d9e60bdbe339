#!/usr/bin/env python3
"""Writes NAME.rows beside each ".340" curve named on the command line: the 100 table rows that
loading the curve must give, as single-precision values ("%.9g" reads back to the same float).

An independent reading of the falling-curve resampling, kept here so the expected rows can be
made again; it runs on Python floats (IEEE doubles) and the C library's pow, as the tool does.
"""
import struct
import sys


def read340(path):
    fmt = None
    points = []
    with open(path, newline="") as f:
        for line in f:
            key, colon, value = line.partition(":")
            if colon and key.strip().lower() == "data format":
                fmt = int(value.split()[0])
                continue
            fields = line.split()
            if len(fields) == 3:
                try:
                    units, kelvin = float(fields[1]), float(fields[2])
                except ValueError:
                    continue
                if fmt >= 4:
                    units = 10.0 ** units
                if fmt == 5:
                    kelvin = 10.0 ** kelvin
                points.append((units, kelvin))
    return points


def single(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def resample(points):
    p = sorted(points, key=lambda point: point[0])
    n = len(p)
    t_first, t_last = p[0][1], p[-1][1]
    assert t_first > t_last, "only falling curves"
    q = (t_first / t_last) ** 0.010101010101010102
    t, i, j = t_first, 1, 0
    rows = []
    for _ in range(100):
        while p[i][1] > t and j < n - 2:
            j, i = i, i + 1
        slope = (p[i][0] - p[j][0]) / (p[i][1] - p[j][1])
        r = (t - p[j][1]) * slope + p[j][0]
        rows.append((single(r), single(t)))
        t = t / q
    return rows


for path in sys.argv[1:]:
    with open(path.rsplit(".", 1)[0] + ".rows", "w") as out:
        for row, (r, t) in enumerate(resample(read340(path))):
            out.write("%d\t%.9g\t%.9g\n" % (row, r, t))
