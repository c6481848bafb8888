// The mesh-table builders and tag clean-ups of the old-configuration
// upgrade (see tetlib/Upgrade.h).
#include <algorithm>
#include <string>
#include <string_view>

#include "foundation/soup/SoupKUIDReferences.h"
#include "tetlib/DataManager.h"
#include "tetlib/MeshData.h"
#include "tetlib/Upgrade.h"
#include "tetlib/UpgradeTags.h"

namespace TETLib {
namespace {

using Kiv::PString;
using UpgradeTags::P;
using UpgradeTags::Text;

// A new container holding `mesh` and "auto-create".
Soup MeshEntry(std::string_view mesh, int32_t autoCreate) {
  Soup entry;
  entry.Create();
  entry.SetNamedTag(P("mesh"), mesh);
  entry.SetNamedInt(P("auto-create"), autoCreate);
  return entry;
}

void SetChild(Soup& soup, std::string_view name, Soup& child) {
  soup.RemoveNamedTag(P(name));
  soup.SetNamedSoup(P(name), child);
}

// "folder/file": old layouts keep each mesh in a folder of its own name.
std::string InFolder(const std::string& folder, const std::string& file) {
  return folder + "/" + file;
}

// The names of the points of the mesh at `path`; empty when it does not
// load.
bool MeshPoints(const std::string& path, std::vector<PString>* points) {
  MeshData mesh;
  if (!mesh.Load(P(path), nullptr, 0)) return false;
  for (const AttachmentPoint& point : mesh.GetAttachmentPoints()) points->push_back(point.name);
  return true;
}

bool HasPoint(const std::vector<PString>& points, const std::string& name) {
  return std::any_of(points.begin(), points.end(),
                     [&name](const PString& point) { return point.View() == name; });
}

// Entry "vertices" {"0" a, "1" b}, "track" kuid, "useadjoiningtracktype".
Soup TrackEntry(const std::string& a, const std::string& b, const KUID& track, int32_t adjoining) {
  Soup vertices;
  vertices.Create();
  vertices.SetNamedTag(P("0"), a);
  vertices.SetNamedTag(P("1"), b);
  Soup entry;
  entry.Create();
  entry.SetNamedSoup(P("vertices"), vertices);
  SetKUIDTableEntry(entry, P("track"), track);
  entry.SetNamedInt(P("useadjoiningtracktype"), adjoining);
  return entry;
}

// Adds entries "<entry>N" for each N whose points "<prefix>Na" and
// "<prefix>Nb" both exist, up to the first N that lacks one.
void AddTrackEntries(Soup& tracks, const std::vector<PString>& points, const std::string& prefix,
                     const std::string& entryName, const KUID& track, int32_t adjoining) {
  for (int n = 0;; ++n) {
    const std::string a = prefix + std::to_string(n) + "a";
    const std::string b = prefix + std::to_string(n) + "b";
    if (!HasPoint(points, a) || !HasPoint(points, b)) return;
    Soup entry = TrackEntry(a, b, track, adjoining);
    SetChild(tracks, entryName + std::to_string(n), entry);
  }
}

// Adds a bogey entry for `name` when it holds a non-null KUID, and removes
// the tag; true when an entry was made.
bool AddBogey(Soup& soup, Soup& bogeys, const std::string& name, int32_t reversed) {
  const KUID kuid = GetNamedKUIDAsWritten(soup, P(name));
  if (kuid.IsNull()) return false;
  Soup entry;
  entry.Create();
  SetKUIDTableEntry(entry, P("bogey"), kuid);
  entry.SetNamedInt(P("reversed"), reversed);
  SetChild(bogeys, std::to_string(bogeys.CountTags()), entry);
  soup.RemoveNamedTag(P(name));
  return true;
}

bool ListsName(const Soup& definition, const PString& name) {
  return definition.GetNamedSoup(Kiv::PString("subpossibilities")).HasNamedTag(name);
}

}  // namespace

void BuildBogeyMeshTable(Soup& soup, const PString& base) {
  const std::string b = base.Str();
  Soup table;
  table.Create();
  Soup main = MeshEntry(b + ".pm", 1);
  SetChild(table, "default", main);
  Soup shadow = MeshEntry(b + "_shadow/" + b + "_shadow.pm", 0);
  SetChild(table, "shadow", shadow);
  SetChild(soup, "mesh-table", table);
}

void BuildTraincarMeshTable(Soup& soup, const PString& base) {
  const std::string b = base.Str();
  Soup table;
  table.Create();
  Soup body = MeshEntry(InFolder(b + "_body", b + "_body.pm"), 1);
  SetChild(table, "default", body);
  Soup shadow = MeshEntry(InFolder(b + "_shadow", b + "_shadow.pm"), 0);
  SetChild(table, "shadow", shadow);
  SetChild(soup, "mesh-table", table);
}

void BuildSceneryMeshTable(Soup& soup, const PString& base) {
  const std::string b = base.Str();
  Soup main;
  main.Create();
  main.SetNamedInt(P("auto-create"), 1);
  main.SetNamedTag(P("mesh"), b + ".im");
  if (soup.GetNamedTagAsInt(P("auto-animation"), 0) != 0) {
    main.SetNamedTag(P("anim"), "anim.kin");
    main.SetNamedFloat(P("animation-loop-speed"), 1.0f);
  }
  soup.RemoveNamedTag(P("auto-animation"));
  std::vector<PString> names;
  CollectAttachmentNames(P(b + ".im"), names);
  const std::string fontColor = Text(soup, "fontcolor");
  const std::string fontSize = Text(soup, "fontsize");
  if (!names.empty()) {
    Soup effects;
    effects.Create();
    for (size_t n = 0; n < names.size(); ++n) {
      Soup effect;
      effect.Create();
      effect.SetNamedTag(P("kind"), "name");
      effect.SetNamedTag(P("att"), "a.name" + std::to_string(n));
      if (!fontColor.empty()) effect.SetNamedTag(P("fontcolor"), fontColor);
      if (!fontSize.empty()) effect.SetNamedTag(P("fontsize"), fontSize);
      effect.SetNamedTag(P("name"), "name");
      SetChild(effects, std::to_string(n), effect);
    }
    SetChild(main, "effects", effects);
  }
  Soup table;
  table.Create();
  SetChild(table, "default", main);
  if (soup.HasNamedTag(P("night"))) {
    const std::string night = Text(soup, "night");
    soup.RemoveNamedTag(P("night"));
    Soup entry;
    entry.Create();
    entry.SetNamedTag(P("mesh"), night + "/" + night + ".im");
    entry.SetNamedTag(P("night-mesh-base"), "default");
    SetChild(table, "night", entry);
  }
  SetChild(soup, "mesh-table", table);
}

void BuildInteriorMeshTable(Soup& soup) {
  Soup table;
  table.Create();
  const Soup attachments = soup.GetNamedSoup(P("attachment"));
  if (!attachments.Empty() && soup.GetNamedTagType(P("attachment")) == 1) {
    for (uint32_t i = 0; i < attachments.CountTags(); ++i) {
      Soup entry = attachments.GetIndexedSoup(i);
      if (entry.HasNamedTag(P("att")) && !entry.HasNamedTag(P("att-parent")))
        entry.SetNamedTag(P("att-parent"), "default");
      SetChild(table, attachments.GetIndexedTagName(i).View(), entry);
    }
    soup.RemoveNamedTag(P("attachment"));
  }
  if (soup.HasNamedTag(P("mesh"))) {
    Soup main = MeshEntry(Text(soup, "mesh"), 1);
    SetChild(table, "default", main);
    soup.RemoveNamedTag(P("mesh"));
  }
  SetChild(soup, "mesh-table", table);
}

void BuildJunctionMeshTable(Soup& soup) {
  const std::string modes[2] = {Text(soup, "mode0"), Text(soup, "mode1")};
  Soup table;
  table.Create();
  SetChild(soup, "mesh-table", table);
  for (int i = 0; i < 2; ++i) {
    const std::string& mode = modes[i];
    if (mode.empty()) continue;
    Soup entry;
    entry.Create();
    entry.SetNamedTag(P("mesh"), mode + "/" + mode + ".im");
    entry.SetNamedTag(P("auto-create"), "1");
    SetChild(table, Kiv::AsciiLower(mode), entry);
    soup.RemoveNamedTag(P(i == 0 ? "mode0" : "mode1"));
  }
}

void BuildCrossingMeshTable(Soup& soup) {
  std::vector<PString> points;
  bool loaded = false;
  if (!soup.HasNamedTag(P("mesh-table"))) {
    std::string mode = Text(soup, "mode0");
    if (mode.empty()) mode = "mode0";
    const std::string mesh = InFolder(mode, mode + ".im");
    Soup main = MeshEntry(mesh, 1);
    main.SetNamedTag(P("anim"), "anim.kin");
    Soup table;
    table.Create();
    SetChild(table, "default", main);
    SetChild(soup, "mesh-table", table);
    loaded = MeshPoints(mesh, &points);
    soup.RemoveNamedTag(P("mode0"));
    soup.RemoveNamedTag(P("mode1"));
  }
  if (soup.HasNamedTag(P("attached-track")) || !loaded) return;
  Soup tracks;
  tracks.Create();
  for (const char* type : {"road", "track"}) {
    const KUID kuid = GetNamedKUIDAsWritten(soup, P(type));
    AddTrackEntries(tracks, points, std::string("a.") + type, type, kuid, 1);
  }
  SetChild(soup, "attached-track", tracks);
}

void BuildTurntableMeshTable(Soup& soup) {
  std::vector<PString> outer;
  std::vector<PString> inner;
  bool loaded = false;
  if (!soup.HasNamedTag(P("mesh-table"))) {
    const std::string mode0 = Text(soup, "mode0");
    const std::string mode1 = Text(soup, "mode1");
    const std::string mesh0 = InFolder(mode0, mode0 + ".im");
    const std::string mesh1 = InFolder(mode1, mode1 + ".im");
    Soup table;
    table.Create();
    Soup main = MeshEntry(mesh0, 1);
    SetChild(table, "default", main);
    Soup turning;
    turning.Create();
    turning.SetNamedTag(P("mesh"), mesh1);
    SetChild(table, "turntable", turning);
    SetChild(soup, "mesh-table", table);
    const bool outerLoaded = MeshPoints(mesh0, &outer);
    loaded = MeshPoints(mesh1, &inner) && outerLoaded;
    soup.RemoveNamedTag(P("mode0"));
    soup.RemoveNamedTag(P("mode1"));
  }
  if (soup.HasNamedTag(P("attached-track")) || !loaded) return;
  const KUID kuid = GetNamedKUIDAsWritten(soup, P("track"));
  Soup tracks;
  tracks.Create();
  AddTrackEntries(tracks, outer, "a.otrack", "tracko", kuid, 0);
  AddTrackEntries(tracks, inner, "a.itrack", "tracki", kuid, 0);
  SetChild(soup, "attached-track", tracks);
  soup.RemoveNamedTag(P("track"));
}

void BuildTraincarBogeys(Soup& soup) {
  Soup bogeys;
  bogeys.Create();
  const bool first = AddBogey(soup, bogeys, "bogey", 0);
  const bool firstReversed = AddBogey(soup, bogeys, "bogey-r", 1);
  for (int n = (first || firstReversed) ? 1 : 0;; ++n) {
    const std::string name = "bogey-" + std::to_string(n);
    const bool plain = AddBogey(soup, bogeys, name, 0);
    const bool reversed = AddBogey(soup, bogeys, name + "-r", 1);
    if (!plain && !reversed) break;
  }
  SetChild(soup, "bogeys", bogeys);
}

void CollectAttachmentNames(const PString& path, std::vector<PString>& names) {
  std::vector<PString> points;
  if (!MeshPoints(path.Str(), &points)) return;
  for (int n = 0;; ++n) {
    const std::string name = "a.name" + std::to_string(n);
    if (!HasPoint(points, name)) return;
    names.push_back(P(name));
  }
}

bool IsTopLevelTagName(const PString& name) {
  const Soup& definitions = DataManager::Instance()->GetDefinitions();
  const PString topLevel("top-level");
  const PString inherit("inherit");
  for (uint32_t i = 0; i < definitions.CountTags(); ++i) {
    const Soup entry = definitions.GetIndexedSoup(i);
    if (entry.GetNamedTagAsInt(topLevel, 0) == 0) continue;
    if (ListsName(entry, name)) return true;
    const Soup ancestors = entry.GetNamedSoup(inherit);
    for (uint32_t a = 0; a < ancestors.CountTags(); ++a) {
      if (ListsName(definitions.GetNamedSoup(ancestors.GetIndexedTagName(a)), name)) return true;
    }
  }
  return false;
}

void RemoveStrayTagsAfterDescription(Soup& soup) {
  const PString description("description");
  uint32_t start = soup.CountTags();
  for (uint32_t i = 0; i < soup.CountTags(); ++i) {
    if (soup.GetIndexedTagName(i) == description) {
      start = i + 1;
      break;
    }
  }
  for (uint32_t i = soup.CountTags(); i-- > start;) {
    const PString name = soup.GetIndexedTagName(i);
    if (soup.GetNamedTagType(name) == 1 || IsTopLevelTagName(name)) continue;
    soup.RemoveNamedTag(name);
  }
}

void RemoveUndefinedAssetTags(Soup& soup) {
  soup.RemoveNamedTag(P("asset"));
  for (uint32_t i = soup.CountTags(); i-- > 0;) {
    const PString name = soup.GetIndexedTagName(i);
    if (name.View().substr(0, 6) != "asset-" || IsTopLevelTagName(name)) continue;
    soup.RemoveNamedTag(name);
  }
}

}  // namespace TETLib
