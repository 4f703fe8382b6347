#include "host/data/RowStore.h"

#include <cstring>
#include <new>

namespace orv {

TRowRef::TRowRef(TRowBlock* P) : FPtr(P) {
    if (FPtr) FPtr->FRefs.fetch_add(1, std::memory_order_relaxed);
}

TRowRef::TRowRef(const TRowRef& O) : FPtr(O.FPtr) {
    if (FPtr) FPtr->FRefs.fetch_add(1, std::memory_order_relaxed);
}

TRowRef::~TRowRef() {
    if (FPtr && FPtr->FRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) FPtr->Destroy();
}

TRowBlock* TRowBlock::Allocate(int FieldCount, std::size_t TextBytes) {
    std::size_t Bytes = sizeof(TRowBlock) + SlotOffset(FieldCount) + sizeof(std::uint64_t) * static_cast<std::size_t>(FieldCount) + TextBytes;
    void* Mem = ::operator new(Bytes);
    auto* B = new (Mem) TRowBlock();
    B->FFieldCount = static_cast<std::uint16_t>(FieldCount);
    B->FByteSize = static_cast<std::uint32_t>(Bytes);
    std::memset(B->NullBits(), 0, SlotOffset(FieldCount));
    return B;
}

void TRowBlock::Destroy() {
    this->~TRowBlock();
    ::operator delete(static_cast<void*>(this));
}

TRowRef TRowBlock::Build(const std::vector<TStorageKind>& Kinds, const Variant* Values, std::uint8_t State,
                         std::uint32_t Seq, TRowRef Original) {
    int N = static_cast<int>(Kinds.size());
    std::size_t TextBytes = 0;
    for (int I = 0; I < N; ++I)
        if (const std::string* S = Values[I].IfString()) TextBytes += S->size();
    TRowBlock* B = Allocate(N, TextBytes);
    TRowRef Ref(B);
    B->FState = State;
    B->FSeq = Seq;
    B->FOriginal = std::move(Original);
    std::uint64_t* Slots = B->Slots();
    char* Text = B->Text();
    std::uint32_t Offset = 0;
    for (int I = 0; I < N; ++I) {
        const Variant& V = Values[I];
        std::uint64_t Slot = 0;
        if (V.IsNull()) {
            B->NullBits()[I >> 3] |= static_cast<std::uint8_t>(1u << (I & 7));
        } else {
            switch (Kinds[static_cast<std::size_t>(I)]) {
            case TStorageKind::skString: {
                const std::string& S = *V.IfString();
                std::memcpy(Text + Offset, S.data(), S.size());
                Slot = (static_cast<std::uint64_t>(Offset) << 32) | static_cast<std::uint32_t>(S.size());
                Offset += static_cast<std::uint32_t>(S.size());
                break;
            }
            case TStorageKind::skInteger: Slot = static_cast<std::uint64_t>(*V.IfInteger()); break;
            case TStorageKind::skBcd: Slot = static_cast<std::uint64_t>(V.IfBcd()->Unscaled); break;
            case TStorageKind::skDate: Slot = static_cast<std::uint64_t>(static_cast<std::int64_t>(V.IfDate()->Days)); break;
            case TStorageKind::skFloat: std::memcpy(&Slot, V.IfFloat(), sizeof(double)); break;
            case TStorageKind::skDateTime: std::memcpy(&Slot, &V.IfDateTime()->Value, sizeof(double)); break;
            case TStorageKind::skBoolean: Slot = *V.IfBoolean() ? 1 : 0; break;
            }
        }
        Slots[I] = Slot;
    }
    return Ref;
}

TRowRef TRowBlock::WithState(const TRowRef& Row, std::uint8_t State, std::uint32_t Seq, TRowRef Original) {
    std::size_t Body = Row->FByteSize - sizeof(TRowBlock);
    std::size_t TextBytes = Body - SlotOffset(Row->FFieldCount) - sizeof(std::uint64_t) * Row->FFieldCount;
    TRowBlock* B = Allocate(Row->FFieldCount, TextBytes);
    TRowRef Ref(B);
    std::memcpy(B->NullBits(), Row->NullBits(), Body);
    B->FState = State;
    B->FSeq = Seq;
    B->FOriginal = std::move(Original);
    return Ref;
}

Variant TRowBlock::Get(int FieldNo, TStorageKind Kind) const {
    if (IsNull(FieldNo)) return Variant();
    std::uint64_t Slot = Slots()[FieldNo];
    switch (Kind) {
    case TStorageKind::skString: return Variant(std::string(GetString(FieldNo)));
    case TStorageKind::skInteger: return Variant(static_cast<long long>(Slot));
    case TStorageKind::skBcd: return Variant(TBcd{static_cast<std::int64_t>(Slot), 0}); // scale set by the caller
    case TStorageKind::skDate: return Variant::Date(GetDate(FieldNo));
    case TStorageKind::skFloat: return Variant(GetFloat(FieldNo));
    case TStorageKind::skDateTime: return Variant::DateTime(GetFloat(FieldNo));
    case TStorageKind::skBoolean: return Variant(Slot != 0);
    }
    return Variant();
}

std::string_view TRowBlock::GetString(int FieldNo) const {
    std::uint64_t Slot = Slots()[FieldNo];
    return std::string_view(Text() + (Slot >> 32), static_cast<std::uint32_t>(Slot));
}

double TRowBlock::GetFloat(int FieldNo) const {
    double D;
    std::memcpy(&D, &Slots()[FieldNo], sizeof D);
    return D;
}

bool TRowBlock::SameValues(const TRowBlock& O, const std::vector<TStorageKind>& Kinds) const {
    for (int I = 0; I < FFieldCount; ++I) {
        bool N1 = IsNull(I), N2 = O.IsNull(I);
        if (N1 != N2) return false;
        if (N1) continue;
        if (Kinds[static_cast<std::size_t>(I)] == TStorageKind::skString) {
            if (GetString(I) != O.GetString(I)) return false;
        } else if (Slots()[I] != O.Slots()[I]) {
            return false;
        }
    }
    return true;
}

TRowBlock::TBuilder::TBuilder(int FieldCount)
    : FSlots(static_cast<std::size_t>(FieldCount)), FNull(static_cast<std::size_t>(FieldCount), true),
      FStrings(static_cast<std::size_t>(FieldCount)) {}

void TRowBlock::TBuilder::Reset() {
    std::fill(FNull.begin(), FNull.end(), true);
    FText.clear();
}

void TRowBlock::TBuilder::SetInt(int FieldNo, std::int64_t V) {
    FSlots[static_cast<std::size_t>(FieldNo)] = static_cast<std::uint64_t>(V);
    FNull[static_cast<std::size_t>(FieldNo)] = false;
}

void TRowBlock::TBuilder::SetFloat(int FieldNo, double V) {
    std::memcpy(&FSlots[static_cast<std::size_t>(FieldNo)], &V, sizeof V);
    FNull[static_cast<std::size_t>(FieldNo)] = false;
}

void TRowBlock::TBuilder::SetString(int FieldNo, std::string_view V) {
    auto Offset = static_cast<std::uint32_t>(FText.size());
    FText.append(V);
    FSlots[static_cast<std::size_t>(FieldNo)] = (static_cast<std::uint64_t>(Offset) << 32) | static_cast<std::uint32_t>(V.size());
    FNull[static_cast<std::size_t>(FieldNo)] = false;
}

TRowRef TRowBlock::TBuilder::Build(std::uint8_t State, std::uint32_t Seq, TRowRef Original) const {
    int N = static_cast<int>(FSlots.size());
    TRowBlock* B = Allocate(N, FText.size());
    TRowRef Ref(B);
    B->FState = State;
    B->FSeq = Seq;
    B->FOriginal = std::move(Original);
    std::uint64_t* Slots = B->Slots();
    for (int I = 0; I < N; ++I) {
        if (FNull[static_cast<std::size_t>(I)]) {
            B->NullBits()[I >> 3] |= static_cast<std::uint8_t>(1u << (I & 7));
            Slots[I] = 0;
        } else {
            Slots[I] = FSlots[static_cast<std::size_t>(I)];
        }
    }
    if (!FText.empty()) std::memcpy(B->Text(), FText.data(), FText.size());
    return Ref;
}

// ---- persistent counted B+tree ----------------------------------------------------------

namespace {

constexpr std::size_t LeafMax = 128;
constexpr std::size_t InnerMax = 64;

using TNode = TRowTree::TNode;
using TNodePtr = std::shared_ptr<TNode>;

// Copy-on-write: a node shared with another tree is duplicated before it changes.
TNode* Own(TNodePtr& P) {
    if (P.use_count() > 1) P = std::make_shared<TNode>(*P);
    return P.get();
}

// Finds the kid holding Pos; Pos becomes the position within that kid.
std::size_t KidOf(const TNode* N, int& Pos) {
    std::size_t I = 0;
    while (I + 1 < N->Kids.size() && Pos >= N->Counts[I]) Pos -= N->Counts[I++];
    return I;
}

// Splits an overfull node. An insertion at the very end leaves the left node full, so
// loading or appending row after row fills leaves completely.
TNodePtr Split(TNode* N, bool AtEnd) {
    auto R = std::make_shared<TNode>();
    R->Leaf = N->Leaf;
    if (N->Leaf) {
        std::size_t Keep = AtEnd ? N->Rows.size() - 1 : N->Rows.size() / 2;
        R->Rows.assign(std::make_move_iterator(N->Rows.begin() + static_cast<std::ptrdiff_t>(Keep)),
                       std::make_move_iterator(N->Rows.end()));
        N->Rows.resize(Keep);
        R->Total = static_cast<int>(R->Rows.size());
        N->Total = static_cast<int>(N->Rows.size());
    } else {
        std::size_t Keep = AtEnd ? N->Kids.size() - 1 : N->Kids.size() / 2;
        R->Kids.assign(N->Kids.begin() + static_cast<std::ptrdiff_t>(Keep), N->Kids.end());
        R->Counts.assign(N->Counts.begin() + static_cast<std::ptrdiff_t>(Keep), N->Counts.end());
        N->Kids.resize(Keep);
        N->Counts.resize(Keep);
        R->Total = 0;
        for (int C : R->Counts) R->Total += C;
        N->Total -= R->Total;
    }
    return R;
}

TNodePtr InsertAt(TNodePtr& P, int Pos, TRowRef&& Row) {
    TNode* N = Own(P);
    bool AtEnd = Pos == N->Total;
    ++N->Total;
    if (N->Leaf) {
        N->Rows.insert(N->Rows.begin() + Pos, std::move(Row));
        return N->Rows.size() > LeafMax ? Split(N, AtEnd) : nullptr;
    }
    int Inner = Pos;
    std::size_t I = KidOf(N, Inner);
    if (AtEnd) Inner = N->Counts[I]; // append into the last kid
    TNodePtr Sibling = InsertAt(N->Kids[I], Inner, std::move(Row));
    ++N->Counts[I];
    if (Sibling) {
        N->Counts[I] -= Sibling->Total;
        N->Kids.insert(N->Kids.begin() + static_cast<std::ptrdiff_t>(I) + 1, Sibling);
        N->Counts.insert(N->Counts.begin() + static_cast<std::ptrdiff_t>(I) + 1, Sibling->Total);
    }
    return N->Kids.size() > InnerMax ? Split(N, AtEnd && I + 2 == N->Kids.size()) : nullptr;
}

void EraseAt(TNodePtr& P, int Pos) {
    TNode* N = Own(P);
    --N->Total;
    if (N->Leaf) {
        N->Rows.erase(N->Rows.begin() + Pos);
        return;
    }
    std::size_t I = KidOf(N, Pos);
    EraseAt(N->Kids[I], Pos);
    if (--N->Counts[I] == 0) {
        N->Kids.erase(N->Kids.begin() + static_cast<std::ptrdiff_t>(I));
        N->Counts.erase(N->Counts.begin() + static_cast<std::ptrdiff_t>(I));
    }
}

} // namespace

TRowTree::TRowTree() = default;

TRowTree TRowTree::Build(std::vector<TRowRef> Rows) {
    TRowTree T;
    if (Rows.empty()) return T;
    std::vector<TNodePtr> Level;
    for (std::size_t I = 0; I < Rows.size(); I += LeafMax) {
        auto L = std::make_shared<TNode>();
        std::size_t End = std::min(Rows.size(), I + LeafMax);
        L->Rows.assign(std::make_move_iterator(Rows.begin() + static_cast<std::ptrdiff_t>(I)),
                       std::make_move_iterator(Rows.begin() + static_cast<std::ptrdiff_t>(End)));
        L->Total = static_cast<int>(L->Rows.size());
        Level.push_back(std::move(L));
    }
    while (Level.size() > 1) {
        std::vector<TNodePtr> Up;
        for (std::size_t I = 0; I < Level.size(); I += InnerMax) {
            auto N = std::make_shared<TNode>();
            N->Leaf = false;
            std::size_t End = std::min(Level.size(), I + InnerMax);
            for (std::size_t K = I; K < End; ++K) {
                N->Counts.push_back(Level[K]->Total);
                N->Total += Level[K]->Total;
                N->Kids.push_back(std::move(Level[K]));
            }
            Up.push_back(std::move(N));
        }
        Level = std::move(Up);
    }
    T.FRoot = std::move(Level.front());
    return T;
}

int TRowTree::Size() const { return FRoot ? FRoot->Total : 0; }

const TRowRef& TRowTree::At(TStoredPos At) const {
    int Pos = At.Value;
    const TNode* N = FRoot.get();
    while (!N->Leaf) {
        std::size_t I = KidOf(N, Pos);
        N = N->Kids[I].get();
    }
    return N->Rows[static_cast<std::size_t>(Pos)];
}

void TRowTree::Set(TStoredPos At, TRowRef Row) {
    int Pos = At.Value;
    TNodePtr* P = &FRoot;
    for (;;) {
        TNode* N = Own(*P);
        if (N->Leaf) {
            N->Rows[static_cast<std::size_t>(Pos)] = std::move(Row);
            return;
        }
        std::size_t I = KidOf(N, Pos);
        P = &N->Kids[I];
    }
}

void TRowTree::Insert(TStoredPos Pos, TRowRef Row) {
    if (!FRoot) FRoot = std::make_shared<TNode>();
    TNodePtr Sibling = InsertAt(FRoot, Pos.Value, std::move(Row));
    if (Sibling) {
        auto Root = std::make_shared<TNode>();
        Root->Leaf = false;
        Root->Counts = {FRoot->Total, Sibling->Total};
        Root->Total = FRoot->Total + Sibling->Total;
        Root->Kids = {FRoot, Sibling};
        FRoot = std::move(Root);
    }
}

void TRowTree::Erase(TStoredPos Pos) {
    EraseAt(FRoot, Pos.Value);
    while (FRoot && !FRoot->Leaf && FRoot->Kids.size() == 1) {
        TNodePtr Only = FRoot->Kids.front();
        FRoot = std::move(Only);
    }
    if (FRoot && FRoot->Total == 0) FRoot.reset();
}

} // namespace orv
