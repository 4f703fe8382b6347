#include "host/data/ClientDataSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace orv;

namespace orv {
[[maybe_unused]] static void PrintTo(const Variant& V, std::ostream* Os) {
    *Os << (V.IsNull() ? std::string("<null>") : V.AsString());
}
} // namespace orv

namespace {

using TTrace = std::vector<std::string>;
using TRowSpec = std::vector<std::pair<const char*, const char*>>; // NAME, AMOUNT

const char* StateName(TDataSetState S) {
    switch (S) {
    case TDataSetState::dsInactive:
        return "Inactive";
    case TDataSetState::dsBrowse:
        return "Browse";
    case TDataSetState::dsEdit:
        return "Edit";
    case TDataSetState::dsInsert:
        return "Insert";
    }
    return "?";
}

std::string Range(const char* Name, int First, int Last) {
    return std::string(Name) + "(" + std::to_string(First) + "," + std::to_string(Last) + ")";
}

// Records every notification a control would get.
class TRecordingLink : public TDataLink {
public:
    explicit TRecordingLink(TTrace& Trace) : FTrace(Trace) {}
    bool HandlesFocus = false;

protected:
    void ActiveChanged() override { FTrace.push_back("ActiveChanged"); }
    void LayoutChanged() override { FTrace.push_back("LayoutChanged"); }
    void DataSetChanged() override { FTrace.push_back("DataSetChanged"); }
    void DataSetScrolled() override { FTrace.push_back("DataSetScrolled"); }
    void RecordChanged(TField* Field) override {
        FTrace.push_back("RecordChanged(" + (Field ? Field->FieldName() : std::string()) + ")");
    }
    void EditingChanged() override { FTrace.push_back("EditingChanged"); }
    void RowsAboutToBeInserted(int First, int Last) override {
        FTrace.push_back(Range("RowsAboutToBeInserted", First, Last));
    }
    void RowsInserted(int First, int Last) override { FTrace.push_back(Range("RowsInserted", First, Last)); }
    void RowsAboutToBeRemoved(int First, int Last) override {
        FTrace.push_back(Range("RowsAboutToBeRemoved", First, Last));
    }
    void RowsRemoved(int First, int Last) override { FTrace.push_back(Range("RowsRemoved", First, Last)); }
    void RowChanged(int Row) override { FTrace.push_back("RowChanged(" + std::to_string(Row) + ")"); }
    void FocusControl(TField* Field, bool& Handled) override {
        FTrace.push_back("FocusControl(" + Field->FieldName() + ")");
        Handled = HandlesFocus;
    }

private:
    TTrace& FTrace;
};

// A form with a set of shift rows (ID, NAME, AMOUNT) shown through a data source, every
// event of the set and of NAME recorded in one trace with the state at the time.
struct TShiftForm {
    TTrace Trace;
    TComponent Form{nullptr};
    TOrvClientDataSet* Cds = new TOrvClientDataSet(&Form);
    TIntegerField* Id = nullptr;
    TStringField* Name = nullptr;
    TBCDField* Amount = nullptr;
    TDataSource* Source = new TDataSource(&Form);
    TRecordingLink Link{Trace};

    explicit TShiftForm(TRowSpec Rows = {{"早班", "1.50"}, {"中班", "2.50"}, {"晚班", "3.00"}}) {
        Cds->SetName("cdsMain");
        Id = Add<TIntegerField>("ID", "编号");
        Name = Add<TStringField>("NAME", "名称");
        Name->SetSize(10);
        Amount = Add<TBCDField>("AMOUNT", "金额");
        Amount->SetPrecision(12);
        Amount->SetSize(2);
        Cds->CreateDataSet();
        int N = 0;
        for (auto& [RowName, RowAmount] : Rows) {
            Cds->Append();
            Id->SetAsInteger(++N);
            Name->SetAsString(RowName);
            Amount->SetAsString(RowAmount);
            Cds->Post();
        }
        Cds->MergeChangeLog();
        if (N > 0) Cds->First();
        Source->SetDataSet(Cds);
        Link.SetDataSource(Source);
        Hook();
        Trace.clear();
    }

    template <class T> T* Add(const std::string& FieldName, const std::string& Label) {
        auto* F = new T(&Form);
        F->SetFieldName(FieldName);
        F->SetDisplayLabel(Label);
        F->SetDataSet(Cds);
        return F;
    }

    void Hook() {
        auto On = [this](TDataSetNotifyEvent& Event, const char* EventName) {
            Event = [this, EventName](TDataSet* D) {
                Trace.push_back(std::string(EventName) + ":" + StateName(D->State()));
            };
        };
        On(Cds->BeforeOpen, "BeforeOpen");
        On(Cds->AfterOpen, "AfterOpen");
        On(Cds->BeforeClose, "BeforeClose");
        On(Cds->AfterClose, "AfterClose");
        On(Cds->BeforeInsert, "BeforeInsert");
        On(Cds->AfterInsert, "AfterInsert");
        On(Cds->BeforeEdit, "BeforeEdit");
        On(Cds->AfterEdit, "AfterEdit");
        On(Cds->BeforePost, "BeforePost");
        On(Cds->AfterPost, "AfterPost");
        On(Cds->BeforeCancel, "BeforeCancel");
        On(Cds->AfterCancel, "AfterCancel");
        On(Cds->BeforeDelete, "BeforeDelete");
        On(Cds->AfterDelete, "AfterDelete");
        On(Cds->BeforeScroll, "BeforeScroll");
        On(Cds->AfterScroll, "AfterScroll");
        On(Cds->OnNewRecord, "OnNewRecord");
        // The value a validation handler reads through the field is the proposed one.
        Name->OnValidate = [this](TField* F) {
            Trace.push_back("NAME.OnValidate=" + F->AsString() + ":" + StateName(Cds->State()));
        };
        Name->OnChange = [this](TField* F) { Trace.push_back("NAME.OnChange=" + F->AsString()); };
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> Out;
        for (int R = 0; R < Cds->DisplayRowCount(); ++R)
            Out.push_back(Cds->DisplayRowText(R, Name));
        return Out;
    }
};

using TNames = std::vector<std::string>;

} // namespace

// ---- golden event traces -----------------------------------------------------------------

TEST(DataSetEventTest, AppendAndInsert) {
    TShiftForm T;
    T.Cds->Append();
    EXPECT_EQ(T.Trace, (TTrace{"BeforeInsert:Browse", "BeforeScroll:Browse", "RowsAboutToBeInserted(3,3)",
                               "RowsInserted(3,3)", "EditingChanged", "OnNewRecord:Insert",
                               "AfterInsert:Insert", "AfterScroll:Insert"}));
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsInsert);
    EXPECT_EQ(T.Cds->RecNo(), 0);
    EXPECT_EQ(T.Cds->RecordCount(), 3);
    EXPECT_EQ(T.Cds->CurrentDisplayRow(), 3);

    // A pending new row nobody typed into is cancelled before the next one starts.
    T.Trace.clear();
    T.Cds->Next();
    T.Cds->Insert();
    EXPECT_EQ(T.Trace,
              (TTrace{"BeforeCancel:Insert", "RowsAboutToBeRemoved(3,3)", "RowsRemoved(3,3)",
                      "EditingChanged", "AfterCancel:Browse", "BeforeScroll:Browse", "DataSetScrolled",
                      "AfterScroll:Browse", "BeforeInsert:Browse", "BeforeScroll:Browse",
                      "RowsAboutToBeInserted(1,1)", "RowsInserted(1,1)", "EditingChanged",
                      "OnNewRecord:Insert", "AfterInsert:Insert", "AfterScroll:Insert"}));
    EXPECT_EQ(T.Cds->CurrentDisplayRow(), 1);

    // A row with a typed value is posted first.
    T.Name->SetAsString("夜班");
    T.Trace.clear();
    T.Cds->Append();
    EXPECT_EQ(T.Trace, (TTrace{"BeforePost:Insert", "RowChanged(1)", "EditingChanged", "AfterPost:Browse",
                               "BeforeInsert:Browse", "BeforeScroll:Browse", "RowsAboutToBeInserted(4,4)",
                               "RowsInserted(4,4)", "EditingChanged", "OnNewRecord:Insert",
                               "AfterInsert:Insert", "AfterScroll:Insert"}));
    EXPECT_EQ(T.Cds->RecordCount(), 4);
    EXPECT_EQ(T.Names(), (TNames{"早班", "夜班", "中班", "晚班", ""}));
}

TEST(DataSetEventTest, NewRecordDefaultsAreNotAModification) {
    TShiftForm T;
    T.Cds->OnNewRecord = [&](TDataSet*) {
        T.Trace.push_back("OnNewRecord");
        T.Amount->SetAsString("0");
    };
    T.Cds->Append();
    EXPECT_EQ(T.Trace, (TTrace{"BeforeInsert:Browse", "BeforeScroll:Browse", "RowsAboutToBeInserted(3,3)",
                               "RowsInserted(3,3)", "EditingChanged", "OnNewRecord", "RecordChanged(AMOUNT)",
                               "RowChanged(3)", "AfterInsert:Insert", "AfterScroll:Insert"}));
    EXPECT_FALSE(T.Cds->Modified());
    EXPECT_EQ(T.Amount->AsString(), "0.00");
    T.Cds->First(); // leaves the untouched row: it goes away
    EXPECT_EQ(T.Cds->RecordCount(), 3);
    EXPECT_EQ(T.Cds->ChangeCount(), 0);
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsBrowse);

    T.Cds->Append();
    T.Name->SetAsString("夜班");
    EXPECT_TRUE(T.Cds->Modified());
    T.Cds->First(); // a typed row is kept, with its default
    EXPECT_EQ(T.Cds->RecordCount(), 4);
    T.Cds->Last();
    EXPECT_EQ(T.Name->AsString(), "夜班");
    EXPECT_EQ(T.Amount->AsString(), "0.00");

    // An OnNewRecord that raises leaves no row behind.
    T.Cds->OnNewRecord = [](TDataSet*) { throw EDatabaseError("不能新增"); };
    T.Trace.clear();
    EXPECT_THROW(T.Cds->Append(), EDatabaseError);
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(T.Cds->DisplayRowCount(), 4);
    EXPECT_EQ(T.Trace, (TTrace{"BeforeInsert:Browse", "BeforeScroll:Browse", "RowsAboutToBeInserted(4,4)",
                               "RowsInserted(4,4)", "EditingChanged", "RowsAboutToBeRemoved(4,4)",
                               "RowsRemoved(4,4)", "EditingChanged"}));
}

TEST(DataSetEventTest, Edit) {
    TShiftForm T;
    T.Cds->Next();
    T.Trace.clear();
    T.Cds->Edit();
    EXPECT_EQ(T.Trace, (TTrace{"BeforeEdit:Browse", "EditingChanged", "AfterEdit:Edit"}));
    EXPECT_EQ(T.Cds->RecNo(), 2);

    T.Trace.clear();
    T.Cds->Edit(); // already editing
    EXPECT_TRUE(T.Trace.empty());
    T.Cds->Cancel();
    T.Cds->Append();
    T.Trace.clear();
    T.Cds->Edit(); // already inserting
    EXPECT_TRUE(T.Trace.empty());
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsInsert);

    // On an empty set Edit starts a new row: the insert's events only.
    TShiftForm E(TRowSpec{});
    E.Cds->Edit();
    EXPECT_EQ(E.Trace, (TTrace{"BeforeInsert:Browse", "BeforeScroll:Browse", "RowsAboutToBeInserted(0,0)",
                               "RowsInserted(0,0)", "EditingChanged", "OnNewRecord:Insert",
                               "AfterInsert:Insert", "AfterScroll:Insert"}));
    EXPECT_EQ(E.Cds->State(), TDataSetState::dsInsert);
    EXPECT_EQ(E.Cds->RecNo(), 0);
    E.Name->SetAsString("早班");
    E.Cds->Post();
    EXPECT_EQ(E.Cds->RecordCount(), 1);
    EXPECT_EQ(E.Cds->RecNo(), 1);
}

TEST(DataSetEventTest, PostAndItsRefusals) {
    TShiftForm T;
    T.Cds->Next();
    T.Cds->Edit();
    T.Trace.clear();
    T.Name->SetAsString("夜班");
    EXPECT_EQ(T.Trace, (TTrace{"NAME.OnValidate=夜班:Edit", "NAME.OnChange=夜班", "RecordChanged(NAME)",
                               "RowChanged(1)"}));
    // A change handler that raises leaves the value set, and the controls still hear of it.
    T.Name->OnChange = [](TField*) { throw EAbort(); };
    T.Trace.clear();
    EXPECT_THROW(T.Name->SetAsString("夜班二"), EAbort);
    EXPECT_EQ(T.Trace, (TTrace{"NAME.OnValidate=夜班二:Edit", "RecordChanged(NAME)", "RowChanged(1)"}));
    EXPECT_EQ(T.Name->AsString(), "夜班二");
    T.Name->OnChange = nullptr;
    T.Name->SetAsString("夜班");

    T.Trace.clear();
    T.Cds->Post();
    EXPECT_EQ(T.Trace, (TTrace{"BeforePost:Edit", "RowChanged(1)", "EditingChanged", "AfterPost:Browse"}));
    EXPECT_EQ(T.Names(), (TNames{"早班", "夜班", "晚班"}));
    EXPECT_EQ(T.Cds->RecNo(), 2);

    T.Trace.clear();
    T.Cds->Post(); // nothing pending
    EXPECT_TRUE(T.Trace.empty());

    // A raising BeforePost keeps the row in edit with its values.
    T.Cds->Edit();
    T.Name->SetAsString("深夜班");
    T.Cds->BeforePost = [&](TDataSet*) {
        T.Trace.push_back("BeforePost");
        throw EDatabaseError("金额不对");
    };
    T.Trace.clear();
    EXPECT_THROW(T.Cds->Post(), EDatabaseError);
    EXPECT_EQ(T.Trace, TTrace{"BeforePost"});
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsEdit);
    EXPECT_TRUE(T.Cds->Modified());
    EXPECT_EQ(T.Name->AsString(), "深夜班");
    EXPECT_EQ(T.Cds->ChangeCount(), 1);
    T.Cds->Cancel();
    EXPECT_EQ(T.Name->AsString(), "夜班");

    // ... and a new row in insert, not stored.
    T.Cds->Append();
    T.Name->SetAsString("新班");
    EXPECT_THROW(T.Cds->Post(), EDatabaseError);
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsInsert);
    EXPECT_EQ(T.Name->AsString(), "新班");
    EXPECT_EQ(T.Cds->RecordCount(), 3);
    EXPECT_THROW(T.Cds->First(), EDatabaseError); // leaving posts, which is refused again
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsInsert);

    // A required field without a value: the control showing it is asked for the focus.
    T.Hook();
    T.Amount->SetRequired(true);
    T.Trace.clear();
    try {
        T.Cds->Post();
        ADD_FAILURE() << "a row without AMOUNT was posted";
    } catch (const EDatabaseError& E) {
        EXPECT_NE(E.Message().find("金额"), std::string::npos) << E.Message();
    }
    EXPECT_EQ(T.Trace, (TTrace{"BeforePost:Insert", "FocusControl(AMOUNT)"}));
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsInsert);
    EXPECT_EQ(T.Name->AsString(), "新班");
    T.Amount->SetAsString("9");
    T.Trace.clear();
    T.Cds->Post();
    EXPECT_EQ(T.Trace, (TTrace{"BeforePost:Insert", "RowChanged(3)", "EditingChanged", "AfterPost:Browse"}));
    EXPECT_EQ(T.Cds->RecNo(), 4);
    EXPECT_EQ(T.Cds->ChangeCount(), 2);
}

TEST(DataSetEventTest, CancelAndDelete) {
    TShiftForm T;
    T.Cds->Next();
    T.Cds->Edit();
    T.Name->SetAsString("夜班");
    T.Trace.clear();
    T.Cds->Cancel();
    EXPECT_EQ(T.Trace,
              (TTrace{"BeforeCancel:Edit", "RowChanged(1)", "EditingChanged", "AfterCancel:Browse"}));
    EXPECT_EQ(T.Name->AsString(), "中班");

    T.Cds->Insert();
    T.Name->SetAsString("夜班");
    T.Trace.clear();
    T.Cds->Cancel();
    EXPECT_EQ(T.Trace, (TTrace{"BeforeCancel:Insert", "RowsAboutToBeRemoved(1,1)", "RowsRemoved(1,1)",
                               "EditingChanged", "AfterCancel:Browse"}));
    EXPECT_EQ(T.Cds->RecNo(), 2);
    EXPECT_EQ(T.Name->AsString(), "中班");

    // Delete while inserting is a cancel.
    T.Cds->Append();
    T.Name->SetAsString("夜班");
    T.Trace.clear();
    T.Cds->Delete();
    EXPECT_EQ(T.Trace, (TTrace{"BeforeCancel:Insert", "RowsAboutToBeRemoved(3,3)", "RowsRemoved(3,3)",
                               "EditingChanged", "AfterCancel:Browse"}));
    EXPECT_EQ(T.Cds->RecordCount(), 3);

    T.Trace.clear();
    T.Cds->Delete();
    EXPECT_EQ(T.Trace,
              (TTrace{"BeforeDelete:Browse", "BeforeScroll:Browse", "RowsAboutToBeRemoved(1,1)",
                      "RowsRemoved(1,1)", "DataSetScrolled", "AfterDelete:Browse", "AfterScroll:Browse"}));
    EXPECT_EQ(T.Names(), (TNames{"早班", "晚班"}));
    EXPECT_EQ(T.Name->AsString(), "晚班");
    EXPECT_EQ(T.Cds->RecNo(), 2);

    // Deleting the row being edited drops the edit.
    T.Cds->Edit();
    T.Name->SetAsString("改");
    T.Trace.clear();
    T.Cds->Delete();
    EXPECT_EQ(T.Trace, (TTrace{"BeforeDelete:Edit", "BeforeScroll:Edit", "RowsAboutToBeRemoved(1,1)",
                               "RowsRemoved(1,1)", "EditingChanged", "DataSetScrolled", "AfterDelete:Browse",
                               "AfterScroll:Browse"}));
    EXPECT_EQ(T.Names(), TNames{"早班"});
    EXPECT_EQ(T.Cds->RecNo(), 1);
}

TEST(DataSetEventTest, SettingValues) {
    TShiftForm T;
    // Outside Edit and Insert nothing can be set.
    EXPECT_THROW(T.Name->SetAsString("夜班"), EDatabaseError);
    EXPECT_TRUE(T.Trace.empty());

    T.Cds->Edit();
    T.Trace.clear();
    // A read-only field is refused before any handler runs.
    T.Name->SetReadOnly(true);
    EXPECT_THROW(T.Name->SetAsString("夜班"), EDatabaseError);
    EXPECT_TRUE(T.Trace.empty());
    T.Name->SetReadOnly(false);

    // A raising validation keeps the previous value and the state.
    T.Name->OnValidate = [&](TField* F) {
        T.Trace.push_back("NAME.OnValidate=" + F->AsString());
        if (F->AsString() == "坏") throw EDatabaseError("名称不能是“坏”");
    };
    EXPECT_THROW(T.Name->SetAsString("坏"), EDatabaseError);
    EXPECT_EQ(T.Trace, TTrace{"NAME.OnValidate=坏"});
    EXPECT_EQ(T.Name->AsString(), "早班");
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsEdit);
    EXPECT_FALSE(T.Cds->Modified());

    // Other fields read their current values during validation; the validated one its proposal.
    T.Name->OnValidate = [&](TField* F) {
        T.Trace.push_back("validate " + F->AsString() + " with " + T.Amount->AsString() + ", stored " +
                          T.Cds->DisplayRowText(0, F));
    };
    T.Amount->SetAsString("7");
    T.Trace.clear();
    T.Name->SetAsString("好");
    EXPECT_EQ(T.Trace, (TTrace{"validate 好 with 7.00, stored 早班", "NAME.OnChange=好",
                               "RecordChanged(NAME)", "RowChanged(0)"}));

    // A value the field cannot hold reaches no handler.
    T.Trace.clear();
    EXPECT_THROW(T.Name->SetAsString("一二三四五六七八九十一"), EConvertError);
    EXPECT_TRUE(T.Trace.empty());
    EXPECT_EQ(T.Name->AsString(), "好");
}

TEST(DataSetEventTest, NavigationSettlesThePendingRow) {
    TShiftForm T;
    T.Cds->Next();
    EXPECT_EQ(T.Trace, (TTrace{"BeforeScroll:Browse", "DataSetScrolled", "AfterScroll:Browse"}));

    T.Cds->Edit();
    T.Amount->SetAsString("8");
    T.Trace.clear();
    T.Cds->Next();
    EXPECT_EQ(T.Trace, (TTrace{"BeforePost:Edit", "RowChanged(1)", "EditingChanged", "AfterPost:Browse",
                               "BeforeScroll:Browse", "DataSetScrolled", "AfterScroll:Browse"}));
    EXPECT_EQ(T.Cds->RecNo(), 3);
    EXPECT_EQ(T.Cds->ChangeCount(), 1);

    // Edit without a change: leaving it only cancels.
    T.Cds->Edit();
    T.Trace.clear();
    T.Cds->Prior();
    EXPECT_EQ(T.Trace, (TTrace{"BeforeCancel:Edit", "RowChanged(2)", "EditingChanged", "AfterCancel:Browse",
                               "BeforeScroll:Browse", "DataSetScrolled", "AfterScroll:Browse"}));
    EXPECT_EQ(T.Cds->ChangeCount(), 1);

    // Open and close.
    T.Trace.clear();
    T.Cds->Close();
    EXPECT_EQ(T.Trace,
              (TTrace{"BeforeClose:Browse", "ActiveChanged", "EditingChanged", "AfterClose:Inactive"}));
    EXPECT_EQ(T.Cds->RecordCount(), 0);
    EXPECT_THROW(T.Cds->First(), EDatabaseError);
    T.Trace.clear();
    T.Cds->Open();
    EXPECT_EQ(T.Trace,
              (TTrace{"BeforeOpen:Inactive", "ActiveChanged", "EditingChanged", "AfterOpen:Browse"}));
    EXPECT_TRUE(T.Cds->IsEmpty());
}

// ---- cursor ------------------------------------------------------------------------------

// Every verb that changes the state tells each link and each source once, the new state
// already in place; a verb that leaves the state as it was tells nobody.
TEST(DataSetStateTest, EveryChangeOfStateIsToldOnce) {
    using S = TDataSetState;
    using TStep = std::function<void(TShiftForm&)>;
    struct TCase {
        const char* Verb;
        TRowSpec Rows;
        TStep Setup, Run;
        std::vector<S> Told; // the state at each notice
    };
    const TRowSpec Three = {{"早班", "1.50"}, {"中班", "2.50"}, {"晚班", "3.00"}};
    auto Nothing = [](TShiftForm&) {};
    auto Edit = [](TShiftForm& T) { T.Cds->Edit(); };
    auto Modify = [](TShiftForm& T) {
        T.Cds->Edit();
        T.Name->SetAsString("夜班");
    };
    auto Append = [](TShiftForm& T) { T.Cds->Append(); };
    const std::vector<TCase> Cases = {
        {"Close", Three, Nothing, [](TShiftForm& T) { T.Cds->Close(); }, {S::dsInactive}},
        {"Open", Three, [](TShiftForm& T) { T.Cds->Close(); }, [](TShiftForm& T) { T.Cds->Open(); }, {S::dsBrowse}},
        {"Append", Three, Nothing, Append, {S::dsInsert}},
        {"Insert", Three, Nothing, [](TShiftForm& T) { T.Cds->Insert(); }, {S::dsInsert}},
        {"Edit", Three, Nothing, Edit, {S::dsEdit}},
        {"Edit while editing", Three, Edit, Edit, {}},
        {"Edit on an empty set", {}, Nothing, Edit, {S::dsInsert}},
        {"Post", Three, Modify, [](TShiftForm& T) { T.Cds->Post(); }, {S::dsBrowse}},
        {"Post in browse", Three, Nothing, [](TShiftForm& T) { T.Cds->Post(); }, {}},
        {"Cancel an edit", Three, Modify, [](TShiftForm& T) { T.Cds->Cancel(); }, {S::dsBrowse}},
        {"Cancel an insert", Three, Append, [](TShiftForm& T) { T.Cds->Cancel(); }, {S::dsBrowse}},
        {"Delete", Three, Nothing, [](TShiftForm& T) { T.Cds->Delete(); }, {}},
        {"Delete an edited row", Three, Modify, [](TShiftForm& T) { T.Cds->Delete(); }, {S::dsBrowse}},
        {"Delete a new row", Three, Append, [](TShiftForm& T) { T.Cds->Delete(); }, {S::dsBrowse}},
        {"Next off a modified row", Three, Modify, [](TShiftForm& T) { T.Cds->Next(); }, {S::dsBrowse}},
        {"Append refused by OnNewRecord", Three,
         [](TShiftForm& T) { T.Cds->OnNewRecord = [](TDataSet*) { throw EAbort(); }; },
         [](TShiftForm& T) { EXPECT_THROW(T.Cds->Append(), EAbort); }, {S::dsInsert, S::dsBrowse}},
        {"Reload while editing", Three, Modify,
         [](TShiftForm& T) {
             TShiftForm Other(TRowSpec{{"夜班", "4.00"}});
             T.Cds->SetXMLData(Other.Cds->GetXMLData());
         },
         {S::dsBrowse}},
        {"RevertRecord of an edit", Three, Modify, [](TShiftForm& T) { T.Cds->RevertRecord(); }, {S::dsBrowse}},
        {"RevertRecord in browse", Three,
         [](TShiftForm& T) {
             T.Cds->Edit();
             T.Name->SetAsString("夜班");
             T.Cds->Post();
         },
         [](TShiftForm& T) { T.Cds->RevertRecord(); }, {}},
    };

    class TStateLink : public TDataLink {
    public:
        std::vector<S> Told;

    protected:
        void EditingChanged() override { Told.push_back(DataSet()->State()); }
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Verb);
        TShiftForm T(C.Rows);
        C.Setup(T);
        TStateLink Link;
        Link.SetDataSource(T.Source);
        std::vector<S> SourceTold;
        T.Source->OnStateChange = [&SourceTold](TDataSource* Src) { SourceTold.push_back(Src->State()); };
        S Before = T.Cds->State();
        C.Run(T);
        EXPECT_EQ(Link.Told, C.Told);
        EXPECT_EQ(SourceTold, C.Told);
        EXPECT_EQ(T.Cds->State(), C.Told.empty() ? Before : C.Told.back());
    }
}

TEST(DataSetCursorTest, RecNoBofEofAndRecordCount) {
    TShiftForm E(TRowSpec{});
    EXPECT_EQ(E.Cds->RecNo(), 0);
    EXPECT_EQ(E.Cds->RecordCount(), 0);
    EXPECT_TRUE(E.Cds->Bof() && E.Cds->Eof() && E.Cds->IsEmpty());
    E.Cds->Next();
    E.Cds->Last();
    EXPECT_TRUE(E.Cds->Bof() && E.Cds->Eof());
    EXPECT_EQ(E.Cds->CurrentDisplayRow(), -1);
    EXPECT_THROW(E.Cds->Delete(), EDatabaseError);
    E.Cds->Append();
    EXPECT_FALSE(E.Cds->IsEmpty());
    EXPECT_EQ(E.Cds->RecNo(), 0);
    E.Cds->Cancel();
    EXPECT_TRUE(E.Cds->Bof() && E.Cds->Eof() && E.Cds->IsEmpty());

    TShiftForm T({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}});
    EXPECT_EQ(T.Cds->RecNo(), 1);
    EXPECT_TRUE(T.Cds->Bof());
    EXPECT_FALSE(T.Cds->Eof());
    T.Cds->Prior();
    EXPECT_EQ(T.Cds->RecNo(), 1);
    EXPECT_TRUE(T.Cds->Bof());
    T.Cds->Next();
    EXPECT_EQ(T.Cds->RecNo(), 2);
    EXPECT_FALSE(T.Cds->Bof() || T.Cds->Eof());
    T.Cds->Last();
    EXPECT_EQ(T.Cds->RecNo(), 4);
    EXPECT_TRUE(T.Cds->Eof());
    EXPECT_FALSE(T.Cds->Bof());
    T.Cds->Next();
    EXPECT_EQ(T.Cds->RecNo(), 4);
    EXPECT_TRUE(T.Cds->Eof());
    T.Cds->Prior();
    EXPECT_EQ(T.Cds->RecNo(), 3);
    EXPECT_FALSE(T.Cds->Eof());
    EXPECT_EQ(T.Cds->MoveBy(10), 1);
    EXPECT_TRUE(T.Cds->Eof());
    EXPECT_EQ(T.Cds->MoveBy(-10), -3);
    EXPECT_TRUE(T.Cds->Bof());
    T.Cds->SetRecNo(3);
    EXPECT_EQ(T.Name->AsString(), "c");
    T.Cds->SetRecNo(9);
    EXPECT_EQ(T.Cds->RecNo(), 3);

    // Inserting: RecNo 0, RecordCount without the new row.
    T.Cds->Insert();
    EXPECT_EQ(T.Cds->RecNo(), 0);
    EXPECT_EQ(T.Cds->RecordCount(), 4);
    EXPECT_EQ(T.Cds->DisplayRowCount(), 5);
    T.Name->SetAsString("x");
    T.Cds->Post();
    EXPECT_EQ(T.Cds->RecNo(), 3);
    EXPECT_EQ(T.Cds->RecordCount(), 5);

    // Walking forward visits every row once, in order.
    std::vector<std::string> Seen;
    for (T.Cds->First(); !T.Cds->Eof(); T.Cds->Next())
        Seen.push_back(T.Name->AsString());
    EXPECT_EQ(Seen, (TNames{"a", "b", "x", "c", "d"}));
    Seen.clear();
    for (T.Cds->Last(); !T.Cds->Bof(); T.Cds->Prior())
        Seen.push_back(T.Name->AsString());
    EXPECT_EQ(Seen, (TNames{"d", "c", "x", "b", "a"}));

    T.Cds->First();
    while (!T.Cds->Eof())
        T.Cds->Delete();
    EXPECT_EQ(T.Cds->RecordCount(), 0);
    EXPECT_TRUE(T.Cds->IsEmpty() && T.Cds->Bof());
    EXPECT_EQ(T.Cds->RecNo(), 0);
    EXPECT_EQ(T.Cds->ChangeCount(), 4); // the inserted row leaves no trace
}

// ---- rights ------------------------------------------------------------------------------

TEST(DataSetRightsTest, RefusedOperationsChangeNothing) {
    struct TCase {
        const char* What;
        bool Insert, Edit, Delete, ReadOnly;
    };
    for (const TCase& C :
         {TCase{"no insert", false, true, true, false}, TCase{"no edit", true, false, true, false},
          TCase{"no delete", true, true, false, false}, TCase{"read-only", true, true, true, true}}) {
        SCOPED_TRACE(C.What);
        TShiftForm T;
        T.Cds->SetPermissions(C.Insert, C.Edit, C.Delete);
        T.Cds->SetReadOnly(C.ReadOnly);
        T.Cds->Next();
        const std::string Before = T.Cds->GetXMLData();
        T.Trace.clear();
        auto Refused = [&](const char* Verb, bool Allowed, void (TDataSet::*Fn)()) {
            if (Allowed) return;
            EXPECT_THROW((T.Cds->*Fn)(), EDatabaseError) << Verb;
            EXPECT_EQ(T.Cds->State(), TDataSetState::dsBrowse) << Verb;
            EXPECT_EQ(T.Cds->RecNo(), 2) << Verb;
            EXPECT_EQ(T.Cds->GetXMLData(), Before) << Verb;
            EXPECT_TRUE(T.Trace.empty()) << Verb;
        };
        Refused("Append", T.Cds->CanInsert(), &TDataSet::Append);
        Refused("Insert", T.Cds->CanInsert(), &TDataSet::Insert);
        Refused("Edit", T.Cds->CanEdit(), &TDataSet::Edit);
        Refused("Delete", T.Cds->CanDelete(), &TDataSet::Delete);
        EXPECT_EQ(T.Cds->CanInsert(), C.Insert && !C.ReadOnly);
        EXPECT_EQ(T.Cds->CanEdit(), C.Edit && !C.ReadOnly);
        EXPECT_EQ(T.Cds->CanDelete(), C.Delete && !C.ReadOnly);
    }

    // A refused new row does not post the row being edited either.
    TShiftForm P;
    P.Cds->Edit();
    P.Name->SetAsString("夜班");
    P.Cds->SetPermissions(false, true, true);
    P.Trace.clear();
    EXPECT_THROW(P.Cds->Append(), EDatabaseError);
    EXPECT_TRUE(P.Trace.empty());
    EXPECT_EQ(P.Cds->State(), TDataSetState::dsEdit);
    EXPECT_TRUE(P.Cds->Modified());
    EXPECT_EQ(P.Cds->ChangeCount(), 0);
    P.Cds->Cancel();
    EXPECT_EQ(P.Name->AsString(), "早班");

    // Edit on an empty set is an insert, and needs the right to insert.
    TShiftForm E(TRowSpec{});
    E.Cds->SetPermissions(false, true, true);
    EXPECT_THROW(E.Cds->Edit(), EDatabaseError);
    EXPECT_EQ(E.Cds->State(), TDataSetState::dsBrowse);
    E.Cds->SetPermissions(true, false, false);
    E.Cds->Edit();
    EXPECT_EQ(E.Cds->State(), TDataSetState::dsInsert);
    E.Cds->Delete(); // cancels the new row; nothing stored is deleted
    EXPECT_EQ(E.Cds->State(), TDataSetState::dsBrowse);
}

// ---- data links --------------------------------------------------------------------------

TEST(DataSetLinkTest, RowNotificationsDisableControlsAndFocus) {
    TShiftForm T;
    T.Cds->Next();
    T.Cds->Insert();
    T.Name->SetAsString("夜班");
    T.Cds->Post();
    EXPECT_EQ(T.Trace, (TTrace{"BeforeScroll:Browse", "DataSetScrolled", "AfterScroll:Browse",
                               "BeforeInsert:Browse", "BeforeScroll:Browse", "RowsAboutToBeInserted(1,1)",
                               "RowsInserted(1,1)", "EditingChanged", "OnNewRecord:Insert",
                               "AfterInsert:Insert", "AfterScroll:Insert", "NAME.OnValidate=夜班:Insert",
                               "NAME.OnChange=夜班", "RecordChanged(NAME)", "RowChanged(1)",
                               "BeforePost:Insert", "RowChanged(1)", "EditingChanged", "AfterPost:Browse"}));

    // With controls disabled the links hear nothing; enabling them makes them re-read.
    T.Trace.clear();
    T.Cds->DisableControls();
    T.Cds->DisableControls();
    T.Cds->Append();
    T.Name->SetAsString("深夜班");
    T.Cds->Post();
    T.Cds->First();
    T.Cds->Delete();
    T.Cds->EnableControls();
    EXPECT_TRUE(T.Cds->ControlsDisabled());
    TTrace Events;
    for (const std::string& E : T.Trace)
        if (E.find(':') == std::string::npos && E.rfind("NAME.", 0) != 0) Events.push_back(E);
    EXPECT_TRUE(Events.empty()) << Events.front();
    T.Trace.clear();
    T.Cds->EnableControls();
    EXPECT_FALSE(T.Cds->ControlsDisabled());
    ASSERT_FALSE(T.Trace.empty());
    EXPECT_EQ(T.Trace.front(), "DataSetChanged");
    EXPECT_EQ(T.Names(), (TNames{"夜班", "中班", "晚班", "深夜班"}));

    // A new packet: everything re-read.
    T.Trace.clear();
    T.Cds->SetXMLData(T.Cds->GetXMLData());
    EXPECT_NE(std::find(T.Trace.begin(), T.Trace.end(), "DataSetChanged"), T.Trace.end());
    EXPECT_EQ(std::count_if(T.Trace.begin(), T.Trace.end(),
                            [](const std::string& E) { return E.find(':') != std::string::npos; }),
              0); // no open/close handlers run for a reload

    // Focus requests reach the first link that handles them.
    TTrace Other;
    TRecordingLink Second(Other);
    Second.SetDataSource(T.Source);
    Other.clear();
    T.Trace.clear();
    T.Link.HandlesFocus = true;
    T.Amount->FocusControl();
    EXPECT_EQ(T.Trace, TTrace{"FocusControl(AMOUNT)"});
    EXPECT_TRUE(Other.empty());
    T.Link.HandlesFocus = false;
    T.Amount->FocusControl();
    EXPECT_EQ(Other, TTrace{"FocusControl(AMOUNT)"});

    // Without any link it is a no-op.
    T.Link.SetDataSource(nullptr);
    Second.SetDataSource(nullptr);
    T.Trace.clear();
    T.Amount->FocusControl();
    EXPECT_TRUE(T.Trace.empty());
    TStringField Loose(nullptr);
    Loose.FocusControl();
}

// ---- search ------------------------------------------------------------------------------

TEST(DataSetLocateTest, FieldListsOptionsAndValuesThatCannotMatch) {
    TShiftForm T({{"Early", "1.50"}, {"early bird", "2.50"}, {"中班", "3.00"}, {"EARLY", "3.00"}});
    auto At = [&](bool Found) { return Found ? T.Cds->RecNo() : -T.Cds->RecNo(); };
    EXPECT_EQ(At(T.Cds->Locate("NAME", "early")), -1); // exact by default; the cursor stays
    EXPECT_EQ(At(T.Cds->Locate("NAME", "early", {TLocateOption::loCaseInsensitive})), 1);
    EXPECT_EQ(At(T.Cds->Locate("NAME", "EARLY")), 4);
    EXPECT_EQ(At(T.Cds->Locate("NAME", "early b", {TLocateOption::loPartialKey})), 2);
    EXPECT_EQ(
        At(T.Cds->Locate("NAME", "EARLY B", {TLocateOption::loPartialKey, TLocateOption::loCaseInsensitive})),
        2);
    EXPECT_EQ(At(T.Cds->Locate("NAME", "中", {TLocateOption::loPartialKey})), 3);
    EXPECT_EQ(At(T.Cds->Locate("NAME", "中")), -3);

    EXPECT_EQ(At(T.Cds->Locate(" AMOUNT ;NAME ", {Variant("3"), Variant("EARLY")})), 4);
    EXPECT_EQ(At(T.Cds->Locate("ID; AMOUNT", {Variant(2), Variant(2.5)})), 2);
    // A decimal key given as an integer, as text or as another decimal.
    EXPECT_EQ(At(T.Cds->Locate("AMOUNT", 3)), 3);
    EXPECT_EQ(At(T.Cds->Locate("AMOUNT", "1.5")), 1);
    EXPECT_EQ(At(T.Cds->Locate("AMOUNT", Variant(TBcd::Parse("2.5000", 4)))), 2);
    EXPECT_EQ(At(T.Cds->Locate("ID", "4")), 4);

    // Values the field cannot hold match nothing and move nothing.
    for (const Variant& V : {Variant("abc"), Variant(1.5), Variant(5000000000LL)})
        EXPECT_FALSE(T.Cds->Locate("ID", V));
    EXPECT_FALSE(T.Cds->Locate("NAME", "一二三四五六七八九十一"));
    EXPECT_FALSE(T.Cds->Locate("AMOUNT", "1e99"));
    EXPECT_FALSE(T.Cds->Locate("AMOUNT", "12345678901"));
    EXPECT_EQ(T.Cds->RecNo(), 4);
    EXPECT_THROW(T.Cds->Locate("NOPE", 1), EDatabaseError);
    EXPECT_THROW(T.Cds->Locate("ID;NAME", 1), EDatabaseError);

    // Null matches null only.
    T.Cds->Append();
    T.Id->SetAsInteger(5);
    T.Cds->Post();
    EXPECT_EQ(At(T.Cds->Locate("NAME", Variant())), 5);
    EXPECT_EQ(At(T.Cds->Locate("NAME;ID", {Variant(), Variant(5)})), 5);
    EXPECT_FALSE(T.Cds->Locate("NAME;ID", {Variant(), Variant(1)}));

    // A pending row is settled before searching.
    T.Cds->First();
    T.Cds->Edit();
    T.Name->SetAsString("Dawn");
    EXPECT_TRUE(T.Cds->Locate("NAME", "Dawn"));
    EXPECT_EQ(T.Cds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(T.Cds->RecNo(), 1);

    EXPECT_EQ(T.Cds->Lookup("ID", {Variant(3)}, "NAME"), Variant("中班"));
    EXPECT_TRUE(T.Cds->Lookup("ID", {Variant(42)}, "NAME").IsNull());
    EXPECT_TRUE(T.Cds->Lookup("ID", {Variant("x")}, "NAME").IsNull());
    EXPECT_EQ(T.Cds->RecNo(), 1); // Lookup does not move
}

namespace {

enum class TModelOp { Append, Insert, Edit, Delete, DeleteLast, Move, Revert, Search };

// Runs Steps random operations (drawn from Mix; the first Appends are appends) against
// the data set and a model of its rows, and checks Locate and FindRecNos against a plain
// scan of the model whenever Mix draws Search.
void RunLocateModel(unsigned Seed, int Steps, int Appends, const std::vector<TModelOp>& Mix) {
    TShiftForm T(TRowSpec{});
    struct TRow {
        int Id;
        std::string Name;
        // The change log's view of the row, for RevertRecord: an insertion since the last
        // merge, or a row whose loaded values Original keeps.
        bool Inserted = true;
        std::optional<std::pair<int, std::string>> Original;
    };
    std::vector<TRow> Model;
    int Cursor = -1;
    std::mt19937 Rng(Seed);
    auto Pick = [&](int N) { return static_cast<int>(Rng() % static_cast<unsigned>(N)); };
    const std::vector<std::string> Pool = {"早班", "中班", "晚班", "夜班", "a", "B", ""};
    auto Check = [&](int Step) {
        int Kind = Pick(3);
        int Id = Pick(12);
        std::string Name = Pool[static_cast<std::size_t>(Pick(static_cast<int>(Pool.size())))];
        std::vector<int> All; // record numbers, ascending
        for (std::size_t I = 0; I < Model.size(); ++I) {
            bool IdOk = Model[I].Id == Id, NameOk = Model[I].Name == Name;
            if ((Kind == 0 && IdOk) || (Kind == 1 && NameOk) || (Kind == 2 && IdOk && NameOk))
                All.push_back(static_cast<int>(I) + 1);
        }
        const int Want = All.empty() ? -1 : All.front() - 1;
        const Variant NameValue = Name.empty() ? Variant() : Variant(Name);
        const std::vector<int> Listed = Kind == 0 ? T.Cds->FindRecNos({T.Id}, {Variant(Id)})
                                        : Kind == 1
                                            ? T.Cds->FindRecNos({T.Name}, {NameValue})
                                            : T.Cds->FindRecNos({T.Id, T.Name}, {Variant(Id), NameValue});
        ASSERT_EQ(Listed, All) << "step " << Step << " kind " << Kind << " id " << Id << " name " << Name;
        bool Found =
            Kind == 0   ? T.Cds->Locate("ID", Id)
            : Kind == 1 ? T.Cds->Locate("NAME", Name.empty() ? Variant() : Variant(Name))
                        : T.Cds->Locate("ID ; NAME", {Variant(Id), Name.empty() ? Variant() : Variant(Name)});
        ASSERT_EQ(Found, Want >= 0) << "step " << Step << " kind " << Kind << " id " << Id << " name "
                                    << Name;
        if (Found) Cursor = Want;
        ASSERT_EQ(T.Cds->RecNo(), Cursor + 1) << "step " << Step;
    };
    auto SetRow = [&](TRow& R) {
        R.Id = Pick(12);
        R.Name = Pool[static_cast<std::size_t>(Pick(static_cast<int>(Pool.size())))];
        T.Id->SetAsInteger(R.Id);
        T.Name->SetText(R.Name); // "" stores null
    };
    using enum TModelOp;
    for (int Step = 0; Step < Steps; ++Step) {
        TModelOp Op = Mix[static_cast<std::size_t>(Pick(static_cast<int>(Mix.size())))];
        if (Op == Append || Step < Appends || Model.empty()) {
            TRow R{};
            T.Cds->Append();
            SetRow(R);
            T.Cds->Post();
            Model.push_back(R);
            Cursor = static_cast<int>(Model.size()) - 1;
        } else if (Op == Insert) {
            TRow R{};
            T.Cds->Insert();
            SetRow(R);
            T.Cds->Post();
            Model.insert(Model.begin() + Cursor, R);
        } else if (Op == Edit) {
            TRow& R = Model[static_cast<std::size_t>(Cursor)];
            const std::pair<int, std::string> Before{R.Id, R.Name};
            T.Cds->Edit();
            SetRow(R);
            T.Cds->Post();
            if (!R.Inserted && !R.Original && Before != std::pair{R.Id, R.Name}) R.Original = Before;
        } else if (Op == Revert) {
            TRow& R = Model[static_cast<std::size_t>(Cursor)];
            T.Cds->RevertRecord();
            if (R.Inserted) {
                Model.erase(Model.begin() + Cursor);
                Cursor = std::min(Cursor, static_cast<int>(Model.size()) - 1);
            } else if (R.Original) {
                std::tie(R.Id, R.Name) = *R.Original;
                R.Original.reset();
            }
        } else if (Op == Delete) {
            T.Cds->Delete();
            Model.erase(Model.begin() + Cursor);
            Cursor = std::min(Cursor, static_cast<int>(Model.size()) - 1);
        } else if (Op == DeleteLast) {
            T.Cds->Last();
            T.Cds->Delete();
            Model.pop_back();
            Cursor = static_cast<int>(Model.size()) - 1;
        } else if (Op == Move) {
            Cursor = Pick(static_cast<int>(Model.size()));
            T.Cds->SetRecNo(Cursor + 1);
        } else {
            Check(Step);
            if (::testing::Test::HasFatalFailure()) return;
        }
        if (Step % 97 == 0) {
            T.Cds->MergeChangeLog();
            for (TRow& R : Model)
                R = {R.Id, R.Name, false, {}};
        }
        ASSERT_EQ(T.Cds->RecNo(), Cursor + 1) << "step " << Step << " op " << static_cast<int>(Op);
    }
    ASSERT_EQ(T.Cds->RecordCount(), static_cast<int>(Model.size()));
    for (std::size_t I = 0; I < Model.size(); ++I) {
        EXPECT_EQ(T.Cds->DisplayRowValue(static_cast<int>(I), T.Id), Variant(Model[I].Id)) << I;
        EXPECT_EQ(T.Cds->DisplayRowText(static_cast<int>(I), T.Name), Model[I].Name) << I;
    }
}

} // namespace

// Locate keeps finding the first matching row, and FindRecNos every matching row in
// order, while rows are appended, inserted in the middle, edited, deleted and reverted, checked
// against a plain scan of a model of the rows.
TEST(DataSetLocateTest, AgreesWithAScanThroughEdits) {
    using enum TModelOp;
    RunLocateModel(20240229, 700, 0,
                   {Append, Append, Append, Insert, Edit, Edit, Delete, DeleteLast, Move, Revert, Search,
                    Search, Search});
}

// The same, on a set of a few hundred rows that mostly changes away from its end, searched
// right after such changes: the index follows rows whose positions moved, many times over
// the number of changes it notes before renumbering, and rows inserted since then.
TEST(DataSetLocateTest, AgreesWithAScanThroughManyChangesInTheMiddle) {
    using enum TModelOp;
    for (unsigned Seed : {7u, 1234u}) {
        SCOPED_TRACE(Seed);
        RunLocateModel(Seed, 3000, 300,
                       {Insert, Insert, Insert, Delete, Delete, Delete, Edit, Revert, Move, Move, Append,
                        Search, Search, Search, Search});
        if (HasFatalFailure()) return;
    }
}

// ---- bulk load ---------------------------------------------------------------------------

// LoadRows settles a pending edit, adds rows that are there rather than new (nothing logged,
// no editing event, one reset for the links), every value through its field's rules; a
// value the rules refuse leaves the set as it was.
TEST(DataSetBulkLoadTest, LoadRowsAddsCheckedStoredRowsWithOneReset) {
    TShiftForm T;
    using TRowValues = std::vector<Variant>;
    auto Load = [&](std::vector<TRowValues> Source) {
        std::size_t Next = 0;
        T.Cds->LoadRows([&](std::vector<Variant>& Values) {
            if (Next == Source.size()) return false;
            Values = Source[Next++];
            return true;
        });
    };
    T.Cds->Last();
    T.Cds->Edit();
    T.Name->SetAsString("白班");
    T.Trace.clear();
    Load({{Variant(4), Variant("夜班"), Variant("12.345")}, {Variant("5"), Variant(), Variant(7)}});
    EXPECT_EQ(T.Trace, (TTrace{"BeforePost:Edit", "RowChanged(2)", "EditingChanged", "AfterPost:Browse",
                               "DataSetChanged"}));
    EXPECT_EQ(T.Names(), (TNames{"早班", "中班", "白班", "夜班", ""}));
    EXPECT_EQ(T.Cds->DisplayRowText(3, T.Amount), "12.35"); // rounded half away from zero
    EXPECT_EQ(T.Cds->DisplayRowText(4, T.Amount), "7.00");
    EXPECT_EQ(T.Cds->DisplayRowValue(4, T.Id), Variant(5));
    EXPECT_EQ(T.Cds->ChangeCount(), 1); // the posted edit alone
    EXPECT_EQ(T.Cds->RecNo(), 1);
    EXPECT_EQ(T.Cds->FindRecNos({T.Id}, {Variant(4)}), std::vector<int>{4});

    const std::string Before = T.Cds->GetXMLData();
    T.Trace.clear();
    try {
        Load({{Variant(6), Variant("早班"), Variant()},
              {Variant(7), Variant("一二三四五六七八九十一"), Variant()}});
        ADD_FAILURE() << "a name longer than its field was loaded";
    } catch (const EConvertError& E) {
        EXPECT_STREQ(E.what(), "字段“名称”的值“一二三四五六七八九十一”超过 10 个字符的长度限制。");
    }
    EXPECT_THROW(Load({{Variant(8), Variant(), Variant("1e400")}}), EConvertError);
    EXPECT_EQ(T.Cds->GetXMLData(), Before);
    EXPECT_TRUE(T.Trace.empty());
}

// ---- lookup fields -----------------------------------------------------------------------

namespace {

const char* ShiftList =
    R"(<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>)"
    R"(<FIELD attrname="SHF_ID" fieldtype="i4"/><FIELD attrname="SHF_NAME" fieldtype="string" WIDTH="10"/>)"
    R"(</FIELDS><PARAMS/></METADATA><ROWDATA><ROW SHF_ID="1" SHF_NAME="早班"/><ROW SHF_ID="2" SHF_NAME="晚班"/>)"
    R"(<ROW SHF_ID="3" SHF_NAME="夜班"/></ROWDATA></DATAPACKET>)";

struct TLookupForm {
    TComponent Form{nullptr};
    TOrvClientDataSet* Shifts = new TOrvClientDataSet(&Form);
    TOrvClientDataSet* Rows = new TOrvClientDataSet(&Form);
    TBCDField* ShiftId = new TBCDField(&Form);
    TStringField* ShiftName = new TStringField(&Form);
    TBCDField* Amount = new TBCDField(&Form);

    TLookupForm() {
        Shifts->SetXMLData(ShiftList);
        ShiftId->SetFieldName("SHF_ID");
        ShiftId->SetPrecision(4);
        ShiftId->SetSize(0);
        ShiftId->SetDataSet(Rows);
        ShiftName->SetFieldName("SHF_NAME");
        ShiftName->SetDisplayLabel("班次");
        ShiftName->SetFieldKind(TFieldKind::fkLookup);
        ShiftName->SetKeyFields("SHF_ID");
        ShiftName->SetLookupDataSet(Shifts);
        ShiftName->SetLookupKeyFields("SHF_ID");
        ShiftName->SetLookupResultField("SHF_NAME");
        ShiftName->SetDataSet(Rows);
        Amount->SetFieldName("CMS_VAL");
        Amount->SetSize(2);
        Amount->SetDataSet(Rows);
        Rows->CreateDataSet();
        for (int Id : {2, 9, 1}) {
            Rows->Append();
            ShiftId->SetAsInteger(Id);
            Amount->SetAsInteger(Id * 10);
            Rows->Post();
        }
        Rows->First();
    }

    std::vector<std::string> Column() const {
        std::vector<std::string> Out;
        for (int R = 0; R < Rows->DisplayRowCount(); ++R)
            Out.push_back(Rows->DisplayRowText(R, ShiftName));
        return Out;
    }
};

} // namespace

// Lookup finds a stored row; a looked-up result must be read from that row, not from the
// row a grid shows at that number (they differ while a row is being inserted or edited).
TEST(DataSetLookupTest, LookupReadsTheStoredRowItFound) {
    TLookupForm T; // stored rows: SHF_ID 2, 9, 1
    auto NameOf = [&](int Id) { return T.Rows->Lookup("SHF_ID", {Variant(Id)}, "SHF_NAME"); };
    T.Rows->First();
    T.Rows->Insert(); // shown above every stored row
    T.ShiftId->SetAsInteger(3);
    EXPECT_EQ(NameOf(2), Variant("晚班"));
    EXPECT_EQ(NameOf(1), Variant("早班"));
    EXPECT_TRUE(NameOf(9).IsNull());
    T.Rows->Cancel();
    T.Rows->Edit();
    T.ShiftId->SetAsInteger(3); // not stored yet
    EXPECT_EQ(NameOf(2), Variant("晚班"));
    EXPECT_TRUE(NameOf(3).IsNull());
    T.Rows->Cancel();
}

TEST(DataSetLookupTest, ShowsSetsAndSearchesLookedUpValues) {
    TLookupForm T;
    EXPECT_EQ(T.Rows->DataFieldCount(), 2);
    EXPECT_EQ(T.ShiftName->FieldNo(), -1);
    EXPECT_EQ(T.Column(), (TNames{"晚班", "", "早班"}));
    EXPECT_EQ(T.ShiftName->AsString(), "晚班");
    T.Rows->Next();
    EXPECT_TRUE(T.ShiftName->IsNull()); // key 9 matches nothing

    // Choosing a shown value sets the key.
    T.Rows->Edit();
    T.ShiftName->SetAsString("夜班");
    EXPECT_EQ(T.ShiftId->AsInteger(), 3);
    EXPECT_EQ(T.ShiftName->AsString(), "夜班");
    EXPECT_THROW(T.ShiftName->SetAsString("白班"), EConvertError);
    EXPECT_EQ(T.ShiftId->AsInteger(), 3);
    T.Rows->Post();
    EXPECT_EQ(T.Column(), (TNames{"晚班", "夜班", "早班"}));
    T.Rows->Edit();
    T.ShiftName->Clear();
    EXPECT_TRUE(T.ShiftId->IsNull());
    T.Rows->Cancel();

    // The row being inserted shows its looked-up value, and the rows after it keep theirs.
    T.Rows->First();
    T.Rows->Next();
    T.Rows->Insert();
    EXPECT_EQ(T.Column(), (TNames{"晚班", "", "夜班", "早班"}));
    T.ShiftId->SetAsInteger(1);
    EXPECT_EQ(T.Column(), (TNames{"晚班", "早班", "夜班", "早班"}));
    EXPECT_EQ(T.ShiftName->DisplayText(), "早班");
    T.Rows->Post();
    EXPECT_TRUE(T.Rows->Locate("SHF_NAME", "夜班"));
    EXPECT_EQ(T.Rows->RecNo(), 3);
    EXPECT_EQ(T.ShiftName->PacketTypeName(), "string(20) lookup");

    // The lookup set going away leaves empty values, not dangling ones.
    delete T.Shifts;
    EXPECT_TRUE(T.ShiftName->IsNull());
    EXPECT_EQ(T.Column(), (TNames{"", "", "", ""}));
    T.Rows->Edit();
    EXPECT_THROW(T.ShiftName->SetAsString("早班"), EDatabaseError);
}

// ---- lifetimes ---------------------------------------------------------------------------

TEST(DataSetLifetimeTest, ComponentsGoingAwayUnhookThemselves) {
    auto T = std::make_unique<TShiftForm>();
    TRecordingLink Late(T->Trace);
    Late.SetDataSource(T->Source);
    EXPECT_TRUE(Late.Active());

    // A field freed while the set is open closes the set: its structure is gone.
    delete T->Amount;
    T->Amount = nullptr;
    EXPECT_FALSE(T->Cds->Active());
    EXPECT_EQ(T->Cds->FieldCount(), 2);
    EXPECT_THROW(T->Cds->FieldByName("AMOUNT"), EDatabaseError);
    T->Cds->Open();
    T->Cds->Append();
    T->Name->SetAsString("早班");
    T->Cds->Post();
    EXPECT_EQ(T->Cds->RecordCount(), 1);

    // The set freed under its data source, then the source under its links.
    T->Trace.clear();
    delete T->Cds;
    T->Cds = nullptr;
    EXPECT_EQ(T->Source->DataSet(), nullptr);
    EXPECT_EQ(Late.DataSet(), nullptr);
    EXPECT_FALSE(Late.Active());
    EXPECT_GE(std::count(T->Trace.begin(), T->Trace.end(), "ActiveChanged"), 2); // both links told
    EXPECT_EQ(T->Name->DataSet(), nullptr);
    EXPECT_THROW(T->Name->AsString(), EDatabaseError);
    delete T->Source;
    T->Source = nullptr;
    EXPECT_EQ(Late.DataSource(), nullptr);
    EXPECT_EQ(T->Link.DataSource(), nullptr);
    T.reset();
}

TEST(DataSetLifetimeTest, FieldNamesStayUnique) {
    TShiftForm T;
    EXPECT_THROW(T.Name->SetFieldName("id"), EDatabaseError);
    EXPECT_EQ(T.Name->FieldName(), "NAME");
    TComponent Form(nullptr);
    TOrvClientDataSet Other(&Form);
    auto* A = new TStringField(&Form);
    A->SetFieldName("CODE");
    A->SetDataSet(&Other);
    auto* B = new TStringField(&Form);
    B->SetFieldName("code");
    EXPECT_THROW(B->SetDataSet(&Other), EDatabaseError);
    EXPECT_EQ(B->DataSet(), nullptr);
    EXPECT_EQ(Other.FieldCount(), 1);
    EXPECT_THROW(Other.GetXMLData(), EDatabaseError); // not open
    TOrvClientDataSet Bare(nullptr);
    EXPECT_THROW(Bare.Open(), EDatabaseError); // nothing to open
    EXPECT_FALSE(Bare.Active());
}
