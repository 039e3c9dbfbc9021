// The host window's own behaviour on the headless native window: shadow box,
// hit test, maximise, system buttons, DPI, skin failures.

#include <gtest/gtest.h>

#include "base/string_util.h"
#include "control_test_support.h"
#include "tests/ui/native_loop_test_support.h"
#include "ui/core/shadow_box.h"
#include "ui/host/window_impl_base.h"

namespace ui {
namespace {

constexpr wchar_t kShadowSkin[] =
    LR"(<Window shadowattached="true" shadowcorner="10,10,10,10" size="300,200" sizebox="4,4,4,4"
    caption="0,0,0,40" shadowimage="">
  <VBox bkcolor="impl_test_bk">
    <HBox height="40">
      <Label name="title" width="stretch" text="title"/>
      <Button name="minbtn" width="30" height="30"/>
      <Button name="maxbtn" width="30" height="30"/>
      <Button name="restorebtn" width="30" height="30" visible="false"/>
      <Button name="closebtn" width="30" height="30"/>
    </HBox>
    <Control name="body"/>
  </VBox>
</Window>)";

class HeadlessHostWindow : public WindowImplBase {
 public:
  explicit HeadlessHostWindow(std::wstring skin) : skin_(std::move(skin)) {
    SetDeleteOnFinal(false);
  }
  std::wstring GetSkinFolder() override { return L""; }
  std::wstring GetSkinFile() override { return skin_; }
  std::wstring GetWindowClassName() const override { return L"HeadlessHost"; }
  void InitWindow() override { ++init_calls; }
  void OnFinalMessage() override {
    WindowImplBase::OnFinalMessage();
    destroyed = true;
  }

  // Creates on a headless native window; `alpha` false stands for no compositor.
  bool Open(bool alpha = true, WindowImplBase* owner = nullptr,
            UiRect rect = UiRect(0, 0, 50, 50)) {
    auto native = std::make_unique<HeadlessWindow>();
    native->SetAlphaChannel(alpha);
    headless = native.get();
    if (!Create(owner, L"host", rect, true, std::move(native))) return false;
    headless->PaintAll();
    return true;
  }

  HeadlessWindow* headless = nullptr;
  int init_calls = 0;
  bool destroyed = false;

 private:
  std::wstring skin_;
};

class WindowImplBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallTestRenderFactory();
    GlobalManager::AddTextColor(L"impl_test_bk", 0xFFFFFFFF);
  }
};

TEST_F(WindowImplBaseTest, ShadowBoxWrapsTheRootAndTheWindowHasTheShadowSides) {
  HeadlessHostWindow window(kShadowSkin);
  ASSERT_TRUE(window.Open()) << nbase::WideToUTF8(window.GetLastError());
  EXPECT_EQ(window.init_calls, 1);
  EXPECT_EQ(window.headless->GetClientSize(), CSize(320, 220));
  Box* shadow = window.GetShadowBox();
  EXPECT_NE(dynamic_cast<ShadowBox*>(shadow), nullptr);
  ASSERT_NE(shadow, nullptr);
  EXPECT_EQ(window.GetRoot(), shadow);
  EXPECT_EQ(shadow->GetLayout()->GetPadding(), UiRect(10, 10, 10, 10));
  ASSERT_EQ(shadow->GetCount(), 1u);
  EXPECT_EQ(shadow->GetItemAt(0)->GetPos(), UiRect(10, 10, 310, 210));
}

TEST_F(WindowImplBaseTest, HitTestFindsBordersCaptionAndClickableControls) {
  HeadlessHostWindow window(kShadowSkin);
  ASSERT_TRUE(window.Open());
  struct Case {
    CPoint point;
    NativeHitTest expected;
  };
  const Case cases[] = {
      {{5, 5}, NativeHitTest::kClient},  // in the shadow: never a sizing code
      {{315, 100}, NativeHitTest::kClient},
      {{11, 11}, NativeHitTest::kTopLeft},
      {{308, 11}, NativeHitTest::kTopRight},
      {{100, 12}, NativeHitTest::kTop},
      {{11, 208}, NativeHitTest::kBottomLeft},
      {{308, 208}, NativeHitTest::kBottomRight},
      {{100, 208}, NativeHitTest::kBottom},
      {{11, 100}, NativeHitTest::kLeft},
      {{308, 100}, NativeHitTest::kRight},
      {{60, 30}, NativeHitTest::kCaption},   // the label drags the window
      {{230, 30}, NativeHitTest::kClient},   // a button there stays clickable
      {{100, 100}, NativeHitTest::kClient},  // below the caption
  };
  for (const Case& c : cases) {
    EXPECT_EQ(window.HitTest(c.point), c.expected) << c.point.x << "," << c.point.y;
  }
}

TEST_F(WindowImplBaseTest, MaximiseDropsTheShadowAndSizingBordersAndRestoreBringsThemBack) {
  HeadlessHostWindow window(kShadowSkin);
  ASSERT_TRUE(window.Open());
  window.GetNativeWindow()->SetShowState(NativeShowState::kMaximize);
  EXPECT_EQ(window.GetShadowBox()->GetLayout()->GetPadding(), UiRect());
  EXPECT_EQ(window.HitTest(CPoint(1, 1)), NativeHitTest::kCaption);
  EXPECT_EQ(window.HitTest(CPoint(100, 200)), NativeHitTest::kClient);
  window.GetNativeWindow()->SetShowState(NativeShowState::kRestore);
  EXPECT_EQ(window.GetShadowBox()->GetLayout()->GetPadding(), UiRect(10, 10, 10, 10));
  EXPECT_EQ(window.HitTest(CPoint(11, 11)), NativeHitTest::kTopLeft);
}

TEST_F(WindowImplBaseTest, WithoutPerPixelAlphaTheShadowIsDroppedAndTheWindowKeepsItsContentSize) {
  HeadlessHostWindow window(kShadowSkin);
  ASSERT_TRUE(window.Open(false));
  EXPECT_EQ(window.headless->GetClientSize(), CSize(300, 200));
  EXPECT_EQ(window.GetShadowBox()->GetLayout()->GetPadding(), UiRect());
  EXPECT_EQ(window.GetShadowBox()->GetItemAt(0)->GetPos(), UiRect(0, 0, 300, 200));
}

TEST_F(WindowImplBaseTest, AFixedWidthAutoHeightRootLosesTheShadowSidesWithoutAlpha) {
  // A message-box-like skin: the window takes the root's fixed width and the
  // height of its content.
  constexpr wchar_t kFixedWidthSkin[] =
      LR"(<Window shadowattached="true" shadowcorner="10,10,10,10" size="300,150" shadowimage="">
  <VBox width="300" height="auto" bkcolor="impl_test_bk"><Control height="70"/></VBox>
</Window>)";
  for (const bool alpha : {false, true}) {
    SCOPED_TRACE(alpha ? "with alpha" : "without alpha");
    HeadlessHostWindow window(kFixedWidthSkin);
    ASSERT_TRUE(window.Open(alpha));
    const int sides = alpha ? 20 : 0;
    EXPECT_EQ(window.headless->GetClientSize(), CSize(300 + sides, 70 + sides));
    EXPECT_EQ(window.GetShadowBox()->GetItemAt(0)->GetPos(),
              UiRect(sides / 2, sides / 2, 300 + sides / 2, 70 + sides / 2));
  }
}

// A window repaints only what changed; a repaint inside the root that reaches
// one of its round corners still shows the shadow there, as the whole frame does.
TEST_F(WindowImplBaseTest, APartialRepaintAtARoundCornerOfTheRootKeepsTheShadowThere) {
  GlobalManager::AddTextColor(L"impl_test_shadow", 0xFF204060);
  HeadlessHostWindow window(kShadowSkin);
  ASSERT_TRUE(window.Open());
  Box* shadow = window.GetShadowBox();
  ASSERT_NE(shadow, nullptr);
  shadow->SetBkColor(L"impl_test_shadow");
  shadow->GetItemAt(0)->SetBorderRound(CSize(6, 6));
  window.headless->PaintAll();
  // The root spans (10, 10)-(310, 210); its bottom-left corner pixel is
  // mostly the shadow's, opaque, the root's white blended in.
  const uint32_t corner = window.headless->GetPixel(10, 209);
  const uint32_t inside = window.headless->GetPixel(20, 200);
  EXPECT_EQ(inside, 0xFFFFFFFFu);
  EXPECT_EQ(corner >> 24, 0xFFu);
  EXPECT_LT(corner & 0xFF, 0xFFu);
  window.Invalidate(UiRect(10, 150, 100, 210));
  EXPECT_EQ(window.headless->GetUpdateRect(), UiRect(10, 150, 100, 210));
  ASSERT_TRUE(window.headless->PaintPending());
  EXPECT_EQ(window.headless->GetPixel(10, 209), corner);
  EXPECT_EQ(window.headless->GetPixel(20, 200), inside);
}

TEST_F(WindowImplBaseTest, SystemButtonsAreWiredByName) {
  HeadlessHostWindow window(kShadowSkin);
  ASSERT_TRUE(window.Open());
  Control* max = window.FindControl(std::wstring(L"maxbtn"));
  Control* restore = window.FindControl(std::wstring(L"restorebtn"));
  const CPoint max_at(max->GetPos().left + 5, max->GetPos().top + 5);
  window.headless->Click(max_at);
  EXPECT_TRUE(window.headless->IsMaximized());
  testing::PumpNativeEventsUntil([&] { return !max->IsVisible() && restore->IsVisible(); });
  EXPECT_FALSE(max->IsVisible());
  EXPECT_TRUE(restore->IsVisible());
  window.headless->PaintAll();
  window.headless->Click(CPoint(restore->GetPos().left + 5, restore->GetPos().top + 5));
  EXPECT_FALSE(window.headless->IsMaximized());

  Control* min = window.FindControl(std::wstring(L"minbtn"));
  testing::PumpNativeEventsUntil([&] { return max->IsVisible(); });
  window.headless->PaintAll();
  window.headless->Click(CPoint(min->GetPos().left + 5, min->GetPos().top + 5));
  EXPECT_TRUE(window.headless->IsMinimized());
  window.GetNativeWindow()->SetShowState(NativeShowState::kRestore);
  window.headless->PaintAll();

  // Close fades out first; the window goes after the delay.
  Control* close = window.FindControl(std::wstring(L"closebtn"));
  window.headless->Click(CPoint(close->GetPos().left + 5, close->GetPos().top + 5));
  EXPECT_FALSE(window.destroyed);
  testing::PumpNativeEventsUntil([&] { return window.destroyed; });
  EXPECT_TRUE(window.destroyed);
  EXPECT_EQ(window.GetCloseResult(), WindowImplBase::kIdOk);
}

TEST_F(WindowImplBaseTest, SkinThatFailsToBuildLeavesNoWindowAndSaysWhy) {
  HeadlessHostWindow broken(
      LR"(<Window shadowattached="false" size="300,200"><VBox><Label></VBox></Window>)");
  EXPECT_FALSE(broken.Open());
  EXPECT_NE(broken.GetLastError().find(L"Failed to load xml file"), std::wstring::npos);
  EXPECT_GT(broken.GetLastError().size(), std::wstring(L"Failed to load xml file ").size() + 40);
  EXPECT_FALSE(broken.headless->IsValid());
  EXPECT_FALSE(broken.destroyed);  // nothing of it reached the handlers

  HeadlessHostWindow missing(L"no/such/skin.xml");
  EXPECT_FALSE(missing.Open());
  EXPECT_NE(missing.GetLastError().find(L"no/such/skin.xml"), std::wstring::npos);
}

TEST_F(WindowImplBaseTest, BoxIsCentredOnItsOwnerWhichIsDisabledUntilItCloses) {
  HeadlessHostWindow owner(kShadowSkin);
  ASSERT_TRUE(owner.Open(true, nullptr, UiRect(100, 100, 150, 150)));
  HeadlessHostWindow box(LR"(<Window shadowattached="false" size="100,60"><VBox/></Window>)");
  ASSERT_TRUE(box.Open(true, &owner));
  box.ShowModalFake(&owner);
  EXPECT_FALSE(owner.GetNativeWindow()->IsEnabled());
  EXPECT_EQ(box.GetNativeWindow()->GetWindowRect(), UiRect(210, 180, 310, 240));
  box.Close(WindowImplBase::kIdCancel);
  EXPECT_TRUE(owner.GetNativeWindow()->IsEnabled());
  EXPECT_TRUE(owner.GetNativeWindow()->HasFocus());
}

// The owner may go while its box is open or fading out: the box then has no
// owner to give the focus back to, and never reaches the one that was.
TEST_F(WindowImplBaseTest, BoxOutlivingItsOwnerForgetsIt) {
  constexpr wchar_t kBoxSkin[] =
      LR"(<Window shadowattached="false" size="100,60"><VBox/></Window>)";
  for (const bool fading : {true, false}) {
    SCOPED_TRACE(fading ? "owner gone while the box fades out"
                        : "owner gone while the box is open");
    auto owner = std::make_unique<HeadlessHostWindow>(kShadowSkin);
    ASSERT_TRUE(owner->Open(true, nullptr, UiRect(100, 100, 150, 150)));
    HeadlessHostWindow box(kBoxSkin);
    ASSERT_TRUE(box.Open(true, owner.get()));
    box.ShowModalFake(owner.get());
    ASSERT_EQ(box.GetNativeWindow()->GetOwner(), owner->GetNativeWindow());
    if (fading) box.Close(WindowImplBase::kIdCancel);
    owner->GetNativeWindow()->Destroy();
    owner.reset();
    EXPECT_EQ(box.GetNativeWindow()->GetOwner(), nullptr);
    if (!fading) box.Close(WindowImplBase::kIdCancel);
    testing::PumpNativeEventsUntil([&] { return box.destroyed; });
    EXPECT_TRUE(box.destroyed);
  }
}

TEST_F(WindowImplBaseTest, DpiChangeRescalesTheShadowFromItsUnscaledCorner) {
  GlobalManager::SetAdaptDPI(true);
  GlobalManager::SetDPIScale(100);
  HeadlessHostWindow window(kShadowSkin);
  ASSERT_TRUE(window.Open());
  window.OnNativeDpiChanged(144);
  EXPECT_EQ(GlobalManager::GetDPIScale(), 150);
  EXPECT_EQ(window.GetShadowCorner(), UiRect(15, 15, 15, 15));
  EXPECT_EQ(window.GetShadowBox()->GetLayout()->GetPadding(), UiRect(15, 15, 15, 15));
  GlobalManager::SetDPIScale(100);
  GlobalManager::SetAdaptDPI(false);
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

TEST_F(WindowImplBaseTest, ActiveWindowRestoresOrShowsAndFocusesAndTitleReachesTheTaskbar) {
  HeadlessHostWindow window(kShadowSkin);
  ASSERT_TRUE(window.Open());
  window.SetTaskbarTitle(L"Corvane");
  EXPECT_EQ(window.headless->GetTitle(), L"Corvane");

  window.GetNativeWindow()->SetShowState(NativeShowState::kMinimize);
  window.ActiveWindow();
  EXPECT_FALSE(window.headless->IsMinimized());

  EXPECT_FALSE(window.headless->IsVisible());
  window.ActiveWindow();
  EXPECT_TRUE(window.headless->IsVisible());
  EXPECT_TRUE(window.headless->HasFocus());
}

}  // namespace
}  // namespace ui
