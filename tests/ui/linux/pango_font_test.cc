// Font table entries as Pango descriptions: families, sizes, weights and
// styles as the skin asked, and a usable font for any of them.

#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include "ui/core/global_manager.h"
#include "ui/resource/linux/pango_font.h"

namespace ui {
namespace {

class PangoFontTest : public ::testing::Test {
 protected:
  void SetUp() override { GlobalManager::Shutdown(); }
  void TearDown() override { GlobalManager::Shutdown(); }

  static const PangoFontDescription* Desc(int id) {
    return PangoFontOf(GlobalManager::GetFont(id)->font.get());
  }
};

TEST_F(PangoFontTest, EntriesBecomeDescriptionsOfTheirFamilyWeightAndStyle) {
  ASSERT_TRUE(GlobalManager::AddFont(L"system", 12, false, false, false));
  ASSERT_TRUE(GlobalManager::AddFont(L"arial", 14, true, true, false));
  ASSERT_TRUE(GlobalManager::AddFont(L"NoSuchFaceAnywhere", 16, false, false, true));
  ASSERT_NE(Desc(0), nullptr);
  EXPECT_STREQ(pango_font_description_get_family(Desc(0)), GlobalManager::kSystemFontFamilies);
  EXPECT_EQ(pango_font_description_get_weight(Desc(0)), PANGO_WEIGHT_NORMAL);
  EXPECT_TRUE(pango_font_description_get_size_is_absolute(Desc(0)));
  EXPECT_EQ(pango_font_description_get_size(Desc(0)), 12 * PANGO_SCALE);
  EXPECT_STREQ(pango_font_description_get_family(Desc(1)), "arial");
  EXPECT_EQ(pango_font_description_get_weight(Desc(1)), PANGO_WEIGHT_BOLD);
  EXPECT_EQ(pango_font_description_get_style(Desc(2)), PANGO_STYLE_ITALIC);

  // A face fontconfig does not know still gives a usable font.
  PangoFontMap* map = pango_cairo_font_map_get_default();
  PangoContext* context = pango_font_map_create_context(map);
  for (int id = 0; id < 3; ++id) {
    PangoFont* loaded = pango_font_map_load_font(map, context, Desc(id));
    EXPECT_NE(loaded, nullptr) << id;
    if (loaded != nullptr) g_object_unref(loaded);
  }
  g_object_unref(context);
  EXPECT_EQ(PangoFontOf(nullptr), nullptr);
}

TEST_F(PangoFontTest, SizesFollowTheDpiScale) {
  GlobalManager::SetDPI(144);
  ASSERT_TRUE(GlobalManager::AddFont(L"system", 12, false, false, false));
  EXPECT_EQ(pango_font_description_get_size(Desc(0)), 18 * PANGO_SCALE);
  GlobalManager::SetAdaptDPI(false);
}

TEST_F(PangoFontTest, SizesOutsidePangosRangeStillGiveASizedFont) {
  // A negative size keeps its magnitude; a huge one is held at Pango's limit
  // instead of wrapping its int size negative.
  ASSERT_TRUE(GlobalManager::AddFont(L"system", -12, false, false, false));
  ASSERT_TRUE(GlobalManager::AddFont(L"system", 2000000000, false, false, false));
  EXPECT_EQ(GlobalManager::GetFont(0)->size, -12);
  EXPECT_TRUE(pango_font_description_get_size_is_absolute(Desc(0)));
  EXPECT_EQ(pango_font_description_get_size(Desc(0)), 12 * PANGO_SCALE);
  EXPECT_EQ(GlobalManager::GetFont(1)->size, 2000000000);
  EXPECT_EQ(pango_font_description_get_size(Desc(1)), G_MAXINT / PANGO_SCALE * PANGO_SCALE);
}

}  // namespace
}  // namespace ui
