// Writing a benchmark's installation with the daemon's own store
// (AssetStore, linked from vaddaemon_core): staged folders installed 1,000
// at a time, as "installfrompath" installs them, which is far quicker than
// as many installs through the tool.
#pragma once

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "vaddaemon/AssetStore.h"

namespace toolbench {

inline std::string KUIDOf(int n) {
  return "<kuid:0:" + std::to_string(n) + ">";
}

// Writes the user data of an installation holding `count` installed
// assets <kuid:0:1> .. <kuid:0:count>, each configuration padded with
// `padding` bytes of description; false on any failure.
inline bool FillUserData(const std::string& userData, int count, size_t padding = 0) {
  constexpr int kBatch = 1000;
  AssetStore::Options options;
  options.indexPath = userData + "/assets.tdx";
  options.userDataPath = userData;
  AssetStore store(options);
  if (!store.Open().Ok()) return false;
  const std::string description =
      padding == 0 ? std::string() : "description \"" + std::string(padding, 'x') + "\"\n";
  for (int first = 1; first <= count; first += kBatch) {
    std::vector<AssetStore::StagedInstall> installs;
    for (int n = first; n < first + kBatch && n <= count; ++n) {
      AssetStore::StagedInstall one;
      if (!store.MakeStagingFolder(&one.stagingPath).Ok()) return false;
      std::ofstream(one.stagingPath + "/config.txt")
          << "kuid " << KUIDOf(n) << "\nusername \"asset " << n << "\"\nkind \"scenery\"\n"
          << description;
      installs.push_back(std::move(one));
    }
    store.InstallStagedTogether(installs);
    for (const AssetStore::StagedInstall& one : installs) {
      if (!one.result.Ok()) return false;
    }
  }
  return true;
}

}  // namespace toolbench
