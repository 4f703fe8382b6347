#include "server/Postgres.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <exception>

namespace orv::server {

namespace {

constexpr unsigned Int8Oid = 20, TextOid = 25, Int8ArrayOid = 1016;
// Sets sent before their answers are read. Small enough that neither side's socket
// buffer fills while the other is still writing, large enough to hide the round trips.
constexpr std::size_t PipelineChunk = 256;

std::string TrimmedText(const char* Text) {
    std::string S = Text ? Text : "";
    while (!S.empty() && std::isspace(static_cast<unsigned char>(S.back())))
        S.pop_back();
    return S;
}

// ?N becomes Prefix followed by N ($N by default) outside quoted text and names; Used
// records which numbers appear.
std::string TranslateParameters(std::string_view Sql, std::vector<bool>& Used,
                                std::string_view Prefix = "$") {
    std::string Out;
    Out.reserve(Sql.size());
    char Quote = 0;
    for (std::size_t I = 0; I < Sql.size(); ++I) {
        const char C = Sql[I];
        if (Quote) {
            if (C == Quote) Quote = 0; // a doubled quote closes and reopens: same result
            Out += C;
            continue;
        }
        if (C == '\'' || C == '"') {
            Quote = C;
            Out += C;
            continue;
        }
        if (C == '?' && I + 1 < Sql.size() && std::isdigit(static_cast<unsigned char>(Sql[I + 1]))) {
            std::size_t End = I + 1;
            std::size_t N = 0;
            while (End < Sql.size() && std::isdigit(static_cast<unsigned char>(Sql[End])))
                N = N * 10 + static_cast<std::size_t>(Sql[End++] - '0');
            if (N == 0) throw EStoreError("语句的参数序号无效。", TStoreFault::sfOther);
            if (Used.size() < N) Used.resize(N);
            Used[N - 1] = true;
            Out += Prefix;
            Out.append(Sql.substr(I + 1, End - I - 1));
            I = End - 1;
            continue;
        }
        Out += C;
    }
    return Out;
}

// For a statement run over arrays of Count parameters: "$1::bigint[], $2::bigint[], ..."
// and the names "p1, p2, ..." the arrays' elements go by.
std::pair<std::string, std::string> ArrayParameters(int Count) {
    std::string Arrays, Columns;
    for (int P = 1; P <= Count; ++P) {
        Arrays += (P > 1 ? ", $" : "$") + std::to_string(P) + "::bigint[]";
        Columns += (P > 1 ? ", p" : "p") + std::to_string(P);
    }
    return {Arrays, Columns};
}

// For "INSERT INTO t (columns) VALUES (expressions)" with nothing after it, the text
// up to VALUES and the expressions; empty for any other statement (several rows, ON
// CONFLICT, RETURNING, INSERT ... SELECT), whose rows per set only running it tells.
std::pair<std::string, std::string> SplitPlainInsert(std::string_view Sql) {
    auto Upper = [](std::string_view S) {
        std::string U(S);
        for (char& C : U)
            C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
        return U;
    };
    const std::size_t Start = Sql.find_first_not_of(" \t\r\n");
    if (Start == std::string_view::npos || Upper(Sql.substr(Start, 7)) != "INSERT ") return {};
    // Positions outside quotes, with the depth of parentheses they sit at.
    char Quote = 0;
    int Depth = 0;
    std::size_t Values = std::string_view::npos, Open = 0, Close = 0;
    for (std::size_t I = Start; I < Sql.size(); ++I) {
        const char C = Sql[I];
        if (Quote) {
            if (C == Quote) Quote = 0;
            continue;
        }
        if (C == '\'' || C == '"') {
            Quote = C;
        } else if (C == '(') {
            if (Depth++ == 0 && Values != std::string_view::npos && !Open) Open = I;
        } else if (C == ')') {
            if (--Depth == 0 && Open && !Close) Close = I;
        } else if (Depth == 0 && Values == std::string_view::npos && I > 0 &&
                   std::isspace(static_cast<unsigned char>(Sql[I - 1])) &&
                   Upper(Sql.substr(I, 6)) == "VALUES" &&
                   (I + 6 == Sql.size() || !std::isalnum(static_cast<unsigned char>(Sql[I + 6])))) {
            Values = I;
        } else if (Depth == 0 && Close && !std::isspace(static_cast<unsigned char>(C))) {
            return {}; // something after the row
        } else if (Depth == 0 && Values != std::string_view::npos && !Open &&
                   !std::isspace(static_cast<unsigned char>(C)) && I >= Values + 6) {
            return {}; // DEFAULT VALUES, or no parenthesis after VALUES
        }
    }
    if (!Close || Quote || Depth != 0) return {};
    return {std::string(Sql.substr(Start, Values - Start)),
            std::string(Sql.substr(Open + 1, Close - Open - 1))};
}

TStoreFault FaultOf(std::string_view State) {
    if (State == "23505") return TStoreFault::sfUnique;
    if (State == "23P01") return TStoreFault::sfOverlap;
    if (State.substr(0, 2) == "23") return TStoreFault::sfConstraint;
    if (State == "40001" || State == "40P01") return TStoreFault::sfConflict;
    if (State == "55P03" || State == "57014") return TStoreFault::sfBusy;
    if (State == "25006") return TStoreFault::sfReadOnly;
    return TStoreFault::sfOther;
}

std::string UserText(std::string_view State, const std::string& Name) {
    switch (FaultOf(State)) {
    case TStoreFault::sfBusy:
        return std::string(MSG_STORE_BUSY);
    case TStoreFault::sfConflict:
        return "其他用户正在同时修改这些数据，请稍后再试。";
    case TStoreFault::sfOverlap:
        return "与其他用户同时保存的设置日期重叠，请重新读取数据后再保存。";
    case TStoreFault::sfUnique:
        return "与已有的数据重复。";
    case TStoreFault::sfConstraint:
        return "不符合数据规则。";
    case TStoreFault::sfReadOnly:
        return std::string(MSG_STORE_READ_ONLY);
    case TStoreFault::sfOther:
        break;
    }
    if (State == "53100") return std::string(MSG_STORE_FULL);
    if (State == "42501" || State.substr(0, 2) == "28") return std::string(MSG_STORE_NO_PERMISSION);
    if (State.empty() || State.substr(0, 2) == "08" || State.substr(0, 3) == "57P")
        return Format("与数据库 %s 的连接中断。", {Name});
    return std::string(MSG_STORE_FAILED);
}

} // namespace

std::string PgDisplayName(const std::string& Uri) {
    std::string Shown = Uri;
    const std::size_t Scheme = Shown.find("://");
    if (Scheme != std::string::npos) {
        const std::size_t From = Scheme + 3;
        const std::size_t AuthorityEnd = std::min(Shown.find('/', From), Shown.find('?', From));
        const std::size_t At =
            Shown.rfind('@', AuthorityEnd == std::string::npos ? Shown.size() : AuthorityEnd);
        if (At != std::string::npos && At >= From) {
            const std::size_t Colon = Shown.find(':', From);
            if (Colon < At) Shown.erase(Colon, At - Colon);
        }
    }
    // A password may also travel as a query parameter.
    for (std::size_t P; (P = Shown.find("password=")) != std::string::npos;) {
        const std::size_t End = Shown.find('&', P);
        Shown.erase(P, End == std::string::npos ? std::string::npos : End + 1 - P);
    }
    return Shown;
}

// ---- TPgStatement ------------------------------------------------------------------------

TPgStatement::TPgStatement(TPgDatabase& Db, std::string_view Sql)
    : FDb(Db), FOriginal(Sql), FSql(TranslateParameters(Sql, FUsed)) {
    FParamCount = static_cast<int>(FUsed.size());
    FPlainInsert = FParamCount > 0 && !SplitPlainInsert(FOriginal).first.empty();
    Reset();
}

TPgStatement::~TPgStatement() {
    PQclear(FResult);
}

std::size_t TPgStatement::Slot(int Index) const {
    if (Index < 1 || Index > FParamCount) throw EStoreError("语句的参数序号超出范围。", TStoreFault::sfOther);
    return static_cast<std::size_t>(Index - 1);
}

TStoreStatement& TPgStatement::Bind(int Index, std::int64_t Value) {
    const std::size_t I = Slot(Index);
    FBound.Values[I] = std::to_string(Value);
    FBound.Null[I] = false;
    FBound.Types[I] = Int8Oid;
    return *this;
}

TStoreStatement& TPgStatement::Bind(int Index, std::string_view Value) {
    // Text travels as a C string: a NUL would cut it short and store something else.
    if (Value.find('\0') != std::string_view::npos)
        throw EStoreError("文本中含有空字符，数据库不能保存。", TStoreFault::sfConstraint);
    const std::size_t I = Slot(Index);
    FBound.Values[I] = std::string(Value);
    FBound.Null[I] = false;
    FBound.Types[I] = TextOid;
    return *this;
}

TStoreStatement& TPgStatement::BindNull(int Index) {
    const std::size_t I = Slot(Index);
    FBound.Null[I] = true;
    FBound.Types[I] = FUsed[I] ? 0 : TextOid; // a parameter the SQL never names still needs a type
    return *this;
}

void TPgStatement::Reset() {
    PQclear(FResult);
    FResult = nullptr;
    FRow = -1;
    const auto N = static_cast<std::size_t>(FParamCount);
    FBound.Values.assign(N, {});
    FBound.Null.assign(N, true);
    FBound.Types.assign(N, 0);
    for (std::size_t I = 0; I < N; ++I)
        if (!FUsed[I]) FBound.Types[I] = TextOid;
}

const std::string& TPgStatement::PreparedFor(const std::vector<unsigned>& Types) {
    auto It = FPrepared.find(Types);
    if (It != FPrepared.end()) return It->second;
    std::string Name = FDb.NextStatementName();
    PGresult* R = PQprepare(FDb.Handle(), Name.c_str(), FSql.c_str(), FParamCount, Types.data());
    if (PQresultStatus(R) != PGRES_COMMAND_OK) FDb.Raise(R);
    PQclear(R);
    return FPrepared.emplace(Types, std::move(Name)).first->second;
}

void TPgStatement::Pointers(const TBound& B, std::vector<const char*>& Out) {
    Out.resize(B.Values.size());
    for (std::size_t I = 0; I < B.Values.size(); ++I)
        Out[I] = B.Null[I] ? nullptr : B.Values[I].c_str();
}

void TPgStatement::SetResult(pg_result* Result) {
    PQclear(FResult);
    FResult = Result;
    FRow = -1;
}

void TPgStatement::Run() {
    if (FResult) return;
    const std::string& Name = PreparedFor(FBound.Types);
    std::vector<const char*> Values;
    Pointers(FBound, Values);
    PGresult* R = PQexecPrepared(FDb.Handle(), Name.c_str(), FParamCount, Values.data(), nullptr, nullptr, 0);
    const ExecStatusType S = PQresultStatus(R);
    if (S != PGRES_TUPLES_OK && S != PGRES_COMMAND_OK) FDb.Raise(R);
    SetResult(R);
}

bool TPgStatement::Step() {
    Run();
    if (FRow >= PQntuples(FResult)) return false;
    return ++FRow < PQntuples(FResult);
}

std::int64_t TPgStatement::Execute() {
    Run();
    std::int64_t Changed = 0;
    const char* Tuples = PQcmdTuples(FResult);
    std::from_chars(Tuples, Tuples + std::char_traits<char>::length(Tuples), Changed);
    Reset();
    return Changed;
}

bool TPgStatement::IsNull(int Column) const {
    return PQgetisnull(FResult, FRow, Column) != 0;
}

std::int64_t TPgStatement::Int64(int Column) const {
    const char* V = PQgetvalue(FResult, FRow, Column);
    // A boolean reads as SQLite gives it: 1 or 0.
    if (V[0] == 't' && V[1] == 0) return 1;
    if (V[0] == 'f' && V[1] == 0) return 0;
    std::int64_t N = 0;
    std::from_chars(V, V + PQgetlength(FResult, FRow, Column), N);
    return N;
}

std::string TPgStatement::Text(int Column) const {
    return std::string(PQgetvalue(FResult, FRow, Column),
                       static_cast<std::size_t>(PQgetlength(FResult, FRow, Column)));
}

bool TPgStatement::IsQuery() const {
    const std::size_t Start = FOriginal.find_first_not_of(" \t\r\n");
    if (Start == std::string::npos || FOriginal.size() - Start < 6) return false;
    std::string Head = FOriginal.substr(Start, 6);
    for (char& C : Head)
        C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
    return Head == "SELECT";
}

std::vector<std::int64_t> TPgStatement::QueryMany(const std::vector<TParams>& Sets,
                                                  const TRowHandler& OnRow) {
    if (FBatchName.empty()) {
        std::vector<bool> Used;
        const std::string Inner = TranslateParameters(FOriginal, Used, "batch_params.p");
        const auto [Arrays, Columns] = ArrayParameters(FParamCount);
        FBatchName = PrepareOverArrays("SELECT batch_rows.*, batch_params.n FROM unnest(" + Arrays +
                                       ") WITH ORDINALITY AS batch_params(" + Columns +
                                       ", n) CROSS JOIN LATERAL (" + Inner + ") batch_rows ORDER BY batch_params.n");
    }
    PGresult* R = ExecArrays(FBatchName, Sets);
    if (PQresultStatus(R) != PGRES_TUPLES_OK) FDb.Raise(R);
    SetResult(R);
    const int SetColumn = PQnfields(R) - 1;
    try {
        for (FRow = 0; FRow < PQntuples(R); ++FRow)
            OnRow(static_cast<std::size_t>(Int64(SetColumn) - 1), *this);
    } catch (...) {
        Reset();
        throw;
    }
    Reset();
    return std::vector<std::int64_t>(Sets.size(), 0);
}

std::string TPgStatement::PrepareOverArrays(const std::string& Sql) {
    const std::vector<unsigned> Types(static_cast<std::size_t>(FParamCount), Int8ArrayOid);
    std::string Name = FDb.NextStatementName();
    PGresult* R = PQprepare(FDb.Handle(), Name.c_str(), Sql.c_str(), FParamCount, Types.data());
    if (PQresultStatus(R) != PGRES_COMMAND_OK) FDb.Raise(R);
    PQclear(R);
    return Name;
}

PGresult* TPgStatement::ExecArrays(const std::string& Name, const std::vector<TParams>& Sets) {
    std::vector<std::string> Arrays(static_cast<std::size_t>(FParamCount), "{");
    for (std::size_t I = 0; I < Sets.size(); ++I)
        for (std::size_t P = 0; P < Arrays.size(); ++P) {
            if (I > 0) Arrays[P] += ',';
            Arrays[P] += P < Sets[I].size() && Sets[I][P] ? std::to_string(*Sets[I][P]) : std::string("NULL");
        }
    std::vector<const char*> Values;
    for (std::string& A : Arrays)
        Values.push_back((A += '}').c_str());
    return PQexecPrepared(FDb.Handle(), Name.c_str(), FParamCount, Values.data(), nullptr, nullptr, 0);
}

bool TPgStatement::InsertMany(const std::vector<TParams>& Sets) {
    if (FInsertName.empty()) {
        const auto [Head, Row] = SplitPlainInsert(FOriginal);
        std::vector<bool> Used;
        const auto [Arrays, Columns] = ArrayParameters(FParamCount);
        FInsertName = PrepareOverArrays(Head + "SELECT " + TranslateParameters(Row, Used, "batch_params.p") +
                                        " FROM unnest(" + Arrays + ") AS batch_params(" + Columns + ")");
    }
    // A failed statement ends the transaction: a savepoint keeps it open for the
    // set-by-set run that names the failing set.
    FDb.Exec("SAVEPOINT batch_insert");
    PGresult* R = ExecArrays(FInsertName, Sets);
    if (PQresultStatus(R) == PGRES_COMMAND_OK) {
        std::size_t Inserted = 0;
        const char* Tuples = PQcmdTuples(R);
        std::from_chars(Tuples, Tuples + std::char_traits<char>::length(Tuples), Inserted);
        PQclear(R);
        // A trigger may have kept a row out: only the sets one by one tell which.
        if (Inserted == Sets.size()) {
            FDb.Exec("RELEASE SAVEPOINT batch_insert");
            return true;
        }
    } else {
        // A row that breaks a rule is named by running the sets one by one; a lock wait, a
        // conflict or a lost connection is no row's doing and is raised as it is.
        const char* State = PQresultErrorField(R, PG_DIAG_SQLSTATE);
        if (!State || std::string_view(State).substr(0, 2) != "23") FDb.Raise(R);
        PQclear(R);
    }
    FDb.Exec("ROLLBACK TO SAVEPOINT batch_insert; RELEASE SAVEPOINT batch_insert");
    return false;
}

std::vector<std::int64_t> TPgStatement::ExecuteMany(const std::vector<TParams>& Sets,
                                                    const TRowHandler& OnRow) {
    Reset();
    std::vector<std::int64_t> Changed(Sets.size(), 0);
    if (Sets.empty()) return Changed;
    // A query for many sets of numbers is one statement over arrays of them: the server
    // plans it once and joins, rather than answering each set apart.
    if (OnRow && FParamCount > 0 && IsQuery()) return QueryMany(Sets, OnRow);
    // So is an insert: the server runs its triggers and checks over one statement rather
    // than starting an executor per row.
    // Outside a transaction each pipelined sync commits on its own, as before.
    if (FPlainInsert && Sets.size() > 1 && PQtransactionStatus(FDb.Handle()) == PQTRANS_INTRANS &&
        InsertMany(Sets))
        return std::vector<std::int64_t>(Sets.size(), 1);
    // Every set is bound, and every type signature prepared, before the pipeline opens:
    // preparing waits for its answer, which a pipeline does not allow.
    std::vector<TBound> Bound;
    std::vector<const std::string*> Names;
    Bound.reserve(Sets.size());
    Names.reserve(Sets.size());
    for (std::size_t I = 0; I < Sets.size(); ++I) {
        try {
            for (std::size_t P = 0; P < Sets[I].size(); ++P)
                BindParam(static_cast<int>(P) + 1, Sets[I][P]);
            Names.push_back(&PreparedFor(FBound.Types));
        } catch (EStoreError& E) {
            Reset();
            E.SetIndex = static_cast<std::ptrdiff_t>(I);
            throw;
        }
        Bound.push_back(FBound);
        Reset();
    }

    PGconn* Conn = FDb.Handle();
    if (!PQenterPipelineMode(Conn)) FDb.Raise(nullptr);
    PGresult* Failed = nullptr;
    std::size_t FailedSet = 0;
    std::exception_ptr HandlerError;
    bool Lost = false;
    std::vector<const char*> Values;
    for (std::size_t Begin = 0; Begin < Sets.size() && !Failed && !HandlerError && !Lost;
         Begin += PipelineChunk) {
        const std::size_t End = std::min(Sets.size(), Begin + PipelineChunk);
        std::size_t Sent = Begin;
        for (; Sent < End; ++Sent) {
            Pointers(Bound[Sent], Values);
            if (!PQsendQueryPrepared(Conn, Names[Sent]->c_str(), FParamCount, Values.data(), nullptr, nullptr,
                                     0))
                break;
        }
        if (Sent < End || !PQpipelineSync(Conn)) {
            Lost = true;
            break;
        }
        for (std::size_t I = Begin; I < End; ++I) {
            while (PGresult* R = PQgetResult(Conn)) {
                const ExecStatusType S = PQresultStatus(R);
                if (S == PGRES_TUPLES_OK && !Failed && !HandlerError && OnRow) {
                    FResult = R;
                    try {
                        for (FRow = 0; FRow < PQntuples(R); ++FRow)
                            OnRow(I, *this);
                    } catch (...) {
                        HandlerError = std::current_exception();
                    }
                    FResult = nullptr;
                    FRow = -1;
                } else if (S == PGRES_COMMAND_OK || S == PGRES_TUPLES_OK) {
                    const char* Tuples = PQcmdTuples(R);
                    std::from_chars(Tuples, Tuples + std::char_traits<char>::length(Tuples), Changed[I]);
                } else if (S != PGRES_PIPELINE_ABORTED && !Failed) {
                    Failed = R;
                    FailedSet = I;
                    continue;
                }
                PQclear(R);
            }
        }
        // The sync's own answer ends the chunk.
        for (PGresult* R; (R = PQgetResult(Conn)) != nullptr;) {
            const bool Sync = PQresultStatus(R) == PGRES_PIPELINE_SYNC;
            PQclear(R);
            if (Sync) break;
        }
    }
    if (!PQexitPipelineMode(Conn)) Lost = true;
    if (Failed) {
        try {
            FDb.Raise(Failed);
        } catch (EStoreError& E) {
            E.SetIndex = static_cast<std::ptrdiff_t>(FailedSet);
            throw;
        }
    }
    if (Lost) FDb.Raise(nullptr);
    if (HandlerError) std::rethrow_exception(HandlerError);
    return Changed;
}

// ---- TPgDatabase -------------------------------------------------------------------------

TPgDatabase::TPgDatabase(const std::string& Uri, int BusyTimeoutMs) : FName(PgDisplayName(Uri)) {
    FConn = PQconnectdb(Uri.c_str());
    if (PQstatus(FConn) != CONNECTION_OK) {
        const std::string Detail = TrimmedText(PQerrorMessage(FConn));
        PQfinish(FConn);
        FConn = nullptr;
        throw EStoreError(Format("无法连接数据库 %s。", {FName}) + "（" + Detail + "）",
                          TStoreFault::sfOther);
    }
    // Notices (an extension that exists already) are for a console, not for the user.
    PQsetNoticeProcessor(
        FConn, [](void*, const char*) {}, nullptr);
    try {
        // The store's text is UTF-8 and its waits are bounded, whatever the server's defaults.
        Exec("SET client_encoding = 'UTF8'; SET lock_timeout = " +
             std::to_string(std::max(BusyTimeoutMs, 1)));
    } catch (...) {
        PQfinish(FConn);
        throw;
    }
}

TPgDatabase::~TPgDatabase() {
    ClearStatements();
    PQfinish(FConn);
}

void TPgDatabase::Raise(pg_result* Result) const {
    const char* State = Result ? PQresultErrorField(Result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string Code = State ? State : "";
    const char* Primary = Result ? PQresultErrorField(Result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const std::string Detail = TrimmedText(Primary ? Primary : PQerrorMessage(FConn));
    PQclear(Result);
    throw EStoreError(UserText(Code, FName) + "（" + Detail + "）", FaultOf(Code));
}

std::unique_ptr<TStoreStatement> TPgDatabase::NewStatement(const std::string& Sql) {
    return std::make_unique<TPgStatement>(*this, Sql);
}

void TPgDatabase::Exec(std::string_view Sql) {
    PGresult* R = PQexec(FConn, std::string(Sql).c_str());
    const ExecStatusType S = PQresultStatus(R);
    if (S != PGRES_COMMAND_OK && S != PGRES_TUPLES_OK) Raise(R);
    PQclear(R);
}

void TPgDatabase::Begin() {
    // Each statement sees what was committed before it began, and a row another
    // transaction is changing is waited for and then read again: a DELETE that names a
    // row by the values the client read removes nothing once someone else changed it.
    Exec("BEGIN ISOLATION LEVEL READ COMMITTED");
}

void TPgDatabase::Commit() {
    PGresult* R = PQexec(FConn, "COMMIT");
    if (PQresultStatus(R) != PGRES_COMMAND_OK) Raise(R);
    // The server answers COMMIT of a failed transaction by rolling it back.
    const bool RolledBack = std::string_view(PQcmdStatus(R)) == "ROLLBACK";
    PQclear(R);
    if (RolledBack) throw EStoreError("数据库操作失败，修改没有保存。", TStoreFault::sfOther);
}

void TPgDatabase::Rollback() noexcept {
    if (PQtransactionStatus(FConn) == PQTRANS_IDLE) return;
    PQclear(PQexec(FConn, "ROLLBACK"));
}

int TPgDatabase::SchemaVersion() {
    if (QueryInt64("SELECT to_regclass('schema_version') IS NOT NULL") == 0) return 0;
    return static_cast<int>(QueryInt64("SELECT max(version) FROM schema_version"));
}

void TPgDatabase::SetSchemaVersion(int Version) {
    Exec("CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL); DELETE FROM schema_version; "
         "INSERT INTO schema_version VALUES (" +
         std::to_string(Version) + ")");
}

bool TPgDatabase::Empty() {
    return QueryInt64(
               "SELECT count(*) FROM information_schema.tables WHERE table_schema = current_schema()") == 0;
}

void TPgDatabase::LockSchema() {
    // Any fixed key will do: only schema upgrades take it.
    Exec("SELECT pg_advisory_xact_lock(20240101)");
}

} // namespace orv::server
