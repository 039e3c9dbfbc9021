// The ATK tree of a skinned GTK window, read in process through the ATK API
// (what the AT-SPI bridge reads), on the tests' Xvfb.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "control_test_support.h"
#include "gtk_test_support.h"
#include "ui/control/check_box.h"
#include "ui/control/label.h"
#include "ui/control/progress.h"
#include "ui/control/tab_box.h"
#include "ui/core/box.h"
#include "ui/host/linux/gtk_accessible.h"

namespace ui {
namespace {

constexpr wchar_t kSkin[] =
    LR"(<Window shadowattached="false" size="320,240">
  <VBox name="body" bkcolor="a11y_bk">
    <Label name="title" width="stretch" height="30" text="标题"/>
    <HBox name="row" height="30">
      <Button name="ok" width="80" height="30" text="立即安装"/>
      <Button name="tip_only" width="30" height="30" tooltiptext="关闭"/>
      <Control name="plain" width="30" height="30"/>
      <CheckBox name="agree" width="80" height="30" text="同意" selected="true"/>
    </HBox>
    <Progress name="bar" width="200" height="10" min="0" max="100" value="20"/>
    <RichEdit name="secret" width="100" height="24" password="true" text="abc"/>
    <TabBox name="pages" height="60">
      <VBox name="page1"><Button name="p1btn" width="60" height="20" text="一"/></VBox>
      <VBox name="page2"><Button name="p2btn" width="60" height="20" text="二"/></VBox>
    </TabBox>
  </VBox>
</Window>)";

// Depth-first search by accessible name.
AtkObject* FindByName(AtkObject* parent, const std::string& name) {
  const gint count = atk_object_get_n_accessible_children(parent);
  for (gint i = 0; i < count; ++i) {
    AtkObject* child = atk_object_ref_accessible_child(parent, i);
    if (!child) continue;
    const gchar* child_name = atk_object_get_name(child);
    AtkObject* found = child_name && name == child_name ? child : FindByName(child, name);
    g_object_unref(child);
    if (found) return found;
  }
  return nullptr;
}

bool HasState(AtkObject* object, AtkStateType state) {
  AtkStateSet* set = atk_object_ref_state_set(object);
  const bool has = atk_state_set_contains_state(set, state);
  g_object_unref(set);
  return has;
}

struct SignalLog {
  std::vector<std::string> entries;
  std::vector<AtkObject*> watched;
  ~SignalLog() {
    for (AtkObject* object : watched) g_signal_handlers_disconnect_by_data(object, this);
  }
  static void OnChildren(AtkObject* /*self*/, guint /*index*/, gpointer child, gpointer data,
                         const char* kind) {
    const gchar* name = atk_object_get_name(ATK_OBJECT(child));
    static_cast<SignalLog*>(data)->entries.push_back(std::string(kind) + ":" + (name ? name : ""));
  }
  static void OnAdd(AtkObject* self, guint index, gpointer child, gpointer data) {
    OnChildren(self, index, child, data, "add");
  }
  static void OnRemove(AtkObject* self, guint index, gpointer child, gpointer data) {
    OnChildren(self, index, child, data, "remove");
  }
  static void OnState(AtkObject* /*self*/, gchar* state, gboolean on, gpointer data) {
    static_cast<SignalLog*>(data)->entries.push_back(std::string(state) + (on ? "+" : "-"));
  }
  static void OnValue(AtkObject* /*self*/, gdouble value, gchar* /*text*/, gpointer data) {
    static_cast<SignalLog*>(data)->entries.push_back("value:" + std::to_string(int(value)));
  }
  static void OnTextInsert(AtkObject* /*self*/, gint pos, gint len, gchar* text, gpointer data) {
    static_cast<SignalLog*>(data)->entries.push_back("insert:" + std::to_string(pos) + "," +
                                                     std::to_string(len) + "," + text);
  }
  static void OnTextRemove(AtkObject* /*self*/, gint pos, gint len, gchar* text, gpointer data) {
    static_cast<SignalLog*>(data)->entries.push_back("remove:" + std::to_string(pos) + "," +
                                                     std::to_string(len) + "," + text);
  }
  // `object` must outlive the log.
  void Watch(AtkObject* object) {
    watched.push_back(object);
    g_signal_connect(object, "children-changed::add", G_CALLBACK(&SignalLog::OnAdd), this);
    g_signal_connect(object, "children-changed::remove", G_CALLBACK(&SignalLog::OnRemove), this);
    g_signal_connect(object, "state-change", G_CALLBACK(&SignalLog::OnState), this);
    if (ATK_IS_VALUE(object)) {
      g_signal_connect(object, "value-changed", G_CALLBACK(&SignalLog::OnValue), this);
    }
    if (ATK_IS_TEXT(object)) {
      g_signal_connect(object, "text-insert", G_CALLBACK(&SignalLog::OnTextInsert), this);
      g_signal_connect(object, "text-remove", G_CALLBACK(&SignalLog::OnTextRemove), this);
    }
  }
  bool Has(const std::string& entry) const {
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
  }
};

class GtkAccessibleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InitGtkForTest()) GTEST_SKIP() << "no private X server (Xvfb)";
    InstallTestRenderFactory();
    GlobalManager::AddTextColor(L"a11y_bk", 0xFFF0F0F0);
    window_ = std::make_unique<MarkupWindow>(kSkin);
    ASSERT_TRUE(window_->Create(nullptr, L"a11y test", UiRect(50, 50, 370, 290)))
        << nbase::WideToUTF8(window_->GetLastError());
    ASSERT_TRUE(window_->ShowAt(50, 50));
    top_ = gtk_widget_get_accessible(window_->gtk()->GetWidget());
    ASSERT_TRUE(top_);
  }
  void TearDown() override {
    for (AtkObject* object : held_) g_object_unref(object);
    if (window_ && window_->GetNativeWindow() && window_->GetNativeWindow()->IsValid()) {
      window_->GetNativeWindow()->Destroy();
    }
    window_.reset();
    PumpFor(20);
  }
  // Found by name and kept alive past its control, as a screen reader would.
  AtkObject* Hold(const std::string& name) {
    AtkObject* object = FindByName(top_, name);
    if (object) held_.push_back(ATK_OBJECT(g_object_ref(object)));
    return object;
  }
  template <typename T>
  T* Find(const wchar_t* name) {
    return dynamic_cast<T*>(window_->FindControl(std::wstring(name)));
  }

  std::unique_ptr<MarkupWindow> window_;
  AtkObject* top_ = nullptr;
  std::vector<AtkObject*> held_;
};

TEST_F(GtkAccessibleTest, ControlsShowWithRoleNameStatesExtentsAndInterfaces) {
  ASSERT_EQ(atk_object_get_n_accessible_children(top_), 1);
  AtkObject* button = Hold("立即安装");
  ASSERT_TRUE(button);
  EXPECT_EQ(atk_object_get_role(button), ATK_ROLE_PUSH_BUTTON);
  EXPECT_TRUE(HasState(button, ATK_STATE_ENABLED));
  EXPECT_TRUE(HasState(button, ATK_STATE_SENSITIVE));
  EXPECT_TRUE(HasState(button, ATK_STATE_FOCUSABLE));
  EXPECT_TRUE(HasState(button, ATK_STATE_SHOWING));
  EXPECT_FALSE(HasState(button, ATK_STATE_FOCUSED));
  ASSERT_TRUE(ATK_IS_ACTION(button));
  EXPECT_STREQ(atk_action_get_name(ATK_ACTION(button), 0), "click");
  EXPECT_FALSE(ATK_IS_VALUE(button));
  EXPECT_EQ(GetAccessibleControl(button), window_->FindControl(std::wstring(L"ok")));

  // The name falls back on the tooltip, then on the control's name.
  AtkObject* tip = Hold("关闭");
  ASSERT_TRUE(tip);
  EXPECT_EQ(atk_object_get_role(tip), ATK_ROLE_PUSH_BUTTON);
  AtkObject* plain = Hold("plain");
  ASSERT_TRUE(plain);
  EXPECT_EQ(atk_object_get_role(plain), ATK_ROLE_PANEL);
  EXPECT_FALSE(ATK_IS_ACTION(plain));

  AtkObject* agree = Hold("同意");
  ASSERT_TRUE(agree);
  EXPECT_EQ(atk_object_get_role(agree), ATK_ROLE_CHECK_BOX);
  EXPECT_TRUE(HasState(agree, ATK_STATE_CHECKED));
  EXPECT_STREQ(atk_action_get_name(ATK_ACTION(agree), 0), "toggle");

  AtkObject* title = Hold("标题");
  ASSERT_TRUE(title);
  EXPECT_EQ(atk_object_get_role(title), ATK_ROLE_LABEL);
  ASSERT_TRUE(ATK_IS_TEXT(title));
  EXPECT_EQ(atk_text_get_character_count(ATK_TEXT(title)), 2);
  gchar* second = atk_text_get_text(ATK_TEXT(title), 1, -1);
  EXPECT_STREQ(second, "题");
  g_free(second);

  AtkObject* bar = Hold("bar");
  ASSERT_TRUE(bar);
  EXPECT_EQ(atk_object_get_role(bar), ATK_ROLE_PROGRESS_BAR);
  ASSERT_TRUE(ATK_IS_VALUE(bar));
  gdouble value = -1;
  atk_value_get_value_and_text(ATK_VALUE(bar), &value, nullptr);
  EXPECT_DOUBLE_EQ(value, 20.0);
  AtkRange* range = atk_value_get_range(ATK_VALUE(bar));
  EXPECT_DOUBLE_EQ(atk_range_get_upper_limit(range), 100.0);
  atk_range_free(range);

  // A password field says what it is and shows its length, never its letters.
  AtkObject* secret = Hold("secret");
  ASSERT_TRUE(secret);
  EXPECT_EQ(atk_object_get_role(secret), ATK_ROLE_PASSWORD_TEXT);
  gchar* stars = atk_text_get_text(ATK_TEXT(secret), 0, -1);
  EXPECT_STREQ(stars, "***");
  g_free(stars);

  // Screen extents: the window's origin plus the control's place in it.
  Control* ok = window_->FindControl(std::wstring(L"ok"));
  const CPoint screen = window_->ToScreen(CPoint(ok->GetPos().left, ok->GetPos().top));
  gint x = 0, y = 0, width = 0, height = 0;
  atk_component_get_extents(ATK_COMPONENT(button), &x, &y, &width, &height, ATK_XY_SCREEN);
  EXPECT_EQ(x, screen.x);
  EXPECT_EQ(y, screen.y);
  EXPECT_EQ(width, 80);
  EXPECT_EQ(height, 30);

  ok->SetFocus();
  EXPECT_TRUE(HasState(button, ATK_STATE_FOCUSED));
  AtkObject* next = Hold("关闭");
  ASSERT_NE(next, nullptr);
  SignalLog log;
  log.Watch(button);
  log.Watch(next);
  ok->SetEnabled(false);
  EXPECT_FALSE(HasState(button, ATK_STATE_ENABLED));
  EXPECT_FALSE(HasState(button, ATK_STATE_SENSITIVE));
  // The focus left the disabled button for the next stop, and a screen reader heard it.
  EXPECT_FALSE(HasState(button, ATK_STATE_FOCUSED));
  EXPECT_TRUE(HasState(next, ATK_STATE_FOCUSED));
  EXPECT_EQ(std::count(log.entries.begin(), log.entries.end(), "focused-"), 1)
      << testing::PrintToString(log.entries);
  EXPECT_EQ(std::count(log.entries.begin(), log.entries.end(), "focused+"), 1);
}

TEST_F(GtkAccessibleTest, ChangesAreAnnouncedAsTheyHappen) {
  AtkObject* agree = Hold("同意");
  AtkObject* bar = Hold("bar");
  AtkObject* title = Hold("标题");
  ASSERT_TRUE(agree && bar && title);
  SignalLog log;
  for (AtkObject* object : {agree, bar, title}) log.Watch(object);

  Find<CheckBox>(L"agree")->Selected(false, true);
  Find<Progress>(L"bar")->SetValue(55);
  Find<Label>(L"title")->SetText(L"标题二");
  window_->FindControl(std::wstring(L"agree"))->SetFocus();
  EXPECT_TRUE(log.Has("checked-")) << testing::PrintToString(log.entries);
  EXPECT_TRUE(log.Has("value:55"));
  EXPECT_TRUE(log.Has("insert:2,1,二"));
  EXPECT_TRUE(log.Has("focused+"));
  Find<Label>(L"title")->SetText(L"标题");
  EXPECT_TRUE(log.Has("remove:2,1,二")) << testing::PrintToString(log.entries);
  EXPECT_STREQ(atk_object_get_name(title), "标题");
}

TEST_F(GtkAccessibleTest, ActionsDoWhatAClickDoes) {
  AtkObject* button = Hold("立即安装");
  AtkObject* agree = Hold("同意");
  ASSERT_TRUE(button && agree);
  int clicks = 0;
  window_->FindControl(std::wstring(L"ok"))->AttachEvent(kEventClick, [&](const EventArgs&) {
    ++clicks;
    return true;
  });
  EXPECT_TRUE(atk_action_do_action(ATK_ACTION(button), 0));
  EXPECT_TRUE(atk_action_do_action(ATK_ACTION(agree), 0));
  EXPECT_TRUE(PumpUntil([&] { return clicks == 1 && !HasState(agree, ATK_STATE_CHECKED); }));
  // A disabled button refuses, as it refuses a click.
  window_->FindControl(std::wstring(L"ok"))->SetEnabled(false);
  EXPECT_FALSE(atk_action_do_action(ATK_ACTION(button), 0));
  PumpFor(30);
  EXPECT_EQ(clicks, 1);
}

TEST_F(GtkAccessibleTest, PageSwitchReplacesTheChildrenAndOldObjectsGoDefunct) {
  AtkObject* pages = Hold("pages");
  ASSERT_TRUE(pages);
  EXPECT_EQ(atk_object_get_role(pages), ATK_ROLE_PAGE_TAB_LIST);
  ASSERT_EQ(atk_object_get_n_accessible_children(pages), 1);
  AtkObject* page1 = Hold("page1");
  AtkObject* p1btn = Hold("一");
  ASSERT_TRUE(page1 && p1btn);
  EXPECT_EQ(atk_object_get_role(page1), ATK_ROLE_PAGE_TAB);
  EXPECT_TRUE(HasState(page1, ATK_STATE_SELECTED));
  EXPECT_FALSE(FindByName(top_, "二"));
  SignalLog log;
  log.Watch(pages);

  ASSERT_TRUE(Find<TabBox>(L"pages")->SelectItem(1));
  EXPECT_TRUE(log.Has("remove:page1")) << testing::PrintToString(log.entries);
  EXPECT_TRUE(log.Has("add:page2"));
  EXPECT_TRUE(HasState(page1, ATK_STATE_DEFUNCT));
  EXPECT_TRUE(HasState(p1btn, ATK_STATE_DEFUNCT));
  EXPECT_EQ(GetAccessibleControl(p1btn), nullptr);
  EXPECT_EQ(atk_object_get_n_accessible_children(pages), 1);
  AtkObject* p2btn = FindByName(top_, "二");
  ASSERT_TRUE(p2btn);
  EXPECT_FALSE(FindByName(top_, "一"));
  EXPECT_FALSE(atk_action_do_action(ATK_ACTION(p1btn), 0));
}

TEST_F(GtkAccessibleTest, NoObjectOutlivesItsControlOrTheWindow) {
  AtkObject* button = Hold("立即安装");
  AtkObject* tip = Hold("关闭");
  AtkObject* row = Hold("row");
  ASSERT_TRUE(button && tip && row);
  GtkWidget* widget = window_->gtk()->GetWidget();
  const size_t before = CountControlAccessibles(widget);
  SignalLog log;
  log.Watch(row);

  Control* ok = window_->FindControl(std::wstring(L"ok"));
  ASSERT_TRUE(dynamic_cast<Box*>(ok->GetParentControl())->Remove(ok));
  EXPECT_TRUE(HasState(button, ATK_STATE_DEFUNCT));
  EXPECT_EQ(log.entries, std::vector<std::string>{"remove:立即安装"});
  EXPECT_EQ(CountControlAccessibles(widget), before - 1);
  EXPECT_EQ(FindControlAccessible(widget, ok), nullptr);
  EXPECT_EQ(atk_object_get_n_accessible_children(row), 3);

  // The window's core deleted while its GTK window still stands: its
  // controls die after the tree let go of them.
  window_.reset();
  PumpFor(20);
  for (AtkObject* object : held_) {
    EXPECT_TRUE(HasState(object, ATK_STATE_DEFUNCT));
    EXPECT_EQ(GetAccessibleControl(object), nullptr);
    EXPECT_EQ(atk_object_get_n_accessible_children(object), 0);
  }
  EXPECT_EQ(atk_object_get_name(tip), nullptr);
  EXPECT_FALSE(atk_action_do_action(ATK_ACTION(tip), 0));
}

TEST_F(GtkAccessibleTest, ClosingTheGtkWindowDefunctsEveryObject) {
  AtkObject* title = Hold("标题");
  AtkObject* p1btn = Hold("一");
  ASSERT_TRUE(title && p1btn);
  GtkWidget* widget = window_->gtk()->GetWidget();
  EXPECT_GE(CountControlAccessibles(widget), 2u);
  window_->GetNativeWindow()->Destroy();
  ASSERT_TRUE(PumpUntil([&] { return window_->destroyed; }));
  for (AtkObject* object : held_) EXPECT_TRUE(HasState(object, ATK_STATE_DEFUNCT));
  // The controls still live (the core is not deleted yet) but no object shows them.
  EXPECT_TRUE(window_->FindControl(std::wstring(L"title")));
  EXPECT_EQ(GetAccessibleControl(title), nullptr);
  window_->FindControl(std::wstring(L"title"))->SetEnabled(false);
  Find<Label>(L"title")->SetText(L"after");
  EXPECT_EQ(atk_object_get_name(title), nullptr);
}

}  // namespace
}  // namespace ui
