// Every call that splits its work over the library's threads gives the same bytes for every
// thread count: resampling (copy, point sampling, bilinear), the sea fill, the relief, a
// polygon, the .elv encoder and the tool's PNG writer, on seeded random maps whose runs cross
// the encoder's band ends. The PNG reads back (libpng).
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "elv_test_support.h"
#include "picture.h"
#include "test_random.h"
#include "zumeld/util/Threads.h"
#include "zumeld/zumeld.h"

namespace {

using elv_test::Bytes;
using zumeld_test::TestRandom;

// The bytes of each output at the thread count in force.
std::vector<Bytes> Outputs(const std::vector<short>& cells, int w, int h, TestRandom rng) {
    Zumeld::CCtrlElvMap map;
    map.SetElevationData(w, h, const_cast<short*>(cells.data()));
    std::vector<Bytes> out;
    auto picture = [&] {
        const Quobel::CControlBmp& b = map.m_bmpInternal;
        const BYTE* p = b.GetBufferPtr();
        out.emplace_back(p, p + static_cast<std::size_t>(b.GetWidthBytes()) * b.GetHeight());
    };
    for (int round = 0; round < 3; ++round) {
        // Enlarged (bilinear), reduced (point sampling) and one to one (copy).
        const int sw = rng.Between(50, w), sh = rng.Between(50, h);
        const int dw[3] = {sw * 2 + 1, sw * 2 / 3, sw}, dh[3] = {sh * 3 / 2 + 1, sh / 2, sh};
        map.StretchElevationData(rng.Between(0, w - sw), rng.Between(0, h - sh), sw, sh, dw[round],
                                 dh[round]);
        const short* g = map.m_pDisplayElevation.get();
        const auto* gb = reinterpret_cast<const std::uint8_t*>(g);
        out.emplace_back(
            gb, gb + std::size_t{2} * map.m_nDisplayBufferWidth * map.m_nDisplayBufferHeight);
        map.FillSeaColorOnBitmapBuffer();
        picture();
        map.DrawAllMapOnBitmapBuffer(round != 1, round != 2, RGB(10, 200, 30), round == 0);
        picture();
        std::vector<tagPOINT> star;
        for (int k = 0; k < 40; ++k)
            star.push_back({static_cast<LONG>(rng.Range(-50, dw[round] + 50)),
                            static_cast<LONG>(rng.Range(-50, dh[round] + 50))});
        map.DrawPolygonOnBitmapBuffer(star.data(), static_cast<int>(star.size()), round, true, true,
                                      RGB(1, 2, 3), round == 2);
        picture();
    }
    out.push_back(zumeld_formats::EncodePng(map.m_bmpInternal, 6));  // every row filter tried
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    map.Serialize(ar);
    ar.Close();
    out.push_back(file.Data());
    return out;
}

TEST(ThreadCount, EveryCountGivesTheSameBytes) {
    const int before = Zumeld::GetThreadCount();
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
        TestRandom rng(seed);
        const int w = rng.Between(900, 1600), h = rng.Between(700, 1300);
        const std::vector<short> cells = elv_test::RandomTerrain(rng, w, h);
        Zumeld::SetThreadCount(1);
        const std::vector<Bytes> one = Outputs(cells, w, h, TestRandom(seed * 7));
        // The PNG holds the last picture drawn, R, G, B of each pixel.
        Quobel::CControlBmp back;
        zumeld_formats::DecodePicture("png", one[one.size() - 2], back);
        const Bytes& last = one[one.size() - 3];
        const std::size_t rowBytes = (static_cast<std::size_t>(back.GetWidth()) * 3 + 3) / 4 * 4;
        ASSERT_EQ(rowBytes * back.GetHeight(), last.size());
        for (std::size_t i = 0; i < last.size(); ++i) {
            const std::size_t row = i / rowBytes, col = i % rowBytes;
            if (col >= static_cast<std::size_t>(back.GetWidth()) * 3) continue;  // padding
            ASSERT_EQ(back.GetBufferPtr()[row * back.GetWidthBytes() + col / 3 * 4 + col % 3],
                      last[i])
                << "seed " << seed << " byte " << i;
        }
        for (int threads : {2, 3, 8}) {
            Zumeld::SetThreadCount(threads);
            const std::vector<Bytes> many = Outputs(cells, w, h, TestRandom(seed * 7));
            ASSERT_EQ(many.size(), one.size());
            for (std::size_t i = 0; i < one.size(); ++i)
                EXPECT_TRUE(many[i] == one[i])
                    << "seed " << seed << ", " << threads << " threads, output " << i;
        }
    }
    Zumeld::SetThreadCount(before);
}

TEST(ThreadCount, AnExceptionInAPartReachesTheCaller) {
    const int before = Zumeld::GetThreadCount();
    const auto fifthFails = [](int part) {
        if (part == 5) throw std::runtime_error("part 5");
    };
    for (int threads : {1, 4}) {
        Zumeld::SetThreadCount(threads);
        EXPECT_THROW(Zumeld::RunOnThreads(8, fifthFails), std::runtime_error) << threads;
    }
    Zumeld::SetThreadCount(before);
}

}  // namespace
