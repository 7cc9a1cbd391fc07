// CArchive over CMemFile and CFile: field encodings, buffering at every buffer size, the
// end-of-file exception, and the file classes underneath.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>
#include <vector>

#include "temp_dir.h"
#include "zumeld/platform/afx.h"

namespace {

using Bytes = std::vector<BYTE>;

// Buffer sizes that put the field boundaries at every offset of a refill.
constexpr int kBufferSizes[] = {1, 2, 3, 5, 4096};

// The cause of the CArchiveException that f throws, or -1 if it throws none.
template <class F>
int ArchiveCause(F f) {
    try {
        f();
    } catch (const CArchiveException& e) {
        return e.m_cause;
    }
    return -1;
}

TEST(PlatformArchive, EveryFieldWidthStoresLittleEndianAndLoadsBack) {
    const auto values = std::tuple(BYTE{0xA5}, WORD{0xBEEF}, short{-2}, DWORD{0xDEADBEEF},
                                   LONG{-123456789}, short{-32768}, LONG{INT32_MIN});
    // 0xA5 | 0xBEEF | -2 | 0xDEADBEEF | -123456789 = 0xF8A432EB | -32768 | INT32_MIN
    const Bytes bytes = {0xA5, 0xEF, 0xBE, 0xFE, 0xFF, 0xEF, 0xBE, 0xAD, 0xDE, 0xEB,
                         0x32, 0xA4, 0xF8, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80};
    for (int bufSize : kBufferSizes) {
        SCOPED_TRACE(bufSize);
        CMemFile file;
        CArchive out(&file, CArchive::store, bufSize);
        EXPECT_TRUE(out.IsStoring());
        std::apply([&](auto... v) { (out << ... << v); }, values);
        out.Close();
        EXPECT_EQ(file.Data(), bytes);

        file.Seek(0, CFile::begin);
        CArchive in(&file, CArchive::load, bufSize);
        EXPECT_FALSE(in.IsStoring());
        std::remove_const_t<decltype(values)> back{};
        std::apply([&](auto&... v) { (in >> ... >> v); }, back);
        EXPECT_EQ(back, values);
    }
}

// A block longer than the buffer bypasses it and the next field follows on; at the end a
// read delivers fewer bytes, and writes nothing past them.
TEST(PlatformArchive, BlocksAndFieldsInterleaveAndReadsStopAtTheEnd) {
    Bytes data(100);
    for (int i = 0; i < 100; ++i) data[i] = static_cast<BYTE>(i);
    for (int bufSize : kBufferSizes) {
        SCOPED_TRACE(bufSize);
        CMemFile file;
        {
            CArchive out(&file, CArchive::store, bufSize);
            out << data[0];
            out.Write(&data[1], 50);
            out << WORD{51 | 52 << 8};
            out.Write(&data[53], 47);
        }
        EXPECT_EQ(file.Data(), data);
        file.Seek(0, CFile::begin);
        CArchive ar(&file, CArchive::load, bufSize);
        BYTE b0;
        Bytes block(50), rest(60, 0xEE);
        WORD w;
        ar >> b0;
        ASSERT_EQ(ar.Read(block.data(), 50), 50u);
        ar >> w;
        EXPECT_EQ(block, Bytes(&data[1], &data[51]));
        EXPECT_EQ(w, 51 | (52 << 8));
        ASSERT_EQ(ar.Read(rest.data(), 60), 47u);
        Bytes want(&data[53], &data[100]);
        want.resize(60, 0xEE);  // nothing written past the bytes delivered
        EXPECT_EQ(rest, want);
        EXPECT_EQ(ar.Read(rest.data(), 1), 0u);
    }
}

template <class T>
void ReadOne(CArchive& ar) {
    T v;
    ar >> v;
}

TEST(PlatformArchive, FieldCutOffByTheEndOfFileThrowsEndOfFile) {
    const struct {
        std::size_t bytesPresent;
        void (*read)(CArchive&);
    } cases[] = {{0, ReadOne<BYTE>},  {1, ReadOne<WORD>},  {1, ReadOne<short>},
                 {0, ReadOne<DWORD>}, {3, ReadOne<DWORD>}, {2, ReadOne<LONG>}};
    for (int bufSize : kBufferSizes)
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "case " << &c - cases << ", buffer " << bufSize);
            const Bytes data(c.bytesPresent, 0x11);
            CMemFile file(data.data(), data.size());
            CArchive ar(&file, CArchive::load, bufSize);
            EXPECT_EQ(ArchiveCause([&] { c.read(ar); }), CArchiveException::endOfFile);
        }
}

TEST(PlatformArchive, TheDestructorFlushesAndTheWrongDirectionIsRefused) {
    CMemFile out;
    {
        CArchive ar(&out, CArchive::store, 4096);
        ar << DWORD{0x01020304};
        EXPECT_TRUE(out.Data().empty()) << "held in the buffer until flushed";
    }
    EXPECT_EQ(out.Data(), (Bytes{4, 3, 2, 1}));
    CMemFile file;
    CArchive storing(&file, CArchive::store), reading(&file, CArchive::load);
    BYTE b = 0;
    EXPECT_EQ(ArchiveCause([&] { storing.Read(&b, 1); }), CArchiveException::writeOnly);
    EXPECT_EQ(ArchiveCause([&] { reading << b; }), CArchiveException::readOnly);
}

TEST(PlatformCFile, OpenRefusesMissingFilesAndFoldersAndReadsStopAtTheEnd) {
    TempDir dir;
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(dir.File("missing").c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_FALSE(file.Open(dir.path().string().c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::accessDenied);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Read(&error, 1), 0u) << "a closed file delivers nothing";

    const std::string path = dir.File("f.bin");
    std::ofstream(path, std::ios::binary) << "abcdef";
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary));
    EXPECT_EQ(file.GetLength(), 6u);
    EXPECT_EQ(file.Seek(-2, CFile::end), 4);
    char two[4] = {};
    EXPECT_EQ(file.Read(two, 4), 2u);
    EXPECT_STREQ(two, "ef");
    EXPECT_THROW(file.Write("x", 1), CFileException);
}

}  // namespace
