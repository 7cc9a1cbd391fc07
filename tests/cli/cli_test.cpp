// The zumeld binary end to end: every subcommand on good input, every heightmap format round
// trip, hand-made heightmaps read with known values, and bad input refused with one line on
// stderr, the right exit status and no output file (nor temporary file) left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "geotiff.h"
#include "picture.h"
#include "temp_dir.h"
#include "tiff_test_support.h"

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

// Little-endian 16-bit words. An .elv file in the raw encoding is 0, width, height, cells.
std::string Words(const std::vector<int>& words) {
    std::string b;
    for (int v : words) b += {static_cast<char>(v), static_cast<char>(v >> 8)};
    return b;
}

void ExpectOneLineError(const Result& r, int status) {
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_TRUE(r.err.rfind("zumeld: ", 0) == 0 && r.err.find('\n') == r.err.size() - 1)
        << "not one line of error: " << r.err;
}

class ZumeldCli : public ::testing::Test {
  protected:
    std::string Read(const std::string& name) const {
        return zumeld_test::ReadText(dir.File(name));
    }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir.File(name), std::ios::binary) << bytes;
    }
    // Runs the tool in the test folder with the arguments (a shell word list).
    Result Run(const std::string& arguments) const {
        const std::string command = "cd '" + dir.path().string() + "' && " + ZUMELD_CLI_PATH + " " +
                                    arguments + " >.stdout 2>.stderr </dev/null";
        const int status = std::system(command.c_str());
        Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(".stdout"), Read(".stderr")};
        for (const char* name : {".stdout", ".stderr"}) std::filesystem::remove(dir.File(name));
        return r;
    }
    // Runs a command that must succeed with nothing on stderr; returns its output.
    std::string Ok(const std::string& arguments) const {
        const Result r = Run(arguments);
        EXPECT_EQ(r.status, 0) << arguments << ": " << r.err;
        EXPECT_EQ(r.err, "") << arguments;
        return r.out;
    }
    // The cells of a map file, written out as raw little-endian int16 by the tool.
    std::vector<int> CellsOf(const std::string& map) const {
        Ok("export " + map + " cells.raw");
        const std::string b = Read("cells.raw");
        std::vector<int> cells;
        for (std::size_t i = 0; i + 1 < b.size(); i += 2)
            cells.push_back(
                static_cast<std::int16_t>(static_cast<std::uint8_t>(b[i]) | b[i + 1] << 8));
        return cells;
    }

    TempDir dir;
};

TEST_F(ZumeldCli, VersionAndHelpOnEveryCommand) {
    EXPECT_EQ(Ok("--version").rfind("zumeld ", 0), 0u);
    for (std::string cmd :
         {"generate", "render", "info", "convert", "edit", "import", "export", "serve", "tiles"})
        for (const char* flag : {" --help", " -h"})
            EXPECT_NE(Ok(cmd + flag).find("usage: zumeld " + cmd), std::string::npos) << cmd;
    ExpectOneLineError(Run("frobnicate"), 2);
    EXPECT_EQ(Run("").status, 2);
}

TEST_F(ZumeldCli, EachCommandOnGoodInput) {
    Ok("generate --size 96x64 -o s.elv");
    EXPECT_NE(Ok("info s.elv").find("96"), std::string::npos);
    Ok("convert s.elv j.elv --jpeg --quality=80");
    Ok("render s.elv --output=p.png --size 48x32");
    Ok("--threads 3 render s.elv -o p3.png --size 48x32 --png-level 1");
    EXPECT_EQ(Read("p3.png"), Read("p.png"));
    Ok("render j.elv -o p.bmp");
    EXPECT_NE(Ok("info s.elv").find("encoding: 2 (delta and run)"), std::string::npos);
    EXPECT_NE(Ok("info j.elv").find("compressed image: yes"), std::string::npos);
    Ok("convert j.elv d.elv");  // back to delta and run: the cells the compressed record reads as
    EXPECT_NE(Ok("info d.elv").find("compressed image: no"), std::string::npos);
    EXPECT_EQ(CellsOf("d.elv"), CellsOf("j.elv"));
    EXPECT_EQ(Read("p.png").substr(1, 3), "PNG");
    EXPECT_EQ(Read("p.bmp").substr(0, 2), "BM");
    // render takes any heightmap import reads.
    Ok("export s.elv s.png");
    Ok("render s.png -o q.png --size 48x32");
    EXPECT_EQ(Read("q.png"), Read("p.png"));
    Ok("export s.elv s.raw");
    Ok("render s.raw --raw-size 96x64 -o r.png --size=48x32");
    EXPECT_EQ(Read("r.png"), Read("p.png"));
    // One option grammar everywhere: -oFILE, --opt=value, and "--" ending the options.
    Ok("generate -og.elv --size=8x4 --seed=3");
    Ok("generate --output g2.elv --size 8x4 --seed 3");
    EXPECT_EQ(Read("g.elv"), Read("g2.elv"));
    EXPECT_NE(Ok("info -- g.elv").find("width: 8"), std::string::npos);
    // edit reads heightmaps too: a quarter turn of the 96 x 64 map is 64 x 96.
    Ok("edit s.png t.elv --rotate=90");
    EXPECT_NE(Ok("info t.elv").find("width: 64"), std::string::npos);
    // Edits run in the order given. 1 2 3 / 4 5 6 turned by 90 reads 3 6 / 2 5 / 1 4, then the
    // top-left cell sinks by 5 to sea; the other way round the cell 1 sinks before the turn.
    Write("m.elv", Words({0, 3, 2, 1, 2, 3, 4, 5, 6}));
    Ok("edit m.elv e.elv --rotate 90 --sink 5,0,0,1,1");
    EXPECT_NE(Ok("info e.elv").find("width: 2\nheight: 3\n"), std::string::npos);
    EXPECT_EQ(CellsOf("e.elv"), (std::vector<int>{0, 6, 2, 5, 1, 4}));
    Ok("edit m.elv e.elv --sink 5,0,0,1,1 --rotate -270 --crop 0,1,2,2");
    EXPECT_EQ(CellsOf("e.elv"), (std::vector<int>{2, 5, 0, 4}));
}

// The built-in sample is an island at any size and seed: sea along every edge, about 40 %
// sea in all, peaks at 3000.
TEST_F(ZumeldCli, SampleMapIsAnIslandInsideTheFrame) {
    for (const auto& [w, h, seed] : {std::tuple{1024, 768, 1}, {200, 120, 7}, {300, 40, 2}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Ok("generate --size " + std::to_string(w) + "x" + std::to_string(h) + " --seed " +
           std::to_string(seed) + " -o i.elv");
        const std::vector<int> cells = CellsOf("i.elv");
        int sea = 0, peak = 0, landOnEdge = 0;
        for (int k = 0; k < w * h; ++k) {
            sea += cells[k] == 0;
            peak = std::max(peak, cells[k]);
            const int i = k % w, j = k / w;
            landOnEdge += (i == 0 || j == 0 || i == w - 1 || j == h - 1) && cells[k] != 0;
        }
        EXPECT_EQ(landOnEdge, 0);
        EXPECT_NEAR(sea, 0.4 * w * h, 0.03 * w * h);
        EXPECT_GE(peak, 2999);
    }
}

TEST_F(ZumeldCli, EveryFormatRoundTripsExactly) {
    Ok("generate --size 200x120 --seed 7 -o s.elv");
    Ok("convert s.elv s.elv");  // same path in and out
    const std::string original = Read("s.elv");
    for (std::string file : {"m.png", "m.PGM", "m.raw", "m.asc", "m.elv"}) {
        Ok("export s.elv " + file);
        Ok("import " + file + " back.elv" + (file == "m.raw" ? " --size 200x120" : ""));
        EXPECT_EQ(Read("back.elv"), original) << file;
    }
    // Negative elevations: raw keeps them; PNG needs an offset, and refuses without one.
    const std::vector<int> cells = {-32768, -5, 0, 1, 32767, 200};
    Write("n.elv", Words({0, 3, 2}) + Words(cells));
    EXPECT_EQ(CellsOf("n.elv"), cells);
    ExpectOneLineError(Run("export n.elv n.png"), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("n.png")));
    Ok("export n.elv n.png --offset 32768");
    Ok("import n.png n2.elv --offset=-32768");
    EXPECT_EQ(CellsOf("n2.elv"), cells);
}

// Hand-made files with known samples; expected elevations worked out by hand.
TEST_F(ZumeldCli, ImportMapsValuesByScaleOffsetAndSeaLevel) {
    // 16-bit PGM with a comment, maxval 1000, big-endian samples 0 1 500 / 999 1000 7.
    std::string pgm = "P5\n# c\n3 2\n1000\n";
    for (int v : {0, 1, 500, 999, 1000, 7})
        pgm += {static_cast<char>(v >> 8), static_cast<char>(v)};
    Write("h.pgm", pgm);
    Write("v.elv", Words({0, 2, 2, -3, 0, 10, 32767}));
    // ASCII grid: NODATA is sea; halves round away from zero.
    Write("g.asc",
          "NCOLS 2\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 30\n"
          "NODATA_value -9999\n1.5 -9999\n 2.5e0\t-3.5\n");
    const std::pair<std::string, std::vector<int>> cases[] = {
        // value * 2 - 1, then at or below 0 -> 0.
        {"h.pgm out.elv --scale 2 --offset -1 --sea-level 0", {0, 1, 999, 1997, 1999, 13}},
        {"h.pgm out.elv --scale 40 --offset -20000", {-20000, -19960, 0, 19960, 20000, -19720}},
        {"h.pgm out.elv --scale 100", {0, 100, 32767, 32767, 32767, 700}},  // clamped to 16 bits
        // 12.5 rounds away from zero; -0.5 and 2.5 are at or below the sea level.
        {"v.elv out.elv --offset 2.5 --sea-level 3", {0, 0, 13, 32767}},
        {"g.asc out.elv", {2, 0, 3, -4}},
    };
    for (const auto& [args, cells] : cases) {
        EXPECT_EQ(Run("import " + args).status, 0) << args;  // clamping warns on stderr
        EXPECT_EQ(CellsOf("out.elv"), cells) << args;
    }
    // 8-bit PNG: elevations halved on export, read back as they are; PGM at 16 bits by default:
    // maxval 65535, big-endian samples.
    Write("e.elv", Words({0, 3, 1, 0, 10, 510}));
    Ok("export e.elv e.png --bits 8 --scale 0.5");
    Ok("export e.elv e.pgm");
    EXPECT_EQ(Read("e.png").substr(24, 2), std::string("\x08\x00", 2)) << "8-bit greyscale";
    Ok("import e.png e2.elv");
    EXPECT_EQ(CellsOf("e2.elv"), (std::vector<int>{0, 5, 255}));
    EXPECT_EQ(Read("e.pgm"), std::string("P5\n3 1\n65535\n\0\0\0\n\1\xFE", 19));
}

TEST_F(ZumeldCli, BadInputIsRefusedWithNothingWritten) {
    Ok("generate --size 16x8 -o s.elv");
    Write("cut.elv", Read("s.elv").substr(0, Read("s.elv").size() / 2));
    Write("odd.raw", "abc");
    Write("tiny.elv", std::string("\0\0\1", 3));
    Write("few.elv", Words({2, 2, 2, 1, 0}) + "\x05");  // a stream of one cell for four
    std::string unreadable;  // each of these files fails `import FILE out.elv` with status 1
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"hello.png", "hello, not a picture"},
             {"bad.pgm", "P6\n2 2\n255\nabcdefghijkl"},
             {"short.pgm", "P5\n4 4\n255\nabc"},
             {"over.pgm", "P5\n2 1\n10\n\x05\x0b"},
             {"huge.pgm", "P5\n99999 99999\n255\n"},
             {"zero.pgm", "P5\n0 4\n255\n"},
             {"few.asc", "ncols 3\nnrows 2\n1 2 3 4\n"},
             {"many.asc", "ncols 1\nnrows 1\n1 2\n"},
             {"word.asc", "ncols 1\nnrows 1\nzebra\n"}}) {
        Write(name, text);
        unreadable += "import " + name + " out.elv;";
    }
    const std::set<std::string> before = dir.Listing();
    // Status 1: the input or the work failed; status 2: the command line is wrong.
    const std::pair<int, std::string> cases[] = {
        {1, unreadable +
                "import missing.png out.elv; import odd.raw out.elv --size 2x1;"
                "export cut.elv out.png; export tiny.elv out.png; info cut.elv; info few.elv;"
                "export s.elv out.png --scale 1000; render hello.png -o out.png;"
                "export s.elv out.raw --offset -40000; edit s.elv out.elv --resize 60000,60000"},
        {2,
         "import odd.raw out.elv; import odd.raw out.elv --size 0x5; import s.elv;"
         "import odd.raw out.elv --size 40000x1; import odd.raw out.elv --size 2by1;"
         "import s.elv out.elv --scale abc; import s.elv out.elv --scale; import s.txt out.elv;"
         "import s.elv out.elv --offset=inf; import s.elv out.png; render s.elv out.png;"
         "import s.elv out.elv --jpeg; export s.elv out.png --bits 12;"
         "export s.elv out.elv --scale 2; render s.elv -o out.png --no-shade=yes;"
         "convert s.elv out.elv --quality 101 --jpeg; render s.elv -o out.png --png-level 10;"
         "--threads 0 info s.elv; --threads=x info s.elv; --threads; edit s.elv;"
         "edit s.elv out.elv --resize 3; edit s.elv out.elv --sector 90,100;"
         "edit s.elv out.elv --sink 40000,0,0,1,1; edit s.elv out.elv --sink 1,0,0,1,1,up;"
         "edit s.elv out.elv --barrel 1,nan,0; edit s.elv out.elv --rotate 1.5;"
         "edit s.elv out.elv --wobble 3; edit s.elv out.elv --rotate"}};
    for (const auto& [status, commands] : cases) {
        std::istringstream list(commands);
        for (std::string args; std::getline(list >> std::ws, args, ';');) {
            SCOPED_TRACE(args);
            ExpectOneLineError(Run(args), status);
            EXPECT_EQ(dir.Listing(), before);  // no output, no temporary file
        }
    }
}

// What a user meets on the way: each row a command, its exit status, a fragment of what it
// says (stdout and stderr), and the files it leaves that were not there before.
TEST_F(ZumeldCli, NoSurprisesNoSilentLoss) {
    Ok("generate --size 96x64 -o a.elv");
    Ok("export a.elv a.raw");
    Ok("export a.elv a.png");
    Ok("export a.elv full.png --scale 21.845");  // peaks at 65535, as terrain editors export
    Write("neg.elv", Words({0, 2, 1, -5, 7}));
    Write("wide.pgm", "P5\n40000 2\n255\n" + std::string(80000, '\5'));
    std::filesystem::create_directory(dir.File("d"));
    Quobel::CControlBmp rgb;  // a grey picture stored as RGB, and one with a coloured pixel
    ASSERT_TRUE(rgb.CreateBitmap(3, 2, 24, 0, nullptr));
    for (int k = 0; k < 18; ++k)
        rgb.GetBufferPtr()[k % 9 + k / 9 * rgb.GetWidthBytes()] = k / 3 * 40;
    for (const char* name : {"grey.png", "colour.png"}) {
        const std::vector<std::uint8_t> png = zumeld_formats::EncodePng(rgb);
        Write(name, std::string(png.begin(), png.end()));
        rgb.GetBufferPtr()[0] = 1;
    }
    struct Case {
        std::string args;
        int status;
        std::string fragment;
        std::set<std::string> made;
    };
    const Case cases[] = {
        {"render a.elv -o a.elv", 2, "is also an input", {}},  // 1
        {"render a.elv -o x.jpg", 2, "must end in .png, .bmp or .tif", {}},
        {"edit a.elv a.elv --rotate 180", 0, "", {}},
        {"generate --size 8x4 -o -", 0, std::string("\2\0\10\0\4\0", 6), {}},  // 2: stdout
        {"render a.elv -o nosuch/sub/x.png", 1, "folder 'nosuch/sub' does not exist", {}},  // 4
        {"import full.png f.elv",
         0,
         "clamped: values reaching 65535 map above 32767; --scale 0.499",
         {"f.elv"}},  // 5
        {"import full.png f.elv --fit-range", 0, "", {"f.elv"}},
        {"render full.png -o f.png --fit-range --scale 2", 2, "--fit-range", {}},
        {"import grey.png g.elv", 0, "", {"g.elv"}},  // 6
        {"import colour.png g.elv", 1, "a colour picture (pixel 0, 1 is not grey)", {}},
        {"info neg.elv", 0, "below sea level: 50.0 % (1 cells below 0, drawn as sea)", {}},  // 8
        {"generate --size 32767x32767 -o b.elv", 2, "more than a map holds", {}},            // 9
        {"render --help", 0, "a picture holds at most 16384 x 16384 pixels", {}},
        {"import wide.pgm w.elv --fit 400x400", 0, "", {"w.elv"}},
        {"edit a.raw e.elv --raw-size 96x64 --flatten", 0, "", {"e.elv"}},         // 12
        {"render a.elv -o c.png --colors auto --exaggerate 3", 0, "", {"c.png"}},  // 7
        {"render a.elv -o q.png --quiet", 0, "", {"q.png"}},       // 10: no progress line
        {"render a.elv -o x.png -o y.png", 2, "given twice", {}},  // 11
        {"export a.elv x.raw --bits 8", 2, "applies to a .png or .pgm output only", {}},
        {"render a.elv -o x.png --color 112233", 2, "only with --no-texture", {}},
        {"render a.elv -o x.png --season 2", 0, "season 2 looks as season 0", {"x.png"}},
        {"edit a.elv b.elv --sink 5,200,0,5,5", 2, "covers no cell of the 96 x 64 map", {}},
        {"render a.elv -o d/", 2, "is a folder", {}},  // 13
        {"render a.elv out.png", 2, "given with -o out.png", {}},
        {"info a.png", 1, "is a PNG picture, not an elevation (.elv) file; 'zumeld import'", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::set<std::string> before = dir.Listing();
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE((r.out + r.err).find(c.fragment), std::string::npos) << r.out << r.err;
        std::set<std::string> made;
        for (const std::string& name : dir.Listing())
            if (!before.count(name)) made.insert(name);
        EXPECT_EQ(made, c.made);
        for (const std::string& name : made) std::filesystem::remove(dir.File(name));
    }
    EXPECT_EQ(CellsOf("a.elv").size(), 96u * 64u);  // still the map, turned in place

    // 3: a command ended by SIGTERM while it writes leaves no temporary file.
    const std::set<std::string> before = dir.Listing();
    const std::string out = dir.File("big.png");
    const char* argv[] = {ZUMELD_CLI_PATH, "render", "--size", "4096x4096",
                          "--png-level",   "9",      "-o",     out.c_str(),
                          nullptr};
    pid_t pid = 0;
    ASSERT_EQ(
        posix_spawn(&pid, ZUMELD_CLI_PATH, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    int status = 0;
    pid_t ended = 0;  // the temporary file appears once the picture is being written
    while (dir.Listing() == before && (ended = waitpid(pid, &status, WNOHANG)) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(ended, 0) << "ended before it wrote: " << status;
    kill(pid, SIGTERM);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(dir.Listing(), before);
}

// GeoTIFF in and out: the export round trip, georeferenced pictures of an area, --like,
// and a raster larger than a map refused until --fit reduces it.
TEST_F(ZumeldCli, GeoTiffRoundTripAndGeoreferencedPictures) {
    Ok("generate --size 300x200 --seed 5 -o s.elv");
    Ok("export s.elv s.tif");
    Ok("import s.tif back.elv");
    EXPECT_EQ(Read("back.elv"), Read("s.elv"));
    // 30 m cells of WGS 84 / UTM 32N, top-left corner at (500000, 5000000).
    const std::vector<std::uint16_t> utm32 = {1, 1, 0, 2, 1025, 0, 1, 1, 3072, 0, 1, 32632};
    WriteTiff(dir.File("dem.tif"),
              {.width = 300,
               .height = 200,
               .scale = {30, 30, 0},
               .tie = {0, 0, 0, 5e5, 5e6, 0},
               .keys = utm32},
              [](int x, int y) { return x * y % 700; });
    Ok("render dem.tif -o r.tif --area 10,20,100,50 --size 200x100");
    Ok("render dem.tif -o r.png --area 10,20,100,50 --size 200x100");
    Ok("export s.elv like.tif --like dem.tif");
    const auto geo = zumeld_formats::ReadGeoTiffGeoReference(dir.File("r.tif")).value();
    EXPECT_EQ(geo.transform, (std::array<double, 6>{500300, 15, 0, 4999400, 0, -15}));
    EXPECT_EQ(geo.keys, utm32);
    EXPECT_EQ(Read("r.pgw"), "15\n0\n0\n-15\n500307.5\n4999392.5\n");  // pixel centres
    EXPECT_EQ(zumeld_formats::ReadGeoTiffGeoReference(dir.File("like.tif"))->transform,
              (std::array<double, 6>{5e5, 30, 0, 5e6, 0, -30}));

    WriteTiff(dir.File("big.tif"), {.bits = 8, .width = 40000, .height = 350},
              [](int, int) { return 5; });
    const std::set<std::string> before = dir.Listing();
    const Result r = Run("import big.tif big.elv");
    ExpectOneLineError(r, 1);
    EXPECT_NE(r.err.find("--fit"), std::string::npos);
    EXPECT_EQ(dir.Listing(), before);
    Ok("import big.tif big.elv --fit 400x400");
    EXPECT_NE(Ok("info big.elv").find("width: 400\nheight: 4\n"), std::string::npos);  // 3.5 up

    if (std::system("command -v gdalinfo >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gdalinfo is not installed: GDAL's reading of the picture is not checked";
    ASSERT_EQ(std::system(("cd '" + dir.path().string() + "' && gdalinfo r.tif >gdal.txt").c_str()),
              0);
    for (const char* line :
         {"Origin = (500300.000000000000000,4999400.000000000000000)",
          "Pixel Size = (15.000000000000000,-15.000000000000000)", "UTM zone 32N"})
        EXPECT_NE(Read("gdal.txt").find(line), std::string::npos) << line;
}

}  // namespace
