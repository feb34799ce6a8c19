#include "keywords.h"

#include <array>
#include <string_view>

namespace rtf {

namespace {

constexpr std::string_view kNames[kKeywordCount] = {
    "",
#define X(name, k, r, w) #name,
    RTF_KEYWORDS(X)
#undef X
};

constexpr size_t kMaxLength = 32;

// Open addressing over FNV-1a: at most a third of the slots are used, so a
// look-up rarely compares more than one name.
constexpr size_t kSlots = 2048;
static_assert(kSlots >= 3 * kKeywordCount);

constexpr size_t slotOf(const char *name, size_t length)
{
    quint32 h = 2166136261u;
    for (size_t k = 0; k < length; ++k)
        h = (h ^ quint8(name[k])) * 16777619u;
    return h & (kSlots - 1);
}

constexpr std::array<Kw, kSlots> kIndex = [] {
    std::array<Kw, kSlots> index{};
    for (int kw = 1; kw < kKeywordCount; ++kw) {
        size_t slot = slotOf(kNames[kw].data(), kNames[kw].size());
        while (index[slot] != K_none)
            slot = (slot + 1) & (kSlots - 1);
        index[slot] = Kw(kw);
    }
    return index;
}();

constexpr Kw find(std::string_view name)
{
    if (name.size() > kMaxLength)
        return K_none;
    for (size_t slot = slotOf(name.data(), name.size());; slot = (slot + 1) & (kSlots - 1)) {
        const Kw kw = kIndex[slot];
        if (kw == K_none || kNames[kw] == name)
            return kw;
    }
}

// Every word is found as itself: none is too long or listed twice.
static_assert([] {
    for (int kw = 1; kw < kKeywordCount; ++kw)
        if (find(kNames[kw]) != kw)
            return false;
    return true;
}());

}  // namespace

Kw lookupKeyword(const char *name, size_t length)
{
    return find(std::string_view(name, length));
}

}  // namespace rtf
