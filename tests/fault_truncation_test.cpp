// Every prefix of every seed file of the fuzz corpora, read by the loaders: the .elv loader
// leaves a grid whose sizes agree (or none), OpenDIB gives null or a block that holds the
// header, colour table and pixels its header names; nothing leaks.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "elv_test_support.h"
#include "temp_dir.h"
#include "zumeld/platform/memory_p.h"

namespace {

using namespace Zumeld;
using elv_test::Bytes;

std::vector<Bytes> CorpusFiles(const char* target) {
    std::vector<Bytes> files;
    const auto dir = std::filesystem::path(ZUMELD_SOURCE_DIR) / "fuzz" / "corpus" / target;
    // The seed files only; inputs the fuzzers found live in subfolders.
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(elv_test::ReadBytes(e.path().string()));
    return files;
}

TEST(FaultTruncation, EveryPrefixOfAnElvFileLoadsToConsistentSizesOrNoGrid) {
    const auto files = CorpusFiles("elv_loader_fuzz");
    ASSERT_GE(files.size(), 10u);
    for (std::size_t f = 0; f < files.size(); ++f) {
        for (std::size_t len = 0; len <= files[f].size(); ++len) {
            CCtrlElvMap map;
            try {
                elv_test::Load(map, Bytes(files[f].begin(), files[f].begin() + len));
            } catch (const CArchiveException&) {
            }
            if (!map.m_pElevation) continue;
            SCOPED_TRACE("file " + std::to_string(f) + " cut at " + std::to_string(len));
            ASSERT_GE(map.m_nWidth, 0);
            ASSERT_GE(map.m_nHeight, 0);
            ASSERT_EQ(map.m_nBufferWidth, map.m_nWidth + 1);
            ASSERT_EQ(map.m_nBufferHeight, map.m_nHeight + 1);
        }
    }
}

TEST(FaultTruncation, EveryPrefixOfABmpFileOpensToNullOrAWholeBlock) {
    const auto files = CorpusFiles("dib_reader_fuzz");
    ASSERT_GE(files.size(), 8u);
    TempDir dir;
    std::string path = dir.File("cut.bmp");
    const std::size_t live = Platform::LiveBlockCount();
    CCtrlDib dib;
    for (std::size_t f = 0; f < files.size(); ++f) {
        for (std::size_t len = 0; len <= files[f].size(); ++len) {
            elv_test::WriteBytes(path, Bytes(files[f].begin(), files[f].begin() + len));
            void* h = dib.OpenDIB(path.data());
            if (!h) continue;
            BITMAPINFOHEADER bi{};
            dib.DibInfo(h, &bi);
            EXPECT_GE(GlobalSize(h), std::size_t{bi.biSize} + dib.PaletteSize(&bi) + bi.biSizeImage)
                << "file " << f << " cut at " << len;
            GlobalFree(h);
        }
    }
    EXPECT_EQ(Platform::LiveBlockCount(), live) << "blocks leaked";
}

}  // namespace
