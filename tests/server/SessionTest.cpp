// Sessions, rights and business-object creation, all enforced on the server side.
#include "ServerTestSupport.h"

#include "host/services/Constants.h"
#include "server/CmsBeans.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

using namespace orv;
using namespace orv::server;
using namespace orv::server::test;

namespace {

class SessionTest : public ServerTest {};
// What only a SQLite file shows: another program holding its lock.
class SqliteSessionTest : public ServerTest {};

TEST_P(SessionTest, LoginGivesDistinctSessionsAtTheUsersUnit) {
    std::string Second = Server->Login("admin");
    EXPECT_NE(Second, Admin);
    EXPECT_EQ(Admin.size(), 64u);
    std::optional<TSessionInfo> Info = Server->FindSession(Admin);
    ASSERT_TRUE(Info);
    EXPECT_EQ(Info->UserName, "admin");
    EXPECT_EQ(Info->UnitID, Sys_GlobalUnitID);
    EXPECT_THROW(Server->Login("nobody"), EDatabaseError);

    Server->Logout(Second);
    EXPECT_FALSE(Server->FindSession(Second));
    EXPECT_TRUE(Server->FindSession(Admin));
}

TEST_P(SqliteSessionTest, LoginWaitsWhileAnotherConnectionSaves) {
    TServerOptions O = Options();
    O.BusyTimeoutMs = 10000;
    TQuillonServer Patient(O);
    // Another program holds the write lock for a moment, as a save does.
    sqlite3* Other = nullptr;
    ASSERT_EQ(sqlite3_open(DbPath().c_str(), &Other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(Other, "BEGIN IMMEDIATE; UPDATE cms_shf SET cms_val = cms_val + 1", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    std::thread Saver([Other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(Other, "COMMIT", nullptr, nullptr, nullptr);
    });
    std::string Session, Error;
    try {
        Session = Patient.Login("admin");
    } catch (const std::exception& E) {
        Error = E.what();
    }
    Saver.join();
    sqlite3_close(Other);
    EXPECT_EQ(Error, "");
    EXPECT_TRUE(Server->FindSession(Session));
}

TEST_P(SessionTest, RightsFollowTheUser) {
    for (const char* P : {Priv_ViewCmsShf, Priv_ModifyCmsShf, Priv_ViewCmsRs, Priv_ModifyCmsRs})
        EXPECT_TRUE(Server->Authorized(Admin, P)) << P;
    EXPECT_TRUE(Server->Authorized(Viewer, Priv_ViewCmsQty));
    EXPECT_FALSE(Server->Authorized(Viewer, Priv_ModifyCmsQty));
    EXPECT_FALSE(Server->Authorized("no-such-session", Priv_ViewCmsQty));
}

TEST_P(SessionTest, ViewerLoadsButCannotSaveAnyWindow) {
    auto Check = [&](auto Client, const char* Class) {
        TOrvClientDataSet Rows(nullptr);
        ASSERT_TRUE(Client.Load(Rows)) << Class;
        Rows.First();
        Rows.Delete();
        const int Before = Rows.RecordCount() + 1;
        TSaveResult R = Client.Save(Rows);
        EXPECT_FALSE(R.Ok) << Class;
        EXPECT_NE(R.Error.find("没有此项操作的权限"), std::string::npos) << R.Error;
        TOrvClientDataSet Again(nullptr);
        ASSERT_TRUE(Client.Load(Again));
        EXPECT_EQ(Again.RecordCount(), Before) << Class;
    };
    Check(Shf(Viewer), "shift");
    Check(Qty(Viewer), "quantity");
    Check(Val(Viewer), "amount");
    Check(Rs(Viewer), "consignment");
}

TEST_P(SessionTest, UnknownOrEndedSessionCannotLoad) {
    std::string Ended = Server->Login("admin");
    Server->Logout(Ended);
    for (const std::string& Session : {std::string("made-up"), Ended}) {
        TOrvClientDataSet Rows(nullptr);
        std::string Error;
        EXPECT_FALSE(Rs(Session).Load(Rows, &Error));
        EXPECT_NE(Error.find("会话无效"), std::string::npos) << Error;
        std::string Data = "untouched";
        auto Timetable = Supports<IWorkTimetable>(Server->CreateObject("TWorkTimetableBean"));
        EXPECT_FALSE(Timetable->GetShiftList(Session, Sys_GlobalUnitID, Data, Error));
        EXPECT_EQ(Data, "untouched");
    }
}

TEST_P(SessionTest, SessionCannotReachAUnitOutsideItsOwn) {
    // A user of region 2 may work on its shops but not on region 1 or the company.
    Server->Database().Exec("INSERT INTO users VALUES ('north', '华北经理', 2);"
                            "INSERT INTO user_privileges VALUES ('north', 'CMS_SHF_VIEW')");
    const std::string North = Server->Login("north");
    std::string Data, Error;
    auto Obj = Supports<ICmsShf>(Server->CreateObject("TCmsShfBean"));
    EXPECT_TRUE(Obj->LoadList(North, 2, Data, Error)) << Error;
    EXPECT_TRUE(Obj->LoadList(North, 108, Data, Error)) << Error; // S008 lies in region 2
    EXPECT_FALSE(Obj->LoadList(North, 1, Data, Error));
    // The unit by the number and name the user knows, not its id.
    EXPECT_EQ(Error, "当前登录无权处理机构“R01 华东区”的数据。");
    EXPECT_FALSE(Obj->LoadList(North, Sys_GlobalUnitID, Data, Error));
    EXPECT_FALSE(Obj->LoadList(North, 4242, Data, Error)); // no such unit
    EXPECT_EQ(Error, "所选的机构不存在。");
}

TEST_P(SessionTest, ObjectsAreCreatedByClassNameAndCastByGuid) {
    EXPECT_TRUE(Supports<ICmsShf>(Server->CreateObject("TCmsShfBean")));
    EXPECT_TRUE(Supports<ICmsQty>(Server->CreateObject("TCmsQtyBean")));
    EXPECT_TRUE(Supports<ICmsVal>(Server->CreateObject("TCmsValBean")));
    EXPECT_TRUE(Supports<ICmsRs>(Server->CreateObject("TCmsRsBean")));
    EXPECT_TRUE(Supports<IWorkTimetable>(Server->CreateObject("TWorkTimetableBean")));
    EXPECT_FALSE(Supports<ICmsRs>(Server->CreateObject("TCmsShfBean")));
    try {
        Server->CreateObject("TNoSuchBean");
        ADD_FAILURE() << "an unknown class name was accepted";
    } catch (const EDatabaseError& E) {
        EXPECT_NE(E.Message().find("TNoSuchBean"), std::string::npos);
    }
}

TEST_P(SessionTest, ObjectOutlivingItsServerStillAnswers) {
    auto Obj = Supports<ICmsQty>(Server->CreateObject("TCmsQtyBean"));
    Server.reset();
    std::string Data, Error;
    EXPECT_TRUE(Obj->LoadList(Admin, Sys_GlobalUnitID, Data, Error)) << Error;
    EXPECT_FALSE(Data.empty());
}

TEST_P(SessionTest, GarbageDeltaIsRefusedWithAMessage) {
    auto Obj = Supports<ICmsRs>(Server->CreateObject("TCmsRsBean"));
    std::string Result, Error;
    EXPECT_FALSE(Obj->SaveDelta(Admin, Sys_GlobalUnitID, "not a packet", Result, Error));
    EXPECT_FALSE(Error.empty());
    const std::string NoRows =
        OrvPack("<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                "<FIELD attrname=\"CMS_RATE\" fieldtype=\"fixed\" WIDTH=\"5\" DECIMALS=\"4\"/>"
                "</FIELDS></METADATA><ROWDATA/></DATAPACKET>",
                {});
    EXPECT_FALSE(Obj->SaveDelta(Admin, Sys_GlobalUnitID, NoRows, Result, Error));
    EXPECT_EQ(Error, "提交的数据缺少“门店”一列。");
}

INSTANTIATE_TEST_SUITE_P(Engines, SessionTest, AllEngines(), EngineName);
INSTANTIATE_TEST_SUITE_P(Engines, SqliteSessionTest, ::testing::Values(TStoreEngine::seSqlite), EngineName);

} // namespace
