// The stable sort of both writers' mapping entries: up to 20 entries by
// insertion, more by a bottom-up merge sort through a scratch span of the
// same length.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <utility>

namespace quillmere::encode {

inline constexpr std::size_t kInsertionSortLimit = 20;

// `scratch` is used only above the insertion limit; it may be empty below.
template <class T, class Before>
void stable_sort_entries(std::span<T> items, std::span<T> scratch, Before before) {
    const std::size_t n = items.size();
    if (n <= kInsertionSortLimit) {
        for (std::size_t i = 1; i < n; ++i) {
            T item = items[i];
            std::size_t j = i;
            while (j > 0 && before(item, items[j - 1])) {
                items[j] = items[j - 1];
                --j;
            }
            items[j] = item;
        }
        return;
    }
    std::span<T> from = items;
    std::span<T> to = scratch;
    for (std::size_t run = 1; run < n; run *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * run) {
            const std::size_t mid = std::min(lo + run, n);
            const std::size_t hi = std::min(lo + 2 * run, n);
            std::size_t i = lo;
            std::size_t j = mid;
            std::size_t k = lo;
            while (i < mid && j < hi) to[k++] = before(from[j], from[i]) ? from[j++] : from[i++];
            while (i < mid) to[k++] = from[i++];
            while (j < hi) to[k++] = from[j++];
        }
        std::swap(from, to);
    }
    if (from.data() != items.data()) std::copy(from.begin(), from.end(), items.begin());
}

}  // namespace quillmere::encode
