// Logins with passwords for clients over the network, and the management of users.
// Sessions and failed attempts live in the store, so any server of a chain can answer
// any request.
#pragma once

#include "server/ServerContext.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace orv::server {

// What a refused login says, whatever the reason: the caller learns nothing about which
// users exist.
inline constexpr const char* BadLoginMessage = "用户名或密码不正确。";
inline constexpr const char* TooManyLoginsMessage = "登录失败次数过多，请稍后再试。";

// A login refused unheard while its name waits out earlier failures.
class ELoginThrottled : public EAccessDenied {
public:
    using EAccessDenied::EAccessDenied;
};

// Argon2id at libsodium's interactive limits; the text holds its own salt and limits.
std::string HashPassword(std::string_view Password);
bool PasswordMatches(const std::string& Hash, std::string_view Password);

struct TLoginPolicy {
    // A session unused for longer ends.
    std::int64_t IdleSeconds = 30 * 60;
    // Failures of one user name in a row that cost nothing; each further one doubles the
    // wait before the next attempt is heard, up to MaxWaitSeconds.
    int FreeFailures = 3;
    std::int64_t MaxWaitSeconds = 60;
};

// Seconds since 1970, the clock every session time is kept in.
std::int64_t NowSeconds();

// Every call takes the context's lock; times come from the caller, so that a test can
// move the clock.
class TAccounts {
public:
    TAccounts(std::shared_ptr<TServerContext> Context, TLoginPolicy Policy = {})
        : FContext(std::move(Context)), FPolicy(Policy) {}

    // The user command. UnitNum is the number of the unit whose shops the user may see
    // ("C000", "R01", "S001"). Each raises EDatabaseError with a message for the operator.
    void AddUser(const std::string& UserName, const std::string& DisplayName, const std::string& UnitNum,
                 std::string_view Password);
    void SetPassword(const std::string& UserName, std::string_view Password);
    void Grant(const std::string& UserName, const std::string& Privilege);
    void Revoke(const std::string& UserName, const std::string& Privilege);

    // A new session token (64 hex digits) for the right password; otherwise raises
    // EAccessDenied with BadLoginMessage, or ELoginThrottled with TooManyLoginsMessage
    // while the name waits out its failures.
    std::string Login(const std::string& UserName, std::string_view Password, std::int64_t Now);
    // The token's session, marked as used now; its SessionID is what the business objects
    // know it by. Raises EAccessDenied when the token is unknown or its session has been
    // idle too long (which ends it).
    TSessionInfo Resume(const std::string& Token, std::int64_t Now);
    void Logout(const std::string& Token);

private:
    void RequireUser(const std::string& UserName);

    std::shared_ptr<TServerContext> FContext;
    TLoginPolicy FPolicy;
};

} // namespace orv::server
