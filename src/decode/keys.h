// Key texts: the canonical form that identifies equal mapping keys, and
// the form a key takes in messages.
#pragma once

#include <string>

#include "model/value.h"

namespace quillmere::decode {

// The exact text form of a key used to detect equal keys: equal exactly
// when Python would make the keys one dict entry (see key_set.h).
std::string canonical_key_text(const Value& key);

// How a key is shown in messages: a String key as its text, anything else
// in its debug form, such as Int(5) or Sequence([String("a")]).
std::string key_display_text(const Value& key);

}  // namespace quillmere::decode
