// The MSAA tree of a skinned Win32 window under Wine: read in process
// through oleacc (what the window answers WM_GETOBJECT with), and from
// another process by the outside client, as a screen reader reads it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/string_util.h"
#include "control_test_support.h"
#include "ui/control/check_box.h"
#include "ui/control/label.h"
#include "ui/control/progress.h"
#include "ui/control/tab_box.h"
#include "ui/core/box.h"

// Last: winuser.h's text macros would clash with the render interfaces' own.
#include "msaa_test_support.h"
#include "ui/host/win/msaa_accessible.h"

namespace ui {
namespace {

using msaa_test::ClientProcess;
using msaa_test::PumpFor;
using msaa_test::PumpUntil;
using msaa_test::SkinWindow;

constexpr wchar_t kSkin[] =
    LR"(<Window shadowattached="false" size="360,330">
  <VBox name="body" bkcolor="a11y_bk">
    <Label name="title" width="stretch" height="30" text="标题"/>
    <HBox name="row" height="30">
      <Button name="ok" width="80" height="30" text="立即安装"/>
      <Button name="tip_only" width="30" height="30" tooltiptext="关闭"/>
      <Control name="plain" width="30" height="30"/>
      <CheckBox name="agree" width="80" height="30" text="同意😀" selected="true"/>
    </HBox>
    <HBox name="speeds" height="24">
      <Option name="fast" group="speed" width="60" height="24" text="快" selected="true"/>
      <Option name="slow" group="speed" width="60" height="24" text="慢"/>
    </HBox>
    <Progress name="bar" width="200" height="10" min="0" max="100" value="20"/>
    <Slider name="volume" width="200" height="16" min="0" max="50" value="30"/>
    <RichEdit name="path" width="200" height="24" text="D:\视频"/>
    <RichEdit name="secret" width="100" height="24" password="true" text="abc"/>
    <VListBox name="list" height="60">
      <ListContainerElement name="first" height="20" text="第一"/>
      <ListContainerElement name="second" height="20" text="第二" selected="true"/>
    </VListBox>
    <Combo name="format" width="120" height="24" dropboxsize="0,60">
      <ListContainerElement height="20" text="MP4" selected="true"/>
      <ListContainerElement height="20" text="MKV"/>
    </Combo>
    <TabBox name="pages" height="40">
      <VBox name="page1"><Button name="p1btn" width="60" height="20" text="一"/></VBox>
      <VBox name="page2"><Button name="p2btn" width="60" height="20" text="二"/></VBox>
    </TabBox>
  </VBox>
</Window>)";

// One reference to an IAccessible.
class Acc {
 public:
  Acc() = default;
  // Takes over `object`'s reference.
  explicit Acc(IAccessible* object) : object_(object) {}
  Acc(const Acc& other) : object_(other.object_) {
    if (object_) object_->AddRef();
  }
  Acc& operator=(Acc other) {
    std::swap(object_, other.object_);
    return *this;
  }
  ~Acc() {
    if (object_) object_->Release();
  }
  IAccessible* get() const { return object_; }
  IAccessible* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  IAccessible* object_ = nullptr;
};

VARIANT Self() {
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  return self;
}

Acc FromDispatch(IDispatch* dispatch) {
  if (!dispatch) return Acc();
  IAccessible* object = nullptr;
  dispatch->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&object));
  dispatch->Release();
  return Acc(object);
}

// A VARIANT answer as an object: VT_EMPTY and CHILDID_SELF give `self`.
Acc FromVariant(VARIANT& value, const Acc& self) {
  if (value.vt == VT_DISPATCH) return FromDispatch(value.pdispVal);
  if (value.vt == VT_I4 && value.lVal == CHILDID_SELF) return self;
  ::VariantClear(&value);
  return Acc();
}

std::vector<Acc> Children(const Acc& parent) {
  std::vector<Acc> children;
  long count = 0;
  if (FAILED(parent->get_accChildCount(&count)) || count <= 0) return children;
  std::vector<VARIANT> values(static_cast<size_t>(count));
  long obtained = 0;
  if (FAILED(::AccessibleChildren(parent.get(), 0, count, values.data(), &obtained))) {
    return children;
  }
  for (long i = 0; i < obtained; ++i) {
    VARIANT& value = values[static_cast<size_t>(i)];
    if (value.vt == VT_DISPATCH) {
      children.push_back(FromDispatch(value.pdispVal));
    } else {
      ::VariantClear(&value);
    }
  }
  return children;
}

HRESULT Name(const Acc& object, std::wstring* name) {
  BSTR text = nullptr;
  const HRESULT result = object->get_accName(Self(), &text);
  *name = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
  ::SysFreeString(text);
  return result;
}

std::wstring Name(const Acc& object) {
  std::wstring name;
  Name(object, &name);
  return name;
}

Acc FindByName(const Acc& parent, const std::wstring& name) {
  for (const Acc& child : Children(parent)) {
    if (Name(child) == name) return child;
    if (Acc found = FindByName(child, name)) return found;
  }
  return Acc();
}

LONG Role(const Acc& object) {
  VARIANT role;
  ::VariantInit(&role);
  return SUCCEEDED(object->get_accRole(Self(), &role)) && role.vt == VT_I4 ? role.lVal : -1;
}

LONG State(const Acc& object) {
  VARIANT state;
  ::VariantInit(&state);
  return SUCCEEDED(object->get_accState(Self(), &state)) && state.vt == VT_I4 ? state.lVal : -1;
}

// The text a BSTR getter gives, or "!" and the failure.
template <typename Getter>
std::wstring Text(const Acc& object, Getter getter) {
  BSTR text = nullptr;
  const HRESULT result = (object.get()->*getter)(Self(), &text);
  if (FAILED(result)) return L"!" + std::to_wstring(static_cast<unsigned long>(result));
  std::wstring out = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
  ::SysFreeString(text);
  return out;
}

std::wstring Value(const Acc& object) {
  return Text(object, &IAccessible::get_accValue);
}
std::wstring Action(const Acc& object) {
  return Text(object, &IAccessible::get_accDefaultAction);
}

RECT Location(const Acc& object) {
  long x = 0, y = 0, width = 0, height = 0;
  object->accLocation(&x, &y, &width, &height, Self());
  return RECT{x, y, x + width, y + height};
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Hex(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof(text), "%08lx", static_cast<unsigned long>(result));
  return text;
}

class MsaaAccessibleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) {
      GTEST_SKIP() << "no X display (the Windows tests run under Xvfb)";
    }
    InstallTestRenderFactory();
    GlobalManager::AddTextColor(L"a11y_bk", 0xFFF0F0F0);
    window_ = std::make_unique<SkinWindow>(kSkin);
    title_ = L"msaa test " + std::to_wstring(::GetCurrentProcessId()) + L" " +
             std::to_wstring(++windows_made_);
    ASSERT_TRUE(window_->Open(title_, 60, 60)) << nbase::WideToUTF8(window_->GetLastError());
    hwnd_ = window_->hwnd();
    IAccessible* root = nullptr;
    ASSERT_EQ(::AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_CLIENT),
                                           __uuidof(IAccessible), reinterpret_cast<void**>(&root)),
              S_OK);
    root_ = Acc(root);
  }
  void TearDown() override {
    root_ = Acc();
    if (window_ && window_->GetNativeWindow() && window_->GetNativeWindow()->IsValid()) {
      window_->GetNativeWindow()->Destroy();
    }
    window_.reset();
    PumpFor(20);
  }
  Control* Named(const wchar_t* name) { return window_->FindControl(std::wstring(name)); }
  template <typename T>
  T* Find(const wchar_t* name) {
    return dynamic_cast<T*>(Named(name));
  }

  static int windows_made_;
  std::wstring title_;
  std::unique_ptr<SkinWindow> window_;
  HWND hwnd_ = nullptr;
  Acc root_;
};

int MsaaAccessibleTest::windows_made_ = 0;

TEST_F(MsaaAccessibleTest, ControlsShowWithRoleNameStatesValuesAndActions) {
  EXPECT_EQ(Role(root_), ROLE_SYSTEM_CLIENT);
  EXPECT_EQ(Name(root_), title_);
  ASSERT_EQ(Children(root_).size(), 1u);
  EXPECT_EQ(GetAccessibleControl(Children(root_)[0].get()), window_->GetRoot());

  Acc button = FindByName(root_, L"立即安装");
  ASSERT_TRUE(button);
  EXPECT_EQ(Role(button), ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_EQ(State(button), STATE_SYSTEM_FOCUSABLE);
  EXPECT_EQ(Action(button), L"Press");
  EXPECT_EQ(GetAccessibleControl(button.get()), Named(L"ok"));
  EXPECT_EQ(FindControlAccessible(hwnd_, Named(L"ok")), button.get());

  // The name falls back on the tooltip, then on the control's name.
  Acc tip = FindByName(root_, L"关闭");
  ASSERT_TRUE(tip);
  EXPECT_EQ(Role(tip), ROLE_SYSTEM_PUSHBUTTON);
  Acc plain = FindByName(root_, L"plain");
  ASSERT_TRUE(plain);
  EXPECT_EQ(Role(plain), ROLE_SYSTEM_PANE);
  BSTR none = nullptr;
  EXPECT_EQ(plain->get_accDefaultAction(Self(), &none), S_FALSE);
  EXPECT_EQ(plain->accDoDefaultAction(Self()), DISP_E_MEMBERNOTFOUND);

  // Names are UTF-16: the emoji is one surrogate pair.
  Acc agree = FindByName(root_, L"同意\U0001F600");
  ASSERT_TRUE(agree);
  BSTR agree_name = nullptr;
  ASSERT_EQ(agree->get_accName(Self(), &agree_name), S_OK);
  EXPECT_EQ(::SysStringLen(agree_name), 4u);
  ::SysFreeString(agree_name);
  EXPECT_EQ(Role(agree), ROLE_SYSTEM_CHECKBUTTON);
  EXPECT_TRUE(State(agree) & STATE_SYSTEM_CHECKED);
  EXPECT_EQ(Action(agree), L"Uncheck");

  Acc fast = FindByName(root_, L"快");
  Acc slow = FindByName(root_, L"慢");
  ASSERT_TRUE(fast && slow);
  EXPECT_EQ(Role(fast), ROLE_SYSTEM_RADIOBUTTON);
  EXPECT_TRUE(State(fast) & STATE_SYSTEM_CHECKED);
  EXPECT_FALSE(State(slow) & STATE_SYSTEM_CHECKED);
  EXPECT_EQ(Action(slow), L"Check");

  Acc title = FindByName(root_, L"标题");
  ASSERT_TRUE(title);
  EXPECT_EQ(Role(title), ROLE_SYSTEM_STATICTEXT);
  EXPECT_FALSE(State(title) & STATE_SYSTEM_FOCUSABLE);

  Acc bar = FindByName(root_, L"bar");
  ASSERT_TRUE(bar);
  EXPECT_EQ(Role(bar), ROLE_SYSTEM_PROGRESSBAR);
  EXPECT_EQ(Value(bar), L"20%");
  Acc volume = FindByName(root_, L"volume");
  ASSERT_TRUE(volume);
  EXPECT_EQ(Role(volume), ROLE_SYSTEM_SLIDER);
  EXPECT_EQ(Value(volume), L"30");

  Acc path = FindByName(root_, L"path");
  ASSERT_TRUE(path);
  EXPECT_EQ(Role(path), ROLE_SYSTEM_TEXT);
  EXPECT_EQ(Value(path), L"D:\\视频");
  EXPECT_FALSE(State(path) & (STATE_SYSTEM_READONLY | STATE_SYSTEM_PROTECTED));
  // A password field says what it is and gives nothing of its text.
  Acc secret = FindByName(root_, L"secret");
  ASSERT_TRUE(secret);
  EXPECT_EQ(Role(secret), ROLE_SYSTEM_TEXT);
  EXPECT_TRUE(State(secret) & STATE_SYSTEM_PROTECTED);
  BSTR hidden = nullptr;
  EXPECT_EQ(secret->get_accValue(Self(), &hidden), E_ACCESSDENIED);
  EXPECT_EQ(hidden, nullptr);

  // Disabled and invisible as the control is.
  Named(L"ok")->SetEnabled(false);
  EXPECT_TRUE(State(button) & STATE_SYSTEM_UNAVAILABLE);
  EXPECT_FALSE(State(button) & STATE_SYSTEM_INVISIBLE);
  ::ShowWindow(hwnd_, SW_HIDE);
  EXPECT_TRUE(State(button) & STATE_SYSTEM_INVISIBLE);
  EXPECT_TRUE(State(root_) & STATE_SYSTEM_INVISIBLE);
}

TEST_F(MsaaAccessibleTest, NavigationLocationAndHitTestingFollowTheControls) {
  Acc button = FindByName(root_, L"立即安装");
  Acc row = FindByName(root_, L"row");
  ASSERT_TRUE(button && row);
  // Screen pixels, where the window shows the control.
  const RECT expected = window_->ScreenRect(Named(L"ok"));
  EXPECT_TRUE(SameRect(Location(button), expected));
  RECT client;
  ::GetClientRect(hwnd_, &client);
  ::MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&client), 2);
  EXPECT_TRUE(SameRect(Location(root_), client));

  // Hit testing finds the deepest control at a point, the window's own
  // object where no control is, and nothing outside.
  VARIANT hit;
  ::VariantInit(&hit);
  ASSERT_EQ(root_->accHitTest((expected.left + expected.right) / 2,
                              (expected.top + expected.bottom) / 2, &hit),
            S_OK);
  EXPECT_EQ(GetAccessibleControl(FromVariant(hit, root_).get()), Named(L"ok"));
  ::VariantInit(&hit);
  ASSERT_EQ(button->accHitTest(expected.left + 1, expected.top + 1, &hit), S_OK);
  EXPECT_EQ(hit.vt, VT_I4);
  EXPECT_EQ(hit.lVal, CHILDID_SELF);
  ::VariantInit(&hit);
  EXPECT_EQ(button->accHitTest(expected.right + 5, expected.top + 1, &hit), S_FALSE);
  EXPECT_EQ(hit.vt, VT_EMPTY);

  // Parents up to the window's object, and the system's frame above it.
  IDispatch* parent = nullptr;
  ASSERT_EQ(button->get_accParent(&parent), S_OK);
  EXPECT_EQ(GetAccessibleControl(FromDispatch(parent).get()), Named(L"row"));
  Acc top = Children(root_)[0];
  parent = nullptr;
  ASSERT_EQ(top->get_accParent(&parent), S_OK);
  EXPECT_EQ(FromDispatch(parent).get(), root_.get());
  parent = nullptr;
  ASSERT_EQ(root_->get_accParent(&parent), S_OK);
  // The system's object of the window (Wine's answers little more than its
  // existence).
  Acc frame = FromDispatch(parent);
  ASSERT_TRUE(frame);
  EXPECT_NE(frame.get(), root_.get());
  EXPECT_EQ(GetAccessibleControl(frame.get()), nullptr);

  // Siblings and children in tree order; children by position and by id.
  VARIANT next;
  ::VariantInit(&next);
  ASSERT_EQ(button->accNavigate(NAVDIR_NEXT, Self(), &next), S_OK);
  EXPECT_EQ(Name(FromVariant(next, button)), L"关闭");
  ::VariantInit(&next);
  EXPECT_EQ(button->accNavigate(NAVDIR_PREVIOUS, Self(), &next), S_FALSE);
  ::VariantInit(&next);
  ASSERT_EQ(row->accNavigate(NAVDIR_LASTCHILD, Self(), &next), S_OK);
  EXPECT_EQ(GetAccessibleControl(FromVariant(next, row).get()), Named(L"agree"));
  ::VariantInit(&next);
  EXPECT_EQ(row->accNavigate(NAVDIR_UP, Self(), &next), DISP_E_MEMBERNOTFOUND);
  long count = 0;
  ASSERT_EQ(row->get_accChildCount(&count), S_OK);
  EXPECT_EQ(count, 4);
  VARIANT second = Self();
  second.lVal = 2;
  IDispatch* child = nullptr;
  ASSERT_EQ(row->get_accChild(second, &child), S_OK);
  EXPECT_EQ(Name(FromDispatch(child)), L"关闭");
  BSTR name = nullptr;
  ASSERT_EQ(row->get_accName(second, &name), S_OK);
  EXPECT_STREQ(name, L"关闭");
  ::SysFreeString(name);
  VARIANT beyond = Self();
  beyond.lVal = 5;
  child = nullptr;
  EXPECT_EQ(row->get_accChild(beyond, &child), E_INVALIDARG);
}

TEST_F(MsaaAccessibleTest, FocusShowsInTheStatesAndAsTheWindowsFocusedObject) {
  Acc button = FindByName(root_, L"立即安装");
  Acc tip = FindByName(root_, L"关闭");
  ASSERT_TRUE(button && tip);
  Named(L"ok")->SetFocus();
  EXPECT_TRUE(State(button) & STATE_SYSTEM_FOCUSED);
  VARIANT focus;
  ::VariantInit(&focus);
  ASSERT_EQ(root_->get_accFocus(&focus), S_OK);
  EXPECT_EQ(FromVariant(focus, root_).get(), button.get());
  ::VariantInit(&focus);
  ASSERT_EQ(button->get_accFocus(&focus), S_OK);
  EXPECT_EQ(focus.vt, VT_I4);
  EXPECT_EQ(focus.lVal, CHILDID_SELF);

  // The focus leaves a disabled button for the next stop.
  Named(L"ok")->SetEnabled(false);
  EXPECT_FALSE(State(button) & STATE_SYSTEM_FOCUSED);
  EXPECT_TRUE(State(tip) & STATE_SYSTEM_FOCUSED);
  // A client can move it.
  Acc agree = FindByName(root_, L"同意\U0001F600");
  ASSERT_EQ(agree->accSelect(SELFLAG_TAKEFOCUS, Self()), S_OK);
  EXPECT_EQ(window_->GetFocus(), Named(L"agree"));
  Acc title = FindByName(root_, L"标题");
  EXPECT_EQ(title->accSelect(SELFLAG_TAKEFOCUS, Self()), S_FALSE);
  EXPECT_EQ(window_->GetFocus(), Named(L"agree"));
}

TEST_F(MsaaAccessibleTest, DefaultActionsDoWhatAClickDoesAfterTheCallReturns) {
  Acc button = FindByName(root_, L"立即安装");
  Acc agree = FindByName(root_, L"同意\U0001F600");
  Acc slow = FindByName(root_, L"慢");
  ASSERT_TRUE(button && agree && slow);
  int clicks = 0;
  Named(L"ok")->AttachEvent(kEventClick, [&](const EventArgs&) {
    ++clicks;
    return true;
  });
  EXPECT_EQ(button->accDoDefaultAction(Self()), S_OK);
  EXPECT_EQ(agree->accDoDefaultAction(Self()), S_OK);
  EXPECT_EQ(slow->accDoDefaultAction(Self()), S_OK);
  // Nothing happened inside the call.
  EXPECT_EQ(clicks, 0);
  EXPECT_TRUE(State(agree) & STATE_SYSTEM_CHECKED);
  ASSERT_TRUE(PumpUntil([&] { return clicks == 1 && !(State(agree) & STATE_SYSTEM_CHECKED); }));
  EXPECT_EQ(Action(agree), L"Check");
  EXPECT_TRUE(State(slow) & STATE_SYSTEM_CHECKED);
  EXPECT_FALSE(State(FindByName(root_, L"快")) & STATE_SYSTEM_CHECKED);

  // A disabled button refuses, as it refuses a click.
  Named(L"ok")->SetEnabled(false);
  EXPECT_EQ(button->accDoDefaultAction(Self()), E_FAIL);
  // An action whose control goes before it runs does nothing.
  Named(L"ok")->SetEnabled(true);
  EXPECT_EQ(button->accDoDefaultAction(Self()), S_OK);
  Control* ok = Named(L"ok");
  ASSERT_TRUE(dynamic_cast<Box*>(ok->GetParentControl())->Remove(ok));
  PumpFor(50);
  EXPECT_EQ(clicks, 1);
}

TEST_F(MsaaAccessibleTest, ListsShowTheirSelectionAndTakeAChoice) {
  Acc list = FindByName(root_, L"list");
  ASSERT_TRUE(list);
  EXPECT_EQ(Role(list), ROLE_SYSTEM_LIST);
  Acc first = FindByName(list, L"第一");
  Acc second = FindByName(list, L"第二");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(Role(first), ROLE_SYSTEM_LISTITEM);
  EXPECT_TRUE(State(first) & STATE_SYSTEM_SELECTABLE);
  EXPECT_TRUE(State(second) & STATE_SYSTEM_SELECTED);
  VARIANT selection;
  ::VariantInit(&selection);
  ASSERT_EQ(list->get_accSelection(&selection), S_OK);
  EXPECT_EQ(FromVariant(selection, list).get(), second.get());

  ASSERT_EQ(first->accSelect(SELFLAG_TAKESELECTION, Self()), S_OK);
  EXPECT_TRUE(State(first) & STATE_SYSTEM_SELECTED);
  EXPECT_FALSE(State(second) & STATE_SYSTEM_SELECTED);
  ::VariantInit(&selection);
  ASSERT_EQ(list->get_accSelection(&selection), S_OK);
  EXPECT_EQ(FromVariant(selection, list).get(), first.get());
  // Controls that hold no choice say so.
  ::VariantInit(&selection);
  EXPECT_EQ(FindByName(root_, L"row")->get_accSelection(&selection), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(FindByName(root_, L"标题")->accSelect(SELFLAG_TAKESELECTION, Self()), S_FALSE);
}

// Another visible top-level window of this thread (a drop-down list).
HWND OtherWindowThan(HWND hwnd) {
  struct Search {
    HWND except;
    HWND found;
  } search{hwnd, nullptr};
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND candidate, LPARAM data) -> BOOL {
        auto* search = reinterpret_cast<Search*>(data);
        if (candidate == search->except || !::IsWindowVisible(candidate)) return TRUE;
        search->found = candidate;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

TEST_F(MsaaAccessibleTest, AComboOpensItsListAsAWindowOfItsOwnAndTakesAChoiceThere) {
  Acc combo = FindByName(root_, L"MP4");
  ASSERT_TRUE(combo);
  EXPECT_EQ(Role(combo), ROLE_SYSTEM_COMBOBOX);
  EXPECT_EQ(Value(combo), L"MP4");
  EXPECT_EQ(State(combo) & (STATE_SYSTEM_COLLAPSED | STATE_SYSTEM_HASPOPUP | STATE_SYSTEM_EXPANDED),
            STATE_SYSTEM_COLLAPSED | STATE_SYSTEM_HASPOPUP);
  EXPECT_EQ(Action(combo), L"Open");
  // Its items live in the list, not below it.
  EXPECT_FALSE(FindByName(combo, L"MKV"));

  ASSERT_EQ(combo->accDoDefaultAction(Self()), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return (State(combo) & STATE_SYSTEM_EXPANDED) != 0; }));
  EXPECT_EQ(Action(combo), L"Close");
  HWND popup = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (popup = OtherWindowThan(hwnd_)) != nullptr; }));
  IAccessible* list_root = nullptr;
  ASSERT_EQ(
      ::AccessibleObjectFromWindow(popup, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&list_root)),
      S_OK);
  Acc list(list_root);
  Acc mkv = FindByName(list, L"MKV");
  ASSERT_TRUE(mkv);
  EXPECT_EQ(Role(mkv), ROLE_SYSTEM_LISTITEM);
  EXPECT_TRUE(State(FindByName(list, L"MP4")) & STATE_SYSTEM_SELECTED);

  ASSERT_EQ(mkv->accDoDefaultAction(Self()), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return Name(combo) == L"MKV" && !::IsWindow(popup); }));
  EXPECT_EQ(Value(combo), L"MKV");
  EXPECT_TRUE(State(combo) & STATE_SYSTEM_COLLAPSED);
  // The list's window went, and its objects with it.
  EXPECT_EQ(State(mkv), -1);
  EXPECT_EQ(State(list), -1);
}

TEST_F(MsaaAccessibleTest, PageSwitchReplacesTheChildrenAndOldObjectsGoDefunct) {
  Acc pages = FindByName(root_, L"pages");
  ASSERT_TRUE(pages);
  EXPECT_EQ(Role(pages), ROLE_SYSTEM_PAGETABLIST);
  ASSERT_EQ(Children(pages).size(), 1u);
  Acc page1 = FindByName(root_, L"page1");
  Acc p1btn = FindByName(root_, L"一");
  ASSERT_TRUE(page1 && p1btn);
  EXPECT_EQ(Role(page1), ROLE_SYSTEM_PAGETAB);
  EXPECT_TRUE(State(page1) & STATE_SYSTEM_SELECTED);
  EXPECT_FALSE(FindByName(root_, L"二"));

  ASSERT_TRUE(Find<TabBox>(L"pages")->SelectItem(1));
  std::wstring name;
  EXPECT_EQ(Name(page1, &name), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(Name(p1btn, &name), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(p1btn->accDoDefaultAction(Self()), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(State(p1btn), -1);
  EXPECT_EQ(GetAccessibleControl(p1btn.get()), nullptr);
  EXPECT_EQ(FindControlAccessible(hwnd_, Named(L"page1")), nullptr);
  EXPECT_EQ(FindControlAccessible(hwnd_, Named(L"p1btn")), nullptr);
  ASSERT_EQ(Children(pages).size(), 1u);
  EXPECT_EQ(Name(Children(pages)[0]), L"page2");
  EXPECT_TRUE(FindByName(root_, L"二"));
  EXPECT_FALSE(FindByName(root_, L"一"));
}

TEST_F(MsaaAccessibleTest, NoObjectOutlivesItsControlOrTheWindow) {
  Acc button = FindByName(root_, L"立即安装");
  Acc tip = FindByName(root_, L"关闭");
  Acc row = FindByName(root_, L"row");
  ASSERT_TRUE(button && tip && row);
  const size_t before = CountControlAccessibles(hwnd_);

  Control* ok = Named(L"ok");
  ASSERT_TRUE(dynamic_cast<Box*>(ok->GetParentControl())->Remove(ok));
  EXPECT_EQ(State(button), -1);
  EXPECT_EQ(CountControlAccessibles(hwnd_), before - 1);
  EXPECT_EQ(FindControlAccessible(hwnd_, ok), nullptr);
  long count = 0;
  ASSERT_EQ(row->get_accChildCount(&count), S_OK);
  EXPECT_EQ(count, 3);

  // The window deleted with its native window: every object dies with it,
  // the window's own too.
  window_.reset();
  PumpFor(20);
  EXPECT_EQ(CountControlAccessibles(hwnd_), 0u);
  for (const Acc& object : {tip, row, root_}) {
    EXPECT_EQ(GetAccessibleControl(object.get()), nullptr);
    EXPECT_EQ(object->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
    std::wstring name;
    EXPECT_EQ(Name(object, &name), CO_E_OBJNOTCONNECTED);
  }
}

TEST_F(MsaaAccessibleTest, ClosingTheNativeWindowDefunctsEveryObjectAndTheWindowsOwn) {
  Acc title = FindByName(root_, L"标题");
  Acc p1btn = FindByName(root_, L"一");
  ASSERT_TRUE(title && p1btn);
  EXPECT_GE(CountControlAccessibles(hwnd_), 2u);
  window_->GetNativeWindow()->Destroy();
  ASSERT_TRUE(PumpUntil([&] { return window_->destroyed; }));
  for (const Acc& object : {title, p1btn, root_}) EXPECT_EQ(State(object), -1);
  // The controls still live (the core is not deleted yet) but no object shows them.
  EXPECT_TRUE(Named(L"title"));
  EXPECT_EQ(GetAccessibleControl(title.get()), nullptr);
  Find<Label>(L"title")->SetText(L"after");
  std::wstring name;
  EXPECT_EQ(Name(title, &name), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(CountControlAccessibles(hwnd_), 0u);
}

// ---- From another process ---------------------------------------------------------------

class MsaaClientTest : public MsaaAccessibleTest {
 protected:
  void SetUp() override {
    MsaaAccessibleTest::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    ASSERT_TRUE(client_.Start()) << "msaa_client.exe did not start";
    // Found by its title, as a client finds another program's window.
    const std::string handle = std::to_string(reinterpret_cast<uintptr_t>(hwnd_));
    ASSERT_EQ(Ask("window " + nbase::WideToUTF8(title_)), "ok " + handle);
    ASSERT_EQ(Ask("attach " + handle), "ok 1");
  }
  using MsaaAccessibleTest::Find;
  std::string Ask(const std::string& command) { return client_.Ask(command); }
  std::string Find(const std::string& key, LONG role, const std::wstring& name) {
    return Ask("find " + key + " " + std::to_string(role) + " " + nbase::WideToUTF8(name));
  }
  // The events the client has received, until one is `entry`.
  bool WaitForEvent(const std::string& entry) {
    return PumpUntil(
        [&] {
          const std::string answer = Ask("events");
          if (answer.rfind("ok ", 0) != 0 && answer != "ok") return false;
          size_t at = 3;
          while (at < answer.size()) {
            const size_t bar = answer.find('|', at);
            events_.push_back(answer.substr(at, bar == std::string::npos ? bar : bar - at));
            if (bar == std::string::npos) break;
            at = bar + 1;
          }
          return std::find(events_.begin(), events_.end(), entry) != events_.end();
        },
        8000);
  }

  ClientProcess client_;
  std::vector<std::string> events_;
};

TEST_F(MsaaClientTest, AnotherProcessFindsReadsAndOperatesTheControls) {
  EXPECT_EQ(Find("ok", ROLE_SYSTEM_PUSHBUTTON, L"立即安装"), "ok");
  // Name and role both count.
  EXPECT_EQ(Find("wrong", ROLE_SYSTEM_CHECKBUTTON, L"立即安装"), "err missing");
  EXPECT_EQ(Find("agree", ROLE_SYSTEM_CHECKBUTTON, L"同意\U0001F600"), "ok");
  EXPECT_EQ(Find("bar", ROLE_SYSTEM_PROGRESSBAR, L"bar"), "ok");
  EXPECT_EQ(Find("path", ROLE_SYSTEM_TEXT, L"path"), "ok");
  EXPECT_EQ(Find("secret", ROLE_SYSTEM_TEXT, L"secret"), "ok");

  EXPECT_EQ(Ask("get agree state"), "ok " + Hex(STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE));
  EXPECT_EQ(Ask("get bar value"), "ok 20%");
  Find<Progress>(L"bar")->SetValue(55);
  EXPECT_EQ(Ask("get bar value"), "ok 55%");
  EXPECT_EQ(Ask("get path value"), "ok D:\\视频");
  EXPECT_EQ(Ask("get secret value"), "err " + Hex(E_ACCESSDENIED));
  EXPECT_EQ(Ask("get ok parent"), "ok row");
  const RECT rect = window_->ScreenRect(Named(L"ok"));
  EXPECT_EQ(Ask("get ok location"),
            "ok " + std::to_string(rect.left) + " " + std::to_string(rect.top) + " 80 30");
  EXPECT_EQ(Ask("hit " + std::to_string(rect.left + 3) + " " + std::to_string(rect.top + 3)),
            "ok 立即安装");

  int clicks = 0;
  Named(L"ok")->AttachEvent(kEventClick, [&](const EventArgs&) {
    ++clicks;
    return true;
  });
  EXPECT_EQ(Ask("do ok"), "ok");
  EXPECT_EQ(Ask("do agree"), "ok");
  ASSERT_TRUE(PumpUntil([&] { return clicks == 1 && !Find<CheckBox>(L"agree")->IsSelected(); }));
  EXPECT_EQ(Ask("get agree state"), "ok " + Hex(STATE_SYSTEM_FOCUSABLE));
  EXPECT_EQ(Ask("get agree action"), "ok Check");
  Named(L"ok")->SetEnabled(false);
  EXPECT_EQ(Ask("do ok"), "err " + Hex(E_FAIL));
  PumpFor(30);
  EXPECT_EQ(clicks, 1);
}

TEST_F(MsaaClientTest, WinEventsFollowFocusStatesValuesAndNames) {
  ASSERT_EQ(Ask("listen"), "ok");
  Named(L"ok")->SetFocus();
  EXPECT_TRUE(WaitForEvent("focus:立即安装")) << testing::PrintToString(events_);
  Find<CheckBox>(L"agree")->Selected(false, true);
  EXPECT_TRUE(WaitForEvent("state:同意😀")) << testing::PrintToString(events_);
  Find<Progress>(L"bar")->SetValue(70);
  EXPECT_TRUE(WaitForEvent("value:bar")) << testing::PrintToString(events_);
  Find<Label>(L"title")->SetText(L"标题二");
  EXPECT_TRUE(WaitForEvent("name:标题二")) << testing::PrintToString(events_);
  EXPECT_EQ(Ask("focus"), "ok 立即安装");
}

TEST_F(MsaaClientTest, TheTreeFollowsPageSwitchesAndRemovalsWithoutDanglingObjects) {
  ASSERT_EQ(Find("p1btn", ROLE_SYSTEM_PUSHBUTTON, L"一"), "ok");
  ASSERT_EQ(Find("pages", ROLE_SYSTEM_PAGETABLIST, L"pages"), "ok");
  ASSERT_EQ(Find("row", ROLE_SYSTEM_PANE, L"row"), "ok");
  ASSERT_EQ(Find("tip", ROLE_SYSTEM_PUSHBUTTON, L"关闭"), "ok");
  ASSERT_EQ(Find("ok", ROLE_SYSTEM_PUSHBUTTON, L"立即安装"), "ok");
  EXPECT_EQ(Find("p2btn", ROLE_SYSTEM_PUSHBUTTON, L"二"), "err missing");
  ASSERT_EQ(Ask("listen"), "ok");

  ASSERT_TRUE(Find<TabBox>(L"pages")->SelectItem(1));
  EXPECT_TRUE(WaitForEvent("show:page2")) << testing::PrintToString(events_);
  // Held across the switch: an error, never a crash or a stale answer.
  EXPECT_EQ(Ask("get p1btn name").rfind("err ", 0), 0u);
  EXPECT_EQ(Ask("do p1btn").rfind("err ", 0), 0u);
  EXPECT_EQ(Ask("get pages count"), "ok 1");
  EXPECT_EQ(Find("p2btn", ROLE_SYSTEM_PUSHBUTTON, L"二"), "ok");
  EXPECT_EQ(Find("p1again", ROLE_SYSTEM_PUSHBUTTON, L"一"), "err missing");

  Control* ok = Named(L"ok");
  ASSERT_TRUE(dynamic_cast<Box*>(ok->GetParentControl())->Remove(ok));
  EXPECT_TRUE(WaitForEvent("reorder:row")) << testing::PrintToString(events_);
  EXPECT_EQ(Ask("get ok state").rfind("err ", 0), 0u);
  EXPECT_EQ(Ask("get row count"), "ok 3");
  EXPECT_EQ(Ask("nav tip " + std::to_string(NAVDIR_PREVIOUS)), "ok -");

  // The whole window closed: every object, the window's own too, answers
  // with an error, and the client lives on.
  window_->GetNativeWindow()->Destroy();
  ASSERT_TRUE(PumpUntil([&] { return window_->destroyed; }));
  for (const char* key : {"tip", "row", "p2btn", "root"}) {
    EXPECT_EQ(Ask(std::string("get ") + key + " name").rfind("err ", 0), 0u) << key;
  }
  EXPECT_EQ(Ask("focus").rfind("err ", 0), 0u);
  EXPECT_TRUE(client_.Running());
}

}  // namespace
}  // namespace ui
