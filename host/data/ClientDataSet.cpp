#include "host/data/ClientDataSet.h"

#include "host/data/StoreState.h"

#include <algorithm>
#include <cstring>
#include <list>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace orv {

// ---- field descriptions ------------------------------------------------------------------

TFieldDesc DescribeField(const TField* F) {
    TFieldDesc D;
    D.Type = F->DataType();
    D.Name = F->FieldName();
    D.DisplayLabel = F->DisplayLabel() == F->FieldName() ? std::string() : F->DisplayLabel();
    D.Size = F->Size();
    D.DisplayWidth = 0;
    D.Required = F->Required();
    D.ReadOnly = F->ReadOnly();
    D.Visible = F->Visible();
    D.PacketInfo = F->PacketInfo;
    if (auto* B = dynamic_cast<const TBCDField*>(F)) D.Precision = B->Precision();
    if (auto* I = dynamic_cast<const TIntegerField*>(F)) {
        D.Min = I->MinValue();
        D.Max = I->MaxValue();
    }
    return D;
}

std::unique_ptr<TField> CreateFieldFromDesc(const TFieldDesc& D) {
    std::unique_ptr<TField> F;
    switch (D.Type) {
    case TFieldType::ftString: F = std::make_unique<TStringField>(nullptr); break;
    case TFieldType::ftMemo: F = std::make_unique<TMemoField>(nullptr); break;
    case TFieldType::ftBlob: F = std::make_unique<TBlobField>(nullptr); break;
    case TFieldType::ftSmallint:
    case TFieldType::ftWord:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint: {
        auto I = std::make_unique<TIntegerField>(nullptr);
        I->SetRange(D.Min, D.Max);
        F = std::move(I);
        break;
    }
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency: F = std::make_unique<TFloatField>(nullptr); break;
    case TFieldType::ftBCD: {
        auto B = std::make_unique<TBCDField>(nullptr);
        B->SetPrecision(D.Precision);
        F = std::move(B);
        break;
    }
    case TFieldType::ftDate: F = std::make_unique<TDateField>(nullptr); break;
    case TFieldType::ftDateTime: F = std::make_unique<TDateTimeField>(nullptr); break;
    case TFieldType::ftBoolean: F = std::make_unique<TBooleanField>(nullptr); break;
    default: throw EDatabaseError(Format("字段“%s”的类型不能存储。", {D.Name}));
    }
    F->SetFieldName(D.Name);
    F->SetName(D.Name);
    F->SetSize(D.Size);
    if (!D.DisplayLabel.empty()) F->SetDisplayLabel(D.DisplayLabel);
    if (D.DisplayWidth > 0) F->SetDisplayWidth(D.DisplayWidth);
    F->SetRequired(D.Required);
    F->SetReadOnly(D.ReadOnly);
    F->SetVisible(D.Visible);
    F->PacketInfo = D.PacketInfo;
    return F;
}

std::shared_ptr<const TRowLayout> TRowLayout::Of(const std::vector<TField*>& DataFields) {
    auto L = std::make_shared<TRowLayout>();
    for (TField* F : DataFields) {
        L->Kinds.push_back(F->StorageKind());
        L->Scales.push_back(F->StorageKind() == TStorageKind::skBcd ? F->Size() : 0);
        L->Descs.push_back(DescribeField(F));
    }
    return L;
}

Variant RowValue(const TRowBlock& Row, const TRowLayout& Layout, int FieldNo) {
    auto K = Layout.Kinds[static_cast<std::size_t>(FieldNo)];
    if (K == TStorageKind::skBcd) {
        if (Row.IsNull(FieldNo)) return Variant();
        return Variant(TBcd{Row.GetInt(FieldNo), Layout.Scales[static_cast<std::size_t>(FieldNo)]});
    }
    return Row.Get(FieldNo, K);
}

// ---- locate indexes ----------------------------------------------------------------------

namespace {

void AppendSlotKey(std::string& Key, const TRowBlock& Row, int FieldNo, TStorageKind Kind) {
    if (Row.IsNull(FieldNo)) {
        Key += '\0';
        return;
    }
    Key += '\1';
    if (Kind == TStorageKind::skString) {
        std::string_view S = Row.GetString(FieldNo);
        auto Len = static_cast<std::uint32_t>(S.size());
        Key.append(reinterpret_cast<const char*>(&Len), sizeof Len);
        Key.append(S);
        return;
    }
    std::int64_t V = Kind == TStorageKind::skFloat || Kind == TStorageKind::skDateTime
                         ? [&] {
                               double D = Row.GetFloat(FieldNo);
                               std::int64_t Bits;
                               std::memcpy(&Bits, &D, sizeof Bits);
                               return Bits;
                           }()
                         : Row.GetInt(FieldNo);
    Key.append(reinterpret_cast<const char*>(&V), sizeof V);
}

void AppendValueKey(std::string& Key, const Variant& V) {
    if (V.IsNull()) {
        Key += '\0';
        return;
    }
    Key += '\1';
    std::int64_t Bits = 0;
    switch (V.VarType()) {
    case TVarType::varString: {
        auto Len = static_cast<std::uint32_t>(V.IfString()->size());
        Key.append(reinterpret_cast<const char*>(&Len), sizeof Len);
        Key.append(*V.IfString());
        return;
    }
    case TVarType::varInteger: Bits = *V.IfInteger(); break;
    case TVarType::varBcd: Bits = V.IfBcd()->Unscaled; break;
    case TVarType::varDate: Bits = V.IfDate()->Days; break;
    case TVarType::varBoolean: Bits = *V.IfBoolean() ? 1 : 0; break;
    case TVarType::varFloat: std::memcpy(&Bits, V.IfFloat(), sizeof Bits); break;
    case TVarType::varDateTime: std::memcpy(&Bits, &V.IfDateTime()->Value, sizeof Bits); break;
    case TVarType::varNull: break;
    }
    Key.append(reinterpret_cast<const char*>(&Bits), sizeof Bits);
}

} // namespace

// A hash index per searched field list, holding hashes of the key bytes and positions, never
// the keys themselves: a search compares each candidate row's key (two keys may share a
// hash). Rows whose keys hash alike are chained by position, ascending, so a search walks
// its candidates in record order. The table is open-addressed and the chains are one array,
// so building it over a large set allocates nothing per row.
//
// Positions in the table and the chains are "base" positions: where the rows stood when
// they were last taken. An insertion or deletion away from the end does not rewrite them;
// it is logged as a shift, and a base position is brought to the current one by replaying
// the shifts. Rows inserted since are kept aside, by current position. Once enough shifts
// pile up, one pass over the arrays renumbers everything and folds the recent rows in, so
// a search replays at most MaxShifts steps per candidate and a change costs, amortised, a
// small share of one pass.
struct TLocateIndexCache {
    static constexpr int Unused = -2; // a slot no hash ever took
    static constexpr int Gone = -3;   // in Next: the row of this base position was deleted
    static constexpr std::size_t MaxShifts = 64;

    struct TSlot {
        std::uint32_t Hash = 0;
        int Head = Unused; // -1: the hash is known, no row has it now
        int Tail = -1;
    };
    struct TShift {
        int At;
        bool Inserted; // else deleted
    };
    struct TRecent {
        std::uint32_t Hash;
        int Pos; // current position
    };

    struct TIndex {
        std::vector<int> FieldNos;
        bool Valid = false;
        std::vector<TSlot> Slots; // a power of two long, at most half used
        int Used = 0;
        std::vector<int> Next;       // by base position: the next base position of the same hash, -1 or Gone
        std::vector<TShift> Shifts;  // since the base positions were taken, oldest first
        std::vector<TRecent> Recent; // rows inserted since

        void Clear() {
            Slots = {};
            Next = {};
            Shifts = {};
            Recent = {};
            Used = 0;
            Valid = false;
        }
        int ToCurrent(int Base) const {
            for (const TShift& S : Shifts)
                if (S.Inserted ? Base >= S.At : Base > S.At) Base += S.Inserted ? 1 : -1;
            return Base;
        }
        // -1 for a row inserted since the base positions were taken.
        int ToBase(int Pos) const {
            for (auto It = Shifts.rbegin(); It != Shifts.rend(); ++It) {
                if (!It->Inserted) {
                    if (Pos >= It->At) ++Pos;
                } else if (Pos == It->At) {
                    return -1;
                } else if (Pos > It->At) {
                    --Pos;
                }
            }
            return Pos;
        }
        TSlot* Find(std::uint32_t Hash) {
            if (Slots.empty()) return nullptr;
            const std::size_t Mask = Slots.size() - 1;
            for (std::size_t I = Hash & Mask;; I = (I + 1) & Mask) {
                if (Slots[I].Head == Unused) return nullptr;
                if (Slots[I].Hash == Hash) return &Slots[I];
            }
        }
        TSlot& FindOrAdd(std::uint32_t Hash) {
            if (static_cast<std::size_t>(Used + 1) * 2 > Slots.size()) Grow(Slots.size() * 2);
            const std::size_t Mask = Slots.size() - 1;
            std::size_t I = Hash & Mask;
            for (; Slots[I].Head != Unused; I = (I + 1) & Mask)
                if (Slots[I].Hash == Hash) return Slots[I];
            ++Used;
            Slots[I] = {Hash, -1, -1};
            return Slots[I];
        }
        void Grow(std::size_t Size) {
            std::size_t N = 16;
            while (N < Size) N *= 2;
            std::vector<TSlot> Old = std::exchange(Slots, std::vector<TSlot>(N));
            Used = 0;
            for (const TSlot& S : Old) {
                if (S.Head < 0) continue; // a hash no row has any more is not carried over
                const std::size_t Mask = Slots.size() - 1;
                std::size_t I = S.Hash & Mask;
                while (Slots[I].Head != Unused) I = (I + 1) & Mask;
                Slots[I] = S;
                ++Used;
            }
        }
        // Base position Pos goes into the chain of Hash in order.
        void Link(std::uint32_t Hash, int Pos) {
            TSlot& S = FindOrAdd(Hash);
            if (S.Head < 0) {
                S.Head = S.Tail = Pos;
                Next[static_cast<std::size_t>(Pos)] = -1;
            } else if (Pos > S.Tail) {
                Next[static_cast<std::size_t>(S.Tail)] = Pos;
                Next[static_cast<std::size_t>(Pos)] = -1;
                S.Tail = Pos;
            } else if (Pos < S.Head) {
                Next[static_cast<std::size_t>(Pos)] = S.Head;
                S.Head = Pos;
            } else {
                int P = S.Head;
                while (Next[static_cast<std::size_t>(P)] < Pos) P = Next[static_cast<std::size_t>(P)];
                Next[static_cast<std::size_t>(Pos)] = Next[static_cast<std::size_t>(P)];
                Next[static_cast<std::size_t>(P)] = Pos;
            }
        }
        void Unlink(std::uint32_t Hash, int Pos) {
            TSlot* S = Find(Hash);
            if (!S || S->Head < 0) return;
            int Prev = -1, P = S->Head;
            for (; P >= 0 && P != Pos; P = Next[static_cast<std::size_t>(P)])
                Prev = P;
            if (P != Pos) return;
            const int After = Next[static_cast<std::size_t>(Pos)];
            if (Prev < 0) S->Head = After;
            else Next[static_cast<std::size_t>(Prev)] = After;
            if (S->Tail == Pos) S->Tail = Prev;
            if (S->Head < 0) S->Tail = -1;
            Next[static_cast<std::size_t>(Pos)] = -1;
        }

        // A row of key hash Hash now stands at Pos; Count rows stood there before.
        void Inserted(std::uint32_t Hash, int Pos, int Count) {
            if (Shifts.empty() && Pos == Count) { // an append: nothing moves
                Next.push_back(-1);
                Link(Hash, Pos);
                return;
            }
            for (TRecent& R : Recent)
                if (R.Pos >= Pos) ++R.Pos;
            Recent.push_back({Hash, Pos});
            Shifts.push_back({Pos, true});
            if (Shifts.size() >= MaxShifts) Renumber();
        }
        // The row at Pos, of key hash Hash, was deleted; Count rows stood there before.
        void Deleted(std::uint32_t Hash, int Pos, int Count) {
            if (Shifts.empty() && Pos == Count - 1) {
                Unlink(Hash, Pos);
                Next.pop_back();
                return;
            }
            if (const int Base = ToBase(Pos); Base >= 0) {
                Unlink(Hash, Base);
                Next[static_cast<std::size_t>(Base)] = Gone;
            } else {
                std::erase_if(Recent, [&](const TRecent& R) { return R.Pos == Pos; });
            }
            for (TRecent& R : Recent)
                if (R.Pos > Pos) --R.Pos;
            Shifts.push_back({Pos, false});
            if (Shifts.size() >= MaxShifts) Renumber();
        }
        // The key of the row at Pos changed from hash From to hash To.
        void Changed(std::uint32_t From, std::uint32_t To, int Pos) {
            if (From == To) return; // same chain: searches compare the keys
            if (const int Base = ToBase(Pos); Base >= 0) {
                Unlink(From, Base);
                Link(To, Base);
                return;
            }
            for (TRecent& R : Recent)
                if (R.Pos == Pos) R.Hash = To;
        }
        // Takes the current positions as the base ones: the rows that were there keep their
        // order and fill every position the recent rows do not hold.
        void Renumber() {
            std::vector<int> Taken;
            for (const TRecent& R : Recent) Taken.push_back(R.Pos);
            std::sort(Taken.begin(), Taken.end());
            std::vector<int> Map(Next.size(), -1);
            int Cur = 0;
            auto T = Taken.begin();
            for (std::size_t B = 0; B < Next.size(); ++B) {
                if (Next[B] == Gone) continue;
                for (; T != Taken.end() && *T == Cur; ++T) ++Cur;
                Map[B] = Cur++;
            }
            const int Count = Cur + static_cast<int>(Taken.end() - T);
            std::vector<int> Renumbered(static_cast<std::size_t>(Count), -1);
            for (std::size_t B = 0; B < Next.size(); ++B)
                if (Next[B] != Gone)
                    Renumbered[static_cast<std::size_t>(Map[B])] =
                        Next[B] < 0 ? -1 : Map[static_cast<std::size_t>(Next[B])];
            for (TSlot& S : Slots)
                if (S.Head >= 0) {
                    S.Head = Map[static_cast<std::size_t>(S.Head)];
                    S.Tail = Map[static_cast<std::size_t>(S.Tail)];
                }
            Next = std::move(Renumbered);
            Shifts.clear();
            for (const TRecent& R : Recent) Link(R.Hash, R.Pos);
            Recent.clear();
        }
    };
    std::vector<TIndex> Indexes;
    std::string Scratch; // key bytes, reused so that hashing a row allocates nothing

    const std::string& RowKey(const TIndex& I, const TRowBlock& Row, const TRowLayout& L) {
        Scratch.clear();
        for (int F : I.FieldNos) AppendSlotKey(Scratch, Row, F, L.Kinds[static_cast<std::size_t>(F)]);
        return Scratch;
    }
    static std::uint32_t Hash(std::string_view Key) {
        const std::uint64_t H = std::hash<std::string_view>{}(Key);
        return static_cast<std::uint32_t>(H ^ (H >> 32));
    }
    std::uint32_t RowHash(const TIndex& I, const TRowBlock& Row, const TRowLayout& L) {
        return Hash(RowKey(I, Row, L));
    }
    void InvalidateAll() {
        for (auto& I : Indexes) I.Clear();
    }
    // Keeps every built index current over a change of the row at Pos (Count rows before):
    // an insertion without Old, a deletion without New, else an edit.
    void RowChanged(const TRowBlock* Old, const TRowBlock* New, int Pos, int Count, const TRowLayout& L) {
        for (TIndex& I : Indexes) {
            if (!I.Valid) continue;
            if (!Old) I.Inserted(RowHash(I, *New, L), Pos, Count);
            else if (!New) I.Deleted(RowHash(I, *Old, L), Pos, Count);
            else I.Changed(RowHash(I, *Old, L), RowHash(I, *New, L), Pos);
        }
    }
};

// ---- TClientData -------------------------------------------------------------------------

TClientData::TClientData() = default;
TClientData::~TClientData() = default;
TClientData::TClientData(const TClientData&) = default;
TClientData& TClientData::operator=(const TClientData&) = default;

// ---- TOrvClientDataSet -------------------------------------------------------------------

TOrvClientDataSet::TOrvClientDataSet(TComponent* AOwner) : TDataSet(AOwner) {}

TOrvClientDataSet::~TOrvClientDataSet() {
    DeactivateSilently();
    DestroyDynamicFields();
}

TStoreState& TOrvClientDataSet::MutableState() {
    if (FState.use_count() > 1) FState = std::make_shared<TStoreState>(*FState);
    return *FState;
}

void TOrvClientDataSet::InternalOpen() {
    std::vector<TField*> Fields;
    for (int I = 0; I < DataFieldCount(); ++I) Fields.push_back(DataField(I));
    auto Layout = TRowLayout::Of(Fields);
    if (FState && FState->Layout && FState->Layout->SameStorage(*Layout)) return;
    FState = std::make_shared<TStoreState>();
    FState->Layout = std::move(Layout);
    if (FIndexes) FIndexes->InvalidateAll();
}

void TOrvClientDataSet::InternalClose() {
    FState.reset();
    FIndexes.reset();
}

void TOrvClientDataSet::InternalFieldsChanged() { FIndexes.reset(); }

int TOrvClientDataSet::InternalRecordCount() const { return FState ? FState->Rows.Size() : 0; }

Variant TOrvClientDataSet::InternalGetValue(TStoredPos Pos, int FieldNo) const {
    return RowValue(*FState->Rows.At(Pos), *FState->Layout, FieldNo);
}

std::vector<Variant> TOrvClientDataSet::RowValues(TStoredPos Pos) const {
    const TRowBlock& Row = *FState->Rows.At(Pos);
    std::vector<Variant> Out(FState->Layout->Kinds.size());
    for (std::size_t I = 0; I < Out.size(); ++I) Out[I] = RowValue(Row, *FState->Layout, static_cast<int>(I));
    return Out;
}

void TOrvClientDataSet::InternalInsert(TStoredPos Pos, const std::vector<Variant>& Values) {
    TStoreState& S = MutableState();
    int Count = S.Rows.Size();
    TRowRef Row = TRowBlock::Build(S.Layout->Kinds, Values.data(), rsInserted, S.NextSeq++, {});
    S.Rows.Insert(Pos, Row);
    ++S.ChangedRows;
    if (FIndexes) FIndexes->RowChanged(nullptr, Row.Get(), Pos.Value, Count, *S.Layout);
}

void TOrvClientDataSet::InternalUpdate(TStoredPos Pos, const std::vector<Variant>& Values) {
    TStoreState& S = MutableState();
    TRowRef Old = S.Rows.At(Pos);
    TRowRef New = TRowBlock::Build(S.Layout->Kinds, Values.data(), rsUnchanged, 0, {});
    if (New->SameValues(*Old, S.Layout->Kinds)) return; // nothing changed: nothing to log
    if (Old->State() == rsInserted) {
        New = TRowBlock::WithState(New, rsInserted, Old->Seq(), {});
    } else if (Old->State() == rsModified) {
        New = TRowBlock::WithState(New, rsModified, Old->Seq(), Old->Original());
    } else {
        New = TRowBlock::WithState(New, rsModified, S.NextSeq++, Old);
        ++S.ChangedRows;
    }
    S.Rows.Set(Pos, New);
    if (FIndexes) FIndexes->RowChanged(Old.Get(), New.Get(), Pos.Value, S.Rows.Size(), *S.Layout);
}

void TOrvClientDataSet::WriteRowUnlogged(TStoredPos Pos, const std::vector<Variant>& Values) {
    TStoreState& S = MutableState();
    TRowRef Old = S.Rows.At(Pos);
    TRowRef New = TRowBlock::Build(S.Layout->Kinds, Values.data(), Old->State(), Old->Seq(), Old->Original());
    S.Rows.Set(Pos, New);
    // An unchanged row is its own loaded version: deleted rows placed before it follow it.
    if (Old->State() == rsUnchanged)
        for (TDeletedRow& D : S.Deleted)
            if (D.Next.Get() == Old.Get()) D.Next = New;
    if (FIndexes) FIndexes->RowChanged(Old.Get(), New.Get(), Pos.Value, S.Rows.Size(), *S.Layout);
    StoredRowChanged(Pos);
}

void TOrvClientDataSet::InternalDelete(TStoredPos Pos) {
    TStoreState& S = MutableState();
    int Count = S.Rows.Size();
    TRowRef Old = S.Rows.At(Pos);
    S.Rows.Erase(Pos);
    auto NextKept = [&] {
        for (int P = Pos.Value; P < S.Rows.Size(); ++P) {
            const TRowRef& R = S.Rows.At(TStoredPos(P));
            if (R->State() == rsModified) return R->Original();
            if (R->State() != rsInserted) return R;
        }
        return TRowRef();
    };
    if (Old->State() == rsInserted) {
        --S.ChangedRows; // an insert deleted again leaves no trace
    } else if (Old->State() == rsModified) {
        --S.ChangedRows;
        S.Deleted.push_back({Old->Original(), Old->Seq(), NextKept()});
    } else {
        S.Deleted.push_back({Old, S.NextSeq++, NextKept()});
    }
    if (FIndexes) FIndexes->RowChanged(Old.Get(), nullptr, Pos.Value, Count, *S.Layout);
}

std::optional<std::vector<int>> TOrvClientDataSet::DataFieldNos(const std::vector<TField*>& Fields,
                                                                TField** Other) const {
    std::vector<int> FieldNos;
    for (TField* F : Fields) {
        if (F->FieldKind() != TFieldKind::fkData || F->DataSet() != this) {
            if (Other) *Other = F;
            return std::nullopt;
        }
        FieldNos.push_back(F->FieldNo());
    }
    return FieldNos;
}

std::vector<int> TOrvClientDataSet::IndexedPositions(const std::vector<int>& FieldNos,
                                                     const std::vector<Variant>& Values,
                                                     bool FirstOnly) const {
    if (!FIndexes) FIndexes = std::make_unique<TLocateIndexCache>();
    auto It = std::find_if(FIndexes->Indexes.begin(), FIndexes->Indexes.end(),
                           [&](const TLocateIndexCache::TIndex& I) { return I.FieldNos == FieldNos; });
    if (It == FIndexes->Indexes.end()) {
        FIndexes->Indexes.push_back({});
        It = std::prev(FIndexes->Indexes.end());
        It->FieldNos = FieldNos;
    }
    TLocateIndexCache::TIndex& Index = *It;
    const TRowLayout& L = *FState->Layout;
    if (!Index.Valid) {
        const int Count = FState->Rows.Size();
        Index.Clear();
        Index.Grow(static_cast<std::size_t>(Count)); // grows again only when the keys are mostly distinct
        Index.Next.assign(static_cast<std::size_t>(Count), -1);
        FState->Rows.ForEach([&](int Pos, const TRowRef& Row) {
            Index.Link(FIndexes->RowHash(Index, *Row, L), Pos);
            return true;
        });
        Index.Valid = true;
    }
    std::string Key;
    for (const Variant& V : Values) AppendValueKey(Key, V);
    const std::uint32_t Hash = TLocateIndexCache::Hash(Key);
    auto Matches = [&](int Pos) { return FIndexes->RowKey(Index, *FState->Rows.At(TStoredPos(Pos)), L) == Key; };
    std::vector<int> Found;
    const TLocateIndexCache::TSlot* Slot = Index.Find(Hash);
    for (int B = Slot ? Slot->Head : -1; B >= 0; B = Index.Next[static_cast<std::size_t>(B)]) {
        const int Pos = Index.ToCurrent(B);
        if (!Matches(Pos)) continue;
        Found.push_back(Pos);
        if (FirstOnly) break;
    }
    const std::size_t FromChain = Found.size();
    for (const TLocateIndexCache::TRecent& R : Index.Recent)
        if (R.Hash == Hash && Matches(R.Pos)) Found.push_back(R.Pos);
    if (Found.size() > FromChain) {
        std::sort(Found.begin(), Found.end());
        if (FirstOnly) Found.resize(1);
    }
    return Found;
}

std::optional<TStoredPos> TOrvClientDataSet::InternalLocate(const std::vector<TField*>& Fields,
                                                            const std::vector<Variant>& Values) const {
    if (!FState) return std::nullopt;
    std::optional<std::vector<int>> FieldNos = DataFieldNos(Fields);
    if (!FieldNos) return TDataSet::InternalLocate(Fields, Values);
    const std::vector<int> Hits = IndexedPositions(*FieldNos, Values, true);
    if (Hits.empty()) return std::nullopt;
    return TStoredPos(Hits.front());
}

std::vector<int> TOrvClientDataSet::FindRecNos(const std::vector<TField*>& Fields,
                                               const std::vector<Variant>& Values) const {
    std::vector<int> Result;
    if (!FState) return Result;
    TField* Other = nullptr;
    std::optional<std::vector<int>> FieldNos = DataFieldNos(Fields, &Other);
    if (!FieldNos) throw EDatabaseError(Format("“%s”不是本数据集的数据字段。", {Other->FieldName()}));
    std::vector<Variant> Keys;
    try {
        Keys = CoerceKeys(Fields, Values);
    } catch (const EConvertError&) {
        return Result; // a value the field cannot hold matches no row
    }
    for (int Pos : IndexedPositions(*FieldNos, Keys, false))
        Result.push_back(Pos + 1);
    return Result;
}

bool TOrvClientDataSet::SharesRowsWith(const TOrvClientDataSet& Other) const {
    return FState && Other.FState && FState->Rows.SameRows(Other.FState->Rows);
}

void TOrvClientDataSet::AdoptState(std::shared_ptr<TStoreState> State, int CursorPos) {
    FState = std::move(State);
    if (FIndexes) FIndexes->InvalidateAll();
    if (Active()) ResetCursorAfterBulkChange(CursorPos);
    else ActivateSilently(CursorPos);
}

void TOrvClientDataSet::CreateDataSet() {
    Close();
    FState.reset();
    Open();
}

void TOrvClientDataSet::EmptyDataSet() {
    CheckActive();
    auto S = std::make_shared<TStoreState>();
    S->Layout = FState->Layout;
    AdoptState(std::move(S), 0);
}

void TOrvClientDataSet::LoadRows(const std::function<bool(std::vector<Variant>&)>& Next) {
    CheckBrowseMode();
    const std::vector<TStorageKind>& Kinds = FState->Layout->Kinds;
    std::vector<Variant> Values(Kinds.size());
    std::vector<TRowRef> Rows;
    // Rows are built apart and only then joined to the set, so a refused value leaves it whole.
    while (Next(Values)) {
        for (std::size_t I = 0; I < Values.size(); ++I)
            Values[I] = DataField(static_cast<int>(I))->Coerce(Values[I]);
        Rows.push_back(TRowBlock::Build(Kinds, Values.data(), rsUnchanged, 0, {}));
    }
    if (Rows.empty()) return;
    TStoreState& S = MutableState();
    if (S.Rows.Size() == 0) {
        S.Rows = TRowTree::Build(std::move(Rows));
    } else {
        for (TRowRef& Row : Rows)
            S.Rows.Insert(TStoredPos(S.Rows.Size()), std::move(Row));
    }
    if (FIndexes) FIndexes->InvalidateAll();
    ResetCursorAfterBulkChange();
}

int TOrvClientDataSet::ChangeCount() const {
    return FState ? FState->ChangedRows + static_cast<int>(FState->Deleted.size()) : 0;
}

void TOrvClientDataSet::MergeChangeLog() {
    if (!FState || ChangeCount() == 0) return;
    TStoreState& S = MutableState();
    std::vector<int> Changed;
    S.Rows.ForEach([&](int Pos, const TRowRef& Row) {
        if (Row->State() != rsUnchanged) Changed.push_back(Pos);
        return true;
    });
    for (int P : Changed) S.Rows.Set(TStoredPos(P), TRowBlock::WithState(S.Rows.At(TStoredPos(P)), rsUnchanged, 0, {}));
    S.Deleted.clear();
    S.ChangedRows = 0;
}

void TOrvClientDataSet::CancelUpdates() {
    if (!FState) return;
    Cancel();
    if (ChangeCount() == 0) return;
    std::list<TRowRef> Rows;
    std::unordered_map<const TRowBlock*, std::list<TRowRef>::iterator> Where;
    FState->Rows.ForEach([&](int, const TRowRef& Row) {
        if (Row->State() == rsInserted) return true;
        const TRowRef& Loaded = Row->State() == rsModified ? Row->Original() : Row;
        Where[Loaded.Get()] = Rows.insert(Rows.end(), Loaded);
        return true;
    });
    // Put deleted rows back where they stood, the last deleted first (the log keeps them in
    // the order they were deleted): each goes before the row that followed it then, which
    // is back in place by the time its turn comes.
    for (auto D = FState->Deleted.rbegin(); D != FState->Deleted.rend(); ++D) {
        auto Next = D->Next ? Where.find(D->Next.Get()) : Where.end();
        Where[D->Row.Get()] = Rows.insert(Next == Where.end() ? Rows.end() : Next->second, D->Row);
    }
    auto S = std::make_shared<TStoreState>();
    S->Layout = FState->Layout;
    S->NextSeq = FState->NextSeq;
    S->Rows = TRowTree::Build(std::vector<TRowRef>(Rows.begin(), Rows.end()));
    AdoptState(std::move(S), 0);
}

void TOrvClientDataSet::RevertRecord() {
    CheckActive();
    Cancel();
    if (CursorPos() < 0) return;
    const TStoredPos Pos(CursorPos());
    TRowRef Row = FState->Rows.At(Pos);
    if (Row->State() == rsUnchanged) return;
    TStoreState& S = MutableState();
    // One row changes (or goes): the indexes follow it as they follow an edit or a delete.
    auto Revert = [&] {
        const int Count = S.Rows.Size();
        const TRowBlock* Now = Row->State() == rsInserted ? nullptr : Row->Original().Get();
        if (Now)
            S.Rows.Set(Pos, Row->Original());
        else
            S.Rows.Erase(Pos);
        --S.ChangedRows;
        if (FIndexes) FIndexes->RowChanged(Row.Get(), Now, Pos.Value, Count, *S.Layout);
    };
    if (Row->State() == rsInserted) {
        RemoveCurrentRow(Revert);
    } else {
        Revert();
        CurrentRowReplaced();
    }
}

TUpdateStatus TOrvClientDataSet::UpdateStatus() const {
    if (State() == TDataSetState::dsInsert) return TUpdateStatus::usInserted;
    if (!Active() || CursorPos() < 0) return TUpdateStatus::usUnmodified;
    switch (FState->Rows.At(TStoredPos(CursorPos()))->State()) {
    case rsInserted: return TUpdateStatus::usInserted;
    case rsModified: return TUpdateStatus::usModified;
    default: return TUpdateStatus::usUnmodified;
    }
}

std::vector<TChangeEntry> TOrvClientDataSet::GetChanges() const {
    std::vector<std::pair<std::uint32_t, TChangeEntry>> Entries;
    if (!FState) return {};
    const TRowLayout& L = *FState->Layout;
    auto ValuesOf = [&](const TRowBlock& Row) {
        std::vector<Variant> V(L.Kinds.size());
        for (std::size_t I = 0; I < V.size(); ++I) V[I] = RowValue(Row, L, static_cast<int>(I));
        return V;
    };
    FState->Rows.ForEach([&](int, const TRowRef& Row) {
        if (Row->State() == rsInserted) Entries.push_back({Row->Seq(), {TUpdateKind::ukInsert, {}, ValuesOf(*Row)}});
        else if (Row->State() == rsModified)
            Entries.push_back({Row->Seq(), {TUpdateKind::ukModify, ValuesOf(*Row->Original()), ValuesOf(*Row)}});
        return true;
    });
    for (const TDeletedRow& D : FState->Deleted) Entries.push_back({D.Seq, {TUpdateKind::ukDelete, ValuesOf(*D.Row), {}}});
    std::stable_sort(Entries.begin(), Entries.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
    std::vector<TChangeEntry> Out;
    Out.reserve(Entries.size());
    for (auto& E : Entries) Out.push_back(std::move(E.second));
    return Out;
}

TClientData TOrvClientDataSet::GetData() const {
    TClientData D;
    D.FState = FState;
    return D;
}

// Src's rows and change log in fields of another structure, each field taking the values of
// the source field of its name, through its own value rules. Every version of a row is
// converted once, so the change log's links between versions hold in the copy too.
std::shared_ptr<TStoreState> TOrvClientDataSet::FilledByName(const TStoreState& Src, const std::vector<TField*>& Mine,
                                                             const std::shared_ptr<const TRowLayout>& Layout) {
    const TRowLayout& From = *Src.Layout;
    std::vector<int> Source;
    for (TField* F : Mine) {
        auto Named = [&](auto Same) {
            for (std::size_t I = 0; I < From.Descs.size(); ++I)
                if (Same(From.Descs[I].Name, F->FieldName())) return static_cast<int>(I);
            return -1;
        };
        int I = Named([](const std::string& A, const std::string& B) { return A == B; });
        if (I < 0) I = Named([](const std::string& A, const std::string& B) { return SameTextAscii(A, B); });
        if (I < 0) throw EDatabaseError(Format("数据中没有字段“%s”。", {F->FieldName()}));
        Source.push_back(I);
    }
    std::unordered_map<const TRowBlock*, TRowRef> Converted;
    std::vector<Variant> Values(Mine.size());
    auto Convert = [&](auto& Self, const TRowRef& Row) -> TRowRef {
        if (!Row) return {};
        if (auto It = Converted.find(Row.Get()); It != Converted.end()) return It->second;
        TRowRef Original = Row->State() == rsModified ? Self(Self, Row->Original()) : TRowRef();
        for (std::size_t I = 0; I < Mine.size(); ++I)
            Values[I] = Mine[I]->Coerce(RowValue(*Row, From, Source[I]));
        TRowRef Copy = TRowBlock::Build(Layout->Kinds, Values.data(), Row->State(), Row->Seq(), std::move(Original));
        Converted.emplace(Row.Get(), Copy);
        return Copy;
    };
    auto S = std::make_shared<TStoreState>();
    S->NextSeq = Src.NextSeq;
    S->ChangedRows = Src.ChangedRows;
    std::vector<TRowRef> Rows;
    Rows.reserve(static_cast<std::size_t>(Src.Rows.Size()));
    Src.Rows.ForEach([&](int, const TRowRef& Row) {
        Rows.push_back(Convert(Convert, Row));
        return true;
    });
    S->Rows = TRowTree::Build(std::move(Rows));
    for (const TDeletedRow& D : Src.Deleted) S->Deleted.push_back({Convert(Convert, D.Row), D.Seq, Convert(Convert, D.Next)});
    return S;
}

void TOrvClientDataSet::SetData(const TClientData& Data) {
    if (Data.Empty()) throw EDatabaseError("没有可载入的数据。");
    const TStoreState& Src = *Data.FState;
    const TRowLayout& SrcLayout = *Src.Layout;
    bool Declared = !FieldList().empty() && !HasDynamicFields();
    if (Declared) {
        std::vector<TField*> Mine;
        for (TField* F : FieldList())
            if (F->FieldKind() == TFieldKind::fkData) Mine.push_back(F);
        auto MyLayout = TRowLayout::Of(Mine);
        bool Same = MyLayout->SameStorage(SrcLayout) && Mine.size() == SrcLayout.Descs.size();
        for (std::size_t I = 0; Same && I < Mine.size(); ++I) Same = SameTextAscii(Mine[I]->FieldName(), SrcLayout.Descs[I].Name);
        auto S = Same ? std::make_shared<TStoreState>(Src) : FilledByName(Src, Mine, MyLayout);
        S->Layout = MyLayout;
        DeactivateSilently();
        AdoptState(std::move(S), 0);
        return;
    }
    // Structure comes with the data: keep our fields when they already match it.
    bool Keep = DataFieldCount() == static_cast<int>(SrcLayout.Descs.size()) && FieldCount() == DataFieldCount() && Active();
    for (int I = 0; Keep && I < DataFieldCount(); ++I) {
        const TFieldDesc& D = SrcLayout.Descs[static_cast<std::size_t>(I)];
        TField* F = DataField(I);
        Keep = F->FieldName() == D.Name && F->DataType() == D.Type && F->Size() == D.Size;
    }
    if (Keep && FState && FState->Layout->SameStorage(SrcLayout)) {
        AdoptState(std::make_shared<TStoreState>(Src), 0);
        return;
    }
    std::vector<std::unique_ptr<TField>> NewFields;
    for (const TFieldDesc& D : SrcLayout.Descs) NewFields.push_back(CreateFieldFromDesc(D));
    DeactivateSilently();
    DestroyDynamicFields();
    for (auto& F : NewFields) {
        TField* Raw = F.release();
        Raw->ChangeOwner(this);
        Raw->SetDataSet(this);
        MarkDynamic(Raw);
    }
    FState = std::make_shared<TStoreState>(Src);
    if (FIndexes) FIndexes->InvalidateAll();
    ActivateSilently(0);
}

void TOrvClientDataSet::SetXMLData(const std::string& Xml) {
    std::vector<TField*> Declared;
    if (!FieldList().empty() && !HasDynamicFields())
        for (TField* F : FieldList())
            if (F->FieldKind() == TFieldKind::fkData) Declared.push_back(F);
    TParsedPacket P = ParseDataPacket(Xml, Declared);
    // Nothing of the set has changed up to here; from now on nothing can fail.
    DeactivateSilently();
    if (!P.NewFields.empty() || Declared.empty()) {
        DestroyDynamicFields();
        for (auto& F : P.NewFields) {
            TField* Raw = F.release();
            Raw->ChangeOwner(this);
            Raw->SetDataSet(this);
            MarkDynamic(Raw);
        }
    }
    FPacketParams = std::move(P.Params);
    FState = std::move(P.State);
    if (FIndexes) FIndexes->InvalidateAll();
    ActivateSilently(0);
}

std::string TOrvClientDataSet::GetXMLData() const {
    CheckActive();
    return WriteDataPacket(*FState, FPacketParams, false);
}

std::string TOrvClientDataSet::GetXMLDelta() const {
    CheckActive();
    return WriteDataPacket(*FState, FPacketParams, true);
}

// ---- TOrvUpdateDataSet -------------------------------------------------------------------

TOrvUpdateDataSet::TOrvUpdateDataSet(TComponent* AOwner) : TOrvClientDataSet(AOwner) {}

int TOrvUpdateDataSet::BackfillDataSet(TDataSet* Target) {
    auto* T = dynamic_cast<TOrvClientDataSet*>(Target);
    if (!T) throw EDatabaseError("只能回填客户数据集。");
    T->CheckActive();
    CheckActive();
    std::vector<TField*> TargetKeys = T->GetFieldList(T->KeyFields());
    if (TargetKeys.empty()) throw EDatabaseError(Format("数据集“%s”没有设置关键字段，无法回填。", {T->Name()}));
    std::vector<int> KeyNos; // answer field number of each target key
    for (TField* K : TargetKeys) {
        TField* Mine = FindField(K->FieldName());
        if (!Mine || Mine->FieldKind() != TFieldKind::fkData)
            throw EDatabaseError(Format("回填数据中没有关键字段“%s”。", {K->FieldName()}));
        KeyNos.push_back(Mine->FieldNo());
    }
    // Which answer field feeds which target field.
    std::vector<std::pair<int, TField*>> Columns;
    for (int I = 0; I < DataFieldCount(); ++I) {
        TField* Dst = T->FindField(DataField(I)->FieldName());
        if (Dst && Dst->FieldKind() == TFieldKind::fkData) Columns.push_back({I, Dst});
    }
    // Work out every write first, so a value the target cannot hold changes nothing.
    std::vector<std::pair<TStoredPos, std::vector<Variant>>> Writes;
    std::vector<TChangeEntry> Changes = GetChanges();
    for (const TChangeEntry& C : Changes) {
        if (C.Kind == TUpdateKind::ukDelete) continue;
        const std::vector<Variant>& KeySource = C.Kind == TUpdateKind::ukModify ? C.OldValues : C.NewValues;
        std::vector<Variant> Keys;
        bool Convertible = true;
        for (std::size_t I = 0; I < KeyNos.size() && Convertible; ++I) {
            try {
                Keys.push_back(TargetKeys[I]->Coerce(KeySource[static_cast<std::size_t>(KeyNos[I])]));
            } catch (const EConvertError&) {
                Convertible = false;
            }
        }
        if (!Convertible) continue;
        std::optional<TStoredPos> Pos = T->InternalLocate(TargetKeys, Keys);
        if (!Pos) continue;
        std::vector<Variant> Values = T->RowValues(*Pos);
        for (auto& [From, Dst] : Columns)
            Values[static_cast<std::size_t>(Dst->FieldNo())] = Dst->Coerce(C.NewValues[static_cast<std::size_t>(From)]);
        Writes.push_back({*Pos, std::move(Values)});
    }
    for (auto& [Pos, Values] : Writes) T->WriteRowUnlogged(Pos, Values);
    return static_cast<int>(Writes.size());
}

} // namespace orv
