#include "host/forms/GridExport.h"

#include "host/core/SysUtils.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

namespace orv {

namespace {

// ---- the file that appears whole or not at all ----------------------------------------------

std::string ErrnoText(int Error) {
    switch (Error) {
    case EACCES:
    case EPERM:
        return "没有写入权限";
    case ENOENT:
    case ENOTDIR:
        return "文件夹不存在";
    case ENOSPC:
    case EDQUOT:
        return "磁盘空间不足";
    case EROFS:
        return "文件系统只读";
    case EISDIR:
        return "同名的文件夹已经存在";
    default:
        return std::strerror(Error);
    }
}

std::string DirectoryOf(const std::string& Path) {
    std::size_t Slash = Path.find_last_of('/');
    if (Slash == std::string::npos) return ".";
    return Slash == 0 ? "/" : Path.substr(0, Slash);
}

// A file written under a name of its own beside Target and renamed over Target by Commit.
// Until then Target is untouched; without Commit the temporary file goes again.
class TReplacingFile {
public:
    explicit TReplacingFile(const std::string& Target) : FTarget(Target) {
        const std::size_t Slash = Target.find_last_of('/');
        const std::string Dir = Slash == std::string::npos ? std::string() : Target.substr(0, Slash + 1);
        const std::string Base = Slash == std::string::npos ? Target : Target.substr(Slash + 1);
        if (Base.empty()) throw Exception(Format("“%s”不是文件名。", {Target}));
        // A hidden name in the same folder, so the rename stays on one file system; the
        // mode follows the user's umask as for any new file.
        for (int Attempt = 0;; ++Attempt) {
            FTemp =
                Dir + "." + Base + "." + std::to_string(::getpid()) + "." + std::to_string(Attempt) + ".tmp";
            FFd = ::open(FTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (FFd >= 0) break;
            if (errno != EEXIST || Attempt == 99)
                throw Exception(
                    Format("不能在文件夹“%s”中创建文件（%s）。", {DirectoryOf(Target), ErrnoText(errno)}));
        }
    }
    ~TReplacingFile() {
        if (FFd >= 0) ::close(FFd);
        if (!FCommitted) ::unlink(FTemp.c_str());
    }
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    const std::string& TempPath() const { return FTemp; }

    void Write(std::string_view Bytes) {
        while (!Bytes.empty()) {
            ssize_t N = ::write(FFd, Bytes.data(), Bytes.size());
            if (N < 0 && errno == EINTR) continue;
            if (N < 0) Fail(errno);
            Bytes.remove_prefix(static_cast<std::size_t>(N));
        }
    }
    // Closes the descriptor so that another writer may open the file by its path.
    void Close() {
        if (FFd >= 0 && ::close(FFd) != 0) {
            FFd = -1;
            Fail(errno);
        }
        FFd = -1;
    }
    void Commit() {
        if (FFd >= 0 && ::fsync(FFd) != 0) Fail(errno);
        Close();
        if (::rename(FTemp.c_str(), FTarget.c_str()) != 0) Fail(errno);
        FCommitted = true;
    }
    [[noreturn]] void Fail(int Error) const {
        throw Exception(Format("不能写入文件“%s”（%s）。", {FTarget, ErrnoText(Error)}));
    }

private:
    std::string FTarget;
    std::string FTemp;
    int FFd = -1;
    bool FCommitted = false;
};

// ---- what is exported -----------------------------------------------------------------------

struct TExportColumn {
    std::string Title;
    const TField* Field; // null for a column whose field the data set lacks: empty cells
    int Col;             // the grid's index, for CellText
    int Width;           // pixels; 0 for the default
};

std::vector<TExportColumn> VisibleColumns(const TOrvDBGrid& Grid) {
    std::vector<TExportColumn> Result;
    for (int I = 0; I < Grid.ColumnCount(); ++I) {
        const TColumn* C = Grid.Column(I);
        if (C->Visible()) Result.push_back({C->TitleCaption(), C->Field(), I, C->Width()});
    }
    return Result;
}

// The display rows to write: all of them but an untouched new row.
std::vector<int> ExportedRows(const TOrvDBGrid& Grid) {
    std::vector<int> Rows;
    const TDataSet* D = Grid.GetActiveDataSet();
    if (!D || !D->Active()) return Rows;
    const int Skipped = D->State() == TDataSetState::dsInsert && !D->Modified() ? D->CurrentDisplayRow() : -1;
    for (int R = 0; R < D->DisplayRowCount(); ++R)
        if (R != Skipped) Rows.push_back(R);
    return Rows;
}

// ---- CSV ------------------------------------------------------------------------------------

void AppendCsvField(std::string& Out, std::string_view Text) {
    if (Text.find_first_of(",\"\r\n") == std::string_view::npos) {
        Out += Text;
        return;
    }
    Out += '"';
    for (char C : Text) {
        if (C == '"') Out += '"';
        Out += C;
    }
    Out += '"';
}

void WriteCsv(const TOrvDBGrid& Grid, TReplacingFile& File, const std::function<void()>& Progress) {
    const std::vector<TExportColumn> Columns = VisibleColumns(Grid);
    std::string Out = "\xEF\xBB\xBF";
    auto EndLine = [&] {
        Out += "\r\n";
        if (Out.size() >= 64 * 1024) {
            File.Write(Out);
            Out.clear();
        }
    };
    for (std::size_t I = 0; I < Columns.size(); ++I) {
        if (I > 0) Out += ',';
        AppendCsvField(Out, Columns[I].Title);
    }
    EndLine();
    for (int Row : ExportedRows(Grid)) {
        for (std::size_t I = 0; I < Columns.size(); ++I) {
            if (I > 0) Out += ',';
            AppendCsvField(Out, Grid.CellText(Row, Columns[I].Col));
        }
        EndLine();
        if (Progress) Progress();
    }
    File.Write(Out);
    File.Commit();
}

// ---- XLSX -----------------------------------------------------------------------------------

// Sheets count days from 1900 and cannot hold an earlier date.
constexpr int FirstSheetYear = 1900;
// The most characters a sheet cell holds.
constexpr std::size_t MaxCellChars = 32767;

struct TWorkbookCloser {
    // Only a workbook given up on gets here: it is freed without being written.
    void operator()(lxw_workbook* W) const { lxw_workbook_free(W); }
};

// The sheet's name from the window's: without the characters a sheet name may not hold,
// at most 31 characters, not starting or ending with an apostrophe.
std::string SheetNameOf(const std::string& Name) {
    std::string Clean;
    for (char C : Name)
        if (std::string_view("[]:*?/\\").find(C) == std::string_view::npos) Clean += C;
    while (!Clean.empty() && Clean.front() == '\'')
        Clean.erase(Clean.begin());
    while (!Clean.empty() && Clean.back() == '\'')
        Clean.pop_back();
    // Cut after 31 code points (never inside one).
    std::size_t Chars = 0, End = 0;
    while (End < Clean.size() && Chars < 31) {
        ++End;
        while (End < Clean.size() && (static_cast<unsigned char>(Clean[End]) & 0xC0) == 0x80)
            ++End;
        ++Chars;
    }
    Clean.resize(End);
    while (!Clean.empty() && Clean.back() == '\'')
        Clean.pop_back();
    return Clean;
}

class TSheetWriter {
public:
    TSheetWriter(const std::string& Path, const std::string& SheetName) {
        lxw_workbook_options Options{};
        // Rows go to the file as they are written, so a large grid needs no more memory
        // than a small one; strings are then written inline in their cells.
        Options.constant_memory = LXW_TRUE;
        FBook.reset(workbook_new_opt(Path.c_str(), &Options));
        if (!FBook) throw Exception("不能创建工作簿。");
        const std::string Name = SheetNameOf(SheetName);
        FSheet = Name.empty() ? nullptr : workbook_add_worksheet(FBook.get(), Name.c_str());
        if (!FSheet) FSheet = workbook_add_worksheet(FBook.get(), nullptr);
        if (!FSheet) throw Exception("不能创建工作表。");
        FTitle = workbook_add_format(FBook.get());
        format_set_bold(FTitle);
        FDate = NumberFormat("yyyy-mm-dd");
        FDateTime = NumberFormat("yyyy-mm-dd hh:mm:ss");
    }

    void Write(const TOrvDBGrid& Grid, const std::function<void()>& Progress) {
        const std::vector<TExportColumn> Columns = VisibleColumns(Grid);
        for (std::size_t I = 0; I < Columns.size(); ++I) {
            const auto Col = static_cast<lxw_col_t>(I);
            if (Columns[I].Width > 0)
                Check(worksheet_set_column_pixels(FSheet, Col, Col,
                                                  static_cast<std::uint32_t>(Columns[I].Width), nullptr),
                      0, Columns[I]);
            WriteText(0, Col, Columns[I].Title, FTitle, Columns[I]);
        }
        worksheet_freeze_panes(FSheet, 1, 0);
        const TDataSet* D = Grid.GetActiveDataSet();
        lxw_row_t Row = 1;
        for (int R : ExportedRows(Grid)) {
            for (std::size_t I = 0; I < Columns.size(); ++I) {
                const TExportColumn& C = Columns[I];
                if (!C.Field) continue;
                WriteCell(Row, static_cast<lxw_col_t>(I), D->DisplayRowValue(R, C.Field),
                          Grid.CellText(R, C.Col), C);
            }
            ++Row;
            if (Progress) Progress();
        }
    }

    void Close() {
        lxw_error Error = workbook_close(FBook.release());
        if (Error != LXW_NO_ERROR) throw Exception(Format("不能写入工作簿（%s）。", {lxw_strerror(Error)}));
    }

private:
    lxw_format* NumberFormat(const std::string& Pattern) {
        auto It = FFormats.find(Pattern);
        if (It != FFormats.end()) return It->second;
        lxw_format* F = workbook_add_format(FBook.get());
        format_set_num_format(F, Pattern.c_str());
        return FFormats[Pattern] = F;
    }

    // A decimal shows as many decimals as its field keeps.
    lxw_format* DecimalFormat(int Scale) {
        return NumberFormat(Scale > 0 ? "0." + std::string(static_cast<std::size_t>(Scale), '0') : "0");
    }

    void WriteCell(lxw_row_t Row, lxw_col_t Col, const Variant& V, const std::string& Shown,
                   const TExportColumn& C) {
        // A field whose window draws its own text is written as that text.
        if (V.IsNull() || C.Field->OnGetText) {
            if (!Shown.empty()) WriteText(Row, Col, Shown, nullptr, C);
            return;
        }
        if (const TBcd* B = V.IfBcd()) {
            const int Scale = C.Field->DataType() == TFieldType::ftBCD ? C.Field->Size() : B->Scale;
            Check(worksheet_write_number(FSheet, Row, Col, B->ToDouble(), DecimalFormat(Scale)), Row, C);
        } else if (const std::int64_t* I = V.IfInteger()) {
            Check(worksheet_write_number(FSheet, Row, Col, static_cast<double>(*I), NumberFormat("0")), Row,
                  C);
        } else if (const double* F = V.IfFloat()) {
            if (std::isfinite(*F))
                Check(worksheet_write_number(FSheet, Row, Col, *F, nullptr), Row, C);
            else
                WriteText(Row, Col, Shown, nullptr, C);
        } else if (const TDateValue* Day = V.IfDate()) {
            WriteDate(Row, Col, static_cast<TDateTime>(Day->Days), false, Shown, C);
        } else if (const TDateTimeValue* T = V.IfDateTime()) {
            WriteDate(Row, Col, T->Value, true, Shown, C);
        } else {
            WriteText(Row, Col, Shown, nullptr, C);
        }
    }

    void WriteDate(lxw_row_t Row, lxw_col_t Col, TDateTime Value, bool WithTime, const std::string& Shown,
                   const TExportColumn& C) {
        lxw_datetime When{};
        DecodeDate(Value, When.year, When.month, When.day);
        if (When.year < FirstSheetYear) {
            WriteText(Row, Col, Shown, nullptr, C);
            return;
        }
        if (WithTime) {
            // Milliseconds of the day, rounded; a value a hair before midnight stays on its day.
            auto Ms = std::llround((Value - std::floor(Value)) * 86400000.0);
            Ms = std::min<long long>(Ms, 86399999);
            When.hour = static_cast<int>(Ms / 3600000);
            When.min = static_cast<int>(Ms / 60000 % 60);
            When.sec = static_cast<double>(Ms % 60000) / 1000.0;
        }
        Check(worksheet_write_datetime(FSheet, Row, Col, &When, WithTime ? FDateTime : FDate), Row, C);
    }

    void WriteText(lxw_row_t Row, lxw_col_t Col, const std::string& Text, lxw_format* Format,
                   const TExportColumn& C) {
        if (Utf8Length(Text) > MaxCellChars)
            throw Exception(orv::Format("第 %s 行“%s”的内容超过 %s 个字符，工作表的单元格放不下。",
                                        {std::to_string(Row), C.Title, std::to_string(MaxCellChars)}));
        Check(worksheet_write_string(FSheet, Row, Col, Text.c_str(), Format), Row, C);
    }

    void Check(lxw_error Error, lxw_row_t Row, const TExportColumn& C) const {
        if (Error == LXW_NO_ERROR) return;
        throw Exception(Format("第 %s 行“%s”不能写入工作表（%s）。",
                               {std::to_string(Row), C.Title, lxw_strerror(Error)}));
    }

    std::unique_ptr<lxw_workbook, TWorkbookCloser> FBook;
    lxw_worksheet* FSheet = nullptr;
    lxw_format* FTitle = nullptr;
    lxw_format* FDate = nullptr;
    lxw_format* FDateTime = nullptr;
    std::map<std::string, lxw_format*> FFormats;
};

void WriteXlsx(const TOrvDBGrid& Grid, TReplacingFile& File, const std::string& SheetName,
               const std::function<void()>& Progress) {
    // The library writes by path: the temporary file is handed over by its name.
    File.Close();
    TSheetWriter Writer(File.TempPath(), SheetName);
    Writer.Write(Grid, Progress);
    Writer.Close();
    File.Commit();
}

} // namespace

TExportFormat ExportFormatOf(const std::string& FileName) {
    const std::size_t Dot = FileName.find_last_of("./");
    if (Dot == std::string::npos || FileName[Dot] != '.') return TExportFormat::efCSV;
    std::string Ext = FileName.substr(Dot + 1);
    std::transform(Ext.begin(), Ext.end(), Ext.begin(),
                   [](unsigned char C) { return char(std::tolower(C)); });
    return Ext == "xlsx" ? TExportFormat::efXLSX : TExportFormat::efCSV;
}

void ExportGrid(const TOrvDBGrid& Grid, const std::string& FileName, TExportFormat Format,
                const std::string& SheetName, const std::function<void()>& Progress) {
    TReplacingFile File(FileName);
    if (Format == TExportFormat::efXLSX)
        WriteXlsx(Grid, File, SheetName, Progress);
    else
        WriteCsv(Grid, File, Progress);
}

} // namespace orv
