#include "swf/actions.h"

#include "swf/bit_reader.h"

namespace swf {

namespace {

std::string hex2(uint8_t v) {
    const char* d = "0123456789ABCDEF";
    return std::string("0x") + d[v >> 4] + d[v & 15];
}

ActionOperands readOperands(uint8_t opcode, BitReader& r, bool latin1) {
    const auto text = [&r, latin1] { return latin1 ? latin1ToUtf8(r.string()) : r.string(); };
    switch (opcode) {
        case op::GotoFrame:
            return ActionGotoFrame{r.u16()};
        case op::GetURL: {
            ActionGetURL a;
            a.url = text();
            a.target = text();
            return a;
        }
        case op::StoreRegister:
            return ActionStoreRegister{r.u8()};
        case op::ConstantPool: {
            ActionConstantPool a;
            uint16_t n = r.u16();
            a.constants.reserve(std::min<size_t>(n, r.remaining()));
            for (uint16_t i = 0; i < n && r.ok(); ++i)
                a.constants.push_back(text());
            return a;
        }
        case op::WaitForFrame: {
            ActionWaitForFrame a;
            a.frame = r.u16();
            a.skipCount = r.u8();
            return a;
        }
        case op::WaitForFrame2: {
            ActionWaitForFrame a;
            a.skipCount = r.u8();
            return a;
        }
        case op::SetTarget:
            return ActionSetTarget{text()};
        case op::GoToLabel:
            return ActionGoToLabel{text()};
        case op::DefineFunction: {
            ActionDefineFunction a;
            a.name = text();
            uint16_t n = r.u16();
            a.params.reserve(std::min<size_t>(n, r.remaining()));
            for (uint16_t i = 0; i < n && r.ok(); ++i)
                a.params.push_back(text());
            a.codeSize = r.u16();
            return a;
        }
        case op::DefineFunction2: {
            ActionDefineFunction2 a;
            a.name = text();
            uint16_t n = r.u16();
            a.registerCount = r.u8();
            a.flags = r.u16();
            a.params.reserve(std::min<size_t>(n, r.remaining()));
            for (uint16_t i = 0; i < n && r.ok(); ++i) {
                ActionDefineFunction2::Param p;
                p.reg = r.u8();
                p.name = text();
                a.params.push_back(std::move(p));
            }
            a.codeSize = r.u16();
            return a;
        }
        case op::Try: {
            ActionTry a;
            uint8_t flags = r.u8();
            a.catchInRegister = flags & 4;
            a.hasFinally = flags & 2;
            a.hasCatch = flags & 1;
            a.trySize = r.u16();
            a.catchSize = r.u16();
            a.finallySize = r.u16();
            if (a.catchInRegister) {
                a.catchRegister = r.u8();
            } else {
                a.catchName = text();
            }
            return a;
        }
        case op::With:
            return ActionWith{r.u16()};
        case op::Push: {
            ActionPush a;
            while (r.ok() && !r.atEnd()) {
                PushValue v;
                uint8_t type = r.u8();
                switch (type) {
                    case 0:
                        v.string = text();
                        break;
                    case 1:
                        v.number = r.f32();
                        break;
                    case 2:
                    case 3:
                        break;
                    case 4:
                        v.integer = r.u8();
                        break;
                    case 5:
                        v.integer = r.u8() != 0;
                        break;
                    case 6:
                        v.number = r.avm1Double();
                        break;
                    case 7:
                        v.integer = r.s32();
                        break;
                    case 8:
                        v.integer = r.u8();
                        break;
                    case 9:
                        v.integer = r.u16();
                        break;
                    default:
                        r.failAt(r.pos() - 1, "unknown push value type " + std::to_string(type));
                        break;
                }
                v.type = static_cast<PushValue::Type>(type);
                if (r.ok()) a.values.push_back(std::move(v));
            }
            return a;
        }
        case op::Jump:
        case op::If: {
            ActionBranch a;
            a.offset = r.s16();
            return a;
        }
        case op::GetURL2: {
            uint8_t f = r.u8();
            ActionGetURL2 a;
            a.sendVarsMethod = f >> 6;
            a.loadTarget = f & 2;
            a.loadVariables = f & 1;
            return a;
        }
        case op::GotoFrame2: {
            uint8_t f = r.u8();
            ActionGotoFrame2 a;
            a.play = f & 1;
            if (f & 2) a.sceneBias = r.u16();
            return a;
        }
        default: {
            if (opcode < 0x80) return std::monostate{};
            auto rest = r.rest();
            return ActionUnknown{std::vector<uint8_t>(rest.begin(), rest.end())};
        }
    }
}

}  // namespace

ActionDecode decodeActionsLenient(std::span<const uint8_t> bytes, size_t maxRecords, bool latin1Strings) {
    ActionDecode out;
    BitReader r(bytes);
    while (!r.atEnd()) {
        Action a;
        a.offset = static_cast<uint32_t>(r.pos());
        a.opcode = r.u8();
        if (a.opcode == op::End) break;
        if (out.actions.size() >= maxRecords) {
            out.error =
                makeError("more than " + std::to_string(maxRecords) + " action records", -1, a.offset);
            break;
        }
        std::span<const uint8_t> operands;
        if (a.opcode >= 0x80) {
            a.length = r.u16();
            operands = r.bytes(a.length);
            if (!r.ok()) {
                out.error = makeError("action " + hex2(a.opcode) + " length " + std::to_string(a.length) +
                                          " runs past the end of the actions",
                                      -1, a.offset);
                break;
            }
        }
        BitReader o(operands);
        a.operands = readOperands(a.opcode, o, latin1Strings);
        if (!o.ok()) {
            out.error = makeError("action " + hex2(a.opcode) + ": " + o.error(), -1, a.offset);
            break;
        }
        if (auto* b = std::get_if<ActionBranch>(&a.operands)) b->target = int64_t(a.next()) + b->offset;
        out.actions.push_back(std::move(a));
    }
    return out;
}

Result<std::vector<Action>> decodeActions(std::span<const uint8_t> bytes) {
    ActionDecode d = decodeActionsLenient(bytes);
    if (d.error) return *d.error;
    return std::move(d.actions);
}

}  // namespace swf
