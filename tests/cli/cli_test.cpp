// The zumeld binary end to end: every subcommand on good input, every heightmap format
// round trip, hand-made heightmaps read with known values, and bad input refused with one
// line on stderr, the right exit status and no output file (nor temporary file) left behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Runs the tool in `dir` with the arguments (a shell word list).
Result Zumeld(const TempDir& dir, const std::string& arguments) {
    const std::string out = dir.File(".stdout"), err = dir.File(".stderr");
    const std::string command = "cd '" + dir.path().string() + "' && " + ZUMELD_CLI_PATH + " " +
                                arguments + " >'" + out + "' 2>'" + err + "' </dev/null";
    const int status = std::system(command.c_str());
    Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

std::set<std::string> Listing(const TempDir& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.insert(e.path().filename().string());
    return names;
}

// Little-endian 16-bit words. An .elv file in the raw encoding is 0, width, height, cells.
std::string Words(const std::vector<int>& words) {
    std::string b;
    for (int v : words) b += {static_cast<char>(v), static_cast<char>(v >> 8)};
    return b;
}

// The cells of a map file, written out as raw little-endian int16 by the tool.
std::vector<int> CellsOf(const TempDir& dir, const std::string& map) {
    const Result r = Zumeld(dir, "export " + map + " cells.raw");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string b = ReadFile(dir.File("cells.raw"));
    std::filesystem::remove(dir.File("cells.raw"));
    std::vector<int> cells;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2)
        cells.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(b[i]) | b[i + 1] << 8));
    return cells;
}

void ExpectOneLineError(const Result& r, int status) {
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_TRUE(r.err.rfind("zumeld: ", 0) == 0 && r.err.find('\n') == r.err.size() - 1)
        << "not one line of error: " << r.err;
}

TEST(ZumeldCli, VersionAndHelpOnEveryCommand) {
    TempDir dir;
    const Result v = Zumeld(dir, "--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("zumeld ", 0), 0u) << v.out;
    for (std::string cmd : {"generate", "render", "info", "convert", "edit", "import", "export"})
        for (const char* flag : {" --help", " -h"}) {
            const Result r = Zumeld(dir, cmd + flag);
            EXPECT_EQ(r.status, 0) << cmd;
            EXPECT_NE(r.out.find("usage: zumeld " + cmd), std::string::npos) << cmd;
            EXPECT_EQ(r.err, "") << cmd;
        }
    ExpectOneLineError(Zumeld(dir, "frobnicate"), 2);
    EXPECT_EQ(Zumeld(dir, "").status, 2);
}

TEST(ZumeldCli, EachCommandOnGoodInput) {
    TempDir dir;
    auto run = [&](const std::string& args) {
        const Result r = Zumeld(dir, args);
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        EXPECT_EQ(r.err, "") << args << ": nothing on stderr on success";
        return r.out;
    };
    run("generate --size 96x64 -o s.elv");
    EXPECT_NE(run("info s.elv").find("96"), std::string::npos);
    run("convert s.elv j.elv --jpeg --quality=80");
    run("render s.elv --output=p.png --size 48x32");
    run("render j.elv -o p.bmp");
    EXPECT_EQ(ReadFile(dir.File("p.png")).substr(1, 3), "PNG");
    EXPECT_EQ(ReadFile(dir.File("p.bmp")).substr(0, 2), "BM");
    // render takes any heightmap import reads.
    run("export s.elv s.png");
    run("render s.png -o q.png --size 48x32");
    EXPECT_EQ(ReadFile(dir.File("q.png")), ReadFile(dir.File("p.png")));
    run("export s.elv s.raw");
    run("render s.raw --raw-size 96x64 -o r.png --size=48x32");
    EXPECT_EQ(ReadFile(dir.File("r.png")), ReadFile(dir.File("p.png")));
    // One option grammar everywhere: -oFILE, --opt=value, and "--" ending the options.
    run("generate -og.elv --size=8x4 --seed=3");
    run("generate --output g2.elv --size 8x4 --seed 3");
    EXPECT_EQ(ReadFile(dir.File("g.elv")), ReadFile(dir.File("g2.elv")));
    EXPECT_NE(run("info -- g.elv").find("width: 8"), std::string::npos);
    // edit reads heightmaps too: a quarter turn of the 96 x 64 map is 64 x 96.
    run("edit s.png t.elv --rotate=90");
    EXPECT_NE(run("info t.elv").find("width: 64"), std::string::npos);
    run("import s.png t.elv");
    run("export s.elv t.pgm");
}

TEST(ZumeldCli, EveryFormatRoundTripsExactly) {
    TempDir dir;
    ASSERT_EQ(Zumeld(dir, "generate --size 200x120 --seed 7 -o s.elv").status, 0);
    ASSERT_EQ(Zumeld(dir, "convert s.elv s.elv").status, 0);  // same path in and out
    const std::string original = ReadFile(dir.File("s.elv"));
    for (std::string file : {"m.png", "m.PGM", "m.raw", "m.asc", "m.elv"}) {
        const std::string size = file == "m.raw" ? " --size 200x120" : "";
        ASSERT_EQ(Zumeld(dir, "export s.elv " + file).status, 0) << file;
        ASSERT_EQ(Zumeld(dir, "import " + file + " back.elv" + size).status, 0) << file;
        EXPECT_EQ(ReadFile(dir.File("back.elv")), original) << file;
    }

    // Negative elevations: raw keeps them; PNG needs an offset, and refuses without one.
    const std::vector<int> cells = {-32768, -5, 0, 1, 32767, 200};
    WriteFile(dir.File("n.elv"), Words({0, 3, 2}) + Words(cells));
    EXPECT_EQ(CellsOf(dir, "n.elv"), cells);
    ExpectOneLineError(Zumeld(dir, "export n.elv n.png"), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("n.png")));
    ASSERT_EQ(Zumeld(dir, "export n.elv n.png --offset 32768").status, 0);
    ASSERT_EQ(Zumeld(dir, "import n.png n2.elv --offset=-32768").status, 0);
    EXPECT_EQ(CellsOf(dir, "n2.elv"), cells);
}

// Hand-made files with known samples; expected elevations worked out by hand.
TEST(ZumeldCli, ImportMapsValuesByScaleOffsetAndSeaLevel) {
    TempDir dir;
    // 16-bit PGM with a comment, maxval 1000, big-endian samples 0 1 500 / 999 1000 7.
    std::string pgm = "P5\n# c\n3 2\n1000\n";
    for (int v : {0, 1, 500, 999, 1000, 7})
        pgm += {static_cast<char>(v >> 8), static_cast<char>(v)};
    WriteFile(dir.File("h.pgm"), pgm);
    WriteFile(dir.File("v.elv"), Words({0, 2, 2, -3, 0, 10, 32767}));
    // ASCII grid: NODATA is sea; halves round away from zero.
    WriteFile(dir.File("g.asc"),
              std::string("NCOLS 2\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 30\n"
                          "NODATA_value -9999\n1.5 -9999\n 2.5e0\t-3.5\n"));
    const struct {
        const char *source, *options;
        std::vector<int> cells;
    } cases[] = {
        // value * 2 - 1, then at or below 0 -> 0.
        {"h.pgm", "--scale 2 --offset -1 --sea-level 0", {0, 1, 999, 1997, 1999, 13}},
        {"h.pgm", "--scale 40 --offset -20000", {-20000, -19960, 0, 19960, 20000, -19720}},
        {"h.pgm", "--scale 100", {0, 100, 32767, 32767, 32767, 700}},  // clamped to 16 bits
        // 12.5 rounds away from zero; -0.5 and 2.5 are at or below the sea level.
        {"v.elv", "--offset 2.5 --sea-level 3", {0, 0, 13, 32767}},
        {"g.asc", "", {2, 0, 3, -4}},
    };
    for (const auto& c : cases) {
        const std::string args = std::string("import ") + c.source + " out.elv " + c.options;
        ASSERT_EQ(Zumeld(dir, args).status, 0) << args;
        EXPECT_EQ(CellsOf(dir, "out.elv"), c.cells) << args;
    }

    // 8-bit PNG: elevations halved on export, read back as they are.
    WriteFile(dir.File("e.elv"), Words({0, 3, 1, 0, 10, 510}));
    ASSERT_EQ(Zumeld(dir, "export e.elv e.png --bits 8 --scale 0.5").status, 0);
    const std::string png = ReadFile(dir.File("e.png"));
    ASSERT_GT(png.size(), 25u);
    EXPECT_EQ(png.substr(24, 2), std::string("\x08\x00", 2)) << "8-bit greyscale";
    ASSERT_EQ(Zumeld(dir, "import e.png e2.elv").status, 0);
    EXPECT_EQ(CellsOf(dir, "e2.elv"), (std::vector<int>{0, 5, 255}));

    // PGM written at 16 bits by default: maxval 65535, big-endian samples.
    ASSERT_EQ(Zumeld(dir, "export e.elv e.pgm").status, 0);
    EXPECT_EQ(ReadFile(dir.File("e.pgm")), std::string("P5\n3 1\n65535\n\0\0\0\n\1\xFE", 19));
}

TEST(ZumeldCli, BadInputIsRefusedWithNothingWritten) {
    TempDir dir;
    ASSERT_EQ(Zumeld(dir, "generate --size 16x8 -o s.elv").status, 0);
    for (const auto& [name, text] : std::vector<std::pair<const char*, std::string>>{
             {"hello.png", "hello, not a picture"},
             {"bad.pgm", "P6\n2 2\n255\nabcdefghijkl"},
             {"short.pgm", "P5\n4 4\n255\nabc"},
             {"over.pgm", "P5\n2 1\n10\n\x05\x0b"},
             {"huge.pgm", "P5\n99999 99999\n255\n"},
             {"zero.pgm", "P5\n0 4\n255\n"},
             {"few.asc", "ncols 3\nnrows 2\n1 2 3 4\n"},
             {"many.asc", "ncols 1\nnrows 1\n1 2\n"},
             {"word.asc", "ncols 1\nnrows 1\nzebra\n"},
             {"odd.raw", "abc"},
             {"tiny.elv", std::string("\0\0\1", 3)}})
        WriteFile(dir.File(name), text);
    std::string elv = ReadFile(dir.File("s.elv"));
    elv.resize(elv.size() / 2);
    WriteFile(dir.File("cut.elv"), elv);
    const std::set<std::string> before = Listing(dir);

    // Status 1: the input or the work failed; status 2: the command line is wrong.
    const std::vector<const char*> failures = {"import missing.png out.elv",
                                               "import hello.png out.elv",
                                               "import bad.pgm out.elv",
                                               "import short.pgm out.elv",
                                               "import over.pgm out.elv",
                                               "import huge.pgm out.elv",
                                               "import zero.pgm out.elv",
                                               "import few.asc out.elv",
                                               "import many.asc out.elv",
                                               "import word.asc out.elv",
                                               "import odd.raw out.elv --size 2x1",
                                               "export cut.elv out.png",
                                               "export tiny.elv out.png",
                                               "export s.elv out.png --scale 1000",
                                               "export s.elv out.raw --offset -40000",
                                               "render hello.png -o out.png",
                                               "info cut.elv",
                                               "convert tiny.elv out.elv"};
    const std::vector<const char*> usage = {"import odd.raw out.elv",
                                            "import odd.raw out.elv --size 0x5",
                                            "import odd.raw out.elv --size 40000x1",
                                            "import odd.raw out.elv --size 2by1",
                                            "import s.elv out.elv --scale abc",
                                            "import s.elv out.elv --scale",
                                            "import s.elv out.elv --offset=inf",
                                            "import s.elv out.png",
                                            "import s.txt out.elv",
                                            "import s.elv",
                                            "import s.elv out.elv --jpeg",
                                            "export s.elv out.png --bits 12",
                                            "export s.elv out.txt",
                                            "export s.elv out.elv --scale 2",
                                            "render s.elv -o out.png --size 0x0",
                                            "render s.elv -o out.png --no-shade=yes",
                                            "render s.elv out.png",
                                            "convert s.elv out.elv --quality 101 --jpeg"};
    for (int status : {1, 2})
        for (const char* args : status == 1 ? failures : usage) {
            SCOPED_TRACE(args);
            ExpectOneLineError(Zumeld(dir, args), status);
            EXPECT_EQ(Listing(dir), before);  // no output, no temporary file
        }
}

}  // namespace
