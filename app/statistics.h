#pragma once

#include <functional>
#include <map>
#include <string>

namespace corvane {

using EventData = std::map<std::wstring, std::wstring>;

// Writes `text` as a JSON string (RFC 8259): quotes, backslashes and control
// characters escaped, everything else kept as is.
std::wstring JsonQuote(const std::wstring& text);

// {"key":"value",...} in key order, no blanks; {} for an empty table.
std::wstring BuildDataText(const EventData& data);

// The record object, members in the order eventId, imei, appver, appName,
// data (left out when the data text is empty).
std::wstring BuildRecordText(const std::wstring& event_id, const std::wstring& data_text);

// "log=" + standard Base64 of the record's UTF-8 bytes.
std::string BuildRecordBody(const std::wstring& record_text);

// Stores the six common fields as global cookies and initialises libcurl.
// The "channel" cookie is the channel resource only ("default" without one).
void CollectCommonFields();

// Builds the record and hands its upload to the http thread; callable from
// any thread, never waits. Records are uploaded in posting order.
// While uploads are held the records (and the HTTP library's start) wait,
// in order, and go to the http thread when they are released.
void ReportEvent(const std::wstring& event_id, const EventData& data);
void SendRecord(const std::wstring& event_id, const std::wstring& data_text);

// The windowed start holds the uploads until the main window's first frame:
// loading the HTTP library and the first request would otherwise compete with
// the window for the processor. Releasing twice does nothing the second time.
void HoldUploads();
void ReleaseUploads();
bool UploadsHeld();

// Records are uploaded in posting order. Once the http thread has not used
// the HTTP library for a second and no transfer holds it, it is unloaded.
// WarmUpHttpLibrary loads it on the http thread ahead of a likely request
// (the pointer on the install button), as loading it again takes about
// 10 ms that the request would wait for; unused for `idle_ms`, it goes again.
void WarmUpHttpLibrary(int idle_ms);

// The upload itself, run on the http thread: one form post, at most two
// attempts. Returns the last libcurl code.
int UploadRecord(const std::string& body);

}  // namespace corvane
