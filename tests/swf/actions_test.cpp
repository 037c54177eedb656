// AVM1 action decoding: operand layouts, branch targets, unknown opcodes, and damaged streams.
#include <gtest/gtest.h>

#include "support/swf_tags.h"
#include "swf/actions.h"

using namespace testswf;

namespace {

std::vector<swf::Action> decodeOk(const Bytes& b) {
    auto r = swf::decodeActions(b);
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().describe());
    return r.ok() ? *r : std::vector<swf::Action>{};
}

template <typename T>
const T& single(const std::vector<swf::Action>& a, uint8_t opcode) {
    static const T empty{};
    EXPECT_EQ(a.size(), 1u);
    if (a.size() != 1) return empty;
    EXPECT_EQ(a[0].opcode, opcode);
    const T* p = std::get_if<T>(&a[0].operands);
    EXPECT_TRUE(p) << "operand type";
    return p ? *p : empty;
}

}  // namespace

TEST(Actions, PushValuesOfEveryType) {
    ActionWriter w;
    w.push({Push::str("héllo"), Push::flt(1.5f), Push::null(), Push::undefined(), Push::reg(3),
            Push::boolean(true), Push::dbl(-2.25e100), Push::i32(-7), Push::c8(200), Push::c16(60000),
            Push::str("")});
    auto a = decodeOk(w.bytes());
    const auto& p = single<swf::ActionPush>(a, swf::op::Push);
    using T = swf::PushValue::Type;
    ASSERT_EQ(p.values.size(), 11u);
    EXPECT_EQ(p.values[0].type, T::String);
    EXPECT_EQ(p.values[0].string, "héllo");
    EXPECT_EQ(p.values[1].type, T::Float);
    EXPECT_EQ(p.values[1].number, 1.5);
    EXPECT_EQ(p.values[2].type, T::Null);
    EXPECT_EQ(p.values[3].type, T::Undefined);
    EXPECT_EQ(p.values[4].type, T::Register);
    EXPECT_EQ(p.values[4].integer, 3);
    EXPECT_EQ(p.values[5].type, T::Boolean);
    EXPECT_EQ(p.values[5].integer, 1);
    EXPECT_EQ(p.values[6].type, T::Double);
    EXPECT_EQ(p.values[6].number, -2.25e100);  // AVM1's swapped halves
    EXPECT_EQ(p.values[7].type, T::Integer);
    EXPECT_EQ(p.values[7].integer, -7);
    EXPECT_EQ(p.values[8].type, T::Constant8);
    EXPECT_EQ(p.values[8].integer, 200);
    EXPECT_EQ(p.values[9].type, T::Constant16);
    EXPECT_EQ(p.values[9].integer, 60000);
    EXPECT_EQ(p.values[10].string, "");
}

TEST(Actions, OperandLayouts) {
    {
        auto a = decodeOk(ActionWriter().gotoFrame(41).bytes());
        EXPECT_EQ(single<swf::ActionGotoFrame>(a, swf::op::GotoFrame).frame, 41);
    }
    {
        auto a = decodeOk(ActionWriter().getURL("http://x/", "_blank").bytes());
        const auto& g = single<swf::ActionGetURL>(a, swf::op::GetURL);
        EXPECT_EQ(g.url, "http://x/");
        EXPECT_EQ(g.target, "_blank");
    }
    {
        auto a = decodeOk(ActionWriter().getURL2(2, true, false).bytes());
        const auto& g = single<swf::ActionGetURL2>(a, swf::op::GetURL2);
        EXPECT_EQ(g.sendVarsMethod, 2);
        EXPECT_TRUE(g.loadTarget);
        EXPECT_FALSE(g.loadVariables);
    }
    {
        auto a = decodeOk(ActionWriter().constantPool({"a", "", "ccc"}).bytes());
        EXPECT_EQ(single<swf::ActionConstantPool>(a, swf::op::ConstantPool).constants,
                  (std::vector<std::string>{"a", "", "ccc"}));
    }
    {
        auto a = decodeOk(ActionWriter().storeRegister(2).bytes());
        EXPECT_EQ(single<swf::ActionStoreRegister>(a, swf::op::StoreRegister).reg, 2);
    }
    {
        auto a = decodeOk(ActionWriter().waitForFrame(9, 3).bytes());
        const auto& w = single<swf::ActionWaitForFrame>(a, swf::op::WaitForFrame);
        EXPECT_EQ(w.frame, 9);
        EXPECT_EQ(w.skipCount, 3);
        auto a2 = decodeOk(ActionWriter().opWith(swf::op::WaitForFrame2, {5}).bytes());
        EXPECT_EQ(single<swf::ActionWaitForFrame>(a2, swf::op::WaitForFrame2).skipCount, 5);
    }
    {
        auto a = decodeOk(ActionWriter().setTarget("/mc").bytes());
        EXPECT_EQ(single<swf::ActionSetTarget>(a, swf::op::SetTarget).target, "/mc");
        auto b = decodeOk(ActionWriter().gotoLabel("loop").bytes());
        EXPECT_EQ(single<swf::ActionGoToLabel>(b, swf::op::GoToLabel).label, "loop");
    }
    {
        auto a = decodeOk(ActionWriter().gotoFrame2(true, 12).bytes());
        const auto& g = single<swf::ActionGotoFrame2>(a, swf::op::GotoFrame2);
        EXPECT_TRUE(g.play);
        EXPECT_EQ(g.sceneBias, 12);
        auto b = decodeOk(ActionWriter().gotoFrame2(false).bytes());
        EXPECT_FALSE(single<swf::ActionGotoFrame2>(b, swf::op::GotoFrame2).play);
    }
    {
        auto a = decodeOk(ActionWriter().with(17).bytes());
        EXPECT_EQ(single<swf::ActionWith>(a, swf::op::With).size, 17);
    }
    {
        auto a = decodeOk(ActionWriter().tryBlock(false, "e", 0, 10, 20, 30, true, true).bytes());
        const auto& t = single<swf::ActionTry>(a, swf::op::Try);
        EXPECT_FALSE(t.catchInRegister);
        EXPECT_TRUE(t.hasCatch && t.hasFinally);
        EXPECT_EQ(t.catchName, "e");
        EXPECT_EQ(t.trySize, 10);
        EXPECT_EQ(t.catchSize, 20);
        EXPECT_EQ(t.finallySize, 30);
        auto b = decodeOk(ActionWriter().tryBlock(true, "", 4, 1, 2, 0).bytes());
        const auto& r = single<swf::ActionTry>(b, swf::op::Try);
        EXPECT_TRUE(r.catchInRegister);
        EXPECT_EQ(r.catchRegister, 4);
    }
}

TEST(Actions, FunctionsAndTheirBodiesAreRecordsInLine) {
    Bytes body = ActionWriter().push({Push::reg(1)}).op(swf::op::Return).bytes();
    ActionWriter w;
    w.defineFunction("f", {"a", "b"}, body);
    w.defineFunction2("g", 4, 0x0001 | 0x0004 | 0x0100, {{1, "x"}, {0, "y"}}, body);
    w.stop();
    auto a = decodeOk(w.bytes());
    ASSERT_EQ(a.size(), 1u + 2 + 1 + 2 + 1);
    const auto& f = std::get<swf::ActionDefineFunction>(a[0].operands);
    EXPECT_EQ(f.name, "f");
    EXPECT_EQ(f.params, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(f.codeSize, body.size());
    // The body follows the record: its first action starts where the record ends.
    EXPECT_EQ(a[1].offset, a[0].next());
    EXPECT_EQ(a[3].offset, a[0].next() + body.size());
    const auto& g = std::get<swf::ActionDefineFunction2>(a[3].operands);
    EXPECT_EQ(g.name, "g");
    EXPECT_EQ(g.registerCount, 4);
    EXPECT_TRUE(g.preloadThis());
    EXPECT_TRUE(g.preloadArguments());
    EXPECT_TRUE(g.preloadGlobal());
    EXPECT_FALSE(g.suppressThis());
    EXPECT_FALSE(g.preloadRoot());
    ASSERT_EQ(g.params.size(), 2u);
    EXPECT_EQ(g.params[0].reg, 1);
    EXPECT_EQ(g.params[0].name, "x");
    EXPECT_EQ(g.params[1].reg, 0);
    EXPECT_EQ(g.codeSize, body.size());
    EXPECT_EQ(a.back().opcode, swf::op::Stop);
}

TEST(Actions, BranchTargetsAndOffsets) {
    ActionWriter w;
    w.play();        // 0
    w.jump(1);       // 1..5, next at 6: target 7
    w.stop();        // 6
    w.ifTrue(-12);   // 7..11, next at 12: target 0
    w.jump(-32768);  // lands before the block: still decoded, target negative
    auto a = decodeOk(w.bytes());
    ASSERT_EQ(a.size(), 5u);
    EXPECT_EQ(a[1].offset, 1u);
    EXPECT_EQ(std::get<swf::ActionBranch>(a[1].operands).offset, 1);
    EXPECT_EQ(std::get<swf::ActionBranch>(a[1].operands).target, 7);
    EXPECT_EQ(a[3].opcode, swf::op::If);
    EXPECT_EQ(std::get<swf::ActionBranch>(a[3].operands).target, 0);
    EXPECT_EQ(std::get<swf::ActionBranch>(a[4].operands).target, 17 - 32768);
}

TEST(Actions, EndUnknownOpcodesAndExtraOperandBytes) {
    ActionWriter w;
    w.op(0x7F);                                  // unknown, no operands
    w.opWith(0xC0, {1, 2, 3});                   // unknown with operands: kept
    w.opWith(swf::op::GotoFrame, {5, 0, 0xEE});  // longer than needed: the length decides the next record
    w.play();
    w.end();
    w.stop();  // after ActionEnd: not decoded
    auto a = decodeOk(w.bytes());
    ASSERT_EQ(a.size(), 4u);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(a[0].operands));
    EXPECT_EQ(std::get<swf::ActionUnknown>(a[1].operands).data, (Bytes{1, 2, 3}));
    EXPECT_EQ(std::get<swf::ActionGotoFrame>(a[2].operands).frame, 5);
    EXPECT_EQ(a[3].opcode, swf::op::Play);
    EXPECT_TRUE(decodeOk({}).empty());
}

TEST(Actions, DamagedStreamsReportTheRecordOffset) {
    Bytes good = ActionWriter().play().stop().bytes();  // two 1-byte records
    struct Case {
        const char* name;
        Bytes tail;
    } cases[] = {
        {"length past the end", {0x96, 0x20, 0x00, 0x00}},
        {"length field cut", {0x81, 0x02}},
        {"operands shorter than the layout", {0x81, 0x01, 0x00, 0x07}},
        {"string without NUL", {0x8C, 0x02, 0x00, 'a', 'b'}},
        {"unknown push type", {0x96, 0x02, 0x00, 0x0A, 0x00}},
        {"constant pool count beyond data", {0x88, 0x04, 0x00, 0x05, 0x00, 'a', 0}},
        {"function params cut", {0x9B, 0x04, 0x00, 'f', 0, 0x03, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = good;
        b.insert(b.end(), c.tail.begin(), c.tail.end());
        auto r = swf::decodeActions(b);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().offset, 2);
        auto lenient = swf::decodeActionsLenient(b);
        EXPECT_EQ(lenient.actions.size(), 2u);
        ASSERT_TRUE(lenient.error);
        EXPECT_EQ(lenient.error->offset, 2);
    }
}
