// The kinds, tags and codes that the tool writes into configurations or
// reads from them (tetlib/ContentNames.txt) are all defined by the
// project's own definitions, and the list and the definitions agree with
// the category-class code table.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "assetdb/protocol/CategoryClassCodeTable.h"
#include "tests/tetlib/TetTestSupport.h"
#include "tetlib/Names.h"

namespace {

using TETLib::Container;

// One line of the list: its first field split into words, and its number.
struct NameLine {
  std::vector<std::string> words;
  int number = 0;
  std::string Text() const {
    std::string text = "line " + std::to_string(number) + ":";
    for (const std::string& word : words) text += " " + word;
    return text;
  }
};

std::vector<NameLine> ReadNames() {
  std::ifstream in(std::string(VU_SOURCE_DIR) + "/tetlib/ContentNames.txt");
  std::vector<NameLine> lines;
  int number = 0;
  for (std::string text; std::getline(in, text);) {
    ++number;
    if (text.empty() || text[0] == '#') continue;
    NameLine line;
    line.number = number;
    std::istringstream words(text.substr(0, text.find(" | ")));
    for (std::string word; words >> word;) line.words.push_back(word);
    lines.push_back(line);
  }
  return lines;
}

class ContentNamesTest : public TetTest {
 protected:
  void SetUp() override {
    TetTest::SetUp();
    UseOwnDefinitions();
  }

  // A container checked against `definition`, as the walk sees it.
  struct Checked {
    Soup definition;
    std::vector<Soup> inherited;
  };

  static Checked WithAncestors(const Soup& definition) {
    Checked checked{definition, {}};
    const Soup inherit = definition.GetNamedSoup(Kiv::PString("inherit"));
    for (uint32_t i = 0; i < inherit.CountTags(); ++i)
      checked.inherited.push_back(Container::GetDefinition(inherit.GetIndexedTagName(i)));
    return checked;
  }

  // The entry of sub-container `name`, looked up as the walk does.
  static Soup SubContainer(const Checked& in, const std::string& name) {
    const Kiv::PString key(name);
    Soup entry = Container::LookupSubContainerDefinition(in.definition, key);
    for (size_t i = 0; entry.Empty() && i < in.inherited.size(); ++i)
      entry = Container::LookupSubContainerDefinition(in.inherited[i], key);
    return entry;
  }

  // The container a path "DEFINITION/SUB/..." leads to (a typed entry is
  // taken as its first type); an empty definition when a step is undefined.
  static Checked Resolve(const std::string& path) {
    std::istringstream steps(path);
    std::string step;
    std::getline(steps, step, '/');
    Checked at = WithAncestors(Container::GetDefinition(Kiv::PString(step)));
    while (!at.definition.Empty() && std::getline(steps, step, '/')) {
      const TETLib::Names& names = TETLib::Names::Get();
      const Soup entry = SubContainer(at, step);
      if (entry.HasNamedTag(names.containerType0)) {
        at = WithAncestors(Container::GetDefinition(entry.GetNamedTag(names.containerType0)));
      } else if (entry.GetNamedTag(names.kind) == names.element) {
        at = WithAncestors(Container::GetDefinition(entry.GetNamedTag(names.elementType)));
      } else {
        at = WithAncestors(entry);  // a smoke entry defines its container
      }
    }
    return at;
  }

  // Every kind the definitions define (top-level definitions).
  std::vector<std::string> DefinedKinds() {
    std::vector<std::string> kinds;
    const Soup& definitions = Manager().GetDefinitions();
    for (uint32_t i = 0; i < definitions.CountTags(); ++i) {
      if (definitions.GetIndexedSoup(i).GetNamedTagAsInt(TETLib::Names::Get().topLevel, 0) != 0)
        kinds.push_back(definitions.GetIndexedTagName(i).Str());
    }
    return kinds;
  }

  bool ListHolds(const std::string& list, const std::string& key) {
    const std::vector<TETLib::DefinitionLine>* lines = Manager().FindListFile(Kiv::PString(list));
    if (lines == nullptr) return false;
    for (const TETLib::DefinitionLine& line : *lines) {
      if (line.key.Str() == key) return true;
    }
    return false;
  }

  // Whether the definitions define `line`'s name where it says.
  bool Defines(const NameLine& line) {
    const std::vector<std::string>& w = line.words;
    if (w.size() == 2 && w[0] == "kind")
      return !Container::FindTopLevelDefinition(Kiv::PString(w[1])).Empty();
    if (w.size() == 3 && w[0] == "code") return ListHolds(w[1], w[2]);
    if (w.size() != 3 || (w[0] != "tag" && w[0] != "container")) return false;
    std::vector<std::string> wheres;
    if (w[1] == "*") {
      wheres = DefinedKinds();
    } else {
      wheres.push_back(w[1]);
    }
    for (const std::string& where : wheres) {
      const Checked at = Resolve(where);
      if (at.definition.Empty()) return false;
      const bool found = w[0] == "tag" ? !Container::LookupTagDefinition(
                                              Kiv::PString(w[2]), at.definition, at.inherited)
                                              .Empty()
                                       : !SubContainer(at, w[2]).Empty();
      if (!found) return false;
    }
    return true;
  }
};

TEST_F(ContentNamesTest, EveryNameTheToolWritesOrReadsIsDefined) {
  const std::vector<NameLine> lines = ReadNames();
  ASSERT_GT(lines.size(), 200u) << "the list was not read";
  std::string undefined;
  for (const NameLine& line : lines) {
    if (!Defines(line)) undefined += "\n  " + line.Text();
  }
  EXPECT_TRUE(undefined.empty()) << "not defined:" << undefined;
}

// The list names every kind and old class code of the table (but the kind
// whose assets validation stops at, "tintgarth-skin"), and the definitions
// define no kind that the list does not name.
TEST_F(ContentNamesTest, ListCoversTheCategoryTableAndEveryDefinedKind) {
  std::set<std::string> kinds, codes;
  for (const NameLine& line : ReadNames()) {
    if (line.words.size() == 2 && line.words[0] == "kind") kinds.insert(line.words[1]);
    if (line.words.size() == 3 && line.words[0] == "code" && line.words[1] == "classes.txt")
      codes.insert(line.words[2]);
  }
  for (uint32_t i = 0; i < kCategoryClassCodeRows; ++i) {
    const CategoryClassCodeRow& row = CategoryClassCodeTable[i];
    EXPECT_EQ(codes.count(row.code), 1u) << row.code;
    const std::string kind = row.kind;
    if (!kind.empty() && kind != "tintgarth-skin") {
      EXPECT_EQ(kinds.count(kind), 1u) << kind;
    }
  }
  for (const std::string& kind : DefinedKinds()) EXPECT_EQ(kinds.count(kind), 1u) << kind;
}

}  // namespace
