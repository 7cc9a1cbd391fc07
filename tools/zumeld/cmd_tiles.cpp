// zumeld tiles: a map's whole tile pyramid, drawn in parallel, into an MBTiles file or a
// folder of PNG files with the server's page beside them (tools/tiles/pyramid.h). The tiles
// are the bytes zumeld serve answers with for the same options.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "assets.h"
#include "cli.h"
#include "mbtiles.h"
#include "pyramid.h"
#include "tile.h"
#include "tile_folder.h"

namespace zumeld_cli {

namespace {

// The help text, the relief options' lines (kReliefHelp) between its two parts.
const char kHelp[] =
    "usage: zumeld tiles MAP OUT [options]\n"
    "\n"
    "Draws every 256 x 256 tile of MAP's pyramid (any map file render reads) that shows the\n"
    "map, the bytes 'zumeld serve' answers with for the same options, and writes them to OUT:\n"
    "  OUT ending in .mbtiles    an MBTiles 1.3 file (SQLite; identical tiles stored once;\n"
    "                            rows counted bottom-up, as MBTiles counts them:\n"
    "                            tile_row = 2^z - 1 - y)\n"
    "  any other OUT             a new folder (or an empty one) OUT/{z}/{x}/{y}.png with\n"
    "                            OUT/index.html, the server's page showing the tiles\n"
    "                            read-only: publish the folder with any static web server\n"
    "Z, the base zoom, is the smallest z with 256 x 2^z >= the map's longer side: zoom Z\n"
    "shows one cell a pixel, each zoom below halves it, Z+1..Z+3 magnify. Tiles are drawn on\n"
    "as many threads as 'zumeld --threads N tiles' gives (default: one per core), with the\n"
    "same bytes for every count. OUT is built beside its place (a temporary file or folder)\n"
    "and renamed into place, so a failed or interrupted run leaves no OUT.\n"
    "\n"
    "options:\n"
    "  --zoom MIN..MAX           the zooms written, or one zoom N (default 0..Z)\n";
const char kHelpOptions[] =
    "  --scale S, --offset O, --sea-level V, --fit-range\n"
    "                            how a heightmap MAP's values become elevations, as in\n"
    "                            'zumeld import' (default: the values as they are)\n"
    "  --raw-size WxH            the grid size of a .raw MAP\n"
    "  --fit WxH                 reduce a MAP larger than W x H cells by area average, as in\n"
    "                            'zumeld import'\n"
    "  -h, --help                show this text\n";

std::vector<OptionRule> Rules() {
    std::vector<OptionRule> rules = {
        {"zoom", 0, true},     {"scale", 0, true}, {"offset", 0, true},    {"sea-level", 0, true},
        {"raw-size", 0, true}, {"fit", 0, true},   {"fit-range", 0, false}};
    rules.insert(rules.end(), kReliefRules.begin(), kReliefRules.end());
    return rules;
}

struct Options {
    std::string map, output;
    int minZoom = 0, maxZoom = -1;  // -1: the base zoom
    ReliefOptions relief;
    ImportOptions import;
};

bool EndsWithMbtiles(const std::string& path) {
    const std::string ext = ".mbtiles";
    if (path.size() < ext.size()) return false;
    for (std::size_t i = 0; i < ext.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(path[path.size() - ext.size() + i])) != ext[i])
            return false;
    return true;
}

Options Parse(const ParsedArgs& parsed) {
    Options o;
    std::vector<std::string> operands;
    for (const ParsedArg& a : parsed.items) {
        if (a.option.empty()) {
            operands.push_back(a.value);
        } else if (a.option == "--zoom") {
            const std::size_t dots = a.value.find("..");
            const auto zoom = [&](const std::string& text) {
                const long long z = ParseInteger(a.option, text);
                if (z < 0 || z > 40) throw UsageError(a.option, "'" + a.value + "' is not a zoom");
                return static_cast<int>(z);
            };
            o.minZoom = zoom(a.value.substr(0, dots));
            o.maxZoom = dots == std::string::npos ? o.minZoom : zoom(a.value.substr(dots + 2));
            if (o.minZoom > o.maxZoom)
                throw UsageError(a.option, "'" + a.value + "': MIN is above MAX");
        } else if (!TakeReliefOption(a, o.relief)) {
            TakeImportOption(a, o.import);
        }
    }
    if (operands.size() != 2)
        throw UsageError("tiles", "needs MAP and OUT (see 'zumeld tiles --help')");
    o.map = operands[0];
    o.output = operands[1];
    if (o.output == "-") throw UsageError("tiles", "OUT is a file or a folder, not '-'");
    CheckReliefOptions(o.relief);
    return o;
}

// Ctrl-C, SIGTERM and SIGHUP while the command runs (signals the process does not ignore)
// are taken by a thread of their own, blocked in every other: the command then stops, its
// temporary output is removed, and it ends as the signal would have ended it. Made before
// any other thread, so that every thread inherits the mask.
class SignalStop {
  public:
    SignalStop() {
        sigemptyset(&set_);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old {};
            if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
            sigaddset(&set_, s);
            wake_ = s;
        }
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
        if (wake_ == 0) return;
        thread_ = std::thread([this] {
            int s = 0;
            if (sigwait(&set_, &s) == 0 && !done_) caught_ = s;
        });
    }
    ~SignalStop() {
        if (thread_.joinable()) {
            done_ = true;
            if (caught_ == 0) pthread_kill(thread_.native_handle(), wake_);
            thread_.join();
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;
    // The signal that came, or 0.
    int Caught() const { return caught_; }

  private:
    sigset_t set_{}, old_{};
    int wake_ = 0;  // a signal of the set, sent to the thread to end it
    std::atomic<bool> done_{false};
    std::atomic<int> caught_{0};
    std::thread thread_;
};

// The map as the page and the metadata describe it: its size and elevations, as JSON
// members.
std::string FactsJson(const zumeld_tiles::MapFacts& f) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "\"width\":%d,\"height\":%d,\"minElevation\":%d,\"maxElevation\":%d,"
                  "\"seaShare\":%.6g",
                  f.width, f.height, f.minElevation, f.maxElevation, f.seaShare);
    return text;
}

// The server's page pointed at the folder, read-only: the map's description and the tile
// URLs in a JSON block the page reads instead of asking a server.
std::string SitePage(const zumeld_tiles::MapFacts& f, const Options& o, int maxZoom) {
    const zumeld_serve::EmbeddedAsset* page = zumeld_serve::FindAsset("/index.html");
    std::string html(reinterpret_cast<const char*>(page->data), page->size);
    const std::size_t head = html.find("</head>");
    if (head == std::string::npos) throw CliError("tiles", "the page has no head");
    const zumeld_tiles::ReliefStyle& s = o.relief.style;
    char rest[512];
    std::snprintf(rest, sizeof rest,
                  ",\"zoom\":%d,\"minZoom\":%d,\"maxZoom\":%d,\"version\":0,\"canUndo\":false,"
                  "\"canRedo\":false,\"readOnly\":true,\"canSave\":false},"
                  "\"style\":{\"relief\":%d,\"season\":%d,\"shade\":%d,\"texture\":%d,\"dim\":%d}}",
                  f.baseZoom, o.minZoom, maxZoom, s.relief, s.season, s.shade, s.texture, s.dim);
    html.insert(head,
                "<script type=\"application/json\" id=\"zumeld-site\">"
                "{\"tiles\":\"{z}/{x}/{y}.png\",\"map\":{" +
                    FactsJson(f) + rest + "</script>\n");
    return html;
}

// The map file's name without its folder and extension.
std::string NameOf(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    return dot == 0 || dot == std::string::npos ? name : name.substr(0, dot);
}

void WriteTiles(Options o, const SignalStop& signals, bool quiet) {
    // The output first, so that a bad OUT is refused before the work.
    std::unique_ptr<MbtilesWriter> database;
    std::unique_ptr<TileFolder> folder;
    if (EndsWithMbtiles(o.output)) {
        CheckOutput(o.output, {o.map});
        database = std::make_unique<MbtilesWriter>(o.output);
    } else {
        folder = std::make_unique<TileFolder>(o.output);
    }

    CommandProgress progress("tiles", 3, quiet);
    Zumeld::CCtrlElvMap map;
    LoadMapFile(o.map, o.import, map, progress);
    if (map.m_nWidth < 1 || map.m_nHeight < 1) throw CliError(o.map, "the map has no cells");
    const int top =
        zumeld_tiles::BaseZoom(map.m_nWidth, map.m_nHeight) + zumeld_tiles::kMagnifyLevels;
    if (o.maxZoom > top)
        throw UsageError("--zoom", std::to_string(o.maxZoom) + " is above this map's zooms 0.." +
                                       std::to_string(top));
    ApplyReliefOptions(o.relief, map, progress);
    const zumeld_tiles::MapFacts facts = zumeld_tiles::FactsOf(map);
    if (o.maxZoom < 0) o.maxZoom = facts.baseZoom;
    if (signals.Caught()) return;

    // A tile is the unit of parallel work: one worker a thread, each tile drawn and encoded
    // on its thread alone (as the server draws them).
    const int workers = Zumeld::GetThreadCount();
    Zumeld::SetThreadCount(1);
    const auto levels =
        zumeld_tiles::PyramidLevels(map.m_nWidth, map.m_nHeight, o.minZoom, o.maxZoom);
    const std::uint64_t total = zumeld_tiles::PyramidTileCount(levels);
    progress.Step("drawing", "tiles");
    std::uint64_t done = 0;
    const auto write = [&](int z, std::int64_t x, std::int64_t y,
                           const std::vector<std::uint8_t>& png) {
        if (database)
            database->AddTile(z, x, y, png);
        else
            folder->AddTile(z, x, y, png);
        progress.Update(++done, total);
    };
    if (!zumeld_tiles::MakePyramid(map, o.relief.style, levels, workers, write,
                                   [&] { return signals.Caught() != 0; }))
        return;

    progress.Step("writing " + o.output);
    if (folder) {
        for (const zumeld_serve::EmbeddedAsset* a = zumeld_serve::kEmbeddedAssets; a->url; ++a) {
            if (std::string(a->url) == "/index.html") continue;
            folder->AddFile(a->url + 1, a->data, a->size);
        }
        const std::string page = SitePage(facts, o, o.maxZoom);
        folder->AddFile("index.html", page.data(), page.size());
        folder->Commit();
        return;
    }
    const std::string w = std::to_string(facts.width), h = std::to_string(facts.height);
    database->SetMetadata("name", NameOf(o.map));
    database->SetMetadata("format", "png");
    database->SetMetadata("type", "baselayer");
    database->SetMetadata("minzoom", std::to_string(o.minZoom));
    database->SetMetadata("maxzoom", std::to_string(o.maxZoom));
    // Left, bottom, right, top in map cells, y counted down from the map's top edge.
    database->SetMetadata("bounds", "0," + h + "," + w + ",0");
    database->SetMetadata("description", "Shaded relief of a " + w + " x " + h +
                                             " cell elevation map; the pyramid's units are "
                                             "its cells, y down, 256 x 2^(Z - z) cells a tile");
    std::string json("{");
    json += FactsJson(facts);
    json += ",\"baseZoom\":" + std::to_string(facts.baseZoom) + ",\"tileSize\":256}";
    database->SetMetadata("json", json);
    database->Commit();
}

}  // namespace

int CmdTiles(const std::vector<std::string>& args) {
    const ParsedArgs parsed = ParseArgs("tiles", Rules(), args);
    if (parsed.help) return ShowHelp((std::string(kHelp) + kReliefHelp + kHelpOptions).c_str());
    const Options o = Parse(parsed);
    int caught = 0;
    {
        SignalStop signals;
        try {
            WriteTiles(o, signals, parsed.quiet);
        } catch (...) {
            if (!signals.Caught()) throw;
        }
        caught = signals.Caught();
    }
    if (caught != 0) {  // everything written is removed: end as the signal would have
        ::signal(caught, SIG_DFL);
        ::raise(caught);
    }
    return kExitOk;
}

}  // namespace zumeld_cli
