#include "support/avm1_asm.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "support/swf_tags.h"

namespace avm1test {

namespace {

using testswf::ActionWriter;
using testswf::Bytes;
using testswf::ByteWriter;
using testswf::Push;

const std::map<std::string, uint8_t>& opcodes() {
    static const std::map<std::string, uint8_t> m = {
        {"nextframe", 0x04},   {"prevframe", 0x05},    {"play", 0x06},         {"stop", 0x07},
        {"add", 0x0A},         {"subtract", 0x0B},     {"multiply", 0x0C},     {"divide", 0x0D},
        {"equals", 0x0E},      {"less", 0x0F},         {"and", 0x10},          {"or", 0x11},
        {"not", 0x12},         {"stringequals", 0x13}, {"stringlength", 0x14}, {"stringextract", 0x15},
        {"pop", 0x17},         {"tointeger", 0x18},    {"getvar", 0x1C},       {"setvar", 0x1D},
        {"settarget2", 0x20},  {"stringadd", 0x21},    {"getproperty", 0x22},  {"setproperty", 0x23},
        {"clonesprite", 0x24}, {"removesprite", 0x25}, {"trace", 0x26},        {"throw", 0x2A},
        {"castop", 0x2B},      {"implementsop", 0x2C}, {"random", 0x30},       {"gettime", 0x34},
        {"delete", 0x3A},      {"delete2", 0x3B},      {"definelocal", 0x3C},  {"callfunc", 0x3D},
        {"return", 0x3E},      {"modulo", 0x3F},       {"newobject", 0x40},    {"definelocal2", 0x41},
        {"initarray", 0x42},   {"initobject", 0x43},   {"typeof", 0x44},       {"targetpath", 0x45},
        {"enumerate", 0x46},   {"add2", 0x47},         {"less2", 0x48},        {"equals2", 0x49},
        {"tonumber", 0x4A},    {"tostring", 0x4B},     {"dup", 0x4C},          {"swap", 0x4D},
        {"getmember", 0x4E},   {"setmember", 0x4F},    {"increment", 0x50},    {"decrement", 0x51},
        {"callmethod", 0x52},  {"newmethod", 0x53},    {"instanceof", 0x54},   {"enumerate2", 0x55},
        {"bitand", 0x60},      {"bitor", 0x61},        {"bitxor", 0x62},       {"bitlshift", 0x63},
        {"bitrshift", 0x64},   {"biturshift", 0x65},   {"strictequals", 0x66}, {"greater", 0x67},
        {"extends", 0x69},
    };
    return m;
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        if (line[i] == '\'') {
            size_t j = line.find('\'', i + 1);
            if (j == std::string::npos) throw std::runtime_error("unclosed string: " + line);
            out.push_back(line.substr(i, j - i + 1));
            i = j + 1;
            continue;
        }
        size_t j = line.find_first_of(" \t", i);
        if (j == std::string::npos) j = line.size();
        out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

Push pushValue(const std::string& w) {
    if (w.size() >= 2 && w.front() == '\'') return Push::str(w.substr(1, w.size() - 2));
    if (w == "true") return Push::boolean(true);
    if (w == "false") return Push::boolean(false);
    if (w == "null") return Push::null();
    if (w == "undef") return Push::undefined();
    if (w.rfind("r:", 0) == 0) return Push::reg(uint8_t(std::atoi(w.c_str() + 2)));
    char* end = nullptr;
    if (w.find_first_of(".eE") != std::string::npos || w == "NaN") {
        double d = std::strtod(w.c_str(), &end);
        if (*end) throw std::runtime_error("not a value: " + w);
        return Push::dbl(d);
    }
    long v = std::strtol(w.c_str(), &end, 10);
    if (*end) throw std::runtime_error("not a value: " + w);
    return Push::i32(int32_t(v));
}

class Assembler {
  public:
    explicit Assembler(std::vector<std::vector<std::string>> lines) : lines_(std::move(lines)) {}

    // Assembles lines from pos until an "end"/"catch"/"finally" at this level (or the end).
    Bytes block(size_t& pos) {
        // Two passes: the first finds label offsets, the second writes the branches.
        const size_t start = pos;
        std::map<std::string, size_t> labels;
        size_t first = start;
        pass(first, pos, labels, false);
        size_t second = start;
        return pass(second, pos, labels, true);
    }

  private:
    Bytes pass(size_t& pos, size_t& endPos, std::map<std::string, size_t>& labels, bool final) {
        ActionWriter a;
        struct Branch {
            size_t at;
            std::string label;
        };
        std::vector<Branch> branches;
        while (pos < lines_.size()) {
            const auto& w = lines_[pos];
            const std::string& op = w[0];
            if (op == "end" || op == "catch" || op == "finally") break;
            ++pos;
            if (op == "push") {
                std::vector<Push> values;
                for (size_t i = 1; i < w.size(); ++i)
                    values.push_back(pushValue(w[i]));
                ByteWriter bw;
                for (const Push& p : values) {
                    bw.u8(p.type);
                    switch (p.type) {
                        case 0:
                            bw.str(p.s);
                            break;
                        case 4:
                        case 5:
                            bw.u8(uint8_t(p.i));
                            break;
                        case 6: {
                            uint64_t bits;
                            std::memcpy(&bits, &p.d, 8);
                            bw.u32(uint32_t(bits >> 32)).u32(uint32_t(bits));
                            break;
                        }
                        case 7:
                            bw.u32(uint32_t(p.i));
                            break;
                        default:
                            break;
                    }
                }
                a.opWith(0x96, bw.bytes());
            } else if (op == "label") {
                labels[w.at(1)] = a.size();
            } else if (op == "jump" || op == "if") {
                int16_t rel = 0;
                if (w.at(1)[0] == '+' || w.at(1)[0] == '-') {
                    // A byte offset from the next action, for jumps out of nested blocks.
                    rel = int16_t(std::atoi(w[1].c_str()));
                } else {
                    branches.push_back({a.size(), w[1]});
                    if (final) rel = int16_t(int64_t(labels.at(w[1])) - int64_t(a.size() + 5));
                }
                if (op == "jump")
                    a.jump(rel);
                else
                    a.ifTrue(rel);
            } else if (op == "function") {
                std::vector<std::string> params(w.begin() + 2, w.end());
                Bytes body = block(pos);
                expect("end", pos);
                a.defineFunction(w.at(1) == "-" ? "" : w[1], params, body);
            } else if (op == "function2") {
                std::vector<std::pair<uint8_t, std::string>> params;
                for (size_t i = 4; i < w.size(); ++i) {
                    size_t colon = w[i].find(':');
                    params.emplace_back(uint8_t(std::atoi(w[i].substr(0, colon).c_str())),
                                        w[i].substr(colon + 1));
                }
                Bytes body = block(pos);
                expect("end", pos);
                a.defineFunction2(w.at(1) == "-" ? "" : w[1], uint8_t(std::atoi(w.at(2).c_str())),
                                  uint16_t(std::strtol(w.at(3).c_str(), nullptr, 0)), params, body);
            } else if (op == "with") {
                Bytes body = block(pos);
                expect("end", pos);
                a.with(uint16_t(body.size())).raw(body);
            } else if (op == "try") {
                Bytes tryBody = block(pos);
                Bytes catchBody, finallyBody;
                bool hasCatch = false, hasFinally = false;
                if (pos < lines_.size() && lines_[pos][0] == "catch") {
                    ++pos;
                    hasCatch = true;
                    catchBody = block(pos);
                }
                if (pos < lines_.size() && lines_[pos][0] == "finally") {
                    ++pos;
                    hasFinally = true;
                    finallyBody = block(pos);
                }
                expect("end", pos);
                // A try body jumps over the catch body when it ends normally.
                if (hasCatch) {
                    ActionWriter skip;
                    skip.jump(int16_t(catchBody.size()));
                    tryBody.insert(tryBody.end(), skip.bytes().begin(), skip.bytes().end());
                }
                a.tryBlock(false, w.at(1), 0, uint16_t(tryBody.size()), uint16_t(catchBody.size()),
                           uint16_t(finallyBody.size()), hasCatch, hasFinally);
                a.raw(tryBody).raw(catchBody).raw(finallyBody);
            } else if (op.rfind("op:", 0) == 0) {
                a.op(uint8_t(std::strtol(op.c_str() + 3, nullptr, 16)));
            } else {
                auto it = opcodes().find(op);
                if (it == opcodes().end()) throw std::runtime_error("unknown action: " + op);
                a.op(it->second);
            }
        }
        endPos = pos;
        (void)branches;
        return a.bytes();
    }

    void expect(const char* what, size_t& pos) {
        if (pos >= lines_.size() || lines_[pos][0] != what)
            throw std::runtime_error(std::string("missing ") + what);
        ++pos;
    }

    std::vector<std::vector<std::string>> lines_;
};

}  // namespace

Bytes assemble(const std::string& script) {
    std::vector<std::vector<std::string>> lines;
    std::stringstream ss(script);
    std::string line;
    while (std::getline(ss, line, '\n')) {
        size_t semi = 0;
        // Several actions may share a line, separated by ';'.
        while (semi != std::string::npos) {
            size_t next = line.find(';', semi);
            std::string part = line.substr(semi, next == std::string::npos ? std::string::npos : next - semi);
            // A ';' inside a quoted string is part of it.
            if (next != std::string::npos && std::count(part.begin(), part.end(), '\'') % 2 == 1) {
                size_t close = line.find('\'', next);
                next = close == std::string::npos ? std::string::npos : line.find(';', close);
                part = line.substr(semi, next == std::string::npos ? std::string::npos : next - semi);
            }
            std::vector<std::string> w = words(part);
            if (!w.empty() && w[0][0] != '#') lines.push_back(std::move(w));
            semi = next == std::string::npos ? next : next + 1;
        }
    }
    Assembler as(std::move(lines));
    size_t pos = 0;
    Bytes body = as.block(pos);
    body.push_back(0);
    return body;
}

}  // namespace avm1test
