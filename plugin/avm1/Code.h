// An action block decoded once into a compact instruction array: one instruction per action (one per value for
// Push), branch targets as instruction indexes, literals turned into values ahead of time.
#pragma once

#include "avm1/Object.h"
#include "avm1/Value.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CActionsItem;

namespace reelfinch::avm1 {

class Heap;

// Instructions beyond the action codes (which are 0x00 to 0xFF): the forms of Push.
enum OpCode : uint16_t {
    kOpPushUndefined = 0x100,
    kOpPushNull,
    kOpPushTrue,
    kOpPushFalse,
    kOpPushNumber, // a: index in numbers
    kOpPushString, // a: index in strings
    kOpPushRegister, // a: register
    kOpPushPool, // a: index in the constant pool in force
    kOpNop,
};

struct Instruction {
    uint16_t op;
    uint16_t b;
    int32_t a;
};

struct TryInfo {
    uint32_t tryEnd = 0, catchEnd = 0, finallyEnd = 0;
    bool hasCatch = false, hasFinally = false, catchInRegister = false;
    uint8_t catchRegister = 0;
    std::string catchName;
};

struct Code {
    std::vector<Instruction> ops;
    std::vector<double> numbers;
    std::vector<String*> strings; // permanent cells
    std::vector<std::vector<String*>> pools; // each ConstantPool action's strings
    std::vector<FunctionInfo> functions;
    std::vector<TryInfo> tries;
    int version = 0;
};

// Decodes `actions` of a movie of `version`; strings become permanent cells of `heap`.
std::shared_ptr<Code> DecodeActions(const CActionsItem& actions, int version, Heap& heap);

} // namespace reelfinch::avm1
