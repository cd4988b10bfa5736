// Owners for COM objects, strings, variants and the calling thread's apartment.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace win32 {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    // For an out-parameter: drops what is held first.
    T** out() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : b_(::SysAllocString(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { ::SysFreeString(b_); }
    BSTR get() const { return b_; }
    explicit operator bool() const { return b_ != nullptr; }

private:
    BSTR b_;
};

class Variant {
public:
    Variant() { ::VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { ::VariantClear(&v_); }
    VARIANT* get() { return &v_; }
    const VARIANT& operator*() const { return v_; }

private:
    VARIANT v_;
};

// COM for the calling thread. A thread the program already initialised keeps its apartment:
// S_FALSE is a successful call that must be balanced, RPC_E_CHANGED_MODE is a refusal that
// must not be, and COM is usable in both cases.
class ComApartment {
public:
    ComApartment() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

}  // namespace win32
