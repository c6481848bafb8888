// The natives of the script class "LinkedList" (gs.gs), two helpers that
// work only on their arguments, a script array of "LinkedData" entries
// whose first three fields are key (string), value (int) and object:
//
// - "$void@LinkedList::SortInternal(LinkedData[])" sorts the array in
//   place, ascending by key text (byte-wise). The order is exactly that of
//   a selection sort that takes, for each position in turn, the first of
//   the smallest keys from there on and exchanges it into place (not
//   stable: equal keys moved past each other by an exchange change order),
//   found with a tournament tree in O(n log n) comparisons.
// - "$void@LinkedList::AddInternal(LinkedData[],LinkedData,bool)" appends
//   the entry (a null entry: nothing); with the flag set only when no
//   element equals it: same key text, same value bits, and the same native
//   object behind the object field (null for a pure script object).
// Elements are moved and appended without counting, except that an
// appended entry gains the array's count. Null elements are skipped: they
// equal nothing and sort after every entry. A null or non-reference array
// stops the thread ("null object at parameter 1", "incorrect parameter
// type at parameter 1").
//
// Both charge their work to the run's budget as data moved
// (gsruntime/GSAllocationMeter.h): AddInternal's search 64 bytes plus the
// entry's key per element, the sort 64 bytes plus the key per element,
// twice for every level of its tree.
//
// RegisterLinkedListNatives is a registrar (GSMachine.h). Not thread-safe.
#pragma once

class GSMachine;

void RegisterLinkedListNatives(GSMachine& machine);
