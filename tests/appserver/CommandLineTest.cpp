// The quillon-server program as an operator runs it: users managed from the command line
// with the password on standard input, then the server started, used and stopped with
// SIGTERM.
#include "../server/ServerTestSupport.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using nlohmann::json;

std::string Quoted(const std::string& Text) {
    return "'" + Text + "'";
}

// Runs the program with Args through the shell, Input on its standard input; its exit code.
int RunProgram(const std::string& Args, const std::string& Input) {
    FILE* Pipe = popen((Quoted(QUILLON_SERVER_PROGRAM) + " " + Args + " 2>/dev/null").c_str(), "w");
    if (!Pipe) return -1;
    std::fputs(Input.c_str(), Pipe);
    const int Status = pclose(Pipe);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

// A child that is killed if the test leaves before it was reaped.
struct TChild {
    pid_t Pid = 0;
    ~TChild() {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
        }
    }
};

std::string ReadFile(const std::string& File) {
    std::ifstream In(File);
    std::stringstream Text;
    Text << In.rdbuf();
    return Text.str();
}

TEST(CommandLineTest, UsersAreManagedFromTheCommandLineAndSigtermStopsTheServer) {
    const orv::server::test::TTempDir Dir;
    const std::string Db = Dir.File("quillon.db");

    EXPECT_EQ(RunProgram("user add clerk --unit S001 --db " + Quoted(Db), "clerk-pass\n"), 0);
    EXPECT_EQ(RunProgram("user grant clerk CMS_SHF_VIEW --db " + Quoted(Db), ""), 0);
    EXPECT_EQ(RunProgram("user grant clerk CMS_QTY_VIEW --db " + Quoted(Db), ""), 0);
    EXPECT_EQ(RunProgram("user revoke clerk CMS_QTY_VIEW --db " + Quoted(Db), ""), 0);
    EXPECT_NE(RunProgram("user add clerk --unit S001 --db " + Quoted(Db), "again\n"), 0);
    EXPECT_NE(RunProgram("user grant nobody CMS_SHF_VIEW --db " + Quoted(Db), ""), 0);
    EXPECT_NE(RunProgram("user passwd clerk --db " + Quoted(Db), ""), 0); // no password given

    const std::string Log = Dir.File("server.log");
    posix_spawn_file_actions_t Files;
    posix_spawn_file_actions_init(&Files);
    posix_spawn_file_actions_addopen(&Files, STDERR_FILENO, Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> Args = {QUILLON_SERVER_PROGRAM, "serve", "--db", Db, "--listen", "127.0.0.1:0",
                                     "--threads", "2"};
    std::vector<char*> Argv;
    for (std::string& A : Args)
        Argv.push_back(A.data());
    Argv.push_back(nullptr);
    TChild Server;
    ASSERT_EQ(posix_spawn(&Server.Pid, Argv[0], &Files, nullptr, Argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&Files);

    int Port = 0;
    const std::string Listening = "listening on 127.0.0.1:";
    for (int I = 0; I < 200 && Port == 0; ++I) {
        const std::string Text = ReadFile(Log);
        if (auto At = Text.find(Listening); At != std::string::npos)
            Port = std::atoi(Text.c_str() + At + Listening.size());
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_GT(Port, 0) << ReadFile(Log);
    if (Port > 0) {
        httplib::Client Http("127.0.0.1", Port);
        auto Login = Http.Post("/login", R"({"user": "clerk", "password": "clerk-pass"})", "application/json");
        ASSERT_TRUE(Login);
        ASSERT_EQ(Login->status, 200);
        const httplib::Headers Auth = {{"Authorization", "Bearer " + json::parse(Login->body).value("token", "")}};
        // The shop's own rows, with the right that was granted and not the one revoked.
        const std::string Shop = json{{"object", "TCmsShfBean"}, {"method", "LoadList"}, {"unit", 101}}.dump();
        auto Own = Http.Post("/call", Auth, Shop, "application/json");
        ASSERT_TRUE(Own);
        EXPECT_EQ(json::parse(Own->body).value("ok", false), true) << Own->body;
        const std::string Qty = json{{"object", "TCmsQtyBean"}, {"method", "LoadList"}, {"unit", 101}}.dump();
        auto Revoked = Http.Post("/call", Auth, Qty, "application/json");
        ASSERT_TRUE(Revoked);
        EXPECT_EQ(json::parse(Revoked->body).value("ok", true), false);
    }

    ASSERT_EQ(kill(Server.Pid, SIGTERM), 0);
    int Status = 0;
    ASSERT_EQ(waitpid(Server.Pid, &Status, 0), Server.Pid);
    Server.Pid = 0;
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status;
    const std::string Text = ReadFile(Log);
    EXPECT_NE(Text.find("POST /call 200 user=clerk object=TCmsShfBean method=LoadList outcome=ok"), std::string::npos)
        << Text;
    EXPECT_NE(Text.find("quillon-server: stopped"), std::string::npos) << Text;
}

} // namespace
