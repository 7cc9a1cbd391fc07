// zumeld serve over HTTP, against a server started on port 0 in this process: tiles equal to
// `zumeld render`, every error status, the edit/undo/redo cycle, tiles of one version while
// edits land, upload limits, save atomicity and hostile requests.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "elv.h"
#include "picture.h"
#include "server.h"
#include "sample_map.h"
#include "temp_dir.h"
#include "test_random.h"

namespace {

using zumeld_serve::ServeOptions;
using zumeld_test::TestRandom;

// The built-in sample map, made once.
const Zumeld::CCtrlElvMap& Sample() {
    static const Zumeld::CCtrlElvMap sample = [] {
        Zumeld::CCtrlElvMap m;
        const auto cells = zumeld_formats::MakeSampleMap(zumeld_formats::kSampleWidth,
                                                         zumeld_formats::kSampleHeight);
        m.SetElevationData(zumeld_formats::kSampleWidth, zumeld_formats::kSampleHeight,
                           cells.data());
        return m;
    }();
    return sample;
}

// The sample map as an .elv file in dir, for the server and `zumeld render` to load.
std::string SampleFile(const TempDir& dir) {
    Zumeld::CCtrlElvMap map = Sample();
    zumeld_formats::SaveMapElv(dir.File("s.elv"), map);
    return dir.File("s.elv");
}

// A server on a free loopback port, serving until the object goes.
class Served {
  public:
    // `set` adjusts the options.
    explicit Served(const std::function<void(ServeOptions&)>& set = {}) {
        if (set) set(o_);
        Zumeld::CCtrlElvMap map = Sample();
        if (!o_.mapPath.empty()) zumeld_formats::LoadMap(o_.mapPath, map);
        server_ = std::make_unique<zumeld_serve::Server>(o_, map);
        port_ = server_->Bind();
        thread_ = std::thread([this] { server_->Run(); });
    }
    ~Served() {
        server_->Stop();
        thread_.join();
    }
    httplib::Result Do(const std::string& method, const std::string& path,
                       const std::string& body = "", const httplib::Headers& headers = {}) const {
        httplib::Client c("127.0.0.1", port_);
        c.set_read_timeout(20, 0);
        if (method == "GET") return c.Get(path.c_str(), headers);
        if (method == "PUT") return c.Put(path.c_str(), headers, body, "application/octet-stream");
        return c.Post(path.c_str(), headers, body, "application/json");
    }
    // The body of a request that must succeed.
    std::string Ok(const std::string& method, const std::string& path,
                   const std::string& body = "") const {
        const auto r = Do(method, path, body);
        EXPECT_TRUE(r && r->status == 200)
            << method << " " << path << ": " << (r ? r->body : "no answer");
        return r ? r->body : "";
    }
    int port() const { return port_; }

  private:
    ServeOptions o_;
    std::unique_ptr<zumeld_serve::Server> server_;
    int port_ = 0;
    std::thread thread_;
};

std::string Field(const std::string& json, const std::string& name) {
    const std::size_t at = json.find("\"" + name + "\":");
    if (at == std::string::npos) return "";
    const std::size_t start = at + name.size() + 3;
    return json.substr(start, json.find_first_of(",}", start) - start);
}

const char kSink[] = R"({"op":"sink","depth":500,"left":300,"top":200,"width":300,"height":200})";

}  // namespace

// Random inside tiles and styles; each must be the bytes zumeld render writes for its area.
TEST(Serve, InsideTileIsTheRenderOfItsArea) {
    const TempDir dir;
    const std::string map = SampleFile(dir);
    const Served s([&](ServeOptions& o) { o.mapPath = map; });
    const std::uint32_t seed = 1915;
    TestRandom rng(seed);
    for (int k = 0; k < 4; ++k) {
        const int z = 1 + static_cast<int>(rng.Below(5));  // Z = 2 for the 1024 x 768 map
        const int cells = z <= 2 ? 256 << (2 - z) : 256 >> (z - 2);
        const int x = static_cast<int>(rng.Below(1024 / cells)),
                  y = static_cast<int>(rng.Below(768 / cells));
        const int relief = 1 + static_cast<int>(rng.Below(4)),
                  season = static_cast<int>(rng.Below(4));
        const bool shade = rng.Below(2), texture = rng.Below(2), dim = rng.Below(2);
        const std::string url =
            "/tiles/" + std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y) +
            ".png?relief=" + std::to_string(relief) + "&season=" + std::to_string(season) +
            "&shade=" + std::to_string(shade) + "&texture=" + std::to_string(texture) +
            "&dim=" + std::to_string(dim);
        const std::string command =
            std::string(ZUMELD_CLI_PATH) + " render " + map + " -o " + dir.File("r.png") +
            " --size 256x256 --area " + std::to_string(x * cells) + "," +
            std::to_string(y * cells) + "," + std::to_string(cells) + "," + std::to_string(cells) +
            " --relief " + std::to_string(relief) + " --season " + std::to_string(season) +
            (shade ? "" : " --no-shade") + (texture ? "" : " --no-texture") + (dim ? " --dim" : "");
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_TRUE(s.Ok("GET", url) == zumeld_test::ReadText(dir.File("r.png")))
            << url << " seed " << seed;
    }
}

// Across the map's edge: the part on the map as render draws that part, sea fill below.
TEST(Serve, EdgeTileIsTheMapsPartOverTheSea) {
    const TempDir dir;
    const std::string map = SampleFile(dir);
    const Served s([&](ServeOptions& o) { o.mapPath = map; });
    const std::string tile = dir.File("t.png"), part = dir.File("p.png"), sea = dir.File("s.png");
    std::ofstream(tile, std::ios::binary) << s.Ok("GET", "/tiles/0/0/0.png");
    const std::string render = std::string(ZUMELD_CLI_PATH) + " render " + map + " -o ";
    ASSERT_EQ(std::system((render + part + " --size 256x192").c_str()), 0);
    ASSERT_EQ(std::system((render + sea +
                           " --area 0,0,1024,1024 --size 256x256 --sea-fill --polygon 0,0,0,0,0,0")
                              .c_str()),
              0);
    Quobel::CControlBmp t, p, w;
    zumeld_formats::ReadPicture(tile, t);
    zumeld_formats::ReadPicture(part, p);
    zumeld_formats::ReadPicture(sea, w);
    for (int y = 0; y < 256; ++y) {  // bottom-up rows of 32-bit pixels
        const BYTE* row = t.GetBufferPtr() + (255 - y) * t.GetWidthBytes();
        const BYTE* want = y < 192 ? p.GetBufferPtr() + (191 - y) * p.GetWidthBytes()
                                   : w.GetBufferPtr() + (255 - y) * w.GetWidthBytes();
        ASSERT_EQ(std::memcmp(row, want, 256 * 4), 0) << "row " << y;
    }
}

TEST(Serve, EveryFailureIsOneStatusAndOneLine) {
    const Served s;
    const std::string huge(20, '9');
    const struct {
        const char* method;
        std::string path, body;
        int status;
    } cases[] = {
        {"GET", "/tiles/-1/0/0.png", "", 404},
        {"GET", "/tiles/6/0/0.png", "", 404},
        {"GET", "/tiles/2/4/0.png", "", 404},
        {"GET", "/tiles/2/-1/0.png", "", 404},
        {"GET", std::string("/tiles/2/0/").append(huge) + ".png", "", 404},
        {"GET", "/tiles/2/0/0.png?relief=0", "", 400},
        {"GET", std::string("/tiles/2/0/0.png?dim=").append(huge), "", 400},
        {"GET", "/api/elevation?x=1024&y=0", "", 404},
        {"GET", "/api/elevation?x=a&y=0", "", 400},
        {"GET", "/api/elevation", "", 400},
        {"GET", "/nothing", "", 404},
        {"GET", "/../etc/passwd", "", 404},
        {"GET", "/%2e%2e/%2e%2e/etc/passwd", "", 404},
        {"POST", "/api/edit", "{", 400},
        {"POST", "/api/edit", "[1]", 400},
        {"POST", "/api/edit", R"({"op":"spin"})", 400},
        {"POST", "/api/edit", R"({"op":"sink","depth":5})", 400},
        {"POST", "/api/edit", R"({"op":"size","width":1e400,"height":1})", 400},
        {"POST", "/api/edit",
         std::string(R"({"op":"size","width":)").append(huge) + R"(,"height":1})", 400},
        {"POST", "/api/edit", R"({"op":"sector","angle":400,"innerPercent":0})", 400},
        {"POST", "/api/edit", R"({"op":"size","width":32767,"height":32767})", 422},
        {"POST", "/api/edit", std::string(100000, '['), 413},
        {"POST", "/api/undo", "", 409},
        {"POST", "/api/save", "", 409},
        {"PUT", "/api/map", "P5", 400},
        {"PUT", "/api/map?name=a.txt", "x", 400},
        {"PUT", "/api/map?name=a.png", "not a png", 400},
        {"GET", std::string("/").append(9000, 'a'), "", 414},
    };
    for (const auto& c : cases) {
        const auto r = s.Do(c.method, c.path, c.body);
        ASSERT_TRUE(r) << c.path;
        EXPECT_EQ(r->status, c.status)
            << c.method << " " << c.path.substr(0, 60) << ": " << r->body;
        EXPECT_TRUE(!r->body.empty() && r->body.find('\n') == r->body.size() - 1)
            << c.path.substr(0, 60) << ": " << r->body;
    }
    const auto longHeader = s.Do("GET", "/api/map", "", {{"X-Long", std::string(20000, 'h')}});
    EXPECT_TRUE(!longHeader || longHeader->status == 400);
    EXPECT_EQ(s.Do("GET", "/api/map")->status, 200);  // still serving

    const Served readOnly([](ServeOptions& o) { o.readOnly = true; });
    for (const char* path : {"/api/edit", "/api/undo", "/api/save"})
        EXPECT_EQ(readOnly.Do("POST", path, kSink)->status, 403) << path;
}

TEST(Serve, EditUndoRedoBringBackTheExactTiles) {
    const Served s;
    const std::string tile = "/tiles/2/1/1.png";
    const std::string before = s.Ok("GET", tile), v1 = Field(s.Ok("GET", "/api/map"), "version");
    const std::string edited = s.Ok("POST", "/api/edit", kSink);
    EXPECT_EQ(Field(edited, "canUndo"), "true");
    const std::string after = s.Ok("GET", tile), v2 = Field(edited, "version");
    EXPECT_NE(after, before);
    EXPECT_EQ(s.Ok("GET", "/tiles/2/3/2.png"),
              s.Ok("GET", "/tiles/2/3/2.png?v=" + v1));  // away from the edit
    EXPECT_EQ(Field(s.Ok("POST", "/api/undo"), "version"), v1);
    EXPECT_EQ(s.Ok("GET", tile), before);
    const auto cached = s.Do("GET", tile + "?v=" + v1, "",
                             {{"If-None-Match", std::string(1, '"').append(v1).append(1, '"')}});
    EXPECT_EQ(cached->status, 304);
    EXPECT_EQ(cached->get_header_value("Cache-Control"), "public, max-age=31536000, immutable");
    const std::string redone = s.Ok("POST", "/api/redo");
    EXPECT_EQ(Field(redone, "version"), v2);
    EXPECT_EQ(Field(redone, "canRedo"), "false");
    EXPECT_EQ(s.Ok("GET", tile), after);
    // The sunk land reads 500 lower; a new edit after an undo drops the redo.
    const std::string cell = "/api/elevation?x=500&y=350";
    const int low = std::stoi(Field(s.Ok("GET", cell), "elevation"));
    s.Ok("POST", "/api/undo");
    EXPECT_EQ(std::stoi(Field(s.Ok("GET", cell), "elevation")), low + 500);
    // Flattening leaves the undo state its terrain.
    s.Ok("POST", "/api/edit", R"({"op":"flatten"})");
    EXPECT_EQ(Field(s.Ok("GET", cell), "elevation"), "1");
    EXPECT_NE(s.Ok("GET", tile), before);
    s.Ok("POST", "/api/undo");
    EXPECT_EQ(std::stoi(Field(s.Ok("GET", cell), "elevation")), low + 500);
    EXPECT_EQ(s.Ok("GET", tile), before);
    const std::string resized =
        s.Ok("POST", "/api/edit", R"({"op":"size","width":300,"height":100})");
    EXPECT_EQ(Field(resized, "width") + "x" + Field(resized, "height") + Field(resized, "canRedo"),
              "300x100false");
    EXPECT_EQ(Field(resized, "zoom"), "1");
}

// Tiles drawn while edits and undos land are each wholly of the version they name.
TEST(Serve, TilesAreOfOneVersionWhileEditsLand) {
    const Served s([](ServeOptions& o) {
        o.cacheBytes = 0;
        o.workers = 2;
    });
    const std::string tile = "/tiles/3/3/2.png";
    const std::string v1 = Field(s.Ok("GET", "/api/map"), "version");
    const std::string original = s.Ok("GET", tile);
    s.Ok("POST", "/api/edit", kSink);
    const std::string sunk = s.Ok("GET", tile);
    s.Ok("POST", "/api/undo");
    ASSERT_NE(original, sunk);
    std::atomic<bool> done{false};
    std::thread editor([&] {
        for (int k = 0; k < 12; ++k) {
            s.Ok("POST", "/api/edit", kSink);
            s.Ok("POST", "/api/undo");
        }
        done = true;
    });
    int fetched = 0;
    while (!done || fetched == 0) {
        const auto r = s.Do("GET", tile);
        ASSERT_TRUE(r && r->status == 200);
        EXPECT_EQ(r->body == original, r->get_header_value("X-Map-Version") == v1);
        EXPECT_TRUE(r->body == original || r->body == sunk);
        ++fetched;
    }
    editor.join();
}

TEST(Serve, UploadsAreBoundedAndUndoable) {
    const Served s([](ServeOptions& o) { o.maxUploadBytes = 1 << 20; });
    EXPECT_EQ(s.Do("PUT", "/api/map?name=big.pgm", std::string(2 << 20, 'x'))->status, 413);
    // An .elv header that asks for more cells than the server takes.
    const std::string header = {3, 0, '\xff', '\x7f', '\xff', '\x7f'};
    EXPECT_EQ(s.Do("PUT", "/api/map?name=a.elv", header + std::string(64, '\0'))->status, 413);
    const std::string pgm = "P5 3 2 255\n" + std::string("\x01\x02\x03\x04\x05\x06", 6);
    const std::string uploaded = s.Ok("PUT", "/api/map?name=m.pgm", pgm);
    EXPECT_EQ(Field(uploaded, "width") + "x" + Field(uploaded, "height"), "3x2");
    EXPECT_EQ(Field(s.Ok("GET", "/api/elevation?x=2&y=1"), "elevation"), "6");
    s.Ok("GET", "/tiles/0/0/0.png");  // the one tile, mostly off the 3 x 2 map
    EXPECT_EQ(Field(s.Ok("POST", "/api/undo"), "width"), "1024");
}

TEST(Serve, SaveReplacesTheMapFileWhole) {
    TempDir dir;
    const std::string path = dir.File("m.elv");
    const auto cells = zumeld_formats::MakeSampleMap(300, 200);
    Zumeld::CCtrlElvMap map;
    map.SetElevationData(300, 200, cells.data());
    zumeld_formats::SaveMapElv(path, map);
    const Served s([&](ServeOptions& o) { o.mapPath = path; });
    s.Ok("POST", "/api/edit", R"({"op":"crop","left":10,"top":10,"width":50,"height":40})");
    s.Ok("POST", "/api/save");
    EXPECT_EQ(zumeld_test::ReadText(path), s.Ok("GET", "/api/map.elv"));
    Zumeld::CCtrlElvMap saved;
    zumeld_formats::LoadMap(path, saved);
    EXPECT_EQ(saved.m_nWidth * 1000 + saved.m_nHeight, 50040);
    // A save that cannot replace the file leaves what is there and no temporary file.
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    const auto failed = s.Do("POST", "/api/save");
    EXPECT_EQ(failed->status, 500) << failed->body;
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_EQ(dir.Entries(), 1);
}

// Clients that connect and say nothing hold a connection each; the others are served.
TEST(Serve, StalledClientsDoNotStopTheOthers) {
    const Served s;
    std::vector<int> stalled;
    for (int k = 0; k < 8; ++k) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(s.port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(::write(fd, "GET /api/map HTTP/1.1\r\nHo", 25), 25);  // and no more
        stalled.push_back(fd);
    }
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < 20; ++k) s.Ok("GET", "/tiles/2/" + std::to_string(k % 4) + "/1.png");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    for (int fd : stalled) ::close(fd);
}
