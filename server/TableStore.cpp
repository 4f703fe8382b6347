#include "server/TableStore.h"

#include "host/data/ClientDataSet.h"
#include "host/services/Constants.h"
#include "server/Schema.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

namespace orv::server {

namespace {

std::string Join(const std::vector<std::string>& Parts, std::string_view Separator) {
    std::string R;
    for (std::size_t I = 0; I < Parts.size(); ++I) {
        if (I) R += Separator;
        R += Parts[I];
    }
    return R;
}

std::string Param(int N) {
    return "?" + std::to_string(N);
}

// One row of a delta as the table sees it: the packet values as sent, and the stored
// form of each stored field.
struct TRow {
    // The row's place in the delta as the clerk counts it: the delta's changed rows in the
    // order they were first changed (inserted, modified or deleted; a modified row's
    // original and new image are one row), counted from 1. Messages use it only for a row
    // they cannot name by what the clerk sees.
    int No = 0;
    std::vector<Variant> Raw;
    std::vector<std::optional<std::int64_t>> Value;
    std::string Error; // first value that did not convert
};

} // namespace

// ---- SQL derived from the description ----------------------------------------------------

TTableStore::TTableStore(TTableDesc Desc) : FDesc(std::move(Desc)) {
    std::vector<std::string> Select, Columns, Params, Matches;
    for (std::size_t I = 0; I < FDesc.Fields.size(); ++I) {
        const TColumnDesc& F = FDesc.Fields[I];
        Select.push_back(F.LoadExpr);
        if (F.Column.empty()) continue;
        FStored.push_back(static_cast<int>(I));
        const int N = static_cast<int>(FStored.size()) + 1; // ?1 is the unit
        Columns.push_back(F.Column);
        Params.push_back(Param(N));
        Matches.push_back(F.Column + " = " + Param(N));
    }
    FLoadSql = "SELECT " + Join(Select, ", ") + " FROM " + FDesc.LoadFrom + " WHERE t.unit_id = ?1";
    if (!FDesc.ShopField.empty()) {
        FShop = FieldIndex(FDesc.ShopField);
        for (std::size_t R = 0; R < FDesc.References.size(); ++R)
            if (FDesc.References[R].KeyField == FDesc.ShopField) FShopRef = static_cast<int>(R);
        if (FShopRef < 0)
            throw EDatabaseError("表 " + FDesc.Table + " 的门店字段 " + FDesc.ShopField + " 不是引用。");
        // The units below ?2 are few beside the rows: one pass down the tree, then a
        // hashed (PostgreSQL) or indexed (SQLite) membership test per row.
        FLoadReachSql = "WITH RECURSIVE reach(id) AS (SELECT unit_id FROM units WHERE unit_id = ?2 "
                        "UNION ALL SELECT u.unit_id FROM units u JOIN reach ON u.parent_id = reach.id) " +
                        FLoadSql + " AND t." + FDesc.Fields[static_cast<std::size_t>(FShop)].Column +
                        " IN (SELECT id FROM reach) ORDER BY " + FDesc.LoadOrder;
    }
    FLoadSql += " ORDER BY " + FDesc.LoadOrder;
    FInsertSql = "INSERT INTO " + FDesc.Table + " (unit_id, " + Join(Columns, ", ") + ") VALUES (?1, " +
                 Join(Params, ", ") + ")";
    // Every stored value must still be what the client read: that is the concurrency check.
    FDeleteSql = "DELETE FROM " + FDesc.Table + " WHERE unit_id = ?1 AND " + Join(Matches, " AND ");

    if (FDesc.DateRange) {
        FFrom = FieldIndex(FDesc.DateRange->FromField);
        FTo = FieldIndex(FDesc.DateRange->ToField);
        std::vector<std::string> Scope;
        for (int I : FStored) {
            const TColumnDesc& F = FDesc.Fields[static_cast<std::size_t>(I)];
            if (!F.Key || I == FFrom || I == FTo) continue;
            FScopeKeys.push_back(I);
            Scope.push_back(F.Column + " = " + Param(static_cast<int>(FScopeKeys.size()) + 1));
        }
        const std::string& FromCol = FDesc.Fields[static_cast<std::size_t>(FFrom)].Column;
        const std::string& ToCol = FDesc.Fields[static_cast<std::size_t>(FTo)].Column;
        const std::string PFrom = Param(static_cast<int>(FScopeKeys.size()) + 2);
        const std::string PTo = Param(static_cast<int>(FScopeKeys.size()) + 3);
        const std::string Scoped =
            " FROM " + FDesc.Table + " WHERE unit_id = ?1 AND " + Join(Scope, " AND ") + " AND ";
        // The earliest stored range sharing a day with ?From..?To. Stored ranges of a scope
        // never share a day (every save keeps them so), so of those starting earlier only
        // the last can reach into it, and of those starting inside it the first is wanted:
        // two index seeks, however many ranges the scope holds.
        FStoredOverlapSql = "SELECT f, t FROM (SELECT * FROM (SELECT " + FromCol + " AS f, " + ToCol +
                            " AS t" + Scoped + FromCol + " < " + PFrom + " ORDER BY " + FromCol + " DESC, " +
                            ToCol + " DESC LIMIT 1) before_it WHERE t >= " + PFrom +
                            " UNION ALL SELECT * FROM (SELECT " + FromCol + ", " + ToCol + Scoped + FromCol +
                            " BETWEEN " + PFrom + " AND " + PTo + " AND NOT (" + FromCol + " = " + PFrom +
                            " AND " + ToCol + " = " + PTo + ") ORDER BY " + FromCol + ", " + ToCol +
                            " LIMIT 1) inside_it) met ORDER BY f, t LIMIT 1";
    }
}

int TTableStore::FieldIndex(const std::string& Name) const {
    for (std::size_t I = 0; I < FDesc.Fields.size(); ++I)
        if (FDesc.Fields[I].Name == Name) return static_cast<int>(I);
    throw EDatabaseError("表 " + FDesc.Table + " 没有字段 " + Name + "。");
}

std::vector<TPacketField> TTableStore::PacketFields() const {
    return std::vector<TPacketField>(FDesc.Fields.begin(), FDesc.Fields.end());
}

std::string TTableStore::LoadXml(TStore& Db, int UnitID, std::optional<int> Reach) const {
    const bool Scoped = Reach && FShop >= 0;
    TStatementLease Rows = Db.Prepare(Scoped ? FLoadReachSql : FLoadSql);
    Rows->Bind(1, UnitID);
    if (Scoped) Rows->Bind(2, *Reach);
    return QueryToXml(PacketFields(), *Rows);
}

// ---- Applying one delta ------------------------------------------------------------------

// State of one ApplyDelta call: where each field sits in the delta and what the master
// tables said about each id so far (a delta of ten thousand rows names few shops).
class TTableStore::TApply {
public:
    TApply(const TTableStore& Store, TStore& Db, int UnitID, const TOrvUpdateDataSet& Delta)
        : FStore(Store), FDesc(Store.FDesc), FDb(Db), FUnitID(UnitID) {
        FRefOf.assign(FDesc.Fields.size(), -1);
        for (std::size_t R = 0; R < FDesc.References.size(); ++R)
            FRefOf[static_cast<std::size_t>(Store.FieldIndex(FDesc.References[R].KeyField))] =
                static_cast<int>(R);
        for (std::size_t I = 0; I < FDesc.Fields.size(); ++I) {
            TField* Field = Delta.FindField(FDesc.Fields[I].Name);
            if (!Field && !FDesc.Fields[I].Column.empty())
                throw EDatabaseError("提交的数据缺少“" + LabelOf(I) + "”一列。");
            FFieldNo.push_back(Field ? Field->FieldNo() : -1);
        }
        FCache.resize(FDesc.References.size());
    }

    TRow ReadRow(const std::vector<Variant>& Values, int No) const {
        TRow Row;
        Row.No = No;
        Row.Raw.resize(FDesc.Fields.size());
        Row.Value.resize(FDesc.Fields.size());
        for (std::size_t I = 0; I < FDesc.Fields.size(); ++I) {
            const int No = FFieldNo[I];
            if (No < 0 || static_cast<std::size_t>(No) >= Values.size()) continue;
            Row.Raw[I] = Values[static_cast<std::size_t>(No)];
            if (FDesc.Fields[I].Column.empty()) continue;
            try {
                Row.Value[I] = StoredValue(Row.Raw[I], FDesc.Fields[I], LabelOf(I));
            } catch (const EConvertError& E) {
                if (Row.Error.empty()) Row.Error = E.Message();
            }
        }
        return Row;
    }

    // Takes the rows as the client read them out of the table; each must still be stored
    // exactly so, or someone else changed or deleted it in the meantime.
    void RemoveOriginals(const std::vector<TRow>& Rows) {
        std::vector<TParams> Sets;
        for (const TRow& Row : Rows) {
            if (!Row.Error.empty())
                Fail(Row, Row.Error); // a value no field holds was never read from the table
            TParams& Set = Sets.emplace_back(TParams{std::int64_t{FUnitID}});
            for (int I : FStore.FStored) {
                const auto& V = Row.Value[static_cast<std::size_t>(I)];
                if (!V) Fail(Row, "提交的原始数据不完整，请重新读取数据后再保存。");
                Set.push_back(*V);
            }
        }
        TStatementLease Delete = FDb.Prepare(FStore.FDeleteSql);
        const std::vector<std::int64_t> Removed = Delete->ExecuteMany(Sets);
        for (std::size_t R = 0; R < Rows.size(); ++R)
            if (Removed[R] == 0) Fail(Rows[R], "该行已被其他用户修改或删除，请重新读取数据后再保存。");
    }

    void InsertNew(const std::vector<TRow>& Rows) {
        std::vector<TParams> Sets;
        for (const TRow& Row : Rows) {
            TParams& Set = Sets.emplace_back(TParams{std::int64_t{FUnitID}});
            for (int I : FStore.FStored)
                Set.push_back(*Row.Value[static_cast<std::size_t>(I)]);
        }
        TStatementLease Insert = FDb.Prepare(FStore.FInsertSql);
        try {
            Insert->ExecuteMany(Sets);
        } catch (const EStoreError& E) {
            if (E.SetIndex < 0) throw;
            const TRow& Row = Rows[static_cast<std::size_t>(E.SetIndex)];
            if (E.Fault() == TStoreFault::sfUnique) Fail(Row, "与另一行重复。");
            if (E.Fault() == TStoreFault::sfConstraint) Fail(Row, "不符合数据规则。" + E.Message());
            throw;
        }
    }

    // Finds, for each new row, the earliest range (by start, then end) it would share a day
    // with once every row of the delta is in place. Stored ranges are asked for before the
    // new ones go in, so an index seek finds them; the delta's own ranges are matched in
    // memory. Both stay n log n in the rows saved, where asking the table about every new
    // row after the inserts would scan the scope's earlier ranges again for each one.
    // Runs after the delta's removals, in its transaction. Under SQLite's write lock the
    // stored ranges are exactly those committed beside the new ones; on PostgreSQL a range
    // another client commits meanwhile makes the database refuse the write, and the delta
    // is checked again from the start, so the clerk gets this message about it all the same.
    void FindOverlaps(const std::vector<TRow>& Rows) {
        FOverlap.assign(Rows.size(), std::nullopt);
        if (FStore.FStoredOverlapSql.empty()) return;
        // A row lacking a key or a date is refused on insert, before any overlap is reported.
        auto KeyOf = [this](const TRow& Row) {
            std::vector<std::int64_t> Key;
            for (int I : FStore.FScopeKeys)
                Key.push_back(*Row.Value[static_cast<std::size_t>(I)]);
            return Key;
        };
        auto Complete = [this](const TRow& Row) {
            for (int I : FStore.FScopeKeys)
                if (!Row.Value[static_cast<std::size_t>(I)]) return false;
            return Row.Value[static_cast<std::size_t>(FStore.FFrom)] &&
                   Row.Value[static_cast<std::size_t>(FStore.FTo)];
        };
        std::map<std::vector<std::int64_t>, std::vector<std::size_t>> Scopes;
        std::vector<TParams> Sets;
        std::vector<std::size_t> RowOf; // by set
        for (std::size_t R = 0; R < Rows.size(); ++R) {
            if (!Complete(Rows[R])) continue;
            const auto [From, To] = DatesOf(Rows[R]);
            TParams& Set = Sets.emplace_back(TParams{std::int64_t{FUnitID}});
            for (std::int64_t V : KeyOf(Rows[R]))
                Set.push_back(V);
            Set.push_back(From);
            Set.push_back(To);
            RowOf.push_back(R);
            Scopes[KeyOf(Rows[R])].push_back(R);
        }
        TStatementLease Query = FDb.Prepare(FStore.FStoredOverlapSql);
        Query->ExecuteMany(Sets, [&](std::size_t Set, const TStoreStatement& Met) {
            FOverlap[RowOf[Set]] = TRange{Met.Int64(0), Met.Int64(1)};
        });
        for (auto& [Key, Members] : Scopes)
            MatchWithinDelta(Rows, Members);
    }

    // Refuses the row when FindOverlaps found a range it shares a day with.
    void CheckOverlap(std::size_t R, const TRow& Row) {
        if (R >= FOverlap.size() || !FOverlap[R]) return;
        const TColumnDesc& From = FDesc.Fields[static_cast<std::size_t>(FStore.FFrom)];
        Fail(Row, Format("与已有的 %s 至 %s 的设置日期重叠。",
                         {StoredText(FOverlap[R]->first, From), StoredText(FOverlap[R]->second, From)}));
    }

    // Remembers the row for the answer when a name the client sent differs from the
    // master table's (stale, or never filled in).
    void NoteCanonicalNames(const TRow& Row) {
        std::vector<std::pair<int, std::string>> Names;
        bool Differs = false;
        for (std::size_t R = 0; R < FDesc.References.size(); ++R) {
            const TReferenceDesc& Ref = FDesc.References[R];
            if (Ref.FilledFields.empty()) continue;
            const auto& Found = Lookup(static_cast<int>(R), *Row.Value[KeyIndexOf(R)]);
            for (std::size_t K = 0; K < Ref.FilledFields.size(); ++K) {
                const int Field = FStore.FieldIndex(Ref.FilledFields[K]);
                const std::string& Canonical = (*Found)[K + 1];
                const Variant& Sent = Row.Raw[static_cast<std::size_t>(Field)];
                if (Sent.IsNull() || Sent.AsString() != Canonical) Differs = true;
                Names.emplace_back(Field, Canonical);
            }
        }
        if (Differs) FAnswer.push_back({Row, std::move(Names)});
    }

    std::string AnswerXml() const {
        if (FAnswer.empty()) return {};
        // Keys identify the target row; the names are what the answer changes in it.
        std::vector<TPacketField> Fields;
        std::vector<int> Keys;
        for (int I : FStore.FStored)
            if (FDesc.Fields[static_cast<std::size_t>(I)].Key) {
                Keys.push_back(I);
                Fields.push_back(FDesc.Fields[static_cast<std::size_t>(I)]);
            }
        const int KeyCount = static_cast<int>(Fields.size());
        for (const auto& [Field, Name] : FAnswer.front().second)
            Fields.push_back(FDesc.Fields[static_cast<std::size_t>(Field)]);

        TOrvClientDataSet Answer(nullptr);
        CreatePacketFields(Answer, Fields);
        Answer.DisableControls();
        for (const auto& [Row, Names] : FAnswer) {
            Answer.Append();
            for (int K = 0; K < KeyCount; ++K) {
                const auto Key = static_cast<std::size_t>(Keys[static_cast<std::size_t>(K)]);
                Answer.Fields(K)->SetValue(PacketValue(*Row.Value[Key], FDesc.Fields[Key]));
            }
            Answer.Post();
        }
        Answer.MergeChangeLog();
        Answer.First();
        for (const auto& [Row, Names] : FAnswer) {
            Answer.Edit();
            for (std::size_t K = 0; K < Names.size(); ++K)
                Answer.Fields(KeyCount + static_cast<int>(K))->SetValue(Variant(Names[K].second));
            Answer.Post();
            Answer.Next();
        }
        return Answer.GetXMLDelta();
    }

    // Looks up, in one batch per reference, every id the rows name that is not known yet:
    // a server engine answers each batch in one round trip, where the checks asking id by
    // id would wait for one per shop and class.
    void LookUpAll(const std::vector<TRow>& Rows) {
        for (std::size_t R = 0; R < FDesc.References.size(); ++R) {
            auto& Cache = FCache[R];
            std::vector<std::int64_t> Ids;
            for (const TRow& Row : Rows) {
                const auto& Id = Row.Value[KeyIndexOf(R)];
                if (Id && Cache.try_emplace(*Id).second) Ids.push_back(*Id);
            }
            if (Ids.empty()) continue;
            std::vector<TParams> Sets;
            for (std::int64_t Id : Ids)
                Sets.push_back({Id});
            const TReferenceDesc& Ref = FDesc.References[R];
            TStatementLease Query = FDb.Prepare(Ref.LookupSql);
            Query->ExecuteMany(Sets, [&](std::size_t Set, const TStoreStatement& Found) {
                auto& Entry = Cache[Ids[Set]];
                if (!Entry) Entry = FoundRow(Ref, Found); // the first row, as a single lookup takes
            });
        }
    }

    // Refuses the delta when a row names a shop outside Reach. A shop that does not exist
    // is left to the other checks, which say so.
    void CheckReach(const std::vector<TRow>& Rows, std::optional<int> Reach) {
        if (!Reach || FStore.FShop < 0) return;
        std::unordered_map<std::int64_t, bool> Within;
        for (const TRow& Row : Rows) {
            const auto& Shop = Row.Value[static_cast<std::size_t>(FStore.FShop)];
            if (!Shop || *Shop == Sys_UnknownID) continue;
            auto [It, New] = Within.try_emplace(*Shop, true);
            if (New) It->second = UnitWithin(FDb, static_cast<int>(*Shop), *Reach);
            if (It->second) continue;
            const auto& Found = Lookup(FStore.FShopRef, *Shop);
            if (!Found) continue;
            throw EDatabaseError(OutOfReachMessage(
                FDesc.References[static_cast<std::size_t>(FStore.FShopRef)].Noun, (*Found)[0],
                TReachContext::rcSave));
        }
    }

    [[noreturn]] void Fail(const TRow& Row, const std::string& Why) {
        throw EDatabaseError(Describe(Row) + "：" + Why);
    }

private:
    using TRange = std::pair<std::int64_t, std::int64_t>; // first and last day

    TRange DatesOf(const TRow& Row) const {
        return {*Row.Value[static_cast<std::size_t>(FStore.FFrom)],
                *Row.Value[static_cast<std::size_t>(FStore.FTo)]};
    }

    // The delta's rows of one scope, sorted by range: those starting no later than a row
    // ends are a prefix, and the first of them ending on or after its start is the
    // earliest it meets, found by bisecting the running maximum of the ends.
    void MatchWithinDelta(const std::vector<TRow>& Rows, std::vector<std::size_t>& Members) {
        std::sort(Members.begin(), Members.end(),
                  [&](std::size_t A, std::size_t B) { return DatesOf(Rows[A]) < DatesOf(Rows[B]); });
        std::vector<std::int64_t> Starts, LatestEnd;
        for (std::size_t M : Members) {
            const TRange D = DatesOf(Rows[M]);
            Starts.push_back(D.first);
            LatestEnd.push_back(LatestEnd.empty() ? D.second : std::max(LatestEnd.back(), D.second));
        }
        for (std::size_t P = 0; P < Members.size(); ++P) {
            const auto [From, To] = DatesOf(Rows[Members[P]]);
            const auto StartsBy =
                static_cast<std::size_t>(std::upper_bound(Starts.begin(), Starts.end(), To) - Starts.begin());
            auto J = static_cast<std::size_t>(std::lower_bound(LatestEnd.begin(), LatestEnd.end(), From) -
                                              LatestEnd.begin());
            // Past the row itself every later row starts on or after its start. A range equal
            // to the row's is the same key twice, which the write reports as such.
            while (J < Members.size() && (J == P || DatesOf(Rows[Members[J]]) == DatesOf(Rows[Members[P]])))
                ++J;
            if (J >= StartsBy || DatesOf(Rows[Members[J]]).second < From) continue;
            const TRange Met = DatesOf(Rows[Members[J]]);
            auto& Found = FOverlap[Members[P]];
            if (!Found || Met < *Found) Found = Met;
        }
    }

    std::size_t KeyIndexOf(std::size_t Ref) const {
        return static_cast<std::size_t>(FStore.FieldIndex(FDesc.References[Ref].KeyField));
    }

    // What the clerk calls field I: an id by what it names ("门店"), as the clerk picks a
    // shop, not an id.
    const std::string& LabelOf(std::size_t I) const {
        const int R = FRefOf[I];
        return R >= 0 ? FDesc.References[static_cast<std::size_t>(R)].Noun : FDesc.Fields[I].Label;
    }

public:
    void Validate(const TRow& Row) {
        if (!Row.Error.empty()) Fail(Row, Row.Error);
        for (int I : FStore.FStored) {
            const TColumnDesc& F = FDesc.Fields[static_cast<std::size_t>(I)];
            const auto& V = Row.Value[static_cast<std::size_t>(I)];
            if (FRefOf[static_cast<std::size_t>(I)] >= 0 && (!V || *V == Sys_UnknownID))
                Fail(Row, "没有选择" + LabelOf(static_cast<std::size_t>(I)) + "。");
            if (!V) Fail(Row, F.Label + "不能为空。");
            if ((F.Min && *V < *F.Min) || (F.Max && *V > *F.Max))
                Fail(Row, Format("%s必须在 %s 到 %s 之间。", {F.Label, StoredText(F.Min.value_or(*V), F),
                                                              StoredText(F.Max.value_or(*V), F)}));
        }
        for (std::size_t R = 0; R < FDesc.References.size(); ++R) {
            if (!Lookup(static_cast<int>(R), *Row.Value[KeyIndexOf(R)]))
                Fail(Row, FDesc.References[R].Noun + "不存在。");
        }
        if (FStore.FFrom >= 0 && *Row.Value[static_cast<std::size_t>(FStore.FTo)] <
                                     *Row.Value[static_cast<std::size_t>(FStore.FFrom)])
            Fail(Row, FDesc.Fields[static_cast<std::size_t>(FStore.FTo)].Label + "不能早于" +
                          FDesc.Fields[static_cast<std::size_t>(FStore.FFrom)].Label + "。");
    }

private:
    const std::optional<std::vector<std::string>>& Lookup(int Ref, std::int64_t Id) {
        auto& Cache = FCache[static_cast<std::size_t>(Ref)];
        auto It = Cache.find(Id);
        if (It != Cache.end()) return It->second;
        const TReferenceDesc& Desc = FDesc.References[static_cast<std::size_t>(Ref)];
        std::optional<std::vector<std::string>> Found;
        TStatementLease Query = FDb.Prepare(Desc.LookupSql);
        Query->Bind(1, Id);
        if (Query->Step()) Found = FoundRow(Desc, *Query);
        return Cache.emplace(Id, std::move(Found)).first->second;
    }

    // What a reference's lookup found: the id's column and the columns it fills.
    static std::vector<std::string> FoundRow(const TReferenceDesc& Ref, const TStoreStatement& Found) {
        std::vector<std::string> Row;
        for (std::size_t C = 0; C <= Ref.FilledFields.size(); ++C)
            Row.push_back(Found.Text(static_cast<int>(C)));
        return Row;
    }

    std::string FieldText(const TRow& Row, std::size_t I) const {
        if (Row.Value[I]) return StoredText(*Row.Value[I], FDesc.Fields[I]);
        if (Row.Raw[I].IsNull()) return "（空）";
        try {
            return Row.Raw[I].AsString();
        } catch (const std::exception&) {
            return "？";
        }
    }

    // Names a row by its key the way the clerk finds it in the window, references by the
    // number and name the clerk sees and never by an id: "门店 S001 南京东路店、商品品种
    // P0001 经典可乐、2024-01-01 至 2024-01-31". When a reference of the row names nothing
    // the clerk could see (none chosen, or one that names nothing and was not typed), the
    // row's place in the delta (TRow::No) leads, with what else of its key is visible:
    // "第 3 行", "第 3 行（商品品种 P0006 经典可乐、2024-01-01 至 2024-01-31）".
    std::string Describe(const TRow& Row) {
        std::vector<std::string> Parts;
        bool Unnamed = false;
        for (std::size_t I = 0; I < FDesc.Fields.size(); ++I) {
            const TColumnDesc& F = FDesc.Fields[I];
            if (!F.Key || static_cast<int>(I) == FStore.FTo) continue;
            if (static_cast<int>(I) == FStore.FFrom) {
                Parts.push_back(FieldText(Row, I) + " 至 " +
                                FieldText(Row, static_cast<std::size_t>(FStore.FTo)));
                continue;
            }
            const int R = FRefOf[I];
            if (R < 0) {
                Parts.push_back(F.Label + " " + FieldText(Row, I));
                continue;
            }
            const std::string Name = ReferenceText(Row, R, I);
            if (Name.empty())
                Unnamed = true;
            else
                Parts.push_back(FDesc.References[static_cast<std::size_t>(R)].Noun + " " + Name);
        }
        if (!Unnamed) return Join(Parts, "、");
        const std::string Place = "第 " + std::to_string(Row.No) + " 行";
        return Parts.empty() ? Place : Place + "（" + Join(Parts, "、") + "）";
    }

    // How the clerk knows the row that reference R of field I names: the master table's
    // text for it, else the number typed for it; empty when the row shows none.
    std::string ReferenceText(const TRow& Row, int R, std::size_t I) {
        const auto& Id = Row.Value[I];
        if (!Id || *Id == Sys_UnknownID) return {};
        if (const auto& Found = Lookup(R, *Id)) return (*Found)[0];
        const TReferenceDesc& Ref = FDesc.References[static_cast<std::size_t>(R)];
        if (Ref.NumberField.empty()) return {};
        const Variant& Typed = Row.Raw[static_cast<std::size_t>(FStore.FieldIndex(Ref.NumberField))];
        const std::string* S = Typed.IfString();
        return S ? Trim(*S) : std::string();
    }

    const TTableStore& FStore;
    const TTableDesc& FDesc;
    TStore& FDb;
    int FUnitID;
    std::vector<int> FFieldNo;
    std::vector<int> FRefOf;
    std::vector<std::unordered_map<std::int64_t, std::optional<std::vector<std::string>>>> FCache;
    std::vector<std::pair<TRow, std::vector<std::pair<int, std::string>>>> FAnswer;
    std::vector<std::optional<TRange>> FOverlap; // by new row
};

std::string TTableStore::ApplyDelta(TStore& Db, int UnitID, std::optional<int> Reach,
                                    const std::string& DeltaXml) const {
    TOrvUpdateDataSet Delta(nullptr);
    Delta.SetXMLDelta(DeltaXml);
    const std::vector<TChangeEntry> Changes = Delta.GetChanges();
    return InTransaction(Db, [&] {
        TApply Apply(*this, Db, UnitID, Delta);
        // Originals go first and new images after, so a delta may move a key to one that
        // another of its rows gives up (two rows swapping dates, a delete and a re-insert).
        std::vector<TRow> Originals, NewRows;
        for (std::size_t I = 0; I < Changes.size(); ++I) {
            const TChangeEntry& C = Changes[I];
            const int No = static_cast<int>(I) + 1; // see TRow::No
            if (C.Kind != TUpdateKind::ukInsert) Originals.push_back(Apply.ReadRow(C.OldValues, No));
            if (C.Kind != TUpdateKind::ukDelete) NewRows.push_back(Apply.ReadRow(C.NewValues, No));
        }
        Apply.CheckReach(Originals, Reach);
        Apply.CheckReach(NewRows, Reach);
        Apply.RemoveOriginals(Originals);
        Apply.LookUpAll(NewRows);
        Apply.FindOverlaps(NewRows);
        for (std::size_t R = 0; R < NewRows.size(); ++R) {
            Apply.Validate(NewRows[R]);
            Apply.CheckOverlap(R, NewRows[R]);
        }
        Apply.InsertNew(NewRows);
        for (const TRow& Row : NewRows)
            Apply.NoteCanonicalNames(Row);
        return Apply.AnswerXml();
    });
}

} // namespace orv::server
