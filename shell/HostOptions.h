// The command line of quillon-host.
#pragma once

#include "host/core/SysUtils.h"

#include <string>
#include <vector>

namespace orv::shell {

// The four windows the plug-in opens, by export name, with the captions of their menu
// entries.
struct TLauncherInfo {
    const char* Export;
    const char* Caption;
};
inline constexpr TLauncherInfo Launchers[] = {
    {"CmsShfMan", "班次提成管理"},
    {"CmsQtyMan", "数量提成管理"},
    {"CmsValMan", "金额提成管理"},
    {"CmsRsMan", "代销提成设置"},
};
// The launcher of that export name, or null.
const TLauncherInfo* FindLauncher(const std::string& Export);

// A command line that cannot be run; the message says why.
class EHostUsage : public Exception {
public:
    using Exception::Exception;
};

struct THostOptions {
    std::string DatabasePath; // a SQLite file or a postgresql:// URI; empty: the server's default path
    std::string ServerUrl; // non-empty: work through the application server at this address
    std::string CaFile;    // HTTPS: certificates to trust besides the system's
    bool PasswordFromStdin = false;
    std::string UserName = "admin";
    std::string PluginPath; // empty: libquillon.so beside the executable
    std::vector<std::string> Open;
    std::string Screenshot; // empty: an interactive run
    bool Help = false;
};

// Arguments without the program name. "--name value" and "--name=value" both work;
// --open may be given more than once. Raises EHostUsage for anything else.
THostOptions ParseHostOptions(const std::vector<std::string>& Args);

std::string UsageText();

} // namespace orv::shell
