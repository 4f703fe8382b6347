#include "server/Accounts.h"

#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace orv::server {

namespace {

void RequireSodium() {
    static const bool Ready = sodium_init() >= 0;
    if (!Ready) throw EDatabaseError("无法初始化密码库。");
}

std::string Hex(const unsigned char* Bytes, std::size_t Size) {
    std::string Text(Size * 2 + 1, '\0');
    sodium_bin2hex(Text.data(), Text.size(), Bytes, Size);
    Text.pop_back();
    return Text;
}

// The store keeps a digest of the token, not the token: whoever reads the sessions table
// cannot take over a session with what they read.
std::string SessionIdOf(const std::string& Token) {
    unsigned char Digest[crypto_generichash_BYTES];
    crypto_generichash(Digest, sizeof Digest, reinterpret_cast<const unsigned char*>(Token.data()),
                       Token.size(), nullptr, 0);
    return Hex(Digest, sizeof Digest);
}

// An unknown user's password is checked against this, so that the answer takes as long
// as for a known one.
const std::string& DummyHash() {
    static const std::string Hash = HashPassword("");
    return Hash;
}

void StorePassword(TStore& Db, const std::string& UserName, const std::string& Hash) {
    TStatementLease Store = Db.Prepare("INSERT INTO user_passwords (user_name, password_hash) VALUES (?1, ?2) "
                                       "ON CONFLICT (user_name) DO UPDATE SET password_hash = ?2");
    Store->Bind(1, UserName).Bind(2, Hash);
    Store->Execute();
}

void RequirePassword(std::string_view Password) {
    if (Password.empty()) throw EDatabaseError("密码不能为空。");
}

} // namespace

std::string HashPassword(std::string_view Password) {
    RequireSodium();
    char Hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(Hash, Password.data(), Password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw EDatabaseError("计算密码散列时内存不足。");
    return Hash;
}

bool PasswordMatches(const std::string& Hash, std::string_view Password) {
    RequireSodium();
    return crypto_pwhash_str_verify(Hash.c_str(), Password.data(), Password.size()) == 0;
}

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void TAccounts::RequireUser(const std::string& UserName) {
    TStatementLease Query = FContext->Db().Prepare("SELECT 1 FROM users WHERE user_name = ?1");
    Query->Bind(1, UserName);
    if (!Query->Step()) throw EDatabaseError(Format("用户 %s 不存在。", {UserName}));
}

void TAccounts::AddUser(const std::string& UserName, const std::string& DisplayName, const std::string& UnitNum,
                        std::string_view Password) {
    RequirePassword(Password);
    if (UserName.empty()) throw EDatabaseError("用户名不能为空。");
    const std::string Hash = HashPassword(Password);
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    TStore& Db = FContext->Db();
    TTransaction Tx(Db);
    const std::int64_t Unit = [&] {
        TStatementLease Query = Db.Prepare("SELECT unit_id FROM units WHERE unit_num = ?1");
        Query->Bind(1, UnitNum);
        if (!Query->Step()) throw EDatabaseError(Format("机构 %s 不存在。", {UnitNum}));
        return Query->Int64(0);
    }();
    {
        TStatementLease Query = Db.Prepare("SELECT 1 FROM users WHERE user_name = ?1");
        Query->Bind(1, UserName);
        if (Query->Step()) throw EDatabaseError(Format("用户 %s 已经存在。", {UserName}));
    }
    TStatementLease Insert =
        Db.Prepare("INSERT INTO users (user_name, display_name, unit_id) VALUES (?1, ?2, ?3)");
    Insert->Bind(1, UserName).Bind(2, DisplayName.empty() ? UserName : DisplayName).Bind(3, Unit);
    Insert->Execute();
    StorePassword(Db, UserName, Hash);
    Tx.Commit();
}

void TAccounts::SetPassword(const std::string& UserName, std::string_view Password) {
    RequirePassword(Password);
    const std::string Hash = HashPassword(Password);
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    TStore& Db = FContext->Db();
    TTransaction Tx(Db);
    RequireUser(UserName);
    StorePassword(Db, UserName, Hash);
    // A new password ends the sessions the old one opened over the network.
    TStatementLease End =
        Db.Prepare("DELETE FROM sessions WHERE user_name = ?1 AND last_used_at IS NOT NULL");
    End->Bind(1, UserName);
    End->Execute();
    Tx.Commit();
}

void TAccounts::Grant(const std::string& UserName, const std::string& Privilege) {
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    TStore& Db = FContext->Db();
    TTransaction Tx(Db);
    RequireUser(UserName);
    TStatementLease Insert = Db.Prepare(
        "INSERT INTO user_privileges (user_name, privilege) VALUES (?1, ?2) ON CONFLICT DO NOTHING");
    Insert->Bind(1, UserName).Bind(2, Privilege);
    Insert->Execute();
    Tx.Commit();
}

void TAccounts::Revoke(const std::string& UserName, const std::string& Privilege) {
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    TStore& Db = FContext->Db();
    TTransaction Tx(Db);
    RequireUser(UserName);
    TStatementLease Delete = Db.Prepare("DELETE FROM user_privileges WHERE user_name = ?1 AND privilege = ?2");
    Delete->Bind(1, UserName).Bind(2, Privilege);
    Delete->Execute();
    Tx.Commit();
}

std::string TAccounts::Login(const std::string& UserName, std::string_view Password, std::int64_t Now) {
    // Made before anything is looked up, so that not even the first login of an unknown
    // name takes longer than a known one's.
    const std::string& Dummy = DummyHash();
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    TStore& Db = FContext->Db();

    // Names that do not exist are counted too, so the wait gives nothing away either.
    {
        TStatementLease Failures =
            Db.Prepare("SELECT failures, last_failed_at FROM login_failures WHERE user_name = ?1");
        Failures->Bind(1, UserName);
        if (Failures->Step()) {
            const std::int64_t Over = Failures->Int64(0) - FPolicy.FreeFailures;
            if (Over >= 0) {
                const std::int64_t Wait = Over >= 20 ? FPolicy.MaxWaitSeconds
                                                     : std::min<std::int64_t>(std::int64_t{1} << Over,
                                                                              FPolicy.MaxWaitSeconds);
                if (Now < Failures->Int64(1) + Wait) throw ELoginThrottled(TooManyLoginsMessage);
            }
        }
    }
    struct TUser {
        std::string Hash;
        std::int64_t Unit = 0;
    };
    std::optional<TUser> User = [&]() -> std::optional<TUser> {
        TStatementLease Query = Db.Prepare("SELECT p.password_hash, u.unit_id FROM users u "
                                           "JOIN user_passwords p ON p.user_name = u.user_name "
                                           "WHERE u.user_name = ?1");
        Query->Bind(1, UserName);
        if (!Query->Step()) return std::nullopt;
        return TUser{Query->Text(0), Query->Int64(1)};
    }();
    const bool Matches = PasswordMatches(User ? User->Hash : Dummy, Password) && User;
    if (!Matches) {
        TStatementLease Count = Db.Prepare(
            "INSERT INTO login_failures (user_name, failures, last_failed_at) VALUES (?1, 1, ?2) "
            "ON CONFLICT (user_name) DO UPDATE SET failures = login_failures.failures + 1, last_failed_at = ?2");
        Count->Bind(1, UserName).Bind(2, Now);
        Count->Execute();
        throw EAccessDenied(BadLoginMessage);
    }

    unsigned char Random[32];
    randombytes_buf(Random, sizeof Random);
    const std::string Token = Hex(Random, sizeof Random);
    TTransaction Tx(Db);
    TStatementLease Forget = Db.Prepare("DELETE FROM login_failures WHERE user_name = ?1");
    Forget->Bind(1, UserName);
    Forget->Execute();
    // Sessions nobody resumed in time would otherwise stay forever.
    TStatementLease Expire = Db.Prepare("DELETE FROM sessions WHERE last_used_at < ?1");
    Expire->Bind(1, Now - FPolicy.IdleSeconds);
    Expire->Execute();
    TStatementLease Insert = Db.Prepare(
        "INSERT INTO sessions (session_id, user_name, unit_id, last_used_at) VALUES (?1, ?2, ?3, ?4)");
    Insert->Bind(1, SessionIdOf(Token)).Bind(2, UserName).Bind(3, User->Unit).Bind(4, Now);
    Insert->Execute();
    Tx.Commit();
    return Token;
}

TSessionInfo TAccounts::Resume(const std::string& Token, std::int64_t Now) {
    const std::string SessionID = SessionIdOf(Token);
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    TStore& Db = FContext->Db();
    std::int64_t LastUsed = 0;
    TSessionInfo Session;
    {
        TStatementLease Query =
            Db.Prepare("SELECT s.last_used_at, s.user_name, u.display_name, s.unit_id FROM sessions s "
                       "JOIN users u ON u.user_name = s.user_name "
                       "WHERE s.session_id = ?1 AND s.last_used_at IS NOT NULL");
        Query->Bind(1, SessionID);
        if (!Query->Step()) throw EAccessDenied(SessionEndedMessage);
        LastUsed = Query->Int64(0);
        Session = {SessionID, Query->Text(1), Query->Text(2), static_cast<int>(Query->Int64(3))};
    }
    if (Now - LastUsed > FPolicy.IdleSeconds) {
        TStatementLease End = Db.Prepare("DELETE FROM sessions WHERE session_id = ?1");
        End->Bind(1, SessionID);
        End->Execute();
        throw EAccessDenied(SessionEndedMessage);
    }
    // At most one write a second per session, however busy it is.
    if (Now > LastUsed) {
        TStatementLease Touch = Db.Prepare("UPDATE sessions SET last_used_at = ?2 WHERE session_id = ?1");
        Touch->Bind(1, SessionID).Bind(2, Now);
        Touch->Execute();
    }
    return Session;
}

void TAccounts::Logout(const std::string& Token) {
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    TStatementLease Delete = FContext->Db().Prepare("DELETE FROM sessions WHERE session_id = ?1");
    Delete->Bind(1, SessionIdOf(Token));
    Delete->Execute();
}

} // namespace orv::server
