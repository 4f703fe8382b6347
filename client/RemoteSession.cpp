#include "client/RemoteSession.h"

#include "host/data/ClientDataSet.h"
#include "host/services/BusinessIntf.h"
#include "host/services/OrvPack.h"
#include "server/ServerContext.h"

#include <httplib.h>

#include <regex>

namespace orv::client {

using nlohmann::json;

namespace {

// A failed exchange in the clerk's words; the address tells which server.
std::string TransportMessage(httplib::Error Error, const std::string& Url) {
    switch (Error) {
    case httplib::Error::Connection:
    case httplib::Error::ConnectionTimeout:
        return Format("连接不上服务器 %s，请检查网络，或请管理员确认服务器在运行。", {Url});
    case httplib::Error::Read:
    case httplib::Error::Write:
        return Format("与服务器 %s 的连接中断了。", {Url});
    case httplib::Error::SSLConnection:
    case httplib::Error::SSLLoadingCerts:
    case httplib::Error::SSLServerVerification:
        return Format("无法与服务器 %s 建立安全连接：服务器的证书不受信任或与地址不符。", {Url});
    default:
        return Format("访问服务器 %s 失败（%s）。", {Url, httplib::to_string(Error)});
    }
}

} // namespace

TRemoteConnection::TRemoteConnection(TRemoteOptions Options) : FOptions(std::move(Options)) {
    static const std::regex UrlForm(R"(^(https?://[^/?#]+)(/[^?#]*)?$)", std::regex::icase);
    std::smatch M;
    if (!std::regex_match(FOptions.Url, M, UrlForm))
        throw ERemoteError(Format("服务器地址 %s 不对，应形如 http://主机:端口 或 https://主机:端口。", {FOptions.Url}));
    FOrigin = M[1].str();
    FPrefix = M[2].str();
    while (!FPrefix.empty() && FPrefix.back() == '/') FPrefix.pop_back();
    FHttp = std::make_unique<httplib::Client>(FOrigin);
    if (!FHttp->is_valid()) throw ERemoteError(Format("服务器地址 %s 不对。", {FOptions.Url}));
    FHttp->set_connection_timeout(FOptions.ConnectTimeoutSeconds, 0);
    FHttp->set_read_timeout(FOptions.ReadTimeoutSeconds, 0);
    FHttp->set_write_timeout(FOptions.ReadTimeoutSeconds, 0);
    FHttp->set_keep_alive(true);
    // Small requests go out at once rather than wait on the server's delayed acknowledgement.
    FHttp->set_tcp_nodelay(true);
    if (!FOptions.CaFile.empty()) FHttp->set_ca_cert_path(FOptions.CaFile);
}

TRemoteConnection::~TRemoteConnection() = default;

json TRemoteConnection::Post(const std::string& Path, const json& Body, int& Status) {
    httplib::Headers Headers{{"Accept-Encoding", "gzip"}};
    if (!FToken.empty()) Headers.emplace("Authorization", "Bearer " + FToken);
    httplib::Result Res = FHttp->Post((FPrefix + Path).c_str(), Headers, Body.dump(), "application/json");
    if (!Res) throw ERemoteError(TransportMessage(Res.error(), FOptions.Url));
    Status = Res->status;
    json Answer = json::parse(Res->body, nullptr, false);
    if (Answer.is_discarded() || !Answer.is_object())
        throw ERemoteError(Format("服务器 %s 的回答看不懂（HTTP %d），它可能不是 Quillon 服务器。",
                                  {FOptions.Url, std::to_string(Status)}));
    return Answer;
}

void TRemoteConnection::Login(const std::string& UserName, const std::string& Password) {
    std::lock_guard<std::recursive_mutex> Guard(FLock);
    FToken.clear();
    int Status = 0;
    const json Answer = Post("/login", {{"user", UserName}, {"password", Password}}, Status);
    const std::string Error = Answer.value("error", "");
    if (Status == 401 || Status == 429) throw ELoginRefused(Error);
    if (Status != 200 || !Answer.contains("token") || !Answer["token"].is_string() || !Answer.contains("unit"))
        throw ERemoteError(Error.empty() ? Format("服务器 %s 没有接受登录（HTTP %d）。",
                                                  {FOptions.Url, std::to_string(Status)})
                                         : Error);
    FToken = Answer["token"].get<std::string>();
    FUnitID = Answer["unit"].get<int>();
    FUserName = UserName;
    FRights.clear();
}

void TRemoteConnection::Logout() noexcept {
    std::lock_guard<std::recursive_mutex> Guard(FLock);
    if (FToken.empty()) return;
    try {
        int Status = 0;
        Post("/logout", json::object(), Status);
    } catch (const std::exception&) {
        // Out of reach: the session ends on the server when it has been idle long enough.
    }
    FToken.clear();
}

json TRemoteConnection::Call(const json& Request) {
    std::lock_guard<std::recursive_mutex> Guard(FLock);
    // The clerk is asked to log in again at most once per call.
    bool Asked = false;
    auto LoginAgain = [&] {
        if (Asked || !FRelogin) return false;
        Asked = true;
        return FRelogin();
    };
    for (;;) {
        if (FToken.empty() && !LoginAgain()) throw ESessionEnded(server::SessionEndedMessage);
        int Status = 0;
        json Answer = Post("/call", Request, Status);
        const std::string Error = Answer.value("error", "");
        if (Status == 200 && Answer.contains("ok")) return Answer;
        if (Status != 401)
            throw ERemoteError(Error.empty() ? Format("服务器 %s 回答了 HTTP %d。", {FOptions.Url, std::to_string(Status)})
                                             : Error);
        FToken.clear();
        if (!LoginAgain()) throw ESessionEnded(Error.empty() ? server::SessionEndedMessage : Error);
    }
}

bool TRemoteConnection::Ask(const json& Request, json& Out, std::string& ErrorMsg, std::string_view Unreached) {
    try {
        Out = Call(Request);
    } catch (const ERemoteError& E) {
        ErrorMsg = std::string(E.what()) + std::string(Unreached);
        return false;
    }
    if (Out.value("ok", false)) return true;
    ErrorMsg = Out.value("error", "");
    return false;
}

bool TRemoteConnection::Authorized(const std::string& Privilege) {
    std::lock_guard<std::recursive_mutex> Guard(FLock);
    if (auto Known = FRights.find(Privilege); Known != FRights.end()) return Known->second;
    try {
        const json Answer = Call({{"object", "Session"}, {"method", "Authorized"}, {"privilege", Privilege}});
        const bool Granted = Answer.value("ok", false) && Answer.value("granted", false);
        FRights[Privilege] = Granted;
        return Granted;
    } catch (const std::exception&) {
        return false; // not remembered: asked again once the server answers
    }
}

namespace {

// What every proxy does: one call of its object, its answer's data or its refusal.
class TRemoteObject {
public:
    TRemoteObject(std::shared_ptr<TRemoteConnection> Connection, std::string ClassName)
        : FConnection(std::move(Connection)), FClassName(std::move(ClassName)) {}

protected:
    // Out receives the answer when the object agreed; ErrorMsg its refusal, or why the
    // server could not be asked. A save that could not be sent keeps nothing back from the
    // clerk: the window still holds the changes, which a later save sends again.
    bool Invoke(json Request, json& Out, std::string& ErrorMsg) {
        Request["object"] = FClassName;
        const bool Saving = Request["method"] == "SaveDelta";
        return FConnection->Ask(Request, Out, ErrorMsg, Saving ? "窗口中的修改都还在，连接恢复后可以再保存。" : "");
    }

    bool Data(json Request, std::string& Data, std::string& ErrorMsg) {
        json Out;
        if (!Invoke(std::move(Request), Out, ErrorMsg)) return false;
        Data = Out.value("data", "");
        return true;
    }

    bool Load(int UnitID, std::string& Rows, std::string& ErrorMsg) {
        return Data({{"method", "LoadList"}, {"unit", UnitID}}, Rows, ErrorMsg);
    }
    bool Save(int UnitID, const std::string& PackedDelta, std::string& ResultData, std::string& ErrorMsg) {
        return Data({{"method", "SaveDelta"}, {"unit", UnitID}, {"delta", PackedDelta}}, ResultData, ErrorMsg);
    }

private:
    std::shared_ptr<TRemoteConnection> FConnection;
    std::string FClassName;
};

template <class I> class TRemoteTable : public TInterfacedObject<I>, protected TRemoteObject {
public:
    using TRemoteObject::TRemoteObject;
    bool LoadList(const std::string&, int UnitID, std::string& Data, std::string& ErrorMsg) override {
        return Load(UnitID, Data, ErrorMsg);
    }
    bool SaveDelta(const std::string&, int UnitID, const std::string& PackedDelta, std::string& ResultData,
                   std::string& ErrorMsg) override {
        return Save(UnitID, PackedDelta, ResultData, ErrorMsg);
    }
};

class TRemoteTimetable : public TRemoteTable<IWorkTimetable> {
public:
    using TRemoteTable<IWorkTimetable>::TRemoteTable;
    bool GetShiftOfTime(const std::string&, int UnitID, TDateTime Moment, int& ShiftID,
                        std::string& ErrorMsg) override {
        json Out;
        if (!Invoke({{"method", "GetShiftOfTime"}, {"unit", UnitID}, {"moment", Moment}}, Out, ErrorMsg)) return false;
        if (Out.contains("shift") && Out["shift"].is_number_integer()) ShiftID = Out["shift"].get<int>();
        return true;
    }
    bool GetTimetable(const std::string&, int UnitID, TDateTime FromDate, TDateTime ToDate, std::string& Rows,
                      std::string& ErrorMsg) override {
        return Data({{"method", "GetTimetable"}, {"unit", UnitID}, {"from", FromDate}, {"to", ToDate}}, Rows,
                    ErrorMsg);
    }
    bool GetShiftList(const std::string&, int UnitID, std::string& Rows, std::string& ErrorMsg) override {
        return Data({{"method", "GetShiftList"}, {"unit", UnitID}}, Rows, ErrorMsg);
    }
};

template <class T> TInterfacePtr<IInterface> Make(const std::shared_ptr<TRemoteConnection>& C, const std::string& N) {
    TInterfacePtr<T> Object(new T(C, N));
    return Supports<IInterface>(Object);
}

} // namespace

TInterfacePtr<IInterface> CreateRemoteObject(const std::shared_ptr<TRemoteConnection>& Connection,
                                             const std::string& ClassName) {
    if (ClassName == "TCmsShfBean") return Make<TRemoteTable<ICmsShf>>(Connection, ClassName);
    if (ClassName == "TCmsQtyBean") return Make<TRemoteTable<ICmsQty>>(Connection, ClassName);
    if (ClassName == "TCmsValBean") return Make<TRemoteTable<ICmsVal>>(Connection, ClassName);
    if (ClassName == "TCmsRsBean") return Make<TRemoteTable<ICmsRs>>(Connection, ClassName);
    if (ClassName == "TWorkTimetableBean") return Make<TRemoteTimetable>(Connection, ClassName);
    throw EDatabaseError(Format("没有业务对象类 %s。", {ClassName}));
}

bool TRemoteLookups::Packet(const json& Request, TOrvClientDataSet* S, std::string& ErrorMsg) {
    if (!S) {
        ErrorMsg = server::NoTargetSetMessage;
        return false;
    }
    json Call = Request;
    Call["object"] = "Lookups";
    json Out;
    if (!FConnection->Ask(Call, Out, ErrorMsg)) return false;
    try {
        S->SetXMLData(OrvUnpack(Out.value("data", ""))); // all or nothing: a damaged answer leaves S
    } catch (const std::exception& E) {
        ErrorMsg = Format("服务器的回答已损坏：%s", {E.what()});
        return false;
    }
    S->First();
    return true;
}

bool TRemoteLookups::GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg) {
    return Packet({{"method", "GetProductSortList"}}, S, ErrorMsg);
}

bool TRemoteLookups::GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum, const std::string& UnitTypes,
                             TOrvClientDataSet* S, std::string& ErrorMsg) {
    return Packet({{"method", "GetUnit"}, {"root", RootUnitID}, {"id", UnitID}, {"num", UnitNum}, {"types", UnitTypes}},
                  S, ErrorMsg);
}

bool TRemoteLookups::GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S,
                                std::string& ErrorMsg) {
    return Packet({{"method", "GetProdCls"}, {"id", ProdClsID}, {"num", ProdClsNum}}, S, ErrorMsg);
}

namespace {

// Each of the answer's List entries made into a T by Make, or ERemoteError with the
// refusal or when the answer is not a list of such entries.
template <class T, class F>
std::vector<T> Listed(TRemoteConnection& Connection, json Request, const char* List, F Make) {
    Request["object"] = "Lookups";
    json Out;
    if (std::string Error; !Connection.Ask(Request, Out, Error)) throw ERemoteError(Error);
    std::vector<T> Items;
    try {
        for (const json& Entry : Out.at(List)) Items.push_back(Make(Entry));
    } catch (const json::exception&) {
        throw ERemoteError(Format("服务器 %s 的回答看不懂。", {Connection.Url()}));
    }
    return Items;
}

} // namespace

std::vector<server::TUnitNode> TRemoteLookups::UnitTree(int RootUnitID, const std::string& UnitTypes) {
    return Listed<server::TUnitNode>(
        *FConnection, {{"method", "UnitTree"}, {"root", RootUnitID}, {"types", UnitTypes}}, "units",
        [](const json& U) {
            return server::TUnitNode{U.at("id").get<int>(), U.at("parent").get<int>(), U.at("num").get<std::string>(),
                                     U.at("name").get<std::string>(), U.at("type").get<std::string>()};
        });
}

std::vector<server::TProdClsItem> TRemoteLookups::ProdClsList(const std::string& SearchText) {
    return Listed<server::TProdClsItem>(
        *FConnection, {{"method", "ProdClsList"}, {"search", SearchText}}, "classes", [](const json& C) {
            return server::TProdClsItem{C.at("id").get<int>(), C.at("num").get<std::string>(),
                                        C.at("name").get<std::string>(), C.at("sort").get<int>()};
        });
}

} // namespace orv::client
