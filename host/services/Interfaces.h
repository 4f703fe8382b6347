// COM-style interfaces: GUID identity, reference counting, QueryInterface.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace orv {

struct TGUID {
    std::uint32_t D1 = 0;
    std::uint16_t D2 = 0, D3 = 0;
    std::uint8_t D4[8] = {};

    // Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; raises EConvertError otherwise.
    static TGUID FromString(std::string_view Text);
    std::string ToString() const;
    bool operator==(const TGUID& O) const;
};

// Compile-time GUID literal for interface declarations.
constexpr TGUID MakeGUID(std::uint32_t D1, std::uint16_t D2, std::uint16_t D3, std::uint64_t D4) {
    TGUID G;
    G.D1 = D1;
    G.D2 = D2;
    G.D3 = D3;
    for (int I = 0; I < 8; ++I) G.D4[I] = static_cast<std::uint8_t>(D4 >> (8 * (7 - I)));
    return G;
}

class IInterface {
public:
    static constexpr TGUID IID = MakeGUID(0x00000000, 0x0000, 0x0000, 0xC000000000000046ULL);
    // On success stores an AddRef'ed pointer of the asked interface in Obj.
    virtual bool QueryInterface(const TGUID& IID, void** Obj) = 0;
    virtual int AddRef() = 0;
    virtual int Release() = 0;

protected:
    virtual ~IInterface() = default;
};

// Owns one reference; releases it on every path out of its scope.
template <class T> class TInterfacePtr {
public:
    TInterfacePtr() = default;
    // Takes over a reference the caller already holds.
    static TInterfacePtr Adopt(T* P) {
        TInterfacePtr R;
        R.FPtr = P;
        return R;
    }
    explicit TInterfacePtr(T* P) : FPtr(P) {
        if (FPtr) FPtr->AddRef();
    }
    TInterfacePtr(const TInterfacePtr& O) : FPtr(O.FPtr) {
        if (FPtr) FPtr->AddRef();
    }
    TInterfacePtr(TInterfacePtr&& O) noexcept : FPtr(std::exchange(O.FPtr, nullptr)) {}
    TInterfacePtr& operator=(TInterfacePtr O) noexcept {
        std::swap(FPtr, O.FPtr);
        return *this;
    }
    ~TInterfacePtr() { Reset(); }

    void Reset() {
        if (FPtr) std::exchange(FPtr, nullptr)->Release();
    }
    T* Get() const { return FPtr; }
    T* operator->() const { return FPtr; }
    T& operator*() const { return *FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }

private:
    T* FPtr = nullptr;
};

// Casts by GUID: an empty pointer when Source is null or does not offer I.
template <class I, class S> TInterfacePtr<I> Supports(const TInterfacePtr<S>& Source) {
    void* Obj = nullptr;
    if (Source && Source->QueryInterface(I::IID, &Obj)) return TInterfacePtr<I>::Adopt(static_cast<I*>(Obj));
    return {};
}

// Reference-counted implementation of one interface I (which derives from IInterface).
// The object deletes itself when the last reference goes.
template <class I> class TInterfacedObject : public I {
public:
    bool QueryInterface(const TGUID& Id, void** Obj) override {
        if (Id == I::IID || Id == IInterface::IID) {
            *Obj = static_cast<I*>(this);
            this->AddRef();
            return true;
        }
        *Obj = nullptr;
        return false;
    }
    int AddRef() override { return ++FRefCount; }
    int Release() override {
        int N = --FRefCount;
        if (N == 0) delete this;
        return N;
    }
    int RefCount() const { return FRefCount; }

private:
    std::atomic<int> FRefCount{0};
};

} // namespace orv
