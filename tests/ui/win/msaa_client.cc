// A screen reader's view of a window from another process, through MSAA
// alone (oleacc and the win events), as the tests' outside client. It reads
// one command per line on standard input and answers each with one line on
// standard output (UTF-8): "ok ..." or "err <HRESULT>".
//
//   window TITLE                the handle of a top-level window by its title
//   attach HWND                 the window's client object becomes the root
//   find KEY ROLE NAME          depth-first search from the root by name and
//                               role (a number, or * for any); kept as KEY
//   child KEY PARENT INDEX      PARENT's child at INDEX (from 1), kept as KEY
//   get KEY FIELD               name, role, state (8 hex digits), value, action,
//                               description, location (x y w h), count
//                               (children), parent (its name)
//   do KEY                      the default action
//   select KEY FLAGS            accSelect
//   nav KEY DIRECTION           the name of the object accNavigate reaches
//   hit X Y                     the name of the object at a screen point
//   focus                       the name of the root's focused object
//   selection KEY               the names of KEY's selected children
//   listen                      from now on records the window's win events
//   events                      the events recorded since ("EVENT:NAME|...")
//   quit

#include <windows.h>
// After windows.h, which it needs.
#include <oleacc.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr UINT kCommandMessage = WM_APP + 1;

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        length, nullptr, nullptr);
  return narrow;
}

void Answer(const std::string& line) {
  const std::string out = line + "\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()),
              &written, nullptr);
}

std::string Error(HRESULT result) {
  char text[32];
  std::snprintf(text, sizeof(text), "err %08lx", static_cast<unsigned long>(result));
  return text;
}

VARIANT Self() {
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  return self;
}

// An object as MSAA names it: an IAccessible and a child id in it.
struct Node {
  IAccessible* object = nullptr;
  LONG child = CHILDID_SELF;
};

void Release(Node& node) {
  if (node.object) node.object->Release();
  node.object = nullptr;
}

// A child VARIANT as a node: a dispatch of its own, or a simple child.
bool NodeFrom(IAccessible* parent, VARIANT& value, Node* node) {
  if (value.vt == VT_DISPATCH && value.pdispVal) {
    IAccessible* object = nullptr;
    const HRESULT result =
        value.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&object));
    ::VariantClear(&value);
    if (FAILED(result)) return false;
    node->object = object;
    node->child = CHILDID_SELF;
    return true;
  }
  if (value.vt == VT_I4) {
    if (value.lVal != CHILDID_SELF) {
      // A simple child may still have an object of its own.
      IDispatch* dispatch = nullptr;
      if (parent->get_accChild(value, &dispatch) == S_OK && dispatch) {
        VARIANT own;
        ::VariantInit(&own);
        own.vt = VT_DISPATCH;
        own.pdispVal = dispatch;
        return NodeFrom(parent, own, node);
      }
    }
    parent->AddRef();
    node->object = parent;
    node->child = value.lVal;
    return true;
  }
  ::VariantClear(&value);
  return false;
}

HRESULT NameOf(const Node& node, std::wstring* name) {
  VARIANT child = Self();
  child.lVal = node.child;
  BSTR text = nullptr;
  const HRESULT result = node.object->get_accName(child, &text);
  if (FAILED(result)) return result;
  *name = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
  ::SysFreeString(text);
  return S_OK;
}

std::vector<Node> ChildrenOf(const Node& node) {
  std::vector<Node> nodes;
  if (node.child != CHILDID_SELF) return nodes;
  long count = 0;
  if (FAILED(node.object->get_accChildCount(&count)) || count <= 0) return nodes;
  std::vector<VARIANT> values(static_cast<size_t>(count));
  long obtained = 0;
  if (FAILED(::AccessibleChildren(node.object, 0, count, values.data(), &obtained))) return nodes;
  for (long i = 0; i < obtained; ++i) {
    Node child;
    if (NodeFrom(node.object, values[static_cast<size_t>(i)], &child)) nodes.push_back(child);
  }
  return nodes;
}

LONG RoleOf(const Node& node) {
  VARIANT child = Self();
  child.lVal = node.child;
  VARIANT role;
  ::VariantInit(&role);
  if (FAILED(node.object->get_accRole(child, &role)) || role.vt != VT_I4) return -1;
  return role.lVal;
}

// Depth-first; the found node is handed over, the others released.
bool FindNode(const Node& from, LONG role, const std::wstring& name, Node* found) {
  for (Node& child : ChildrenOf(from)) {
    std::wstring child_name;
    if (!found->object && SUCCEEDED(NameOf(child, &child_name)) && child_name == name &&
        (role < 0 || RoleOf(child) == role)) {
      *found = child;
      continue;
    }
    if (!found->object) FindNode(child, role, name, found);
    Release(child);
  }
  return found->object != nullptr;
}

class Client {
 public:
  ~Client() {
    for (auto& entry : nodes_) Release(entry.second);
    Release(root_);
  }

  std::string Run(const std::string& line) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at < line.size()) {
      const size_t space = line.find(' ', at);
      words.push_back(line.substr(at, space == std::string::npos ? std::string::npos : space - at));
      if (space == std::string::npos) break;
      at = space + 1;
    }
    if (words.empty()) return "err empty";
    const std::string& verb = words[0];
    // The rest of the line after `count` words (names may hold spaces).
    auto rest = [&](size_t count) {
      size_t position = 0;
      for (size_t i = 0; i < count && position != std::string::npos; ++i) {
        position = line.find(' ', position);
        if (position != std::string::npos) ++position;
      }
      return position == std::string::npos ? std::string() : line.substr(position);
    };
    if (verb == "window" && words.size() >= 2) return FindTopLevel(Widen(rest(1)));
    if (verb == "attach" && words.size() == 2) return Attach(words[1]);
    if (!root_.object) return "err no window";
    if (verb == "find" && words.size() >= 4) return Find(words[1], words[2], Widen(rest(3)));
    if (verb == "child" && words.size() == 4) return Child(words[1], words[2], words[3]);
    if (verb == "get" && words.size() == 3) return Get(words[1], words[2]);
    if (verb == "do" && words.size() == 2) return Do(words[1]);
    if (verb == "select" && words.size() == 3) return Select(words[1], words[2]);
    if (verb == "nav" && words.size() == 3) return Navigate(words[1], words[2]);
    if (verb == "hit" && words.size() == 3) return Hit(words[1], words[2]);
    if (verb == "focus") return Focus();
    if (verb == "selection" && words.size() == 2) return Selection(words[1]);
    if (verb == "listen") return Listen();
    if (verb == "events") return Events();
    return "err unknown command";
  }

 private:
  static std::string FindTopLevel(const std::wstring& title) {
    HWND hwnd = ::FindWindowW(nullptr, title.c_str());
    if (!hwnd) return "err missing";
    return "ok " + std::to_string(reinterpret_cast<uintptr_t>(hwnd));
  }

  std::string Attach(const std::string& handle) {
    hwnd_ = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(handle)));
    Release(root_);
    IAccessible* object = nullptr;
    const HRESULT result =
        ::AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                     reinterpret_cast<void**>(&object));
    if (FAILED(result) || !object) return Error(result);
    root_.object = object;
    long count = 0;
    object->get_accChildCount(&count);
    return "ok " + std::to_string(count);
  }

  void Keep(const std::string& key, const Node& node) {
    auto it = nodes_.find(key);
    if (it != nodes_.end()) Release(it->second);
    nodes_[key] = node;
  }

  const Node* Lookup(const std::string& key) const {
    if (key == "root") return &root_;
    auto it = nodes_.find(key);
    return it == nodes_.end() ? nullptr : &it->second;
  }

  std::string Find(const std::string& key, const std::string& role, const std::wstring& name) {
    Node found;
    if (!FindNode(root_, role == "*" ? -1 : std::stol(role), name, &found)) return "err missing";
    Keep(key, found);
    return "ok";
  }

  std::string Child(const std::string& key, const std::string& parent_key,
                    const std::string& index) {
    const Node* parent = Lookup(parent_key);
    if (!parent) return "err no such object";
    VARIANT id = Self();
    id.lVal = std::stol(index);
    IDispatch* dispatch = nullptr;
    const HRESULT result = parent->object->get_accChild(id, &dispatch);
    if (FAILED(result) || !dispatch) return Error(FAILED(result) ? result : E_FAIL);
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_DISPATCH;
    value.pdispVal = dispatch;
    Node node;
    if (!NodeFrom(parent->object, value, &node)) return "err not accessible";
    Keep(key, node);
    return "ok";
  }

  std::string Get(const std::string& key, const std::string& field) {
    const Node* node = Lookup(key);
    if (!node) return "err no such object";
    VARIANT child = Self();
    child.lVal = node->child;
    IAccessible* object = node->object;
    BSTR text = nullptr;
    HRESULT result = E_INVALIDARG;
    if (field == "name") result = object->get_accName(child, &text);
    if (field == "value") result = object->get_accValue(child, &text);
    if (field == "action") result = object->get_accDefaultAction(child, &text);
    if (field == "description") result = object->get_accDescription(child, &text);
    if (field == "name" || field == "value" || field == "action" || field == "description") {
      if (FAILED(result)) return Error(result);
      std::wstring value = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
      ::SysFreeString(text);
      return "ok " + Narrow(value);
    }
    if (field == "role" || field == "state") {
      VARIANT value;
      ::VariantInit(&value);
      result = field == "role" ? object->get_accRole(child, &value)
                               : object->get_accState(child, &value);
      if (FAILED(result)) return Error(result);
      if (value.vt != VT_I4) return "err not a number";
      char number[16];
      std::snprintf(number, sizeof(number), field == "role" ? "%ld" : "%08lx",
                    static_cast<long>(value.lVal));
      return std::string("ok ") + number;
    }
    if (field == "location") {
      long x = 0, y = 0, width = 0, height = 0;
      result = object->accLocation(&x, &y, &width, &height, child);
      if (FAILED(result)) return Error(result);
      return "ok " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(width) +
             " " + std::to_string(height);
    }
    if (field == "count") {
      long count = 0;
      result = object->get_accChildCount(&count);
      if (FAILED(result)) return Error(result);
      return "ok " + std::to_string(count);
    }
    if (field == "parent") {
      IDispatch* dispatch = nullptr;
      result = object->get_accParent(&dispatch);
      if (FAILED(result) || !dispatch) return Error(FAILED(result) ? result : E_FAIL);
      VARIANT value;
      ::VariantInit(&value);
      value.vt = VT_DISPATCH;
      value.pdispVal = dispatch;
      Node parent;
      if (!NodeFrom(object, value, &parent)) return "err not accessible";
      std::wstring name;
      result = NameOf(parent, &name);
      Release(parent);
      return FAILED(result) ? Error(result) : "ok " + Narrow(name);
    }
    return "err unknown field";
  }

  std::string Do(const std::string& key) {
    const Node* node = Lookup(key);
    if (!node) return "err no such object";
    VARIANT child = Self();
    child.lVal = node->child;
    const HRESULT result = node->object->accDoDefaultAction(child);
    return FAILED(result) ? Error(result) : "ok";
  }

  std::string Select(const std::string& key, const std::string& flags) {
    const Node* node = Lookup(key);
    if (!node) return "err no such object";
    VARIANT child = Self();
    child.lVal = node->child;
    const HRESULT result = node->object->accSelect(std::stol(flags), child);
    return FAILED(result) ? Error(result) : (result == S_OK ? "ok" : "ok refused");
  }

  // The name of what a VARIANT answer names, "-" for nothing.
  std::string Describe(IAccessible* from, HRESULT result, VARIANT& value) {
    if (FAILED(result)) return Error(result);
    if (value.vt == VT_EMPTY) return "ok -";
    Node node;
    if (!NodeFrom(from, value, &node)) return "err not accessible";
    std::wstring name;
    const HRESULT named = NameOf(node, &name);
    Release(node);
    return FAILED(named) ? Error(named) : "ok " + Narrow(name);
  }

  std::string Navigate(const std::string& key, const std::string& direction) {
    const Node* node = Lookup(key);
    if (!node) return "err no such object";
    VARIANT start = Self();
    start.lVal = node->child;
    VARIANT end;
    ::VariantInit(&end);
    const HRESULT result = node->object->accNavigate(std::stol(direction), start, &end);
    return Describe(node->object, result, end);
  }

  std::string Hit(const std::string& x, const std::string& y) {
    VARIANT value;
    ::VariantInit(&value);
    const HRESULT result = root_.object->accHitTest(std::stol(x), std::stol(y), &value);
    return Describe(root_.object, result, value);
  }

  std::string Focus() {
    VARIANT value;
    ::VariantInit(&value);
    const HRESULT result = root_.object->get_accFocus(&value);
    return Describe(root_.object, result, value);
  }

  std::string Selection(const std::string& key) {
    const Node* node = Lookup(key);
    if (!node) return "err no such object";
    VARIANT value;
    ::VariantInit(&value);
    const HRESULT result = node->object->get_accSelection(&value);
    if (FAILED(result) || value.vt != VT_UNKNOWN) return Describe(node->object, result, value);
    // Several: an enumeration of them.
    IEnumVARIANT* items = nullptr;
    value.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
    ::VariantClear(&value);
    if (!items) return "err no enumeration";
    std::string names = "ok";
    VARIANT item;
    ::VariantInit(&item);
    ULONG fetched = 0;
    while (items->Next(1, &item, &fetched) == S_OK && fetched == 1) {
      names += " " + Describe(node->object, S_OK, item).substr(3);
    }
    items->Release();
    return names;
  }

  static void CALLBACK OnEvent(HWINEVENTHOOK /*hook*/, DWORD event, HWND hwnd, LONG object_id,
                               LONG child_id, DWORD /*thread*/, DWORD /*time*/) {
    Client* self = instance_;
    if (!self || hwnd != self->hwnd_ || object_id != OBJID_CLIENT) return;
    std::string entry = EventName(event) + ":";
    IAccessible* object = nullptr;
    VARIANT child;
    ::VariantInit(&child);
    const HRESULT result = ::AccessibleObjectFromEvent(
        hwnd, static_cast<DWORD>(object_id), static_cast<DWORD>(child_id), &object, &child);
    if (FAILED(result) || !object) {
      entry += "!";
    } else {
      BSTR name = nullptr;
      if (SUCCEEDED(object->get_accName(child, &name))) {
        entry += Narrow(name ? std::wstring(name, ::SysStringLen(name)) : std::wstring());
      } else {
        entry += "!";
      }
      ::SysFreeString(name);
      object->Release();
    }
    self->events_.push_back(entry);
  }

  static std::string EventName(DWORD event) {
    switch (event) {
      case EVENT_OBJECT_FOCUS:
        return "focus";
      case EVENT_OBJECT_STATECHANGE:
        return "state";
      case EVENT_OBJECT_VALUECHANGE:
        return "value";
      case EVENT_OBJECT_NAMECHANGE:
        return "name";
      case EVENT_OBJECT_SHOW:
        return "show";
      case EVENT_OBJECT_HIDE:
        return "hide";
      case EVENT_OBJECT_DESTROY:
        return "destroy";
      case EVENT_OBJECT_REORDER:
        return "reorder";
      case EVENT_OBJECT_SELECTION:
        return "selection";
      case EVENT_OBJECT_SELECTIONWITHIN:
        return "selectionwithin";
      case EVENT_OBJECT_TEXTSELECTIONCHANGED:
        return "textselection";
      default:
        return std::to_string(event);
    }
  }

  std::string Listen() {
    DWORD process = 0;
    ::GetWindowThreadProcessId(hwnd_, &process);
    instance_ = this;
    hook_ = ::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_TEXTSELECTIONCHANGED, nullptr,
                              &Client::OnEvent, process, 0, WINEVENT_OUTOFCONTEXT);
    return hook_ ? "ok" : Error(HRESULT_FROM_WIN32(::GetLastError()));
  }

  std::string Events() {
    std::string out = "ok ";
    for (size_t i = 0; i < events_.size(); ++i) out += (i ? "|" : "") + events_[i];
    events_.clear();
    return out;
  }

  static Client* instance_;
  HWND hwnd_ = nullptr;
  Node root_;
  std::map<std::string, Node> nodes_;
  HWINEVENTHOOK hook_ = nullptr;
  std::vector<std::string> events_;
};

Client* Client::instance_ = nullptr;

// Lines of standard input, handed to the main thread, whose message loop
// also receives the win events.
DWORD WINAPI ReadCommands(void* main_thread) {
  const DWORD thread = static_cast<DWORD>(reinterpret_cast<uintptr_t>(main_thread));
  std::string pending;
  char buffer[512];
  DWORD read = 0;
  while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &read, nullptr) &&
         read > 0) {
    pending.append(buffer, read);
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      pending.erase(0, end + 1);
      ::PostThreadMessageW(thread, kCommandMessage, 0,
                           reinterpret_cast<LPARAM>(new std::string(line)));
    }
  }
  ::PostThreadMessageW(thread, kCommandMessage, 0,
                       reinterpret_cast<LPARAM>(new std::string("quit")));
  return 0;
}

}  // namespace

int main() {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  MSG message;
  // The thread's queue exists before the reader posts to it.
  ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  {
    Client client;
    HANDLE reader = ::CreateThread(
        nullptr, 0, ReadCommands,
        reinterpret_cast<void*>(static_cast<uintptr_t>(::GetCurrentThreadId())), 0, nullptr);
    Answer("ready");
    bool running = true;
    while (running && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (message.message != kCommandMessage || message.hwnd) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
        continue;
      }
      auto* line = reinterpret_cast<std::string*>(message.lParam);
      if (*line == "quit") {
        running = false;
        Answer("ok");
      } else {
        Answer(client.Run(*line));
      }
      delete line;
    }
    if (reader) ::CloseHandle(reader);
  }
  ::CoUninitialize();
  return 0;
}
