// Paragraph layouts on DirectWrite. DirectWrite shapes the text (fonts,
// glyphs, clusters and where lines may break) on one unbounded line and
// rasterises the glyphs; the lines, carets and hit tests are computed here
// from its cluster metrics, and the glyph runs are placed on those lines
// when drawn. So carets, hit tests and drawing agree exactly, and long words
// are broken where no break opportunity is left (not every DirectWrite has
// the emergency break, nor hit testing).
//
// Each cluster is given a whole number of pixels, as hinted text is, so that
// carets sit on pixel edges and equal characters are equally wide wherever
// they stand; a cluster's last glyph takes up the rounding.

// The render interfaces name the text style bits that <windows.h> defines as
// macros: they come first.
#include "ui/render/render.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "ui/resource/native_font.h"
#include "ui/resource/skin_resources.h"
#include "ui/text/paragraph_layout.h"
#include "ui/text/win/dwrite_context.h"
#include "ui/text/win/dwrite_font.h"
#include "ui/text/win/glyph_painter.h"

namespace ui {

static_assert(sizeof(wchar_t) == 2, "wide strings hold UTF-16 units here");

namespace {

using dwrite::ComPtr;
using dwrite::Context;
using dwrite::GlyphPainter;
using dwrite::TextEffect;

// What a paragraph's units are drawn with, once the base format and the
// runs are applied.
struct Attr {
  std::wstring families;
  float size = 12;
  int weight = DWRITE_FONT_WEIGHT_NORMAL;
  bool italic = false;
  bool underline = false;
  bool has_color = false;
  uint32_t color = 0;
  friend bool operator==(const Attr&, const Attr&) = default;
};

void ApplyFormat(const CharFormat& f, Attr* attr) {
  if ((f.mask & CharFormat::kColor)) {
    attr->has_color = true;
    attr->color = f.color;
  }
  if ((f.mask & CharFormat::kFace) && !f.face.empty()) attr->families = nbase::UTF8ToWide(f.face);
  if ((f.mask & CharFormat::kSize) && f.size > 0) attr->size = static_cast<float>(f.size);
  if (f.mask & CharFormat::kBold) {
    attr->weight = f.bold ? DWRITE_FONT_WEIGHT_BOLD : DWRITE_FONT_WEIGHT_NORMAL;
  }
  if (f.mask & CharFormat::kItalic) attr->italic = f.italic;
  if (f.mask & CharFormat::kUnderline) attr->underline = f.underline;
}

bool IsHigh(wchar_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(wchar_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Units that continue the character before them on screen: the second half
// of a surrogate pair, combining marks, joiners and variation selectors.
std::vector<bool> ContinuingUnits(std::wstring_view text) {
  std::vector<bool> out(text.size(), false);
  if (text.empty()) return out;
  std::vector<WORD> type3(text.size(), 0);
  GetStringTypeW(CT_CTYPE3, text.data(), static_cast<int>(text.size()), type3.data());
  for (size_t i = 1; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (IsLow(c) && IsHigh(text[i - 1])) {
      out[i] = true;
    } else if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
      const char32_t cp = nbase::CodePointAt(text, i);
      out[i] = cp >= 0xE0100 && cp <= 0xE01EF;  // variation selectors
    } else {
      out[i] = (type3[i] & C3_NONSPACING) || c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F);
    }
  }
  return out;
}

struct Cluster {
  int start = 0;
  int length = 0;
  float width = 0;
  bool wrap_after = false;
  bool whitespace = false;
  bool newline = false;
};

std::vector<Cluster> ClustersOf(IDWriteTextLayout* layout) {
  UINT32 count = 0;
  layout->GetClusterMetrics(nullptr, 0, &count);
  std::vector<DWRITE_CLUSTER_METRICS> metrics(count);
  if (count == 0 || FAILED(layout->GetClusterMetrics(metrics.data(), count, &count))) return {};
  std::vector<Cluster> out;
  out.reserve(count);
  int at = 0;
  for (const DWRITE_CLUSTER_METRICS& m : metrics) {
    // Whole pixels per cluster.
    out.push_back(Cluster{at, m.length, std::round(m.width), m.canWrapLineAfter != 0,
                          m.isWhitespace != 0, m.isNewline != 0});
    at += m.length;
  }
  return out;
}

class DWriteParagraphLayout : public ParagraphLayout {
 public:
  DWriteParagraphLayout(std::shared_ptr<Context> context, std::wstring_view text,
                        const ParagraphStyle& style);

  CSize GetSize() const override { return size_; }
  int GetLineCount() const override { return static_cast<int>(lines_.size()); }
  ParagraphLine GetLine(int line) const override;
  int GetLineOfIndex(int index) const override;
  ParagraphHit HitTest(int x, int y) const override;
  UiRect GetCaretRect(int index) const override;
  void Draw(IRenderContext* context, int x, int y, uint32_t color,
            const ParagraphSelection* selection) const override;

 private:
  struct Line {
    int start = 0;
    int length = 0;
    float width = 0;    // every cluster's
    float visible = 0;  // without the blanks a wrap hangs at its end
    int offset = 0;     // alignment, pixels
    int top = 0;
    int height = 0;
    int baseline = 0;  // from the top
    int end() const { return start + length; }
  };

  int Units() const { return static_cast<int>(text_.size()); }
  const Attr& AttrAt(int index) const { return attrs_[attr_of_.empty() ? 0 : attr_of_[index]]; }
  // The attributes of every unit from the font, the base format, the runs
  // and the composition.
  void ResolveAttrs(const ParagraphStyle& style);
  // Lines, their tops and heights, the carets and the size.
  void LayOut();
  // The paragraph shaped on one line.
  ComPtr<IDWriteTextLayout> Shape();
  void BreakLines(const std::vector<Cluster>& clusters);
  // Carets and widths of every line.
  void PlaceClusters(const std::vector<Cluster>& clusters);
  // Each line's height and baseline: as high as the largest text on it.
  std::vector<std::pair<float, float>> LineHeights();
  // Draws the part of `run` that `line` shows.
  void PlaceRun(GlyphPainter* painter, const Line& line, const DWRITE_GLYPH_RUN& run,
                const DWRITE_GLYPH_RUN_DESCRIPTION& text, IUnknown* effect, uint32_t color) const;
  // `index` moved off the second half of a surrogate pair.
  int Align(int index) const;
  // x of the caret before `index` on `line`, from the line's start (the
  // line's end is its full width); PixelX adds the alignment.
  float XOf(const Line& line, int index) const;
  int PixelX(const Line& line, int index) const {
    return line.offset + static_cast<int>(std::lround(XOf(line, index)));
  }
  std::vector<UiRect> SelectionRects(const ParagraphSelection& selection) const;
  void AddUnderlines(GlyphPainter* painter, uint32_t color) const;

  std::shared_ptr<Context> context_;
  std::wstring text_;
  std::vector<Attr> attrs_;
  std::vector<uint16_t> attr_of_;  // per unit; empty when every unit has attrs_[0]
  std::vector<ComPtr<TextEffect>> effects_;
  ComPtr<IDWriteTextFormat> format_;
  ComPtr<IDWriteTextLayout> layout_;
  std::wstring base_family_;
  int wrap_width_ = -1;
  TextAlign align_ = TextAlign::kLeft;
  std::vector<Line> lines_;
  std::vector<float> x_;  // per unit: its caret's x on its line
  std::vector<bool> continuing_;
  CSize size_;
};

DWriteParagraphLayout::DWriteParagraphLayout(std::shared_ptr<Context> context,
                                             std::wstring_view text, const ParagraphStyle& style)
    : context_(std::move(context)),
      text_(text),
      wrap_width_(style.wrap_width),
      align_(style.align) {
  ResolveAttrs(style);
  continuing_ = ContinuingUnits(text_);
  if (context_) {
    const Attr& base = attrs_[0];
    base_family_ = context_->PrimaryFamily(base.families);
    context_->factory()->CreateTextFormat(
        base_family_.c_str(), nullptr, static_cast<DWRITE_FONT_WEIGHT>(base.weight),
        base.italic ? DWRITE_FONT_STYLE_ITALIC : DWRITE_FONT_STYLE_NORMAL,
        DWRITE_FONT_STRETCH_NORMAL, base.size, L"zh-cn", &format_);
    if (format_) format_->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP);
  }
  LayOut();
}

void DWriteParagraphLayout::ResolveAttrs(const ParagraphStyle& style) {
  const dwrite::FontRequest request = dwrite::RequestOf(style.font);
  Attr base;
  base.families = request.families;
  base.size = request.size;
  base.weight = request.weight;
  base.italic = request.italic;
  ApplyFormat(style.base, &base);
  attrs_.push_back(base);
  const int n = Units();
  const bool composing = style.composition_end > style.composition_start;
  if (!style.runs.empty() || composing) {
    attr_of_.assign(text_.size(), 0);
    auto apply = [&](int start, int end, auto&& change) {
      start = Align(std::clamp(start, 0, n));
      end = Align(std::clamp(end, 0, n));
      for (int i = start; i < end; ++i) {
        Attr attr = attrs_[attr_of_[i]];
        change(&attr);
        auto it = std::find(attrs_.begin(), attrs_.end(), attr);
        if (it == attrs_.end()) {
          if (attrs_.size() > 0xFFFF) continue;
          it = attrs_.insert(attrs_.end(), attr);
        }
        attr_of_[i] = static_cast<uint16_t>(it - attrs_.begin());
      }
    };
    for (const ParagraphStyle::Run& run : style.runs) {
      apply(run.start, run.end, [&run](Attr* attr) { ApplyFormat(run.format, attr); });
    }
    if (composing) {
      apply(style.composition_start, style.composition_end,
            [](Attr* attr) { attr->underline = true; });
    }
  }
  effects_.resize(attrs_.size());
  for (size_t i = 0; i < attrs_.size(); ++i) {
    if (attrs_[i].has_color) effects_[i].Attach(new TextEffect(attrs_[i].color));
  }
}

void DWriteParagraphLayout::LayOut() {
  layout_ = Shape();
  const std::vector<Cluster> clusters =
      layout_ ? ClustersOf(layout_.Get()) : std::vector<Cluster>();
  BreakLines(clusters);
  PlaceClusters(clusters);
  const std::vector<std::pair<float, float>> heights = LineHeights();
  float top = 0;
  float widest = 0;
  for (size_t i = 0; i < lines_.size(); ++i) {
    Line& line = lines_[i];
    // Tops are the rounded sums of the heights above; the paragraph's
    // height is rounded up.
    line.top = static_cast<int>(std::lround(top));
    top += heights[i].first;
    const bool last = i + 1 == lines_.size();
    line.height =
        (last ? static_cast<int>(std::ceil(top)) : static_cast<int>(std::lround(top))) - line.top;
    line.baseline = static_cast<int>(std::lround(heights[i].second));
    widest = std::max(widest, line.visible);
  }
  size_ = CSize(static_cast<int>(widest), lines_.back().top + lines_.back().height);
  if (wrap_width_ > 0 && align_ != TextAlign::kLeft) {
    for (Line& line : lines_) {
      const float room = std::max(0.0f, wrap_width_ - line.visible);
      line.offset = static_cast<int>(align_ == TextAlign::kCenter ? room / 2 : room);
    }
  }
}

int DWriteParagraphLayout::Align(int index) const {
  if (index > 0 && index < Units() && IsLow(text_[index]) && IsHigh(text_[index - 1])) --index;
  return index;
}

ComPtr<IDWriteTextLayout> DWriteParagraphLayout::Shape() {
  ComPtr<IDWriteTextLayout> layout;
  if (!format_ ||
      FAILED(context_->factory()->CreateTextLayout(text_.data(), static_cast<UINT32>(text_.size()),
                                                   format_.Get(), 0, 0, &layout))) {
    return nullptr;
  }
  layout->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP);
  const Attr& base = attrs_[0];
  // Ranges of one attribute set and one family, applied where they differ
  // from the format's.
  const int end = Units();
  int i = 0;
  while (i < end) {
    const size_t attr_index = attr_of_.empty() ? 0 : attr_of_[i];
    const Attr& attr = attrs_[attr_index];
    const std::wstring* family =
        &context_->FamilyFor(attr.families, nbase::CodePointAt(text_, static_cast<size_t>(i)));
    int j = static_cast<int>(nbase::NextCharBoundary(text_, static_cast<size_t>(i)));
    while (j < end && (attr_of_.empty() ? 0 : attr_of_[j]) == attr_index) {
      const std::wstring* next =
          &context_->FamilyFor(attr.families, nbase::CodePointAt(text_, static_cast<size_t>(j)));
      // Units that continue a character stay in its family.
      if (*next != *family && !continuing_[j]) break;
      j = static_cast<int>(nbase::NextCharBoundary(text_, static_cast<size_t>(j)));
    }
    j = std::min(j, end);
    const DWRITE_TEXT_RANGE range{static_cast<UINT32>(i), static_cast<UINT32>(j - i)};
    if (*family != base_family_) layout->SetFontFamilyName(family->c_str(), range);
    if (attr.size != base.size) layout->SetFontSize(attr.size, range);
    if (attr.weight != base.weight) {
      layout->SetFontWeight(static_cast<DWRITE_FONT_WEIGHT>(attr.weight), range);
    }
    if (attr.italic != base.italic) {
      layout->SetFontStyle(attr.italic ? DWRITE_FONT_STYLE_ITALIC : DWRITE_FONT_STYLE_NORMAL,
                           range);
    }
    if (effects_[attr_index]) layout->SetDrawingEffect(effects_[attr_index].Get(), range);
    i = j;
  }
  return layout;
}

void DWriteParagraphLayout::BreakLines(const std::vector<Cluster>& clusters) {
  lines_.clear();
  auto add = [this](int start, int end) {
    Line line;
    line.start = start;
    line.length = end - start;
    lines_.push_back(std::move(line));
  };
  const bool wrap = wrap_width_ > 0;
  size_t first = 0;  // the line's first cluster
  float pen = 0;     // width of the line's clusters so far
  size_t after = 0;  // the line may end after cluster `after - 1`; 0: no break yet
  for (size_t i = 0; i < clusters.size(); ++i) {
    const Cluster& c = clusters[i];
    // Blanks hang past the wrap width; anything else that does not fit
    // starts a new line at the last break opportunity, or here when the line
    // has none (a word longer than the line is cut between characters).
    while (wrap && !c.whitespace && !c.newline && i > first && pen + c.width > wrap_width_) {
      const size_t end = after > first ? after : i;
      add(clusters[first].start, clusters[end].start);
      for (size_t k = first; k < end; ++k) pen -= clusters[k].width;
      first = end;
      after = 0;
      if (first == i) pen = 0;
    }
    pen += c.width;
    if (c.newline) {
      add(clusters[first].start, c.start + c.length);
      first = i + 1;
      pen = 0;
      after = 0;
      continue;
    }
    if (c.wrap_after) after = i + 1;
  }
  // The rest; an empty line after a final hard break, or for no text (all
  // of it when it could not be shaped).
  add(first < clusters.size() ? clusters[first].start : clusters.empty() ? 0 : Units(), Units());
}

void DWriteParagraphLayout::PlaceClusters(const std::vector<Cluster>& clusters) {
  x_.assign(text_.size() + 1, 0);
  size_t c = 0;
  for (size_t l = 0; l < lines_.size(); ++l) {
    Line& line = lines_[l];
    float pen = 0;
    float hanging = 0;  // trailing blanks
    for (; c < clusters.size() && clusters[c].start < line.end(); ++c) {
      const Cluster& cluster = clusters[c];
      // A cluster's width is shared by its characters; the units that
      // continue a character take the x of its start.
      const int from = cluster.start;
      const int to = std::min(from + cluster.length, Units());
      int stops = 0;
      for (int k = from; k < to; ++k) stops += k > from && continuing_[k] ? 0 : 1;
      int stop = 0;
      for (int k = from; k < to; ++k) {
        x_[k] = k > from && continuing_[k] ? x_[k - 1]
                                           : pen + cluster.width * static_cast<float>(stop++) /
                                                       static_cast<float>(std::max(stops, 1));
      }
      pen += cluster.width;
      hanging = cluster.whitespace || cluster.newline ? hanging + cluster.width : 0;
    }
    line.width = pen;
    // The blanks a wrapped line ends with hang outside it.
    line.visible = l + 1 == lines_.size() ? pen : pen - hanging;
  }
  x_[text_.size()] = lines_.back().width;
}

std::vector<std::pair<float, float>> DWriteParagraphLayout::LineHeights() {
  // Without a shaping (no DirectWrite) a line is still as high as its text.
  float height = attrs_[0].size * 1.25f;
  float baseline = attrs_[0].size;
  if (layout_) {
    UINT32 count = 0;
    layout_->GetLineMetrics(nullptr, 0, &count);
    std::vector<DWRITE_LINE_METRICS> metrics(std::max<UINT32>(count, 1));
    if (count > 0 && SUCCEEDED(layout_->GetLineMetrics(metrics.data(), count, &count))) {
      height = metrics[0].height;
      baseline = metrics[0].baseline;
    }
  }
  std::vector<std::pair<float, float>> out(lines_.size(), {height, baseline});
  if (!layout_) return out;
  // The fonts each line draws with: their ascents and descents (line gap
  // included) at their sizes.
  std::vector<float> ascent(lines_.size(), -1), descent(lines_.size(), -1);
  float most_ascent = -1, most_descent = -1;
  dwrite::ForEachGlyphRun(layout_.Get(), [&](const DWRITE_GLYPH_RUN& run,
                                             const DWRITE_GLYPH_RUN_DESCRIPTION& text, IUnknown*) {
    DWRITE_FONT_METRICS fm;
    run.fontFace->GetMetrics(&fm);
    const float scale = run.fontEmSize / std::max<float>(fm.designUnitsPerEm, 1);
    const float a = fm.ascent * scale;
    const float d = (fm.descent + fm.lineGap) * scale;
    most_ascent = std::max(most_ascent, a);
    most_descent = std::max(most_descent, d);
    const int from = static_cast<int>(text.textPosition);
    const int to = from + static_cast<int>(text.stringLength);
    for (int l = GetLineOfIndex(from); l < GetLineCount() && lines_[l].start < to; ++l) {
      ascent[l] = std::max(ascent[l], a);
      descent[l] = std::max(descent[l], d);
    }
  });
  // Ascent and descent are each rounded up to whole pixels, as hinted font
  // metrics make them on Linux, so a field is as high on both targets. A
  // line without text of its own (an empty last line) is as high as the
  // paragraph's largest text.
  auto rounded = [](float a, float d) {
    const float top = std::ceil(a - 0.01f);
    return std::pair<float, float>(top + std::ceil(d - 0.01f), top);
  };
  for (size_t l = 0; l < lines_.size(); ++l) {
    if (ascent[l] >= 0) {
      out[l] = rounded(ascent[l], descent[l]);
    } else if (most_ascent >= 0) {
      out[l] = rounded(most_ascent, most_descent);
    }
  }
  return out;
}

ParagraphLine DWriteParagraphLayout::GetLine(int line) const {
  const Line& l = lines_[static_cast<size_t>(std::clamp(line, 0, GetLineCount() - 1))];
  return ParagraphLine{l.start, l.length, l.top, l.height};
}

int DWriteParagraphLayout::GetLineOfIndex(int index) const {
  const int count = GetLineCount();
  for (int i = 0; i + 1 < count; ++i) {
    if (index < lines_[static_cast<size_t>(i)].end()) return i;
  }
  return count - 1;
}

float DWriteParagraphLayout::XOf(const Line& line, int index) const {
  if (index >= line.end() || index >= Units()) return line.width;
  return x_[static_cast<size_t>(std::max(index, line.start))];
}

UiRect DWriteParagraphLayout::GetCaretRect(int index) const {
  index = Align(std::clamp(index, 0, Units()));
  // Units that continue a character share its caret.
  while (index > 0 && index < Units() && continuing_[index]) --index;
  const Line& line = lines_[static_cast<size_t>(GetLineOfIndex(index))];
  const int x = PixelX(line, index);
  return UiRect(x, line.top, x + 1, line.top + line.height);
}

ParagraphHit DWriteParagraphLayout::HitTest(int x, int y) const {
  ParagraphHit hit;
  size_t which = 0;
  while (which + 1 < lines_.size() && y >= lines_[which].top + lines_[which].height) ++which;
  const Line& line = lines_[which];
  const bool last = which + 1 == lines_.size();
  const float px = static_cast<float>(x - line.offset);
  if (line.length == 0 || px < 0) {
    hit.index = line.start;
    return hit;
  }
  if (px >= line.width) {
    // Past the line's end: its last character. On a wrapped line the caret
    // stays before it, so that it shows on this line.
    hit.index = static_cast<int>(nbase::PrevCharBoundary(text_, static_cast<size_t>(line.end())));
    while (hit.index > line.start && continuing_[hit.index]) --hit.index;
    hit.trailing = last ? line.end() - hit.index : 0;
    return hit;
  }
  // The last caret stop at or before px.
  auto begin = x_.begin() + line.start;
  auto end = x_.begin() + line.end();
  int at = static_cast<int>(std::upper_bound(begin, end, px) - x_.begin()) - 1;
  at = std::max(at, line.start);
  while (at > line.start && continuing_[at]) --at;
  int next = at + 1;
  while (next < line.end() && continuing_[next]) ++next;
  const float left = x_[at];
  const float right = XOf(line, next);
  hit.index = at;
  hit.trailing = px >= (left + right) / 2 ? next - at : 0;
  hit.inside = y >= 0 && y < size_.cy;
  return hit;
}

void DWriteParagraphLayout::PlaceRun(GlyphPainter* painter, const Line& line,
                                     const DWRITE_GLYPH_RUN& run,
                                     const DWRITE_GLYPH_RUN_DESCRIPTION& text, IUnknown* effect,
                                     uint32_t color) const {
  const int from = static_cast<int>(text.textPosition);
  const int to = from + static_cast<int>(text.stringLength);
  const int a = std::max(from, line.start);
  const int b = std::min(to, line.end());
  if (a >= b || !text.clusterMap) return;
  auto glyph_at = [&](int unit) {
    return unit >= to ? run.glyphCount : text.clusterMap[unit - from];
  };
  const UINT32 first = glyph_at(a);
  const UINT32 last = glyph_at(b);
  const float baseline = static_cast<float>(line.top + line.baseline);
  if (last <= first || (run.bidiLevel & 1)) {
    // Right-to-left glyphs are drawn leftwards from the range's right edge.
    DWRITE_GLYPH_RUN part = run;
    if (last > first) {
      part.glyphCount = last - first;
      part.glyphIndices += first;
      part.glyphAdvances += first;
      if (part.glyphOffsets) part.glyphOffsets += first;
    }
    painter->AddGlyphs(part, static_cast<float>(line.offset) + XOf(line, b), baseline, effect,
                       color);
    return;
  }
  // Each cluster as wide as its carets say: its last glyph takes up the
  // rounding.
  std::vector<FLOAT> advances(run.glyphAdvances + first, run.glyphAdvances + last);
  for (int u = a; u < b;) {
    int next = u + 1;
    while (next < b && glyph_at(next) == glyph_at(u)) ++next;
    const UINT32 g0 = glyph_at(u), g1 = glyph_at(next);
    if (g1 > g0) {
      float natural = 0;
      for (UINT32 g = g0; g < g1; ++g) natural += run.glyphAdvances[g];
      advances[g1 - 1 - first] += XOf(line, next) - XOf(line, u) - natural;
    }
    u = next;
  }
  DWRITE_GLYPH_RUN part = run;
  part.glyphCount = last - first;
  part.glyphIndices += first;
  part.glyphAdvances = advances.data();
  if (part.glyphOffsets) part.glyphOffsets += first;
  painter->AddGlyphs(part, static_cast<float>(line.offset) + XOf(line, a), baseline, effect, color);
}

std::vector<UiRect> DWriteParagraphLayout::SelectionRects(
    const ParagraphSelection& selection) const {
  std::vector<UiRect> rects;
  const int start = Align(std::clamp(selection.start, 0, Units()));
  const int end = Align(std::clamp(selection.end, 0, Units()));
  for (const Line& line : lines_) {
    const int s = std::max(start, line.start);
    const int e = std::min(end, line.end());
    if (s >= e) continue;
    rects.emplace_back(PixelX(line, s), line.top, PixelX(line, e), line.top + line.height);
  }
  if (selection.line_break) {
    const Line& line = lines_.back();
    const int x = PixelX(line, line.end());
    rects.emplace_back(x, line.top, x + 4, line.top + line.height);
  }
  return rects;
}

void DWriteParagraphLayout::AddUnderlines(GlyphPainter* painter, uint32_t color) const {
  if (attr_of_.empty() && !attrs_[0].underline) return;
  for (const Line& line : lines_) {
    int i = line.start;
    while (i < line.end()) {
      const Attr& attr = AttrAt(i);
      int j = i + 1;
      while (j < line.end() && AttrAt(j) == attr) ++j;
      if (attr.underline) {
        // Below the baseline by a tenth of the size, a fifteenth thick, at
        // least a pixel each, inside the line.
        const int baseline = line.top + line.baseline;
        const int thickness = std::max(1, static_cast<int>(std::lround(attr.size / 15)));
        int top = baseline + std::max(1, static_cast<int>(std::lround(attr.size / 10)));
        top = std::min(top, line.top + line.height - thickness);
        painter->AddRect(UiRect(PixelX(line, i), top, PixelX(line, j), top + thickness),
                         attr.has_color ? attr.color : color);
      }
      i = j;
    }
  }
}

void DWriteParagraphLayout::Draw(IRenderContext* context, int x, int y, uint32_t color,
                                 const ParagraphSelection* selection) const {
  if (!context) return;
  GlyphPainter painter(context_.get());
  if (layout_) {
    dwrite::ForEachGlyphRun(
        layout_.Get(), [&](const DWRITE_GLYPH_RUN& run, const DWRITE_GLYPH_RUN_DESCRIPTION& text,
                           IUnknown* effect) {
          const int from = static_cast<int>(text.textPosition);
          const int to = from + static_cast<int>(text.stringLength);
          for (int l = GetLineOfIndex(from); l < GetLineCount() && lines_[l].start < to; ++l) {
            PlaceRun(&painter, lines_[l], run, text, effect, color);
          }
        });
  }
  AddUnderlines(&painter, color);
  const UiRect bounds = painter.GetBounds();
  auto blend = [&](const std::shared_ptr<PixelImage>& image) {
    if (!image) return;
    context->AlphaBlend(x + bounds.left, y + bounds.top, bounds.GetWidth(), bounds.GetHeight(),
                        image.get(), 0, 0, bounds.GetWidth(), bounds.GetHeight());
  };
  if (!bounds.IsRectEmpty()) blend(painter.Paint(bounds));
  if (!selection) return;
  // The highlight over the text, then the text again in the selected colour
  // inside it.
  const std::vector<UiRect> rects = SelectionRects(*selection);
  for (UiRect rect : rects) {
    rect.Offset(x, y);
    context->DrawColor(rect, selection->background);
  }
  if (!bounds.IsRectEmpty() && !rects.empty()) {
    blend(painter.Paint(bounds, rects, selection->text_color));
  }
}

class DWriteParagraphLayoutFactory : public ParagraphLayoutFactory {
 public:
  explicit DWriteParagraphLayoutFactory(std::shared_ptr<Context> context)
      : context_(std::move(context)) {}

  std::unique_ptr<ParagraphLayout> Create(std::wstring_view text,
                                          const ParagraphStyle& style) override {
    return std::make_unique<DWriteParagraphLayout>(context_, text, style);
  }

 private:
  std::shared_ptr<Context> context_;
};

}  // namespace

namespace {

// A context prepared off the UI thread, until a factory takes it.
std::mutex g_prepared_lock;
std::shared_ptr<Context> g_prepared;

}  // namespace

std::unique_ptr<ParagraphLayoutFactory> CreateParagraphLayoutFactory() {
  std::shared_ptr<Context> context;
  {
    std::lock_guard<std::mutex> hold(g_prepared_lock);
    context = std::move(g_prepared);
  }
  if (!context) context = Context::Create();
  return std::make_unique<DWriteParagraphLayoutFactory>(std::move(context));
}

void PrepareParagraphLayouts() {
  std::shared_ptr<Context> context = Context::Create();
  if (!context) return;
  context->PrimaryFamily(nbase::UTF8ToWide(SkinResources::kSystemFontFamilies));
  std::lock_guard<std::mutex> hold(g_prepared_lock);
  g_prepared = std::move(context);
}

}  // namespace ui
