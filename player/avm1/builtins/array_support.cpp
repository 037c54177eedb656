#include "player/avm1/builtins/array_support.h"

#include <cmath>
#include <utility>

#include "player/avm1/builtins/string_case.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

ArrayObject* newScriptArray(Vm& vm, std::vector<Value> elements) {
    Object* proto = nullptr;
    if (Object* ctor = vm.global->get(vm, "Array").object()) proto = ctor->get(vm, "prototype").object();
    ArrayObject* a = vm.make<ArrayObject>(proto);
    a->elements = std::move(elements);
    return a;
}

void flashQuicksort(Vm& vm, std::vector<size_t>& order, const std::function<int(size_t, size_t)>& compare) {
    auto cmp = [&](size_t a, size_t b) {
        if (++vm.budget > vm.actionsPerFrame) throw ScriptAbort{"a script ran too long"};
        return compare(a, b);
    };
    // Ranges still to sort, the next one on top; an explicit stack keeps deep (already sorted) inputs
    // off the machine stack while keeping the left-before-right order.
    std::vector<std::pair<size_t, size_t>> ranges;
    if (order.size() > 1) ranges.emplace_back(0, order.size() - 1);
    while (!ranges.empty()) {
        auto [lo, hi] = ranges.back();
        ranges.pop_back();
        if (lo >= hi) continue;
        size_t pivot = order[lo];
        size_t i = lo + 1, j = hi;
        for (;;) {
            while (i < j && cmp(pivot, order[i]) > 0)
                ++i;
            while (j > lo && cmp(pivot, order[j]) <= 0)
                --j;
            if (i >= j) break;
            std::swap(order[i], order[j]);
        }
        std::swap(order[lo], order[j]);
        if (j + 1 < hi) ranges.emplace_back(j + 1, hi);
        if (j > lo + 1) ranges.emplace_back(lo, j - 1);
    }
}

int compareSortValues(Vm& vm, const Value& a, const Value& b, int flags) {
    if ((flags & kSortNumeric) && a.isNumber() && b.isNumber()) {
        double x = a.number(), y = b.number();
        if (x < y) return -1;
        if (x > y) return 1;
        return 0;
    }
    std::string x = vm.toString(a), y = vm.toString(b);
    if (flags & kSortCaseInsensitive) {
        x = lowerCase(x);
        y = lowerCase(y);
    }
    int c = x.compare(y);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace player::avm1

namespace player::avm1 {

bool hasEqualNeighbours(Vm& vm, const std::vector<Value>& keys, const std::vector<size_t>& order) {
    for (size_t i = 1; i < order.size(); ++i) {
        // Left, then right: a toString a movie defines sees the calls in this order.
        std::string left = vm.toString(keys[order[i - 1]]);
        if (left == vm.toString(keys[order[i]])) return true;
    }
    return false;
}

}  // namespace player::avm1
