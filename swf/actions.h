// AVM1 action decoding (SWF 3..8 DoAction, DoInitAction, button and clip actions): an action byte stream
// into records {offset, opcode, operands}. Decoding only: nothing here runs code. Any thread; no state.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "swf/result.h"

namespace swf {

// AVM1 opcodes this decoder gives operands to, plus the common operand-less ones by name.
namespace op {
enum : uint8_t {
    End = 0x00,
    NextFrame = 0x04,
    PrevFrame = 0x05,
    Play = 0x06,
    Stop = 0x07,
    ToggleQuality = 0x08,
    StopSounds = 0x09,
    Add = 0x0A,
    Subtract = 0x0B,
    Multiply = 0x0C,
    Divide = 0x0D,
    Equals = 0x0E,
    Less = 0x0F,
    And = 0x10,
    Or = 0x11,
    Not = 0x12,
    StringEquals = 0x13,
    StringLength = 0x14,
    StringExtract = 0x15,
    Pop = 0x17,
    ToInteger = 0x18,
    GetVariable = 0x1C,
    SetVariable = 0x1D,
    SetTarget2 = 0x20,
    StringAdd = 0x21,
    GetProperty = 0x22,
    SetProperty = 0x23,
    CloneSprite = 0x24,
    RemoveSprite = 0x25,
    Trace = 0x26,
    StartDrag = 0x27,
    EndDrag = 0x28,
    StringLess = 0x29,
    Throw = 0x2A,
    CastOp = 0x2B,
    ImplementsOp = 0x2C,
    RandomNumber = 0x30,
    MBStringLength = 0x31,
    CharToAscii = 0x32,
    AsciiToChar = 0x33,
    GetTime = 0x34,
    MBStringExtract = 0x35,
    MBCharToAscii = 0x36,
    MBAsciiToChar = 0x37,
    Delete = 0x3A,
    Delete2 = 0x3B,
    DefineLocal = 0x3C,
    CallFunction = 0x3D,
    Return = 0x3E,
    Modulo = 0x3F,
    NewObject = 0x40,
    DefineLocal2 = 0x41,
    InitArray = 0x42,
    InitObject = 0x43,
    TypeOf = 0x44,
    TargetPath = 0x45,
    Enumerate = 0x46,
    Add2 = 0x47,
    Less2 = 0x48,
    Equals2 = 0x49,
    ToNumber = 0x4A,
    ToString = 0x4B,
    PushDuplicate = 0x4C,
    StackSwap = 0x4D,
    GetMember = 0x4E,
    SetMember = 0x4F,
    Increment = 0x50,
    Decrement = 0x51,
    CallMethod = 0x52,
    NewMethod = 0x53,
    InstanceOf = 0x54,
    Enumerate2 = 0x55,
    BitAnd = 0x60,
    BitOr = 0x61,
    BitXor = 0x62,
    BitLShift = 0x63,
    BitRShift = 0x64,
    BitURShift = 0x65,
    StrictEquals = 0x66,
    Greater = 0x67,
    StringGreater = 0x68,
    Extends = 0x69,
    GotoFrame = 0x81,
    GetURL = 0x83,
    StoreRegister = 0x87,
    ConstantPool = 0x88,
    WaitForFrame = 0x8A,
    SetTarget = 0x8B,
    GoToLabel = 0x8C,
    WaitForFrame2 = 0x8D,
    DefineFunction2 = 0x8E,
    Try = 0x8F,
    With = 0x94,
    Push = 0x96,
    Jump = 0x99,
    GetURL2 = 0x9A,
    DefineFunction = 0x9B,
    If = 0x9D,
    Call = 0x9E,
    GotoFrame2 = 0x9F,
};
}  // namespace op

// ActionPush value.
struct PushValue {
    enum class Type : uint8_t {
        String = 0,
        Float = 1,
        Null = 2,
        Undefined = 3,
        Register = 4,
        Boolean = 5,
        Double = 6,
        Integer = 7,
        Constant8 = 8,
        Constant16 = 9,
    };
    Type type = Type::Undefined;
    std::string string;   // String
    double number = 0;    // Float, Double
    int64_t integer = 0;  // Integer, Register number, Boolean (0/1), Constant8/16 index

    bool operator==(const PushValue&) const = default;
};

struct ActionGotoFrame {
    uint16_t frame = 0;  // 0-based
};
struct ActionGetURL {
    std::string url, target;
};
struct ActionStoreRegister {
    uint8_t reg = 0;
};
struct ActionConstantPool {
    std::vector<std::string> constants;
};
struct ActionWaitForFrame {
    uint16_t frame = 0;  // WaitForFrame only; WaitForFrame2 takes it from the stack
    uint8_t skipCount = 0;
};
struct ActionSetTarget {
    std::string target;
};
struct ActionGoToLabel {
    std::string label;
};
struct ActionDefineFunction {
    std::string name;
    std::vector<std::string> params;
    uint16_t codeSize = 0;  // bytes of body that follow this record
};
struct ActionDefineFunction2 {
    struct Param {
        uint8_t reg = 0;  // 0: not in a register
        std::string name;
    };
    std::string name;
    uint8_t registerCount = 0;
    // Preload/suppress flags as stored: bit 0 PreloadThis .. bit 8 PreloadGlobal (see the named helpers).
    uint16_t flags = 0;
    std::vector<Param> params;
    uint16_t codeSize = 0;

    bool preloadThis() const { return flags & 0x0001; }
    bool suppressThis() const { return flags & 0x0002; }
    bool preloadArguments() const { return flags & 0x0004; }
    bool suppressArguments() const { return flags & 0x0008; }
    bool preloadSuper() const { return flags & 0x0010; }
    bool suppressSuper() const { return flags & 0x0020; }
    bool preloadRoot() const { return flags & 0x0040; }
    bool preloadParent() const { return flags & 0x0080; }
    bool preloadGlobal() const { return flags & 0x0100; }
};
struct ActionTry {
    bool catchInRegister = false;
    bool hasCatch = false, hasFinally = false;
    std::string catchName;  // when !catchInRegister
    uint8_t catchRegister = 0;
    uint16_t trySize = 0, catchSize = 0, finallySize = 0;
};
struct ActionWith {
    uint16_t size = 0;
};
struct ActionPush {
    std::vector<PushValue> values;
};
// Jump and If: offset relative to the next action; target is the absolute byte offset it lands on.
struct ActionBranch {
    int16_t offset = 0;
    int64_t target = 0;
};
struct ActionGetURL2 {
    uint8_t sendVarsMethod = 0;  // 0 none, 1 GET, 2 POST
    bool loadTarget = false;     // target is a sprite path, not a browser window
    bool loadVariables = false;
};
struct ActionGotoFrame2 {
    bool play = false;
    uint16_t sceneBias = 0;  // present when the scene-bias flag is set, else 0
};
// An opcode this decoder has no operand layout for; its operand bytes are kept.
struct ActionUnknown {
    std::vector<uint8_t> data;
};

using ActionOperands = std::variant<std::monostate, ActionGotoFrame, ActionGetURL, ActionStoreRegister,
                                    ActionConstantPool, ActionWaitForFrame, ActionSetTarget, ActionGoToLabel,
                                    ActionDefineFunction, ActionDefineFunction2, ActionTry, ActionWith,
                                    ActionPush, ActionBranch, ActionGetURL2, ActionGotoFrame2, ActionUnknown>;

struct Action {
    uint32_t offset = 0;  // of the opcode byte, from the start of the action bytes
    uint8_t opcode = 0;
    uint16_t length = 0;  // operand bytes (opcodes >= 0x80 carry a 16-bit length)
    ActionOperands operands;

    // Offset of the next record.
    uint32_t next() const { return offset + 1 + (opcode >= 0x80 ? 2u + length : 0u); }
};

// Largest number of records decodeActions() returns for one byte stream.
inline constexpr size_t kMaxActionsPerBlock = size_t(1) << 22;

// Decodes every record up to ActionEnd (0x00) or the end of the bytes. A record whose operands do not
// fit its length, or whose length runs past the end, stops decoding with an error giving its offset
// (Error::offset is relative to the first byte of `bytes`). A missing ActionEnd is not an error.
Result<std::vector<Action>> decodeActions(std::span<const uint8_t> bytes);

// Decoded records that precede an error, and the error, for callers that want both (a player that runs
// what it can, a log that shows where decoding stopped).
struct ActionDecode {
    std::vector<Action> actions;
    std::optional<Error> error;
};
// maxRecords bounds the records decoded (a movie parser passes what is left of its allowance).
// latin1Strings: the strings are Latin-1 (movies before SWF 6) and come back as UTF-8.
ActionDecode decodeActionsLenient(std::span<const uint8_t> bytes, size_t maxRecords = kMaxActionsPerBlock,
                                  bool latin1Strings = false);

}  // namespace swf
