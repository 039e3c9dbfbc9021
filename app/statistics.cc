#include "app/statistics.h"

#include <cstdint>
#include <mutex>
#include <vector>

#include "app/endpoints.h"
#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/machine_info.h"
#include "app/system/digest.h"
#include "app/system/os_info.h"
#include "base/framework_thread.h"
#include "base/string_util.h"

namespace corvane {

namespace {

struct UploadGate {
  std::mutex lock;
  bool held = false;
  std::vector<nbase::Closure> waiting;
};

UploadGate& Gate() {
  static UploadGate* gate = new UploadGate();  // used until the process ends
  return *gate;
}

// Posts under the gate's lock, so a record reported while the waiting ones
// are being released still goes after them.
void PostToHttpThread(nbase::Closure task) {
  UploadGate& gate = Gate();
  std::lock_guard<std::mutex> hold(gate.lock);
  if (gate.held) {
    gate.waiting.push_back(std::move(task));
    return;
  }
  nbase::ThreadRegistry::PostTaskToThread(kThreadHttp, std::move(task));
}

// The HTTP library (about 4 MB resident with what it brings in) is let go
// once the http thread has not used it for this long and no transfer holds
// it: long enough that a click's record and the download it starts, or a
// burst of records, find it still loaded.
constexpr int kHttpLibraryIdleMs = 1000;

// On the http thread, after each use: only the check after the last use
// unloads.
void UnloadHttpLibraryWhenIdle(int idle_ms) {
  static uint64_t uses = 0;
  const uint64_t use = ++uses;
  nbase::ThreadRegistry::PostDelayedTaskToThread(
      kThreadHttp,
      [use] {
        if (use == uses) UnloadIdleHttpLibrary();
      },
      nbase::TimeDelta::FromMilliseconds(idle_ms));
}

}  // namespace

void HoldUploads() {
  UploadGate& gate = Gate();
  std::lock_guard<std::mutex> hold(gate.lock);
  gate.held = true;
}

void ReleaseUploads() {
  UploadGate& gate = Gate();
  std::lock_guard<std::mutex> hold(gate.lock);
  if (!gate.held) return;
  gate.held = false;
  for (nbase::Closure& task : gate.waiting) {
    nbase::ThreadRegistry::PostTaskToThread(kThreadHttp, std::move(task));
  }
  gate.waiting.clear();
}

bool UploadsHeld() {
  UploadGate& gate = Gate();
  std::lock_guard<std::mutex> hold(gate.lock);
  return gate.held;
}

std::wstring JsonQuote(const std::wstring& text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) {
    switch (c) {
      case L'"':
        out += L"\\\"";
        break;
      case L'\\':
        out += L"\\\\";
        break;
      case L'\b':
        out += L"\\b";
        break;
      case L'\f':
        out += L"\\f";
        break;
      case L'\n':
        out += L"\\n";
        break;
      case L'\r':
        out += L"\\r";
        break;
      case L'\t':
        out += L"\\t";
        break;
      default:
        if (c < 0x20) {
          out += nbase::StringPrintf(L"\\u%04x", static_cast<unsigned>(c));
        } else {
          out += c;
        }
    }
  }
  out += L"\"";
  return out;
}

std::wstring BuildDataText(const EventData& data) {
  std::wstring text = L"{";
  for (const auto& [key, value] : data) {
    if (text.size() > 1) text += L",";
    text += JsonQuote(key) + L":" + JsonQuote(value);
  }
  return text + L"}";
}

std::wstring BuildRecordText(const std::wstring& event_id, const std::wstring& data_text) {
  std::wstring text = L"{\"eventId\":" + JsonQuote(event_id);
  text += L",\"imei\":" + JsonQuote(GetMachineId());
  text += L",\"appver\":" + JsonQuote(GetProgramVersion());
  text += L",\"appName\":" + JsonQuote(nbase::UTF8ToWide(kStatisticsAppName));
  if (!data_text.empty()) text += L",\"data\":" + data_text;
  return text + L"}";
}

std::string BuildRecordBody(const std::wstring& record_text) {
  return "log=" + corvane::Base64Encode(nbase::WideToUTF8(record_text));
}

void CollectCommonFields() {
  std::wstring channel_resource;
  ReadChannelResource(&channel_resource);
  // The HTTP library loads and starts on the http thread, after the
  // window's first frame rather than before it.
  PostToHttpThread([] { EnsureHttpLibraryInitialized(); });
  SetGlobalCookie("appver", nbase::WideToUTF8(GetProgramVersion()));
  SetGlobalCookie("os", corvane::StatisticsOsField());
  SetGlobalCookie("imei", nbase::WideToUTF8(GetMachineId()));
  SetGlobalCookie("appname", kStatisticsAppName);
  SetGlobalCookie("system",
                  nbase::WideToUTF8(GetOsName()) + (corvane::Is64BitMachine() ? " 64位" : " 32位"));
  SetGlobalCookie("channel",
                  channel_resource.empty() ? "default" : nbase::WideToUTF8(channel_resource));
}

void ReportEvent(const std::wstring& event_id, const EventData& data) {
  SendRecord(event_id, BuildDataText(data));
}

void SendRecord(const std::wstring& event_id, const std::wstring& data_text) {
  // Only the http thread uploads, so records go out one at a time, in order.
  // It encodes them too: on Windows the encoder's library brings the TLS
  // libraries with it, which the first frame should not wait for.
  PostToHttpThread([record = BuildRecordText(event_id, data_text)] {
    UploadRecord(BuildRecordBody(record));
    UnloadHttpLibraryWhenIdle(kHttpLibraryIdleMs);
  });
}

void WarmUpHttpLibrary(int idle_ms) {
  PostToHttpThread([idle_ms] {
    PreloadHttpLibrary();
    UnloadHttpLibraryWhenIdle(idle_ms);
  });
}

int UploadRecord(const std::string& body) {
  HttpClient client(std::string(), 15, 2, 60);
  std::string response;
  return client.PostForm(StatisticsUrl(), body, &response);
}

}  // namespace corvane
