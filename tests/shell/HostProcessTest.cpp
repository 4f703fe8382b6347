// quillon-host run as a user runs it, offscreen: a screenshot of the shift window, a
// missing plug-in, windows that do not open, wrong command lines, a login to an
// application server.
#include "appserver/AppServer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct TRun {
    int Status = -1;
    std::string Errors;
};

class HostProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device R;
        Dir = fs::temp_directory_path() / ("quillon-host-" + std::to_string(R()));
        fs::create_directories(Dir);
    }
    void TearDown() override {
        std::error_code Ec;
        fs::remove_all(Dir, Ec);
    }

    // Runs quillon-host offscreen with Args and Input on its standard input; waits for it.
    TRun Run(std::vector<std::string> Args, const std::string& Input = {}) {
        Args.insert(Args.begin(), QUILLON_HOST_PATH);
        std::vector<char*> Argv;
        for (std::string& A : Args)
            Argv.push_back(A.data());
        Argv.push_back(nullptr);
        std::vector<std::string> Env{"QT_QPA_PLATFORM=offscreen",
                                     "XDG_CONFIG_HOME=" + (Dir / "config").string(),
                                     "XDG_DATA_HOME=" + (Dir / "data").string()};
        for (char** E = environ; *E; ++E) {
            std::string V = *E;
            if (V.rfind("QT_QPA_PLATFORM=", 0) != 0 && V.rfind("XDG_CONFIG_HOME=", 0) != 0 &&
                V.rfind("XDG_DATA_HOME=", 0) != 0)
                Env.push_back(V);
        }
        std::vector<char*> Envp;
        for (std::string& V : Env)
            Envp.push_back(V.data());
        Envp.push_back(nullptr);

        const std::string ErrorFile = (Dir / "stderr.txt").string();
        posix_spawn_file_actions_t Files;
        posix_spawn_file_actions_init(&Files);
        posix_spawn_file_actions_addopen(&Files, STDERR_FILENO, ErrorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string InputFile = (Dir / "stdin.txt").string();
        std::ofstream(InputFile) << Input;
        posix_spawn_file_actions_addopen(&Files, STDIN_FILENO, InputFile.c_str(), O_RDONLY, 0);
        pid_t Pid = 0;
        TRun Result;
        int Err = posix_spawn(&Pid, Argv[0], &Files, nullptr, Argv.data(), Envp.data());
        posix_spawn_file_actions_destroy(&Files);
        if (Err != 0) {
            ADD_FAILURE() << "cannot start " << Argv[0];
            return Result;
        }
        int Status = 0;
        waitpid(Pid, &Status, 0);
        Result.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
        std::ifstream In(ErrorFile);
        Result.Errors.assign(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
        return Result;
    }

    // Width and height of a PNG file, after checking its signature and header chunk.
    static bool PngSize(const fs::path& File, std::uint32_t& Width, std::uint32_t& Height) {
        std::ifstream In(File, std::ios::binary);
        std::vector<unsigned char> Head(24);
        if (!In.read(reinterpret_cast<char*>(Head.data()), 24)) return false;
        const unsigned char Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        if (!std::equal(Signature, Signature + 8, Head.begin())) return false;
        if (std::string(Head.begin() + 12, Head.begin() + 16) != "IHDR") return false;
        auto Be32 = [&](int At) {
            return (std::uint32_t(Head[At]) << 24) | (std::uint32_t(Head[At + 1]) << 16) |
                   (std::uint32_t(Head[At + 2]) << 8) | std::uint32_t(Head[At + 3]);
        };
        Width = Be32(16);
        Height = Be32(20);
        return true;
    }

    static int Count(const std::string& Text, const std::string& Part) {
        int N = 0;
        for (std::size_t At = Text.find(Part); At != std::string::npos;
             At = Text.find(Part, At + Part.size()))
            ++N;
        return N;
    }

    fs::path Dir;
};

TEST_F(HostProcessTest, ScreenshotOfTheShiftWindowOnANewDatabase) {
    const fs::path Shot = Dir / "shift.png";
    const fs::path Db = Dir / "quillon.db";
    TRun R = Run({"--open", "CmsShfMan", "--screenshot", Shot.string(), "--db", Db.string()});
    ASSERT_EQ(R.Status, 0) << R.Errors;
    EXPECT_TRUE(fs::exists(Db)) << "the first run creates the database";
    ASSERT_TRUE(fs::exists(Shot));
    EXPECT_GT(fs::file_size(Shot), 1000u);
    std::uint32_t W = 0, H = 0;
    ASSERT_TRUE(PngSize(Shot, W, H)) << "not a PNG file";
    // The shift window's own size: the front window is the one just opened.
    EXPECT_EQ(W, 490u);
    EXPECT_EQ(H, 330u);
}

// The plug-in's failure is told once, however many windows were asked for, and the run
// fails because they did not open; the main window still comes up.
TEST_F(HostProcessTest, AMissingPlugInIsReportedOnceAndFailsTheRequestedWindows) {
    const fs::path Shot = Dir / "main.png";
    TRun R = Run({"--plugin", (Dir / "nowhere" / "libquillon.so").string(), "--open", "CmsShfMan", "--open",
                  "CmsQtyMan", "--screenshot", Shot.string(), "--db", (Dir / "q.db").string()});
    EXPECT_EQ(R.Status, 1) << R.Errors;
    EXPECT_EQ(Count(R.Errors, "无法加载插件库"), 1) << R.Errors;
    EXPECT_NE(R.Errors.find("nowhere/libquillon.so"), std::string::npos) << R.Errors;
    EXPECT_EQ(Count(R.Errors, "Quillon: "), 1) << "nothing but the one message: " << R.Errors;
    std::uint32_t W = 0, H = 0;
    ASSERT_TRUE(PngSize(Shot, W, H));
    EXPECT_GT(W, 0u);
}

// A window the library does not offer, or one the user may not see, fails the run with
// the reason; without --open nothing is at stake.
TEST_F(HostProcessTest, ARequestedWindowThatDoesNotOpenFailsTheRun) {
    const std::string Db = (Dir / "q.db").string();
    TRun Absent = Run({"--plugin", QUILLON_PARTIAL_PLUGIN_PATH, "--open", "CmsRsMan", "--screenshot",
                       (Dir / "a.png").string(), "--db", Db});
    EXPECT_EQ(Absent.Status, 1) << Absent.Errors;
    EXPECT_EQ(Count(Absent.Errors, "插件库没有提供窗口 CmsRsMan"), 1) << Absent.Errors;

    TRun Plain = Run({"--user", "viewer", "--screenshot", (Dir / "b.png").string(), "--db", Db});
    ASSERT_EQ(Plain.Status, 0) << Plain.Errors;

    // The viewer loses the right to see shift commissions; the rest of the data stays.
    sqlite3* Handle = nullptr;
    ASSERT_EQ(sqlite3_open(Db.c_str(), &Handle), SQLITE_OK);
    char* Error = nullptr;
    int Rc = sqlite3_exec(
        Handle, "DELETE FROM user_privileges WHERE user_name = 'viewer' AND privilege = 'CMS_SHF_VIEW'",
        nullptr, nullptr, &Error);
    EXPECT_EQ(sqlite3_changes(Handle), 1);
    sqlite3_free(Error);
    sqlite3_close(Handle);
    ASSERT_EQ(Rc, SQLITE_OK);

    TRun Refused = Run({"--user", "viewer", "--open", "CmsShfMan", "--open", "CmsQtyMan", "--screenshot",
                        (Dir / "c.png").string(), "--db", Db});
    EXPECT_EQ(Refused.Status, 1) << Refused.Errors;
    EXPECT_NE(Refused.Errors.find("班次提成管理"), std::string::npos) << Refused.Errors;
    EXPECT_EQ(Count(Refused.Errors, "Quillon: "), 0) << "the window's own message only: " << Refused.Errors;
}

TEST_F(HostProcessTest, ALibraryWithoutTheEntryPointIsRefusedClearly) {
    // Any shared library without Initialize will do: the host's own platform library.
    const fs::path Other = fs::path(QUILLON_HOST_PATH).parent_path() / "liborvhost.so";
    TRun R = Run({"--plugin", Other.string(), "--screenshot", (Dir / "m.png").string(), "--db",
                  (Dir / "q.db").string()});
    ASSERT_EQ(R.Status, 0) << R.Errors;
    EXPECT_NE(R.Errors.find("Initialize"), std::string::npos) << R.Errors;
}

TEST_F(HostProcessTest, WrongCommandLinesEndWithUsage) {
    TRun R = Run({"--open", "CmsFooMan"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_NE(R.Errors.find("CmsFooMan"), std::string::npos) << R.Errors;
    EXPECT_NE(R.Errors.find("--screenshot"), std::string::npos) << "the usage follows";
    EXPECT_EQ(Run({"--frobnicate"}).Status, 2);
}

// Through an application server: the password comes on standard input, the windows open
// as on a local database; a wrong password or an absent server ends the run with the reason.
TEST_F(HostProcessTest, LogsInToAnApplicationServerAndOpensItsWindows) {
    orv::server::TAppServerOptions Options;
    Options.Database = (Dir / "served.db").string();
    Options.Port = 0;
    Options.Threads = 2;
    Options.Log = [](const std::string&) {};
    orv::server::TAppServer App(Options);
    std::thread Runner([&] { App.Run(); });
    const std::string Url = "http://127.0.0.1:" + std::to_string(App.Port());

    const fs::path Shot = Dir / "rs.png";
    TRun R = Run({"--server", Url, "--password-stdin", "--open", "CmsRsMan", "--screenshot", Shot.string()},
                 "quillon-admin\n");
    EXPECT_EQ(R.Status, 0) << R.Errors;
    std::uint32_t W = 0, H = 0;
    EXPECT_TRUE(PngSize(Shot, W, H));
    EXPECT_FALSE(fs::exists(Dir / "data")) << "no local database is created";

    TRun Wrong = Run({"--server", Url, "--password-stdin", "--screenshot", (Dir / "w.png").string()}, "guess\n");
    EXPECT_EQ(Wrong.Status, 1);
    EXPECT_NE(Wrong.Errors.find("用户名或密码不正确"), std::string::npos) << Wrong.Errors;

    App.Stop();
    Runner.join();
    TRun Gone = Run({"--server", Url, "--password-stdin", "--screenshot", (Dir / "g.png").string()},
                    "quillon-admin\n");
    EXPECT_EQ(Gone.Status, 1);
    EXPECT_NE(Gone.Errors.find("连接不上服务器 " + Url), std::string::npos) << Gone.Errors;
}

TEST_F(HostProcessTest, AnUnknownUserCannotLogIn) {
    TRun R =
        Run({"--user", "nobody", "--screenshot", (Dir / "x.png").string(), "--db", (Dir / "q.db").string()});
    EXPECT_EQ(R.Status, 1);
    EXPECT_NE(R.Errors.find("nobody"), std::string::npos) << R.Errors;
}

} // namespace
