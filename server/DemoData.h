// Data for trying the windows out and for measuring them.
#pragma once

#include "host/services/Constants.h"
#include "server/Store.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv::server {

// Fills an empty database of the current schema with a small chain: the company (unit
// Sys_GlobalUnitID), three regions, twenty shops, two agents, thirty product categories,
// three hundred product classes, three shifts, the users "admin" (every right, password
// "quillon-admin") and "viewer" (view rights only, password "quillon-viewer"), and some
// rows in every commission table. The same data every time: the pseudo-random choices
// come from a fixed seed.
void SeedDemoData(TStore& Db);

// The demo consignment rows, for the database of SeedDemoData: a few shops and product
// classes, each pair with several ranges around 2026 that do not overlap. A pair that
// has rows already is skipped, so running it again adds nothing. One transaction.
void SeedDemoConsignment(TStore& Db);

struct TLargeDataOptions {
    int Shops = 500;
    int Classes = 200;
    int RangesPerPair = 2;
    int UnitID = Sys_GlobalUnitID;
};

struct TLargeDataRef {
    int ID = 0;
    std::string Num;
    std::string Name;
};

struct TLargeData {
    std::vector<TLargeDataRef> Shops;
    std::vector<TLargeDataRef> Classes;
    std::int64_t Rows = 0;
    // Ranges are RangeDays long and RangeStep apart from FirstDay on; the first day not
    // used by any generated range of a pair is FirstFreeDay.
    std::int32_t FirstDay = 0;
    std::int32_t RangeDays = 0;
    std::int32_t RangeStep = 0;
    std::int32_t FirstFreeDay = 0;
};

// Adds Shops shops and Classes product classes of their own and, for the unit, the
// consignment rows of every pair of them: RangesPerPair consecutive ranges that do not
// overlap. One transaction; runs again over the same database without duplicating.
TLargeData GenerateLargeConsignmentData(TStore& Db, const TLargeDataOptions& Options);

} // namespace orv::server
