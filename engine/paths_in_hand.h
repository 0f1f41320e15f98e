// Paths that one handler of the engine is dealing with right now (its message boxes open), so
// that another handler leaves them alone meanwhile: AutoRun protection holds "C:\AutoRun.inf"
// while it replaces the file, and the threat scan does not touch that path until it is done.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dva {

class PathsInHand {
public:
    // Holds a path for as long as it lives. An empty Hold holds nothing.
    class [[nodiscard]] Hold {
    public:
        Hold() = default;
        Hold(PathsInHand* owner, std::wstring path) : owner_(owner), path_(std::move(path)) {}
        Hold(Hold&& other) noexcept : owner_(std::exchange(other.owner_, nullptr)), path_(std::move(other.path_)) {}
        Hold& operator=(Hold&&) = delete;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold() {
            if (owner_) owner_->release(path_);
        }

    private:
        PathsInHand* owner_ = nullptr;
        std::wstring path_;
    };

    Hold hold(std::wstring_view path);
    // Whether some handler holds the path; letter case does not matter, as on the disk.
    bool held(std::wstring_view path) const;

private:
    void release(const std::wstring& path);
    std::vector<std::wstring> paths_;  // one element per hold: the same path may be held twice
};

}  // namespace dva
