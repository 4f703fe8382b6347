// Internal to the data layer: what a client data set holds, shared by copies.
#pragma once

#include "host/data/ClientDataSet.h"
#include "host/data/RowStore.h"

#include <memory>
#include <string>
#include <vector>

namespace orv {

// Everything needed to make a field again (for sets that take structure from data).
struct TFieldDesc {
    TFieldType Type = TFieldType::ftString;
    std::string Name;
    std::string DisplayLabel;
    int Size = 0;
    int Precision = 0;
    int DisplayWidth = 0;
    bool Required = false;
    bool ReadOnly = false;
    bool Visible = true;
    std::int64_t Min = 0, Max = 0; // integer range
    TFieldPacketInfo PacketInfo;
};

TFieldDesc DescribeField(const TField* F);
std::unique_ptr<TField> CreateFieldFromDesc(const TFieldDesc& D);

// Storage layout of the data fields, in field-number order. Immutable once built.
struct TRowLayout {
    std::vector<TStorageKind> Kinds;
    std::vector<int> Scales; // decimals of BCD fields
    std::vector<TFieldDesc> Descs;
    static std::shared_ptr<const TRowLayout> Of(const std::vector<TField*>& DataFields);
    bool SameStorage(const TRowLayout& O) const { return Kinds == O.Kinds && Scales == O.Scales; }
};

struct TDeletedRow {
    TRowRef Row;            // values as loaded
    std::uint32_t Seq = 0;  // change order
    // Where it stood, to put it back on CancelUpdates: the loaded version of the next row
    // that was not inserted in this session (none: after all of them). A position would
    // not do: rows inserted before it, and removed again, shift positions.
    TRowRef Next;
};

// Rows and change log. Invariant: ChangedRows counts the rows of Rows whose state is
// inserted or modified; a modified row's Original is an unchanged row.
struct TStoreState {
    std::shared_ptr<const TRowLayout> Layout;
    TRowTree Rows;
    std::vector<TDeletedRow> Deleted;
    std::uint32_t NextSeq = 1;
    int ChangedRows = 0;
};

Variant RowValue(const TRowBlock& Row, const TRowLayout& Layout, int FieldNo);

// XML data packets.
struct TParsedPacket {
    std::vector<std::unique_ptr<TField>> NewFields; // empty when declared fields were used
    std::shared_ptr<TStoreState> State;
    std::vector<std::pair<std::string, std::string>> Params;
};
// Declared: the set's own data fields in order, or empty to take structure from the packet.
TParsedPacket ParseDataPacket(const std::string& Bytes, const std::vector<TField*>& Declared);
std::string WriteDataPacket(const TStoreState& State, const std::vector<std::pair<std::string, std::string>>& Params,
                            bool DeltaOnly);

} // namespace orv
