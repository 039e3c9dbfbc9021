// The window builder on markup text and files: window settings in document
// order, classes, includes, hooks and skin events.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "tests/ui/layout_test_support.h"
#include "ui/core/shadow_box.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

// Skin files in a fresh folder that is the resource root while it lives.
class SkinFolder {
 public:
  SkinFolder() {
    path_ = std::filesystem::temp_directory_path() /
            ("builder_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(path_);
    GlobalManager::SetResourceRoot(nbase::UTF8ToWide(path_.string()));
  }
  ~SkinFolder() {
    GlobalManager::SetResourceRoot(L"");
    std::filesystem::remove_all(path_);
  }
  void Write(const std::string& name, const std::wstring& text) {
    std::ofstream(path_ / name) << nbase::WideToUTF8(text);
  }

 private:
  std::filesystem::path path_;
};

std::vector<std::wstring> DataIds(const Box* box) {
  std::vector<std::wstring> ids;
  for (Control* c : box->GetItems()) ids.push_back(c->GetDataId());
  return ids;
}

// The default shadow (attached, 14 a side) is in force for a "size" read
// before any shadow attribute; a later corner counts from then on.
TEST(BuilderWindowTest, ShadowSidesCountOnlyForAttributesReadAfterTheCorner) {
  for (const bool size_first : {true, false}) {
    SkinWindow w;
    const std::wstring attrs = size_first ? LR"(size="400,300" shadowcorner="10,10,10,10")"
                                          : LR"(shadowcorner="10,10,10,10" size="400,300")";
    WindowBuilder builder;
    std::unique_ptr<Control> root(
        builder.Build(L"<Window " + attrs + L" mininfo=\"80,0\"><VBox/></Window>", {}, w.window()));
    const Window::SkinAttributes& skin = w.window()->GetSkinAttributes();
    EXPECT_EQ(skin.init_size, size_first ? CSize(428, 328) : CSize(420, 320));
    // Min info comes after the corner in both orders; a zero stays zero.
    EXPECT_EQ(skin.min_info, CSize(100, 0));
    EXPECT_EQ(w.window()->GetShadowCorner(), UiRect(10, 10, 10, 10));
    EXPECT_EQ(skin.shadow_corner_unscaled, UiRect(10, 10, 10, 10));
  }
}

TEST(BuilderWindowTest, WindowAttributesAreScaledAndSizeResizesTheNativeWindow) {
  GlobalManager::SetAdaptDPI(true);
  GlobalManager::SetDPIScale(150);
  SkinWindow w;
  WindowBuilder builder;
  std::unique_ptr<Control> root(
      builder.Build(LR"(<Window size="100,50" caption="0,0,0,30" sizebox="4,4,4,4"
      roundcorner="4,4" shadowattached="false" shadowimage="x.png" custom_shadow="2,2,2,2"
      unknown="1"><VBox/></Window>)",
                    {}, w.window()));
  GlobalManager::SetDPIScale(100);
  GlobalManager::SetAdaptDPI(false);
  const Window::SkinAttributes& skin = w.window()->GetSkinAttributes();
  // "size" comes before "shadowattached": the default corner, 21 a side at
  // 150 %, is still counted.
  EXPECT_EQ(skin.init_size, CSize(150 + 42, 75 + 42));
  EXPECT_EQ(w.native()->GetClientSize(), CSize(192, 117));
  EXPECT_EQ(skin.caption, UiRect(0, 0, 0, 45));
  EXPECT_EQ(skin.size_box, UiRect(4, 4, 4, 4));
  EXPECT_EQ(skin.round_corner, CSize(6, 6));
  EXPECT_FALSE(w.window()->IsShadowAttached());
  EXPECT_FALSE(skin.use_default_shadow_image);
  EXPECT_EQ(skin.shadow_image, L"x.png");
  EXPECT_EQ(w.window()->GetAlphaFixCorner(), UiRect(3, 3, 3, 3));
}

TEST(BuilderWindowTest, DefaultShadowCornerIsScaledWhenTheWindowIsMade) {
  for (const int scale : {100, 150, 200}) {
    SCOPED_TRACE(scale);
    GlobalManager::SetAdaptDPI(true);
    GlobalManager::SetDPIScale(scale);
    SkinWindow w;
    WindowBuilder builder;
    std::unique_ptr<Control> root(builder.Build(
        LR"(<Window size="600,400" mininfo="300,0"><Box/></Window>)", {}, w.window()));
    GlobalManager::SetDPIScale(100);
    GlobalManager::SetAdaptDPI(false);
    const int side = 14 * scale / 100;
    EXPECT_TRUE(w.window()->IsShadowAttached());
    EXPECT_EQ(w.window()->GetShadowCorner(), UiRect(side, side, side, side));
    const Window::SkinAttributes& skin = w.window()->GetSkinAttributes();
    EXPECT_EQ(skin.shadow_corner_restore, UiRect(side, side, side, side));
    EXPECT_EQ(skin.shadow_corner_unscaled, UiRect(14, 14, 14, 14));
    EXPECT_EQ(skin.init_size, CSize(600 * scale / 100 + 2 * side, 400 * scale / 100 + 2 * side));
    EXPECT_EQ(skin.min_info, CSize(300 * scale / 100 + 2 * side, 0));
  }
}

TEST(BuilderWindowTest, DetachedShadowAddsNoSidesAndNoShadowBox) {
  SkinWindow w;
  WindowBuilder builder;
  Control* root = builder.Build(
      LR"(<Window shadowattached="false" size="600,400" maxinfo="800,0"><Box/></Window>)", {},
      w.window());
  ASSERT_NE(root, nullptr);
  const Window::SkinAttributes& skin = w.window()->GetSkinAttributes();
  EXPECT_EQ(skin.init_size, CSize(600, 400));
  EXPECT_EQ(skin.max_info, CSize(800, 0));
  EXPECT_EQ(w.window()->AttachShadow(root), root);
  EXPECT_EQ(w.window()->GetShadowBox(), nullptr);
  w.window()->AttachDialog(root);
  w.native()->SetWindowRect(UiRect(0, 0, 600, 400), false);
  w.Layout();
  EXPECT_EQ(root->GetPos(), UiRect(0, 0, 600, 400));
  EXPECT_EQ(root->GetPos(false), UiRect(0, 0, 600, 400));
}

TEST(BuilderWindowTest, ShadowBoxWrapsTheRootAndGrowsItsFixedSizeOnly) {
  SkinWindow w(CSize(100, 100));
  WindowBuilder builder;
  Control* root = builder.Build(
      LR"(<Window size="340,180"><VBox width="340" height="auto"><Control height="40"/>
      </VBox></Window>)",
      {}, w.window());
  ASSERT_NE(root, nullptr);
  Control* wrapped = w.window()->AttachShadow(root);
  auto* box = dynamic_cast<ShadowBox*>(wrapped);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(w.window()->GetShadowBox(), box);
  EXPECT_EQ(box->GetFixedWidth(), 368);
  EXPECT_EQ(box->GetFixedHeight(), kLengthAuto);
  EXPECT_EQ(box->GetLayout()->GetPadding(), UiRect(14, 14, 14, 14));
  EXPECT_EQ(root->GetBorderRound(), CSize(3, 3));
  EXPECT_EQ(box->GetBkImage(), w.window()->GetSkinAttributes().shadow_image);
  w.window()->AttachDialog(wrapped);
  w.Layout();
  // The auto-sized window takes the shadow box's size, the root sits inside.
  EXPECT_EQ(w.native()->GetClientSize(), CSize(368, 68));
  EXPECT_EQ(root->GetPos(), UiRect(14, 14, 354, 54));
  EXPECT_EQ(root->GetPos(false), UiRect(0, 0, 340, 40));
}

TEST(BuilderWindowTest, OwnShadowImageAndCornerAreUsedWithoutTheRoundBorder) {
  SkinWindow w;
  WindowBuilder builder;
  Control* root = builder.Build(
      LR"(<Window shadowimage="own.png" shadowcorner="5,6,7,8" size="100,50"><Box width="stretch"/>
      </Window>)",
      {}, w.window());
  ASSERT_NE(root, nullptr);
  std::unique_ptr<Control> wrapped(w.window()->AttachShadow(root));
  auto* box = dynamic_cast<ShadowBox*>(wrapped.get());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(w.window()->GetSkinAttributes().init_size, CSize(112, 64));
  EXPECT_EQ(box->GetFixedWidth(), kLengthStretch);
  EXPECT_EQ(box->GetLayout()->GetPadding(), UiRect(5, 6, 7, 8));
  EXPECT_EQ(box->GetBkImage(), L"own.png");
  EXPECT_EQ(root->GetBorderRound(), CSize());
}

TEST(BuilderWindowTest, ClassBeforeAnOwnAttributeLosesAndAfterItWins) {
  GlobalManager::AddClass(L"builder_test_red", LR"(bkcolor="red" dataid="from_class")");
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<Class name="local" value="bkcolor=&quot;green&quot;"/>
      <VBox><Control name="a" class="builder_test_red" bkcolor="blue"/>
      <Control name="b" bkcolor="blue" class="builder_test_red"/>
      <Control name="c" class="local"/><Control name="d" class="builder_test_red local"/>
      </VBox>)")));
  GlobalManager::ClearClasses();
  EXPECT_EQ(w.Find(L"a")->GetBkColor(), L"blue");
  EXPECT_EQ(w.Find(L"a")->GetDataId(), L"from_class");
  EXPECT_EQ(w.Find(L"b")->GetBkColor(), L"red");
  EXPECT_EQ(w.Find(L"c")->GetBkColor(), L"green");
  EXPECT_EQ(w.Find(L"d")->GetBkColor(), L"green");
  EXPECT_EQ(w.window()->GetClassAttributes(L"local"), LR"(bkcolor="green")");
}

TEST(BuilderWindowTest, IncludesBuildTheirSourceCountTimesInPlace) {
  SkinFolder folder;
  folder.Write("part.xml",
               LR"(<?xml version="1.0"?><Window><Control dataid="p1"/>
      <Control dataid="p2"/></Window>)");
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox name="host"><Control dataid="x"/>
      <Include source="part.xml" count="2"/><Control dataid="y"/>
      <Include source="part.xml" count="2"/><Include source="part.xml" count="none"/>
      <Include count="3"/><Include source="missing.xml"/></VBox>)")));
  const std::vector<std::wstring> expected = {L"x", L"p1", L"p2", L"p1", L"p2",
                                              L"y", L"p1", L"p2", L"p1", L"p2"};
  EXPECT_EQ(DataIds(w.Find<Box>(L"host")), expected);
}

TEST(BuilderWindowTest, SelfIncludingFileStopsInsteadOfRecursingForever) {
  SkinFolder folder;
  folder.Write("self.xml",
               LR"(<Window><VBox dataid="level"><Include source="self.xml"/></VBox></Window>)");
  SkinWindow w;
  Control* root = w.Build(L"self.xml");
  ASSERT_NE(root, nullptr);
  int depth = 0;
  for (Box* box = dynamic_cast<Box*>(root); box && box->GetCount() > 0;
       box = dynamic_cast<Box*>(box->GetItemAt(0))) {
    ++depth;
  }
  EXPECT_GT(depth, 1);
  EXPECT_LT(depth, 64);
}

TEST(BuilderWindowTest, HookThenCallbackSupplyUnknownTagsWithAttributesAndChildren) {
  std::vector<std::wstring> asked;
  GlobalManager::SetCreateControlCallback([&asked](const std::wstring& tag) -> Control* {
    asked.push_back(L"hook:" + tag);
    return tag == L"HookBox" ? new HBox() : nullptr;
  });
  SkinWindow w;
  ASSERT_TRUE(w.Build(WindowSkin(LR"(<VBox><HookBox name="hb" height="20"><Control
      name="inner"/></HookBox><CallbackCtl name="cb"/><Mystery name="gone"><Control
      name="lost"/></Mystery><Label name="label_later"/></VBox>)"),
                      [&asked](const std::wstring& tag) -> Control* {
                        asked.push_back(L"callback:" + tag);
                        return tag == L"CallbackCtl" ? new Control() : nullptr;
                      }));
  GlobalManager::SetCreateControlCallback({});
  w.Layout();
  EXPECT_NE(w.Find<HBox>(L"hb"), nullptr);
  EXPECT_EQ(w.Pos(L"hb").GetHeight(), 20);
  ASSERT_NE(w.Find(L"inner"), nullptr);
  EXPECT_EQ(w.Find(L"inner")->GetParent(), w.Find<Box>(L"hb"));
  EXPECT_NE(w.Find(L"cb"), nullptr);
  EXPECT_EQ(w.Find(L"gone"), nullptr);
  EXPECT_EQ(w.Find(L"lost"), nullptr);
  EXPECT_EQ(asked.front(), L"hook:HookBox");
  EXPECT_EQ(asked[1], L"hook:CallbackCtl");
  EXPECT_EQ(asked[2], L"callback:CallbackCtl");
}

TEST(BuilderWindowTest, ChildrenOfANonBoxEndThatLevelButTheControlStays) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox name="v"><Control name="p"><Control
      name="c"/><Control name="c2"/></Control><Control name="after"/></VBox>)")));
  EXPECT_NE(w.Find(L"p"), nullptr);
  EXPECT_EQ(w.Find(L"c"), nullptr);
  EXPECT_EQ(w.Find(L"c2"), nullptr);
  EXPECT_NE(w.Find(L"after"), nullptr);
  EXPECT_EQ(w.Find<Box>(L"v")->GetCount(), 2u);
}

TEST(BuilderWindowTest, MarkupTextNeedsNoFileAndBadInputReturnsNothing) {
  GlobalManager::SetResourceRoot(L"/nonexistent/skin/root");
  SkinWindow w;
  EXPECT_NE(w.Build(WindowSkin(LR"(<VBox name="root"/>)")), nullptr);
  WindowBuilder missing;
  EXPECT_EQ(missing.Build(L"nothing_here.xml", {}, w.window()), nullptr);
  WindowBuilder broken;
  EXPECT_EQ(broken.Build(L"<Window><VBox></Window>", {}, w.window()), nullptr);
  EXPECT_NE(std::wstring(broken.GetMarkup()->GetLastErrorMessage()), L"");
  WindowBuilder empty;
  EXPECT_EQ(empty.Build(LR"(<Window><Class name="a" value=""/></Window>)", {}, w.window()),
            nullptr);
  GlobalManager::SetResourceRoot(L"");
}

TEST(BuilderWindowTest, ExistingRootBoxTakesTheFirstElementsAttributesAndChildren) {
  SkinWindow w;
  auto root = std::make_unique<VBox>();
  root->SetWindow(w.window());
  WindowBuilder builder;
  Control* result = builder.Build(WindowSkin(LR"(<Font name="x"/><HBox name="top"
      dataid="d" padding="1,2,3,4"><Control name="k"/></HBox><Control name="later"/>)"),
                                  {}, w.window(), nullptr, root.get());
  EXPECT_EQ(result, root.get());
  EXPECT_EQ(root->GetName(), L"top");
  EXPECT_EQ(root->GetDataId(), L"d");
  EXPECT_EQ(root->GetLayout()->GetPadding(), UiRect(1, 2, 3, 4));
  ASSERT_EQ(root->GetCount(), 1u);
  EXPECT_EQ(root->GetItemAt(0)->GetName(), L"k");
}

}  // namespace
}  // namespace ui
