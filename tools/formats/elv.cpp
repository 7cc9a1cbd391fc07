// Map files for the tool. A file is checked before the library loads it, so that a damaged
// file gets a one-line reason instead of the library's quiet best effort (sea for cells the
// file does not supply, a message box for an unknown encoding).
#include "elv.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "error.h"
#include "files.h"
#include "zumeld/elevation/ElvCodec.h"

namespace zumeld_formats {

namespace {

constexpr std::size_t kHeaderBytes = 6;

int Field16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<short>(b[at] | (b[at + 1] << 8));
}

std::uint32_t Field32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::string Count(std::uint64_t n, const char* unit) {
    return std::to_string(n) + " " + unit;
}

// The body of encodings 1 to 3 is a count followed by that many bytes.
void ReadCountedBody(const std::vector<std::uint8_t>& bytes, const std::string& path,
                     std::size_t countAt, ElvFacts& facts) {
    if (bytes.size() < countAt + 4)
        throw Error(path, "truncated: the file ends inside the " +
                              std::string(facts.encoding == 3 ? "compressed record" : "stream") +
                              " header");
    facts.bodyOffset = countAt + 4;
    facts.bodyBytes = Field32(bytes, countAt);
    const std::uint64_t present = bytes.size() - facts.bodyOffset;
    if (facts.bodyBytes > present)
        throw Error(path, "truncated: the body should hold " + Count(facts.bodyBytes, "bytes") +
                              ", the file has " + Count(present, "bytes"));
}

void CheckCodeStream(const std::vector<std::uint8_t>& bytes, const std::string& path,
                     const ElvFacts& facts) {
    // Counted, not decoded: the library decodes the stream once, into the map.
    const std::uint64_t cells = static_cast<std::uint64_t>(facts.width) * facts.height;
    const std::uint64_t decoded = Zumeld::CountElvStreamCells(
        bytes.data() + facts.bodyOffset, static_cast<std::size_t>(facts.bodyBytes), cells);
    if (decoded < cells)
        throw Error(path, "damaged: the code stream ends after " + Count(decoded, "of") + " " +
                              Count(cells, "cells"));
}

void CheckCompressedImage(const std::string& path, Zumeld::CCtrlElvMap& map) {
    Quobel::CControlBmp picture;
    const bool ok = picture.CreateBitmap(map.m_nWidth, map.m_nHeight, 8, 256, nullptr) &&
                    picture.LoadJpegData(map.m_pCompressedData.get(), map.m_nCompressedSize, false);
    if (!ok)
        throw Error(path, "damaged: the compressed image does not decode as a " +
                              std::to_string(map.m_nWidth) + "x" + std::to_string(map.m_nHeight) +
                              " grey picture");
}

// The kind of a file that is not an elevation file but another format people mistake for
// one, told by its first bytes; null when it is none of them. `importable` when
// 'zumeld import' reads it.
const char* ForeignKind(const std::vector<std::uint8_t>& b, bool& importable) {
    const auto starts = [&](const char* magic, std::size_t n) {
        return b.size() >= n && std::equal(magic, magic + n, b.begin(),
                                           [](char m, std::uint8_t c) { return m == char(c); });
    };
    importable = true;
    if (starts("\x89PNG", 4)) return "a PNG picture";
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
        return "a TIFF file";
    if (starts("P5", 2)) return "a PGM picture";
    std::string head;
    for (std::size_t i = 0; i < b.size() && head.size() < 5; ++i)
        if (!std::isspace(b[i])) head += static_cast<char>(std::tolower(b[i]));
    if (head == "ncols" || head == "nrows") return "an ASCII grid";
    importable = false;
    if (starts("BM", 2)) return "a BMP picture";
    if (starts("\xFF\xD8\xFF", 3)) return "a JPEG picture";
    return nullptr;
}

}  // namespace

ElvFacts InspectElv(const std::vector<std::uint8_t>& bytes, const std::string& path) {
    if (bytes.size() < kHeaderBytes)
        throw Error(path, "not an elevation file: " + Count(bytes.size(), "bytes") +
                              " is too short for the 6-byte header");
    ElvFacts facts;
    facts.fileBytes = bytes.size();
    facts.encoding = Field16(bytes, 0);
    facts.width = Field16(bytes, 2);
    facts.height = Field16(bytes, 4);
    if (facts.encoding < 0 || facts.encoding > 3) {
        bool importable = false;
        if (const char* kind = ForeignKind(bytes, importable))
            throw Error(path, std::string("is ") + kind + ", not an elevation (.elv) file" +
                                  (importable ? "; 'zumeld import' reads it into one" : ""));
        throw Error(path,
                    "not an elevation file: unknown encoding " + std::to_string(facts.encoding));
    }
    if (facts.width < 0 || facts.height < 0)
        throw Error(path, "not an elevation file: negative width or height in the header");
    facts.bodyOffset = kHeaderBytes;
    if (facts.width == 0 || facts.height == 0) return facts;  // no body

    const std::uint64_t cells = static_cast<std::uint64_t>(facts.width) * facts.height;
    switch (facts.encoding) {
        case 0:
            facts.bodyBytes = cells * 2;
            if (bytes.size() - kHeaderBytes < facts.bodyBytes)
                throw Error(path, "truncated: the raw rows need " +
                                      Count(facts.bodyBytes, "bytes") + ", the file has " +
                                      Count(bytes.size() - kHeaderBytes, "bytes"));
            break;
        case 1:
        case 2:
            ReadCountedBody(bytes, path, kHeaderBytes, facts);
            CheckCodeStream(bytes, path, facts);
            break;
        default:
            facts.maxElevation = bytes.size() >= 8 ? Field16(bytes, 6) : 0;
            ReadCountedBody(bytes, path, kHeaderBytes + 2, facts);
            facts.compressed = true;
            break;
    }
    return facts;
}

ElvFacts LoadMapWithFacts(const std::string& path, Zumeld::CCtrlElvMap& map) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    ElvFacts facts = InspectElv(bytes, path);
    try {
        CMemFile file(bytes.data(), bytes.size());
        CArchive ar(&file, CArchive::load);
        map.Serialize(ar);
        ar.Close();
    } catch (const CArchiveException&) {
        throw Error(path, "truncated: the file ends inside a field");
    }
    if (facts.compressed) CheckCompressedImage(path, map);
    return facts;
}

void LoadMap(const std::string& path, Zumeld::CCtrlElvMap& map) {
    LoadMapWithFacts(path, map);
}

void SaveMapElv(const std::string& path, Zumeld::CCtrlElvMap& map, int jpegQuality) {
    WriteFileAtomically(path, EncodeMapElv(path, map, jpegQuality));
}

std::vector<std::uint8_t> EncodeMapElv(const std::string& path, Zumeld::CCtrlElvMap& map,
                                       int jpegQuality) {
    const bool jpeg = jpegQuality >= 1 && jpegQuality <= 100;
    CMemFile file;
    try {
        CArchive ar(&file, CArchive::store);
        if (jpeg) {
            if (!map.Save3djFile(ar, jpegQuality))
                throw Error(path, "the map cannot be stored as a compressed image (" +
                                      std::string(map.m_nWidth > 32767 || map.m_nHeight > 32767
                                                      ? "larger than 32767 cells)"
                                                      : "it has no cells)"));
        } else {
            // Always the delta-and-run encoding, even for a map that carries a cached record.
            const int saveType = map.m_nSaveType;
            map.SetSaveType(0);
            try {
                map.Serialize(ar);
            } catch (...) {
                map.SetSaveType(saveType);
                throw;
            }
            map.SetSaveType(saveType);
        }
        ar.Close();
    } catch (const CArchiveException&) {
        throw Error(path,
                    "the map is larger than 32767 cells across or down; an .elv file "
                    "cannot hold it");
    }
    return file.Data();
}

}  // namespace zumeld_formats
