// The language's built-in classes and global functions, one file per class or group. Each file declares its
// methods in one table: name, function, attributes.
#pragma once

#include "avm1/Machine.h"

#include <initializer_list>

namespace reelfinch::avm1 {

struct MethodEntry {
    const char* name;
    NativeFunction function;
    uint16_t flags = kDontEnum;
};

// The argument at `i`, undefined past the end.
inline Value Arg(const Value* args, int argc, int i)
{
    return i < argc ? args[i] : Value();
}

// Adds the table's methods to `object`.
void DefineMethods(Machine& m, Object* object, std::initializer_list<MethodEntry> methods);
// A constructor function with a fresh prototype object (of `proto`'s kind when given), stored in _global.
FunctionObject* DefineClass(Machine& m, const char* name, NativeFunction call, NativeFunction construct,
    Object* prototype);

void InstallBuiltins(Machine& m);
void InstallObjectClass(Machine& m);
void InstallFunctionClass(Machine& m);
void InstallArrayClass(Machine& m);
void InstallStringClass(Machine& m);
void InstallNumberBooleanClasses(Machine& m);
void InstallMathClass(Machine& m);
void InstallGlobals(Machine& m);
void InstallErrorClass(Machine& m);
void InstallBroadcaster(Machine& m);
void InstallSystem(Machine& m);
void InstallMovieClipClass(Machine& m);
void InstallDateClass(Machine& m);

} // namespace reelfinch::avm1
