// A small assembler for test scripts: one action a line, so a test states its script in readable form.
//
//   push 'x' 3        strings in quotes, numbers (1.5 is a double, 3 an integer), true false null undef, r:N
//   setvar            any action by name (see the table in avm1_asm.cpp), or op:0xNN
//   label L / jump L / if L
//   function NAME a b ... end      DefineFunction (nested blocks allowed)
//   function2 NAME REGS FLAGS r:name ... end
//   with ... end
//   try NAME ... catch ... finally ... end   (catch into a variable; finally optional)
#pragma once

#include <string>

#include "support/swf_builder.h"

namespace avm1test {

// The action bytes of a script, ended with ActionEnd. Throws std::runtime_error on a line it cannot read.
testswf::Bytes assemble(const std::string& script);

}  // namespace avm1test
