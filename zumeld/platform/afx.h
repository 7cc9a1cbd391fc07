// Stand-ins for the application-framework classes the library uses: CString, CFile and
// CMemFile, CArchive with its end-of-file exception, CGdiObject and CBitmap, the
// extension-module record with its resource chain, and the message box. Each is as small
// as its callers need and correct for every input they can pass.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "zumeld/platform/win32.h"

// ---- CString: a byte string (UTF-8 in this build) ------------------------------------------
class ZUMELD_API CString {
public:
    CString() = default;
    CString(const char* psz) : m_str(psz ? psz : "") {}
    CString(const std::string& s) : m_str(s) {}
    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    operator const char*() const { return m_str.c_str(); }
    const char* GetString() const { return m_str.c_str(); }
    CString& operator=(const char* psz) {
        m_str = psz ? psz : "";
        return *this;
    }
    CString& operator+=(const CString& o) {
        m_str += o.m_str;
        return *this;
    }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_str + b.m_str); }
    bool operator==(const CString& o) const { return m_str == o.m_str; }

private:
    std::string m_str;
};

// ---- Exceptions ------------------------------------------------------------------------------
// Thrown by value: catch (const CArchiveException& e), never as pointers.
class ZUMELD_API CException {
public:
    virtual ~CException();
    void Delete() { delete this; }
};

class ZUMELD_API CArchiveException : public CException {
public:
    enum {
        none,
        genericException,
        readOnly,
        endOfFile,
        writeOnly,
        badIndex,
        badClass,
        badSchema
    };
    explicit CArchiveException(int cause = none) : m_cause(cause) {}
    ~CArchiveException() override;
    int m_cause;
};

class ZUMELD_API CFileException : public CException {
public:
    enum { none, genericException, fileNotFound, accessDenied, diskFull, endOfFile };
    explicit CFileException(int cause = none) : m_cause(cause) {}
    ~CFileException() override;
    int m_cause;
};

// ---- CFile over a POSIX descriptor, CMemFile over a growable block -------------------------
class ZUMELD_API CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyWrite = 0x0020,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };
    enum BufferCommand { bufferRead = 0, bufferWrite = 1, bufferCommit = 2, bufferCheck = 3 };
    enum BufferFlags { bufferDirect = 0x01, bufferBlocking = 0x02 };

    CFile();
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Returns FALSE (and fills pError when given) when the file cannot be opened; a
    // directory cannot be opened for reading.
    virtual BOOL Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    // Reads up to nCount bytes; returns the number delivered (fewer at the end of the file).
    virtual UINT Read(void* lpBuf, UINT nCount);
    // Writes nCount bytes; throws CFileException when the write fails.
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual std::int64_t Seek(std::int64_t lOff, UINT nFrom);
    virtual std::uint64_t GetLength() const;
    virtual void Flush();
    virtual void Close();
    // Direct access to a file's bytes in memory. bufferCheck: bufferDirect when the file
    // offers it, else 0 (a file on disk). bufferRead: points *ppBufStart..*ppBufMax at up to
    // nCount bytes at the position, moves past them and returns their number; the bytes stay
    // valid until the file is written or destroyed. Other commands: 0.
    virtual UINT GetBufferPtr(UINT nCommand, UINT nCount = 0, void** ppBufStart = nullptr,
                              void** ppBufMax = nullptr);
    bool IsOpen() const { return m_fd >= 0; }

protected:
    int m_fd = -1;
};

class ZUMELD_API CMemFile : public CFile {
public:
    CMemFile() = default;
    // Reads the given bytes in place and writes over a copy of them, made at the first write
    // (or the first Data() call). Requires: the bytes outlive the file or its first write.
    CMemFile(const BYTE* pData, std::size_t nSize) : m_view(pData), m_viewSize(pData ? nSize : 0) {}
    ~CMemFile() override;
    BOOL Open(const char*, UINT, CFileException* = nullptr) override { return FALSE; }
    UINT Read(void* lpBuf, UINT nCount) override;
    void Write(const void* lpBuf, UINT nCount) override;
    std::int64_t Seek(std::int64_t lOff, UINT nFrom) override;
    std::uint64_t GetLength() const override { return m_view ? m_viewSize : m_data.size(); }
    void Flush() override {}
    void Close() override {}
    UINT GetBufferPtr(UINT nCommand, UINT nCount = 0, void** ppBufStart = nullptr,
                      void** ppBufMax = nullptr) override;
    const std::vector<BYTE>& Data() const;

  private:
    // Ends reading in place: the bytes become the file's own copy.
    void TakeCopy() const;

    mutable std::vector<BYTE> m_data;
    mutable const BYTE* m_view = nullptr;  // the caller's bytes while nothing was written
    mutable std::size_t m_viewSize = 0;
    std::size_t m_pos = 0;
};

// ---- CArchive: a buffered little-endian byte stream over a CFile --------------------------
class ZUMELD_API CArchive {
public:
    enum Mode { store = 0, load = 1, bNoFlushOnDelete = 2 };

    CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096, void* lpBuf = nullptr);
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsStoring() const { return (m_nMode & load) == 0; }
    bool IsLoading() const { return (m_nMode & load) != 0; }
    CFile* GetFile() const { return m_pFile; }

    // Reads up to nMax bytes and returns the number delivered; fewer at the end of file.
    UINT Read(void* lpBuf, UINT nMax);
    void Write(const void* lpBuf, UINT nMax);
    void Flush();
    void Close();
    void Abort();

    // Fixed-size fields, raw little-endian. Loading throws CArchiveException(endOfFile)
    // when the file ends inside the field.
    CArchive& operator<<(BYTE by);
    CArchive& operator<<(WORD w);
    CArchive& operator<<(short s);
    CArchive& operator<<(DWORD dw);
    CArchive& operator<<(LONG l);  // LONG is int in this build: serves int too
    CArchive& operator>>(BYTE& by);
    CArchive& operator>>(WORD& w);
    CArchive& operator>>(short& s);
    CArchive& operator>>(DWORD& dw);
    CArchive& operator>>(LONG& l);

private:
    void ReadExact(void* p, UINT n);
    CFile* m_pFile;
    UINT m_nMode;
    std::vector<BYTE> m_buf;
    std::size_t m_cur = 0;  // loading: next unread byte in m_buf; storing: bytes held
    std::size_t m_lim = 0;  // loading: bytes valid in m_buf
    bool m_closed = false;
};

// ---- GDI object wrappers ---------------------------------------------------------------------
class ZUMELD_API CGdiObject {
public:
    CGdiObject() = default;
    virtual ~CGdiObject();
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    BOOL Attach(HGDIOBJ hObject);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    HGDIOBJ m_hObject = nullptr;
};

class ZUMELD_API CBitmap : public CGdiObject {
public:
    CBitmap() = default;
    ~CBitmap() override;
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
    int GetBitmap(BITMAP* pBitMap) { return GetObjectA(m_hObject, sizeof(BITMAP), pBitMap); }
};

// ---- Extension module, resource chain, message box ---------------------------------------
struct AFX_EXTENSION_MODULE {
    BOOL bInitialized = FALSE;
    HMODULE hModule = nullptr;
    HMODULE hResource = nullptr;
};

ZUMELD_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule);
ZUMELD_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll = FALSE);

class ZUMELD_API CDynLinkLibrary {
public:
    CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem = FALSE);
    virtual ~CDynLinkLibrary();
    HMODULE m_hModule;
    HMODULE m_hResource;
    BOOL m_bSystem;
};

// Finds the module in the resource chain that holds the named resource (null if none).
ZUMELD_API HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType);

// Shows a message; this build passes it to the installed handler (default: the text on
// stderr) and returns IDOK.
ZUMELD_API int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
using AfxMessageBoxHandler = std::function<int(const char* text, UINT type, UINT help)>;
// Replaces the handler and returns the previous one; an empty handler restores the default.
ZUMELD_API AfxMessageBoxHandler AfxSetMessageBoxHandler(AfxMessageBoxHandler handler);
