// The elevation file on a 4096 x 4096 terrain: the delta-and-run code stream (encode and
// decode, cells per second and MB/s of 16-bit cells, size against the raw cells and against
// gzip -6 of them), and the compressed record at quality 90 (time, size, largest error).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_terrain.h"
#include "zumeld/elevation/ElvCodec.h"
#include "zumeld/zumeld.h"

using namespace Zumeld;

namespace {

constexpr int kSide = 4096;
constexpr std::int64_t kCells = static_cast<std::int64_t>(kSide) * kSide;

const std::vector<short>& Terrain() {
    static const std::vector<short> cells = bench::Terrain(kSide, kSide);
    return cells;
}

std::vector<std::uint8_t> EncodeTerrain() {
    const std::vector<short>& cells = Terrain();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(ElvEncodeBound(kCells)));
    out.resize(EncodeElvStream(cells.data(), kSide, kSide, kSide, out.data(), out.size()));
    return out;
}

void CountCells(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kCells);
    state.SetBytesProcessed(state.iterations() * kCells * 2);
}

void BM_ElvEncodeDeltaRun(benchmark::State& state) {
    const std::vector<short>& cells = Terrain();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(ElvEncodeBound(kCells)));
    std::size_t n = 0;
    for (auto _ : state) {
        n = EncodeElvStream(cells.data(), kSide, kSide, kSide, out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    CountCells(state);
    state.counters["stream_bytes"] = static_cast<double>(n);
    state.counters["stream_per_raw_pct"] = 100.0 * static_cast<double>(n) / (2.0 * kCells);
}

void BM_ElvDecodeDeltaRun(benchmark::State& state) {
    const std::vector<std::uint8_t> stream = EncodeTerrain();
    const int stride = kSide + 1;  // the map's grid has a margin column
    std::vector<short> grid(static_cast<std::size_t>(stride) * (kSide + 1));
    for (auto _ : state) {
        DecodeElvStream(stream.data(), stream.size(), ElvStream::kDeltaRun, grid.data(), stride,
                        kSide, kSide);
        benchmark::DoNotOptimize(grid.data());
    }
    CountCells(state);
    bool same = true;
    for (int y = 0; y < kSide && same; ++y)
        same = std::equal(Terrain().begin() + static_cast<std::ptrdiff_t>(y) * kSide,
                          Terrain().begin() + static_cast<std::ptrdiff_t>(y + 1) * kSide,
                          grid.begin() + static_cast<std::ptrdiff_t>(y) * stride);
    if (!same) state.SkipWithError("decoded cells differ from the terrain");
}

// gzip -6 of the same raw cells (little-endian, row after row), for comparison.
void BM_ElvRawCellsGzip6(benchmark::State& state) {
    char name[] = "/tmp/zumeld-elv-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
        state.SkipWithError("cannot make a temporary file");
        return;
    }
    const std::vector<short>& cells = Terrain();
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(kCells) * 2);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        raw[2 * i] = static_cast<std::uint8_t>(cells[i]);
        raw[2 * i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(cells[i]) >> 8);
    }
    const bool written = write(fd, raw.data(), raw.size()) == static_cast<ssize_t>(raw.size());
    close(fd);
    double gz = -1;
    for (auto _ : state) {
        const std::string cmd = std::string("gzip -6 -c ") + name + " | wc -c";
        if (std::FILE* p = written ? popen(cmd.c_str(), "r") : nullptr) {
            unsigned long long n = 0;
            if (std::fscanf(p, "%llu", &n) == 1) gz = static_cast<double>(n);
            pclose(p);
        }
    }
    unlink(name);
    if (gz < 0) {
        state.SkipWithError("gzip not available");
        return;
    }
    const double stream = static_cast<double>(EncodeTerrain().size());
    state.counters["gzip6_bytes"] = gz;
    state.counters["gzip6_per_raw_pct"] = 100.0 * gz / (2.0 * kCells);
    state.counters["stream_per_gzip6_pct"] = 100.0 * stream / gz;
}

// ---- The compressed record at quality 90 ---------------------------------------------------

std::vector<std::uint8_t> SaveRecord(CCtrlElvMap& map, int quality) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    map.Save3djFile(ar, quality);
    ar.Close();
    return file.Data();
}

CCtrlElvMap& TerrainMap() {
    static CCtrlElvMap* map = [] {
        auto* m = new CCtrlElvMap;
        m->SetElevationData(kSide, kSide, Terrain().data());
        return m;
    }();
    return *map;
}

void BM_ElvSave3djFileQ90(benchmark::State& state) {
    std::size_t size = 0;
    for (auto _ : state) size = SaveRecord(TerrainMap(), 90).size();
    CountCells(state);
    state.counters["record_bytes"] = static_cast<double>(size);
    state.counters["record_per_raw_pct"] = 100.0 * static_cast<double>(size) / (2.0 * kCells);
}

void BM_ElvLoadCompressedQ90(benchmark::State& state) {
    const std::vector<std::uint8_t> record = SaveRecord(TerrainMap(), 90);
    CCtrlElvMap back;
    for (auto _ : state) {
        CMemFile file(record.data(), record.size());
        CArchive ar(&file, CArchive::load);
        back.Serialize(ar);
        ar.Close();
    }
    CountCells(state);
    int worst = 0;
    const std::vector<short>& cells = Terrain();
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            worst = std::max(worst, std::abs(back.m_pElevation[y * (kSide + 1) + x] -
                                             cells[static_cast<std::size_t>(y) * kSide + x]));
    state.counters["max_error"] = worst;
    state.counters["max_elevation"] =
        record.size() >= 8 ? static_cast<short>(record[6] | record[7] << 8) : 0;
}

}  // namespace

BENCHMARK(BM_ElvEncodeDeltaRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ElvDecodeDeltaRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ElvRawCellsGzip6)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ElvSave3djFileQ90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ElvLoadCompressedQ90)->Unit(benchmark::kMillisecond);
