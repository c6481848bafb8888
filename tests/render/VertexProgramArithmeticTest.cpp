// Runs the bump vertex programs on sample vertices with a small evaluator of
// the few instructions their text uses, and compares every output with the
// same quantity worked out directly (cross products, dot products, lengths).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "render/materials/ProgramTexts.h"

namespace {

using Vec4 = std::array<float, 4>;
using Rows = std::array<Vec4, 4>;

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(" \t;");
  return text.substr(first, last - first + 1);
}

std::vector<std::string> SplitList(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(Trim(part));
  return parts;
}

int ComponentIndex(char c) {
  switch (c) {
    case 'x':
      return 0;
    case 'y':
      return 1;
    case 'z':
      return 2;
    case 'w':
      return 3;
    default:
      return -1;
  }
}

// What one vertex program reads: the vertex, the matrices of the display
// state and the local constants that the materials fill.
struct VertexInputs {
  Vec4 position, normal, tangent, texCoord;
  Rows mvp, mv, texMat1;
  Vec4 lightPos, invLightRadius, lightDir, viewPos;
};

// Evaluates the body of the vertex program set for one program's features:
// "%ifdef" sections of features the program lacks are skipped; registers
// are four floats; sources take a sign and a swizzle (one letter
// replicates), destinations a write mask.
class VertexEvaluator {
 public:
  VertexEvaluator(const std::string& text, const std::string& program) {
    std::istringstream in(text);
    std::string line;
    bool inBody = false;
    std::vector<bool> active;
    while (std::getline(in, line)) {
      const std::string code = Trim(line.substr(0, line.find("//")));
      if (!inBody) {
        if (code.rfind("program " + program + " ", 0) == 0) {
          for (const std::string& feature : SplitList(code.substr(code.rfind(':') + 1), ','))
            features_.insert(feature);
        }
        inBody = code == "API(common)";
        continue;
      }
      if (code.rfind("%ifdef ", 0) == 0) {
        active.push_back(features_.count(Trim(code.substr(7))) != 0);
        continue;
      }
      if (code.rfind("%endif", 0) == 0) {
        if (!active.empty()) active.pop_back();
        continue;
      }
      bool on = true;
      for (bool level : active) on = on && level;
      if (on && !code.empty() && code != "{" && code != "}") lines_.push_back(code);
    }
  }

  bool HasFeature(const std::string& feature) const { return features_.count(feature) != 0; }

  // Runs the program; false (with `error_` set) on a line it cannot read.
  bool Run(const VertexInputs& in) {
    registers_.clear();
    registers_["v0"] = in.position;
    registers_["v2"] = in.normal;
    registers_["v4"] = in.tangent;
    registers_["v8"] = in.texCoord;
    const std::map<std::string, const Rows*> stateMatrices = {
        {"state.matrix.mvp", &in.mvp},
        {"state.matrix.modelview", &in.mv},
        {"state.matrix.texture[1]", &in.texMat1}};
    const std::map<int, Vec4> locals = {
        {5, in.lightPos}, {6, in.invLightRadius}, {7, in.lightDir}, {13, in.viewPos}};
    for (const std::string& code : lines_) {
      std::istringstream words(code);
      std::string op;
      words >> op;
      std::string rest;
      std::getline(words, rest);
      if (op == "param") {
        const std::string name = Trim(rest.substr(0, rest.find('[')));
        const auto found = stateMatrices.find(Trim(rest.substr(rest.find('=') + 1)));
        if (found == stateMatrices.end()) return Fail(code);
        for (int row = 0; row < 4; ++row)
          registers_[name + "[" + std::to_string(row) + "]"] = (*found->second)[row];
        continue;
      }
      if (op == "local") {
        std::istringstream parts(rest);
        int index = 0;
        std::string name;
        parts >> index >> name;
        const auto found = locals.find(index);
        registers_["c[" + Trim(name) + "]"] = found == locals.end() ? Vec4{} : found->second;
        continue;
      }
      if (op == "const") {
        const std::string name = Trim(rest.substr(0, rest.find('=')));
        const std::vector<std::string> values = SplitList(rest.substr(rest.find('=') + 1), ',');
        Vec4 value{};
        for (int i = 0; i < 4; ++i)
          value[i] = std::stof(values[values.size() == 1 ? 0 : static_cast<size_t>(i)]);
        registers_["c[" + name + "]"] = value;
        continue;
      }
      if (!Execute(op, SplitList(rest, ','))) return Fail(code);
    }
    return true;
  }

  Vec4 Output(const std::string& name) const {
    const auto found = registers_.find(name);
    return found == registers_.end() ? Vec4{} : found->second;
  }
  bool Wrote(const std::string& name) const { return registers_.count(name) != 0; }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& code) {
    error_ = code;
    return false;
  }

  bool Read(std::string operand, Vec4* value) const {
    bool negate = false;
    if (!operand.empty() && operand[0] == '-') {
      negate = true;
      operand = operand.substr(1);
    }
    std::string swizzle = "xyzw";
    const size_t dot = operand.rfind('.');
    if (dot != std::string::npos && operand.find(']', dot) == std::string::npos) {
      swizzle = operand.substr(dot + 1);
      operand = operand.substr(0, dot);
    }
    const auto found = registers_.find(operand);
    if (found == registers_.end() || swizzle.empty() || swizzle.size() > 4) return false;
    while (swizzle.size() < 4) swizzle += swizzle.back();
    for (int i = 0; i < 4; ++i) {
      const int from = ComponentIndex(swizzle[i]);
      if (from < 0) return false;
      (*value)[i] = negate ? -found->second[from] : found->second[from];
    }
    return true;
  }

  bool Execute(const std::string& op, const std::vector<std::string>& operands) {
    if (operands.size() < 2) return false;
    std::string target = operands[0];
    std::string mask = "xyzw";
    if (const size_t dot = target.find('.'); dot != std::string::npos) {
      mask = target.substr(dot + 1);
      target = target.substr(0, dot);
    }
    std::vector<Vec4> s(operands.size() - 1);
    for (size_t i = 1; i < operands.size(); ++i)
      if (!Read(operands[i], &s[i - 1])) return false;
    const auto arity = [&](size_t n) { return s.size() == n; };
    Vec4 result{};
    const auto each = [&](auto f) {
      for (int i = 0; i < 4; ++i) result[i] = f(i);
    };
    if (op == "mov" && arity(1)) {
      result = s[0];
    } else if (op == "add" && arity(2)) {
      each([&](int i) { return s[0][i] + s[1][i]; });
    } else if (op == "mul" && arity(2)) {
      each([&](int i) { return s[0][i] * s[1][i]; });
    } else if (op == "mad" && arity(3)) {
      each([&](int i) { return s[0][i] * s[1][i] + s[2][i]; });
    } else if (op == "max" && arity(2)) {
      each([&](int i) { return std::max(s[0][i], s[1][i]); });
    } else if (op == "sge" && arity(2)) {
      each([&](int i) { return s[0][i] >= s[1][i] ? 1.0f : 0.0f; });
    } else if ((op == "dp3" || op == "dp4") && arity(2)) {
      const int n = op == "dp3" ? 3 : 4;
      float sum = 0.0f;
      for (int i = 0; i < n; ++i) sum += s[0][i] * s[1][i];
      result.fill(sum);
    } else if (op == "rsq" && arity(1)) {
      result.fill(1.0f / std::sqrt(std::fabs(s[0][0])));
    } else if (op == "rcp" && arity(1)) {
      result.fill(1.0f / s[0][0]);
    } else {
      return false;
    }
    Vec4& written = registers_[target];
    for (char c : mask) {
      const int i = ComponentIndex(c);
      if (i < 0) return false;
      written[i] = result[i];
    }
    return true;
  }

  std::set<std::string> features_;
  std::vector<std::string> lines_;
  std::map<std::string, Vec4> registers_;
  std::string error_;
};

// --- The quantities the programs compute, worked out directly.
using Vec3 = std::array<float, 3>;

Vec3 Xyz(const Vec4& v) {
  return {v[0], v[1], v[2]};
}
float Dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 Sub(const Vec3& a, const Vec3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vec3 Scale(const Vec3& a, float k) {
  return {a[0] * k, a[1] * k, a[2] * k};
}
Vec3 Normalise(const Vec3& a) {
  return Scale(a, 1.0f / std::sqrt(Dot(a, a)));
}
Vec3 Biased(const Vec3& a) {
  return {a[0] * 0.5f + 0.5f, a[1] * 0.5f + 0.5f, a[2] * 0.5f + 0.5f};
}
Vec4 Times(const Rows& m, const Vec4& v) {
  Vec4 out{};
  for (int r = 0; r < 4; ++r)
    out[r] = m[r][0] * v[0] + m[r][1] * v[1] + m[r][2] * v[2] + m[r][3] * v[3];
  return out;
}
Vec3 Rotate(const Rows& m, const Vec3& v) {
  return {Dot(Xyz(m[0]), v), Dot(Xyz(m[1]), v), Dot(Xyz(m[2]), v)};
}
// Into the tangent space of T, B = T x N, N.
Vec3 ToTangent(const Vec3& v, const VertexInputs& in) {
  const Vec3 t = Xyz(in.tangent);
  const Vec3 n = Xyz(in.normal);
  return {Dot(v, t), Dot(v, Cross(t, n)), Dot(v, n)};
}

void ExpectNear(const Vec3& expected, const Vec4& found, const char* what) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(found[i], expected[i], 2e-4f) << what << " [" << i << "]";
}

// A vertex with a chosen tangent and normal (not at right angles, so that a
// wrong order of the cross product or a wrong sign shows) and a light.
VertexInputs SampleVertex(const Vec3& tangent, const Vec3& normal) {
  VertexInputs in{};
  in.position = {0.5f, -1.0f, 2.0f, 1.0f};
  in.normal = {normal[0], normal[1], normal[2], 0.0f};
  in.tangent = {tangent[0], tangent[1], tangent[2], 0.0f};
  in.texCoord = {0.25f, 0.75f, 0.0f, 1.0f};
  in.mvp = {Vec4{1.2f, 0.1f, 0.0f, 0.5f}, Vec4{0.0f, 0.9f, -0.2f, 1.0f},
            Vec4{0.3f, 0.0f, 1.1f, -2.0f}, Vec4{0.0f, 0.0f, 1.0f, 0.0f}};
  in.mv = {Vec4{0.8f, 0.0f, -0.6f, 0.2f}, Vec4{0.0f, 1.0f, 0.0f, -0.5f},
           Vec4{0.6f, 0.0f, 0.8f, -6.0f}, Vec4{0.0f, 0.0f, 0.0f, 1.0f}};
  in.texMat1 = {Vec4{0.0f, 1.0f, 0.0f, 0.1f}, Vec4{-1.0f, 0.0f, 0.0f, 0.2f},
                Vec4{0.0f, 0.0f, 2.0f, 0.0f}, Vec4{0.0f, 0.0f, 0.0f, 1.0f}};
  in.lightPos = {2.0f, 1.0f, 5.0f, 1.0f};
  const Vec3 dir = Normalise({-0.3f, -0.2f, -0.9f});
  in.lightDir = {dir[0], dir[1], dir[2], 0.0f};
  in.invLightRadius = {0.5f, 0.1f, 0.0f, 0.0f};
  in.viewPos = {-3.0f, 4.0f, 10.0f, 1.0f};
  return in;
}

// The outputs of the light sections: tangent-space light vector, half
// angle and specular term.
struct LightOutputs {
  Vec3 light;
  Vec3 halfAngle;
  float specular;
};

LightOutputs ExpectedLight(const VertexInputs& in, bool spot) {
  const Vec3 p = Xyz(in.position);
  const Vec3 dir = Xyz(in.lightDir);
  const Vec3 view = Normalise(Sub(Xyz(in.viewPos), p));
  const Vec3 h = Normalise(Sub(view, dir));
  float f = 1.0f;
  Vec3 toLight = Scale(dir, -1.0f);
  if (spot) {
    const Vec3 d = Sub(Xyz(in.lightPos), p);
    const Vec3 scaled = Scale(d, in.invLightRadius[1]);
    const float a = std::max(1.0f - Dot(scaled, scaled), in.invLightRadius[2]);
    toLight = Normalise(d);
    const float c = -Dot(toLight, dir);
    f = c * (c >= in.invLightRadius[0] ? 1.0f : 0.0f) * a;
  }
  const Vec3 lt = Scale(ToTangent(toLight, in), f);
  const Vec3 ht = Scale(ToTangent(h, in), f);
  return {lt, ht, std::pow(std::max(ht[2], 0.0f), 32.0f)};
}

struct TangentFrame {
  const char* label;
  Vec3 tangent;
  Vec3 normal;
};

const TangentFrame kFrames[] = {
    {"unit axes", {0, 1, 0}, {0, 0, 1}},
    {"skewed", {0.6f, 0.7f, -0.2f}, {-0.1f, 0.3f, 0.9f}},
    {"facing away", {1, 0, 0}, {0.2f, -0.9f, -0.3f}},
};

const char* const kPrograms[] = {
    "VandruBump_ParallelLight",  "VandruBump_SpotLight",        "VandruBumpGloss_ParallelLight",
    "VandruBumpGloss_SpotLight", "VandruBumpEnv_ParallelLight", "VandruBumpEnv_SpotLight",
};

TEST(VertexProgramArithmetic, EveryProgramComputesItsOutputs) {
  const std::string text = Kiv::GetBumpVertexProgramText();
  for (const char* program : kPrograms) {
    for (const TangentFrame& frame : kFrames) {
      SCOPED_TRACE(std::string(program) + ", " + frame.label);
      VertexEvaluator eval(text, program);
      const VertexInputs in = SampleVertex(frame.tangent, frame.normal);
      ASSERT_TRUE(eval.Run(in)) << eval.Error();

      const Vec4 clip = Times(in.mvp, in.position);
      for (int i = 0; i < 4; ++i) EXPECT_NEAR(eval.Output("oPos")[i], clip[i], 2e-4f);

      const bool spot = eval.HasFeature("SpotLight");
      ASSERT_NE(spot, eval.HasFeature("ParallelLight"));
      const LightOutputs light = ExpectedLight(in, spot);
      ExpectNear(Biased(light.light), eval.Output("oD0"), "primary colour");
      ExpectNear(Biased(light.halfAngle), eval.Output("oT2"), "half angle");
      EXPECT_NEAR(eval.Output("oD1")[0], light.specular, 2e-4f);

      // OneTex: both first coordinate sets carry the vertex's.
      EXPECT_EQ(eval.Output("oT0"), in.texCoord);
      EXPECT_EQ(eval.Output("oT1"), in.texCoord);

      const Vec4 eye = Times(in.mv, in.position);
      const Vec3 eyeNormal = Rotate(in.mv, Xyz(in.normal));
      if (eval.HasFeature("SphereMap")) {
        const Vec3 n = Biased({eyeNormal[0], -eyeNormal[1], eyeNormal[2]});
        ExpectNear({n[0] + in.texCoord[0] * 0.05f, n[1] + in.texCoord[1] * 0.05f, n[2]},
                   eval.Output("oT3"), "sphere map");
        EXPECT_EQ(eval.Output("oT3")[3], 1.0f);
      } else if (eval.HasFeature("cubeMap")) {
        const Vec3 v = Normalise(Scale(Xyz(eye), -1.0f));
        const Vec3 r = Sub(Scale(eyeNormal, 2.0f * Dot(eyeNormal, v)), v);
        const Vec4 expected = Times(in.texMat1, {r[0], r[1], r[2], 1.0f});
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(eval.Output("oT3")[i], expected[i], 2e-4f);
      } else {
        EXPECT_FALSE(eval.Wrote("oT3"));
      }
      EXPECT_NEAR(eval.Output("oFog")[0], std::sqrt(Dot(Xyz(eye), Xyz(eye))), 2e-4f);
    }
  }
}

// The binormal is T x N: for T = y and N = z it is x, so a light shining
// along -x lies along +B in tangent space (the spot light at attenuation
// 0.99 scales it). A vertex outside the spot's cone, or beyond its radius
// (attenuation clamped to 0), gets a zero light vector: 0.5 grey before
// the pixel stage expands it, and no specular term.
TEST(VertexProgramArithmetic, TangentSpaceLightFollowsTheBinormalAndTheSpotCone) {
  const struct {
    const char* label;
    const char* program;
    Vec4 lightPos;
    Vec3 primary;
  } cases[] = {
      {"parallel", "VandruBump_ParallelLight", {1, 0, 0, 1}, {0.5f, 1.0f, 0.5f}},
      {"spot in the cone", "VandruBump_SpotLight", {1, 0, 0, 1}, {0.5f, 0.995f, 0.5f}},
      {"spot behind the cone", "VandruBump_SpotLight", {-1, 0, 0, 1}, {0.5f, 0.5f, 0.5f}},
      {"spot beyond the radius", "VandruBump_SpotLight", {20, 0, 0, 1}, {0.5f, 0.5f, 0.5f}},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.label);
    VertexEvaluator eval(Kiv::GetBumpVertexProgramText(), row.program);
    VertexInputs in = SampleVertex({0, 1, 0}, {0, 0, 1});
    in.position = {0, 0, 0, 1};
    in.lightDir = {-1, 0, 0, 0};
    in.lightPos = row.lightPos;
    ASSERT_TRUE(eval.Run(in)) << eval.Error();
    ExpectNear(row.primary, eval.Output("oD0"), "primary colour");
    if (row.primary[1] == 0.5f) {
      EXPECT_EQ(eval.Output("oD1")[0], 0.0f);
    }
  }
}

}  // namespace
