// Fields, data sets, data sources and data links: the long-established data-set model.
//
// Public verbs of TDataSet (Append, Post, Locate, ...) are non-virtual: they own the order
// of steps and events. A storage class (TOrvClientDataSet) fills in the Internal* steps.
#pragma once

#include "host/core/Classes.h"
#include "host/core/SysUtils.h"
#include "host/data/Variant.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orv {

class TDataSet;
class TDataSource;
class TDataLink;
class TField;
struct TValueFault;

enum class TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftLargeint,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftDateTime,
    ftMemo,
    ftBlob,
    ftAggregate
};

enum class TFieldKind { fkData, fkLookup, fkAggregate };

// How a data field's value is held in a stored row.
enum class TStorageKind : std::uint8_t { skString, skInteger, skFloat, skBcd, skDate, skDateTime, skBoolean };

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// Two ways of numbering a data set's rows, kept apart by type because they differ exactly
// while a row is being inserted: a stored position counts only stored rows, a display row
// (what a grid shows) counts the row being inserted too.
struct TStoredPos {
    int Value;
    constexpr explicit TStoredPos(int V) : Value(V) {}
    auto operator<=>(const TStoredPos&) const = default;
};
struct TDisplayRow {
    int Value;
    constexpr explicit TDisplayRow(int V) : Value(V) {}
    auto operator<=>(const TDisplayRow&) const = default;
};

enum class TLocateOption { loCaseInsensitive, loPartialKey };

class TLocateOptions {
public:
    TLocateOptions() = default;
    TLocateOptions(std::initializer_list<TLocateOption> Items) {
        for (auto I : Items) FBits |= 1u << static_cast<unsigned>(I);
    }
    bool Contains(TLocateOption O) const { return FBits & (1u << static_cast<unsigned>(O)); }
    bool Empty() const { return FBits == 0; }

private:
    unsigned FBits = 0;
};

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TFieldNotifyEvent = std::function<void(TField* Sender)>;
using TFieldSetTextEvent = std::function<void(TField* Sender, const std::string& Text)>;
using TFieldGetTextEvent = std::function<void(TField* Sender, std::string& Text, bool DisplayText)>;

// What a packet said about a field's type, kept so that writing the set back gives
// other programs the type they wrote (e.g. "string.uni", "i2", r8 with SUBTYPE "Money").
struct TFieldPacketInfo {
    std::string FieldType;                                        // empty: the class's own
    std::string SubType;
    std::vector<std::pair<std::string, std::string>> ExtraAttrs; // other FIELD attributes
    std::string ChildXml;                                         // FIELD's children (e.g. PARAM), raw
};

// A column of a data set. Persistent fields are created in code with an owner (the form)
// and attached with SetDataSet; fields made from a packet belong to the data set.
class TField : public TComponent {
public:
    explicit TField(TComponent* AOwner);
    ~TField() override;

    TDataSet* DataSet() const { return FDataSet; }
    void SetDataSet(TDataSet* Value);

    const std::string& FieldName() const { return FFieldName; }
    void SetFieldName(const std::string& Value);
    std::string DisplayLabel() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
    void SetDisplayLabel(const std::string& Value) { FDisplayLabel = Value; }
    std::string DisplayName() const { return DisplayLabel(); }
    int DisplayWidth() const;
    void SetDisplayWidth(int Value) { FDisplayWidth = Value; }
    bool Required() const { return FRequired; }
    void SetRequired(bool Value) { FRequired = Value; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value) { FReadOnly = Value; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value) { FVisible = Value; }
    TFieldKind FieldKind() const { return FFieldKind; }
    void SetFieldKind(TFieldKind Value);
    bool Lookup() const { return FFieldKind == TFieldKind::fkLookup; }
    virtual TFieldType DataType() const = 0;
    virtual TStorageKind StorageKind() const = 0;
    // Characters for text fields, decimals for BCD fields, 0 otherwise.
    int Size() const { return FSize; }
    virtual void SetSize(int Value);

    // Lookup definition: KeyFields of this set, matched against LookupKeyFields of
    // LookupDataSet; the value shown is LookupResultField of the matching row.
    const std::string& KeyFields() const { return FKeyFields; }
    void SetKeyFields(const std::string& Value) { FKeyFields = Value; }
    TDataSet* LookupDataSet() const { return FLookupDataSet; }
    void SetLookupDataSet(TDataSet* Value);
    const std::string& LookupKeyFields() const { return FLookupKeyFields; }
    void SetLookupKeyFields(const std::string& Value) { FLookupKeyFields = Value; }
    const std::string& LookupResultField() const { return FLookupResultField; }
    void SetLookupResultField(const std::string& Value) { FLookupResultField = Value; }

    // Values of the current record (the edit buffer while editing or inserting).
    bool IsNull() const { return Value().IsNull(); }
    Variant Value() const;
    void SetValue(const Variant& V);
    std::string AsString() const;
    void SetAsString(const std::string& V) { SetValue(Variant(V)); }
    int AsInteger() const;
    void SetAsInteger(int V) { SetValue(Variant(V)); }
    std::int64_t AsLargeInt() const;
    void SetAsLargeInt(std::int64_t V) { SetValue(Variant(static_cast<long long>(V))); }
    double AsFloat() const;
    void SetAsFloat(double V) { SetValue(Variant(V)); }
    TDateTime AsDateTime() const;
    virtual void SetAsDateTime(TDateTime V) { SetValue(Variant::DateTime(V)); }
    bool AsBoolean() const;
    void Clear() { SetValue(Variant()); }

    // Text as a grid shows it, and as an editor starts from.
    std::string DisplayText() const;
    std::string Text() const;
    // The same texts of V, a value of this field in any row: the field's own text (through
    // FormatValue), then OnGetText. Every text of a field's value is made here.
    std::string TextOf(const Variant& V, bool Display) const;
    // Text the user entered: OnSetText when assigned (it then stores the value itself),
    // otherwise converted by the field.
    void SetText(const std::string& Value);
    // Asks the control that shows this field to select it and take the focus.
    void FocusControl();

    // "string(20)", "fixed(12,2)", "date", ... as the support tool prints it.
    std::string PacketTypeName() const;
    // Packet FIELD attributes: fieldtype, WIDTH (-1: none), DECIMALS (-1: none), SUBTYPE.
    virtual void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const = 0;

    int FieldNo() const { return FFieldNo; }
    int Index() const;

    // Converts V to this field's stored representation, checking that it fits; raises
    // EConvertError naming the field and the value. Null stays null.
    virtual Variant Coerce(const Variant& V) const = 0;
    // Converts text that a user typed into a value of this field (not stored).
    virtual Variant ParseText(const std::string& Text) const;
    // Text for a stored value, as a grid shows it.
    virtual std::string FormatValue(const Variant& V, bool Display) const;

    TFieldPacketInfo PacketInfo;

    TFieldSetTextEvent OnSetText;
    TFieldGetTextEvent OnGetText;
    TFieldNotifyEvent OnValidate;
    TFieldNotifyEvent OnChange;

protected:
    [[noreturn]] void ConvertError(const std::string& ValueText, const std::string& Why) const;
    // A value the rules refuse: past a bound in the clerk's words ("提成比例不能大于
    // 9.9999。"), anything else naming the field and the value V.
    [[noreturn]] void ValueError(const Variant& V, const TValueFault& Fault) const;
    int FSize = 0;

private:
    friend class TDataSet;
    TDataSet* FDataSet = nullptr;
    std::string FFieldName;
    std::string FDisplayLabel;
    int FDisplayWidth = 0;
    bool FRequired = false;
    bool FReadOnly = false;
    bool FVisible = true;
    TFieldKind FFieldKind = TFieldKind::fkData;
    int FFieldNo = -1;
    std::string FKeyFields;
    TDataSet* FLookupDataSet = nullptr;
    std::string FLookupKeyFields;
    std::string FLookupResultField;
};

// Text with a size counted in characters (code points).
class TStringField : public TField {
public:
    explicit TStringField(TComponent* AOwner);
    TFieldType DataType() const override { return TFieldType::ftString; }
    TStorageKind StorageKind() const override { return TStorageKind::skString; }
    Variant Coerce(const Variant& V) const override;
    void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const override;
};

// Text without a size limit (a packet's bin.hex with SUBTYPE "Text").
class TMemoField : public TStringField {
public:
    explicit TMemoField(TComponent* AOwner);
    TFieldType DataType() const override { return TFieldType::ftMemo; }
    void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const override;
};

// Opaque binary content, held as the packet's text (bin.hex other than "Text").
class TBlobField : public TMemoField {
public:
    explicit TBlobField(TComponent* AOwner) : TMemoField(AOwner) {}
    TFieldType DataType() const override { return TFieldType::ftBlob; }
    std::string FormatValue(const Variant& V, bool Display) const override;
    void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const override;
};

// Whole numbers; the range follows the packet type (i1, ui1, i2, ui2, i4, ui4, i8).
class TIntegerField : public TField {
public:
    explicit TIntegerField(TComponent* AOwner);
    TFieldType DataType() const override;
    TStorageKind StorageKind() const override { return TStorageKind::skInteger; }
    Variant Coerce(const Variant& V) const override;
    void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const override;
    void SetRange(std::int64_t Min, std::int64_t Max) {
        FMin = Min;
        FMax = Max;
    }
    std::int64_t MinValue() const { return FMin; }
    std::int64_t MaxValue() const { return FMax; }

private:
    std::int64_t FMin = INT32_MIN, FMax = INT32_MAX;
};

class TFloatField : public TField {
public:
    explicit TFloatField(TComponent* AOwner);
    TFieldType DataType() const override { return TFieldType::ftFloat; }
    TStorageKind StorageKind() const override { return TStorageKind::skFloat; }
    Variant Coerce(const Variant& V) const override;
    void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const override;
};

// Exact decimal. Precision = total digits (0: not set), Size = decimals (default 4).
class TBCDField : public TField {
public:
    explicit TBCDField(TComponent* AOwner);
    TFieldType DataType() const override { return TFieldType::ftBCD; }
    TStorageKind StorageKind() const override { return TStorageKind::skBcd; }
    int Precision() const { return FPrecision; }
    void SetPrecision(int Value) { FPrecision = Value; }
    void SetSize(int Value) override;
    Variant Coerce(const Variant& V) const override;
    std::string FormatValue(const Variant& V, bool Display) const override;
    void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const override;

private:
    int FPrecision = 0;
};

class TDateField : public TField {
public:
    explicit TDateField(TComponent* AOwner);
    TFieldType DataType() const override { return TFieldType::ftDate; }
    TStorageKind StorageKind() const override { return TStorageKind::skDate; }
    Variant Coerce(const Variant& V) const override;
    Variant ParseText(const std::string& Text) const override;
    void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const override;
};

class TDateTimeField : public TField {
public:
    explicit TDateTimeField(TComponent* AOwner);
    TFieldType DataType() const override { return TFieldType::ftDateTime; }
    TStorageKind StorageKind() const override { return TStorageKind::skDateTime; }
    Variant Coerce(const Variant& V) const override;
    void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const override;
};

class TBooleanField : public TField {
public:
    explicit TBooleanField(TComponent* AOwner);
    TFieldType DataType() const override { return TFieldType::ftBoolean; }
    TStorageKind StorageKind() const override { return TStorageKind::skBoolean; }
    Variant Coerce(const Variant& V) const override;
    void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const override;
};

// A value computed over all rows. Only "SUM(1)" (the row count) is understood; another
// expression is refused when the aggregate is active.
class TAggregateField : public TField {
public:
    explicit TAggregateField(TComponent* AOwner);
    TFieldType DataType() const override { return TFieldType::ftAggregate; }
    TStorageKind StorageKind() const override { return TStorageKind::skInteger; }
    bool Active() const { return FActive; }
    void SetActive(bool Value);
    const std::string& Expression() const { return FExpression; }
    void SetExpression(const std::string& Value);
    Variant Coerce(const Variant& V) const override;
    void DescribePacketType(std::string& FieldType, int& Width, int& Decimals, std::string& SubType) const override;

private:
    void CheckExpression() const;
    bool FActive = false;
    std::string FExpression;
};

// Receives a data set's notifications through a data source. Rows are numbered from 0 in
// display order, which includes a row being inserted.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* Value);
    TDataSet* DataSet() const;
    bool Active() const;

protected:
    friend class TDataSource;
    friend class TDataSet;
    // Coarse events.
    virtual void ActiveChanged() {}
    virtual void LayoutChanged() {}
    virtual void DataSetChanged() {} // anything may have changed: re-read everything
    virtual void DataSetScrolled() {}
    virtual void RecordChanged(TField* /*Field*/) {}
    virtual void EditingChanged() {}
    // Fine-grained row events, each bracketing one structural change.
    virtual void RowsAboutToBeInserted(int /*First*/, int /*Last*/) {}
    virtual void RowsInserted(int /*First*/, int /*Last*/) {}
    virtual void RowsAboutToBeRemoved(int /*First*/, int /*Last*/) {}
    virtual void RowsRemoved(int /*First*/, int /*Last*/) {}
    virtual void RowChanged(int /*Row*/) {}
    // A field asks its control for the focus; set Handled when this link showed it.
    virtual void FocusControl(TField* /*Field*/, bool& /*Handled*/) {}

private:
    TDataSource* FDataSource = nullptr;
};

class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* AOwner);
    ~TDataSource() override;

    TDataSet* DataSet() const { return FDataSet; }
    void SetDataSet(TDataSet* Value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    TDataSetState State() const;

    std::function<void(TDataSource* Sender, TField* Field)> OnDataChange;
    std::function<void(TDataSource* Sender)> OnStateChange;

private:
    friend class TDataLink;
    friend class TDataSet;
    template <class F> void ForEachLink(F&& Fn) {
        if (!FEnabled) return;
        // Links may detach while being notified; iterate over a copy.
        std::vector<TDataLink*> Copy = FLinks;
        for (TDataLink* L : Copy) Fn(L);
    }
    TDataSet* FDataSet = nullptr;
    bool FEnabled = true;
    std::vector<TDataLink*> FLinks;
};

class TDataSet : public TComponent {
public:
    explicit TDataSet(TComponent* AOwner);
    ~TDataSet() override;

    // Fields, in order.
    int FieldCount() const { return static_cast<int>(FFields.size()); }
    TField* Fields(int Index) const { return FFields.at(static_cast<std::size_t>(Index)); }
    const std::vector<TField*>& FieldList() const { return FFields; }
    TField* FindField(const std::string& FieldName) const;
    TField* FieldByName(const std::string& FieldName) const; // EDatabaseError when absent
    // Fields named in a ";"-separated list, each must exist.
    std::vector<TField*> GetFieldList(const std::string& FieldNames) const;
    int DataFieldCount() const { return static_cast<int>(FDataFields.size()); }
    TField* DataField(int FieldNo) const { return FDataFields[static_cast<std::size_t>(FieldNo)]; }

    // State.
    bool Active() const { return FState != TDataSetState::dsInactive; }
    void SetActive(bool Value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return FState; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value) { FReadOnly = Value; }
    // What the user's rights allow; a refused operation raises EDatabaseError.
    void SetPermissions(bool CanInsert, bool CanEdit, bool CanDelete);
    bool CanInsert() const { return !FReadOnly && FCanInsert; }
    bool CanEdit() const { return !FReadOnly && FCanEdit; }
    bool CanDelete() const { return !FReadOnly && FCanDelete; }

    // Navigation.
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int Distance);
    bool Bof() const { return FBof; }
    bool Eof() const { return FEof; }
    // 1-based; 0 while inserting and on an empty set.
    int RecNo() const;
    void SetRecNo(int Value);
    int RecordCount() const;
    bool IsEmpty() const { return RecordCount() == 0 && FState != TDataSetState::dsInsert; }
    bool Modified() const { return FModified; }

    // Editing.
    void Append();
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Posts a modified row, cancels an untouched new one; nothing in browse state.
    void CheckBrowseMode();

    // Search: ";"-separated field names and one value per field. Moves to the first
    // matching row and returns true, or leaves the cursor and returns false.
    bool Locate(const std::string& KeyFields, const std::vector<Variant>& KeyValues, TLocateOptions Options = {});
    bool Locate(const std::string& KeyFields, const Variant& KeyValue, TLocateOptions Options = {}) {
        return Locate(KeyFields, std::vector<Variant>{KeyValue}, Options);
    }
    // Value of ResultField in the first row whose KeyFields equal KeyValues; null when
    // none matches. Does not move the cursor.
    Variant Lookup(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                   const std::string& ResultField);

    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return FDisableCount > 0; }

    // Rows in display order (the row being inserted included), read without moving the
    // cursor: what a grid draws.
    int DisplayRowCount() const;
    int CurrentDisplayRow() const; // -1 when there is no current row
    Variant DisplayRowValue(int Row, const TField* Field) const;
    std::string DisplayRowText(int Row, const TField* Field) const;

    // Events.
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord;

    // Internal to the data layer: field registry, called by TField.
    void AddField(TField* Field);
    void RemoveField(TField* Field);
    void FieldDefinitionChanged();
    // Value of a field in the current record (a proposed value during validation).
    Variant GetFieldValue(const TField* Field) const;
    void SetFieldValue(TField* Field, const Variant& Value);
    // Asks the linked controls to focus Field.
    void FocusField(TField* Field);
    // Lookup fields of other sets that read this one; they are unhooked when it goes.
    void AddLookupClient(TField* Field);
    void RemoveLookupClient(TField* Field);

protected:
    // Storage steps.
    virtual void InternalOpen() = 0;  // structure from the field list; keeps rows if any
    virtual void InternalClose() = 0; // drops rows
    virtual int InternalRecordCount() const = 0;
    virtual Variant InternalGetValue(TStoredPos Pos, int FieldNo) const = 0;
    virtual void InternalInsert(TStoredPos Pos, const std::vector<Variant>& Values) = 0;
    virtual void InternalUpdate(TStoredPos Pos, const std::vector<Variant>& Values) = 0;
    virtual void InternalDelete(TStoredPos Pos) = 0;
    // Finds the first stored row whose fields equal Values (already coerced).
    virtual std::optional<TStoredPos> InternalLocate(const std::vector<TField*>& Fields,
                                                     const std::vector<Variant>& Values) const;
    virtual void InternalFieldsChanged() {}

    // For storage classes: replace the rows wholesale (after SetXMLData, CancelUpdates...).
    // Leaves the set in browse on its first row and tells the links to re-read.
    void ResetCursorAfterBulkChange(int Pos = 0);
    // Binds data fields to storage slots in order; returns them.
    const std::vector<TField*>& BindDataFields();
    // Fields the set made itself (from a packet) are freed here.
    void DestroyDynamicFields();
    void MarkDynamic(TField* Field);
    bool HasDynamicFields() const { return !FDynamic.empty(); }
    int CursorPos() const { return FCursor; } // stored position of the current record; -1: none
    // Replace contents without open/close events: links are told, handlers are not run.
    void ActivateSilently(int Pos = 0);
    void DeactivateSilently();
    // A stored row changed its values outside the editing verbs.
    void StoredRowChanged(TStoredPos Pos);
    // In browse state, outside the editing verbs (a revert): the current row's stored
    // values were replaced, or Erase removes it. The links hear of that row alone.
    void CurrentRowReplaced();
    void RemoveCurrentRow(const std::function<void()>& Erase);
    void CheckActive() const;
    void NotifyDataSetChanged();
    void NotifyLayoutChanged();
    // None for the row being inserted.
    std::optional<TStoredPos> StoredPosOf(TDisplayRow Row) const;
    TDisplayRow DisplayRowOf(TStoredPos Pos) const;
    // KeyValues as Fields hold them (lookup fields' values as given); raises EConvertError
    // for a value a field cannot hold, EDatabaseError when the counts differ.
    std::vector<Variant> CoerceKeys(const std::vector<TField*>& Fields, const std::vector<Variant>& KeyValues) const;

private:
    friend class TDataSource;
    friend class TField;

    void CheckCanInsert() const;
    void CheckCanEdit() const;
    void BeginInsertAppend(bool Appending);
    void DoBeforeScroll();
    void DoAfterScroll();
    enum class TStateNotice { Send, Withhold };
    // The one way the state changes. Announce always runs, right after the change: what
    // goes with it (a row appearing or going, a row re-read, the set opening or closing)
    // sees the new state. A real change is then told once, so a control re-reads its
    // editing state after its rows. Withhold only where the set closes to reopen at once
    // (reopening tells) or is going away.
    template <class FAnnounce>
    void SetState(TDataSetState Value, FAnnounce&& Announce, TStateNotice Notice = TStateNotice::Send);
    void SetState(TDataSetState Value);
    // Drops the rows and the edit buffer and leaves the set inactive.
    void CloseCursor(TStateNotice Notice);
    void MoveTo(int Pos);
    // A lookup field's value in a row, its keys read as the grid shows that row (the edit
    // buffer included) or as stored.
    Variant LookupFieldValue(const TField* Field, TDisplayRow Row) const;
    Variant LookupFieldValue(const TField* Field, TStoredPos Pos) const;
    template <class FKeyValue> Variant LookupFieldValueOf(const TField* Field, FKeyValue&& KeyValue) const;
    Variant ValueAt(TDisplayRow Row, const TField* Field) const;
    Variant ValueAt(TStoredPos Pos, const TField* Field) const;
    Variant CurrentBufferValue(const TField* Field) const;
    bool RowMatches(TStoredPos Pos, const std::vector<TField*>& Fields, const std::vector<Variant>& Values,
                    TLocateOptions Options) const;

    // Calls Fn for each data source, unless controls are disabled: then the links and
    // sources re-read everything when controls come back.
    template <class F> void ForEachSource(F&& Fn) {
        if (FDisableCount > 0) {
            FNeedRefresh = true;
            return;
        }
        // Sources may detach while being notified; iterate over a copy.
        std::vector<TDataSource*> Copy = FSources;
        for (TDataSource* S : Copy) Fn(S);
    }
    template <class F> void ForEachLink(F&& Fn) {
        ForEachSource([&Fn](TDataSource* S) { S->ForEachLink(Fn); });
    }
    void FireDataChange(TField* Field);
    void NotifyRowChanged(int Row);
    void NotifyRecordChanged(TField* Field);
    void NotifyScrolled();
    void NotifyEditingChanged();

    std::vector<TField*> FFields;
    std::vector<TField*> FDataFields;
    std::vector<TField*> FDynamic;
    std::vector<TDataSource*> FSources;
    std::vector<TField*> FLookupClients;
    TDataSetState FState = TDataSetState::dsInactive;
    bool FReadOnly = false;
    bool FCanInsert = true, FCanEdit = true, FCanDelete = true;
    int FCursor = -1;      // stored row of the current record; -1 when empty
    int FInsertPos = -1;   // display row of the row being inserted
    bool FBof = true, FEof = true;
    bool FModified = false;
    int FDisableCount = 0;
    bool FNeedRefresh = false;
    std::vector<Variant> FBuffer; // edit buffer, one per data field
    const TField* FProposedField = nullptr;
    const Variant* FProposedValue = nullptr;
};

} // namespace orv
