#include "host/data/DB.h"

#include <algorithm>

namespace orv {

namespace {

// Restores the proposed-value slot on every path out of a validation handler.
class TProposedGuard {
public:
    TProposedGuard(const TField*& Field, const Variant*& Value, const TField* NewField, const Variant* NewValue)
        : FField(Field), FValue(Value), FOldField(Field), FOldValue(Value) {
        Field = NewField;
        Value = NewValue;
    }
    ~TProposedGuard() {
        FField = FOldField;
        FValue = FOldValue;
    }

private:
    const TField*& FField;
    const Variant*& FValue;
    const TField* FOldField;
    const Variant* FOldValue;
};

std::string FoldCase(const std::string& S) { return LowerAscii(S); }

} // namespace

template <class FAnnounce> void TDataSet::SetState(TDataSetState Value, FAnnounce&& Announce, TStateNotice Notice) {
    bool Changed = FState != Value;
    FState = Value;
    Announce();
    if (Changed && Notice == TStateNotice::Send) NotifyEditingChanged();
}

void TDataSet::SetState(TDataSetState Value) { SetState(Value, [] {}); }

TDataSet::TDataSet(TComponent* AOwner) : TComponent(AOwner) {}

TDataSet::~TDataSet() {
    // The storage part is gone by now; nothing below may reach it, and the controls learn
    // of the set's end from their sources letting go of it.
    SetState(TDataSetState::dsInactive, [] {}, TStateNotice::Withhold);
    std::vector<TDataSource*> Sources = FSources;
    for (TDataSource* S : Sources) S->SetDataSet(nullptr);
    for (TField* F : FLookupClients) F->FLookupDataSet = nullptr;
    FLookupClients.clear();
    DestroyDynamicFields();
    for (TField* F : FFields) F->FDataSet = nullptr;
    FFields.clear();
}

static std::string DataSetName(const TDataSet* D) { return D->Name().empty() ? std::string("数据集") : "数据集“" + D->Name() + "”"; }

// ---- fields ------------------------------------------------------------------------------

TField* TDataSet::FindField(const std::string& FieldName) const {
    for (TField* F : FFields)
        if (F->FieldName() == FieldName) return F;
    for (TField* F : FFields)
        if (SameTextAscii(F->FieldName(), FieldName)) return F;
    return nullptr;
}

TField* TDataSet::FieldByName(const std::string& FieldName) const {
    TField* F = FindField(FieldName);
    if (!F) throw EDatabaseError(Format("%s中没有字段“%s”。", {DataSetName(this), FieldName}));
    return F;
}

std::vector<TField*> TDataSet::GetFieldList(const std::string& FieldNames) const {
    std::vector<TField*> Out;
    for (const std::string& N : SplitFieldNames(FieldNames)) Out.push_back(FieldByName(N));
    return Out;
}

void TDataSet::AddField(TField* Field) {
    if (Active()) throw EDatabaseError(Format("%s已打开，不能增加字段“%s”。", {DataSetName(this), Field->FieldName()}));
    if (!Field->FieldName().empty()) {
        TField* Other = FindField(Field->FieldName());
        if (Other) throw EDatabaseError(Format("%s中字段名“%s”重复。", {DataSetName(this), Field->FieldName()}));
    }
    FFields.push_back(Field);
    Field->FDataSet = this;
    FieldDefinitionChanged();
}

void TDataSet::RemoveField(TField* Field) {
    auto It = std::find(FFields.begin(), FFields.end(), Field);
    if (It == FFields.end()) return;
    // Unlist the field before anyone is told: a link that looks fields up while the set
    // closes must not find one that is being destroyed.
    FFields.erase(It);
    FDynamic.erase(std::remove(FDynamic.begin(), FDynamic.end(), Field), FDynamic.end());
    Field->FDataSet = nullptr;
    // A field going away while the set is open (its owner is being destroyed): the
    // structure is gone, so the set closes without running handlers that may be gone too.
    DeactivateSilently();
    FieldDefinitionChanged();
}

void TDataSet::FieldDefinitionChanged() {
    InternalFieldsChanged();
    NotifyLayoutChanged();
}

void TDataSet::AddLookupClient(TField* Field) { FLookupClients.push_back(Field); }

void TDataSet::RemoveLookupClient(TField* Field) {
    FLookupClients.erase(std::remove(FLookupClients.begin(), FLookupClients.end(), Field), FLookupClients.end());
}

const std::vector<TField*>& TDataSet::BindDataFields() {
    FDataFields.clear();
    for (TField* F : FFields) {
        if (F->FieldKind() == TFieldKind::fkData) {
            F->FFieldNo = static_cast<int>(FDataFields.size());
            FDataFields.push_back(F);
        } else {
            F->FFieldNo = -1;
        }
    }
    return FDataFields;
}

void TDataSet::MarkDynamic(TField* Field) { FDynamic.push_back(Field); }

void TDataSet::DestroyDynamicFields() {
    std::vector<TField*> Dyn;
    Dyn.swap(FDynamic);
    for (auto It = Dyn.rbegin(); It != Dyn.rend(); ++It) delete *It;
}

// ---- state -------------------------------------------------------------------------------

void TDataSet::CheckActive() const {
    if (!Active()) throw EDatabaseError(Format("%s没有打开，不能执行此操作。", {DataSetName(this)}));
}

void TDataSet::SetPermissions(bool CanInsert, bool CanEdit, bool CanDelete) {
    FCanInsert = CanInsert;
    FCanEdit = CanEdit;
    FCanDelete = CanDelete;
}

void TDataSet::CheckCanInsert() const {
    if (FReadOnly) throw EDatabaseError(Format("%s是只读的，不能新增记录。", {DataSetName(this)}));
    if (!FCanInsert) throw EDatabaseError("您没有新增记录的权限。");
}

void TDataSet::CheckCanEdit() const {
    if (FReadOnly) throw EDatabaseError(Format("%s是只读的，不能修改记录。", {DataSetName(this)}));
    if (!FCanEdit) throw EDatabaseError("您没有修改记录的权限。");
}

void TDataSet::SetActive(bool Value) {
    if (Value == Active()) return;
    if (Value) {
        if (BeforeOpen) BeforeOpen(this);
        BindDataFields();
        if (FDataFields.empty() && FFields.empty())
            throw EDatabaseError(Format("%s没有定义任何字段，不能打开。", {DataSetName(this)}));
        InternalOpen();
        FModified = false;
        FInsertPos = -1;
        FCursor = InternalRecordCount() > 0 ? 0 : -1;
        FBof = true;
        FEof = FCursor < 0;
        SetState(TDataSetState::dsBrowse, [this] { ForEachLink([](TDataLink* L) { L->ActiveChanged(); }); });
        if (AfterOpen) AfterOpen(this);
    } else {
        if (BeforeClose) BeforeClose(this);
        CloseCursor(TStateNotice::Send);
        if (AfterClose) AfterClose(this);
    }
}

int TDataSet::RecordCount() const { return Active() ? InternalRecordCount() : 0; }

int TDataSet::RecNo() const {
    if (!Active() || FState == TDataSetState::dsInsert || FCursor < 0) return 0;
    return FCursor + 1;
}

// ---- navigation --------------------------------------------------------------------------

void TDataSet::DoBeforeScroll() {
    if (BeforeScroll) BeforeScroll(this);
}

void TDataSet::DoAfterScroll() {
    if (AfterScroll) AfterScroll(this);
}

void TDataSet::MoveTo(int Pos) {
    if (Pos == FCursor) return;
    FCursor = Pos;
    NotifyScrolled();
}

void TDataSet::First() {
    CheckActive();
    CheckBrowseMode();
    DoBeforeScroll();
    int Count = InternalRecordCount();
    MoveTo(Count > 0 ? 0 : -1);
    FBof = true;
    FEof = Count == 0;
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckActive();
    CheckBrowseMode();
    DoBeforeScroll();
    int Count = InternalRecordCount();
    MoveTo(Count - 1);
    FEof = true;
    FBof = Count == 0;
    DoAfterScroll();
}

void TDataSet::Next() { MoveBy(1); }
void TDataSet::Prior() { MoveBy(-1); }

int TDataSet::MoveBy(int Distance) {
    CheckActive();
    CheckBrowseMode();
    DoBeforeScroll();
    int Moved = 0;
    int Count = InternalRecordCount();
    if (Count == 0) {
        FBof = FEof = true;
    } else if ((Distance > 0 && !FEof) || (Distance < 0 && !FBof)) {
        FBof = FEof = false;
        int Target = FCursor + Distance;
        if (Target >= Count) {
            Target = Count - 1;
            FEof = true;
        } else if (Target < 0) {
            Target = 0;
            FBof = true;
        }
        Moved = Target - FCursor;
        MoveTo(Target);
    }
    DoAfterScroll();
    return Moved;
}

void TDataSet::SetRecNo(int Value) {
    CheckActive();
    CheckBrowseMode();
    int Count = InternalRecordCount();
    if (Value < 1 || Value > Count || Value - 1 == FCursor) return;
    DoBeforeScroll();
    MoveTo(Value - 1);
    FBof = FEof = false;
    DoAfterScroll();
}

// ---- editing -----------------------------------------------------------------------------

void TDataSet::CheckBrowseMode() {
    CheckActive();
    if (FState == TDataSetState::dsEdit || FState == TDataSetState::dsInsert) {
        if (FModified) Post();
        else Cancel();
    }
}

void TDataSet::Append() { BeginInsertAppend(true); }
void TDataSet::Insert() { BeginInsertAppend(false); }

void TDataSet::BeginInsertAppend(bool Appending) {
    CheckActive();
    CheckCanInsert(); // before settling the pending row: a refused insert changes nothing
    CheckBrowseMode();
    if (BeforeInsert) BeforeInsert(this);
    DoBeforeScroll();
    int Pos = Appending || FCursor < 0 ? InternalRecordCount() : FCursor;
    ForEachLink([Pos](TDataLink* L) { L->RowsAboutToBeInserted(Pos, Pos); });
    FBuffer.assign(FDataFields.size(), Variant());
    FInsertPos = Pos;
    SetState(TDataSetState::dsInsert, [this, Pos] { ForEachLink([Pos](TDataLink* L) { L->RowsInserted(Pos, Pos); }); });
    try {
        if (OnNewRecord) OnNewRecord(this);
    } catch (...) {
        ForEachLink([Pos](TDataLink* L) { L->RowsAboutToBeRemoved(Pos, Pos); });
        FBuffer.clear();
        FInsertPos = -1;
        SetState(TDataSetState::dsBrowse, [this, Pos] { ForEachLink([Pos](TDataLink* L) { L->RowsRemoved(Pos, Pos); }); });
        throw;
    }
    FModified = false;
    FBof = FEof = false;
    if (AfterInsert) AfterInsert(this);
    DoAfterScroll();
}

void TDataSet::Edit() {
    CheckActive();
    if (FState == TDataSetState::dsEdit || FState == TDataSetState::dsInsert) return;
    if (InternalRecordCount() == 0) {
        Insert();
        return;
    }
    CheckCanEdit();
    if (BeforeEdit) BeforeEdit(this);
    FBuffer.resize(FDataFields.size());
    for (std::size_t I = 0; I < FDataFields.size(); ++I)
        FBuffer[I] = InternalGetValue(TStoredPos(FCursor), static_cast<int>(I));
    FModified = false;
    SetState(TDataSetState::dsEdit);
    if (AfterEdit) AfterEdit(this);
}

void TDataSet::Post() {
    CheckActive();
    if (FState != TDataSetState::dsEdit && FState != TDataSetState::dsInsert) return;
    if (BeforePost) BeforePost(this);
    for (TField* F : FDataFields) {
        if (F->Required() && !F->ReadOnly() && FBuffer[static_cast<std::size_t>(F->FieldNo())].IsNull()) {
            F->FocusControl();
            throw EDatabaseError(Format("字段“%s”必须有值。", {F->DisplayLabel()}));
        }
    }
    int Row;
    if (FState == TDataSetState::dsInsert) {
        // The new row is stored where it was shown.
        InternalInsert(TStoredPos(FInsertPos), FBuffer);
        FCursor = Row = FInsertPos;
        FInsertPos = -1;
    } else {
        InternalUpdate(TStoredPos(FCursor), FBuffer);
        Row = FCursor;
    }
    FBuffer.clear();
    FModified = false;
    FBof = FEof = false;
    SetState(TDataSetState::dsBrowse, [this, Row] { NotifyRowChanged(Row); });
    if (AfterPost) AfterPost(this);
}

void TDataSet::Cancel() {
    CheckActive();
    if (FState != TDataSetState::dsEdit && FState != TDataSetState::dsInsert) return;
    if (BeforeCancel) BeforeCancel(this);
    if (FState == TDataSetState::dsInsert) {
        int Pos = FInsertPos;
        ForEachLink([Pos](TDataLink* L) { L->RowsAboutToBeRemoved(Pos, Pos); });
        FInsertPos = -1;
        FBuffer.clear();
        SetState(TDataSetState::dsBrowse, [this, Pos] {
            ForEachLink([Pos](TDataLink* L) { L->RowsRemoved(Pos, Pos); });
            int Count = InternalRecordCount();
            if (Count == 0) {
                FCursor = -1;
                FBof = FEof = true;
            } else if (FCursor >= Count) {
                FCursor = Count - 1;
            }
            FModified = false;
        });
    } else {
        FBuffer.clear();
        SetState(TDataSetState::dsBrowse, [this] {
            NotifyRowChanged(FCursor);
            FModified = false;
        });
    }
    if (AfterCancel) AfterCancel(this);
}

void TDataSet::Delete() {
    CheckActive();
    if (FState == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (InternalRecordCount() == 0) throw EDatabaseError(Format("%s为空，没有可删除的记录。", {DataSetName(this)}));
    if (FReadOnly) throw EDatabaseError(Format("%s是只读的，不能删除记录。", {DataSetName(this)}));
    if (!FCanDelete) throw EDatabaseError("您没有删除记录的权限。");
    if (BeforeDelete) BeforeDelete(this);
    DoBeforeScroll();
    int Pos = FCursor;
    ForEachLink([Pos](TDataLink* L) { L->RowsAboutToBeRemoved(Pos, Pos); });
    InternalDelete(TStoredPos(Pos));
    FBuffer.clear();
    FModified = false;
    int Count = InternalRecordCount();
    if (Count == 0) {
        FCursor = -1;
        FBof = FEof = true;
    } else {
        FCursor = std::min(Pos, Count - 1);
        FBof = FEof = false;
    }
    SetState(TDataSetState::dsBrowse, [this, Pos] { ForEachLink([Pos](TDataLink* L) { L->RowsRemoved(Pos, Pos); }); });
    NotifyScrolled();
    if (AfterDelete) AfterDelete(this);
    DoAfterScroll();
}

// ---- field values ------------------------------------------------------------------------

Variant TDataSet::CurrentBufferValue(const TField* Field) const {
    if (FState == TDataSetState::dsEdit || FState == TDataSetState::dsInsert)
        return FBuffer[static_cast<std::size_t>(Field->FieldNo())];
    if (FCursor < 0) return Variant();
    return InternalGetValue(TStoredPos(FCursor), Field->FieldNo());
}

Variant TDataSet::GetFieldValue(const TField* Field) const {
    if (Field == FProposedField) return *FProposedValue;
    switch (Field->FieldKind()) {
    case TFieldKind::fkAggregate: {
        auto* A = static_cast<const TAggregateField*>(Field);
        if (!A->Active() || !Active()) return Variant();
        return Variant(InternalRecordCount());
    }
    case TFieldKind::fkLookup: return Active() ? LookupFieldValue(Field, TDisplayRow(CurrentDisplayRow())) : Variant();
    case TFieldKind::fkData: break;
    }
    CheckActive();
    return CurrentBufferValue(Field);
}

void TDataSet::SetFieldValue(TField* Field, const Variant& Value) {
    CheckActive();
    if (FState != TDataSetState::dsEdit && FState != TDataSetState::dsInsert)
        throw EDatabaseError(Format("%s不在编辑或新增状态，不能修改字段“%s”。", {DataSetName(this), Field->DisplayLabel()}));
    if (Field->ReadOnly()) throw EDatabaseError(Format("字段“%s”是只读的，不能修改。", {Field->DisplayLabel()}));

    if (Field->FieldKind() == TFieldKind::fkLookup) {
        // Choosing a shown value sets the key fields to the matching lookup row's keys.
        std::vector<TField*> Keys = GetFieldList(Field->KeyFields());
        TDataSet* Src = Field->LookupDataSet();
        if (!Src || !Src->Active()) throw EDatabaseError(Format("查找字段“%s”没有可用的查找数据集。", {Field->DisplayLabel()}));
        std::vector<TField*> SrcKeys = Src->GetFieldList(Field->LookupKeyFields());
        if (SrcKeys.size() != Keys.size())
            throw EDatabaseError(Format("查找字段“%s”的关键字段数目不一致。", {Field->DisplayLabel()}));
        if (Value.IsNull()) {
            for (TField* K : Keys) K->Clear();
            return;
        }
        TField* Result = Src->FieldByName(Field->LookupResultField());
        Variant Want = Result->Coerce(Value);
        int Count = Src->InternalRecordCount();
        for (int P = 0; P < Count; ++P) {
            const TStoredPos Pos(P);
            if (Src->InternalGetValue(Pos, Result->FieldNo()) == Want) {
                for (std::size_t I = 0; I < Keys.size(); ++I)
                    Keys[I]->SetValue(Src->InternalGetValue(Pos, SrcKeys[I]->FieldNo()));
                return;
            }
        }
        throw EConvertError(Format("“%s”不在字段“%s”的可选列表中。", {Value.AsString(), Field->DisplayLabel()}));
    }
    if (Field->FieldKind() != TFieldKind::fkData)
        throw EDatabaseError(Format("字段“%s”是计算得出的，不能修改。", {Field->DisplayLabel()}));

    Variant NewValue = Field->Coerce(Value);
    if (Field->OnValidate) {
        TProposedGuard Guard(FProposedField, FProposedValue, Field, &NewValue);
        Field->OnValidate(Field);
    }
    // A validation handler may have moved the set out of editing (e.g. cancelled).
    if (FState != TDataSetState::dsEdit && FState != TDataSetState::dsInsert) return;
    FBuffer[static_cast<std::size_t>(Field->FieldNo())] = std::move(NewValue);
    FModified = true;
    auto Notify = [this, Field] {
        NotifyRecordChanged(Field);
        NotifyRowChanged(CurrentDisplayRow());
    };
    try {
        if (Field->OnChange) Field->OnChange(Field);
    } catch (...) {
        // The value is in the buffer whatever the handler did: the controls must show it.
        Notify();
        throw;
    }
    Notify();
}

void TDataSet::FocusField(TField* Field) {
    bool Handled = false;
    std::vector<TDataSource*> Sources = FSources;
    for (TDataSource* S : Sources) {
        std::vector<TDataLink*> Links = S->FLinks;
        for (TDataLink* L : Links) {
            L->FocusControl(Field, Handled);
            if (Handled) return;
        }
    }
}

// ---- search ------------------------------------------------------------------------------

std::vector<Variant> TDataSet::CoerceKeys(const std::vector<TField*>& Fields, const std::vector<Variant>& KeyValues) const {
    if (Fields.size() != KeyValues.size())
        throw EDatabaseError(Format("%s的查找字段与查找值数目不一致。", {DataSetName(this)}));
    std::vector<Variant> Out;
    Out.reserve(Fields.size());
    for (std::size_t I = 0; I < Fields.size(); ++I) {
        if (Fields[I]->FieldKind() == TFieldKind::fkData) Out.push_back(Fields[I]->Coerce(KeyValues[I]));
        else Out.push_back(KeyValues[I]);
    }
    return Out;
}

bool TDataSet::RowMatches(TStoredPos Pos, const std::vector<TField*>& Fields, const std::vector<Variant>& Values,
                          TLocateOptions Options) const {
    for (std::size_t I = 0; I < Fields.size(); ++I) {
        const TField* F = Fields[I];
        Variant V = ValueAt(Pos, F);
        const Variant& Want = Values[I];
        if (V.IsNull() || Want.IsNull()) {
            if (V.IsNull() != Want.IsNull()) return false;
            continue;
        }
        if (Options.Empty() || !V.IfString()) {
            if (F->FieldKind() == TFieldKind::fkData) {
                if (!(V == Want)) return false;
            } else if (V.AsString() != Want.AsString()) {
                return false;
            }
            continue;
        }
        std::string Have = *V.IfString(), Look = Want.AsString();
        if (Options.Contains(TLocateOption::loCaseInsensitive)) {
            Have = FoldCase(Have);
            Look = FoldCase(Look);
        }
        if (Options.Contains(TLocateOption::loPartialKey) ? Have.compare(0, Look.size(), Look) != 0 : Have != Look)
            return false;
    }
    return true;
}

std::optional<TStoredPos> TDataSet::InternalLocate(const std::vector<TField*>& Fields,
                                                   const std::vector<Variant>& Values) const {
    int Count = InternalRecordCount();
    for (int P = 0; P < Count; ++P)
        if (RowMatches(TStoredPos(P), Fields, Values, {})) return TStoredPos(P);
    return std::nullopt;
}

bool TDataSet::Locate(const std::string& KeyFields, const std::vector<Variant>& KeyValues, TLocateOptions Options) {
    CheckActive();
    CheckBrowseMode();
    std::vector<TField*> Fields = GetFieldList(KeyFields);
    std::vector<Variant> Values;
    try {
        Values = CoerceKeys(Fields, KeyValues);
    } catch (const EConvertError&) {
        return false; // a value the field cannot hold matches no row
    }
    bool AllData = std::all_of(Fields.begin(), Fields.end(), [](TField* F) { return F->FieldKind() == TFieldKind::fkData; });
    std::optional<TStoredPos> Pos;
    if (Options.Empty() && AllData) {
        Pos = InternalLocate(Fields, Values);
    } else {
        int Count = InternalRecordCount();
        for (int P = 0; P < Count && !Pos; ++P)
            if (RowMatches(TStoredPos(P), Fields, Values, Options)) Pos = TStoredPos(P);
    }
    if (!Pos) return false;
    DoBeforeScroll();
    MoveTo(Pos->Value);
    FBof = FEof = false;
    DoAfterScroll();
    return true;
}

Variant TDataSet::Lookup(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                         const std::string& ResultField) {
    if (!Active()) return Variant();
    std::vector<TField*> Fields = GetFieldList(KeyFields);
    TField* Result = FieldByName(ResultField);
    std::vector<Variant> Values;
    try {
        Values = CoerceKeys(Fields, KeyValues);
    } catch (const EConvertError&) {
        return Variant();
    }
    std::optional<TStoredPos> Pos = InternalLocate(Fields, Values);
    if (!Pos) return Variant();
    return ValueAt(*Pos, Result);
}

template <class FKeyValue> Variant TDataSet::LookupFieldValueOf(const TField* Field, FKeyValue&& KeyValue) const {
    TDataSet* Src = Field->LookupDataSet();
    if (!Src || !Src->Active()) return Variant();
    std::vector<Variant> Keys;
    for (const std::string& Name : SplitFieldNames(Field->KeyFields())) {
        TField* K = FindField(Name);
        if (!K) return Variant();
        Variant V = KeyValue(K);
        if (V.IsNull()) return Variant();
        Keys.push_back(std::move(V));
    }
    try {
        return Src->Lookup(Field->LookupKeyFields(), Keys, Field->LookupResultField());
    } catch (const EDatabaseError&) {
        return Variant(); // a lookup that is not set up shows nothing rather than failing a paint
    }
}

Variant TDataSet::LookupFieldValue(const TField* Field, TDisplayRow Row) const {
    if (Row.Value < 0) return Variant();
    return LookupFieldValueOf(Field, [this, Row](const TField* K) { return ValueAt(Row, K); });
}

Variant TDataSet::LookupFieldValue(const TField* Field, TStoredPos Pos) const {
    return LookupFieldValueOf(Field, [this, Pos](const TField* K) { return ValueAt(Pos, K); });
}

// ---- display rows ------------------------------------------------------------------------

int TDataSet::DisplayRowCount() const {
    if (!Active()) return 0;
    return InternalRecordCount() + (FState == TDataSetState::dsInsert ? 1 : 0);
}

int TDataSet::CurrentDisplayRow() const {
    if (!Active()) return -1;
    return FState == TDataSetState::dsInsert ? FInsertPos : FCursor;
}

std::optional<TStoredPos> TDataSet::StoredPosOf(TDisplayRow Row) const {
    if (FState == TDataSetState::dsInsert) {
        if (Row.Value == FInsertPos) return std::nullopt;
        if (Row.Value > FInsertPos) return TStoredPos(Row.Value - 1);
    }
    return TStoredPos(Row.Value);
}

TDisplayRow TDataSet::DisplayRowOf(TStoredPos Pos) const {
    if (FState == TDataSetState::dsInsert && Pos.Value >= FInsertPos) return TDisplayRow(Pos.Value + 1);
    return TDisplayRow(Pos.Value);
}

Variant TDataSet::DisplayRowValue(int Row, const TField* Field) const { return ValueAt(TDisplayRow(Row), Field); }

Variant TDataSet::ValueAt(TDisplayRow Row, const TField* Field) const {
    if (!Active() || Row.Value < 0 || Row.Value >= DisplayRowCount()) return Variant();
    if (Field->FieldKind() == TFieldKind::fkLookup) return LookupFieldValue(Field, Row);
    if (Field->FieldKind() == TFieldKind::fkAggregate) return GetFieldValue(Field);
    bool Current = Row.Value == CurrentDisplayRow() && FState != TDataSetState::dsBrowse;
    if (Current) return FBuffer[static_cast<std::size_t>(Field->FieldNo())];
    return InternalGetValue(*StoredPosOf(Row), Field->FieldNo()); // only the current row is unstored
}

Variant TDataSet::ValueAt(TStoredPos Pos, const TField* Field) const {
    switch (Field->FieldKind()) {
    case TFieldKind::fkData: return InternalGetValue(Pos, Field->FieldNo());
    case TFieldKind::fkLookup: return LookupFieldValue(Field, Pos);
    case TFieldKind::fkAggregate: break;
    }
    return GetFieldValue(Field);
}

std::string TDataSet::DisplayRowText(int Row, const TField* Field) const {
    return Field->TextOf(DisplayRowValue(Row, Field), true);
}

// ---- controls ----------------------------------------------------------------------------

void TDataSet::DisableControls() { ++FDisableCount; }

void TDataSet::EnableControls() {
    if (FDisableCount == 0) return;
    if (--FDisableCount == 0 && FNeedRefresh) {
        FNeedRefresh = false;
        NotifyDataSetChanged();
        NotifyEditingChanged();
    }
}

void TDataSet::NotifyRowChanged(int Row) {
    if (Row < 0) return;
    ForEachLink([Row](TDataLink* L) { L->RowChanged(Row); });
}

void TDataSet::FireDataChange(TField* Field) {
    ForEachSource([Field](TDataSource* S) {
        if (S->Enabled() && S->OnDataChange) S->OnDataChange(S, Field);
    });
}

void TDataSet::NotifyRecordChanged(TField* Field) {
    ForEachLink([Field](TDataLink* L) { L->RecordChanged(Field); });
    FireDataChange(Field);
}

void TDataSet::NotifyScrolled() {
    ForEachLink([](TDataLink* L) { L->DataSetScrolled(); });
    FireDataChange(nullptr);
}

void TDataSet::NotifyEditingChanged() {
    ForEachLink([](TDataLink* L) { L->EditingChanged(); });
    ForEachSource([](TDataSource* S) {
        if (S->Enabled() && S->OnStateChange) S->OnStateChange(S);
    });
}

void TDataSet::NotifyDataSetChanged() {
    ForEachLink([](TDataLink* L) { L->DataSetChanged(); });
    FireDataChange(nullptr);
}

void TDataSet::NotifyLayoutChanged() {
    ForEachLink([](TDataLink* L) { L->LayoutChanged(); });
}

void TDataSet::ActivateSilently(int Pos) {
    BindDataFields();
    InternalOpen();
    SetState(TDataSetState::dsBrowse, [this, Pos] {
        ForEachLink([](TDataLink* L) { L->ActiveChanged(); });
        ResetCursorAfterBulkChange(Pos);
    });
}

void TDataSet::DeactivateSilently() { CloseCursor(TStateNotice::Withhold); }

void TDataSet::CloseCursor(TStateNotice Notice) {
    if (!Active()) return;
    FBuffer.clear();
    FModified = false;
    InternalClose();
    FCursor = -1;
    FInsertPos = -1;
    FBof = FEof = true;
    SetState(TDataSetState::dsInactive, [this] { ForEachLink([](TDataLink* L) { L->ActiveChanged(); }); }, Notice);
}

void TDataSet::StoredRowChanged(TStoredPos Pos) { NotifyRowChanged(DisplayRowOf(Pos).Value); }

void TDataSet::CurrentRowReplaced() {
    NotifyRecordChanged(nullptr);
    NotifyRowChanged(FCursor);
}

void TDataSet::RemoveCurrentRow(const std::function<void()>& Erase) {
    int Pos = FCursor;
    ForEachLink([Pos](TDataLink* L) { L->RowsAboutToBeRemoved(Pos, Pos); });
    Erase();
    int Count = InternalRecordCount();
    FCursor = Count == 0 ? -1 : std::min(Pos, Count - 1);
    FBof = FCursor <= 0;
    FEof = Count == 0;
    ForEachLink([Pos](TDataLink* L) { L->RowsRemoved(Pos, Pos); });
    NotifyScrolled();
}

void TDataSet::ResetCursorAfterBulkChange(int Pos) {
    FBuffer.clear();
    FModified = false;
    FInsertPos = -1;
    int Count = Active() ? InternalRecordCount() : 0;
    FCursor = Count == 0 ? -1 : std::clamp(Pos, 0, Count - 1);
    FBof = FCursor <= 0;
    FEof = Count == 0;
    if (Active()) SetState(TDataSetState::dsBrowse, [this] { NotifyDataSetChanged(); });
    else NotifyDataSetChanged();
}

} // namespace orv
