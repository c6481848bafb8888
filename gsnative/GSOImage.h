// GSOImage: the native side of the script class "Image" (Image.gsl), a
// drawable bitmap with a line colour, a fill colour and a font.
//
// A new image has no bitmap, line colour opaque white (0xFFFFFFFF), fill
// colour transparent black (0), font "swiss" at size 12 and a change count
// of 0. Colours are packed like the bitmap's pixels (0xAARRGGBB, bytes
// blue, green, red, alpha in memory); scripts give them as four floats
// (red, green, blue, alpha), each clamped to 0 .. 1 (not a number counts as
// 0), times 255, plus 0.5, truncated.
//
// Natives (RegisterImageNatives, class "Image"):
// - Clear(w, h): drops the bitmap; with w > 0 and h > 0 makes a w x h one
//   (format 2) filled with the fill colour. Resize(w, h, scale): nothing
//   when (w, h) is the current size ((0, 0) without bitmap); with both > 0
//   and a bitmap, a new one filled with the fill colour receives the old
//   pixels at (0, 0), or the whole old image scaled to the new size when
//   `scale` is true; otherwise as Clear. Sides above kMaxSide or more than
//   kMaxPixels pixels stop the thread ("Image.Clear> image too large",
//   "Image.Resize> image too large") and change nothing, and so do sizes
//   whose pixels (4 bytes each; for Resize with the old bitmap's, held
//   until the new one is made) would pass the live-byte bound of the
//   image's context (GSAllocationMeter.h). When memory runs out the image
//   is left without bitmap. Resize and text are charged to the run's budget
//   (the pixels made; 1 unit per byte measured, 16 per byte drawn).
// - GetWidth, GetHeight: the bitmap's size, 0 without bitmap.
// - SetLineColor, SetFillColor: the colours.
// - DrawPoint, DrawRect (corners x1, y1, x2, y2: fill, then line colour
//   border), DrawLine, DrawCircle, DrawTriangle (fill, then line colour
//   outline): drawn on the bitmap as kiv/basics/Bitmap.h says, clipped.
// - DrawImage(x, y, source), DrawImage(x1, y1, x2, y2, source),
//   DrawImage(x1, y1, x2, y2, source, sx1, sy1, sx2, sy2): blends the
//   source rectangle (the whole source, or the rectangle of the last four
//   corners) onto this image at (x, y) or (x1, y1), without scaling. Nothing
//   happens without a bitmap on either side, nor when the source is this
//   image and the destination's size differs from the source rectangle's.
//   The source must be an Image ("null object at parameter %d",
//   "incorrect parameter type at parameter %d").
// - SetTextFont(name, size): stores the name lower-cased and the size.
// - MeasureTextWidth(text): the text's width in the font, 0 when the font
//   cannot be had. DrawText(x, y, text): draws the text in the line colour
//   with the top of its line at y, glyph after glyph from the pen at x (the
//   pen moves by A, the glyph is drawn, the pen moves by B + C); nothing
//   without a bitmap or a font. Texts are UTF-8 of any length and bytes
//   (invalid sequences draw as U+FFFD would). Both refuse a null or empty
//   text ("null string at parameter %d", "empty string at parameter %d").
//   The font is the process's cached antialiased font of the image's name
//   and size in the default character set (render/font/FontCache.h).
// - ExportImage: a new locked, empty Soup; the pixels are not exported.
//   ImportImage(soup): takes a Soup and changes nothing.
// The change count rises by one with every Clear and Resize that acts,
// every drawing native that has a bitmap, every copy, every DrawText that
// had a bitmap and a font, and every ImportImage with a valid argument.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <cstdint>
#include <memory>

#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSStack.h"
#include "kiv/PString.h"
#include "kiv/String.h"
#include "kiv/basics/Bitmap.h"

class TTFont;

class GSOImage : public GSRuntime::GSObject {
 public:
  static constexpr int32_t kMaxSide = 8192;
  static constexpr int64_t kMaxPixels = int64_t(1) << 24;

  // A new image under `context` with one count for the caller; null when
  // the "Image" script class is not known or no object could be made.
  static GSOImage* Create(GSRuntime::GSContext* context);
  // A new image holding the picture file at `path`; null when the picture
  // cannot be read (or no image made).
  static GSOImage* Load(GSRuntime::GSContext* context, const Kiv::String& path);
  // Pushes Create's object for the caller, or null.
  static void Push(GSRuntime::GSStack& stack, GSRuntime::GSContext* context);

  // Packed colour of four script components (red, green, blue, alpha).
  static uint32_t PackColour(float red, float green, float blue, float alpha);

  const Kiv::Bitmap* GetBitmap() const { return bitmap_.get(); }
  uint32_t LineColour() const { return lineColour_; }
  uint32_t FillColour() const { return fillColour_; }
  const Kiv::PString& FontName() const { return fontName_; }
  uint32_t ChangeCount() const { return changeCount_; }

  void Clear(GSRuntime::GSStack& stack);
  void Resize(GSRuntime::GSStack& stack);
  void GetWidth(GSRuntime::GSStack& stack);
  void GetHeight(GSRuntime::GSStack& stack);
  void SetLineColor(GSRuntime::GSStack& stack);
  void SetFillColor(GSRuntime::GSStack& stack);
  void DrawPoint(GSRuntime::GSStack& stack);
  void DrawRect(GSRuntime::GSStack& stack);
  void DrawLine(GSRuntime::GSStack& stack);
  void DrawCircle(GSRuntime::GSStack& stack);
  void DrawTriangle(GSRuntime::GSStack& stack);
  void DrawImageAt(GSRuntime::GSStack& stack);
  void DrawImageInRect(GSRuntime::GSStack& stack);
  void DrawImagePart(GSRuntime::GSStack& stack);
  void SetTextFont(GSRuntime::GSStack& stack);
  void MeasureTextWidth(GSRuntime::GSStack& stack);
  void DrawText(GSRuntime::GSStack& stack);
  void ExportImage(GSRuntime::GSStack& stack);
  void ImportImage(GSRuntime::GSStack& stack);

 private:
  // A rectangle as DrawImage takes it.
  struct Rect {
    int64_t x, y, width, height;
  };

  GSOImage() = default;
  // False after the refusal `text` when (width, height) is too large, or
  // its pixels (with the bitmap held now when `keepsOld`: it is still there
  // while the new one is made) pass the context's live-byte bound; when
  // true, they are charged until ChargeHeldBitmap.
  bool SizeAllowed(int32_t width, int32_t height, bool keepsOld, const char* text);
  // Charges the bitmap held now, and nothing else.
  void ChargeHeldBitmap();
  void MakeBitmap(int32_t width, int32_t height);
  void CopyFrom(const GSOImage* source, const Rect& destination, const Rect* part);
  TTFont* Font() const;

  std::unique_ptr<Kiv::Bitmap> bitmap_;
  uint32_t lineColour_ = 0xFFFFFFFFu;
  uint32_t fillColour_ = 0;
  Kiv::PString fontName_{"swiss"};
  int32_t fontSize_ = 12;
  uint32_t changeCount_ = 0;
  GSRuntime::GSNativeCharge meter_;
};

void RegisterImageNatives(GSMachine& machine);

// The script class "Image", once found.
extern GSRuntime::GSClass* gImageScriptClass;
