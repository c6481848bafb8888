#include "render/font/FreeTypeFaceSource.h"

#include <string>

#include "foundation/base/LogMessage.h"
#include "foundation/layout/ProgramModule.h"
#include "render/font/FontCharsets.h"
#include "render/font/FontModule.h"

namespace {

// The font module's table, loaded on the first font opened (once per
// process); null when the module cannot be loaded, which is logged once.
const VuFontFunctions* Module() {
  static const VuFontFunctions* const functions = [] {
    const ProgramModule module = LoadProgramModule(kFontModuleFile, kFontModuleSymbol);
    const VuFontFunctions* table =
        module.entry != nullptr ? reinterpret_cast<VuFontModuleFunctionsEntry>(module.entry)()
                                : nullptr;
    if (table == nullptr)
      LogMessage("Fonts are not available: %s",
                 module.entry == nullptr ? module.error.c_str() : "the font module gave no table");
    return table;
  }();
  return functions;
}

// One face of the module.
class ModuleFace : public FontFace {
 public:
  ModuleFace(const VuFontFunctions& module, VuFontFace* face) : module_(module), face_(face) {}
  ~ModuleFace() override { module_.close(face_); }
  ModuleFace(const ModuleFace&) = delete;
  ModuleFace& operator=(const ModuleFace&) = delete;

  int32_t Height() const override { return module_.height(face_); }
  int32_t Ascent() const override { return module_.ascent(face_); }
  bool Signature(uint32_t (&bits)[4]) const override { return module_.signature(face_, bits) != 0; }
  bool Widths(uint32_t first, uint32_t last, GlyphABC* out) override {
    return module_.widths(face_, first, last, out) != 0;
  }
  void DrawGlyph(uint32_t ch, int32_t originX, uint8_t* coverage, int32_t width,
                 int32_t height) override {
    module_.drawGlyph(face_, ch, originX, coverage, width, height);
  }

 private:
  const VuFontFunctions& module_;
  VuFontFace* face_;
};

}  // namespace

std::unique_ptr<FontFace> FreeTypeFaceSource::Open(const FontRequest& request) {
  const VuFontFunctions* module = Module();
  if (module == nullptr) return nullptr;
  const std::string_view language = CharsetLanguage(request.charset);
  const VuFontRequest wanted = {request.face.data(), request.face.size(), language.data(),
                                language.size(),     request.size,        request.bold,
                                request.italic,      request.underline,   request.strikeout,
                                request.antialiased};
  VuFontFace* face = module->open(&wanted);
  if (face == nullptr) return nullptr;
  return std::make_unique<ModuleFace>(*module, face);
}
