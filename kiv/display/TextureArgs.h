// Kiv::TexArg and Kiv::TextureArgs: how one texture stage combines its
// inputs, as the display's texture-stage states take them. Plain values;
// the numbers are the engine's enumerators and are passed through as they
// are: a stage (0..), a second value, the mode (0 colour combiner, 1 alpha
// combiner), the combining function and four arguments (a flag byte and
// two enumerators each; (0, 3, 3) is an argument the stage does not read).
#pragma once

#include <array>
#include <cstdint>

namespace Kiv {

struct TexArg {
  uint8_t flag = 0;
  uint32_t source = 3;
  uint32_t modifier = 3;

  bool operator==(const TexArg&) const = default;
};

struct TextureArgs {
  using ModeType = uint32_t;
  using DTexFuncType = uint32_t;

  constexpr TextureArgs(int stageIn, uint32_t secondIn, ModeType modeIn, DTexFuncType functionIn,
                        const TexArg& a1, const TexArg& a2, const TexArg& a3, const TexArg& a4)
      : stage(stageIn),
        second(secondIn),
        mode(modeIn),
        function(functionIn),
        args{a1, a2, a3, a4} {}

  int stage;
  uint32_t second;
  ModeType mode;
  DTexFuncType function;
  std::array<TexArg, 4> args;

  bool operator==(const TextureArgs&) const = default;
};

}  // namespace Kiv
