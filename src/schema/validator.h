// JSON Schema validation of a YAML document, reported at YAML positions.
//
// The schema is a Value (converted from the caller's Python object). The
// instance is a YamlNode tree, so that every failed check can name the
// line and column of the node it failed on, or, on the plain road, the
// decoded document itself, whose violations are then placed in the tree
// (validate_decoded, locate_violation). Nineteen keywords are checked,
// in a fixed order per schema object whatever the order of its keys:
//
//     type  enum  const  minimum  maximum  exclusiveMinimum  exclusiveMaximum
//     minLength  maxLength  required  properties  additionalProperties
//     minItems  maxItems  items  allOf  anyOf  oneOf  not
//
// plus the boolean schemas true and false. Every other key is ignored:
// references are not followed, patterns and formats not checked. A keyword
// whose value has the wrong kind checks nothing. For example, with the
// schema
//
//     {"type": "object", "required": ["port"],
//      "properties": {"port": {"type": "integer", "maximum": 65535}}}
//
// the text "port: 70000" fails with
//
//     value 70000 is greater than maximum 65535    at $.port, line 1, column 7
//
// and "host: a" with "missing required property 'port'" at $, line 1,
// column 1. Scalars are read with the load's own resolve mode, so under the
// YAML 1.1 rules "yes" is a boolean. Failures are collected depth first:
// an object's own "type" or "required" failure before those found inside
// its "properties", and those before its "allOf", "anyOf", "oneOf" and
// "not" failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/value.h"
#include "resolver/resolver.h"
#include "roundtrip/ast.h"

namespace quillmere::schema {

using roundtrip::YamlNode;

// One failed check: its message, the instance path of the node it failed
// on ("$", "$.key", "$.list[2]"; keys as their raw text) and that node's
// start (0-based line and column). A mapping value left empty in the text
// has no position of its own and is reported at its key. `steps` is the
// way from the root to the node: at each level the index of the item, or
// of the mapping pair (counted after merges).
struct SchemaViolation {
    std::string message;
    std::string path;
    std::uint64_t offset = 0;
    std::uint32_t file_id = 0;
    std::uint32_t line = 0;
    std::uint32_t column = 0;
    std::vector<std::uint64_t> steps;
};

// The violations of a check, in the order found. Once `limit` are held the
// check adds no more and descends no further: "anyOf", "oneOf" and "not"
// only need to know whether a subschema failed, and a load reports only the
// first violation. The first `limit` violations are the same whatever the
// limit.
class Violations {
public:
    explicit Violations(std::size_t limit = std::numeric_limits<std::size_t>::max()) : limit_(limit) {}
    bool full() const { return list_.size() >= limit_; }
    bool empty() const { return list_.empty(); }
    void push(SchemaViolation violation) {
        if (!full()) list_.push_back(std::move(violation));
    }
    const std::vector<SchemaViolation>& list() const { return list_; }

private:
    std::size_t limit_;
    std::vector<SchemaViolation> list_;
};

// What the type, enum, const and numeric checks see of a node.
enum class InstanceKind : std::uint8_t { Null, Bool, Int, BigInt, Float, String, Array, Object };

struct InstanceValue {
    InstanceKind kind = InstanceKind::Null;
    bool boolean = false;
    std::int64_t integer = 0;
    double number = 0.0;
    std::string_view text{};  // String: the scalar's text
    std::string digits{};     // BigInt: the decimal digits with a '-' sign, no '+' or '_'
};

// Scalars (and tagged empty nodes) as the resolver reads them under
// `mode`; sequences are arrays, mappings objects, anything else null.
InstanceValue instance_value(const YamlNode& node, resolver::ResolveMode mode);
// A decoded value: its variant (a tagged value: the value inside).
InstanceValue instance_value(const Value& value);

// "null", "boolean", "integer" (int and big int), "number" (float),
// "string", "array", "object".
std::string_view schema_type_name(const InstanceValue& value);
// "number" also matches integers, "integer" never matches a float; a name
// that is no JSON type matches everything.
bool schema_type_matches(std::string_view type, const InstanceValue& value);

// The violation `message` located at `node`'s start with `path`.
SchemaViolation push_schema_violation(const YamlNode& node, std::string_view path, std::string message);

// Checks `node` against `schema`, appending its violations and those of
// every nested check to `out`. `path` is the node's instance path; it is
// extended for children and restored before returning. Stack-guarded.
void validate_node(const YamlNode& node, const Value& schema, std::string& path, resolver::ResolveMode mode,
                   Violations& out);

// The whole check of one document root: the alias-free copy (instance.h),
// merge keys applied to it, then validate_node from "$". Gives the first
// violation, or none.
std::optional<SchemaViolation> validate_document(const YamlNode& root, const Value& schema,
                                                 resolver::ResolveMode mode);

// The same check on a decoded document, the data that loads returns (its
// aliases copied and merges applied by the decoder), which is far cheaper
// than composing the text again. A decoded value has no position: a
// violation comes with its path and steps, for locate_violation. Paths and
// "properties" use a key's text as written, which a decoded key that is a
// number, boolean or null no longer has: such a document is Undecided, and
// the caller checks its tree instead.
struct DecodedCheck {
    enum class Outcome : std::uint8_t { Valid, Violation, Undecided } outcome = Outcome::Valid;
    SchemaViolation violation;  // with Violation: the first, without a position
};
DecodedCheck validate_decoded(const Value& document, const Value& schema, resolver::ResolveMode mode);

// Gives a violation found in a decoded document the position of its node
// in `root`, the same document as a tree: its steps are followed through
// the tree's alias-free copy with merges applied. Where the copy was cut
// short by its alias budget, the last node reached stands for it.
void locate_violation(const YamlNode& root, resolver::ResolveMode mode, SchemaViolation& violation);

}  // namespace quillmere::schema
