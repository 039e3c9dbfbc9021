// The GDI+ back end on real pixels under Wine: the DIB section behind a
// context, GDI output made opaque, nine-slice pieces and how each reached the
// pixels, stretching, fading, sources wherever their pixels live, GDI+'s
// start and stop.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/ui/render_test_support.h"
#include "ui/render/win/gdi_pixels.h"
#include "ui/render/win/render_gdiplus.h"
#include "ui/resource/skin_resources.h"

namespace ui {
namespace {

using render_test::AlphaAt;
using render_test::CoordinateFrame;
using render_test::PixelAt;
using render_test::SolidFrame;

std::unique_ptr<RenderContext_GdiPlus> MakeGdiContext(int width, int height) {
  auto context = std::make_unique<RenderContext_GdiPlus>();
  EXPECT_TRUE(context->Resize(width, height));
  return context;
}

uint8_t Channel(uint32_t pixel, int shift) {
  return static_cast<uint8_t>(pixel >> shift);
}

TEST(RenderGdiplusTest, PixelsAreADibSectionThatGdiDrawsIntoAndRestoreAlphaMakesOpaque) {
  auto context = MakeGdiContext(8, 4);
  PixelImage* pixels = context->GetPixelImage();
  ASSERT_NE(pixels, nullptr);
  HBITMAP dib = DibSectionOf(*pixels);
  ASSERT_NE(dib, nullptr);
  DIBSECTION section = {};
  ASSERT_EQ(GetObjectW(dib, sizeof(section), &section), static_cast<int>(sizeof(section)));
  EXPECT_EQ(section.dsBm.bmBits, pixels->GetData());
  EXPECT_EQ(section.dsBm.bmBitsPixel, 32);
  EXPECT_EQ(DibDcOf(*pixels), context->GetHDC());
  // Rows top-down: GDI's top row is the first in memory.
  SetPixelV(context->GetHDC(), 0, 0, RGB(1, 2, 3));
  EXPECT_EQ(PixelAt(context.get(), 0, 0) & 0xFFFFFF, 0x010203u);

  // GDI writes colour but leaves the alpha byte 0: a key in the alpha byte
  // tells untouched pixels from drawn ones.
  context->ClearAlpha(UiRect(0, 0, 8, 4), 7);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT left = {0, 0, 4, 4};
  FillRect(context->GetHDC(), &left, red);
  DeleteObject(red);
  EXPECT_EQ(PixelAt(context.get(), 1, 1), 0x00FF0000u);
  context->RestoreAlpha(UiRect(0, 0, 8, 4), UiRect(), 7);
  EXPECT_EQ(PixelAt(context.get(), 1, 1), 0xFFFF0000u);
  EXPECT_EQ(AlphaAt(context.get(), 6, 1), 0);
  EXPECT_EQ(PixelAt(context.get(), 6, 1) & 0xFFFFFF, 0x070707u);

  // Handed out, the pixels leave the context's DC and get one of their own.
  std::shared_ptr<PixelImage> detached = context->DetachBitmap();
  ASSERT_NE(detached, nullptr);
  HDC own = DibDcOf(*detached);
  ASSERT_NE(own, nullptr);
  EXPECT_NE(own, context->GetHDC());
  EXPECT_EQ(GetCurrentObject(own, OBJ_BITMAP), dib);
}

TEST(RenderGdiplusTest, FillsClipsAndOriginsAreExactOnTheBytes) {
  auto context = MakeGdiContext(12, 12);
  context->OffsetWindowOrg(CPoint(2, 3));
  context->SetClip(UiRect(4, 5, 10, 9));  // device (2, 2)-(8, 6)
  context->DrawColor(UiRect(0, 0, 20, 20), 0x80FF0000u);
  context->ClearClip();
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      const bool inside = x >= 2 && x < 8 && y >= 2 && y < 6;
      ASSERT_EQ(PixelAt(context.get(), x, y), inside ? 0x80800000u : 0u) << x << "," << y;
    }
  }
  // Over opaque white, half red blends to (255, 127 or 128, same).
  context->SetWindowOrg(CPoint(0, 0));
  context->DrawColor(UiRect(0, 8, 4, 12), 0xFFFFFFFFu);
  context->DrawColor(UiRect(0, 8, 4, 12), 0x80FF0000u);
  const uint32_t blended = PixelAt(context.get(), 1, 9);
  EXPECT_EQ(Channel(blended, 24), 255);
  EXPECT_EQ(Channel(blended, 16), 255);
  EXPECT_NEAR(Channel(blended, 8), 127, 1);
  EXPECT_EQ(Channel(blended, 8), Channel(blended, 0));
}

TEST(RenderGdiplusTest, NineSlicePiecesAreCopiedExactlyWhereTheyBelong) {
  SkinResources::SetAdaptDPI(false);
  std::shared_ptr<PixelImage> frame = CoordinateFrame(30, 30);
  auto context = MakeGdiContext(120, 80);
  std::vector<BlitRecord> blits;
  context->SetBlitObserver([&](const BlitRecord& record) { blits.push_back(record); });
  const UiRect dest(10, 20, 110, 70);
  context->DrawImage(UiRect(0, 0, 120, 80), frame.get(), false, dest, UiRect(0, 0, 30, 30),
                     UiRect(5, 6, 7, 8));
  ASSERT_EQ(blits.size(), 9u);
  EXPECT_EQ(blits[0].dest, UiRect(15, 26, 103, 62));
  EXPECT_EQ(blits[0].source, UiRect(5, 6, 23, 22));
  EXPECT_EQ(blits[0].mode, BlitRecord::kStretch);
  for (size_t i = 1; i < blits.size(); ++i) {
    // Stretched borders of an opaque picture replace; corners are unscaled.
    const bool same_size = blits[i].dest.GetWidth() == blits[i].source.GetWidth() &&
                           blits[i].dest.GetHeight() == blits[i].source.GetHeight();
    EXPECT_EQ(blits[i].mode, same_size ? BlitRecord::kAlphaBlend : BlitRecord::kStretch) << i;
  }
  // Corners: source pixel (x, y) is red x, green y.
  EXPECT_EQ(PixelAt(context.get(), 12, 22), 0xFF020240u);
  EXPECT_EQ(PixelAt(context.get(), 105, 65), 0xFF191940u);  // from (25, 25)
  EXPECT_EQ(PixelAt(context.get(), 108, 21), 0xFF1C0140u);  // right-top, from (28, 1)
  // Everything the picture covers is opaque, stretched parts included; the
  // rest is untouched.
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 120; ++x) {
      const bool covered = x >= 10 && x < 110 && y >= 20 && y < 70;
      ASSERT_EQ(AlphaAt(context.get(), x, y), covered ? 255 : 0) << x << "," << y;
    }
  }
  // The stretched centre runs from the source centre's first colours to its last.
  EXPECT_NEAR(Channel(PixelAt(context.get(), 15, 40), 16), 5, 1);
  EXPECT_NEAR(Channel(PixelAt(context.get(), 102, 40), 16), 22, 1);

  // Only the pieces that meet the paint rect are drawn.
  blits.clear();
  context->DrawImage(UiRect(0, 0, 12, 22), frame.get(), false, dest, UiRect(0, 0, 30, 30),
                     UiRect(5, 6, 7, 8));
  ASSERT_EQ(blits.size(), 1u);
  EXPECT_EQ(blits[0].dest, UiRect(10, 20, 15, 26));
}

TEST(RenderGdiplusTest, TiledCentreRepeatsTheSourceAndCutsTheLastTile) {
  std::shared_ptr<PixelImage> frame = CoordinateFrame(40, 10);
  auto context = MakeGdiContext(120, 10);
  std::vector<BlitRecord> blits;
  context->SetBlitObserver([&](const BlitRecord& record) { blits.push_back(record); });
  context->DrawImage(UiRect(0, 0, 120, 10), frame.get(), false, UiRect(0, 0, 110, 10),
                     UiRect(0, 0, 40, 10), UiRect(5, 0, 5, 0), 255, true, false);
  // The centre of 100 pixels from a 30-pixel source centre, then two borders.
  ASSERT_EQ(blits.size(), 6u);
  const int widths[] = {30, 30, 30, 10};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(blits[i].dest.GetWidth(), widths[i]) << i;
    EXPECT_EQ(blits[i].source.left, 5) << i;
    EXPECT_EQ(blits[i].mode, BlitRecord::kAlphaBlend) << i;  // tiles are not stretched
  }
  for (int x = 5; x < 105; ++x) {
    ASSERT_EQ(Channel(PixelAt(context.get(), x, 4), 16), 5 + (x - 5) % 30) << x;
  }
}

TEST(RenderGdiplusTest, StretchedOpaquePiecesStayInsideTheClip) {
  // A 4 x 1 ramp stretched to 16 x 1 through half-tone stretching, whose
  // alpha the back end restores only where the clip let it draw.
  std::shared_ptr<PixelImage> ramp = PixelImage::Create(4, 1);
  for (int x = 0; x < 4; ++x) {
    const uint32_t pixel = 0xFF000000u | static_cast<uint32_t>(x * 0x40);
    std::memcpy(ramp->GetRow(0) + x * 4, &pixel, 4);
  }
  auto context = MakeGdiContext(20, 2);
  context->OffsetWindowOrg(CPoint(-2, 0));  // logical x is device x - 2
  context->SetClip(UiRect(0, 0, 8, 1));
  std::vector<BlitRecord> blits;
  context->SetBlitObserver([&](const BlitRecord& record) { blits.push_back(record); });
  context->DrawImage(UiRect(0, 0, 16, 1), ramp.get(), false, UiRect(0, 0, 16, 1),
                     UiRect(0, 0, 4, 1), UiRect());
  context->ClearClip();
  ASSERT_EQ(blits.size(), 1u);
  EXPECT_EQ(blits[0].mode, BlitRecord::kStretch);
  for (int x = 0; x < 20; ++x) {
    const bool drawn = x >= 2 && x < 10;
    EXPECT_EQ(AlphaAt(context.get(), x, 0), drawn ? 255 : 0) << x;
  }
  int previous = -1;
  for (int x = 2; x < 10; ++x) {
    const int blue = Channel(PixelAt(context.get(), x, 0), 0);
    EXPECT_GE(blue, previous) << x;
    previous = blue;
  }
  EXPECT_GT(previous, 0x40);  // half way up the ramp

  // Faded or in transparent mode the same piece blends.
  blits.clear();
  context->DrawImage(UiRect(0, 0, 16, 2), ramp.get(), false, UiRect(0, 1, 16, 2),
                     UiRect(0, 0, 4, 1), UiRect(), 254);
  context->SetRenderTransparent(true);
  context->DrawImage(UiRect(0, 0, 16, 1), ramp.get(), false, UiRect(0, 0, 16, 1),
                     UiRect(0, 0, 4, 1), UiRect());
  context->SetRenderTransparent(false);
  ASSERT_EQ(blits.size(), 2u);
  EXPECT_EQ(blits[0].mode, BlitRecord::kAlphaBlend);
  EXPECT_EQ(blits[1].mode, BlitRecord::kAlphaBlend);
  EXPECT_EQ(AlphaAt(context.get(), 5, 1), 254);
}

// A window repaints only what changed: a stretched picture must come out the
// same whatever part of it a repaint covers, or a page drawn in pieces shows
// seams and shifted edges against the page drawn whole.
TEST(RenderGdiplusTest, AStretchedPictureIsTheSameInAPartialRepaintAsInAWholeOne) {
  // Sharp edges everywhere: a checker, 30 x 12, drawn 4/3 larger over black;
  // opaque (half-tone stretching), then half-transparent (blending).
  for (const bool translucent : {false, true}) {
    const uint32_t dark = translucent ? 0x80102060u : 0xFF2060C0u;  // premultiplied
    std::shared_ptr<PixelImage> checker = PixelImage::Create(30, 12);
    for (int y = 0; y < 12; ++y) {
      for (int x = 0; x < 30; ++x) {
        const uint32_t pixel = ((x / 2 + y / 3) % 2) ? dark : 0xFFE0E8F0u;
        std::memcpy(checker->GetRow(y) + x * 4, &pixel, 4);
      }
    }
    const UiRect dest(0, 0, 40, 16);
    auto whole = MakeGdiContext(40, 16);
    whole->DrawColor(dest, 0xFF000000u);
    whole->DrawImage(dest, checker.get(), translucent, dest, UiRect(0, 0, 30, 12), UiRect());
    for (const UiRect& part : {UiRect(7, 3, 40, 16), UiRect(13, 5, 29, 11), UiRect(0, 9, 17, 16)}) {
      auto pieces = MakeGdiContext(40, 16);
      pieces->DrawColor(dest, 0xFF000000u);
      pieces->SetClip(part);
      pieces->DrawImage(part, checker.get(), translucent, dest, UiRect(0, 0, 30, 12), UiRect());
      pieces->ClearClip();
      int differing = 0;
      for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 40; ++x) {
          const uint32_t expected =
              part.IsPointIn(CPoint(x, y)) ? PixelAt(whole.get(), x, y) : 0xFF000000u;
          if (PixelAt(pieces.get(), x, y) != expected) ++differing;
        }
      }
      EXPECT_EQ(differing, 0) << (translucent ? "translucent " : "opaque ") << part.left << ","
                              << part.top << " " << part.right << "," << part.bottom;
    }
  }
}

TEST(RenderGdiplusTest, FadedStretchBlendsWithTheConstantAlpha) {
  // Half-transparent red, stretched 2 x 2 to 4 x 4 at alpha 128 over white.
  std::shared_ptr<PixelImage> half_red = SolidFrame(2, 2, 0x80800000u);
  auto context = MakeGdiContext(4, 4);
  context->DrawColor(UiRect(0, 0, 4, 4), 0xFFFFFFFFu);
  EXPECT_TRUE(context->AlphaBlend(0, 0, 4, 4, half_red.get(), 0, 0, 2, 2, 128));
  // Source alpha 128 * 128 / 255 = 64: white keeps 191 of 255.
  const uint32_t pixel = PixelAt(context.get(), 3, 3);
  EXPECT_EQ(Channel(pixel, 24), 255);
  EXPECT_NEAR(Channel(pixel, 16), 255, 1);
  EXPECT_NEAR(Channel(pixel, 8), 191, 2);
  EXPECT_NEAR(Channel(pixel, 0), 191, 2);
  // A source rect outside the picture is refused, as GDI refuses it.
  EXPECT_FALSE(context->AlphaBlend(0, 0, 4, 4, half_red.get(), 1, 1, 2, 2, 255));
}

TEST(RenderGdiplusTest, SourcesAreReadWhereverTheirPixelsLive) {
  // Plain memory, not a DIB section: copied for the call.
  std::shared_ptr<PixelImage> plain = CoordinateFrame(6, 6);
  ASSERT_EQ(DibSectionOf(*plain), nullptr);
  auto context = MakeGdiContext(6, 6);
  EXPECT_TRUE(context->BitBlt(0, 0, 6, 6, plain.get(), 0, 0));
  EXPECT_EQ(PixelAt(context.get(), 4, 3), 0xFF040340u);

  // Another context's pixels while that context draws with a window origin:
  // the source is read in its device pixels all the same.
  auto source = MakeGdiContext(4, 4);
  source->DrawColor(UiRect(0, 0, 1, 1), 0xFF00FF00u);
  source->OffsetWindowOrg(CPoint(3, 2));
  EXPECT_TRUE(context->BitBlt(0, 0, 2, 2, source->GetPixelImage(), 0, 0));
  EXPECT_EQ(PixelAt(context.get(), 0, 0), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(context.get(), 1, 1), 0u);
  // A clone copies the bytes, not what a blit through the origin would read.
  auto clone = source->Clone();
  EXPECT_EQ(PixelAt(clone.get(), 0, 0), 0xFF00FF00u);

  // Its own pixels, moved onto themselves.
  EXPECT_TRUE(context->BitBlt(2, 2, 2, 2, context->GetPixelImage(), 4, 3));
  EXPECT_EQ(PixelAt(context.get(), 2, 2), 0xFF040340u);
}

TEST(RenderGdiplusTest, GdiplusStartsAgainAfterAnOrderlyStop) {
  StopRenderBackEnd();
  std::unique_ptr<IRenderFactory> factory = CreateRenderFactory();
  std::unique_ptr<IRenderContext> context = factory->CreateRenderContext();
  ASSERT_TRUE(context->Resize(10, 10));
  context->FillEllipse(UiRect(0, 0, 10, 10), 0xFF0000FFu);
  EXPECT_EQ(PixelAt(context.get(), 5, 5), 0xFF0000FFu);
  auto pen = factory->CreatePen(0xFF00FF00u, 1);
  context->DrawLine(pen.get(), 0, 9, 9, 9);
  EXPECT_EQ(PixelAt(context.get(), 4, 9), 0xFF00FF00u);
}

}  // namespace
}  // namespace ui
