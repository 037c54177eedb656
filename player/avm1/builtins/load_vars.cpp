// LoadVars: name=value pairs in url encoding, read from a file beside the movie (load, sendAndLoad) or
// from a string (decode), and written back by toString.
#include "player/avm1/builtins/globals.h"
#include "player/avm1/builtins/loading.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/vm.h"
#include "swf/bit_reader.h"

namespace player::avm1 {

namespace {

std::string utf16ToUtf8(const std::string& bytes, size_t from, bool bigEndian) {
    std::string out;
    auto unit = [&](size_t i) -> uint32_t {
        auto b0 = uint32_t(static_cast<unsigned char>(bytes[i]));
        auto b1 = uint32_t(static_cast<unsigned char>(bytes[i + 1]));
        return bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
    };
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c == 0) break;
        out += codeUnitToUtf8(c);
    }
    return out;
}

// Marks the object as waiting for `url` and asks for the file.
void startLoad(Vm& vm, Object* target, const std::string& url) {
    // XML shows the state as properties; LoadVars keeps it out of its variables.
    uint16_t flags = target->kind() == Object::Kind::Xml ? 0 : kDontEnum;
    target->define(vm, "loaded", Value(false), flags);
    target->define(vm, "_bytesLoaded", Value(0), flags);
    // The size of what an earlier load brought is unknown until this one arrives.
    target->define(vm, "_bytesTotal", Value(), flags);
    queueLoad(vm, target, url);
}

Value ctor(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

// The enumerable properties, in the order for..in lists them (newest first), each pair made with the
// global escape as it is now and collected with the array's push, then joined with "&".
Value toStringFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    std::vector<std::string> keys;
    o->ownKeys(vm, keys);
    Value pairs(vm.newArray());
    Value escapeFn = vm.global->get(vm, "escape");
    auto escaped = [&](const Value& v) {
        std::vector<Value> one{v};
        return vm.toString(vm.call(escapeFn, Value(), one));
    };
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        std::string pair = escaped(Value(*it));
        pair += "=" + escaped(o->get(vm, *it));
        std::vector<Value> one{Value(pair)};
        vm.callMethod(pairs, "push", one);
    }
    std::vector<Value> separator{Value("&")};
    return vm.callMethod(pairs, "join", separator);
}

Value onData(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    std::vector<Value> result;
    if (arg(args, 0).isUndefined()) {
        result.push_back(Value(false));
    } else {
        std::vector<Value> decodeArgs{arg(args, 0)};
        vm.callMethod(self, "decode", decodeArgs);
        o->define(vm, "loaded", Value(true), kDontEnum);
        result.push_back(Value(true));
    }
    vm.callMethod(self, "onLoad", result);
    return Value();
}

Value nothing(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

}  // namespace

// "a=1&b=two" sets a and b; a pair without '=' sets an empty value, a pair without a name is skipped.
Value loadObjectDecode(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.empty()) return Value(false);
    std::string s = vm.toString(args[0]);
    size_t i = 0;
    while (i <= s.size()) {
        size_t amp = s.find('&', i);
        if (amp == std::string::npos) amp = s.size();
        std::string pair = s.substr(i, amp - i);
        size_t eq = pair.find('=');
        std::string name = urlUnescape(pair.substr(0, eq));
        std::string value = eq == std::string::npos ? "" : urlUnescape(pair.substr(eq + 1));
        if (!name.empty()) o->set(vm, name, Value(value));
        i = amp + 1;
    }
    return Value();
}

std::string decodeLoadedText(const std::string& bytes, int version) {
    std::string text;
    auto starts = [&](const char* mark, size_t n) {
        return bytes.size() >= n && bytes.compare(0, n, mark, n) == 0;
    };
    if (version < 6) {
        text = swf::latin1ToUtf8(bytes.substr(0, bytes.find('\0')));
    } else if (starts("\xEF\xBB\xBF", 3)) {
        text = bytes.substr(3);
    } else if (starts("\xFE\xFF", 2)) {
        return utf16ToUtf8(bytes, 2, true);
    } else if (starts("\xFF\xFE", 2)) {
        return utf16ToUtf8(bytes, 2, false);
    } else {
        text = bytes;
    }
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

NativeFunction* scriptLikeFunction(Vm& vm, NativeFn fn) {
    return vm.newClass(fn, vm.newObject());
}

Value loadObjectLoad(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.empty()) return Value(false);
    startLoad(vm, o, vm.toString(args[0]));
    return Value(true);
}

Value loadObjectSendAndLoad(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* target = arg(args, 1).object();
    if (!self.object() || !target || args.empty()) return Value(false);
    startLoad(vm, target, vm.toString(args[0]));
    return Value(true);
}

Value loadObjectSend(Vm& vm, const Value& self, std::vector<Value>& args) {
    vm.host.unsupported("send (the player sends nothing over a network)");
    return Value(false);
}

// Headers are kept as name, value pairs in _customHeaders (made on first use, hidden and permanent).
// A pair of strings is added through the array's push; an array adds its pairs; anything else is
// ignored.
Value loadObjectAddRequestHeader(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    Value headers = o->get(vm, "_customHeaders");
    if (headers.isUndefined()) {
        headers = Value(vm.newArray({}));
        o->define(vm, "_customHeaders", headers, kDontEnum | kDontDelete | kVersion6Up);
    }
    Value name = arg(args, 0), value = arg(args, 1);
    if (name.isString() && value.isString()) {
        std::vector<Value> pair{name, value};
        vm.callMethod(headers, "push", pair);
    } else if (auto* list = dynamic_cast<ArrayObject*>(name.object())) {
        std::vector<Value> items = list->elements;
        for (size_t i = 0; i + 1 < items.size(); i += 2) {
            std::vector<Value> pair{items[i], items[i + 1]};
            loadObjectAddRequestHeader(vm, self, pair);
        }
    }
    return Value();
}

// What load has received: nothing before a load, 0 while asked for, the whole file once there.
Value loadObjectBytesLoaded(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    return o ? o->get(vm, "_bytesLoaded") : Value();
}

Value loadObjectBytesTotal(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    return o ? o->get(vm, "_bytesTotal") : Value();
}

void installLoadVars(Vm& vm) {
    // A class of Flash Player 6: SWF 5 movies do not see it.
    if (vm.version < 6) return;
    Object* proto = vm.newObject();
    NativeFunction* cls = vm.newClass(ctor, proto);
    // The methods Flash Player defines in script have a prototype object of their own.
    auto scripted = [&](const char* name, NativeFn fn) {
        proto->define(vm, name, Value(scriptLikeFunction(vm, fn)), kDontEnum | kDontDelete);
    };
    scripted("addRequestHeader", loadObjectAddRequestHeader);
    vm.method(proto, "decode", loadObjectDecode);
    scripted("getBytesLoaded", loadObjectBytesLoaded);
    scripted("getBytesTotal", loadObjectBytesTotal);
    vm.method(proto, "load", loadObjectLoad);
    scripted("onData", onData);
    scripted("onLoad", nothing);
    vm.method(proto, "send", loadObjectSend);
    vm.method(proto, "sendAndLoad", loadObjectSendAndLoad);
    scripted("toString", toStringFn);
    proto->define(vm, "contentType", Value("application/x-www-form-urlencoded"), kDontEnum | kDontDelete);
    vm.global->define(vm, "LoadVars", Value(cls), kDontEnum);
}

}  // namespace player::avm1
