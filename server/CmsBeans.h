// The business objects the windows create by class name.
#pragma once

#include "host/services/BusinessIntf.h"
#include "server/ServerContext.h"
#include "server/TableStore.h"

#include <memory>
#include <string>

namespace orv::server {

// Rights of the work timetable; the commission windows' rights are the host's.
inline constexpr const char* Priv_ViewWorkTimetable = "WORK_TIMETABLE_VIEW";
inline constexpr const char* Priv_ModifyWorkTimetable = "WORK_TIMETABLE_MODIFY";

// The stores behind the windows, built once.
const TTableStore& CmsShfStore();
const TTableStore& CmsQtyStore();
const TTableStore& CmsValStore();
const TTableStore& CmsRsStore();
const TTableStore& WorkTimetableStore();

// The three commission calls shared by every commission object: check the caller, then
// load or apply through the table's store.
class TCommissionCalls {
public:
    TCommissionCalls(std::shared_ptr<TServerContext> Context, const TTableStore& Store,
                     const char* ViewPrivilege, const char* ModifyPrivilege)
        : FContext(std::move(Context)), FStore(Store), FView(ViewPrivilege), FModify(ModifyPrivilege) {}

    bool LoadList(const std::string& SessionID, int UnitID, std::string& Data, std::string& ErrorMsg);
    bool SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                   std::string& ResultData, std::string& ErrorMsg);

protected:
    std::shared_ptr<TServerContext> FContext;

private:
    const TTableStore& FStore;
    const char* FView;
    const char* FModify;
};

// One commission object: interface I over one store and its privilege pair.
template <class I> class TCmsBean : public TInterfacedObject<I> {
public:
    TCmsBean(std::shared_ptr<TServerContext> Context, const TTableStore& Store, const char* ViewPrivilege,
             const char* ModifyPrivilege)
        : FCalls(std::move(Context), Store, ViewPrivilege, ModifyPrivilege) {}

    bool LoadList(const std::string& SessionID, int UnitID, std::string& Data,
                  std::string& ErrorMsg) override {
        return FCalls.LoadList(SessionID, UnitID, Data, ErrorMsg);
    }
    bool SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                   std::string& ResultData, std::string& ErrorMsg) override {
        return FCalls.SaveDelta(SessionID, UnitID, PackedDelta, ResultData, ErrorMsg);
    }

private:
    TCommissionCalls FCalls;
};

// Shifts and the unit's day-by-day timetable of them.
class TWorkTimetableBean : public TInterfacedObject<IWorkTimetable> {
public:
    explicit TWorkTimetableBean(std::shared_ptr<TServerContext> Context);

    bool LoadList(const std::string& SessionID, int UnitID, std::string& Data,
                  std::string& ErrorMsg) override;
    bool SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                   std::string& ResultData, std::string& ErrorMsg) override;
    bool GetShiftOfTime(const std::string& SessionID, int UnitID, TDateTime Moment, int& ShiftID,
                        std::string& ErrorMsg) override;
    bool GetTimetable(const std::string& SessionID, int UnitID, TDateTime FromDate, TDateTime ToDate,
                      std::string& Data, std::string& ErrorMsg) override;
    bool GetShiftList(const std::string& SessionID, int UnitID, std::string& Data,
                      std::string& ErrorMsg) override;

private:
    std::shared_ptr<TServerContext> FContext;
    TCommissionCalls FCalls;
};

// The object named ClassName, or an empty pointer for a name no object has.
TInterfacePtr<IInterface> CreateBean(const std::shared_ptr<TServerContext>& Context,
                                     const std::string& ClassName);

} // namespace orv::server
