#include "server/DemoData.h"

#include "host/core/DateUtils.h"
#include "host/core/SysUtils.h"
#include "server/CmsBeans.h"

#include <array>
#include <cstdio>
#include <optional>
#include <random>
#include <tuple>

namespace orv::server {

namespace {

// std::mt19937's output is fixed by the standard (unlike the distributions), so the
// demo data is the same on every platform.
class TDemoRandom {
public:
    explicit TDemoRandom(std::uint32_t Seed) : FGen(Seed) {}
    int Below(int N) { return static_cast<int>(FGen() % static_cast<std::uint32_t>(N)); }
    int Between(int Low, int High) { return Low + Below(High - Low + 1); }

private:
    std::mt19937 FGen;
};

constexpr std::uint32_t DemoSeed = 20240101;

struct TRegion {
    const char* Num;
    const char* Name;
    std::array<const char*, 7> Shops;
};

// Shops listed under their region; a null entry ends a shorter list.
constexpr std::array<TRegion, 3> Regions = {{
    {"R01", "华东区", {"南京东路店", "淮海中路店", "徐家汇店", "西湖店", "新街口店", "观前街店", "鼓楼店"}},
    {"R02", "华北区", {"王府井店", "西单店", "中关村店", "和平路店", "五四广场店", "中街店", "太原街店"}},
    {"R03", "华南区", {"天河城店", "北京路店", "东门店", "华强北店", "春熙路店", "解放碑店", nullptr}},
}};

struct TSort {
    const char* Description;
    std::array<const char*, 2> Products;
};

constexpr std::array<TSort, 30> Sorts = {{
    {"食品", {"饼干", "巧克力"}},   {"饮料", {"矿泉水", "果汁"}},       {"酒类", {"葡萄酒", "啤酒"}},
    {"茶叶", {"绿茶", "红茶"}},     {"日化", {"洗衣液", "洗洁精"}},     {"洗护", {"洗发水", "沐浴露"}},
    {"化妆品", {"面霜", "口红"}},   {"男装", {"衬衫", "西裤"}},         {"女装", {"连衣裙", "针织衫"}},
    {"鞋帽", {"运动鞋", "遮阳帽"}}, {"箱包", {"旅行箱", "双肩包"}},     {"家电", {"电饭煲", "电风扇"}},
    {"数码", {"耳机", "移动电源"}}, {"通讯器材", {"手机壳", "充电线"}}, {"文具", {"中性笔", "笔记本"}},
    {"图书", {"童书", "菜谱"}},     {"玩具", {"积木", "拼图"}},         {"母婴", {"纸尿裤", "奶瓶"}},
    {"家居", {"收纳盒", "靠垫"}},   {"厨具", {"炒锅", "刀具"}},         {"床上用品", {"四件套", "羽绒被"}},
    {"五金", {"螺丝刀", "卷尺"}},   {"运动户外", {"瑜伽垫", "帐篷"}},   {"珠宝首饰", {"银手镯", "珍珠项链"}},
    {"钟表", {"石英表", "闹钟"}},   {"眼镜", {"太阳镜", "老花镜"}},     {"保健品", {"维生素", "蛋白粉"}},
    {"生鲜", {"苹果", "鸡蛋"}},     {"粮油", {"大米", "花生油"}},       {"宠物用品", {"猫粮", "狗粮"}},
}};

// Five of these go with each product, so every category has ten classes.
constexpr std::array<const char*, 10> Variants = {"经典", "精选", "特级", "家庭装", "礼盒装",
                                                  "迷你", "无糖", "进口", "有机",   "限量版"};

struct TShift {
    int Id;
    const char* Name;
    int Start, End; // minutes after midnight
};

constexpr std::array<TShift, 3> Shifts = {
    {{1, "早班", 7 * 60, 15 * 60}, {2, "中班", 15 * 60, 23 * 60}, {3, "晚班", 23 * 60, 7 * 60}}};

std::string Numbered(const char* Prefix, int N, int Digits) {
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "%s%0*d", Prefix, Digits, N);
    return Buf;
}

void AddUnit(TStore& Db, int Id, std::optional<int> Parent, const std::string& Num, const std::string& Name,
             const char* Type) {
    TStatementLease Insert = Db.Prepare("INSERT INTO units (unit_id, parent_id, unit_num, unit_name, "
                                        "unit_type) VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT DO NOTHING");
    Insert->Bind(1, Id);
    if (Parent)
        Insert->Bind(2, *Parent);
    else
        Insert->BindNull(2);
    Insert->Bind(3, Num).Bind(4, Name).Bind(5, Type);
    Insert->Execute();
}

void AddUser(TStore& Db, const char* Name, const char* Display, const char* PasswordHash,
             std::initializer_list<const char*> Rights) {
    TStatementLease User =
        Db.Prepare("INSERT INTO users (user_name, display_name, unit_id) VALUES (?1, ?2, ?3)");
    User->Bind(1, Name).Bind(2, Display).Bind(3, Sys_GlobalUnitID);
    User->Execute();
    TStatementLease Password =
        Db.Prepare("INSERT INTO user_passwords (user_name, password_hash) VALUES (?1, ?2)");
    Password->Bind(1, Name).Bind(2, PasswordHash);
    Password->Execute();
    for (const char* Right : Rights) {
        TStatementLease Grant =
            Db.Prepare("INSERT INTO user_privileges (user_name, privilege) VALUES (?1, ?2)");
        Grant->Bind(1, Name).Bind(2, Right);
        Grant->Execute();
    }
}

std::vector<int> QueryIds(TStore& Db, const char* Sql) {
    std::vector<int> Ids;
    TStatementLease Query = Db.Prepare(Sql);
    while (Query->Step())
        Ids.push_back(static_cast<int>(Query->Int64(0)));
    return Ids;
}

// Consignment rows as a shop keeps them over time: each pair of a few shops and classes
// has two to four consecutive ranges from mid-2025 on, now and then with a gap between
// contracts, at rates with four decimals. A pair that has rows already is left alone, so
// the rows are never doubled and a range the user changed never meets a new one.
void AddDemoConsignment(TStore& Db) {
    const std::vector<int> Shops =
        QueryIds(Db, "SELECT unit_id FROM units WHERE unit_type = 'S' ORDER BY unit_id LIMIT 4");
    // The first class of six categories, so the window shows different kinds of goods.
    const std::vector<int> Classes =
        QueryIds(Db, "SELECT min(prod_cls_id) FROM product_classes GROUP BY prod_sort_id ORDER BY 1 LIMIT 6");
    TDemoRandom Random(DemoSeed + 1);
    for (int Shop : Shops)
        for (int Cls : Classes) {
            struct TRange {
                std::int32_t From, To;
                int Rate;
            };
            std::vector<TRange> Ranges;
            std::int32_t From = DayNumber(2025, 7, 1) + Random.Below(60);
            for (int K = Random.Between(2, 4); K > 0; --K) {
                const std::int32_t To = From + Random.Between(60, 180) - 1;
                Ranges.push_back({From, To, Random.Between(150, 3500)});
                From = To + 1 + (Random.Below(3) == 0 ? Random.Between(1, 30) : 0);
            }
            TStatementLease Has = Db.Prepare(
                "SELECT count(*) FROM cms_rs WHERE unit_id = ?1 AND shop_id = ?2 AND prod_cls_id = ?3");
            Has->Bind(1, Sys_GlobalUnitID).Bind(2, Shop).Bind(3, Cls);
            if (Has->Step() && Has->Int64(0) > 0) continue;
            for (const TRange& R : Ranges) {
                TStatementLease Rs =
                    Db.Prepare("INSERT INTO cms_rs (unit_id, shop_id, prod_cls_id, from_date, to_date, "
                               "cms_rate) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
                Rs->Bind(1, Sys_GlobalUnitID).Bind(2, Shop).Bind(3, Cls).Bind(4, R.From).Bind(5, R.To);
                Rs->Bind(6, R.Rate);
                Rs->Execute();
            }
        }
}

} // namespace

void SeedDemoConsignment(TStore& Db) {
    TTransaction Tx(Db);
    AddDemoConsignment(Db);
    Tx.Commit();
}

void SeedDemoData(TStore& Db) {
    TTransaction Tx(Db);
    TDemoRandom Random(DemoSeed);

    AddUnit(Db, Sys_GlobalUnitID, std::nullopt, "C000", "示范零售集团", UnitType_Company);
    std::vector<int> ShopIds;
    int ShopNo = 1;
    for (std::size_t R = 0; R < Regions.size(); ++R) {
        const int RegionId = static_cast<int>(R) + 1;
        AddUnit(Db, RegionId, Sys_GlobalUnitID, Regions[R].Num, Regions[R].Name, UnitType_Region);
        for (const char* Shop : Regions[R].Shops) {
            if (!Shop) break;
            const int Id = 100 + ShopNo;
            AddUnit(Db, Id, RegionId, Numbered("S", ShopNo++, 3), Shop, UnitType_Shop);
            ShopIds.push_back(Id);
        }
    }
    AddUnit(Db, 201, 1, "A001", "华东代理商", UnitType_Agent);
    AddUnit(Db, 202, 3, "A002", "华南代理商", UnitType_Agent);
    ShopIds.push_back(201);

    for (std::size_t S = 0; S < Sorts.size(); ++S) {
        const int SortId = static_cast<int>(S) + 1;
        TStatementLease Sort = Db.Prepare(
            "INSERT INTO product_sorts (prod_sort_id, prod_sort_num, description) VALUES (?1, ?2, ?3)");
        Sort->Bind(1, SortId).Bind(2, Numbered("", SortId, 2)).Bind(3, Sorts[S].Description);
        Sort->Execute();
        for (int K = 0; K < 10; ++K) {
            const int ClsId = SortId * 100 + K + 1;
            const int Serial = static_cast<int>(S) * 10 + K + 1;
            // Each product gets five different variants, picked from the fixed seed.
            const char* Product = Sorts[S].Products[static_cast<std::size_t>(K / 5)];
            const char* Variant = Variants[static_cast<std::size_t>((K % 5) * 2 + Random.Below(2))];
            TStatementLease Cls =
                Db.Prepare("INSERT INTO product_classes (prod_cls_id, prod_cls_num, prod_name, "
                           "prod_sort_id) VALUES (?1, ?2, ?3, ?4)");
            Cls->Bind(1, ClsId).Bind(2, Numbered("P", Serial, 4)).Bind(3, std::string(Variant) + Product);
            Cls->Bind(4, SortId);
            Cls->Execute();
        }
    }

    for (const TShift& S : Shifts) {
        TStatementLease Shift = Db.Prepare(
            "INSERT INTO work_shifts (shf_id, shf_name, start_minute, end_minute) VALUES (?1, ?2, ?3, ?4)");
        Shift->Bind(1, S.Id).Bind(2, S.Name).Bind(3, S.Start).Bind(4, S.End);
        Shift->Execute();
    }

    // The demo passwords ("quillon-admin", "quillon-viewer") hashed once, as HashPassword
    // does: hashing them on every seed would cost each new database a good part of a second.
    AddUser(Db, "admin", "系统管理员",
            "$argon2id$v=19$m=65536,t=2,p=1$to14+imSWVW6se7q+QDCGQ$B/GItErgOtZn09dsNArERkfZtCHOS8LlG31fxoxwPCg",
            {Priv_ViewCmsShf, Priv_ModifyCmsShf, Priv_ViewCmsQty, Priv_ModifyCmsQty, Priv_ViewCmsVal,
             Priv_ModifyCmsVal, Priv_ViewCmsRs, Priv_ModifyCmsRs, Priv_ViewWorkTimetable,
             Priv_ModifyWorkTimetable});
    AddUser(Db, "viewer", "查询员",
            "$argon2id$v=19$m=65536,t=2,p=1$4D+NC81xUT2fs72NEUNVGA$IYn3K2sdD8x2MMtsqrWQxH31ABi+IP0TE/akUbHsz0I",
            {Priv_ViewCmsShf, Priv_ViewCmsQty, Priv_ViewCmsVal, Priv_ViewCmsRs, Priv_ViewWorkTimetable});

    const int Unit = Sys_GlobalUnitID;
    for (const TShift& S : Shifts) {
        TStatementLease Row =
            Db.Prepare("INSERT INTO cms_shf (unit_id, shf_id, cms_val) VALUES (?1, ?2, ?3)");
        Row->Bind(1, Unit).Bind(2, S.Id).Bind(3, Random.Between(30, 120) * 100);
        Row->Execute();
    }
    for (int SortId = 1; SortId <= static_cast<int>(Sorts.size()); SortId += 2) {
        TStatementLease Qty =
            Db.Prepare("INSERT INTO cms_qty (unit_id, prod_sort_id, cms_val) VALUES (?1, ?2, ?3)");
        Qty->Bind(1, Unit).Bind(2, SortId).Bind(3, Random.Between(10, 500) * 10);
        Qty->Execute();
        TStatementLease Val =
            Db.Prepare("INSERT INTO cms_val (unit_id, prod_sort_id, cms_rate) VALUES (?1, ?2, ?3)");
        Val->Bind(1, Unit).Bind(2, SortId).Bind(3, Random.Between(1, 80) * 10);
        Val->Execute();
    }

    AddDemoConsignment(Db);
    Tx.Commit();
}

TLargeData GenerateLargeConsignmentData(TStore& Db, const TLargeDataOptions& Options) {
    constexpr int FirstShopId = 100000, FirstClsId = 100000;
    TLargeData Data;
    Data.FirstDay = DayNumber(2020, 1, 1);
    Data.RangeDays = 90;
    Data.RangeStep = 100;
    Data.FirstFreeDay = Data.FirstDay + Options.RangesPerPair * Data.RangeStep;

    TTransaction Tx(Db);
    const int Region =
        static_cast<int>(Db.QueryInt64("SELECT min(unit_id) FROM units WHERE unit_type = 'R'"));
    for (int I = 0; I < Options.Shops; ++I) {
        TLargeDataRef Shop{FirstShopId + I, Numbered("BS", I + 1, 5), "测试门店" + std::to_string(I + 1)};
        AddUnit(Db, Shop.ID, Region, Shop.Num, Shop.Name, UnitType_Shop);
        Data.Shops.push_back(std::move(Shop));
    }
    const std::int64_t Sort = Db.QueryInt64("SELECT min(prod_sort_id) FROM product_sorts");
    for (int I = 0; I < Options.Classes; ++I) {
        TLargeDataRef Cls{FirstClsId + I, Numbered("BP", I + 1, 5), "测试商品" + std::to_string(I + 1)};
        TStatementLease Insert =
            Db.Prepare("INSERT INTO product_classes (prod_cls_id, prod_cls_num, prod_name, "
                       "prod_sort_id) VALUES (?1, ?2, ?3, ?4) ON CONFLICT DO NOTHING");
        Insert->Bind(1, Cls.ID).Bind(2, Cls.Num).Bind(3, Cls.Name).Bind(4, Sort);
        Insert->Execute();
        Data.Classes.push_back(std::move(Cls));
    }
    // One batch: a server engine then takes the rows without a round trip for each.
    std::vector<TParams> Rows;
    TDemoRandom Random(DemoSeed);
    for (const TLargeDataRef& Shop : Data.Shops)
        for (const TLargeDataRef& Cls : Data.Classes)
            for (int K = 0; K < Options.RangesPerPair; ++K) {
                const std::int32_t From = Data.FirstDay + K * Data.RangeStep;
                Rows.push_back({std::int64_t{Options.UnitID}, std::int64_t{Shop.ID}, std::int64_t{Cls.ID},
                                std::int64_t{From}, std::int64_t{From + Data.RangeDays - 1},
                                std::int64_t{Random.Between(0, 10000)}});
            }
    TStatementLease Rs = Db.Prepare("INSERT INTO cms_rs (unit_id, shop_id, prod_cls_id, from_date, to_date, "
                                    "cms_rate) VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT DO NOTHING");
    for (std::int64_t Changed : Rs->ExecuteMany(Rows))
        Data.Rows += Changed;
    Tx.Commit();
    return Data;
}

} // namespace orv::server
