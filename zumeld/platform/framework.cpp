// The framework's file classes: the exceptions, CFile over a C runtime descriptor, CMemFile
// over a growable block and CArchive, a buffered little-endian byte stream over either.
// Exceptions are thrown by value (catch (const CArchiveException& e)).

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "zumeld/platform/afx.h"
#include "zumeld/platform/files_p.h"

// ---- Exceptions ------------------------------------------------------------------------------
CException::~CException() = default;
CArchiveException::~CArchiveException() = default;
CFileException::~CFileException() = default;

namespace {

int FileCauseFromErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return CFileException::fileNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return CFileException::accessDenied;
        case ENOSPC:
            return CFileException::diskFull;
        default:
            return CFileException::genericException;
    }
}

[[noreturn]] void ThrowFileError(int err) {
    throw CFileException(FileCauseFromErrno(err));
}

// The new position of a seek from base by off, or -1 when it would fall before the start
// or overflow.
std::int64_t SeekTarget(std::int64_t base, std::int64_t off) {
    std::int64_t pos;
    if (__builtin_add_overflow(base, off, &pos) || pos < 0) return -1;
    return pos;
}

}  // namespace

// ---- CFile -------------------------------------------------------------------------------------
CFile::CFile() = default;

CFile::~CFile() {
    if (m_fd >= 0) Zumeld::Platform::CloseDescriptor(m_fd);  // a destructor reports nothing
}

BOOL CFile::Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError) {
    if (m_fd >= 0) {
        Zumeld::Platform::CloseDescriptor(m_fd);
        m_fd = -1;
    }
    Zumeld::Platform::OpenRequest request;
    request.access = nOpenFlags & 3u;
    request.create = (nOpenFlags & modeCreate) != 0;
    request.truncate = request.create && (nOpenFlags & modeNoTruncate) == 0;
    const int fd = Zumeld::Platform::OpenDescriptor(lpszFileName, request);
    if (fd < 0) {
        if (pError) pError->m_cause = FileCauseFromErrno(errno);
        return FALSE;
    }
    m_fd = fd;
    if (pError) pError->m_cause = CFileException::none;
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
    if (m_fd < 0 || lpBuf == nullptr || nCount == 0) return 0;
    const std::ptrdiff_t got = Zumeld::Platform::ReadFully(m_fd, lpBuf, nCount);
    if (got < 0) ThrowFileError(errno);
    return static_cast<UINT>(got);
}

void CFile::Write(const void* lpBuf, UINT nCount) {
    if (nCount == 0) return;
    if (m_fd < 0 || lpBuf == nullptr) throw CFileException(CFileException::genericException);
    if (!Zumeld::Platform::WriteFully(m_fd, lpBuf, nCount)) ThrowFileError(errno);
}

std::int64_t CFile::Seek(std::int64_t lOff, UINT nFrom) {
    static constexpr int kWhence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (m_fd < 0 || nFrom > end) throw CFileException(CFileException::genericException);
    const std::int64_t pos = Zumeld::Platform::SeekDescriptor(m_fd, lOff, kWhence[nFrom]);
    if (pos < 0) ThrowFileError(errno);
    return pos;
}

std::uint64_t CFile::GetLength() const {
    const std::int64_t length = m_fd < 0 ? -1 : Zumeld::Platform::DescriptorLength(m_fd);
    return length < 0 ? 0 : static_cast<std::uint64_t>(length);
}

// Nothing is buffered above the descriptor: written bytes are already with the system.
void CFile::Flush() {}

UINT CFile::GetBufferPtr(UINT, UINT, void**, void**) {
    return 0;  // a file on disk offers no direct access
}

void CFile::Close() {
    if (m_fd < 0) return;
    const int fd = m_fd;
    m_fd = -1;
    if (!Zumeld::Platform::CloseDescriptor(fd)) ThrowFileError(errno);
}

// ---- CMemFile ----------------------------------------------------------------------------------
CMemFile::~CMemFile() = default;

void CMemFile::TakeCopy() const {
    if (m_view == nullptr) return;
    m_data.assign(m_view, m_view + m_viewSize);
    m_view = nullptr;
    m_viewSize = 0;
}

const std::vector<BYTE>& CMemFile::Data() const {
    TakeCopy();
    return m_data;
}

UINT CMemFile::Read(void* lpBuf, UINT nCount) {
    const BYTE* data = m_view ? m_view : m_data.data();
    const std::size_t size = m_view ? m_viewSize : m_data.size();
    if (lpBuf == nullptr || m_pos >= size) return 0;
    const std::size_t n = std::min<std::size_t>(nCount, size - m_pos);
    if (n > 0) std::memcpy(lpBuf, data + m_pos, n);
    m_pos += n;
    return static_cast<UINT>(n);
}

UINT CMemFile::GetBufferPtr(UINT nCommand, UINT nCount, void** ppBufStart, void** ppBufMax) {
    if (nCommand == bufferCheck) return bufferDirect;
    if (nCommand != bufferRead || ppBufStart == nullptr || ppBufMax == nullptr) return 0;
    const BYTE* data = m_view ? m_view : m_data.data();
    const std::size_t size = m_view ? m_viewSize : m_data.size();
    const std::size_t n = m_pos < size ? std::min<std::size_t>(nCount, size - m_pos) : 0;
    // The bytes are handed out for reading only; the pointer type is the framework's.
    *ppBufStart = const_cast<BYTE*>(data + std::min(m_pos, size));
    *ppBufMax = static_cast<BYTE*>(*ppBufStart) + n;
    m_pos += n;
    return static_cast<UINT>(n);
}

void CMemFile::Write(const void* lpBuf, UINT nCount) {
    if (nCount == 0) return;
    if (lpBuf == nullptr) throw CFileException(CFileException::genericException);
    if (m_pos > m_data.max_size() - nCount) throw CFileException(CFileException::diskFull);
    TakeCopy();
    const auto* in = static_cast<const BYTE*>(lpBuf);
    const std::size_t endPos = m_pos + nCount;
    if (m_pos == m_data.size()) {
        m_data.insert(m_data.end(), in, in + nCount);  // appending: no zero fill first
    } else {
        if (endPos > m_data.size()) m_data.resize(endPos);  // a gap left by a seek reads as 0
        std::memcpy(m_data.data() + m_pos, in, nCount);
    }
    m_pos = endPos;
}

std::int64_t CMemFile::Seek(std::int64_t lOff, UINT nFrom) {
    if (nFrom > end) throw CFileException(CFileException::genericException);
    const std::size_t bases[3] = {0, m_pos, static_cast<std::size_t>(GetLength())};
    const std::int64_t pos = SeekTarget(static_cast<std::int64_t>(bases[nFrom]), lOff);
    if (pos < 0) throw CFileException(CFileException::genericException);
    m_pos = static_cast<std::size_t>(pos);
    return pos;
}

// ---- CArchive ----------------------------------------------------------------------------------
CArchive::CArchive(CFile* pFile, UINT nMode, int nBufSize, void* /*lpBuf*/)
    : m_pFile(pFile),
      m_nMode(nMode),
      m_buf(nBufSize > 0 ? static_cast<std::size_t>(nBufSize) : 4096) {}

CArchive::~CArchive() {
    if (m_closed || !IsStoring() || (m_nMode & bNoFlushOnDelete) != 0) return;
    try {
        Flush();
    } catch (...) {
        // A destructor cannot report a failed write; Close() is the call that does.
    }
}

UINT CArchive::Read(void* lpBuf, UINT nMax) {
    if (IsStoring()) throw CArchiveException(CArchiveException::writeOnly);
    if (lpBuf == nullptr) return 0;
    auto* out = static_cast<BYTE*>(lpBuf);
    std::size_t done = 0;
    while (done < nMax) {
        if (m_cur == m_lim) {
            if (m_pFile == nullptr) break;
            const std::size_t want = nMax - done;
            UINT got;
            if (want >= m_buf.size()) {
                // A large block goes straight from the file to the caller.
                got = m_pFile->Read(out + done, static_cast<UINT>(want));
                done += got;
            } else {
                m_cur = 0;
                m_lim = got = m_pFile->Read(m_buf.data(), static_cast<UINT>(m_buf.size()));
            }
            if (got == 0) break;  // end of file
            continue;
        }
        const std::size_t n = std::min(m_lim - m_cur, nMax - done);
        std::memcpy(out + done, m_buf.data() + m_cur, n);
        m_cur += n;
        done += n;
    }
    return static_cast<UINT>(done);
}

void CArchive::Write(const void* lpBuf, UINT nMax) {
    if (IsLoading()) throw CArchiveException(CArchiveException::readOnly);
    if (nMax == 0) return;
    if (m_pFile == nullptr || lpBuf == nullptr)
        throw CArchiveException(CArchiveException::genericException);
    const auto* in = static_cast<const BYTE*>(lpBuf);
    while (nMax > 0) {
        if (m_cur == 0 && nMax >= m_buf.size()) {
            // A block at least a buffer long goes straight to the file.
            m_pFile->Write(in, nMax);
            return;
        }
        const std::size_t n = std::min<std::size_t>(m_buf.size() - m_cur, nMax);
        std::memcpy(m_buf.data() + m_cur, in, n);
        m_cur += n;
        in += n;
        nMax -= static_cast<UINT>(n);
        if (m_cur == m_buf.size()) Flush();
    }
}

void CArchive::Flush() {
    if (m_pFile == nullptr) return;
    if (IsStoring()) {
        if (m_cur > 0) m_pFile->Write(m_buf.data(), static_cast<UINT>(m_cur));
        m_cur = 0;
    } else if (m_lim > m_cur) {
        // Give back what was read ahead, so the file stands where the archive stopped.
        m_pFile->Seek(-static_cast<std::int64_t>(m_lim - m_cur), CFile::current);
        m_cur = m_lim = 0;
    }
}

void CArchive::Close() {
    if (m_closed) return;
    Flush();
    Abort();
}

void CArchive::Abort() {
    m_closed = true;
    m_pFile = nullptr;
    m_cur = m_lim = 0;
}

void CArchive::ReadExact(void* p, UINT n) {
    if (Read(p, n) != n) throw CArchiveException(CArchiveException::endOfFile);
}

// Fixed-size fields: raw little-endian bytes, assembled with shifts so the host's byte
// order does not matter. The signed fields travel as their unsigned bit patterns.
CArchive& CArchive::operator<<(BYTE by) {
    Write(&by, 1);
    return *this;
}

CArchive& CArchive::operator<<(WORD w) {
    const BYTE b[2] = {static_cast<BYTE>(w), static_cast<BYTE>(w >> 8)};
    Write(b, 2);
    return *this;
}

CArchive& CArchive::operator<<(short s) {
    return *this << static_cast<WORD>(s);
}

CArchive& CArchive::operator<<(DWORD dw) {
    const BYTE b[4] = {static_cast<BYTE>(dw), static_cast<BYTE>(dw >> 8),
                       static_cast<BYTE>(dw >> 16), static_cast<BYTE>(dw >> 24)};
    Write(b, 4);
    return *this;
}

CArchive& CArchive::operator<<(LONG l) {
    return *this << static_cast<DWORD>(l);
}

CArchive& CArchive::operator>>(BYTE& by) {
    ReadExact(&by, 1);
    return *this;
}

CArchive& CArchive::operator>>(WORD& w) {
    BYTE b[2];
    ReadExact(b, 2);
    w = static_cast<WORD>(b[0] | (b[1] << 8));
    return *this;
}

CArchive& CArchive::operator>>(short& s) {
    WORD w;
    *this >> w;
    s = static_cast<short>(w);
    return *this;
}

CArchive& CArchive::operator>>(DWORD& dw) {
    BYTE b[4];
    ReadExact(b, 4);
    dw = static_cast<DWORD>(b[0]) | (static_cast<DWORD>(b[1]) << 8) |
         (static_cast<DWORD>(b[2]) << 16) | (static_cast<DWORD>(b[3]) << 24);
    return *this;
}

CArchive& CArchive::operator>>(LONG& l) {
    DWORD dw;
    *this >> dw;
    l = static_cast<LONG>(dw);
    return *this;
}
