// The Qt backend rendering the form model: browse windows, actions and menus with their
// shortcuts, modal dialogs, message boxes and focus.
#include "QtFixture.h"

#include "host/data/ClientDataSet.h"
#include "host/forms/BrowseFrm.h"
#include "host/widgetset/qt/QtConvert.h"
#include "host/widgetset/qt/QtGridView.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QThread>
#include <QToolButton>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <functional>

using namespace orv;
using namespace orv::qt;

namespace {

const char* RowsPacket = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="SHF_ID" fieldtype="fixed" WIDTH="4" DECIMALS="0"/>
<FIELD attrname="CMS_VAL" fieldtype="fixed" WIDTH="12" DECIMALS="2"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW SHF_ID="1" CMS_VAL="10.00"/><ROW SHF_ID="2" CMS_VAL="20.00"/>
</ROWDATA></DATAPACKET>)";

// A browse window as the commission windows build theirs, with a popup menu of line
// actions on its grid.
class TTestBrowseForm : public TBrowseForm {
public:
    explicit TTestBrowseForm(TComponent* AOwner) : TBrowseForm(AOwner) {
        SetName("frmTest");
        SetCaption("测试窗口");
        SetBounds(0, 0, 490, 330);
        for (TToolButton* B : {btnSelect, btnSep1, btnDetail, btnFunctions, btnSep4, btnFilter, btnSep5})
            B->SetVisible(false);
        grdMain->AddColumn("SHF_ID");
        grdMain->AddColumn("CMS_VAL");

        actNewLine = Action("actNewLine", "新增明细(&A)", ShortCut(VK_INSERT, scCtrl));
        actDeleteLine = Action("actDeleteLine", "删除明细(&Z)", ShortCut(VK_DELETE, scCtrl));
        actClearLines = Action("actClearLines", "清除明细(&C)", ShortCut(VK_DELETE, scCtrl | scShift));
        actNewLines = Action("actNewLines", "批量添加明细(&B)", scNone);
        mnuMain = new TPopupMenu(this);
        mnuMain->SetName("mnuMain");
        for (TAction* A : {actNewLine, actNewLines, actDeleteLine, actClearLines}) {
            auto* I = new TMenuItem(this);
            I->SetName("mit" + A->Name().substr(3));
            I->SetAction(A);
            mnuMain->Add(I);
            if (A == actNewLines) I->SetShortCut(ShortCut(VK_INSERT, scCtrl | scShift));
        }
        grdMain->SetPopupMenu(mnuMain);
    }

    bool InitRights() override {
        Permission1 = Permission2 = Permission3 = Permission4 = Permission5 = true;
        return true;
    }
    void GetData() override { cdsMain->SetXMLData(RowsPacket); }
    bool Save(std::string&) override { return true; }

    TAction* Action(const char* Name, const char* Caption, TShortCut Key) {
        auto* A = new TAction(this);
        A->SetName(Name);
        A->SetCaption(Caption);
        A->SetShortCut(Key);
        A->SetActionList(atlAtions);
        A->OnExecute = [this, N = std::string(Name)](TComponent*) { Ran.push_back(N); };
        return A;
    }

    TAction* actNewLine;
    TAction* actDeleteLine;
    TAction* actClearLines;
    TAction* actNewLines;
    TPopupMenu* mnuMain;
    std::vector<std::string> Ran;
};

// A dialog of the batch-append kind: two group boxes with grids, dates, a rate, buttons.
struct TTestDialog {
    TAncestorForm* Form;
    TGroupBox* grpShop;
    TOrvDBGrid* grdShop;
    TLabel* lblCmsRate;
    TDateTimePicker* edtFromDate;
    TOrvMeEdit* edtCmsRate;
    TBitBtn* btnAppend;
    TBitBtn* btnClose;
    TOrvClientDataSet* cdsShop;

    TTestDialog() {
        Form = new TAncestorForm(Application);
        Form->SetName("frmDialog");
        Form->SetCaption("批量添加");
        Form->SetBorderStyle(TFormBorderStyle::bsDialog);
        Form->SetClientWidth(669);
        Form->SetClientHeight(408);
        cdsShop = new TOrvClientDataSet(Form);
        cdsShop->SetXMLData(RowsPacket);
        auto* Source = new TDataSource(Form);
        Source->SetDataSet(cdsShop);
        grpShop = new TGroupBox(Form);
        grpShop->SetName("grpShop");
        grpShop->SetCaption("门店列表");
        grpShop->SetParent(Form);
        grpShop->SetBounds(8, 8, 320, 340);
        grdShop = new TOrvDBGrid(Form);
        grdShop->SetName("grdShop");
        grdShop->SetParent(grpShop);
        grdShop->SetAlign(TAlign::alClient);
        grdShop->SetDataSource(Source);
        grdShop->AddColumn("SHF_ID");
        grdShop->SetTabOrder(0);
        lblCmsRate = new TLabel(Form);
        lblCmsRate->SetName("lblCmsRate");
        lblCmsRate->SetCaption("提成比例:");
        lblCmsRate->SetParent(Form);
        lblCmsRate->SetBounds(340, 372, 60, 14);
        TFont F;
        F.Height = 13;
        F.Charset = GB2312_CHARSET;
        F.Color = clHighlight;
        lblCmsRate->SetFont(F);
        edtFromDate = new TDateTimePicker(Form);
        edtFromDate->SetName("edtFromDate");
        edtFromDate->SetParent(Form);
        edtFromDate->SetBounds(60, 368, 110, 22);
        edtFromDate->SetTabOrder(1);
        edtCmsRate = new TOrvMeEdit(Form);
        edtCmsRate->SetName("edtCmsRate");
        edtCmsRate->SetParent(Form);
        edtCmsRate->SetBounds(404, 368, 80, 22);
        edtCmsRate->SetTabOrder(2);
        btnAppend = new TBitBtn(Form);
        btnAppend->SetName("btnAppend");
        btnAppend->SetCaption("添加");
        btnAppend->SetParent(Form);
        btnAppend->SetBounds(500, 366, 75, 25);
        btnAppend->OnClick = [this](TComponent*) { Form->SetModalResult(mrOk); };
        btnClose = new TBitBtn(Form);
        btnClose->SetName("btnClose");
        btnClose->SetCaption("关闭");
        btnClose->SetParent(Form);
        btnClose->SetBounds(584, 366, 75, 25);
        btnClose->SetCancel(true);
        btnClose->SetModalResult(mrCancel);
    }

    // Runs the dialog modally while Script acts as the user; returns the modal result.
    int Run(qt::TQtWidgetSet& WS, std::function<void(QWidget* Window)> Script) {
        QTimer::singleShot(0, [&] {
            QWidget* W = WS.WidgetOf(Form);
            if (!W) {
                ADD_FAILURE() << "the dialog has no window";
                return;
            }
            Script(W);
        });
        // A script that fails to end the dialog fails the test instead of hanging it.
        QTimer Watchdog;
        Watchdog.setSingleShot(true);
        QObject::connect(&Watchdog, &QTimer::timeout, [this] {
            ADD_FAILURE() << "the dialog did not end";
            Form->SetModalResult(mrAbort);
        });
        Watchdog.start(5000);
        return Form->ShowModal();
    }
};

class WidgetSetTest : public qt_test::QtTest {};

TEST_F(WidgetSetTest, ABrowseWindowShowsItsToolBarGridAndCountAtTheBottomRight) {
    auto* Form = new TTestBrowseForm(Application);
    Form->Show();
    QWidget* Window = WS->WidgetOf(Form);
    ASSERT_NE(Window, nullptr);
    EXPECT_TRUE(Window->isVisible());
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("测试窗口"));
    EXPECT_EQ(Window->size(), QSize(490, 330));

    auto* Bar = Window->findChild<QToolBar*>("tlbStandard");
    ASSERT_NE(Bar, nullptr);
    QStringList Shown;
    int Separators = 0;
    for (QAction* A : Bar->actions()) {
        if (!A->isVisible()) continue;
        if (A->isSeparator())
            ++Separators;
        else
            Shown << A->text();
    }
    EXPECT_EQ(Shown, (QStringList{"新增", "删除", "保存", "刷新", "导出", "关闭"}));
    EXPECT_EQ(Separators, 2);
    EXPECT_FALSE(WS->ActionOf(Form->btnSave)->isEnabled()) << "nothing to save yet";

    auto* Grid = WS->ViewOf(Form->grdMain);
    ASSERT_NE(Grid, nullptr);
    EXPECT_EQ(Grid->model()->rowCount(), 2);
    auto* Count = Window->findChild<QLabel*>("txtCount");
    ASSERT_NE(Count, nullptr);
    EXPECT_EQ(Count->text(), QStringLiteral("2"));
    QRect CountBox = Count->geometry();
    CountBox.moveTopLeft(Count->mapTo(Window, QPoint(0, 0)));
    QRect GridBox = Grid->geometry();
    EXPECT_GE(GridBox.top(), Bar->geometry().bottom());
    EXPECT_GT(CountBox.top(), GridBox.bottom()) << "the count sits under the grid";
    EXPECT_GT(CountBox.left(), Window->width() / 2) << "at its right end";
    EXPECT_LE(CountBox.right(), Window->width());

    // A click on a tool button runs its command; the count follows the data.
    WS->ActionOf(Form->btnNew)->trigger();
    EXPECT_EQ(Form->cdsMain->State(), TDataSetState::dsInsert);
    EXPECT_FALSE(WS->ActionOf(Form->btnSave)->isEnabled()) << "an untouched new row is nothing to save";
    Form->cdsMain->Cancel();
    Form->btnDetail->SetVisible(true);
    EXPECT_TRUE(WS->ActionOf(Form->btnDetail)->isVisible());
}

TEST_F(WidgetSetTest, TheCloseBoxOfABrowseWindowAsksAboutChangesThenFreesIt) {
    auto* Form = new TTestBrowseForm(Application);
    Form->Show();
    QPointer<QWidget> Window = WS->WidgetOf(Form);
    Form->cdsMain->Edit();
    Form->cdsMain->FieldByName("CMS_VAL")->SetAsString("1");
    Answers.push_back(IDCANCEL);
    Window->close();
    ASSERT_EQ(Application->Forms().size(), 1u) << "Cancel keeps the window";
    EXPECT_TRUE(Window->isVisible());
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Flags & MB_TYPEMASK, MB_YESNOCANCEL);

    // From inside its own close event the window is freed; its widgets go afterwards.
    Answers.push_back(IDNO);
    Window->close();
    EXPECT_TRUE(Application->Forms().empty());
    EXPECT_TRUE(!Window || !Window->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Window.isNull());
}

TEST_F(WidgetSetTest, ActionsCarryTheirShortcutsAndMenusShowTheirItems) {
    auto* Form = new TTestBrowseForm(Application);
    Form->Show();
    EXPECT_EQ(WS->ActionOf(Form->actNewLine)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Insert));
    EXPECT_EQ(WS->ActionOf(Form->actDeleteLine)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
    EXPECT_EQ(WS->ActionOf(Form->actClearLines)->shortcut(),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete));
    EXPECT_EQ(WS->ActionOf(Form->actSave)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));

    QMenu* Menu = WS->MenuOf(Form->mnuMain);
    ASSERT_NE(Menu, nullptr);
    QStringList Texts;
    for (QAction* A : Menu->actions()) {
        // A separator is a bare line: any text would be drawn as a section title.
        if (A->isSeparator()) {
            EXPECT_TRUE(A->text().isEmpty()) << A->text().toStdString();
        }
        Texts << (A->isSeparator() ? QStringLiteral("(line)") : A->text());
    }
    EXPECT_EQ(Texts, (QStringList{"新增明细(&A)", "批量添加明细(&B)", "删除明细(&Z)", "清除明细(&C)", "(line)",
                                  "导出"}));
    EXPECT_EQ(Menu->actions()[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Insert));
    EXPECT_EQ(Menu->actions()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Insert));

    Menu->actions()[2]->trigger();
    EXPECT_EQ(Form->Ran, (std::vector<std::string>{"actDeleteLine"}));
    Form->actDeleteLine->SetEnabled(false);
    EXPECT_FALSE(Menu->actions()[2]->isEnabled());
}

TEST_F(WidgetSetTest, KeysReachTheFocusedGridsMenuThenTheWindowsActions) {
    auto* Form = new TTestBrowseForm(Application);
    Form->Show();
    QWidget* Window = WS->WidgetOf(Form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window));
    Form->grdMain->SetFocus();
    QWidget* Grid = WS->ViewOf(Form->grdMain);
    ASSERT_EQ(QApplication::focusWidget(), Grid);

    // The menu item's own shortcut: no window action has it.
    QTest::keyClick(Grid, Qt::Key_Insert, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(Grid, Qt::Key_Insert, Qt::ControlModifier);
    QTest::keyClick(Grid, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Form->Ran, (std::vector<std::string>{"actNewLines", "actNewLine", "actClearLines"}));

    // Ctrl+Delete is the framework's delete and the window's delete line: the window's
    // wins, and only one command holds the key, so the toolkit finds nothing ambiguous.
    const int Rows = Form->cdsMain->RecordCount();
    QTest::keyClick(Grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Form->Ran.back(), "actDeleteLine");
    EXPECT_EQ(Form->cdsMain->RecordCount(), Rows);
    int Holders = 0;
    for (QAction* A : Window->actions())
        Holders += A->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Delete);
    EXPECT_EQ(Holders, 1);

    // A disabled command does not run, however the key arrives.
    Form->actDeleteLine->SetEnabled(false);
    QTest::keyClick(Grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Form->Ran.size(), 4u);
    EXPECT_EQ(Form->cdsMain->RecordCount(), Rows) << "nor does the framework's in its place";

    // Insert is the framework's: a new row. Tool tips name command and key.
    QTest::keyClick(Grid, Qt::Key_Insert);
    EXPECT_EQ(Form->cdsMain->State(), TDataSetState::dsInsert);
    EXPECT_EQ(Window->findChild<QAction*>("btnSave")->toolTip(), QStringLiteral("保存 (Ctrl+S)"));
    EXPECT_EQ(Window->findChild<QAction*>("actNewLine")->toolTip(), QStringLiteral("新增明细 (Ctrl+Ins)"));
}

// A window the user may only look at says so, and says why a key typed into it did nothing.
TEST_F(WidgetSetTest, AReadOnlyWindowSaysSoAndWhyTypingDoesNothing) {
    struct TViewOnly : TTestBrowseForm {
        using TTestBrowseForm::TTestBrowseForm;
        bool InitRights() override {
            Permission1 = true;
            return true;
        }
    };
    auto* Form = new TViewOnly(Application);
    Form->Show();
    QWidget* Window = WS->WidgetOf(Form);
    auto* Hint = Window->findChild<QLabel*>("lblHint");
    ASSERT_NE(Hint, nullptr);
    EXPECT_EQ(Hint->text(), QStringLiteral("只读"));
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window));
    Form->grdMain->SetFocus();
    QWidget* Grid = WS->ViewOf(Form->grdMain);
    QTest::keyClick(Grid, Qt::Key_7);
    EXPECT_EQ(Hint->text(), QStringLiteral("只读：您没有修改这些数据的权限，不能输入。"));
    EXPECT_EQ(Form->cdsMain->State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(Boxes.empty()) << "no box for a key";
}

TEST_F(WidgetSetTest, ADialogRunsModallyUntilItsButtonSetsAResult) {
    TTestDialog D;
    int Result = D.Run(*WS, [&](QWidget* Window) {
        EXPECT_TRUE(Window->isModal());
        EXPECT_EQ(Window->size(), QSize(669, 408));
        auto* Group = Window->findChild<QGroupBox*>("grpShop");
        ASSERT_NE(Group, nullptr);
        EXPECT_EQ(Group->title(), QStringLiteral("门店列表"));
        EXPECT_NE(Group->findChild<QTableView*>("grdShop"), nullptr);
        auto* Date = Window->findChild<orv::qt::TDateEditor*>("edtFromDate");
        ASSERT_NE(Date, nullptr);
        EXPECT_EQ(Date->Edit()->text(), ToQDate(D.edtFromDate->Date()).toString("yyyy-MM-dd"));
        auto* Label = Window->findChild<QLabel*>("lblCmsRate");
        ASSERT_NE(Label, nullptr);
        EXPECT_EQ(Label->text(), QStringLiteral("提成比例:"));
        EXPECT_EQ(Label->palette().color(QPalette::WindowText),
                  QApplication::palette().color(QPalette::Highlight));
        EXPECT_EQ(Label->font().pixelSize(), 13);

        // Tab walks from the date to the rate, past the drop-down button.
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window));
        Date->Edit()->setFocus();
        QTest::keyClick(Date->Edit(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), Window->findChild<QLineEdit*>("edtCmsRate"));
        // A day typed over the whole field arrives once it is finished; a text that is no
        // day gives the field back its date; a day chosen in the calendar arrives at once.
        Date->Edit()->selectAll();
        QTest::keyClicks(Date->Edit(), "2027-03-15");
        EXPECT_NE(ToQDate(D.edtFromDate->Date()), QDate(2027, 3, 15)) << "not digit by digit";
        QTest::keyClick(Date->Edit(), Qt::Key_Return);
        EXPECT_EQ(ToQDate(D.edtFromDate->Date()), QDate(2027, 3, 15));
        Date->Edit()->selectAll();
        QTest::keyClicks(Date->Edit(), "2027-02-30");
        QTest::keyClick(Date->Edit(), Qt::Key_Return);
        EXPECT_EQ(ToQDate(D.edtFromDate->Date()), QDate(2027, 3, 15));
        EXPECT_EQ(Date->Edit()->text(), QStringLiteral("2027-03-15"));
        Date->Button()->click();
        ASSERT_TRUE(Date->Calendar()->isVisible());
        EXPECT_EQ(Date->Calendar()->selectedDate(), QDate(2027, 3, 15));
        emit Date->Calendar()->clicked(QDate(2024, 2, 29));
        EXPECT_EQ(ToQDate(D.edtFromDate->Date()), QDate(2024, 2, 29));
        EXPECT_EQ(Date->Edit()->text(), QStringLiteral("2024-02-29"));

        // The user types a rate, picks a day and presses the button.
        QTest::keyClicks(Window->findChild<QLineEdit*>("edtCmsRate"), "0.25");
        Window->findChild<QPushButton*>("btnAppend")->click();
    });
    EXPECT_EQ(Result, mrOk);
    EXPECT_EQ(D.edtCmsRate->Text(), "0.25");
    EXPECT_EQ(ToQDate(D.edtFromDate->Date()), QDate(2024, 2, 29));
    EXPECT_FALSE(WS->WidgetOf(D.Form)->isVisible());
}

// A long command: the wait cursor at once, a progress window over the window once the work
// has gone on a while, the windows still painted; all of it gone when the work ends, also
// when it ends by an error.
TEST_F(WidgetSetTest, LongWorkShowsTheWaitCursorThenItsProgressAndCleansUp) {
    auto* Form = new TTestBrowseForm(Application);
    Form->Show();
    QWidget* Window = WS->WidgetOf(Form);
    int Painted = 0;
    QTimer Painter; // stands for the windows' paint work that must go on
    QObject::connect(&Painter, &QTimer::timeout, [&] { ++Painted; });
    Painter.start(1);
    try {
        TBusyScope Busy(Form, "正在添加明细……", 1000);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        Busy.Step();
        EXPECT_EQ(WS->BusyDialog(), nullptr) << "a short run shows no progress window";
        for (int I = 1; I < 600 && !WS->BusyDialog(); ++I) {
            QThread::msleep(2);
            Busy.Step();
        }
        ASSERT_NE(WS->BusyDialog(), nullptr);
        EXPECT_TRUE(WS->BusyDialog()->isVisible());
        EXPECT_EQ(WS->BusyDialog()->labelText(), QStringLiteral("正在添加明细……"));
        EXPECT_EQ(WS->BusyDialog()->windowTitle(), Window->windowTitle());
        EXPECT_GT(WS->BusyDialog()->value(), 1);
        EXPECT_EQ(WS->BusyDialog()->maximum(), 1000);
        EXPECT_GT(Painted, 0) << "events other than the user's ran meanwhile";
        throw std::runtime_error("the work failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(WS->BusyDialog(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WidgetSetTest, EscapeAndTheCloseBoxEndADialogWithCancel) {
    TTestDialog D;
    EXPECT_EQ(D.Run(*WS, [](QWidget* Window) { QTest::keyClick(Window, Qt::Key_Escape); }), mrCancel);
    D.edtCmsRate->SetText("1");
    EXPECT_EQ(D.Run(*WS,
                    [](QWidget* Window) {
                        // Escape from inside the edit reaches the window too.
                        QTest::keyClick(Window->findChild<QLineEdit*>("edtCmsRate"), Qt::Key_Escape);
                    }),
              mrCancel);
    EXPECT_EQ(D.Run(*WS, [](QWidget* Window) { Window->close(); }), mrCancel);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(WidgetSetTest, AControlThatRefusesToLoseTheFocusKeepsIt) {
    TTestDialog D;
    D.grdShop->OnExit = [](TComponent*) { throw TUserException("门店编号必须有值。", "批量添加"); };
    D.Run(*WS, [&](QWidget* Window) {
        EXPECT_TRUE(QTest::qWaitForWindowActive(Window));
        D.grdShop->SetFocus();
        EXPECT_EQ(QApplication::focusWidget(), WS->WidgetOf(D.grdShop));
        Window->findChild<QLineEdit*>("edtCmsRate")->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(D.Form->ActiveControl(), D.grdShop);
        EXPECT_EQ(QApplication::focusWidget(), WS->WidgetOf(D.grdShop));
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, "门店编号必须有值。");
        D.Form->SetModalResult(mrCancel);
    });
}

TEST_F(WidgetSetTest, MessageBoxesShowTheFlagsButtonsIconAndDefault) {
    WS->SetMessageHook(nullptr);
    QString DefaultText;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QStringList Buttons;
    QTimer::singleShot(0, [&] {
        auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(Box, nullptr);
        Icon = Box->icon();
        DefaultText = Box->defaultButton() ? Box->defaultButton()->text() : QString();
        for (QAbstractButton* B : Box->buttons())
            Buttons << B->text();
        for (QAbstractButton* B : Box->buttons())
            if (B->text() == QStringLiteral("是(&Y)")) B->click();
    });
    int Answer = Application->MessageBox("确认吗？", "标题", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_EQ(Answer, IDYES);
    EXPECT_EQ(Icon, QMessageBox::Question);
    EXPECT_EQ(DefaultText, QStringLiteral("否(&N)"));
    Buttons.sort();
    EXPECT_EQ(Buttons, (QStringList{"否(&N)", "是(&Y)"}));

    // Closing a yes/no box without a button answers No.
    QTimer::singleShot(0, [] {
        if (QWidget* Box = QApplication::activeModalWidget()) QTest::keyClick(Box, Qt::Key_Escape);
    });
    EXPECT_EQ(Application->MessageBox("确认吗？", "标题", MB_YESNO | MB_ICONQUESTION), IDNO);
    QTimer::singleShot(0, [] {
        if (QWidget* Box = QApplication::activeModalWidget()) QTest::keyClick(Box, Qt::Key_Escape);
    });
    EXPECT_EQ(Application->MessageBox("出错了", "标题", MB_OK | MB_ICONERROR), IDOK);
}

TEST_F(WidgetSetTest, KeysAndColoursConvertBothWays) {
    for (TShortCut K :
         {ShortCut(VK_INSERT, scCtrl), ShortCut(VK_DELETE, scCtrl | scShift), ShortCut('S', scCtrl),
          ShortCut(VK_F5, 0), ShortCut(VK_ESCAPE, 0), ShortCut('7', scAlt)}) {
        QKeyCombination C = ToKeySequence(K)[0];
        EXPECT_EQ(FromKey(C.key(), C.keyboardModifiers()), K) << ShortCutToText(K);
    }
    EXPECT_EQ(FromKey(Qt::Key_Enter, Qt::KeypadModifier), ShortCut(VK_RETURN, 0));
    EXPECT_EQ(FromKey(Qt::Key_Launch0, Qt::NoModifier), scNone);
    QPalette P;
    EXPECT_EQ(ToColor(clHighlight, P), P.color(QPalette::Highlight));
    EXPECT_EQ(ToColor(clRed, P), QColor(255, 0, 0));
    EXPECT_EQ(ToColor(0x00336699, P), QColor(0x99, 0x66, 0x33));
    EXPECT_EQ(StripAccelerator("删除明细(&Z) && 更多"), QStringLiteral("删除明细(Z) & 更多"));
    EXPECT_EQ(FromQDate(ToQDate(45000.75)), 45000.0);
    EXPECT_EQ(ToQDate(0), QDate(1899, 12, 30));
}

} // namespace
