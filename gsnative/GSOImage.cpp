#include "gsnative/GSOImage.h"

#include <cmath>
#include <memory>
#include <new>

#include "foundation/text/Utf8.h"
#include "gsnative/GSOSoup.h"
#include "gsnative/StringParams.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "render/font/FontCache.h"
#include "render/font/TTFont.h"

using namespace GSRuntime;

GSClass* gImageScriptClass = nullptr;

namespace {

int32_t IntArg(const GSStack& stack, uint32_t index) {
  return GSInt(GSNativeArg(stack, index));
}

// The work of text, as bytes moved per byte of text (gsruntime/
// GSAllocationMeter.h): measuring looks up each character's spacing,
// drawing renders and blends each glyph besides.
constexpr uint64_t kMeasureBytesPerByte = 64;
constexpr uint64_t kDrawBytesPerByte = 1024;

uint32_t ColourByte(float component) {
  if (!(component > 0)) return 0;
  if (component > 1) component = 1;
  return static_cast<uint32_t>(component * 255.0f + 0.5f);
}

uint32_t ColourArgs(const GSStack& stack) {
  return GSOImage::PackColour(GetFloatArg(stack, 1), GetFloatArg(stack, 2), GetFloatArg(stack, 3),
                              GetFloatArg(stack, 4));
}

}  // namespace

GSOImage* GSOImage::Create(GSContext* context) {
  auto* image = new (std::nothrow) GSOImage;
  if (image == nullptr) return nullptr;
  if (!image->AttachScriptInstance(gImageScriptClass, context)) {
    delete image;
    return nullptr;
  }
  return image;
}

GSOImage* GSOImage::Load(GSContext* context, const Kiv::String& path) {
  std::unique_ptr<Kiv::Bitmap> bitmap = Kiv::Bitmap::Load(path, nullptr);
  if (bitmap == nullptr) return nullptr;
  GSOImage* image = Create(context);
  if (image == nullptr) return nullptr;
  image->bitmap_ = std::move(bitmap);
  image->ChargeHeldBitmap();
  return image;
}

void GSOImage::Push(GSStack& stack, GSContext* context) {
  GSOImage* image = Create(context);
  if (image == nullptr) {
    stack.Push(0);
    return;
  }
  stack.PushObject(nullptr, image);
}

uint32_t GSOImage::PackColour(float red, float green, float blue, float alpha) {
  return ColourByte(blue) | ColourByte(green) << 8 | ColourByte(red) << 16 |
         ColourByte(alpha) << 24;
}

bool GSOImage::SizeAllowed(int32_t width, int32_t height, bool keepsOld, const char* text) {
  if (width <= 0 || height <= 0) return true;
  const uint64_t held = keepsOld ? meter_.Bytes() : 0;
  if (width <= kMaxSide && height <= kMaxSide && int64_t(width) * height <= kMaxPixels &&
      meter_.TrySet(Context(), held + uint64_t(width) * uint64_t(height) * 4))
    return true;
  return ScriptError(text);
}

void GSOImage::ChargeHeldBitmap() {
  meter_.Set(Context(), bitmap_ ? uint64_t(bitmap_->Width()) * bitmap_->Height() * 4 : 0);
}

void GSOImage::MakeBitmap(int32_t width, int32_t height) {
  bitmap_.reset();
  if (width <= 0 || height <= 0) return;
  auto bitmap =
      std::make_unique<Kiv::Bitmap>(uint32_t(width), uint32_t(height), Kiv::Bitmap::kARGB);
  if (bitmap->Pixels() == nullptr) return;
  bitmap->Fill(fillColour_);
  bitmap_ = std::move(bitmap);
}

void GSOImage::Clear(GSStack& stack) {
  const int32_t width = IntArg(stack, 1), height = IntArg(stack, 2);
  if (!SizeAllowed(width, height, false, "Image.Clear> image too large")) return;
  MakeBitmap(width, height);
  ChargeHeldBitmap();
  ++changeCount_;
}

void GSOImage::Resize(GSStack& stack) {
  const int32_t width = IntArg(stack, 1), height = IntArg(stack, 2);
  const bool scale = GSNativeArg(stack, 3) != 0;
  const int32_t oldWidth = bitmap_ ? int32_t(bitmap_->Width()) : 0;
  const int32_t oldHeight = bitmap_ ? int32_t(bitmap_->Height()) : 0;
  if (width == oldWidth && height == oldHeight) return;
  if (!SizeAllowed(width, height, true, "Image.Resize> image too large")) return;
  ++changeCount_;
  if (width <= 0 || height <= 0 || bitmap_ == nullptr) {
    MakeBitmap(width, height);
    ChargeHeldBitmap();
    return;
  }
  std::unique_ptr<Kiv::Bitmap> old = std::move(bitmap_);
  if (scale) {
    bitmap_ = old->Scale(uint32_t(width), uint32_t(height));
  } else {
    MakeBitmap(width, height);
    if (bitmap_ != nullptr) bitmap_->CopyImage(*old, 0, 0);
  }
  GSChargeMovedBytes(uint64_t(width) * uint64_t(height) * 4);
  ChargeHeldBitmap();
}

void GSOImage::GetWidth(GSStack& stack) {
  stack.Push(GSFromInt(bitmap_ ? int32_t(bitmap_->Width()) : 0));
}

void GSOImage::GetHeight(GSStack& stack) {
  stack.Push(GSFromInt(bitmap_ ? int32_t(bitmap_->Height()) : 0));
}

void GSOImage::SetLineColor(GSStack& stack) {
  lineColour_ = ColourArgs(stack);
}

void GSOImage::SetFillColor(GSStack& stack) {
  fillColour_ = ColourArgs(stack);
}

void GSOImage::DrawPoint(GSStack& stack) {
  if (bitmap_ == nullptr) return;
  bitmap_->BlendPixel(IntArg(stack, 1), IntArg(stack, 2), lineColour_);
  ++changeCount_;
}

void GSOImage::DrawRect(GSStack& stack) {
  if (bitmap_ == nullptr) return;
  const int64_t x = IntArg(stack, 1), y = IntArg(stack, 2);
  const int64_t width = IntArg(stack, 3) - x, height = IntArg(stack, 4) - y;
  bitmap_->Box(x, y, width, height, fillColour_, 1);
  bitmap_->Box(x, y, width, height, lineColour_, 0);
  ++changeCount_;
}

void GSOImage::DrawLine(GSStack& stack) {
  if (bitmap_ == nullptr) return;
  bitmap_->Line(IntArg(stack, 1), IntArg(stack, 2), IntArg(stack, 3), IntArg(stack, 4),
                lineColour_);
  ++changeCount_;
}

void GSOImage::DrawCircle(GSStack& stack) {
  if (bitmap_ == nullptr) return;
  const int32_t x = IntArg(stack, 1), y = IntArg(stack, 2), radius = IntArg(stack, 3);
  bitmap_->Circle(x, y, radius, fillColour_, 1);
  bitmap_->Circle(x, y, radius, lineColour_, 2);
  ++changeCount_;
}

void GSOImage::DrawTriangle(GSStack& stack) {
  if (bitmap_ == nullptr) return;
  int32_t points[6];
  for (uint32_t i = 0; i < 6; ++i) points[i] = IntArg(stack, i + 1);
  bitmap_->Triangle(points, fillColour_, 1);
  bitmap_->Triangle(points, lineColour_, 2);
  ++changeCount_;
}

void GSOImage::CopyFrom(const GSOImage* source, const Rect& destination, const Rect* part) {
  if (bitmap_ == nullptr || source->bitmap_ == nullptr) return;
  const Kiv::Bitmap& from = *source->bitmap_;
  const Rect whole{0, 0, int64_t(from.Width()), int64_t(from.Height())};
  const Rect& rect = part != nullptr ? *part : whole;
  if (source == this && (destination.width != rect.width || destination.height != rect.height))
    return;
  bitmap_->Image(from, destination.x, destination.y, rect.x, rect.y, rect.width, rect.height, 4);
  ++changeCount_;
}

void GSOImage::DrawImageAt(GSStack& stack) {
  GSOImage* source = nullptr;
  if (!GetObjectParam(stack, 3, source, false) || source->bitmap_ == nullptr) return;
  const Rect destination{IntArg(stack, 1), IntArg(stack, 2), int64_t(source->bitmap_->Width()),
                         int64_t(source->bitmap_->Height())};
  CopyFrom(source, destination, nullptr);
}

void GSOImage::DrawImageInRect(GSStack& stack) {
  GSOImage* source = nullptr;
  if (!GetObjectParam(stack, 5, source, false)) return;
  const int64_t x = IntArg(stack, 1), y = IntArg(stack, 2);
  CopyFrom(source, {x, y, IntArg(stack, 3) - x, IntArg(stack, 4) - y}, nullptr);
}

void GSOImage::DrawImagePart(GSStack& stack) {
  GSOImage* source = nullptr;
  if (!GetObjectParam(stack, 5, source, false)) return;
  const int64_t x = IntArg(stack, 1), y = IntArg(stack, 2);
  const int64_t sx = IntArg(stack, 6), sy = IntArg(stack, 7);
  const Rect part{sx, sy, IntArg(stack, 8) - sx, IntArg(stack, 9) - sy};
  CopyFrom(source, {x, y, IntArg(stack, 3) - x, IntArg(stack, 4) - y}, &part);
}

void GSOImage::SetTextFont(GSStack& stack) {
  Kiv::PString name;
  if (!CheckStringParam(stack, 1, name, false)) return;
  name.ToLower();
  fontName_ = name;
  fontSize_ = IntArg(stack, 2);
}

TTFont* GSOImage::Font() const {
  FontKey key;
  key.antialiased = true;
  key.size = fontSize_;
  key.face = fontName_;
  return FindOrCreateFont(key);
}

void GSOImage::MeasureTextWidth(GSStack& stack) {
  Kiv::PString text;
  if (!CheckStringParam(stack, 1, text, false)) return;
  TTFont* font = Font();
  GSChargeMovedBytes(uint64_t(text.Length()) * kMeasureBytesPerByte);
  stack.Push(GSFromInt(font != nullptr ? font->MeasureText(text.Text(), text.Length()) : 0));
}

void GSOImage::DrawText(GSStack& stack) {
  Kiv::PString text;
  if (!CheckStringParam(stack, 3, text, false) || bitmap_ == nullptr) return;
  TTFont* font = Font();
  if (font == nullptr) return;
  const int64_t y = IntArg(stack, 2);
  int64_t pen = IntArg(stack, 1);
  const char* bytes = text.Text();
  const size_t length = text.Length();
  GSChargeMovedBytes(uint64_t(length) * kDrawBytesPerByte);
  size_t pos = 0;
  while (pos < length) {
    int used = 0;
    const uint32_t ch = DecodeUtf8Char(bytes + pos, length - pos, &used);
    pos += size_t(used > 0 ? used : 1);
    RenderedGlyph glyph;
    if (!font->RenderText(ch, &glyph)) continue;
    pen += glyph.spacing.a;
    TTFont::DrawText(glyph, *bitmap_, pen, y, lineColour_);
    font->ReleaseGlyph(glyph);
    pen += int64_t(glyph.spacing.b) + glyph.spacing.c;
  }
  ++changeCount_;
}

void GSOImage::ExportImage(GSStack& stack) {
  GSOSoup::Push(stack, Context(), Soup(), true);
}

void GSOImage::ImportImage(GSStack& stack) {
  GSOSoup* soup = nullptr;
  if (GetObjectParam(stack, 1, soup, false)) ++changeCount_;
}

void RegisterImageNatives(GSMachine& machine) {
  using Method = void (GSOImage::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  static const Entry kNatives[] = {
      {"$void@Image::Clear(int,int)", &GSOImage::Clear},
      {"$void@Image::Resize(int,int,bool)", &GSOImage::Resize},
      {"$int@Image::GetWidth()", &GSOImage::GetWidth},
      {"$int@Image::GetHeight()", &GSOImage::GetHeight},
      {"$void@Image::SetLineColor(float,float,float,float)", &GSOImage::SetLineColor},
      {"$void@Image::SetFillColor(float,float,float,float)", &GSOImage::SetFillColor},
      {"$void@Image::DrawPoint(int,int)", &GSOImage::DrawPoint},
      {"$void@Image::DrawRect(int,int,int,int)", &GSOImage::DrawRect},
      {"$void@Image::DrawLine(int,int,int,int)", &GSOImage::DrawLine},
      {"$void@Image::DrawCircle(int,int,int)", &GSOImage::DrawCircle},
      {"$void@Image::DrawTriangle(int,int,int,int,int,int)", &GSOImage::DrawTriangle},
      {"$void@Image::DrawImage(int,int,Image)", &GSOImage::DrawImageAt},
      {"$void@Image::DrawImage(int,int,int,int,Image)", &GSOImage::DrawImageInRect},
      {"$void@Image::DrawImage(int,int,int,int,Image,int,int,int,int)", &GSOImage::DrawImagePart},
      {"$void@Image::SetTextFont(string,int)", &GSOImage::SetTextFont},
      {"$int@Image::MeasureTextWidth(string)", &GSOImage::MeasureTextWidth},
      {"$void@Image::DrawText(int,int,string)", &GSOImage::DrawText},
      {"$Soup@Image::ExportImage()", &GSOImage::ExportImage},
      {"$void@Image::ImportImage(Soup)", &GSOImage::ImportImage},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(
        std::make_unique<GSCPPNativeFunction<GSOImage>>("Image", e.signature, e.method));
}
