# The layers of the tree, lowest first. A source file in one layer may
# include headers of its own layer and of the layers listed before it, never
# of one listed after it; the ctest "Layering.LowerLayersIncludeNoHigherOne"
# runs cmake/CheckLayering.cmake to enforce it. The link order of the
# libraries follows the same list, so a cycle cannot form. Folders below a
# listed folder belong to it unless listed themselves (the longest listed
# prefix wins). tests/, bench/ and fuzz/ may include anything.
set(VU_LAYERS
  kiv
  foundation/base
  foundation/stream
  foundation/text
  foundation/containers
  foundation/lzss
  foundation/threads
  foundation/diag
  foundation/layout
  foundation/soup
  foundation/spec
  foundation/vni
  gscompiler/bytecode
  gscompiler
  gsruntime
  assetdb/protocol
  assetdb/archive
  vaddaemon
  assetdb/client
  render
  gsnative
  tetlib
  cli
)
