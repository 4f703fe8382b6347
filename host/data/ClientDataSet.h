// The in-memory client data set: rows, change log, XML data packets and snapshots.
#pragma once

#include "host/data/DB.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv {

struct TStoreState;
struct TRowLayout;

enum class TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };
enum class TUpdateKind { ukModify, ukInsert, ukDelete };

// One pending change, as a delta carries it. Values are indexed by data field number
// (TField::FieldNo); OldValues is empty for an insert, NewValues for a delete.
struct TChangeEntry {
    TUpdateKind Kind = TUpdateKind::ukInsert;
    std::vector<Variant> OldValues;
    std::vector<Variant> NewValues;
};

// A whole-set copy: structure, rows and change log. Copying one and loading it into a
// data set shares row storage, so it costs the same for ten rows as for a million.
class TClientData {
public:
    TClientData();
    ~TClientData();
    TClientData(const TClientData&);
    TClientData& operator=(const TClientData&);
    bool Empty() const { return !FState; }

private:
    friend class TOrvClientDataSet;
    std::shared_ptr<const TStoreState> FState;
};

class TOrvClientDataSet : public TDataSet {
public:
    explicit TOrvClientDataSet(TComponent* AOwner);
    ~TOrvClientDataSet() override;

    // Makes an empty, active set from the declared fields.
    void CreateDataSet();
    // Removes every row without logging anything (the change log is dropped too).
    void EmptyDataSet();

    // XML data packets. SetXMLData takes the packet's bytes (UTF-8, or GBK/GB18030 from
    // older producers) and replaces structure and rows; declared (persistent) fields stay
    // and are filled by name. A packet that cannot be loaded raises EDatabaseError or
    // EConvertError and leaves the set exactly as it was.
    void SetXMLData(const std::string& Xml);
    // Current rows and pending changes; SetXMLData of it gives back the same set.
    std::string GetXMLData() const;
    // Only the changed rows, with their original values.
    std::string GetXMLDelta() const;

    // Whole-set copy without serialisation. Declared (persistent) fields stay, as with
    // SetXMLData: of the same structure the rows are shared, else each field is filled from
    // the data's field of its name (refused, the set unchanged, when one has none or a value
    // does not fit).
    TClientData GetData() const;
    void SetData(const TClientData& Data);

    // Adds rows read from elsewhere (a query's answer) after the stored ones, as rows that
    // are there rather than insertions: nothing is logged and no editing event runs, which
    // on a list of 200,000 rows would cost more than the query. Next fills Values, one per
    // data field in field order, and returns false when no row is left. Every value passes
    // its field's own rules; one that does not fit raises and the set keeps what it had.
    // A pending edit is settled first; the links hear of the load once, on the first row.
    void LoadRows(const std::function<bool(std::vector<Variant>&)>& Next);

    // Record numbers of the stored rows whose Fields (data fields of this set) equal Values,
    // ascending, through the same hash index Locate keeps. Neither the cursor nor the
    // state moves, so it may be called while a row is being edited; that row's stored
    // image is what is compared.
    std::vector<int> FindRecNos(const std::vector<TField*>& Fields, const std::vector<Variant>& Values) const;
    // Whether both sets hold the very same stored rows, as right after one took the
    // other's GetData and neither has changed since. Costs nothing that grows with the rows.
    bool SharesRowsWith(const TOrvClientDataSet& Other) const;

    // Row key, ";"-separated, blanks around names allowed.
    const std::string& KeyFields() const { return FKeyFields; }
    void SetKeyFields(const std::string& Value) { FKeyFields = Value; }

    // Change log.
    int ChangeCount() const;
    int GetChangeCount() const { return ChangeCount(); }
    void MergeChangeLog();
    void CancelUpdates();
    void RevertRecord();
    TUpdateStatus UpdateStatus() const;
    std::vector<TChangeEntry> GetChanges() const;

    // Packet PARAMS attributes other than the change log (LCID, PRIMARY_KEY, ...).
    const std::vector<std::pair<std::string, std::string>>& PacketParams() const { return FPacketParams; }

private:
    // Storage steps; the public verbs of TDataSet and this class decide when they run.
    void InternalOpen() override;
    void InternalClose() override;
    int InternalRecordCount() const override;
    Variant InternalGetValue(TStoredPos Pos, int FieldNo) const override;
    void InternalInsert(TStoredPos Pos, const std::vector<Variant>& Values) override;
    void InternalUpdate(TStoredPos Pos, const std::vector<Variant>& Values) override;
    void InternalDelete(TStoredPos Pos) override;
    std::optional<TStoredPos> InternalLocate(const std::vector<TField*>& Fields,
                                             const std::vector<Variant>& Values) const override;
    void InternalFieldsChanged() override;

    friend class TOrvUpdateDataSet;
    // A backfill writes a target's row outside the editing verbs: no log entry, no events.
    void WriteRowUnlogged(TStoredPos Pos, const std::vector<Variant>& Values);
    std::vector<Variant> RowValues(TStoredPos Pos) const;
    void AdoptState(std::shared_ptr<TStoreState> State, int CursorPos);
    static std::shared_ptr<TStoreState> FilledByName(const TStoreState& Src, const std::vector<TField*>& Mine,
                                                     const std::shared_ptr<const TRowLayout>& Layout);
    TStoreState& MutableState();
    // The storage slots of Fields; none unless every one is a data field of this set, which
    // is what the hash index covers (Other, when given, then names the first that is not).
    std::optional<std::vector<int>> DataFieldNos(const std::vector<TField*>& Fields,
                                                 TField** Other = nullptr) const;
    // The positions of the rows whose FieldNos equal Values, ascending (only the first
    // with FirstOnly).
    std::vector<int> IndexedPositions(const std::vector<int>& FieldNos, const std::vector<Variant>& Values,
                                      bool FirstOnly) const;

    std::shared_ptr<TStoreState> FState;
    std::string FKeyFields;
    std::vector<std::pair<std::string, std::string>> FPacketParams;
    mutable std::unique_ptr<struct TLocateIndexCache> FIndexes;
};

// Holds a delta (or a server's answer to one) and merges an answer into a data set.
//
// Answer format: an XML data packet like any delta. For every row the server changed on
// its side, the answer carries the row's original key values as an original row
// (RowState 1) followed by its new values (RowState 8), linked in CHANGE_LOG as
// "new original 8". BackfillDataSet finds the row of the target whose KeyFields equal the
// original's key values and writes into it every field that the answer declares and the
// target also has, null included. An inserted row of the answer (RowState 4) is matched on
// its own key values. Rows that match nothing are ignored; deletions in the answer are
// not applied. The target's change log is not touched: a row keeps its pending state.
class TOrvUpdateDataSet : public TOrvClientDataSet {
public:
    explicit TOrvUpdateDataSet(TComponent* AOwner);
    void SetXMLDelta(const std::string& Xml) { SetXMLData(Xml); }
    // Returns the number of rows written.
    int BackfillDataSet(TDataSet* Target);
};

} // namespace orv
