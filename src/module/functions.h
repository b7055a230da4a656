// The method definitions of the eight module functions, in the order in
// which the exec step adds them. Each is METH_FASTCALL | METH_KEYWORDS and
// its docstring is its text signature alone.
#pragma once

#include <Python.h>

namespace quillmere::module {

extern PyMethodDef loads_method;
extern PyMethodDef loads_all_method;
extern PyMethodDef dumps_method;
extern PyMethodDef to_json_method;
extern PyMethodDef schema_ref_method;
extern PyMethodDef yaml_version_method;
extern PyMethodDef dump_includes_method;
extern PyMethodDef dump_includes_map_method;

// Keeps the interpreter's stack watch in step with the engine's fresh
// stacks where the interpreter has one (3.14 and later).
void install_stack_protection_hooks();

}  // namespace quillmere::module
