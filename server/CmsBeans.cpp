#include "server/CmsBeans.h"

#include "host/data/ClientDataSet.h"
#include "host/services/Constants.h"
#include "host/services/OrvPack.h"

#include <cmath>

namespace orv::server {

namespace {

TColumnDesc Stored(std::string Name, TPacketType Type, int Precision, int Scale, std::string Column,
                   std::string Label, bool Key) {
    TColumnDesc D;
    D.Name = std::move(Name);
    D.Type = Type;
    D.Precision = Precision;
    D.Scale = Scale;
    D.LoadExpr = "t." + Column;
    D.Column = std::move(Column);
    D.Label = std::move(Label);
    D.Key = Key;
    return D;
}

TColumnDesc Shown(std::string Name, int Size, std::string LoadExpr) {
    TColumnDesc D;
    D.Name = std::move(Name);
    D.Type = TPacketType::ptText;
    D.Scale = Size;
    D.LoadExpr = std::move(LoadExpr);
    return D;
}

constexpr auto Id = TPacketType::ptId;
constexpr auto Decimal = TPacketType::ptDecimal;
constexpr auto Day = TPacketType::ptDate;

const TReferenceDesc ShiftRef{"SHF_ID", "班次", "SELECT shf_name FROM work_shifts WHERE shf_id = ?1", {}, {}};
const TReferenceDesc SortRef{
    "PROD_SORT_ID",
    "商品类别",
    "SELECT prod_sort_num || ' ' || description FROM product_sorts WHERE prod_sort_id = ?1",
    {},
    {}};

TTableDesc CommissionBySort(std::string Table, TColumnDesc Value) {
    TTableDesc D;
    D.Table = Table;
    D.Fields = {Stored("PROD_SORT_ID", Id, 8, 0, "prod_sort_id", "商品类别ID", true), std::move(Value)};
    D.LoadFrom = Table + " t";
    D.LoadOrder = "t.prod_sort_id";
    D.References = {SortRef};
    return D;
}

} // namespace

const TTableStore& CmsShfStore() {
    static const TTableStore Store([] {
        TTableDesc D;
        D.Table = "cms_shf";
        D.Fields = {Stored("SHF_ID", Id, 4, 0, "shf_id", "班次ID", true),
                    Stored("CMS_VAL", Decimal, 12, 2, "cms_val", "提成金额", false)};
        D.LoadFrom = "cms_shf t";
        D.LoadOrder = "t.shf_id";
        D.References = {ShiftRef};
        return D;
    }());
    return Store;
}

const TTableStore& CmsQtyStore() {
    static const TTableStore Store(
        CommissionBySort("cms_qty", Stored("CMS_VAL", Decimal, 12, 2, "cms_val", "提成金额", false)));
    return Store;
}

const TTableStore& CmsValStore() {
    // No range on this rate: the window accepts any rate its field holds, above 1 included.
    static const TTableStore Store(
        CommissionBySort("cms_val", Stored("CMS_RATE", Decimal, 5, 4, "cms_rate", "提成比例", false)));
    return Store;
}

const TTableStore& CmsRsStore() {
    static const TTableStore Store([] {
        TTableDesc D;
        D.Table = "cms_rs";
        TColumnDesc Rate = Stored("CMS_RATE", Decimal, 5, 4, "cms_rate", "提成比例", false);
        Rate.Min = 0;
        Rate.Max = 10000;
        D.Fields = {Stored("SHOP_ID", Id, 0, 4, "shop_id", "门店ID", true),
                    Shown("SHOP_NUM", 20, "s.unit_num"),
                    Shown("SHOP_NAME", 50, "s.unit_name"),
                    Stored("PROD_CLS_ID", Id, 8, 0, "prod_cls_id", "商品品种ID", true),
                    Shown("PROD_CLS_NUM", 25, "c.prod_cls_num"),
                    Shown("PROD_NAME", 50, "c.prod_name"),
                    Stored("FROM_DATE", Day, 0, 0, "from_date", "开始日期", true),
                    Stored("TO_DATE", Day, 0, 0, "to_date", "结束日期", true),
                    Rate};
        D.LoadFrom = "cms_rs t JOIN units s ON s.unit_id = t.shop_id "
                     "JOIN product_classes c ON c.prod_cls_id = t.prod_cls_id";
        D.LoadOrder = "t.shop_id, t.prod_cls_id, t.from_date";
        // Consignment is sold by shops and by agents alike; any other unit is no seller.
        D.References = {
            {"SHOP_ID",
             "门店",
             "SELECT unit_num || ' ' || unit_name, unit_num, unit_name FROM units "
             "WHERE unit_id = ?1 AND unit_type IN ('S', 'A')",
             {"SHOP_NUM", "SHOP_NAME"},
             "SHOP_NUM"},
            {"PROD_CLS_ID",
             "商品品种",
             "SELECT prod_cls_num || ' ' || prod_name, prod_cls_num, prod_name FROM product_classes "
             "WHERE prod_cls_id = ?1",
             {"PROD_CLS_NUM", "PROD_NAME"},
             "PROD_CLS_NUM"}};
        D.DateRange = TDateRangeDesc{"FROM_DATE", "TO_DATE"};
        D.ShopField = "SHOP_ID";
        return D;
    }());
    return Store;
}

const TTableStore& WorkTimetableStore() {
    static const TTableStore Store([] {
        TTableDesc D;
        D.Table = "work_timetable";
        D.Fields = {Stored("WORK_DATE", Day, 0, 0, "work_date", "日期", true),
                    Stored("SHF_ID", Id, 4, 0, "shf_id", "班次ID", true),
                    Shown("SHF_NAME", 50, "s.shf_name")};
        D.LoadFrom = "work_timetable t JOIN work_shifts s ON s.shf_id = t.shf_id";
        D.LoadOrder = "t.work_date, s.start_minute";
        D.References = {{"SHF_ID",
                         "班次",
                         "SELECT shf_name, shf_name FROM work_shifts WHERE shf_id = ?1",
                         {"SHF_NAME"},
                         "SHF_NAME"}};
        return D;
    }());
    return Store;
}

// ---- TCommissionCalls --------------------------------------------------------------------

bool TCommissionCalls::LoadList(const std::string& SessionID, int UnitID, std::string& Data,
                                std::string& ErrorMsg) {
    return FContext->Call(ErrorMsg, [&] {
        const TSessionInfo Session = FContext->CheckAccess(SessionID, UnitID, FView);
        Data = OrvPack(FStore.LoadXml(FContext->Db(), UnitID, Session.Reach()), FContext->PackOptions());
    });
}

bool TCommissionCalls::SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                                 std::string& ResultData, std::string& ErrorMsg) {
    return FContext->Call(ErrorMsg, [&] {
        const TSessionInfo Session = FContext->CheckAccess(SessionID, UnitID, FModify);
        std::string Answer =
            FStore.ApplyDelta(FContext->Db(), UnitID, Session.Reach(), OrvUnpack(PackedDelta));
        ResultData = OrvPack(Answer, FContext->PackOptions());
    });
}

// ---- TWorkTimetableBean ------------------------------------------------------------------

namespace {

const std::vector<TPacketField> ShiftListFields = {{"SHF_ID", TPacketType::ptId, 4, 0},
                                                   {"SHF_NAME", TPacketType::ptText, 0, 50},
                                                   {"START_TIME", TPacketType::ptText, 0, 5},
                                                   {"END_TIME", TPacketType::ptText, 0, 5}};

constexpr int MinutesPerDay = 24 * 60;

// "07:05" for a minute of the day, in SQL both engines read.
std::string ClockSql(const std::string& Minute) {
    auto TwoDigits = [](const std::string& N) {
        return "CASE WHEN " + N + " < 10 THEN '0' ELSE '' END || " + N;
    };
    return TwoDigits("(" + Minute + " / 60)") + " || ':' || " + TwoDigits("(" + Minute + " % 60)");
}

// The day of a moment a caller passed in; NaN, an infinity or a moment past the calendar
// is refused naming the argument, before it can reach a query.
std::int32_t DayOfArgument(TDateTime Value, const char* What) {
    try {
        return DateOf(Value);
    } catch (const EConvertError& E) {
        throw EDatabaseError(std::string(What) + "无效：" + E.Message());
    }
}

} // namespace

TWorkTimetableBean::TWorkTimetableBean(std::shared_ptr<TServerContext> Context)
    : FContext(Context),
      FCalls(Context, WorkTimetableStore(), Priv_ViewWorkTimetable, Priv_ModifyWorkTimetable) {}

bool TWorkTimetableBean::LoadList(const std::string& SessionID, int UnitID, std::string& Data,
                                  std::string& ErrorMsg) {
    return FCalls.LoadList(SessionID, UnitID, Data, ErrorMsg);
}

bool TWorkTimetableBean::SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                                   std::string& ResultData, std::string& ErrorMsg) {
    return FCalls.SaveDelta(SessionID, UnitID, PackedDelta, ResultData, ErrorMsg);
}

bool TWorkTimetableBean::GetShiftList(const std::string& SessionID, int UnitID, std::string& Data,
                                      std::string& ErrorMsg) {
    return FContext->Call(ErrorMsg, [&] {
        FContext->CheckAccess(SessionID, UnitID, nullptr);
        TStatementLease Rows = FContext->Db().Prepare("SELECT shf_id, shf_name, " + ClockSql("start_minute") +
                                                      ", " + ClockSql("end_minute") +
                                                      " FROM work_shifts ORDER BY start_minute, shf_id");
        Data = OrvPack(QueryToXml(ShiftListFields, *Rows), FContext->PackOptions());
    });
}

bool TWorkTimetableBean::GetTimetable(const std::string& SessionID, int UnitID, TDateTime FromDate,
                                      TDateTime ToDate, std::string& Data, std::string& ErrorMsg) {
    return FContext->Call(ErrorMsg, [&] {
        FContext->CheckAccess(SessionID, UnitID, Priv_ViewWorkTimetable);
        TStatementLease Rows = FContext->Db().Prepare(
            "SELECT t.work_date, t.shf_id, s.shf_name FROM work_timetable t JOIN work_shifts s ON s.shf_id = "
            "t.shf_id "
            "WHERE t.unit_id = ?1 AND t.work_date BETWEEN ?2 AND ?3 ORDER BY t.work_date, s.start_minute");
        Rows->Bind(1, UnitID)
            .Bind(2, DayOfArgument(FromDate, "开始日期"))
            .Bind(3, DayOfArgument(ToDate, "结束日期"));
        Data = OrvPack(QueryToXml(WorkTimetableStore().PacketFields(), *Rows), FContext->PackOptions());
    });
}

bool TWorkTimetableBean::GetShiftOfTime(const std::string& SessionID, int UnitID, TDateTime Moment,
                                        int& ShiftID, std::string& ErrorMsg) {
    return FContext->Call(ErrorMsg, [&] {
        FContext->CheckAccess(SessionID, UnitID, Priv_ViewWorkTimetable);
        const std::int32_t Today = DayOfArgument(Moment, "查询的时刻");
        const double Fraction = std::fabs(Moment - std::trunc(Moment));
        const int Minute = std::min(MinutesPerDay - 1, static_cast<int>(Fraction * MinutesPerDay + 1e-6));

        // A shift that ends at or before its start runs into the next day, so the moment
        // may also fall in one begun yesterday. A unit without a timetable for these days
        // works every shift every day.
        TStore& Db = FContext->Db();
        TStatementLease Rows = Db.Prepare(
            "SELECT s.shf_id, s.start_minute, s.end_minute, t.work_date FROM work_timetable t "
            "JOIN work_shifts s ON s.shf_id = t.shf_id WHERE t.unit_id = ?1 AND t.work_date IN (?2 - 1, ?2) "
            "UNION ALL SELECT s.shf_id, s.start_minute, s.end_minute, d.day FROM work_shifts s, "
            "(SELECT ?2 - 1 AS day UNION ALL SELECT ?2) d WHERE NOT EXISTS (SELECT 1 FROM work_timetable "
            "WHERE unit_id = ?1 AND work_date IN (?2 - 1, ?2)) ORDER BY 4 DESC, 2");
        Rows->Bind(1, UnitID).Bind(2, Today);
        while (Rows->Step()) {
            const int Start = static_cast<int>(Rows->Int64(1));
            const int End = static_cast<int>(Rows->Int64(2));
            const bool Overnight = End <= Start;
            const bool Covers = Rows->Int64(3) == Today ? (Minute >= Start && (Overnight || Minute < End))
                                                        : (Overnight && Minute < End);
            if (Covers) {
                ShiftID = static_cast<int>(Rows->Int64(0));
                return;
            }
        }
    });
}

// ---- Creation by class name ----------------------------------------------------------------

TInterfacePtr<IInterface> CreateBean(const std::shared_ptr<TServerContext>& Context,
                                     const std::string& ClassName) {
    IInterface* Object = nullptr;
    if (ClassName == "TCmsShfBean")
        Object = new TCmsBean<ICmsShf>(Context, CmsShfStore(), Priv_ViewCmsShf, Priv_ModifyCmsShf);
    else if (ClassName == "TCmsQtyBean")
        Object = new TCmsBean<ICmsQty>(Context, CmsQtyStore(), Priv_ViewCmsQty, Priv_ModifyCmsQty);
    else if (ClassName == "TCmsValBean")
        Object = new TCmsBean<ICmsVal>(Context, CmsValStore(), Priv_ViewCmsVal, Priv_ModifyCmsVal);
    else if (ClassName == "TCmsRsBean")
        Object = new TCmsBean<ICmsRs>(Context, CmsRsStore(), Priv_ViewCmsRs, Priv_ModifyCmsRs);
    else if (ClassName == "TWorkTimetableBean")
        Object = new TWorkTimetableBean(Context);
    return TInterfacePtr<IInterface>(Object);
}

} // namespace orv::server
