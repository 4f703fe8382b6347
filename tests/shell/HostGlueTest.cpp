// The host's glue without a screen: the command line, the session on a real database,
// the lookups and pickers over the server, and loading the plug-in.
#include "host/data/ClientDataSet.h"
#include "host/forms/Forms.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/widgetset/HeadlessWidgetSet.h"
#include "shell/HostCshare.h"
#include "shell/HostOptions.h"
#include "shell/HostSession.h"
#include "shell/PluginLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace orv;
using namespace orv::shell;

namespace {

// A database file of its own per test, removed afterwards.
class TempDatabase {
public:
    TempDatabase() {
        std::random_device R;
        Path = (std::filesystem::temp_directory_path() / ("quillon-glue-" + std::to_string(R()) + ".db"))
                   .string();
    }
    ~TempDatabase() {
        std::error_code Ec;
        for (const char* Suffix : {"", "-wal", "-shm", "-journal"})
            std::filesystem::remove(Path + Suffix, Ec);
    }
    std::string Path;
};

// ---- command line --------------------------------------------------------------------------

TEST(HostOptionsTest, DefaultsToTheDemoUserAndTheDefaultPaths) {
    THostOptions O = ParseHostOptions({});
    EXPECT_EQ(O.UserName, "admin");
    EXPECT_TRUE(O.DatabasePath.empty());
    EXPECT_TRUE(O.PluginPath.empty());
    EXPECT_TRUE(O.Open.empty());
    EXPECT_TRUE(O.Screenshot.empty());
    EXPECT_FALSE(O.Help);
}

TEST(HostOptionsTest, TakesEveryOptionInBothSpellingsAndRepeatsOpen) {
    THostOptions O = ParseHostOptions({"--db", "/tmp/a.db", "--user=viewer", "--plugin", "/x/libquillon.so",
                                       "--open", "CmsShfMan", "--open=CmsRsMan", "--screenshot", "s.png"});
    EXPECT_EQ(O.DatabasePath, "/tmp/a.db");
    EXPECT_EQ(O.UserName, "viewer");
    EXPECT_EQ(O.PluginPath, "/x/libquillon.so");
    EXPECT_EQ(O.Open, (std::vector<std::string>{"CmsShfMan", "CmsRsMan"}));
    EXPECT_EQ(O.Screenshot, "s.png");
    EXPECT_TRUE(ParseHostOptions({"-h"}).Help);
}

TEST(HostOptionsTest, TakesAnApplicationServerInsteadOfADatabase) {
    THostOptions O = ParseHostOptions({"--server", "https://app:8443", "--ca-cert=ca.pem", "--password-stdin"});
    EXPECT_EQ(O.ServerUrl, "https://app:8443");
    EXPECT_EQ(O.CaFile, "ca.pem");
    EXPECT_TRUE(O.PasswordFromStdin);
    EXPECT_TRUE(O.DatabasePath.empty());
    // Rows live in one place; the login options mean nothing without a server.
    EXPECT_THROW(ParseHostOptions({"--server", "http://app", "--db", "a.db"}), EHostUsage);
    EXPECT_THROW(ParseHostOptions({"--password-stdin"}), EHostUsage);
    EXPECT_THROW(ParseHostOptions({"--db", "a.db", "--ca-cert", "ca.pem"}), EHostUsage);
}

TEST(HostOptionsTest, RefusesWhatItCannotRun) {
    EXPECT_THROW(ParseHostOptions({"--colour", "red"}), EHostUsage);
    EXPECT_THROW(ParseHostOptions({"stray"}), EHostUsage);
    EXPECT_THROW(ParseHostOptions({"--db"}), EHostUsage);
    EXPECT_THROW(ParseHostOptions({"--user="}), EHostUsage);
    try {
        ParseHostOptions({"--open", "CmsFooMan"});
        FAIL() << "an unknown window was accepted";
    } catch (const EHostUsage& E) {
        EXPECT_NE(std::string(E.what()).find("CmsFooMan"), std::string::npos);
    }
}

// ---- session -------------------------------------------------------------------------------

TEST(HostSessionTest, DescribesTheLoggedInUsersSession) {
    TempDatabase Db;
    THostSession S(Db.Path, "admin");
    EXPECT_TRUE(std::filesystem::exists(Db.Path)) << "the first run creates the database";
    EXPECT_EQ(S.SysInfo().CodeTable()->GetValue("UNIT_ID"), std::to_string(Sys_GlobalUnitID));
    EXPECT_EQ(S.SysInfo().CodeTable()->GetValue("SESSION_ID"), S.SessionID());
    ASSERT_TRUE(S.Server().FindSession(S.SessionID()).has_value());
    EXPECT_EQ(S.SysInfo().HostApplication(), Application);
    TOrvPackOptions Pack = S.SysInfo().GetPackOptions();
    EXPECT_TRUE(Pack.Contains(TOrvPackOption::poCompress));
    EXPECT_TRUE(Pack.Contains(TOrvPackOption::poChecksum));
    EXPECT_TRUE(S.SysInfo().Authorized(Priv_ModifyCmsShf));
    EXPECT_TRUE(S.SysInfo().Authorized(Priv_ViewCmsRs));
    EXPECT_FALSE(S.SysInfo().Authorized("NO_SUCH_RIGHT"));
}

TEST(HostSessionTest, AsksTheServerForTheRightsOfTheUser) {
    TempDatabase Db;
    THostSession S(Db.Path, "viewer");
    EXPECT_TRUE(S.SysInfo().Authorized(Priv_ViewCmsShf));
    EXPECT_FALSE(S.SysInfo().Authorized(Priv_ModifyCmsShf));
}

TEST(HostSessionTest, OffersTheFiveBusinessObjectsByClassName) {
    TempDatabase Db;
    THostSession S(Db.Path, "admin");
    for (const char* Name : THostSession::ClassNames) {
        TInterfacePtr<IInterface> Obj = S.SysInfo().CreateObject(Name);
        EXPECT_TRUE(Obj) << Name;
    }
    TInterfacePtr<ICmsShf> Shf = Supports<ICmsShf>(S.SysInfo().CreateObject("TCmsShfBean"));
    ASSERT_TRUE(Shf);
    std::string Data, Error;
    EXPECT_TRUE(Shf->LoadList(S.SessionID(), S.UnitID(), Data, Error)) << Error;
    EXPECT_FALSE(Data.empty());
    EXPECT_THROW(S.SysInfo().CreateObject("TNoSuchBean"), Exception);
}

TEST(HostSessionTest, AnUnknownUserIsRefused) {
    TempDatabase Db;
    EXPECT_THROW(THostSession(Db.Path, "nobody"), EDatabaseError);
}

TEST(HostSessionTest, EndsTheServerSessionWhenItGoes) {
    TempDatabase Db;
    std::string Id;
    {
        THostSession S(Db.Path, "admin");
        Id = S.SessionID();
    }
    THostSession Again(Db.Path, "admin");
    EXPECT_NE(Again.SessionID(), Id);
    EXPECT_FALSE(Again.Server().FindSession(Id).has_value());
}

// ---- lookups and pickers -------------------------------------------------------------------

// Answers pickers from a script and records what they were shown.
class TFakePickers : public IPickerUi {
public:
    std::optional<std::vector<int>> UnitAnswer;
    std::optional<std::vector<server::TProdClsItem>> ProdClsAnswer;
    std::string SearchFor;
    int UnitCalls = 0, ProdClsCalls = 0;
    std::vector<server::TUnitNode> ShownTree;
    std::vector<std::string> ShownSelectable;
    bool ShownMulti = false;
    std::string ShownFilter;

    std::optional<std::vector<int>> PickUnits(const std::vector<server::TUnitNode>& Tree,
                                              const std::vector<std::string>& Selectable,
                                              bool Multi) override {
        ++UnitCalls;
        ShownTree = Tree;
        ShownSelectable = Selectable;
        ShownMulti = Multi;
        return UnitAnswer;
    }
    std::optional<std::vector<server::TProdClsItem>>
    PickProdCls(const TProdClsSearch& Search, const std::string& Filter, bool Multi) override {
        ++ProdClsCalls;
        ShownFilter = Filter;
        ShownMulti = Multi;
        // As the clerk types: a search at every key.
        for (std::size_t Typed = 1; Typed < SearchFor.size(); ++Typed) Search(SearchFor.substr(0, Typed));
        if (!SearchFor.empty()) return Search(SearchFor);
        return ProdClsAnswer;
    }
};

class HostCshareTest : public ::testing::Test {
protected:
    HostCshareTest()
        : Session(Db.Path, "admin"), Provider(Session.Lookups(), Session.SysInfo(), &Ui) {}

    std::vector<std::string> Column(const char* Field) {
        std::vector<std::string> Values;
        for (Result.First(); !Result.Eof(); Result.Next())
            Values.push_back(Result.FieldByName(Field)->AsString());
        return Values;
    }

    TempDatabase Db;
    THostSession Session;
    TFakePickers Ui;
    THostCshareProvider Provider;
    TOrvClientDataSet Result{nullptr};
};

// Lookups whose server is out of reach, as a host started with --server has them then.
class TUnreachableLookups : public server::ILookups {
public:
    static constexpr const char* Why = "连接不上服务器 http://app:8080，请检查网络。";
    bool GetProductSortList(TOrvClientDataSet*, std::string& E) override { return Fail(E); }
    bool GetUnit(int, int, const std::string&, const std::string&, TOrvClientDataSet*, std::string& E) override {
        return Fail(E);
    }
    bool GetProdCls(int, const std::string&, TOrvClientDataSet*, std::string& E) override { return Fail(E); }
    std::vector<server::TUnitNode> UnitTree(int, const std::string&) override { throw client::ERemoteError(Why); }
    std::vector<server::TProdClsItem> ProdClsList(const std::string&) override { throw client::ERemoteError(Why); }

private:
    static bool Fail(std::string& E) {
        E = Why;
        return false;
    }
};

// A picker over an unreachable server tells the clerk why and writes nothing; nothing
// raised leaves through the toolkit, whose event loop would not survive it.
TEST_F(HostCshareTest, PickersTellAServerOutOfReachAndWriteNothing) {
    THeadlessWidgetSet WS;
    WS.Install();
    TUnreachableLookups Gone;
    THostCshareProvider P(Gone, Session.SysInfo(), &Ui);
    Result.SetXMLData(R"(<DATAPACKET Version="2.0"><METADATA><FIELDS><FIELD attrname="X" fieldtype="i4"/></FIELDS></METADATA><ROWDATA><ROW X="7"/></ROWDATA></DATAPACKET>)");
    EXPECT_FALSE(P.SelectUnitInTree(Sys_GlobalUnitID, UnitType_Shop, "", "", &Result));
    EXPECT_EQ(Ui.UnitCalls, 0) << "no picker over a tree that could not be had";
    Ui.SearchFor = "P00";
    EXPECT_FALSE(P.SelectProdCls("", false, &Result));
    EXPECT_EQ(Ui.ProdClsCalls, 1) << "the picker opens; its searches, one a key, find nothing";
    ASSERT_EQ(WS.Messages().size(), 2u);
    for (const auto& M : WS.Messages()) EXPECT_EQ(M.Text, TUnreachableLookups::Why);
    EXPECT_EQ(Result.RecordCount(), 1);
    EXPECT_EQ(Result.FieldByName("X")->AsInteger(), 7);
}

TEST_F(HostCshareTest, LookupsAnswerFromTheServer) {
    std::string Error;
    ASSERT_TRUE(Provider.GetUnit(Sys_GlobalUnitID, Sys_UnknownID, "S001", UnitType_Shop, &Result, Error))
        << Error;
    EXPECT_EQ(Result.FieldByName("UNIT_ID")->AsInteger(), 101);
    EXPECT_FALSE(Result.FieldByName("UNIT_NAME")->AsString().empty());

    EXPECT_FALSE(Provider.GetUnit(Sys_GlobalUnitID, Sys_UnknownID, "S999", UnitType_Shop, &Result, Error));
    EXPECT_NE(Error.find("S999"), std::string::npos);
    EXPECT_EQ(Result.FieldByName("UNIT_ID")->AsInteger(), 101) << "a miss leaves the result as it was";

    ASSERT_TRUE(Provider.GetProdCls(Sys_UnknownID, "P0001", &Result, Error)) << Error;
    EXPECT_EQ(Result.FieldByName("PROD_CLS_NUM")->AsString(), "P0001");
    ASSERT_TRUE(Provider.GetProductSortList(&Result, Error)) << Error;
    EXPECT_EQ(Result.RecordCount(), 30);
}

TEST_F(HostCshareTest, TheUnitPickerShowsShopsAndAgentsAndWritesTheChosenUnit) {
    Ui.UnitAnswer = std::vector<int>{201};
    ASSERT_TRUE(
        Provider.SelectUnitInTree(Sys_GlobalUnitID, UnitType_Shop, UnitType_Agent, Priv_ViewCmsRs, &Result));
    EXPECT_EQ(Ui.ShownSelectable, (std::vector<std::string>{UnitType_Shop, UnitType_Agent}));
    EXPECT_FALSE(Ui.ShownMulti);
    int Shops = 0, Agents = 0;
    for (const server::TUnitNode& N : Ui.ShownTree) {
        Shops += N.UnitType == UnitType_Shop;
        Agents += N.UnitType == UnitType_Agent;
    }
    EXPECT_EQ(Shops, 20);
    EXPECT_EQ(Agents, 2);
    ASSERT_EQ(Result.RecordCount(), 1);
    EXPECT_EQ(Result.FieldByName("UNIT_ID")->AsInteger(), 201);
    EXPECT_EQ(Result.FieldByName("UNIT_NUM")->AsString(), "A001");
    EXPECT_EQ(Result.FieldByName("UNIT_NAME")->AsString(), "华东代理商");
}

TEST_F(HostCshareTest, SeveralUnitsArriveInThePickersOrder) {
    Ui.UnitAnswer = std::vector<int>{103, 101, 202};
    bool All = true;
    ASSERT_TRUE(Provider.SelectUnitsInTree(Sys_GlobalUnitID, UnitType_Shop, UnitType_Agent, Priv_ViewCmsRs,
                                           &Result, All));
    EXPECT_TRUE(Ui.ShownMulti);
    EXPECT_EQ(Column("UNIT_ID"), (std::vector<std::string>{"103", "101", "202"}));
    EXPECT_EQ(Column("UNIT_NUM"), (std::vector<std::string>{"S003", "S001", "A002"}));
    EXPECT_FALSE(All);
}

TEST_F(HostCshareTest, ACancelledPickerLeavesTheResultAlone) {
    std::string Error;
    ASSERT_TRUE(Provider.GetProdCls(Sys_UnknownID, "P0002", &Result, Error));
    Ui.UnitAnswer.reset();
    EXPECT_FALSE(
        Provider.SelectUnitInTree(Sys_GlobalUnitID, UnitType_Shop, UnitType_Agent, Priv_ViewCmsRs, &Result));
    Ui.ProdClsAnswer.reset();
    EXPECT_FALSE(Provider.SelectProdCls("", true, &Result));
    ASSERT_EQ(Result.RecordCount(), 1);
    EXPECT_EQ(Result.FieldByName("PROD_CLS_NUM")->AsString(), "P0002");
}

TEST_F(HostCshareTest, APickerForARightTheUserLacksShowsNothing) {
    THostSession Viewer(Db.Path, "viewer");
    THostCshareProvider P(Viewer.Lookups(), Viewer.SysInfo(), &Ui);
    Ui.UnitAnswer = std::vector<int>{101};
    EXPECT_FALSE(
        P.SelectUnitInTree(Sys_GlobalUnitID, UnitType_Shop, UnitType_Agent, Priv_ModifyCmsRs, &Result));
    EXPECT_EQ(Ui.UnitCalls, 0);
}

TEST_F(HostCshareTest, TheProductClassPickerSearchesTheServerAndWritesTheChosenClasses) {
    Ui.SearchFor = "P000";
    ASSERT_TRUE(Provider.SelectProdCls("起始", true, &Result));
    EXPECT_EQ(Ui.ShownFilter, "起始");
    EXPECT_EQ(Column("PROD_CLS_NUM"), (std::vector<std::string>{"P0001", "P0002", "P0003", "P0004", "P0005",
                                                                "P0006", "P0007", "P0008", "P0009"}));
    Result.First();
    EXPECT_EQ(Result.FieldByName("PROD_CLS_ID")->AsInteger(), 101);

    // A single choice keeps one class even if the interface hands back more.
    ASSERT_TRUE(Provider.SelectProdCls("", false, &Result));
    EXPECT_EQ(Result.RecordCount(), 1);
}

// ---- the plug-in library -------------------------------------------------------------------

TEST(PluginLibraryTest, AMissingLibraryIsAnErrorNamingIt) {
    TPluginLibrary L;
    try {
        L.Load("/nonexistent/libquillon.so");
        FAIL() << "loaded a library that does not exist";
    } catch (const EPluginLoad& E) {
        EXPECT_NE(std::string(E.what()).find("/nonexistent/libquillon.so"), std::string::npos);
    }
    EXPECT_FALSE(L.Loaded());
    EXPECT_EQ(L.Symbol("Initialize"), nullptr);
}

TEST(PluginLibraryTest, FindsThePlugInsExportsAndNothingElse) {
    TPluginLibrary L;
    L.Load(QUILLON_PLUGIN_PATH);
    ASSERT_TRUE(L.Loaded());
    EXPECT_NE(L.Symbol("Initialize"), nullptr);
    EXPECT_NE(L.Symbol("CmsShfMan"), nullptr);
    EXPECT_EQ(L.Symbol("NoSuchExport"), nullptr);
    EXPECT_THROW(L.Load(QUILLON_PLUGIN_PATH), EPluginLoad) << "one library per object";
}

TEST(PluginLibraryTest, TheDefaultPathIsBesideTheRunningProgram) {
    std::filesystem::path P = DefaultPluginPath();
    EXPECT_EQ(P.filename(), "libquillon.so");
    EXPECT_EQ(P.parent_path(), std::filesystem::read_symlink("/proc/self/exe").parent_path());
}

} // namespace
