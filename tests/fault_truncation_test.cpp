// Every prefix of every seed file of the fuzz corpora, read by the loaders: the .elv loader
// leaves a grid whose sizes agree (or none), OpenDIB gives null or a block that holds the
// header, colour table and pixels its header names; nothing leaks.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/platform/memory_p.h"

namespace {

using namespace Zumeld;
namespace fs = std::filesystem;

std::vector<std::vector<BYTE>> CorpusFiles(const char* target) {
    std::vector<std::vector<BYTE>> files;
    const fs::path dir = fs::path(ZUMELD_SOURCE_DIR) / "fuzz" / "corpus" / target;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

TEST(FaultTruncation, EveryPrefixOfAnElvFileLoadsToConsistentSizesOrNoGrid) {
    const auto files = CorpusFiles("elv_loader_fuzz");
    ASSERT_GE(files.size(), 10u);
    const CCtrlElvMap proto;
    for (std::size_t f = 0; f < files.size(); ++f) {
        for (std::size_t len = 0; len <= files[f].size(); ++len) {
            CCtrlElvMap map(proto);
            CMemFile file(files[f].data(), len);
            CArchive ar(&file, CArchive::load);
            try {
                map.Serialize(ar);
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
            std::ofstream(path, std::ios::binary | std::ios::trunc)
                .write(reinterpret_cast<const char*>(files[f].data()),
                       static_cast<std::streamsize>(len));
            void* h = dib.OpenDIB(path.data());
            if (!h) continue;
            SCOPED_TRACE("file " + std::to_string(f) + " cut at " + std::to_string(len));
            BITMAPINFOHEADER bi{};
            dib.DibInfo(h, &bi);
            // The block holds what its header says: header, table, pixels.
            EXPECT_GE(GlobalSize(h),
                      std::size_t{bi.biSize} + dib.PaletteSize(&bi) + bi.biSizeImage);
            GlobalFree(h);
        }
    }
    EXPECT_EQ(Platform::LiveBlockCount(), live) << "blocks leaked";
}

}  // namespace
