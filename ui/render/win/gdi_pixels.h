#pragma once

// Pixel images whose memory is a GDI DIB section (32 bits, top-down), so that
// GDI blits into and out of them and a layered window can show them as they
// are. GDI+ draws into the same memory through a 32bppPARGB bitmap over it.

#include <windows.h>

#include <memory>

#include "ui/render/pixel_image.h"

namespace ui {

// Cleared pixels in a new DIB section; null for sizes PixelImage refuses or
// when GDI cannot make the section.
std::shared_ptr<PixelImage> CreateDibPixelImage(int width, int height);

// The DIB section of an image CreateDibPixelImage made; null for any other.
HBITMAP DibSectionOf(const PixelImage& image);

// A memory DC the image's DIB section is selected into: the DC of the render
// context drawing into it, else one kept with the image (made on first use).
// Its window origin may be the context's: `origin`, when given, receives it,
// and a point (x, y) of the pixels is (x + origin.x, y + origin.y) in the DC.
// Null for images that are not DIB sections. UI thread only.
HDC DibDcOf(const PixelImage& image, POINT* origin = nullptr);

// Selects the image's DIB section into `dc` (a render context's memory DC)
// until LeaveDc, putting what it displaced into `previous`; the image's own
// DC, if it had one, is deleted first. False for images that are not DIB
// sections, or when GDI refuses.
bool JoinDc(const PixelImage& image, HDC dc, HGDIOBJ* previous);
// Selects `previous` back into the DC the image joined.
void LeaveDc(const PixelImage& image, HGDIOBJ previous);

}  // namespace ui
