// zumeld serve: shows a map in the browser and edits it there (tools/serve/). Prints the
// URL, serves until Ctrl-C or SIGTERM, and then lets the requests in flight finish.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cli.h"
#include "sample_map.h"
#include "server.h"

namespace zumeld_cli {

namespace {

const char kHelp[] =
    "usage: zumeld serve [MAP] [options]\n"
    "\n"
    "Serves MAP (any map file render reads; without it the built-in sample map) over HTTP:\n"
    "a page to pan, zoom, restyle and edit it with undo, and its tiles at\n"
    "/tiles/Z/X/Y.png. Prints the URL and serves until interrupted. Tiles are drawn on as\n"
    "many threads as 'zumeld --threads N serve' gives (default: one per core).\n"
    "\n"
    "options:\n"
    "  --port N             the port (default 0: any free port)\n"
    "  --bind ADDR          the address to listen on (default 127.0.0.1; anyone who can\n"
    "                       reach another address can edit the map unless --read-only)\n"
    "  --read-only          refuse edits, uploads and saves\n"
    "  --cache-mb N         memory for drawn tiles, in MiB (default 256)\n"
    "  --max-upload-mb N    the largest map file the page may upload, in MiB (default 64)\n"
    "  --scale S, --offset O, --sea-level V, --raw-size WxH\n"
    "                       how a heightmap MAP becomes elevations, as in 'zumeld import'\n"
    "  -h, --help           show this text\n";

const std::vector<OptionRule> kRules = {
    {"port", 0, true},     {"bind", 0, true},          {"read-only", 0, false},
    {"cache-mb", 0, true}, {"max-upload-mb", 0, true}, {"scale", 0, true},
    {"offset", 0, true},   {"sea-level", 0, true},     {"raw-size", 0, true}};

long long Bounded(const ParsedArg& arg, long long lo, long long hi) {
    const long long v = ParseInteger(arg.option, arg.value);
    if (v < lo || v > hi)
        throw UsageError(arg.option, "'" + arg.value + "' is outside " + std::to_string(lo) + ".." +
                                         std::to_string(hi));
    return v;
}

bool IsLoopback(const std::string& address) {
    return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}

std::string Url(const std::string& address, int port) {
    std::string host = address == "0.0.0.0" || address == "::" ? "127.0.0.1" : address;
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(port) + "/";
}

}  // namespace

int CmdServe(const std::vector<std::string>& args) {
    const ParsedArgs parsed = ParseArgs("serve", kRules, args);
    if (parsed.help) return ShowHelp(kHelp);
    zumeld_serve::ServeOptions o;
    ImportOptions import;
    for (const ParsedArg& a : parsed.items) {
        if (a.option.empty()) {
            if (!o.mapPath.empty()) throw UsageError(a.value, "only one map can be served");
            o.mapPath = a.value;
        } else if (a.option == "--port") {
            o.port = static_cast<int>(Bounded(a, 0, 65535));
        } else if (a.option == "--bind") {
            o.bind = a.value;
        } else if (a.option == "--read-only") {
            o.readOnly = true;
        } else if (a.option == "--cache-mb") {
            o.cacheBytes = static_cast<std::size_t>(Bounded(a, 0, 1 << 20)) << 20;
        } else if (a.option == "--max-upload-mb") {
            o.maxUploadBytes = static_cast<std::size_t>(Bounded(a, 1, 4096)) << 20;
        } else {
            TakeImportOption(a, import);
        }
    }

    // Ctrl-C and SIGTERM are taken by this thread alone (sigwait below): blocked here, before
    // any thread starts (the progress line's, the library's that make the sample map), so
    // every thread inherits the mask. One that comes while the map is read ends the server
    // as soon as it starts.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Zumeld::CCtrlElvMap map;
    {
        CommandProgress progress("serve", 1, parsed.quiet);  // erased before the URL
        if (o.mapPath.empty()) {
            progress.Step("making the sample map");
            const std::vector<short> cells =
                MakeSampleMap(kSampleWidth, kSampleHeight, 1, progress.Reporter());
            map.SetElevationData(kSampleWidth, kSampleHeight, cells.data());
        } else {
            LoadMapFile(o.mapPath, import, map, progress);
        }
    }
    if (map.m_nWidth < 1 || map.m_nHeight < 1)
        throw CliError(o.mapPath.empty() ? "serve" : o.mapPath, "the map has no cells");
    // A client that closes its connection while a tile is sent must not end the server.
    ::signal(SIGPIPE, SIG_IGN);

    // A tile is the server's unit of parallel work: one tile thread for each thread of the
    // thread count, each drawing its tile alone. Splitting one tile's drawing over the
    // library's threads as well only made the tile threads wait on each other (about 1,000
    // against 1,500 tiles/s drawn on two cores).
    o.workers = Zumeld::GetThreadCount();
    Zumeld::SetThreadCount(1);

    zumeld_serve::Server server(o, map);
    const int port = server.Bind();
    if (!IsLoopback(o.bind) && !o.readOnly)
        std::fprintf(stderr,
                     "zumeld: serve: warning: listening on %s: anyone who can reach it can edit "
                     "the map (use --read-only to prevent that)\n",
                     o.bind.c_str());
    std::printf("%s\n", Url(o.bind, port).c_str());
    std::fflush(stdout);

    std::thread serving([&server] {
        server.Run();
        ::kill(::getpid(), SIGTERM);  // the server stopped by itself: end the wait below
    });
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    serving.join();
    return kExitOk;
}

}  // namespace zumeld_cli
