// The options of an archive entry's install, shared by the readers of
// archives (which choose them) and the client's install (which acts on
// them; assetdb/client/InstallAssetWithPrompts.h says what each does).
#pragma once

#include <cstdint>

inline constexpr uint32_t kInstallBinaryConfig = 0x2;
inline constexpr uint32_t kInstallChecksumMatched = 0x4;
inline constexpr uint32_t kInstallCommitFlag8 = 0x8;
