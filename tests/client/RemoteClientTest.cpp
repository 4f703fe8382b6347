// The proxies a desktop host works with when started with --server: what the clerk is told
// when the server goes away or the session ends, and that nothing typed is lost meanwhile.
#include "appserver/AppServer.h"
#include "client/RemoteSession.h"
#include "host/services/BusinessIntf.h"
#include "server/Accounts.h"
#include "server/QuillonServer.h"

#include "../server/ServerTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using namespace orv;
using namespace orv::server;
using namespace orv::server::test;

namespace {

class RemoteClientTest : public ::testing::Test {
protected:
    void SetUp() override { Start(0); }
    void TearDown() override { Stop(); }

    // Serves the test's database on Port (0: any free one).
    void Start(int Port) {
        TAppServerOptions Options;
        Options.Database = Dir.File("quillon.db");
        Options.Port = Port;
        Options.Threads = 2;
        Options.Log = [](const std::string&) {};
        App = std::make_unique<TAppServer>(Options);
        Runner = std::thread([this] { App->Run(); });
    }
    void Stop() {
        if (App) App->Stop();
        if (Runner.joinable()) Runner.join();
        App.reset();
    }

    std::shared_ptr<client::TRemoteConnection> Connect() const {
        client::TRemoteOptions Options;
        Options.Url = "http://127.0.0.1:" + std::to_string(App->Port()) + "/";
        Options.ConnectTimeoutSeconds = 2;
        return std::make_shared<client::TRemoteConnection>(Options);
    }

    // The quantity window's rows as admin loads them, with the first row's amount edited.
    TOrvClientDataSet& EditedQuantities(TWindowClient<ICmsQty>& Window) {
        EXPECT_TRUE(Window.Load(Rows));
        Rows.First();
        Rows.Edit();
        Rows.FieldByName("CMS_VAL")->SetAsString("7.25");
        Rows.Post();
        return Rows;
    }

    std::string StoredAmount() {
        TServerOptions O;
        O.Path = Dir.File("quillon.db");
        TQuillonServer Local(O);
        TStatementLease Row =
            Local.Database().Prepare("SELECT cms_val FROM cms_qty ORDER BY prod_sort_id LIMIT 1");
        EXPECT_TRUE(Row->Step());
        return Row->Text(0);
    }

    TTempDir Dir;
    std::unique_ptr<TAppServer> App;
    std::thread Runner;
    TOrvClientDataSet Rows{nullptr};
};

TEST_F(RemoteClientTest, AStoppedServerIsToldAndTheSaveGoesThroughOnceItIsBack) {
    auto Connection = Connect();
    Connection->Login("admin", "quillon-admin");
    EXPECT_EQ(Connection->UnitID(), Sys_GlobalUnitID);
    EXPECT_TRUE(Connection->Authorized(Priv_ModifyCmsQty));
    TWindowClient<ICmsQty> Window(ObjectsOf(Connection), "TCmsQtyBean", Connection->Token(), "PROD_SORT_ID");
    EditedQuantities(Window);
    const std::string Before = StoredAmount();

    const int Port = App->Port();
    Stop();
    TSaveResult Lost = Window.Save(Rows);
    EXPECT_FALSE(Lost.Ok);
    EXPECT_NE(Lost.Error.find("连接不上服务器 http://127.0.0.1:" + std::to_string(Port)), std::string::npos)
        << Lost.Error;
    EXPECT_NE(Lost.Error.find("窗口中的修改都还在"), std::string::npos) << Lost.Error;
    EXPECT_EQ(Rows.ChangeCount(), 1); // the edit waits in the window
    // A right asked before holds for the login; one never asked is no right unanswered.
    EXPECT_TRUE(Connection->Authorized(Priv_ModifyCmsQty));
    EXPECT_FALSE(Connection->Authorized(Priv_ModifyCmsRs));
    EXPECT_EQ(StoredAmount(), Before);

    // The same address again: the session lives in the store and outlasts the process.
    Start(Port);
    EXPECT_TRUE(Connection->Authorized(Priv_ModifyCmsRs)); // asked again once answered
    TSaveResult Again = Window.Save(Rows);
    ASSERT_TRUE(Again.Ok) << Again.Error;
    EXPECT_EQ(Rows.ChangeCount(), 0);
    EXPECT_EQ(StoredAmount(), "725");
}

TEST_F(RemoteClientTest, AnEndedSessionIsTakenUpAgainOnlyThroughANewLogin) {
    auto Connection = Connect();
    Connection->Login("admin", "quillon-admin");
    TWindowClient<ICmsQty> Window(ObjectsOf(Connection), "TCmsQtyBean", Connection->Token(), "PROD_SORT_ID");
    EditedQuantities(Window);

    // Ended behind the window's back, as an idle timeout or a logout elsewhere does.
    auto EndSession = [&] {
        TServerOptions O;
        O.Path = Dir.File("quillon.db");
        TQuillonServer Local(O);
        Local.Accounts().Logout(Connection->Token());
    };
    EndSession();
    int Asked = 0;
    Connection->SetRelogin([&] {
        ++Asked;
        return false; // the clerk cancels the login dialog
    });
    TSaveResult Refused = Window.Save(Rows);
    EXPECT_FALSE(Refused.Ok);
    EXPECT_EQ(Asked, 1);
    EXPECT_NE(Refused.Error.find(SessionEndedMessage), std::string::npos) << Refused.Error;
    EXPECT_EQ(Rows.ChangeCount(), 1);

    // The next call asks again, and logged in again it goes on.
    Connection->SetRelogin([&] {
        ++Asked;
        Connection->Login("admin", "quillon-admin");
        return true;
    });
    TSaveResult Saved = Window.Save(Rows);
    ASSERT_TRUE(Saved.Ok) << Saved.Error;
    EXPECT_EQ(Asked, 2);
    EXPECT_EQ(StoredAmount(), "725");

    // A login that keeps failing is asked for once per call, not in a loop.
    EndSession();
    Connection->SetRelogin([&] {
        ++Asked;
        return true; // claims success, yet nobody logged in
    });
    std::string Data, Error;
    EXPECT_FALSE(Window.Object()->LoadList("", Sys_GlobalUnitID, Data, Error));
    EXPECT_EQ(Asked, 3);
    EXPECT_EQ(Error, SessionEndedMessage);
}

TEST_F(RemoteClientTest, BadAddressesAndLoginsAreRefusedInTheClerksWords) {
    for (const char* Url : {"", "127.0.0.1:8080", "ftp://127.0.0.1/", "http://"}) {
        client::TRemoteOptions O;
        O.Url = Url;
        EXPECT_THROW(client::TRemoteConnection C(O), client::ERemoteError) << Url;
    }
    auto Connection = Connect();
    try {
        Connection->Login("admin", "wrong");
        ADD_FAILURE() << "a wrong password logged in";
    } catch (const client::ELoginRefused& E) {
        EXPECT_STREQ(E.what(), BadLoginMessage);
    }
    EXPECT_THROW(Connection->Call({{"object", "TCmsQtyBean"}, {"method", "LoadList"}, {"unit", 0}}),
                 client::ESessionEnded);
    EXPECT_THROW(client::CreateRemoteObject(Connection, "TNoSuchBean"), EDatabaseError);
}

} // namespace
