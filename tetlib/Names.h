// The interned names that the validation library compares and looks up,
// made once per process (the first Get) so that no check interns a
// constant text again. Thread-safe.
#pragma once

#include "kiv/PString.h"

namespace TETLib {

struct Names {
  static const Names& Get();

  // Definition keys.
  Kiv::PString inherit{"inherit"};
  Kiv::PString subpossibilities{"subpossibilities"};
  Kiv::PString tagarray{"tagarray"};
  Kiv::PString arrayElement{"array-element"};
  Kiv::PString elementType{"element-type"};
  Kiv::PString compulsory{"compulsory"};
  Kiv::PString kind{"kind"};
  Kiv::PString containerType0{"container-type0"};
  Kiv::PString icon{"icon"};
  Kiv::PString sequence{"sequence"};
  Kiv::PString numarray{"numarray"};
  Kiv::PString topLevel{"top-level"};
  Kiv::PString validation{"validation"};
  Kiv::PString obsoleteTag{"obsolete-tag"};
  Kiv::PString obsoleteVersion{"obsolete-version"};
  Kiv::PString savingname{"savingname"};
  Kiv::PString anyTag{"any-tag"};
  Kiv::PString type{"type"};
  Kiv::PString defaultValue{"default"};
  Kiv::PString disabled{"disabled"};
  Kiv::PString filter{"filter"};
  Kiv::PString source{"source"};
  Kiv::PString unique{"unique"};
  Kiv::PString datatype{"datatype"};
  Kiv::PString category{"category"};

  // Definition values.
  Kiv::PString element{"element"};
  Kiv::PString value{"value"};
  Kiv::PString smoke{"smoke"};
  Kiv::PString parent{"parent"};
  Kiv::PString stringTable{"string-table"};
  Kiv::PString attachment{"attachment"};
  Kiv::PString meshTable{"mesh-table"};
  Kiv::PString attachedTrack{"attached-track"};
  Kiv::PString queues{"queues"};
  Kiv::PString meshes{"meshes"};
  Kiv::PString image{"image"};
  Kiv::PString animation{"animation"};
  Kiv::PString extensions{"extensions"};

  // Type names.
  Kiv::PString typeFloat{"float"};
  Kiv::PString typeString{"string"};
  Kiv::PString typeInt{"int"};
  Kiv::PString typeBool{"bool"};
  Kiv::PString typeVector2{"vector2"};
  Kiv::PString typeVector3{"vector3"};
  Kiv::PString typeRgb{"rgb"};
  Kiv::PString typeVector4{"vector4"};
  Kiv::PString typeVector5{"vector5"};
  Kiv::PString typeFloatList{"floatlist"};
  Kiv::PString typeComboBox{"combobox"};
  Kiv::PString typeIntComboBox{"intcombobox"};
  Kiv::PString typeListBox{"listbox"};
  Kiv::PString typeDoubleString{"doublestring"};
  Kiv::PString typeKUID{"kuid"};
  Kiv::PString typeFilePath{"filepath"};
  Kiv::PString typeFilePathEdit{"filepathedit"};
  Kiv::PString typeStringKUID{"stringkuid"};
  Kiv::PString typeKUIDBrowser{"kuidbrowser"};
  Kiv::PString typeStringKUIDBrowser{"stringkuidbrowser"};

  // Tag and container names with a meaning of their own.
  Kiv::PString kuid{"kuid"};
  Kiv::PString username{"username"};
  Kiv::PString description{"description"};
  Kiv::PString file{"file"};
  Kiv::PString mesh{"mesh"};
  Kiv::PString meshElement{"mesh-element"};
  Kiv::PString effectCorona{"effect-corona"};
  Kiv::PString effectAttachment{"effect-attachment"};
  Kiv::PString attParent{"att-parent"};
  Kiv::PString vandruBuild{"vandru-build"};
  Kiv::PString alias{"alias"};
  Kiv::PString height{"height"};
  Kiv::PString chunkyMesh{"chunky_mesh"};
  Kiv::PString unitMesh{"unit_mesh"};
  Kiv::PString script{"script"};
  Kiv::PString meshAsset{"mesh-asset"};
  Kiv::PString sound{"sound"};
  Kiv::PString map{"map"};
  Kiv::PString traincar{"traincar"};
  Kiv::PString trackside{"trackside"};
  Kiv::PString collateMeshes{"collate-meshes"};
  Kiv::PString lights{"lights"};
  Kiv::PString shadow{"shadow"};
  Kiv::PString autoCreate{"auto-create"};
  Kiv::PString initialCount{"initial-count"};
  Kiv::PString obsoleteTable{"obsolete-table"};
  Kiv::PString texture{"texture"};
  Kiv::PString assetFilename{"asset-filename"};
  Kiv::PString cacheContainer{".cache"};
  Kiv::PString min{"min"};
  Kiv::PString max{"max"};
  Kiv::PString size{"size"};
  Kiv::PString zero{"0"};
  Kiv::PString one{"1"};
  Kiv::PString author{"author"};
  Kiv::PString license{"license"};
  Kiv::PString organisation{"organisation"};
  Kiv::PString contactEmail{"contact-email"};
  Kiv::PString contactWebsite{"contact-website"};
  Kiv::PString website{"website"};
};

}  // namespace TETLib
