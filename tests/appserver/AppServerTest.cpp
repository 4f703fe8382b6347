// The application server through HTTP, as a client on the network sees it: a real server
// on a free port of 127.0.0.1, on a demo database of its own, next to an in-process
// server on the same file whose answers the network's must equal.
#include "appserver/AppServer.h"
#include "client/RemoteSession.h"
#include "host/data/ClientDataSet.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/OrvPack.h"
#include "server/QuillonServer.h"
#include "server/ServerLookups.h"

#include "../server/ServerTestSupport.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace orv;
using namespace orv::server;
using nlohmann::json;

namespace {

constexpr std::size_t MaxRequestBytes = 64 * 1024;
constexpr std::int64_t IdleSeconds = 600;

class AppServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TAppServerOptions Options;
        Options.Database = Dir.File("quillon.db");
        Options.Port = 0;
        Options.Threads = 4;
        Options.MaxRequestBytes = MaxRequestBytes;
        Options.Login.IdleSeconds = IdleSeconds;
        Options.Log = [this](const std::string& Line) {
            {
                std::lock_guard<std::mutex> Guard(LogLock);
                Log.push_back(Line);
            }
            LogAdded.notify_all();
        };
        App = std::make_unique<TAppServer>(Options);
        Runner = std::thread([this] { App->Run(); });
        TServerOptions Local;
        Local.Path = Options.Database;
        // Packing as the application server does, so that both give the same packed text.
        Local.PackOptions = Options.PackOptions;
        InProcess = std::make_unique<TQuillonServer>(Local);
    }

    void TearDown() override {
        if (App) App->Stop();
        if (Runner.joinable()) Runner.join();
        InProcess.reset();
        App.reset();
    }

    httplib::Client Client() const {
        httplib::Client C("127.0.0.1", App->Port());
        C.set_read_timeout(20, 0);
        return C;
    }

    httplib::Result Post(const std::string& Path, const std::string& Body, const std::string& Token = {},
                         httplib::Headers Headers = {}) const {
        if (!Token.empty()) Headers.emplace("Authorization", "Bearer " + Token);
        return Client().Post(Path.c_str(), Headers, Body, "application/json");
    }

    // The token of a good login; fails the test otherwise.
    std::string Login(const std::string& User, const std::string& Password) const {
        auto Res = Post("/login", json{{"user", User}, {"password", Password}}.dump());
        EXPECT_TRUE(Res);
        if (!Res) return {};
        EXPECT_EQ(Res->status, 200) << Res->body;
        return json::parse(Res->body).value("token", "");
    }

    // A /call answered with 200, its body.
    json Call(const std::string& Token, json Request) const {
        auto Res = Post("/call", Request.dump(), Token);
        EXPECT_TRUE(Res);
        if (!Res) return {};
        EXPECT_EQ(Res->status, 200) << Res->body;
        return json::parse(Res->body, nullptr, false);
    }

    json LoadList(const std::string& Token, const std::string& Object, int Unit = Sys_GlobalUnitID) const {
        return Call(Token, {{"object", Object}, {"method", "LoadList"}, {"unit", Unit}});
    }

    // What the in-process object answers the same user: ok and data, or the refusal.
    template <class I> std::pair<bool, std::string> LocalLoad(const std::string& User, const std::string& Object,
                                                              int Unit = Sys_GlobalUnitID) {
        TInterfacePtr<I> Obj = Supports<I>(InProcess->CreateObject(Object));
        std::string Data, Error;
        const bool Ok = Obj->LoadList(InProcess->Login(User), Unit, Data, Error);
        return {Ok, Ok ? Data : Error};
    }

    // The server logs a request once its answer is out, so the line may still be coming.
    bool Logged(const std::string& Text) {
        std::unique_lock<std::mutex> Guard(LogLock);
        return LogAdded.wait_for(Guard, std::chrono::seconds(5), [&] {
            for (const std::string& Line : Log)
                if (Line.find(Text) != std::string::npos) return true;
            return false;
        });
    }

    test::TTempDir Dir;
    std::unique_ptr<TAppServer> App;
    std::thread Runner;
    std::unique_ptr<TQuillonServer> InProcess;
    std::mutex LogLock;
    std::condition_variable LogAdded;
    std::vector<std::string> Log;
};

TEST_F(AppServerTest, RefusedLoginsSayTheSameWhetherOrNotTheUserExists) {
    const std::string Token = Login("admin", "quillon-admin");
    EXPECT_EQ(Token.size(), 64u);

    auto WrongPassword = Post("/login", R"({"user": "admin", "password": "quillon-viewer"})");
    auto NoSuchUser = Post("/login", R"({"user": "nobody", "password": "quillon-admin"})");
    ASSERT_TRUE(WrongPassword && NoSuchUser);
    EXPECT_EQ(WrongPassword->status, 401);
    EXPECT_EQ(NoSuchUser->status, 401);
    EXPECT_EQ(WrongPassword->body, NoSuchUser->body);
    EXPECT_EQ(json::parse(NoSuchUser->body).value("error", ""), BadLoginMessage);
    EXPECT_TRUE(Logged("POST /login 401 user=nobody object=- method=- outcome=denied"));

    // The name keeps being refused while it waits out its failures, whoever asks.
    for (int I = 0; I < 3; ++I)
        Post("/login", R"({"user": "nobody", "password": "guess"})");
    auto Waiting = Post("/login", R"({"user": "nobody", "password": "guess"})");
    ASSERT_TRUE(Waiting);
    EXPECT_EQ(Waiting->status, 429);
    EXPECT_EQ(json::parse(Waiting->body).value("error", ""), TooManyLoginsMessage);
    EXPECT_TRUE(Logged("POST /login 429 user=nobody object=- method=- outcome=throttled"));
}

TEST_F(AppServerTest, CallsNeedALiveTokenOfTheirOwn) {
    const std::string Token = Login("admin", "quillon-admin");
    EXPECT_EQ(LoadList(Token, "TCmsShfBean").value("ok", false), true);

    const json Request = {{"object", "TCmsShfBean"}, {"method", "LoadList"}, {"unit", Sys_GlobalUnitID}};
    auto Refused = [&](const httplib::Result& Res) {
        return Res && Res->status == 401 && json::parse(Res->body).value("error", "") == SessionEndedMessage;
    };
    EXPECT_TRUE(Refused(Post("/call", Request.dump())));
    EXPECT_TRUE(Refused(Post("/call", Request.dump(), {}, {{"Authorization", "Basic " + Token}})));
    EXPECT_TRUE(Refused(Post("/call", Request.dump(), std::string(Token.rbegin(), Token.rend()))));
    // The in-process session id of the same user is no token.
    EXPECT_TRUE(Refused(Post("/call", Request.dump(), InProcess->Login("admin"))));

    // Idle longer than allowed, as another server of the chain sees it in the store.
    const std::string Idle = Login("viewer", "quillon-viewer");
    {
        TStatementLease Age =
            InProcess->Database().Prepare("UPDATE sessions SET last_used_at = last_used_at - ?2 WHERE user_name = ?1");
        Age->Bind(1, "viewer").Bind(2, IdleSeconds + 1);
        ASSERT_EQ(Age->Execute(), 1);
    }
    EXPECT_TRUE(Refused(Post("/call", Request.dump(), Idle)));
    {
        TStatementLease Left = InProcess->Database().Prepare("SELECT count(*) FROM sessions WHERE user_name = ?1");
        Left->Bind(1, "viewer");
        ASSERT_TRUE(Left->Step());
        EXPECT_EQ(Left->Int64(0), 0);
    }

    auto Out = Post("/logout", "", Token);
    ASSERT_TRUE(Out);
    EXPECT_EQ(Out->status, 200);
    EXPECT_TRUE(Refused(Post("/call", Request.dump(), Token)));
}

TEST_F(AppServerTest, RightsAndUnitsAreCheckedOnTheServerAsInProcess) {
    TAccounts Accounts = InProcess->Accounts();
    Accounts.AddUser("east", "华东主管", "R01", "east-secret");
    Accounts.Grant("east", Priv_ViewCmsShf);
    const std::string Viewer = Login("viewer", "quillon-viewer");
    const std::string East = Login("east", "east-secret");

    // A right the user lacks: the object's own refusal, word for word.
    const json NoRight = LoadList(East, "TCmsQtyBean", 1);
    EXPECT_EQ(NoRight.value("ok", true), false);
    EXPECT_EQ(NoRight.value("error", ""), (LocalLoad<ICmsQty>("east", "TCmsQtyBean", 1).second));
    EXPECT_NE(NoRight.value("error", "").find(Priv_ViewCmsQty), std::string::npos);

    // A unit above the user's own.
    const json Foreign = LoadList(East, "TCmsShfBean", Sys_GlobalUnitID);
    EXPECT_EQ(Foreign.value("ok", true), false);
    EXPECT_EQ(Foreign.value("error", ""), (LocalLoad<ICmsShf>("east", "TCmsShfBean").second));
    EXPECT_NE(Foreign.value("error", "").find("C000"), std::string::npos);
    const json Own = LoadList(East, "TCmsShfBean", 1);
    EXPECT_EQ(Own.value("ok", false), true);
    EXPECT_EQ(Own.value("data", ""), (LocalLoad<ICmsShf>("east", "TCmsShfBean", 1).second));

    // Looking is not changing.
    const json Save = Call(Viewer, {{"object", "TCmsShfBean"},
                                    {"method", "SaveDelta"},
                                    {"unit", Sys_GlobalUnitID},
                                    {"delta", OrvPack("", {})}});
    EXPECT_EQ(Save.value("ok", true), false);
    EXPECT_NE(Save.value("error", "").find(Priv_ModifyCmsShf), std::string::npos);
    EXPECT_TRUE(Logged("user=viewer object=TCmsShfBean method=SaveDelta outcome=refused"));
}

TEST_F(AppServerTest, AUserOfARegionGetsAndSavesOnlyItsOwnShopsRowsOverTheNetwork) {
    TAccounts Accounts = InProcess->Accounts();
    Accounts.AddUser("east", "华东主管", "R01", "east-secret");
    Accounts.Grant("east", Priv_ViewCmsRs);
    Accounts.Grant("east", Priv_ModifyCmsRs);
    // The region's list holds a row of its shop S001 and one of S009, of region R02.
    test::TWindowClient<ICmsRs> Chain(*InProcess, "TCmsRsBean", InProcess->Login("admin"), test::RsKey, 1);
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Chain.Load(Rows));
    test::AppendRs(Rows, 101, "S001", 101, "P0001", 60000, 60030, "0.1");
    test::AppendRs(Rows, 109, "S009", 101, "P0001", 60000, 60030, "0.2");
    ASSERT_TRUE(Chain.Save(Rows).Ok);

    const std::string East = Login("east", "east-secret");
    const json Loaded = LoadList(East, "TCmsRsBean", 1);
    ASSERT_EQ(Loaded.value("ok", false), true) << Loaded.dump();
    EXPECT_EQ(Loaded.value("data", ""), (LocalLoad<ICmsRs>("east", "TCmsRsBean", 1).second));
    Rows.SetXMLData(OrvUnpack(Loaded.value("data", "")));
    Rows.SetKeyFields(test::RsKey);
    ASSERT_EQ(Rows.RecordCount(), 1);
    EXPECT_EQ(Rows.FieldByName("SHOP_ID")->AsInteger(), 101);

    test::AppendRs(Rows, 109, "S009", 102, "P0002", 60000, 60030, "0.3");
    const json Saved = Call(East, {{"object", "TCmsRsBean"},
                                   {"method", "SaveDelta"},
                                   {"unit", 1},
                                   {"delta", OrvPack(Rows.GetXMLDelta(), {TOrvPackOption::poCompress})}});
    EXPECT_EQ(Saved.value("ok", true), false);
    EXPECT_EQ(Saved.value("error", ""), "门店“S009 西单店”不在您的管辖范围内，不能保存。");
    EXPECT_EQ(InProcess->Database().QueryInt64("SELECT count(*) FROM cms_rs WHERE unit_id = 1"), 2);
}

TEST_F(AppServerTest, MalformedAndOversizeRequestsAreRefusedAndTheServerCarriesOn) {
    const std::string Token = Login("admin", "quillon-admin");
    auto Status = [&](const std::string& Path, const std::string& Body) {
        auto Res = Post(Path, Body, Token);
        return Res ? Res->status : -1;
    };
    EXPECT_EQ(Status("/login", "{\"user\": \"admin\""), 400);
    EXPECT_EQ(Status("/login", R"({"user": "admin", "password": 7})"), 400);
    EXPECT_EQ(Status("/call", "[1, 2]"), 400);
    EXPECT_EQ(Status("/call", R"({"object": "TCmsShfBean", "method": "LoadList"})"), 400);
    EXPECT_EQ(Status("/call", R"({"object": "TCmsShfBean", "method": "LoadList", "unit": "0"})"), 400);
    EXPECT_EQ(Status("/call", R"({"object": "TCmsShfBean", "method": "SaveDelta", "unit": 0})"), 400);
    EXPECT_EQ(Status("/call", R"({"object": "TNoSuchBean", "method": "LoadList", "unit": 0})"), 404);
    EXPECT_EQ(Status("/call", R"({"object": "TCmsShfBean", "method": "GetShiftList", "unit": 0})"), 404);
    EXPECT_EQ(Status("/nowhere", "{}"), 404);
    EXPECT_EQ(Status("/call", json{{"object", "TCmsShfBean"},
                                   {"method", "SaveDelta"},
                                   {"unit", 0},
                                   {"delta", std::string(MaxRequestBytes, 'x')}}
                                  .dump()),
              413);
    // A damaged packet reaches the object, which refuses it.
    const json Damaged =
        Call(Token, {{"object", "TCmsShfBean"}, {"method", "SaveDelta"}, {"unit", 0}, {"delta", "ORVPK1"}});
    EXPECT_EQ(Damaged.value("ok", true), false);
    EXPECT_FALSE(Damaged.value("error", "").empty());

    EXPECT_EQ(LoadList(Token, "TCmsShfBean").value("ok", false), true);
}

TEST_F(AppServerTest, LoadAndSaveOverTheNetworkMatchInProcess) {
    const std::string Token = Login("admin", "quillon-admin");
    const json Loaded = LoadList(Token, "TCmsShfBean");
    ASSERT_EQ(Loaded.value("ok", false), true);
    ASSERT_EQ(Loaded.value("data", ""), (LocalLoad<ICmsShf>("admin", "TCmsShfBean").second));

    TOrvClientDataSet Rows(nullptr);
    Rows.SetXMLData(OrvUnpack(Loaded.value("data", "")));
    Rows.SetKeyFields("SHF_ID");
    Rows.First();
    Rows.Edit();
    Rows.FieldByName("CMS_VAL")->SetAsString("4321.5");
    Rows.Post();
    const json Saved = Call(Token, {{"object", "TCmsShfBean"},
                                    {"method", "SaveDelta"},
                                    {"unit", Sys_GlobalUnitID},
                                    {"delta", OrvPack(Rows.GetXMLDelta(), {TOrvPackOption::poCompress})}});
    ASSERT_EQ(Saved.value("ok", false), true) << Saved.dump();
    EXPECT_NO_THROW(OrvUnpack(Saved.value("data", "")));

    const auto [Ok, Local] = LocalLoad<ICmsShf>("admin", "TCmsShfBean");
    ASSERT_TRUE(Ok);
    TOrvClientDataSet Again(nullptr);
    Again.SetXMLData(OrvUnpack(Local));
    Again.First();
    EXPECT_EQ(Again.FieldByName("CMS_VAL")->AsString(), "4321.50");
    EXPECT_EQ(LoadList(Token, "TCmsShfBean").value("data", ""), Local);
    EXPECT_TRUE(Logged("user=admin object=TCmsShfBean method=SaveDelta outcome=ok"));

    // The timetable's own methods, and the answer compressed for a client that accepts it.
    const json Shifts = Call(Token, {{"object", "TWorkTimetableBean"}, {"method", "GetShiftList"}, {"unit", 0}});
    EXPECT_EQ(Shifts.value("ok", false), true);
    EXPECT_NE(OrvUnpack(Shifts.value("data", "")).find("早班"), std::string::npos);
    auto Gzipped = Post("/call", json{{"object", "TCmsRsBean"}, {"method", "LoadList"}, {"unit", 0}}.dump(), Token,
                        {{"Accept-Encoding", "gzip"}});
    ASSERT_TRUE(Gzipped);
    EXPECT_EQ(Gzipped->get_header_value("Content-Encoding"), "gzip");
    EXPECT_EQ(json::parse(Gzipped->body).value("data", ""), (LocalLoad<ICmsRs>("admin", "TCmsRsBean").second));
}

TEST_F(AppServerTest, LookupsAnswerAsInProcessWithinTheUsersUnit) {
    InProcess->Accounts().AddUser("east", "华东主管", "R01", "east-secret");
    const std::string East = Login("east", "east-secret");
    auto Lookup = [&](json Request) {
        Request["object"] = "Lookups";
        return Call(East, Request);
    };
    // The packet of a lookup, or its refusal, as the in-process lookups give it.
    auto Local = [](bool Ok, const TOrvClientDataSet& Rows, const std::string& Error) {
        return Ok ? Rows.GetXMLData() : Error;
    };
    auto Remote = [](const json& Answer) {
        return Answer.value("ok", false) ? OrvUnpack(Answer.value("data", "")) : Answer.value("error", "");
    };
    TServerLookups& Lookups = InProcess->Lookups();
    TOrvClientDataSet Rows(nullptr);
    std::string Error;

    const json Shop = Lookup({{"method", "GetUnit"}, {"root", 1}, {"num", "S001"}, {"types", "S"}});
    ASSERT_EQ(Shop.value("ok", false), true) << Shop.dump();
    EXPECT_EQ(Remote(Shop), Local(Lookups.GetUnit(1, Sys_UnknownID, "S001", "S", &Rows, Error), Rows, Error));
    EXPECT_NE(Remote(Shop).find("南京东路店"), std::string::npos);
    const json OtherRegion = Lookup({{"method", "GetUnit"}, {"root", 1}, {"num", "S008"}, {"types", "S"}});
    EXPECT_EQ(OtherRegion.value("ok", true), false);
    EXPECT_EQ(Remote(OtherRegion), Local(Lookups.GetUnit(1, Sys_UnknownID, "S008", "S", &Rows, Error), Rows, Error));
    const json AboveUser = Lookup({{"method", "GetUnit"}, {"root", 0}, {"num", "S001"}});
    EXPECT_EQ(AboveUser.value("ok", true), false);
    EXPECT_NE(AboveUser.value("error", "").find("C000"), std::string::npos);

    const json Cls = Lookup({{"method", "GetProdCls"}, {"num", "P0001"}});
    EXPECT_EQ(Remote(Cls), Local(Lookups.GetProdCls(Sys_UnknownID, "P0001", &Rows, Error), Rows, Error));
    const json Sorts = Lookup({{"method", "GetProductSortList"}});
    EXPECT_EQ(Remote(Sorts), Local(Lookups.GetProductSortList(&Rows, Error), Rows, Error));

    const json Tree = Lookup({{"method", "UnitTree"}, {"root", 1}, {"types", "S"}});
    const std::vector<TUnitNode> Expected = Lookups.UnitTree(1, "S");
    ASSERT_EQ(Tree.value("units", json::array()).size(), Expected.size());
    ASSERT_EQ(Expected.size(), 8u); // the region and its seven shops
    for (std::size_t I = 0; I < Expected.size(); ++I) {
        const json& U = Tree["units"][I];
        EXPECT_EQ(U.value("id", 0), Expected[I].UnitID);
        EXPECT_EQ(U.value("parent", 0), Expected[I].ParentID);
        EXPECT_EQ(U.value("num", ""), Expected[I].UnitNum);
    }
    EXPECT_EQ(Lookup({{"method", "UnitTree"}, {"root", 0}}).value("ok", true), false);

    const json Classes = Lookup({{"method", "ProdClsList"}, {"search", "巧克力"}});
    const std::vector<TProdClsItem> Found = Lookups.ProdClsList("巧克力");
    ASSERT_EQ(Found.size(), 5u);
    ASSERT_EQ(Classes.value("classes", json::array()).size(), Found.size());
    EXPECT_EQ(Classes["classes"][0].value("num", ""), Found[0].ProdClsNum);
    EXPECT_EQ(Classes["classes"][4].value("name", ""), Found[4].ProdName);
}

TEST_F(AppServerTest, ManyClientsAtOnceEachGetTheirAnswer) {
    const std::string Token = Login("admin", "quillon-admin");
    const std::string Expected = LocalLoad<ICmsRs>("admin", "TCmsRsBean").second;
    constexpr int Clients = 8, Calls = 5;
    std::vector<int> Matches(Clients, 0);
    std::vector<std::thread> Threads;
    for (int C = 0; C < Clients; ++C)
        Threads.emplace_back([&, C] {
            httplib::Client Http("127.0.0.1", App->Port());
            Http.set_read_timeout(20, 0);
            const httplib::Headers Auth = {{"Authorization", "Bearer " + Token}};
            const std::string Body = json{{"object", "TCmsRsBean"}, {"method", "LoadList"}, {"unit", 0}}.dump();
            for (int K = 0; K < Calls; ++K) {
                auto Res = Http.Post("/call", Auth, Body, "application/json");
                if (Res && Res->status == 200 && json::parse(Res->body).value("data", "") == Expected) ++Matches[C];
            }
        });
    for (std::thread& T : Threads)
        T.join();
    EXPECT_EQ(Matches, std::vector<int>(Clients, Calls));
}

// A self-signed certificate for 127.0.0.1 and its key, written as PEM files.
void WriteSelfSignedCertificate(const std::string& CertFile, const std::string& KeyFile) {
    EVP_PKEY* Key = EVP_EC_gen("P-256");
    ASSERT_TRUE(Key);
    X509* Cert = X509_new();
    ASSERT_TRUE(Cert);
    X509_set_version(Cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(Cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(Cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(Cert), 3600);
    X509_set_pubkey(Cert, Key);
    X509_NAME* Name = X509_get_subject_name(Cert);
    X509_NAME_add_entry_by_txt(Name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1,
                               -1, 0);
    X509_set_issuer_name(Cert, Name);
    ASSERT_GT(X509_sign(Cert, Key, EVP_sha256()), 0);
    FILE* Out = std::fopen(CertFile.c_str(), "w");
    ASSERT_TRUE(Out);
    PEM_write_X509(Out, Cert);
    std::fclose(Out);
    Out = std::fopen(KeyFile.c_str(), "w");
    ASSERT_TRUE(Out);
    PEM_write_PrivateKey(Out, Key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(Out);
    X509_free(Cert);
    EVP_PKEY_free(Key);
}

TEST(AppServerTlsTest, WithACertificateOnlyHttpsIsServed) {
    const test::TTempDir Dir;
    ASSERT_NO_FATAL_FAILURE(WriteSelfSignedCertificate(Dir.File("cert.pem"), Dir.File("key.pem")));
    {
        TAppServerOptions Options;
        Options.Database = Dir.File("quillon.db");
        Options.Port = 0;
        Options.Threads = 2;
        Options.CertFile = Dir.File("cert.pem");
        Options.KeyFile = Dir.File("key.pem");
        Options.Log = [](const std::string&) {};
        TAppServer App(Options);
        std::thread Runner([&] { App.Run(); });

        httplib::SSLClient Secure("127.0.0.1", App.Port());
        Secure.enable_server_certificate_verification(false);
        auto Login = Secure.Post("/login", R"({"user": "admin", "password": "quillon-admin"})", "application/json");
        const bool Answered = Login && Login->status == 200;
        EXPECT_TRUE(Answered);
        if (Answered) {
            EXPECT_EQ(json::parse(Login->body).value("token", "").size(), 64u);
        }

        // A desktop host trusts the certificate only when told to (--ca-cert).
        client::TRemoteOptions Host;
        Host.Url = "https://127.0.0.1:" + std::to_string(App.Port());
        try {
            client::TRemoteConnection(Host).Login("admin", "quillon-admin");
            ADD_FAILURE() << "a self-signed certificate was trusted unasked";
        } catch (const client::ERemoteError& E) {
            EXPECT_NE(std::string(E.what()).find("无法与服务器 " + Host.Url + " 建立安全连接"), std::string::npos)
                << E.what();
        }
        Host.CaFile = Dir.File("cert.pem");
        {
            client::TRemoteConnection Trusting(Host);
            EXPECT_NO_THROW(Trusting.Login("admin", "quillon-admin"));
            EXPECT_TRUE(Trusting.Authorized(Priv_ModifyCmsRs));
            Trusting.Logout();
        } // closed before the server stops, which would wait out its keep-alive

        httplib::Client Plain("127.0.0.1", App.Port());
        Plain.set_read_timeout(5, 0);
        auto Refused = Plain.Post("/login", R"({"user": "admin", "password": "quillon-admin"})", "application/json");
        EXPECT_FALSE(Refused && Refused->status == 200);

        App.Stop();
        Runner.join();

        Options.KeyFile.clear();
        EXPECT_THROW(TAppServer{Options}, std::runtime_error);
    }
}

} // namespace
