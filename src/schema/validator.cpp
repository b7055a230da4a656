#include "schema/validator.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "common/stack_guard.h"
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
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    if (text.front() == '-') {
        out += '-';
        text.remove_prefix(1);
    }
    const std::size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e))
        if (c != '.') digits += c;
    int exponent = 0;
    const std::string_view exponent_text = text.substr(e + 1);
    std::from_chars(exponent_text.data() + (exponent_text.front() == '+'), exponent_text.data() + exponent_text.size(),
                    exponent);
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return;
    }
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) {
        out += digits;
        out.append(whole - digits.size(), '0');
        return;
    }
    out.append(digits, 0, whole);
    out += '.';
    out.append(digits, whole);
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

// ---------------------------------------------------------------- equality

bool integer_text_equals(std::int64_t integer, std::string_view digits) {
    std::string text;
    append_integer(text, integer);
    return text == digits;
}

bool instance_equals(const YamlNode& node, const InstanceValue& value, const Value& schema_value, ResolveMode mode);

bool node_equals(const YamlNode& node, const Value& schema_value, ResolveMode mode) {
    return instance_equals(node, instance_value(node, mode), schema_value, mode);
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

bool instance_equals(const YamlNode& node, const InstanceValue& value, const Value& schema_value, ResolveMode mode) {
    const Value& other = untagged(schema_value);
    switch (value.kind) {
        case InstanceKind::Null: return other.is(ValueKind::Null);
        case InstanceKind::Bool: return other.is(ValueKind::Bool) && other.as_bool() == value.boolean;
        case InstanceKind::Int:
        case InstanceKind::BigInt:
        case InstanceKind::Float: return number_equals(value, other);
        case InstanceKind::String: return other.is(ValueKind::String) && other.text() == value.text;
        case InstanceKind::Array: {
            if (!other.is(ValueKind::Sequence) || other.items().size() != node.items().size()) return false;
            for (std::size_t i = 0; i < node.items().size(); ++i)
                if (!with_stack_guard([&] { return node_equals(node.items()[i], other.items()[i], mode); }))
                    return false;
            return true;
        }
        case InstanceKind::Object: {
            if (!other.is(ValueKind::Mapping) || other.pairs().size() != node.pairs().size()) return false;
            for (const NodePair& pair : node.pairs()) {
                const InstanceValue key = instance_value(pair.key, mode);
                bool found = false;
                for (const Pair& entry : other.pairs()) {
                    found = with_stack_guard([&] {
                        return instance_equals(pair.key, key, entry.key, mode) &&
                               node_equals(pair.value, entry.value, mode);
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

void validate_at(const YamlNode& node, const YamlNode& at, const Value& schema, std::string& path, ResolveMode mode,
                 Violations& out);

// Where a mapping value is reported: a value left empty in the text
// ("key:" with nothing after it) is a null without a position of its own,
// so it is reported at its key.
const YamlNode& position_of(const NodePair& pair) {
    const YamlNode& value = pair.value;
    const bool placeholder = value.is(NodeKind::Null) && value.span == Span{} && value.end_offset == 0;
    return placeholder ? pair.key : value;
}

// The checks of one schema object on one node, reported at `at` (the node
// itself, or the key of an empty value).
class Checker {
public:
    Checker(const YamlNode& node, const YamlNode& at, const Keywords& keywords, std::string& path, ResolveMode mode,
            Violations& out)
        : node_(node),
          at_(at),
          keywords_(keywords),
          path_(path),
          mode_(mode),
          out_(out),
          value_(instance_value(node, mode)) {}

    void run() {
        check_type();
        check_enum();
        check_const();
        check_numbers();
        check_string();
        if (node_.is(NodeKind::Mapping)) check_object();
        if (node_.is(NodeKind::Sequence)) check_array();
        check_combinations();
    }

private:
    void fail(std::string message) { out_.push(push_schema_violation(at_, path_, std::move(message))); }

    void check_type() {
        const Value* type = keywords_[kType];
        if (!type) return;
        std::string listed;
        bool matched = false;
        if (type->is(ValueKind::String)) {
            listed = type->text();
            matched = schema_type_matches(type->text(), value_);
        } else if (type->is(ValueKind::Sequence)) {
            bool first = true;
            for (const Value& name : type->items()) {
                if (!name.is(ValueKind::String)) continue;
                if (!first) listed += " | ";
                first = false;
                listed += name.text();
                matched = matched || schema_type_matches(name.text(), value_);
            }
        } else {
            return;
        }
        if (!matched) fail("expected type " + listed + ", found " + std::string(schema_type_name(value_)));
    }

    void check_enum() {
        const Value* allowed = keywords_[kEnum];
        if (!allowed || !allowed->is(ValueKind::Sequence)) return;
        for (const Value& candidate : allowed->items())
            if (instance_equals(node_, value_, candidate, mode_)) return;
        fail("value is not one of the allowed enum values");
    }

    void check_const() {
        const Value* required = keywords_[kConst];
        if (required && !instance_equals(node_, value_, *required, mode_))
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
        if (const Value* required = keywords_[kRequired]; required && required->is(ValueKind::Sequence)) {
            for (const Value& name : required->items()) {
                if (!name.is(ValueKind::String) || has_key(name.text())) continue;
                fail("missing required property '" + std::string(name.text()) + "'");
            }
        }
        const Value* properties = keywords_[kProperties];
        if (properties && !properties->is(ValueKind::Mapping)) properties = nullptr;
        const Value* additional = keywords_[kAdditionalProperties];
        for (const NodePair& pair : node_.pairs()) {
            if (out_.full()) return;
            if (!pair.key.is(NodeKind::Scalar)) continue;
            const std::string_view key = pair.key.text();
            const std::size_t length = path_.size();
            path_ += '.';
            path_ += key;
            if (const Value* schema = properties ? property_schema(*properties, key) : nullptr) {
                descend(pair.value, position_of(pair), *schema);
            } else if (additional && additional->is(ValueKind::Mapping)) {
                descend(pair.value, position_of(pair), *additional);
            } else if (additional && additional->is(ValueKind::Bool) && !additional->as_bool()) {
                out_.push(push_schema_violation(position_of(pair), path_,
                                                "additional property '" + std::string(key) + "' is not allowed"));
            }
            path_.resize(length);
        }
    }

    void check_array() {
        const auto count = static_cast<std::int64_t>(node_.items().size());
        if (const auto limit = limit_count(keywords_[kMinItems]); limit && count < *limit)
            fail(count_message("array has fewer than minItems ", *limit));
        if (const auto limit = limit_count(keywords_[kMaxItems]); limit && count > *limit)
            fail(count_message("array has more than maxItems ", *limit));
        const Value* items = keywords_[kItems];
        if (!items) return;
        for (std::size_t i = 0; i < node_.items().size() && !out_.full(); ++i) {
            const std::size_t length = path_.size();
            path_ += '[';
            append_integer(path_, static_cast<std::int64_t>(i));
            path_ += ']';
            descend(node_.items()[i], node_.items()[i], *items);
            path_.resize(length);
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
        for (const NodePair& pair : node_.pairs())
            if (pair.key.is(NodeKind::Scalar) && pair.key.text() == name) return true;
        return false;
    }

    static const Value* property_schema(const Value& properties, std::string_view key) {
        for (const Pair& entry : properties.pairs())
            if (entry.key.is(ValueKind::String) && entry.key.text() == key) return &entry.value;
        return nullptr;
    }

    void descend(const YamlNode& node, const YamlNode& at, const Value& schema) {
        if (out_.full()) return;
        with_stack_guard([&] { validate_at(node, at, schema, path_, mode_, out_); });
    }

    // Whether the node meets `schema`; what it fails on is not kept.
    bool passes(const Value& schema) {
        Violations trial(1);
        with_stack_guard([&] { validate_at(node_, at_, schema, path_, mode_, trial); });
        return trial.empty();
    }

    const YamlNode& node_;
    const YamlNode& at_;
    const Keywords& keywords_;
    std::string& path_;
    ResolveMode mode_;
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

// The big integer's value as plain decimal digits: no '+', no '_'.
std::string big_integer_digits(std::string_view text) {
    std::string digits;
    digits.reserve(text.size());
    for (char c : text)
        if (c != '+' && c != '_') digits += c;
    return digits;
}

}  // namespace

InstanceValue instance_value(const YamlNode& node, ResolveMode mode) {
    InstanceValue value;
    switch (node.kind()) {
        case NodeKind::Sequence: value.kind = InstanceKind::Array; return value;
        case NodeKind::Mapping: value.kind = InstanceKind::Object; return value;
        case NodeKind::Alias: return value;
        case NodeKind::Scalar:
        case NodeKind::Null: break;
    }
    const resolver::ResolvedScalar r = roundtrip::resolve_node_scalar(node, mode);
    const std::string_view text = node.is(NodeKind::Scalar) ? std::string_view(node.text()) : std::string_view{};
    switch (r.kind) {
        case ResolvedKind::Null: break;
        case ResolvedKind::Bool:
            value.kind = InstanceKind::Bool;
            value.boolean = r.boolean;
            break;
        case ResolvedKind::Int:
            value.kind = InstanceKind::Int;
            value.integer = r.integer;
            break;
        case ResolvedKind::BigInt: {
            value.kind = InstanceKind::BigInt;
            std::string storage;
            value.digits = big_integer_digits(roundtrip::node_big_integer_text(node, mode, storage));
            break;
        }
        case ResolvedKind::Float:
            value.kind = InstanceKind::Float;
            value.number = r.number;
            break;
        case ResolvedKind::Str:
        case ResolvedKind::Merge:
        case ResolvedKind::Invalid:
            value.kind = InstanceKind::String;
            value.text = r.kind == ResolvedKind::Merge ? std::string_view("<<") : text;
            break;
    }
    return value;
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
    return SchemaViolation{std::move(message), std::string(path), node.span.offset, node.span.file_id, node.span.line,
                           node.span.column};
}

namespace {

void validate_at(const YamlNode& node, const YamlNode& at, const Value& schema, std::string& path, ResolveMode mode,
                 Violations& out) {
    if (out.full()) return;
    if (schema.is(ValueKind::Bool)) {
        if (!schema.as_bool()) out.push(push_schema_violation(at, path, "value is not allowed (schema is false)"));
        return;
    }
    if (!schema.is(ValueKind::Mapping)) return;
    const Keywords keywords = read_keywords(schema);
    Checker(node, at, keywords, path, mode, out).run();
}

}  // namespace

void validate_node(const YamlNode& node, const Value& schema, std::string& path, ResolveMode mode, Violations& out) {
    validate_at(node, node, schema, path, mode, out);
}

std::optional<SchemaViolation> validate_document(const YamlNode& root, const Value& schema, ResolveMode mode) {
    AliasTargets targets;
    collect_schema_anchors(root, targets);
    // Without aliases to expand or merges to apply, the copy would equal
    // the tree (an alias that names nothing reads as null either way).
    std::optional<YamlNode> instance;
    if (!targets.empty() || has_merge_keys(root, mode)) {
        std::uint64_t budget = kAliasCopyBudget;
        instance = expand_aliases_for_schema(root, targets, 0, budget);
        roundtrip::resolve_tree_merge_keys(*instance, mode);
    }
    Violations violations(1);
    std::string path = "$";
    validate_node(instance ? *instance : root, schema, path, mode, violations);
    if (violations.empty()) return std::nullopt;
    return violations.list().front();
}

}  // namespace quillmere::schema
