// The real consignment window in the Qt host: a row made the way a clerk makes it (the
// shop from the unit picker, the class number typed, dates and rate typed), saved into the
// database and read back through the server.
#include "PluginWindow.h"

#include "host/services/Constants.h"
#include "host/widgetset/qt/QtGridView.h"
#include "shell/PickerDialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

using namespace orv;
using namespace orv::shell;

namespace {

class ConsignmentWindowTest : public qt_test::PluginWindowTest {
protected:
    void SetUp() override {
        PluginWindowTest::SetUp();
        OpenWindow("CmsRsMan", &Pickers);
    }

    // Answers the next unit picker the way a user does: selects the unit numbered Num in
    // the tree and presses OK. The picker opens after queued work of the grid, so it is
    // looked for until it shows; any other modal window is closed, so nothing waits.
    void WhenTheUnitPickerOpensChoose(const QString& Num) {
        auto* Poll = new QTimer(Window);
        QObject::connect(Poll, &QTimer::timeout, Poll, [this, Poll, Num] {
            auto* Modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!Modal) return;
            Poll->deleteLater();
            Poll->stop();
            auto* Dialog = qobject_cast<TUnitTreeDialog*>(Modal);
            if (!Dialog) {
                Modal->reject();
                return;
            }
            ++PickersSeen;
            const auto Found = Dialog->Tree()->findItems(Num, Qt::MatchExactly | Qt::MatchRecursive, 0);
            if (!Found.isEmpty()) Dialog->Tree()->setCurrentItem(Found.first());
            Dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        Poll->start(5);
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

    // The shop through the unit picker.
    WhenTheUnitPickerOpensChoose(QStringLiteral("S003"));
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

} // namespace
