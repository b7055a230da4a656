#include "support/node_text.h"

#include <cctype>
#include <map>

#include "scanner/unicode.h"

namespace quillmere::testing {

using roundtrip::NodeKind;
using roundtrip::NodePair;
using roundtrip::YamlNode;

namespace {

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\b': out += "\\b"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

void describe(std::string& out, const YamlNode& node) {
    if (node.anchor()) out += "&" + *node.anchor() + " ";
    if (node.tag()) out += *node.tag() + " ";
    const bool flow = node.style() == CollectionStyle::Flow;
    switch (node.kind()) {
        case NodeKind::Null: out += "()"; break;
        case NodeKind::Alias: out += "*" + node.text(); break;
        case NodeKind::Scalar:
            switch (node.scalar_style()) {
                case ScalarStyle::Plain: out += escaped(node.text()); break;
                case ScalarStyle::SingleQuoted: out += "'" + escaped(node.text()) + "'"; break;
                case ScalarStyle::DoubleQuoted: out += "\"" + escaped(node.text()) + "\""; break;
                case ScalarStyle::Literal: out += "|\"" + escaped(node.text()) + "\""; break;
                case ScalarStyle::Folded: out += ">\"" + escaped(node.text()) + "\""; break;
            }
            break;
        case NodeKind::Sequence: {
            out += flow ? "[" : "seq(";
            const char* sep = "";
            for (const YamlNode& item : node.items()) {
                out += sep;
                sep = ", ";
                describe(out, item);
            }
            out += flow ? "]" : ")";
            break;
        }
        case NodeKind::Mapping: {
            out += flow ? "{" : "map(";
            const char* sep = "";
            for (const NodePair& pair : node.pairs()) {
                out += sep;
                sep = ", ";
                describe(out, pair.key);
                out += ": ";
                describe(out, pair.value);
            }
            out += flow ? "}" : ")";
            break;
        }
    }
}

using Handles = std::map<std::string, std::string, std::less<>>;

// A tag suffix with its %XX escapes decoded, as the event lines show it.
std::string decode_uri(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The tag as the event lines show it: expanded by the document's handles.
std::string expand(std::string_view tag, const Handles& handles) {
    if (tag.starts_with("!<")) return std::string(tag.substr(2, tag.size() - 3));
    auto prefix_of = [&](std::string_view handle, std::string_view fallback) -> std::string {
        auto it = handles.find(handle);
        return it != handles.end() ? it->second : std::string(fallback);
    };
    if (tag.starts_with("!!")) return prefix_of("!!", "tag:yaml.org,2002:") + decode_uri(tag.substr(2));
    const std::size_t second = tag.find('!', 1);
    if (second != std::string_view::npos)
        return prefix_of(tag.substr(0, second + 1), "") + decode_uri(tag.substr(second + 1));
    return prefix_of("!", "!") + decode_uri(tag.substr(1));
}

void events(std::string& out, const YamlNode& node, const Handles& handles) {
    std::string props;
    if (node.anchor()) props += " &" + *node.anchor();
    if (node.tag()) props += " <" + expand(*node.tag(), handles) + ">";
    const bool flow = node.style() == CollectionStyle::Flow;
    switch (node.kind()) {
        case NodeKind::Null: out += "=VAL" + props + " :\n"; break;
        case NodeKind::Alias: out += "=ALI" + props + " *" + node.text() + "\n"; break;
        case NodeKind::Scalar: {
            static constexpr const char* kIndicators[] = {":", "'", "\"", "|", ">"};
            out += "=VAL" + props + " " + kIndicators[static_cast<int>(node.scalar_style())] + escaped(node.text()) +
                   "\n";
            break;
        }
        case NodeKind::Sequence:
            out += std::string("+SEQ") + (flow ? " []" : "") + props + "\n";
            for (const YamlNode& item : node.items()) events(out, item, handles);
            out += "-SEQ\n";
            break;
        case NodeKind::Mapping:
            out += std::string("+MAP") + (flow ? " {}" : "") + props + "\n";
            for (const NodePair& pair : node.pairs()) {
                events(out, pair.key, handles);
                events(out, pair.value, handles);
            }
            out += "-MAP\n";
            break;
    }
}

}  // namespace

std::string describe_node(const YamlNode& node) {
    std::string out;
    describe(out, node);
    return out;
}

const YamlNode& node_at(const std::vector<YamlNode>& roots, std::string_view path) {
    const YamlNode* node = &roots.back();
    if (path.starts_with('d')) {
        const std::size_t dot = path.find('.');
        node = &roots.at(std::stoul(std::string(path.substr(1, dot - 1))));
        path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
    }
    while (!path.empty()) {
        const std::size_t dot = path.find('.');
        const std::string_view step = path.substr(0, dot);
        path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
        if (step[0] == 'k' || step[0] == 'v') {
            const auto& pair = node->pairs().at(std::stoul(std::string(step.substr(1))));
            node = step[0] == 'k' ? &pair.key : &pair.value;
        } else {
            node = &node->items().at(std::stoul(std::string(step)));
        }
    }
    return *node;
}

std::string compose_to_text(std::string_view text, bool keep_empty) {
    auto result = roundtrip::compose_text(text, roundtrip::ComposeOptions{0, keep_empty});
    if (!result.ok()) {
        const ScanError& e = result.error();
        return "error: " + e.message + " @" + std::to_string(e.span.line + 1) + ":" + std::to_string(e.span.column + 1);
    }
    std::string out;
    for (const YamlNode& root : result.value()) {
        if (!out.empty()) out += " | ";
        describe(out, root);
    }
    return out;
}

std::string node_events(const std::vector<YamlNode>& roots) {
    std::string out = "+STR\n";
    for (const YamlNode& root : roots) {
        Handles handles;
        for (const std::string& line : root.directives()) {
            const std::vector<std::string_view> words = scanner::split_words(std::string_view(line).substr(1));
            if (words.size() >= 3 && words[0] == "TAG") handles[std::string(words[1])] = std::string(words[2]);
        }
        out += "+DOC\n";
        events(out, root, handles);
        out += "-DOC\n";
    }
    return out + "-STR\n";
}

std::string normalize_events(std::string_view events) {
    std::string out;
    std::size_t start = 0;
    while (start < events.size()) {
        std::size_t end = events.find('\n', start);
        if (end == std::string_view::npos) end = events.size();
        std::string_view line = events.substr(start, end - start);
        start = end + 1;
        if (line.starts_with("+DOC") || line.starts_with("-DOC")) line = line.substr(0, 4);
        if (!line.empty()) {
            out += line;
            out += '\n';
        }
    }
    return out;
}

}  // namespace quillmere::testing
