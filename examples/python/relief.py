"""Shaded relief of a GeoTIFF elevation model with zumeld, shown and saved with matplotlib.

    python3 examples/python/relief.py DEM.tif [-o relief.png] [--width 1600] [--no-show]

Any map file zumeld reads works too (.hgt, .png, .pgm, .asc, .elv). The colours are placed
on the map's own elevations (colors="auto"), so lowlands and mountains alike show green low
land, brown high land and grey tops.
"""
import argparse

import matplotlib

import zumeld


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dem", help="the elevation model: a GeoTIFF, or any map file zumeld reads")
    parser.add_argument("-o", "--output", default="relief.png", help="the PNG to write")
    parser.add_argument("--width", type=int, default=1600,
                        help="the picture's width in pixels (its height keeps the map's shape)")
    parser.add_argument("--exaggerate", type=float, default=1.0,
                        help="multiply the elevations by this before shading")
    parser.add_argument("--no-show", action="store_true", help="write the PNG without a window")
    args = parser.parse_args()
    if args.no_show:
        matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    # A model over 16384 cells a side is reduced by area average as it is read.
    dem = zumeld.Map.read(args.dem, fit=(16384, 16384))
    width = max(1, min(args.width, 16384))
    height = max(1, min(round(width * dem.height / dem.width), 16384))
    picture = dem.render(size=(width, height), colors="auto", exaggerate=args.exaggerate)

    plt.imsave(args.output, picture)  # one picture pixel to one PNG pixel
    print(f"{args.dem}: {dem.width} x {dem.height} cells -> {args.output} ({width} x {height})")
    if not args.no_show:
        plt.figure(figsize=(10, 10 * height / width))
        plt.imshow(picture)
        plt.axis("off")
        plt.title(args.dem)
        plt.show()


if __name__ == "__main__":
    main()
