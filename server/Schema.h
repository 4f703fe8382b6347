// The database schema of both engines, versioned in the database itself.
#pragma once

#include "server/Store.h"

namespace orv::server {

// The version this build writes. A database of a later version is refused rather than
// guessed at; an earlier one is brought up to date step by step.
int SchemaVersion();

// Stored version of an open database (0 for a new, empty one).
int StoredSchemaVersion(TStore& Db);

// Applies the missing migrations in order, all in one transaction, so a database is never
// left half upgraded. A read-only connection is only checked: it must already be current.
// Raises EDatabaseError when the database comes from a newer version.
void MigrateSchema(TStore& Db);

// Sessions of a read-only SQLite connection (the only engine that opens read-only): logins
// on it are kept in its temporary schema, beside the stored sessions, under the same name,
// so viewing needs no write to the file.
void KeepSessionsOnConnection(TStore& Db);

// Whether unit UnitID is RootUnitID or lies below it in the unit tree: the one test of
// what a user's unit reaches, for the session gate and for the shops a row names.
bool UnitWithin(TStore& Db, int UnitID, int RootUnitID);

// What a user is told of a shop (Noun "门店") outside the user's unit, named as the user
// knows it ("S101 北京西单店"), wherever it turns up; a save adds that it cannot be saved.
enum class TReachContext { rcLookup, rcSave };
std::string OutOfReachMessage(const std::string& Noun, const std::string& UnitText, TReachContext Context);

} // namespace orv::server
