#include "directives/paths.h"

#include <vector>

namespace quillmere::directives {

namespace {

// Walks the components of a path: "/" first for an absolute path, then
// every name, with empty and "." components left out.
class Components {
public:
    explicit Components(std::string_view path) : rest_(path), root_(!path.empty() && path.front() == '/') {}

    // The next component; an empty view when there is none.
    std::string_view next() {
        if (root_) {
            root_ = false;
            return rest_.substr(0, 1);
        }
        while (!rest_.empty()) {
            const std::size_t slash = rest_.find('/');
            const std::string_view part = rest_.substr(0, slash);
            rest_ = slash == std::string_view::npos ? std::string_view() : rest_.substr(slash + 1);
            if (!part.empty() && part != ".") return part;
        }
        return {};
    }

private:
    std::string_view rest_;
    bool root_;
};

// Whether the components of `path` begin with those of `prefix`; `rest`
// is left on the components of `path` that follow.
bool consume_prefix(Components& path, std::string_view prefix) {
    Components wanted(prefix);
    for (std::string_view want = wanted.next(); !want.empty(); want = wanted.next()) {
        if (path.next() != want) return false;
    }
    return true;
}

}  // namespace

std::string normalize_path_lexically(std::string_view path) {
    std::vector<std::string_view> parts;
    Components components(path);
    const bool absolute = !path.empty() && path.front() == '/';
    if (absolute) components.next();
    for (std::string_view part = components.next(); !part.empty(); part = components.next()) {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(part);
        }
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += '/';
        out += parts[i];
    }
    return out;
}

std::string join_path(std::string_view base, std::string_view tail) {
    if (base.empty() || (!tail.empty() && tail.front() == '/')) return std::string(tail);
    std::string out(base);
    if (out.back() != '/') out += '/';
    out += tail;
    return out;
}

std::optional<std::string> parent_path(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path.empty() || path == "/") return std::nullopt;
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return std::string();
    std::string_view parent = path.substr(0, slash);
    while (!parent.empty() && parent.back() == '/') parent.remove_suffix(1);
    return parent.empty() ? std::string("/") : std::string(parent);
}

std::string_view file_name(std::string_view path) {
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool path_starts_with(std::string_view path, std::string_view prefix) {
    Components components(path);
    return consume_prefix(components, prefix);
}

bool same_path(std::string_view a, std::string_view b) {
    Components components(a);
    return consume_prefix(components, b) && components.next().empty();
}

std::optional<std::string> path_below(std::string_view path, std::string_view prefix) {
    Components components(path);
    if (!consume_prefix(components, prefix)) return std::nullopt;
    std::string out;
    for (std::string_view part = components.next(); !part.empty(); part = components.next()) {
        if (!out.empty()) out += '/';
        out += part;
    }
    if (out.empty()) out = ".";
    return out;
}

}  // namespace quillmere::directives
