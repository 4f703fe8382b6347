#include "host/data/DB.h"

#include "host/data/ValueRules.h"

#include <cmath>
#include <limits>

namespace orv {

namespace {

// What a number field converts: text as the clerk typed it is read through
// NumberTextFromInput, every other value as it is. Every number field's text entry and
// SetAsString come through here.
Variant NumberInput(const Variant& V) {
    if (const std::string* S = V.IfString()) return Variant(NumberTextFromInput(*S));
    return V;
}

} // namespace

// ---- TField ------------------------------------------------------------------------------

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
    if (FLookupDataSet) FLookupDataSet->RemoveLookupClient(this);
    if (FDataSet) FDataSet->RemoveField(this);
}

void TField::SetDataSet(TDataSet* Value) {
    if (Value == FDataSet) return;
    if (FDataSet) FDataSet->RemoveField(this);
    if (Value) Value->AddField(this); // sets FDataSet
}

void TField::SetFieldName(const std::string& Value) {
    // Every row of a packet carries the field as an attribute: a name that cannot be one
    // would give packets that no reader, this one included, takes back.
    if (!Value.empty())
        if (TValueFault Fault = CheckPacketFieldName(Value))
            throw EDatabaseError(Format("字段名“%s”无效：%s。", {Fault.ShowValue ? Value : "…", Fault.Why}));
    if (FDataSet) {
        TField* Other = FDataSet->FindField(Value);
        if (Other && Other != this) throw EDatabaseError(Format("字段名“%s”重复。", {Value}));
    }
    FFieldName = Value;
}

void TField::SetFieldKind(TFieldKind Value) {
    if (FDataSet && FDataSet->Active() && Value != FFieldKind)
        throw EDatabaseError(Format("数据集打开时不能改变字段“%s”的类别。", {DisplayLabel()}));
    FFieldKind = Value;
}

void TField::SetLookupDataSet(TDataSet* Value) {
    if (FLookupDataSet == Value) return;
    if (FLookupDataSet) FLookupDataSet->RemoveLookupClient(this);
    FLookupDataSet = Value;
    if (FLookupDataSet) FLookupDataSet->AddLookupClient(this);
}

void TField::SetSize(int Value) {
    if (FDataSet && FDataSet->Active() && Value != FSize)
        throw EDatabaseError(Format("数据集打开时不能改变字段“%s”的长度。", {DisplayLabel()}));
    FSize = Value;
}

int TField::DisplayWidth() const {
    if (FDisplayWidth > 0) return FDisplayWidth;
    switch (DataType()) {
    case TFieldType::ftString: return FSize > 0 ? FSize : 20;
    case TFieldType::ftDate: return 10;
    case TFieldType::ftDateTime: return 19;
    case TFieldType::ftBoolean: return 5;
    case TFieldType::ftBCD: {
        int P = static_cast<const TBCDField*>(this)->Precision();
        return P > 0 ? P + 2 : 15;
    }
    default: return 10;
    }
}

int TField::Index() const {
    if (!FDataSet) return -1;
    const auto& L = FDataSet->FieldList();
    for (std::size_t I = 0; I < L.size(); ++I)
        if (L[I] == this) return static_cast<int>(I);
    return -1;
}

Variant TField::Value() const {
    if (!FDataSet) throw EDatabaseError(Format("字段“%s”不属于任何数据集。", {DisplayLabel()}));
    return FDataSet->GetFieldValue(this);
}

void TField::SetValue(const Variant& V) {
    if (!FDataSet) throw EDatabaseError(Format("字段“%s”不属于任何数据集。", {DisplayLabel()}));
    FDataSet->SetFieldValue(this, V);
}

std::string TField::AsString() const { return FormatValue(Value(), false); }

int TField::AsInteger() const {
    std::int64_t V = AsLargeInt();
    if (V < std::numeric_limits<int>::min() || V > std::numeric_limits<int>::max())
        ConvertError(std::to_string(V), "超出整数范围");
    return static_cast<int>(V);
}

std::int64_t TField::AsLargeInt() const {
    Variant V = Value();
    try {
        return V.AsInt64();
    } catch (const EConvertError&) {
        ConvertError(V.AsString(), "不是有效的整数");
    }
}

double TField::AsFloat() const {
    Variant V = Value();
    try {
        return V.AsDouble();
    } catch (const EConvertError&) {
        ConvertError(V.AsString(), "不是有效的数值");
    }
}

TDateTime TField::AsDateTime() const {
    Variant V = Value();
    try {
        return V.AsDateTime();
    } catch (const EConvertError&) {
        ConvertError(V.AsString(), "不是有效的日期");
    }
}

bool TField::AsBoolean() const {
    Variant V = Value();
    try {
        return V.AsBoolean();
    } catch (const EConvertError&) {
        ConvertError(V.AsString(), "不是有效的逻辑值");
    }
}

std::string TField::DisplayText() const {
    return TextOf(Value(), true);
}

std::string TField::Text() const {
    return TextOf(Value(), false);
}

std::string TField::TextOf(const Variant& V, bool Display) const {
    std::string Text = FormatValue(V, Display);
    if (OnGetText) OnGetText(const_cast<TField*>(this), Text, Display);
    return Text;
}

void TField::SetText(const std::string& Value) {
    if (OnSetText) {
        OnSetText(this, Value);
        return;
    }
    SetValue(ParseText(Value));
}

Variant TField::ParseText(const std::string& Text) const {
    if (Text.empty()) return Variant();
    return Variant(Text);
}

std::string TField::FormatValue(const Variant& V, bool) const { return V.AsString(); }

void TField::FocusControl() {
    if (FDataSet) FDataSet->FocusField(this);
}

std::string TField::PacketTypeName() const {
    std::string Type, SubType;
    int Width = -1, Decimals = -1;
    DescribePacketType(Type, Width, Decimals, SubType);
    std::string Out = Type;
    if (Width >= 0 && Decimals >= 0) Out += "(" + std::to_string(Width) + "," + std::to_string(Decimals) + ")";
    else if (Width >= 0) Out += "(" + std::to_string(Width) + ")";
    if (!SubType.empty()) Out += " " + SubType;
    if (FFieldKind == TFieldKind::fkLookup) Out += " lookup";
    return Out;
}

void TField::ConvertError(const std::string& ValueText, const std::string& Why) const {
    throw EConvertError(Format("字段“%s”的值“%s”%s。", {DisplayLabel(), ValueText, Why}));
}

void TField::ValueError(const Variant& V, const TValueFault& Fault) const {
    if (Fault.Bound) throw EConvertError(DisplayLabel() + Fault.Why + "。");
    ConvertError(Fault.ShowValue ? V.AsString() : "…", Fault.Why);
}

// ---- TStringField, TMemoField, TBlobField ------------------------------------------------

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) { FSize = 20; }

Variant TStringField::Coerce(const Variant& V) const {
    if (V.IsNull()) return V;
    std::string S = V.IfString() ? *V.IfString() : V.AsString();
    if (TValueFault Fault = CheckText(S, FSize)) ValueError(Variant(S), Fault);
    return Variant(std::move(S));
}

void TStringField::DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const {
    Decimals = -1;
    SubType = PacketInfo.SubType;
    if (PacketInfo.FieldType == "string.uni") {
        FieldType = "string.uni";
        Width = FSize * 2; // counted in bytes of two-byte characters
    } else {
        FieldType = "string";
        Width = FSize;
    }
}

TMemoField::TMemoField(TComponent* AOwner) : TStringField(AOwner) { FSize = 0; }

void TMemoField::DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const {
    FieldType = "bin.hex";
    SubType = PacketInfo.SubType.empty() ? "Text" : PacketInfo.SubType;
    Width = FSize > 0 ? FSize : -1;
    Decimals = -1;
}

std::string TBlobField::FormatValue(const Variant& V, bool Display) const {
    if (Display) return V.IsNull() ? std::string() : std::string("(BLOB)");
    return V.AsString();
}

void TBlobField::DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const {
    FieldType = "bin.hex";
    SubType = PacketInfo.SubType.empty() ? "Binary" : PacketInfo.SubType;
    Width = FSize > 0 ? FSize : -1;
    Decimals = -1;
}

// ---- TIntegerField -----------------------------------------------------------------------

TIntegerField::TIntegerField(TComponent* AOwner) : TField(AOwner) {}

TFieldType TIntegerField::DataType() const {
    if (FMin >= INT16_MIN && FMax <= INT16_MAX) return TFieldType::ftSmallint;
    if (FMin >= 0 && FMax <= UINT16_MAX) return TFieldType::ftWord;
    if (FMin >= INT32_MIN && FMax <= INT32_MAX) return TFieldType::ftInteger;
    return TFieldType::ftLargeint;
}

Variant TIntegerField::Coerce(const Variant& V) const {
    if (V.IsNull()) return V;
    std::int64_t I = 0;
    if (TValueFault Fault = IntegerValue(NumberInput(V), FMin, FMax, I)) ValueError(V, Fault);
    return Variant(static_cast<long long>(I));
}

void TIntegerField::DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const {
    Width = Decimals = -1;
    SubType = PacketInfo.SubType;
    if (!PacketInfo.FieldType.empty()) {
        FieldType = PacketInfo.FieldType;
        return;
    }
    switch (DataType()) {
    case TFieldType::ftSmallint: FieldType = "i2"; break;
    case TFieldType::ftWord: FieldType = "ui2"; break;
    case TFieldType::ftLargeint: FieldType = "i8"; break;
    default: FieldType = "i4"; break;
    }
}

// ---- TFloatField -------------------------------------------------------------------------

TFloatField::TFloatField(TComponent* AOwner) : TField(AOwner) {}

Variant TFloatField::Coerce(const Variant& V) const {
    if (V.IsNull()) return V;
    double D = 0;
    try {
        D = NumberInput(V).AsDouble();
    } catch (const EConvertError&) {
        ConvertError(V.AsString(), "不是有效的数值");
    }
    if (!std::isfinite(D)) ConvertError(V.AsString(), "不是有限数");
    return Variant(D == 0 ? 0.0 : D); // one zero, so keys compare equal
}

void TFloatField::DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const {
    FieldType = "r8";
    Width = Decimals = -1;
    SubType = PacketInfo.SubType;
}

// ---- TBCDField ---------------------------------------------------------------------------

TBCDField::TBCDField(TComponent* AOwner) : TField(AOwner) { FSize = 4; }

void TBCDField::SetSize(int Value) {
    if (Value < 0 || Value > MaxDecimalScale) throw EDatabaseError(Format("字段“%s”的小数位数 %s 无效。", {DisplayLabel(), std::to_string(Value)}));
    TField::SetSize(Value);
}

Variant TBCDField::Coerce(const Variant& V) const {
    if (V.IsNull()) return V;
    TBcd B;
    if (TValueFault Fault = DecimalValue(NumberInput(V), FPrecision, FSize, B)) ValueError(V, Fault);
    return Variant(B);
}

std::string TBCDField::FormatValue(const Variant& V, bool) const {
    if (const TBcd* B = V.IfBcd()) return DecimalText(*B, FSize);
    return V.AsString();
}

void TBCDField::DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const {
    FieldType = PacketInfo.FieldType.empty() ? "fixed" : PacketInfo.FieldType;
    Width = FPrecision > 0 ? FPrecision : 19; // an unset precision is the widest the class holds
    Decimals = FSize;
    SubType = PacketInfo.SubType;
}

// ---- TDateField, TDateTimeField ----------------------------------------------------------

TDateField::TDateField(TComponent* AOwner) : TField(AOwner) {}

Variant TDateField::Coerce(const Variant& V) const {
    if (V.IsNull()) return V;
    std::int32_t Days = 0;
    if (TValueFault Fault = DateValue(V, Days)) ValueError(V, Fault);
    return Variant::Date(Days);
}

Variant TDateField::ParseText(const std::string& Text) const {
    if (Trim(Text).empty()) return Variant();
    std::int32_t Days;
    if (!TryParseDisplayDate(Text, Days)) ConvertError(Text, "不是有效的日期");
    return Variant::Date(Days);
}

void TDateField::DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const {
    FieldType = "date";
    Width = Decimals = -1;
    SubType = PacketInfo.SubType;
}

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) {}

Variant TDateTimeField::Coerce(const Variant& V) const {
    if (V.IsNull()) return V;
    TDateTime D = 0;
    try {
        D = V.AsDateTime();
    } catch (const EConvertError&) {
        ConvertError(V.AsString(), "不是有效的日期时间");
    }
    if (TValueFault Fault = CheckDateTime(D)) ConvertError(V.AsString(), Fault.Why);
    return Variant::DateTime(D);
}

void TDateTimeField::DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const {
    FieldType = PacketInfo.FieldType.empty() ? "dateTime" : PacketInfo.FieldType;
    Width = Decimals = -1;
    SubType = PacketInfo.SubType;
}

// ---- TBooleanField -----------------------------------------------------------------------

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) {}

Variant TBooleanField::Coerce(const Variant& V) const {
    if (V.IsNull() || V.IfBoolean()) return V;
    try {
        return Variant(V.AsBoolean());
    } catch (const EConvertError&) {
        ConvertError(V.AsString(), "不是有效的逻辑值");
    }
}

void TBooleanField::DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const {
    FieldType = "boolean";
    Width = Decimals = -1;
    SubType = PacketInfo.SubType;
}

// ---- TAggregateField ---------------------------------------------------------------------

TAggregateField::TAggregateField(TComponent* AOwner) : TField(AOwner) { SetFieldKind(TFieldKind::fkAggregate); }

void TAggregateField::SetActive(bool Value) {
    if (Value) CheckExpression();
    FActive = Value;
}

void TAggregateField::SetExpression(const std::string& Value) {
    std::string Old = FExpression;
    FExpression = Value;
    if (FActive) {
        try {
            CheckExpression();
        } catch (...) {
            FExpression = Old;
            throw;
        }
    }
}

void TAggregateField::CheckExpression() const {
    std::string Compact;
    for (char C : FExpression)
        if (C != ' ' && C != '\t') Compact += C;
    if (AnsiUpperAscii(Compact) != "SUM(1)")
        throw EDatabaseError(Format("聚合字段“%s”的表达式“%s”不受支持；只支持 SUM(1)。", {DisplayLabel(), FExpression}));
}

Variant TAggregateField::Coerce(const Variant&) const {
    throw EDatabaseError(Format("聚合字段“%s”是只读的。", {DisplayLabel()}));
}

void TAggregateField::DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const {
    FieldType = "aggregate";
    Width = Decimals = -1;
    SubType.clear();
}

} // namespace orv
