#include "server/PgCluster.h"

#include "host/core/SysUtils.h"
#include "server/Postgres.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orv::server {

namespace {

// A TCP port nobody listens on right now; the socket file is named after it.
int FreePort() {
    const int S = socket(AF_INET, SOCK_STREAM, 0);
    if (S < 0) return 0;
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Len = sizeof A;
    int Port = 0;
    if (bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0 &&
        getsockname(S, reinterpret_cast<sockaddr*>(&A), &Len) == 0)
        Port = ntohs(A.sin_port);
    close(S);
    return Port;
}

std::string Tail(const std::string& Path) {
    std::ifstream In(Path);
    std::stringstream All;
    All << In.rdbuf();
    const std::string Text = All.str();
    return Text.size() > 2000 ? Text.substr(Text.size() - 2000) : Text;
}

} // namespace

std::string TPgCluster::BinDir() {
    const char* Env = std::getenv("QUILLON_PG_BIN");
    return Env && *Env ? Env : "/usr/lib/postgresql/15/bin";
}

std::string TPgCluster::Command(const std::string& Program, const std::string& Arguments) const {
    return FRunAs + "'" + BinDir() + "/" + Program + "' " + Arguments;
}

void TPgCluster::Run(const std::string& Program, const std::string& Arguments) const {
    const std::string Log = FDir + "/setup.log";
    if (std::system((Command(Program, Arguments) + " >>'" + Log + "' 2>&1").c_str()) != 0)
        throw EDatabaseError(Program + " failed:\n" + Tail(Log));
}

TPgCluster::TPgCluster() {
    namespace fs = std::filesystem;
    for (const char* Program : {"initdb", "pg_ctl", "postgres"})
        if (!fs::exists(BinDir() + "/" + Program))
            throw EDatabaseError("PostgreSQL server program " + BinDir() + "/" + Program +
                                 " not found (install the postgresql package, or set QUILLON_PG_BIN)");
    // /tmp itself: the socket's path must stay short, whatever TMPDIR says.
    std::string Pattern = "/tmp/quillon-pg-XXXXXX";
    if (!mkdtemp(Pattern.data())) throw EDatabaseError("cannot create a folder for the PostgreSQL cluster");
    FDir = Pattern;
    try {
        if (geteuid() == 0) {
            // The server refuses to run as root.
            const passwd* User = getpwnam("postgres");
            if (!User)
                throw EDatabaseError(
                    "running as root, but there is no system user postgres to run the server");
            if (chown(FDir.c_str(), User->pw_uid, User->pw_gid) != 0)
                throw EDatabaseError("cannot hand " + FDir + " to the user postgres");
            FRunAs = "runuser -u postgres -- ";
        }
        FPort = FreePort();
        if (FPort == 0) throw EDatabaseError("no free local port for the PostgreSQL cluster");

        // Should this process die without stopping the cluster (a crash, a kill), the
        // watchdog sees the pipe close and stops and removes it. Prepared before the fork:
        // the child only reads and execs.
        const std::string Cleanup = "exec >/dev/null 2>&1; if [ -d '" + FDir + "/data' ]; then " +
                                    Command("pg_ctl", "-D '" + FDir + "/data' -m immediate stop") +
                                    "; fi; rm -rf '" + FDir + "'";
        int Pipe[2];
        if (pipe2(Pipe, O_CLOEXEC) != 0) throw EDatabaseError("cannot create the watchdog's pipe");
        FWatchdog = fork();
        if (FWatchdog == 0) {
            close(Pipe[1]);
            char Byte;
            while (read(Pipe[0], &Byte, 1) > 0) {
            }
            execl("/bin/sh", "sh", "-c", Cleanup.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(Pipe[0]);
        FWatchdogPipe = Pipe[1];

        Run("initdb", "-D '" + FDir + "/data' -U postgres -A trust -E UTF8 --locale=C --no-sync");
        // Durability is of no use to a throwaway cluster; speed is.
        Run("pg_ctl", "-D '" + FDir + "/data' -l '" + FDir + "/server.log' -w -t 60 -o \"-k '" + FDir +
                          "' -p " + std::to_string(FPort) +
                          " -c listen_addresses='' -c fsync=off -c synchronous_commit=off"
                          " -c full_page_writes=off -c max_connections=100\" start");
        FStarted = true;
    } catch (...) {
        Stop();
        throw;
    }
}

TPgCluster::~TPgCluster() {
    Stop();
}

void TPgCluster::Stop() {
    if (FStarted) {
        std::system(
            (Command("pg_ctl", "-D '" + FDir + "/data' -m fast -w stop") + " >/dev/null 2>&1").c_str());
        FStarted = false;
    }
    if (!FDir.empty()) {
        std::error_code Ec;
        std::filesystem::remove_all(FDir, Ec);
        FDir.clear();
    }
    if (FWatchdogPipe >= 0) {
        close(FWatchdogPipe);
        FWatchdogPipe = -1;
    }
    if (FWatchdog > 0) {
        waitpid(FWatchdog, nullptr, 0);
        FWatchdog = -1;
    }
}

std::string TPgCluster::Uri(const std::string& Database) const {
    return "postgresql:///" + Database + "?host=" + FDir + "&port=" + std::to_string(FPort) +
           "&user=postgres";
}

void TPgCluster::CreateDatabase(const std::string& Name, const std::string& Template) {
    TPgDatabase Admin(Uri("postgres"), 10000);
    Admin.Exec("CREATE DATABASE \"" + Name + "\"" +
               (Template.empty() ? "" : " TEMPLATE \"" + Template + "\""));
}

} // namespace orv::server
