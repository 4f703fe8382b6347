// Any packet the set accepts is written out as a text that loads again and is written out
// the same, with the same rows and changes; its delta loads too. A packet the set refuses
// leaves it exactly as it was.
#include "fuzz/FuzzSupport.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string Input(reinterpret_cast<const char*>(Data), Size);

    TOrvClientDataSet Set(nullptr);
    fuzz::LoadSmallSet(Set);
    const std::string Held = Set.GetXMLData();
    if (!fuzz::Accepted([&] { Set.SetXMLData(Input); })) {
        fuzz::Expect(Set.GetXMLData() == Held, "a refused packet leaves the set as it was");
        return 0;
    }

    const std::string First = Set.GetXMLData();
    TOrvClientDataSet Again(nullptr);
    if (!fuzz::Accepted([&] { Again.SetXMLData(First); }))
        fuzz::Broken("a written packet loads again", First);
    const std::string Second = Again.GetXMLData();
    fuzz::Expect(Second == First, "a written packet is written out again unchanged",
                 First + "\n---- written again:\n" + Second);
    fuzz::Expect(Again.RecordCount() == Set.RecordCount() && Again.ChangeCount() == Set.ChangeCount(),
                 "a reloaded packet has the same rows and changes", First);

    const std::string Delta = Set.GetXMLDelta();
    TOrvClientDataSet Changes(nullptr);
    if (!fuzz::Accepted([&] { Changes.SetXMLData(Delta); })) fuzz::Broken("a delta loads as a packet", Delta);
    fuzz::Expect(Changes.ChangeCount() == Set.ChangeCount(), "a delta holds every change", Delta);
    return 0;
}
