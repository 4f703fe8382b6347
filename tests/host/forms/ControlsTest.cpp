#include "HeadlessFixture.h"

#include "host/forms/ActnList.h"
#include "host/forms/ComCtrls.h"
#include "host/forms/Menus.h"
#include "host/forms/StdCtrls.h"

using namespace orv;

namespace {

// A small window: an edit and a button in a group box, an action list and a popup menu.
struct TWindow {
    TCustomForm* Form;
    TGroupBox* Group;
    TOrvMeEdit* Edit;
    TOrvMeEdit* Other;
    TBitBtn* Button;
    TActionList* Actions;
    TAction* actRun;
    TAction* actMore;
    TPopupMenu* Menu;
    TMenuItem* mitRun;
    TMenuItem* mitMore;
    int Runs = 0;
    int More = 0;

    TWindow() {
        Form = new TCustomForm(Application);
        Form->SetName("TestForm");
        Group = new TGroupBox(Form);
        Group->SetParent(Form);
        Edit = new TOrvMeEdit(Form);
        Edit->SetName("Edit");
        Edit->SetParent(Group);
        Other = new TOrvMeEdit(Form);
        Other->SetName("Other");
        Other->SetParent(Form);
        Button = new TBitBtn(Form);
        Button->SetParent(Form);
        Actions = new TActionList(Form);
        actRun = new TAction(Form);
        actRun->SetCaption("新增明细(&A)");
        actRun->SetHint("新增明细");
        actRun->SetShortCut(ShortCut(VK_INSERT, scCtrl));
        actRun->SetActionList(Actions);
        actRun->OnExecute = [this](TComponent* Sender) {
            EXPECT_EQ(Sender, actRun);
            ++Runs;
        };
        actMore = new TAction(Form);
        actMore->SetCaption("批量添加明细(&B)");
        actMore->SetActionList(Actions);
        actMore->OnExecute = [this](TComponent*) { ++More; };
        Menu = new TPopupMenu(Form);
        mitRun = new TMenuItem(Form);
        mitRun->SetAction(actRun);
        Menu->Add(mitRun);
        mitMore = new TMenuItem(Form);
        mitMore->SetAction(actMore);
        mitMore->SetHint("批量添加明细");
        mitMore->SetShortCut(ShortCut(VK_INSERT, scCtrl | scShift));
        Menu->Add(mitMore);
        Edit->SetPopupMenu(Menu);
    }
};

class ControlsTest : public HeadlessTest {};

} // namespace

TEST_F(ControlsTest, RealisingAWindowMakesHandlesForEverythingAndFreeingItDestroysThemAll) {
    TWindow W;
    EXPECT_FALSE(W.Form->HandleAllocated());
    W.Edit->SetText("no backend call before realising");
    W.Form->Show();
    for (TNativeComponent* C : std::initializer_list<TNativeComponent*>{
             W.Form, W.Group, W.Edit, W.Button, W.Actions, W.actRun, W.Menu, W.mitRun, W.mitMore})
        EXPECT_TRUE(WS.HasHandle(C)) << C->Name();
    W.Edit->SetText("x");
    EXPECT_EQ(WS.ChangeCount(W.Edit, TPropertyId::Text), 1);
    // A change to an action reaches the menu item that shows it.
    W.actRun->SetCaption("新增");
    EXPECT_EQ(WS.ChangeCount(W.mitRun, TPropertyId::Caption), 1);
    EXPECT_EQ(W.mitRun->Caption(), "新增");

    // A control added later to a realised parent is realised at once.
    auto* Late = new TLabel(W.Form);
    Late->SetParent(W.Group);
    EXPECT_TRUE(WS.HasHandle(Late));

    W.Form->Free();
    EXPECT_EQ(WS.LiveHandles(), 0);
}

TEST_F(ControlsTest, FocusMovesThroughTheFormAndOnExitMayRefuseToLetItGo) {
    TWindow W;
    W.Form->Show();
    std::vector<std::string> Trace;
    W.Edit->OnEnter = [&](TComponent*) { Trace.push_back("enter Edit"); };
    W.Edit->OnExit = [&](TComponent*) { Trace.push_back("exit Edit"); };

    W.Edit->SetFocus();
    EXPECT_TRUE(W.Edit->Focused());
    EXPECT_EQ(W.Form->ActiveControl(), W.Edit);
    ASSERT_FALSE(WS.FocusRequests().empty());
    EXPECT_EQ(WS.FocusRequests().back().Control, W.Edit);

    W.Edit->OnExit = [&](TComponent*) { throw TUserException("先选门店。", "批量添加"); };
    WS.UserFocus(W.Other);
    EXPECT_TRUE(W.Edit->Focused());
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Caption, "批量添加");

    W.Edit->OnExit = [&](TComponent*) { Trace.push_back("exit Edit"); };
    WS.UserFocus(W.Other);
    EXPECT_TRUE(W.Other->Focused());
    EXPECT_EQ(Trace, (std::vector<std::string>{"enter Edit", "exit Edit"}));

    // A hidden or disabled control cannot take the focus.
    W.Group->SetVisible(false);
    EXPECT_FALSE(W.Edit->CanFocus());
    EXPECT_THROW(W.Edit->SetFocus(), EInvalidOperation);
    W.Group->SetVisible(true);
    W.Edit->SetEnabled(false);
    EXPECT_THROW(W.Edit->SetFocus(), EInvalidOperation);
    EXPECT_TRUE(W.Other->Focused());
}

TEST_F(ControlsTest, ADestroyedControlNoLongerHoldsTheFocus) {
    TWindow W;
    W.Form->Show();
    W.Other->SetFocus();
    delete W.Other;
    EXPECT_EQ(W.Form->ActiveControl(), nullptr);
    EXPECT_EQ(W.Form->ControlCount(), 2);
}

TEST_F(ControlsTest, ShortcutsReachActionsFromAnywhereInTheWindow) {
    TWindow W;
    W.Form->Show();
    W.Other->SetFocus(); // no popup menu on this control
    EXPECT_TRUE(WS.UserShortCut(W.Form, ShortCut(VK_INSERT, scCtrl)));
    EXPECT_EQ(W.Runs, 1);

    // A disabled action ignores its shortcut.
    W.actRun->SetEnabled(false);
    EXPECT_FALSE(WS.UserShortCut(W.Form, ShortCut(VK_INSERT, scCtrl)));
    EXPECT_EQ(W.Runs, 1);
    EXPECT_FALSE(W.actRun->Execute());
    EXPECT_FALSE(W.mitRun->Enabled());

    EXPECT_FALSE(WS.UserShortCut(W.Form, ShortCut('Q', scCtrl)));
}

TEST_F(ControlsTest, AMenuItemsOwnHintAndShortcutWinOverItsActions) {
    TWindow W;
    W.Form->Show();
    EXPECT_EQ(W.mitRun->Hint(), "新增明细");
    EXPECT_EQ(W.mitRun->ShortCut(), ShortCut(VK_INSERT, scCtrl));
    EXPECT_EQ(W.mitMore->Caption(), "批量添加明细(&B)");
    EXPECT_EQ(W.mitMore->Hint(), "批量添加明细");
    EXPECT_EQ(ShortCutToText(W.mitMore->ShortCut()), "Shift+Ctrl+Ins");

    // The item's own shortcut works where its menu is in reach: the focused control's.
    W.Other->SetFocus();
    EXPECT_FALSE(WS.UserShortCut(W.Form, ShortCut(VK_INSERT, scCtrl | scShift)));
    W.Edit->SetFocus();
    EXPECT_TRUE(WS.UserShortCut(W.Form, ShortCut(VK_INSERT, scCtrl | scShift)));
    EXPECT_EQ(W.More, 1);

    EXPECT_TRUE(WS.UserChooseMenuItem(W.mitMore));
    EXPECT_EQ(W.More, 2);
    W.actMore->SetVisible(false);
    EXPECT_FALSE(W.mitMore->Visible());
    EXPECT_FALSE(WS.UserChooseMenuItem(W.mitMore));
    EXPECT_EQ(W.More, 2);
}

TEST_F(ControlsTest, AMenuItemForgetsAnActionThatIsFreed) {
    TWindow W;
    W.Form->Show();
    delete W.actRun;
    EXPECT_EQ(W.mitRun->Action(), nullptr);
    EXPECT_TRUE(W.Actions->Actions().size() == 1u);
    EXPECT_FALSE(WS.UserShortCut(W.Form, ShortCut(VK_INSERT, scCtrl)));
}

TEST_F(ControlsTest, ToolButtonsShowTheirActionButKeepTheirOwnVisibility) {
    auto* F = new TCustomForm(Application);
    auto* Bar = new TToolBar(F);
    Bar->SetParent(F);
    auto* A = new TAction(F);
    A->SetCaption("保存");
    int Runs = 0;
    A->OnExecute = [&](TComponent*) { ++Runs; };
    auto* B = new TToolButton(F);
    B->SetParent(Bar);
    B->SetAction(A);
    auto* Sep = new TToolButton(F);
    Sep->SetParent(Bar);
    Sep->SetStyle(TToolButtonStyle::tbsSeparator);
    F->Show();

    EXPECT_EQ(B->Caption(), "保存");
    EXPECT_TRUE(WS.UserClick(B));
    A->SetEnabled(false);
    EXPECT_FALSE(B->Enabled());
    EXPECT_FALSE(WS.UserClick(B));
    A->SetEnabled(true);
    A->SetVisible(false);
    EXPECT_TRUE(B->Visible());
    B->SetVisible(false);
    EXPECT_FALSE(WS.UserClick(B));
    EXPECT_EQ(Runs, 1);
    Sep->Click();
}

TEST_F(ControlsTest, EditsAndDatePickersReportOnlyTheUsersChanges) {
    auto* F = new TCustomForm(Application);
    auto* E = new TOrvMeEdit(F);
    E->SetParent(F);
    auto* P = new TDateTimePicker(F);
    P->SetParent(F);
    int EditChanges = 0, DateChanges = 0;
    E->OnChange = [&](TComponent*) { ++EditChanges; };
    P->OnChange = [&](TComponent*) { ++DateChanges; };
    F->Show();

    EXPECT_EQ(P->Date(), static_cast<TDateTime>(DateOf(Date())));
    WS.UserPickDate(P, EncodeDate(2024, 3, 1) + 0.75);
    EXPECT_EQ(P->Date(), EncodeDate(2024, 3, 1));
    EXPECT_EQ(DateChanges, 1);

    WS.UserTypeText(E, "0.5");
    EXPECT_EQ(E->Text(), "0.5");
    E->SetReadOnly(true);
    WS.UserTypeText(E, "abc");
    EXPECT_EQ(E->Text(), "0.5");
    EXPECT_EQ(EditChanges, 1);
}
