// Interfaces of the server-side business objects. Objects are created by class name
// through the session object and cast to these interfaces by GUID.
#pragma once

#include "host/core/DateUtils.h"
#include "host/services/Interfaces.h"

#include <string>

namespace orv {

// The commission business objects share one shape: the unit's rows as a packed data
// packet, and a packed delta applied in one piece. Data and ResultData are packed texts
// (OrvPack); on failure they return false and leave the reason in ErrorMsg.
class ICmsShf : public IInterface {
public:
    static constexpr TGUID IID = MakeGUID(0xC6F8A500, 0x6290, 0x4A62, 0x91875BC119233B90ULL);
    virtual bool LoadList(const std::string& SessionID, int UnitID, std::string& Data, std::string& ErrorMsg) = 0;
    virtual bool SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                           std::string& ResultData, std::string& ErrorMsg) = 0;
};

class ICmsQty : public IInterface {
public:
    static constexpr TGUID IID = MakeGUID(0x5B2E7A21, 0x6D75, 0x4B01, 0xBC12728B1B0587B8ULL);
    virtual bool LoadList(const std::string& SessionID, int UnitID, std::string& Data, std::string& ErrorMsg) = 0;
    virtual bool SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                           std::string& ResultData, std::string& ErrorMsg) = 0;
};

class ICmsVal : public IInterface {
public:
    static constexpr TGUID IID = MakeGUID(0xDCF69ED8, 0xAA02, 0x4774, 0xA6CE608A305E3B9CULL);
    virtual bool LoadList(const std::string& SessionID, int UnitID, std::string& Data, std::string& ErrorMsg) = 0;
    virtual bool SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                           std::string& ResultData, std::string& ErrorMsg) = 0;
};

class ICmsRs : public IInterface {
public:
    static constexpr TGUID IID = MakeGUID(0xBF693796, 0xBDB8, 0x476F, 0x94D28150AEC24626ULL);
    virtual bool LoadList(const std::string& SessionID, int UnitID, std::string& Data, std::string& ErrorMsg) = 0;
    virtual bool SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                           std::string& ResultData, std::string& ErrorMsg) = 0;
};

// Work shifts and the unit's timetable. GetShiftList is the fifth method, after the
// timetable's own four.
class IWorkTimetable : public IInterface {
public:
    static constexpr TGUID IID = MakeGUID(0x1E3F0381, 0xD2B2, 0x4F8B, 0x9CD1FBB837E05511ULL);
    // The unit's timetable rows (day, shift) as a packed data packet.
    virtual bool LoadList(const std::string& SessionID, int UnitID, std::string& Data, std::string& ErrorMsg) = 0;
    virtual bool SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                           std::string& ResultData, std::string& ErrorMsg) = 0;
    // The shift a given moment of the unit's day falls in; ShiftID is left alone when none.
    virtual bool GetShiftOfTime(const std::string& SessionID, int UnitID, TDateTime Moment, int& ShiftID,
                                std::string& ErrorMsg) = 0;
    // The timetable rows between two days, both included, as a packed data packet.
    virtual bool GetTimetable(const std::string& SessionID, int UnitID, TDateTime FromDate, TDateTime ToDate,
                              std::string& Data, std::string& ErrorMsg) = 0;
    // All work shifts (at least SHF_ID and SHF_NAME) as a packed data packet.
    virtual bool GetShiftList(const std::string& SessionID, int UnitID, std::string& Data, std::string& ErrorMsg) = 0;
};

} // namespace orv
