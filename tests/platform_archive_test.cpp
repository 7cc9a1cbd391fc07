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

TEST(PlatformArchive, ReadDeliversFewerBytesAtTheEnd) {
    Bytes data(10);
    for (int i = 0; i < 10; ++i) data[i] = static_cast<BYTE>(i + 1);
    for (int bufSize : kBufferSizes) {
        SCOPED_TRACE(bufSize);
        CMemFile file(data.data(), data.size());
        CArchive ar(&file, CArchive::load, bufSize);
        BYTE first[3] = {};
        ASSERT_EQ(ar.Read(first, 3), 3u);
        EXPECT_EQ(first[2], 3);
        Bytes rest(20, 0xEE);
        ASSERT_EQ(ar.Read(rest.data(), 20), 7u);
        EXPECT_EQ(rest[0], 4);
        EXPECT_EQ(rest[6], 10);
        EXPECT_EQ(rest[7], 0xEE) << "nothing written past the bytes delivered";
        EXPECT_EQ(ar.Read(rest.data(), 1), 0u);
    }
}

TEST(PlatformArchive, FieldCutOffByTheEndOfFileThrowsEndOfFile) {
    struct Case {
        const char* field;
        std::size_t bytesPresent;
    };
    const Case cases[] = {{"BYTE", 0},  {"WORD", 0},  {"WORD", 1},  {"short", 1},
                          {"DWORD", 0}, {"DWORD", 1}, {"DWORD", 3}, {"LONG", 2}};
    for (int bufSize : kBufferSizes) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.field) + " with " + std::to_string(c.bytesPresent) +
                         " bytes, buffer " + std::to_string(bufSize));
            const Bytes data(c.bytesPresent, 0x11);
            CMemFile file(data.data(), data.size());
            CArchive ar(&file, CArchive::load, bufSize);
            try {
                const std::string f = c.field;
                BYTE by;
                WORD w;
                short s;
                DWORD dw;
                LONG l;
                if (f == "BYTE") ar >> by;
                if (f == "WORD") ar >> w;
                if (f == "short") ar >> s;
                if (f == "DWORD") ar >> dw;
                if (f == "LONG") ar >> l;
                ADD_FAILURE() << "no exception";
            } catch (const CArchiveException& e) {
                EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
            }
        }
    }
}

TEST(PlatformArchive, FieldsAfterABlockReadStartWhereTheBlockEnded) {
    // A block longer than the buffer bypasses it; the next field must follow on.
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
    }
}

TEST(PlatformArchive, ClosingALoadingArchiveLeavesTheFileWhereReadingStopped) {
    const Bytes data(10, 7);
    CMemFile file(data.data(), data.size());
    CArchive ar(&file, CArchive::load, 4096);
    WORD w;
    ar >> w;
    ar.Close();
    EXPECT_EQ(file.Seek(0, CFile::current), 2);
    EXPECT_EQ(ar.GetFile(), nullptr);
}

TEST(PlatformArchive, WrongDirectionIsRefused) {
    CMemFile file;
    CArchive storing(&file, CArchive::store);
    BYTE b = 0;
    try {
        storing.Read(&b, 1);
        ADD_FAILURE() << "read from a storing archive";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::writeOnly);
    }
    CArchive loading(&file, CArchive::load);
    try {
        loading << b;
        ADD_FAILURE() << "write to a loading archive";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::readOnly);
    }
}

// ---- Storing -------------------------------------------------------------------------------

TEST(PlatformArchive, DestructorFlushesAStoringArchive) {
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store, 4096);
        ar << static_cast<DWORD>(0x01020304u);
        EXPECT_TRUE(file.Data().empty()) << "held in the buffer until flushed";
    }
    EXPECT_EQ(file.Data(), (Bytes{4, 3, 2, 1}));
}

TEST(PlatformArchive, NoFlushOnDeleteDropsTheBuffer) {
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store | CArchive::bNoFlushOnDelete, 4096);
        ar << static_cast<BYTE>(1);
    }
    EXPECT_TRUE(file.Data().empty());
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
    EXPECT_EQ(onDisk[2], 0x10);  // 10000 = 0x2710
    EXPECT_EQ(onDisk[3], 0x27);
    EXPECT_EQ(onDisk.back(), 0xCA);

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
    EXPECT_EQ(enc, 2);
    EXPECT_EQ(back, block);
    EXPECT_EQ(tail, 0xCAFE);
}

// ---- CFile and CMemFile --------------------------------------------------------------------

TEST(PlatformCFile, OpenRefusesMissingFilesAndFolders) {
    TempDir dir;
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(dir.File("missing").c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_FALSE(file.Open(dir.path().c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::accessDenied);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Read(&error, 1), 0u) << "a closed file delivers nothing";
}

TEST(PlatformCFile, CreateTruncatesUnlessAskedNotTo) {
    TempDir dir;
    const std::string path = dir.File("f.bin");
    struct Case {
        UINT flags;
        std::size_t lengthAfterOpen;
    };
    const Case cases[] = {
        {CFile::modeCreate | CFile::modeWrite, 0},
        {CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite, 5},
        {CFile::modeReadWrite, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        WriteWholeFile(path, Bytes{1, 2, 3, 4, 5});
        CFile file;
        ASSERT_TRUE(file.Open(path.c_str(), c.flags));
        EXPECT_EQ(file.GetLength(), c.lengthAfterOpen);
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
