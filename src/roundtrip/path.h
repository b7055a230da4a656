// Paths from a document root to a node.
//
// A path is a list of steps: a Key step names the mapping value reached
// through a Scalar key with that text, an Index step names a sequence item.
// The empty path addresses the root. Of entries whose keys repeat a text,
// a Key step names the last, whose value the mapping holds as data: in
//
//     a: 1
//     b: x
//     a: 2               Key("a") -> 2; the first entry has no path
//
// the first entry is addressable by no path.
//
//     a:                 Key("a")                 -> the sequence
//       - x              Key("a"), Index(1)       -> {b: 1}
//       - b: 1           Key("a"), Index(1), Key("b") -> 1
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace quillmere::roundtrip {

class PathSegment {
public:
    static PathSegment key(std::string text) { return PathSegment(std::move(text)); }
    static PathSegment index(std::uint64_t position) { return PathSegment(position); }

    bool is_key() const { return step_.index() == 0; }
    bool is_index() const { return step_.index() == 1; }
    const std::string& key() const { return std::get<0>(step_); }
    std::uint64_t index() const { return std::get<1>(step_); }

    friend bool operator==(const PathSegment&, const PathSegment&) = default;

private:
    explicit PathSegment(std::string text) : step_(std::move(text)) {}
    explicit PathSegment(std::uint64_t position) : step_(position) {}

    std::variant<std::string, std::uint64_t> step_;
};

using Path = std::vector<PathSegment>;

class YamlNode;
struct NodePair;

// The position of the entry a Key step with `key` names: the last whose
// key is a Scalar with that text; none when there is none.
std::optional<std::size_t> entry_position(const std::vector<NodePair>& pairs, std::string_view key);

// For each entry, whether a Key step names it: its key is a Scalar whose
// text no later entry's Scalar key repeats. Linear in the entries.
std::vector<bool> addressable_entries(const std::vector<NodePair>& pairs);

// The child of `node` that `step` names: the value of the entry that
// entry_position finds, or the item at the step's index; null for any
// other pairing. Aliases are never followed.
const YamlNode* child_at(const YamlNode& node, const PathSegment& step);
YamlNode* child_at(YamlNode& node, const PathSegment& step);

// The node reached from `root` by `path`, or null.
const YamlNode* follow_path(const YamlNode& root, const Path& path);
YamlNode* follow_path(YamlNode& root, const Path& path);

}  // namespace quillmere::roundtrip
