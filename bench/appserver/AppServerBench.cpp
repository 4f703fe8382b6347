// What the network costs a desktop host: the consignment list of 200,000 rows loaded
// through the application server (the client accepting gzip and taking the packed text out
// of the answer's JSON envelope) against the same load in-process, measured in the same run
// on the same store; and a small save of one edited row, through the server and in-process.
// PostgreSQL runs on a private cluster the benchmark starts, or on the empty database
// $QUILLON_BENCH_PG_URI names. The run ends with each through-server median as a ratio of
// its in-process one.
#include "appserver/AppServer.h"
#include "host/data/ClientDataSet.h"
#include "host/services/BusinessIntf.h"
#include "host/services/OrvPack.h"
#include "server/CmsBeans.h"
#include "server/DemoData.h"
#include "server/PacketBuilder.h"
#include "server/PgCluster.h"
#include "server/QuillonServer.h"

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

using namespace orv;
using namespace orv::server;
using nlohmann::json;

namespace {

// The region whose list holds the generated rows.
constexpr int ListUnit = 1;

// One store per engine for every benchmark of the run, an in-process server and an
// application server on it, and a client of that server logged in; removed at exit.
struct TBenchStore {
    std::filesystem::path Dir;
    std::unique_ptr<TPgCluster> Cluster;
    std::unique_ptr<TQuillonServer> Local;
    std::string Session;
    TLargeData Data;
    std::unique_ptr<TAppServer> App;
    std::thread Runner;
    std::unique_ptr<httplib::Client> Http;
    httplib::Headers Headers;
    // The two small deltas that take the row of SmallSave from one rate to the other and
    // back, and which of them comes next.
    std::string ToSecond, ToFirst;
    bool AtFirst = true;

    explicit TBenchStore(TStoreEngine Engine) {
        TServerOptions O;
        if (Engine == TStoreEngine::sePostgres) {
            const char* Given = std::getenv("QUILLON_BENCH_PG_URI");
            if (Given && *Given) {
                O.Path = Given;
            } else {
                Cluster = std::make_unique<TPgCluster>();
                Cluster->CreateDatabase("bench");
                O.Path = Cluster->Uri("bench");
            }
        } else {
            std::string Pattern = (std::filesystem::temp_directory_path() / "quillon-bench-XXXXXX").string();
            if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
            Dir = Pattern;
            O.Path = (Dir / "bench.db").string();
        }
        Local = std::make_unique<TQuillonServer>(O);
        Session = Local->Login("admin");
        Local->Database().Exec("DELETE FROM cms_rs");
        Data = GenerateLargeConsignmentData(Local->Database(), TLargeDataOptions{500, 200, 2, ListUnit});
        if (Engine == TStoreEngine::sePostgres) Local->Database().Exec("ANALYZE");
        PrepareSmallSave();

        TAppServerOptions A;
        A.Database = O.Path;
        A.Port = 0;
        A.Threads = 2;
        A.Log = [](const std::string&) {};
        App = std::make_unique<TAppServer>(A);
        Runner = std::thread([this] { App->Run(); });
        Http = std::make_unique<httplib::Client>("127.0.0.1", App->Port());
        Http->set_keep_alive(true);
        // As a desktop host's client must: the library writes a request's headers and body
        // apart, and Nagle's algorithm would hold the body back until the server's delayed
        // acknowledgement, some 40 ms.
        Http->set_tcp_nodelay(true);
        Http->set_read_timeout(120, 0);
        auto Login =
            Http->Post("/login", R"({"user": "admin", "password": "quillon-admin"})", "application/json");
        if (!Login || Login->status != 200)
            throw std::runtime_error("login to the application server failed");
        Headers = {{"Authorization", "Bearer " + json::parse(Login->body).at("token").get<std::string>()},
                   {"Accept-Encoding", "gzip"}};
    }
    ~TBenchStore() {
        Http.reset();
        if (App) App->Stop();
        if (Runner.joinable()) Runner.join();
        App.reset();
        Local.reset();
        Cluster.reset();
        std::error_code Ec;
        if (!Dir.empty()) std::filesystem::remove_all(Dir, Ec);
    }

    // A row of its own for the small save, in the first free range of the first generated
    // shop and class, and the deltas that change its rate there and back.
    void PrepareSmallSave() {
        TOrvClientDataSet Rows(nullptr);
        CreatePacketFields(Rows, CmsRsStore().PacketFields());
        const TLargeDataRef& Shop = Data.Shops.front();
        const TLargeDataRef& Cls = Data.Classes.front();
        Rows.Append();
        Rows.FieldByName("SHOP_ID")->SetAsInteger(Shop.ID);
        Rows.FieldByName("SHOP_NUM")->SetAsString(Shop.Num);
        Rows.FieldByName("PROD_CLS_ID")->SetAsInteger(Cls.ID);
        Rows.FieldByName("PROD_CLS_NUM")->SetAsString(Cls.Num);
        Rows.FieldByName("FROM_DATE")->SetValue(Variant::Date(Data.FirstFreeDay));
        Rows.FieldByName("TO_DATE")->SetValue(Variant::Date(Data.FirstFreeDay + Data.RangeDays - 1));
        Rows.FieldByName("CMS_RATE")->SetAsString("0.0100");
        Rows.Post();
        std::string Result, Error;
        if (!RsBean()->SaveDelta(Session, ListUnit, OrvPack(Rows.GetXMLDelta(), {}), Result, Error))
            throw std::runtime_error(Error);
        Rows.MergeChangeLog();
        auto Change = [&](const char* Rate) {
            Rows.Edit();
            Rows.FieldByName("CMS_RATE")->SetAsString(Rate);
            Rows.Post();
            std::string Delta = OrvPack(Rows.GetXMLDelta(), {TOrvPackOption::poCompress});
            Rows.MergeChangeLog();
            return Delta;
        };
        ToSecond = Change("0.0200");
        ToFirst = Change("0.0100");
    }

    TInterfacePtr<ICmsRs> RsBean() { return Supports<ICmsRs>(Local->CreateObject("TCmsRsBean")); }

    const std::string& NextSmallDelta() {
        const std::string& Delta = AtFirst ? ToSecond : ToFirst;
        AtFirst = !AtFirst;
        return Delta;
    }

    // The packed text of a /call's answer, out of its envelope; empty with Error when the
    // call failed.
    std::string Call(const json& Request, std::string& Error) {
        auto Res = Http->Post("/call", Headers, Request.dump(), "application/json");
        if (!Res || Res->status != 200) {
            Error = Res ? Res->body.substr(0, 200) : httplib::to_string(Res.error());
            return {};
        }
        json Answer = json::parse(Res->body);
        if (!Answer.value("ok", false)) {
            Error = Answer.value("error", "refused");
            return {};
        }
        return std::move(Answer.at("data").get_ref<std::string&>());
    }
};

TBenchStore& Store(TStoreEngine Engine) {
    static std::map<TStoreEngine, std::unique_ptr<TBenchStore>> Stores;
    auto& S = Stores[Engine];
    if (!S) S = std::make_unique<TBenchStore>(Engine);
    return *S;
}

void BM_LoadList200k(benchmark::State& State, TStoreEngine Engine, bool ThroughServer) {
    TBenchStore& B = Store(Engine);
    auto Bean = B.RsBean();
    const json Request = {{"object", "TCmsRsBean"}, {"method", "LoadList"}, {"unit", ListUnit}};
    std::size_t Bytes = 0;
    for (auto _ : State) {
        std::string Data, Error;
        if (ThroughServer)
            Data = B.Call(Request, Error);
        else
            Bean->LoadList(B.Session, ListUnit, Data, Error);
        if (!Error.empty()) State.SkipWithError(Error.c_str());
        Bytes = Data.size();
        benchmark::DoNotOptimize(Data);
    }
    State.counters["packed_MB"] = static_cast<double>(Bytes) / 1e6;
}

void BM_SmallSave(benchmark::State& State, TStoreEngine Engine, bool ThroughServer) {
    TBenchStore& B = Store(Engine);
    auto Bean = B.RsBean();
    for (auto _ : State) {
        const std::string& Delta = B.NextSmallDelta();
        std::string Result, Error;
        if (ThroughServer)
            Result = B.Call(
                {{"object", "TCmsRsBean"}, {"method", "SaveDelta"}, {"unit", ListUnit}, {"delta", Delta}},
                Error);
        else
            Bean->SaveDelta(B.Session, ListUnit, Delta, Result, Error);
        if (!Error.empty()) State.SkipWithError(Error.c_str());
        benchmark::DoNotOptimize(Result);
    }
}

// A whole list is loaded once per repetition; the report keeps the medians.
void OnePassFiveTimes(benchmark::internal::Benchmark* B) {
    B->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
}
void ManyPassesFiveTimes(benchmark::internal::Benchmark* B) {
    B->Unit(benchmark::kMillisecond)->Iterations(200)->Repetitions(5)->ReportAggregatesOnly(true);
}

constexpr auto Sqlite = TStoreEngine::seSqlite;
constexpr auto Postgres = TStoreEngine::sePostgres;

BENCHMARK_CAPTURE(BM_LoadList200k, SQLite_InProcess, Sqlite, false)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_LoadList200k, SQLite_Server, Sqlite, true)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_SmallSave, SQLite_InProcess, Sqlite, false)->Apply(ManyPassesFiveTimes);
BENCHMARK_CAPTURE(BM_SmallSave, SQLite_Server, Sqlite, true)->Apply(ManyPassesFiveTimes);
BENCHMARK_CAPTURE(BM_LoadList200k, PostgreSQL_InProcess, Postgres, false)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_LoadList200k, PostgreSQL_Server, Postgres, true)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_SmallSave, PostgreSQL_InProcess, Postgres, false)->Apply(ManyPassesFiveTimes);
BENCHMARK_CAPTURE(BM_SmallSave, PostgreSQL_Server, Postgres, true)->Apply(ManyPassesFiveTimes);

// The console report, and the medians it showed, to set each case through the server
// against the same case in-process.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& Reports) override {
        ConsoleReporter::ReportRuns(Reports);
        for (const Run& R : Reports)
            if (R.run_type == Run::RT_Aggregate && R.aggregate_name == "median")
                Medians[R.run_name.str()] = R.GetAdjustedRealTime();
    }
    std::map<std::string, double> Medians;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TRatioReporter Reporter;
    benchmark::RunSpecifiedBenchmarks(&Reporter);
    std::printf("\nThrough the server, median (ms) and as a ratio of the in-process median:\n");
    for (const auto& [Name, Median] : Reporter.Medians) {
        const std::size_t At = Name.find("_Server");
        if (At == std::string::npos) continue;
        std::string Base = Name;
        Base.replace(At, 7, "_InProcess");
        const auto InProcess = Reporter.Medians.find(Base);
        if (InProcess != Reporter.Medians.end() && InProcess->second > 0)
            std::printf("  %-45s %9.2f ms  %5.2fx\n", Name.c_str(), Median, Median / InProcess->second);
    }
    benchmark::Shutdown();
    return 0;
}
