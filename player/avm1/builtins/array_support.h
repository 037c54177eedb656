// What Array and other built-ins that make arrays share: new arrays as scripts see them, and the sorting
// behind Array.sort and Array.sortOn (Flash Player's quicksort and its default comparison).
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "player/avm1/value.h"

namespace player::avm1 {

class Vm;
class ArrayObject;

// A new array as Array() makes it: its prototype is the one _global.Array has now, as in Flash Player
// (a movie that replaces Array gets arrays of its own class from the built-ins).
ArrayObject* newScriptArray(Vm& vm, std::vector<Value> elements = {});

// Array.sort / sortOn option bits (the constants on the Array constructor).
enum SortFlag : int {
    kSortCaseInsensitive = 1,
    kSortDescending = 2,
    kSortUnique = 4,
    kSortReturnIndexedArray = 8,
    kSortNumeric = 16
};

// Negative, zero or positive as a sorts before, with or after b.
using SortCompare = std::function<int(const Value& a, const Value& b)>;

// Sorts `order` (indices into the caller's elements) with Flash Player's quicksort: the first element
// of a range is the pivot, the scans from both ends start again at the two elements just swapped, and
// the left part is sorted before the right. Deterministic for any comparison, even one that
// contradicts itself; each comparison counts against the frame's action budget.
void flashQuicksort(Vm& vm, std::vector<size_t>& order, const std::function<int(size_t, size_t)>& compare);

// The comparison of sort without a compare function: as strings (CASEINSENSITIVE: lower-cased), or as
// numbers with NUMERIC when both are numbers.
int compareSortValues(Vm& vm, const Value& a, const Value& b, int flags);

// UNIQUESORT: after sorting, Flash Player compares neighbours as strings, whatever the compare function
// said; true when two neighbours in `order` read the same.
bool hasEqualNeighbours(Vm& vm, const std::vector<Value>& keys, const std::vector<size_t>& order);

}  // namespace player::avm1
