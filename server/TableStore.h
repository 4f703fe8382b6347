// The one load and save path of every unit-owned table a window edits. A table is
// described once (its packet fields, which of them are stored, what its ids refer to,
// whether its rows hold date ranges that must not overlap); the SQL is derived from that
// description, so the four commission windows and the timetable differ only in data.
#pragma once

#include "server/PacketBuilder.h"
#include "server/Store.h"

#include <optional>
#include <string>
#include <vector>

namespace orv::server {

struct TColumnDesc : TPacketField {
    // Stored column; empty for a name shown beside an id and filled by a join.
    std::string Column;
    // What the load query selects for the field (table alias t).
    std::string LoadExpr;
    // The field as the user knows it, for messages.
    std::string Label;
    bool Key = false;
    // Bounds of a stored value, in stored units.
    std::optional<std::int64_t> Min, Max;
};

// An id field whose value must name a row of a master table.
struct TReferenceDesc {
    std::string KeyField;
    // What the id names, for messages ("门店").
    std::string Noun;
    // Takes the id as ?1; column 0 is how a message names the row, columns 1.. the
    // canonical values of FilledFields.
    std::string LookupSql;
    std::vector<std::string> FilledFields;
    // A field of the row holding the number the user typed, preferred in messages.
    std::string NumberField;
};

// Rows of one unit with equal keys apart from these two dates may not share a day.
struct TDateRangeDesc {
    std::string FromField, ToField;
};

struct TTableDesc {
    std::string Table;
    std::vector<TColumnDesc> Fields; // packet order
    std::string LoadFrom;            // FROM clause, the table as t
    std::string LoadOrder;
    std::vector<TReferenceDesc> References;
    std::optional<TDateRangeDesc> DateRange;
    // The reference field naming the shop a row belongs to, when rows name one: a user
    // then sees and changes only the rows of shops within the user's unit.
    std::string ShopField;
};

class TTableStore {
public:
    explicit TTableStore(TTableDesc Desc);

    const TTableDesc& Desc() const { return FDesc; }
    std::vector<TPacketField> PacketFields() const;

    // The unit's rows as an XML data packet. With a Reach (the user's unit, when that is
    // not the whole chain) a table naming shops gives only the rows of shops within it.
    std::string LoadXml(TStore& Db, int UnitID, std::optional<int> Reach) const;

    // Applies an XML delta for the unit in one transaction and returns the answer delta
    // (empty when nothing needs merging). Raises EDatabaseError naming the offending row,
    // with nothing applied, when a row breaks a rule, repeats a key, names nothing, or
    // was changed or deleted by someone else since it was read. The message names the row
    // by what the clerk sees in it (numbers and names, never an id); a row whose shop,
    // class, shift or category is not chosen is named by its place among the delta's
    // changed rows, in the order they were first changed, from 1 ("第 3 行：没有选择商品类别。").
    // Every new row is checked against the rules and the other ranges before any is
    // written, so a broken rule is reported before a key clash the write finds. When
    // another client's save commits a clashing range between the checks and the write
    // (PostgreSQL lets two saves run at once), the delta is checked again from the start.
    // With a Reach, a delta naming a shop outside it, in any image of any row, is refused
    // whole, before anything else is checked.
    std::string ApplyDelta(TStore& Db, int UnitID, std::optional<int> Reach,
                           const std::string& DeltaXml) const;

private:
    class TApply;
    friend class TApply;

    int FieldIndex(const std::string& Name) const;

    TTableDesc FDesc;
    std::vector<int> FStored;    // indexes of stored fields, in packet order
    std::vector<int> FScopeKeys; // stored keys other than the date range
    int FFrom = -1, FTo = -1;
    int FShop = -1;    // field index of ShopField
    int FShopRef = -1; // its reference
    std::string FLoadSql, FLoadReachSql, FInsertSql, FDeleteSql, FStoredOverlapSql;
};

} // namespace orv::server
