// The library as a host sees it: its exports, Initialize and the launchers.
#include "TestHost.h"

#include "tests/MessageOf.h"

#include <cstdio>
#include <sstream>

using namespace orv;
using namespace test;

TEST(PluginExportsTest, OnlyTheEntryPointsLeaveTheLibrary) {
    std::string Command = std::string(QUILLON_NM) + " -D --defined-only " + QUILLON_PLUGIN_PATH;
    FILE* Pipe = popen(Command.c_str(), "r");
    ASSERT_NE(Pipe, nullptr);
    std::string Output;
    char Buffer[512];
    while (std::fgets(Buffer, sizeof Buffer, Pipe))
        Output += Buffer;
    ASSERT_EQ(pclose(Pipe), 0) << Command;

    std::set<std::string> Names;
    std::istringstream Lines(Output);
    for (std::string Line; std::getline(Lines, Line);) {
        std::istringstream Fields(Line);
        std::string Address, Type, Name;
        Fields >> Address >> Type >> Name;
        if (!Name.empty()) Names.insert(Name);
    }
    EXPECT_EQ(Names, (std::set<std::string>{"Initialize", "CmsShfMan", "CmsQtyMan", "CmsValMan", "CmsRsMan"})) << Output;
}

// A host that gets the order wrong is told so through the call it made; the process
// goes on and no half-made window is left behind.
TEST(PluginOrderTest, LaunchersBeforeInitializeAndAnInitializeWithoutSessionRaise) {
    ASSERT_EQ(SysInfoObj, nullptr) << "no session has been handed over in this process yet";
    for (void (*Launcher)() : {Plugin().CmsShfMan, Plugin().CmsQtyMan, Plugin().CmsValMan, Plugin().CmsRsMan}) {
        std::string Message = MessageOf<Exception>(Launcher);
        EXPECT_NE(Message.find("Initialize"), std::string::npos) << Message;
        EXPECT_TRUE(Application->Forms().empty());
    }
    EXPECT_NE(MessageOf<Exception>([] { Plugin().Initialize(nullptr); }).find("Initialize"),
              std::string::npos);
    EXPECT_EQ(SysInfoObj, nullptr);
}

TEST_F(PluginTest, InitializeHandsTheSessionAndBothApplicationsToTheHost) {
    EXPECT_EQ(SysInfoObj, &Session);
    ASSERT_EQ(Cshare.Synchronized.size(), 1u);
    EXPECT_EQ(Cshare.Synchronized[0].first, Session.HostApplication());
    EXPECT_EQ(Cshare.Synchronized[0].second, Application);
}

TEST_F(PluginTest, EachLauncherCallOpensItsOwnIndependentWindow) {
    TBrowseForm* A = Open(Plugin().CmsShfMan);
    TBrowseForm* B = Open(Plugin().CmsShfMan);
    ASSERT_TRUE(A && B);
    EXPECT_NE(A, B);
    EXPECT_NE(A->cdsMain, B->cdsMain);
    EXPECT_EQ(A->Owner(), Application);
    EXPECT_EQ(Beans.Shf.Loads, 2);
    Type(A, 0, "CMS_VAL", "1");
    A->cdsMain->Post();
    EXPECT_EQ(A->cdsMain->ChangeCount(), 1);
    EXPECT_EQ(B->cdsMain->ChangeCount(), 0);
    EXPECT_EQ(B->grdMain->CellText(0, 1), "100.00");

    // Closing one leaves the other as it is.
    WS.QueueAnswer(IDNO);
    WS.UserCloseWindow(A);
    ASSERT_EQ(Application->Forms().size(), 1u);
    EXPECT_EQ(Application->Forms()[0], B);
}

TEST_F(PluginTest, AWindowOpenedEarlierUsesTheSessionOfTheLatestInitialize) {
    TBrowseForm* F = Open(Plugin().CmsShfMan);
    ASSERT_NE(F, nullptr);

    TSysInfo Second;
    TBeans SecondBeans;
    SecondBeans.Register(Second);
    SecondBeans.Shf.LoadData = Pack(ShfRowsXml);
    SecondBeans.Shf.SaveResultData = Pack("");
    Second.CodeTable()->SetValue("UNIT_ID", "34");
    Second.CodeTable()->SetValue("SESSION_ID", "S-2");
    Second.SetHostApplication(Application);
    Second.SetAuthorizer([](const std::string&) { return true; });
    Plugin().Initialize(&Second);

    Type(F, 0, "CMS_VAL", "5");
    WS.UserExecute(F->actSave);
    EXPECT_EQ(Beans.Shf.Saves, 0);
    ASSERT_EQ(SecondBeans.Shf.Saves, 1);
    EXPECT_EQ(SecondBeans.Shf.SessionID, "S-2");
    EXPECT_EQ(SecondBeans.Shf.UnitID, 34);
    EXPECT_EQ(SecondBeans.Shf.Created, SecondBeans.Shf.Released);
    Application->FreeForms();
}

TEST_F(PluginTest, AUserExceptionFromShowReachesTheHostWithMessageAndTitle) {
    Beans.Val.LoadResult = false;
    Beans.Val.LoadError = "无权访问本单位的数据。";
    try {
        Plugin().CmsValMan();
        FAIL() << "the launcher should let the exception through";
    } catch (const TUserException& E) {
        EXPECT_EQ(E.Message(), "无权访问本单位的数据。");
        EXPECT_EQ(E.Title(), "金额提成管理");
    }
    // The launcher freed nothing: the window is still with its owner.
    ASSERT_EQ(Application->Forms().size(), 1u);
    EXPECT_EQ(Application->Forms()[0]->Name(), "CmsValBrowseForm");
}

TEST_F(PluginTest, ALauncherCalledFromAUserEventShowsAFailureInsteadOfCrashing) {
    Cshare.ProdSortResult = false;
    Cshare.ProdSortError = "商品类别不可用。";
    Application->HandleEvent([] { Plugin().CmsQtyMan(); });
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, "商品类别不可用。");
    EXPECT_EQ(WS.Messages()[0].Caption, "数量提成管理");
    EXPECT_TRUE(Application->Forms().empty());
}
