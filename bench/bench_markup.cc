// Parse throughput of a large skin document: the in-place markup parser
// against libxml2's xmlReadMemory and pugixml's in-place parser on the same
// UTF-8 text. Prints the ratios.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "ui/core/markup.h"

namespace {

// A window layout in the style of the shipped skins, repeated until the text
// is about `bytes` long.
std::string MakeSkin(size_t bytes) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- generated skin for the parser benchmark -->\n"
      "<Window size=\"600,400\" caption=\"0,0,0,34\" shadowattached=\"true\">\n"
      "  <Class name=\"local\" value=\"font=&quot;2&quot; "
      "normaltextcolor=&quot;darkcolor&quot;\"/>\n"
      "  <VBox bkcolor=\"bk_wnd_lightcolor\">\n";
  int n = 0;
  while (text.size() < bytes) {
    const std::string i = std::to_string(n++);
    text +=
        "    <HBox class=\"caption\" name=\"row_" + i +
        "\" height=\"auto\" padding=\"10,0,5,0\">\n"
        "      <!-- row " +
        i +
        " -->\n"
        "      <Label name=\"title_" +
        i + "\" class=\"font_title\" text=\"立即安装 &amp; 体验 " + i +
        "\" width=\"stretch\" valign=\"center\" normaltextcolor=\"darkcolor\"/>\n"
        "      <Button name=\"btn_" +
        i +
        "\" class=\"btn_global_blue_80x30\" text=\"确定\" margin=\"10,6,0,0\" "
        "normalimage=\"file='../public/button/btn_global_blue_80x30_normal.png' "
        "corner='8,8,8,8'\"/>\n"
        "      <CheckBox name=\"agree_" +
        i +
        "\" class=\"checkbox_agree\" text=\"我已阅读并同意&lt;用户协议&gt;\" selected=\"true\"/>\n"
        "      <RichEdit name=\"content_" +
        i +
        "\" width=\"300\" multiline=\"true\" font=\"3\">Line one of the content\n"
        "        and a second line with &quot;quotes&quot;</RichEdit>\n"
        "    </HBox>\n";
  }
  text += "  </VBox>\n</Window>\n";
  return text;
}

const std::string& Skin() {
  static const std::string text = MakeSkin(2 * 1024 * 1024);
  return text;
}

void BM_MarkupLoadFromUtf8(benchmark::State& state) {
  const std::string& text = Skin();
  ui::MarkupDocument doc;
  for (auto _ : state) {
    if (!doc.LoadFromUtf8(text)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc.GetRoot());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["elements"] = static_cast<double>(doc.GetElementCount() - 1);
}
BENCHMARK(BM_MarkupLoadFromUtf8)->Unit(benchmark::kMillisecond);

void BM_MarkupLoadWide(benchmark::State& state) {
  const std::string& text = Skin();
  const std::wstring wide = nbase::UTF8ToWide(text);
  ui::MarkupDocument doc;
  for (auto _ : state) {
    if (!doc.Load(wide)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc.GetRoot());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_MarkupLoadWide)->Unit(benchmark::kMillisecond);

void BM_LibXml2ReadMemory(benchmark::State& state) {
  const std::string& text = Skin();
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "skin.xml", "UTF-8",
                                  XML_PARSE_NONET);
    if (doc == nullptr) state.SkipWithError("libxml2 parse failed");
    benchmark::DoNotOptimize(doc);
    xmlFreeDoc(doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LibXml2ReadMemory)->Unit(benchmark::kMillisecond);

// pugixml parses a copy of the text in place each time (the copy is part of
// the cost, as it is for ours). `flags` picks its default parse or the
// handling ours has: entities decoded, whitespace and line ends kept as they
// are, comments and processing instructions skipped.
void PugiLoadInPlace(benchmark::State& state, unsigned int flags) {
  const std::string& text = Skin();
  auto buffer = std::make_unique<char[]>(text.size());
  pugi::xml_document doc;
  for (auto _ : state) {
    std::copy(text.begin(), text.end(), buffer.get());
    pugi::xml_parse_result result =
        doc.load_buffer_inplace(buffer.get(), text.size(), flags, pugi::encoding_utf8);
    if (!result) state.SkipWithError("pugixml parse failed");
    benchmark::DoNotOptimize(doc.first_child());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_PugixmlInPlaceDefault(benchmark::State& state) {
  PugiLoadInPlace(state, pugi::parse_default);
}
BENCHMARK(BM_PugixmlInPlaceDefault)->Unit(benchmark::kMillisecond);

void BM_PugixmlInPlaceSameHandling(benchmark::State& state) {
  PugiLoadInPlace(state, pugi::parse_minimal | pugi::parse_escapes | pugi::parse_ws_pcdata);
}
BENCHMARK(BM_PugixmlInPlaceSameHandling)->Unit(benchmark::kMillisecond);

// Parsing and then reading every element name, content, attribute name and
// attribute value once, as the window builder does: ours widens each text on
// its first read, pugixml hands out its UTF-8 in place.
size_t ReadAll(ui::MarkupElement root) {
  size_t total = 0;
  std::vector<ui::MarkupElement> pending{root};
  while (!pending.empty()) {
    ui::MarkupElement e = pending.back();
    pending.pop_back();
    total += std::wcslen(e.GetName()) + std::wcslen(e.GetValue());
    for (int i = 0; i < e.GetAttributeCount(); ++i) {
      total += std::wcslen(e.GetAttributeName(i)) + std::wcslen(e.GetAttributeValue(i));
    }
    for (ui::MarkupElement c = e.GetChild(); c.IsValid(); c = c.GetSibling()) pending.push_back(c);
  }
  return total;
}

size_t ReadAll(pugi::xml_node root) {
  size_t total = 0;
  std::vector<pugi::xml_node> pending{root};
  while (!pending.empty()) {
    pugi::xml_node n = pending.back();
    pending.pop_back();
    total += std::strlen(n.name()) + std::strlen(n.child_value());
    for (pugi::xml_attribute a : n.attributes()) {
      total += std::strlen(a.name()) + std::strlen(a.value());
    }
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
      if (c.type() == pugi::node_element) pending.push_back(c);
    }
  }
  return total;
}

void BM_MarkupLoadAndReadAll(benchmark::State& state) {
  const std::string& text = Skin();
  ui::MarkupDocument doc;
  for (auto _ : state) {
    if (!doc.LoadFromUtf8(text)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(ReadAll(doc.GetRoot()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_MarkupLoadAndReadAll)->Unit(benchmark::kMillisecond);

void BM_PugixmlLoadAndReadAll(benchmark::State& state) {
  const std::string& text = Skin();
  auto buffer = std::make_unique<char[]>(text.size());
  pugi::xml_document doc;
  for (auto _ : state) {
    std::copy(text.begin(), text.end(), buffer.get());
    if (!doc.load_buffer_inplace(buffer.get(), text.size(), pugi::parse_default,
                                 pugi::encoding_utf8)) {
      state.SkipWithError("pugixml parse failed");
    }
    benchmark::DoNotOptimize(ReadAll(doc.document_element()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_PugixmlLoadAndReadAll)->Unit(benchmark::kMillisecond);

// Keeps each run's CPU time per iteration in ms (the machine is shared, so wall
// time is noisy) so the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        // The best of repeated runs: load from other processes only adds time.
        double& best = times_[run.run_name.function_name];
        const double t = run.GetAdjustedCPUTime();
        best = best > 0 ? std::min(best, t) : t;
      }
    }
  }
  void PrintRatios() const {
    std::printf("skin text: %zu bytes (CPU time, best run; the machine is shared and loaded)\n",
                Skin().size());
    const double utf8 = Get("BM_MarkupLoadFromUtf8");
    const double wide = Get("BM_MarkupLoadWide");
    Print("libxml2 xmlReadMemory", Get("BM_LibXml2ReadMemory"), "markup from UTF-8", utf8,
          ">= 1.0x");
    Print("libxml2 xmlReadMemory", Get("BM_LibXml2ReadMemory"), "markup from wide text", wide,
          ">= 1.0x");
    Print("pugixml in place, default flags", Get("BM_PugixmlInPlaceDefault"), "markup from UTF-8",
          utf8, ">= 1.0x");
    Print("pugixml in place, same handling", Get("BM_PugixmlInPlaceSameHandling"),
          "markup from UTF-8", utf8, ">= 1.0x");
    Print("pugixml, parse + read every text", Get("BM_PugixmlLoadAndReadAll"),
          "markup, parse + read all", Get("BM_MarkupLoadAndReadAll"), ">= 1.0x");
  }

 private:
  static void Print(const char* peer, double peer_time, const char* ours, double our_time,
                    const char* goal) {
    if (peer_time <= 0 || our_time <= 0) return;
    std::printf("%-32s %7.3f ms / %-21s %7.3f ms = peer/ours %.2fx (goal %s)\n", peer, peer_time,
                ours, our_time, peer_time / our_time, goal);
  }
  double Get(const std::string& name) const {
    auto it = times_.find(name);
    return it == times_.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  xmlInitParser();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  xmlCleanupParser();
  return 0;
}
