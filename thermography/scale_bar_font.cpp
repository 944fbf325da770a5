#include "scale_bar_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace kt::thermography {

struct LabelFont::Faces {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  int digit_height = 0;  // pixels above the baseline of '0'

  ~Faces() {
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

namespace {

uint8_t Blend(uint8_t under, uint8_t over, unsigned coverage) {
  return static_cast<uint8_t>((under * (255u - coverage) + over * coverage + 127u) / 255u);
}

}  // namespace

LabelFont::LabelFont(std::unique_ptr<Faces> faces) : faces_(std::move(faces)) {}
LabelFont::~LabelFont() = default;

std::unique_ptr<LabelFont> LabelFont::Open(const std::string& path, int pixel_size) {
  auto faces = std::make_unique<Faces>();
  if (FT_Init_FreeType(&faces->library) != 0) return nullptr;
  if (FT_New_Face(faces->library, path.c_str(), 0, &faces->face) != 0) {
    faces->face = nullptr;
    return nullptr;
  }
  if (!FT_IS_SCALABLE(faces->face) ||
      FT_Set_Pixel_Sizes(faces->face, 0, static_cast<FT_UInt>(pixel_size)) != 0 ||
      FT_Get_Char_Index(faces->face, '0') == 0 ||
      FT_Load_Char(faces->face, '0', FT_LOAD_RENDER) != 0) {
    return nullptr;
  }
  faces->digit_height = faces->face->glyph->bitmap_top;
  return std::unique_ptr<LabelFont>(new LabelFont(std::move(faces)));
}

void LabelFont::Draw(std::u32string_view text, int x, int middle_y, const uint8_t colour[3],
                     RgbCanvas canvas, int clip_left) const {
  FT_Face face = faces_->face;
  const int baseline = middle_y + faces_->digit_height / 2;
  int pen = x;
  for (const char32_t c : text) {
    if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot glyph = face->glyph;
    const FT_Bitmap& bitmap = glyph->bitmap;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
      const int left = pen + glyph->bitmap_left;
      const int top = baseline - glyph->bitmap_top;
      for (int row = 0; row < static_cast<int>(bitmap.rows); ++row) {
        const int y = top + row;
        if (y < 0 || y >= canvas.height) continue;
        const unsigned char* coverage = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
        for (int col = 0; col < static_cast<int>(bitmap.width); ++col) {
          const int px = left + col;
          if (px < clip_left || px >= canvas.width || coverage[col] == 0) continue;
          uint8_t* p = canvas.pixels + (static_cast<ptrdiff_t>(y) * canvas.width + px) * 3;
          for (int k = 0; k < 3; ++k) p[k] = Blend(p[k], colour[k], coverage[col]);
        }
      }
    }
    pen += static_cast<int>(glyph->advance.x >> 6);
    if (pen >= canvas.width) break;
  }
}

}  // namespace kt::thermography
