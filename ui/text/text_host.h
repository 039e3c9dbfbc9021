#pragma once

// What the text services ask of the control that hosts them: where to draw,
// with which formats, and the window facilities they cannot reach alone
// (scroll bars, caret, timers, capture, cursor, clipboard, notifications).

#include <cstdint>
#include <string>

#include "ui/geometry/geometry.h"

namespace ui {

class Clipboard;
class NativeFont;

enum class TextAlign { kLeft, kCenter, kRight };

// A character format. The default one comes from the control; ranges may
// override parts of it (the `has_` bits say which).
struct CharFormat {
  static constexpr uint32_t kColor = 0x1;
  static constexpr uint32_t kFace = 0x2;
  static constexpr uint32_t kSize = 0x4;
  static constexpr uint32_t kBold = 0x8;
  static constexpr uint32_t kItalic = 0x10;
  static constexpr uint32_t kUnderline = 0x20;

  uint32_t mask = 0;
  uint32_t color = 0xFF000000;  // ARGB
  std::string face;             // family list (UTF-8), first available wins
  int size = 0;                 // pixels
  bool bold = false;
  bool italic = false;
  bool underline = false;
  friend bool operator==(const CharFormat&, const CharFormat&) = default;
};

struct ParaFormat {
  TextAlign align = TextAlign::kLeft;
};

// Property bits the host reports (and announces changes of).
inline constexpr uint32_t kTxtBitRichText = 0x1;
inline constexpr uint32_t kTxtBitMultiLine = 0x2;
inline constexpr uint32_t kTxtBitReadOnly = 0x4;
inline constexpr uint32_t kTxtBitUsePassword = 0x10;
inline constexpr uint32_t kTxtBitHideSelection = 0x20;
inline constexpr uint32_t kTxtBitAutoWordSel = 0x80;
inline constexpr uint32_t kTxtBitWordWrap = 0x200;
inline constexpr uint32_t kTxtBitCharFormatChange = 0x20000;
inline constexpr uint32_t kTxtBitParaFormatChange = 0x40000;
inline constexpr uint32_t kTxtBitClientRectChange = 0x100000;
inline constexpr uint32_t kTxtBitNumber = 0x40000000;  // digits only (the edit style's flag)

// Scroll bar flags of TxGetScrollBars.
inline constexpr uint32_t kScrollVertical = 0x1;
inline constexpr uint32_t kScrollHorizontal = 0x2;
inline constexpr uint32_t kScrollAutoVertical = 0x4;
inline constexpr uint32_t kScrollAutoHorizontal = 0x8;

// Notification codes.
inline constexpr int kNotifyChange = 0x300;  // the text really changed
inline constexpr int kNotifySelChange = 0x702;
inline constexpr int kNotifyRequestResize = 0x701;

// Scroll requests (the bar codes of a scroll message).
inline constexpr int kScrollLineUp = 0;
inline constexpr int kScrollLineDown = 1;
inline constexpr int kScrollPageUp = 2;
inline constexpr int kScrollPageDown = 3;
inline constexpr int kScrollThumbPosition = 4;
inline constexpr int kScrollTop = 6;
inline constexpr int kScrollBottom = 7;

enum class TextCursor { kArrow, kIBeam, kHand };

class TextHost {
 public:
  virtual ~TextHost() = default;

  // The text area in window coordinates.
  virtual UiRect TxGetClientRect() = 0;
  virtual const CharFormat& TxGetCharFormat() = 0;
  // The font the default format names (a font table entry's); null means
  // the library's default.
  virtual const NativeFont* TxGetFont() = 0;
  virtual const ParaFormat& TxGetParaFormat() = 0;
  virtual uint32_t TxGetPropertyBits(uint32_t mask) = 0;
  virtual uint32_t TxGetScrollBars() = 0;
  virtual int TxGetMaxLength() = 0;

  // Scroll ranges in pixels: `max` is the content extent; the host subtracts
  // what is visible.
  virtual void TxSetScrollRange(bool vertical, int min, int max) = 0;
  virtual void TxSetScrollPos(bool vertical, int pos) = 0;
  // `rect` in window coordinates; null means the whole client rect.
  virtual void TxInvalidateRect(const UiRect* rect) = 0;

  virtual void TxCreateCaret(int width, int height) = 0;
  virtual void TxSetCaretPos(int x, int y) = 0;
  virtual void TxShowCaret(bool show) = 0;

  virtual void TxSetTimer(int id, int interval_ms) = 0;
  virtual void TxKillTimer(int id) = 0;
  virtual void TxSetCapture(bool capture) = 0;
  virtual void TxSetCursor(TextCursor cursor) = 0;
  virtual void TxSetFocus() = 0;
  // May be null: then copy, cut and paste do nothing.
  virtual Clipboard* TxGetClipboard() = 0;
  virtual void TxNotify(int code, void* data) = 0;
};

}  // namespace ui
