// zumeld tiles end to end: a small map's pyramid as an MBTiles file and as a folder, the
// database read back with SQLite itself, every tile compared with the folder's file and with
// what zumeld serve answers; a failed or interrupted run leaves nothing.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "elv.h"
#include "server.h"
#include "temp_dir.h"

namespace {

using zumeld_test::ReadText;

// Runs a shell command in dir, "zumeld" standing for the tool; its exit status, and its
// standard error in *err.
int Shell(const TempDir& dir, std::string command, std::string* err = nullptr) {
    const std::string tool = ZUMELD_CLI_PATH;
    for (std::size_t at = 0; (at = command.find("zumeld ", at)) != std::string::npos;
         at += tool.size())
        command.replace(at, 6, tool);
    // Beside the folder, not in it (the tests list it), and as private as the folder.
    const std::string errFile = dir.path().string() + ".err";
    command = "cd '" + dir.path().string() + "' && " + command + " 2>'" + errFile + "'";
    const int status = std::system(command.c_str());
    if (err) *err = ReadText(errFile);
    std::filesystem::remove(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A 1000 x 600 map, the 300 x 200 sample island in its top-left corner and sea elsewhere.
void MakeMap(const TempDir& dir) {
    ASSERT_EQ(Shell(dir, "zumeld generate --size 300x200 -o small.elv"), 0);
    ASSERT_EQ(Shell(dir, "zumeld edit small.elv m.elv --canvas 1000,600"), 0);
}

// The rows of a query, each row's columns joined by '|'.
std::vector<std::string> Rows(sqlite3* db, const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sql;
    while (sqlite3_step(s) == SQLITE_ROW) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(s); ++c) {
            if (c) row += '|';
            row.append(static_cast<const char*>(sqlite3_column_blob(s, c)),
                       static_cast<std::size_t>(sqlite3_column_bytes(s, c)));
        }
        rows.push_back(row);
    }
    sqlite3_finalize(s);
    return rows;
}

TEST(Tiles, BothFormsHoldThePyramidThatServeDraws) {
    TempDir dir;
    MakeMap(dir);
    const std::string style = " --zoom 0..3 --relief 3 --dim";
    ASSERT_EQ(Shell(dir, "zumeld tiles m.elv m.mbtiles" + style), 0);
    ASSERT_EQ(Shell(dir, "zumeld --threads 1 tiles m.elv one.mbtiles" + style), 0);
    ASSERT_EQ(Shell(dir, "zumeld tiles m.elv site" + style), 0);
    EXPECT_EQ(ReadText(dir.File("m.mbtiles")),
              ReadText(dir.File("one.mbtiles")));  // any thread count
    EXPECT_EQ(dir.Listing(),
              (std::set<std::string>{"m.elv", "m.mbtiles", "one.mbtiles", "site", "small.elv"}));
    EXPECT_NE(ReadText(dir.File("site/index.html")).find("id=\"zumeld-site\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("site/leaflet/leaflet.js")));

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(dir.File("m.mbtiles").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    EXPECT_EQ(
        Rows(db,
             "SELECT type, name FROM sqlite_master WHERE type IN ('table', 'view') "
             "ORDER BY name"),
        (std::vector<std::string>{"table|images", "table|map", "table|metadata", "view|tiles"}));
    const auto meta = Rows(db,
                           "SELECT name, value FROM metadata WHERE name != 'description' "
                           "ORDER BY name");
    EXPECT_EQ(meta, (std::vector<std::string>{
                        "bounds|0,600,1000,0", "format|png",
                        "json|{\"width\":1000,\"height\":600,\"minElevation\":0,\"maxElevation\":"
                        "3000,\"seaShare\":0.940002,\"baseZoom\":2,\"tileSize\":256}",
                        "maxzoom|3", "minzoom|0", "name|m", "type|baselayer"}));
    // Tiles with a whole pixel on the map: 250 x 150 pixels at zoom 0 (1 tile), then 2 x 2,
    // 4 x 3 and (2000 x 1200 pixels) 8 x 5. The sea tiles share their images.
    EXPECT_EQ(Rows(db, "SELECT count(*) FROM tiles")[0], "57");
    const std::string images = Rows(db, "SELECT count(*) FROM images")[0];
    EXPECT_LT(std::stoi(images), 57);
    EXPECT_EQ(Rows(db, "SELECT count(DISTINCT tile_data) FROM tiles")[0], images);

    zumeld_serve::ServeOptions options;
    options.mapPath = dir.File("m.elv");
    Zumeld::CCtrlElvMap map;
    zumeld_formats::LoadMap(options.mapPath, map);
    zumeld_serve::Server server(options, map);
    httplib::Client client("127.0.0.1", server.Bind());
    std::thread serving([&] { server.Run(); });
    int files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.File("site")))
        files += e.path().extension() == ".png";
    EXPECT_EQ(files, 57);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles", -1, &s,
                       nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) {
        const int z = sqlite3_column_int(s, 0), x = sqlite3_column_int(s, 1);
        const int y = (1 << z) - 1 - sqlite3_column_int(s, 2);  // MBTiles rows count up
        const std::string tile = std::to_string(z) + "/" + std::to_string(x) + "/" +
                                 std::to_string(y) + ".png",
                          bytes(static_cast<const char*>(sqlite3_column_blob(s, 3)),
                                static_cast<std::size_t>(sqlite3_column_bytes(s, 3)));
        EXPECT_EQ(ReadText(dir.File("site/" + tile)), bytes) << tile;
        const auto served = client.Get("/tiles/" + tile + "?relief=3&dim=1");
        ASSERT_TRUE(served && served->status == 200) << tile;
        EXPECT_EQ(served->body, bytes) << tile;
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    server.Stop();
    serving.join();
}

TEST(Tiles, FailedOrInterruptedRunLeavesNothing) {
    TempDir dir;
    MakeMap(dir);
    const std::set<std::string> before = dir.Listing();
    for (const std::string out : {"m.mbtiles", "site"}) {
        // A write failure: files may not grow past 100 blocks (write gives EFBIG).
        std::string err;
        EXPECT_EQ(
            Shell(dir, "sh -c \"trap '' XFSZ; ulimit -f 100; exec zumeld tiles m.elv " + out + "\"",
                  &err),
            1);
        EXPECT_TRUE(err.rfind("zumeld: ", 0) == 0 && err.find('\n') == err.size() - 1) << err;
        EXPECT_EQ(dir.Listing(), before) << out;

        // SIGTERM once the temporary output exists: the process ends by the signal.
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.path().c_str()) == 0)
                execl(ZUMELD_CLI_PATH, "zumeld", "tiles", "m.elv", out.c_str(), "--zoom", "0..5",
                      static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (dir.Listing().size() == before.size() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        kill(pid, SIGTERM);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << out << " " << status;
        EXPECT_EQ(dir.Listing(), before) << out;
    }
}

}  // namespace
