// Finding a class's own functions by signature and by the part of it from
// "::" on (what an override matches), in classes small enough to be
// searched in order and in those large enough to be indexed.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "gsruntime/GSClass.h"

namespace {

using namespace GSRuntime;

TEST(ClassLookup, OwnFunctionsAreFoundByTheirWholeSignatureFirstOneFirst) {
  for (const size_t count : {size_t{2}, size_t{3}, size_t{15}, size_t{40}, size_t{300}}) {
    SCOPED_TRACE(count);
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) names.push_back("$int@Big::M" + std::to_string(i) + "(int)");
    names.push_back(names[1]);  // a second record of the same name is never the one found
    GSClass cls;
    cls.functions.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i) cls.functions[i].name = names[i].c_str();
    for (size_t i = 0; i < count; ++i)
      EXPECT_EQ(cls.FindOwnFunction(names[i]), &cls.functions[i]) << names[i];
    const std::string embedded = names[0] + std::string(1, '\0') + "x";
    const std::string longer = names[0] + "x";
    for (const std::string_view missing :
         {std::string_view("$int@Big::M(int)"), std::string_view(names[0]).substr(1),
          std::string_view(names[0]).substr(0, names[0].size() - 1), std::string_view(),
          std::string_view(embedded), std::string_view(longer)})
      EXPECT_EQ(cls.FindOwnFunction(missing), nullptr) << missing;
  }
}

TEST(ClassLookup, OwnMethodsAreFoundByTheTextFromTheirSeparatorFirstOneFirst) {
  for (const size_t count : {size_t{2}, size_t{3}, size_t{15}, size_t{40}, size_t{300}}) {
    SCOPED_TRACE(count);
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) names.push_back("$int@Big::M" + std::to_string(i) + "(int)");
    names.push_back("$void@Other::M1(int)");  // same method, other class: the first one is found
    names.push_back("nocolons");
    names.push_back("nocolons either");
    GSClass cls;
    cls.functions.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i) cls.functions[i].name = names[i].c_str();
    for (size_t i = 0; i < count; ++i) {
      const std::string method = "::M" + std::to_string(i) + "(int)";
      EXPECT_EQ(cls.FindOwnMethod(method), &cls.functions[i]) << method;
    }
    EXPECT_EQ(cls.FindOwnMethod(""), &cls.functions[count + 1]);  // names without "::"
    for (const std::string_view missing :
         {std::string_view("::M1(string)"), std::string_view(":M1(int)"),
          std::string_view("::M1(int"), std::string_view("$int@Big::M1(int)"),
          std::string_view("nocolons")})
      EXPECT_EQ(cls.FindOwnMethod(missing), nullptr) << missing;
  }
}

}  // namespace
