// ResultMessage and ResultList: the message records of a results log and the
// chunked list that holds them.
//
// A ResultMessage is a severity (1 information, 2 warning, 3 error,
// 4 success notice; any other value is carried as it is), the final text
// (UTF-8) and a subject (a counted PropertyRef, null when the message
// concerns no asset).
//
// A ResultList is a ring of blocks of 13 records (BlockRing): records are
// appended to the last block, and a full last block gets a new block linked
// after it. Order of messages is block order, then record order. The list
// owns its records. Not thread-safe: the results log locks around it.
#pragma once

#include <cstdint>
#include <utility>

#include "foundation/containers/BlockRing.h"
#include "foundation/soup/PropertyRef.h"
#include "kiv/String.h"

struct ResultMessage {
  uint32_t severity = 0;
  Kiv::String text;
  PropertyRef subject;
};

class ResultList : public BlockRing<ResultMessage, 13> {
 public:
  void Append(ResultMessage message) { AppendToLast(std::move(message)); }
};
