#include "server/PacketBuilder.h"

#include "host/core/SysUtils.h"
#include "host/data/ClientDataSet.h"
#include "host/data/ValueRules.h"

namespace orv::server {

namespace {

std::int64_t Pow10(int N) {
    std::int64_t R = 1;
    while (N-- > 0)
        R *= 10;
    return R;
}

std::string NameOf(const TPacketField& Field, std::string_view Label) {
    return std::string(Label.empty() ? std::string_view(Field.Name) : Label);
}

// Refuses a value in the words of the window: Label is what the clerk calls the field.
// An id's value is never shown, as the clerk never sees it.
[[noreturn]] void NotFit(const TPacketField& Field, std::string_view Label, const Variant& Value,
                         const std::string& Why = "无效") {
    const std::string Name = NameOf(Field, Label);
    if (Field.Type == TPacketType::ptId) throw EConvertError(Name + "无效。");
    std::string Text;
    try {
        Text = Value.AsString();
    } catch (const std::exception&) {
        // Leave the text empty: the message still names the field.
    }
    throw EConvertError(Format("%s的值“%s”%s。", {Name, Text, Why}));
}

} // namespace

void CreatePacketFields(TOrvClientDataSet& DataSet, const std::vector<TPacketField>& Fields) {
    for (const TPacketField& F : Fields) {
        TField* Field = nullptr;
        switch (F.Type) {
        case TPacketType::ptId:
        case TPacketType::ptDecimal: {
            auto* B = new TBCDField(&DataSet);
            B->SetPrecision(F.Precision);
            B->SetSize(F.Scale);
            Field = B;
            break;
        }
        case TPacketType::ptDate:
            Field = new TDateField(&DataSet);
            break;
        case TPacketType::ptText:
            Field = new TStringField(&DataSet);
            Field->SetSize(F.Scale);
            break;
        }
        Field->SetFieldName(F.Name);
        Field->SetDataSet(&DataSet);
    }
    DataSet.CreateDataSet();
}

Variant ColumnValue(const TStoreStatement& Rows, int Column, const TPacketField& Field) {
    if (Rows.IsNull(Column)) return Variant();
    if (Field.Type == TPacketType::ptText) return Variant(Rows.Text(Column));
    return PacketValue(Rows.Int64(Column), Field);
}

std::string QueryToXml(const std::vector<TPacketField>& Fields, TStoreStatement& Rows) {
    // Each value still passes its field's rules, so a name longer than its field is refused
    // here rather than sent out in a packet no window can load.
    TOrvClientDataSet DataSet(nullptr);
    CreatePacketFields(DataSet, Fields);
    DataSet.LoadRows([&](std::vector<Variant>& Values) {
        if (!Rows.Step()) return false;
        for (std::size_t I = 0; I < Values.size(); ++I)
            Values[I] = ColumnValue(Rows, static_cast<int>(I), Fields[I]);
        return true;
    });
    return DataSet.GetXMLData();
}

std::optional<std::int64_t> StoredValue(const Variant& Value, const TPacketField& Field,
                                        std::string_view Label) {
    if (Value.IsNull()) return std::nullopt;
    switch (Field.Type) {
    case TPacketType::ptId: {
        // Exact: an id of 12.5 names nothing, it is not rounded to 13.
        constexpr int Probe = 4;
        TBcd B;
        try {
            B = Value.AsBcd(Probe);
        } catch (const EConvertError&) {
            NotFit(Field, Label, Value);
        }
        if (B.Unscaled % Pow10(Probe) != 0) NotFit(Field, Label, Value);
        std::int64_t Id = B.Unscaled / Pow10(Probe);
        if (Id < INT32_MIN || Id > INT32_MAX) NotFit(Field, Label, Value);
        return Id;
    }
    case TPacketType::ptDecimal: {
        TBcd B;
        if (TValueFault Fault = DecimalValue(Value, Field.Precision, Field.Scale, B)) {
            // Worded as the window's field words it: "提成比例不能大于 9.9999。"
            if (Fault.Bound) throw EConvertError(NameOf(Field, Label) + Fault.Why + "。");
            NotFit(Field, Label, Value, Fault.Why);
        }
        return B.Unscaled;
    }
    case TPacketType::ptDate: {
        // A delta may type a date field as anything (r8, i4, text): whatever the type, the
        // day must be one a date field holds, or every later load of the table would fail.
        std::int32_t Days = 0;
        if (TValueFault Fault = DateValue(Value, Days)) NotFit(Field, Label, Value, Fault.Why);
        return Days;
    }
    case TPacketType::ptText:
        break;
    }
    NotFit(Field, Label, Value);
}

Variant PacketValue(std::int64_t Stored, const TPacketField& Field) {
    switch (Field.Type) {
    case TPacketType::ptId:
        return Variant(TBcd::FromInt(Stored, Field.Scale));
    case TPacketType::ptDecimal:
        return Variant(TBcd{Stored, Field.Scale});
    case TPacketType::ptDate:
        return Variant::Date(static_cast<std::int32_t>(Stored));
    case TPacketType::ptText:
        break;
    }
    return Variant(std::to_string(Stored));
}

std::string StoredText(std::int64_t Stored, const TPacketField& Field) {
    switch (Field.Type) {
    case TPacketType::ptDate:
        return FormatDisplayDate(static_cast<std::int32_t>(Stored));
    case TPacketType::ptDecimal:
        return DecimalText(TBcd{Stored, Field.Scale}, Field.Scale);
    default:
        return std::to_string(Stored);
    }
}

} // namespace orv::server
