// DefaultCategoryForKind: the category codes an asset of `kind` has when its
// configuration names neither "category" nor "category-class": "CN" for
// "consist" (ASCII case ignored), so that consist assets made from a
// configuration of their own are found by a "CN" category search; the
// empty text for every other kind. Never fails.
#pragma once

#include <string>
#include <string_view>

std::string DefaultCategoryForKind(std::string_view kind);
