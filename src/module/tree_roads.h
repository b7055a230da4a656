// The roads of loads and loads_all that build their results from
// round-trip trees: the directive road (OPT_INCLUDES, OPT_SECRETS,
// OPT_ENV_VAR) and the annotated road (OPT_ANNOTATED).
//
//     loads(text, option=OPT_INCLUDES)        trees composed, directives
//                                              resolved, plain result
//     loads(text, option=OPT_ANNOTATED)       trees composed, annotated result
//     loads_all(text, option=OPT_ANNOTATED)   every document annotated
//
// Both give the plain road's data for the same text and options: the same
// documents (an empty explicit one counts), duplicate and complex keys and
// YAML 1.1 readings reported alike, merge keys applied, and the first
// document's value (each document's for loads_all) converted alike. Under
// OPT_ANNOTATED or OPT_REJECT_COMPLEX_KEYS the fast decoder runs over the
// text first, without the interpreter lock, only for its errors; it is the
// one place where complex keys are refused and where syntax errors of the
// root text are reported with their positions. The rest runs with the lock
// held.
#pragma once

#include <Python.h>

#include <string_view>

#include "decode/decoder.h"
#include "module/directive_load.h"
#include "py/ref.h"
#include "results/convert/custom_tags.h"

namespace quillmere::module {

struct TreeRoad {
    std::string_view text;
    std::uint64_t options = 0;
    // The resolver mode and the four flags of the plain road.
    decode::DecodeOptions decode;
    PyObject* schema = nullptr;  // borrowed; null: no schema step
    results::DecodeContext context;
    DirectiveArguments directives;
};

// Whether `text` may hold a tag of a directive that the options enable.
// Directive tags are matched as written, so a text in which none of their
// names occurs has nothing to resolve.
bool may_hold_directives(std::string_view text, std::uint64_t options);

// Whether `text` may hold an anchor: a "&" that starts a line or follows
// a blank, a flow indicator or ":", and is followed by neither a blank nor
// another "&". Every anchor meets the test; shell text ("a && b") and
// URLs ("?a=1&b=2") do not.
bool may_hold_anchors(std::string_view text);

// The value of the first document, None for a stream without one, or null
// with the Python error set.
py::ref annotated_or_directive_road(const TreeRoad& road);

// Every document of `road.text`, annotated, each with its own anchors; the
// directive options and the schema are not read.
py::ref loads_all_annotated(const TreeRoad& road);

}  // namespace quillmere::module
