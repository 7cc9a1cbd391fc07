#!/usr/bin/env python3
"""Mutation run: how many planted faults the release suite catches.

Each mutant below is one exact text replacement in one source file (the old text must occur
exactly once, or the run stops: the code moved and the list needs mending). The tree is never
touched: the tracked files are copied into build/mutants/src (only files whose content changed
are rewritten, so the release build there stays incremental), each mutant is applied to the
copy, the test programs are rebuilt, and the suite runs in stages until one fails (each
test program stops at its first failing test):

  unit    the unit-test binary (vector kernels where the processor has them)
  posix   the POSIX-only unit tests (fault injection, the stand-ins' own tables)
  scalar  the unit-test binary on the scalar kernels (--zumeld-force-scalar)
  cli     the tool's end-to-end tests
  serve   zumeld serve over HTTP on the loopback interface
  tiles   zumeld tiles end to end
  gdi     the GDI probe against the recorded Windows output

The first failing test is recorded (or "survived"); the copy's file is restored after every
mutant, whatever happens. With --all-stages every stage and every test runs and every failing
test is recorded. Results go to build/mutants/<label>.tsv.

  scripts/mutants.py [--label NAME] [--only ID,ID] [--all-stages] [--list] [--check]
"""

import argparse
import os
import re
import subprocess
import sys
import time

ROOT = subprocess.run(["git", "rev-parse", "--show-toplevel"], capture_output=True, text=True,
                      check=True, cwd=os.path.dirname(os.path.abspath(__file__))).stdout.strip()
WORK = os.path.join(ROOT, "build", "mutants")
SCRATCH = os.path.join(WORK, "src")
# Inside the copy, at the path the release build has in the tree: compiler-cache hits.
BUILD = os.path.join(SCRATCH, "build", "release")
# The programs the stages run; those the tree does not define are left out.
TARGETS = ["zumeld-tests", "zumeld-posix-tests", "zumeld-cli", "zumeld-cli-tests",
           "zumeld-serve-tests", "zumeld-tiles-tests", "zumeld-gdi-probe"]
STAGE_TIMEOUT = 900  # seconds; a mutant that hangs a stage counts as caught

# (id, file, old text, new text, the fault planted)
MUTANTS = [
    # ---- platform: memory, files, archive, GDI, pixel formats, module -----------------------
    ("mem-regrow-zero", "zumeld/platform/memory.cpp",
     "        std::memset(b->data.get() + b->size, 0, dwBytes - b->size);\n", "",
     "GlobalReAlloc growing back into a shrunk block skips the zero fill"),
    ("mem-stale-handle", "zumeld/platform/memory.cpp",
     "if (!b.live || (v >> kSlotBits) != b.generation) return nullptr;",
     "if (!b.live) return nullptr;",
     "a stale handle whose slot was reused is taken for the new block"),
    ("mem-unlock-count", "zumeld/platform/memory.cpp",
     "return b->locks > 0 ? TRUE : FALSE;", "return TRUE;",
     "GlobalUnlock reports the block still locked after the last unlock"),
    ("files-create-truncate", "zumeld/platform/files.cpp",
     "if (request.truncate && request.access != 0) flags |= O_TRUNC;",
     "if (false) flags |= O_TRUNC;",
     "OF_CREATE no longer empties an existing file"),
    ("archive-word-order", "zumeld/platform/framework.cpp",
     "w = static_cast<WORD>(b[0] | (b[1] << 8));", "w = static_cast<WORD>(b[1] | (b[0] << 8));",
     "CArchive reads 16-bit fields big-endian"),
    ("archive-short-field", "zumeld/platform/framework.cpp",
     "if (Read(p, n) != n) throw CArchiveException(CArchiveException::endOfFile);",
     "Read(p, n);",
     "a field cut off by the end of the file raises nothing"),
    ("archive-readahead", "zumeld/platform/framework.cpp",
     "        m_pFile->Seek(-static_cast<std::int64_t>(m_lim - m_cur), CFile::current);\n", "",
     "closing a loading archive keeps the bytes it read ahead"),
    ("gdi-scan-row", "zumeld/platform/gdi.cpp",
     "const int row = dib.topDown ? scan : bmp.height - 1 - scan;",
     "const int row = dib.topDown ? scan : bmp.height - scan;",
     "a bottom-up DIB's scan lines land one row off"),
    ("gdi-stretch-nearest", "zumeld/platform/gdi_blit.cpp",
     "i0 = i1 = ((2 * j + 1) * sLen - 1) / (2 * dLen);", "i0 = i1 = j * sLen / dLen;",
     "enlarging blits take the left source pixel instead of the nearest"),
    ("gdi-overlap-order", "zumeld/platform/gdi_blit.cpp",
     "ay.dAnchor > ay.sAnchor;", "ay.dAnchor < ay.sAnchor;",
     "a blit within one surface walks into rows it has not read yet"),
    ("pixel-widen-bits", "zumeld/platform/pixelformat.cpp",
     "for (int shift = 8 - bits; shift > -bits; shift -= bits)",
     "for (int shift = 8 - bits; shift > 0; shift -= bits)",
     "narrow channels widen without their low bits (31 of 5 bits reads 248)"),
    ("pixel-24-channels", "zumeld/platform/pixelformat.cpp",
     "                p[0] = static_cast<BYTE>(BlueOf(colour));\n"
     "                p[1] = static_cast<BYTE>(GreenOf(colour));\n"
     "                p[2] = static_cast<BYTE>(RedOf(colour));\n",
     "                p[0] = static_cast<BYTE>(RedOf(colour));\n"
     "                p[1] = static_cast<BYTE>(GreenOf(colour));\n"
     "                p[2] = static_cast<BYTE>(BlueOf(colour));\n",
     "24-bit pixels are written R, G, B"),
    ("pixel-8bit-step", "zumeld/platform/pixelformat.cpp",
     "m_f.bitCount == 8 ? (colour & 0xF8F8F8) | 0x040404 : colour", "colour",
     "colours into 8-bit pixels are matched unreduced"),
    ("module-resource-type", "zumeld/platform/module.cpp",
     "return IS_INTRESOURCE(type) && reinterpret_cast<UINT_PTR>(type) == 2;",
     "return IS_INTRESOURCE(type);",
     "resources of any type are found as bitmaps"),
    ("replace-readonly", "zumeld/util/ReplaceFile_posix.cpp",
     "if ((st.st_mode & 0222) == 0) return EACCES;", "if (false) return EACCES;",
     "a read-only file is replaced"),
    ("replace-mode", "zumeld/util/ReplaceFile_posix.cpp",
     "if (exists && ::fchmod(fd_, st.st_mode & 07777) != 0) return Fail(errno);",
     "if (false) return Fail(errno);",
     "a replaced file loses its mode"),
    # ---- bitmap buffer -------------------------------------------------------------------------
    ("bmp-jpeg-clear", "zumeld/bitmap/ControlBmp.cpp",
     "    if (!ok) ClearBuffer();\n", "",
     "a JPEG stream that does not decode leaves the old pixels"),
    ("bmp-jpeg-warnings", "zumeld/bitmap/Jpeg.cpp",
     "    ok = ok && err.pub.num_warnings == 0;\n", "",
     "a JPEG stream cut short is accepted (padded with grey)"),
    ("bmp-grey-ramp", "zumeld/bitmap/ControlBmp.cpp",
     "info.colors[i] = RGBQUAD{v, v, v, 0};", "info.colors[i] = RGBQUAD{v, v, 0, 0};",
     "8-bit pictures get a ramp without red"),
    # ---- elevation map, codec, files -----------------------------------------------------------
    ("codec-searun-zero", "zumeld/elevation/ElvCodec.cpp",
     "            if (kSeaRuns && prev == 0) prev = 1;\n            *out++",
     "            *out++",
     "a one-byte code reaching 0 in a sea-run stream stays sea"),
    ("codec-short-run", "zumeld/elevation/ElvCodec.cpp",
     "if (run <= 3) {", "if (run <= 2) {",
     "runs of three cells get a 16-bit count"),
    ("codec-delta-range", "zumeld/elevation/ElvCodec.cpp",
     "if (d >= -kMaxDelta && d <= kMaxDelta) {", "if (d > -kMaxDelta && d <= kMaxDelta) {",
     "a step of -126 is written as an absolute value"),
    ("codec-count-sign", "zumeld/elevation/ElvCodec.cpp",
     "count = static_cast<std::int32_t>(u);", "count = static_cast<std::int64_t>(u);",
     "32-bit counts of 2^31 and more fill cells"),
    ("codec-band-carry", "zumeld/elevation/ElvCodec.cpp",
     "        carry = b.tail;\n", "        carry = 0;\n",
     "a run going on past a band's end is lost when the encoder splits the rows"),
    ("codec-grey-scale", "zumeld/elevation/ElvCodec.h",
     "int g = e * 256 / (maxElevation + 1);", "int g = e * 256 / maxElevation;",
     "grey levels are scaled by M instead of M + 1"),
    ("elv-unknown-message", "zumeld/elevation/ElvFile.cpp",
     "                AfxMessageBox(kBadFileMessage, MB_OK, 0);\n                break;",
     "                break;",
     "an unknown encoding loads as sea without the message"),
    ("elv-load-cache", "zumeld/elevation/ElvFile.cpp",
     "    guard.Dismiss();\n    ResetDisplayCache(*this);", "    guard.Dismiss();",
     "a load keeps the display grid of the old map"),
    ("elv-store-limit", "zumeld/elevation/ElvFile.cpp",
     "map.m_nWidth > kMaxStoredSize ||", "map.m_nWidth >= kMaxStoredSize ||",
     "a map 32767 cells wide is refused"),
    ("elv-raw-half-cell", "zumeld/elevation/ElvFile.cpp",
     "std::fill(row + got / 2, row + width", "std::fill(row + (got + 1) / 2, row + width",
     "a raw cell of which one byte arrived is kept"),
    ("jpeg-record-margin", "zumeld/elevation/CompressedFile.cpp",
     "    }\n    FillGapOfElevationData();\n}", "    }\n}",
     "a compressed record loads without its margin"),
    ("grid-erase-negative", "zumeld/elevation/Grid.cpp",
     "static_cast<short>(cells[i] != 0)", "static_cast<short>(cells[i] > 0)",
     "flattening turns negative cells to sea instead of land"),
    ("grid-margin-column", "zumeld/elevation/Grid.cpp",
     "        row[width] = row[width - 1];\n", "",
     "the margin column is not refilled"),
    ("map-copy-target", "zumeld/elevation/CtrlElvMap.cpp",
     "dst.m_pBmp = (src.m_pBmp == &src.m_bmpInternal) ? &dst.m_bmpInternal : src.m_pBmp;",
     "dst.m_pBmp = src.m_pBmp;",
     "a copy draws into the source's internal picture"),
    ("map-new-keeps-display", "zumeld/elevation/CtrlElvMap.cpp",
     "    SetGridSizes(*this, nWidth, nHeight);\n    m_pDisplayElevation.reset();\n",
     "    SetGridSizes(*this, nWidth, nHeight);\n",
     "CreateNewMap keeps the old display grid"),
    # ---- rendering -----------------------------------------------------------------------------
    ("tex-land-interleave", "zumeld/render/TexturePrep.cpp",
     "            out[0] = low[0];\n            out[1] = high[0];\n",
     "            out[0] = high[0];\n            out[1] = low[0];\n",
     "the land texel's blue bytes of low and high land change places"),
    ("tex-parameter-floor", "zumeld/render/Texture.cpp",
     "out.nBlendElevation = AtLeastOne(set.nBlendElevation[s]);",
     "out.nBlendElevation = set.nBlendElevation[s];",
     "a blend elevation below 1 is stored as given"),
    ("span-blend-clamp", "zumeld/render/SpanRenderer.cpp",
     "p.blendK = std::min(32767, 8388608 / std::max(1, slot.nBlendElevation));",
     "p.blendK = 8388608 / std::max(1, slot.nBlendElevation);",
     "the mixing factor is not capped at 32767"),
    ("span-tone-half", "zumeld/render/SpanRenderer.cpp",
     "            return p - p / 2;\n", "            return p / 2;\n",
     "the half tone rounds down instead of up"),
    ("span-packed-saturate", "zumeld/render/SpanRenderer.cpp",
     "q = (q | ((q & kBit8) >> 8) * 0xFF) & kLow8;", "q = q & kLow8;",
     "the scalar kernel's shading wraps above 255 instead of saturating"),
    ("span-reference-fade", "zumeld/render/SpanRenderer.cpp",
     "for (int& v : q) v = (v * (255 - f) + 160 * f) >> 8;",
     "for (int& v : q) v = (v * (255 - f) + 159 * f) >> 8;",
     "the reference kernel fades toward 159"),
    ("span-vector-fade", "zumeld/render/SpanKernels_simd.h",
     "V::MulLo16(f, V::Set16(160))", "V::MulLo16(f, V::Set16(159))",
     "the vector kernels fade toward 159"),
    ("span-fade-row", "zumeld/render/SpanRenderer.cpp",
     "s.fadeLine = (p.fadeBase + p.fadeStep * y) >> 12;", "s.fadeLine = p.fadeBase >> 12;",
     "the fade line stays where row 0 has it"),
    ("span-clip-right", "zumeld/render/SpanRenderer.cpp",
     "right = std::min<int>(line.right, width - 1);", "right = std::min<int>(line.right, width);",
     "a span is cut one pixel past the display's or the target's right side"),
    ("span-tile-column", "zumeld/render/SpanRenderer.cpp",
     "FloorMod(p.origin.u0 / 4 + static_cast<std::int64_t>(left), c.rowBytes / 4)) *",
     "FloorMod(static_cast<std::int64_t>(left), c.rowBytes / 4)) *",
     "spans take the texture from its column 0, not from the display's texture origin"),
    ("draw-dim-tone", "zumeld/render/Draw.cpp",
     "bDim ? 2 : 0", "bDim ? 1 : 0",
     "dimmed relief is drawn at half instead of three quarters"),
    ("sea-set-zero", "zumeld/render/SeaOverlayMembers.cpp",
     "m_nTextureSetCount, 0, m_nSeason);", "m_nTextureSetCount, m_nSelectedTexture, m_nSeason);",
     "the sea fill takes the selected set's sea"),
    ("sea-origin-row", "zumeld/render/SeaOverlay.cpp",
     "int texRow = static_cast<int>((std::int64_t{origin.row0} + y0) % rows);",
     "int texRow = static_cast<int>(std::int64_t{y0} % rows);",
     "the sea fill starts every picture at texture row 0"),
    ("overlay-whole-round", "zumeld/render/SeaOverlay.cpp",
     "[](int a, int b) { return (a + b) >> 1; }", "[](int a, int b) { return (a + b + 1) >> 1; }",
     "the whole-picture blend rounds half up"),
    ("overlay-row-order", "zumeld/render/SeaOverlay.cpp",
     "const std::int64_t stored = bih.biHeight > 0 ? height - 1 - r : r;",
     "const std::int64_t stored = r;",
     "a bottom-up overlay picture is kept upside down"),
    ("overlay-rect-cut", "zumeld/render/SeaOverlay.cpp",
     "std::min<std::int64_t>(std::int64_t{x} + cx, std::min(o.width, target.width));",
     "std::min<std::int64_t>(std::int64_t{x} + cx, target.width);",
     "the rectangle blend is cut to the target but not to the overlay picture"),
    # ---- transforms ----------------------------------------------------------------------------
    ("resample-half", "zumeld/transform/BilinearRow.h",
     "* r.k + kHalf;", "* r.k;",
     "bilinear cells are truncated instead of rounded"),
    ("resample-scalar-run", "zumeld/transform/BilinearRow.h",
     "for (int n = 0; n < run; ++n, acc += step)", "for (int n = 0; n + 1 < run; ++n, acc += step)",
     "the scalar bilinear loop leaves the last cell of each run unwritten"),
    ("resample-mode", "zumeld/transform/Resample.cpp",
     "a.dispWidth > a.srcWidth && a.dispHeight > a.srcHeight",
     "a.dispWidth > a.srcWidth || a.dispHeight > a.srcHeight",
     "enlarging along one axis only is done bilinearly"),
    ("resample-margin", "zumeld/transform/Resample.cpp",
     "int64_t{a.dispWidth} + std::max(1, a.dispWidth / a.srcWidth);",
     "int64_t{a.dispWidth} + a.dispWidth / a.srcWidth;",
     "a reduced display grid gets no margin column"),
    ("stretch-cache", "zumeld/transform/Stretch.cpp",
     "const bool rebuild = !IsCached(*this, area);", "const bool rebuild = true;",
     "the display grid is rebuilt on every call"),
    ("stretch-scale", "zumeld/transform/Stretch.cpp",
     "m.m_dDisplayScale = static_cast<double>(a.dispWidth) / a.srcWidth;",
     "m.m_dDisplayScale = static_cast<double>(a.dispHeight) / a.srcHeight;",
     "the display scale is taken from the heights"),
    ("sink-keep-land", "zumeld/transform/Sink.cpp",
     "if (keepLand && v < 1) v = 1;", "(void)keepLand;",
     "sinking with keepLand turns land into sea"),
    ("sink-saturate", "zumeld/transform/Sink.cpp",
     "        if (v > 32767) v = 32767;\n", "",
     "raising land past 32767 wraps into sea"),
    ("resize-mean-last", "zumeld/transform/Resize.cpp",
     "    sum += slot.wb1 * (eb + vb) * 0.5;", "    sum += slot.wb1 * eb;",
     "a reduced cell's last partial interval is taken at its left cell, not by the trapezoid"),
    ("transform-trunc", "zumeld/transform/Transforms.h",
     "return static_cast<short>(static_cast<int>(v));",
     "return static_cast<short>(static_cast<int>(__builtin_floor(v)));",
     "transform results round toward minus infinity instead of zero"),
    ("rotate-round-scalar", "zumeld/transform/RotateRow.h",
     "return TruncToElevation(q >= 0 ? q + 0.5 : q - 0.5);", "return TruncToElevation(q + 0.5);",
     "the scalar rotation rounds halves up"),
    ("rotate-round-vector", "zumeld/transform/Rotate_avx2.cpp",
     "_mm256_blendv_pd(_mm256_sub_pd(q, half), _mm256_add_pd(q, half),",
     "_mm256_blendv_pd(_mm256_add_pd(q, half), _mm256_add_pd(q, half),",
     "the vector rotation rounds halves up"),
    ("rotate-quarter", "zumeld/transform/Rotate.cpp",
     "out[i] = E(i, W - 1 - k);", "out[i] = E(i, k);",
     "the quarter turn by 90 mirrors the map"),
    ("replace-margin", "zumeld/transform/Replace.cpp",
     "    FillGapOfElevationData();\n    ElevationDataModified();", "    ElevationDataModified();",
     "an edit installs its grid without refilling the margin"),
    ("replace-modified", "zumeld/transform/Replace.cpp",
     "    FillGapOfElevationData();\n    ElevationDataModified();", "    FillGapOfElevationData();",
     "an edit leaves the display grid marked fresh"),
    ("barrel-row-centre", "zumeld/transform/Warp.cpp",
     "const double y = (-H) / 2.0 + r;", "const double y = (-H) / 2 + r;",
     "the barrel's rows are centred by integer division"),
    ("sector-centre", "zumeld/transform/Warp.cpp",
     "            if (X == 0 && Y == 0) continue;  // the fan's centre stays sea\n", "",
     "the fan's centre cell is filled"),
    # ---- geometry ------------------------------------------------------------------------------
    ("dda-carry", "zumeld/geometry/Dda_p.h",
     "        rem += r;\n        if (rem >= den) {", "        rem += r;\n        if (rem > den) {",
     "a step whose remainder reaches the denominator does not carry"),
    ("line-shallow-half", "zumeld/geometry/Line.cpp",
     "w = LineWalk{a.x, a.y, sx, 1, udy, adx, (adx - 1) / 2};",
     "w = LineWalk{a.x, a.y, sx, 1, udy, adx, adx / 2};",
     "shallow lines round halves away from the upper end"),
    ("line-channels", "zumeld/geometry/Line.cpp",
     "        p[0] = blue;\n        p[1] = green;\n        p[2] = red;",
     "        p[0] = red;\n        p[1] = green;\n        p[2] = blue;",
     "lines are drawn with red and blue swapped"),
    ("scan-store-clamp", "zumeld/geometry/ScanConvert.cpp",
     "return static_cast<short>(std::min<std::int64_t>(x, 32767));",
     "return static_cast<short>(x);",
     "span columns past 32767 wrap"),
    ("scan-skip-advance", "zumeld/geometry/ScanConvert.cpp",
     "AdvanceRows(*active[i].edge, static_cast<std::uint64_t>(last - row));",
     "AdvanceRows(*active[i].edge, static_cast<std::uint64_t>(last - row + 1));",
     "skipping empty rows moves the edges one row too far"),
    ("scan-pass-through", "zumeld/geometry/ScanConvert.cpp",
     "if (!(m_waiting && passesThrough)) m_inside = !m_inside;", "m_inside = !m_inside;",
     "a vertex the outline passes through counts as two crossings"),
    ("pip-right-edge", "zumeld/geometry/ScanConvert.cpp",
     "list[k - 1].key <= pt.x && pt.x <= list[k].key", "list[k - 1].key <= pt.x && pt.x < list[k].key",
     "points on a right edge are outside"),
    ("polygon-member-size", "zumeld/geometry/Polygon.cpp",
     "m_nDisplayWidth, m_nDisplayHeight, pLines,", "m_nDisplayHeight, m_nDisplayWidth, pLines,",
     "CalcPolygon clips to the display's sides swapped"),
    # ---- DIB toolbox ---------------------------------------------------------------------------
    ("dib-chunk-size", "zumeld/dib/DibFormat_p.h",
     "constexpr unsigned long kChunkBytes = 32768;", "constexpr unsigned long kChunkBytes = 32767;",
     "file transfers move 32767 bytes a call"),
    ("dib-bitfields-depth", "zumeld/dib/DibFormat.cpp",
     "return bi.biBitCount == 16 || bi.biBitCount == 32;", "return bi.biBitCount >= 16;",
     "channel masks are accepted at 24 bits"),
    ("dib-palette-channels", "zumeld/dib/DibFormat.cpp",
     "PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0}",
     "PALETTEENTRY{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed, 0}",
     "palettes take red and blue swapped from the colour table"),
    ("dib-fixed-palette", "zumeld/dib/DibFormat.cpp",
     "blue = static_cast<BYTE>(blue + 64);", "blue = static_cast<BYTE>(blue + 32);",
     "the fixed palette steps blue by 32"),
    ("dib-pixel-offset", "zumeld/dib/DibFile.cpp",
     "SeekTo(fh, std::int64_t{start} + pixelOffset)", "SeekTo(fh, pixelOffset)",
     "the pixel offset counts from the file's start, not the bitmap's"),
    ("dib-core-widen", "zumeld/dib/DibFormat.cpp",
     "    for (unsigned i = n; i-- > 0;) {", "    for (unsigned i = 0; i < n; ++i) {",
     "a core header's colour table is widened front first, over triples not yet moved"),
    ("dib-convert-leak", "zumeld/dib/DibConvert.cpp",
     "    auto fail = [&h]() -> void* {\n        GlobalFree(h);",
     "    auto fail = [&h]() -> void* {\n        (void)h;",
     "a failed conversion leaks its block"),
    ("dib-info-colours", "zumeld/dib/DibFile.cpp",
     "        if (bi.biClrUsed == 0) bi.biClrUsed = dib::ColorTableEntries(&bi);\n    }\n", "    }\n",
     "DibInfo leaves the colour count 0"),
    ("dib-write-offset", "zumeld/dib/DibFile.cpp",
     "bf.bfOffBits = static_cast<DWORD>(sizeof bf + dib::DibPixelOffset(block.get()));",
     "bf.bfOffBits = static_cast<DWORD>(sizeof bf + sizeof(BITMAPINFOHEADER));",
     "WriteDIB's pixel offset leaves out the colour table"),
    ("dib-draw-size", "zumeld/dib/DibDraw.cpp",
     "BitBlt(hdc, x, y, bm.bmWidth, bm.bmHeight, memory,", "BitBlt(hdc, x, y, bm.bmHeight, bm.bmWidth, memory,",
     "DrawBitmap blits the bitmap's width and height swapped"),
    # ---- formats layer (tools/formats) ---------------------------------------------------------
    ("fmt-clamp", "tools/formats/raster.cpp",
     "        e = 32767;\n", "        e = static_cast<short>(32768);\n",
     "imported values above the 16-bit range wrap to -32768 instead of stopping at 32767"),
    ("fmt-sea-level", "tools/formats/raster.cpp",
     "if (o.hasSeaLevel && e <= o.seaLevel) e = 0;", "if (o.hasSeaLevel && e < o.seaLevel) e = 0;",
     "cells at the sea level stay land"),
    ("fmt-fit-round", "tools/formats/raster.cpp",
     "return std::max<std::int64_t>(1, (2 * num + den) / (2 * den));",
     "return std::max<std::int64_t>(1, num / den);",
     "the shorter side of --fit is truncated instead of rounded"),
    ("fmt-fit-nodata", "tools/formats/raster.cpp",
     "if (std::isnan(v) || IsNoData(v)) continue;", "if (std::isnan(v)) continue;",
     "no-data cells count in the --fit average"),
    ("fmt-point-shift", "tools/formats/geotiff.cpp",
     "        t[0] -= 0.5 * t[1] + 0.5 * t[2];\n        t[3] -= 0.5 * t[4] + 0.5 * t[5];\n", "",
     "pixel-is-point tie points are taken as cell corners"),
    ("fmt-hgt-order", "tools/formats/geotiff.cpp",
     "row[x] = static_cast<std::int16_t>(bytes[2 * x] << 8 | bytes[2 * x + 1]);",
     "row[x] = static_cast<std::int16_t>(bytes[2 * x] | bytes[2 * x + 1] << 8);",
     ".hgt samples are read little-endian"),
    ("fmt-png-channels", "tools/formats/picture.cpp",
     "        out[0] = src[2];\n        out[1] = src[1];\n        out[2] = src[0];\n",
     "        out[0] = src[0];\n        out[1] = src[1];\n        out[2] = src[2];\n",
     "PNG pictures are written B, G, R"),
    ("fmt-png-paeth", "tools/formats/picture.cpp",
     "return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;",
     "return pa <= pb && pa <= pc ? a : pb < pc ? b : c;",
     "the Paeth predictor breaks a tie of the pixel above and the one above left toward the latter"),
    ("fmt-pgm-order", "tools/formats/heightmap_read.cpp",
     "sample == 2 ? (p[0] << 8) | p[1] : p[0];", "sample == 2 ? p[0] | (p[1] << 8) : p[0];",
     "16-bit PGM samples are read little-endian"),
    ("fmt-elv-check", "tools/formats/elv.cpp",
     "    if (decoded < cells)\n        throw", "    if (false)\n        throw",
     "a code stream describing too few cells passes the check"),
    ("fmt-export-range", "tools/formats/heightmap.cpp",
     "v <= static_cast<double>(hi)))", "v < static_cast<double>(hi)))",
     "an elevation mapping to the format's largest sample is refused"),
    # ---- threads -------------------------------------------------------------------------------
    ("threads-part-range", "zumeld/util/ThreadPool_p.h",
     "return {count * i / n, count * (i + 1) / n};", "return {count * i / n, count * i / n + count / n};",
     "parts are rounded down: the items past n times the share are left out"),
    ("threads-error-lost", "zumeld/util/ThreadPool.cpp",
     "    if (call.error) std::rethrow_exception(call.error);\n", "",
     "an exception thrown in a part is lost"),
    # ---- tiles and the server (tools/tiles, tools/serve) ---------------------------------------
    ("tile-count-ceil", "tools/tiles/tile.cpp",
     "x >= (mapWidth + cells - 1) / cells ||", "x >= mapWidth / cells ||",
     "the last column of tiles, partly off the map, is refused"),
    ("tile-base-zoom", "tools/tiles/tile.cpp",
     "while ((std::int64_t{kTileSize} << z) < side) ++z;",
     "while ((std::int64_t{kTileSize} << z) <= side) ++z;",
     "a map exactly one tile wide gets a zoom level too many"),
    ("serve-redo-clear", "tools/serve/document.cpp",
     "    redo_.clear();\n", "",
     "an edit after an undo keeps the undone states for redo"),
]


def log(msg):
    print(msg, flush=True)


def tracked_files():
    out = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                         capture_output=True, cwd=ROOT, check=True).stdout
    return sorted({p for p in out.decode().split("\0") if p and os.path.isfile(os.path.join(ROOT, p))})


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return False
    except FileNotFoundError:
        os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:  # a fresh time stamp: the build sees the change
        f.write(data)
    return True


def sync_copy():
    files = tracked_files()
    changed = 0
    for rel in files:
        with open(os.path.join(ROOT, rel), "rb") as f:
            changed += write_if_changed(os.path.join(SCRATCH, rel), f.read())
        src_mode = os.stat(os.path.join(ROOT, rel)).st_mode & 0o777
        os.chmod(os.path.join(SCRATCH, rel), src_mode)
    keep = set(files)
    for top, dirs, names in os.walk(SCRATCH):
        if os.path.abspath(top) == SCRATCH and "build" in dirs:
            dirs.remove("build")
        for name in names:
            rel = os.path.relpath(os.path.join(top, name), SCRATCH)
            if rel not in keep:
                os.remove(os.path.join(top, name))
    log(f"copy: {len(files)} files, {changed} rewritten")


def check_mutants():
    ids = set()
    ok = True
    for mid, rel, old, new, _ in MUTANTS:
        if mid in ids:
            log(f"{mid}: duplicate id")
            ok = False
        ids.add(mid)
        with open(os.path.join(ROOT, rel), encoding="utf-8") as f:
            n = f.read().count(old)
        if n != 1 or old == new:
            log(f"{mid}: the old text occurs {n} times in {rel}")
            ok = False
    return ok


def run(cmd, cwd, timeout=None, env=None):
    t0 = time.monotonic()
    try:
        p = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, timeout=timeout, env=env,
                           errors="replace")
        return p.returncode, p.stdout + p.stderr, time.monotonic() - t0
    except subprocess.TimeoutExpired as e:
        out = (e.stdout or b"").decode(errors="replace") if isinstance(e.stdout, bytes) else (e.stdout or "")
        return None, out, time.monotonic() - t0


def configure():
    if os.path.exists(os.path.join(BUILD, "CMakeCache.txt")):
        return
    cmd = ["cmake", "-S", SCRATCH, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
           "-DZUMELD_BUILD_BENCH=OFF", "-DZUMELD_INSTALL=OFF"]
    if subprocess.run(["sh", "-c", "command -v ninja"], capture_output=True).returncode == 0:
        cmd += ["-G", "Ninja"]
    if subprocess.run(["sh", "-c", "command -v ccache"], capture_output=True).returncode == 0:
        cmd += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    rc, out, _ = run(cmd, ROOT)
    if rc != 0:
        sys.exit("configure failed:\n" + out[-3000:])


def defined_targets():
    text = ""
    for top in ("tests", "tools"):
        for d, _, names in os.walk(os.path.join(SCRATCH, top)):
            if "CMakeLists.txt" in names:
                with open(os.path.join(d, "CMakeLists.txt"), encoding="utf-8") as f:
                    text += f.read()
    return [t for t in TARGETS if re.search(r"\b" + re.escape(t) + r"\b", text)]


def build():
    rc, out, secs = run(["cmake", "--build", BUILD, "-j", str(os.cpu_count() or 2), "--target"] +
                        defined_targets(), ROOT)
    return rc == 0, out, secs


def test_env():
    env = dict(os.environ)
    env.pop("ZUMELD_TEST_FORCE_SCALAR", None)
    return env


GTEST_FAILED = re.compile(r"^\[  FAILED  \] (\S+) \(\d+ ms\)$", re.M)
GTEST_RUN = re.compile(r"^\[ RUN      \] (\S+)$", re.M)
GTEST_END = re.compile(r"^\[ {7}(?:OK|FAILED|SKIPPED) \] (\S+) \(\d+ ms\)$", re.M)


FAIL_FAST = ["--gtest_fail_fast"]  # emptied by --all-stages


def gtest_stage(binary, args):
    path = os.path.join(BUILD, "tests", binary)
    if not os.path.exists(path):
        return [], 0.0
    rc, out, secs = run([path] + args + FAIL_FAST, os.path.join(BUILD, "tests"), STAGE_TIMEOUT,
                        test_env())
    failed = GTEST_FAILED.findall(out)
    if rc is None or (rc != 0 and not failed):
        # A hang or a crash: the test that started and never ended.
        ended = set(GTEST_END.findall(out))
        running = [t for t in GTEST_RUN.findall(out) if t not in ended]
        what = "timeout" if rc is None else "crash"
        failed.append(f"{running[-1] if running else binary} ({what})")
    return failed, secs


def gdi_stage():
    rc, out, secs = run(["ctest", "-R", "^GdiAgreesWithWindows\\.", "--timeout", "120"], BUILD,
                        STAGE_TIMEOUT, test_env())
    failed = re.findall(r"^\s*\d+ - (GdiAgreesWithWindows\.\S+)", out, re.M)
    if rc != 0 and not failed:
        failed = ["GdiAgreesWithWindows (ctest failed)"]
    return failed, secs


STAGES = [
    ("unit", lambda: gtest_stage("zumeld-tests", [])),
    ("posix", lambda: gtest_stage("zumeld-posix-tests", [])),
    ("scalar", lambda: gtest_stage("zumeld-tests", ["--zumeld-force-scalar"])),
    ("cli", lambda: gtest_stage("zumeld-cli-tests", [])),
    ("serve", lambda: gtest_stage("zumeld-serve-tests", [])),
    ("tiles", lambda: gtest_stage("zumeld-tiles-tests", [])),
    ("gdi", gdi_stage),
]


def run_stages(all_stages):
    """[(stage, failing tests)], seconds."""
    found, total = [], 0.0
    for name, stage in STAGES:
        failed, secs = stage()
        total += secs
        if failed:
            found.append((name, failed))
            if not all_stages:
                break
    return found, total


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--label", default="run", help="results go to build/mutants/LABEL.tsv")
    ap.add_argument("--only", default="", help="comma-separated mutant ids")
    ap.add_argument("--all-stages", action="store_true", help="run every stage, record every failure")
    ap.add_argument("--list", action="store_true", help="print the mutants and stop")
    ap.add_argument("--check", action="store_true", help="check that every old text occurs once")
    a = ap.parse_args()
    if a.all_stages:
        FAIL_FAST.clear()

    if a.list:
        for mid, rel, _, _, what in MUTANTS:
            print(f"{mid}\t{rel}\t{what}")
        return 0
    if not check_mutants():
        return 1
    if a.check:
        log(f"{len(MUTANTS)} mutants, each old text found once")
        return 0
    chosen = [m for m in MUTANTS if not a.only or m[0] in a.only.split(",")]

    os.makedirs(WORK, exist_ok=True)
    sync_copy()
    configure()
    ok, out, secs = build()
    if not ok:
        sys.exit("the unmutated copy does not build:\n" + out[-3000:])
    log(f"build of the unmutated copy: {secs:.0f} s")
    found, secs = run_stages(True)
    if found:
        sys.exit(f"the unmutated suite fails: {found}")
    log(f"unmutated suite (all stages): {secs:.1f} s")

    results_path = os.path.join(WORK, f"{a.label}.tsv")
    caught = 0
    started = time.monotonic()
    with open(results_path, "w") as results:
        results.write("id\tfile\tstage\tfirst failing test\tall failing tests\tbuild s\ttest s\n")
        for mid, rel, old, new, what in chosen:
            path = os.path.join(SCRATCH, rel)
            with open(path, "rb") as f:
                original = f.read()
            text = original.decode()
            assert text.count(old) == 1, mid
            try:
                write_if_changed(path, text.replace(old, new).encode())
                ok, out, bsecs = build()
                if not ok:
                    stage, first, every, tsecs = "build-failed", out.strip().splitlines()[-1:], [], 0.0
                    first = first[0] if first else ""
                else:
                    found, tsecs = run_stages(a.all_stages)
                    stage = found[0][0] if found else "survived"
                    first = found[0][1][0] if found else ""
                    every = [f"{s}:{t}" for s, ts in found for t in ts]
            finally:
                write_if_changed(path, original)
            caught += stage not in ("survived", "build-failed")
            results.write(f"{mid}\t{rel}\t{stage}\t{first}\t{'; '.join(every)}\t{bsecs:.0f}\t{tsecs:.0f}\n")
            results.flush()
            log(f"{mid:24} {stage:12} {first}  (build {bsecs:.0f} s, tests {tsecs:.0f} s)")
    build()  # back to the unmutated binaries
    log(f"{caught} of {len(chosen)} mutants caught in {time.monotonic() - started:.0f} s; "
        f"results in {os.path.relpath(results_path, ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
