#include "scanner/token.h"

namespace quillmere {

const char* token_kind_name(TokenKind kind) {
    switch (kind) {
        case TokenKind::StreamStart: return "StreamStart";
        case TokenKind::StreamEnd: return "StreamEnd";
        case TokenKind::DocumentStart: return "DocumentStart";
        case TokenKind::DocumentEnd: return "DocumentEnd";
        case TokenKind::MappingStart: return "MappingStart";
        case TokenKind::MappingEnd: return "MappingEnd";
        case TokenKind::SequenceStart: return "SequenceStart";
        case TokenKind::SequenceEnd: return "SequenceEnd";
        case TokenKind::BlockEnd: return "BlockEnd";
        case TokenKind::MappingKey: return "MappingKey";
        case TokenKind::MappingValue: return "MappingValue";
        case TokenKind::BlockEntry: return "BlockEntry";
        case TokenKind::FlowEntry: return "FlowEntry";
        case TokenKind::Scalar: return "Scalar";
        case TokenKind::Anchor: return "Anchor";
        case TokenKind::Alias: return "Alias";
        case TokenKind::Tag: return "Tag";
        case TokenKind::Directive: return "Directive";
    }
    return "?";
}

}  // namespace quillmere
