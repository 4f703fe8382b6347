#include "shell/HostOptions.h"

#include <cstring>

namespace orv::shell {

const TLauncherInfo* FindLauncher(const std::string& Export) {
    for (const TLauncherInfo& L : Launchers)
        if (Export == L.Export) return &L;
    return nullptr;
}

THostOptions ParseHostOptions(const std::vector<std::string>& Args) {
    THostOptions Options;
    for (std::size_t I = 0; I < Args.size(); ++I) {
        std::string Name = Args[I];
        if (Name == "-h" || Name == "--help") {
            Options.Help = true;
            continue;
        }
        if (Name == "--password-stdin") {
            Options.PasswordFromStdin = true;
            continue;
        }
        if (Name.rfind("--", 0) != 0) throw EHostUsage(Format("无法识别的参数：%s", {Name}));
        std::string Value;
        bool HasValue = false;
        if (std::size_t Eq = Name.find('='); Eq != std::string::npos) {
            Value = Name.substr(Eq + 1);
            Name = Name.substr(0, Eq);
            HasValue = true;
        } else if (I + 1 < Args.size()) {
            Value = Args[++I];
            HasValue = true;
        }
        if (Name != "--db" && Name != "--server" && Name != "--ca-cert" && Name != "--user" &&
            Name != "--plugin" && Name != "--open" && Name != "--screenshot")
            throw EHostUsage(Format("无法识别的选项：%s", {Name}));
        if (!HasValue || Value.empty()) throw EHostUsage(Format("选项 %s 需要一个值。", {Name}));
        if (Name == "--db") {
            Options.DatabasePath = Value;
        } else if (Name == "--server") {
            Options.ServerUrl = Value;
        } else if (Name == "--ca-cert") {
            Options.CaFile = Value;
        } else if (Name == "--user") {
            Options.UserName = Value;
        } else if (Name == "--plugin") {
            Options.PluginPath = Value;
        } else if (Name == "--open") {
            if (!FindLauncher(Value))
                throw EHostUsage(
                    Format("没有这个窗口：%s（可用：CmsShfMan、CmsQtyMan、CmsValMan、CmsRsMan）", {Value}));
            Options.Open.push_back(Value);
        } else {
            Options.Screenshot = Value;
        }
    }
    if (!Options.ServerUrl.empty() && !Options.DatabasePath.empty())
        throw EHostUsage("--db 与 --server 只能选一个：行数据要么在本机数据库里，要么在应用服务器上。");
    if (Options.ServerUrl.empty() && (Options.PasswordFromStdin || !Options.CaFile.empty()))
        throw EHostUsage("--password-stdin 和 --ca-cert 只用于 --server。");
    return Options;
}

std::string UsageText() {
    return "用法：quillon-host [选项]\n"
           "  --db PATH|URI       数据库：SQLite "
           "文件（默认在用户数据目录下，首次运行时创建并填入示范数据），\n"
           "                      或 PostgreSQL 数据库 postgresql://用户@主机/库名\n"
           "  --server URL        通过应用服务器工作：http(s)://主机:端口，启动时输入用户名和密码登录\n"
           "  --ca-cert FILE      HTTPS 时另外信任的证书（服务器使用自签名证书时）\n"
           "  --password-stdin    从标准输入读密码，不显示登录对话框（用于脚本）\n"
           "  --user NAME         登录的用户（默认 admin，拥有全部权限；viewer 只能查看）\n"
           "  --plugin PATH       插件库（默认为程序旁边的 libquillon.so）\n"
           "  --open LAUNCHER     启动时打开窗口，可重复：CmsShfMan、CmsQtyMan、CmsValMan、CmsRsMan\n"
           "  --screenshot FILE   窗口显示后把最前面的窗口存为 PNG 并退出\n"
           "  -h, --help          显示本说明\n";
}

} // namespace orv::shell
