// Writes the three default textures of the library, 2000.bmp (low land, grass green),
// 2001.bmp (high land, olive brown) and 2002.bmp (sea, dark greyish blue): 60 x 60 pixel,
// 24-bit uncompressed .bmp files (14-byte file header, then the 10,840-byte DIB: a 40-byte
// BITMAPINFOHEADER and the bottom-up pixel rows), 3780 pixels per metre.
//
// Each is fine-grained noise of one colour: per pixel a brightness shared by the three
// channels plus a smaller independent part, so the noise stays the same hue. Every channel
// then gets its target mean and standard deviation to within 0.05, and holds its range's
// minimum and maximum exactly (one pixel each), with every other value strictly inside.
// Integer random numbers from a fixed seed and plain double arithmetic only: the output is
// the same on every machine. Not part of the library build; to regenerate the files:
//
//   g++ -std=c++20 -O2 -o /tmp/make_textures resources/make_textures.cpp
//   /tmp/make_textures resources
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 60;
constexpr int kPixels = kSize * kSize;
constexpr int kRowBytes = kSize * 3;  // 180: already a multiple of 4
constexpr int kPixelBytes = kRowBytes * kSize;
constexpr int kInfoHeaderBytes = 40;
constexpr int kFileHeaderBytes = 14;
constexpr int kPelsPerMetre = 3780;

struct Channel {
    double mean, sd;
    int lo, hi;
};

struct Texture {
    int id;
    Channel ch[3];  // R, G, B
};

constexpr Texture kTextures[3] = {
    {2000, {{72, 4.8, 50, 91}, {139, 4.5, 116, 162}, {38, 4.2, 20, 57}}},
    {2001, {{128, 6.0, 103, 149}, {107, 5.2, 80, 137}, {22, 3.7, 7, 43}}},
    {2002, {{50, 2.4, 43, 56}, {59, 2.3, 53, 65}, {85, 1.7, 80, 89}}},
};

struct SplitMix64 {
    std::uint64_t s;
    std::uint64_t Next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // About normal with mean 0 and deviation 1: the sum of 12 uniforms in [0, 1), less 6.
    double Normal() {
        double sum = 0;
        for (int i = 0; i < 12; ++i) sum += static_cast<double>(Next() >> 11) / 9007199254740992.0;
        return sum - 6.0;
    }
};

void Stats(const std::vector<int>& v, double* mean, double* sd) {
    double sum = 0, sq = 0;
    for (int x : v) sum += x;
    *mean = sum / v.size();
    for (int x : v) sq += (x - *mean) * (x - *mean);
    *sd = std::sqrt(sq / v.size());
}

// Brings one channel to its statistics. Pixels minPixel and maxPixel hold the range's ends;
// all others stay strictly inside the range.
void Fit(std::vector<int>& v, const Channel& c, int minPixel, int maxPixel) {
    v[minPixel] = c.lo;
    v[maxPixel] = c.hi;
    for (int round = 0; round < 100000; ++round) {
        double mean, sd;
        Stats(v, &mean, &sd);
        const bool meanOk = std::fabs(mean - c.mean) <= 0.05;
        const bool sdOk = std::fabs(sd - c.sd) <= 0.05;
        if (meanOk && sdOk) return;
        // One pixel per round, chosen in a fixed walk through the picture.
        const int i = static_cast<int>((static_cast<std::int64_t>(round) * 1237) % kPixels);
        if (i == minPixel || i == maxPixel) continue;
        int step = 0;
        if (!sdOk) {
            // Move a pixel away from the mean to widen, toward it to narrow.
            const int away = v[i] >= mean ? 1 : -1;
            step = sd < c.sd ? away : -away;
            if (sd > c.sd && std::fabs(v[i] - mean) < 1.0) step = 0;
        } else {
            step = mean < c.mean ? 1 : -1;
        }
        const int next = v[i] + step;
        if (next > c.lo && next < c.hi) v[i] = next;
    }
    std::fprintf(stderr, "make_textures: statistics not reached\n");
}

void Put16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back((v >> (8 * i)) & 0xFF);
}

bool Write(const std::string& dir, const Texture& t, std::uint64_t seed) {
    SplitMix64 rng{seed};
    std::vector<int> ch[3];
    for (auto& v : ch) v.resize(kPixels);
    for (int p = 0; p < kPixels; ++p) {
        const double shared = rng.Normal();
        for (int c = 0; c < 3; ++c) {
            // 0.8 shared + 0.6 own keeps a deviation of 1 and a correlation of 0.64.
            const double z = 0.8 * shared + 0.6 * rng.Normal();
            const Channel& k = t.ch[c];
            const int value = static_cast<int>(std::floor(k.mean + k.sd * z + 0.5));
            ch[c][p] = value <= k.lo ? k.lo + 1 : value >= k.hi ? k.hi - 1 : value;
        }
    }
    for (int c = 0; c < 3; ++c) {
        const int minPixel = static_cast<int>(rng.Next() % kPixels);
        int maxPixel = static_cast<int>(rng.Next() % kPixels);
        if (maxPixel == minPixel) maxPixel = (minPixel + 1) % kPixels;
        Fit(ch[c], t.ch[c], minPixel, maxPixel);
    }

    std::vector<unsigned char> out;
    const std::uint32_t fileBytes = kFileHeaderBytes + kInfoHeaderBytes + kPixelBytes;
    Put16(out, 0x4D42);  // "BM"
    Put32(out, fileBytes);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, kFileHeaderBytes + kInfoHeaderBytes);
    Put32(out, kInfoHeaderBytes);
    Put32(out, kSize);
    Put32(out, kSize);  // positive: bottom-up rows
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);  // BI_RGB
    Put32(out, kPixelBytes);
    Put32(out, kPelsPerMetre);
    Put32(out, kPelsPerMetre);
    Put32(out, 0);
    Put32(out, 0);
    // Pixel p is at column p % 60 of picture row p / 60 (0 = top); rows are stored bottom up.
    for (int fileRow = 0; fileRow < kSize; ++fileRow) {
        const int row = kSize - 1 - fileRow;
        for (int x = 0; x < kSize; ++x) {
            const int p = row * kSize + x;
            out.push_back(static_cast<unsigned char>(ch[2][p]));  // B
            out.push_back(static_cast<unsigned char>(ch[1][p]));  // G
            out.push_back(static_cast<unsigned char>(ch[0][p]));  // R
        }
    }
    if (out.size() != fileBytes) return false;

    const std::string path = dir + "/" + std::to_string(t.id) + ".bmp";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (std::fclose(f) != 0 || !ok) return false;

    for (int c = 0; c < 3; ++c) {
        double mean, sd;
        Stats(ch[c], &mean, &sd);
        std::printf("%d %c: mean %.3f sd %.3f\n", t.id, "RGB"[c], mean, sd);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    for (const Texture& t : kTextures) {
        if (!Write(dir, t, 0x5A554D454C440000ull + static_cast<std::uint64_t>(t.id))) {
            std::fprintf(stderr, "make_textures: cannot write %d.bmp\n", t.id);
            return 1;
        }
    }
    return 0;
}
