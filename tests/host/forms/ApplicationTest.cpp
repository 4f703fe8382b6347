#include "HeadlessFixture.h"

#include "host/forms/StdCtrls.h"

#include <stdexcept>

using namespace orv;

namespace {

class TTestForm : public TCustomForm {
public:
    TTestForm(TComponent* Owner, int* Created, int* Destroyed) : TCustomForm(Owner) {
        OnCreate = [Created](TComponent*) { ++*Created; };
        OnDestroy = [Destroyed](TComponent*) { ++*Destroyed; };
    }
};

class ApplicationTest : public HeadlessTest {};

} // namespace

TEST_F(ApplicationTest, HandleEventShowsWhatAHandlerRaisesAndNeverLetsItEscape) {
    Application->HandleEvent([] { throw TUserException("金额不能为空。", "班次提成管理"); });
    Application->HandleEvent([] { Abort(); });
    Application->HandleEvent([] { throw std::runtime_error("disk full"); });
    Application->HandleEvent([] { throw 42; });

    ASSERT_EQ(WS.Messages().size(), 3u);
    EXPECT_EQ(WS.Messages()[0].Text, "金额不能为空。");
    EXPECT_EQ(WS.Messages()[0].Caption, "班次提成管理");
    EXPECT_EQ(WS.Messages()[1].Text, "disk full");
    EXPECT_EQ(WS.Messages()[1].Flags & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(WS.Messages()[2].Flags & MB_ICONMASK, MB_ICONERROR);
    EXPECT_FALSE(Application->InEvent());
}

TEST_F(ApplicationTest, QuestionsTakeScriptedAnswersAndAnUnscriptedOneIsAFailure) {
    WS.QueueAnswer(IDYES);
    EXPECT_EQ(Application->MessageBox("继续？", "T", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDYES);
    EXPECT_EQ(Application->MessageBox("完成。", "T"), IDOK);
    EXPECT_TRUE(WS.Failures().empty());

    // Without an answer the box's default button comes back and the test hears of it.
    EXPECT_EQ(Application->MessageBox("删除？", "T", MB_YESNO | MB_DEFBUTTON2), IDNO);
    ASSERT_EQ(WS.Failures().size(), 1u);
    WS.ClearRecords();
}

TEST(ApplicationNoBackendTest, MessageBoxWithoutABackendAnswersTheDefaultButton) {
    ASSERT_EQ(Application->WidgetSet(), nullptr);
    EXPECT_EQ(Application->MessageBox("删除？", "T", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(Application->MessageBox("保存？", "T", MB_YESNOCANCEL), IDYES);
    EXPECT_EQ(MessageBoxDefaultButton(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
}

TEST_F(ApplicationTest, AReleasedFormGoesWhenTheOutermostEventEnds) {
    int Created = 0, Destroyed = 0;
    auto* F = new TTestForm(Application, &Created, &Destroyed);
    F->Show();
    EXPECT_EQ(Created, 1);
    Application->HandleEvent([&] {
        Application->HandleEvent([&] { F->Release(); });
        // Still there inside the outer event: a handler may be running on it.
        EXPECT_EQ(Application->Forms().size(), 1u);
    });
    EXPECT_TRUE(Application->Forms().empty());
    EXPECT_EQ(Destroyed, 1);
}

TEST_F(ApplicationTest, OnCreateRunsOnceOnFirstShowAndOnDestroyOnlyAfterIt) {
    int Created = 0, Destroyed = 0;
    auto* Never = new TTestForm(Application, &Created, &Destroyed);
    Never->Free();
    EXPECT_EQ(Created, 0);
    EXPECT_EQ(Destroyed, 0);

    auto* F = new TTestForm(Application, &Created, &Destroyed);
    F->Show();
    F->Show();
    F->Hide();
    F->Show();
    EXPECT_EQ(Created, 1);
    Application->FreeForms();
    EXPECT_EQ(Destroyed, 1);
}

TEST_F(ApplicationTest, OwnedFormsRunTheirOnDestroyWhenTheirOwnerIsFreed) {
    int Created = 0, Destroyed = 0;
    auto* Owner = new TTestForm(Application, &Created, &Destroyed);
    auto* Dialog = new TTestForm(Owner, &Created, &Destroyed);
    Owner->Show();
    Dialog->AfterConstruction();
    Owner->Free();
    EXPECT_EQ(Created, 2);
    EXPECT_EQ(Destroyed, 2);
}

TEST_F(ApplicationTest, ShowModalReturnsTheResultTheScriptLeaves) {
    auto* F = new TCustomForm(Application);
    F->SetCaption("批量添加");
    auto* Close = new TBitBtn(F);
    Close->SetParent(F);
    Close->SetModalResult(mrCancel);
    Close->SetCancel(true);
    auto* Append = new TBitBtn(F);
    Append->SetParent(F);
    bool Clicked = false;
    Append->OnClick = [&](TComponent*) {
        Clicked = true;
        F->SetModalResult(mrOk);
    };

    WS.QueueModal([&](TCustomForm& Form) {
        EXPECT_TRUE(Form.Visible());
        EXPECT_TRUE(Form.Modal());
        WS.UserClick(Append);
    });
    EXPECT_EQ(F->ShowModal(), mrOk);
    EXPECT_TRUE(Clicked);
    EXPECT_FALSE(F->Visible());

    // Escape presses the cancel button.
    WS.QueueModal([&](TCustomForm& Form) { WS.UserShortCut(&Form, VK_ESCAPE); });
    EXPECT_EQ(F->ShowModal(), mrCancel);

    // The close box gives Cancel too.
    WS.QueueModal([&](TCustomForm& Form) { WS.UserCloseWindow(&Form); });
    EXPECT_EQ(F->ShowModal(), mrCancel);
    EXPECT_EQ(Application->Forms().size(), 1u);
}

TEST_F(ApplicationTest, AModalWindowWithoutAScriptIsAFailureAndEndsCancelled) {
    auto* F = new TCustomForm(Application);
    EXPECT_EQ(F->ShowModal(), mrCancel);
    ASSERT_EQ(WS.Failures().size(), 1u);
    WS.ClearRecords();
}

TEST_F(ApplicationTest, ClosingAModelessFormFollowsItsCloseAction) {
    auto* F = new TCustomForm(Application);
    F->Show();
    bool Refuse = true;
    F->OnCloseQuery = [&](TComponent*, bool& CanClose) { CanClose = !Refuse; };
    WS.UserCloseWindow(F);
    EXPECT_TRUE(F->Visible());

    Refuse = false;
    F->OnClose = [](TComponent*, TCloseAction& A) { A = TCloseAction::caFree; };
    WS.UserCloseWindow(F);
    EXPECT_TRUE(Application->Forms().empty());
}
