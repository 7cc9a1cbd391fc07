// Scoped holders for what the CCtrlDib members take from the platform and must give back on
// every path: a lock on a global block, an open file, the screen device context with a
// palette selected into it. None of them owns the block, bitmap or palette itself.
#pragma once

#include <cstddef>

#include "zumeld/platform/win32.h"

namespace Zumeld::dib {

// Locks a global block for the holder's lifetime. get() is null for a null handle or a
// block that cannot be locked.
class LockedBlock {
  public:
    explicit LockedBlock(HGLOBAL h) : h_(h), p_(h ? static_cast<BYTE*>(GlobalLock(h)) : nullptr) {}
    ~LockedBlock() { Unlock(); }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    BYTE* get() const { return p_; }
    std::size_t size() const { return p_ ? GlobalSize(h_) : 0; }
    // Gives the lock back early (before the block is freed or resized).
    void Unlock() {
        if (p_) GlobalUnlock(h_);
        p_ = nullptr;
    }

  private:
    HGLOBAL h_;
    BYTE* p_;
};

// Closes a file opened with OpenFile unless Close() already did.
class OpenedFile {
  public:
    explicit OpenedFile(HFILE fh) : fh_(fh) {}
    ~OpenedFile() { Close(); }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    HFILE get() const { return fh_; }
    bool IsOpen() const { return fh_ != HFILE_ERROR; }
    // True when the file was open and closed cleanly.
    bool Close() {
        if (fh_ == HFILE_ERROR) return false;
        const bool closed = _lclose(fh_) != HFILE_ERROR;
        fh_ = HFILE_ERROR;
        return closed;
    }

  private:
    HFILE fh_;
};

// The screen device context; a palette selected with SelectPalette (not forced to the
// background) and realized is deselected again before the context is released.
class ScreenContext {
  public:
    ScreenContext() : dc_(GetDC(nullptr)) {}
    ~ScreenContext() {
        if (selected_) SelectPalette(dc_, old_, FALSE);
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenContext(const ScreenContext&) = delete;
    ScreenContext& operator=(const ScreenContext&) = delete;

    HDC get() const { return dc_; }
    void UsePalette(HPALETTE pal) {
        if (!dc_ || !pal || selected_) return;
        old_ = SelectPalette(dc_, pal, FALSE);
        selected_ = true;
        RealizePalette(dc_);
    }

  private:
    HDC dc_;
    HPALETTE old_ = nullptr;
    bool selected_ = false;
};

}  // namespace Zumeld::dib
