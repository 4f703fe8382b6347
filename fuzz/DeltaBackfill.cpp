// A server's answer merged into a small set with pending changes: an answer the set
// refuses leaves it exactly as it was; an accepted one keeps every row's pending state and
// writes a packet that loads again unchanged.
#include "fuzz/FuzzSupport.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string Input(reinterpret_cast<const char*>(Data), Size);
    TOrvUpdateDataSet Answer(nullptr);
    if (!fuzz::Accepted([&] { Answer.SetXMLDelta(Input); })) return 0;

    TOrvClientDataSet Target(nullptr);
    fuzz::LoadSmallSet(Target);
    // Searching first builds the key index that the backfill must keep right.
    Target.Locate("ID", Variant(-1));
    const std::string Before = Target.GetXMLData();
    const int Changes = Target.ChangeCount();
    const int RecNo = Target.RecNo();

    int Written = 0;
    if (!fuzz::Accepted([&] { Written = Answer.BackfillDataSet(&Target); })) {
        fuzz::Expect(Target.GetXMLData() == Before && Target.RecNo() == RecNo &&
                         Target.State() == TDataSetState::dsBrowse,
                     "a refused answer leaves the set as it was", Target.GetXMLData());
        return 0;
    }
    const std::string After = Target.GetXMLData();
    fuzz::Expect(Written >= 0 && Written <= Answer.RecordCount(), "no more rows written than the answer has");
    fuzz::Expect(Written > 0 || After == Before, "an answer that matches no row changes nothing", After);
    fuzz::Expect(Target.ChangeCount() == Changes, "backfilling does not touch the change log", After);

    TOrvClientDataSet Again(nullptr);
    if (!fuzz::Accepted([&] { Again.SetXMLData(After); }))
        fuzz::Broken("a backfilled set's packet loads", After);
    fuzz::Expect(Again.GetXMLData() == After, "a backfilled set's packet is written out again unchanged",
                 After);
    // Keys written by the backfill are found by searching, through the index built before.
    TField* Id = Target.FieldByName("ID");
    for (int Row = 0; Row < Target.RecordCount(); ++Row) {
        const Variant Key = Target.DisplayRowValue(Row, Id);
        if (Key.IsNull()) continue;
        fuzz::Expect(Target.Locate("ID", Key) && Id->Value() == Key, "every key is found after a backfill",
                     Key.AsString() + "\n" + After);
    }
    return 0;
}
