// The typed tag handlers: Container::Handle...Tag(tag, target), one per
// type code (see tetlib/TagTypes.cpp for the codes).
//
// Each runs the tag's validators, makes its type's own checks and writes
// the value, converted to its typed form, into `target` under the tag's
// name, also when a check fails:
//   float        a float (as atof reads the value; 0 for none)
//   string       the text; an empty value is an error, except in a
//                container named "sound" of an asset below build 3.1
//   int          an integer (as strtol reads it, base 10)
//   bool         the integer 1 for the value "1", else 0
//   vector2..5   a float array; the value must hold 2, 3, 4 or 5 numbers
//   floatlist    a float array of any length
//   combobox,    the text; an empty value is an error; a value that must
//   listbox        name something of the asset (a registry source) is
//                  looked up, see CheckPossibility
//   intcombobox  an integer; an empty value is an error
//   doublestring the text under the lower-cased name; an empty name is an
//                error and an empty value a warning
//   kuid, kuidbrowser, stringkuid, stringkuidbrowser
//                a KUID (the null KUID for none); the string forms need a
//                name, stringkuid is written under the lower-cased name,
//                the browser forms warn about a null KUID. A KUID that a
//                KUID tag cannot keep (KUIDReadsBack fails: a user id
//                beyond -16777216..16777215) is written as the text it was
//                written in, never as the other asset's KUID the tag would
//                wrap it into
//   filepath,    the path with "\" separators and without a last ".txt";
//   filepathedit   an empty value is an error; a "meshes", "image" or
//                  "animation" datatype asks for its extensions
//   other        the text, unchecked
// Comboboxes and listboxes whose choices come from a list file were
// emptied by the type assignment when the list does not offer their value,
// so they are reported here as empty.
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "tetlib/Container.h"
#include "tetlib/DataManager.h"
#include "tetlib/MeshData.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/MessageText.h"
#include "tetlib/Names.h"
#include "tetlib/NumberText.h"
#include "tetlib/Tag.h"
#include "tetlib/Validators.h"

namespace TETLib {
namespace {

using Handler = bool (Container::*)(Tag&, Soup&);

const Kiv::PString& OwnerName(const Tag& tag) {
  static const Kiv::PString* none = new Kiv::PString();
  return tag.owner == nullptr ? *none : tag.owner->GetName();
}

// An error or warning about the tag, with its name and its owner's name.
void TagError(const Tag& tag, const char* key) {
  Findings().ReportError(TetMessage(key, {tag.name, OwnerName(tag)}), tag);
}

void TagWarning(const Tag& tag, const char* key) {
  Findings().ReportWarning(TetMessage(key, {tag.name, OwnerName(tag)}), tag);
}

void WriteFloats(const Tag& tag, Soup& target) {
  const std::vector<float> values = ParseFloatList(tag.value.View());
  target.SetNamedFloatArray(tag.name, values);
}

// The names of the container and its ancestors, outermost first, joined by
// "\".
std::string ContainerPath(const Container* container) {
  std::string path;
  for (; container != nullptr; container = container->GetParent()) {
    path.insert(0, path.empty() ? container->GetName().Str() : container->GetName().Str() + "\\");
  }
  return path;
}

// True when the mesh loaded for `meshOwner` has an attachment point named
// `point`; `meshFile` is set to the mesh's file name (its "mesh" tag).
bool MeshOffers(const Container* meshOwner, const Kiv::PString& point, Kiv::PString* meshFile) {
  const Tag* mesh = meshOwner == nullptr ? nullptr : meshOwner->FindTag(Names::Get().mesh);
  *meshFile = mesh == nullptr ? Kiv::PString() : mesh->value;
  const MeshData* loaded = DataManager::Instance()->FindMesh(meshOwner);
  return loaded != nullptr && loaded->HasAttachmentPoint(point.View());
}

bool IsAnyExt(const Kiv::File::Path& path, std::initializer_list<std::string_view> extensions) {
  for (std::string_view ext : extensions) {
    if (path.IsExt(ext)) return true;
  }
  return false;
}

}  // namespace

bool Container::HandleTag(Tag& tag, Soup& target) {
  static constexpr Handler kHandlers[] = {
      &Container::HandleFloatTag,
      &Container::HandleStringTag,
      nullptr,
      &Container::HandleIntTag,
      &Container::HandleBoolTag,
      &Container::HandleVector2Tag,
      &Container::HandleVector3Tag,
      &Container::HandleVector4Tag,
      &Container::HandleVector5Tag,
      &Container::HandleFloatListTag,
      &Container::HandleComboBoxTag,
      &Container::HandleIntComboBoxTag,
      &Container::HandleListBoxTag,
      &Container::HandleDoubleStringTag,
      &Container::HandleKUIDTag,
      &Container::HandleFilePathTag,
      &Container::HandleFilePathEditTag,
      &Container::HandleStringKUIDTag,
      &Container::HandleKUIDBrowserTag,
      &Container::HandleStringKUIDBrowserTag,
      &Container::HandleOtherTag,
  };
  if (tag.typeCode < 0 || tag.typeCode >= int32_t(std::size(kHandlers))) return true;
  const Handler handler = kHandlers[tag.typeCode];
  if (handler == nullptr) return true;
  return (this->*handler)(tag, target);
}

bool Container::HandleFloatTag(Tag& tag, Soup& target) {
  const bool result = tag.RunValidators();
  target.SetNamedFloat(tag.name, TextToFloat(tag.value.View()));
  return result;
}

bool Container::HandleStringTag(Tag& tag, Soup& target) {
  bool result = true;
  if (!tag.value.Empty()) {
    result = tag.RunValidators();
  } else if (OwnerName(tag) != Names::Get().sound ||
             DataManager::Instance()->GetAssetBuild() * 100.0f >= 310.0f) {
    TagError(tag, "$tet_container_emptystringerr");
    result = false;
  }
  target.SetNamedTag(tag.name, tag.value);
  return result;
}

bool Container::HandleIntTag(Tag& tag, Soup& target) {
  const bool result = tag.RunValidators();
  target.SetNamedInt(tag.name, TextToInt(tag.value.View()));
  return result;
}

bool Container::HandleBoolTag(Tag& tag, Soup& target) {
  const bool result = tag.RunValidators();
  target.SetNamedInt(tag.name, tag.value == Names::Get().one ? 1 : 0);
  return result;
}

bool Container::HandleVectorTag(Tag& tag, Soup& target, int32_t expected) {
  bool result = tag.RunValidators();
  if (!TetCheckArraySize(&tag, expected)) result = false;
  WriteFloats(tag, target);
  return result;
}

bool Container::HandleVector2Tag(Tag& tag, Soup& target) {
  return HandleVectorTag(tag, target, 2);
}
bool Container::HandleVector3Tag(Tag& tag, Soup& target) {
  return HandleVectorTag(tag, target, 3);
}
bool Container::HandleVector4Tag(Tag& tag, Soup& target) {
  return HandleVectorTag(tag, target, 4);
}
bool Container::HandleVector5Tag(Tag& tag, Soup& target) {
  return HandleVectorTag(tag, target, 5);
}

bool Container::HandleFloatListTag(Tag& tag, Soup& target) {
  const bool result = tag.RunValidators();
  WriteFloats(tag, target);
  return result;
}

bool Container::HandleComboBoxTag(Tag& tag, Soup& target) {
  return HandlePossibilityTag(tag, target, true);
}

bool Container::HandleListBoxTag(Tag& tag, Soup& target) {
  return HandlePossibilityTag(tag, target, false);
}

bool Container::HandleIntComboBoxTag(Tag& tag, Soup& target) {
  bool result = true;
  if (tag.value.Empty()) {
    TagError(tag, "$tet_container_emptycombobox");
    result = false;
  }
  if (!tag.RunValidators()) result = false;
  target.SetNamedInt(tag.name, TextToInt(tag.value.View()));
  return result;
}

bool Container::HandlePossibilityTag(Tag& tag, Soup& target, bool comboBox) {
  bool result = true;
  if (tag.value.Empty()) {
    TagError(tag, comboBox ? "$tet_container_emptycombobox" : "$tet_container_emptylistbox");
    result = false;
  } else if (tag.possibility && !CheckPossibility(tag, comboBox)) {
    result = false;
  }
  if (!tag.RunValidators()) result = false;
  target.SetNamedTag(tag.name, tag.value);
  return result;
}

// A value that must name something of the asset: a container registered
// under the tag's source (a mesh table entry, an attached track, a queue)
// or an attachment point of any mesh loaded for the asset, else, for an
// attachment in a mesh table entry or (comboboxes) an effect, a point of
// the mesh it belongs to. What names nothing is an error, kept
// quiet once a mesh failed to load or for an alias or mesh-asset
// configuration.
bool Container::CheckPossibility(Tag& tag, bool comboBox) {
  const Names& names = Names::Get();
  DataManager& manager = *DataManager::Instance();
  if (manager.IsNameRegistered(tag.value, tag.source)) return true;
  const Container* owner = tag.owner;
  bool result = true;
  if (tag.source == names.attachment && owner != nullptr) {
    const Kiv::PString& type = owner->GetType();
    Kiv::PString meshFile;
    if (type == names.meshElement) {
      const Tag* attParent = owner->FindTag(names.attParent);
      if (attParent == nullptr) {
        Findings().ReportError(TetMessage("$tet_container_noattparent", {owner->GetName()}), tag);
        return false;
      }
      const Container* mesh =
          owner->GetParent() == nullptr ? nullptr : owner->GetParent()->FindChild(attParent->value);
      if (MeshOffers(mesh, tag.value, &meshFile)) return true;
      Findings().ReportError(TetMessage("$tet_container_notavalidpossibility",
                                        {tag.value, owner->GetName(), meshFile}),
                             tag);
      return false;
    }
    if (comboBox && (type == names.effectCorona || type == names.effectAttachment)) {
      const Container* mesh =
          owner->GetParent() == nullptr ? nullptr : owner->GetParent()->GetParent();
      if (MeshOffers(mesh, tag.value, &meshFile)) return true;
      Findings().ReportError(TetMessage("$tet_container_notavalidpossibility",
                                        {tag.value, owner->GetName(), meshFile}),
                             tag);
      result = false;
    }
  }
  if (manager.GetMeshFailureReported() || manager.GetReportSuppression()) return result;
  const std::string path = ContainerPath(owner);
  Findings().ReportError(
      TetMessage("$tet_container_notavalidpossibility2", {tag.name, tag.value, path}), tag);
  return false;
}

bool Container::HandleDoubleStringTag(Tag& tag, Soup& target) {
  bool result = true;
  if (tag.name.Empty()) {
    TagError(tag, "$tet_container_emptyname");
    result = false;
  }
  if (tag.value.Empty()) {
    TagWarning(tag, "$tet_container_emptystringwarn");
    result = false;
  }
  if (!tag.RunValidators()) result = false;
  tag.name.ToLower();
  target.SetNamedTag(tag.name, tag.value);
  return result;
}

bool Container::HandleKUIDFamily(Tag& tag, Soup& target, bool checkName, bool lowerName,
                                 bool checkNull) {
  bool result = true;
  if (checkName && tag.name.Empty()) {
    TagError(tag, "$tet_container_emptyname");
    result = false;
  }
  if (!tag.RunValidators()) result = false;
  if (checkNull && !CheckNullKUID(tag)) result = false;
  if (lowerName) tag.name.ToLower();
  const KUID kuid = ParseKUID(tag.value.c_str(), false);
  // A KUID tag would keep such a KUID as another asset's.
  if (!KUIDReadsBack(kuid)) {
    target.SetNamedTag(tag.name, tag.value);
    return result;
  }
  target.SetNamedKUID(tag.name, kuid);
  return result;
}

bool Container::HandleKUIDTag(Tag& tag, Soup& target) {
  return HandleKUIDFamily(tag, target, false, false, false);
}

bool Container::HandleStringKUIDTag(Tag& tag, Soup& target) {
  return HandleKUIDFamily(tag, target, true, true, false);
}

bool Container::HandleKUIDBrowserTag(Tag& tag, Soup& target) {
  return HandleKUIDFamily(tag, target, false, false, true);
}

bool Container::HandleStringKUIDBrowserTag(Tag& tag, Soup& target) {
  return HandleKUIDFamily(tag, target, true, false, true);
}

bool Container::HandleFilePathTag(Tag& tag, Soup& target) {
  return HandleFilePath(tag, target, false);
}

bool Container::HandleFilePathEditTag(Tag& tag, Soup& target) {
  return HandleFilePath(tag, target, true);
}

// An empty path is reported and written as it is; nothing else is checked.
bool Container::HandleFilePath(Tag& tag, Soup& target, bool edit) {
  if (tag.value.Empty()) {
    TagError(tag, "$tet_container_emptystringwarn");
    target.SetNamedTag(tag.name, tag.value);
    return false;
  }
  std::string text = tag.value.Str();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  const Kiv::File::Path path(text);
  const Names& names = Names::Get();
  bool result = true;
  if (tag.datatype == names.meshes) {
    if (!IsAnyExt(path, {"im", "lm", "pm", "srt"}) && !path.IsExt(edit ? "txt" : "lm.txt")) {
      TagError(tag, "$tet_container_nomeshext");
      result = false;
    }
  } else if (tag.datatype == names.image) {
    if (!IsAnyExt(path, {"bmp", "tga", "jpg", "texture", "txt"})) {
      TagError(tag, "$tet_container_nopictureext");
      result = false;
    }
  } else if (tag.datatype == names.animation) {
    if (!path.IsExt("kin")) {
      TagError(tag, "$tet_container_noanimationext");
      result = false;
    }
  }
  if (!tag.RunValidators()) result = false;
  if (path.IsExt("txt")) text.resize(text.size() - 4);
  target.SetNamedTag(tag.name, text);
  return result;
}

bool Container::HandleOtherTag(Tag& tag, Soup& target) {
  target.SetNamedTag(tag.name, tag.value);
  return true;
}

}  // namespace TETLib
