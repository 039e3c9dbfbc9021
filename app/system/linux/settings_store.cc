#include "app/system/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include <glib.h>

#include "app/system/folders.h"

namespace corvane {

namespace {

struct KeyFileDeleter {
  void operator()(GKeyFile* k) const { g_key_file_free(k); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileDeleter>;

// The store's own values are short; a line longer than this is nobody's value
// the installer reads. It is skipped when reading and copied through unread
// when writing, so memory stays at one buffer of this size (plus the line in
// hand) whatever the file holds, and each read or write is one pass over it.
constexpr size_t kMaxLineBytes = 64 * 1024;
constexpr size_t kReadChunk = 64 * 1024;

enum class FileState { kMissing, kOpen, kUnusable };

// Opens the file only when it is a regular file. The open does not block, so
// a named pipe (or device) at the path cannot stall start-up.
FileState OpenRegularFile(const std::string& path, int* fd) {
  *fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (*fd < 0) return errno == ENOENT ? FileState::kMissing : FileState::kUnusable;
  struct stat st;
  if (fstat(*fd, &st) == 0 && S_ISREG(st.st_mode)) return FileState::kOpen;
  close(*fd);
  *fd = -1;
  return FileState::kUnusable;
}

// The lines of a file through one bounded buffer.
class LineReader {
 public:
  enum class Result { kLine, kLongLine, kEnd, kError };
  using Sink = std::function<bool(std::string_view)>;

  explicit LineReader(int fd) : fd_(fd) {}

  // kLine: `line` holds the next line without its end of line (a byte-order
  // mark at the start of the file and a carriage return before the end are
  // dropped). kLongLine: the line was longer than kMaxLineBytes; its bytes,
  // end of line included, went to `sink` as they were read (when there is
  // one; a sink that returns false makes it kError).
  Result Next(std::string* line, const Sink& sink) {
    while (true) {
      const size_t end = buffer_.find('\n', start_);
      if (end != std::string::npos) return Take(end, end + 1, line);
      if (buffer_.size() - start_ > kMaxLineBytes) return PassLongLine(sink);
      Compact();
      const int got = Fill();
      if (got < 0) return Result::kError;
      if (got == 0) {
        if (start_ == buffer_.size()) return Result::kEnd;
        return Take(buffer_.size(), buffer_.size(), line);
      }
    }
  }

 private:
  Result Take(size_t end, size_t next, std::string* line) {
    line->assign(buffer_, start_, end - start_);
    start_ = next;
    if (first_) {
      first_ = false;
      if (line->rfind("\xEF\xBB\xBF", 0) == 0) line->erase(0, 3);
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return Result::kLine;
  }

  // Hands the long line on chunk by chunk, up to and including its end.
  Result PassLongLine(const Sink& sink) {
    first_ = false;
    while (true) {
      const size_t end = buffer_.find('\n', start_);
      const size_t stop = end == std::string::npos ? buffer_.size() : end + 1;
      if (sink && !sink(std::string_view(buffer_).substr(start_, stop - start_))) {
        return Result::kError;
      }
      start_ = stop;
      if (end != std::string::npos) return Result::kLongLine;
      Compact();
      const int got = Fill();
      if (got < 0) return Result::kError;
      if (got == 0) return Result::kLongLine;
    }
  }

  void Compact() {
    buffer_.erase(0, start_);
    start_ = 0;
  }

  // Bytes read: 0 at the end of the file, -1 on an error.
  int Fill() {
    const size_t old = buffer_.size();
    buffer_.resize(old + kReadChunk);
    ssize_t n;
    do {
      n = read(fd_, buffer_.data() + old, kReadChunk);
    } while (n < 0 && errno == EINTR);
    buffer_.resize(old + (n > 0 ? static_cast<size_t>(n) : 0));
    return n < 0 ? -1 : static_cast<int>(n);
  }

  int fd_;
  std::string buffer_;
  size_t start_ = 0;
  bool first_ = true;
};

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool IsPlainName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-' || c == '.';
    if (!plain) return false;
  }
  return true;
}

// What a line of the store is, by the rules of GLib's key files. Plain names
// are judged here; anything else is asked of GLib, so the two never disagree.
struct Line {
  enum Kind { kBlankOrComment, kGroup, kKey, kJunk } kind = kJunk;
  std::string name;  // the group's, or the key's
};

Line Classify(const std::string& text) {
  Line line;
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty() || trimmed.front() == '#') {
    line.kind = Line::kBlankOrComment;
    return line;
  }
  if (trimmed.front() == '[') {
    if (trimmed.back() == ']' && IsPlainName(trimmed.substr(1, trimmed.size() - 2))) {
      line.kind = Line::kGroup;
      line.name = std::string(trimmed.substr(1, trimmed.size() - 2));
      return line;
    }
    KeyFilePtr probe(g_key_file_new());
    if (g_key_file_load_from_data(probe.get(), text.data(), text.size(), G_KEY_FILE_NONE,
                                  nullptr)) {
      gchar* group = g_key_file_get_start_group(probe.get());
      if (group) {
        line.kind = Line::kGroup;
        line.name = group;
        g_free(group);
      }
    }
    return line;
  }
  const size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return line;
  const std::string_view key = Trim(trimmed.substr(0, equals));
  if (IsPlainName(key)) {
    line.kind = Line::kKey;
    line.name = std::string(key);
    return line;
  }
  KeyFilePtr probe(g_key_file_new());
  const std::string grouped = "[g]\n" + text;
  if (!g_key_file_load_from_data(probe.get(), grouped.data(), grouped.size(), G_KEY_FILE_NONE,
                                 nullptr)) {
    return line;
  }
  gchar** keys = g_key_file_get_keys(probe.get(), "g", nullptr, nullptr);
  if (keys && keys[0]) {
    line.kind = Line::kKey;
    line.name = keys[0];
  }
  g_strfreev(keys);
  return line;
}

// The unescaped value of a key line.
std::optional<std::string> ValueOf(const std::string& text, const std::string& name) {
  KeyFilePtr probe(g_key_file_new());
  const std::string grouped = "[g]\n" + text;
  if (!g_key_file_load_from_data(probe.get(), grouped.data(), grouped.size(), G_KEY_FILE_NONE,
                                 nullptr)) {
    return std::nullopt;
  }
  gchar* value = g_key_file_get_string(probe.get(), "g", name.c_str(), nullptr);
  if (!value) return std::nullopt;
  std::string result(value);
  g_free(value);
  return result;
}

// "name=value" with the value escaped as a key file writes it.
std::string KeyLine(const std::string& name, const std::string& value) {
  KeyFilePtr file(g_key_file_new());
  g_key_file_set_string(file.get(), "g", name.c_str(), value.c_str());
  gchar* data = g_key_file_to_data(file.get(), nullptr, nullptr);
  std::string text = data ? data : "";
  g_free(data);
  const size_t start = text.find('\n');
  return start == std::string::npos ? std::string() : text.substr(start + 1);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Collects the copy's bytes and writes them a buffer at a time.
class Output {
 public:
  explicit Output(int fd) : fd_(fd) {}
  bool Add(std::string_view data) {
    if (!data.empty()) ends_with_newline_ = data.back() == '\n';
    pending_.append(data);
    return pending_.size() < kReadChunk || Flush();
  }
  bool Flush() {
    const bool ok = WriteAll(fd_, pending_);
    pending_.clear();
    return ok;
  }
  bool ends_with_newline() const { return ends_with_newline_; }

 private:
  int fd_;
  std::string pending_;
  bool ends_with_newline_ = true;
};

// Copies the store from `in` to `out` with `key_line` as the one value of
// `name` in `group`: old values of it are left out and the new one opens the
// group's first section (or a new section at the end). Lines a key file
// cannot hold are left out as before, and so are keys under a group header
// that cannot be read; everything else, lines too long to read included,
// goes through unchanged.
bool CopyWithKey(int in, int out_fd, const std::string& group, const std::string& name,
                 const std::string& key_line) {
  LineReader reader(in);
  Output out(out_fd);
  bool written = false;
  bool in_group = false;
  bool in_target = false;
  std::string text;
  const LineReader::Sink pass = [&out](std::string_view chunk) { return out.Add(chunk); };
  while (true) {
    const LineReader::Result result = reader.Next(&text, pass);
    if (result == LineReader::Result::kError) return false;
    if (result == LineReader::Result::kEnd) break;
    if (result == LineReader::Result::kLongLine) continue;
    const Line line = Classify(text);
    bool keep = false;
    switch (line.kind) {
      case Line::kBlankOrComment:
        keep = true;
        break;
      case Line::kGroup:
        keep = in_group = true;
        in_target = line.name == group;
        break;
      case Line::kKey:
        keep = in_group && !(in_target && line.name == name);
        break;
      case Line::kJunk:
        // A header that cannot be read takes its keys with it.
        if (Trim(text).substr(0, 1) == "[") in_group = in_target = false;
        break;
    }
    if (keep && !(out.Add(text) && out.Add("\n"))) return false;
    if (line.kind == Line::kGroup && in_target && !written) {
      if (!out.Add(key_line)) return false;
      written = true;
    }
  }
  if (!written) {
    if (!out.ends_with_newline() && !out.Add("\n")) return false;
    if (!out.Add("[" + group + "]\n" + key_line)) return false;
  }
  return out.Flush();
}

}  // namespace

SettingsStore::SettingsStore(const std::string& key_path) {
  std::string relative = key_path;
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  const std::string software = "Software/";
  if (relative.rfind(software, 0) == 0) relative.erase(0, software.size());
  const size_t slash = relative.rfind('/');
  group_ = slash == std::string::npos ? relative : relative.substr(slash + 1);
  file_path_ = ConfigFolder() + "/" + relative + ".ini";
}

std::string SettingsStore::Read(const std::string& name) const {
  int fd = -1;
  if (OpenRegularFile(file_path_, &fd) != FileState::kOpen) return std::string();
  LineReader reader(fd);
  std::string value;
  std::string text;
  bool in_group = false;
  bool in_target = false;
  LineReader::Result result;
  while ((result = reader.Next(&text, nullptr)) != LineReader::Result::kEnd &&
         result != LineReader::Result::kError) {
    if (result == LineReader::Result::kLongLine) continue;
    // Only headers and the keys of the group asked for need a closer look.
    const std::string_view trimmed = Trim(text);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    if (trimmed.front() != '[' && (!in_target || trimmed.find('=') == std::string_view::npos)) {
      continue;
    }
    const Line line = Classify(text);
    if (line.kind == Line::kGroup) {
      in_group = true;
      in_target = line.name == group_;
    } else if (line.kind == Line::kJunk && trimmed.front() == '[') {
      in_group = in_target = false;
    } else if (line.kind == Line::kKey && in_group && in_target && line.name == name) {
      // The last one wins, as in a key file.
      if (std::optional<std::string> found = ValueOf(text, name)) value = std::move(*found);
    }
  }
  close(fd);
  return value;
}

bool SettingsStore::Write(const std::string& name, const std::string& value) const {
  const std::string folder = file_path_.substr(0, file_path_.rfind('/'));
  if (!CreateDirectoryTree(folder)) return false;
  int in = -1;
  // Something at the path that is not a readable regular file is not ours
  // to replace.
  const FileState state = OpenRegularFile(file_path_, &in);
  if (state == FileState::kUnusable) return false;

  std::string temp = file_path_ + ".XXXXXX";
  const int out = g_mkstemp_full(temp.data(), O_WRONLY | O_CLOEXEC, 0600);
  // A file that cannot be read to its end is never replaced by a part of it.
  bool ok = out >= 0 && (state == FileState::kOpen
                             ? CopyWithKey(in, out, group_, name, KeyLine(name, value))
                             : WriteAll(out, "[" + group_ + "]\n" + KeyLine(name, value)));
  ok = ok && fsync(out) == 0;
  if (in >= 0) close(in);
  if (out >= 0) ok = (close(out) == 0) && ok;
  ok = ok && std::rename(temp.c_str(), file_path_.c_str()) == 0;
  if (!ok && out >= 0) unlink(temp.c_str());
  return ok;
}

}  // namespace corvane
