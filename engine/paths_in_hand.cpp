#include "paths_in_hand.h"

#include <algorithm>

namespace dva {
namespace {

// The engine's paths are fixed ASCII literals: an ASCII case fold is enough to compare them.
bool samePath(std::wstring_view a, std::wstring_view b) {
    const auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](wchar_t x, wchar_t y) { return fold(x) == fold(y); });
}

}  // namespace

PathsInHand::Hold PathsInHand::hold(std::wstring_view path) {
    paths_.emplace_back(path);
    return Hold(this, std::wstring(path));
}

bool PathsInHand::held(std::wstring_view path) const {
    return std::any_of(paths_.begin(), paths_.end(), [&](const std::wstring& p) { return samePath(p, path); });
}

void PathsInHand::release(const std::wstring& path) {
    const auto it = std::find(paths_.begin(), paths_.end(), path);
    if (it != paths_.end()) paths_.erase(it);
}

}  // namespace dva
