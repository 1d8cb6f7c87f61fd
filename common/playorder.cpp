#include "playorder.h"

#include <algorithm>
#include <cwctype>
#include <locale.h>
#include <numeric>

namespace playorder {
namespace {

// The next code point of a UTF-8 text; a byte that does not start a valid
// sequence stands for itself (as U+DC80 + byte, out of every letter's way).
char32_t nextCodePoint(const std::string &s, size_t *i)
{
    const auto b0 = static_cast<unsigned char>(s[*i]);
    int len = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
    char32_t cp = len == 1 ? b0 : len == 2 ? b0 & 0x1F : len == 3 ? b0 & 0x0F : b0 & 0x07;
    for (int k = 1; k < len; ++k) {
        if (*i + size_t(k) >= s.size() || (static_cast<unsigned char>(s[*i + size_t(k)]) & 0xC0) != 0x80) {
            len = 0;
            break;
        }
        cp = cp << 6 | (static_cast<unsigned char>(s[*i + size_t(k)]) & 0x3F);
    }
    if (len == 0) {
        ++*i;
        return 0xDC80 + b0;
    }
    *i += size_t(len);
    return cp;
}

// Unicode's simple lower-case mapping from the C.UTF-8 locale, so that the
// order does not depend on the user's locale.
char32_t folded(char32_t cp)
{
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (cp < 0x80)
        return cp >= 'A' && cp <= 'Z' ? cp + ('a' - 'A') : cp;
    if (utf8 == locale_t(0) || cp > 0x10FFFF)
        return cp;
    return char32_t(towlower_l(wint_t(cp), utf8));
}

bool isDigit(const std::string &s, size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; }

// Compares the runs of digits starting at *i and *j as numbers and moves
// past them. Leading zeros do not count.
int compareNumbers(const std::string &a, size_t *i, const std::string &b, size_t *j)
{
    while (isDigit(a, *i) && a[*i] == '0' && isDigit(a, *i + 1))
        ++*i;
    while (isDigit(b, *j) && b[*j] == '0' && isDigit(b, *j + 1))
        ++*j;
    size_t ei = *i, ej = *j;
    while (isDigit(a, ei))
        ++ei;
    while (isDigit(b, ej))
        ++ej;
    int result = 0;
    if (ei - *i != ej - *j)
        result = ei - *i < ej - *j ? -1 : 1;
    else
        result = a.compare(*i, ei - *i, b, *j, ej - *j);
    *i = ei;
    *j = ej;
    return result < 0 ? -1 : result > 0 ? 1 : 0;
}

int compareNames(const std::string &a, const std::string &b, bool natural)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (natural && isDigit(a, i) && isDigit(b, j)) {
            if (const int r = compareNumbers(a, &i, b, &j))
                return r;
            continue;
        }
        const char32_t x = folded(nextCodePoint(a, &i));
        const char32_t y = folded(nextCodePoint(b, &j));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    // Equal but for case (or leading zeros): the bytes decide.
    const int r = a.compare(b);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

template <typename T>
int compareValues(T a, T b)
{
    return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace

int Compare(const Track &a, const Track &b, Key key)
{
    switch (key) {
    case Key::Name:
        return compareNames(a.name, b.name, false);
    case Key::Natural:
        return compareNames(a.name, b.name, true);
    case Key::Date:
        if (const int r = compareValues(uint32_t(a.date) << 16 | a.time, uint32_t(b.date) << 16 | b.time))
            return r;
        return compareNames(a.name, b.name, false);
    case Key::Size:
        if (const int r = compareValues(a.size, b.size))
            return r;
        return compareNames(a.name, b.name, false);
    }
    return 0;
}

std::vector<int> SortedOrder(const std::vector<Track> &tracks, Key key, bool reverse)
{
    std::vector<int> order(tracks.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        return Compare(tracks[size_t(x)], tracks[size_t(y)], key) < 0;
    });
    if (reverse)
        std::reverse(order.begin(), order.end());
    return order;
}

std::vector<Exchange> Exchanges(const std::vector<int> &order)
{
    const size_t n = order.size();
    // at[p]: the file (by its original position) now at position p; where[f]: its position.
    std::vector<int> at(n), where(n, -1);
    for (size_t p = 0; p < n; ++p) {
        const int f = order[p];
        if (f < 0 || size_t(f) >= n || where[size_t(f)] >= 0)
            return {};
        where[size_t(f)] = 0;
    }
    std::iota(at.begin(), at.end(), 0);
    std::iota(where.begin(), where.end(), 0);
    std::vector<Exchange> exchanges;
    for (size_t p = 0; p < n; ++p) {
        const int wanted = order[p];
        const int from = where[size_t(wanted)];
        if (size_t(from) == p)
            continue;
        // The file that belongs here comes from `from`; the one it displaces
        // goes there, one step nearer its own place.
        exchanges.push_back({int(p), from});
        const int displaced = at[p];
        at[p] = wanted;
        at[size_t(from)] = displaced;
        where[size_t(wanted)] = int(p);
        where[size_t(displaced)] = from;
    }
    return exchanges;
}

}  // namespace playorder
