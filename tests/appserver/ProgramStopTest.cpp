// The quillon-server program stopped in the middle of its work: killed outright during a
// large save, it leaves the store with all of that save or none of it; told to stop with
// SIGTERM, it answers the request in flight in full before it exits.
#include "AppServerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace orv;
using namespace orv::server;
using namespace orv::server::test;

namespace {

using TClock = std::chrono::steady_clock;

class ProgramStopTest : public StoreTest {
protected:
    // The consignment rows from day From on, as the store holds them now. On PostgreSQL a
    // killed program's sessions may still be winding down; they are waited for first.
    std::int64_t RowsFrom(std::int32_t From) {
        if (GetParam() == TStoreEngine::sePostgres)
            for (int I = 0;
                 I < 200 && Local->Database().QueryInt64("SELECT count(*) FROM pg_stat_activity WHERE "
                                                         "datname = current_database() AND pid <> "
                                                         "pg_backend_pid()") > 0;
                 ++I)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return Local->Database().QueryInt64("SELECT count(*) FROM cms_rs WHERE from_date >= " +
                                            std::to_string(From));
    }

    // How long a save of Delta takes through a program of its own, from sending to answer.
    double SecondsToSave(const std::string& Delta) {
        TServerProgram Program(Db, Dir.File("whole.log"));
        EXPECT_GT(Program.Port(), 0) << Program.Log();
        TRemote Client(Program.Port());
        EXPECT_TRUE(Client.Login("admin", "quillon-admin")) << Client.Error;
        const auto Start = TClock::now();
        EXPECT_TRUE(Client.SaveDelta("TCmsRsBean", Sys_GlobalUnitID, Delta)) << Client.Error;
        return std::chrono::duration<double>(TClock::now() - Start).count();
    }

    // A save of Delta sent on its own thread by a client logged in to Program, with when
    // its answer came, if one did.
    struct TSaveInFlight {
        TSaveInFlight(int Port, const std::string& Delta) : Client(Port) {
            LoggedIn = Client.Login("admin", "quillon-admin");
            Sent = TClock::now();
            Sender = std::thread([this, Delta] {
                Answer = Client.SaveDelta("TCmsRsBean", Sys_GlobalUnitID, Delta);
                Answered = true;
            });
        }
        ~TSaveInFlight() { Join(); }
        void Join() {
            if (Sender.joinable()) Sender.join();
        }
        // Waits until Seconds after sending, or until the answer comes if that is sooner;
        // whether the answer was still outstanding then.
        bool StillOutstandingAfter(double Seconds) {
            const auto Until =
                Sent + std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(Seconds));
            while (!Answered && TClock::now() < Until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return !Answered;
        }

        TRemote Client;
        bool LoggedIn = false;
        TClock::time_point Sent;
        std::thread Sender;
        std::atomic<bool> Answered = false;
        std::optional<std::string> Answer;
    };
};

// Every attempt uses days of its own, past every demo row.
constexpr std::int32_t FirstDay = 62000, DaysPerAttempt = 40;

TEST_P(ProgramStopTest, KilledDuringALargeSaveTheStoreHasAllOfItOrNone) {
    if (Db.empty()) return;
    std::int64_t Rows = 0;
    // Left alone, the save stores every row.
    const double Seconds = SecondsToSave(EveryShopAndClassDelta(*Local, FirstDay, FirstDay + 30, Rows));
    ASSERT_EQ(RowsFrom(FirstDay), Rows);
    ASSERT_GT(Rows, 5000);

    // Killed some way into the save, at least twice while it was under way.
    int KilledMidway = 0, Attempt = 0;
    for (const double Fraction : {0.5, 0.9, 0.7, 0.3, 0.15, 0.05}) {
        if (KilledMidway == 2) break;
        ++Attempt;
        const std::int32_t From = FirstDay + Attempt * DaysPerAttempt;
        std::int64_t Sent = 0;
        const std::string Delta = EveryShopAndClassDelta(*Local, From, From + 30, Sent);
        TServerProgram Program(Db, Dir.File("killed.log"));
        ASSERT_GT(Program.Port(), 0) << Program.Log();
        TSaveInFlight Save(Program.Port(), Delta);
        ASSERT_TRUE(Save.LoggedIn) << Save.Client.Error;
        const bool Midway = Save.StillOutstandingAfter(Seconds * Fraction);
        Program.Signal(SIGKILL);
        const int Status = Program.Wait();
        Save.Join();
        EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGKILL) << Status;

        const std::int64_t Stored = RowsFrom(From);
        EXPECT_TRUE(Stored == 0 || Stored == Sent) << Stored << " of " << Sent << " rows after a kill at "
                                                   << Fraction * Seconds << " s of " << Seconds << " s";
        if (Save.Answer) {
            EXPECT_EQ(Stored, Sent);
        }
        if (Midway && !Save.Answer) ++KilledMidway;
    }
    EXPECT_GT(KilledMidway, 0) << "every save was answered before its kill; a whole save takes " << Seconds
                               << " s";

    // What a killed save left behind does not stand in the way of saving it again.
    if (GetParam() == TStoreEngine::seSqlite) {
        TStatementLease Check = Local->Database().Prepare("PRAGMA integrity_check");
        ASSERT_TRUE(Check->Step());
        EXPECT_EQ(Check->Text(0), "ok");
    }
    TWindowClient<ICmsRs> Admin(*Local, "TCmsRsBean", Local->Login("admin"), RsKey);
    const std::int32_t Again = FirstDay + 10 * DaysPerAttempt;
    std::int64_t Sent = 0;
    const std::string Delta = EveryShopAndClassDelta(*Local, Again, Again + 30, Sent);
    std::string Result, Error;
    EXPECT_TRUE(Admin.Object()->SaveDelta(Local->Login("admin"), Sys_GlobalUnitID, Delta, Result, Error))
        << Error;
    EXPECT_EQ(RowsFrom(Again), Sent);
}

TEST_P(ProgramStopTest, SigtermLetsTheRequestInFlightFinishThenExitsWithZero) {
    if (Db.empty()) return;
    std::int64_t Rows = 0;
    const double Seconds = SecondsToSave(EveryShopAndClassDelta(*Local, FirstDay, FirstDay + 30, Rows));
    ASSERT_EQ(RowsFrom(FirstDay), Rows);

    // Stopped some way into the save; when the answer beats the signal, sooner next time.
    bool StoppedMidway = false;
    double Fraction = 0.3;
    for (int Attempt = 1; Attempt <= 4 && !StoppedMidway; ++Attempt, Fraction /= 2) {
        const std::int32_t From = FirstDay + Attempt * DaysPerAttempt;
        std::int64_t Sent = 0;
        const std::string Delta = EveryShopAndClassDelta(*Local, From, From + 30, Sent);
        TServerProgram Program(Db, Dir.File("stopped.log"));
        ASSERT_GT(Program.Port(), 0) << Program.Log();
        TSaveInFlight Save(Program.Port(), Delta);
        ASSERT_TRUE(Save.LoggedIn) << Save.Client.Error;
        StoppedMidway = Save.StillOutstandingAfter(Seconds * Fraction);
        Program.Signal(SIGTERM);
        if (StoppedMidway) {
            // A newcomer is no longer heard while the save goes on.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            TRemote Late(Program.Port(), 5);
            EXPECT_FALSE(Late.Login("admin", "quillon-admin"));
        }
        const int Status = Program.Wait();
        Save.Join();
        EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status << "\n" << Program.Log();
        EXPECT_TRUE(Save.Answer) << Save.Client.Error << "\n" << Program.Log();
        EXPECT_EQ(RowsFrom(From), Sent);
        EXPECT_NE(
            Program.Log().find("POST /call 200 user=admin object=TCmsRsBean method=SaveDelta outcome=ok"),
            std::string::npos)
            << Program.Log();
        EXPECT_NE(Program.Log().find("quillon-server: stopped"), std::string::npos) << Program.Log();
    }
    EXPECT_TRUE(StoppedMidway) << "every save was answered before the signal; a whole save takes " << Seconds
                               << " s";
}

INSTANTIATE_TEST_SUITE_P(Engines, ProgramStopTest, AllEngines(), EngineName);

} // namespace
