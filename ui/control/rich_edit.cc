#include "ui/control/rich_edit.h"

#include <algorithm>
#include <cwchar>

#include "base/string_util.h"
#include "ui/animation/timer_manager.h"
#include "ui/control/scroll_bar.h"
#include "ui/core/animation_manager.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/native/clipboard.h"
#include "ui/native/desktop_settings.h"
#include "ui/native/key_codes.h"
#include "ui/native/native_window.h"
#include "ui/render/render.h"
#include "ui/text/text_services.h"

namespace ui {

namespace {

uint32_t KeyModifiers(const EventArgs& event) {
  uint32_t mods = 0;
  if (event.l_param & kKeyStateShift) mods |= kModShift;
  if (event.l_param & kKeyStateControl) mods |= kModControl;
  if (event.l_param & kKeyStateAlt) mods |= kModAlt;
  return mods;
}

uint32_t MouseModifiers(const EventArgs& event) {
  uint32_t mods = 0;
  if (event.w_param & kMouseStateShift) mods |= kModShift;
  if (event.w_param & kMouseStateControl) mods |= kModControl;
  return mods;
}

}  // namespace

// Answers the text services' questions from the control's state.
class CTxtWinHost : public TextHost {
 public:
  static constexpr uint32_t kFlagAutoWordSel = 0x1;
  static constexpr uint32_t kFlagWordWrap = 0x2;
  static constexpr uint32_t kFlagRich = 0x8;
  static constexpr uint32_t kFlagInPlaceActive = 0x20;
  static constexpr uint32_t kFlagTransparent = 0x40;
  static constexpr uint32_t kFlagTimer = 0x80;
  static constexpr uint32_t kFlagCapture = 0x100;

  CTxtWinHost(RichEdit* edit, uint32_t style) : edit_(edit), style_(style) {
    BuildCharFormat();
    BuildParaFormat();
    if (edit_->rich_) flags_ |= kFlagRich;
    SetWordWrap();
    flags_ |= kFlagInPlaceActive | kFlagTransparent;
    max_length_ = edit_->max_length_;
    client_ = edit_->GetTextArea();
    services_ = std::make_unique<TextServices>(this);
  }

  TextServices* services() const { return services_.get(); }

  void SetStyle(uint32_t style) {
    style_ = style;
    BuildParaFormat();
    SetWordWrap();
  }
  void SetWordWrap() {
    if (style_ & (WS_HSCROLL | ES_AUTOHSCROLL)) {
      flags_ &= ~kFlagWordWrap;
    } else {
      flags_ |= kFlagWordWrap;
    }
  }
  void SetRich(bool rich) { flags_ = rich ? (flags_ | kFlagRich) : (flags_ & ~kFlagRich); }
  void SetMaxLength(int length) { max_length_ = length; }
  void SetClientRect(const UiRect& rect) {
    client_ = rect;
    services_->OnPropertyBitsChange(kTxtBitClientRectChange);
  }
  const UiRect& GetClientRect() const { return client_; }

  void BuildCharFormat() {
    CharFormat format;
    format.mask = CharFormat::kColor | CharFormat::kUnderline;
    format.color = GlobalManager::GetTextColor(edit_->text_color_);
    font_ = nullptr;
    if (const FontRecord* font = GlobalManager::GetFont(edit_->font_)) {
      font_ = font->font.get();
      format.size = font->size;
      format.bold = font->bold;
      format.italic = font->italic;
      format.underline = font->underline;
    }
    char_format_ = format;
  }
  void BuildParaFormat() {
    para_format_.align = (style_ & ES_CENTER)  ? TextAlign::kCenter
                         : (style_ & ES_RIGHT) ? TextAlign::kRight
                                               : TextAlign::kLeft;
  }

  // TextHost.
  UiRect TxGetClientRect() override { return edit_->GetAlignedTextRect(); }
  const CharFormat& TxGetCharFormat() override { return char_format_; }
  const NativeFont* TxGetFont() override { return font_; }
  const ParaFormat& TxGetParaFormat() override { return para_format_; }
  uint32_t TxGetPropertyBits(uint32_t mask) override {
    uint32_t bits = 0;
    if (flags_ & kFlagRich) bits |= kTxtBitRichText;
    if (style_ & ES_MULTILINE) bits |= kTxtBitMultiLine;
    if (style_ & ES_READONLY) bits |= kTxtBitReadOnly;
    if (style_ & ES_PASSWORD) bits |= kTxtBitUsePassword;
    if (!(style_ & ES_NOHIDESEL)) bits |= kTxtBitHideSelection;
    if (flags_ & kFlagAutoWordSel) bits |= kTxtBitAutoWordSel;
    if (flags_ & kFlagWordWrap) bits |= kTxtBitWordWrap;
    if (edit_->number_) bits |= kTxtBitNumber;
    return bits & mask;
  }
  uint32_t TxGetScrollBars() override {
    uint32_t bars = 0;
    if (style_ & WS_VSCROLL) bars |= kScrollVertical;
    if (style_ & WS_HSCROLL) bars |= kScrollHorizontal;
    if (style_ & ES_AUTOVSCROLL) bars |= kScrollAutoVertical;
    if (style_ & ES_AUTOHSCROLL) bars |= kScrollAutoHorizontal;
    return bars;
  }
  int TxGetMaxLength() override { return max_length_; }

  void TxSetScrollRange(bool vertical, int min, int max) override {
    ScrollBar* bar = vertical ? edit_->GetVerticalScrollBar() : edit_->GetHorizontalScrollBar();
    if (!bar) return;
    const int range = max - min - (vertical ? client_.GetHeight() : client_.GetWidth());
    const bool had_range = bar->GetScrollRange() > 0;
    bar->SetScrollRange(range > 0 ? range : 0);
    if (had_range != (range > 0) && !edit_->in_set_pos_) edit_->SetPos(edit_->GetPos());
  }
  void TxSetScrollPos(bool vertical, int pos) override {
    ScrollBar* bar = vertical ? edit_->GetVerticalScrollBar() : edit_->GetHorizontalScrollBar();
    if (bar) bar->SetScrollPos(pos);
  }
  void TxInvalidateRect(const UiRect* rect) override {
    if (!edit_->GetWindow()) return;
    edit_->GetWindow()->Invalidate(rect ? *rect : client_);
  }
  void TxCreateCaret(int width, int height) override { edit_->caret_size_ = CSize(width, height); }
  void TxSetCaretPos(int x, int y) override {
    if (edit_->caret_pos_ == CPoint(x, y)) return;
    edit_->caret_pos_ = CPoint(x, y);
    // The caret moved: show it at once and blink from there.
    if (edit_->IsFocused()) {
      edit_->ShowCaret(services_ ? services_->GetSelection().IsEmpty() : true);
      edit_->PlaceImeWindow();
    }
  }
  void TxShowCaret(bool show) override { (void)show; }
  void TxSetTimer(int id, int interval_ms) override {
    flags_ |= kFlagTimer;
    edit_->StartTxTimer(id, interval_ms);
  }
  void TxKillTimer(int id) override {
    edit_->StopTxTimer(id);
    flags_ &= ~kFlagTimer;
  }
  void TxSetCapture(bool capture) override {
    Window* window = edit_->GetWindow();
    NativeWindow* native = window ? window->GetNativeWindow() : nullptr;
    if (native) {
      if (capture) {
        native->SetCapture();
      } else {
        native->ReleaseCapture();
      }
    }
    flags_ = capture ? (flags_ | kFlagCapture) : (flags_ & ~kFlagCapture);
  }
  void TxSetCursor(TextCursor cursor) override {
    if (Window* window = edit_->GetWindow()) {
      window->SetCursor(cursor == TextCursor::kHand    ? kCursorHand
                        : cursor == TextCursor::kIBeam ? kCursorHandIbeam
                                                       : kCursorArrow);
    }
  }
  void TxSetFocus() override { edit_->SetFocus(); }
  Clipboard* TxGetClipboard() override { return GetDefaultClipboard(); }
  void TxNotify(int code, void* data) override {
    (void)data;
    edit_->OnTxNotify(code);
  }

 private:
  RichEdit* edit_;
  uint32_t style_;
  uint32_t flags_ = 0;
  int max_length_ = RichEdit::kDefaultMaxLength;
  UiRect client_;
  CharFormat char_format_;
  const NativeFont* font_ = nullptr;
  ParaFormat para_format_;
  std::unique_ptr<TextServices> services_;
};

// ---- RichEdit ----------------------------------------------------------------

RichEdit::RichEdit()
    : text_color_(L"textdefaultcolor"),
      normal_text_color_(L"textdefaultcolor"),
      disabled_text_color_(L"textdefaultcolor") {}

RichEdit::~RichEdit() {
  caret_flag_.Cancel();
  tx_timers_.clear();
  host_.reset();
}

TextServices* RichEdit::GetTextServices() const {
  return host_ ? host_->services() : nullptr;
}

void RichEdit::DoInit() {
  if (initialised_) return;
  initialised_ = true;
  CreateHost();
  if (vertical_bar_) vertical_bar_->SetScrollRange(0);
  if (horizontal_bar_) horizontal_bar_->SetScrollRange(0);
}

void RichEdit::CreateHost() {
  host_ = std::make_unique<CTxtWinHost>(this, style_);
  if (!text_.empty()) host_->services()->SetText(text_);
}

void RichEdit::PropertyChanged(uint32_t bits) {
  if (host_) host_->services()->OnPropertyBitsChange(bits);
  Invalidate();
}

void RichEdit::SetStyleBit(uint32_t bit, bool on) {
  style_ = on ? (style_ | bit) : (style_ & ~bit);
  if (host_) {
    host_->SetStyle(style_);
    PropertyChanged(kTxtBitMultiLine | kTxtBitReadOnly | kTxtBitUsePassword | kTxtBitWordWrap);
  }
}

// ---- Text ----------------------------------------------------------------------

void RichEdit::SetText(const std::wstring& text) {
  text_ = text;
  if (!initialised_ || !host_) return;
  host_->services()->SetSelection(0, -1);
  host_->services()->ReplaceSelection(text, false);
  links_.clear();
  if (fixed_height_ == kLengthAuto || fixed_width_ == kLengthAuto) RelayoutUpward();
}

std::wstring RichEdit::GetText() const {
  if (!host_) return std::wstring();
  return host_->services()->GetText();
}

std::string RichEdit::GetUTF8Text() const {
  return nbase::WideToUTF8(GetText());
}

void RichEdit::SetUTF8Text(const std::string& text) {
  SetText(nbase::UTF8ToWide(text));
}

std::wstring RichEdit::GetSelText() const {
  if (!host_) return std::wstring();
  return host_->services()->GetSelText();
}

void RichEdit::SetSel(int first, int last) {
  if (host_) host_->services()->SetSelection(first, last);
}

void RichEdit::ReplaceSel(const std::wstring& text, bool can_undo) {
  if (host_) host_->services()->ReplaceSelection(text, can_undo);
}

int RichEdit::GetTextLength() const {
  return host_ ? host_->services()->GetTextLength() : 0;
}

CSize RichEdit::GetNaturalSize(int width) const {
  TextServices* services = GetTextServices();
  if (!services) return CSize();
  return services->GetNaturalSize(std::max(width, 0));
}

// ---- Attributes -----------------------------------------------------------------

void RichEdit::SetTextColor(const std::wstring& color) {
  if (color == text_color_) return;
  text_color_ = color;
  if (host_) {
    host_->BuildCharFormat();
    PropertyChanged(kTxtBitCharFormatChange);
  }
}

void RichEdit::SetFont(int font) {
  font_ = font;
  if (host_) {
    host_->BuildCharFormat();
    PropertyChanged(kTxtBitCharFormatChange);
  }
}

void RichEdit::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  ScrollableBox::SetEnabled(enabled);
  if (enabled) {
    SetState(kControlStateNormal);
    SetTextColor(normal_text_color_);
  } else {
    SetState(kControlStateDisabled);
    SetTextColor(disabled_text_color_);
  }
}

void RichEdit::SetPromptText(const std::wstring& text) {
  if (prompt_text_ == text) return;
  prompt_text_ = text;
  Invalidate();
}

void RichEdit::SetPromptTextId(const std::wstring& id) {
  if (prompt_text_id_ == id) return;
  prompt_text_id_ = id;
  Invalidate();
}

std::wstring RichEdit::GetPromptText() const {
  if (prompt_text_.empty() && !prompt_text_id_.empty()) {
    return GlobalManager::GetLanguageString(prompt_text_id_);
  }
  return prompt_text_;
}

void RichEdit::SetReadOnly(bool value) {
  read_only_ = value;
  SetStyleBit(ES_READONLY, value);
}

void RichEdit::SetPassword(bool value) {
  const bool changed = password_ != value;
  password_ = value;
  SetStyleBit(ES_PASSWORD, value);
  // Screen readers stop (or start) reading the letters out.
  if (changed) NotifyAccessible(AccessibleChange::kState);
  if (changed) NotifyAccessible(AccessibleChange::kText);
}

void RichEdit::SetNumber(bool value) {
  number_ = value;
  if (host_) PropertyChanged(kTxtBitNumber);
}

void RichEdit::SetMultiLine(bool value) {
  SetStyleBit(ES_MULTILINE, value);
}

void RichEdit::SetRich(bool value) {
  rich_ = value;
  if (host_) {
    host_->SetRich(value);
    PropertyChanged(kTxtBitRichText);
  }
}

void RichEdit::SetMaxLength(int length) {
  max_length_ = length;
  if (host_) {
    host_->SetMaxLength(length);
    PropertyChanged(0);
  }
}

void RichEdit::SetCharFormat(int first, int last, const CharFormat& format) {
  if (host_) host_->services()->SetCharFormat(first, last, format);
}

bool RichEdit::AddLink(int first, int last) {
  const int length = GetTextLength();
  const std::wstring text = GetText();
  // A link covers whole characters: an end inside one takes all of it.
  first =
      static_cast<int>(nbase::AlignToCharBoundary(text, static_cast<size_t>(std::max(first, 0))));
  last = std::min(last, length);
  if (last > 0 &&
      nbase::AlignToCharBoundary(text, static_cast<size_t>(last)) != static_cast<size_t>(last)) {
    last = static_cast<int>(nbase::NextCharBoundary(text, static_cast<size_t>(last)));
  }
  if (!host_ || first >= last) return false;
  links_.push_back(Link{
      first, last, text.substr(static_cast<size_t>(first), static_cast<size_t>(last - first))});
  return true;
}

void RichEdit::SetAttribute(const std::wstring& name, const std::wstring& value) {
  const bool on = value == L"true";
  const bool off = value == L"false";
  auto both = [&](uint32_t bit, bool* field) {
    if (!on && !off) return;
    if (field) *field = on;
    SetStyleBit(bit, on);
  };
  auto skip_blanks = [](const std::wstring& v) {
    const size_t start = v.find_first_not_of(L" \t");
    return start == std::wstring::npos ? std::wstring() : v.substr(start);
  };
  if (name == L"vscrollbar") {
    if (on) {
      style_ |= WS_VSCROLL | ES_DISABLENOSCROLL;
    } else {
      style_ &= ~WS_VSCROLL;
      if (!(style_ & WS_HSCROLL)) style_ &= ~ES_DISABLENOSCROLL;
    }
    EnableScrollBar(on, GetHorizontalScrollBar() != nullptr);
    if (host_) host_->SetStyle(style_);
  } else if (name == L"hscrollbar") {
    if (on) {
      style_ |= WS_HSCROLL | ES_DISABLENOSCROLL;
    } else {
      style_ &= ~WS_HSCROLL;
      if (!(style_ & WS_VSCROLL)) style_ &= ~ES_DISABLENOSCROLL;
    }
    EnableScrollBar(GetVerticalScrollBar() != nullptr, on);
    if (host_) host_->SetStyle(style_);
  } else if (name == L"autovscroll") {
    both(ES_AUTOVSCROLL, nullptr);
  } else if (name == L"autohscroll") {
    both(ES_AUTOHSCROLL, nullptr);
  } else if (name == L"multiline") {
    both(ES_MULTILINE, nullptr);
  } else if (name == L"readonly") {
    both(ES_READONLY, &read_only_);
  } else if (name == L"password") {
    both(ES_PASSWORD, &password_);
  } else if (name == L"number") {
    if (on || off) SetNumber(on);
  } else if (name == L"align") {
    if (value.find(L"left") != std::wstring::npos) style_ &= ~(ES_CENTER | ES_RIGHT);
    if (value.find(L"hcenter") != std::wstring::npos) style_ |= ES_CENTER;
    if (value.find(L"right") != std::wstring::npos) style_ |= ES_RIGHT;
    if (value.find(L"top") != std::wstring::npos) vertical_align_ = kVerAlignTop;
    if (value.find(L"vcenter") != std::wstring::npos) vertical_align_ = kVerAlignCenter;
    if (value.find(L"bottom") != std::wstring::npos) vertical_align_ = kVerAlignBottom;
    if (host_) {
      host_->SetStyle(style_);
      PropertyChanged(kTxtBitParaFormatChange);
    }
  } else if (name == L"normaltextcolor") {
    normal_text_color_ = skip_blanks(value);
    if (IsEnabled()) SetTextColor(normal_text_color_);
  } else if (name == L"disabledtextcolor") {
    disabled_text_color_ = skip_blanks(value);
    if (!IsEnabled()) SetTextColor(disabled_text_color_);
  } else if (name == L"caretcolor") {
    caret_color_ = skip_blanks(value);
  } else if (name == L"promptmode") {
    if (on) prompt_mode_ = true;
  } else if (name == L"promptcolor") {
    prompt_color_ = skip_blanks(value);
  } else if (name == L"prompttext") {
    SetPromptText(value);
  } else if (name == L"prompttextid") {
    SetPromptTextId(value);
  } else if (name == L"focusedimage") {
    focused_image_.SetImageString(value);
    Invalidate();
  } else if (name == L"font") {
    SetFont(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"textid") {
    SetText(GlobalManager::GetLanguageString(value));
  } else if (name == L"wanttab") {
    want_tab_ = on;
  } else if (name == L"wantreturnmsg") {
    want_return_msg_ = on;
  } else if (name == L"returnmsgwantctrl") {
    return_msg_want_ctrl_ = on;
  } else if (name == L"rich") {
    SetRich(on);
  } else if (name == L"maxchar" || name == L"limittext") {
    SetMaxLength(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else {
    ScrollableBox::SetAttribute(name, value);
  }
}

// ---- Geometry ---------------------------------------------------------------------

UiRect RichEdit::GetTextArea() const {
  UiRect area = item_rect_;
  area.Deflate(layout_->GetPadding());
  if (vertical_bar_ && vertical_bar_->GetScrollRange() > 0) {
    area.right -= std::max(vertical_bar_->GetFixedWidth(), 0);
  }
  if (horizontal_bar_ && horizontal_bar_->GetScrollRange() > 0) {
    area.bottom -= std::max(horizontal_bar_->GetFixedHeight(), 0);
  }
  if (area.right < area.left) area.right = area.left;
  if (area.bottom < area.top) area.bottom = area.top;
  return area;
}

UiRect RichEdit::GetAlignedTextRect() const {
  UiRect rect = host_ ? host_->GetClientRect() : GetTextArea();
  TextServices* services = GetTextServices();
  if (vertical_align_ == kVerAlignTop || !services) return rect;
  const int text_height = services->GetNaturalSize(rect.GetWidth()).cy;
  const int room = rect.GetHeight() - text_height;
  if (room <= 0) return rect;
  rect.top += vertical_align_ == kVerAlignCenter ? room / 2 : room;
  return rect;
}

void RichEdit::PlaceImeWindow() {
  if (!focused_ || !window_ || !window_->GetNativeWindow()) return;
  window_->GetNativeWindow()->SetCaretRect(GetCaretRect());
}

UiRect RichEdit::GetCaretRect() const {
  return UiRect(caret_pos_.x, caret_pos_.y, caret_pos_.x + caret_size_.cx,
                caret_pos_.y + caret_size_.cy);
}

CSize RichEdit::EstimateSize(CSize available) {
  if (fixed_width_ != kLengthAuto && fixed_height_ != kLengthAuto) {
    return CSize(fixed_width_, fixed_height_);
  }
  TextServices* services = GetTextServices();
  if (!services) return Control::EstimateSize(available);
  const UiRect padding = layout_->GetPadding();
  const int proposal = fixed_width_ > 0 ? fixed_width_ - padding.left - padding.right : 0;
  const CSize natural = services->GetNaturalSize(proposal);
  if (fixed_width_ == kLengthAuto) {
    return CSize(natural.cx + padding.left + padding.right + 1, fixed_height_);
  }
  return CSize(fixed_width_, natural.cy + padding.top + padding.bottom);
}

void RichEdit::SetPos(UiRect rect) {
  in_set_pos_ = true;
  Control::SetPos(rect);
  if (host_) {
    // A bar that gains or loses its range changes the area: settle in two passes.
    for (int pass = 0; pass < 3; ++pass) {
      const UiRect area = GetTextArea();
      host_->SetClientRect(area);
      if (GetTextArea() == area) break;
    }
  }
  const UiRect area = GetTextArea();
  if (vertical_bar_) {
    vertical_bar_->SetPos(UiRect(area.right, area.top,
                                 area.right + std::max(vertical_bar_->GetFixedWidth(), 0),
                                 area.bottom));
  }
  if (horizontal_bar_) {
    horizontal_bar_->SetPos(UiRect(area.left, area.bottom, area.right,
                                   area.bottom + std::max(horizontal_bar_->GetFixedHeight(), 0)));
  }
  if (!items_.empty()) layout_->ArrangeChildren(items_, area);
  in_set_pos_ = false;
}

void RichEdit::SetScrollPos(CSize pos) {
  const CSize old = GetScrollPos();
  ScrollableBox::SetScrollPos(pos);
  TextServices* services = GetTextServices();
  if (!services) return;
  const CSize now = GetScrollPos();
  if (now.cy != old.cy || pos.cy != services->GetScrollPos().y) {
    services->OnScroll(true, kScrollThumbPosition, now.cy);
  }
  if (now.cx != old.cx || pos.cx != services->GetScrollPos().x) {
    services->OnScroll(false, kScrollThumbPosition, now.cx);
  }
}

void RichEdit::PageUp() {
  if (TextServices* s = GetTextServices()) s->OnScroll(true, kScrollPageUp);
}
void RichEdit::PageDown() {
  if (TextServices* s = GetTextServices()) s->OnScroll(true, kScrollPageDown);
}
void RichEdit::HomeUp() {
  if (TextServices* s = GetTextServices()) s->OnScroll(true, kScrollTop);
}
void RichEdit::EndDown(bool relayout, bool animate) {
  (void)relayout;
  (void)animate;
  if (TextServices* s = GetTextServices()) s->OnScroll(true, kScrollBottom);
}
void RichEdit::PageLeft() {
  if (TextServices* s = GetTextServices()) s->OnScroll(false, kScrollPageUp);
}
void RichEdit::PageRight() {
  if (TextServices* s = GetTextServices()) s->OnScroll(false, kScrollPageDown);
}
void RichEdit::HomeLeft() {
  if (TextServices* s = GetTextServices()) s->OnScroll(false, kScrollTop);
}
void RichEdit::EndRight() {
  if (TextServices* s = GetTextServices()) s->OnScroll(false, kScrollBottom);
}

// ---- Events --------------------------------------------------------------------------

int RichEdit::FindLink(CPoint point) const {
  TextServices* services = GetTextServices();
  if (!services || links_.empty()) return -1;
  int offset = 0;
  if (!services->IsOnText(point, &offset)) return -1;
  for (size_t i = 0; i < links_.size(); ++i) {
    if (offset >= links_[i].first && offset < links_[i].last) return static_cast<int>(i);
  }
  return -1;
}

void RichEdit::OnTxNotify(int code) {
  if (code == kNotifyChange) {
    if (fixed_height_ == kLengthAuto || fixed_width_ == kLengthAuto) RelayoutUpward();
    std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
    NotifyAccessible(AccessibleChange::kText);
    if (!alive.expired()) SendEvent(kEventTextChange);
  } else if (code == kNotifySelChange) {
    NotifyAccessible(AccessibleChange::kCaret);
  }
}

void RichEdit::GetAccessibleInfo(AccessibleInfo* info) const {
  ScrollableBox::GetAccessibleInfo(info);
  info->role = AccessibleRole::kText;
  info->interfaces |= kAccessibleText;
  // A password field shows its length, never its letters.
  info->text = password_ ? std::wstring(static_cast<size_t>(GetTextLength()), L'*') : GetText();
  info->states |= read_only_ ? kAccessibleReadOnly : kAccessibleEditable;
  if (IsMultiLine()) info->states |= kAccessibleMultiLine;
  if (password_) info->states |= kAccessibleProtected;
  if (IsKeyboardEnabled() && !IsNoFocus()) info->states |= kAccessibleFocusable;
  if (TextServices* services = GetTextServices()) {
    const TextRange range = services->GetSelection();
    info->caret = range.caret;
    info->selection_start = range.Min();
    info->selection_end = range.Max();
  }
}

bool RichEdit::NumberPaste() {
  // The clipboard is left as it was; only its digits are typed.
  Clipboard* clipboard = GetDefaultClipboard();
  const auto text = clipboard->GetText(ClipboardKind::kClipboard);
  if (!text) return true;
  std::wstring digits;
  for (wchar_t c : *text) {
    if (c >= L'0' && c <= L'9') digits.push_back(c);
  }
  if (digits.empty()) return true;
  ReplaceSel(digits, true);
  return true;
}

void RichEdit::HandleEvent(EventArgs& event) {
  const int32_t type = event.type;
  const bool mouse = IsMouseEvent(type) || IsPointerEvent(type);
  TextServices* services = GetTextServices();
  if (!IsEnabled() || (mouse && !IsMouseEnabled()) || !services) {
    if (type == kEventInternalSetFocus || type == kEventInternalKillFocus) {
      ScrollableBox::HandleEvent(event);
      return;
    }
    if (mouse && !IsMouseEnabled()) {
      if (Control* parent = GetParentControl()) parent->DispatchEvent(event);
      return;
    }
    if (!services || !IsEnabled()) {
      ScrollableBox::HandleEvent(event);
      return;
    }
  }
  const CPoint point = event.mouse_point;
  switch (type) {
    case kEventInternalDoubleClick:
      last_double_click_ = event.timestamp;
      last_double_click_point_ = point;
      if (read_only_) {
        SetSel(0, -1);
      } else {
        services->OnButtonDown(point, MouseModifiers(event), 2);
      }
      return;
    case kEventInternalSetFocus:
      focused_ = true;
      services->OnSetFocus();
      ShowCaret(true);
      PlaceImeWindow();
      Invalidate();
      return;
    case kEventInternalKillFocus:
      focused_ = false;
      services->OnKillFocus();
      ShowCaret(false);
      first_click_done_ = false;
      if ((deselect_on_kill_focus_ && read_only_) || select_all_on_focus_) SetSel(-1, 0);
      if (composing_) SetCompositionText(L"", 0);
      Invalidate();
      return;
    case kEventKeyDown: {
      const int key = static_cast<int>(event.w_param);
      const uint32_t mods = KeyModifiers(event);
      if (key == kVkReturn && !(mods & kModShift) && want_return_msg_ &&
          ((mods & kModControl) != 0) == return_msg_want_ctrl_) {
        if (window_) window_->SendNotify(this, kEventReturn);
        return;
      }
      if (key == kVkReturn && (mods & kModControl) && IsMultiLine()) {
        services->OnChar(L'\n');
        return;
      }
      if (key == kVkTab && !want_tab_) {
        SendEvent(kEventTab);
        return;
      }
      if (number_ && (mods & kModControl) && key == 'V') {
        if (!read_only_) NumberPaste();
        return;
      }
      if (services->OnKeyDown(key, mods)) {
        blink_ticks_ = 0;
        return;
      }
      ScrollableBox::HandleEvent(event);
      return;
    }
    case kEventChar: {
      const wchar_t c = event.key;
      if (c == L'\t' && !want_tab_) return;  // the key down raised kind 46
      if (c == L'\r' && want_return_msg_) return;
      if (number_ && (c < L'0' || c > L'9')) return;
      services->OnChar(c);
      blink_ticks_ = 0;
      return;
    }
    case kEventMouseMove:
    case kEventPointMove:
      services->OnMouseMove(point);
      return;
    case kEventMouseButtonDown:
    case kEventPointDown: {
      if (!links_.empty()) {
        const int link = FindLink(point);
        if (link >= 0) {
          if (window_) {
            window_->SendNotify(this, kEventCustomLinkClick, static_cast<uintptr_t>(link));
          }
          return;
        }
      }
      const bool triple = last_double_click_ != 0 &&
                          event.timestamp - last_double_click_ <= kTripleClickMs &&
                          std::abs(point.x - last_double_click_point_.x) < 4 &&
                          std::abs(point.y - last_double_click_point_.y) < 4;
      last_double_click_ = 0;
      services->OnButtonDown(point, MouseModifiers(event), triple ? 3 : 1);
      return;
    }
    case kEventMouseButtonUp:
    case kEventPointUp:
      services->OnButtonUp(point);
      if (!first_click_done_) {
        first_click_done_ = true;
        if (select_all_on_focus_) {
          SetSel(0, -1);
          services->OnScroll(IsMultiLine(), kScrollTop);
        }
      }
      return;
    case kEventMouseScrollWheel:
      // The wheel's w_param is its delta; the held modifiers travel in l_param.
      if (event.l_param & kKeyStateControl) return;
      ScrollableBox::HandleEvent(event);
      return;
    case kEventSetCursor:
      if (FindLink(point) >= 0) {
        if (window_) window_->SetCursor(kCursorHand);
      } else {
        services->OnSetCursor(point);
      }
      return;
    case kEventImeStartComposition:
      composing_ = true;
      Invalidate();
      return;
    case kEventImeEndComposition:
      // An input method that ends without clearing its text leaves nothing behind.
      if (composing_) SetCompositionText(L"", 0);
      composing_ = false;
      Invalidate();
      return;
    case kEventImeComposition:
      if (const auto* composition = reinterpret_cast<const ImeComposition*>(event.l_param)) {
        SetCompositionText(composition->text, composition->cursor);
        PlaceImeWindow();
      }
      return;
    case kEventMouseMiddleButtonDown:
      // Number mode takes pasted text only through its own filter (Ctrl+V).
      if (!number_) services->OnMiddleClick(point);
      blink_ticks_ = 0;
      return;
    default:
      ScrollableBox::HandleEvent(event);
  }
}

void RichEdit::SetCompositionText(const std::wstring& text, int cursor) {
  TextServices* services = GetTextServices();
  if (!services) return;
  services->SetPreedit(text, cursor);
  // A read-only field takes no preedit and so does not compose.
  composing_ = services->IsComposing();
  Invalidate();
}

void RichEdit::CommitCompositionText(const std::wstring& text) {
  TextServices* services = GetTextServices();
  if (!services) return;
  composing_ = false;
  if (number_) {
    std::wstring digits;
    for (wchar_t c : text) {
      if (c >= L'0' && c <= L'9') digits.push_back(c);
    }
    services->CommitComposition(digits);
  } else {
    services->CommitComposition(text);
  }
  Invalidate();
}

// ---- Caret ----------------------------------------------------------------------------

void RichEdit::ShowCaret(bool show) {
  caret_flag_.Cancel();
  caret_blinking_ = false;
  caret_visible_ = show;
  blink_ticks_ = 0;
  // The pace is the window's: the desktop's on a desktop window, else the field's own.
  CaretBlinkSettings blink{true, kCaretBlinkMs, kCaretBlinkTimeoutMs};
  const NativeWindow* native = window_ ? window_->GetNativeWindow() : nullptr;
  if (native) blink = native->GetCaretBlinkSettings().value_or(blink);
  blink_interval_ms_ = blink.interval_ms > 0 ? blink.interval_ms : kCaretBlinkMs;
  blink_timeout_ms_ = blink.timeout_ms;
  if (show && blink.blink && blink_timeout_ms_ >= 0) {
    caret_blinking_ = true;
    GetAnimationManager().GetTimerManager()->AddCancelableTimer(
        caret_flag_.AcquireWeakFlag(), [this] { OnCaretTick(); },
        static_cast<uint32_t>(blink_interval_ms_), TimerManager::kRepeatForever);
  }
  Invalidate();
}

void RichEdit::OnCaretTick() {
  ++blink_ticks_;
  if (blink_timeout_ms_ > 0 && int64_t{blink_ticks_} * blink_interval_ms_ >= blink_timeout_ms_) {
    // The desktop stops blinking after a while; the caret stays shown.
    caret_flag_.Cancel();
    caret_blinking_ = false;
    caret_visible_ = true;
  } else {
    caret_visible_ = !caret_visible_;
  }
  if (window_) window_->Invalidate(GetCaretRect());
}

void RichEdit::StartTxTimer(int id, int interval_ms) {
  auto flag = std::make_unique<nbase::WeakCallbackFlag>();
  GetAnimationManager().GetTimerManager()->AddCancelableTimer(
      flag->AcquireWeakFlag(),
      [this, id] {
        if (TextServices* s = GetTextServices()) s->OnTimer(id);
      },
      static_cast<uint32_t>(std::max(interval_ms, 1)), TimerManager::kRepeatForever);
  tx_timers_[id] = std::move(flag);
}

void RichEdit::StopTxTimer(int id) {
  tx_timers_.erase(id);
}

// ---- Painting -------------------------------------------------------------------------

void RichEdit::Paint(IRenderContext* context, const UiRect& paint_area) {
  ScrollableBox::Paint(context, paint_area);
  TextServices* services = GetTextServices();
  if (!services) return;
  UiRect update = paint_area;
  if (!update.Intersect(item_rect_)) return;
  services->Draw(context, update);
  if (vertical_forced_) {
    vertical_forced_ = false;
    RelayoutSelf();
  }
}

void RichEdit::PaintStateImage(IRenderContext* context) {
  if (read_only_) return;
  if (IsFocused() && !focused_image_.image_attribute.image_string.empty()) {
    DrawImage(context, focused_image_);
  } else {
    ScrollableBox::PaintStateImage(context);
  }
  if (GetTextLength() == 0 && !prompt_color_.empty()) {
    const std::wstring prompt = GetPromptText();
    if (!prompt.empty()) {
      context->DrawText(GetAlignedTextRect(), prompt, GlobalManager::GetTextColor(prompt_color_),
                        font_, DT_NOCLIP, 255);
    }
  }
}

void RichEdit::PaintChildren(IRenderContext* context, const UiRect& paint_area) {
  if ((!read_only_ || caret_in_read_only_) && caret_visible_ && !composing_ && IsFocused() &&
      caret_size_.cy > 0) {
    const uint32_t color =
        caret_color_.empty() ? 0xFF000000 : GlobalManager::GetTextColor(caret_color_);
    const UiRect area = GetTextArea();
    if (area.IsPointIn(caret_pos_) || caret_pos_.y + caret_size_.cy > area.top) {
      AutoClip clip(context, area);
      context->DrawLine(
          UiRect(caret_pos_.x, caret_pos_.y, caret_pos_.x, caret_pos_.y + caret_size_.cy),
          std::max(caret_size_.cx, 1), color);
    }
  }
  ScrollableBox::PaintChildren(context, paint_area);
}

void RichEdit::ReleaseImageCache() {
  ScrollableBox::ReleaseImageCache();
  focused_image_.ClearCache();
}

}  // namespace ui
