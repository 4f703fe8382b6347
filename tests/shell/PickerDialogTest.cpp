// The host's picker dialogs: what can be chosen, and what comes back.
#include "host/services/Constants.h"
#include "shell/PickerDialogs.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::shell;

namespace {

std::vector<server::TUnitNode> SmallChain() {
    return {{0, -1, "C000", "集团", UnitType_Company},   {1, 0, "R01", "华东区", UnitType_Region},
            {2, 0, "R02", "华南区", UnitType_Region},    {101, 1, "S001", "南京路店", UnitType_Shop},
            {102, 1, "S002", "淮海路店", UnitType_Shop}, {201, 1, "A001", "华东代理商", UnitType_Agent},
            {103, 2, "S003", "天河店", UnitType_Shop}};
}

QTreeWidgetItem* Find(QTreeWidget* Tree, const QString& Num) {
    QList<QTreeWidgetItem*> Found = Tree->findItems(Num, Qt::MatchExactly | Qt::MatchRecursive, 0);
    return Found.isEmpty() ? nullptr : Found.first();
}

bool OkEnabled(QDialog& D) {
    return D.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled();
}

TEST(UnitTreeDialogTest, TickingARegionChoosesItsShopsAndAgentsInTreeOrder) {
    TUnitTreeDialog D(SmallChain(), {UnitType_Shop, UnitType_Agent}, true);
    EXPECT_FALSE(OkEnabled(D));
    ASSERT_NE(Find(D.Tree(), "R01"), nullptr);
    Find(D.Tree(), "R01")->setCheckState(0, Qt::Checked);
    EXPECT_EQ(D.Chosen(), (std::vector<int>{101, 102, 201}));
    Find(D.Tree(), "S003")->setCheckState(0, Qt::Checked);
    EXPECT_EQ(D.Chosen(), (std::vector<int>{101, 102, 201, 103}));
    EXPECT_TRUE(OkEnabled(D));
}

TEST(UnitTreeDialogTest, OnlyUnitsOfTheWantedTypesCanBeTheSingleChoice) {
    TUnitTreeDialog D(SmallChain(), {UnitType_Shop}, false);
    EXPECT_FALSE(Find(D.Tree(), "R01")->flags() & Qt::ItemIsSelectable);
    EXPECT_TRUE(Find(D.Tree(), "S002")->flags() & Qt::ItemIsSelectable);
    Find(D.Tree(), "A001")->setSelected(true);
    EXPECT_TRUE(D.Chosen().empty()) << "an agent is no shop";
    D.Tree()->clearSelection();
    Find(D.Tree(), "S002")->setSelected(true);
    EXPECT_EQ(D.Chosen(), (std::vector<int>{102}));
    EXPECT_TRUE(OkEnabled(D));
}

TEST(UnitTreeDialogTest, TheSearchKeepsMatchingUnitsAndTheGroupsAboveThem) {
    TUnitTreeDialog D(SmallChain(), {UnitType_Shop, UnitType_Agent}, true);
    D.Search()->setText("天河");
    EXPECT_FALSE(Find(D.Tree(), "S003")->isHidden());
    EXPECT_FALSE(Find(D.Tree(), "R02")->isHidden());
    EXPECT_TRUE(Find(D.Tree(), "S001")->isHidden());
    EXPECT_TRUE(Find(D.Tree(), "R01")->isHidden());
    D.Search()->clear();
    EXPECT_FALSE(Find(D.Tree(), "S001")->isHidden());
}

std::vector<server::TProdClsItem> Catalogue(const std::string& Text) {
    std::vector<server::TProdClsItem> All = {{11, "P0001", "红茶", 1},
                                             {12, "P0002", "绿茶", 1},
                                             {13, "P0003", "可乐", 2},
                                             {14, "P0004", "雪碧", 2}};
    std::vector<server::TProdClsItem> Out;
    for (const auto& I : All)
        if (Text.empty() || I.ProdClsNum.find(Text) != std::string::npos ||
            I.ProdName.find(Text) != std::string::npos)
            Out.push_back(I);
    return Out;
}

TEST(ProdClsDialogTest, TicksSurviveANewSearchAndComeBackInNumberOrder) {
    TProdClsDialog D(Catalogue, "茶", true);
    EXPECT_EQ(D.Search()->text(), QStringLiteral("茶"));
    ASSERT_EQ(D.List()->topLevelItemCount(), 2);
    D.List()->topLevelItem(1)->setCheckState(0, Qt::Checked); // 绿茶
    D.Search()->setText("P0003");
    ASSERT_EQ(D.List()->topLevelItemCount(), 1);
    D.List()->topLevelItem(0)->setCheckState(0, Qt::Checked); // 可乐
    D.Search()->setText("");
    ASSERT_EQ(D.List()->topLevelItemCount(), 4);
    EXPECT_EQ(D.List()->topLevelItem(1)->checkState(0), Qt::Checked);
    std::vector<server::TProdClsItem> Chosen = D.Chosen();
    ASSERT_EQ(Chosen.size(), 2u);
    EXPECT_EQ(Chosen[0].ProdClsID, 12);
    EXPECT_EQ(Chosen[1].ProdClsNum, "P0003");
    EXPECT_EQ(Chosen[1].ProdName, "可乐");
}

TEST(ProdClsDialogTest, ASingleChoiceIsTheSelectedClass) {
    TProdClsDialog D(Catalogue, "", false);
    EXPECT_FALSE(OkEnabled(D));
    D.List()->setCurrentItem(D.List()->topLevelItem(3));
    ASSERT_EQ(D.Chosen().size(), 1u);
    EXPECT_EQ(D.Chosen()[0].ProdClsID, 14);
    EXPECT_TRUE(OkEnabled(D));
}

} // namespace
