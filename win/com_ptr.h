// Owners for COM objects and the BSTR and VARIANT values that COM calls hand out.
#pragma once

#include <oleauto.h>
#include <unknwn.h>

#include <utility>

namespace win {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // For a call that hands out a new reference: releases what was held first.
    T** put()
    {
        reset();
        return &pointer_;
    }

    void reset()
    {
        if (pointer_)
            std::exchange(pointer_, nullptr)->Release();
    }

private:
    T* pointer_ = nullptr;
};

class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(const wchar_t* text) : bstr_(SysAllocString(text)) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { SysFreeString(bstr_); }

    BSTR get() const { return bstr_; }
    explicit operator bool() const { return bstr_ != nullptr; }
    // For a call that hands out a new string: frees what was held first.
    BSTR* put()
    {
        SysFreeString(bstr_);
        bstr_ = nullptr;
        return &bstr_;
    }

private:
    BSTR bstr_ = nullptr;
};

class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&variant_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&variant_); }

    VARIANT* put()
    {
        VariantClear(&variant_);
        return &variant_;
    }
    const VARIANT& get() const { return variant_; }

private:
    VARIANT variant_;
};

}  // namespace win
