// The zumeld tool run as a process on map files: edits run in the order given and bad ones
// are refused before anything is written; info and convert across the encodings (damaged
// input and usage errors: tests/cli).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "elv_test_support.h"
#include "temp_dir.h"
#include "tool_run.h"

using namespace elv_test;

TEST(TransformEditCli, AppliesEditsInOrderAndRefusesBadOnes) {
    TempDir dir;
    const std::string in = dir.File("in.elv"), out = dir.File("out.elv");
    WriteBytes(in, Header(0, 3, 2, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0}));
    // The size and cells of the output.
    auto result = [&] {
        Zumeld::CCtrlElvMap map;
        Load(map, ReadBytes(out));
        std::vector<short> v = {static_cast<short>(map.m_nWidth),
                                static_cast<short>(map.m_nHeight)};
        for (short c : Cells(map)) v.push_back(c);
        return v;
    };
    // Turned by 90 the map reads 3 6 / 2 5 / 1 4; then the top-left cell sinks by 5 to sea.
    ASSERT_EQ(RunTool("edit " + in + " " + out + " --rotate 90 --sink 5,0,0,1,1").status, 0);
    EXPECT_EQ(result(), (std::vector<short>{2, 3, 0, 6, 2, 5, 1, 4}));
    // The other order: the sink hits the cell 1, which goes to sea before the turn.
    ASSERT_EQ(
        RunTool("edit " + in + " " + out + " --sink 5,0,0,1,1 --rotate -270 --crop 0,1,2,2").status,
        0);
    EXPECT_EQ(result(), (std::vector<short>{2, 2, 2, 5, 0, 4}));
    std::filesystem::remove(out);

    for (const char* edit : {"--resize 0,4", "--resize 3", "--sector 0,10", "--sector 90,100",
                             "--sink 40000,0,0,1,1", "--sink 1,0,0,1,1,up", "--barrel 1,nan,0",
                             "--rotate 1.5", "--wobble 3", "--canvas 2", "--rotate"}) {
        EXPECT_EQ(RunTool("edit " + in + " " + out + " " + edit).status, 2) << edit;
        EXPECT_FALSE(std::filesystem::exists(out)) << edit;
    }
    // Too large to make: a failure, not a usage error.
    EXPECT_EQ(RunTool("edit " + in + " " + out + " --resize 60000,60000").status, 1);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(RunTool("edit " + in).status, 2);
}

TEST(ElvFileTool, ConvertAndInfo) {
    TempDir dir;
    const std::string a = dir.File("a.elv"), b = dir.File("b.elv"), c = dir.File("c.elv");
    ASSERT_EQ(RunTool("generate --size 40x30 --seed 3 -o " + a).status, 0);
    const std::string info = RunTool("info " + a).out;
    for (const char* line :
         {"encoding: 2 (delta and run)", "width: 40\nheight: 30\n", "compressed image: no"})
        EXPECT_NE(info.find(line), std::string::npos) << info;
    ASSERT_EQ(RunTool("convert " + a + " " + b + " --jpeg --quality 80").status, 0);
    EXPECT_NE(RunTool("info " + b).out.find("compressed image: yes"), std::string::npos);
    // Back to delta-and-run: the file holds what the compressed record reads as.
    ASSERT_EQ(RunTool("convert " + b + " " + c).status, 0);
    Zumeld::CCtrlElvMap fromJpeg, converted;
    Load(fromJpeg, ReadBytes(b));
    Load(converted, ReadBytes(c));
    EXPECT_EQ(ReadBytes(c).at(0), 2);
    EXPECT_EQ(Cells(converted), Cells(fromJpeg));
}
