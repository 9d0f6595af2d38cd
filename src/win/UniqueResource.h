// RAII owners for what the platform hands out, with WIL's names and meanings:
// unique_handle treats null as empty, unique_hfile INVALID_HANDLE_VALUE.
#pragma once

#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>

#include <string_view>
#include <utility>

namespace lineprobe {

template <typename Traits>
class unique_any_handle {
public:
    using pointer = typename Traits::pointer;
    unique_any_handle() = default;
    explicit unique_any_handle(pointer value) noexcept : m_value(value) {}
    unique_any_handle(const unique_any_handle&) = delete;
    unique_any_handle& operator=(const unique_any_handle&) = delete;
    unique_any_handle(unique_any_handle&& other) noexcept : m_value(other.release()) {}
    unique_any_handle& operator=(unique_any_handle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~unique_any_handle() { reset(); }

    pointer get() const noexcept { return m_value; }
    pointer* put() noexcept {
        reset();
        return &m_value;
    }
    pointer release() noexcept { return std::exchange(m_value, Traits::invalid()); }
    void reset(pointer value = Traits::invalid()) noexcept {
        if (m_value != Traits::invalid()) Traits::close(m_value);
        m_value = value;
    }
    explicit operator bool() const noexcept { return m_value != Traits::invalid(); }

private:
    pointer m_value = Traits::invalid();
};

namespace details {

struct HandleTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { CloseHandle(h); }
};
struct HfileTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { CloseHandle(h); }
};
struct HkeyTraits {
    using pointer = HKEY;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { RegCloseKey(h); }
};
struct HmoduleTraits {
    using pointer = HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { FreeLibrary(h); }
};
struct HwndTraits {
    using pointer = HWND;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { DestroyWindow(h); }
};
struct HiconTraits {
    using pointer = HICON;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { DestroyIcon(h); }
};

}  // namespace details

using unique_handle = unique_any_handle<details::HandleTraits>;
using unique_hfile = unique_any_handle<details::HfileTraits>;
using unique_hkey = unique_any_handle<details::HkeyTraits>;
using unique_hmodule = unique_any_handle<details::HmoduleTraits>;
using unique_hwnd = unique_any_handle<details::HwndTraits>;
using unique_hicon = unique_any_handle<details::HiconTraits>;

class unique_bstr {
public:
    unique_bstr() = default;
    explicit unique_bstr(BSTR value) noexcept : m_value(value) {}
    unique_bstr(const unique_bstr&) = delete;
    unique_bstr& operator=(const unique_bstr&) = delete;
    unique_bstr(unique_bstr&& other) noexcept : m_value(other.release()) {}
    unique_bstr& operator=(unique_bstr&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~unique_bstr() { reset(); }

    BSTR get() const noexcept { return m_value; }
    BSTR* put() noexcept {
        reset();
        return &m_value;
    }
    BSTR release() noexcept { return std::exchange(m_value, nullptr); }
    void reset(BSTR value = nullptr) noexcept {
        if (m_value) SysFreeString(m_value);
        m_value = value;
    }
    std::wstring_view view() const noexcept { return {m_value ? m_value : L"", SysStringLen(m_value)}; }

private:
    BSTR m_value = nullptr;
};

class unique_variant {
public:
    unique_variant() noexcept { VariantInit(&m_value); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    unique_variant(unique_variant&& other) noexcept : m_value(other.release()) {}
    unique_variant& operator=(unique_variant&& other) noexcept {
        if (this != &other) {
            VariantClear(&m_value);
            m_value = other.release();
        }
        return *this;
    }
    ~unique_variant() { VariantClear(&m_value); }

    VARIANT* get() noexcept { return &m_value; }
    const VARIANT* get() const noexcept { return &m_value; }
    void reset() noexcept { VariantClear(&m_value); }
    VARIANT release() noexcept {
        VARIANT out = m_value;
        VariantInit(&m_value);
        return out;
    }
    void swap(unique_variant& other) noexcept { std::swap(m_value, other.m_value); }

private:
    VARIANT m_value;
};

}  // namespace lineprobe
