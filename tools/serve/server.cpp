// The routes of zumeld serve. Each handler parses and bounds its request into plain values,
// calls the document, the tile service or the formats layer, and encodes the answer; a
// failure is thrown as an HttpError (status and one line) and written by one wrapper.
#include "server.h"

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <utility>

#include "assets.h"
#include "document.h"
#include "elv.h"
#include "error.h"
#include "heightmap.h"
#include "map_edit.h"
#include "tile.h"
#include "tile_cache.h"
#include "tile_workers.h"

namespace zumeld_serve {

namespace {

using nlohmann::json;
using zumeld_formats::Error;
using zumeld_tiles::ReliefStyle;

constexpr std::size_t kMaxJsonBytes = 64 * 1024;
// The largest map the server takes or an edit may make, in cells: 2^26, a 128 MiB grid, as
// every undo state may hold a grid of its own.
constexpr std::int64_t kMaxServedCells = std::int64_t{1} << 26;
// Connections are served by their own threads (a keep-alive connection holds one); tiles
// are drawn on the tile workers, so these threads mostly wait.
constexpr std::size_t kConnectionThreads = 64;
constexpr int kListenBacklog = 1024;

struct HttpError {
    int status;
    std::string message;
};

// ---- Parsing ---------------------------------------------------------------------------------

// A whole decimal number, optionally negative, in lo..hi.
bool ParseWhole(std::string_view text, long long lo, long long hi, long long& out) {
    long long v = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || p != end || v < lo || v > hi) return false;
    out = v;
    return true;
}

// Query parameter `name` as a whole number in lo..hi; `fallback` when absent.
long long IntParam(const httplib::Request& req, const char* name, long long lo, long long hi,
                   long long fallback) {
    if (!req.has_param(name)) return fallback;
    const std::string text = req.get_param_value(name);
    long long v = 0;
    if (!ParseWhole(text, lo, hi, v))
        throw HttpError{400, std::string(name) + ": '" + text.substr(0, 40) +
                                 "' is not a whole number in " + std::to_string(lo) + ".." +
                                 std::to_string(hi)};
    return v;
}

long long RequiredIntParam(const httplib::Request& req, const char* name, long long lo,
                           long long hi) {
    if (!req.has_param(name)) throw HttpError{400, std::string(name) + ": missing"};
    return IntParam(req, name, lo, hi, 0);
}

ReliefStyle StyleOf(const httplib::Request& req) {
    ReliefStyle s;
    s.relief = static_cast<int>(IntParam(req, "relief", 1, zumeld_tiles::kMaxReliefLevel, 1));
    s.season = static_cast<int>(IntParam(req, "season", 0, zumeld_tiles::kMaxSeason, 0));
    s.shade = IntParam(req, "shade", 0, 1, 1) == 1;
    s.texture = IntParam(req, "texture", 0, 1, 1) == 1;
    s.dim = IntParam(req, "dim", 0, 1, 0) == 1;
    return s;
}

// The style as one number, for the cache key: relief in bits 0-19, season 20-21, the
// three switches 22-24, the flat colour from bit 25.
std::uint64_t PackStyle(const ReliefStyle& s) {
    return static_cast<std::uint64_t>(s.relief) | static_cast<std::uint64_t>(s.season) << 20 |
           static_cast<std::uint64_t>(s.shade) << 22 | static_cast<std::uint64_t>(s.texture) << 23 |
           static_cast<std::uint64_t>(s.dim) << 24 | static_cast<std::uint64_t>(s.color) << 25;
}

// A JSON object member as a whole number (huge values are kept huge, for the range check
// to refuse), a number, or a flag.
long long JsonWhole(const json& body, const std::string& op, const char* name) {
    const auto it = body.find(name);
    if (it == body.end()) throw HttpError{400, op + ": needs " + name};
    if (it->is_number_unsigned())
        return static_cast<long long>(std::min<std::uint64_t>(it->get<std::uint64_t>(), LLONG_MAX));
    if (!it->is_number_integer())
        throw HttpError{400, op + ": " + name + " must be a whole number"};
    return it->get<long long>();
}
double JsonNumber(const json& body, const std::string& op, const char* name) {
    const auto it = body.find(name);
    if (it == body.end()) throw HttpError{400, op + ": needs " + name};
    if (!it->is_number()) throw HttpError{400, op + ": " + name + " must be a number"};
    return it->get<double>();
}
bool JsonFlag(const json& body, const std::string& op, const char* name) {
    const auto it = body.find(name);
    if (it == body.end()) return false;
    if (!it->is_boolean()) throw HttpError{400, op + ": " + name + " must be true or false"};
    return it->get<bool>();
}

// The edit a request body asks for; its arguments bounded as the tool bounds them.
zumeld_edits::MapEdit EditOf(const std::string& text) {
    const json body = json::parse(text, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        throw HttpError{400, "edit: the body is not a JSON object"};
    const auto op = body.find("op");
    if (op == body.end() || !op->is_string()) throw HttpError{400, "edit: needs \"op\""};
    const std::string o = op->get<std::string>();
    const auto whole = [&](const char* name) { return JsonWhole(body, o, name); };
    const auto number = [&](const char* name) { return JsonNumber(body, o, name); };
    namespace e = zumeld_edits;
    if (o == "sink")
        return e::Sink(o, whole("depth"), whole("left"), whole("top"), whole("width"),
                       whole("height"), JsonFlag(body, o, "keepLand"));
    if (o == "size") return e::Resize(o, whole("width"), whole("height"));
    if (o == "rotate") return e::Rotate(o, whole("angle"));
    if (o == "sector") return e::Sector(o, number("angle"), number("innerPercent"));
    if (o == "barrel") return e::Barrel(o, number("a"), number("b"), number("c"));
    if (o == "crop")
        return e::Crop(o, whole("left"), whole("top"), whole("width"), whole("height"));
    if (o == "canvas") return e::Canvas(o, whole("width"), whole("height"));
    if (o == "flatten") return e::Flatten(o);
    throw HttpError{400, "edit: unknown op '" + o.substr(0, 40) + "'"};
}

// The line for a status the HTTP layer answers with by itself.
std::string StatusLine(int status) {
    switch (status) {
        case 400:
            return "bad request\n";
        case 404:
            return "no such page\n";
        case 413:
            return "the request body is too long\n";
        case 414:
            return "the URL is too long\n";
        default:
            return "error " + std::to_string(status) + "\n";
    }
}

// ---- Answers ---------------------------------------------------------------------------------

std::string MapJson(const Snapshot& s, bool readOnly, bool canSave) {
    const MapFacts& f = s.facts;
    return json{{"width", f.width},
                {"height", f.height},
                {"minElevation", f.minElevation},
                {"maxElevation", f.maxElevation},
                {"seaShare", f.seaShare},
                {"zoom", f.baseZoom},
                {"maxZoom", f.baseZoom + zumeld_tiles::kMagnifyLevels},
                {"version", s.version},
                {"canUndo", s.canUndo},
                {"canRedo", s.canRedo},
                {"readOnly", readOnly},
                {"canSave", canSave}}
        .dump();
}

// Sends size bytes at data as the body; `keep` holds them until they are sent. A body sent
// this way is neither copied nor compressed by the HTTP layer: its compressors take
// hundreds of milliseconds on Leaflet's JavaScript, and PNG tiles gain nothing.
void SendBytes(httplib::Response& res, const char* data, std::size_t size, const char* type,
               std::shared_ptr<const void> keep = nullptr) {
    res.set_content_provider(
        size, type, [data, keep](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            sink.write(data + offset, length);
            return true;
        });
}
void SendBytes(httplib::Response& res, TileBytes bytes, const char* type) {
    const char* data = bytes->data();
    const std::size_t size = bytes->size();
    SendBytes(res, data, size, type, std::move(bytes));
}
void Send(httplib::Response& res, std::string text, const char* type) {
    SendBytes(res, std::make_shared<const std::string>(std::move(text)), type);
}

// The extension of an uploaded file's name, checked: ".png", ".elv", ...
std::string UploadExtension(const std::string& name) {
    zumeld_formats::HeightFormatOfPath(name, name);  // throws for an unknown extension
    return name.substr(name.rfind('.'));
}

// Width and height in an .elv header (little-endian 16-bit at bytes 2 and 4).
void CheckElvHeader(const std::string& name, const std::string& bytes) {
    if (bytes.size() < 6) return;  // the reader gives the reason
    const auto field = [&](std::size_t at) {
        return static_cast<short>(static_cast<unsigned char>(bytes[at]) |
                                  static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    if (static_cast<std::int64_t>(field(2)) * field(4) > kMaxServedCells)
        throw HttpError{413, name + ": the map is larger than this server takes"};
}

// A private folder, removed with its files when the object goes.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zumeld-upload-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw HttpError{500, "upload: no temporary folder"};
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Versions start at the start time in milliseconds, so a server started again never gives
// a browser a version number whose tiles it has kept from an earlier run.
std::uint64_t FirstVersion() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

bool IsElvPath(const std::string& path) {
    try {
        return zumeld_formats::HeightFormatOfPath(path, path) == zumeld_formats::HeightFormat::kElv;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace

// ---- The server
// ----------------------------------------------------------------------------------

struct Server::Impl {
    Impl(const ServeOptions& o, const Zumeld::CCtrlElvMap& map)
        : options(o),
          canSave(!o.mapPath.empty() && IsElvPath(o.mapPath)),
          document(map, FirstVersion(), o.historyStates, o.historyBytes),
          cache(o.cacheBytes),
          workers(o.workers > 0
                      ? o.workers
                      : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))) {
        Routes();
    }

    void Routes();
    void Tile(const httplib::Request& req, httplib::Response& res);
    void Elevation(const httplib::Request& req, httplib::Response& res);
    void Edit(const httplib::Request& req, httplib::Response& res);
    void Upload(const httplib::Request& req, httplib::Response& res);
    void Save(httplib::Response& res);
    void Asset(const httplib::Request& req, httplib::Response& res);
    TileBytes TileOf(const TileKey& key, const Snapshot& s, const ReliefStyle& style);
    void Answer(httplib::Response& res, const Snapshot& s) const {
        res.set_header("X-Map-Version", std::to_string(s.version));
        Send(res, MapJson(s, options.readOnly, canSave), "application/json");
    }
    void RequireWritable() const {
        if (options.readOnly)
            throw HttpError{403, "read-only: the server was started with --read-only"};
    }
    // Runs a handler, turning whatever it throws into one status and one line.
    template <typename F>
    httplib::Server::Handler Guarded(F f) {
        return [f](const httplib::Request& req, httplib::Response& res) {
            const auto fail = [&](int status, const std::string& line) {
                res.status = status;
                Send(res, line + "\n", "text/plain; charset=utf-8");
            };
            try {
                f(req, res);
            } catch (const HttpError& e) {
                fail(e.status, e.message);
            } catch (const Error& e) {
                fail(e.usage_ ? 400 : 422, e.what_ + ": " + e.what());
            } catch (const std::bad_alloc&) {
                fail(503, "out of memory");
            } catch (const std::exception& e) {
                fail(500, e.what());
            }
        };
    }

    const ServeOptions options;
    const bool canSave;
    Document document;
    TileCache cache;
    TileWorkers workers;
    std::mutex inflightMutex;  // tiles being drawn, so one tile is drawn once at a time
    std::unordered_map<TileKey, std::shared_future<TileBytes>, TileKeyHash> inflight;
    std::mutex saveMutex;
    httplib::Server http;
    int listenSocket = -1;
};

void Server::Impl::Routes() {
    http.new_task_queue = [] { return new httplib::ThreadPool(kConnectionThreads); };
    http.set_keep_alive_max_count(100000);
    http.set_keep_alive_timeout(5);
    http.set_read_timeout(5, 0);
    http.set_write_timeout(5, 0);
    http.set_tcp_nodelay(true);
    http.set_payload_max_length(options.maxUploadBytes);
    http.set_default_headers({{"X-Content-Type-Options", "nosniff"}});
    // Remembers the listening socket (to widen its backlog after binding).
    http.set_socket_options([this](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listenSocket = sock;
    });
    // Statuses the HTTP layer sets itself (no route, body or URI too long) get a line too.
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty() || res.content_length_ > 0) return;
        Send(res, StatusLine(res.status), "text/plain; charset=utf-8");
    });

    http.Get(R"(/tiles/(-?\d{1,19})/(-?\d{1,19})/(-?\d{1,19})\.png)",
             Guarded([this](const auto& req, auto& res) { Tile(req, res); }));
    http.Get("/api/map",
             Guarded([this](const auto&, auto& res) { Answer(res, document.Current()); }));
    http.Get("/api/elevation",
             Guarded([this](const auto& req, auto& res) { Elevation(req, res); }));
    http.Get("/api/map.elv", Guarded([this](const auto&, auto& res) {
                 const Snapshot s = document.Current();
                 Zumeld::CCtrlElvMap copy = *s.map;
                 const std::vector<std::uint8_t> bytes =
                     zumeld_formats::EncodeMapElv("map.elv", copy);
                 res.set_header("Content-Disposition", "attachment; filename=\"map.elv\"");
                 res.set_header("X-Map-Version", std::to_string(s.version));
                 SendBytes(res, std::make_shared<const std::string>(bytes.begin(), bytes.end()),
                           "application/octet-stream");
             }));
    http.Post("/api/edit", Guarded([this](const auto& req, auto& res) { Edit(req, res); }));
    http.Post("/api/undo", Guarded([this](const auto&, auto& res) {
                  RequireWritable();
                  Snapshot s;
                  if (!document.Undo(s)) throw HttpError{409, "undo: nothing to undo"};
                  Answer(res, s);
              }));
    http.Post("/api/redo", Guarded([this](const auto&, auto& res) {
                  RequireWritable();
                  Snapshot s;
                  if (!document.Redo(s)) throw HttpError{409, "redo: nothing to redo"};
                  Answer(res, s);
              }));
    http.Put("/api/map", Guarded([this](const auto& req, auto& res) { Upload(req, res); }));
    http.Post("/api/save", Guarded([this](const auto&, auto& res) { Save(res); }));
    http.Get("/.*", Guarded([this](const auto& req, auto& res) { Asset(req, res); }));
}

TileBytes Server::Impl::TileOf(const TileKey& key, const Snapshot& s, const ReliefStyle& style) {
    if (TileBytes hit = cache.Find(key)) return hit;
    std::shared_future<TileBytes> pending;
    bool mine = false;
    {
        std::lock_guard<std::mutex> lock(inflightMutex);
        const auto it = inflight.find(key);
        if (it != inflight.end()) {
            pending = it->second;
        } else {
            pending = workers.Render(s.map, style, key.z, key.x, key.y).share();
            inflight.emplace(key, pending);
            mine = true;
        }
    }
    if (!mine) return pending.get();
    try {
        TileBytes bytes = pending.get();
        cache.Put(key, bytes);
        std::lock_guard<std::mutex> lock(inflightMutex);
        inflight.erase(key);
        return bytes;
    } catch (...) {
        std::lock_guard<std::mutex> lock(inflightMutex);
        inflight.erase(key);
        throw;
    }
}

void Server::Impl::Tile(const httplib::Request& req, httplib::Response& res) {
    // Numbers too long for 64 bits name no tile either.
    long long z = 0, x = 0, y = 0;
    if (!ParseWhole(req.matches[1].str(), INT_MIN, INT_MAX, z) ||
        !ParseWhole(req.matches[2].str(), LLONG_MIN, LLONG_MAX, x) ||
        !ParseWhole(req.matches[3].str(), LLONG_MIN, LLONG_MAX, y))
        throw HttpError{404, "tile: no such tile"};
    const ReliefStyle style = StyleOf(req);
    const long long asked = IntParam(req, "v", 0, LLONG_MAX, -1);

    const Snapshot s = document.Current();
    const zumeld_tiles::TilePlan plan =
        zumeld_tiles::PlanTile(s.facts.width, s.facts.height, static_cast<int>(z), x, y);
    const int top = s.facts.baseZoom + zumeld_tiles::kMagnifyLevels;
    if (plan.fit == zumeld_tiles::TileFit::kNoZoom)
        throw HttpError{
            404, "tile: no zoom level " + std::to_string(z) + " (0.." + std::to_string(top) + ")"};
    if (plan.fit == zumeld_tiles::TileFit::kOutside)
        throw HttpError{404, "tile: " + std::to_string(z) + "/" + std::to_string(x) + "/" +
                                 std::to_string(y) + " is outside the map"};

    // A URL naming the version it shows never changes; any other is checked each time.
    std::string etag = std::to_string(s.version);
    etag.insert(etag.begin(), '"');
    etag.push_back('"');
    res.set_header("ETag", etag);
    res.set_header("X-Map-Version", std::to_string(s.version));
    res.set_header("Cache-Control", asked == static_cast<long long>(s.version)
                                        ? "public, max-age=31536000, immutable"
                                        : "no-cache");
    if (req.get_header_value("If-None-Match") == etag) {
        res.status = 304;
        return;
    }
    const TileKey key{s.version, PackStyle(style), static_cast<int>(z), x, y};
    SendBytes(res, TileOf(key, s, style), "image/png");
}

void Server::Impl::Elevation(const httplib::Request& req, httplib::Response& res) {
    const long long x = RequiredIntParam(req, "x", LLONG_MIN, LLONG_MAX);
    const long long y = RequiredIntParam(req, "y", LLONG_MIN, LLONG_MAX);
    const Snapshot s = document.Current();
    if (x < 0 || y < 0 || x >= s.facts.width || y >= s.facts.height)
        throw HttpError{404, "elevation: cell (" + std::to_string(x) + ", " + std::to_string(y) +
                                 ") is outside the " + std::to_string(s.facts.width) + " x " +
                                 std::to_string(s.facts.height) + " map"};
    const int e = s.map->m_pElevation[static_cast<std::ptrdiff_t>(y) * s.map->m_nBufferWidth + x];
    res.set_header("X-Map-Version", std::to_string(s.version));
    Send(res, json{{"x", x}, {"y", y}, {"elevation", e}, {"version", s.version}}.dump(),
         "application/json");
}

void Server::Impl::Edit(const httplib::Request& req, httplib::Response& res) {
    RequireWritable();
    if (req.body.size() > kMaxJsonBytes) throw HttpError{413, "edit: the body is too long"};
    const zumeld_edits::MapEdit edit = EditOf(req.body);
    const zumeld_edits::EditLimits limits{zumeld_formats::kMaxGridSide, kMaxServedCells};
    Answer(res, document.Apply([&](Zumeld::CCtrlElvMap& m) { edit.apply(m, limits); }));
}

void Server::Impl::Upload(const httplib::Request& req, httplib::Response& res) {
    RequireWritable();
    if (!req.has_param("name"))
        throw HttpError{400, "upload: needs ?name=FILE (its extension names the format)"};
    const std::string name = req.get_param_value("name").substr(0, 200);
    zumeld_formats::ImportOptions import;
    if (req.has_param("size")) {
        const std::string size = req.get_param_value("size");
        const std::size_t cut = size.find_first_of("xX");
        long long w = 0, h = 0;
        if (cut == std::string::npos ||
            !ParseWhole(std::string_view(size).substr(0, cut), 1, zumeld_formats::kMaxGridSide,
                        w) ||
            !ParseWhole(std::string_view(size).substr(cut + 1), 1, zumeld_formats::kMaxGridSide, h))
            throw HttpError{400, "upload: size must be WxH"};
        import.rawWidth = static_cast<int>(w);
        import.rawHeight = static_cast<int>(h);
    }
    Zumeld::CCtrlElvMap loaded;
    try {
        const std::string ext = UploadExtension(name);
        if (ext.size() == 4 && IsElvPath(name)) CheckElvHeader(name, req.body);
        // The formats layer reads files: the upload goes to a private folder for the read.
        const TempFolder folder;
        const std::string path = (folder.path() / ("upload" + ext)).string();
        std::ofstream file(path, std::ios::binary);
        file.write(req.body.data(), static_cast<std::streamsize>(req.body.size()));
        if (!file.flush()) throw HttpError{500, "upload: cannot write a temporary file"};
        zumeld_formats::LoadAnyMap(path, import, loaded);
    } catch (const Error& e) {
        throw HttpError{400, name + ": " + e.what()};
    }
    if (!loaded.m_pElevation || loaded.m_nWidth < 1 || loaded.m_nHeight < 1)
        throw HttpError{400, name + ": the map has no cells"};
    if (static_cast<std::uint64_t>(loaded.m_nWidth) * static_cast<std::uint64_t>(loaded.m_nHeight) >
        kMaxServedCells)
        throw HttpError{413, name + ": the map is larger than this server takes"};
    Answer(res, document.Apply([&](Zumeld::CCtrlElvMap& m) { m = loaded; }));
}

void Server::Impl::Save(httplib::Response& res) {
    RequireWritable();
    if (options.mapPath.empty())
        throw HttpError{409, "save: no map file (the server shows the built-in map)"};
    if (!canSave) throw HttpError{409, "save: " + options.mapPath + " is not an .elv file"};
    std::lock_guard<std::mutex> lock(saveMutex);
    const Snapshot s = document.Current();
    Zumeld::CCtrlElvMap copy = *s.map;
    try {
        zumeld_formats::SaveMapElv(options.mapPath, copy);
    } catch (const Error& e) {
        throw HttpError{500, e.what_ + ": " + e.what()};
    }
    res.set_header("X-Map-Version", std::to_string(s.version));
    Send(res, json{{"saved", options.mapPath}, {"version", s.version}}.dump(), "application/json");
}

void Server::Impl::Asset(const httplib::Request& req, httplib::Response& res) {
    const std::string path = req.path == "/" ? "/index.html" : req.path;
    const EmbeddedAsset* asset = FindAsset(path);
    if (asset == nullptr) throw HttpError{404, "no such page: " + req.path.substr(0, 80)};
    res.set_header("Cache-Control", "no-cache");
    if (path == "/index.html")
        res.set_header(
            "Content-Security-Policy",
            "default-src 'self'; img-src 'self' data: blob:; style-src 'self' 'unsafe-inline'");
    SendBytes(res, reinterpret_cast<const char*>(asset->data), asset->size, AssetType(path));
}

Server::Server(const ServeOptions& options, const Zumeld::CCtrlElvMap& map)
    : impl_(std::make_unique<Impl>(options, map)) {}

Server::~Server() = default;

int Server::Bind() {
    const ServeOptions& o = impl_->options;
    int port = o.port;
    if (o.port == 0) {
        port = impl_->http.bind_to_any_port(o.bind);
    } else if (!impl_->http.bind_to_port(o.bind, o.port)) {
        port = -1;
    }
    if (port < 0) throw Error(o.bind + ":" + std::to_string(o.port), "cannot listen there");
    // The HTTP layer listens with a short queue; many clients connecting at once need more.
    if (impl_->listenSocket >= 0) ::listen(impl_->listenSocket, kListenBacklog);
    return port;
}

void Server::Run() {
    impl_->http.listen_after_bind();
}

void Server::Stop() {
    impl_->http.stop();
}

}  // namespace zumeld_serve
