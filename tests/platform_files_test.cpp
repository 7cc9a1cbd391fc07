// The file calls of the platform layer: OpenFile and the old transfers over POSIX
// descriptors, CFile, and CArchive over CMemFile and CFile (field encodings, buffering at
// every buffer size, the end-of-file exception).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "temp_dir.h"
#include "zumeld/platform/afx.h"

namespace {

using Bytes = std::vector<BYTE>;
constexpr WORD kFileNotFound = 2, kAccessDenied = 5;  // Windows error codes
// Buffer sizes that put the field boundaries at every offset of a refill.
constexpr int kBufferSizes[] = {1, 2, 3, 5, 4096};

TEST(PlatformFiles, OpenFileModesAndRefusals) {
    TempDir dir;
    const std::string path = dir.File("data.bin");
    // exists: the file holds "hello" before the call; err: OFSTRUCT::nErrCode after it (not 0:
    // the call fails); read: what a read of 16 bytes delivers; after: the content once "XY" is
    // written.
    const struct {
        UINT style;
        bool exists;
        WORD err;
        const char *read, *after;
    } cases[] = {{OF_READ, true, 0, "hello", "hello"},
                 {OF_READ, false, kFileNotFound, nullptr, nullptr},
                 {OF_READWRITE, true, 0, "hello", "helloXY"},
                 {OF_CREATE | OF_READWRITE, true, 0, "", "XY"},
                 {OF_CREATE | OF_READWRITE, false, 0, "", "XY"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style << (c.exists ? ", exists" : ""));
        std::remove(path.c_str());
        if (c.exists) std::ofstream(path, std::ios::binary) << "hello";
        OFSTRUCT of;
        std::memset(&of, 0xCC, sizeof of);
        const HFILE h = OpenFile(path.c_str(), &of, c.style);
        EXPECT_EQ(of.nErrCode, c.err);
        EXPECT_NE(std::memchr(of.szPathName, '\0', sizeof of.szPathName), nullptr);
        if (c.err != 0) {
            EXPECT_EQ(h, HFILE_ERROR);
            continue;
        }
        EXPECT_EQ(std::string(of.szPathName), path) << "the full path of the file opened";
        char buf[16] = {};
        const UINT got = _lread(h, buf, sizeof buf);
        EXPECT_EQ(std::string(buf, std::min<UINT>(got, sizeof buf)), c.read);
        const bool writable = (c.style & OF_READWRITE) != 0;
        EXPECT_EQ(_lwrite(h, "XY", 2), writable ? 2u : static_cast<UINT>(HFILE_ERROR));
        EXPECT_EQ(_lclose(h), 0);
        EXPECT_EQ(zumeld_test::ReadText(path), c.after);
    }
    OFSTRUCT of;
    const std::string folder = dir.path().string();
    EXPECT_EQ(OpenFile(folder.c_str(), &of, OF_READ), HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, kAccessDenied);
    EXPECT_EQ(OpenFile(folder.c_str(), &of, OF_READWRITE), HFILE_ERROR);
    EXPECT_EQ(OpenFile(dir.File("no/such/file").c_str(), &of, OF_CREATE | OF_READWRITE),
              HFILE_ERROR);
    EXPECT_NE(of.nErrCode, 0);
    EXPECT_EQ(OpenFile(nullptr, &of, OF_READ), HFILE_ERROR);
}

TEST(PlatformFiles, SeekReadAndWriteOnADescriptorAndFailOnOneNotOpen) {
    TempDir dir;
    const std::string path = dir.File("f.bin");
    OFSTRUCT of;
    const HFILE h = OpenFile(path.c_str(), &of, OF_CREATE | OF_READWRITE);
    ASSERT_NE(h, HFILE_ERROR);
    EXPECT_EQ(_lwrite(h, "0123456789", 10), 10u);
    EXPECT_EQ(_lwrite(h, "", 0), 0u);
    EXPECT_EQ(_llseek(h, -4, FILE_END), 6);
    char buf[8] = {};
    EXPECT_EQ(_lread(h, buf, 8), 4u) << "fewer bytes at the end of the file";
    EXPECT_STREQ(buf, "6789");
    EXPECT_EQ(_lread(h, buf, 8), 0u);
    EXPECT_EQ(_llseek(h, 2, FILE_BEGIN), 2);
    EXPECT_EQ(_llseek(h, 0, FILE_CURRENT), 2);
    EXPECT_EQ(_llseek(h, -1, FILE_BEGIN), HFILE_ERROR);
    EXPECT_EQ(_lread(h, nullptr, 1), static_cast<UINT>(HFILE_ERROR));
    EXPECT_EQ(_lclose(h), 0);
    EXPECT_EQ(zumeld_test::ReadText(path), "0123456789") << "a zero-byte write cuts nothing";
    for (HFILE bad : {HFILE_ERROR, -7}) {
        EXPECT_EQ(_lread(bad, buf, 4), static_cast<UINT>(HFILE_ERROR)) << bad;
        EXPECT_EQ(_lwrite(bad, "abcd", 4), static_cast<UINT>(HFILE_ERROR)) << bad;
        EXPECT_EQ(_llseek(bad, 0, FILE_BEGIN), HFILE_ERROR) << bad;
    }
    // (Windows reports closing HFILE_ERROR, the process's own pseudo-handle, as done.)
    EXPECT_EQ(_lclose(-7), HFILE_ERROR);

    // CFile: a refusal with its cause, and reads that stop at the end.
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(dir.File("missing").c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary));
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(file.Seek(-2, CFile::end), 8);
    EXPECT_EQ(file.Read(buf, 4), 2u);
    EXPECT_THROW(file.Write("x", 1), CFileException);
}

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
        CMemFile file;
        CArchive out(&file, CArchive::store, bufSize);
        std::apply([&](auto... v) { (out << ... << v); }, values);
        out.Close();
        EXPECT_EQ(file.Data(), bytes) << bufSize;
        file.Seek(0, CFile::begin);
        CArchive in(&file, CArchive::load, bufSize);
        std::remove_const_t<decltype(values)> back{};
        std::apply([&](auto&... v) { (in >> ... >> v); }, back);
        EXPECT_EQ(back, values) << bufSize;
        // A field cut off by the end of the file throws the end-of-file exception.
        BYTE b;
        EXPECT_EQ(ArchiveCause([&] { in >> b; }), CArchiveException::endOfFile) << bufSize;
        CMemFile cut(bytes.data(), 3);
        CArchive part(&cut, CArchive::load, bufSize);
        DWORD dw;
        EXPECT_EQ(ArchiveCause([&] { part >> dw; }), CArchiveException::endOfFile) << bufSize;
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
            CArchive out(&file, CArchive::store, bufSize);  // flushed by its destructor
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
        // Closed, a loading archive leaves the file where it stopped reading.
        file.Seek(1, CFile::begin);
        CArchive again(&file, CArchive::load, bufSize);
        again >> b0;
        again.Close();
        EXPECT_EQ(file.Seek(0, CFile::current), 2) << "read-ahead given back";
    }
    CMemFile file;
    CArchive storing(&file, CArchive::store), reading(&file, CArchive::load);
    BYTE b = 0;
    EXPECT_EQ(ArchiveCause([&] { storing.Read(&b, 1); }), CArchiveException::writeOnly);
    EXPECT_EQ(ArchiveCause([&] { reading << b; }), CArchiveException::readOnly);
}

}  // namespace
