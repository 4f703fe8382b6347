// A private PostgreSQL cluster in a temporary folder, for the tests and benchmarks of the
// server side: its own data folder, its own unix socket, nothing shared with a cluster
// the machine may run.
#pragma once

#include <string>
#include <sys/types.h>

namespace orv::server {

class TPgCluster {
public:
    // Creates and starts the cluster. Raises EDatabaseError saying why when the server
    // programs are missing or a step fails. Run as root, the server runs as the system
    // user postgres, which owns the folder.
    TPgCluster();
    // Stops the cluster and removes its folder.
    ~TPgCluster();
    TPgCluster(const TPgCluster&) = delete;
    TPgCluster& operator=(const TPgCluster&) = delete;

    // The URI of database Database of the cluster, as the superuser.
    std::string Uri(const std::string& Database) const;
    // Creates database Name, as a copy of Template when one is given.
    void CreateDatabase(const std::string& Name, const std::string& Template = {});

    // Where the server programs are looked for: $QUILLON_PG_BIN, else Debian's PostgreSQL 15.
    static std::string BinDir();

private:
    std::string Command(const std::string& Program, const std::string& Arguments) const;
    void Run(const std::string& Program, const std::string& Arguments) const;
    void Stop();

    std::string FDir;
    std::string FRunAs; // "runuser -u postgres -- " when run as root
    int FPort = 0;
    bool FStarted = false;
    int FWatchdogPipe = -1;
    pid_t FWatchdog = -1;
};

} // namespace orv::server
