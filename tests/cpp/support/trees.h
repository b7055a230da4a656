// Value trees for tests, built in one arena and checked after a YAML write.
//
//     TreeBuilder t;
//     const Value v = t.map({{t.s("a"), t.seq({t.i(1), t.f(2.5), t.null()})}});
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "common/arena.h"
#include "encode/emitter.h"
#include "model/value.h"

namespace quillmere::testing {

struct TreeBuilder {
    Arena arena;

    Value s(std::string_view text);
    Value i(std::int64_t n) { return Value::integer(n); }
    Value f(double x) { return Value::floating(x); }
    Value null() { return Value::null(); }
    Value big(std::string_view text);
    Value seq(std::initializer_list<Value> items);
    Value map(std::initializer_list<std::pair<Value, Value>> pairs);
    Value tag(std::string_view tag, Value inner);
};

// The YAML writer's text for `value`, written into a buffer of 1024 bytes to
// start with, as dumps does.
std::string write_yaml(const Value& value, const encode::EmitterConfig& config);

// A copy of `value` with every mapping in the order sort_keys writes it.
Value sorted_copy(const Value& value, Arena& arena);

// Empty when `text`, the YAML writer's output for `tree` under `config`,
// holds only characters YAML allows in a file, ends with a line feed and
// decodes (YAML 1.2 core rules) to one document equal to the tree, in
// writing order under sort_keys; otherwise what is wrong.
std::string yaml_read_back_fault(std::string_view text, const Value& tree, const encode::EmitterConfig& config);

}  // namespace quillmere::testing
