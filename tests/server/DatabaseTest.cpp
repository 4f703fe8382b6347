// Opening databases: schema versions, files that cannot serve, demo and bulk data.
#include "ServerTestSupport.h"
#include "tests/MessageOf.h"

#include "host/core/DateUtils.h"
#include "server/DemoData.h"
#include "server/Schema.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/wait.h>
#include <unistd.h>

using namespace orv;
using namespace orv::server;
using namespace orv::server::test;

namespace {

// A second, raw connection to the file, as another program would hold it.
class TRawConnection {
public:
    explicit TRawConnection(const std::string& Path) {
        EXPECT_EQ(sqlite3_open(Path.c_str(), &FDb), SQLITE_OK);
    }
    ~TRawConnection() { sqlite3_close(FDb); }
    TRawConnection(const TRawConnection&) = delete;
    TRawConnection& operator=(const TRawConnection&) = delete;
    int Exec(const char* Sql) { return sqlite3_exec(FDb, Sql, nullptr, nullptr, nullptr); }

private:
    sqlite3* FDb = nullptr;
};

// While alive, every connection opened sees a full disk: writes fail, and so does growing
// the shared-memory index, with the ENOSPC the kernel gives; reading still works.
class TFullDisk {
public:
    TFullDisk() {
        Real = sqlite3_vfs_find(nullptr);
        FVfs = *Real;
        FVfs.zName = "quillon-full-disk";
        FVfs.szOsFile = static_cast<int>(sizeof(TFile)) + Real->szOsFile;
        FVfs.xOpen = Open;
        FMethods = {};
        FMethods.iVersion = 2;
        FMethods.xClose = [](sqlite3_file* F) { return Delegate(F)->pMethods->xClose(Delegate(F)); };
        FMethods.xRead = [](sqlite3_file* F, void* Buf, int N, sqlite3_int64 At) {
            return Delegate(F)->pMethods->xRead(Delegate(F), Buf, N, At);
        };
        FMethods.xWrite = [](sqlite3_file*, const void*, int, sqlite3_int64) {
            errno = ENOSPC;
            return SQLITE_FULL; // what the unix file system reports for ENOSPC
        };
        FMethods.xTruncate = [](sqlite3_file* F, sqlite3_int64 Size) {
            return Delegate(F)->pMethods->xTruncate(Delegate(F), Size);
        };
        FMethods.xSync = [](sqlite3_file* F, int Flags) {
            return Delegate(F)->pMethods->xSync(Delegate(F), Flags);
        };
        FMethods.xFileSize = [](sqlite3_file* F, sqlite3_int64* Size) {
            return Delegate(F)->pMethods->xFileSize(Delegate(F), Size);
        };
        FMethods.xLock = [](sqlite3_file* F, int L) { return Delegate(F)->pMethods->xLock(Delegate(F), L); };
        FMethods.xUnlock = [](sqlite3_file* F, int L) {
            return Delegate(F)->pMethods->xUnlock(Delegate(F), L);
        };
        FMethods.xCheckReservedLock = [](sqlite3_file* F, int* Out) {
            return Delegate(F)->pMethods->xCheckReservedLock(Delegate(F), Out);
        };
        FMethods.xFileControl = [](sqlite3_file* F, int Op, void* Arg) {
            return Delegate(F)->pMethods->xFileControl(Delegate(F), Op, Arg);
        };
        FMethods.xSectorSize = [](sqlite3_file* F) {
            return Delegate(F)->pMethods->xSectorSize(Delegate(F));
        };
        FMethods.xDeviceCharacteristics = [](sqlite3_file* F) {
            return Delegate(F)->pMethods->xDeviceCharacteristics(Delegate(F));
        };
        // A region that exists is mapped; one that must first be written is refused as
        // the unix file system refuses it on a full disk.
        FMethods.xShmMap = [](sqlite3_file* F, int Page, int Size, int Extend, void volatile** Out) {
            int Rc = Delegate(F)->pMethods->xShmMap(Delegate(F), Page, Size, 0, Out);
            if (Rc != SQLITE_OK || *Out || !Extend) return Rc;
            errno = ENOSPC;
            return SQLITE_IOERR_SHMSIZE;
        };
        FMethods.xShmLock = [](sqlite3_file* F, int At, int N, int Flags) {
            return Delegate(F)->pMethods->xShmLock(Delegate(F), At, N, Flags);
        };
        FMethods.xShmBarrier = [](sqlite3_file* F) { Delegate(F)->pMethods->xShmBarrier(Delegate(F)); };
        FMethods.xShmUnmap = [](sqlite3_file* F, int Delete) {
            return Delegate(F)->pMethods->xShmUnmap(Delegate(F), Delete);
        };
        sqlite3_vfs_register(&FVfs, 1);
    }
    ~TFullDisk() {
        sqlite3_vfs_register(Real, 1);
        sqlite3_vfs_unregister(&FVfs);
    }
    TFullDisk(const TFullDisk&) = delete;
    TFullDisk& operator=(const TFullDisk&) = delete;

private:
    // The wrapped file follows ours; SQLite aligns the whole to 8 bytes, as sqlite3_file is.
    struct TFile {
        sqlite3_file Base;
    };
    static sqlite3_file* Delegate(sqlite3_file* F) {
        return reinterpret_cast<sqlite3_file*>(reinterpret_cast<TFile*>(F) + 1);
    }
    static int Open(sqlite3_vfs*, sqlite3_filename Name, sqlite3_file* F, int Flags, int* OutFlags) {
        int Rc = Real->xOpen(Real, Name, Delegate(F), Flags, OutFlags);
        F->pMethods = Delegate(F)->pMethods ? &FMethods : nullptr;
        return Rc;
    }

    static inline sqlite3_vfs* Real = nullptr;
    static inline sqlite3_vfs FVfs{};
    static inline sqlite3_io_methods FMethods{};
};

TServerOptions At(const std::string& Path) {
    TServerOptions O;
    O.Path = Path;
    O.BusyTimeoutMs = 100;
    return O;
}

// Opening a database, on each engine: each test names new, empty databases of its own.
class DatabaseOpenEngineTest : public ::testing::TestWithParam<TStoreEngine> {
protected:
    // A new empty database; empty when the engine cannot run (the test then returns).
    std::string NewEmpty(const std::string& FileName) {
        std::string Name;
        NewDatabase(Name, GetParam(), Dir, true, FileName);
        return Name;
    }
    TTempDir Dir;
};

TEST_P(DatabaseOpenEngineTest, NewDatabaseIsCurrentSeededAndNotSeededTwice) {
    const std::string Name = NewEmpty("nested/folder/q.db");
    if (Name.empty()) return;
    {
        TQuillonServer Server(At(Name));
        EXPECT_EQ(StoredSchemaVersion(Server.Database()), SchemaVersion());
        if (GetParam() == TStoreEngine::seSqlite) {
            TStatementLease Mode = Server.Database().Prepare("PRAGMA journal_mode");
            ASSERT_TRUE(Mode->Step());
            EXPECT_EQ(Mode->Text(0), "wal");
            EXPECT_EQ(Server.Database().QueryInt64("PRAGMA foreign_keys"), 1);
        }
        Server.Database().Exec("DELETE FROM cms_shf");
    }
    TQuillonServer Again(At(Name));
    EXPECT_EQ(Again.Database().QueryInt64("SELECT count(*) FROM cms_shf"), 0);
    EXPECT_EQ(Again.Database().QueryInt64("SELECT count(*) FROM units WHERE unit_type = 'S'"), 20);
}

TEST_P(DatabaseOpenEngineTest, NewerSchemaIsRefusedAndLeftAlone) {
    const std::string Name = NewEmpty("q.db");
    if (Name.empty()) return;
    const std::string Newer = std::to_string(SchemaVersion() + 1);
    {
        TQuillonServer Server(At(Name));
        Server.Database().SetSchemaVersion(SchemaVersion() + 1);
    }
    std::string Msg = MessageOf<EDatabaseError>([&] { TQuillonServer Server(At(Name)); });
    EXPECT_NE(Msg.find("版本（" + Newer + "）"), std::string::npos) << Msg;
    std::unique_ptr<TStore> Db = OpenStore(Name, TOpenMode::omReadWrite, 0);
    EXPECT_EQ(StoredSchemaVersion(*Db), SchemaVersion() + 1);
}

// A store of the previous release, with rows in it, is brought up to date on opening and
// keeps its rows; on PostgreSQL its ranges are then kept apart by the shop-led exclusion
// index, still per unit, shop and class, and the index by shop and class is gone.
TEST_P(DatabaseOpenEngineTest, StoreOfTheLastReleaseIsUpgradedWithItsRows) {
    const std::string Name = NewEmpty("q.db");
    if (Name.empty()) return;
    const bool Postgres = GetParam() == TStoreEngine::sePostgres;
    std::int64_t Rows = 0;
    {
        TQuillonServer Server(At(Name));
        TStore& Db = Server.Database();
        Rows = Db.QueryInt64("SELECT count(*) FROM cms_rs");
        ASSERT_GT(Rows, 0);
        if (Postgres)
            Db.Exec(R"sql(
ALTER TABLE cms_rs DROP CONSTRAINT cms_rs_days_apart;
CREATE INDEX cms_rs_by_shop_class ON cms_rs(shop_id, prod_cls_id, from_date, to_date);
ALTER TABLE cms_rs ADD CONSTRAINT cms_rs_days_apart EXCLUDE USING gist (
    unit_id WITH =, shop_id WITH =, prod_cls_id WITH =, int8range(from_date, to_date, '[]') WITH &&);
)sql");
        Db.SetSchemaVersion(2);
    }
    TQuillonServer Server(At(Name));
    TStore& Db = Server.Database();
    EXPECT_EQ(StoredSchemaVersion(Db), 3);
    EXPECT_EQ(Db.QueryInt64("SELECT count(*) FROM cms_rs"), Rows);
    if (!Postgres) return;
    EXPECT_EQ(Db.QueryInt64("SELECT count(*) FROM pg_indexes WHERE indexname = 'cms_rs_by_shop_class'"), 0);
    TStatementLease Def =
        Db.Prepare("SELECT pg_get_constraintdef(oid) FROM pg_constraint WHERE conname = 'cms_rs_days_apart'");
    ASSERT_TRUE(Def->Step());
    EXPECT_EQ(Def->Text(0), "EXCLUDE USING gist (shop_id WITH =, prod_cls_id WITH =, "
                            "int8range(from_date, to_date, '[]'::text) WITH &&, unit_id WITH =)");
    // A shop's rows are still found by an index when its unit goes, as the references
    // to units need.
    Db.Exec("SET enable_seqscan = off");
    TStatementLease Plan = Db.Prepare("EXPLAIN SELECT 1 FROM cms_rs WHERE shop_id = 106");
    std::string Text;
    while (Plan->Step())
        Text += Plan->Text(0) + "\n";
    EXPECT_EQ(Text.find("Seq Scan"), std::string::npos) << Text;
}

INSTANTIATE_TEST_SUITE_P(Engines, DatabaseOpenEngineTest, AllEngines(), EngineName);

TEST(DatabaseOpenTest, GarbageFileIsRefusedAsCorrupt) {
    TTempDir Dir;
    const std::string Path = Dir.File("garbage.db");
    {
        std::ofstream Out(Path, std::ios::binary);
        for (int I = 0; I < 8192; ++I)
            Out.put(static_cast<char>((I * 7919) % 251));
    }
    std::string Msg = MessageOf<EDatabaseError>([&] { TQuillonServer Server(At(Path)); });
    EXPECT_NE(Msg.find("已损坏"), std::string::npos) << Msg;
}

TEST(DatabaseOpenTest, MissingFileOpenedReadOnlyIsRefused) {
    TTempDir Dir;
    TServerOptions O = At(Dir.File("absent.db"));
    O.ReadOnly = true;
    std::string Msg = MessageOf<EDatabaseError>([&] { TQuillonServer Server(O); });
    EXPECT_NE(Msg.find("无法打开"), std::string::npos) << Msg;
}

TEST(DatabaseOpenTest, FullDiskIsReportedAsFull) {
    TTempDir Dir;
    const std::string Path = Dir.File("q.db");
    { TQuillonServer Server(At(Path)); }
    // Closed cleanly, the database lost its shared-memory file: opening must write one.
    ASSERT_FALSE(std::filesystem::exists(Path + "-shm"));
    TFullDisk Full;
    for (const std::string& File : {Path, Dir.File("new.db")}) {
        std::string Msg = MessageOf<EDatabaseError>([&] { TQuillonServer Server(At(File)); });
        EXPECT_NE(Msg.find("磁盘已满"), std::string::npos) << File << ": " << Msg;
    }
}

// What only a SQLite file shows: file permissions, another program's lock.
class DatabaseAccessTest : public ServerTest {};
INSTANTIATE_TEST_SUITE_P(Engines, DatabaseAccessTest, ::testing::Values(TStoreEngine::seSqlite), EngineName);

TEST_P(DatabaseAccessTest, ReadOnlyOpenLoadsButRefusesToSave) {
    TServerOptions O = Options();
    O.ReadOnly = true;
    TQuillonServer Reader(O);
    TWindowClient<ICmsShf> Client(Reader, "TCmsShfBean", Admin, "SHF_ID");
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    Rows.Edit();
    Rows.FieldByName("CMS_VAL")->SetAsString("1");
    Rows.Post();
    TSaveResult R = Client.Save(Rows);
    EXPECT_FALSE(R.Ok);
    EXPECT_NE(R.Error.find("只读"), std::string::npos) << R.Error;
    // A login on the read-only connection is kept there, for viewing.
    const std::string Own = Reader.Login("admin");
    EXPECT_TRUE(Reader.FindSession(Own));
    EXPECT_FALSE(Server->FindSession(Own));
    EXPECT_TRUE(Reader.FindSession(Admin));
}

// Runs Body in a child process that file permissions bind: as root the child first
// becomes "nobody", since root reads and writes whatever the permissions say. Returns what
// Body returned, or what it raised.
std::string AsUnprivileged(const std::function<std::string()>& Body) {
    int Pipe[2];
    if (pipe(Pipe) != 0) return "pipe failed";
    const pid_t Child = fork();
    if (Child == 0) {
        close(Pipe[0]);
        std::string Out;
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            Out = "cannot drop root";
        } else {
            try {
                Out = Body();
            } catch (const std::exception& E) {
                Out = std::string("raised: ") + E.what();
            }
        }
        const ssize_t Written = write(Pipe[1], Out.data(), Out.size());
        _exit(Written == static_cast<ssize_t>(Out.size()) ? 0 : 1);
    }
    close(Pipe[1]);
    std::string Out;
    char Buf[4096];
    for (ssize_t N; (N = read(Pipe[0], Buf, sizeof Buf)) > 0;)
        Out.append(Buf, static_cast<std::size_t>(N));
    close(Pipe[0]);
    int Status = 0;
    waitpid(Child, &Status, 0);
    return Out;
}

// A database file and folder nobody but their owner may write, as on a copy from a
// read-only share: opened for viewing with or without asking, saving refused.
TEST_P(DatabaseAccessTest, UnwritableDatabaseOpensForViewing) {
    namespace fs = std::filesystem;
    const std::string Folder = fs::path(DbPath()).parent_path().string();
    const std::int64_t Stored = Count("SELECT count(*) FROM cms_shf");
    Server.reset(); // closed cleanly: no -wal or -shm left
    fs::permissions(DbPath(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(Folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    auto View = [&](bool AskReadOnly) {
        TServerOptions O = Options();
        O.ReadOnly = AskReadOnly;
        TQuillonServer Reader(O);
        TWindowClient<ICmsShf> Client(Reader, "TCmsShfBean", Reader.Login("admin"), "SHF_ID");
        TOrvClientDataSet Rows(nullptr);
        if (!Client.Load(Rows)) return std::string("load refused");
        Rows.Edit();
        Rows.FieldByName("CMS_VAL")->SetAsString("1");
        Rows.Post();
        return std::to_string(Rows.RecordCount()) + " rows; " + Client.Save(Rows).Error;
    };
    for (bool AskReadOnly : {false, true}) {
        const std::string Seen = AsUnprivileged([&] { return View(AskReadOnly); });
        EXPECT_EQ(Seen.rfind(std::to_string(Stored) + " rows; 数据库是只读的，不能保存修改。", 0), 0u)
            << AskReadOnly << ": " << Seen;
    }
    EXPECT_FALSE(fs::exists(DbPath() + "-wal"));

    // While a writer is connected its -wal holds commits the main file lacks yet: the
    // viewer must read through the writer's index rather than the main file alone.
    sqlite3* Writer = nullptr;
    ASSERT_EQ(sqlite3_open(DbPath().c_str(), &Writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(Writer, "PRAGMA wal_autocheckpoint = 0; DELETE FROM cms_shf WHERE shf_id = 1",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    const std::string Seen = AsUnprivileged([&] { return View(true); });
    EXPECT_EQ(Seen.rfind(std::to_string(Stored - 1) + " rows; ", 0), 0u) << Seen;
    sqlite3_close(Writer);
    fs::permissions(Folder, fs::perms::owner_all);
}

TEST_P(DatabaseAccessTest, DatabaseLockedByAnotherProgramRefusesTheSaveUntilReleased) {
    auto Client = Shf(Admin);
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    Rows.Edit();
    Rows.FieldByName("CMS_VAL")->SetAsString("42");
    Rows.Post();

    TRawConnection Other(DbPath());
    ASSERT_EQ(Other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
    TSaveResult R = Client.Save(Rows);
    EXPECT_FALSE(R.Ok);
    EXPECT_NE(R.Error.find("占用"), std::string::npos) << R.Error;

    ASSERT_EQ(Other.Exec("COMMIT"), SQLITE_OK);
    R = Client.Save(Rows);
    EXPECT_TRUE(R.Ok) << R.Error;
}

class DemoDataTest : public DatabaseOpenEngineTest {};
INSTANTIATE_TEST_SUITE_P(Engines, DemoDataTest, AllEngines(), EngineName);

TEST_P(DemoDataTest, SeedIsDeterministicAndShapedLikeAChain) {
    const std::string NameA = NewEmpty("a.db"), NameB = NewEmpty("b.db");
    if (NameA.empty() || NameB.empty()) return;
    TQuillonServer A(At(NameA)), B(At(NameB));
    auto Q = [](TQuillonServer& S, const char* Sql) { return S.Database().QueryInt64(Sql); };
    EXPECT_EQ(Q(A, "SELECT count(*) FROM units WHERE unit_type = 'R'"), 3);
    EXPECT_EQ(Q(A, "SELECT count(*) FROM units WHERE unit_type = 'A'"), 2);
    EXPECT_EQ(Q(A, "SELECT count(*) FROM product_sorts"), 30);
    EXPECT_EQ(Q(A, "SELECT count(*) FROM product_classes"), 300);
    EXPECT_EQ(Q(A, "SELECT count(DISTINCT prod_name) FROM product_classes"), 300);
    EXPECT_EQ(Q(A, "SELECT count(*) FROM work_shifts"), 3);
    EXPECT_EQ(Q(A, "SELECT parent_id IS NULL FROM units WHERE unit_id = 0"), 1);
    for (const char* Table : {"cms_shf", "cms_qty", "cms_val", "cms_rs"}) {
        const std::string Sql = std::string("SELECT count(*) FROM ") + Table;
        EXPECT_GT(Q(A, Sql.c_str()), 0) << Table;
    }
    // Same seed, same rows: compare the consignment packets byte for byte.
    auto Rows = [](TQuillonServer& S) {
        TWindowClient<ICmsRs> C(S, "TCmsRsBean", S.Login("admin"), RsKey);
        TOrvClientDataSet D(nullptr);
        EXPECT_TRUE(C.Load(D));
        return D.GetXMLData();
    };
    EXPECT_EQ(Rows(A), Rows(B));
    // The seeded consignment ranges keep the rules the save path enforces.
    EXPECT_EQ(
        Q(A, "SELECT count(*) FROM cms_rs a JOIN cms_rs b ON a.unit_id = b.unit_id AND a.shop_id = b.shop_id "
             "AND a.prod_cls_id = b.prod_cls_id AND a.from_date < b.from_date AND b.from_date <= a.to_date"),
        0);
}

TEST_P(DemoDataTest, ConsignmentRowsLookLikeAShopsContractsAndAreSeededOnce) {
    const std::string Name = NewEmpty("a.db");
    if (Name.empty()) return;
    TQuillonServer A(At(Name));
    auto Q = [&A](const std::string& Sql) { return A.Database().QueryInt64(Sql); };
    const std::string Count = "SELECT count(*) FROM cms_rs";
    // Every value of every row, so a second run that changed anything would show.
    const std::string Digest = "SELECT sum(shop_id * 7 + prod_cls_id * 13 + from_date * 17 + to_date * 19 + "
                               "cms_rate * 23) FROM cms_rs";
    const std::int64_t Rows = Q(Count), Sum = Q(Digest);

    EXPECT_GE(Q("SELECT count(DISTINCT shop_id) FROM cms_rs"), 3);
    EXPECT_GE(Q("SELECT count(DISTINCT prod_cls_id) FROM cms_rs"), 3);
    EXPECT_GE(Q("SELECT min(n) FROM (SELECT count(*) AS n FROM cms_rs GROUP BY unit_id, shop_id, "
                "prod_cls_id) pairs"),
              2)
        << "every pair has several ranges";
    EXPECT_GE(Q("SELECT min(from_date) FROM cms_rs"), DayNumber(2025, 1, 1));
    EXPECT_LE(Q("SELECT max(to_date) FROM cms_rs"), DayNumber(2027, 12, 31));
    EXPECT_EQ(Q("SELECT count(*) FROM cms_rs WHERE cms_rate NOT BETWEEN 0 AND 10000 OR from_date > to_date"),
              0);
    EXPECT_GT(Q("SELECT count(*) FROM cms_rs WHERE cms_rate % 100 <> 0"), 0) << "rates use four decimals";
    EXPECT_EQ(
        Q("SELECT count(*) FROM cms_rs a JOIN cms_rs b ON a.unit_id = b.unit_id AND a.shop_id = b.shop_id "
          "AND a.prod_cls_id = b.prod_cls_id AND (a.from_date, a.to_date) < (b.from_date, b.to_date) "
          "AND a.from_date <= b.to_date AND b.from_date <= a.to_date"),
        0)
        << "no two ranges of one shop and class share a day";

    SeedDemoConsignment(A.Database());
    EXPECT_EQ(Q(Count), Rows);
    EXPECT_EQ(Q(Digest), Sum);
    // A pair whose rows are gone gets the same rows again; the others stay as they are.
    const std::int64_t Shop = Q("SELECT min(shop_id) FROM cms_rs");
    const std::int64_t Cls = Q("SELECT min(prod_cls_id) FROM cms_rs WHERE shop_id = " + std::to_string(Shop));
    A.Database().Exec("DELETE FROM cms_rs WHERE shop_id = " + std::to_string(Shop) +
                      " AND prod_cls_id = " + std::to_string(Cls));
    ASSERT_LT(Q(Count), Rows);
    SeedDemoConsignment(A.Database());
    EXPECT_EQ(Q(Count), Rows);
    EXPECT_EQ(Q(Digest), Sum);
}

TEST_P(DemoDataTest, LargeDataGeneratorWritesEveryPairOnceAndLoads) {
    const std::string Name = NewEmpty("big.db");
    if (Name.empty()) return;
    TQuillonServer Server(At(Name));
    TLargeDataOptions O;
    O.Shops = 12;
    O.Classes = 7;
    O.RangesPerPair = 3;
    const std::int64_t Before = Server.Database().QueryInt64("SELECT count(*) FROM cms_rs");
    TLargeData Data = GenerateLargeConsignmentData(Server.Database(), O);
    EXPECT_EQ(Data.Rows, 12 * 7 * 3);
    EXPECT_EQ(GenerateLargeConsignmentData(Server.Database(), O).Rows, 0);
    EXPECT_EQ(Server.Database().QueryInt64("SELECT count(*) FROM cms_rs"), Before + 12 * 7 * 3);

    TWindowClient<ICmsRs> Client(Server, "TCmsRsBean", Server.Login("admin"), RsKey);
    TOrvClientDataSet Rows(nullptr);
    ASSERT_TRUE(Client.Load(Rows));
    EXPECT_EQ(Rows.RecordCount(), Before + 12 * 7 * 3);
    // A generated row saved back unchanged apart from its rate passes every rule.
    ASSERT_TRUE(Rows.Locate("SHOP_NUM", Variant(Data.Shops[3].Num)));
    Rows.Edit();
    Rows.FieldByName("CMS_RATE")->SetAsString("0.5");
    Rows.Post();
    TSaveResult R = Client.Save(Rows);
    EXPECT_TRUE(R.Ok) << R.Error;
}

} // namespace
