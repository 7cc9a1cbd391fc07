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

using Bytes = std::vector<std::uint8_t>;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
    WriteFile(path, Bytes(text.begin(), text.end()));
}

std::string Text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// Runs the tool in `dir` with the arguments (a shell word list).
Result Zumeld(const TempDir& dir, const std::string& arguments) {
    const std::string out = dir.File(".stdout"), err = dir.File(".stderr");
    const std::string command = "cd '" + dir.path().string() + "' && " +
                                std::string(ZUMELD_CLI_PATH) + " " + arguments + " >'" + out +
                                "' 2>'" + err + "' </dev/null";
    const int status = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Text(ReadFile(out));
    r.err = Text(ReadFile(err));
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

// The names in the folder (the captured output files excluded).
std::set<std::string> Listing(const TempDir& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.insert(e.path().filename().string());
    return names;
}

// An .elv file in the raw encoding: encoding 0, width, height, then the cells, all
// little-endian 16-bit.
Bytes RawElv(int width, int height, const std::vector<int>& cells) {
    Bytes b;
    auto put = [&](int v) {
        b.push_back(static_cast<std::uint8_t>(v & 0xFF));
        b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    };
    put(0);
    put(width);
    put(height);
    for (int c : cells) put(c);
    return b;
}

// Little-endian int16 samples of a .raw file.
std::vector<int> RawSamples(const Bytes& b) {
    std::vector<int> v;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2)
        v.push_back(static_cast<std::int16_t>(b[i] | (b[i + 1] << 8)));
    return v;
}

// The cells of a map file, written out as raw int16 by the tool.
std::vector<int> CellsOf(const TempDir& dir, const std::string& map) {
    const Result r = Zumeld(dir, "export " + map + " cells.raw");
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<int> cells = RawSamples(ReadFile(dir.File("cells.raw")));
    std::filesystem::remove(dir.File("cells.raw"));
    return cells;
}

void ExpectOneLineError(const Result& r, int status) {
    EXPECT_EQ(r.status, status) << r.err;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.rfind("zumeld: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
}

TEST(ZumeldCli, VersionAndHelpOnEveryCommand) {
    TempDir dir;
    const Result v = Zumeld(dir, "--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("zumeld ", 0), 0u) << v.out;
    for (const char* cmd : {"generate", "render", "info", "convert", "edit", "import", "export"}) {
        for (const char* flag : {"--help", "-h"}) {
            const Result r = Zumeld(dir, std::string(cmd) + " " + flag);
            EXPECT_EQ(r.status, 0) << cmd;
            EXPECT_NE(r.out.find("usage: zumeld " + std::string(cmd)), std::string::npos) << cmd;
            EXPECT_TRUE(r.err.empty()) << cmd << ": " << r.err;
        }
    }
    ExpectOneLineError(Zumeld(dir, "frobnicate"), 2);
    EXPECT_EQ(Zumeld(dir, "").status, 2);
}

TEST(ZumeldCli, EachCommandOnGoodInput) {
    TempDir dir;
    EXPECT_EQ(Zumeld(dir, "generate --size 96x64 -o s.elv").status, 0);
    const Result info = Zumeld(dir, "info s.elv");
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("96"), std::string::npos);
    EXPECT_EQ(Zumeld(dir, "convert s.elv j.elv --jpeg --quality=80").status, 0);
    EXPECT_EQ(Zumeld(dir, "render s.elv --output=p.png --size 48x32").status, 0);
    EXPECT_EQ(Zumeld(dir, "render j.elv -o p.bmp").status, 0);
    EXPECT_EQ(Text(ReadFile(dir.File("p.png"))).substr(1, 3), "PNG");
    EXPECT_EQ(Text(ReadFile(dir.File("p.bmp"))).substr(0, 2), "BM");
    // render takes any heightmap import reads.
    EXPECT_EQ(Zumeld(dir, "export s.elv s.png").status, 0);
    EXPECT_EQ(Zumeld(dir, "render s.png -o q.png --size 48x32").status, 0);
    EXPECT_EQ(ReadFile(dir.File("q.png")), ReadFile(dir.File("p.png")));
    EXPECT_EQ(Zumeld(dir, "export s.elv s.raw").status, 0);
    EXPECT_EQ(Zumeld(dir, "render s.raw --raw-size 96x64 -o r.png --size=48x32").status, 0);
    EXPECT_EQ(ReadFile(dir.File("r.png")), ReadFile(dir.File("p.png")));
    // One option grammar everywhere: -oFILE, --opt=value, and "--" ending the options.
    EXPECT_EQ(Zumeld(dir, "generate -og.elv --size=8x4 --seed=3").status, 0);
    EXPECT_EQ(Zumeld(dir, "generate --output g2.elv --size 8x4 --seed 3").status, 0);
    EXPECT_EQ(ReadFile(dir.File("g.elv")), ReadFile(dir.File("g2.elv")));
    EXPECT_NE(Zumeld(dir, "info -- g.elv").out.find("width: 8"), std::string::npos);
    // edit reads heightmaps too: a quarter turn of the 96 x 64 map is 64 x 96.
    EXPECT_EQ(Zumeld(dir, "edit s.png t.elv --rotate=90").status, 0);
    EXPECT_NE(Zumeld(dir, "info t.elv").out.find("width: 64"), std::string::npos);
    // No command writes anything on stderr when it succeeds (and no progress bar when
    // stderr is not a terminal).
    for (const char* args : {"import s.png t.elv", "export s.elv t.pgm", "info t.elv"})
        EXPECT_TRUE(Zumeld(dir, args).err.empty()) << args;
}

// Export then import gives back the same .elv bytes through every exact format.
TEST(ZumeldCli, EveryFormatRoundTripsExactly) {
    TempDir dir;
    ASSERT_EQ(Zumeld(dir, "generate --size 200x120 --seed 7 -o s.elv").status, 0);
    ASSERT_EQ(Zumeld(dir, "convert s.elv s.elv").status, 0);  // same path in and out
    const Bytes original = ReadFile(dir.File("s.elv"));
    struct Case {
        const char* file;
        const char* importOptions;
    } cases[] = {
        {"m.png", ""}, {"m.PGM", ""}, {"m.raw", "--size 200x120"}, {"m.asc", ""}, {"m.elv", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(Zumeld(dir, std::string("export s.elv ") + c.file).status, 0);
        ASSERT_EQ(
            Zumeld(dir, std::string("import ") + c.file + " back.elv " + c.importOptions).status,
            0);
        EXPECT_EQ(ReadFile(dir.File("back.elv")), original);
    }

    // Negative elevations: raw keeps them; PNG needs an offset, and refuses without one.
    const std::vector<int> cells = {-32768, -5, 0, 1, 32767, 200};
    WriteFile(dir.File("n.elv"), RawElv(3, 2, cells));
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
    // 16-bit PGM, maxval 1000, big-endian samples 0 1 500 / 999 1000 7.
    Bytes pgm = {'P', '5', '\n', '#', ' ', 'c', '\n', '3',
                 ' ', '2', '\n', '1', '0', '0', '0',  '\n'};
    for (int v : {0, 1, 500, 999, 1000, 7}) {
        pgm.push_back(static_cast<std::uint8_t>(v >> 8));
        pgm.push_back(static_cast<std::uint8_t>(v));
    }
    WriteFile(dir.File("h.pgm"), pgm);
    // value * 2 - 1, then at or below 0 -> 0.
    ASSERT_EQ(Zumeld(dir, "import h.pgm h.elv --scale 2 --offset -1 --sea-level 0").status, 0);
    EXPECT_EQ(CellsOf(dir, "h.elv"), (std::vector<int>{0, 1, 999, 1997, 1999, 13}));
    // Clamping to the 16-bit range, and rounding halves away from zero.
    ASSERT_EQ(Zumeld(dir, "import h.pgm c.elv --scale 40 --offset -20000").status, 0);
    EXPECT_EQ(CellsOf(dir, "c.elv"), (std::vector<int>{-20000, -19960, 0, 19960, 20000, -19720}));
    ASSERT_EQ(Zumeld(dir, "import h.pgm c.elv --scale 100").status, 0);
    EXPECT_EQ(CellsOf(dir, "c.elv"), (std::vector<int>{0, 100, 32767, 32767, 32767, 700}));

    // An .elv source goes through the same mapping.
    WriteFile(dir.File("v.elv"), RawElv(2, 2, {-3, 0, 10, 32767}));
    ASSERT_EQ(Zumeld(dir, "import v.elv w.elv --offset 2.5 --sea-level 3").status, 0);
    EXPECT_EQ(CellsOf(dir, "w.elv"), (std::vector<int>{0, 0, 13, 32767}));

    // ASCII grid: NODATA is sea; halves round away from zero.
    WriteText(dir.File("g.asc"),
              "NCOLS 2\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 30\nNODATA_value -9999\n"
              "1.5 -9999\n 2.5e0\t-3.5\n");
    ASSERT_EQ(Zumeld(dir, "import g.asc g.elv").status, 0);
    EXPECT_EQ(CellsOf(dir, "g.elv"), (std::vector<int>{2, 0, 3, -4}));

    // 8-bit PNG: elevations halved on export, read back as they are.
    WriteFile(dir.File("e.elv"), RawElv(3, 1, {0, 10, 510}));
    ASSERT_EQ(Zumeld(dir, "export e.elv e.png --bits 8 --scale 0.5").status, 0);
    const Bytes png = ReadFile(dir.File("e.png"));
    ASSERT_GT(png.size(), 25u);
    EXPECT_EQ(png[24], 8);  // IHDR bit depth
    EXPECT_EQ(png[25], 0);  // greyscale
    ASSERT_EQ(Zumeld(dir, "import e.png e2.elv").status, 0);
    EXPECT_EQ(CellsOf(dir, "e2.elv"), (std::vector<int>{0, 5, 255}));

    // PGM written at 16 bits by default: maxval 65535, big-endian samples.
    ASSERT_EQ(Zumeld(dir, "export e.elv e.pgm").status, 0);
    EXPECT_EQ(ReadFile(dir.File("e.pgm")), (Bytes{'P', '5', '\n', '3', ' ', '1', '\n', '6', '5',
                                                  '5', '3', '5', '\n', 0, 0, 0, 10, 1, 254}));
}

TEST(ZumeldCli, BadInputIsRefusedWithNothingWritten) {
    TempDir dir;
    ASSERT_EQ(Zumeld(dir, "generate --size 16x8 -o s.elv").status, 0);
    WriteText(dir.File("hello.png"), "hello, not a picture");
    WriteText(dir.File("bad.pgm"), "P6\n2 2\n255\nabcdefghijkl");
    WriteText(dir.File("short.pgm"), "P5\n4 4\n255\nabc");
    WriteText(dir.File("over.pgm"), std::string("P5\n2 1\n10\n") + '\x05' + '\x0b');
    WriteText(dir.File("huge.pgm"), "P5\n99999 99999\n255\n");
    WriteText(dir.File("zero.pgm"), "P5\n0 4\n255\n");
    WriteText(dir.File("few.asc"), "ncols 3\nnrows 2\n1 2 3 4\n");
    WriteText(dir.File("many.asc"), "ncols 1\nnrows 1\n1 2\n");
    WriteText(dir.File("word.asc"), "ncols 1\nnrows 1\nzebra\n");
    WriteText(dir.File("odd.raw"), "abc");
    Bytes elv = ReadFile(dir.File("s.elv"));
    elv.resize(elv.size() / 2);
    WriteFile(dir.File("cut.elv"), elv);
    WriteFile(dir.File("tiny.elv"), Bytes{0, 0, 1});
    const std::set<std::string> before = Listing(dir);

    struct Case {
        const char* args;
        int status;
    } cases[] = {
        {"import missing.png out.elv", 1},
        {"import hello.png out.elv", 1},
        {"import bad.pgm out.elv", 1},
        {"import short.pgm out.elv", 1},
        {"import over.pgm out.elv", 1},
        {"import huge.pgm out.elv", 1},
        {"import zero.pgm out.elv", 1},
        {"import few.asc out.elv", 1},
        {"import many.asc out.elv", 1},
        {"import word.asc out.elv", 1},
        {"import odd.raw out.elv --size 2x1", 1},
        {"import odd.raw out.elv", 2},
        {"import odd.raw out.elv --size 0x5", 2},
        {"import odd.raw out.elv --size 40000x1", 2},
        {"import odd.raw out.elv --size 2by1", 2},
        {"import s.elv out.elv --scale abc", 2},
        {"import s.elv out.elv --scale", 2},
        {"import s.elv out.elv --offset=inf", 2},
        {"import s.elv out.png", 2},
        {"import s.txt out.elv", 2},
        {"import s.elv", 2},
        {"import s.elv out.elv --jpeg", 2},
        {"export cut.elv out.png", 1},
        {"export tiny.elv out.png", 1},
        {"export s.elv out.png --bits 12", 2},
        {"export s.elv out.txt", 2},
        {"export s.elv out.elv --scale 2", 2},
        {"export s.elv out.png --scale 1000", 1},
        {"export s.elv out.raw --offset -40000", 1},
        {"render hello.png -o out.png", 1},
        {"render s.elv -o out.png --size 0x0", 2},
        {"render s.elv -o out.png --no-shade=yes", 2},
        {"render s.elv out.png", 2},
        {"info cut.elv", 1},
        {"convert tiny.elv out.elv", 1},
        {"convert s.elv out.elv --quality 101 --jpeg", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ExpectOneLineError(Zumeld(dir, c.args), c.status);
        EXPECT_EQ(Listing(dir), before);  // no output, no temporary file
    }
}

}  // namespace
