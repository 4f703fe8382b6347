// Row storage of the client data set.
//
// A stored row is one immutable heap block holding a null bitmap, one 8-byte slot per
// data field and the bytes of its texts. Rows are shared, never changed: an edit stores a
// new block. The sequence of rows is a persistent counted B+tree, so a whole-set copy is
// one pointer copy, and the first change after a copy duplicates only the path it touches.
#pragma once

#include "host/data/DB.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace orv {

class TRowBlock;

// Intrusive reference to a row block.
class TRowRef {
public:
    TRowRef() = default;
    explicit TRowRef(TRowBlock* P); // takes a new reference
    TRowRef(const TRowRef& O);
    TRowRef(TRowRef&& O) noexcept : FPtr(O.FPtr) { O.FPtr = nullptr; }
    TRowRef& operator=(TRowRef O) noexcept {
        std::swap(FPtr, O.FPtr);
        return *this;
    }
    ~TRowRef();
    const TRowBlock* operator->() const { return FPtr; }
    const TRowBlock& operator*() const { return *FPtr; }
    const TRowBlock* Get() const { return FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }

private:
    TRowBlock* FPtr = nullptr;
};

// Change state of a stored row, as data packets number them.
enum : std::uint8_t { rsUnchanged = 0, rsInserted = 4, rsModified = 8 };

class TRowBlock {
public:
    // Builds a row from one value per data field, already coerced to the field kinds.
    static TRowRef Build(const std::vector<TStorageKind>& Kinds, const Variant* Values, std::uint8_t State,
                         std::uint32_t Seq, TRowRef Original);
    // Same values, other change state.
    static TRowRef WithState(const TRowRef& Row, std::uint8_t State, std::uint32_t Seq, TRowRef Original);

    int FieldCount() const { return FFieldCount; }
    bool IsNull(int FieldNo) const { return NullBits()[FieldNo >> 3] & (1u << (FieldNo & 7)); }
    Variant Get(int FieldNo, TStorageKind Kind) const;
    std::string_view GetString(int FieldNo) const;
    std::int64_t GetInt(int FieldNo) const { return static_cast<std::int64_t>(Slots()[FieldNo]); }
    double GetFloat(int FieldNo) const;
    std::int32_t GetDate(int FieldNo) const { return static_cast<std::int32_t>(static_cast<std::int64_t>(Slots()[FieldNo])); }
    // Same values in every field (state and original not compared).
    bool SameValues(const TRowBlock& O, const std::vector<TStorageKind>& Kinds) const;

    std::uint8_t State() const { return FState; }
    std::uint32_t Seq() const { return FSeq; }
    // The row as it was loaded, for a modified row; null otherwise.
    const TRowRef& Original() const { return FOriginal; }

    // Row builder for fast packet loading: slots written in place, texts appended.
    class TBuilder {
    public:
        explicit TBuilder(int FieldCount);
        void Reset();
        void SetInt(int FieldNo, std::int64_t V);
        void SetFloat(int FieldNo, double V);
        void SetString(int FieldNo, std::string_view V);
        TRowRef Build(std::uint8_t State, std::uint32_t Seq, TRowRef Original) const;

    private:
        std::vector<std::uint64_t> FSlots;
        std::vector<bool> FNull;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> FStrings; // offset, length into FText
        std::string FText;
    };

private:
    friend class TRowRef;
    TRowBlock() = default;
    static TRowBlock* Allocate(int FieldCount, std::size_t TextBytes);
    const std::uint8_t* NullBits() const { return reinterpret_cast<const std::uint8_t*>(this + 1); }
    std::uint8_t* NullBits() { return reinterpret_cast<std::uint8_t*>(this + 1); }
    static std::size_t SlotOffset(int FieldCount) { return ((static_cast<std::size_t>(FieldCount) + 7) / 8 + 7) & ~std::size_t(7); }
    const std::uint64_t* Slots() const {
        return reinterpret_cast<const std::uint64_t*>(reinterpret_cast<const char*>(this + 1) + SlotOffset(FFieldCount));
    }
    std::uint64_t* Slots() { return reinterpret_cast<std::uint64_t*>(reinterpret_cast<char*>(this + 1) + SlotOffset(FFieldCount)); }
    char* Text() { return reinterpret_cast<char*>(Slots() + FFieldCount); }
    const char* Text() const { return reinterpret_cast<const char*>(Slots() + FFieldCount); }
    void Destroy();

    mutable std::atomic<std::uint32_t> FRefs{0};
    std::uint16_t FFieldCount = 0;
    std::uint8_t FState = rsUnchanged;
    std::uint32_t FSeq = 0;
    std::uint32_t FByteSize = 0;
    TRowRef FOriginal;
};

// A sequence of rows indexed by position, with structural sharing between copies.
class TRowTree {
public:
    TRowTree();
    static TRowTree Build(std::vector<TRowRef> Rows);

    int Size() const;
    const TRowRef& At(TStoredPos Pos) const;
    void Set(TStoredPos Pos, TRowRef Row);
    void Insert(TStoredPos Pos, TRowRef Row);
    void Erase(TStoredPos Pos);
    // Calls Fn(pos, row) in order until it returns false.
    template <class F> void ForEach(F&& Fn) const {
        int Pos = 0;
        if (FRoot) Walk(FRoot.get(), Pos, Fn);
    }

    // Whether both trees are the same storage. Every change copies a shared root first,
    // so two trees with one root hold the same rows in the same order.
    bool SameRows(const TRowTree& Other) const { return FRoot == Other.FRoot; }

    struct TNode;

private:
    template <class F> static bool Walk(const TNode* N, int& Pos, F& Fn);
    std::shared_ptr<TNode> FRoot;
};

struct TRowTree::TNode {
    bool Leaf = true;
    int Total = 0;
    std::vector<TRowRef> Rows;                 // leaf
    std::vector<std::shared_ptr<TNode>> Kids; // inner
    std::vector<int> Counts;                  // inner: rows under each kid
};

template <class F> bool TRowTree::Walk(const TNode* N, int& Pos, F& Fn) {
    if (N->Leaf) {
        for (const TRowRef& R : N->Rows)
            if (!Fn(Pos++, R)) return false;
        return true;
    }
    for (const auto& K : N->Kids)
        if (!Walk(K.get(), Pos, Fn)) return false;
    return true;
}

} // namespace orv
