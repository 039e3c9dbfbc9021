#include "ui/core/global_manager.h"

#include <map>
#include <unordered_map>
#include <vector>

#include "base/file_util.h"
#include "base/string_util.h"
#include "ui/core/skin_file.h"

#if __has_include("ui/render/render.h")
#include "ui/render/render.h"
#define CORVANE_HAS_RENDER_FACTORY 1
#endif

namespace ui {

namespace {

// Far above any real language file; a bound, so that a wrong path cannot
// swallow the memory.
constexpr size_t kMaxLanguageFileSize = 16 * 1024 * 1024;

struct State {
  CreateControlCallback create_control;
  std::map<std::wstring, std::wstring> classes;
  std::unordered_map<std::wstring, std::wstring> language;
#ifdef CORVANE_HAS_RENDER_FACTORY
  std::unique_ptr<IRenderFactory> render_factory;
#endif
};

State& GetState() {
  static State* state = new State();
  return *state;
}

bool IsTrimmed(wchar_t c) {
  // Unsigned: wchar_t is signed on some targets and not on others.
  return c == L' ' || static_cast<uint32_t>(c) <= 29;
}

std::wstring Trim(std::wstring_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsTrimmed(text[begin])) ++begin;
  while (end > begin && IsTrimmed(text[end - 1])) --end;
  return std::wstring(text.substr(begin, end - begin));
}

}  // namespace

void GlobalManager::Shutdown() {
  ResetResources();
  State& s = GetState();
  s.create_control = nullptr;
  s.classes.clear();
  s.language.clear();
#ifdef CORVANE_HAS_RENDER_FACTORY
  s.render_factory.reset();
#endif
}

// -------------------------------------------------------------------- classes

void GlobalManager::AddClass(const std::wstring& name, const std::wstring& attributes) {
  GetState().classes[name] = attributes;
}

std::wstring GlobalManager::GetClass(const std::wstring& name) {
  const auto& classes = GetState().classes;
  auto it = classes.find(name);
  return it == classes.end() ? std::wstring() : it->second;
}

void GlobalManager::ClearClasses() {
  GetState().classes.clear();
}

// ----------------------------------------------------------- language strings

bool GlobalManager::LoadLanguageFile(const std::wstring& path) {
  std::string content;
  if (nbase::ReadWholeFile(SkinFilePath(path), kMaxLanguageFileSize, &content) !=
      nbase::ReadFileStatus::kOk) {
    return false;
  }
  LoadLanguageData(content);
  return true;
}

void GlobalManager::LoadLanguageData(std::string_view utf8) {
  // A byte order mark is not part of the first key.
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  auto& table = GetState().language;
  for (const std::string& raw : nbase::StringTokenize(utf8, std::string_view("\n\0", 2))) {
    const std::wstring line = Trim(nbase::UTF8ToWide(raw));
    if (line.empty()) continue;
    const std::vector<std::wstring> pieces = nbase::StringTokenize(line, L"=");
    if (pieces.size() != 2) continue;
    std::wstring key = Trim(pieces[0]);
    if (key.find(L';') != std::wstring::npos) continue;
    table[std::move(key)] = Trim(pieces[1]);
  }
}

std::wstring GlobalManager::GetLanguageString(const std::wstring& id) {
  if (id.empty()) return std::wstring();
  const auto& table = GetState().language;
  auto it = table.find(id);
  if (it == table.end()) return std::wstring();
  std::wstring text = it->second;
  nbase::StringReplaceAll(L"\\r", L"\r", &text);
  nbase::StringReplaceAll(L"\\n", L"\n", &text);
  return text;
}

void GlobalManager::ClearLanguageStrings() {
  GetState().language.clear();
}

// ---------------------------------------------------------------------- hooks

void GlobalManager::SetCreateControlCallback(const CreateControlCallback& callback) {
  GetState().create_control = callback;
}

const CreateControlCallback& GlobalManager::GetCreateControlCallback() {
  return GetState().create_control;
}

#ifdef CORVANE_HAS_RENDER_FACTORY
void GlobalManager::SetRenderFactory(std::unique_ptr<IRenderFactory> factory) {
  GetState().render_factory = std::move(factory);
}

IRenderFactory* GlobalManager::GetRenderFactory() {
  return GetState().render_factory.get();
}
#else
IRenderFactory* GlobalManager::GetRenderFactory() {
  return nullptr;
}
#endif

}  // namespace ui
