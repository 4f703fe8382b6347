// The real consignment window in the Qt host: a row made the way a clerk makes it (the
// shop from the unit picker, the class number typed, dates and rate typed), saved into the
// database and read back through the server; rows made by the batch dialog, likewise.
#include "PluginWindow.h"

#include "host/services/Constants.h"
#include "host/widgetset/qt/QtGridView.h"
#include "shell/PickerDialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <functional>

using namespace orv;
using namespace orv::shell;

namespace {

class ConsignmentWindowTest : public qt_test::PluginWindowTest {
protected:
    void SetUp() override {
        PluginWindowTest::SetUp();
        OpenWindow("CmsRsMan", &Pickers);
    }

    // Runs Act once on the modal window named Name (an object name or class name), as soon
    // as it is the active modal window. Each wait has its own timer, so Act may open a
    // further modal window that another wait answers.
    void WhenModal(const char* Name, std::function<void(QWidget*)> Act) {
        auto* Poll = new QTimer(Window);
        QObject::connect(Poll, &QTimer::timeout, Poll, [Poll, Name, Act] {
            QWidget* Modal = QApplication::activeModalWidget();
            if (!Modal || (Modal->objectName() != QLatin1String(Name) &&
                           QLatin1String(Modal->metaObject()->className()) != QLatin1String(Name)))
                return;
            Poll->stop();
            Poll->deleteLater();
            Act(Modal);
        });
        Poll->start(5);
    }

    static QAction* ActionNamed(QWidget* Window, const char* Name) {
        return Window->findChild<QAction*>(QLatin1String(Name));
    }

    // Ticks the items numbered Nums in a picker's tree or list and presses OK.
    static void TickAndConfirm(QWidget* Picker, QTreeWidget* Items, const QStringList& Nums) {
        for (const QString& Num : Nums) {
            const auto Found = Items->findItems(Num, Qt::MatchExactly | Qt::MatchRecursive, 0);
            if (!Found.isEmpty()) Found.first()->setCheckState(0, Qt::Checked);
        }
        Picker->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }

    // The ellipsis button of the current row's cell in Column, clicked.
    void ClickEllipsis(int Column) {
        const QModelIndex Where = View->model()->index(View->currentIndex().row(), Column);
        View->setCurrentIndex(Where);
        Settle();
        View->edit(Where);
        auto* Editor = View->viewport()->findChild<orv::qt::TEllipsisEditor*>();
        ASSERT_NE(Editor, nullptr) << "the column offers a picker";
        Editor->Button()->click();
        Settle();
    }

    TQtPickerUi Pickers;
    int PickersSeen = 0;
};

TEST_F(ConsignmentWindowTest, ARowFromThePickerAndTypedNumbersIsSavedAndReadBack) {
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("代销提成设置"));
    const int ShopNum = ColumnTitled(QStringLiteral("门店编号"));
    const int ShopName = ColumnTitled(QStringLiteral("门店名称"));
    const int ClsNum = ColumnTitled(QStringLiteral("商品品种编号"));
    const int From = ColumnTitled(QStringLiteral("开始日期"));
    const int To = ColumnTitled(QStringLiteral("结束日期"));
    const int Rate = ColumnTitled(QStringLiteral("提成比例"));
    ASSERT_TRUE(ShopNum >= 0 && ShopName >= 0 && ClsNum >= 0 && From >= 0 && To >= 0 && Rate >= 0);
    QAbstractItemModel* M = View->model();
    const int Before = M->rowCount();
    ASSERT_GT(Before, 0) << "the demo database has consignment rows";
    const int StoredBefore = StoredRows("TCmsRsBean")->RecordCount();

    QAction* NewLine = nullptr;
    for (QAction* A : Window->findChildren<QAction*>())
        if (A->text() == QStringLiteral("新增明细(&A)")) NewLine = A;
    ASSERT_NE(NewLine, nullptr);
    NewLine->trigger();
    Settle();
    ASSERT_EQ(M->rowCount(), Before + 1);
    const int Row = M->rowCount() - 1;
    ASSERT_EQ(View->currentIndex().row(), Row);

    // The shop through the unit picker: selected in the tree, OK.
    WhenModal("orv::shell::TUnitTreeDialog", [&](QWidget* Picker) {
        ++PickersSeen;
        QTreeWidget* Tree = static_cast<TUnitTreeDialog*>(Picker)->Tree();
        Tree->setCurrentItem(Tree->findItems("S003", Qt::MatchExactly | Qt::MatchRecursive, 0).value(0));
        Picker->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    ClickEllipsis(ShopNum);
    EXPECT_EQ(PickersSeen, 1);
    EXPECT_EQ(M->index(Row, ShopNum).data().toString(), QStringLiteral("S003"));
    EXPECT_FALSE(M->index(Row, ShopName).data().toString().isEmpty());

    // A number that names no class is refused in the window's name; the cell keeps its text.
    EXPECT_FALSE(M->setData(M->index(Row, ClsNum), QStringLiteral("p9999")));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Caption, "代销提成设置");
    EXPECT_TRUE(M->index(Row, ClsNum).data().toString().isEmpty());

    // Typed in lower case, looked up in upper case; dates and rate typed.
    ASSERT_TRUE(M->setData(M->index(Row, ClsNum), QStringLiteral("p0002")));
    EXPECT_EQ(M->index(Row, ClsNum).data().toString(), QStringLiteral("P0002"));
    ASSERT_TRUE(M->setData(M->index(Row, From), QStringLiteral("2031-01-01")));
    ASSERT_TRUE(M->setData(M->index(Row, To), QStringLiteral("2031-12-31")));
    ASSERT_TRUE(M->setData(M->index(Row, Rate), QStringLiteral("0.125")));
    EXPECT_EQ(Boxes.size(), 1u) << Boxes.back().Text;

    ASSERT_TRUE(SaveButton->isEnabled());
    SaveButton->trigger();
    Settle();
    ASSERT_EQ(Boxes.size(), 1u) << Boxes.back().Text;
    EXPECT_EQ(Form->cdsMain->ChangeCount(), 0);

    std::unique_ptr<TOrvClientDataSet> Stored = StoredRows("TCmsRsBean");
    EXPECT_EQ(Stored->RecordCount(), StoredBefore + 1);
    int Found = 0;
    for (Stored->First(); !Stored->Eof(); Stored->Next()) {
        if (Stored->FieldByName("FROM_DATE")->AsString() != "2031-01-01") continue;
        ++Found;
        EXPECT_EQ(Stored->FieldByName("SHOP_ID")->AsInteger(), 103);
        EXPECT_EQ(Stored->FieldByName("SHOP_NUM")->AsString(), "S003");
        EXPECT_EQ(Stored->FieldByName("SHOP_NAME")->AsString(),
                  M->index(Row, ShopName).data().toString().toStdString());
        EXPECT_EQ(Stored->FieldByName("PROD_CLS_NUM")->AsString(), "P0002");
        EXPECT_EQ(Stored->FieldByName("TO_DATE")->AsString(), "2031-12-31");
        EXPECT_DOUBLE_EQ(Stored->FieldByName("CMS_RATE")->AsFloat(), 0.125);
    }
    EXPECT_EQ(Found, 1);
}

// The batch dialog as a clerk uses it: both lists filled through the pickers (several
// choices each), dates and rate typed, Append; the window's new rows are saved.
TEST_F(ConsignmentWindowTest, TheBatchDialogFillsBothListsAndTheGeneratedRowsAreSaved) {
    const int StoredBefore = StoredRows("TCmsRsBean")->RecordCount();
    const int Before = View->model()->rowCount();
    int Steps = 0;
    WhenModal("CmsRsBatchAppendForm", [&](QWidget* Dialog) {
        ++Steps;
        EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("批量添加"));
        WhenModal("orv::shell::TUnitTreeDialog", [&](QWidget* Picker) {
            ++Steps;
            TickAndConfirm(Picker, static_cast<TUnitTreeDialog*>(Picker)->Tree(), {"S002", "S003"});
        });
        ActionNamed(Dialog, "actShopNewLines")->trigger();
        WhenModal("orv::shell::TProdClsDialog", [&](QWidget* Picker) {
            ++Steps;
            TickAndConfirm(Picker, static_cast<TProdClsDialog*>(Picker)->List(), {"P0002", "P0003"});
        });
        ActionNamed(Dialog, "actNewLines")->trigger();
        for (auto [Name, Day] : {std::pair{"edtFromDate", "2031-01-01"}, {"edtToDate", "2031-06-30"}}) {
            auto* Date = Dialog->findChild<orv::qt::TDateEditor*>(QLatin1String(Name));
            ASSERT_NE(Date, nullptr) << Name;
            Date->Edit()->setText(QLatin1String(Day));
            emit Date->Edit()->editingFinished();
        }
        QTest::keyClicks(Dialog->findChild<QLineEdit*>("edtCmsRate"), "0.05");
        Dialog->findChild<QPushButton*>("btnAppend")->click();
    });
    ActionNamed(Window, "actNewLines")->trigger();
    Settle();
    EXPECT_EQ(Steps, 3) << "the dialog and both pickers were answered";
    ASSERT_TRUE(Boxes.empty()) << Boxes.back().Text;
    ASSERT_EQ(View->model()->rowCount(), Before + 4);

    SaveButton->trigger();
    Settle();
    ASSERT_TRUE(Boxes.empty()) << Boxes.back().Text;
    std::unique_ptr<TOrvClientDataSet> Stored = StoredRows("TCmsRsBean");
    EXPECT_EQ(Stored->RecordCount(), StoredBefore + 4);
    std::vector<std::string> Made;
    for (Stored->First(); !Stored->Eof(); Stored->Next())
        if (Stored->FieldByName("FROM_DATE")->AsString() == "2031-01-01")
            Made.push_back(Stored->FieldByName("SHOP_NUM")->AsString() + " " +
                           Stored->FieldByName("PROD_CLS_NUM")->AsString() + " " +
                           Stored->FieldByName("TO_DATE")->AsString() + " " +
                           Stored->FieldByName("CMS_RATE")->AsString());
    std::sort(Made.begin(), Made.end());
    EXPECT_EQ(Made, (std::vector<std::string>{"S002 P0002 2031-06-30 0.0500", "S002 P0003 2031-06-30 0.0500",
                                              "S003 P0002 2031-06-30 0.0500", "S003 P0003 2031-06-30 0.0500"}));
}

} // namespace
