// What the application server's network tests share: a client as a desktop host holds one
// (its own connection, kept open between calls, and its token), the quillon-server program
// run as an operator runs it, and a consignment delta large enough to keep a server busy.
#pragma once

#include "host/data/ClientDataSet.h"
#include "host/services/OrvPack.h"
#include "server/CmsBeans.h"
#include "server/PacketBuilder.h"
#include "server/QuillonServer.h"
#include "server/ServerLookups.h"

#include "../server/ServerTestSupport.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace orv::server::test {

// A client of one server. Calls do not assert: they say what went wrong in Error (the first
// failure is kept), so that any thread may make them and the test reports them after.
class TRemote {
public:
    explicit TRemote(int Port, int ReadTimeoutSeconds = 20) : FHttp("127.0.0.1", Port) {
        FHttp.set_keep_alive(true);
        FHttp.set_read_timeout(ReadTimeoutSeconds, 0);
    }

    // The answer of a POST that the server answered with Status; nullopt otherwise.
    std::optional<nlohmann::json> Post(const std::string& Path, const nlohmann::json& Body,
                                       int Status = 200) {
        httplib::Headers Headers;
        if (!Token.empty()) Headers.emplace("Authorization", "Bearer " + Token);
        auto Res = FHttp.Post(Path.c_str(), Headers, Body.dump(), "application/json");
        if (!Res) return Fail(Path + ": no answer (" + httplib::to_string(Res.error()) + ")");
        if (Res->status != Status)
            return Fail(Path + ": status " + std::to_string(Res->status) + " " + Res->body.substr(0, 200));
        nlohmann::json Answer = nlohmann::json::parse(Res->body, nullptr, false);
        if (Answer.is_discarded()) return Fail(Path + ": not JSON");
        return Answer;
    }

    bool Login(const std::string& User, const std::string& Password) {
        auto Answer = Post("/login", {{"user", User}, {"password", Password}});
        Token = Answer ? Answer->value("token", "") : "";
        return !Token.empty();
    }

    // The unpacked data of a call the object answered with ok; nullopt otherwise.
    std::optional<std::string> Data(const nlohmann::json& Request) {
        auto Answer = Post("/call", Request);
        if (!Answer) return std::nullopt;
        const std::string Call = Request.value("object", "") + "." + Request.value("method", "");
        if (!Answer->value("ok", false)) return Fail(Call + ": " + Answer->value("error", "refused"));
        try {
            return OrvUnpack(Answer->value("data", ""));
        } catch (const std::exception& E) {
            return Fail(Call + ": " + E.what());
        }
    }

    std::optional<std::string> LoadList(const std::string& Object, int Unit) {
        return Data({{"object", Object}, {"method", "LoadList"}, {"unit", Unit}});
    }
    std::optional<std::string> SaveDelta(const std::string& Object, int Unit, const std::string& Delta) {
        return Data({{"object", Object}, {"method", "SaveDelta"}, {"unit", Unit}, {"delta", Delta}});
    }

    std::string Token;
    std::string Error;

private:
    std::nullopt_t Fail(const std::string& Why) {
        if (Error.empty()) Error = Why;
        return std::nullopt;
    }

    httplib::Client FHttp;
};

// A test on a database of its own on the engine it is instantiated with, and an in-process
// server on it to look at what the store holds.
class StoreTest : public ::testing::TestWithParam<TStoreEngine> {
protected:
    void SetUp() override {
        NewDatabase(Db, GetParam(), Dir);
        if (Db.empty()) return;
        TServerOptions Options;
        Options.Path = Db;
        Local = std::make_unique<TQuillonServer>(Options);
    }

    TTempDir Dir;
    std::string Db;
    std::unique_ptr<TQuillonServer> Local;
};

inline std::string ReadFile(const std::string& File) {
    std::ifstream In(File);
    std::stringstream Text;
    Text << In.rdbuf();
    return Text.str();
}

// "quillon-server serve" on Database at a free port of 127.0.0.1, its standard error in a
// file. Killed, if still running, when the object goes.
class TServerProgram {
public:
    TServerProgram(const std::string& Database, const std::string& LogFile, int Threads = 2) : FLog(LogFile) {
        posix_spawn_file_actions_t Files;
        posix_spawn_file_actions_init(&Files);
        posix_spawn_file_actions_addopen(&Files, STDERR_FILENO, FLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        std::vector<std::string> Args = {
            QUILLON_SERVER_PROGRAM, "serve", "--db", Database, "--listen", "127.0.0.1:0", "--threads",
            std::to_string(Threads)};
        std::vector<char*> Argv;
        for (std::string& A : Args)
            Argv.push_back(A.data());
        Argv.push_back(nullptr);
        const int Spawned = posix_spawn(&FPid, Argv[0], &Files, nullptr, Argv.data(), environ);
        posix_spawn_file_actions_destroy(&Files);
        if (Spawned != 0) {
            FPid = 0;
            return;
        }
        const std::string Listening = "listening on 127.0.0.1:";
        for (int I = 0; I < 600 && FPort == 0 && Running(); ++I) {
            const std::string Text = ReadFile(FLog);
            if (auto At = Text.find(Listening); At != std::string::npos)
                FPort = std::atoi(Text.c_str() + At + Listening.size());
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~TServerProgram() {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            Wait();
        }
    }
    TServerProgram(const TServerProgram&) = delete;
    TServerProgram& operator=(const TServerProgram&) = delete;

    // 0 until the program said where it listens.
    int Port() const { return FPort; }
    std::string Log() const { return ReadFile(FLog); }
    void Signal(int Number) const {
        if (FPid > 0) kill(FPid, Number);
    }
    // Waits for the program to end; its wait status.
    int Wait() {
        int Status = -1;
        if (FPid > 0 && waitpid(FPid, &Status, 0) == FPid) FPid = 0;
        return Status;
    }

private:
    bool Running() const { return FPid > 0 && waitpid(FPid, nullptr, WNOHANG) == 0; }

    std::string FLog;
    pid_t FPid = 0;
    int FPort = 0;
};

// The packed delta of a consignment window that inserts one range from day From to day To
// for every shop and product class of the demo chain, as the batch-append dialog does; its
// row count in Rows.
inline std::string EveryShopAndClassDelta(TQuillonServer& Server, std::int32_t From, std::int32_t To,
                                          std::int64_t& Rows) {
    TOrvClientDataSet Set(nullptr);
    CreatePacketFields(Set, CmsRsStore().PacketFields());
    Set.DisableControls();
    const std::vector<TProdClsItem> Classes = Server.Lookups().ProdClsList("");
    for (const TUnitNode& Shop : Server.Lookups().UnitTree(Sys_GlobalUnitID, "S"))
        if (Shop.UnitType == "S")
            for (const TProdClsItem& Cls : Classes)
                AppendRs(Set, Shop.UnitID, Shop.UnitNum, Cls.ProdClsID, Cls.ProdClsNum, From, To, "0.0125");
    Rows = Set.RecordCount();
    return OrvPack(Set.GetXMLDelta(), {TOrvPackOption::poCompress, TOrvPackOption::poChecksum});
}

} // namespace orv::server::test
