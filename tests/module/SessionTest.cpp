// The session and the texts the plug-in stands on.
#include "host/core/SysUtils.h"
#include "host/forms/Cformsres.h"
#include "host/services/Glibres.h"
#include "host/services/SysInfo.h"
#include "module/QuillonRes.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {

class TCounter : public TInterfacedObject<IInterface> {
public:
    explicit TCounter(int& Alive) : FAlive(Alive) { ++FAlive; }
    ~TCounter() override { --FAlive; }

private:
    int& FAlive;
};

} // namespace

TEST(SysInfoTest, CreatesRegisteredClassesAndNamesAnUnknownOne) {
    TSysInfo S;
    int Alive = 0;
    S.RegisterClass("TCounter", [&] { return TInterfacePtr<IInterface>(new TCounter(Alive)); });
    {
        TInterfacePtr<IInterface> Obj = S.CreateObject("TCounter");
        EXPECT_TRUE(Obj);
        EXPECT_EQ(Alive, 1);
    }
    EXPECT_EQ(Alive, 0);
    try {
        S.CreateObject("TMissingBean");
        FAIL();
    } catch (const Exception& E) {
        EXPECT_NE(E.Message().find("TMissingBean"), std::string::npos);
    }
    S.RegisterClass("TNothing", [] { return TInterfacePtr<IInterface>(); });
    EXPECT_THROW(S.CreateObject("TNothing"), Exception);
}

TEST(SysInfoTest, ParametersRightsAndPackOptions) {
    TSysInfo S;
    S.CodeTable()->SetValue("UNIT_ID", "12");
    EXPECT_EQ(S.CodeTable()->GetValue("UNIT_ID"), "12");
    try {
        S.CodeTable()->GetValue("SESSION_ID");
        FAIL();
    } catch (const Exception& E) {
        EXPECT_NE(E.Message().find("SESSION_ID"), std::string::npos);
    }
    // Nothing is granted until the host says how to decide.
    EXPECT_FALSE(S.Authorized("CMS_SHF_VIEW"));
    S.SetAuthorizer([](const std::string& Code) { return Code == "CMS_SHF_VIEW"; });
    EXPECT_TRUE(S.Authorized("CMS_SHF_VIEW"));
    EXPECT_FALSE(S.Authorized("CMS_SHF_MODIFY"));
    S.SetPackOptions({TOrvPackOption::poChecksum});
    EXPECT_TRUE(S.GetPackOptions().Contains(TOrvPackOption::poChecksum));
    EXPECT_FALSE(S.GetPackOptions().Contains(TOrvPackOption::poCompress));
}

TEST(ResourceTest, HostTextsAreFoundUnderTheirOriginalKeys) {
    EXPECT_EQ(LoadResString("_FD_CMS_RS__TO_DATE"), FD_CMS_RS_TO_DATE);
    EXPECT_EQ(LoadResString("_FD_CMS_RS__TO_DATE"), "结束日期");
    EXPECT_EQ(LoadResString("_FD_CMS_SHF__CMS_VAL"), "提成金额");
    EXPECT_EQ(LoadResString("_FD_CMS_VAL__CMS_RATE"), "提成比例");
    EXPECT_EQ(LoadResString("_FD_SHOP__SHOP_NUM"), "门店编号");
    EXPECT_EQ(LoadResString("_FD_PROD_CLS__PROD_CLS_NUM"), "商品品种编号");
    EXPECT_EQ(LoadResString("_FD_CMS_RS__FROM_DATE"), "开始日期");
    EXPECT_EQ(LoadResString("_MSG_CLEAR_LINES_PROMPT"), MSG_CLEAR_LINES_PROMPT);
    for (const char* Key : {"_FD_CMS_QTY__CMS_VAL", "_FD_CMS_RS__CMS_RATE", "_MSG_FIELD_VALUE_IS_REQUIRED"})
        EXPECT_NO_THROW(LoadResString(Key)) << Key;
    EXPECT_THROW(LoadResString("FD_CMS_RS_TO_DATE"), Exception);
    // The required-value message takes exactly the one label.
    EXPECT_EQ(Format(MSG_FIELD_VALUE_IS_REQUIRED, {FD_CMS_RS_CMS_RATE}), "“提成比例”不能为空。");
}

TEST(ResourceTest, TheModulesSevenTextsAreStoredExactly) {
    // Full-width digits U+FF10 and U+FF11, ideographic full stop U+3002, full-width
    // question mark U+FF1F.
    const std::pair<int, const char*> Expected[] = {
        {65520, "\u63d0\u6210\u6bd4\u4f8b\u5fc5\u987b\u5728\uff10\u5230\uff11\u4e4b\u95f4\u3002"},
        {65521, "\u60a8\u786e\u8ba4\u8981\u6e05\u9664\u6240\u6709\u95e8\u5e97\u5417\uff1f"},
        {65522, "\u7ed3\u675f\u65e5\u671f\u5fc5\u987b\u5927\u4e8e\u6216\u8005\u7b49\u4e8e\u5f00\u59cb\u65e5"
                "\u671f\u3002"},
        {65523, "\u975e\u6cd5\u6570\u503c\u3002"},
        {65524, "\u65e5\u671f\u91cd\u53e0\u3002"},
        {65525, "\u95e8\u5e97\u5217\u8868\u4e0d\u80fd\u4e3a\u7a7a\u3002"},
        {65526, "\u5546\u54c1\u54c1\u79cd\u5217\u8868\u4e0d\u80fd\u4e3a\u7a7a\u3002"},
        {65527, "正在添加明细……"},
        {65528, "正在清除明细……"},
    };
    ASSERT_EQ(QuillonResStrings().size(), 9u);
    for (const auto& [Id, Text] : Expected)
        EXPECT_EQ(LoadStr(Id), Text) << Id;
    EXPECT_EQ(MSG_CMS_RATE_OUT_OF_RANGE, 65520);
    EXPECT_EQ(MSG_PROD_CLS_LIST_EMPTY, 65526);
    EXPECT_THROW(LoadStr(65529), Exception);
}
