// Owners of Windows resources: each closes its resource exactly once, when it is reset
// or destroyed, so that no early return can leak a handle, key, module, SID or buffer.
#pragma once

#include <windows.h>
#include <objbase.h>

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

struct handle_traits {               // kernel objects whose "none" is NULL
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};

struct file_handle_traits {          // CreateFileW and friends: "none" is INVALID_HANDLE_VALUE
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};

struct hkey_traits {
    using type = HKEY;
    static type invalid() noexcept { return nullptr; }
    static void close(type k) noexcept { ::RegCloseKey(k); }
};

struct module_traits {               // modules loaded by LoadLibrary(Ex)W
    using type = HMODULE;
    static type invalid() noexcept { return nullptr; }
    static void close(type m) noexcept { ::FreeLibrary(m); }
};

struct sid_traits {                  // SIDs made by AllocateAndInitializeSid
    using type = PSID;
    static type invalid() noexcept { return nullptr; }
    static void close(type s) noexcept { ::FreeSid(s); }
};

struct local_memory_traits {         // LocalAlloc, and buffers the system allocates with it
    using type = HLOCAL;
    static type invalid() noexcept { return nullptr; }
    static void close(type m) noexcept { ::LocalFree(m); }
};

struct cotask_memory_traits {        // CoTaskMemAlloc, SHGetKnownFolderPath
    using type = void*;
    static type invalid() noexcept { return nullptr; }
    static void close(type m) noexcept { ::CoTaskMemFree(m); }
};

struct find_handle_traits {          // FindFirstFileW
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::FindClose(h); }
};

struct icon_traits {
    using type = HICON;
    static type invalid() noexcept { return nullptr; }
    static void close(type i) noexcept { ::DestroyIcon(i); }
};

struct dc_traits {                   // CreateCompatibleDC, CreateDC
    using type = HDC;
    static type invalid() noexcept { return nullptr; }
    static void close(type dc) noexcept { ::DeleteDC(dc); }
};

struct gdi_object_traits {
    using type = HGDIOBJ;
    static type invalid() noexcept { return nullptr; }
    static void close(type o) noexcept { ::DeleteObject(o); }
};

} // namespace detail

using unique_handle = unique_resource<detail::handle_traits>;
using unique_file = unique_resource<detail::file_handle_traits>;
using unique_hkey = unique_resource<detail::hkey_traits>;
using unique_module = unique_resource<detail::module_traits>;
using unique_sid = unique_resource<detail::sid_traits>;
using unique_local_memory = unique_resource<detail::local_memory_traits>;
using unique_cotask_memory = unique_resource<detail::cotask_memory_traits>;
using unique_find_handle = unique_resource<detail::find_handle_traits>;
using unique_icon = unique_resource<detail::icon_traits>;
using unique_gdi_object = unique_resource<detail::gdi_object_traits>;
using unique_dc = unique_resource<detail::dc_traits>;

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
