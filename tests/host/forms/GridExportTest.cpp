#include "HeadlessFixture.h"

#include "host/forms/BrowseFrm.h"
#include "host/forms/Cformsres.h"

#include <pugixml.hpp>
#include <unzip.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

using namespace orv;
namespace fs = std::filesystem;

namespace {

// Columns CODE, NAME, AMOUNT, DAY, QTY, NOTE; the last row is there to be deleted.
const char* Rows = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="CODE" fieldtype="string" WIDTH="10"/><FIELD attrname="NAME" fieldtype="string" WIDTH="50"/>
<FIELD attrname="AMOUNT" fieldtype="fixed" WIDTH="12" DECIMALS="2"/><FIELD attrname="DAY" fieldtype="date"/>
<FIELD attrname="QTY" fieldtype="i4"/><FIELD attrname="NOTE" fieldtype="string" WIDTH="40000"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW CODE="A,1" NAME="门店“一”号 &quot;旗舰&quot;" AMOUNT="1234.50" DAY="20260131" QTY="3" NOTE="内部"/>
<ROW CODE="B" NAME="第一行&#10;第二行" QTY="-7"/>
<ROW CODE="C" NAME="普通" AMOUNT="0.05" DAY="20251201"/>
<ROW CODE="D" NAME="将删除" AMOUNT="9.99"/>
</ROWDATA></DATAPACKET>)";

class TExportForm : public TBrowseForm {
public:
    TExportForm(TComponent* Owner, bool MayExport, bool OwnMenu) : TBrowseForm(Owner), FMayExport(MayExport) {
        SetName("ExportForm");
        SetCaption("测试窗口");
        const char* Fields[] = {"CODE", "NAME", "AMOUNT", "DAY", "QTY", "NOTE"};
        const char* Titles[] = {"代码", "名称", "金额", "日期", "数量", "备注"};
        for (int I = 0; I < 6; ++I)
            grdMain->AddColumn(Fields[I])->SetTitleCaption(Titles[I]);
        grdMain->Column(5)->SetVisible(false);
        grdMain->MoveColumn(2, 0); // AMOUNT, CODE, NAME, DAY, QTY, (NOTE)
        if (OwnMenu) {
            auto* Menu = new TPopupMenu(this);
            Menu->SetName("mnuMain");
            auto* Item = new TMenuItem(this);
            Item->SetName("mitOwn");
            Item->SetCaption("自有命令");
            Menu->Add(Item);
            grdMain->SetPopupMenu(Menu);
        }
    }
    bool InitRights() override {
        Permission1 = Permission2 = Permission3 = Permission4 = true;
        Permission5 = FMayExport;
        return true;
    }
    void GetData() override { cdsMain->SetXMLData(Rows); }

private:
    bool FMayExport;
};

std::string ReadFile(const fs::path& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::ostringstream S;
    S << In.rdbuf();
    return S.str();
}

// Strict RFC 4180: records end in CRLF, a quoted field may hold anything, "" is a quote.
std::vector<std::vector<std::string>> ParseCsv(std::string_view Text) {
    std::vector<std::vector<std::string>> Result(1, std::vector<std::string>(1));
    for (std::size_t I = 0; I < Text.size(); ++I) {
        std::string& Field = Result.back().back();
        char C = Text[I];
        if (C == '"' && Field.empty()) {
            for (++I; I < Text.size() && !(Text[I] == '"' && (I + 1 == Text.size() || Text[I + 1] != '"'));
                 ++I) {
                if (Text[I] == '"') ++I;
                Field += Text[I];
            }
            if (I == Text.size()) throw std::runtime_error("unterminated quote");
        } else if (C == ',') {
            Result.back().emplace_back();
        } else if (C == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') {
            ++I;
            Result.emplace_back(1);
        } else if (C == '\r' || C == '\n' || C == '"') {
            throw std::runtime_error("bare line break or quote outside quotes");
        } else {
            Field += C;
        }
    }
    if (Result.back() != std::vector<std::string>(1)) throw std::runtime_error("last record without CRLF");
    Result.pop_back();
    return Result;
}

// The first sheet of a workbook as a reader sees it: its name, then a line per row of
// "reference=cell" joined by " | ", a cell being "n:" with the number and its number
// format or "s:" with the text of a shared or inline string (a line break as \n).
std::string ReadXlsx(const fs::path& Path) {
    unzFile Zip = unzOpen(Path.c_str());
    if (!Zip) throw std::runtime_error("not a zip file");
    auto Part = [&](const char* Name, pugi::xml_document& Doc) {
        std::string Xml;
        if (unzLocateFile(Zip, Name, 0) == UNZ_OK && unzOpenCurrentFile(Zip) == UNZ_OK) {
            char Buf[4096];
            for (int N; (N = unzReadCurrentFile(Zip, Buf, sizeof Buf)) > 0;)
                Xml.append(Buf, static_cast<std::size_t>(N));
            unzCloseCurrentFile(Zip);
        }
        Doc.load_string(Xml.c_str());
    };
    pugi::xml_document Book, Sheet, Styles, Strings;
    Part("xl/workbook.xml", Book);
    Part("xl/worksheets/sheet1.xml", Sheet);
    Part("xl/styles.xml", Styles);
    Part("xl/sharedStrings.xml", Strings);
    unzClose(Zip);

    std::map<int, std::string> Codes{{0, "General"}, {1, "0"}, {2, "0.00"}, {14, "mm-dd-yy"}};
    for (auto N : Styles.select_nodes("//numFmts/numFmt"))
        Codes[N.node().attribute("numFmtId").as_int()] = N.node().attribute("formatCode").value();
    std::vector<std::string> XfFormats, Shared;
    for (auto N : Styles.select_nodes("//cellXfs/xf"))
        XfFormats.push_back(Codes[N.node().attribute("numFmtId").as_int()]);
    for (auto N : Strings.select_nodes("//si"))
        Shared.push_back(N.node().child("t").text().get());
    std::string Out = Book.select_node("//sheet").node().attribute("name").value();
    for (pugi::xml_node Row : Sheet.child("worksheet").child("sheetData").children("row")) {
        Out += "\n";
        for (pugi::xml_node C : Row.children("c")) {
            const std::string Type = C.attribute("t").value();
            std::string Cell;
            if (Type == "s")
                Cell = "s:" + Shared.at(C.child("v").text().as_uint());
            else if (Type == "inlineStr")
                Cell = "s:" + std::string(C.child("is").child("t").text().get());
            else if (Type.empty() || Type == "n")
                Cell = "n:" + std::string(C.child("v").text().get()) + "@" +
                       XfFormats.at(C.attribute("s").as_uint());
            else
                Cell = "?" + Type;
            for (std::size_t At; (At = Cell.find('\n')) != std::string::npos;)
                Cell.replace(At, 1, "\\n");
            Out +=
                (C.previous_sibling("c") ? " | " : "") + std::string(C.attribute("r").value()) + "=" + Cell;
        }
    }
    return Out;
}

class GridExportTest : public HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        Dir = fs::temp_directory_path() / ("quillon-export-" + std::to_string(::getpid()));
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override {
        HeadlessTest::TearDown();
        fs::remove_all(Dir);
    }
    TExportForm* Open(bool MayExport = true, bool OwnMenu = false) {
        auto* F = new TExportForm(Application, MayExport, OwnMenu);
        F->Show();
        return F;
    }
    // Exports through the command, the user choosing Path.
    void Export(TExportForm* F, const fs::path& Path) {
        WS.QueueSaveFile(Path.string());
        EXPECT_TRUE(WS.UserExecute(F->actExport));
    }
    fs::path Dir;
};

} // namespace

TEST_F(GridExportTest, BothFormatsHoldTheVisibleColumnsInGridOrderWithPendingChangesAndNoDeletedRow) {
    TExportForm* F = Open();
    F->cdsMain->SetRecNo(4);
    F->cdsMain->Delete();
    WS.UserSelectCell(F->grdMain, 2, 2); // NAME of row C, typed and left unconfirmed
    WS.UserTypeWithoutEnter(F->grdMain, "已修改");

    Export(F, Dir / "rows.xlsx");
    ASSERT_EQ(WS.SaveFileRequests().size(), 1u);
    const auto& Asked = WS.SaveFileRequests()[0];
    EXPECT_EQ(Asked.Title, "导出");
    EXPECT_EQ(Asked.SuggestedName, "测试窗口.xlsx");
    EXPECT_EQ(Asked.Filters, (std::vector<TFileFilter>{{std::string(CAP_EXPORT_XLSX), "xlsx"},
                                                       {std::string(CAP_EXPORT_CSV), "csv"}}));
    EXPECT_FALSE(F->grdMain->EditorOpen()) << "the typed text was committed first";
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsEdit) << "and not posted by the export";

    // Every cell: the hidden column, the deleted row and the nulls have none. Dates are day
    // numbers (46053 is 2026-01-31).
    EXPECT_EQ(ReadXlsx(Dir / "rows.xlsx"), R"(测试窗口
A1=s:金额 | B1=s:代码 | C1=s:名称 | D1=s:日期 | E1=s:数量
A2=n:1234.5@0.00 | B2=s:A,1 | C2=s:门店“一”号 "旗舰" | D2=n:46053@yyyy-mm-dd | E2=n:3@0
B3=s:B | C3=s:第一行\n第二行 | E3=n:-7@0
A4=n:0.05@0.00 | B4=s:C | C4=s:已修改 | D4=n:45992@yyyy-mm-dd)");

    // No data change, no scroll, nothing the grid would redraw.
    WS.ClearRecords();
    Export(F, Dir / "rows.csv");
    EXPECT_TRUE(WS.GridChanges().empty());
    EXPECT_EQ(F->cdsMain->RecNo(), 3);
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsEdit);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 1) << "only the delete is logged";

    const std::string Csv = ReadFile(Dir / "rows.csv");
    ASSERT_EQ(Csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(Csv.find("\"门店“一”号 \"\"旗舰\"\"\""), std::string::npos) << "quotes doubled inside quotes";
    EXPECT_EQ(
        ParseCsv(std::string_view(Csv).substr(3)),
        (std::vector<std::vector<std::string>>{{"金额", "代码", "名称", "日期", "数量"},
                                               {"1234.50", "A,1", "门店“一”号 \"旗舰\"", "2026-01-31", "3"},
                                               {"", "B", "第一行\n第二行", "", "-7"},
                                               {"0.05", "C", "已修改", "2025-12-01", ""}}));

    // An untouched new row is not part of what the window holds.
    F->cdsMain->Post();
    WS.UserExecute(F->actNew);
    Export(F, Dir / "again.csv");
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsInsert);
    EXPECT_EQ(ReadFile(Dir / "again.csv"), Csv);
}

TEST_F(GridExportTest, TheCommandSitsInToolBarAndPopupMenuAndNeedsTheExportRight) {
    TExportForm* Own = Open(true, true);
    const auto& Items = Own->grdMain->PopupMenu()->Items();
    ASSERT_EQ(Items.size(), 3u) << "appended to the window's own menu, after a separator";
    EXPECT_EQ(Items[0]->Name(), "mitOwn");
    EXPECT_EQ(Items[1]->Caption(), "-");
    EXPECT_EQ(Items[2], Own->mitExport);
    EXPECT_EQ(Own->btnExport->Action(), Own->actExport);
    EXPECT_EQ(Own->actExport->Caption(), "导出");
    EXPECT_TRUE(Own->actExport->Enabled() && Own->mitExport->Enabled());
    WS.QueueSaveFile(std::nullopt); // the user cancels: nothing is written
    WS.UserChooseMenuItem(Own->mitExport);
    EXPECT_TRUE(fs::is_empty(Dir));

    TExportForm* NoRight = Open(false, false);
    ASSERT_NE(NoRight->grdMain->PopupMenu(), nullptr) << "a grid without a menu gets one";
    EXPECT_EQ(NoRight->grdMain->PopupMenu()->Items(), std::vector<TMenuItem*>{NoRight->mitExport});
    EXPECT_FALSE(NoRight->actExport->Enabled());
    EXPECT_FALSE(NoRight->mitExport->Enabled());
    EXPECT_FALSE(WS.UserExecute(NoRight->actExport));
    WS.ClearRecords();
    WS.UserClick(NoRight->btnExport);
    Application->HandleEvent([&] { NoRight->ExportData(); });
    EXPECT_TRUE(WS.SaveFileRequests().empty());
    ASSERT_EQ(WS.Messages().size(), 1u) << "only the direct call gets as far as the refusal";
    EXPECT_EQ(WS.Messages()[0].Text, "您没有导出“测试窗口”的权限。");
}

TEST_F(GridExportTest, AFailedWriteNamesTheReasonAndLeavesNoFileBehind) {
    TExportForm* F = Open();
    std::ofstream(Dir / "old.xlsx") << "old";
    // A cell too long for a sheet stops the workbook half way.
    F->grdMain->Column(5)->SetVisible(true);
    F->cdsMain->Edit();
    F->cdsMain->FieldByName("NOTE")->SetAsString(std::string(40000, 'x'));
    Export(F, Dir / "old.xlsx");
    Export(F, Dir / "missing" / "rows.csv");

    ASSERT_EQ(WS.Messages().size(), 2u);
    for (const auto& M : WS.Messages()) {
        EXPECT_EQ(M.Caption, "测试窗口");
        EXPECT_EQ(M.Flags & MB_ICONMASK, MB_ICONERROR);
        EXPECT_EQ(M.Text.rfind("导出失败：", 0), 0u) << M.Text;
    }
    EXPECT_NE(WS.Messages()[0].Text.find("备注"), std::string::npos) << WS.Messages()[0].Text;
    EXPECT_NE(WS.Messages()[1].Text.find("文件夹不存在"), std::string::npos) << WS.Messages()[1].Text;
    EXPECT_EQ(ReadFile(Dir / "old.xlsx"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1)
        << "no temporary file left";
}
