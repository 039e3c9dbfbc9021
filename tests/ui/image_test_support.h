#pragma once

// Pictures built byte by byte for the image tests of both targets.

#include <string>
#include <vector>

#include "ui/render/pixel_image.h"

namespace ui::image_test {

inline void Put16(std::string* s, int v) {
  s->push_back(static_cast<char>(v & 0xFF));
  s->push_back(static_cast<char>((v >> 8) & 0xFF));
}

// A 2x2 GIF89a whose frame i is filled with palette entry i % 4 (red, green,
// blue, white). loop < 0 leaves out the looping extension.
inline std::string MakeGif(const std::vector<int>& delays, int loop) {
  std::string s = "GIF89a";
  Put16(&s, 2);
  Put16(&s, 2);
  s += '\x81';  // global colour table of 4 entries
  s += '\0';
  s += '\0';
  const unsigned char palette[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  s.append(reinterpret_cast<const char*>(palette), sizeof(palette));
  if (loop >= 0) {
    s += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
    Put16(&s, loop);
    s += '\0';
  }
  for (size_t f = 0; f < delays.size(); ++f) {
    s += std::string("\x21\xF9\x04\x04", 4);  // graphic control: dispose to background
    Put16(&s, delays[f]);
    s += std::string("\0\0", 2);
    s += '\x2C';
    Put16(&s, 0);
    Put16(&s, 0);
    Put16(&s, 2);
    Put16(&s, 2);
    s += '\0';
    s += '\x02';  // LZW minimum code size
    // Each pixel as clear code + literal, so the code width stays 3 bits.
    std::vector<int> codes;
    for (int i = 0; i < 4; ++i) codes.insert(codes.end(), {4, static_cast<int>(f % 4)});
    codes.push_back(5);
    std::string data;
    unsigned bits = 0;
    int count = 0;
    for (int code : codes) {
      bits |= static_cast<unsigned>(code) << count;
      count += 3;
      for (; count >= 8; count -= 8, bits >>= 8) data += static_cast<char>(bits & 0xFF);
    }
    if (count > 0) data += static_cast<char>(bits & 0xFF);
    s += static_cast<char>(data.size());
    s += data;
    s += '\0';
  }
  s += '\x3B';
  return s;
}

// Bytes of a pixel in a frame: blue, green, red, alpha.
inline std::vector<unsigned char> PixelBytes(const PixelImage* image, int x, int y) {
  const unsigned char* p = image->GetRow(y) + x * 4;
  return {p[0], p[1], p[2], p[3]};
}

}  // namespace ui::image_test
