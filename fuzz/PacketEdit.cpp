// Editing a loaded packet through the public verbs (change a row, append one, delete one,
// with values the set may refuse) always writes a packet that loads again unchanged, and
// CancelUpdates takes the set back to where undoing the packet's own changes takes it.
#include "fuzz/FuzzSupport.h"

using namespace orv;

namespace {

// Gives some fields of the current row a value: cleared, copied as text from another row
// (so from another field's type too), or a short piece of the input. A value the field
// refuses leaves it as it was.
void FillSome(TOrvClientDataSet& Set, fuzz::TChoices& Pick, const std::string& Input) {
    for (TField* F : Set.FieldList()) {
        std::string Text;
        switch (Pick.Below(4)) {
        case 0:
            continue;
        case 1:
            fuzz::Accepted([&] { F->Clear(); });
            continue;
        case 2:
            if (Set.DisplayRowCount() == 0) continue;
            Text = Set.DisplayRowValue(Pick.Below(Set.DisplayRowCount()),
                                       Set.FieldList()[static_cast<std::size_t>(
                                           Pick.Below(static_cast<int>(Set.FieldList().size())))])
                       .AsString();
            break;
        default:
            if (Input.empty()) continue;
            std::size_t At = static_cast<std::size_t>(Pick.Below(static_cast<int>(Input.size())));
            Text = Input.substr(At, static_cast<std::size_t>(Pick.Below(16)));
        }
        fuzz::Accepted([&] { F->SetAsString(Text); });
    }
}

void GoToSomeRow(TOrvClientDataSet& Set, fuzz::TChoices& Pick) {
    Set.SetRecNo(1 + Pick.Below(Set.RecordCount()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string Input(reinterpret_cast<const char*>(Data), Size);
    TOrvClientDataSet Set(nullptr);
    if (!fuzz::Accepted([&] { Set.SetXMLData(Input); })) return 0;

    TOrvClientDataSet Undone(nullptr);
    Undone.SetXMLData(Input);
    Undone.CancelUpdates();
    const std::string Original = Undone.GetXMLData();

    fuzz::TChoices Pick(Input);
    if (Set.RecordCount() > 0) {
        GoToSomeRow(Set, Pick);
        if (!fuzz::Accepted([&] {
                Set.Edit();
                FillSome(Set, Pick, Input);
                Set.Post();
            }))
            Set.Cancel();
    }
    if (!fuzz::Accepted([&] {
            Set.Append();
            FillSome(Set, Pick, Input);
            Set.Post();
        }))
        Set.Cancel();
    if (Set.RecordCount() > 0) {
        GoToSomeRow(Set, Pick);
        fuzz::Accepted([&] { Set.Delete(); });
    }

    const std::string Written = Set.GetXMLData();
    TOrvClientDataSet Again(nullptr);
    if (!fuzz::Accepted([&] { Again.SetXMLData(Written); }))
        fuzz::Broken("an edited set's packet loads again", Written);
    fuzz::Expect(Again.GetXMLData() == Written, "an edited set's packet is written out again unchanged",
                 Written + "\n---- written again:\n" + Again.GetXMLData());

    Set.CancelUpdates();
    fuzz::Expect(Set.GetXMLData() == Original, "CancelUpdates undoes the edits with the packet's changes",
                 Original + "\n---- after the edits and CancelUpdates:\n" + Set.GetXMLData());
    return 0;
}
