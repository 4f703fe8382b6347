#include "host/data/ClientDataSet.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

using namespace orv;

namespace orv {
[[maybe_unused]] static void PrintTo(const Variant& V, std::ostream* Os) {
    *Os << (V.IsNull() ? std::string("<null>") : V.AsString());
}
} // namespace orv

namespace {

const std::string Header =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>)"
    R"(<FIELD attrname="ID" fieldtype="i4"/><FIELD attrname="NAME" fieldtype="string" WIDTH="10"/>)"
    R"(<FIELD attrname="AMOUNT" fieldtype="fixed" DECIMALS="2" WIDTH="12"/></FIELDS>)";

// Five rows, no pending change.
const std::string Five =
    Header +
    R"(<PARAMS/></METADATA><ROWDATA><ROW ID="1" NAME="A" AMOUNT="1.00"/>)"
    R"(<ROW ID="2" NAME="B" AMOUNT="2.00"/><ROW ID="3" NAME="C"/><ROW ID="4" NAME="D" AMOUNT="4.00"/>)"
    R"(<ROW ID="5" NAME="E" AMOUNT="5.00"/></ROWDATA></DATAPACKET>)";

struct TRows {
    TOrvClientDataSet Cds{nullptr};
    TField* Id;
    TField* Name;
    TField* Amount;

    explicit TRows(const std::string& Packet = Five) {
        Cds.SetXMLData(Packet);
        Id = Cds.FieldByName("ID");
        Name = Cds.FieldByName("NAME");
        Amount = Cds.FieldByName("AMOUNT");
    }

    // "ID:NAME:AMOUNT" of every row, in order.
    std::vector<std::string> Rows() const {
        std::vector<std::string> Out;
        for (int R = 0; R < Cds.RecordCount(); ++R)
            Out.push_back(Cds.DisplayRowText(R, Id) + ":" + Cds.DisplayRowText(R, Name) + ":" +
                          Cds.DisplayRowText(R, Amount));
        return Out;
    }
    void Go(int Id) { ASSERT_TRUE(Cds.Locate("ID", Id)) << Id; }
    void SetName(int RowId, const std::string& Value) {
        Go(RowId);
        Cds.Edit();
        Name->SetAsString(Value);
        Cds.Post();
    }
    void Add(int RowId, const std::string& RowName, bool Append = true) {
        if (Append)
            Cds.Append();
        else
            Cds.Insert();
        Id->SetAsInteger(RowId);
        Name->SetAsString(RowName);
        Cds.Post();
    }
    void Remove(int RowId) {
        Go(RowId);
        Cds.Delete();
    }
};

using TStrings = std::vector<std::string>;
const TStrings FiveRows = {"1:A:1.00", "2:B:2.00", "3:C:", "4:D:4.00", "5:E:5.00"};

std::string Describe(const TChangeEntry& E) {
    auto Values = [](const std::vector<Variant>& V) {
        std::string S;
        for (const Variant& X : V)
            S += (S.empty() ? "" : ",") + (X.IsNull() ? std::string("null") : X.AsString());
        return "[" + S + "]";
    };
    const char* Kind = E.Kind == TUpdateKind::ukInsert   ? "insert"
                       : E.Kind == TUpdateKind::ukModify ? "modify"
                                                         : "delete";
    return std::string(Kind) + " " + Values(E.OldValues) + " -> " + Values(E.NewValues);
}

TStrings Changes(const TOrvClientDataSet& Cds) {
    TStrings Out;
    for (const TChangeEntry& E : Cds.GetChanges())
        Out.push_back(Describe(E));
    return Out;
}

} // namespace

TEST(ChangeLogTest, OneEntryPerRow) {
    TRows T;
    EXPECT_EQ(T.Cds.ChangeCount(), 0);
    T.SetName(2, "B1");
    EXPECT_EQ(T.Cds.ChangeCount(), 1);
    EXPECT_EQ(T.Cds.UpdateStatus(), TUpdateStatus::usModified);
    T.Add(6, "F");
    EXPECT_EQ(T.Cds.ChangeCount(), 2);
    EXPECT_EQ(T.Cds.UpdateStatus(), TUpdateStatus::usInserted);
    T.Remove(4);
    EXPECT_EQ(T.Cds.GetChangeCount(), 3);
    T.Go(1);
    EXPECT_EQ(T.Cds.UpdateStatus(), TUpdateStatus::usUnmodified);

    // Edited again, a row keeps its one entry and its original values, even when it
    // comes back to them.
    T.SetName(2, "B2");
    T.SetName(2, "B");
    EXPECT_EQ(T.Cds.ChangeCount(), 3);
    // An inserted row edited again stays an insert.
    T.SetName(6, "F2");
    EXPECT_EQ(T.Cds.ChangeCount(), 3);
    EXPECT_EQ(T.Cds.UpdateStatus(), TUpdateStatus::usInserted);
    EXPECT_EQ(Changes(T.Cds), (TStrings{"modify [2,B,2.00] -> [2,B,2.00]", "insert [] -> [6,F2,null]",
                                        "delete [4,D,4.00] -> []"}));

    // Posting what is already there logs nothing.
    T.Go(1);
    T.Cds.Edit();
    T.Name->SetAsString("X");
    T.Name->SetAsString("A");
    T.Amount->SetAsFloat(1.0);
    T.Cds.Post();
    EXPECT_EQ(T.Cds.ChangeCount(), 3);
    EXPECT_EQ(T.Cds.UpdateStatus(), TUpdateStatus::usUnmodified);

    // An inserted row deleted again leaves no trace.
    T.Remove(6);
    EXPECT_EQ(T.Cds.ChangeCount(), 2);
    T.Add(7, "G", false);
    T.Cds.Delete();
    EXPECT_EQ(T.Cds.ChangeCount(), 2);
    // A modified row deleted is one deletion carrying the loaded values.
    T.SetName(3, "C1");
    T.Remove(3);
    EXPECT_EQ(T.Cds.ChangeCount(), 3);
    EXPECT_EQ(Changes(T.Cds), (TStrings{"modify [2,B,2.00] -> [2,B,2.00]", "delete [4,D,4.00] -> []",
                                        "delete [3,C,null] -> []"}));
    EXPECT_EQ(T.Rows(), (TStrings{"1:A:1.00", "2:B:2.00", "5:E:5.00"}));
}

TEST(ChangeLogTest, ChangesComeInTheOrderTheyWereMade) {
    TRows T;
    T.SetName(4, "D1");
    T.Add(6, "F");
    T.Remove(1);
    T.Add(7, "G", false);
    T.SetName(2, "B1");
    T.SetName(4, "D2"); // still the first change made
    T.SetName(6, "F1");
    EXPECT_EQ(Changes(T.Cds), (TStrings{"modify [4,D,4.00] -> [4,D2,4.00]", "insert [] -> [6,F1,null]",
                                        "delete [1,A,1.00] -> []", "insert [] -> [7,G,null]",
                                        "modify [2,B,2.00] -> [2,B1,2.00]"}));

    // The delta holds the changed rows only, each modified one after its loaded version.
    EXPECT_EQ(
        T.Cds.GetXMLDelta(),
        Header +
            R"(<PARAMS CHANGE_LOG="5 4 8 6 0 4 7 0 2 1 0 4 3 2 8"/></METADATA><ROWDATA>)"
            R"(<ROW RowState="4" ID="7" NAME="G"/>)"
            R"(<ROW RowState="1" ID="2" NAME="B" AMOUNT="2.00"/><ROW RowState="8" ID="2" NAME="B1" AMOUNT="2.00"/>)"
            R"(<ROW RowState="1" ID="4" NAME="D" AMOUNT="4.00"/><ROW RowState="8" ID="4" NAME="D2" AMOUNT="4.00"/>)"
            R"(<ROW RowState="4" ID="6" NAME="F1"/><ROW RowState="2" ID="1" NAME="A" AMOUNT="1.00"/>)"
            R"(</ROWDATA></DATAPACKET>)");

    // Read back, the delta gives the same changes in the same order.
    TOrvClientDataSet Delta(nullptr);
    Delta.SetXMLData(T.Cds.GetXMLDelta());
    EXPECT_EQ(Changes(Delta), Changes(T.Cds));

    T.Cds.MergeChangeLog();
    EXPECT_EQ(T.Cds.ChangeCount(), 0);
    EXPECT_TRUE(T.Cds.GetChanges().empty());
    EXPECT_EQ(T.Rows(), (TStrings{"7:G:", "2:B1:2.00", "3:C:", "4:D2:4.00", "5:E:5.00", "6:F1:"}));
    EXPECT_EQ(T.Cds.GetXMLDelta(), Header + R"(<PARAMS/></METADATA><ROWDATA/></DATAPACKET>)");
    T.Go(7);
    EXPECT_EQ(T.Cds.UpdateStatus(), TUpdateStatus::usUnmodified);
    T.Cds.CancelUpdates(); // nothing left to undo
    EXPECT_EQ(T.Rows(), (TStrings{"7:G:", "2:B1:2.00", "3:C:", "4:D2:4.00", "5:E:5.00", "6:F1:"}));
}

TEST(ChangeLogTest, CancelUpdatesPutsDeletedRowsBackInTheirPlaces) {
    struct TCase {
        const char* What;
        std::function<void(TRows&)> Changes;
    };
    const std::vector<TCase> Cases = {
        {"deleted front to back", [](TRows& T) { T.Remove(1), T.Remove(3), T.Remove(5); }},
        {"deleted back to front", [](TRows& T) { T.Remove(5), T.Remove(4), T.Remove(1); }},
        {"all deleted",
         [](TRows& T) {
             T.Cds.First();
             while (!T.Cds.Eof())
                 T.Cds.Delete();
         }},
        {"insert before a deleted row", [](TRows& T) { T.Go(2), T.Add(9, "X", false), T.Remove(3); }},
        {"appended then deleted around",
         [](TRows& T) { T.Add(9, "X"), T.Add(8, "Y"), T.Remove(5), T.Remove(1), T.Remove(9); }},
        {"insert deleted again after a deletion",
         [](TRows& T) { T.Go(1), T.Add(9, "X", false), T.Remove(2), T.Remove(9); }},
        {"modified then deleted after another deletion",
         [](TRows& T) { T.SetName(1, "A1"), T.Remove(2), T.Remove(1); }},
        {"edits, inserts and deletions",
         [](TRows& T) {
             T.SetName(3, "C1"), T.Go(4), T.Add(9, "X", false), T.Remove(2), T.SetName(5, "E1"), T.Remove(3);
             T.Add(8, "Y"), T.Remove(4), T.SetName(9, "X1");
         }},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.What);
        TRows T;
        const std::string Loaded = T.Cds.GetXMLData();
        C.Changes(T);
        T.Cds.CancelUpdates();
        EXPECT_EQ(T.Rows(), FiveRows);
        EXPECT_EQ(T.Cds.ChangeCount(), 0);
        EXPECT_EQ(T.Cds.GetXMLData(), Loaded);
        EXPECT_EQ(T.Cds.RecNo(), 1);
        EXPECT_EQ(T.Cds.State(), TDataSetState::dsBrowse);
        EXPECT_TRUE(T.Cds.Locate("ID", 5)); // searches see the restored rows
        EXPECT_EQ(T.Cds.RecNo(), 5);
    }

    // A pending edit is cancelled too.
    TRows T;
    T.Remove(2);
    T.Go(4);
    T.Cds.Edit();
    T.Name->SetAsString("D1");
    T.Cds.CancelUpdates();
    EXPECT_EQ(T.Rows(), FiveRows);
}

TEST(ChangeLogTest, EmptyDataSetDropsRowsAndLog) {
    TRows T;
    T.SetName(2, "B1");
    T.Remove(1);
    T.Cds.EmptyDataSet();
    EXPECT_EQ(T.Cds.RecordCount(), 0);
    EXPECT_EQ(T.Cds.ChangeCount(), 0);
    EXPECT_FALSE(T.Cds.Locate("ID", 2));
    T.Cds.CancelUpdates();
    EXPECT_EQ(T.Cds.RecordCount(), 0);
    T.Add(1, "A");
    EXPECT_EQ(Changes(T.Cds), TStrings{"insert [] -> [1,A,null]"});
}

// Random edits, inserts and deletions, then CancelUpdates: always the loaded rows.
TEST(ChangeLogTest, CancelUpdatesAfterRandomChanges) {
    std::mt19937 Rng(7);
    auto Pick = [&](int N) { return static_cast<int>(Rng() % static_cast<unsigned>(N)); };
    for (int Round = 0; Round < 20; ++Round) {
        TRows T;
        int NextId = 100;
        for (int Step = 0; Step < 25 && T.Cds.RecordCount() > 0; ++Step) {
            T.Cds.SetRecNo(1 + Pick(T.Cds.RecordCount()));
            switch (Pick(4)) {
            case 0:
                T.Cds.Edit();
                T.Name->SetAsString("N" + std::to_string(Step));
                T.Cds.Post();
                break;
            case 1:
                T.Add(NextId++, "I", Pick(2) == 0);
                break;
            default:
                T.Cds.Delete();
                break;
            }
        }
        T.Cds.CancelUpdates();
        EXPECT_EQ(T.Rows(), FiveRows) << "round " << Round;
    }
}

TEST(ChangeLogTest, RevertRecord) {
    TRows T;
    T.SetName(2, "B1");
    T.SetName(3, "C1");
    T.Add(6, "F");
    T.Remove(5);
    ASSERT_EQ(T.Cds.ChangeCount(), 4);

    T.Go(2);
    T.Cds.RevertRecord();
    EXPECT_EQ(T.Cds.ChangeCount(), 3);
    EXPECT_EQ(T.Name->AsString(), "B");
    EXPECT_EQ(T.Cds.RecNo(), 2);
    EXPECT_EQ(T.Cds.UpdateStatus(), TUpdateStatus::usUnmodified);

    T.Go(6);
    T.Cds.RevertRecord();
    EXPECT_EQ(T.Cds.ChangeCount(), 2);
    EXPECT_FALSE(T.Cds.Locate("ID", 6));

    T.Go(1);
    T.Cds.RevertRecord(); // nothing to revert
    EXPECT_EQ(T.Cds.ChangeCount(), 2);

    // A pending edit of the row goes too.
    T.Go(3);
    T.Cds.Edit();
    T.Name->SetAsString("C2");
    T.Cds.RevertRecord();
    EXPECT_EQ(T.Cds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(T.Name->AsString(), "C");
    EXPECT_EQ(T.Cds.ChangeCount(), 1);
    EXPECT_EQ(T.Rows(), (TStrings{"1:A:1.00", "2:B:2.00", "3:C:", "4:D:4.00"}));
    EXPECT_EQ(Changes(T.Cds), TStrings{"delete [5,E,5.00] -> []"});
    T.Cds.CancelUpdates();
    EXPECT_EQ(T.Rows(), FiveRows);
}

// ---- snapshots ---------------------------------------------------------------------------

namespace {

std::string BigPacket(int Rows) {
    std::string Xml = Header + R"(<PARAMS/></METADATA><ROWDATA>)";
    for (int I = 0; I < Rows; ++I)
        Xml += R"(<ROW ID=")" + std::to_string(I) + R"(" NAME="R)" + std::to_string(I % 1000) +
               R"(" AMOUNT=")" + std::to_string(I % 97) + R"(.25"/>)";
    return Xml + "</ROWDATA></DATAPACKET>";
}

struct TModelRow {
    int Id;
    std::string Name;
};

void ExpectRows(const TOrvClientDataSet& Cds, const std::vector<TModelRow>& Model, const char* Which) {
    ASSERT_EQ(Cds.RecordCount(), static_cast<int>(Model.size())) << Which;
    TField* Id = Cds.FieldByName("ID");
    TField* Name = Cds.FieldByName("NAME");
    for (std::size_t I = 0; I < Model.size(); ++I) {
        ASSERT_EQ(Cds.DisplayRowValue(static_cast<int>(I), Id), Variant(Model[I].Id))
            << Which << " row " << I;
        ASSERT_EQ(Cds.DisplayRowText(static_cast<int>(I), Name), Model[I].Name) << Which << " row " << I;
    }
}

// Edits, inserts and deletes rows of Cds and Model alike.
void Churn(TOrvClientDataSet& Cds, std::vector<TModelRow>& Model, unsigned Seed, int Steps, int IdBase) {
    std::mt19937 Rng(Seed);
    TField* Id = Cds.FieldByName("ID");
    TField* Name = Cds.FieldByName("NAME");
    for (int S = 0; S < Steps; ++S) {
        int Pos = static_cast<int>(Rng() % Model.size());
        Cds.SetRecNo(Pos + 1);
        std::string Text = "S" + std::to_string(Seed) + "-" + std::to_string(S);
        switch (Rng() % 3) {
        case 0:
            Cds.Edit();
            Name->SetAsString(Text);
            Cds.Post();
            Model[static_cast<std::size_t>(Pos)].Name = Text;
            break;
        case 1:
            Cds.Insert();
            Id->SetAsInteger(IdBase + S);
            Name->SetAsString(Text);
            Cds.Post();
            Model.insert(Model.begin() + Pos, TModelRow{IdBase + S, Text});
            break;
        default:
            Cds.Delete();
            Model.erase(Model.begin() + Pos);
            break;
        }
    }
}

} // namespace

TEST(SnapshotTest, CopiesStructureRowsAndChangesIndependently) {
    const int N = 9000; // more than one level of inner nodes in the row tree
    TOrvClientDataSet A(nullptr);
    A.SetXMLData(BigPacket(N));
    std::vector<TModelRow> Loaded;
    for (int I = 0; I < N; ++I)
        Loaded.push_back({I, "R" + std::to_string(I % 1000)});
    std::vector<TModelRow> ModelA = Loaded;
    Churn(A, ModelA, 1, 40, 100000); // pending changes travel with the copy

    TClientData Snap = A.GetData();
    EXPECT_FALSE(Snap.Empty());
    TOrvClientDataSet B(nullptr);
    B.SetData(Snap);
    ASSERT_EQ(B.FieldCount(), 3);
    EXPECT_EQ(B.FieldByName("NAME")->Size(), 10);
    EXPECT_EQ(B.FieldByName("AMOUNT")->DataType(), TFieldType::ftBCD);
    EXPECT_EQ(B.ChangeCount(), A.ChangeCount());
    EXPECT_EQ(Changes(B), Changes(A));
    EXPECT_EQ(B.GetXMLData(), A.GetXMLData());
    std::vector<TModelRow> ModelB = ModelA;
    const std::vector<TModelRow> AtSnapshot = ModelA;
    const std::string SnapshotXml = A.GetXMLData();
    const int SnapChanges = A.ChangeCount();
    ASSERT_GT(SnapChanges, 0);

    // Each side changes on its own, in turns.
    for (int Round = 0; Round < 4; ++Round) {
        Churn(A, ModelA, 10 + Round, 150, 200000 + Round * 1000);
        Churn(B, ModelB, 20 + Round, 150, 300000 + Round * 1000);
    }
    ExpectRows(A, ModelA, "A");
    ExpectRows(B, ModelB, "B");
    EXPECT_NE(A.ChangeCount(), 0);

    // The snapshot itself never changed.
    TOrvClientDataSet C(nullptr);
    C.SetData(Snap);
    ExpectRows(C, AtSnapshot, "C");
    EXPECT_EQ(C.GetXMLData(), SnapshotXml);

    // Undoing changes on one side leaves the other's rows as they are.
    A.CancelUpdates();
    ExpectRows(A, Loaded, "A after CancelUpdates");
    ExpectRows(B, ModelB, "B after A's CancelUpdates");
    B.MergeChangeLog();
    EXPECT_EQ(B.ChangeCount(), 0);
    EXPECT_EQ(C.ChangeCount(), SnapChanges);

    // Into a set whose fields match, the rows are taken as they are.
    C.SetData(B.GetData());
    ExpectRows(C, ModelB, "C from B");

    // Declared fields of another structure each take the data's field of their name (in
    // any case), pending changes included: undoing them gives the loaded rows back.
    TComponent Form(nullptr);
    auto Declare = [&](TOrvClientDataSet& Cds, const char* NameField, int NameSize) {
        auto* Name = new TStringField(&Form);
        Name->SetFieldName(NameField);
        Name->SetSize(NameSize);
        Name->SetDataSet(&Cds);
        auto* Id = new TIntegerField(&Form);
        Id->SetFieldName("ID");
        Id->SetDataSet(&Cds);
        Cds.CreateDataSet();
    };
    TOrvClientDataSet D(&Form);
    Declare(D, "name", 10);
    D.SetData(Snap);
    EXPECT_EQ(D.FieldCount(), 2);
    ExpectRows(D, AtSnapshot, "D from the snapshot");
    EXPECT_EQ(D.ChangeCount(), SnapChanges);
    D.CancelUpdates();
    ExpectRows(D, Loaded, "D after CancelUpdates");
    // A field the data lacks, or a value a field cannot hold, is refused; the set stays.
    TOrvClientDataSet E(&Form), F(&Form);
    Declare(E, "NOTE", 10);
    Declare(F, "NAME", 3);
    EXPECT_THROW(E.SetData(Snap), EDatabaseError);
    EXPECT_THROW(F.SetData(Snap), EConvertError);
    EXPECT_TRUE(E.Active() && F.Active());
    EXPECT_EQ(E.RecordCount() + F.RecordCount(), 0);
    EXPECT_THROW(D.SetData(TClientData()), EDatabaseError);
    ExpectRows(D, Loaded, "D after a refusal");
}

TEST(SnapshotTest, KeyedRecordNumbersFollowTheRowsAndSharingEndsAtTheFirstChange) {
    // Rows by name: A B A C A; the index is built by the first search, then kept.
    TRows T;
    T.SetName(3, "A");
    T.SetName(5, "A");
    auto Find = [&](const char* Name) { return T.Cds.FindRecNos({T.Name}, {Variant(std::string(Name))}); };
    EXPECT_EQ(Find("A"), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(Find("Z"), std::vector<int>{});

    TOrvClientDataSet Snap(nullptr);
    Snap.SetData(T.Cds.GetData());
    EXPECT_TRUE(T.Cds.SharesRowsWith(Snap));
    EXPECT_TRUE(Snap.SharesRowsWith(T.Cds));

    // A row being edited is searched as it is stored, and the cursor stays on it.
    T.Go(4);
    T.Cds.Edit();
    T.Name->SetAsString("A");
    EXPECT_EQ(Find("A"), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(T.Cds.RecNo(), 4);
    EXPECT_TRUE(T.Cds.SharesRowsWith(Snap));
    T.Cds.Post();
    EXPECT_FALSE(T.Cds.SharesRowsWith(Snap));
    EXPECT_EQ(Find("A"), (std::vector<int>{1, 3, 4, 5}));
    // A deletion in the middle renumbers what follows; an insertion likewise.
    T.Remove(1);
    EXPECT_EQ(Find("A"), (std::vector<int>{2, 3, 4}));
    T.Go(2);
    T.Add(9, "A", false); // before B
    EXPECT_EQ(Find("A"), (std::vector<int>{1, 3, 4, 5}));
    EXPECT_EQ(Find("B"), std::vector<int>{2});
    // Two keys are compared as a pair.
    EXPECT_EQ(T.Cds.FindRecNos({T.Id, T.Name}, {Variant(9), Variant(std::string("A"))}), std::vector<int>{1});
    EXPECT_EQ(T.Cds.FindRecNos({T.Id, T.Name}, {Variant(9), Variant(std::string("B"))}), std::vector<int>{});

    TOrvClientDataSet Other(nullptr);
    Other.SetXMLData(T.Cds.GetXMLData());
    EXPECT_FALSE(T.Cds.SharesRowsWith(Other)) << "equal rows are not the same rows";
    EXPECT_THROW(T.Cds.FindRecNos({Other.FieldByName("NAME")}, {Variant(std::string("A"))}), EDatabaseError);
}

// ---- backfill ----------------------------------------------------------------------------

namespace {

const std::string AnswerHeader =
    R"(<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>)"
    R"(<FIELD attrname="ID" fieldtype="i4"/><FIELD attrname="NAME" fieldtype="string" WIDTH="50"/>)"
    R"(<FIELD attrname="AMOUNT" fieldtype="fixed" DECIMALS="2" WIDTH="12"/><FIELD attrname="SERVER_NOTE" fieldtype="string" WIDTH="20"/>)"
    R"(</FIELDS>)";

// Pending: row 2 modified, a new row with the temporary key -1.
struct TBackfillTarget : TRows {
    TBackfillTarget() {
        Cds.SetKeyFields(" ID ");
        SetName(2, "B1");
        Add(-1, "NEW");
        // Searching first builds the key index that the backfill must keep right.
        EXPECT_TRUE(Cds.Locate("ID", -1));
    }
};

} // namespace

TEST(BackfillTest, WritesAnswerRowsByOriginalKeyWithoutLogging) {
    TBackfillTarget T;
    const TStrings ChangesBefore = Changes(T.Cds);
    TOrvUpdateDataSet Answer(nullptr);
    Answer.SetXMLDelta(
        AnswerHeader +
        R"(<PARAMS CHANGE_LOG="2 1 8 4 3 8 6 5 8 7 0 4 8 0 2"/></METADATA><ROWDATA>)"
        // the new row got its real key
        R"(<ROW RowState="1" ID="-1"/><ROW RowState="8" ID="100" NAME="NEW" AMOUNT="9.99" SERVER_NOTE="x"/>)"
        // AMOUNT absent: null is written too
        R"(<ROW RowState="1" ID="2"/><ROW RowState="8" ID="2" NAME="B2"/>)"
        // no such row
        R"(<ROW RowState="1" ID="77"/><ROW RowState="8" ID="78" NAME="Z"/>)"
        // an inserted answer row matches on its own key
        R"(<ROW RowState="4" ID="3" NAME="C3" AMOUNT="3.30"/>)"
        // deletions are not applied
        R"(<ROW RowState="2" ID="1" NAME="A"/>)"
        R"(</ROWDATA></DATAPACKET>)");
    EXPECT_EQ(Answer.BackfillDataSet(&T.Cds), 3);
    EXPECT_EQ(T.Rows(), (TStrings{"1:A:1.00", "2:B2:", "3:C3:3.30", "4:D:4.00", "5:E:5.00", "100:NEW:9.99"}));
    EXPECT_EQ(T.Cds.ChangeCount(), 2);
    EXPECT_EQ(Changes(T.Cds), (TStrings{"modify [2,B,2.00] -> [2,B2,null]", "insert [] -> [100,NEW,9.99]"}));
    EXPECT_NE(ChangesBefore, Changes(T.Cds));
    T.Go(3);
    EXPECT_EQ(T.Cds.UpdateStatus(), TUpdateStatus::usUnmodified);
    EXPECT_TRUE(T.Cds.Locate("ID", 100));
    EXPECT_EQ(T.Cds.RecNo(), 6);
    EXPECT_EQ(T.Cds.UpdateStatus(), TUpdateStatus::usInserted);
    EXPECT_FALSE(T.Cds.Locate("ID", -1));
    // Undoing the session still goes back to the loaded rows.
    T.Cds.CancelUpdates();
    EXPECT_EQ(T.Rows(), (TStrings{"1:A:1.00", "2:B:2.00", "3:C3:3.30", "4:D:4.00", "5:E:5.00"}));
}

TEST(BackfillTest, AValueTheTargetCannotHoldChangesNothing) {
    TBackfillTarget T;
    const std::string Before = T.Cds.GetXMLData();
    TOrvUpdateDataSet Answer(nullptr);
    Answer.SetXMLDelta(AnswerHeader +
                       R"(<PARAMS CHANGE_LOG="2 1 8 4 3 8"/></METADATA><ROWDATA>)"
                       R"(<ROW RowState="1" ID="-1"/><ROW RowState="8" ID="100" NAME="NEW"/>)"
                       R"(<ROW RowState="1" ID="2"/><ROW RowState="8" ID="2" NAME="一二三四五六七八九十一"/>)"
                       R"(</ROWDATA></DATAPACKET>)");
    EXPECT_THROW(Answer.BackfillDataSet(&T.Cds), EConvertError);
    EXPECT_EQ(T.Cds.GetXMLData(), Before);

    // The target needs a key that the answer carries.
    TOrvUpdateDataSet Plain(nullptr);
    Plain.SetXMLDelta(AnswerHeader + R"(<PARAMS/></METADATA><ROWDATA/></DATAPACKET>)");
    T.Cds.SetKeyFields("");
    EXPECT_THROW(Plain.BackfillDataSet(&T.Cds), EDatabaseError);
    TOrvUpdateDataSet NoKey(nullptr);
    NoKey.SetXMLDelta(
        R"(<DATAPACKET Version="2.0"><METADATA><FIELDS><FIELD attrname="NAME" fieldtype="string" WIDTH="5"/>)"
        R"(</FIELDS><PARAMS/></METADATA><ROWDATA/></DATAPACKET>)");
    T.Cds.SetKeyFields("ID");
    EXPECT_THROW(NoKey.BackfillDataSet(&T.Cds), EDatabaseError);
    EXPECT_EQ(T.Cds.GetXMLData(), Before);
}

TEST(BackfillTest, RowsDeletedBeforeABackfilledRowGoBackInPlace) {
    TRows T;
    T.Cds.SetKeyFields("ID");
    T.Remove(3);
    T.Remove(1);
    TOrvUpdateDataSet Answer(nullptr);
    Answer.SetXMLDelta(AnswerHeader +
                       R"(<PARAMS CHANGE_LOG="1 0 4 2 0 4"/></METADATA><ROWDATA>)"
                       R"(<ROW RowState="4" ID="4" NAME="D9"/><ROW RowState="4" ID="2" NAME="B9"/>)"
                       R"(</ROWDATA></DATAPACKET>)");
    EXPECT_EQ(Answer.BackfillDataSet(&T.Cds), 2);
    EXPECT_EQ(T.Cds.ChangeCount(), 2);
    T.Cds.CancelUpdates();
    EXPECT_EQ(T.Rows(), (TStrings{"1:A:1.00", "2:B9:", "3:C:", "4:D9:", "5:E:5.00"}));
}
