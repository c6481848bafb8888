#include "render/materials/ProgramTexts.h"

#include <cstring>
#include <iterator>

namespace Kiv {

namespace {

// Vertex inputs: v0 position, v2 normal, v4 tangent, v8 texture coordinate
// 0. Outputs: oPos, oD0 (tangent-space light vector), oD1 (specular term),
// oT0..oT3, oFog.
const char kBumpVertexText[] = R"(vertexProgram(VandruBumpMaterial_Vtx)
{
  version 2.0;
  program VandruBump_ParallelLight      : PNTA : ParallelLight, OneTex, Fog;
  program VandruBump_SpotLight          : PNTA : SpotLight, OneTex, Fog;
  program VandruBumpGloss_ParallelLight : PNTA : ParallelLight, OneTex, SphereMap, Fog;
  program VandruBumpGloss_SpotLight     : PNTA : SpotLight, OneTex, SphereMap, Fog;
  program VandruBumpEnv_ParallelLight   : PNTA : ParallelLight, OneTex, cubeMap, Fog;
  program VandruBumpEnv_SpotLight       : PNTA : SpotLight, OneTex, cubeMap, Fog;
}

API(common)
{
  param mvp[4]         = state.matrix.mvp;
  param mv[4]          = state.matrix.modelview;
  param texMat1[4]     = state.matrix.texture[1];
  local 4  lightColor;
  local 5  lightPos;        // object space
  local 6  invLightRadius;  // x cos(spot angle), y 1/radius, z 0, w 0
  local 7  lightDir;        // object space, normalised
  local 8  lightAmb;
  local 9  basisX;
  local 10 basisY;
  local 11 basisZ;
  local 12 globalAmb;
  local 13 viewPos;         // camera in object space
  const half  = 0.5;
  const tiny  = 0.05;
  const const = 0.0, 1.0, 0.0, 0.0;

  dp4 oPos.x, mvp[0], v0;
  dp4 oPos.y, mvp[1], v0;
  dp4 oPos.z, mvp[2], v0;
  dp4 oPos.w, mvp[3], v0;

%ifdef ParallelLight
  // binormal B = T x N
  mul r0.xyz, v4.yzxw, v2.zxyw;
  mad r0.xyz, v4.zxyw, -v2.yzxw, r0;
  // tangent-space light vector L = (-lightDir.T, -lightDir.B, -lightDir.N)
  dp3 r1.x, -c[lightDir], v4;
  dp3 r1.y, -c[lightDir], r0;
  dp3 r1.z, -c[lightDir], v2;
  mad oD0.xyz, r1, c[half], c[half];
  // half angle H = normalise(normalise(viewPos - P) - lightDir)
  add r2.xyz, c[viewPos], -v0;
  dp3 r2.w, r2, r2;
  rsq r2.w, r2.w;
  mul r2.xyz, r2, r2.w;
  add r2.xyz, r2, -c[lightDir];
  dp3 r2.w, r2, r2;
  rsq r2.w, r2.w;
  mul r2.xyz, r2, r2.w;
  dp3 r3.x, r2, v4;
  dp3 r3.y, r2, r0;
  dp3 r3.z, r2, v2;
  mad oT2.xyz, r3, c[half], c[half];
  // specular s^32 by five squarings
  max r3.z, r3.z, c[const].x;
  mul r3.z, r3.z, r3.z;
  mul r3.z, r3.z, r3.z;
  mul r3.z, r3.z, r3.z;
  mul r3.z, r3.z, r3.z;
  mul oD1, r3.z, r3.z;
%endif // ParallelLight

%ifdef SpotLight
  // binormal B = T x N
  mul r0.xyz, v4.yzxw, v2.zxyw;
  mad r0.xyz, v4.zxyw, -v2.yzxw, r0;
  // D = lightPos - P; a = max(1 - |D * invLightRadius.y|^2, invLightRadius.z)
  add r1.xyz, c[lightPos], -v0;
  mul r4.xyz, r1, c[invLightRadius].y;
  dp3 r4.w, r4, r4;
  add r4.w, c[const].y, -r4.w;
  max r4.w, r4.w, c[invLightRadius].z;
  // Dn = normalise(D); c = Dn.(-lightDir); k = c >= cos(angle); f = c k a
  dp3 r1.w, r1, r1;
  rsq r1.w, r1.w;
  mul r1.xyz, r1, r1.w;
  dp3 r5.x, r1, -c[lightDir];
  sge r5.y, r5.x, c[invLightRadius].x;
  mul r5.x, r5.x, r5.y;
  mul r5.x, r5.x, r4.w;
  dp3 r6.x, r1, v4;
  dp3 r6.y, r1, r0;
  dp3 r6.z, r1, v2;
  mul r6.xyz, r6, r5.x;
  mad oD0.xyz, r6, c[half], c[half];
  // half angle from the light direction, not Dn
  add r2.xyz, c[viewPos], -v0;
  dp3 r2.w, r2, r2;
  rsq r2.w, r2.w;
  mul r2.xyz, r2, r2.w;
  add r2.xyz, r2, -c[lightDir];
  dp3 r2.w, r2, r2;
  rsq r2.w, r2.w;
  mul r2.xyz, r2, r2.w;
  dp3 r3.x, r2, v4;
  dp3 r3.y, r2, r0;
  dp3 r3.z, r2, v2;
  mul r3.xyz, r3, r5.x;
  mad oT2.xyz, r3, c[half], c[half];
  max r3.z, r3.z, c[const].x;
  mul r3.z, r3.z, r3.z;
  mul r3.z, r3.z, r3.z;
  mul r3.z, r3.z, r3.z;
  mul r3.z, r3.z, r3.z;
  mul oD1, r3.z, r3.z;
%endif // SpotLight

%ifdef OneTex
  mov oT0, v8;
  mov oT1, v8;
%endif // OneTex

%ifdef SphereMap
  // eye normal n = (mv0.N, -(mv1.N), mv2.N)
  dp3 r7.x, mv[0], v2;
  dp3 r7.y, mv[1], v2;
  dp3 r7.z, mv[2], v2;
  mov r7.y, -r7.y;
  mad r7.xyz, r7, c[half], c[half];
  mad r7.xy, v8, c[tiny], r7;
  mov r7.w, c[const].y;
  mov oT3, r7;
%endif // SphereMap

%ifdef cubeMap
  // P = mv P; Ne = mv(3x3) N; V = normalise(-P); R = 2 (Ne.V) Ne - V
  dp4 r8.x, mv[0], v0;
  dp4 r8.y, mv[1], v0;
  dp4 r8.z, mv[2], v0;
  dp3 r9.x, mv[0], v2;
  dp3 r9.y, mv[1], v2;
  dp3 r9.z, mv[2], v2;
  dp3 r8.w, r8, r8;
  rsq r8.w, r8.w;
  mul r8.xyz, -r8, r8.w;
  dp3 r10.w, r9, r8;
  add r10.w, r10.w, r10.w;
  mad r10.xyz, r9, r10.w, -r8;
  mov r10.w, c[const].y;
  dp4 oT3.x, texMat1[0], r10;
  dp4 oT3.y, texMat1[1], r10;
  dp4 oT3.z, texMat1[2], r10;
  dp4 oT3.w, texMat1[3], r10;
%endif // cubeMap

%ifdef Fog
  dp4 r11.x, mv[0], v0;
  dp4 r11.y, mv[1], v0;
  dp4 r11.z, mv[2], v0;
  dp3 r11.w, r11, r11;
  rsq r11.w, r11.w;
  rcp oFog.x, r11.w;
%endif // Fog
}
)";

// The pixel core: N = t1_bx2, L = v0_bx2, Hp = t2_bx2.
#define VANDRU_PIXEL_INPUTS \
  "  tex t0;\n"             \
  "  tex t1;\n"             \
  "  texcoord t2;\n"

// s = sat(N.Hp); d = sat(N.L); t = sat(4 (N.z - a)) with a in r1.a.
#define VANDRU_PIXEL_TERMS                       \
  "  dp3_sat r0.rgb, t1_bx2, t2_bx2;     // s\n" \
  "  dp3_sat r0.a, t1_bx2, v0_bx2;       // d\n" \
  "  add_x4_sat r1.rgb, t1_bx2.b, -r1.a; // t\n"

// c = sat(d LightDiff + LightAmb); p = sat(4 (s^4 - a)); q = t Cs.b + (1-t) p
#define VANDRU_PIXEL_LIGHT(base)                           \
  "  mad_sat r2.rgb, r0.a, c[^LightDiff], c[^LightAmb];\n" \
  "  mul_x2 r2.rgb, r2, " base                             \
  ";\n"                                                    \
  "  mul r0.rgb, r0, r0;\n"                                \
  "  mul r0.rgb, r0, r0;\n"                                \
  "  add_x4_sat r0.rgb, r0, -r1.a;   // p\n"               \
  "  lrp r0.rgb, r1, v1.b, r0;       // q\n"

#define VANDRU_PIXEL_HEADER(name, reg2, reg3)               \
  "# " name                                                 \
  "_Pxl\n"                                                  \
  "version 1.1\n"                                           \
  "header(" name                                            \
  ")\n"                                                     \
  "{\n"                                                     \
  "  reg  0  (LightDiff)  - 0.0, 0.0, 0.0, 1.0;\n"          \
  "  reg  1  (LightAmb)  - 0.0, 0.0, 0.0, 1.0;\n" reg2 reg3 \
  "}\n"                                                     \
  "API(common)\n"                                           \
  "{\n"                                                     \
  "  ps.1.1\n"

#define VANDRU_SPECULAR_REG(n) "  reg  " #n "  (Specular)  - 0.9, 0.9, 0.9, 0.75;\n"
#define VANDRU_LERP_ALPHA "  lrp r1.a, t1.a, c[^Specular].a, c[^LightAmb].a;\n"

const char kBumpMatParallel[] =
    VANDRU_PIXEL_HEADER("VandruBumpMat_ParallelLight", VANDRU_SPECULAR_REG(2), "")  //
    VANDRU_PIXEL_INPUTS                                                             //
    "  mov r1.a, c[^Specular].a;\n"                                                 //
    VANDRU_PIXEL_TERMS                                                              //
        VANDRU_PIXEL_LIGHT("t0")                                                    //
    "  mul r1.rgb, c[^Specular], t1.a;\n"
    "  mad r0.rgb, r0, r1, r2;\n"
    "  mul r0.a, t0.a, c[^LightDiff].a;\n"
    "}\n"
    "// Alternative without the self-shadow term:\n"
    "//  mad_sat r2.rgb, r0.a, c[^LightDiff], c[^LightAmb];\n"
    "//  mul_x2 r0.rgb, r2, t0;\n";

const char kBumpGlossMatParallel[] =
    VANDRU_PIXEL_HEADER("VandruBumpGlossMat_ParallelLight",
                        "  reg  2  (Lerp)  - 0.0, 0.0, 1.0, 1.0;\n", VANDRU_SPECULAR_REG(3))  //
    VANDRU_PIXEL_INPUTS                                                                       //
    "  tex t3;\n"                                                                             //
    VANDRU_LERP_ALPHA VANDRU_PIXEL_TERMS VANDRU_PIXEL_LIGHT("t0")                             //
    "  lrp r2.rgb, c[^Lerp], t3, r2;\n"
    "  mad r0.rgb, r0, c[^Specular], r2;\n"
    "  mov r0.a, c[^LightDiff].a;\n"
    "}\n";

const char kBumpGlossMatSpot[] =
    VANDRU_PIXEL_HEADER("VandruBumpGlossMat_SpotLight", "  reg  2  (Lerp)  - 0.0, 0.0, 1.0, 1.0;\n",
                        VANDRU_SPECULAR_REG(3))                                        //
    VANDRU_PIXEL_INPUTS VANDRU_LERP_ALPHA VANDRU_PIXEL_TERMS VANDRU_PIXEL_LIGHT("t0")  //
    "  mad r0.rgb, r0, c[^Specular], r2;\n"
    "  mov r0.a, c[^LightDiff].a;\n"
    "}\n";

const char kBumpRustMatParallel[] = VANDRU_PIXEL_HEADER(
    "VandruBumpRustMat_ParallelLight", "  reg  2  (RustColor)  - 0.0, 0.0, 1.0, 1.0;\n",
    VANDRU_SPECULAR_REG(3))                                        //
    VANDRU_PIXEL_INPUTS                                            //
    "  mul_sat r3.a, 1-t0.a, c[^RustColor].a;   // rust r\n"       //
    "  lrp r3.rgb, r3.a, c[^RustColor], t0;     // rusted base\n"  //
    VANDRU_LERP_ALPHA VANDRU_PIXEL_TERMS VANDRU_PIXEL_LIGHT("r3")  //
    "  mul r1.rgb, c[^Specular], 1-r3.a;\n"
    "  mad r0.rgb, r0, r1, r2;\n"
    "  mov r0.a, c[^LightDiff].a;\n"
    "}\n";

const char kBumpEnvMatParallel[] =
    VANDRU_PIXEL_HEADER("VandruBumpEnvMat_ParallelLight", VANDRU_SPECULAR_REG(2), "")  //
    VANDRU_PIXEL_INPUTS                                                                //
    "  tex(cube) t3;\n"                                                                //
    VANDRU_LERP_ALPHA VANDRU_PIXEL_TERMS VANDRU_PIXEL_LIGHT("t0")                      //
    "  lrp r2.rgb, t0.a, t3, r2;\n"
    "  mad r0.rgb, r0, c[^Specular], r2;\n"
    "  mov r0.a, c[^LightDiff].a;\n"
    "}\n"
    "// Alternative reflecting without the base alpha:\n"
    "//  add r2.rgb, r2, t3;\n";

const char kBumpEnvMatSpot[] =
    VANDRU_PIXEL_HEADER("VandruBumpEnvMat_SpotLight", VANDRU_SPECULAR_REG(2), "")      //
    VANDRU_PIXEL_INPUTS VANDRU_LERP_ALPHA VANDRU_PIXEL_TERMS VANDRU_PIXEL_LIGHT("t0")  //
    "  mad r0.rgb, r0, c[^Specular], r2;\n"
    "  mov r0.a, c[^LightDiff].a;\n"
    "}\n";

const char* const kPixelTexts[] = {kBumpMatParallel,     kBumpGlossMatParallel, kBumpGlossMatSpot,
                                   kBumpRustMatParallel, kBumpEnvMatParallel,   kBumpEnvMatSpot};
static_assert(std::size(kPixelTexts) == std::size(kPixelProgramNames));

}  // namespace

const char* GetBumpVertexProgramText() {
  return kBumpVertexText;
}

const char* GetPixelProgramText(const char* name) {
  if (name == nullptr) return nullptr;
  for (size_t i = 0; i < std::size(kPixelProgramNames); ++i) {
    if (std::strcmp(kPixelProgramNames[i], name) == 0) return kPixelTexts[i];
  }
  return nullptr;
}

}  // namespace Kiv
