#include "server/Schema.h"

#include <array>
#include <string>

namespace orv::server {

namespace {

// One step of the schema, written for each engine.
struct TMigration {
    const char* Sqlite;
    const char* Postgres;
};

// Each entry moves the schema one version up. Entries are never edited once released:
// a change to the schema is a new entry at the end.
//
// Amounts and rates are INTEGER in units of their last decimal (CMS_VAL cents, CMS_RATE
// ten-thousandths); dates are INTEGER day numbers counted as the host counts them.
constexpr std::array<TMigration, 3> Migrations = {{
    // 1: organisation, catalogue, users and sessions, and the four commission tables.
    {R"sql(
CREATE TABLE units (
    unit_id   INTEGER PRIMARY KEY,
    parent_id INTEGER REFERENCES units(unit_id),
    unit_num  TEXT NOT NULL UNIQUE,
    unit_name TEXT NOT NULL,
    unit_type TEXT NOT NULL CHECK (unit_type IN ('C', 'R', 'S', 'A'))
);
CREATE INDEX units_by_parent ON units(parent_id);
CREATE INDEX units_by_type ON units(unit_type, unit_num);

CREATE TABLE product_sorts (
    prod_sort_id  INTEGER PRIMARY KEY,
    prod_sort_num TEXT NOT NULL UNIQUE,
    description   TEXT NOT NULL
);

CREATE TABLE product_classes (
    prod_cls_id  INTEGER PRIMARY KEY,
    prod_cls_num TEXT NOT NULL UNIQUE,
    prod_name    TEXT NOT NULL,
    prod_sort_id INTEGER NOT NULL REFERENCES product_sorts(prod_sort_id)
);
CREATE INDEX product_classes_by_sort ON product_classes(prod_sort_id);
CREATE INDEX product_classes_by_name ON product_classes(prod_name);

-- Times of day in minutes after midnight; a shift whose end is not after its start runs
-- past midnight.
CREATE TABLE work_shifts (
    shf_id       INTEGER PRIMARY KEY,
    shf_name     TEXT NOT NULL UNIQUE,
    start_minute INTEGER NOT NULL CHECK (start_minute BETWEEN 0 AND 1439),
    end_minute   INTEGER NOT NULL CHECK (end_minute BETWEEN 0 AND 1439)
);

CREATE TABLE work_timetable (
    unit_id   INTEGER NOT NULL REFERENCES units(unit_id),
    work_date INTEGER NOT NULL,
    shf_id    INTEGER NOT NULL REFERENCES work_shifts(shf_id),
    PRIMARY KEY (unit_id, work_date, shf_id)
) WITHOUT ROWID;

CREATE TABLE users (
    user_name    TEXT PRIMARY KEY,
    display_name TEXT NOT NULL,
    unit_id      INTEGER NOT NULL REFERENCES units(unit_id)
);

CREATE TABLE user_privileges (
    user_name TEXT NOT NULL REFERENCES users(user_name) ON DELETE CASCADE,
    privilege TEXT NOT NULL,
    PRIMARY KEY (user_name, privilege)
) WITHOUT ROWID;

CREATE TABLE sessions (
    session_id TEXT PRIMARY KEY,
    user_name  TEXT NOT NULL REFERENCES users(user_name) ON DELETE CASCADE,
    unit_id    INTEGER NOT NULL REFERENCES units(unit_id),
    created_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))
) WITHOUT ROWID;

CREATE TABLE cms_shf (
    unit_id INTEGER NOT NULL REFERENCES units(unit_id),
    shf_id  INTEGER NOT NULL REFERENCES work_shifts(shf_id),
    cms_val INTEGER NOT NULL,
    PRIMARY KEY (unit_id, shf_id)
) WITHOUT ROWID;

CREATE TABLE cms_qty (
    unit_id      INTEGER NOT NULL REFERENCES units(unit_id),
    prod_sort_id INTEGER NOT NULL REFERENCES product_sorts(prod_sort_id),
    cms_val      INTEGER NOT NULL,
    PRIMARY KEY (unit_id, prod_sort_id)
) WITHOUT ROWID;

CREATE TABLE cms_val (
    unit_id      INTEGER NOT NULL REFERENCES units(unit_id),
    prod_sort_id INTEGER NOT NULL REFERENCES product_sorts(prod_sort_id),
    cms_rate     INTEGER NOT NULL,
    PRIMARY KEY (unit_id, prod_sort_id)
) WITHOUT ROWID;

-- The primary key leads with (unit, shop, class, from_date), which is exactly the range
-- scan the overlap check needs; the checks repeat the row rules as a last line of defence.
CREATE TABLE cms_rs (
    unit_id     INTEGER NOT NULL REFERENCES units(unit_id),
    shop_id     INTEGER NOT NULL REFERENCES units(unit_id),
    prod_cls_id INTEGER NOT NULL REFERENCES product_classes(prod_cls_id),
    from_date   INTEGER NOT NULL,
    to_date     INTEGER NOT NULL,
    cms_rate    INTEGER NOT NULL CHECK (cms_rate BETWEEN 0 AND 10000),
    CHECK (from_date <= to_date),
    PRIMARY KEY (unit_id, shop_id, prod_cls_id, from_date, to_date)
) WITHOUT ROWID;
CREATE INDEX cms_rs_by_shop_class ON cms_rs(shop_id, prod_cls_id, from_date, to_date);
)sql",
     // The same tables on a server shared by a chain's clients, where the database itself
     // must hold every rule a client could break: every number is a bigint, as SQLite's
     // INTEGER is, and no two ranges of one unit, shop and class share a day.
     R"sql(
CREATE EXTENSION IF NOT EXISTS btree_gist;

CREATE TABLE units (
    unit_id   bigint PRIMARY KEY,
    parent_id bigint REFERENCES units(unit_id),
    unit_num  text NOT NULL UNIQUE,
    unit_name text NOT NULL,
    unit_type text NOT NULL CHECK (unit_type IN ('C', 'R', 'S', 'A'))
);
CREATE INDEX units_by_parent ON units(parent_id);
CREATE INDEX units_by_type ON units(unit_type, unit_num);

CREATE TABLE product_sorts (
    prod_sort_id  bigint PRIMARY KEY,
    prod_sort_num text NOT NULL UNIQUE,
    description   text NOT NULL
);

CREATE TABLE product_classes (
    prod_cls_id  bigint PRIMARY KEY,
    prod_cls_num text NOT NULL UNIQUE,
    prod_name    text NOT NULL,
    prod_sort_id bigint NOT NULL REFERENCES product_sorts(prod_sort_id)
);
CREATE INDEX product_classes_by_sort ON product_classes(prod_sort_id);
CREATE INDEX product_classes_by_name ON product_classes(prod_name);

CREATE TABLE work_shifts (
    shf_id       bigint PRIMARY KEY,
    shf_name     text NOT NULL UNIQUE,
    start_minute bigint NOT NULL CHECK (start_minute BETWEEN 0 AND 1439),
    end_minute   bigint NOT NULL CHECK (end_minute BETWEEN 0 AND 1439)
);

CREATE TABLE work_timetable (
    unit_id   bigint NOT NULL REFERENCES units(unit_id),
    work_date bigint NOT NULL,
    shf_id    bigint NOT NULL REFERENCES work_shifts(shf_id),
    PRIMARY KEY (unit_id, work_date, shf_id)
);

CREATE TABLE users (
    user_name    text PRIMARY KEY,
    display_name text NOT NULL,
    unit_id      bigint NOT NULL REFERENCES units(unit_id)
);

CREATE TABLE user_privileges (
    user_name text NOT NULL REFERENCES users(user_name) ON DELETE CASCADE,
    privilege text NOT NULL,
    PRIMARY KEY (user_name, privilege)
);

CREATE TABLE sessions (
    session_id text PRIMARY KEY,
    user_name  text NOT NULL REFERENCES users(user_name) ON DELETE CASCADE,
    unit_id    bigint NOT NULL REFERENCES units(unit_id),
    created_at text NOT NULL DEFAULT (to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS"Z"'))
);

CREATE TABLE cms_shf (
    unit_id bigint NOT NULL REFERENCES units(unit_id),
    shf_id  bigint NOT NULL REFERENCES work_shifts(shf_id),
    cms_val bigint NOT NULL,
    PRIMARY KEY (unit_id, shf_id)
);

CREATE TABLE cms_qty (
    unit_id      bigint NOT NULL REFERENCES units(unit_id),
    prod_sort_id bigint NOT NULL REFERENCES product_sorts(prod_sort_id),
    cms_val      bigint NOT NULL,
    PRIMARY KEY (unit_id, prod_sort_id)
);

CREATE TABLE cms_val (
    unit_id      bigint NOT NULL REFERENCES units(unit_id),
    prod_sort_id bigint NOT NULL REFERENCES product_sorts(prod_sort_id),
    cms_rate     bigint NOT NULL,
    PRIMARY KEY (unit_id, prod_sort_id)
);

CREATE TABLE cms_rs (
    unit_id     bigint NOT NULL REFERENCES units(unit_id),
    shop_id     bigint NOT NULL REFERENCES units(unit_id),
    prod_cls_id bigint NOT NULL REFERENCES product_classes(prod_cls_id),
    from_date   bigint NOT NULL,
    to_date     bigint NOT NULL,
    cms_rate    bigint NOT NULL CHECK (cms_rate BETWEEN 0 AND 10000),
    CHECK (from_date <= to_date),
    PRIMARY KEY (unit_id, shop_id, prod_cls_id, from_date, to_date)
);
CREATE INDEX cms_rs_by_shop_class ON cms_rs(shop_id, prod_cls_id, from_date, to_date);
-- Added after the primary key, so that a repeated key is reported as such before the
-- overlap it also is. Checked at once: a client inserting a range that meets another
-- client's uncommitted one waits for that commit and then fails, and runs again.
ALTER TABLE cms_rs ADD CONSTRAINT cms_rs_days_apart EXCLUDE USING gist (
    unit_id WITH =, shop_id WITH =, prod_cls_id WITH =, int8range(from_date, to_date, '[]') WITH &&);
)sql"},
    // 2: logins over the network. Password hashes (Argon2id, each with its own salt and
    // limits in the text) beside the users, whose rows keep their shape; a session opened by the application server records when it was last used,
    // in seconds since 1970, and ends after a while idle (one opened in-process leaves it
    // null and lasts until logout); failed logins by name, so that every server of a chain
    // slows the same guesser down.
    {R"sql(
CREATE TABLE user_passwords (
    user_name     TEXT PRIMARY KEY REFERENCES users(user_name) ON DELETE CASCADE,
    password_hash TEXT NOT NULL
) WITHOUT ROWID;
ALTER TABLE sessions ADD COLUMN last_used_at INTEGER;
CREATE INDEX sessions_by_last_use ON sessions(last_used_at);
CREATE TABLE login_failures (
    user_name      TEXT PRIMARY KEY,
    failures       INTEGER NOT NULL,
    last_failed_at INTEGER NOT NULL
) WITHOUT ROWID;
)sql",
     R"sql(
CREATE TABLE user_passwords (
    user_name     text PRIMARY KEY REFERENCES users(user_name) ON DELETE CASCADE,
    password_hash text NOT NULL
);
ALTER TABLE sessions ADD COLUMN last_used_at bigint;
CREATE INDEX sessions_by_last_use ON sessions(last_used_at);
CREATE TABLE login_failures (
    user_name      text PRIMARY KEY,
    failures       bigint NOT NULL,
    last_failed_at bigint NOT NULL
);
)sql"},
    // 3: the consignment ranges' exclusion index on PostgreSQL leads with the shop: a first
    // column that is the same for nearly every row (the unit) leaves the tree to split on
    // the columns after it, and a save of many rows then pays for it in every insert and
    // every check. The shop-led index also answers what the index by shop and class did
    // (finding a shop's rows when its unit goes), so that index goes. SQLite, which checks
    // ranges through the primary key, keeps its indexes.
    {R"sql(
-- Nothing changes on this engine.
)sql",
     R"sql(
DROP INDEX cms_rs_by_shop_class;
ALTER TABLE cms_rs DROP CONSTRAINT cms_rs_days_apart;
ALTER TABLE cms_rs ADD CONSTRAINT cms_rs_days_apart EXCLUDE USING gist (
    shop_id WITH =, prod_cls_id WITH =, int8range(from_date, to_date, '[]') WITH &&, unit_id WITH =);
)sql"},
}};

} // namespace

int SchemaVersion() {
    return static_cast<int>(Migrations.size());
}

int StoredSchemaVersion(TStore& Db) {
    return Db.SchemaVersion();
}

void MigrateSchema(TStore& Db) {
    auto CheckNotNewer = [&Db](int Stored) {
        if (Stored > SchemaVersion())
            throw EDatabaseError(
                Format("数据库 %s 的版本（%s）比本程序支持的版本（%s）新，请升级程序后再打开。",
                       {Db.Name(), std::to_string(Stored), std::to_string(SchemaVersion())}));
    };
    int Stored = StoredSchemaVersion(Db);
    CheckNotNewer(Stored);
    if (Stored == SchemaVersion()) return;
    if (Db.ReadOnly())
        throw EDatabaseError(Format("数据库 %s 需要升级，但它是以只读方式打开的。", {Db.Name()}));

    TTransaction Tx(Db);
    // Read again under the lock: another process may have upgraded it meanwhile.
    Db.LockSchema();
    Stored = StoredSchemaVersion(Db);
    CheckNotNewer(Stored);
    const bool Postgres = Db.Engine() == TStoreEngine::sePostgres;
    for (int V = Stored; V < SchemaVersion(); ++V) {
        const TMigration& M = Migrations[static_cast<std::size_t>(V)];
        Db.Exec(Postgres ? M.Postgres : M.Sqlite);
    }
    Db.SetSchemaVersion(SchemaVersion());
    Tx.Commit();
}

void KeepSessionsOnConnection(TStore& Db) {
    // Unqualified names find the temporary schema first, so the view stands in for the
    // stored table in every statement about sessions.
    Db.Exec(R"sql(
CREATE TEMP TABLE connection_sessions (
    session_id TEXT PRIMARY KEY,
    user_name  TEXT NOT NULL,
    unit_id    INTEGER NOT NULL,
    created_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))
) WITHOUT ROWID;
CREATE TEMP VIEW sessions AS
    SELECT session_id, user_name, unit_id, created_at FROM main.sessions
    UNION ALL SELECT session_id, user_name, unit_id, created_at FROM connection_sessions;
CREATE TEMP TRIGGER sessions_insert INSTEAD OF INSERT ON sessions BEGIN
    INSERT INTO connection_sessions (session_id, user_name, unit_id)
    VALUES (NEW.session_id, NEW.user_name, NEW.unit_id);
END;
CREATE TEMP TRIGGER sessions_delete INSTEAD OF DELETE ON sessions BEGIN
    DELETE FROM connection_sessions WHERE session_id = OLD.session_id;
END;
)sql");
}

bool UnitWithin(TStore& Db, int UnitID, int RootUnitID) {
    // Walked upwards: the depth of the tree, not the number of units below the root.
    TStatementLease Query = Db.Prepare(
        "WITH RECURSIVE up(id) AS (SELECT unit_id FROM units WHERE unit_id = ?1 "
        "UNION SELECT u.parent_id FROM units u JOIN up ON u.unit_id = up.id WHERE u.parent_id IS NOT NULL) "
        "SELECT 1 FROM up WHERE id = ?2");
    Query->Bind(1, UnitID).Bind(2, RootUnitID);
    return Query->Step();
}

std::string OutOfReachMessage(const std::string& Noun, const std::string& UnitText, TReachContext Context) {
    return Noun + "“" + UnitText + "”不在您的管辖范围内" +
           (Context == TReachContext::rcSave ? "，不能保存。" : "。");
}

} // namespace orv::server
