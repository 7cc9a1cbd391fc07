"""Shaded relief of an array to an RGB array from Python: zumeld.Map(a).render() against
matplotlib's LightSource.shade with a colormap, on the same array, array in and array out
included. Both arrays are measured: the terrain's own int16 cells and their float64 copy.

    python3 bench/python_shade.py TERRAIN.raw [SIDE]

TERRAIN.raw holds SIDE x SIDE (default 4096) little-endian int16 cells (bench/peers.sh
makes them). Figures are medians: wall and CPU seconds (CPU: every thread of the process),
of 11 runs for zumeld and 3 for matplotlib, whose shade takes seconds. zumeld runs on all of
its threads, matplotlib (numpy) on one."""
import os
import sys
import time

import numpy as np
from matplotlib import colormaps
from matplotlib.colors import LightSource

import zumeld


def medians(make, runs):
    walls, cpus = [], []
    for _ in range(runs):
        wall, cpu = time.perf_counter(), time.process_time()
        picture = make()
        walls.append(time.perf_counter() - wall)
        cpus.append(time.process_time() - cpu)
        del picture
    return np.median(walls), np.median(cpus)


def main():
    side = int(sys.argv[2]) if len(sys.argv) > 2 else 4096
    cells = np.fromfile(sys.argv[1], "<i2", side * side).reshape(side, side)
    light, cmap = LightSource(azdeg=315, altdeg=45), colormaps["gist_earth"]
    mpx = side * side / 1e6
    print(f"\n{side} x {side} array -> RGB array, medians (load: {os.getloadavg()[0]:.2f}, "
          f"zumeld threads: {zumeld.threads()})")
    print(f"{'array':<10} {'matplotlib':>21} {'zumeld':>21} {'speedup':>17}")
    print(f"{'':<10} {'wall s':>10} {'cpu s':>10} {'wall s':>10} {'cpu s':>10} {'wall':>8} "
          f"{'cpu':>8}   zumeld M px/s")
    for a in (cells, cells.astype(np.float64)):
        rgb = zumeld.Map(a).render()
        assert rgb.shape == (side, side, 3) and rgb.dtype == np.uint8
        peer = medians(lambda: light.shade(a, cmap=cmap), 3)
        ours = medians(lambda: zumeld.Map(a).render(), 11)
        print(f"{str(a.dtype):<10} {peer[0]:>10.3f} {peer[1]:>10.3f} {ours[0]:>10.4f} "
              f"{ours[1]:>10.4f} {peer[0] / ours[0]:>7.0f}x {peer[1] / ours[1]:>7.0f}x   "
              f"{mpx / ours[0]:.0f} wall, {mpx / ours[1]:.0f} cpu")


if __name__ == "__main__":
    main()
