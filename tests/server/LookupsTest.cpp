// Lookups and picker queries, and the work timetable object.
#include "ServerTestSupport.h"

#include "host/core/DateUtils.h"
#include "host/services/Constants.h"
#include "server/CmsBeans.h"

#include <algorithm>
#include <limits>

using namespace orv;
using namespace orv::server;
using namespace orv::server::test;

namespace {

class LookupsTest : public ServerTest {
protected:
    ILookups& L() { return AdminLookups(); }
};

TEST_P(LookupsTest, ProductSortListHasEveryCategory) {
    TOrvClientDataSet S(nullptr);
    std::string Error;
    ASSERT_TRUE(L().GetProductSortList(&S, Error)) << Error;
    EXPECT_EQ(S.RecordCount(), 30);
    EXPECT_EQ(S.RecNo(), 1);
    EXPECT_EQ(S.FieldByName("PROD_SORT_ID")->AsInteger(), 1);
    EXPECT_EQ(S.FieldByName("PROD_SORT_NUM")->AsString(), "01");
    EXPECT_EQ(S.FieldByName("DESCRIPTION")->AsString(), "食品");
    EXPECT_EQ(static_cast<TBCDField*>(S.FieldByName("PROD_SORT_ID"))->Precision(), 8);
}

TEST_P(LookupsTest, UnitByNumberRespectsTypeAndRoot) {
    TOrvClientDataSet S(nullptr);
    std::string Error;
    ASSERT_TRUE(L().GetUnit(Sys_GlobalUnitID, Sys_UnknownID, "S001", UnitType_Shop, &S, Error)) << Error;
    EXPECT_EQ(S.FieldByName("UNIT_ID")->AsInteger(), 101);
    EXPECT_EQ(S.FieldByName("UNIT_NAME")->AsString(), "南京东路店");
    EXPECT_EQ(S.FieldByName("UNIT_TYPE")->AsString(), "S");

    // A miss leaves S as the last hit left it.
    EXPECT_FALSE(L().GetUnit(Sys_GlobalUnitID, Sys_UnknownID, "S99", UnitType_Shop, &S, Error));
    EXPECT_EQ(Error, "门店编号 S99 不存在。");
    EXPECT_EQ(S.FieldByName("UNIT_ID")->AsInteger(), 101);

    EXPECT_FALSE(L().GetUnit(Sys_GlobalUnitID, Sys_UnknownID, "A001", UnitType_Shop, &S, Error));
    EXPECT_TRUE(L().GetUnit(Sys_GlobalUnitID, Sys_UnknownID, "A001", "S;A", &S, Error)) << Error;
    // S001 lies in region 1: refused as saving it there would be, not as unknown.
    EXPECT_FALSE(L().GetUnit(3, Sys_UnknownID, "S001", UnitType_Shop, &S, Error));
    EXPECT_EQ(Error, "门店“S001 南京东路店”不在您的管辖范围内。");
    EXPECT_EQ(S.FieldByName("UNIT_ID")->AsInteger(), 201) << "a refusal leaves S as the last hit left it";
    EXPECT_TRUE(L().GetUnit(1, 101, "", UnitType_Shop, &S, Error)) << Error;
    EXPECT_FALSE(L().GetUnit(Sys_GlobalUnitID, 4242, "", UnitType_Shop, &S, Error));
    EXPECT_EQ(Error, "所选的门店不存在或不在可选范围内。");
}

// Under the root means the root itself or any unit below it, however deep; a unit above
// the root or in another branch is not found, by number or by key.
TEST_P(LookupsTest, UnitLookupFindsOnlyTheRootAndUnitsBelowIt) {
    TOrvClientDataSet S(nullptr);
    std::string Error;
    EXPECT_TRUE(L().GetUnit(101, Sys_UnknownID, "S001", UnitType_Shop, &S, Error)) << Error;
    EXPECT_TRUE(L().GetUnit(Sys_GlobalUnitID, Sys_UnknownID, "C000", "", &S, Error)) << Error;
    EXPECT_FALSE(L().GetUnit(101, Sys_UnknownID, "C000", "", &S, Error));
    EXPECT_FALSE(L().GetUnit(1, Sys_UnknownID, "A002", "", &S, Error)); // region 3's agent
    EXPECT_FALSE(L().GetUnit(1, 202, "", "", &S, Error));
    ASSERT_TRUE(L().GetUnit(3, 202, "", "", &S, Error)) << Error;
    EXPECT_EQ(S.FieldByName("UNIT_NUM")->AsString(), "A002");
    // By key, a number given beside it plays no part.
    ASSERT_TRUE(L().GetUnit(1, 101, "S999", UnitType_Shop, &S, Error)) << Error;
    EXPECT_EQ(S.FieldByName("UNIT_NUM")->AsString(), "S001");
    // A root that is no unit has nothing below it.
    EXPECT_FALSE(L().GetUnit(4242, Sys_UnknownID, "S001", "", &S, Error));
    EXPECT_EQ(S.FieldByName("UNIT_NUM")->AsString(), "S001");
}

TEST_P(LookupsTest, ProductClassByNumberOrId) {
    TOrvClientDataSet S(nullptr);
    std::string Error;
    ASSERT_TRUE(L().GetProdCls(Sys_UnknownID, "P0011", &S, Error)) << Error;
    EXPECT_EQ(S.FieldByName("PROD_CLS_ID")->AsInteger(), 201);
    EXPECT_NE(S.FieldByName("PROD_NAME")->AsString().find("矿泉水"), std::string::npos);
    ASSERT_TRUE(L().GetProdCls(201, "", &S, Error)) << Error;
    EXPECT_EQ(S.FieldByName("PROD_CLS_NUM")->AsString(), "P0011");
    EXPECT_FALSE(L().GetProdCls(Sys_UnknownID, "p0011", &S, Error));
    EXPECT_EQ(Error, "商品品种编号 p0011 不存在。");
    EXPECT_FALSE(L().GetProdCls(4242, "", &S, Error));
    EXPECT_EQ(Error, "所选的商品品种不存在。");
    EXPECT_FALSE(L().GetProdCls(Sys_UnknownID, "P0011", nullptr, Error));
}

TEST_P(LookupsTest, UnitTreeKeepsTheChainAboveWantedTypes) {
    std::vector<TUnitNode> All = L().UnitTree(Sys_GlobalUnitID, "");
    EXPECT_EQ(All.size(), 1u + 3u + 20u + 2u);
    EXPECT_EQ(All.front().UnitID, Sys_GlobalUnitID);
    EXPECT_EQ(All.front().ParentID, -1);

    std::vector<TUnitNode> Agents = L().UnitTree(Sys_GlobalUnitID, UnitType_Agent);
    // Company, the two regions holding agents, the two agents; parents come first.
    ASSERT_EQ(Agents.size(), 5u);
    for (std::size_t I = 1; I < Agents.size(); ++I) {
        auto Parent = std::find_if(Agents.begin(), Agents.begin() + static_cast<long>(I),
                                   [&](const TUnitNode& N) { return N.UnitID == Agents[I].ParentID; });
        EXPECT_NE(Parent, Agents.begin() + static_cast<long>(I)) << Agents[I].UnitNum;
    }

    std::vector<TUnitNode> Region = L().UnitTree(2, "S;A");
    EXPECT_EQ(Region.front().ParentID, -1); // the root of the answer, though it has a parent
    EXPECT_EQ(Region.size(), 1u + 7u);
}

TEST_P(LookupsTest, ProductClassSearchMatchesNumberOrNameLiterally) {
    EXPECT_EQ(L().ProdClsList("").size(), 300u);
    std::vector<TProdClsItem> ByNumber = L().ProdClsList("p000");
    EXPECT_EQ(ByNumber.size(), 9u); // P0001..P0009, case-insensitive
    std::vector<TProdClsItem> ByName = L().ProdClsList("矿泉水");
    EXPECT_EQ(ByName.size(), 5u);
    for (const TProdClsItem& I : ByName)
        EXPECT_EQ(I.ProdSortID, 2);
    EXPECT_TRUE(L().ProdClsList("%").empty());
}

class TimetableTest : public ServerTest {
protected:
    TInterfacePtr<IWorkTimetable> Obj() {
        return Supports<IWorkTimetable>(Objects(Admin)("TWorkTimetableBean"));
    }
    int ShiftAt(TDateTime Moment) {
        int Shift = 0;
        std::string Error;
        EXPECT_TRUE(Obj()->GetShiftOfTime(Admin, Sys_GlobalUnitID, Moment, Shift, Error)) << Error;
        return Shift;
    }
    const TDateTime Day = EncodeDate(2030, 3, 10);
};

TEST_P(TimetableTest, ShiftListNeedsOnlyASession) {
    std::string Data, Error;
    ASSERT_TRUE(Obj()->GetShiftList(Viewer, Sys_GlobalUnitID, Data, Error)) << Error;
    TOrvClientDataSet S(nullptr);
    S.SetXMLData(OrvUnpack(Data));
    ASSERT_EQ(S.RecordCount(), 3);
    EXPECT_EQ(S.FieldByName("SHF_NAME")->AsString(), "早班");
    EXPECT_EQ(S.FieldByName("START_TIME")->AsString(), "07:00");
    EXPECT_EQ(S.FieldByName("END_TIME")->AsString(), "15:00");
}

TEST_P(TimetableTest, ShiftOfTimeFollowsTheTimetableAcrossMidnight) {
    // Without a timetable every shift runs every day.
    EXPECT_EQ(ShiftAt(Day + 7.0 / 24), 1);
    EXPECT_EQ(ShiftAt(Day + 22.99 / 24), 2);
    EXPECT_EQ(ShiftAt(Day + 23.5 / 24), 3);
    EXPECT_EQ(ShiftAt(Day + 2.0 / 24), 3); // the night shift begun the day before

    // With one: only the early shift on the 10th, only the night shift on the 9th.
    TWindowClient<IWorkTimetable> Client(Objects(Admin), "TWorkTimetableBean", Admin, "WORK_DATE;SHF_ID");
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    for (auto [Date, Shift] : {std::pair{Day, 1}, std::pair{Day - 1, 3}}) {
        Rows.Append();
        Rows.FieldByName("WORK_DATE")->SetValue(Variant::Date(DateOf(Date)));
        Rows.FieldByName("SHF_ID")->SetAsInteger(Shift);
        Rows.Post();
    }
    TSaveResult R = Client.Save(Rows);
    ASSERT_TRUE(R.Ok) << R.Error;
    ASSERT_TRUE(Rows.Locate("SHF_ID", Variant(3)));
    EXPECT_EQ(Rows.FieldByName("SHF_NAME")->AsString(), "晚班"); // filled by the answer

    EXPECT_EQ(ShiftAt(Day + 3.0 / 24), 3);
    EXPECT_EQ(ShiftAt(Day + 8.0 / 24), 1);
    EXPECT_EQ(ShiftAt(Day + 16.0 / 24), 0); // nobody works then: left alone

    std::string Data, Error;
    ASSERT_TRUE(Obj()->GetTimetable(Admin, Sys_GlobalUnitID, Day, Day, Data, Error)) << Error;
    TOrvClientDataSet One(nullptr);
    One.SetXMLData(OrvUnpack(Data));
    EXPECT_EQ(One.RecordCount(), 1);
    // Through the network the session is the connection's token, whose refusal the
    // application server's own tests cover.
    if (!ThroughNetwork()) {
        EXPECT_FALSE(Obj()->GetTimetable(Viewer + "x", Sys_GlobalUnitID, Day, Day, Data, Error));
    }
}

TEST_P(TimetableTest, MomentsOnNoCalendarDayAreRefusedNamingTheArgument) {
    const double Inf = std::numeric_limits<double>::infinity();
    const TDateTime LastMoment = EncodeDate(9999, 12, 31) + 0.999;
    for (double Bad : {std::numeric_limits<double>::quiet_NaN(), Inf, -Inf, 1e300, -1e300, LastMoment + 1,
                       EncodeDate(1, 1, 1) - 1}) {
        int Shift = 42;
        std::string Data = "untouched", Error;
        EXPECT_FALSE(Obj()->GetShiftOfTime(Admin, Sys_GlobalUnitID, Bad, Shift, Error)) << Bad;
        EXPECT_EQ(Error.rfind("查询的时刻无效", 0), 0u) << Bad << ": " << Error;
        EXPECT_EQ(Shift, 42);
        EXPECT_FALSE(Obj()->GetTimetable(Admin, Sys_GlobalUnitID, Bad, Day, Data, Error)) << Bad;
        EXPECT_EQ(Error.rfind("开始日期无效", 0), 0u) << Bad << ": " << Error;
        EXPECT_FALSE(Obj()->GetTimetable(Admin, Sys_GlobalUnitID, Day, Bad, Data, Error)) << Bad;
        EXPECT_EQ(Error.rfind("结束日期无效", 0), 0u) << Bad << ": " << Error;
        EXPECT_EQ(Data, "untouched");
    }
    // The calendar's last moment still has a shift: the night shift.
    EXPECT_EQ(ShiftAt(LastMoment), 3);
}

INSTANTIATE_TEST_SUITE_P(Engines, LookupsTest, AllEngines(), EngineName);
INSTANTIATE_TEST_SUITE_P(Engines, TimetableTest, AllEngines(), EngineName);

} // namespace
