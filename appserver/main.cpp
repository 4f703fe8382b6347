// quillon-server: serves a store's business objects over HTTP(S), and manages the users
// who log in to it.
#include "appserver/AppServer.h"
#include "host/core/SysUtils.h"
#include "server/QuillonServer.h"

#include <cerrno>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace orv;
using namespace orv::server;

namespace {

const char* Usage =
    "usage:\n"
    "  quillon-server serve --db DB [--listen ADDR:PORT] [--cert FILE --key FILE]\n"
    "                       [--idle-minutes N] [--threads N] [--config FILE]\n"
    "  quillon-server user add NAME --unit UNITNUM [--display TEXT] --db DB\n"
    "  quillon-server user passwd NAME --db DB\n"
    "  quillon-server user grant|revoke NAME PRIVILEGE --db DB\n"
    "DB is a SQLite file or a postgresql:// URI. Passwords are read from standard input\n"
    "(asked for twice when it is a terminal), never from the command line.\n"
    "--config FILE reads \"key = value\" lines (db, listen, cert, key, idle-minutes,\n"
    "threads; '#' starts a comment line); a flag on the command line wins over the file.\n"
    "The user commands take it too, for its db.\n";

// What a configuration file may set: the flags of serve, without their dashes.
const std::set<std::string> ConfigKeys = {"db", "listen", "cert", "key", "idle-minutes", "threads"};

// All of Text as a decimal number; nothing for anything else, or a number out of range.
std::optional<int> WholeNumber(const std::string& Text) {
    try {
        std::size_t Used = 0;
        const int N = std::stoi(Text, &Used);
        if (Used == Text.size()) return N;
    } catch (const std::logic_error&) {
    }
    return std::nullopt;
}

// A command line that cannot be run: told with the usage, exit status 2.
struct EUsage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TArgs {
    bool Help = false;
    std::vector<std::string> Words;
    std::map<std::string, std::string> Flags;
    // "FILE:LINE" of each flag a configuration file gave, so that a bad value names it.
    std::map<std::string, std::string> FromFile;

    std::string Flag(const std::string& Name, const std::string& Default = {}) const {
        auto It = Flags.find(Name);
        return It == Flags.end() ? Default : It->second;
    }
    // How a message names a flag: "--NAME", or "FILE:LINE: NAME" when a file gave it.
    std::string Origin(const std::string& Name) const {
        auto It = FromFile.find(Name);
        return It == FromFile.end() ? "--" + Name : It->second + ": " + Name;
    }
    std::string Required(const std::string& Name) const {
        std::string Value = Flag(Name);
        if (Value.empty()) throw std::runtime_error("missing --" + Name);
        return Value;
    }
    int Number(const std::string& Name, int Default) const {
        const std::string Value = Flag(Name);
        if (Value.empty()) return Default;
        if (const std::optional<int> N = WholeNumber(Value); N && *N > 0) return *N;
        throw std::runtime_error(Origin(Name) + " takes a positive number");
    }
};

// The flags the commands read; any other is a mistake worth telling rather than ignoring.
const char* const KnownFlags[] = {"db", "listen", "cert", "key", "idle-minutes", "threads", "config",
                                  "unit", "display"};

TArgs Parse(int Argc, char** Argv) {
    TArgs Args;
    for (int I = 1; I < Argc; ++I) {
        std::string A = Argv[I];
        if (A == "--help" || A == "-h") {
            Args.Help = true;
        } else if (A.rfind("--", 0) == 0) {
            const std::string Name = A.substr(2);
            if (std::find(std::begin(KnownFlags), std::end(KnownFlags), Name) == std::end(KnownFlags))
                throw EUsage("unknown option " + A);
            if (I + 1 >= Argc) throw EUsage(A + " needs a value");
            Args.Flags[Name] = Argv[++I];
        } else {
            Args.Words.push_back(A);
        }
    }
    return Args;
}

// Adds the settings of the --config file to the flags the command line did not give. The
// form and key of every line are checked, also of settings the command line overrides, so a
// mistyped file is found before the day it is used on its own.
void ReadConfig(TArgs& Args) {
    const auto Config = Args.Flags.find("config");
    if (Config == Args.Flags.end()) return;
    const std::string File = Config->second;
    std::ifstream In(File);
    if (!In) throw std::runtime_error("无法读取配置文件 " + File + "：" + std::strerror(errno));
    std::set<std::string> Seen;
    std::string Line;
    for (int No = 1; std::getline(In, Line); ++No) {
        const std::string Where = File + ":" + std::to_string(No);
        const std::string Text = Trim(Line);
        if (Text.empty() || Text[0] == '#') continue;
        const std::size_t Equals = Text.find('=');
        if (Equals == std::string::npos)
            throw std::runtime_error(Where + ": 应为“键 = 值”或以 # 开头的注释：" + Text);
        const std::string Key = Trim(Text.substr(0, Equals));
        const std::string Value = Trim(Text.substr(Equals + 1));
        if (Key.empty()) throw std::runtime_error(Where + ": “=”前没有设置的名字");
        if (!ConfigKeys.contains(Key))
            throw std::runtime_error(Where + ": 未知的设置“" + Key +
                                     "”，可用的有 db、listen、cert、key、idle-minutes、threads");
        if (Value.empty()) throw std::runtime_error(Where + ": 设置“" + Key + "”没有值");
        if (!Seen.insert(Key).second) throw std::runtime_error(Where + ": 设置“" + Key + "”重复");
        if (Args.Flags.contains(Key)) continue;
        Args.Flags[Key] = Value;
        Args.FromFile[Key] = Where;
    }
    if (In.bad()) throw std::runtime_error("无法读取配置文件 " + File);
}

std::string ReadLine(bool Echo) {
    termios Saved{};
    const bool Terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &Saved) == 0;
    if (Terminal && !Echo) {
        termios Quiet = Saved;
        Quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &Quiet);
    }
    std::string Line;
    const bool Got = static_cast<bool>(std::getline(std::cin, Line));
    if (Terminal && !Echo) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &Saved);
        std::fputc('\n', stderr);
    }
    if (!Got) throw std::runtime_error("no password on standard input");
    return Line;
}

std::string ReadPassword() {
    if (!isatty(STDIN_FILENO)) return ReadLine(true);
    std::fputs("Password: ", stderr);
    const std::string First = ReadLine(false);
    std::fputs("Again: ", stderr);
    if (ReadLine(false) != First) throw std::runtime_error("the passwords differ");
    return First;
}

int User(const TArgs& Args) {
    if (Args.Words.size() < 3) throw std::runtime_error("user needs a command and a user name");
    const std::string& Command = Args.Words[1];
    const std::string& Name = Args.Words[2];
    TServerOptions Options;
    Options.Path = Args.Required("db");
    TQuillonServer Server(Options);
    TAccounts Accounts = Server.Accounts();
    if (Command == "add") {
        const std::string Unit = Args.Required("unit");
        Accounts.AddUser(Name, Args.Flag("display", Name), Unit, ReadPassword());
    } else if (Command == "passwd") {
        Accounts.SetPassword(Name, ReadPassword());
    } else if ((Command == "grant" || Command == "revoke") && Args.Words.size() == 4) {
        if (Command == "grant")
            Accounts.Grant(Name, Args.Words[3]);
        else
            Accounts.Revoke(Name, Args.Words[3]);
    } else {
        throw std::runtime_error("unknown user command");
    }
    return 0;
}

int Serve(const TArgs& Args) {
    TAppServerOptions Options;
    Options.Database = Args.Required("db");
    const std::string Listen = Args.Flag("listen", "127.0.0.1:8080");
    const std::size_t Colon = Listen.rfind(':');
    const std::optional<int> Port =
        Colon == std::string::npos ? std::nullopt : WholeNumber(Listen.substr(Colon + 1));
    if (!Port || *Port < 0 || *Port > 65535)
        throw std::runtime_error(Args.Origin("listen") + " takes ADDR:PORT");
    Options.Host = Listen.substr(0, Colon);
    Options.Port = *Port;
    Options.CertFile = Args.Flag("cert");
    Options.KeyFile = Args.Flag("key");
    Options.Login.IdleSeconds = std::int64_t{60} * Args.Number("idle-minutes", 30);
    Options.Threads = Args.Number("threads", 8);

    // Every thread started from here on leaves SIGTERM and SIGINT to the one that waits
    // for them, which stops the server; the requests in flight still finish.
    sigset_t Stops;
    sigemptyset(&Stops);
    sigaddset(&Stops, SIGTERM);
    sigaddset(&Stops, SIGINT);
    pthread_sigmask(SIG_BLOCK, &Stops, nullptr);

    TAppServer Server(std::move(Options));
    std::thread Waiter([&] {
        int Signal = 0;
        sigwait(&Stops, &Signal);
        Server.Stop();
    });
    std::fprintf(stderr, "quillon-server: listening on %s:%d%s\n", Listen.substr(0, Colon).c_str(), Server.Port(),
                 Args.Flag("cert").empty() ? "" : " (HTTPS)");
    Server.Run();
    // Run may also end by itself; the waiter then still needs its signal.
    kill(getpid(), SIGTERM);
    Waiter.join();
    std::fprintf(stderr, "quillon-server: stopped\n");
    return 0;
}

} // namespace

int main(int Argc, char** Argv) {
    try {
        TArgs Args = Parse(Argc, Argv);
        if (Args.Help) {
            std::fputs(Usage, stdout);
            return 0;
        }
        ReadConfig(Args);
        if (!Args.Words.empty() && Args.Words[0] == "serve") return Serve(Args);
        if (!Args.Words.empty() && Args.Words[0] == "user") return User(Args);
        std::fputs(Usage, stderr);
        return 2;
    } catch (const EUsage& E) {
        std::fprintf(stderr, "quillon-server: %s\n\n%s", E.what(), Usage);
        return 2;
    } catch (const std::exception& E) {
        std::fprintf(stderr, "quillon-server: %s\n", E.what());
        return 1;
    }
}
