// CategoryClassCodeTable: the old category-class codes of asset
// configurations and the category lists that replace them.
//
// Each row maps (asset kind, class code) to the current category codes
// joined by ';'. An empty `kind` applies to every kind. The table holds
// kCategoryClassCodeRows rows followed by one end row whose three texts are
// empty; readers stop at the first row whose `categories` is empty. Row
// order matters: where a (kind, code) pair repeats, readers take the
// earlier row.
//
// Built during static initialisation and never changed afterwards, so any
// thread may read it without a lock once main has started.
#pragma once

#include <cstdint>

#include "kiv/String.h"

struct CategoryClassCodeRow {
  const char* kind;
  const char* code;
  Kiv::String categories;
};

inline constexpr uint32_t kCategoryClassCodeRows = 163;

// kCategoryClassCodeRows rows, then the end row.
extern const CategoryClassCodeRow CategoryClassCodeTable[kCategoryClassCodeRows + 1];
