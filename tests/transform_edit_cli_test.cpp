// zumeld edit: the edits run in the order given on a map file, and bad edits are refused
// with the usage status before anything is written.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "zumeld/zumeld.h"

namespace {

// Writes a map as an .elv file in the raw encoding: encoding, width, height, then the
// cells row by row, all little-endian 16-bit.
void WriteRawElv(const std::string& path, int width, int height, const std::vector<short>& cells) {
    std::vector<unsigned char> bytes;
    auto put = [&](int v) {
        bytes.push_back(static_cast<unsigned char>(v & 0xFF));
        bytes.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
    };
    put(0);
    put(width);
    put(height);
    for (short c : cells) put(c);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Runs the tool with the arguments; returns its exit status.
int RunEdit(const std::string& arguments) {
    const std::string command =
        std::string(ZUMELD_CLI_PATH) + " edit " + arguments + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<short> MapCells(const std::string& path, int& width, int& height) {
    Zumeld::CCtrlElvMap map;
    CString name(path.c_str());
    if (!map.LoadElevationFile(name) || !map.m_pElevation) return {};
    width = map.m_nWidth;
    height = map.m_nHeight;
    std::vector<short> cells;
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            cells.push_back(map.m_pElevation[r * map.m_nBufferWidth + c]);
    return cells;
}

}  // namespace

TEST(TransformEditCli, AppliesEditsInTheOrderGiven) {
    TempDir dir;
    const std::string in = dir.File("in.elv"), out = dir.File("out.elv");
    WriteRawElv(in, 3, 2, {1, 2, 3, 4, 5, 6});
    // Turned by 90 the map reads 3 6 / 2 5 / 1 4; then the top-left cell sinks by 5 to sea.
    ASSERT_EQ(RunEdit(in + " " + out + " --rotate 90 --sink 5,0,0,1,1"), 0);
    int w = 0, h = 0;
    EXPECT_EQ(MapCells(out, w, h), (std::vector<short>{0, 6, 2, 5, 1, 4}));
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 3);
    // The other order: the sink hits the cell 1, which goes to sea before the turn.
    ASSERT_EQ(RunEdit(in + " " + out + " --sink 5,0,0,1,1 --rotate -270 --crop 0,1,2,2"), 0);
    EXPECT_EQ(MapCells(out, w, h), (std::vector<short>{2, 5, 0, 4}));
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
}

TEST(TransformEditCli, RefusesBadEditsWithoutWriting) {
    TempDir dir;
    const std::string in = dir.File("in.elv"), out = dir.File("out.elv");
    WriteRawElv(in, 3, 2, {1, 2, 3, 4, 5, 6});
    const char* bad[] = {
        "--resize 0,4",         "--resize 3",          "--sector 0,10",    "--sector 90,100",
        "--sink 40000,0,0,1,1", "--sink 1,0,0,1,1,up", "--barrel 1,nan,0", "--rotate 1.5",
        "--wobble 3",           "--canvas 2",          "--rotate"};
    for (const char* edit : bad) {
        EXPECT_EQ(RunEdit(in + " " + out + " " + edit), 2) << edit;
        EXPECT_FALSE(std::filesystem::exists(out)) << edit;
    }
    // A result too large for a map is a failure, not a silent no-op.
    EXPECT_EQ(RunEdit(in + " " + out + " --resize 60000,60000"), 1);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(RunEdit(in), 2);
}
