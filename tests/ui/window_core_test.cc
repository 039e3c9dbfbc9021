#include <gtest/gtest.h>

#include <vector>

#include "animation_test_support.h"
#include "control_test_support.h"
#include "ui/core/animation_manager.h"

namespace ui {
namespace {

TEST(WindowCoreTest, NamesAreRegisteredAndForgottenWithTheirControls) {
  HeadlessWindowFixture fixture;
  auto* root = new VBox;
  auto* first = new Control;
  first->SetName(L"item");
  root->Add(first);
  fixture.Attach(root);
  Window* window = fixture.window();
  EXPECT_EQ(window->FindControl(L"item"), first);
  EXPECT_EQ(window->FindControl(L"ITEM"), nullptr);

  auto* later = new Control;
  later->SetName(L"item");
  root->Add(later);
  EXPECT_EQ(window->FindControl(L"item"), later);
  EXPECT_EQ(window->FindSubControlByName(root, L"ITEM"), first);

  // Deleting the replaced one leaves the entry of the later one alone.
  root->SetDelayedDestroy(false);
  root->Remove(first);
  EXPECT_EQ(window->FindControl(L"item"), later);
  root->Remove(later);
  EXPECT_EQ(window->FindControl(L"item"), nullptr);
}

TEST(WindowCoreTest, OptionGroupsRefuseDuplicatesAndDropEmptyGroups) {
  HeadlessWindowFixture fixture;
  auto* root = fixture.Attach(new VBox);
  auto* a = new Control;
  auto* b = new Control;
  root->Add(a);
  root->Add(b);
  Window* window = fixture.window();
  EXPECT_TRUE(window->AddOptionGroup(L"g", a));
  EXPECT_FALSE(window->AddOptionGroup(L"g", a));
  EXPECT_TRUE(window->AddOptionGroup(L"g", b));
  ASSERT_NE(window->GetOptionGroup(L"g"), nullptr);
  EXPECT_EQ(window->GetOptionGroup(L"g")->size(), 2u);
  window->RemoveOptionGroup(L"g", a);
  EXPECT_EQ(window->GetOptionGroup(L"g")->size(), 1u);
  // A deleted member leaves its group too.
  root->SetDelayedDestroy(false);
  root->Remove(b);
  EXPECT_EQ(window->GetOptionGroup(L"g"), nullptr);
}

// The first painted frame is announced once, after the paint, and posts
// nothing of its own.
TEST(WindowCoreTest, FirstFrameIsAnnouncedOnceAfterThePaint) {
  class FrameCountingWindow : public Window {
   public:
    void OnFirstFrame() override {
      ++frames;
      painted_before = GetNativeWindow() != nullptr &&
                       static_cast<HeadlessWindow*>(GetNativeWindow())->GetPresentCount() > 0;
    }
    int frames = 0;
    bool painted_before = false;
  };
  InstallTestRenderFactory();
  auto native = std::make_unique<HeadlessWindow>();
  native->Create(nullptr, L"frames", UiRect(0, 0, 60, 40), false);
  HeadlessWindow* headless = native.get();
  FrameCountingWindow window;
  window.Init(std::move(native));
  window.AttachDialog(new Box);
  headless->RunPendingTasks();
  EXPECT_EQ(window.frames, 0);
  const size_t tasks = headless->GetPendingTaskCount();
  headless->PaintAll();
  EXPECT_EQ(window.frames, 1);
  EXPECT_TRUE(window.painted_before);
  EXPECT_EQ(headless->GetPendingTaskCount(), tasks);
  headless->PaintAll();
  headless->RunPendingTasks();
  EXPECT_EQ(window.frames, 1);
}

TEST(WindowCoreTest, ResourcePathAlwaysEndsInASeparator) {
  Window window;
  window.SetResourcePath(L"basic");
  EXPECT_EQ(window.GetResourcePath(), L"basic/");
  window.SetResourcePath(L"msgbox\\");
  EXPECT_EQ(window.GetResourcePath(), L"msgbox\\");
  window.SetResourcePath(L"");
  EXPECT_EQ(window.GetResourcePath(), L"");
}

TEST(WindowCoreTest, TitleComesFromTheLanguageStrings) {
  HeadlessWindowFixture fixture;
  GlobalManager::LoadLanguageData("STRID_WINDOW_CORE_TITLE = Corvane\n");
  fixture.window()->SetWindowTextId(L"STRID_WINDOW_CORE_TITLE");
  EXPECT_EQ(fixture.headless()->GetTitle(), L"Corvane");
  fixture.window()->SetWindowTextId(L"STRID_MISSING_TITLE");
  EXPECT_EQ(fixture.headless()->GetTitle(), L"");
  GlobalManager::ClearLanguageStrings();
}

TEST(WindowCoreTest, AutoSizedRootSizesTheWindowToItsContent) {
  HeadlessWindowFixture fixture(CSize(300, 300));
  auto* root = new VBox;
  root->SetAttribute(L"width", L"auto");
  root->SetAttribute(L"height", L"auto");
  auto* content = new Control;
  content->SetFixedWidth(50);
  content->SetFixedHeight(30);
  root->Add(content);
  fixture.Attach(root);
  EXPECT_EQ(fixture.headless()->GetClientSize(), CSize(50, 30));
  EXPECT_EQ(root->GetPos(), UiRect(0, 0, 50, 30));
}

TEST(WindowCoreTest, OnlyControlsThatAskedAreLaidOutAgain) {
  HeadlessWindowFixture fixture(CSize(100, 100));
  auto* root = new VBox;
  auto* top = new VBox;
  top->SetFixedHeight(40);
  auto* inner = new Control;
  inner->SetFixedHeight(10);
  top->Add(inner);
  auto* bottom = new Control;
  root->Add(top);
  root->Add(bottom);
  fixture.Attach(root);
  ASSERT_EQ(inner->GetPos(), UiRect(0, 0, 100, 10));
  int resized_bottom = 0;
  bottom->AttachEvent(kEventResize, [&](const EventArgs&) {
    ++resized_bottom;
    return true;
  });
  inner->SetFixedHeight(25);
  EXPECT_TRUE(fixture.window()->IsNeedLayout());
  fixture.Paint();
  EXPECT_FALSE(fixture.window()->IsNeedLayout());
  EXPECT_EQ(inner->GetPos(), UiRect(0, 0, 100, 25));
  EXPECT_EQ(resized_bottom, 0);
  EXPECT_EQ(bottom->GetPos(), UiRect(0, 40, 100, 100));
}

TEST(WindowCoreTest, HoverShowsTheTooltipAndLeavingEndsTheHover) {
  HeadlessWindowFixture fixture;
  auto* root = fixture.Attach(new VBox);
  auto* tipped = new Control;
  tipped->SetFixedHeight(30);
  tipped->SetToolTipText(L"hello");
  tipped->SetToolTipWidth(120);
  auto* plain = new Control;
  root->Add(tipped);
  root->Add(plain);
  fixture.Paint();
  std::vector<int32_t> kinds;
  tipped->AttachEvent(kEventAll, [&](const EventArgs& args) {
    kinds.push_back(args.type);
    return true;
  });
  HeadlessWindow* native = fixture.headless();
  native->MouseMove(CPoint(10, 10));
  EXPECT_TRUE(native->Hover(CPoint(10, 10)));
  EXPECT_TRUE(native->IsToolTipVisible());
  EXPECT_EQ(native->GetToolTipText(), L"hello");
  EXPECT_EQ(native->GetToolTipMaxWidth(), 120);
  EXPECT_EQ(native->GetToolTipRect(), tipped->GetPos());

  native->MouseLeave();
  EXPECT_FALSE(native->IsToolTipVisible());
  EXPECT_EQ(fixture.window()->GetEventHover(), nullptr);
  EXPECT_EQ(kinds, (std::vector<int32_t>{kEventMouseEnter, kEventMouseMove, kEventSetCursor,
                                         kEventMouseHover, kEventMouseLeave}));

  native->MouseMove(CPoint(10, 50));
  EXPECT_TRUE(native->Hover(CPoint(10, 50)));
  EXPECT_FALSE(native->IsToolTipVisible());
}

TEST(WindowCoreTest, FocusLossReleasesAControlThatAskedForIt) {
  HeadlessWindowFixture fixture;
  auto* root = fixture.Attach(new VBox);
  auto* thumb = new TestButton;
  thumb->SetButtonUpOnFocusLoss(true);
  root->Add(thumb);
  fixture.Paint();
  HeadlessWindow* native = fixture.headless();
  native->ButtonDown(CPoint(5, 5));
  EXPECT_TRUE(thumb->IsButtonHeld());
  native->LoseFocus();
  EXPECT_FALSE(thumb->IsButtonHeld());
  EXPECT_FALSE(native->HasCapture());
  EXPECT_EQ(fixture.window()->GetClickControl(), nullptr);
  EXPECT_EQ(thumb->activations, 1);
}

TEST(WindowCoreTest, LayeredWindowFadesInAfterTheFirstLayout) {
  ManualTimerService timers;
  HeadlessWindowFixture fixture(CSize(80, 40), true);
  auto* root = new VBox;
  root->GetAnimationManager().SetTimerManager(timers.manager());
  fixture.window()->AttachDialog(root);
  fixture.headless()->PaintAll();
  EXPECT_EQ(root->GetAlpha(), 255);
  EXPECT_LT(fixture.headless()->GetOpacity(), 255);
  timers.Tick(125);
  EXPECT_GT(fixture.window()->GetWindowAlpha(), 0);
  EXPECT_LT(fixture.window()->GetWindowAlpha(), 255);
  timers.Tick(125);
  EXPECT_EQ(fixture.window()->GetWindowAlpha(), 255);
  EXPECT_EQ(fixture.headless()->GetOpacity(), 255);
  EXPECT_EQ(root->GetAlpha(), 255);
}

TEST(WindowCoreTest, ClosingRunsWindowHandlersAndDestructionFreesPendingControls) {
  bool dead = false;
  int closes = 0;
  {
    HeadlessWindowFixture fixture;
    auto* root = fixture.Attach(new VBox);
    auto* child = new Control;
    child->SetUserData(std::make_unique<DeathFlag>(&dead));
    root->Add(child);
    fixture.window()->AttachWindowEvent(kEventWindowClose, [&](const EventArgs& args) {
      EXPECT_EQ(args.type, kEventWindowClose);
      ++closes;
      return true;
    });
    fixture.window()->AttachWindowEvent(kEventAll, [&](const EventArgs&) {
      ++closes;
      return true;
    });
    root->Remove(child);
    EXPECT_FALSE(dead);
    fixture.headless()->Close();
    EXPECT_FALSE(fixture.headless()->IsValid());
    EXPECT_EQ(closes, 2);
  }
  EXPECT_TRUE(dead);
}

}  // namespace
}  // namespace ui
