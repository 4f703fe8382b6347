// What the user does enters each component through its own User* entry, the one a screen's
// backend calls: the component checks that the user can reach it and runs the request
// through Application->HandleEvent itself. These tests call the entries directly, as a
// backend does, without any wrapping of their own.
#include "HeadlessFixture.h"

#include "host/data/ClientDataSet.h"
#include "host/forms/ComCtrls.h"
#include "host/forms/DBGrids.h"
#include "host/forms/Menus.h"
#include "host/forms/StdCtrls.h"
#include "host/forms/Cformsres.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace orv;

namespace {

// A window with one of every component a user acts on, all inside a panel, each counting
// what reached its handler; every handler then calls Raise.
struct TWindow {
    TCustomForm* Form;
    TPanel* Panel;
    TBitBtn* Button;
    TToolBar* Bar;
    TToolButton* Tool;
    TOrvMeEdit* Edit;
    TDateTimePicker* Picker;
    TActionList* Actions;
    TAction* Action;
    TPopupMenu* Menu;
    TMenuItem* Item;
    TOrvClientDataSet* Rows;
    TStringField* Code;
    TBCDField* Amount;
    TOrvDBGrid* Grid;
    std::vector<std::string> Trace;
    std::function<void()> Raise = [] {};

    explicit TWindow() {
        Form = new TCustomForm(Application);
        Form->SetCaption("测试窗口");
        Panel = new TPanel(Form);
        Panel->SetParent(Form);
        Button = new TBitBtn(Form);
        Button->SetParent(Panel);
        Button->OnClick = [this](TComponent*) { Hit("button"); };
        Bar = new TToolBar(Form);
        Bar->SetParent(Panel);
        Tool = new TToolButton(Form);
        Tool->SetParent(Bar);
        Tool->OnClick = [this](TComponent*) { Hit("tool"); };
        Edit = new TOrvMeEdit(Form);
        Edit->SetParent(Panel);
        Edit->OnChange = [this](TComponent*) { Hit("edit"); };
        Picker = new TDateTimePicker(Form);
        Picker->SetParent(Panel);
        Picker->OnChange = [this](TComponent*) { Hit("picker"); };
        Actions = new TActionList(Form);
        Action = new TAction(Form);
        Action->SetActionList(Actions);
        Action->OnExecute = [this](TComponent*) { Hit("action"); };
        Menu = new TPopupMenu(Form);
        Item = new TMenuItem(Form);
        Item->SetCaption("运行");
        Item->OnClick = [this](TComponent*) { Hit("item"); };
        Menu->Add(Item);

        Rows = new TOrvClientDataSet(Form);
        Code = new TStringField(Form);
        Code->SetFieldName("CODE");
        Code->SetSize(10);
        Code->SetDataSet(Rows);
        Amount = new TBCDField(Form);
        Amount->SetFieldName("AMOUNT");
        Amount->SetPrecision(10);
        Amount->SetSize(2);
        Amount->SetDataSet(Rows);
        Rows->CreateDataSet();
        for (const char* C : {"a", "b"}) {
            Rows->Append();
            Code->SetAsString(C);
            Amount->SetAsString("1");
            Rows->Post();
        }
        Rows->First();
        Rows->BeforePost = [this](TDataSet*) {
            if (Amount->AsFloat() < 0) throw TUserException("金额不能为负。", "测试窗口");
        };
        auto* Source = new TDataSource(Form);
        Source->SetDataSet(Rows);
        Grid = new TOrvDBGrid(Form);
        Grid->SetParent(Panel);
        Grid->SetDataSource(Source);
        Grid->AddColumn("CODE")->SetButtonStyle(TColumnButtonStyle::cbsEllipsis);
        Grid->AddColumn("AMOUNT");
        Grid->OnEditButtonClick = [this](TComponent*) {
            Hit("ellipsis " + Grid->SelectedField()->FieldName() + " row " + std::to_string(Rows->RecNo()));
        };
        Form->Show();
    }

    void Hit(const std::string& What) {
        Trace.push_back(What);
        Raise();
    }

    // Every entry, and how to disable and hide what it belongs to. Act returns what the
    // entry returns; Reports says whether it returns anything.
    struct TEntry {
        std::string Name; // what reaches the trace
        std::function<bool()> Act;
        std::function<void(bool)> SetEnabled, SetVisible;
        bool Reports = true;
        bool Control = true;
    };
    std::vector<TEntry> Entries() {
        auto Of = [](std::string Name, std::function<bool()> Act, TControl* C, bool Reports) {
            return TEntry{std::move(Name), std::move(Act), [C](bool V) { C->SetEnabled(V); },
                          [C](bool V) { C->SetVisible(V); }, Reports, true};
        };
        return {
            Of("button", [this] { return Button->UserClick(); }, Button, true),
            Of("tool", [this] { return Tool->UserClick(); }, Tool, true),
            Of("edit", [this] { Edit->UserSetText(Edit->Text() + "x"); return true; }, Edit, false),
            Of("picker", [this] { Picker->UserSetDate(Picker->Date() + 1); return true; }, Picker, false),
            Of("ellipsis CODE row 2", [this] { Grid->UserClickEllipsis(1, 0); return true; }, Grid, false),
            TEntry{"action", [this] { return Action->UserExecute(); }, [this](bool V) { Action->SetEnabled(V); },
                   [this](bool V) { Action->SetVisible(V); }, true, false},
            TEntry{"item", [this] { return Item->UserClick(); }, [this](bool V) { Item->SetEnabled(V); },
                   [this](bool V) { Item->SetVisible(V); }, true, false},
        };
    }
};

class UserEntryTest : public HeadlessTest {};

TEST_F(UserEntryTest, EachEntryActsOnlyWhileTheUserCanReachItsComponent) {
    TWindow W;
    for (const TWindow::TEntry& E : W.Entries()) {
        SCOPED_TRACE(E.Name);
        W.Trace.clear();
        E.SetEnabled(false);
        const bool ActedDisabled = E.Act();
        E.SetEnabled(true);
        E.SetVisible(false);
        const bool ActedHidden = E.Act();
        E.SetVisible(true);
        EXPECT_TRUE(W.Trace.empty()) << "a disabled or hidden component does nothing";
        if (E.Reports) {
            EXPECT_FALSE(ActedDisabled);
            EXPECT_FALSE(ActedHidden);
        }

        if (E.Control) {
            // Reaching it takes its parents enabled and its window showing.
            W.Panel->SetEnabled(false);
            E.Act();
            W.Panel->SetEnabled(true);
            W.Form->Hide();
            E.Act();
            W.Form->Show();
            EXPECT_TRUE(W.Trace.empty()) << "a disabled parent or a hidden window keeps the user out";
        }

        EXPECT_TRUE(E.Act());
        EXPECT_EQ(W.Trace, (std::vector<std::string>{E.Name}));
    }
    // A column the user cannot reach keeps its width too.
    W.Grid->SetEnabled(false);
    W.Grid->UserResizeColumn(1, 150);
    EXPECT_EQ(W.Grid->Column(1)->Width(), 0);
    EXPECT_FALSE(W.Grid->LayoutTouched());
}

TEST_F(UserEntryTest, WhatAHandlerRaisesBecomesTheWindowsMessageNeverTheBackends) {
    TWindow W;
    struct TCase {
        std::function<void()> Raise;
        std::string Caption; // of the box; none for a silent abort
        int Icon;
    };
    const std::vector<TCase> Cases = {
        {[] { throw TUserException("先选门店。", "批量添加"); }, "批量添加", MB_ICONWARNING},
        {[] { throw EAbort(); }, "", 0},
        {[] { throw std::runtime_error("磁盘已满"); }, std::string(MSG_ERROR_TITLE), MB_ICONERROR},
    };
    for (const TCase& C : Cases) {
        W.Raise = C.Raise;
        for (const TWindow::TEntry& E : W.Entries()) {
            SCOPED_TRACE(E.Name + " / " + C.Caption);
            WS.ClearRecords();
            W.Trace.clear();
            EXPECT_NO_THROW(E.Act());
            EXPECT_EQ(W.Trace.size(), 1u) << "the handler ran";
            if (C.Caption.empty()) {
                EXPECT_TRUE(WS.Messages().empty());
            } else {
                ASSERT_EQ(WS.Messages().size(), 1u);
                EXPECT_EQ(WS.Messages()[0].Caption, C.Caption);
                EXPECT_EQ(WS.Messages()[0].Flags & 0xF0, C.Icon);
            }
        }
    }
    EXPECT_FALSE(Application->InEvent()) << "every entry left the event it began";
}

TEST_F(UserEntryTest, TheEllipsisTakesItsCellFirstAndStopsWhereTheRowCannotBeLeft) {
    TWindow W;
    // The user typed a value the row refuses, then pressed the ellipsis of another row.
    EXPECT_TRUE(W.Grid->UserEditCell(0, 1, "-5"));
    W.Grid->UserClickEllipsis(1, 0);
    EXPECT_TRUE(W.Trace.empty()) << "the row being left refused, so the picker does not open";
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, "金额不能为负。");
    EXPECT_EQ(W.Rows->RecNo(), 1);

    EXPECT_TRUE(W.Grid->UserEditCell(0, 1, "5"));
    W.Grid->UserClickEllipsis(1, 0);
    EXPECT_EQ(W.Trace, (std::vector<std::string>{"ellipsis CODE row 2"}));
    EXPECT_EQ(W.Amount->DataSet()->State(), TDataSetState::dsBrowse);
    W.Rows->First();
    EXPECT_EQ(W.Amount->AsString(), "5.00") << "the typed row was posted on the way";
}

TEST_F(UserEntryTest, ColumnWidthsLiveInTheColumnsAndTravelThroughTheStoredLayout) {
    TGridLayout Saved;
    {
        TWindow W;
        W.Grid->Column(0)->SetWidth(90);
        W.Grid->AddColumn("NOTE")->SetVisible(false); // a column the window keeps hidden
        W.Grid->SetSelectedIndex(1);
        EXPECT_FALSE(W.Grid->LayoutTouched()) << "the window's own layout is not the user's";

        W.Grid->UserResizeColumn(1, 140);
        W.Grid->UserMoveColumn(1, 0);
        EXPECT_TRUE(W.Grid->LayoutTouched());
        EXPECT_EQ(W.Grid->Column(0)->FieldName(), "AMOUNT");
        EXPECT_EQ(W.Grid->Column(0)->Width(), 140) << "a moved column takes its width along";
        W.Grid->UserResizeColumn(1, 0); // a header collapsed to nothing is no width
        EXPECT_EQ(W.Grid->Column(1)->Width(), 90);
        Saved = W.Grid->CurrentLayout();
        EXPECT_EQ(Saved.Order, (std::vector<std::string>{"AMOUNT", "CODE", "NOTE"}));
        EXPECT_EQ(Saved.Widths, (std::map<std::string, int>{{"AMOUNT", 140}, {"CODE", 90}}))
            << "only widths the grid holds, of columns that show";
        Application->FreeForms();
    }

    // The window opens again: the stored layout puts the columns back as the user left
    // them, passing over a name the window no longer has.
    TWindow W;
    W.Grid->AddColumn("NOTE");
    W.Grid->SetSelectedIndex(0);
    const int Changes = WS.ChangeCount(W.Grid, TPropertyId::Columns);
    Saved.Order.insert(Saved.Order.begin(), "GONE");
    W.Grid->ApplyLayout(Saved);
    EXPECT_EQ(WS.ChangeCount(W.Grid, TPropertyId::Columns), Changes + 1) << "one notice for the whole layout";
    EXPECT_TRUE(W.Grid->LayoutTouched());
    ASSERT_EQ(W.Grid->ColumnCount(), 3);
    EXPECT_EQ(W.Grid->Column(0)->FieldName(), "AMOUNT");
    EXPECT_EQ(W.Grid->Column(0)->Width(), 140);
    EXPECT_EQ(W.Grid->Column(1)->FieldName(), "CODE");
    EXPECT_EQ(W.Grid->Column(1)->Width(), 90);
    EXPECT_EQ(W.Grid->Column(2)->Width(), 0);
    EXPECT_EQ(W.Grid->SelectedField(), W.Code) << "the selected column stays selected";
}

TEST_F(UserEntryTest, ClearRecordsForgetsEverythingSeenButNotTheScript) {
    TWindow W;
    W.Button->SetCaption("确定");
    WS.UserFocus(W.Edit);
    Application->MessageBox("提示", "标题");
    WS.QueueSaveFile(std::string("/tmp/a.xlsx"));
    WS.ChooseSaveFile(W.Form, "导出", "a", {{"Excel 文件", "xlsx"}});
    { TBusyScope Busy(W.Form, "导出", 2); }
    W.Rows->Last();
    WS.QueueAnswer(IDYES);
    ASSERT_FALSE(WS.Messages().empty());
    ASSERT_FALSE(WS.FocusRequests().empty());
    ASSERT_FALSE(WS.ShownForms().empty());
    ASSERT_FALSE(WS.GridChanges().empty());
    ASSERT_FALSE(WS.BusyRuns().empty());
    ASSERT_FALSE(WS.SaveFileRequests().empty());
    ASSERT_GT(WS.ChangeCount(W.Button, TPropertyId::Caption), 0);
    const int Handles = WS.LiveHandles();

    WS.ClearRecords();
    EXPECT_TRUE(WS.Messages().empty());
    EXPECT_TRUE(WS.FocusRequests().empty());
    EXPECT_TRUE(WS.ShownForms().empty());
    EXPECT_TRUE(WS.GridChanges().empty());
    EXPECT_TRUE(WS.BusyRuns().empty());
    EXPECT_TRUE(WS.SaveFileRequests().empty());
    EXPECT_EQ(WS.ChangeCount(W.Button, TPropertyId::Caption), 0);
    EXPECT_EQ(WS.LiveHandles(), Handles) << "the windows stay";
    EXPECT_FALSE(WS.ScriptDone()) << "the queued answer stays";
    EXPECT_EQ(Application->MessageBox("删除？", "标题", MB_YESNO), IDYES);
}

} // namespace
