// Turns query results into XML data packets with exactly the fields a window declares.
#pragma once

#include "host/data/Variant.h"
#include "server/Store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {
class TOrvClientDataSet;
}

namespace orv::server {

// How a value travels in a packet and how it is stored:
//   ptId      whole number, stored as is, sent as a BCD field (ids may carry decimals,
//             as SHOP_ID does, for the sake of the window's declared field);
//   ptDecimal exact decimal, stored as an INTEGER count of its last decimal;
//   ptDate    calendar day, stored as its day number;
//   ptText    UTF-8 text with a size in characters.
enum class TPacketType { ptId, ptDecimal, ptDate, ptText };

struct TPacketField {
    std::string Name;
    TPacketType Type = TPacketType::ptId;
    int Precision = 0; // BCD total digits; 0 leaves it unset
    int Scale = 0;     // BCD decimals, or text size
};

// Adds fields built from Fields to an empty, inactive data set and opens it.
void CreatePacketFields(TOrvClientDataSet& DataSet, const std::vector<TPacketField>& Fields);

// Value of column Column of the statement's current row, in the field's packet form.
Variant ColumnValue(const TStoreStatement& Rows, int Column, const TPacketField& Field);

// XML data packet of every row the statement yields; column i fills field i.
std::string QueryToXml(const std::vector<TPacketField>& Fields, TStoreStatement& Rows);

// Stored form of a packet value, checked against the field's precision; nullopt for null.
// Raises EConvertError when the value does not fit, naming the field by Label (what the
// clerk calls it; the packet name when empty) and never showing an id's value.
std::optional<std::int64_t> StoredValue(const Variant& Value, const TPacketField& Field,
                                        std::string_view Label = {});

// Packet form of a stored value.
Variant PacketValue(std::int64_t Stored, const TPacketField& Field);

// "2024-01-31" for a stored day number, "12.50" for a stored decimal, the id otherwise.
std::string StoredText(std::int64_t Stored, const TPacketField& Field);

} // namespace orv::server
