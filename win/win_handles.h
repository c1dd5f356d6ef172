// Small owners for the Win32 objects the panel creates per drawing or per call. Each closes its object
// when it goes out of scope; close() does it early and hands back the system's result for callers that
// must test it.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace win {

template <typename Handle, auto Close, Handle Invalid = Handle{}>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            close();
            handle_ = other.release();
        }
        return *this;
    }
    ~UniqueHandle() { close(); }

    Handle get() const { return handle_; }
    operator Handle() const { return handle_; }
    explicit operator bool() const { return handle_ != Invalid; }

    Handle release() { return std::exchange(handle_, Invalid); }

    // True when there was nothing to close or the system closed it.
    bool close()
    {
        if (handle_ == Invalid)
            return true;
        return Close(std::exchange(handle_, Invalid)) != 0;
    }

    void reset(Handle handle = Invalid)
    {
        close();
        handle_ = handle;
    }

private:
    Handle handle_ = Invalid;
};

inline BOOL DeleteGdiObject(HGDIOBJ object) { return DeleteObject(object); }
inline BOOL FreeLocal(HLOCAL memory) { return LocalFree(memory) == nullptr; }
inline BOOL UnmapView(void* view) { return UnmapViewOfFile(view); }
inline BOOL ReleaseCryptContext(HCRYPTPROV provider) { return CryptReleaseContext(provider, 0); }

using UniqueDC = UniqueHandle<HDC, DeleteDC>;  // from CreateCompatibleDC
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteGdiObject>;
using UniqueFont = UniqueHandle<HFONT, DeleteGdiObject>;
using UniqueRegion = UniqueHandle<HRGN, DeleteGdiObject>;
using UniqueHandleObject = UniqueHandle<HANDLE, CloseHandle>;  // processes, threads, file mappings
using UniqueLocal = UniqueHandle<HLOCAL, FreeLocal>;
using UniqueView = UniqueHandle<void*, UnmapView>;  // from MapViewOfFile
using UniqueCryptProvider = UniqueHandle<HCRYPTPROV, ReleaseCryptContext>;
using UniqueCryptKey = UniqueHandle<HCRYPTKEY, CryptDestroyKey>;
using UniqueCryptHash = UniqueHandle<HCRYPTHASH, CryptDestroyHash>;
using UniqueWinEventHook = UniqueHandle<HWINEVENTHOOK, UnhookWinEvent>;
using UniqueWindow = UniqueHandle<HWND, DestroyWindow>;  // a window of the calling thread

// A DC borrowed from a window with GetDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() { release(); }

    HDC get() const { return dc_; }
    operator HDC() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

    // True when there was nothing to release or ReleaseDC released it.
    bool release()
    {
        if (!dc_)
            return true;
        return ReleaseDC(window_, std::exchange(dc_, nullptr)) != 0;
    }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a DC and selects the previous one back at the end of the scope.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
    ~SelectGuard() { restore(); }

    // False when the selection failed (null or HGDI_ERROR).
    bool ok() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

    // True when there was nothing to restore or the previous object went back in.
    bool restore()
    {
        if (!ok())
            return true;
        HGDIOBJ result = SelectObject(dc_, std::exchange(previous_, nullptr));
        return result != nullptr && result != HGDI_ERROR;
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace win
