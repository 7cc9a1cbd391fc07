// Whole library paths a host waits for, on the 8192 x 8192 benchmark terrain: an .elv map
// stored and loaded through CArchive over a CMemFile and over a CFile (map construction
// included), LoadElevationFile, the pan loop (StretchElevationData + DrawAllMapOnBitmapBuffer
// at 1920 x 1080, bilinear 1.5x, the area moving every frame) and the render kernel alone.
// Each runs at one thread and at the hardware's thread count ("threads:N"), timed by the
// wall clock (the pool's threads are not in the caller's CPU time). The rest of the
// benchmark binary runs on one thread (bench_threads.cpp).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_terrain.h"
#include "zumeld/zumeld.h"

namespace {

constexpr int kSide = 8192;
constexpr std::int64_t kCells = std::int64_t{kSide} * kSide;

const Zumeld::CCtrlElvMap& TerrainMap() {
    static const Zumeld::CCtrlElvMap* map = [] {
        auto* m = new Zumeld::CCtrlElvMap;
        const std::vector<short> cells = bench::Terrain(kSide, kSide);
        m->SetElevationData(kSide, kSide, const_cast<short*>(cells.data()));
        return m;
    }();
    return *map;
}

// The terrain's .elv file, in memory and on disk.
const std::vector<BYTE>& ElvBytes() {
    static const std::vector<BYTE> bytes = [] {
        Zumeld::CCtrlElvMap map(TerrainMap());
        CMemFile file;
        CArchive ar(&file, CArchive::store);
        map.Serialize(ar);
        ar.Close();
        return file.Data();
    }();
    return bytes;
}

std::string ElvPath() {
    static const std::string path = [] {
        const std::string p = "/tmp/zumeld-path-bench-" + std::to_string(::getpid()) + ".elv";
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (f != nullptr) {
            std::fwrite(ElvBytes().data(), 1, ElvBytes().size(), f);
            std::fclose(f);
        }
        std::atexit([] { std::remove(ElvPath().c_str()); });
        return p;
    }();
    return path;
}

// Sets the thread count from the benchmark's argument and counts cells as bytes of 16 bits.
void Start(benchmark::State& state) {
    Zumeld::SetThreadCount(static_cast<int>(state.range(0)));
}
void Finish(benchmark::State& state, std::int64_t items, std::int64_t bytes) {
    state.SetItemsProcessed(state.iterations() * items);
    state.SetBytesProcessed(state.iterations() * bytes);
    Zumeld::SetThreadCount(1);
}

void BM_SerializeLoadMemFile(benchmark::State& state) {
    Start(state);
    const std::vector<BYTE>& bytes = ElvBytes();
    for (auto _ : state) {
        Zumeld::CCtrlElvMap map;
        CMemFile file(bytes.data(), bytes.size());
        CArchive ar(&file, CArchive::load);
        map.Serialize(ar);
        benchmark::DoNotOptimize(map.m_pElevation.get());
    }
    Finish(state, kCells, kCells * 2);
}

void BM_SerializeStoreMemFile(benchmark::State& state) {
    Start(state);
    Zumeld::CCtrlElvMap map(TerrainMap());
    for (auto _ : state) {
        CMemFile file;
        CArchive ar(&file, CArchive::store);
        map.Serialize(ar);
        ar.Close();
        benchmark::DoNotOptimize(file.GetLength());
    }
    Finish(state, kCells, kCells * 2);
}

void BM_SerializeStoreFile(benchmark::State& state) {
    Start(state);
    Zumeld::CCtrlElvMap map(TerrainMap());
    const std::string path = ElvPath() + ".out";
    for (auto _ : state) {
        CFile file;
        file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        map.Serialize(ar);
        ar.Close();
        file.Close();
    }
    std::remove(path.c_str());
    Finish(state, kCells, kCells * 2);
}

void BM_SerializeLoadFile(benchmark::State& state) {
    Start(state);
    const std::string path = ElvPath();
    for (auto _ : state) {
        Zumeld::CCtrlElvMap map;
        CFile file;
        file.Open(path.c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        map.Serialize(ar);
        benchmark::DoNotOptimize(map.m_pElevation.get());
    }
    Finish(state, kCells, kCells * 2);
}

void BM_LoadElevationFile(benchmark::State& state) {
    Start(state);
    CString path(ElvPath());
    for (auto _ : state) {
        Zumeld::CCtrlElvMap map;
        map.LoadElevationFile(path);
        benchmark::DoNotOptimize(map.m_pElevation.get());
    }
    Finish(state, kCells, kCells * 2);
}

long MinorFaults() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

// The redraw of a host panning: 1280 x 720 cells shown on 1920 x 1080 pixels, the area one
// cell further right and down every frame. Reports frames per second and the page faults
// of all frames after the first.
void BM_PanFrame(benchmark::State& state) {
    Start(state);
    Zumeld::CCtrlElvMap map(TerrainMap());
    int step = 0;
    auto frame = [&] {
        const int at = 100 + (step++ % 4000);
        map.StretchElevationData(at, at, 1280, 720, 1920, 1080);
        map.DrawAllMapOnBitmapBuffer(true, true, 0, false);
    };
    frame();
    const long faults = MinorFaults();
    for (auto _ : state) {
        frame();
        benchmark::ClobberMemory();
    }
    state.counters["faults_after_first_frame"] = static_cast<double>(MinorFaults() - faults);
    Finish(state, 1, 0);
}

// The render kernel alone through the map object, 4096 x 4096 pixels.
void BM_RenderThreads(benchmark::State& state) {
    Start(state);
    Zumeld::CCtrlElvMap map(TerrainMap());
    map.StretchElevationData(0, 0, 4096, 4096, 4096, 4096);
    for (auto _ : state) {
        map.DrawAllMapOnBitmapBuffer(true, true, 0, false);
        benchmark::ClobberMemory();
    }
    Finish(state, 4096 * 4096, 0);
}

void Threads(benchmark::internal::Benchmark* b) {
    const int all = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    b->ArgName("threads")->Arg(1);
    if (all > 1) b->Arg(all);
    b->UseRealTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_SerializeLoadMemFile)->Apply(Threads);
BENCHMARK(BM_SerializeStoreMemFile)->Apply(Threads);
BENCHMARK(BM_SerializeLoadFile)->Apply(Threads);
BENCHMARK(BM_SerializeStoreFile)->Apply(Threads);
BENCHMARK(BM_LoadElevationFile)->Apply(Threads);
BENCHMARK(BM_PanFrame)->Apply(Threads);
BENCHMARK(BM_RenderThreads)->Apply(Threads);

}  // namespace
