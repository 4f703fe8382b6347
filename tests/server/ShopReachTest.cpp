// A user sees and changes only the consignment rows of shops within the user's unit; a
// user of the whole chain sees and changes them all.
#include "ServerTestSupport.h"

#include "host/core/DateUtils.h"

#include <set>
#include <vector>

using namespace orv;
using namespace orv::server;
using namespace orv::server::test;

namespace {

const std::int32_t Jan1 = DayNumber(2030, 1, 1), Jan31 = DayNumber(2030, 1, 31);
constexpr int East = 1; // region R01: shops S001-S007 (101-107) and agent A001 (201)
const char* ForeignShop = "门店“S009 西单店”不在您的管辖范围内，不能保存。"; // region R02

class ShopReachTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (!Server) return;
        TAccounts Accounts = Server->Accounts();
        for (const auto& [Name, Unit] : {std::pair{"east", "R01"}, std::pair{"shop1", "S001"}}) {
            Accounts.AddUser(Name, Name, Unit, "secret");
            Accounts.Grant(Name, Priv_ViewCmsRs);
            Accounts.Grant(Name, Priv_ModifyCmsRs);
        }
        EastUser = Server->Login("east");
        ShopUser = Server->Login("shop1");
        // The region's list names one shop of its own, its agent and a shop of another region.
        TOrvClientDataSet Rows(nullptr);
        auto Chain = RegionRs(Admin);
        ASSERT_TRUE(Chain.Load(Rows));
        AppendRs(Rows, 101, "S001", 101, "P0001", Jan1, Jan31, "0.1");
        AppendRs(Rows, 201, "A001", 101, "P0001", Jan1, Jan31, "0.2");
        AppendRs(Rows, 109, "S009", 101, "P0001", Jan1, Jan31, "0.3");
        const TSaveResult R = Chain.Save(Rows);
        ASSERT_TRUE(R.Ok) << R.Error;
    }

    TWindowClient<ICmsRs> RegionRs(const std::string& Session) {
        return {*Server, "TCmsRsBean", Session, RsKey, East};
    }

    std::set<int> LoadedShops(const std::string& Session) {
        TOrvClientDataSet Rows(nullptr);
        std::string Error;
        EXPECT_TRUE(RegionRs(Session).Load(Rows, &Error)) << Error;
        std::set<int> Shops;
        for (Rows.First(); !Rows.Eof(); Rows.Next())
            Shops.insert(Rows.FieldByName("SHOP_ID")->AsInteger());
        return Shops;
    }

    // Every stored row of the region's list, to see that a refused save left it alone.
    std::vector<std::string> Stored() {
        TStatementLease Rows = Server->Database().Prepare(
            "SELECT shop_id, prod_cls_id, from_date, to_date, cms_rate FROM cms_rs WHERE unit_id = 1 "
            "ORDER BY shop_id, prod_cls_id, from_date");
        std::vector<std::string> All;
        while (Rows->Step()) {
            std::string Row;
            for (int C = 0; C < 5; ++C)
                Row += std::to_string(Rows->Int64(C)) + ";";
            All.push_back(Row);
        }
        return All;
    }

    std::string EastUser, ShopUser;
};

TEST_P(ShopReachTest, LoadGivesOnlyTheRowsOfShopsWithinTheUsersUnit) {
    if (!Server) return;
    EXPECT_EQ(LoadedShops(EastUser), (std::set<int>{101, 201}));
    EXPECT_EQ(LoadedShops(Admin), (std::set<int>{101, 109, 201}));

    // The shop's own list, holding a row of its own shop and one of a neighbour's.
    TOrvClientDataSet Rows(nullptr);
    TWindowClient<ICmsRs> ShopList(*Server, "TCmsRsBean", Admin, RsKey, 101);
    ASSERT_TRUE(ShopList.Load(Rows));
    AppendRs(Rows, 101, "S001", 102, "P0002", Jan1, Jan31, "0.1");
    AppendRs(Rows, 102, "S002", 102, "P0002", Jan1, Jan31, "0.1");
    ASSERT_TRUE(ShopList.Save(Rows).Ok);
    TWindowClient<ICmsRs> OwnList(*Server, "TCmsRsBean", ShopUser, RsKey, 101);
    ASSERT_TRUE(OwnList.Load(Rows));
    ASSERT_EQ(Rows.RecordCount(), 1);
    EXPECT_EQ(Rows.FieldByName("SHOP_ID")->AsInteger(), 101);
}

TEST_P(ShopReachTest, SaveRefusesAWholeDeltaNamingAShopOutsideTheUsersUnit) {
    if (!Server) return;
    const std::vector<std::string> Before = Stored();
    // Each refused delta also changes a row of the user's own shop: none of it may stay.
    auto Refused = [&](const char* Case, auto&& Change) {
        SCOPED_TRACE(Case);
        TOrvClientDataSet Rows(nullptr);
        ASSERT_TRUE(RegionRs(Admin).Load(Rows)); // as if the user held the foreign row
        ASSERT_TRUE(Rows.Locate("SHOP_ID", Variant(101)));
        Rows.Edit();
        Rows.FieldByName("CMS_RATE")->SetAsString("0.05");
        Rows.Post();
        Change(Rows);
        const TSaveResult R = RegionRs(EastUser).Save(Rows);
        EXPECT_FALSE(R.Ok);
        EXPECT_EQ(R.Error, ForeignShop);
        EXPECT_EQ(Stored(), Before);
    };
    Refused("insert",
            [](TOrvClientDataSet& Rows) { AppendRs(Rows, 109, "S009", 102, "P0002", Jan1, Jan31, "0.1"); });
    Refused("modify into", [](TOrvClientDataSet& Rows) {
        ASSERT_TRUE(Rows.Locate("SHOP_ID", Variant(201)));
        Rows.Edit();
        Rows.FieldByName("SHOP_ID")->SetAsInteger(109);
        Rows.FieldByName("SHOP_NUM")->SetAsString("S009");
        Rows.Post();
    });
    Refused("modify from", [](TOrvClientDataSet& Rows) {
        ASSERT_TRUE(Rows.Locate("SHOP_ID", Variant(109)));
        Rows.Edit();
        Rows.FieldByName("SHOP_ID")->SetAsInteger(102);
        Rows.FieldByName("SHOP_NUM")->SetAsString("S002");
        Rows.Post();
    });
    Refused("delete", [](TOrvClientDataSet& Rows) {
        ASSERT_TRUE(Rows.Locate("SHOP_ID", Variant(109)));
        Rows.Delete();
    });

    // Rows of the user's own shops save as before, and the chain's user changes any.
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(RegionRs(EastUser).Load(Rows));
    AppendRs(Rows, 102, "S002", 102, "P0002", Jan1, Jan31, "0.1");
    ASSERT_TRUE(Rows.Locate("SHOP_ID", Variant(201)));
    Rows.Delete();
    TSaveResult R = RegionRs(EastUser).Save(Rows);
    ASSERT_TRUE(R.Ok) << R.Error;
    EXPECT_EQ(LoadedShops(Admin), (std::set<int>{101, 102, 109}));

    ASSERT_TRUE(RegionRs(Admin).Load(Rows));
    ASSERT_TRUE(Rows.Locate("SHOP_ID", Variant(109)));
    Rows.Delete();
    R = RegionRs(Admin).Save(Rows);
    ASSERT_TRUE(R.Ok) << R.Error;
    EXPECT_EQ(LoadedShops(Admin), (std::set<int>{101, 102}));
}

INSTANTIATE_TEST_SUITE_P(Engines, ShopReachTest, AllEngines(), EngineName);

} // namespace
