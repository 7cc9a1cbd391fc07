#include "zumeld/elevation/ElvCodec.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "zumeld/util/ThreadPool_p.h"

namespace Zumeld {

namespace {

constexpr std::uint8_t kCodeValue = 0x7F;  // one cell, absolute 16-bit value follows
constexpr std::uint8_t kCodeRun32 = 0x80;  // run, 32-bit count follows
constexpr std::uint8_t kCodeRun16 = 0x81;  // run, 16-bit count follows
constexpr int kMaxDelta = 126;
// The decoder takes 32-bit counts as signed: a longer run is split so none reaches 2^31.
constexpr std::uint64_t kMaxRun32 = 0x7FFFFFFF;

bool GridShapeValid(const void* grid, std::ptrdiff_t stride, int width, int height) {
    if (width < 0 || height < 0) return false;
    if (width == 0 || height == 0) return true;
    return grid != nullptr && (height == 1 || stride >= width);
}

inline std::uint8_t* Put16(std::uint8_t* o, std::uint32_t v) {
    o[0] = static_cast<std::uint8_t>(v);
    o[1] = static_cast<std::uint8_t>(v >> 8);
    return o + 2;
}

inline std::uint8_t* Put32(std::uint8_t* o, std::uint32_t v) {
    o = Put16(o, v & 0xFFFF);
    return Put16(o, v >> 16);
}

// Up to 3 equal cells cost one 0 byte each; longer runs a 16-bit or 32-bit count.
inline std::uint8_t* FlushRun(std::uint8_t* o, std::uint64_t run) {
    if (run <= 3) {
        for (std::uint64_t i = 0; i < run; ++i) *o++ = 0;
    } else if (run <= 0xFFFF) {
        *o++ = kCodeRun16;
        o = Put16(o, static_cast<std::uint32_t>(run));
    } else {
        *o++ = kCodeRun32;
        o = Put32(o, static_cast<std::uint32_t>(run));
    }
    return o;
}

// Write position of the decoder: cells go to out, rows are `stride` apart, the margin is
// skipped. `full` once the last map cell has been written.
struct GridCursor {
    short* row;
    short* out;
    short* rowEnd;
    std::ptrdiff_t stride;
    int width;
    int rowsLeft;
    bool full = false;

    // Called when out has reached rowEnd.
    void NextRow() {
        if (--rowsLeft == 0) {
            full = true;
            return;
        }
        row += stride;
        out = row;
        rowEnd = row + width;
    }

    void Fill(short v, std::uint64_t count) {
        while (count > 0 && !full) {
            std::uint64_t room = static_cast<std::uint64_t>(rowEnd - out);
            std::uint64_t n = std::min(count, room);
            std::fill(out, out + n, v);
            out += n;
            count -= n;
            if (out == rowEnd) NextRow();
        }
    }

    std::uint64_t CellsWritten(int height) const {
        if (full) return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
        return static_cast<std::uint64_t>(height - rowsLeft) * static_cast<std::uint64_t>(width) +
               static_cast<std::uint64_t>(out - row);
    }

    // Sets every map cell from the write position on to 0.
    void ZeroRest() {
        while (!full) Fill(0, static_cast<std::uint64_t>(rowEnd - out));
    }
};

inline bool IsOneByteCode(std::uint8_t c) {
    // c read as signed 8 bits is in -126..126: every byte but 0x7F, 0x80 and 0x81.
    return static_cast<std::uint8_t>(c + kMaxDelta) <= 2 * kMaxDelta;
}

template <bool kSeaRuns>
void DecodeCodes(const std::uint8_t* p, const std::uint8_t* end, GridCursor& cur) {
    std::uint16_t prev = 0;  // 16-bit wrap-around arithmetic
    while (!cur.full) {
        // Hot path: one-byte codes. n bounds both the bytes read and the cells written.
        std::ptrdiff_t n = std::min(end - p, cur.rowEnd - cur.out);
        const std::uint8_t* stop = p + n;
        short* out = cur.out;
        while (p != stop && IsOneByteCode(*p)) {
            prev = static_cast<std::uint16_t>(prev + static_cast<std::int8_t>(*p++));
            if (kSeaRuns && prev == 0) prev = 1;
            *out++ = static_cast<short>(prev);
        }
        cur.out = out;
        if (cur.out == cur.rowEnd) {
            cur.NextRow();
            continue;
        }
        if (p == end) return;

        // A multi-byte code; one cut short ends the stream.
        const std::uint8_t code = *p;
        const std::ptrdiff_t left = end - p;
        if (code == kCodeValue) {
            if (left < 3) return;
            prev = static_cast<std::uint16_t>(p[1] | (p[2] << 8));
            if (kSeaRuns && prev == 0) prev = 1;
            p += 3;
            *cur.out++ = static_cast<short>(prev);
            if (cur.out == cur.rowEnd) cur.NextRow();
            continue;
        }
        std::int64_t count;
        if (code == kCodeRun16) {
            if (left < 3) return;
            count = p[1] | (p[2] << 8);
            p += 3;
        } else {
            if (left < 5) return;
            std::uint32_t u =
                static_cast<std::uint32_t>(p[1]) | (static_cast<std::uint32_t>(p[2]) << 8) |
                (static_cast<std::uint32_t>(p[3]) << 16) | (static_cast<std::uint32_t>(p[4]) << 24);
            count = static_cast<std::int32_t>(u);  // 2^31 or more: negative, writes nothing
            p += 5;
        }
        if (kSeaRuns) prev = 0;
        if (count > 0) cur.Fill(static_cast<short>(prev), static_cast<std::uint64_t>(count));
    }
}

}  // namespace

// ---- Encoder ---------------------------------------------------------------------------------
//
// The encoder's state between cells is prev (the last cell) and the run of cells equal to
// prev not yet written. A band of rows coded on its own, entering with prev = the cell before
// it, differs from the one-pass stream only at its two ends: the cells at its start equal to
// prev continue the run carried in, and the run pending at its end carries on into the next
// band. So each band leaves out its leading run and its trailing run, and the stitching pass
// writes the joined runs between the bands' codes exactly where the one pass would.

namespace {

// Codes of one band of rows, written from `out` on; the leading and trailing runs are not.
struct Band {
    std::uint64_t lead = 0;  // cells at the start equal to the prev entering the band
    bool allLead = false;    // the whole band equals that prev
    std::uint8_t* body = nullptr;
    std::size_t bodyBytes = 0;
    std::uint64_t tail = 0;  // run pending at the end of the band
};

// Codes rows [r0, r1) entering with `prev` and no pending run. The body starts at
// bodyAt(lead), once the leading run is known. Returns the band.
template <class BodyAt>
Band EncodeBand(const short* cells, std::ptrdiff_t stride, int width, int r0, int r1, short prev,
                BodyAt bodyAt) {
    Band band;
    std::uint8_t* o = nullptr;  // null while the leading run lasts
    std::uint64_t run = 0;      // cells equal to prev not yet written; carried across rows
    for (int r = r0; r < r1; ++r) {
        const short* p = cells + static_cast<std::ptrdiff_t>(r) * stride;
        const short* const e = p + width;
        while (p != e) {
            const short v = *p;
            if (v == prev) {
                const short* q = p + 1;
                while (q != e && *q == prev) ++q;
                run += static_cast<std::uint64_t>(q - p);
                p = q;
                while (o != nullptr && run > kMaxRun32) {
                    o = FlushRun(o, kMaxRun32);
                    run -= kMaxRun32;
                }
                continue;
            }
            if (o == nullptr) {
                band.lead = run;
                o = band.body = bodyAt(run);
            } else if (run != 0) {
                o = FlushRun(o, run);
            }
            run = 0;
            const int d = v - prev;
            if (d >= -kMaxDelta && d <= kMaxDelta) {
                *o++ = static_cast<std::uint8_t>(d);
            } else {
                *o++ = kCodeValue;
                o = Put16(o, static_cast<std::uint16_t>(v));
            }
            prev = v;
            ++p;
        }
    }
    if (o == nullptr) {
        band.allLead = true;
        band.lead = run;
    } else {
        band.bodyBytes = static_cast<std::size_t>(o - band.body);
        band.tail = run;
    }
    return band;
}

// Writes a run of `run` cells the way the one-pass encoder does: pieces of kMaxRun32 while
// more remain, then the rest.
std::uint8_t* FlushLongRun(std::uint8_t* o, std::uint64_t run) {
    for (; run > kMaxRun32; run -= kMaxRun32) o = FlushRun(o, kMaxRun32);
    return FlushRun(o, run);
}

}  // namespace

std::size_t EncodeElvStream(const short* cells, std::ptrdiff_t stride, int width, int height,
                            std::uint8_t* out, std::size_t outSize) {
    if (!GridShapeValid(cells, stride, width, height) || width == 0 || height == 0) return 0;
    const std::uint64_t total =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (out == nullptr || outSize < ElvEncodeBound(total)) return 0;

    // Band i's codes go to 3 bytes a cell from the cell after its leading run on: no code
    // takes more than 3 bytes a cell, so the bands never overlap, and the stitched stream
    // before band i (the joined run included) never reaches past that point either.
    const int parts = PartCount(static_cast<std::int64_t>(total), std::int64_t{1} << 18);
    std::vector<Band> bands(static_cast<std::size_t>(parts));
    const auto rowsOf = [&](int i) { return PartRange(height, parts, i); };
    RunParts(parts, [&](int i) {
        const auto [r0, r1] = rowsOf(i);
        const std::uint64_t before = static_cast<std::uint64_t>(r0) * width;
        const short prev =
            r0 == 0 ? short{0} : cells[static_cast<std::ptrdiff_t>(r0 - 1) * stride + width - 1];
        bands[static_cast<std::size_t>(i)] =
            EncodeBand(cells, stride, width, static_cast<int>(r0), static_cast<int>(r1), prev,
                       [&](std::uint64_t lead) { return out + 3 * (before + lead); });
    });

    std::uint8_t* o = out;
    std::uint64_t carry = 0;  // the run that goes on across band ends
    for (const Band& b : bands) {
        carry += b.lead;
        if (b.allLead) continue;
        o = FlushLongRun(o, carry);
        std::memmove(o, b.body, b.bodyBytes);
        o += b.bodyBytes;
        carry = b.tail;
    }
    o = FlushLongRun(o, carry);
    return static_cast<std::size_t>(o - out);
}

std::uint64_t DecodeElvStream(const std::uint8_t* data, std::size_t size, ElvStream kind,
                              short* grid, std::ptrdiff_t stride, int width, int height) {
    if (!GridShapeValid(grid, stride, width, height) || width == 0 || height == 0) return 0;
    if (data == nullptr) size = 0;
    GridCursor cur{grid, grid, grid + width, stride, width, height};
    if (kind == ElvStream::kSeaRuns)
        DecodeCodes<true>(data, data + size, cur);
    else
        DecodeCodes<false>(data, data + size, cur);
    const std::uint64_t decoded = cur.CellsWritten(height);
    cur.ZeroRest();
    return decoded;
}

std::uint64_t CountElvStreamCells(const std::uint8_t* p, std::size_t size, std::uint64_t cells) {
    if (p == nullptr) return 0;
    const std::uint8_t* const end = p + size;
    std::uint64_t n = 0;
    while (n < cells && p != end) {
        // One-byte codes, as many as the map still takes.
        const std::uint8_t* stop = p + std::min<std::uint64_t>(cells - n, end - p);
        const std::uint8_t* q = p;
        while (q != stop && IsOneByteCode(*q)) ++q;
        n += static_cast<std::uint64_t>(q - p);
        p = q;
        if (n == cells || p == end) break;
        const std::ptrdiff_t left = end - p;
        if (*p == kCodeValue || *p == kCodeRun16) {
            if (left < 3) break;  // cut short: the stream ends here
            n += *p == kCodeValue ? 1 : static_cast<std::uint64_t>(p[1] | (p[2] << 8));
            p += 3;
        } else {
            if (left < 5) break;
            const std::uint32_t u =
                static_cast<std::uint32_t>(p[1]) | (static_cast<std::uint32_t>(p[2]) << 8) |
                (static_cast<std::uint32_t>(p[3]) << 16) | (static_cast<std::uint32_t>(p[4]) << 24);
            if (static_cast<std::int32_t>(u) > 0) n += u;  // 2^31 or more writes nothing
            p += 5;
        }
    }
    return std::min(n, cells);
}

short MaxElevationAboveSea(const short* cells, std::ptrdiff_t stride, int width, int height) {
    if (!GridShapeValid(cells, stride, width, height)) return 0;
    short m = 0;
    for (int r = 0; r < height; ++r) {
        const short* row = cells + static_cast<std::ptrdiff_t>(r) * stride;
        for (int c = 0; c < width; ++c) m = std::max(m, row[c]);
    }
    return m;
}

void ElevationsToGrey(const short* cells, std::ptrdiff_t stride, int width, int height,
                      short maxElevation, std::uint8_t* topRow, std::ptrdiff_t pictureStride) {
    if (!GridShapeValid(cells, stride, width, height) || (topRow == nullptr && width && height))
        return;
    for (int r = 0; r < height; ++r) {
        const short* row = cells + static_cast<std::ptrdiff_t>(r) * stride;
        std::uint8_t* px = topRow + static_cast<std::ptrdiff_t>(r) * pictureStride;
        for (int c = 0; c < width; ++c) px[c] = ElevationToGrey(row[c], maxElevation);
    }
}

void GreyToElevations(const std::uint8_t* topRow, std::ptrdiff_t pictureStride, int width,
                      int height, short maxElevation, short* cells, std::ptrdiff_t stride) {
    if (!GridShapeValid(cells, stride, width, height) || (topRow == nullptr && width && height))
        return;
    // 256 grey levels: one division each instead of one per cell.
    short table[256];
    for (int g = 0; g < 256; ++g)
        table[g] = GreyToElevation(static_cast<std::uint8_t>(g), maxElevation);
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* px = topRow + static_cast<std::ptrdiff_t>(r) * pictureStride;
        short* row = cells + static_cast<std::ptrdiff_t>(r) * stride;
        for (int c = 0; c < width; ++c) row[c] = table[px[c]];
    }
}

}  // namespace Zumeld
