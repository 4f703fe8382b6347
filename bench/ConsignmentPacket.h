// The data packet of N consignment rows that the benchmarks load: shop, product class, an
// inclusive date range and a rate, with realistic numbers and Chinese names. Two ranges per
// shop and class.
#pragma once

#include <cstdio>
#include <string>

namespace orv::bench {

inline const char* const Districts[] = {"南京东路", "淮海中路", "徐家汇", "五角场", "陆家嘴", "中山公园",
                                        "静安寺",   "人民广场", "虹桥",   "莘庄",   "七宝",   "大宁",
                                        "张江",     "金桥",     "松江",   "嘉定"};
inline const char* const Goods[] = {"纯棉针织衫", "羊毛围巾", "真丝睡衣", "儿童羽绒服", "运动短袜",
                                    "男士衬衫",   "女式长裙", "牛仔裤",   "保温杯",     "不锈钢餐具",
                                    "陶瓷茶具",   "竹制砧板", "电热水壶", "床上四件套"};

inline std::string MakeConsignmentPacket(int Rows) {
    std::string X =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  <DATAPACKET "
        "Version=\"2.0\"><METADATA>"
        "<FIELDS><FIELD attrname=\"SHOP_ID\" fieldtype=\"fixed\" DECIMALS=\"4\" WIDTH=\"19\"/>"
        "<FIELD attrname=\"SHOP_NUM\" fieldtype=\"string\" WIDTH=\"20\"/>"
        "<FIELD attrname=\"SHOP_NAME\" fieldtype=\"string\" WIDTH=\"50\"/>"
        "<FIELD attrname=\"PROD_CLS_ID\" fieldtype=\"fixed\" DECIMALS=\"0\" WIDTH=\"8\"/>"
        "<FIELD attrname=\"PROD_CLS_NUM\" fieldtype=\"string\" WIDTH=\"25\"/>"
        "<FIELD attrname=\"PROD_NAME\" fieldtype=\"string\" WIDTH=\"50\"/>"
        "<FIELD attrname=\"FROM_DATE\" fieldtype=\"date\"/><FIELD attrname=\"TO_DATE\" fieldtype=\"date\"/>"
        "<FIELD attrname=\"CMS_RATE\" fieldtype=\"fixed\" DECIMALS=\"4\" WIDTH=\"5\"/></FIELDS><PARAMS/>"
        "</METADATA><ROWDATA>";
    X.reserve(static_cast<std::size_t>(Rows) * 260 + 1024);
    char Buf[512];
    const int Classes = 200;
    for (int I = 0; I < Rows; ++I) {
        int Pair = I / 2, Half = I % 2;
        int Shop = Pair / Classes + 1, Cls = Pair % Classes + 1;
        std::snprintf(Buf, sizeof Buf,
                      "<ROW SHOP_ID=\"%d.0000\" SHOP_NUM=\"S%05d\" SHOP_NAME=\"%s%d号店\" PROD_CLS_ID=\"%d\" "
                      "PROD_CLS_NUM=\"P%06d\" PROD_NAME=\"%s（%d型）\" FROM_DATE=\"%s\" TO_DATE=\"%s\" "
                      "CMS_RATE=\"0.%04d\"/>",
                      1000 + Shop, Shop, Districts[Shop % 16], Shop % 97 + 1, 50000 + Cls, Cls,
                      Goods[Cls % 14], Cls % 50 + 1, Half ? "20250701" : "20250101",
                      Half ? "20251231" : "20250630", (I * 37) % 10000);
        X += Buf;
    }
    X += "</ROWDATA></DATAPACKET>";
    return X;
}

} // namespace orv::bench
