#!/usr/bin/env bash
# Re-measures the peer tools on the benchmark terrain (4096 x 4096 16-bit cells from
# bench/bench_terrain.h), one thread each, beside Zumeld's own figures from the same run,
# and prints the ratios. Then whole processes on an 8192 x 8192 terrain, as a user waits
# for them: zumeld render to PNG and to BMP, convert and info against gdaldem hillshade and
# zstd on the same cells, and zumeld tiles against gdal2tiles.py, medians of three runs, wall
# and CPU time, Zumeld at one thread and at all. Tools that are not installed are skipped;
# nothing is installed.
#
# The GeoTIFF import pair runs whole processes on both sides: an 8192 x 8192 int16 GeoTIFF
# (GDAL's Deflate, one row a strip) read by `gdal_translate -of ENVI` into raw int16 and by
# `zumeld import` into an .elv file, the median CPU time of three runs each.
#
#   bench/peers.sh [path/to/zumeld-bench]     (default build/release/bench/zumeld-bench)
#   ZUMELD=path/to/zumeld                     (default build/release/zumeld)
#   PEERS_WHOLE=0 bench/peers.sh      skips the whole-process part
#   PEERS_KERNELS=0 bench/peers.sh    skips the kernel part
#   PEERS_PYTHON=0 bench/peers.sh     skips the Python part
#
# The Python part (bench/python_shade.py) draws the same 4096 x 4096 cells from a numpy array
# to an RGB array with the zumeld module against matplotlib's LightSource.shade with a
# colormap, in one process under Debian's /usr/bin/python3 (ZUMELD_PYTHON_DIR: the module's
# folder, default build/release/python).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
bench="${1:-$here/../build/release/bench/zumeld-bench}"
zumeld="${ZUMELD:-$here/../build/release/zumeld}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export GDAL_NUM_THREADS=1 OMP_NUM_THREADS=1
side=4096
cells=$((side * side))

have() { command -v "$1" >/dev/null 2>&1; }
# cpu COMMAND...: the processor seconds (user + system) the command takes. CPU time rather
# than wall time, so a loaded machine slows the peers no more than Google Benchmark's
# CPU-time figures for Zumeld.
cpu() {
    local TIMEFORMAT='%3U %3S'
    { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }'
}
# median3 COMMAND...: the median CPU time of three runs
median3() {
    { cpu "$@"; cpu "$@"; cpu "$@"; } | sort -n | sed -n 2p
}
# rate COUNT SECONDS: COUNT per second, in millions
rate() { awk -v n="$1" -v t="$2" 'BEGIN { printf "%.1f", n / t / 1e6 }'; }
declare -A peer ours

# ---- The terrain as raw little-endian 16-bit cells, with GDAL descriptions --------------
cat >"$work/terrain.cpp" <<CPP
#include <cstdio>
#include <cstdlib>
#include "bench_terrain.h"
int main(int argc, char** argv) {
    const int n = argc > 2 ? std::atoi(argv[2]) : $side;
    const auto cells = bench::Terrain(n, n);
    std::FILE* f = std::fopen(argv[1], "wb");
    return !f || std::fwrite(cells.data(), 2, cells.size(), f) != cells.size() || std::fclose(f);
}
CPP
"${CXX:-c++}" -O2 -std=c++20 -I"$here" "$work/terrain.cpp" -o "$work/terrain"
"$work/terrain" "$work/terrain.raw"
vrt() {  # vrt NAME GEOTRANSFORM [RAW SIDE]
    local n="${4:-$side}"
    cat >"$work/$1.vrt" <<XML
<VRTDataset rasterXSize="$n" rasterYSize="$n">
  <GeoTransform>$2</GeoTransform>
  <VRTRasterBand dataType="Int16" band="1" subClass="VRTRawRasterBand">
    <SourceFilename relativeToVRT="1">${3:-terrain.raw}</SourceFilename>
    <ImageOffset>0</ImageOffset><PixelOffset>2</PixelOffset>
    <LineOffset>$((n * 2))</LineOffset><ByteOrder>LSB</ByteOrder>
  </VRTRasterBand>
</VRTDataset>
XML
}
vrt terrain "0, 30, 0, 0, 0, -30"
vrt rotated "0, 25.98076, 15, 0, 15, -25.98076"  # 30 m cells turned by 30 degrees

if [ "${PEERS_KERNELS:-1}" != 0 ]; then
# ---- Peers ---------------------------------------------------------------------------
if have gdaldem; then
    t=$(cpu gdaldem hillshade -q -of ENVI "$work/terrain.vrt" "$work/shade.bil")
    peer[hillshade]=$(rate $cells "$t")
    t=$(cpu gdaldem hillshade -q -multidirectional -of ENVI "$work/terrain.vrt" "$work/shade2.bil")
    peer[hillshade_multi]=$(rate $cells "$t")
else echo "gdaldem: not installed, skipped"; fi
if have gdal_translate; then
    t=$(cpu gdal_translate -q -of ENVI -srcwin 0 0 256 256 -outsize 2048 2048 -r bilinear \
        "$work/terrain.vrt" "$work/big.bil")
    peer[bilinear]=$(rate $((2048 * 2048)) "$t")
    # The GeoTIFF import pair: both sides are whole processes, so both are measured here.
    big=8192
    "$work/terrain" "$work/big.raw" $big
    vrt big "500000, 30, 0, 5000000, 0, -30" big.raw $big
    gdal_translate -q -co COMPRESS=DEFLATE "$work/big.vrt" "$work/big.tif"
    rm -f "$work/big.raw"
    t=$(median3 gdal_translate -q -of ENVI "$work/big.tif" "$work/big.bil")
    peer[geotiff]=$(rate $((big * big)) "$t")
    rm -f "$work/big.bil"
    if [ -x "$zumeld" ]; then
        t=$(median3 "$zumeld" import "$work/big.tif" "$work/big.elv")
        ours[geotiff]=$(rate $((big * big)) "$t")
    else echo "$zumeld: not built (make build), the GeoTIFF import pair skipped"; fi
    rm -f "$work/big.tif" "$work/big.elv"
else echo "gdal_translate: not installed, skipped"; fi
if have gdalwarp; then
    t=$(cpu gdalwarp -q -of ENVI -r bilinear -wo NUM_THREADS=1 "$work/rotated.vrt" "$work/turned.bil")
    size=$(gdalinfo "$work/turned.bil" | awk '/^Size is/ { gsub(",", ""); print $3 * $4 }')
    peer[rotate]=$(rate "$size" "$t")
else echo "gdalwarp: not installed, skipped"; fi
if have gmt; then
    gmt xyz2grd -R0/$((side - 1))/0/$((side - 1)) -I1 -ZTLh "$work/terrain.raw" -G"$work/t.nc" 2>/dev/null
    t=$(cpu gmt grdimage "$work/t.nc" -I+d -JX20c -Cgeo -png "$work/gmt")
    peer[grdimage]=$(rate $cells "$t")
else echo "gmt: not installed, skipped"; fi
bytes=$((cells * 2))
if have zstd; then
    # In-memory benchmark mode, one thread: compression and decompression speed in MB/s.
    line=$(zstd -b1 -T1 -i3 "$work/terrain.raw" 2>&1 | tr '\r' '\n' | grep -E 'MB/s.*MB/s' | tail -1)
    peer[zstd_encode]=$(echo "$line" | awk '{ for (i = 1; i <= NF; ++i) if ($i == "MB/s," || $i == "MB/s") v[++n] = $(i - 1) } END { print v[1] }')
    peer[zstd_decode]=$(echo "$line" | awk '{ for (i = 1; i <= NF; ++i) if ($i == "MB/s," || $i == "MB/s") v[++n] = $(i - 1) } END { print v[2] }')
else echo "zstd: not installed, skipped"; fi
if have gzip; then
    gzip -6 -c "$work/terrain.raw" >"$work/t.gz"
    t=$(cpu gzip -6 -k -f "$work/terrain.raw")
    peer[gzip_encode]=$(rate $bytes "$t")
    t=$(cpu gzip -dc "$work/t.gz")
    peer[gzip_decode]=$(rate $bytes "$t")
else echo "gzip: not installed, skipped"; fi

# ---- Zumeld, same run ------------------------------------------------------------------
if [ -x "$bench" ]; then
    json="$work/zumeld.json"
    "$bench" --benchmark_filter='BM_RenderFrame/w:4096/h:4096/scale10:10/bpp:3/kernels:0|BM_BilinearEnlarge256To2048|BM_TransRotate_30|BM_ElvEncodeDeltaRun|BM_ElvDecodeDeltaRun' \
        --benchmark_format=json --benchmark_out="$work/zumeld.json" >/dev/null 2>&1 || true
    get() { python3 -c "import json,sys
for b in json.load(open('$json'))['benchmarks']:
    if b['name'].startswith('$1'): print('%.1f' % (b.get('$2', 0) / 1e6)); break"; }
    ours[hillshade]=$(get BM_RenderFrame items_per_second)
    ours[bilinear]=$(get BM_BilinearEnlarge items_per_second)
    ours[rotate]=$(get BM_TransRotate_30 cells/s)
    ours[encode]=$(get BM_ElvEncodeDeltaRun bytes_per_second)
    ours[decode]=$(get BM_ElvDecodeDeltaRun bytes_per_second)
else echo "$bench: not built (make build), Zumeld figures skipped"; fi

row() {  # row LABEL UNIT PEER_KEY OURS_KEY
    local p="${peer[$3]:-}" o="${ours[$4]:-}" r="-"
    if [ -n "$p" ] && [ -n "$o" ]; then r=$(awk -v o="$o" -v p="$p" 'BEGIN { printf "%.1fx", o / p }'); fi
    printf '%-44s %12s %12s %8s\n' "$1" "${p:--}" "${o:--}" "$r"
}
printf '\n%-44s %12s %12s %8s\n' "4096 x 4096 terrain, one thread, CPU time" "peer M/s" "zumeld M/s" "ratio"
row "shaded relief: gdaldem hillshade / render" px hillshade hillshade
row "  gdaldem hillshade -multidirectional" px hillshade_multi hillshade
row "  gmt grdimage -I" px grdimage hillshade
row "bilinear 256->2048: gdal_translate / ours" cells bilinear bilinear
row "8192^2 GeoTIFF import: gdal_translate / import" cells geotiff geotiff
row "rotation 30 deg: gdalwarp / TransRotate" cells rotate rotate
row "encode MB/s: zstd -1 / .elv" MB zstd_encode encode
row "  gzip -6" MB gzip_encode encode
row "decode MB/s: zstd -1 / .elv" MB zstd_decode decode
row "  gzip -6" MB gzip_decode decode

fi

# ---- Python: a numpy array to an RGB array -----------------------------------------------
if [ "${PEERS_PYTHON:-1}" != 0 ]; then
    module_dir="${ZUMELD_PYTHON_DIR:-$here/../build/release/python}"
    if ! /usr/bin/python3 -c 'import numpy, matplotlib' 2>/dev/null; then
        echo "numpy or matplotlib: not installed for /usr/bin/python3, the Python part skipped"
    elif ! PYTHONPATH="$module_dir" /usr/bin/python3 -c 'import zumeld' 2>/dev/null; then
        echo "$module_dir: no zumeld module (make build), the Python part skipped"
    else
        PYTHONPATH="$module_dir" /usr/bin/python3 "$here/python_shade.py" "$work/terrain.raw" $side
    fi
fi

# ---- Whole processes on 8192 x 8192 cells ------------------------------------------------
[ "${PEERS_WHOLE:-1}" = 0 ] && exit 0
if [ ! -x "$zumeld" ]; then echo "$zumeld: not built (make build), whole processes skipped"; exit 0; fi
big=8192
[ -f "$work/big.raw" ] || "$work/terrain" "$work/big.raw" $big
cat >"$work/big.vrt" <<XML
<VRTDataset rasterXSize="$big" rasterYSize="$big">
  <GeoTransform>0, 30, 0, 0, 0, -30</GeoTransform>
  <VRTRasterBand dataType="Int16" band="1" subClass="VRTRawRasterBand">
    <SourceFilename relativeToVRT="1">big.raw</SourceFilename>
    <ImageOffset>0</ImageOffset><PixelOffset>2</PixelOffset>
    <LineOffset>$((big * 2))</LineOffset><ByteOrder>LSB</ByteOrder>
  </VRTRasterBand>
</VRTDataset>
XML
"$zumeld" import "$work/big.raw" "$work/dem.elv" --size ${big}x${big} >/dev/null
all=$(getconf _NPROCESSORS_ONLN)  # not nproc: it follows OMP_NUM_THREADS
declare -A wall cpus peak
# whole KEY COMMAND...: medians of three runs of wall seconds, CPU seconds (user + system)
# and peak resident memory (MB).
med() { sort -n | sed -n 2p; }  # the middle of three numbers, one a line
whole() {
    local key=$1; shift
    local runs=()
    for i in 1 2 3; do
        /usr/bin/time -o "$work/time.txt" -f '%e %U %S %M' "$@" >/dev/null 2>&1
        runs+=("$(tail -1 "$work/time.txt")")
    done
    wall[$key]=$(printf '%s\n' "${runs[@]}" | awk '{ printf "%.2f\n", $1 }' | med)
    cpus[$key]=$(printf '%s\n' "${runs[@]}" | awk '{ printf "%.2f\n", $2 + $3 }' | med)
    peak[$key]=$(printf '%s\n' "${runs[@]}" | awk '{ printf "%.0f\n", $4 / 1024 }' | med)
}
whole png1 $zumeld --threads 1 render "$work/dem.elv" --size ${big}x${big} -o "$work/r1.png"
whole pngN $zumeld --threads "$all" render "$work/dem.elv" --size ${big}x${big} -o "$work/rN.png"
whole bmp1 $zumeld --threads 1 render "$work/dem.elv" --size ${big}x${big} -o "$work/r1.bmp"
whole bmpN $zumeld --threads "$all" render "$work/dem.elv" --size ${big}x${big} -o "$work/rN.bmp"
whole conv1 $zumeld --threads 1 convert "$work/dem.elv" "$work/b.elv"
whole convN $zumeld --threads "$all" convert "$work/dem.elv" "$work/b.elv"
whole info1 $zumeld --threads 1 info "$work/dem.elv"
if have gdaldem; then
    whole gpng gdaldem hillshade -q -of PNG "$work/big.vrt" "$work/g.png"
    whole gtif gdaldem hillshade -q -of GTiff "$work/big.vrt" "$work/g.tif"
fi
# The tile pyramid, zooms 0..5 of the 8192^2 map (1,365 tiles): zumeld tiles into a folder
# and into an MBTiles file, against gdal2tiles.py on two processes tiling gdaldem's hillshade
# GeoTIFF of the same cells (each run starts from no output).
whole tilesF bash -c "rm -rf '$work/zt' && exec '$zumeld' tiles '$work/dem.elv' '$work/zt' --zoom 0..5"
whole tilesM $zumeld tiles "$work/dem.elv" "$work/zt.mbtiles" --zoom 0..5
if have gdal2tiles.py && [ -f "$work/g.tif" ]; then
    whole g2t bash -c "rm -rf '$work/g2t' &&
        exec gdal2tiles.py -q -p raster -z 0-5 --processes=2 '$work/g.tif' '$work/g2t'"
    rm -rf "$work/g2t"
else echo "gdal2tiles.py: not installed (Debian's python3-gdal) or no gdaldem, the tiles pair skipped"; fi
rm -rf "$work/zt" "$work/zt.mbtiles"
if have zstd; then
    zstd -q -1 -T1 -f "$work/big.raw" -o "$work/big.zst"
    whole zboth bash -c "zstd -q -1 -T1 -f '$work/big.raw' -o '$work/big.zst' &&
        zstd -q -d -T1 -f '$work/big.zst' -o '$work/big.back'"
    whole zdec zstd -q -d -T1 -f "$work/big.zst" -o "$work/big.back"
fi
pair() {  # pair LABEL OURS PEER: wall and CPU seconds and the peer / ours ratios
    local o="${wall[$2]:-}" p="${wall[$3]:-}" r="-" rc="-"
    if [ -n "$o" ] && [ -n "$p" ]; then
        r=$(awk -v o="$o" -v p="$p" 'BEGIN { printf "%.2fx", p / o }')
        rc=$(awk -v o="${cpus[$2]}" -v p="${cpus[$3]}" 'BEGIN { printf "%.2fx", p / o }')
    fi
    printf '%-40s %6s %6s %6s %6s %8s %8s %6s\n' "$1" "${o:--}" "${cpus[$2]:--}" "${p:--}" \
        "${cpus[$3]:--}" "$r" "$rc" "${peak[$2]:--}"
}
echo
echo "8192 x 8192, whole processes, medians of 3 (load: $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%-40s %6s %6s %6s %6s %8s %8s %6s\n' "zumeld / peer" "wall" "cpu" "wall" "cpu" \
    "speedup" "cpu" "MB"
pair "render -> PNG, 1 thread / gdaldem PNG" png1 gpng
pair "render -> PNG, $all threads / gdaldem PNG" pngN gpng
pair "render -> BMP, 1 thread / gdaldem GTiff" bmp1 gtif
pair "render -> BMP, $all threads / gdaldem GTiff" bmpN gtif
pair "convert, 1 thread / zstd -1 + zstd -d" conv1 zboth
pair "convert, $all threads / zstd -1 + zstd -d" convN zboth
pair "info / zstd -d" info1 zdec
pair "tiles 0..5 -> folder / gdal2tiles.py" tilesF g2t
pair "tiles 0..5 -> .mbtiles / gdal2tiles.py" tilesM g2t
# The peak memory goal of zumeld tiles: the map's cells, the workers' display grids (the
# cells of a 256 x 256 tile with its margin, 16 bits each, a thread) and 64 MiB.
echo "tiles peak memory bound: $(( (big * big * 2 + all * 258 * 258 * 2) / 1048576 + 64 )) MB"
