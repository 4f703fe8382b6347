// XML data packets: reading (tolerant of other producers) and writing.
#include "host/data/StoreState.h"
#include "host/data/TextEncoding.h"
#include "host/data/ValueRules.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

namespace orv {

namespace {

[[noreturn]] void PacketError(const std::string& Why) { throw EDatabaseError("数据包无效：" + Why); }

bool NameIs(const char* Name, const char* Want) { return SameTextAscii(Name, Want); }

pugi::xml_node ChildNamed(pugi::xml_node Parent, const char* Name) {
    for (pugi::xml_node C = Parent.first_child(); C; C = C.next_sibling())
        if (C.type() == pugi::node_element && NameIs(C.name(), Name)) return C;
    return {};
}

pugi::xml_attribute AttrNamed(pugi::xml_node N, const char* Name) {
    for (pugi::xml_attribute A = N.first_attribute(); A; A = A.next_attribute())
        if (NameIs(A.name(), Name)) return A;
    return {};
}

int ParseWidth(pugi::xml_attribute A, const std::string& Field, const char* What) {
    if (!A) return -1;
    try {
        std::int64_t V = ParseInt64(A.value());
        if (V < 0 || V > 1000000000) throw EConvertError("");
        return static_cast<int>(V);
    } catch (const EConvertError&) {
        PacketError(Format("字段“%s”的 %s“%s”不是有效的数字。", {Field, What, A.value()}));
    }
}

struct TPacketColumn {
    std::string Name;
    TFieldDesc Desc;
};

// Reads one FIELD element into a description of the field it declares.
TPacketColumn ReadFieldElement(pugi::xml_node F) {
    TPacketColumn C;
    pugi::xml_attribute Name = AttrNamed(F, "attrname");
    if (!Name || !*Name.value()) PacketError("有字段没有名称（attrname）。");
    C.Name = Name.value();
    if (TValueFault Fault = CheckPacketFieldName(C.Name))
        PacketError(Format("字段名“%s”%s。", {Fault.ShowValue ? C.Name : "…", Fault.Why}));
    TFieldDesc& D = C.Desc;
    D.Name = C.Name;
    std::string Type = AttrNamed(F, "fieldtype").value();
    std::string SubType = AttrNamed(F, "SUBTYPE").value();
    if (TValueFault Fault = CheckText(SubType, 0))
        PacketError(Format("字段“%s”的属性“SUBTYPE”%s。", {C.Name, Fault.Why}));
    int Width = ParseWidth(AttrNamed(F, "WIDTH"), C.Name, "WIDTH");
    int Decimals = ParseWidth(AttrNamed(F, "DECIMALS"), C.Name, "DECIMALS");
    if (ChildNamed(F, "FIELDS") || SameTextAscii(Type, "nested"))
        PacketError(Format("字段“%s”是嵌套数据集，本系统不支持嵌套数据集。", {C.Name}));
    D.PacketInfo.SubType = SubType;
    std::string T = LowerAscii(Type);
    auto Int = [&](std::int64_t Min, std::int64_t Max) {
        D.Type = TFieldType::ftInteger;
        D.Min = Min;
        D.Max = Max;
        D.PacketInfo.FieldType = T;
    };
    bool WidthUsed = false;
    if (T == "string") {
        D.Type = TFieldType::ftString;
        D.Size = std::max(Width, 0);
        WidthUsed = true;
    } else if (T == "string.uni") {
        D.Type = TFieldType::ftString;
        D.Size = std::max(Width, 0) / 2;
        D.PacketInfo.FieldType = "string.uni";
        WidthUsed = true;
    } else if (T == "i1") Int(-128, 127);
    else if (T == "ui1") Int(0, 255);
    else if (T == "i2") Int(-32768, 32767);
    else if (T == "ui2") Int(0, 65535);
    else if (T == "i4") Int(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    else if (T == "ui4") Int(0, std::numeric_limits<std::uint32_t>::max());
    else if (T == "i8") Int(std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
    else if (T == "r8") D.Type = TFieldType::ftFloat;
    else if (T == "fixed" || T == "fixedfmt") {
        D.Type = TFieldType::ftBCD;
        D.Precision = std::max(Width, 0);
        D.Size = std::max(Decimals, 0);
        if (D.Size > MaxDecimalScale) PacketError(Format("字段“%s”的小数位数 %s 超出范围。", {C.Name, std::to_string(D.Size)}));
        D.PacketInfo.FieldType = Type;
        WidthUsed = true;
        Decimals = -1;
    } else if (T == "date") D.Type = TFieldType::ftDate;
    else if (T == "datetime" || T == "sqldatetime") {
        D.Type = TFieldType::ftDateTime;
        D.PacketInfo.FieldType = Type;
    } else if (T == "boolean") D.Type = TFieldType::ftBoolean;
    else if (T == "bin.hex") D.Type = SameTextAscii(SubType, "Text") || SameTextAscii(SubType, "WideText") ? TFieldType::ftMemo : TFieldType::ftBlob;
    else if (Type.empty()) PacketError(Format("字段“%s”没有类型（fieldtype）。", {C.Name}));
    else PacketError(Format("字段“%s”的类型“%s”无法识别。", {C.Name, Type}));

    for (pugi::xml_attribute A = F.first_attribute(); A; A = A.next_attribute()) {
        const char* N = A.name();
        if (NameIs(N, "attrname") || NameIs(N, "fieldtype") || NameIs(N, "SUBTYPE")) continue;
        if (NameIs(N, "WIDTH") && WidthUsed) continue;
        if (NameIs(N, "DECIMALS") && Decimals < 0) continue;
        if (NameIs(N, "required")) {
            D.Required = SameTextAscii(A.value(), "true");
            continue;
        }
        if (NameIs(N, "readonly")) {
            D.ReadOnly = SameTextAscii(A.value(), "true");
            continue;
        }
        if (TValueFault Fault = CheckText(A.value(), 0))
            PacketError(Format("字段“%s”的属性“%s”%s。", {C.Name, N, Fault.Why}));
        D.PacketInfo.ExtraAttrs.emplace_back(N, A.value());
    }
    std::string Children;
    struct TWriter : pugi::xml_writer {
        std::string* Out;
        void write(const void* Data, size_t Size) override { Out->append(static_cast<const char*>(Data), Size); }
    } W;
    W.Out = &Children;
    for (pugi::xml_node K = F.first_child(); K; K = K.next_sibling())
        if (K.type() == pugi::node_element) K.print(W, "", pugi::format_raw);
    // Written back as it stands, so it may hold nothing a strict reader refuses; the
    // printer writes control characters as references.
    char32_t Code;
    TValueFault Fault = CheckText(Children, 0);
    if (!Fault && FindForbiddenCharRef(Children, Code) != std::string::npos) Fault = CheckChar(Code);
    if (Fault) PacketError(Format("字段“%s”的子元素%s。", {C.Name, Fault.Why}));
    D.PacketInfo.ChildXml = std::move(Children);
    return C;
}

// How one target field takes a value from packet text.
struct TCellTarget {
    const TFieldDesc* Desc = nullptr; // names the field in messages
    TStorageKind Kind = TStorageKind::skString;
    int Scale = 0;
    int Precision = 0;
    int SizeChars = 0;
    std::int64_t Min = 0, Max = 0;
};

[[noreturn]] void CellError(int RowNo, const TCellTarget& T, std::string_view Text, const std::string& Why) {
    std::string Shown(Text.substr(0, 60));
    if (Text.size() > 60) Shown += "…";
    throw EConvertError(Format("数据包第 %s 行字段“%s”的值“%s”%s。", {std::to_string(RowNo), T.Desc->Name, Shown, Why}));
}

void ParseCell(TRowBlock::TBuilder& B, int FieldNo, const TCellTarget& T, std::string_view Text, int RowNo) {
    if (T.Kind == TStorageKind::skString) {
        if (TValueFault Fault = CheckText(Text, T.SizeChars))
            CellError(RowNo, T, Fault.ShowValue ? Text : "…", Fault.Why);
        B.SetString(FieldNo, Text);
        return;
    }
    if (Text.empty()) return; // other producers write "" for a missing number
    switch (T.Kind) {
    case TStorageKind::skInteger: {
        std::int64_t V = 0;
        if (TValueFault Fault = IntegerOfText(Text, T.Min, T.Max, V)) CellError(RowNo, T, Text, Fault.Why);
        B.SetInt(FieldNo, V);
        return;
    }
    case TStorageKind::skBcd: {
        TBcd V;
        if (TValueFault Fault = DecimalOfText(Text, T.Precision, T.Scale, V))
            CellError(RowNo, T, Text, Fault.Why);
        B.SetInt(FieldNo, V.Unscaled);
        return;
    }
    case TStorageKind::skFloat: {
        try {
            double V = ParseDouble(Text);
            B.SetFloat(FieldNo, V == 0 ? 0.0 : V); // one zero, as fields store it, so "-0" is found as 0
        } catch (const EConvertError&) {
            CellError(RowNo, T, Text, "不是有效的数值");
        }
        return;
    }
    case TStorageKind::skDate: {
        std::int32_t Days;
        TDateTime DT;
        if (TryParseDate8(Text, Days)) B.SetInt(FieldNo, Days);
        else if (TryParsePacketDateTime(Text, DT)) B.SetInt(FieldNo, DateOf(DT));
        else CellError(RowNo, T, Text, "不是有效的日期");
        return;
    }
    case TStorageKind::skDateTime: {
        TDateTime DT;
        if (!TryParsePacketDateTime(Text, DT)) CellError(RowNo, T, Text, "不是有效的日期时间");
        B.SetFloat(FieldNo, DT);
        return;
    }
    case TStorageKind::skBoolean: {
        if (SameTextAscii(Text, "TRUE") || Text == "1") B.SetInt(FieldNo, 1);
        else if (SameTextAscii(Text, "FALSE") || Text == "0") B.SetInt(FieldNo, 0);
        else CellError(RowNo, T, Text, "不是有效的逻辑值");
        return;
    }
    case TStorageKind::skString: break;
    }
}

std::vector<std::uint32_t> ParseChangeLog(const char* Text) {
    std::vector<std::uint32_t> Out;
    const char* P = Text;
    const char* End = Text + std::strlen(Text);
    while (P < End) {
        while (P < End && (*P == ' ' || *P == '\t' || *P == '\r' || *P == '\n')) ++P;
        if (P == End) break;
        std::uint32_t V = 0;
        auto Res = std::from_chars(P, End, V);
        if (Res.ec != std::errc()) PacketError(Format("CHANGE_LOG“%s”不是以空格分隔的数字。", {Text}));
        Out.push_back(V);
        P = Res.ptr;
        if (P < End && *P != ' ' && *P != '\t' && *P != '\r' && *P != '\n')
            PacketError(Format("CHANGE_LOG“%s”不是以空格分隔的数字。", {Text}));
    }
    if (Out.size() % 3 != 0) PacketError("CHANGE_LOG 的数字个数不是 3 的倍数。");
    return Out;
}

enum : std::uint32_t { psOriginal = 1, psDeleted = 2, psInserted = 4, psModified = 8 };

// The parser turns "&#0;" into a NUL that silently ends the text holding it, and other
// references into characters XML forbids, so such references are looked for in the text
// as written. Only when the quick scan finds one is the packet parsed again with
// references left as they stand, to name the row and field (a match in a comment or a
// CDATA section is no reference and is let through).
void RefuseForbiddenCharRefs(std::string Text) {
    pugi::xml_document Doc;
    if (!Doc.load_buffer_inplace(Text.data(), Text.size(), pugi::parse_default & ~pugi::parse_escapes,
                                 pugi::encoding_utf8))
        return; // the real parse reports it
    char32_t Code;
    auto Refuse = [&](const std::string& Where) {
        PacketError(Format("%s%s。", {Where, CheckChar(Code).Why}));
    };
    auto Walk = [&](auto&& Self, pugi::xml_node N, int RowNo) -> void {
        for (pugi::xml_attribute A = N.first_attribute(); A; A = A.next_attribute()) {
            if (FindForbiddenCharRef(A.value(), Code) == std::string::npos) continue;
            if (RowNo > 0)
                throw EConvertError(Format("数据包第 %s 行字段“%s”的值%s。",
                                           {std::to_string(RowNo), A.name(), CheckChar(Code).Why}));
            Refuse(Format("元素 %s 的属性“%s”", {N.name(), A.name()}));
        }
        int Rows = 0;
        for (pugi::xml_node K = N.first_child(); K; K = K.next_sibling()) {
            if (K.type() == pugi::node_pcdata && FindForbiddenCharRef(K.value(), Code) != std::string::npos)
                Refuse(Format("元素 %s 的文本", {N.name()}));
            if (K.type() != pugi::node_element) continue;
            const bool Row = NameIs(N.name(), "ROWDATA") && NameIs(K.name(), "ROW");
            Self(Self, K, Row ? ++Rows : 0);
        }
    };
    Walk(Walk, Doc, 0);
}

// The packet's text as a document: decoded to UTF-8, refused when it holds what XML
// forbids or is not XML. Returns the DATAPACKET element.
pugi::xml_node ParsePacketText(std::string& Text, pugi::xml_document& Doc) {
    if (std::size_t Nul = Text.find('\0'); Nul != std::string::npos)
        PacketError(Format("第 %s 个字节处有空字符（U+0000）。", {std::to_string(Nul + 1)}));
    char32_t Code;
    if (FindForbiddenCharRef(Text, Code) != std::string::npos) RefuseForbiddenCharRefs(Text);
    pugi::xml_parse_result R =
        Doc.load_buffer_inplace(Text.data(), Text.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!R) PacketError(Format("XML 解析失败（%s，位置 %s）。", {R.description(), std::to_string(R.offset)}));
    pugi::xml_node Root;
    for (pugi::xml_node C = Doc.first_child(); C; C = C.next_sibling())
        if (C.type() == pugi::node_element) {
            Root = C;
            break;
        }
    if (!Root || !NameIs(Root.name(), "DATAPACKET")) PacketError("根元素不是 DATAPACKET。");
    return Root;
}

// Step 1: the columns METADATA/FIELDS declares, in packet order.
std::vector<TPacketColumn> ReadColumns(pugi::xml_node FieldsNode) {
    std::vector<TPacketColumn> Columns;
    for (pugi::xml_node F = FieldsNode.first_child(); F; F = F.next_sibling()) {
        if (F.type() != pugi::node_element) continue;
        if (!NameIs(F.name(), "FIELD")) PacketError(Format("FIELDS 中出现了未知元素“%s”。", {F.name()}));
        TPacketColumn C = ReadFieldElement(F);
        for (const TPacketColumn& O : Columns)
            if (SameTextAscii(O.Name, C.Name)) PacketError(Format("字段名“%s”重复。", {C.Name}));
        Columns.push_back(std::move(C));
    }
    if (Columns.empty()) PacketError("没有定义任何字段。");
    return Columns;
}

// Which field of the set each packet column fills.
struct TTargets {
    std::shared_ptr<const TRowLayout> Layout;
    std::vector<int> ColumnTarget;  // column -> target field number; -1: not kept
    std::vector<TCellTarget> Cells; // by column
};

// Step 2: the set's fields, each matched to the column of its name (exact spelling first,
// then ignoring case). Without Declared fields the packet's own become the set's, in NewFields.
TTargets MatchTargets(const std::vector<TPacketColumn>& Columns, const std::vector<TField*>& Declared,
                      std::vector<std::unique_ptr<TField>>& NewFields) {
    std::vector<TField*> Fields = Declared;
    if (Declared.empty())
        for (const TPacketColumn& C : Columns) {
            NewFields.push_back(CreateFieldFromDesc(C.Desc));
            Fields.push_back(NewFields.back().get());
        }
    TTargets T;
    T.Layout = TRowLayout::Of(Fields);
    const TRowLayout& L = *T.Layout;
    T.ColumnTarget.assign(Columns.size(), -1);
    T.Cells.resize(Columns.size());
    for (std::size_t F = 0; F < Fields.size(); ++F) {
        std::size_t Found = Columns.size();
        for (std::size_t C = 0; C < Columns.size() && Found == Columns.size(); ++C)
            if (Columns[C].Name == Fields[F]->FieldName()) Found = C;
        for (std::size_t C = 0; C < Columns.size() && Found == Columns.size(); ++C)
            if (SameTextAscii(Columns[C].Name, Fields[F]->FieldName())) Found = C;
        if (Found == Columns.size()) PacketError(Format("数据包中没有字段“%s”。", {Fields[F]->FieldName()}));
        T.ColumnTarget[Found] = static_cast<int>(F);
        TCellTarget& Cell = T.Cells[Found];
        Cell.Desc = &L.Descs[F];
        Cell.Kind = L.Kinds[F];
        Cell.Scale = L.Scales[F];
        Cell.Precision = L.Descs[F].Precision;
        Cell.SizeChars = Fields[F]->DataType() == TFieldType::ftString ? Fields[F]->Size() : 0;
        Cell.Min = L.Descs[F].Min;
        Cell.Max = L.Descs[F].Max;
    }
    return T;
}

// Every ROW as it stands in the packet, with its RowState.
struct TPacketRows {
    std::vector<TRowRef> Records;
    std::vector<std::uint32_t> States;
};

// Step 3: the rows, each value read by its target field's rules.
TPacketRows ReadRows(pugi::xml_node RowData, const std::vector<TPacketColumn>& Columns, const TTargets& T) {
    TPacketRows Out;
    TRowBlock::TBuilder Builder(static_cast<int>(T.Layout->Kinds.size()));
    // Rows of one producer list their attributes in one order: look from the column after
    // the last one found, so a row costs one comparison per attribute.
    std::size_t Next = 0;
    auto ColumnOf = [&](const char* Name) -> int {
        for (std::size_t K = 0; K < Columns.size(); ++K) {
            std::size_t C = (Next + K) % Columns.size();
            if (Columns[C].Name == Name) {
                Next = C + 1;
                return static_cast<int>(C);
            }
        }
        for (std::size_t C = 0; C < Columns.size(); ++C)
            if (SameTextAscii(Columns[C].Name, Name)) return static_cast<int>(C);
        return -1; // an attribute no FIELD declares is not ours to keep
    };
    for (pugi::xml_node Row = RowData.first_child(); Row; Row = Row.next_sibling()) {
        if (Row.type() != pugi::node_element) continue;
        if (!NameIs(Row.name(), "ROW")) PacketError(Format("ROWDATA 中出现了未知元素“%s”。", {Row.name()}));
        int RowNo = static_cast<int>(Out.Records.size()) + 1;
        Builder.Reset();
        std::uint32_t State = 0;
        Next = 0;
        for (pugi::xml_attribute A = Row.first_attribute(); A; A = A.next_attribute()) {
            const char* Name = A.name();
            if (NameIs(Name, "RowState")) {
                try {
                    std::int64_t V = ParseInt64(A.value());
                    if (V < 0 || V > 255) throw EConvertError("");
                    State = static_cast<std::uint32_t>(V);
                } catch (const EConvertError&) {
                    PacketError(Format("第 %s 行的 RowState“%s”无效。", {std::to_string(RowNo), A.value()}));
                }
                continue;
            }
            int C = ColumnOf(Name);
            if (C < 0 || T.ColumnTarget[static_cast<std::size_t>(C)] < 0) continue;
            const char* V = A.value();
            ParseCell(Builder, T.ColumnTarget[static_cast<std::size_t>(C)],
                      T.Cells[static_cast<std::size_t>(C)], std::string_view(V, std::strlen(V)), RowNo);
        }
        Out.Records.push_back(Builder.Build(rsUnchanged, 0, {}));
        Out.States.push_back(State);
    }
    return Out;
}

// Step 4: the set's rows and pending changes from the row versions and the change log. A
// modification links a record to the one it replaced; the chain's first record holds the
// values as loaded. A version replaces at most one and is replaced by at most one, so the
// versions form chains; a chain whose every version is replaced is a loop.
void ApplyChangeLog(TStoreState& State, TPacketRows&& Packet, const std::vector<std::uint32_t>& Log) {
    std::vector<TRowRef>& Records = Packet.Records;
    const std::vector<std::uint32_t>& States = Packet.States;
    const std::size_t N = Records.size();
    if (Log.empty() && std::all_of(States.begin(), States.end(), [](std::uint32_t S) { return S == 0; })) {
        State.Rows = TRowTree::Build(std::move(Records));
        return;
    }
    std::vector<std::uint32_t> Prev(N + 1, 0), Successor(N + 1, 0);
    std::vector<std::uint32_t> FirstSeq(N + 1, std::numeric_limits<std::uint32_t>::max());
    std::vector<bool> Superseded(N + 1, false), Chained(N + 1, false);
    for (std::size_t I = 0; I < Log.size(); I += 3) {
        std::uint32_t Rec = Log[I], Before = Log[I + 1];
        if (Rec < 1 || Rec > N || Before > N)
            PacketError(Format("CHANGE_LOG 引用了不存在的记录 %s。", {std::to_string(Rec < 1 || Rec > N ? Rec : Before)}));
        // Some producers log a deleted row with itself as its original ("6 6 2"): it
        // replaces nothing.
        if (Before == Rec && (States[Rec - 1] & psDeleted)) Before = 0;
        if (Before) {
            if (Before == Rec) PacketError("CHANGE_LOG 中有记录指向它自己。");
            if ((Prev[Rec] && Prev[Rec] != Before) || (Successor[Before] && Successor[Before] != Rec))
                PacketError(Format("CHANGE_LOG 中记录 %s 与记录 %s 的修改关系不唯一。",
                                   {std::to_string(Rec), std::to_string(Before)}));
            Prev[Rec] = Before;
            Successor[Before] = Rec;
            Superseded[Before] = true;
        }
        auto Seq = static_cast<std::uint32_t>(I / 3 + 1);
        if (Seq < FirstSeq[Rec]) FirstSeq[Rec] = Seq;
    }
    auto RootOf = [&](std::uint32_t R, std::uint32_t& Seq) {
        Seq = FirstSeq[R];
        std::size_t Steps = 0;
        while (Prev[R]) {
            R = Prev[R];
            Chained[R] = true;
            Seq = std::min(Seq, FirstSeq[R]);
            if (++Steps > N) PacketError("CHANGE_LOG 中的修改链形成了循环。");
        }
        return R;
    };
    std::uint32_t NextSeq = static_cast<std::uint32_t>(Log.size() / 3 + 1);
    struct TVisible {
        std::uint32_t Root;
        TRowRef Row;
    };
    std::vector<TVisible> Visible;
    for (std::uint32_t R = 1; R <= N; ++R) {
        if (Superseded[R]) continue;
        std::uint32_t St = States[R - 1], Seq;
        std::uint32_t Root = RootOf(R, Seq);
        bool RootInserted = States[Root - 1] & psInserted;
        if (Seq == std::numeric_limits<std::uint32_t>::max()) Seq = NextSeq++;
        const TRowRef& Rec = Records[R - 1];
        if (St & psDeleted) {
            if (!RootInserted) State.Deleted.push_back({Records[Root - 1], Seq, {}});
            continue;
        }
        if (St & psOriginal) continue; // an original whose new version is missing: nothing to show
        if (RootInserted) {
            Visible.push_back({Root, TRowBlock::WithState(Rec, rsInserted, Seq, {})});
            ++State.ChangedRows;
        } else if (Root != R) {
            Visible.push_back({Root, TRowBlock::WithState(Rec, rsModified, Seq, Records[Root - 1])});
            ++State.ChangedRows;
        } else {
            Visible.push_back({Root, Rec});
        }
    }
    for (std::uint32_t R = 1; R <= N; ++R)
        if (Superseded[R] && !Chained[R]) PacketError("CHANGE_LOG 中的修改链形成了循环。");
    std::stable_sort(Visible.begin(), Visible.end(), [](const TVisible& A, const TVisible& B) { return A.Root < B.Root; });
    std::vector<TRowRef> Rows;
    Rows.reserve(Visible.size());
    for (auto& V : Visible) Rows.push_back(std::move(V.Row));
    State.Rows = TRowTree::Build(std::move(Rows));
    State.NextSeq = NextSeq;
}

} // namespace

TParsedPacket ParseDataPacket(const std::string& Bytes, const std::vector<TField*>& Declared) {
    std::string Text = DecodePacketBytes(Bytes);
    pugi::xml_document Doc;
    pugi::xml_node Root = ParsePacketText(Text, Doc);
    pugi::xml_node Meta = ChildNamed(Root, "METADATA");
    pugi::xml_node FieldsNode = ChildNamed(Meta, "FIELDS");
    if (!Meta || !FieldsNode) PacketError("缺少 METADATA/FIELDS。");

    TParsedPacket Out;
    const std::vector<TPacketColumn> Columns = ReadColumns(FieldsNode);
    const TTargets Targets = MatchTargets(Columns, Declared, Out.NewFields);
    std::vector<std::uint32_t> Log;
    if (pugi::xml_node Params = ChildNamed(Meta, "PARAMS")) {
        for (pugi::xml_attribute A = Params.first_attribute(); A; A = A.next_attribute()) {
            if (NameIs(A.name(), "CHANGE_LOG"))
                Log = ParseChangeLog(A.value());
            else if (TValueFault Fault = CheckText(A.value(), 0))
                PacketError(Format("PARAMS 的属性“%s”%s。", {A.name(), Fault.Why}));
            else
                Out.Params.emplace_back(A.name(), A.value());
        }
    }
    TPacketRows Rows = ReadRows(ChildNamed(Root, "ROWDATA"), Columns, Targets);
    auto State = std::make_shared<TStoreState>();
    State->Layout = Targets.Layout;
    ApplyChangeLog(*State, std::move(Rows), Log);
    Out.State = std::move(State);
    return Out;
}

// ---- writing -----------------------------------------------------------------------------

namespace {

// Writes the packet text straight into one string: a document tree of a 200,000-row list
// would cost more than the text itself. The output is what pugixml's raw format writes.
class TXmlText {
public:
    explicit TXmlText(std::size_t Reserve) {
        FOut.reserve(Reserve);
        FOut = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  ";
    }

    void Open(std::string_view Name) {
        CloseStartTag();
        FOut += '<';
        FOut += Name;
        FStack.push_back(Name);
        FStartTagOpen = true;
    }
    void Attr(std::string_view Name, std::string_view Value) {
        FOut += ' ';
        FOut += Name;
        FOut += "=\"";
        Escape(Value);
        FOut += '"';
    }
    void Attr(std::string_view Name, long long Value) {
        char Buf[24];
        auto Res = std::to_chars(Buf, Buf + sizeof Buf, Value);
        Attr(Name, std::string_view(Buf, static_cast<std::size_t>(Res.ptr - Buf)));
    }
    // Starts an attribute and returns the text, for the caller to append a value that needs
    // no escaping (a number or a date); EndAttr closes it.
    std::string& BeginAttr(std::string_view Name) {
        FOut += ' ';
        FOut += Name;
        FOut += "=\"";
        return FOut;
    }
    void EndAttr() { FOut += '"'; }
    // Well-formed XML kept from a packet that was read, written as it stands.
    void Raw(std::string_view Xml) {
        if (Xml.empty()) return;
        CloseStartTag();
        FOut += Xml;
    }
    void Close() {
        if (FStartTagOpen) {
            FOut += "/>";
            FStartTagOpen = false;
        } else {
            FOut += "</";
            FOut += FStack.back();
            FOut += '>';
        }
        FStack.pop_back();
    }
    std::string Take() { return std::move(FOut); }

private:
    void CloseStartTag() {
        if (FStartTagOpen) FOut += '>';
        FStartTagOpen = false;
    }
    void Escape(std::string_view Value) {
        std::size_t Plain = 0;
        for (std::size_t I = 0; I < Value.size(); ++I) {
            const unsigned char C = static_cast<unsigned char>(Value[I]);
            const char* Entity = nullptr;
            switch (C) {
            case '&': Entity = "&amp;"; break;
            case '<': Entity = "&lt;"; break;
            case '"': Entity = "&quot;"; break;
            default:
                if (C >= 32) continue;
            }
            FOut.append(Value.data() + Plain, I - Plain);
            Plain = I + 1;
            if (Entity) {
                FOut += Entity;
            } else {
                // Tabs, line breaks and other control characters as character references,
                // so a reader's attribute normalisation cannot turn them into spaces.
                FOut += "&#";
                FOut += static_cast<char>('0' + C / 10);
                FOut += static_cast<char>('0' + C % 10);
                FOut += ';';
            }
        }
        FOut.append(Value.data() + Plain, Value.size() - Plain);
    }

    std::string FOut;
    std::vector<std::string_view> FStack; // names outlive the writer's use of them
    bool FStartTagOpen = false;
};

void WriteCell(TXmlText& X, std::string_view Name, const TRowBlock& R, const TRowLayout& L, int F) {
    if (R.IsNull(F)) return;
    const auto Kind = L.Kinds[static_cast<std::size_t>(F)];
    switch (Kind) {
    case TStorageKind::skString: X.Attr(Name, R.GetString(F)); return;
    case TStorageKind::skInteger: X.Attr(Name, static_cast<long long>(R.GetInt(F))); return;
    case TStorageKind::skBcd:
        TBcd{R.GetInt(F), L.Scales[static_cast<std::size_t>(F)]}.AppendTo(X.BeginAttr(Name));
        X.EndAttr();
        return;
    case TStorageKind::skFloat: X.Attr(Name, FormatDouble(R.GetFloat(F))); return;
    case TStorageKind::skDate:
        AppendDate8(X.BeginAttr(Name), R.GetDate(F));
        X.EndAttr();
        return;
    case TStorageKind::skDateTime: X.Attr(Name, FormatPacketDateTime(R.GetFloat(F))); return;
    case TStorageKind::skBoolean: X.Attr(Name, R.GetInt(F) ? "TRUE" : "FALSE"); return;
    }
}

} // namespace

std::string WriteDataPacket(const TStoreState& State, const std::vector<std::pair<std::string, std::string>>& Params,
                            bool DeltaOnly) {
    const TRowLayout& L = *State.Layout;
    const std::size_t RowCount =
        static_cast<std::size_t>(DeltaOnly ? 2 * State.ChangedRows : State.Rows.Size()) + State.Deleted.size();
    // About what a row takes, so that the text is seldom copied while it grows.
    TXmlText X(512 + RowCount * (16 + L.Descs.size() * 24));
    X.Open("DATAPACKET");
    X.Attr("Version", "2.0");
    X.Open("METADATA");
    X.Open("FIELDS");
    for (const TFieldDesc& D : L.Descs) {
        std::unique_ptr<TField> Probe = CreateFieldFromDesc(D);
        std::string Type, SubType;
        int Width = -1, Decimals = -1;
        Probe->DescribePacketType(Type, Width, Decimals, SubType);
        X.Open("FIELD");
        X.Attr("attrname", D.Name);
        X.Attr("fieldtype", Type);
        if (D.ReadOnly) X.Attr("readonly", "true");
        if (D.Required) X.Attr("required", "true");
        if (!SubType.empty()) X.Attr("SUBTYPE", SubType);
        if (Decimals >= 0) X.Attr("DECIMALS", Decimals);
        if (Width >= 0) X.Attr("WIDTH", Width);
        for (const auto& [N, V] : D.PacketInfo.ExtraAttrs) X.Attr(N, V);
        X.Raw(D.PacketInfo.ChildXml);
        X.Close();
    }
    X.Close(); // FIELDS

    // Every row the packet carries, in packet order, with its RowState and change sequence.
    // An original is always followed by its modified version.
    auto Walk = [&](auto&& Emit) {
        State.Rows.ForEach([&](int, const TRowRef& Row) {
            switch (Row->State()) {
            case rsInserted: Emit(*Row, psInserted, Row->Seq()); break;
            case rsModified:
                Emit(*Row->Original(), psOriginal, Row->Seq());
                Emit(*Row, psModified, Row->Seq());
                break;
            default:
                if (!DeltaOnly) Emit(*Row, 0, 0);
            }
            return true;
        });
        for (const TDeletedRow& D : State.Deleted) Emit(*D.Row, psDeleted, D.Seq);
    };

    // The change log sits in PARAMS, ahead of the rows it points at by position.
    std::vector<std::pair<std::uint32_t, std::string>> Log;
    int Position = 0, OriginalAt = 0;
    if (State.ChangedRows > 0 || !State.Deleted.empty()) {
        Walk([&](const TRowBlock&, int RowState, std::uint32_t Seq) {
            const int At = ++Position;
            switch (RowState) {
            case psInserted: Log.push_back({Seq, std::to_string(At) + " 0 4"}); break;
            case psOriginal: OriginalAt = At; break;
            case psModified:
                Log.push_back({Seq, std::to_string(At) + " " + std::to_string(OriginalAt) + " 8"});
                break;
            case psDeleted: Log.push_back({Seq, std::to_string(At) + " 0 2"}); break;
            default: break;
            }
        });
    }
    std::stable_sort(Log.begin(), Log.end(), [](const auto& A, const auto& B) { return A.first < B.first; });

    X.Open("PARAMS");
    if (!Log.empty()) {
        std::string Text;
        for (const auto& E : Log) {
            if (!Text.empty()) Text += ' ';
            Text += E.second;
        }
        X.Attr("CHANGE_LOG", Text);
    }
    for (const auto& [N, V] : Params) X.Attr(N, V);
    X.Close(); // PARAMS
    X.Close(); // METADATA

    X.Open("ROWDATA");
    Walk([&](const TRowBlock& R, int RowState, std::uint32_t) {
        X.Open("ROW");
        if (RowState) X.Attr("RowState", RowState);
        for (int F = 0; F < static_cast<int>(L.Descs.size()); ++F)
            WriteCell(X, L.Descs[static_cast<std::size_t>(F)].Name, R, L, F);
        X.Close();
    });
    X.Close(); // ROWDATA
    X.Close(); // DATAPACKET
    return X.Take();
}

} // namespace orv
