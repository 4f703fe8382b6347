// The store the server benchmarks measure: on either engine, its consignment table holding
// exactly the generated rows (500 shops of the region ListUnit x 200 product classes x 2
// ranges, 200,000 rows). PostgreSQL runs on a private cluster started for the run, or on
// the empty database $QUILLON_BENCH_PG_URI names.
#pragma once

#include "server/DemoData.h"
#include "server/PgCluster.h"
#include "server/QuillonServer.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace orv::bench {

// The region the generated shops belong to.
inline constexpr int ListUnit = 1;

// Removed with everything in it when it goes.
class TLargeStore {
public:
    explicit TLargeStore(server::TStoreEngine Engine) {
        server::TServerOptions O;
        if (Engine == server::TStoreEngine::sePostgres) {
            const char* Given = std::getenv("QUILLON_BENCH_PG_URI");
            if (Given && *Given) {
                O.Path = Given;
            } else {
                FCluster = std::make_unique<server::TPgCluster>();
                FCluster->CreateDatabase("bench");
                O.Path = FCluster->Uri("bench");
            }
        } else {
            std::string Pattern = (std::filesystem::temp_directory_path() / "quillon-bench-XXXXXX").string();
            if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
            FDir = Pattern;
            O.Path = (FDir / "bench.db").string();
        }
        Path = O.Path;
        Server = std::make_unique<server::TQuillonServer>(O);
        Session = Server->Login("admin");
        // Exactly the generated rows, without the demo ones.
        Server->Database().Exec("DELETE FROM cms_rs");
        Data = server::GenerateLargeConsignmentData(Server->Database(), server::TLargeDataOptions{500, 200, 2, ListUnit});
        // Fresh statistics, as a server's autovacuum would have them after such a load.
        if (Engine == server::TStoreEngine::sePostgres) Server->Database().Exec("ANALYZE");
    }
    ~TLargeStore() {
        Server.reset();
        FCluster.reset();
        std::error_code Ec;
        if (!FDir.empty()) std::filesystem::remove_all(FDir, Ec);
    }
    TLargeStore(const TLargeStore&) = delete;
    TLargeStore& operator=(const TLargeStore&) = delete;

    std::string Path; // the database's name: a file, or a postgresql:// URI
    std::unique_ptr<server::TQuillonServer> Server;
    std::string Session; // the chain's user, in-process
    server::TLargeData Data;

private:
    std::filesystem::path FDir;
    std::unique_ptr<server::TPgCluster> FCluster;
};

} // namespace orv::bench
