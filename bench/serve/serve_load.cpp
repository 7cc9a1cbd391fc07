// A bounded load on a running zumeld serve, on the loopback interface: REQUESTS tile
// requests from CONNECTIONS keep-alive connections over random tiles and styles, while one
// more connection sinks an area and undoes it over and over. Every answer must be 200, and
// every tile must be wholly of one map state: two answers for the same URL and state must be
// the same bytes (the sunk states all have the same cells). Prints tiles per second, latency
// percentiles and, given the server's pid, its peak memory. Exit status 1 on any error.
//
//   zumeld-serve-load URL [--requests N] [--connections N] [--seed S] [--no-edits]
//                         [--tiles N] [--pid PID] [--seconds LIMIT]
//
// --tiles N draws the requests from N fixed tiles only (with a warm cache: cached tiles).
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;
    long requests = 20000;
    int connections = 32;
    std::uint64_t seed = 19;
    bool edits = true;
    long tiles = 0;  // 0: any tile
    long pid = 0;
    double seconds = 300;
};

// splitmix64: the same requests for the same seed everywhere.
struct Random {
    std::uint64_t s;
    std::uint64_t Next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    long Below(long n) { return static_cast<long>(Next() % static_cast<std::uint64_t>(n)); }
};

long JsonNumber(const std::string& json, const char* name) {
    const std::size_t at = json.find("\"" + std::string(name) + "\":");
    return at == std::string::npos ? -1 : std::atol(json.c_str() + at + std::strlen(name) + 3);
}

// A random tile on the map (zooms 0 .. Z + 3) in one of eight styles.
std::string RandomTile(Random& r, long width, long height, long baseZoom) {
    const long z = r.Below(baseZoom + 4);
    const long cells = z <= baseZoom ? 256L << (baseZoom - z) : 256L >> (z - baseZoom);
    const long x = r.Below((width + cells - 1) / cells), y = r.Below((height + cells - 1) / cells);
    return "/tiles/" + std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y) +
           ".png?relief=" + std::to_string(1 + r.Below(2)) + "&season=" + std::to_string(r.Below(2)) +
           "&shade=" + std::to_string(r.Below(2));
}

std::string Status(long pid, const char* field) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind(field, 0) == 0) return line.substr(std::strlen(field) + 1);
    return "?";
}

int Run(const Options& o) {
    httplib::Client probe(o.host, o.port);
    const auto map = probe.Get("/api/map");
    if (!map || map->status != 200) {
        std::fprintf(stderr, "serve_load: no map at %s:%d\n", o.host.c_str(), o.port);
        return 1;
    }
    const long width = JsonNumber(map->body, "width"), height = JsonNumber(map->body, "height");
    const long baseZoom = JsonNumber(map->body, "zoom"), original = JsonNumber(map->body, "version");

    std::vector<std::string> fixed;
    Random pick{o.seed ^ 0xF1ED};
    for (long k = 0; k < o.tiles; ++k) fixed.push_back(RandomTile(pick, width, height, baseZoom));

    std::atomic<long> next{0}, errors{0}, mixed{0}, edits{0};
    std::atomic<bool> stop{false};
    std::mutex seenMutex;
    std::unordered_map<std::string, std::size_t> seen;  // state + URL -> hash of the bytes
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(o.connections));
    const Clock::time_point start = Clock::now();
    const auto overdue = [&] {
        return std::chrono::duration<double>(Clock::now() - start).count() > o.seconds;
    };

    std::vector<std::thread> clients;
    for (int c = 0; c < o.connections; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client(o.host, o.port);
            client.set_keep_alive(true);
            client.set_read_timeout(30, 0);
            Random r{o.seed * 1000003u + static_cast<std::uint64_t>(c)};
            std::vector<double>& mine = latencies[static_cast<std::size_t>(c)];
            while (next.fetch_add(1) < o.requests && !overdue()) {
                const std::string url = fixed.empty() ? RandomTile(r, width, height, baseZoom)
                                                      : fixed[static_cast<std::size_t>(r.Below(o.tiles))];
                const Clock::time_point t0 = Clock::now();
                const auto res = client.Get(url.c_str());
                mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                if (!res || res->status != 200) {
                    if (errors++ < 5)
                        std::fprintf(stderr, "serve_load: %s: %s\n", url.c_str(),
                                     res ? std::to_string(res->status).c_str() : "no answer");
                    continue;
                }
                const bool unedited = std::atol(res->get_header_value("X-Map-Version").c_str()) == original;
                const std::string key = (unedited ? "0" : "1") + url;
                const std::size_t hash = std::hash<std::string>{}(res->body);
                std::lock_guard<std::mutex> lock(seenMutex);
                const auto [it, fresh] = seen.emplace(key, hash);
                if (!fresh && it->second != hash && mixed++ < 5)
                    std::fprintf(stderr, "serve_load: %s: two different tiles of one state\n", url.c_str());
            }
        });
    }
    std::thread editor([&] {
        if (!o.edits) return;
        httplib::Client client(o.host, o.port);
        client.set_keep_alive(true);
        client.set_read_timeout(30, 0);
        const std::string sink = R"({"op":"sink","depth":400,"left":)" + std::to_string(width / 4) +
                                 R"(,"top":)" + std::to_string(height / 4) + R"(,"width":)" +
                                 std::to_string(width / 2) + R"(,"height":)" + std::to_string(height / 2) + "}";
        while (!stop) {
            for (const char* path : {"/api/edit", "/api/undo"}) {
                const auto res = client.Post(path, std::string(path) == "/api/edit" ? sink : "", "application/json");
                if (!res || res->status != 200) ++errors;
            }
            ++edits;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    for (std::thread& t : clients) t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    editor.join();

    std::vector<double> all;
    for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    const auto pct = [&](double p) {
        return all.empty() ? 0.0 : all[std::min(all.size() - 1, static_cast<std::size_t>(p * all.size()))];
    };
    std::printf("requests %zu in %.2f s: %.0f tiles/s; %ld edit+undo pairs; %zu distinct tile states\n",
                all.size(), elapsed, all.size() / elapsed, edits.load(), seen.size());
    std::printf("latency ms: p50 %.2f  p90 %.2f  p99 %.2f  max %.2f\n", pct(0.50), pct(0.90), pct(0.99),
                all.empty() ? 0.0 : all.back());
    if (o.pid > 0)
        std::printf("server memory: peak %s, now %s\n", Status(o.pid, "VmHWM:").c_str(),
                    Status(o.pid, "VmRSS:").c_str());
    std::printf("errors %ld, mixed tiles %ld\n", errors.load(), mixed.load());
    return errors == 0 && mixed == 0 && static_cast<long>(all.size()) == o.requests ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (argc < 2) {
        std::fprintf(stderr, "usage: zumeld-serve-load URL [--requests N] [--connections N] [--seed S] "
                             "[--no-edits] [--tiles N] [--pid PID] [--seconds LIMIT]\n");
        return 2;
    }
    // http://HOST:PORT/ on the loopback interface only.
    const std::string url = argv[1];
    const std::size_t colon = url.rfind(':');
    const std::string host = url.substr(7, colon - 7);
    if (url.rfind("http://", 0) != 0 || colon == std::string::npos ||
        (host != "127.0.0.1" && host != "localhost" && host != "[::1]")) {
        std::fprintf(stderr, "serve_load: %s: only http://127.0.0.1:PORT/ (loopback) is loaded\n", url.c_str());
        return 2;
    }
    o.host = host == "[::1]" ? "::1" : host;
    o.port = std::atoi(url.c_str() + colon + 1);
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&] { return i + 1 < argc ? std::atof(argv[++i]) : 0.0; };
        if (a == "--requests") o.requests = static_cast<long>(value());
        else if (a == "--connections") o.connections = std::clamp(static_cast<int>(value()), 1, 256);
        else if (a == "--seed") o.seed = static_cast<std::uint64_t>(value());
        else if (a == "--no-edits") o.edits = false;
        else if (a == "--tiles") o.tiles = static_cast<long>(value());
        else if (a == "--pid") o.pid = static_cast<long>(value());
        else if (a == "--seconds") o.seconds = value();
        else {
            std::fprintf(stderr, "serve_load: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    o.requests = std::clamp(o.requests, 1L, 10000000L);
    return Run(o);
}
