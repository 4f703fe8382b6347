// State shared by the server object and every business object it hands out: the
// connection, its lock and the session checks. Business objects keep the context alive,
// so one that outlives its server still answers (or refuses) cleanly.
#pragma once

#include "host/core/SysUtils.h"
#include "host/services/OrvPack.h"
#include "server/Store.h"

#include <memory>

#include <mutex>
#include <optional>
#include <string>

namespace orv::server {

// The caller may not do what it asked: unknown session, missing right, foreign unit.
class EAccessDenied : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// What a caller without a live session is told.
inline constexpr const char* SessionEndedMessage = "会话无效或已结束，请重新登录。";

struct TSessionInfo {
    std::string SessionID;
    std::string UserName;
    std::string DisplayName;
    int UnitID = 0;
    // The unit is the root of the tree: the user reaches every shop of the chain.
    bool WholeChain = false;

    // The unit whose shops the user reaches; none when that is every shop.
    std::optional<int> Reach() const { return WholeChain ? std::nullopt : std::optional<int>(UnitID); }
};

class TServerContext {
public:
    // Name chooses the engine (see OpenStore).
    TServerContext(const std::string& Name, TOpenMode Mode, int BusyTimeoutMs, TOrvPackOptions PackOptions);

    TStore& Db() { return *FDb; }
    TOrvPackOptions PackOptions() const { return FPackOptions; }

    std::optional<TSessionInfo> FindSession(const std::string& SessionID);
    bool HasPrivilege(const std::string& UserName, const std::string& Privilege);

    // The one gate of every business call: the session must exist, UnitID must be its
    // unit or lie below it, and Privilege (when given) must be granted to its user.
    // Raises EAccessDenied otherwise.
    TSessionInfo CheckAccess(const std::string& SessionID, int UnitID, const char* Privilege);

    // Runs Body under the connection lock and turns whatever it raises into ErrorMsg and
    // false, so no exception crosses the business-object boundary.
    template <class F> bool Call(std::string& ErrorMsg, F&& Body) {
        std::lock_guard<std::mutex> Guard(FLock);
        try {
            Body();
            return true;
        } catch (const std::exception& E) {
            ErrorMsg = E.what();
        } catch (...) {
            ErrorMsg = "服务器内部错误。";
        }
        return false;
    }

    std::mutex& Lock() { return FLock; }

private:
    // "R01 华东区" for a unit; empty when no unit has the id.
    std::string UnitText(int UnitID);

    std::unique_ptr<TStore> FDb;
    TOrvPackOptions FPackOptions;
    std::mutex FLock;
};

} // namespace orv::server
