#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "animation_test_support.h"
#include "base/string_util.h"
#include "control_test_support.h"
#include "render_test_support.h"
#include "temp_folder_test_support.h"
#include "ui/core/animation_manager.h"

namespace ui {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kBlue = 0xFF0000FF;

// A 10 x 10 control whose background has one solid frame per colour, already
// loaded, on the manual clock.
void SetUpAnimated(Control* control, ManualTimerService* timers, const std::wstring& image,
                   const std::vector<uint32_t>& colours, const std::vector<int>& delays) {
  control->GetAnimationManager().SetTimerManager(timers->manager());
  control->SetPos(UiRect(0, 0, 10, 10));
  control->SetBkImage(image);
  auto info = std::make_shared<ImageInfo>();
  info->SetSize(10, 10);
  for (uint32_t colour : colours) info->AddFrame(render_test::SolidFrame(10, 10, colour));
  info->SetFrameDelays(delays);
  control->GetBkImageRecord().SetImageInfo(info);
}

uint32_t PixelAt(IRenderContext* context, int x, int y) {
  return context->GetPixelImage()->GetPixel(x, y);
}

class ControlPaintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallTestRenderFactory();
    GlobalManager::AddTextColor(L"paint_white", kWhite);
    GlobalManager::AddTextColor(L"paint_red", kRed);
    GlobalManager::AddTextColor(L"paint_green", kGreen);
    GlobalManager::AddTextColor(L"paint_blue", kBlue);
    GlobalManager::AddTextColor(L"paint_half_red", 0x80FF0000);
    ASSERT_TRUE(folder_.IsValid());
    dir_ = folder_.path();
    WritePng("red.png", 24, 16, kRed);
    WritePng("red_copy.png", 24, 16, kRed);
    GlobalManager::SetResourceRoot(nbase::UTF8ToWide(dir_));
    GlobalManager::SetImageLoader(MakeSkinImageLoader());
    context_ = GlobalManager::GetRenderFactory()->CreateRenderContext();
    context_->Resize(40, 30);
  }
  void TearDown() override {
    GlobalManager::SetImageLoader(nullptr);
    GlobalManager::SetResourceRoot(L"");
    GlobalManager::SetAdaptDPI(false);
    GlobalManager::SetDPIScale(100);
  }

  void WritePng(const std::string& name, int width, int height, uint32_t argb) {
    ASSERT_TRUE(WritePngFile(*render_test::SolidFrame(width, height, argb), dir_ + "/" + name));
  }

  testing::TempFolder folder_{"control_paint_"};
  std::string dir_;
  std::unique_ptr<IRenderContext> context_;
};

TEST_F(ControlPaintTest, AlphaZeroPaintsNothingChildrenIncludedButKeepsLayout) {
  HeadlessWindowFixture fixture(CSize(100, 60));
  auto* root = new VBox;
  root->SetBkColor(L"paint_white");
  auto* hidden = new VBox;
  hidden->SetFixedHeight(20);
  hidden->SetBkColor(L"paint_red");
  hidden->SetAttribute(L"alpha", L"0");
  auto* grandchild = new Control;
  grandchild->SetBkColor(L"paint_blue");
  hidden->Add(grandchild);
  auto* below = new Control;
  below->SetFixedHeight(20);
  below->SetBkColor(L"paint_green");
  root->Add(hidden);
  root->Add(below);
  fixture.Attach(root);

  HeadlessWindow* native = fixture.headless();
  EXPECT_EQ(hidden->GetPos(), UiRect(0, 0, 100, 20));
  EXPECT_EQ(below->GetPos(), UiRect(0, 20, 100, 40));
  EXPECT_EQ(native->GetPixel(50, 10), kWhite);
  EXPECT_EQ(native->GetPixel(50, 30), kGreen);

  hidden->SetAlpha(255);
  fixture.Paint();
  EXPECT_EQ(native->GetPixel(50, 10), kBlue);
}

TEST_F(ControlPaintTest, TranslucentBackgroundFillsTheWholeItemOpaqueOnlyThePaintRect) {
  Control translucent;
  translucent.SetPos(UiRect(0, 0, 40, 20));
  translucent.SetBkColor(L"paint_half_red");
  translucent.Paint(context_.get(), UiRect(0, 0, 10, 20));
  EXPECT_EQ(AlphaOf(PixelAt(context_.get(), 30, 10)), 0x80);
  EXPECT_EQ(AlphaOf(PixelAt(context_.get(), 5, 10)), 0x80);

  context_->Clear();
  Control opaque;
  opaque.SetPos(UiRect(0, 0, 40, 20));
  opaque.SetBkColor(L"paint_red");
  opaque.Paint(context_.get(), UiRect(0, 0, 10, 20));
  EXPECT_EQ(PixelAt(context_.get(), 5, 10), kRed);
  EXPECT_EQ(PixelAt(context_.get(), 30, 10), 0u);
}

TEST_F(ControlPaintTest, UniformBorderOfTwoCoversTwoPixelsOnEachSide) {
  Control control;
  control.SetPos(UiRect(10, 10, 30, 20));
  control.SetBorderColor(L"paint_red");
  control.SetAttribute(L"bordersize", L"2");
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  for (int x : {10, 11, 28, 29}) EXPECT_EQ(PixelAt(context_.get(), x, 15), kRed) << x;
  for (int x : {9, 12, 27, 30}) EXPECT_EQ(PixelAt(context_.get(), x, 15), 0u) << x;
  for (int y : {10, 11, 18, 19}) EXPECT_EQ(PixelAt(context_.get(), 20, y), kRed) << y;
  for (int y : {9, 12, 17, 20}) EXPECT_EQ(PixelAt(context_.get(), 20, y), 0u) << y;
}

TEST_F(ControlPaintTest, LeftBorderOnlyIsOnePixelShorterAtItsFarEnd) {
  Control control;
  control.SetPos(UiRect(10, 10, 30, 20));
  control.SetBorderColor(L"paint_red");
  control.SetAttribute(L"bordersize", L"1,0,0,0");
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  for (int y = 10; y < 19; ++y) EXPECT_EQ(PixelAt(context_.get(), 10, y), kRed) << y;
  EXPECT_EQ(PixelAt(context_.get(), 10, 19), 0u);
  EXPECT_EQ(PixelAt(context_.get(), 11, 15), 0u);
  EXPECT_EQ(PixelAt(context_.get(), 20, 10), 0u);
  EXPECT_EQ(PixelAt(context_.get(), 29, 15), 0u);
}

TEST_F(ControlPaintTest, HotFadeOfSameFileImagesDrawsOnceWithBlendedFade) {
  Control control;
  control.SetPos(UiRect(0, 0, 24, 16));
  control.SetStateImage(kControlStateNormal, L"file='red.png' fade='255'");
  control.SetStateImage(kControlStateHot, L"file='red.png' fade='100'");
  ASSERT_NE(control.GetAnimationManager().GetAnimationPlayer(kAnimationHot), nullptr);

  control.SetHotAlpha(255);
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_EQ(AlphaOf(PixelAt(context_.get(), 5, 5)), 100);

  context_->Clear();
  control.SetHotAlpha(0);
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_EQ(AlphaOf(PixelAt(context_.get(), 5, 5)), 255);

  // Halfway: 100 * 128 / 255 + (1 - 128 / 255) * 255 = 177.
  context_->Clear();
  control.SetHotAlpha(128);
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_NEAR(AlphaOf(PixelAt(context_.get(), 5, 5)), 177, 1);

  // Different files: the normal image, then the hot one over it.
  context_->Clear();
  control.SetStateImage(kControlStateHot, L"file='red_copy.png' fade='100'");
  control.SetHotAlpha(255);
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_EQ(AlphaOf(PixelAt(context_.get(), 5, 5)), 255);
}

TEST_F(ControlPaintTest, StateImageFallbacksWithoutTheHotFade) {
  Control control;
  control.SetPos(UiRect(0, 0, 24, 16));
  control.SetStateImage(kControlStateNormal, L"file='red.png' fade='40'");
  control.SetStateImage(kControlStateHot, L"file='red.png' fade='100'");
  control.SetAttribute(L"fadehot", L"false");
  // Hot shows at once with its own fade.
  control.SetState(kControlStateHot);
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_EQ(AlphaOf(PixelAt(context_.get(), 5, 5)), 100);
  // Pushed without a pushed image: the hot image at full strength.
  context_->Clear();
  control.SetState(kControlStatePushed);
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_EQ(AlphaOf(PixelAt(context_.get(), 5, 5)), 255);
  // Disabled without a disabled image: the normal image.
  context_->Clear();
  control.SetState(kControlStateDisabled);
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_EQ(AlphaOf(PixelAt(context_.get(), 5, 5)), 40);
}

TEST_F(ControlPaintTest, DestAndSourcePlaceThePictureInsideTheItem) {
  Control control;
  control.SetPos(UiRect(4, 4, 34, 24));
  control.SetBkImage(L"file='red.png' dest='2,3,12,8' source='0,0,4,4'");
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_EQ(PixelAt(context_.get(), 6, 7), kRed);
  EXPECT_EQ(PixelAt(context_.get(), 15, 11), kRed);
  EXPECT_EQ(PixelAt(context_.get(), 5, 7), 0u);
  EXPECT_EQ(PixelAt(context_.get(), 16, 7), 0u);
  EXPECT_EQ(PixelAt(context_.get(), 6, 12), 0u);
  // A missing file draws nothing and reports it.
  Image missing;
  missing.SetImageString(L"nothing_here.png");
  EXPECT_FALSE(control.DrawImage(context_.get(), missing));
}

TEST_F(ControlPaintTest, TranslucentControlIsBlendedWithItsChildren) {
  HeadlessWindowFixture fixture(CSize(60, 40));
  auto* root = new VBox;
  root->SetBkColor(L"paint_white");
  auto* half = new VBox;
  half->SetAlpha(128);
  auto* child = new Control;
  child->SetBkColor(L"paint_blue");
  half->Add(child);
  root->Add(half);
  fixture.Attach(root);
  uint32_t pixel = fixture.headless()->GetPixel(30, 20);
  EXPECT_EQ(AlphaOf(pixel), 255);
  EXPECT_NEAR(RedOf(pixel), 127, 2);
  EXPECT_NEAR(GreenOf(pixel), 127, 2);
  EXPECT_EQ(BlueOf(pixel), 255);
  EXPECT_EQ(half->GetCacheContext(), nullptr);
}

TEST_F(ControlPaintTest, AutoSizeFollowsTheImageOrFixesItselfFromTheSource) {
  Control from_picture;
  from_picture.SetAttribute(L"width", L"auto");
  from_picture.SetAttribute(L"height", L"auto");
  from_picture.SetBkImage(L"red.png");
  EXPECT_EQ(from_picture.EstimateSize(CSize(500, 500)), CSize(24, 16));
  EXPECT_EQ(from_picture.GetFixedWidth(), kLengthAuto);

  GlobalManager::SetAdaptDPI(true);
  GlobalManager::SetDPIScale(150);
  Control from_source;
  from_source.SetAttribute(L"width", L"auto");
  from_source.SetAttribute(L"height", L"auto");
  from_source.SetBkImage(L"file='red.png' source='0,0,10,8'");
  EXPECT_EQ(from_source.EstimateSize(CSize(500, 500)), CSize(15, 12));
  EXPECT_EQ(from_source.GetFixedWidth(), 15);
  EXPECT_EQ(from_source.GetFixedHeight(), 12);
}

TEST_F(ControlPaintTest, BackgroundFramesPlayTheirCountThenStopOnTheLastFrame) {
  ManualTimerService timers;
  Control control;
  SetUpAnimated(&control, &timers, L"file='anim.gif' playcount='2'", {kRed, kGreen, kBlue},
                {100, 100, 200});
  int stopped = 0;
  control.AttachBkImageAnimationStopped([&](const EventArgs& args) {
    EXPECT_EQ(args.type, kEventNone);
    ++stopped;
    return true;
  });

  // The first paint starts the animation and draws nothing.
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_TRUE(control.IsBkImageAnimationPlaying());
  EXPECT_EQ(PixelAt(context_.get(), 5, 5), 0u);
  timers.Tick(100);
  EXPECT_EQ(control.GetBkImageRecord().GetCurrentFrame(), 1);
  timers.Tick(100);
  EXPECT_EQ(control.GetBkImageRecord().GetCurrentFrame(), 2);
  // Frame 2 shows for 200 ms: the timer was replaced.
  timers.Tick(100);
  EXPECT_EQ(control.GetBkImageRecord().GetCurrentFrame(), 2);
  timers.Tick(100);
  EXPECT_EQ(control.GetBkImageRecord().GetCurrentFrame(), 0);
  EXPECT_EQ(stopped, 0);
  for (int i = 0; i < 4; ++i) timers.Tick(100);
  EXPECT_EQ(stopped, 1);
  EXPECT_FALSE(control.IsBkImageAnimationPlaying());
  EXPECT_EQ(control.GetBkImageRecord().GetCurrentFrame(), 2);
  for (int i = 0; i < 5; ++i) timers.Tick(100);
  EXPECT_EQ(stopped, 1);

  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_FALSE(control.IsBkImageAnimationPlaying());
  EXPECT_EQ(PixelAt(context_.get(), 5, 5), kBlue);
}

TEST_F(ControlPaintTest, HidingStopsTheBackgroundAnimationAtItsFrame) {
  ManualTimerService timers;
  Control control;
  SetUpAnimated(&control, &timers, L"anim.gif", {kRed, kGreen}, {100, 100});
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  timers.Tick(100);
  ASSERT_EQ(control.GetBkImageRecord().GetCurrentFrame(), 1);
  control.SetVisible(false);
  EXPECT_FALSE(control.IsBkImageAnimationPlaying());
  timers.Tick(100);
  timers.Tick(100);
  EXPECT_EQ(control.GetBkImageRecord().GetCurrentFrame(), 1);
}

TEST_F(ControlPaintTest, HotColourFadesOverTheNormalColour) {
  Control control;
  control.SetPos(UiRect(0, 0, 20, 20));
  control.SetStateColor(kControlStateNormal, L"paint_blue");
  control.SetStateColor(kControlStateHot, L"paint_red");
  control.SetHotAlpha(0);
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_EQ(PixelAt(context_.get(), 5, 5), kBlue);
  control.SetHotAlpha(128);
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  uint32_t mixed = PixelAt(context_.get(), 5, 5);
  EXPECT_NEAR(RedOf(mixed), 128, 2);
  EXPECT_NEAR(BlueOf(mixed), 127, 2);
  // Pushed without a pushed colour shows the hot one.
  control.SetState(kControlStatePushed);
  control.Paint(context_.get(), UiRect(0, 0, 40, 30));
  EXPECT_EQ(PixelAt(context_.get(), 5, 5), kRed);
}

TEST_F(ControlPaintTest, RenderOffsetShiftsPaintingInsideTheClip) {
  HeadlessWindowFixture fixture(CSize(40, 20));
  auto* root = new HBox;
  root->SetBkColor(L"paint_white");
  auto* shifted = new VBox;
  shifted->SetFixedWidth(20);
  auto* content = new Control;
  content->SetFixedWidth(10);
  content->SetBkColor(L"paint_red");
  shifted->Add(content);
  root->Add(shifted);
  fixture.Attach(root);
  EXPECT_EQ(fixture.headless()->GetPixel(5, 5), kRed);
  // The origin moves by the offset: content slides left and is cut at the item.
  shifted->SetRenderOffset(CPoint(5, 0));
  fixture.Paint();
  EXPECT_EQ(fixture.headless()->GetPixel(0, 5), kRed);
  EXPECT_EQ(fixture.headless()->GetPixel(4, 5), kRed);
  EXPECT_EQ(fixture.headless()->GetPixel(6, 5), kWhite);
  shifted->SetRenderOffset(CPoint(-15, 0));
  fixture.Paint();
  EXPECT_EQ(fixture.headless()->GetPixel(16, 5), kRed);
  EXPECT_EQ(fixture.headless()->GetPixel(21, 5), kWhite);
}

TEST_F(ControlPaintTest, CachedControlKeepsItsSurfaceAndRoundClipCutsCorners) {
  HeadlessWindowFixture fixture(CSize(40, 40));
  auto* root = new VBox;
  root->SetBkColor(L"paint_white");
  auto* cached = new VBox;
  cached->SetAttribute(L"cache", L"true");
  cached->SetAttribute(L"borderround", L"16,16");
  cached->SetBkColor(L"paint_red");
  auto* child = new Control;
  child->SetFixedHeight(10);
  child->SetBkColor(L"paint_green");
  cached->Add(child);
  root->Add(cached);
  fixture.Attach(root);
  HeadlessWindow* native = fixture.headless();
  ASSERT_NE(cached->GetCacheContext(), nullptr);
  EXPECT_FALSE(cached->IsCacheDirty());
  EXPECT_EQ(native->GetPixel(20, 20), kRed);
  EXPECT_EQ(native->GetPixel(0, 39), kWhite);
  // Children are painted directly, outside the cached surface.
  EXPECT_EQ(native->GetPixel(20, 5), kGreen);
  cached->SetBkColor(L"paint_blue");
  EXPECT_TRUE(cached->IsCacheDirty());
  fixture.Paint();
  EXPECT_EQ(native->GetPixel(20, 20), kBlue);
}

}  // namespace
}  // namespace ui
