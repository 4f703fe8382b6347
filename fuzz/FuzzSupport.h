// What the fuzz targets share. The library's own exceptions are its answer to bad input
// and end a run quietly; anything else that escapes, and every broken promise checked
// here, stops the fuzzer so that it keeps the input.
#pragma once

#include "host/core/SysUtils.h"
#include "host/data/ClientDataSet.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// True when Body ran to its end, false when the library refused with one of its exceptions.
template <class F> bool Accepted(F&& Body) {
    try {
        Body();
        return true;
    } catch (const orv::Exception&) {
        return false;
    }
}

[[noreturn]] inline void Broken(const char* Promise, const std::string& Detail = {}) {
    std::fprintf(stderr, "\nfuzz: broken promise: %s\n%s\n", Promise, Detail.c_str());
    std::abort();
}

inline void Expect(bool Holds, const char* Promise, const std::string& Detail = {}) {
    if (!Holds) Broken(Promise, Detail);
}

// Choices drawn from the input itself (splitmix64 over its bytes), so that a saved input
// replays the same steps.
class TChoices {
public:
    explicit TChoices(const std::string& Input) {
        for (unsigned char C : Input)
            FState = (FState ^ C) * 0x100000001B3ull;
    }
    // 0 .. Count-1; Count must be positive.
    int Below(int Count) { return static_cast<int>(Next() % static_cast<std::uint64_t>(Count)); }

private:
    std::uint64_t Next() {
        std::uint64_t Z = (FState += 0x9E3779B97F4A7C15ull);
        Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ull;
        Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBull;
        return Z ^ (Z >> 31);
    }
    std::uint64_t FState = 0xCBF29CE484222325ull;
};

// Five rows keyed by ID with each kind of value; row 2 is then changed and a row with the
// temporary key -1 added, so that the set has pending changes of both kinds.
inline void LoadSmallSet(orv::TOrvClientDataSet& Set) {
    Set.SetXMLData(
        R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
        R"(<FIELD attrname="ID" fieldtype="i4"/><FIELD attrname="NAME" fieldtype="string" WIDTH="10"/>)"
        R"(<FIELD attrname="AMOUNT" fieldtype="fixed" DECIMALS="2" WIDTH="12"/>)"
        R"(<FIELD attrname="DAY" fieldtype="date"/></FIELDS><PARAMS/></METADATA><ROWDATA>)"
        R"(<ROW ID="1" NAME="A" AMOUNT="1.00" DAY="20240101"/><ROW ID="2" NAME="B" AMOUNT="2.00"/>)"
        R"(<ROW ID="3" NAME="甲乙" DAY="20240229"/><ROW ID="4" NAME="D" AMOUNT="-4.50" DAY="19991231"/>)"
        R"(<ROW ID="5" NAME="E" AMOUNT="5.00"/></ROWDATA></DATAPACKET>)");
    Set.SetKeyFields("ID");
    Set.SetRecNo(2);
    Set.Edit();
    Set.FieldByName("NAME")->SetAsString("B1");
    Set.FieldByName("AMOUNT")->SetAsString("2.50");
    Set.Post();
    Set.Append();
    Set.FieldByName("ID")->SetAsInteger(-1);
    Set.FieldByName("NAME")->SetAsString("NEW");
    Set.Post();
}

} // namespace fuzz
