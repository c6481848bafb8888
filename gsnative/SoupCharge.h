// What the soups that scripts write hold, for the live-byte meter of their
// context (gsruntime/GSAllocationMeter.h), and the work of walking them.
//
// - SoupTagBytes(name, child): what one tag holds in its container: its
//   name, its value's bytes and kSoupTagBytes for the entry, node and chunk;
//   a sub-soup counts its own tag only (its tags are charged as they are
//   written).
// - ExpandedSoupBytes(tree): what a copy of `tree` holds, every tag at every
//   depth, a sub-soup linked under several names counted under each (as a
//   copy duplicates it). Each distinct chunk is walked once, without
//   recursion, so a tree of linked sub-soups whose copy would be huge is
//   measured in the time of its distinct chunks; the sum stops at
//   kSoupBytesSaturated. The walk is charged to the run's budget as data
//   moved, by the distinct tags it visits.
//
// Not thread-safe: the tree must not change during a call.
#pragma once

#include <cstdint>

#include "foundation/soup/ACSChunk.h"

inline constexpr uint64_t kSoupTagBytes = 64;
inline constexpr uint64_t kSoupBytesSaturated = uint64_t{1} << 62;

uint64_t SoupTagBytes(const Kiv::PString& name, const ACSChunk* child);
uint64_t ExpandedSoupBytes(const ACSChunk* tree);
