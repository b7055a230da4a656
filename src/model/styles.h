// How a scalar or a collection was written (or is to be written).
#pragma once

#include <cstdint>

namespace quillmere {

enum class ScalarStyle : std::uint8_t { Plain, SingleQuoted, DoubleQuoted, Literal, Folded };
enum class CollectionStyle : std::uint8_t { Block, Flow };

}  // namespace quillmere
