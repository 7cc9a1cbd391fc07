// CArchive over CMemFile and CFile: field encodings, buffering at every buffer size, the
// end-of-file exception, and the file classes underneath.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "temp_dir.h"
#include "zumeld/platform/afx.h"

namespace {

using Bytes = std::vector<BYTE>;

// Buffer sizes that put the field boundaries at every offset of a refill.
constexpr int kBufferSizes[] = {1, 2, 3, 5, 4096};

Bytes ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// ---- Field encodings ---------------------------------------------------------------------------

// One value of each width and its little-endian bytes, worked out by hand.
const Bytes kFieldBytes = {
    0xA5,                    // BYTE 0xA5
    0xEF, 0xBE,              // WORD 0xBEEF
    0xFE, 0xFF,              // short -2
    0xEF, 0xBE, 0xAD, 0xDE,  // DWORD 0xDEADBEEF
    0xEB, 0x32, 0xA4, 0xF8,  // LONG -123456789 = 0xF8A432EB
    0x00, 0x80,              // short -32768
    0x00, 0x00, 0x00, 0x80,  // int INT32_MIN (through LONG)
};

void StoreFields(CArchive& ar) {
    ar << static_cast<BYTE>(0xA5) << static_cast<WORD>(0xBEEF) << static_cast<short>(-2)
       << static_cast<DWORD>(0xDEADBEEFu) << static_cast<LONG>(-123456789)
       << static_cast<short>(-32768) << static_cast<int>(INT32_MIN);
}

TEST(PlatformArchive, EveryFieldWidthStoresLittleEndianAndLoadsBack) {
    for (int bufSize : kBufferSizes) {
        SCOPED_TRACE(bufSize);
        CMemFile file;
        {
            CArchive ar(&file, CArchive::store, bufSize);
            EXPECT_TRUE(ar.IsStoring());
            StoreFields(ar);
            ar.Close();
        }
        EXPECT_EQ(file.Data(), kFieldBytes);

        file.Seek(0, CFile::begin);
        CArchive ar(&file, CArchive::load, bufSize);
        EXPECT_FALSE(ar.IsStoring());
        BYTE by = 0;
        WORD w = 0;
        short s1 = 0, s2 = 0;
        DWORD dw = 0;
        LONG l = 0;
        int i = 0;
        ar >> by >> w >> s1 >> dw >> l >> s2 >> i;
        EXPECT_EQ(by, 0xA5);
        EXPECT_EQ(w, 0xBEEF);
        EXPECT_EQ(s1, -2);
        EXPECT_EQ(dw, 0xDEADBEEFu);
        EXPECT_EQ(l, -123456789);
        EXPECT_EQ(s2, -32768);
        EXPECT_EQ(i, INT32_MIN);
    }
}

// ---- Reading -------------------------------------------------------------------------------

// A block longer than the buffer bypasses it: the next field follows on; at the end a read
// delivers fewer bytes, and writes nothing past them.
TEST(PlatformArchive, BlockReadsAndFieldsFollowOnAndStopAtTheEnd) {
    Bytes data(100);
    for (int i = 0; i < 100; ++i) data[i] = static_cast<BYTE>(i);
    for (int bufSize : kBufferSizes) {
        SCOPED_TRACE(bufSize);
        CMemFile file(data.data(), data.size());
        CArchive ar(&file, CArchive::load, bufSize);
        BYTE b0;
        Bytes block(50);
        WORD w;
        ar >> b0;
        ASSERT_EQ(ar.Read(block.data(), 50), 50u);
        ar >> w;
        EXPECT_EQ(block[49], 50);
        EXPECT_EQ(w, 51 | (52 << 8));
        Bytes rest(60, 0xEE);
        ASSERT_EQ(ar.Read(rest.data(), 60), 47u);
        EXPECT_EQ(rest[0], 53);
        EXPECT_EQ(rest[46], 99);
        EXPECT_EQ(rest[47], 0xEE) << "nothing written past the bytes delivered";
        EXPECT_EQ(ar.Read(rest.data(), 1), 0u);
    }
}

template <class T>
void ReadOne(CArchive& ar) {
    T v;
    ar >> v;
}

TEST(PlatformArchive, FieldCutOffByTheEndOfFileThrowsEndOfFile) {
    struct Case {
        const char* field;
        std::size_t bytesPresent;
        void (*read)(CArchive&);
    } cases[] = {{"BYTE", 0, ReadOne<BYTE>},   {"WORD", 1, ReadOne<WORD>},
                 {"short", 1, ReadOne<short>}, {"DWORD", 0, ReadOne<DWORD>},
                 {"DWORD", 3, ReadOne<DWORD>}, {"LONG", 2, ReadOne<LONG>}};
    for (int bufSize : kBufferSizes) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << c.field << " with " << c.bytesPresent << " bytes, buffer " << bufSize);
            const Bytes data(c.bytesPresent, 0x11);
            CMemFile file(data.data(), data.size());
            CArchive ar(&file, CArchive::load, bufSize);
            try {
                c.read(ar);
                ADD_FAILURE() << "no exception";
            } catch (const CArchiveException& e) {
                EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
            }
        }
    }
}

TEST(PlatformArchive, CloseFlushAndDirection) {
    // Closing a loading archive leaves the file where reading stopped.
    const Bytes data(10, 7);
    CMemFile in(data.data(), data.size());
    CArchive loading(&in, CArchive::load, 4096);
    WORD w;
    loading >> w;
    loading.Close();
    EXPECT_EQ(in.Seek(0, CFile::current), 2);
    EXPECT_EQ(loading.GetFile(), nullptr);

    // The destructor flushes a storing archive, unless bNoFlushOnDelete.
    CMemFile out, dropped;
    {
        CArchive ar(&out, CArchive::store, 4096);
        CArchive noFlush(&dropped, CArchive::store | CArchive::bNoFlushOnDelete, 4096);
        ar << static_cast<DWORD>(0x01020304u);
        noFlush << static_cast<BYTE>(1);
        EXPECT_TRUE(out.Data().empty()) << "held in the buffer until flushed";
    }
    EXPECT_EQ(out.Data(), (Bytes{4, 3, 2, 1}));
    EXPECT_TRUE(dropped.Data().empty());

    // Reading from a storing archive or writing to a loading one is refused.
    CMemFile file;
    CArchive storing(&file, CArchive::store);
    CArchive reading(&file, CArchive::load);
    BYTE b = 0;
    try {
        storing.Read(&b, 1);
        ADD_FAILURE() << "read from a storing archive";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::writeOnly);
    }
    try {
        reading << b;
        ADD_FAILURE() << "write to a loading archive";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::readOnly);
    }
}

TEST(PlatformArchive, StoringArchiveOverAFileLoadsBack) {
    TempDir dir;
    const std::string path = dir.File("stream.bin");
    Bytes block(10000);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<BYTE>(i * 7 + 3);
    {
        CFile file;
        ASSERT_TRUE(
            file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
        CArchive ar(&file, CArchive::store, 64);
        ar << static_cast<short>(2) << static_cast<DWORD>(block.size());
        ar.Write(block.data(), static_cast<UINT>(block.size()));
        ar << static_cast<WORD>(0xCAFE);
        ar.Close();
        file.Close();
    }
    const Bytes onDisk = ReadWholeFile(path);
    ASSERT_EQ(onDisk.size(), 2u + 4u + block.size() + 2u);
    EXPECT_EQ(Bytes(onDisk.begin(), onDisk.begin() + 6), (Bytes{2, 0, 0x10, 0x27, 0, 0}));

    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary));
    EXPECT_EQ(file.GetLength(), onDisk.size());
    CArchive ar(&file, CArchive::load, 4096);
    short enc;
    DWORD n;
    WORD tail;
    ar >> enc >> n;
    ASSERT_EQ(n, block.size());
    Bytes back(n);
    EXPECT_EQ(ar.Read(back.data(), n), n);
    ar >> tail;
    EXPECT_EQ(back, block);
    EXPECT_EQ(tail, 0xCAFE);
}

// ---- CFile and CMemFile --------------------------------------------------------------------

TEST(PlatformCFile, OpenRefusalsAndTruncation) {
    TempDir dir;
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(dir.File("missing").c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_FALSE(file.Open(dir.path().c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::accessDenied);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Read(&error, 1), 0u) << "a closed file delivers nothing";

    const std::string path = dir.File("f.bin");
    for (auto [flags, length] :
         {std::pair<UINT, std::uint64_t>{CFile::modeCreate | CFile::modeWrite, 0},
          {CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite, 5},
          {CFile::modeReadWrite, 5}}) {
        WriteWholeFile(path, Bytes{1, 2, 3, 4, 5});
        CFile f;
        ASSERT_TRUE(f.Open(path.c_str(), flags));
        EXPECT_EQ(f.GetLength(), length) << flags;
    }
}

TEST(PlatformCFile, ReadWriteSeekAndFailedWriteThrows) {
    TempDir dir;
    const std::string path = dir.File("f.bin");
    {
        CFile file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite));
        file.Write("abcdef", 6);
        EXPECT_EQ(file.Seek(-2, CFile::end), 4);
        char two[4] = {};
        EXPECT_EQ(file.Read(two, 4), 2u);
        EXPECT_STREQ(two, "ef");
        EXPECT_THROW(file.Seek(-1, CFile::begin), CFileException);
    }  // the destructor closes
    CFile readOnly;
    ASSERT_TRUE(readOnly.Open(path.c_str(), CFile::modeRead));
    EXPECT_THROW(readOnly.Write("x", 1), CFileException);
    readOnly.Close();
    EXPECT_THROW(readOnly.Write("x", 1), CFileException);
    EXPECT_EQ(ReadWholeFile(path), (Bytes{'a', 'b', 'c', 'd', 'e', 'f'}));
}

TEST(PlatformCMemFile, WritePastASeekBeyondTheEndFillsTheGapWithZeros) {
    CMemFile file;
    file.Write("ab", 2);
    EXPECT_EQ(file.Seek(2, CFile::current), 4);
    file.Write("c", 1);
    EXPECT_EQ(file.Data(), (Bytes{'a', 'b', 0, 0, 'c'}));
    EXPECT_EQ(file.GetLength(), 5u);
    EXPECT_THROW(file.Seek(-6, CFile::end), CFileException);
    EXPECT_EQ(file.Seek(1, CFile::begin), 1);
    char out[8] = {};
    EXPECT_EQ(file.Read(out, 8), 4u);
    EXPECT_EQ(out[0], 'b');
}

}  // namespace
