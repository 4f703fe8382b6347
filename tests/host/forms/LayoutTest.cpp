// The layout of a window's controls, as the component model works it out for any backend.
#include "HeadlessFixture.h"

#include "host/forms/ComCtrls.h"
#include "host/forms/StdCtrls.h"

#include <map>

using namespace orv;

namespace {

// A screen that measures: the sizes its toolkit would give controls without one, and the
// border of a titled box.
class TMeasuringWidgetSet : public THeadlessWidgetSet {
public:
    std::map<const TControl*, TSize> Preferred;
    std::map<const TWinControl*, TInsets> Insets;

    TSize PreferredSize(const TControl* Control) override {
        auto It = Preferred.find(Control);
        return It == Preferred.end() ? TSize{} : It->second;
    }
    TInsets ClientInsets(const TWinControl* Container) override {
        auto It = Insets.find(Container);
        return It == Insets.end() ? TInsets{} : It->second;
    }
};

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override { WS.Install(); }
    void TearDown() override {
        Application->FreeForms();
        WS.Uninstall();
        for (const std::string& F : WS.Failures())
            ADD_FAILURE() << F;
    }

    template <class T> T* Add(TWinControl* Parent, TAlign Align, TBounds Designed = {}) {
        auto* C = new T(Form);
        C->SetBounds(Designed.Left, Designed.Top, Designed.Width, Designed.Height);
        C->SetAlign(Align);
        C->SetParent(Parent);
        return C;
    }

    TMeasuringWidgetSet WS;
    TCustomForm* Form = new TCustomForm(Application);
};

TEST_F(LayoutTest, AlignedControlsShareTheWindowAndFollowItsSize) {
    Form->SetClientWidth(400);
    Form->SetClientHeight(300);
    auto* Bar = Add<TToolBar>(Form, TAlign::alTop);
    auto* Top = Add<TPanel>(Form, TAlign::alTop, {0, 0, 0, 20});
    auto* Status = Add<TPanel>(Form, TAlign::alBottom, {0, 0, 0, 24});
    auto* Tree = Add<TPanel>(Form, TAlign::alLeft, {0, 0, 90, 0});
    auto* Side = Add<TPanel>(Form, TAlign::alRight, {0, 0, 70, 0});
    auto* Grid = Add<TPanel>(Form, TAlign::alClient);
    auto* Inner = Add<TPanel>(Grid, TAlign::alClient);
    WS.Preferred[Bar] = {33, 26}; // a tool bar is as high as its buttons
    EXPECT_FALSE(Grid->Placed()) << "nothing is placed before the window has a size";

    Form->Show();
    // Top to bottom, then left to right, the rest to the client control; the order the
    // controls were made in (the bar first, the bottom strip before the sides) decides.
    EXPECT_EQ(Form->Placement(), (TBounds{0, 0, 400, 300})) << "the window opens at its designed size";
    EXPECT_EQ(Bar->Placement(), (TBounds{0, 0, 400, 26}));
    EXPECT_EQ(Top->Placement(), (TBounds{0, 26, 400, 20}));
    EXPECT_EQ(Status->Placement(), (TBounds{0, 276, 400, 24}));
    EXPECT_EQ(Tree->Placement(), (TBounds{0, 46, 90, 230}));
    EXPECT_EQ(Side->Placement(), (TBounds{330, 46, 70, 230}));
    EXPECT_EQ(Grid->Placement(), (TBounds{90, 46, 240, 230}));
    EXPECT_EQ(Inner->Placement(), (TBounds{0, 0, 240, 230})) << "a container lays out its own children";
    EXPECT_GT(WS.ChangeCount(Grid, TPropertyId::Placement), 0) << "the backend hears of the placement";

    WS.UserResizeWindow(Form, 600, 500);
    EXPECT_EQ(Status->Placement(), (TBounds{0, 476, 600, 24}));
    EXPECT_EQ(Side->Placement(), (TBounds{530, 46, 70, 430}));
    EXPECT_EQ(Inner->Placement(), (TBounds{0, 0, 440, 430}));

    // A hidden control gives its room to the others; shown again, it takes it back.
    Top->Hide();
    EXPECT_EQ(Grid->Placement(), (TBounds{90, 26, 440, 450}));
    Top->Show();
    EXPECT_EQ(Grid->Placement(), (TBounds{90, 46, 440, 430}));
    Tree->SetWidth(150);
    EXPECT_EQ(Grid->Placement(), (TBounds{150, 46, 380, 430})) << "a designed size change lays out again";

    // Too small a window: aligned controls shrink to what is left, never below nothing.
    WS.UserResizeWindow(Form, 100, 60);
    EXPECT_EQ(Status->Placement(), (TBounds{0, 46, 100, 14}));
    EXPECT_EQ(Tree->Placement(), (TBounds{0, 46, 100, 0}));
    EXPECT_EQ(Grid->Placement(), (TBounds{100, 46, 0, 0}));
}

TEST_F(LayoutTest, AnchoredControlsKeepTheirDistanceToTheEdgesTheyAreAnchoredTo) {
    Form->SetClientWidth(400);
    Form->SetClientHeight(200);
    auto* Fixed = Add<TOrvMeEdit>(Form, TAlign::alNone, {10, 10, 100, 20});
    auto* Right = Add<TBitBtn>(Form, TAlign::alNone, {300, 170, 80, 24});
    Right->SetAnchors({TAnchorKind::akRight, TAnchorKind::akBottom});
    auto* Wide = Add<TOrvMeEdit>(Form, TAlign::alNone, {10, 40, 380, 20});
    Wide->SetAnchors({TAnchorKind::akLeft, TAnchorKind::akTop, TAnchorKind::akRight});
    auto* Tall = Add<TPanel>(Form, TAlign::alNone, {10, 70, 100, 90});
    Tall->SetAnchors({TAnchorKind::akLeft, TAnchorKind::akTop, TAnchorKind::akBottom});
    // A label is at least as large as its text.
    auto* Caption = Add<TLabel>(Form, TAlign::alNone, {330, 10, 40, 12});
    Caption->SetAnchors({TAnchorKind::akTop, TAnchorKind::akRight});
    WS.Preferred[Caption] = {60, 14};
    Form->Show();

    EXPECT_EQ(Fixed->Placement(), (TBounds{10, 10, 100, 20}));
    EXPECT_EQ(Right->Placement(), (TBounds{300, 170, 80, 24}));
    EXPECT_EQ(Wide->Placement(), (TBounds{10, 40, 380, 20}));
    EXPECT_EQ(Tall->Placement(), (TBounds{10, 70, 100, 90}));
    EXPECT_EQ(Caption->Placement(), (TBounds{330, 10, 60, 14}));

    WS.UserResizeWindow(Form, 600, 300);
    EXPECT_EQ(Fixed->Placement(), (TBounds{10, 10, 100, 20})) << "left and top anchors keep the place";
    EXPECT_EQ(Right->Placement(), (TBounds{500, 270, 80, 24}));
    EXPECT_EQ(Wide->Placement(), (TBounds{10, 40, 580, 20}));
    EXPECT_EQ(Tall->Placement(), (TBounds{10, 70, 100, 190}));
    EXPECT_EQ(Caption->Placement(), (TBounds{530, 10, 60, 14})) << "grown to its text, it keeps its right edge";

    // Without a designed size the anchored controls keep their places relative to one
    // another, 8 pixels in from the edge.
    Form->SetClientWidth(0);
    Form->SetClientHeight(0);
    EXPECT_EQ(Right->Placement(), (TBounds{502, 268, 80, 24}));
    EXPECT_EQ(Caption->Placement(), (TBounds{532, 10, 60, 14}));
    EXPECT_EQ(Wide->Placement(), (TBounds{10, 40, 582, 20}));
}

TEST_F(LayoutTest, ControlsWithoutASizeTakeWhatTheBackendMeasures) {
    Form->SetClientWidth(300);
    Form->SetClientHeight(200);
    auto* Box = Add<TGroupBox>(Form, TAlign::alClient);
    auto* Strip = Add<TPanel>(Box, TAlign::alTop);
    auto* List = Add<TPanel>(Box, TAlign::alClient);
    auto* Free = Add<TBitBtn>(Box, TAlign::alNone, {5, 150, 0, 0});
    WS.Insets[Box] = {2, 16, 2, 2}; // a titled box keeps its aligned controls below the title
    WS.Preferred[Strip] = {50, 22};
    WS.Preferred[Free] = {75, 25};
    Form->Show();

    EXPECT_EQ(Box->Placement(), (TBounds{0, 0, 300, 200}));
    EXPECT_EQ(Strip->Placement(), (TBounds{2, 16, 296, 22}));
    EXPECT_EQ(List->Placement(), (TBounds{2, 38, 296, 160}));
    EXPECT_EQ(Free->Placement(), (TBounds{5, 150, 75, 25})) << "its designed place, its measured size";

    // A control made later, under a window already laid out, is placed as it arrives.
    auto* Late = new TPanel(Form);
    Late->SetHeight(30);
    Late->SetAlign(TAlign::alBottom);
    Late->SetParent(Box);
    EXPECT_TRUE(WS.HasHandle(Late));
    EXPECT_EQ(Late->Placement(), (TBounds{2, 168, 296, 30}));
    EXPECT_EQ(List->Placement(), (TBounds{2, 38, 296, 130}));
    Late->SetParent(nullptr);
    EXPECT_EQ(List->Placement(), (TBounds{2, 38, 296, 160})) << "a control that leaves gives its room back";
}

} // namespace
