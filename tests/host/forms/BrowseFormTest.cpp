#include "HeadlessFixture.h"

#include "host/forms/BrowseFrm.h"
#include "host/forms/Cformsres.h"

using namespace orv;

namespace {

const char* TwoRows = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="ID" fieldtype="fixed" WIDTH="4" DECIMALS="0"/>
<FIELD attrname="VAL" fieldtype="fixed" WIDTH="12" DECIMALS="2"/>
</FIELDS><PARAMS/></METADATA><ROWDATA><ROW ID="1" VAL="10.00"/><ROW ID="2" VAL="20.00"/>
</ROWDATA></DATAPACKET>)";

// What the test window's server side does, and what the window saw.
struct TScript {
    bool View = true;
    bool Modify = true;
    std::string Packet = TwoRows;
    bool LoadThrows = false;
    bool SaveResult = true;
    std::string SaveError;
    bool RecordCanModify = true;
    int Loads = 0;
    int Saves = 0;
    int PostSaves = 0;
    int ChangesAtSave = -1;
    std::vector<std::string> Trace;
};

class TTestBrowseForm : public TBrowseForm {
public:
    TTestBrowseForm(TComponent* Owner, TScript& S) : TBrowseForm(Owner), FScript(S) {
        SetName("TestBrowseForm");
        SetCaption("测试窗口");
        ID = new TBCDField(this);
        ID->SetFieldName("ID");
        ID->SetPrecision(4);
        ID->SetSize(0);
        ID->SetDataSet(cdsMain);
        VAL = new TBCDField(this);
        VAL->SetFieldName("VAL");
        VAL->SetPrecision(12);
        VAL->SetSize(2);
        VAL->SetDataSet(cdsMain);
        grdMain->AddColumn("ID");
        grdMain->AddColumn("VAL");
        cdsMain->BeforePost = [this](TDataSet*) {
            if (VAL->IsNull()) {
                VAL->FocusControl();
                throw TUserException("“VAL”不能为空。", Caption());
            }
        };
    }

    bool InitRights() override {
        Permission1 = FScript.View;
        Permission2 = Permission3 = Permission4 = FScript.Modify;
        Permission5 = Permission1;
        return Permission1;
    }
    void GetData() override {
        ++FScript.Loads;
        if (FScript.LoadThrows) throw TUserException("读取失败。", Caption());
        cdsMain->SetXMLData(FScript.Packet);
    }
    bool Save(std::string& ErrorMsg) override {
        ++FScript.Saves;
        FScript.ChangesAtSave = cdsMain->ChangeCount();
        if (!FScript.SaveResult) ErrorMsg = FScript.SaveError;
        return FScript.SaveResult;
    }
    void PostSave() override { ++FScript.PostSaves; }
    bool GetRecordCanModify() override { return FScript.RecordCanModify; }
    void cdsMainBeforeEdit(TDataSet* D) override {
        FScript.Trace.push_back("window before edit");
        TBrowseForm::cdsMainBeforeEdit(D);
        FScript.Trace.push_back("window after framework");
    }

    TBCDField* ID;
    TBCDField* VAL;

private:
    TScript& FScript;
};

class BrowseFormTest : public HeadlessTest {
protected:
    TTestBrowseForm* Open() {
        auto* F = new TTestBrowseForm(Application, S);
        F->Show();
        return F;
    }
    void Edit(TTestBrowseForm* F, int Row, const char* Value) {
        WS.UserSelectCell(F->grdMain, Row, 1);
        WS.UserTypeIntoCell(F->grdMain, Value);
    }
    TScript S;
};

} // namespace

TEST_F(BrowseFormTest, WithoutTheViewRightTheUserIsToldAndTheWindowIsReleasedUnshown) {
    S.View = false;
    Application->HandleEvent([&] { Open(); });
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, "您没有查看“测试窗口”的权限。");
    EXPECT_EQ(WS.Messages()[0].Caption, "测试窗口");
    EXPECT_TRUE(WS.ShownForms().empty());
    EXPECT_EQ(S.Loads, 0);
    EXPECT_TRUE(Application->Forms().empty());
}

TEST_F(BrowseFormTest, AFailingLoadReachesTheCallerAndTheWindowIsNeverShown) {
    S.LoadThrows = true;
    TTestBrowseForm* F = new TTestBrowseForm(Application, S);
    try {
        F->Show();
        FAIL() << "Show should have raised";
    } catch (const TUserException& E) {
        EXPECT_EQ(E.Message(), "读取失败。");
        EXPECT_EQ(E.Title(), "测试窗口");
    }
    EXPECT_FALSE(F->Visible());
    EXPECT_TRUE(WS.ShownForms().empty());
    // The caller still finds it with its owner until the event is over.
    EXPECT_EQ(Application->Forms().size(), 1u);
    Application->ProcessMessages();
    EXPECT_TRUE(Application->Forms().empty());
}

TEST_F(BrowseFormTest, StatusFollowsTheDataThroughEditsPostsSavesAndDeletes) {
    TTestBrowseForm* F = Open();
    EXPECT_EQ(WS.ShownForms(), std::vector<std::string>{"TestBrowseForm"});
    EXPECT_EQ(F->Status(), 2);
    EXPECT_EQ(F->txtCount->Caption(), "2");
    EXPECT_FALSE(F->actSave->Enabled());

    Edit(F, 0, "11");
    EXPECT_EQ(F->Status(), 3);
    EXPECT_TRUE(F->actSave->Enabled());
    WS.UserSelectCell(F->grdMain, 1, 1);
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(F->Status(), 3);

    EXPECT_TRUE(WS.UserClick(F->btnSave));
    EXPECT_EQ(S.Saves, 1);
    EXPECT_EQ(S.ChangesAtSave, 1);
    EXPECT_EQ(S.PostSaves, 1);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 0);
    EXPECT_EQ(F->Status(), 2);

    WS.QueueAnswer(IDYES);
    WS.QueueAnswer(IDYES);
    WS.UserExecute(F->actDelete);
    WS.UserExecute(F->actDelete);
    EXPECT_EQ(F->txtCount->Caption(), "0");
    EXPECT_EQ(F->Status(), 3);
    WS.UserShortCut(F, ShortCut('S', scCtrl));
    EXPECT_EQ(F->Status(), 1);
    EXPECT_FALSE(F->actDelete->Enabled());

    // An untouched new row is no change (leaving it drops it), yet delete drops it too.
    WS.UserExecute(F->actNew);
    EXPECT_EQ(F->Status(), 1);
    EXPECT_FALSE(F->actSave->Enabled());
    EXPECT_TRUE(F->actDelete->Enabled());
    WS.UserExecute(F->actDelete);
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(F->Status(), 1);
}

TEST_F(BrowseFormTest, WithoutTheModifyRightTheDataSetItselfRefusesChanges) {
    S.Modify = false;
    TTestBrowseForm* F = Open();
    EXPECT_FALSE(F->actNew->Enabled());
    EXPECT_FALSE(F->btnDelete->Enabled());
    EXPECT_FALSE(F->actSave->Enabled());
    EXPECT_THROW(F->cdsMain->Append(), EDatabaseError);
    EXPECT_THROW(F->cdsMain->Edit(), EDatabaseError);
    EXPECT_THROW(F->cdsMain->Delete(), EDatabaseError);
    Edit(F, 0, "99");
    EXPECT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 0);
    EXPECT_EQ(F->VAL->AsString(), "10.00");
}

TEST_F(BrowseFormTest, ARefusedSaveShowsTheReasonAndKeepsEveryChange) {
    TTestBrowseForm* F = Open();
    Edit(F, 0, "11");
    Edit(F, 1, "22");
    S.SaveResult = false;
    S.SaveError = "提成金额超出范围。";
    WS.UserExecute(F->actSave);
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, "提成金额超出范围。");
    EXPECT_EQ(WS.Messages()[0].Caption, "测试窗口");
    EXPECT_EQ(S.ChangesAtSave, 2); // the pending row was posted first
    EXPECT_EQ(F->cdsMain->ChangeCount(), 2);
    EXPECT_EQ(S.PostSaves, 0);
    EXPECT_EQ(F->Status(), 3);

    // A failure without a reason still says that nothing was saved.
    S.SaveError.clear();
    WS.UserExecute(F->actSave);
    EXPECT_EQ(WS.Messages().back().Text, std::string(MSG_SAVE_FAILED));
    EXPECT_EQ(F->cdsMain->ChangeCount(), 2);
}

TEST_F(BrowseFormTest, APendingRowThatFailsItsChecksStopsTheSave) {
    TTestBrowseForm* F = Open();
    WS.UserExecute(F->actNew);
    WS.UserSelectColumn(F->grdMain, "ID");
    WS.UserTypeIntoCell(F->grdMain, "3");
    WS.UserExecute(F->actSave);
    EXPECT_EQ(S.Saves, 0);
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, "“VAL”不能为空。");
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsInsert);
    EXPECT_EQ(F->grdMain->SelectedField(), F->VAL);
}

TEST_F(BrowseFormTest, ClosingWithUnsavedChangesAsksAndOnlyYesOrNoLetTheWindowGo) {
    TTestBrowseForm* F = Open();
    Edit(F, 0, "11");

    WS.QueueAnswer(IDCANCEL);
    WS.UserExecute(F->actClose);
    ASSERT_EQ(Application->Forms().size(), 1u);
    EXPECT_EQ(WS.Messages().back().Text, std::string(MSG_SAVE_CHANGES_PROMPT));
    EXPECT_EQ(WS.Messages().back().Flags & MB_TYPEMASK, MB_YESNOCANCEL);
    EXPECT_EQ(F->VAL->AsString(), "11.00");

    // Yes with a refused save keeps the window and its changes.
    S.SaveResult = false;
    S.SaveError = "不能保存。";
    WS.QueueAnswer(IDYES);
    WS.UserCloseWindow(F);
    ASSERT_EQ(Application->Forms().size(), 1u);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 1);

    S.SaveResult = true;
    WS.QueueAnswer(IDYES);
    WS.UserCloseWindow(F);
    EXPECT_EQ(S.PostSaves, 1);
    EXPECT_TRUE(Application->Forms().empty());
}

TEST_F(BrowseFormTest, NoDiscardsTheChangesOnCloseAndOnReload) {
    TTestBrowseForm* F = Open();
    Edit(F, 0, "11");
    WS.QueueAnswer(IDNO);
    WS.UserExecute(F->actRefresh);
    EXPECT_EQ(S.Loads, 2);
    EXPECT_EQ(S.Saves, 0);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 0);
    EXPECT_EQ(F->VAL->AsString(), "10.00");
    EXPECT_EQ(F->Status(), 2);

    // Without changes nothing is asked.
    WS.UserExecute(F->actRefresh);
    EXPECT_EQ(S.Loads, 3);

    Edit(F, 1, "5");
    WS.QueueAnswer(IDNO);
    WS.UserCloseWindow(F);
    EXPECT_EQ(S.Saves, 0);
    EXPECT_TRUE(Application->Forms().empty());
}

TEST_F(BrowseFormTest, AWindowsEditHandlerRunsAroundTheFrameworksOne) {
    TTestBrowseForm* F = Open();
    F->cdsMain->Edit();
    EXPECT_EQ(S.Trace, (std::vector<std::string>{"window before edit", "window after framework"}));
    F->cdsMain->Cancel();

    S.RecordCanModify = false;
    Edit(F, 0, "11");
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, std::string(MSG_RECORD_CANNOT_MODIFY));
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsBrowse);
}

TEST_F(BrowseFormTest, DeleteAsksFirstButDropsANewRowWithoutAsking) {
    TTestBrowseForm* F = Open();
    WS.QueueAnswer(IDNO);
    WS.UserClick(F->btnDelete);
    EXPECT_EQ(F->cdsMain->RecordCount(), 2);
    EXPECT_EQ(WS.Messages().back().Flags, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);

    WS.UserExecute(F->actNew);
    WS.UserExecute(F->actDelete);
    EXPECT_EQ(F->cdsMain->RecordCount(), 2);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 0);
    EXPECT_EQ(WS.Messages().size(), 1u);
}

TEST_F(BrowseFormTest, SelectCopiesTheChosenRowIntoTheCallersSet) {
    auto* F = new TTestBrowseForm(Application, S);
    TOrvClientDataSet Result(nullptr);
    WS.QueueModal([&](TCustomForm&) {
        WS.UserSelectCell(F->grdMain, 1, 0);
        WS.UserClick(F->btnSelect);
    });
    ASSERT_TRUE(F->Select(nullptr, false, &Result));
    EXPECT_EQ(Result.RecordCount(), 1);
    EXPECT_EQ(Result.FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(Result.ChangeCount(), 0);
    F->Free();
}

namespace {

bool Notified(const THeadlessWidgetSet& WS, TGridChange Change) {
    const auto& C = WS.GridChanges();
    return std::find(C.begin(), C.end(), Change) != C.end();
}

} // namespace

TEST_F(BrowseFormTest, TextTypedWithoutEnterIsTakenByEveryCommandBeforeItRuns) {
    TTestBrowseForm* F = Open();
    TOrvDBGrid* G = F->grdMain;
    auto TypeOnly = [&](int Row, const char* Text) {
        WS.UserSelectCell(G, Row, 1);
        WS.UserTypeWithoutEnter(G, Text);
    };

    // The open editor is an unsaved change: status, save command and close question agree.
    TypeOnly(0, "11");
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsBrowse) << "nothing reached the row yet";
    EXPECT_EQ(F->Status(), 3);
    EXPECT_TRUE(F->actSave->Enabled());
    EXPECT_TRUE(WS.UserShortCut(F, ShortCut('S', scCtrl)));
    EXPECT_EQ(S.Saves, 1);
    EXPECT_EQ(S.ChangesAtSave, 1);
    EXPECT_EQ(F->VAL->AsString(), "11.00");
    EXPECT_FALSE(G->EditorOpen());
    EXPECT_TRUE(Notified(WS, TGridChange::EditorClosed)) << "the backend closes its editor";
    EXPECT_EQ(F->Status(), 2);

    // Closing asks; Cancel keeps the window with the typed value in its row.
    TypeOnly(1, "22");
    WS.QueueAnswer(IDCANCEL);
    WS.UserCloseWindow(F);
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, std::string(MSG_SAVE_CHANGES_PROMPT));
    EXPECT_EQ(F->VAL->AsString(), "22.00");

    // Moving to another row, a new row, reloading, switching windows: each takes it first.
    TypeOnly(0, "33");
    WS.UserSelectCell(G, 1, 1);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 2);
    TypeOnly(1, "44");
    WS.UserExecute(F->actNew);
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsInsert);
    WS.UserExecute(F->actDelete);
    F->cdsMain->SetRecNo(2);
    EXPECT_EQ(F->VAL->AsString(), "44.00");
    TypeOnly(0, "55");
    WS.UserSwitchAway(F);
    EXPECT_EQ(F->VAL->AsString(), "55.00");
    TypeOnly(1, "66");
    WS.QueueAnswer(IDYES);
    WS.UserExecute(F->actRefresh);
    EXPECT_EQ(S.Saves, 2);
    EXPECT_EQ(S.ChangesAtSave, 2);

    // Escape drops the text: nothing is left to ask about.
    TypeOnly(0, "77");
    WS.UserPressEscapeInEditor(G);
    EXPECT_EQ(F->Status(), 2);
    WS.UserCloseWindow(F);
    EXPECT_TRUE(Application->Forms().empty());
}

TEST_F(BrowseFormTest, ARefusedTextStaysInTheOpenEditorAndStopsTheCommand) {
    TTestBrowseForm* F = Open();
    TOrvDBGrid* G = F->grdMain;
    WS.UserSelectCell(G, 0, 1);
    WS.UserTypeWithoutEnter(G, "abc");
    for (TAction* A : {F->actSave, F->actClose}) {
        WS.UserExecute(A);
        ASSERT_EQ(WS.Messages().size(), 1u) << A->Name();
        EXPECT_EQ(WS.Messages()[0].Caption, "测试窗口") << A->Name();
        EXPECT_TRUE(G->EditorOpen()) << A->Name();
        EXPECT_EQ(G->EditorText(), "abc") << A->Name();
        WS.ClearRecords();
    }
    EXPECT_EQ(S.Saves, 0);
    EXPECT_EQ(Application->Forms().size(), 1u);
    WS.UserSelectCell(G, 1, 1);
    EXPECT_EQ(F->cdsMain->RecNo(), 1) << "the row with the refused text stays current";
    WS.UserPressEnterInEditor(G);
    EXPECT_TRUE(Notified(WS, TGridChange::EditorRefused));
    ASSERT_EQ(WS.Messages().size(), 2u);
    EXPECT_EQ(WS.Messages()[1].Caption, "测试窗口");

    // Corrected, it goes through; a value too large for the field is refused the same way.
    WS.UserTypeWithoutEnter(G, "12");
    WS.UserPressEnterInEditor(G);
    EXPECT_FALSE(G->EditorOpen());
    EXPECT_EQ(F->VAL->AsString(), "12.00");
    WS.UserTypeIntoCell(G, "12345678901234");
    EXPECT_EQ(WS.Messages().back().Caption, "测试窗口");
    EXPECT_EQ(F->VAL->AsString(), "12.00");
    F->cdsMain->Cancel();
}

TEST_F(BrowseFormTest, AnUntouchedNewRowIsNoUnsavedChange) {
    TTestBrowseForm* F = Open();
    WS.UserExecute(F->actNew);
    EXPECT_EQ(F->Status(), 2);
    EXPECT_FALSE(F->actSave->Enabled());
    EXPECT_FALSE(F->HasUnsavedChanges());
    // Typed into, it is one, and closing asks.
    WS.UserSelectColumn(F->grdMain, "VAL");
    WS.UserTypeWithoutEnter(F->grdMain, "5");
    EXPECT_EQ(F->Status(), 3);
    WS.QueueAnswer(IDCANCEL);
    WS.UserCloseWindow(F);
    EXPECT_EQ(WS.Messages().size(), 1u);
    WS.QueueAnswer(IDNO);
    WS.UserCloseWindow(F);
    EXPECT_TRUE(Application->Forms().empty());

    // Left untouched, it goes without a question.
    F = Open();
    WS.UserExecute(F->actNew);
    WS.UserCloseWindow(F);
    EXPECT_TRUE(Application->Forms().empty());
    EXPECT_EQ(WS.Messages().size(), 2u);
}

namespace {

// A window that shows its status in a label of its own and frees that label, and a field
// of cdsMain, in its destructor, as a window that tidies up after itself does. Freeing the
// field while cdsMain is open makes the set notify its links.
class TTidyBrowseForm : public TTestBrowseForm {
public:
    TTidyBrowseForm(TComponent* Owner, TScript& S, bool& Going, std::vector<int>& LateStatus)
        : TTestBrowseForm(Owner, S), FGoing(Going), FLateStatus(LateStatus) {
        StatusText = new TLabel(this);
        StatusText->SetParent(pnlStatus);
    }
    ~TTidyBrowseForm() override {
        FGoing = true;
        delete StatusText;
        delete VAL;
    }
    void ShowStatus() override {
        TTestBrowseForm::ShowStatus();
        if (FGoing) FLateStatus.push_back(Status());
        StatusText->SetCaption(std::to_string(Status()));
    }

    TLabel* StatusText;

private:
    bool& FGoing;
    std::vector<int>& FLateStatus;
};

} // namespace

TEST_F(BrowseFormTest, AWindowThatFreesItsOwnPartsIsNeverToldOfStatusOnceItIsGoing) {
    // Closed by the user (freed once the event is over) and freed by the application when
    // the host quits: on neither path does ShowStatus run after destruction began.
    for (bool ByUser : {true, false}) {
        bool Going = false;
        std::vector<int> LateStatus;
        auto* F = new TTidyBrowseForm(Application, S, Going, LateStatus);
        F->Show();
        ASSERT_EQ(F->StatusText->Caption(), "2");
        Edit(F, 1, "30");
        ASSERT_EQ(F->StatusText->Caption(), "3");
        F->cdsMain->CancelUpdates();
        if (ByUser)
            WS.UserCloseWindow(F);
        else
            Application->FreeForms();
        EXPECT_TRUE(Going) << "by user: " << ByUser;
        EXPECT_TRUE(Application->Forms().empty()) << "by user: " << ByUser;
        EXPECT_TRUE(LateStatus.empty()) << "by user: " << ByUser;
    }
}
