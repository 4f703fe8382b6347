// Logins with passwords, idle sessions, slowed guessing and the user command, on both
// engines. Times are given, not read from the clock.
#include "ServerTestSupport.h"

#include "server/Accounts.h"

using namespace orv;
using namespace orv::server;
using namespace orv::server::test;

namespace {

constexpr std::int64_t T0 = 1'800'000'000;

class AccountsTest : public ServerTest {
protected:
    // The message a call raises, or "" when it does not raise EAccessDenied.
    template <class F> static std::string Denial(F&& Call) {
        try {
            Call();
        } catch (const EAccessDenied& E) {
            return E.what();
        }
        return "";
    }
};

TEST_P(AccountsTest, PasswordLoginGivesAResumableTokenAndRefusalsLookAlike) {
    TAccounts Accounts = Server->Accounts();
    const std::string Token = Accounts.Login("admin", "quillon-admin", T0);
    ASSERT_EQ(Token.size(), 64u);
    EXPECT_EQ(Token.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(Accounts.Login("admin", "quillon-admin", T0), Token);

    const TSessionInfo Session = Accounts.Resume(Token, T0);
    EXPECT_EQ(Session.UserName, "admin");
    EXPECT_EQ(Session.UnitID, Sys_GlobalUnitID);
    // The store keeps only a digest of the token, under which the business objects know it.
    EXPECT_NE(Session.SessionID, Token);
    {
        TStatementLease Stored = Server->Database().Prepare("SELECT 1 FROM sessions WHERE session_id = ?1");
        Stored->Bind(1, Token);
        EXPECT_FALSE(Stored->Step());
    }
    ASSERT_TRUE(Server->FindSession(Session.SessionID));
    EXPECT_TRUE(Server->Authorized(Session.SessionID, Priv_ModifyCmsRs));
    EXPECT_NE(Accounts.Login("viewer", "quillon-viewer", T0), "");

    EXPECT_EQ(Denial([&] { Accounts.Login("admin", "quillon-viewer", T0); }), BadLoginMessage);
    EXPECT_EQ(Denial([&] { Accounts.Login("nobody", "quillon-admin", T0); }), BadLoginMessage);
    EXPECT_EQ(Denial([&] { Accounts.Login("nobody", "", T0); }), BadLoginMessage);
    std::string Altered = Token;
    Altered[0] = Altered[0] == '0' ? '1' : '0';
    EXPECT_EQ(Denial([&] { Accounts.Resume(Altered, T0); }), SessionEndedMessage);
    // An in-process session has an id, not a token: its id opens nothing over the network.
    EXPECT_EQ(Denial([&] { Accounts.Resume(Admin, T0); }), SessionEndedMessage);
    EXPECT_TRUE(Server->FindSession(Admin));

    Accounts.Logout(Token);
    EXPECT_EQ(Denial([&] { Accounts.Resume(Token, T0); }), SessionEndedMessage);
}

TEST_P(AccountsTest, UseKeepsASessionAliveAndIdlenessEndsIt) {
    TLoginPolicy Policy;
    Policy.IdleSeconds = 60;
    TAccounts Accounts = Server->Accounts(Policy);
    const std::string Token = Accounts.Login("admin", "quillon-admin", T0);
    EXPECT_EQ(Accounts.Resume(Token, T0 + 50).UserName, "admin");
    EXPECT_EQ(Accounts.Resume(Token, T0 + 110).UserName, "admin");
    const std::string SessionID = Accounts.Resume(Token, T0 + 170).SessionID;
    EXPECT_EQ(Denial([&] { Accounts.Resume(Token, T0 + 231); }), SessionEndedMessage);
    // Ended for good, not just refused this once; the in-process sessions do not expire.
    EXPECT_FALSE(Server->FindSession(SessionID));
    EXPECT_EQ(Denial([&] { Accounts.Resume(Token, T0 + 171); }), SessionEndedMessage);

    // A later login sweeps away sessions nobody came back to.
    Accounts.Login("viewer", "quillon-viewer", T0 + 300);
    Accounts.Login("viewer", "quillon-viewer", T0 + 400);
    EXPECT_EQ(Count("SELECT count(*) FROM sessions WHERE last_used_at IS NOT NULL"), 1);
    EXPECT_TRUE(Server->FindSession(Admin));
}

TEST_P(AccountsTest, RepeatedFailuresMakeAnyNameWait) {
    TAccounts Accounts = Server->Accounts(); // three free failures, then 1, 2, 4... seconds
    for (const std::string Name : {"admin", "nobody"}) {
        SCOPED_TRACE(Name);
        for (int I = 0; I < 3; ++I)
            EXPECT_EQ(Denial([&] { Accounts.Login(Name, "guess", T0); }), BadLoginMessage);
        // Even the right password waits its turn, so guessing cannot go on at full speed.
        EXPECT_EQ(Denial([&] { Accounts.Login(Name, "quillon-admin", T0); }), TooManyLoginsMessage);
        EXPECT_EQ(Denial([&] { Accounts.Login(Name, "guess", T0 + 1); }), BadLoginMessage);
        EXPECT_EQ(Denial([&] { Accounts.Login(Name, "guess", T0 + 2); }), TooManyLoginsMessage);
        EXPECT_EQ(Denial([&] { Accounts.Login(Name, "guess", T0 + 3); }), BadLoginMessage);
    }
    // Other names are not held up, and a success forgets the failures.
    EXPECT_NE(Accounts.Login("viewer", "quillon-viewer", T0), "");
    EXPECT_NE(Accounts.Login("admin", "quillon-admin", T0 + 8), "");
    EXPECT_EQ(Denial([&] { Accounts.Login("admin", "guess", T0 + 8); }), BadLoginMessage);
    EXPECT_NE(Accounts.Login("admin", "quillon-admin", T0 + 8), "");
}

TEST_P(AccountsTest, UserCommandsManageUnitsPasswordsAndRights) {
    TAccounts Accounts = Server->Accounts();
    Accounts.AddUser("east", "华东主管", "R01", "east-secret");
    const TSessionInfo East = Accounts.Resume(Accounts.Login("east", "east-secret", T0), T0);
    EXPECT_EQ(East.DisplayName, "华东主管");
    EXPECT_EQ(East.UnitID, 1);
    EXPECT_FALSE(Server->Authorized(East.SessionID, Priv_ViewCmsRs));

    Accounts.Grant("east", Priv_ViewCmsRs);
    Accounts.Grant("east", Priv_ViewCmsRs); // granting twice is no error
    EXPECT_TRUE(Server->Authorized(East.SessionID, Priv_ViewCmsRs));
    Accounts.Revoke("east", Priv_ViewCmsRs);
    EXPECT_FALSE(Server->Authorized(East.SessionID, Priv_ViewCmsRs));

    // A new password ends the sessions the old one opened.
    Accounts.SetPassword("east", "new-secret");
    EXPECT_FALSE(Server->FindSession(East.SessionID));
    EXPECT_EQ(Denial([&] { Accounts.Login("east", "east-secret", T0); }), BadLoginMessage);
    EXPECT_EQ(Accounts.Resume(Accounts.Login("east", "new-secret", T0), T0).UserName, "east");

    EXPECT_THROW(Accounts.AddUser("east", "", "R01", "x"), EDatabaseError);
    EXPECT_THROW(Accounts.AddUser("west", "", "R99", "x"), EDatabaseError);
    EXPECT_THROW(Accounts.AddUser("west", "", "R01", ""), EDatabaseError);
    EXPECT_THROW(Accounts.SetPassword("west", "x"), EDatabaseError);
    EXPECT_THROW(Accounts.Grant("west", Priv_ViewCmsRs), EDatabaseError);
    EXPECT_THROW(Accounts.Revoke("west", Priv_ViewCmsRs), EDatabaseError);
    EXPECT_EQ(Count("SELECT count(*) FROM users WHERE user_name = 'west'"), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, AccountsTest, AllEngines(), EngineName);

} // namespace
