// zumeld edit: the edits run in the order given on a map file, and bad edits are refused
// with the usage status before anything is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "elv_test_support.h"
#include "temp_dir.h"

using namespace elv_test;

namespace {

// The size and cells of a map file (empty when it does not load).
std::vector<short> MapFile(const std::string& path) {
    Zumeld::CCtrlElvMap map;
    Load(map, ReadBytes(path));
    std::vector<short> out = {static_cast<short>(map.m_nWidth), static_cast<short>(map.m_nHeight)};
    for (short v : Cells(map)) out.push_back(v);
    return out;
}

}  // namespace

TEST(TransformEditCli, AppliesEditsInOrderAndRefusesBadOnes) {
    TempDir dir;
    const std::string in = dir.File("in.elv"), out = dir.File("out.elv");
    WriteBytes(in, Header(0, 3, 2, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0}));
    // Turned by 90 the map reads 3 6 / 2 5 / 1 4; then the top-left cell sinks by 5 to sea.
    ASSERT_EQ(RunTool("edit " + in + " " + out + " --rotate 90 --sink 5,0,0,1,1").status, 0);
    EXPECT_EQ(MapFile(out), (std::vector<short>{2, 3, 0, 6, 2, 5, 1, 4}));
    // The other order: the sink hits the cell 1, which goes to sea before the turn.
    ASSERT_EQ(
        RunTool("edit " + in + " " + out + " --sink 5,0,0,1,1 --rotate -270 --crop 0,1,2,2").status,
        0);
    EXPECT_EQ(MapFile(out), (std::vector<short>{2, 2, 2, 5, 0, 4}));
    std::filesystem::remove(out);

    struct Case {
        const char* edit;
        int status;
    } cases[] = {{"--resize 0,4", 2},
                 {"--resize 3", 2},
                 {"--sector 0,10", 2},
                 {"--sector 90,100", 2},
                 {"--sink 40000,0,0,1,1", 2},
                 {"--sink 1,0,0,1,1,up", 2},
                 {"--barrel 1,nan,0", 2},
                 {"--rotate 1.5", 2},
                 {"--wobble 3", 2},
                 {"--canvas 2", 2},
                 {"--rotate", 2},
                 {"--resize 60000,60000", 1}};  // too large: failure
    for (const Case& c : cases) {
        EXPECT_EQ(RunTool("edit " + in + " " + out + " " + c.edit).status, c.status) << c.edit;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.edit;
    }
    EXPECT_EQ(RunTool("edit " + in).status, 2);
}
