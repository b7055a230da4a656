#include "schema/validator.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "common/stack_guard.h"
#include "encode/scalar_text.h"
#include "roundtrip/node_scalar.h"
#include "roundtrip/tree_merge.h"
#include "schema/instance.h"

namespace quillmere::schema {

namespace {

using resolver::ResolvedKind;
using resolver::ResolveMode;
using roundtrip::NodeKind;
using roundtrip::NodePair;

// ---------------------------------------------------------------- keywords

enum Keyword : std::uint8_t {
    kType,
    kEnum,
    kConst,
    kMinimum,
    kMaximum,
    kExclusiveMinimum,
    kExclusiveMaximum,
    kMinLength,
    kMaxLength,
    kRequired,
    kProperties,
    kAdditionalProperties,
    kMinItems,
    kMaxItems,
    kItems,
    kAllOf,
    kAnyOf,
    kOneOf,
    kNot,
    kKeywordCount
};

constexpr std::array<std::string_view, kKeywordCount> kKeywordNames = {
    "type", "enum", "const", "minimum", "maximum",
    "exclusiveMinimum", "exclusiveMaximum", "minLength", "maxLength", "required",
    "properties", "additionalProperties", "minItems", "maxItems", "items",
    "allOf", "anyOf", "oneOf", "not"};

// The value of each keyword of a schema object: the first entry whose key
// is that String; entries with other keys are ignored.
struct Keywords {
    std::array<const Value*, kKeywordCount> values{};
    const Value* operator[](Keyword k) const { return values[k]; }
};

Keywords read_keywords(const Value& schema) {
    Keywords keywords;
    for (const Pair& entry : schema.pairs()) {
        if (!entry.key.is(ValueKind::String)) continue;
        const std::string_view name = entry.key.text();
        for (std::size_t k = 0; k < kKeywordCount; ++k) {
            if (name != kKeywordNames[k]) continue;
            if (!keywords.values[k]) keywords.values[k] = &entry.value;
            break;
        }
    }
    return keywords;
}

const Value& untagged(const Value& value) {
    const Value* v = &value;
    while (v->is(ValueKind::Tagged)) v = &v->tagged_value().inner;
    return *v;
}

// ---------------------------------------------------------------- numbers

std::optional<double> parse_double(std::string_view digits) {
    double d = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), d);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return d;
}

// The instance as a float, for the numeric checks.
std::optional<double> instance_number(const InstanceValue& value) {
    switch (value.kind) {
        case InstanceKind::Int: return static_cast<double>(value.integer);
        case InstanceKind::BigInt: return parse_double(value.digits);
        case InstanceKind::Float: return value.number;
        default: return std::nullopt;
    }
}

// A numeric limit: an int, a big int that reads as a float, or a float.
std::optional<double> limit_number(const Value* limit) {
    if (!limit) return std::nullopt;
    switch (limit->kind()) {
        case ValueKind::Int: return static_cast<double>(limit->as_int());
        case ValueKind::BigInt: return parse_double(limit->text());
        case ValueKind::Float: return limit->as_float();
        default: return std::nullopt;
    }
}

// A length or count limit: an int, or a finite integral float (saturating).
std::optional<std::int64_t> limit_count(const Value* limit) {
    if (!limit) return std::nullopt;
    if (limit->is(ValueKind::Int)) return limit->as_int();
    if (!limit->is(ValueKind::Float)) return std::nullopt;
    const double d = limit->as_float();
    if (!std::isfinite(d) || std::trunc(d) != d) return std::nullopt;
    if (d >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (d <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(d);
}

// The shortest digits that read back as the same double, in plain decimal
// notation: 5, 2.5, 0.0001, 100000000000000000000 for 1e20.
void append_number(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "nan";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    encode::append_float(out, value, encode::FloatLayout::Json);  // positional, ".0" on whole numbers
    if (out.ends_with(".0")) out.resize(out.size() - 2);
}

std::string number_message(std::string_view before, double value, std::string_view middle, double limit) {
    std::string message(before);
    append_number(message, value);
    message += middle;
    append_number(message, limit);
    return message;
}

void append_integer(std::string& out, std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

std::uint64_t code_points(std::string_view text) {
    std::uint64_t count = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

// ---------------------------------------------------------------- instance

// A node of the instance: a node of an alias-free tree, or a decoded value
// (a tagged value stands for the value inside it).
class InstanceNode {
public:
    explicit InstanceNode(const YamlNode& node) : tree_(&node) {}
    explicit InstanceNode(const Value& value) : value_(&untagged(value)) {}

    // The tree node, or null for a decoded value.
    const YamlNode* tree() const { return tree_; }
    bool is_mapping() const { return tree_ ? tree_->is(NodeKind::Mapping) : value_->is(ValueKind::Mapping); }
    bool is_sequence() const { return tree_ ? tree_->is(NodeKind::Sequence) : value_->is(ValueKind::Sequence); }
    // Items of a sequence, pairs of a mapping.
    std::size_t size() const {
        if (tree_) return is_mapping() ? tree_->pairs().size() : tree_->items().size();
        return is_mapping() ? value_->pairs().size() : value_->items().size();
    }
    InstanceNode item(std::size_t i) const {
        return tree_ ? InstanceNode(tree_->items()[i]) : InstanceNode(value_->items()[i]);
    }
    InstanceNode key(std::size_t i) const {
        return tree_ ? InstanceNode(tree_->pairs()[i].key) : InstanceNode(value_->pairs()[i].key);
    }
    InstanceNode value(std::size_t i) const {
        return tree_ ? InstanceNode(tree_->pairs()[i].value) : InstanceNode(value_->pairs()[i].value);
    }
    InstanceValue read(ResolveMode mode) const { return tree_ ? instance_value(*tree_, mode) : instance_value(*value_); }

    // How the key of pair `i` takes part in "required", "properties" and
    // paths: a scalar key by its text as written; other keys not at all.
    enum class KeyText : std::uint8_t { Text, Skipped, Unknown };
    KeyText key_text(std::size_t i, std::string_view& text) const {
        if (tree_) {
            const YamlNode& key = tree_->pairs()[i].key;
            if (!key.is(NodeKind::Scalar)) return KeyText::Skipped;
            text = key.text();
            return KeyText::Text;
        }
        const Value& key = untagged(value_->pairs()[i].key);
        switch (key.kind()) {
            case ValueKind::String: text = key.text(); return KeyText::Text;
            case ValueKind::Sequence:
            case ValueKind::Mapping: return KeyText::Skipped;
            default: return KeyText::Unknown;  // its text as written is gone
        }
    }

private:
    const YamlNode* tree_ = nullptr;
    const Value* value_ = nullptr;
};

// Where a mapping value is reported: a value left empty in the text
// ("key:" with nothing after it) is a null without a position of its own,
// so it is reported at its key.
const YamlNode& position_of(const NodePair& pair) {
    const YamlNode& value = pair.value;
    const bool placeholder = value.is(NodeKind::Null) && value.span == Span{} && value.end_offset == 0;
    return placeholder ? pair.key : value;
}

// ---------------------------------------------------------------- equality

bool integer_text_equals(std::int64_t integer, std::string_view digits) {
    std::string text;
    append_integer(text, integer);
    return text == digits;
}

bool instance_equals(const InstanceNode& node, const InstanceValue& value, const Value& schema_value,
                     ResolveMode mode);

bool node_equals(const InstanceNode& node, const Value& schema_value, ResolveMode mode) {
    return instance_equals(node, node.read(mode), schema_value, mode);
}

// Integers and floats meet as floats: an integer equals a float when,
// converted to a float, it compares equal. Integers compare by value.
bool number_equals(const InstanceValue& value, const Value& other) {
    switch (other.kind()) {
        case ValueKind::Int:
            if (value.kind == InstanceKind::Int) return value.integer == other.as_int();
            if (value.kind == InstanceKind::BigInt) return integer_text_equals(other.as_int(), value.digits);
            return value.number == static_cast<double>(other.as_int());
        case ValueKind::BigInt:
            if (value.kind == InstanceKind::BigInt) return value.digits == other.text();
            if (value.kind == InstanceKind::Int) return integer_text_equals(value.integer, other.text());
            return parse_double(other.text()) == value.number;
        case ValueKind::Float:
            if (value.kind == InstanceKind::Float) return value.number == other.as_float();
            return instance_number(value) == other.as_float();
        default:
            return false;
    }
}

bool instance_equals(const InstanceNode& node, const InstanceValue& value, const Value& schema_value,
                     ResolveMode mode) {
    const Value& other = untagged(schema_value);
    switch (value.kind) {
        case InstanceKind::Null: return other.is(ValueKind::Null);
        case InstanceKind::Bool: return other.is(ValueKind::Bool) && other.as_bool() == value.boolean;
        case InstanceKind::Int:
        case InstanceKind::BigInt:
        case InstanceKind::Float: return number_equals(value, other);
        case InstanceKind::String: return other.is(ValueKind::String) && other.text() == value.text;
        case InstanceKind::Array: {
            if (!other.is(ValueKind::Sequence) || other.items().size() != node.size()) return false;
            for (std::size_t i = 0; i < node.size(); ++i)
                if (!with_stack_guard([&] { return node_equals(node.item(i), other.items()[i], mode); })) return false;
            return true;
        }
        case InstanceKind::Object: {
            if (!other.is(ValueKind::Mapping) || other.pairs().size() != node.size()) return false;
            for (std::size_t i = 0; i < node.size(); ++i) {
                const InstanceNode key = node.key(i);
                const InstanceValue key_value = key.read(mode);
                bool found = false;
                for (const Pair& entry : other.pairs()) {
                    found = with_stack_guard([&] {
                        return instance_equals(key, key_value, entry.key, mode) &&
                               node_equals(node.value(i), entry.value, mode);
                    });
                    if (found) break;
                }
                if (!found) return false;
            }
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- checks

// What one validation shares from level to level: the instance path and
// the steps of the node being checked (extended for children and restored),
// and whether the check cannot be decided on a decoded document.
struct Walk {
    Walk(std::string& path_, ResolveMode mode_) : path(path_), mode(mode_) {}
    std::string& path;
    ResolveMode mode;
    std::vector<std::uint64_t> steps;
    bool undecided = false;
};

// A violation of the node being checked, at `at` (null: no position).
SchemaViolation violation_at(const YamlNode* at, const Walk& walk, std::string message) {
    SchemaViolation violation;
    if (at) violation = push_schema_violation(*at, walk.path, std::move(message));
    else {
        violation.message = std::move(message);
        violation.path = walk.path;
    }
    violation.steps = walk.steps;
    return violation;
}

void validate_at(const InstanceNode& node, const YamlNode* at, const Value& schema, Walk& walk, Violations& out);

// The checks of one schema object on one node, reported at `at` (a tree
// node: the node itself, or the key of an empty value; null for a decoded
// value, which has no position).
class Checker {
public:
    Checker(const InstanceNode& node, const YamlNode* at, const Keywords& keywords, Walk& walk, Violations& out)
        : node_(node), at_(at), keywords_(keywords), walk_(walk), out_(out), value_(node.read(walk.mode)) {}

    void run() {
        check_type();
        check_enum();
        check_const();
        check_numbers();
        check_string();
        if (node_.is_mapping()) check_object();
        if (node_.is_sequence()) check_array();
        check_combinations();
    }

private:
    bool stopped() const { return out_.full() || walk_.undecided; }
    void fail(std::string message) { fail_at(at_, std::move(message)); }
    void fail_at(const YamlNode* at, std::string message) {
        if (!stopped()) out_.push(violation_at(at, walk_, std::move(message)));
    }

    void check_type() {
        const Value* type = keywords_[kType];
        if (!type) return;
        if (type->is(ValueKind::String)) {
            if (!schema_type_matches(type->text(), value_))
                fail("expected type " + std::string(type->text()) + ", found " + std::string(schema_type_name(value_)));
            return;
        }
        if (!type->is(ValueKind::Sequence)) return;
        for (const Value& name : type->items())
            if (name.is(ValueKind::String) && schema_type_matches(name.text(), value_)) return;
        std::string listed;
        bool first = true;
        for (const Value& name : type->items()) {
            if (!name.is(ValueKind::String)) continue;
            if (!first) listed += " | ";
            first = false;
            listed += name.text();
        }
        fail("expected type " + listed + ", found " + std::string(schema_type_name(value_)));
    }

    void check_enum() {
        const Value* allowed = keywords_[kEnum];
        if (!allowed || !allowed->is(ValueKind::Sequence)) return;
        for (const Value& candidate : allowed->items())
            if (instance_equals(node_, value_, candidate, walk_.mode)) return;
        fail("value is not one of the allowed enum values");
    }

    void check_const() {
        const Value* required = keywords_[kConst];
        if (required && !instance_equals(node_, value_, *required, walk_.mode))
            fail("value does not equal the required const");
    }

    void check_numbers() {
        const std::optional<double> number = instance_number(value_);
        if (!number) return;
        const double x = *number;
        if (const auto limit = limit_number(keywords_[kMinimum]); limit && x < *limit)
            fail(number_message("value ", x, " is less than minimum ", *limit));
        if (const auto limit = limit_number(keywords_[kMaximum]); limit && x > *limit)
            fail(number_message("value ", x, " is greater than maximum ", *limit));
        if (const auto limit = limit_number(keywords_[kExclusiveMinimum]); limit && x <= *limit)
            fail(number_message("value ", x, " is not greater than ", *limit));
        if (const auto limit = limit_number(keywords_[kExclusiveMaximum]); limit && x >= *limit)
            fail(number_message("value ", x, " is not less than ", *limit));
    }

    void check_string() {
        if (value_.kind != InstanceKind::String) return;
        const auto length = static_cast<std::int64_t>(code_points(value_.text));
        if (const auto limit = limit_count(keywords_[kMinLength]); limit && length < *limit)
            fail(count_message("string is shorter than minLength ", *limit));
        if (const auto limit = limit_count(keywords_[kMaxLength]); limit && length > *limit)
            fail(count_message("string is longer than maxLength ", *limit));
    }

    void check_object() {
        const std::size_t count = node_.size();
        // A decoded key without its text cannot be judged here.
        std::string_view key;
        for (std::size_t i = 0; i < count; ++i) {
            if (node_.key_text(i, key) == InstanceNode::KeyText::Unknown) {
                walk_.undecided = true;
                return;
            }
        }
        if (const Value* required = keywords_[kRequired]; required && required->is(ValueKind::Sequence)) {
            for (const Value& name : required->items()) {
                if (!name.is(ValueKind::String) || has_key(name.text())) continue;
                fail("missing required property '" + std::string(name.text()) + "'");
            }
        }
        const Value* properties = keywords_[kProperties];
        if (properties && !properties->is(ValueKind::Mapping)) properties = nullptr;
        const Value* additional = keywords_[kAdditionalProperties];
        if (!properties && !additional) return;
        for (std::size_t i = 0; i < count && !stopped(); ++i) {
            if (node_.key_text(i, key) != InstanceNode::KeyText::Text) continue;
            const YamlNode* at = node_.tree() ? &position_of(node_.tree()->pairs()[i]) : nullptr;
            const std::size_t length = walk_.path.size();
            walk_.path += '.';
            walk_.path += key;
            walk_.steps.push_back(i);
            if (const Value* schema = properties ? property_schema(*properties, key) : nullptr) {
                descend(node_.value(i), at, *schema);
            } else if (additional && additional->is(ValueKind::Mapping)) {
                descend(node_.value(i), at, *additional);
            } else if (additional && additional->is(ValueKind::Bool) && !additional->as_bool()) {
                fail_at(at, "additional property '" + std::string(key) + "' is not allowed");
            }
            walk_.steps.pop_back();
            walk_.path.resize(length);
        }
    }

    void check_array() {
        const std::size_t count = node_.size();
        if (const auto limit = limit_count(keywords_[kMinItems]); limit && static_cast<std::int64_t>(count) < *limit)
            fail(count_message("array has fewer than minItems ", *limit));
        if (const auto limit = limit_count(keywords_[kMaxItems]); limit && static_cast<std::int64_t>(count) > *limit)
            fail(count_message("array has more than maxItems ", *limit));
        const Value* items = keywords_[kItems];
        if (!items) return;
        for (std::size_t i = 0; i < count && !stopped(); ++i) {
            const InstanceNode item = node_.item(i);
            const std::size_t length = walk_.path.size();
            walk_.path += '[';
            append_integer(walk_.path, static_cast<std::int64_t>(i));
            walk_.path += ']';
            walk_.steps.push_back(i);
            descend(item, item.tree(), *items);
            walk_.steps.pop_back();
            walk_.path.resize(length);
        }
    }

    void check_combinations() {
        if (const Value* all = keywords_[kAllOf]; all && all->is(ValueKind::Sequence)) {
            for (const Value& schema : all->items()) descend(node_, at_, schema);
        }
        if (const Value* any = keywords_[kAnyOf]; any && any->is(ValueKind::Sequence)) {
            bool matched = false;
            for (const Value& schema : any->items()) {
                if (passes(schema)) {
                    matched = true;
                    break;
                }
            }
            if (!matched) fail("value does not match any of the anyOf schemas");
        }
        if (const Value* one = keywords_[kOneOf]; one && one->is(ValueKind::Sequence)) {
            std::int64_t passed = 0;
            for (const Value& schema : one->items())
                if (passes(schema)) ++passed;
            if (passed != 1) {
                std::string message = "value matches ";
                append_integer(message, passed);
                message += " of the oneOf schemas (exactly one required)";
                fail(std::move(message));
            }
        }
        if (const Value* negated = keywords_[kNot]; negated && passes(*negated))
            fail("value must not match the 'not' schema");
    }

    static std::string count_message(std::string_view text, std::int64_t limit) {
        std::string message(text);
        append_integer(message, limit);
        return message;
    }

    bool has_key(std::string_view name) const {
        std::string_view key;
        for (std::size_t i = 0; i < node_.size(); ++i)
            if (node_.key_text(i, key) == InstanceNode::KeyText::Text && key == name) return true;
        return false;
    }

    static const Value* property_schema(const Value& properties, std::string_view key) {
        for (const Pair& entry : properties.pairs())
            if (entry.key.is(ValueKind::String) && entry.key.text() == key) return &entry.value;
        return nullptr;
    }

    void descend(const InstanceNode& node, const YamlNode* at, const Value& schema) {
        if (stopped()) return;
        with_stack_guard([&] { validate_at(node, at, schema, walk_, out_); });
    }

    // Whether the node meets `schema`; what it fails on is not kept.
    bool passes(const Value& schema) {
        Violations trial(1);
        with_stack_guard([&] { validate_at(node_, at_, schema, walk_, trial); });
        return trial.empty();
    }

    const InstanceNode& node_;
    const YamlNode* at_;
    const Keywords& keywords_;
    Walk& walk_;
    Violations& out_;
    const InstanceValue value_;
};

bool has_merge_keys(const YamlNode& node, ResolveMode mode) {
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items())
            if (with_stack_guard([&] { return has_merge_keys(item, mode); })) return true;
    } else if (node.is(NodeKind::Mapping)) {
        for (const NodePair& pair : node.pairs()) {
            if (roundtrip::is_merge_key(pair.key, mode)) return true;
            if (with_stack_guard([&] { return has_merge_keys(pair.value, mode); })) return true;
        }
    }
    return false;
}

void validate_at(const InstanceNode& node, const YamlNode* at, const Value& schema, Walk& walk, Violations& out) {
    if (out.full() || walk.undecided) return;
    if (schema.is(ValueKind::Bool)) {
        if (!schema.as_bool()) out.push(violation_at(at, walk, "value is not allowed (schema is false)"));
        return;
    }
    if (!schema.is(ValueKind::Mapping)) return;
    const Keywords keywords = read_keywords(schema);
    Checker(node, at, keywords, walk, out).run();
}

// The instance a tree stands for: the tree itself, or its alias-free copy
// with merges applied when it has aliases to expand or merges to apply (an
// alias that names nothing reads as null either way).
struct TreeInstance {
    TreeInstance(const YamlNode& root, ResolveMode mode) : root_(root) {
        const AliasTargets targets(std::span(&root, 1), AliasTargets::Unpreceded::Nothing);
        if (targets.empty() && !has_merge_keys(root, mode)) return;
        std::uint64_t budget = kAliasCopyBudget;
        copy_ = expand_aliases_for_schema(root, targets, 0, budget);
        roundtrip::resolve_tree_merge_keys(*copy_, mode);
    }
    const YamlNode& root() const { return copy_ ? *copy_ : root_; }

private:
    const YamlNode& root_;
    std::optional<YamlNode> copy_;
};


// A big integer's text as written or as decoded, without '+' and '_'.
InstanceValue big_integer_value(std::string_view text) {
    InstanceValue value{.kind = InstanceKind::BigInt};
    for (char c : text)
        if (c != '+' && c != '_') value.digits += c;
    return value;
}

}  // namespace

InstanceValue instance_value(const YamlNode& node, ResolveMode mode) {
    switch (node.kind()) {
        case NodeKind::Sequence: return InstanceValue{.kind = InstanceKind::Array};
        case NodeKind::Mapping: return InstanceValue{.kind = InstanceKind::Object};
        case NodeKind::Alias: return InstanceValue{};
        case NodeKind::Scalar:
        case NodeKind::Null: break;
    }
    const resolver::ResolvedScalar r = roundtrip::resolve_node_scalar(node, mode);
    switch (r.kind) {
        case ResolvedKind::Null: return InstanceValue{};
        case ResolvedKind::Bool: return InstanceValue{.kind = InstanceKind::Bool, .boolean = r.boolean};
        case ResolvedKind::Int: return InstanceValue{.kind = InstanceKind::Int, .integer = r.integer};
        case ResolvedKind::Float: return InstanceValue{.kind = InstanceKind::Float, .number = r.number};
        case ResolvedKind::BigInt: {
            std::string storage;
            return big_integer_value(roundtrip::node_big_integer_text(node, mode, storage));
        }
        case ResolvedKind::Merge: return InstanceValue{.kind = InstanceKind::String, .text = "<<"};
        case ResolvedKind::Str:
        case ResolvedKind::Invalid: break;
    }
    const std::string_view text = node.is(NodeKind::Scalar) ? std::string_view(node.text()) : std::string_view{};
    return InstanceValue{.kind = InstanceKind::String, .text = text};
}

std::string_view schema_type_name(const InstanceValue& value) {
    switch (value.kind) {
        case InstanceKind::Null: return "null";
        case InstanceKind::Bool: return "boolean";
        case InstanceKind::Int:
        case InstanceKind::BigInt: return "integer";
        case InstanceKind::Float: return "number";
        case InstanceKind::String: return "string";
        case InstanceKind::Array: return "array";
        case InstanceKind::Object: return "object";
    }
    return "null";
}

bool schema_type_matches(std::string_view type, const InstanceValue& value) {
    const InstanceKind k = value.kind;
    if (type == "null") return k == InstanceKind::Null;
    if (type == "boolean") return k == InstanceKind::Bool;
    if (type == "integer") return k == InstanceKind::Int || k == InstanceKind::BigInt;
    if (type == "number") return k == InstanceKind::Int || k == InstanceKind::BigInt || k == InstanceKind::Float;
    if (type == "string") return k == InstanceKind::String;
    if (type == "array") return k == InstanceKind::Array;
    if (type == "object") return k == InstanceKind::Object;
    return true;
}

SchemaViolation push_schema_violation(const YamlNode& node, std::string_view path, std::string message) {
    SchemaViolation violation;
    violation.message = std::move(message);
    violation.path = path;
    violation.offset = node.span.offset;
    violation.file_id = node.span.file_id;
    violation.line = node.span.line;
    violation.column = node.span.column;
    return violation;
}

void validate_node(const YamlNode& node, const Value& schema, std::string& path, ResolveMode mode, Violations& out) {
    Walk walk{path, mode};
    validate_at(InstanceNode(node), &node, schema, walk, out);
}

std::optional<SchemaViolation> validate_document(const YamlNode& root, const Value& schema, ResolveMode mode) {
    const TreeInstance instance(root, mode);
    Violations violations(1);
    std::string path = "$";
    validate_node(instance.root(), schema, path, mode, violations);
    if (violations.empty()) return std::nullopt;
    return violations.list().front();
}

DecodedCheck validate_decoded(const Value& document, const Value& schema, ResolveMode mode) {
    Violations violations(1);
    std::string path = "$";
    Walk walk{path, mode};
    validate_at(InstanceNode(document), nullptr, schema, walk, violations);
    DecodedCheck check;
    if (walk.undecided) {
        check.outcome = DecodedCheck::Outcome::Undecided;
    } else if (!violations.empty()) {
        check.outcome = DecodedCheck::Outcome::Violation;
        check.violation = violations.list().front();
    }
    return check;
}

void locate_violation(const YamlNode& root, ResolveMode mode, SchemaViolation& violation) {
    const TreeInstance instance(root, mode);
    const YamlNode* node = &instance.root();
    const YamlNode* at = node;
    for (const std::uint64_t step : violation.steps) {
        if (node->is(NodeKind::Sequence) && step < node->items().size()) {
            node = &node->items()[step];
            at = node;
        } else if (node->is(NodeKind::Mapping) && step < node->pairs().size()) {
            const NodePair& pair = node->pairs()[step];
            node = &pair.value;
            at = &position_of(pair);
        } else {
            break;  // cut short by the alias budget
        }
    }
    violation.offset = at->span.offset;
    violation.file_id = at->span.file_id;
    violation.line = at->span.line;
    violation.column = at->span.column;
}

InstanceValue instance_value(const Value& value) {
    const Value& v = untagged(value);
    switch (v.kind()) {
        case ValueKind::Null:
        case ValueKind::Tagged: break;
        case ValueKind::Bool: return InstanceValue{.kind = InstanceKind::Bool, .boolean = v.as_bool()};
        case ValueKind::Int: return InstanceValue{.kind = InstanceKind::Int, .integer = v.as_int()};
        case ValueKind::BigInt: return big_integer_value(v.text());
        case ValueKind::Float: return InstanceValue{.kind = InstanceKind::Float, .number = v.as_float()};
        case ValueKind::String: return InstanceValue{.kind = InstanceKind::String, .text = v.text()};
        case ValueKind::Sequence: return InstanceValue{.kind = InstanceKind::Array};
        case ValueKind::Mapping: return InstanceValue{.kind = InstanceKind::Object};
    }
    return InstanceValue{};
}

}  // namespace quillmere::schema
