// The consignment window as the desktop host runs it, for benchmarks: the real plug-in
// loaded with dlopen from beside the benchmark, the host's real session on a SQLite
// database holding exactly the consignment rows asked for, and typed numbers looked up in
// that database through the host's own lookup provider. Screens are the caller's: a
// headless or a Qt backend installed before a window is opened. The pickers answer from a
// script: what the benchmark chose, as a user would have ticked it.
#pragma once

#include "host/forms/BrowseFrm.h"
#include "host/forms/Forms.h"
#include "host/services/Cshare.h"
#include "server/DemoData.h"
#include "shell/HostCshare.h"
#include "shell/HostSession.h"
#include "shell/PluginLibrary.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv::bench {

// Each pair of generated shop and product class has two ranges; the classes are fixed, so
// the number of shops sets the number of rows.
constexpr int RsClasses = 200;
constexpr int RsRangesPerPair = 2;

inline server::TLargeDataOptions RsDataOptions(int Rows, int UnitID) {
    if (Rows % (RsClasses * RsRangesPerPair) != 0)
        throw std::invalid_argument("row count must be a multiple of " +
                                    std::to_string(RsClasses * RsRangesPerPair));
    return server::TLargeDataOptions{Rows / (RsClasses * RsRangesPerPair), RsClasses, RsRangesPerPair,
                                     UnitID};
}

// The pickers of the host with a user who ticks what the benchmark chose: the units whose
// ids are in Units, the product classes whose ids are in Classes, each in the order the
// picker lists them. An id the picker does not offer is left out, so the caller sees a
// shorter list rather than a made-up row.
class TScriptedPicker : public shell::IPickerUi {
public:
    std::vector<int> Units;
    std::vector<int> Classes;

    std::optional<std::vector<int>> PickUnits(const std::vector<server::TUnitNode>& Tree,
                                              const std::vector<std::string>&, bool) override {
        std::vector<int> Chosen;
        for (const server::TUnitNode& N : Tree)
            if (std::find(Units.begin(), Units.end(), N.UnitID) != Units.end()) Chosen.push_back(N.UnitID);
        return Chosen;
    }
    std::optional<std::vector<server::TProdClsItem>> PickProdCls(const TProdClsSearch& Search,
                                                                 const std::string& Filter, bool) override {
        std::vector<server::TProdClsItem> Chosen;
        for (server::TProdClsItem& I : Search(Filter))
            if (std::find(Classes.begin(), Classes.end(), I.ProdClsID) != Classes.end())
                Chosen.push_back(std::move(I));
        return Chosen;
    }
};

// One database file of Rows consignment rows of the logged-in user's unit and nothing
// else in cms_rs, with its session and lookups. Removed with the object.
class TRsDatabase {
public:
    explicit TRsDatabase(int Rows) : FRows(Rows) {
        std::string Pattern = (std::filesystem::temp_directory_path() / "quillon-rs-bench-XXXXXX").string();
        if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
        FDir = Pattern;
        FSession = std::make_unique<shell::THostSession>((FDir / "bench.db").string(), "admin");
        FSession->Server().Database().Exec("DELETE FROM cms_rs");
        FData = Refill();
        FLookups = std::make_unique<shell::THostCshareProvider>(FSession->Server().Lookups(),
                                                                FSession->SysInfo(), &FPicker);
    }
    ~TRsDatabase() {
        FLookups.reset();
        FSession.reset();
        std::error_code Ec;
        std::filesystem::remove_all(FDir, Ec);
    }
    TRsDatabase(const TRsDatabase&) = delete;
    TRsDatabase& operator=(const TRsDatabase&) = delete;

    // Puts back every generated row that is missing (after a save of deletions), with the
    // same values; rows added since stay.
    server::TLargeData Refill() {
        return server::GenerateLargeConsignmentData(FSession->Server().Database(),
                                                    RsDataOptions(FRows, FSession->UnitID()));
    }
    // The first Count shops of the generated numbering, made where the rows asked for
    // needed fewer; those made have no consignment rows. Data() stays as generated.
    std::vector<server::TLargeDataRef> Shops(int Count) {
        if (Count > static_cast<int>(FData.Shops.size()))
            return server::GenerateLargeConsignmentData(
                       FSession->Server().Database(),
                       server::TLargeDataOptions{Count, 0, 0, FSession->UnitID()})
                .Shops;
        return {FData.Shops.begin(), FData.Shops.begin() + Count};
    }
    std::int64_t StoredRows() {
        return FSession->Server().Database().QueryInt64("SELECT count(*) FROM cms_rs");
    }

    int Rows() const { return FRows; }
    const server::TLargeData& Data() const { return FData; }
    shell::THostSession& Session() { return *FSession; }
    ICshareProvider& Lookups() { return *FLookups; }
    TScriptedPicker& Picker() { return FPicker; }

private:
    int FRows;
    std::filesystem::path FDir;
    TScriptedPicker FPicker; // before the lookups, which hold on to it
    std::unique_ptr<shell::THostSession> FSession;
    std::unique_ptr<shell::THostCshareProvider> FLookups;
    server::TLargeData FData;
};

// The plug-in and one database per row count, made on first use and kept for the run.
class TRsHost {
public:
    TRsHost() {
        FPlugin.Load(shell::DefaultPluginPath());
        FInitialize = FPlugin.Function<void(TSysInfo*)>("Initialize");
        FCmsRsMan = FPlugin.Function<void()>("CmsRsMan");
        if (!FInitialize || !FCmsRsMan) throw std::runtime_error("the plug-in lacks Initialize or CmsRsMan");
    }
    ~TRsHost() {
        // The windows run the plug-in's code: they go before the library does.
        Application->FreeForms();
        SetCshareProvider(nullptr);
        SysInfoObj = nullptr;
        FDatabases.clear();
    }
    TRsHost(const TRsHost&) = delete;
    TRsHost& operator=(const TRsHost&) = delete;

    // The database of Rows rows, its session handed to the plug-in and its lookups
    // installed, as the host does after a login.
    TRsDatabase& Use(int Rows) {
        std::unique_ptr<TRsDatabase>& Slot = FDatabases[Rows];
        if (!Slot) Slot = std::make_unique<TRsDatabase>(Rows);
        if (FCurrent != Slot.get()) {
            Application->FreeForms();
            SetCshareProvider(&Slot->Lookups());
            FInitialize(&Slot->Session().SysInfo());
            FCurrent = Slot.get();
        }
        return *Slot;
    }

    // Runs the launcher as the host's menu does and returns the window it opened.
    TBrowseForm* Open() {
        std::size_t Before = Application->Forms().size();
        FCmsRsMan();
        std::vector<TCustomForm*> Forms = Application->Forms();
        if (Forms.size() != Before + 1) throw std::runtime_error("CmsRsMan opened no window");
        auto* Form = dynamic_cast<TBrowseForm*>(Forms.back());
        if (!Form) throw std::runtime_error("CmsRsMan opened no browse window");
        return Form;
    }

private:
    shell::TPluginLibrary FPlugin;
    void (*FInitialize)(TSysInfo*) = nullptr;
    void (*FCmsRsMan)() = nullptr;
    std::map<int, std::unique_ptr<TRsDatabase>> FDatabases;
    TRsDatabase* FCurrent = nullptr;
};

} // namespace orv::bench
