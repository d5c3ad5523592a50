// Owners of Windows resources: each closes its resource exactly once, when it is reset
// or destroyed, so that no early return can leak a handle, key, module, SID or buffer.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <utility>

namespace kv {

// Owner of one resource described by Traits:
//   using type = ...;                 the resource type
//   static type invalid() noexcept;   the value that owns nothing
//   static void close(type) noexcept; releases a valid value
template <class Traits>
class unique_resource {
public:
    using type = typename Traits::type;

    unique_resource() noexcept = default;
    explicit unique_resource(type value) noexcept : value_(value) {}
    unique_resource(unique_resource&& other) noexcept : value_(other.release()) {}
    unique_resource& operator=(unique_resource&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    ~unique_resource() { reset(); }

    type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

    // Closes the current value and takes ownership of another one.
    void reset(type value = Traits::invalid()) noexcept
    {
        const type old = std::exchange(value_, value);
        if (old != Traits::invalid())
            Traits::close(old);
    }

    // Gives up ownership without closing.
    [[nodiscard]] type release() noexcept { return std::exchange(value_, Traits::invalid()); }

    // Address for an API that returns a new resource through an out parameter; whatever
    // was owned before is closed first.
    type* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    type value_ = Traits::invalid();
};

namespace detail {

// The traits of a resource of type T that Close releases and whose "none" is the value None:
// null for most, -1 (INVALID_HANDLE_VALUE) for what CreateFileW and FindFirstFileW return.
template <class T, auto Close, std::intptr_t None = 0>
struct closed_by {
    using type = T;
    static type invalid() noexcept { return reinterpret_cast<type>(None); }
    static void close(type value) noexcept { Close(value); }
};

} // namespace detail

using unique_handle = unique_resource<detail::closed_by<HANDLE, ::CloseHandle>>;         // kernel objects
using unique_file = unique_resource<detail::closed_by<HANDLE, ::CloseHandle, -1>>;       // CreateFileW
using unique_hkey = unique_resource<detail::closed_by<HKEY, ::RegCloseKey>>;
using unique_module = unique_resource<detail::closed_by<HMODULE, ::FreeLibrary>>;        // LoadLibrary(Ex)W
using unique_sid = unique_resource<detail::closed_by<PSID, ::FreeSid>>;                  // AllocateAndInitializeSid
using unique_local_memory = unique_resource<detail::closed_by<HLOCAL, ::LocalFree>>;     // LocalAlloc, FormatMessageW
using unique_cotask_memory = unique_resource<detail::closed_by<void*, ::CoTaskMemFree>>; // CoTaskMemAlloc
using unique_find_handle = unique_resource<detail::closed_by<HANDLE, ::FindClose, -1>>;  // FindFirstFileW
using unique_icon = unique_resource<detail::closed_by<HICON, ::DestroyIcon>>;
using unique_gdi_object = unique_resource<detail::closed_by<HGDIOBJ, ::DeleteObject>>;
using unique_dc = unique_resource<detail::closed_by<HDC, ::DeleteDC>>;                   // CreateCompatibleDC

// The device context of a window (or of the screen for null), released with it.
class window_dc {
public:
    explicit window_dc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ~window_dc()
    {
        if (dc_)
            ::ReleaseDC(window_, dc_);
    }
    window_dc(const window_dc&) = delete;
    window_dc& operator=(const window_dc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects a GDI object into a device context and puts the previous one back.
class select_object {
public:
    select_object(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~select_object() { ::SelectObject(dc_, previous_); }
    select_object(const select_object&) = delete;
    select_object& operator=(const select_object&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Typed view of memory the system allocated, owned by Memory: unique_local_memory for what
// LocalAlloc gave (FormatMessageW, ...), unique_cotask_memory for what CoTaskMemAlloc gave
// (SHGetKnownFolderPath, ...).
template <class T, class Memory>
class typed_memory {
public:
    typed_memory() noexcept = default;
    T* get() const noexcept { return static_cast<T*>(memory_.get()); }
    T** put() noexcept { return reinterpret_cast<T**>(memory_.put()); }
    explicit operator bool() const noexcept { return static_cast<bool>(memory_); }

private:
    Memory memory_;
};

template <class T>
using unique_local_ptr = typed_memory<T, unique_local_memory>;
template <class T>
using unique_cotask_ptr = typed_memory<T, unique_cotask_memory>;

// Owner of one reference to a COM interface.
template <class Interface>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ptr& operator=(com_ptr&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    ~com_ptr() { reset(); }

    Interface* get() const noexcept { return p_; }
    Interface* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    void reset(Interface* p = nullptr) noexcept
    {
        if (Interface* old = std::exchange(p_, p))
            old->Release();
    }
    [[nodiscard]] Interface* release() noexcept { return std::exchange(p_, nullptr); }
    Interface** put() noexcept
    {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    // QueryInterface for another interface of the same object.
    template <class Other>
    HRESULT query(com_ptr<Other>& out) const noexcept
    {
        return p_->QueryInterface(__uuidof(Other), out.put_void());
    }

private:
    Interface* p_ = nullptr;
};

// Keeps COM initialised on this thread for the life of the object.
class com_initialization {
public:
    explicit com_initialization(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : result_(::CoInitializeEx(nullptr, model)) {}
    ~com_initialization()
    {
        if (SUCCEEDED(result_))
            ::CoUninitialize();
    }
    com_initialization(const com_initialization&) = delete;
    com_initialization& operator=(const com_initialization&) = delete;
    HRESULT result() const noexcept { return result_; }

private:
    HRESULT result_;
};

} // namespace kv
