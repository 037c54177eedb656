// XML and XMLNode: a tree of element and text nodes that scripts build, walk and print, and the lenient
// parser Flash Player uses (it stops at the first error, keeps the tree built so far and reports what went
// wrong in `status`). Comments are dropped, CDATA sections become text nodes, the XML declaration and the
// DOCTYPE are kept in xmlDecl and docTypeDecl. XML.load reads a file beside the movie; the text reaches
// onData on the next frame.
#include <algorithm>

#include "player/avm1/builtins/globals.h"
#include "player/avm1/builtins/loading.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

enum NodeType { kElement = 1, kText = 3 };

// Parse status codes as Flash reports them.
enum Status {
    kOk = 0,
    kCdataOpen = -2,
    kDeclOpen = -3,
    kDoctypeOpen = -4,
    kCommentOpen = -5,
    kMalformed = -6,
    kAttributeOpen = -8,
    kNoEndTag = -9,
    kNoStartTag = -10,
};

class XmlNode : public Object {
  public:
    explicit XmlNode(Object* proto) : Object(proto, Kind::Xml) {}
    int type = kElement;
    Value name = Value::null();   // element name; null for text nodes and the document
    Value value = Value::null();  // text of a text node; null for elements
    Object* attributes = nullptr;
    XmlNode* parent = nullptr;
    std::vector<XmlNode*> children;
    ArrayObject* childArray = nullptr;  // childNodes: one array per node, kept in step with `children`

    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        if (attributes) out.push_back(attributes);
        if (parent) out.push_back(parent);
        for (XmlNode* c : children)
            out.push_back(c);
        if (childArray) out.push_back(childArray);
    }
};

Object* xmlNodeProto(Vm& vm) {
    Object* ctor = vm.global->get(vm, "XMLNode").object();
    Object* proto = ctor ? ctor->get(vm, "prototype").object() : nullptr;
    return proto ? proto : vm.objectProto;
}

XmlNode* nodeOf(const Value& v) {
    return dynamic_cast<XmlNode*>(v.object());
}

XmlNode* makeNode(Vm& vm, Object* proto, int type, const Value& content) {
    XmlNode* n = vm.make<XmlNode>(proto);
    n->attributes = vm.newObject();
    n->type = type;
    if (type == kText) {
        n->value = content;
    } else {
        n->name = content;
    }
    return n;
}

Object* allocateNode(Vm& vm, Object* proto) {
    XmlNode* n = vm.make<XmlNode>(proto);
    n->attributes = vm.newObject();
    return n;
}

void syncChildArray(XmlNode* n) {
    if (!n->childArray) return;
    n->childArray->elements.clear();
    for (XmlNode* c : n->children)
        n->childArray->elements.push_back(Value(c));
}

void detach(XmlNode* n) {
    XmlNode* p = n->parent;
    if (!p) return;
    p->children.erase(std::remove(p->children.begin(), p->children.end(), n), p->children.end());
    n->parent = nullptr;
    syncChildArray(p);
}

bool isAncestorOrSelf(XmlNode* maybeAncestor, XmlNode* n) {
    for (int depth = 0; n && depth < 100000; n = n->parent, ++depth)
        if (n == maybeAncestor) return true;
    return false;
}

void insertChild(XmlNode* parent, XmlNode* child, size_t at) {
    detach(child);
    at = std::min(at, parent->children.size());
    parent->children.insert(parent->children.begin() + long(at), child);
    child->parent = parent;
    syncChildArray(parent);
}

// ---- text ----

// The entities Flash knows; anything else (an unknown name, a lone '&') stays as written.
std::string decodeEntities(const std::string& s) {
    static const struct {
        const char* name;
        const char* text;
    } kEntities[] = {{"lt", "<"},    {"gt", ">"},   {"amp", "&"},
                     {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        size_t semi = s.find(';', i + 1);
        if (semi == std::string::npos || semi - i > 12) {
            out += s[i];
            continue;
        }
        std::string name = s.substr(i + 1, semi - i - 1);
        bool done = false;
        for (const auto& e : kEntities)
            if (name == e.name) {
                out += e.text;
                done = true;
                break;
            }
        if (!done && name.size() > 1 && name[0] == '#') {
            bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits = name.substr(hex ? 2 : 1);
            uint32_t code = 0;
            bool ok = !digits.empty();
            for (char c : digits) {
                int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                        : hex && std::isxdigit(static_cast<unsigned char>(c))
                            ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                            : -1;
                if (d < 0 || code > 0x10FFFF) {
                    ok = false;
                    break;
                }
                code = code * (hex ? 16 : 10) + uint32_t(d);
            }
            if (ok && code > 0 && code <= 0x10FFFF) {
                out += codeUnitToUtf8(code);
                done = true;
            }
        }
        if (done) {
            i = semi;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool allWhite(const std::string& s) {
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    return true;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// ---- parsing ----

struct Parser {
    Vm& vm;
    XmlNode* document;
    const std::string& s;
    bool ignoreWhite;
    Object* proto;
    Object* idMap;
    size_t i = 0;
    std::vector<XmlNode*> open;

    XmlNode* current() { return open.empty() ? document : open.back(); }

    void addText(const std::string& text) {
        if (ignoreWhite && allWhite(text)) return;
        XmlNode* t = makeNode(vm, proto, kText, Value(text));
        insertChild(current(), t, current()->children.size());
    }

    // A name runs to white space, '>' or "/>".
    std::string readName() {
        size_t start = i;
        while (i < s.size() && !isSpace(s[i]) && s[i] != '>' &&
               !(s[i] == '/' && i + 1 < s.size() && s[i + 1] == '>'))
            ++i;
        return s.substr(start, i - start);
    }

    void skipSpace() {
        while (i < s.size() && isSpace(s[i]))
            ++i;
    }

    int startTag() {
        ++i;  // '<'
        std::string name = readName();
        if (name.empty()) return kMalformed;
        std::vector<std::pair<std::string, std::string>> attrs;
        for (;;) {
            skipSpace();
            if (i >= s.size()) return kMalformed;
            if (s[i] == '>') {
                ++i;
                XmlNode* e = element(name, attrs);
                open.push_back(e);
                return kOk;
            }
            if (s.compare(i, 2, "/>") == 0) {
                i += 2;
                element(name, attrs);
                return kOk;
            }
            size_t start = i;
            while (i < s.size() && !isSpace(s[i]) && s[i] != '=' && s[i] != '>' && s.compare(i, 2, "/>") != 0)
                ++i;
            std::string attr = s.substr(start, i - start);
            if (attr.empty()) return kMalformed;
            skipSpace();
            if (i >= s.size() || s[i] != '=') return kMalformed;
            ++i;
            skipSpace();
            if (i >= s.size() || (s[i] != '"' && s[i] != '\'')) return kMalformed;
            char quote = s[i++];
            size_t end = s.find(quote, i);
            if (end == std::string::npos) return kAttributeOpen;
            attrs.emplace_back(attr, decodeEntities(s.substr(i, end - i)));
            i = end + 1;
        }
    }

    XmlNode* element(const std::string& name, const std::vector<std::pair<std::string, std::string>>& attrs) {
        XmlNode* e = makeNode(vm, proto, kElement, Value(name));
        // A name given twice keeps its first value. Attributes are stored last first, so that listing them
        // newest first gives the source order.
        std::vector<const std::pair<std::string, std::string>*> unique;
        for (const auto& a : attrs) {
            bool seen = false;
            for (const auto* u : unique)
                seen = seen || vm.key(u->first) == vm.key(a.first);
            if (!seen) unique.push_back(&a);
        }
        for (auto it = unique.rbegin(); it != unique.rend(); ++it)
            e->attributes->set(vm, (*it)->first, Value((*it)->second));
        insertChild(current(), e, current()->children.size());
        if (idMap)
            for (const auto& [k, v] : attrs)
                if (k == "id") idMap->set(vm, v, Value(e));
        return e;
    }

    int endTag() {
        i += 2;  // "</"
        std::string name = readName();
        if (name.empty()) return kMalformed;
        size_t close = s.find('>', i);
        if (close == std::string::npos) return kMalformed;
        if (open.empty() || vm.toString(open.back()->name) != name) {
            // Closing an element further out leaves the inner ones unclosed.
            for (XmlNode* e : open)
                if (vm.toString(e->name) == name) return kNoEndTag;
            return kNoStartTag;
        }
        i = close + 1;
        open.pop_back();
        return kOk;
    }

    // Text up to `end`, a section that must be closed by `end`, or `error`.
    int section(size_t skip, const char* end, int error, std::string* content) {
        size_t close = s.find(end, i + skip);
        if (close == std::string::npos) return error;
        size_t stop = close + std::char_traits<char>::length(end);
        if (content) *content = s.substr(i, stop - i);
        i = stop;
        return kOk;
    }

    int run() {
        while (i < s.size()) {
            if (s[i] != '<') {
                size_t next = s.find('<', i);
                if (next == std::string::npos) next = s.size();
                addText(decodeEntities(s.substr(i, next - i)));
                i = next;
                continue;
            }
            int status = kOk;
            if (s.compare(i, 4, "<!--") == 0) {
                status = section(4, "-->", kCommentOpen, nullptr);
            } else if (s.compare(i, 9, "<![CDATA[") == 0) {
                std::string text;
                status = section(9, "]]>", kCdataOpen, &text);
                if (status == kOk) {
                    XmlNode* t = makeNode(vm, proto, kText, Value(text.substr(9, text.size() - 12)));
                    insertChild(current(), t, current()->children.size());
                }
            } else if (s.compare(i, 2, "<?") == 0) {
                std::string decl;
                status = section(2, "?>", kDeclOpen, &decl);
                if (status == kOk) document->set(vm, "xmlDecl", Value(decl));
            } else if (s.compare(i, 2, "<!") == 0) {
                std::string decl;
                // An internal subset in brackets holds '>' of its own: the declaration ends at "]>".
                size_t close = s.find('>', i);
                size_t open = s.find('[', i);
                bool subset = open != std::string::npos && (close == std::string::npos || open < close);
                status = section(2, subset ? "]>" : ">", kDoctypeOpen, &decl);
                if (status == kOk) document->set(vm, "docTypeDecl", Value(decl));
            } else if (s.compare(i, 2, "</") == 0) {
                status = endTag();
            } else {
                status = startTag();
            }
            if (status != kOk) return status;
        }
        return open.empty() ? kOk : kNoEndTag;
    }
};

void parseInto(Vm& vm, XmlNode* doc, const std::string& text) {
    for (XmlNode* c : std::vector<XmlNode*>(doc->children))
        detach(c);
    bool ignoreWhite = vm.toBoolean(doc->get(vm, "ignoreWhite"));
    Object* idMap = nullptr;
    if (vm.version >= 8) {
        idMap = doc->get(vm, "idMap").object();
        if (!idMap) {
            idMap = vm.newObject();
            doc->set(vm, "idMap", Value(idMap));
        }
    }
    Parser p{vm, doc, text, ignoreWhite, xmlNodeProto(vm), idMap, 0, {}};
    int status = p.run();
    doc->set(vm, "status", Value(status));
}

// ---- printing ----

void serialise(Vm& vm, XmlNode* n, std::string& out, int depth) {
    if (depth > 10000) return;
    if (n->type == kText) {
        out += xmlEscapeText(vm.toString(n->value));
        return;
    }
    bool named = !n->name.isNullish();
    if (named) {
        out += '<';
        out += vm.toString(n->name);
        if (n->attributes) {
            std::vector<std::string> keys;
            n->attributes->ownKeys(vm, keys);
            // Newest first, as for..in lists them.
            std::reverse(keys.begin(), keys.end());
            for (const std::string& k : keys) {
                out += ' ';
                out += k;
                out += "=\"";
                out += xmlEscapeText(vm.toString(n->attributes->get(vm, k)));
                out += '"';
            }
        }
        if (n->children.empty()) {
            out += " />";
            return;
        }
        out += '>';
    }
    for (XmlNode* c : n->children)
        serialise(vm, c, out, depth + 1);
    if (named) {
        out += "</";
        out += vm.toString(n->name);
        out += '>';
    }
}

// ---- XMLNode ----

Value nodeCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    XmlNode* n = nodeOf(self);
    if (!n) return Value();
    int type = int(clampToInt(vm.toNumber(arg(args, 0)), -1, 100));
    n->type = type == kText ? kText : kElement;
    Value content = args.size() > 1 ? Value(vm.toString(args[1])) : Value::null();
    if (n->type == kText) {
        n->value = content;
    } else {
        n->name = content;
    }
    return Value();
}

Value nodeToString(Vm& vm, const Value& self, std::vector<Value>& args) {
    XmlNode* n = nodeOf(self);
    if (!n) return Value("[object Object]");
    std::string out;
    if (n->name.isNullish() && n->type == kElement) {
        Value decl = n->get(vm, "xmlDecl");
        if (!decl.isNullish()) out += vm.toString(decl);
        Value doctype = n->get(vm, "docTypeDecl");
        if (!doctype.isNullish()) out += vm.toString(doctype);
    }
    serialise(vm, n, out, 0);
    return Value(out);
}

Value appendChild(Vm& vm, const Value& self, std::vector<Value>& args) {
    XmlNode* n = nodeOf(self);
    XmlNode* c = nodeOf(arg(args, 0));
    // A node moves from another parent; one that is a child here already stays where it is.
    if (!n || !c || c->parent == n || isAncestorOrSelf(c, n)) return Value();
    insertChild(n, c, n->children.size());
    return Value();
}

Value insertBefore(Vm& vm, const Value& self, std::vector<Value>& args) {
    XmlNode* n = nodeOf(self);
    XmlNode* c = nodeOf(arg(args, 0));
    XmlNode* before = nodeOf(arg(args, 1));
    if (!n || !c || !before || c->parent == n || before->parent != n || isAncestorOrSelf(c, n))
        return Value();
    auto it = std::find(n->children.begin(), n->children.end(), before);
    insertChild(n, c, size_t(it - n->children.begin()));
    return Value();
}

Value removeNode(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (XmlNode* n = nodeOf(self)) detach(n);
    return Value();
}

XmlNode* clone(Vm& vm, XmlNode* n, bool deep, int depth) {
    XmlNode* c = vm.make<XmlNode>(n->proto());
    c->type = n->type;
    c->name = n->name;
    c->value = n->value;
    c->attributes = vm.newObject();
    if (n->attributes) {
        std::vector<std::string> keys;
        n->attributes->ownKeys(vm, keys);
        for (const std::string& k : keys)
            c->attributes->set(vm, k, n->attributes->get(vm, k));
    }
    if (deep && depth < 10000)
        for (XmlNode* child : n->children)
            insertChild(c, clone(vm, child, true, depth + 1), c->children.size());
    return c;
}

Value cloneNode(Vm& vm, const Value& self, std::vector<Value>& args) {
    XmlNode* n = nodeOf(self);
    if (!n) return Value();
    return Value(clone(vm, n, vm.toBoolean(arg(args, 0)), 0));
}

Value hasChildNodes(Vm& vm, const Value& self, std::vector<Value>& args) {
    XmlNode* n = nodeOf(self);
    if (!n) return Value();
    return Value(!n->children.empty());
}

std::string prefixOf(const std::string& name) {
    size_t colon = name.find(':');
    return colon == std::string::npos ? "" : name.substr(0, colon);
}

// The attributes of an element in source order (they are stored newest first).
std::vector<std::string> attributeNames(Vm& vm, XmlNode* n) {
    std::vector<std::string> keys;
    if (n->attributes) n->attributes->ownKeys(vm, keys);
    std::reverse(keys.begin(), keys.end());
    return keys;
}

// The prefix an attribute declares a namespace for: "xmlns:p" declares p; "xmlns", "xmlns:" and any
// other name starting with "xmlns" declare the default namespace (""). False for other attributes.
bool declaredPrefix(const std::string& attr, std::string& prefix) {
    if (attr.compare(0, 5, "xmlns") != 0) return false;
    prefix = attr.size() > 5 && attr[5] == ':' ? attr.substr(6) : "";
    return true;
}

// The namespace bound to a prefix ("" for the default namespace) on this node or its ancestors.
Value namespaceFor(Vm& vm, XmlNode* n, const std::string& prefix) {
    for (int depth = 0; n && depth < 100000; n = n->parent, ++depth) {
        if (n->type != kElement || !n->attributes) continue;
        std::string declared;
        for (const std::string& k : attributeNames(vm, n))
            if (declaredPrefix(k, declared) && declared == prefix) return n->attributes->get(vm, k);
    }
    return Value::null();
}

Value getNamespaceForPrefix(Vm& vm, const Value& self, std::vector<Value>& args) {
    XmlNode* n = nodeOf(self);
    if (!n) return Value();
    return namespaceFor(vm, n, vm.toString(arg(args, 0)));
}

Value getPrefixForNamespace(Vm& vm, const Value& self, std::vector<Value>& args) {
    XmlNode* n = nodeOf(self);
    if (!n) return Value();
    std::string uri = vm.toString(arg(args, 0));
    for (int depth = 0; n && depth < 100000; n = n->parent, ++depth) {
        if (n->type != kElement || !n->attributes) continue;
        std::string declared;
        for (const std::string& k : attributeNames(vm, n))
            if (declaredPrefix(k, declared) && vm.toString(n->attributes->get(vm, k)) == uri)
                return Value(declared);
    }
    return Value::null();
}

// Read-only views of a node, defined as properties of XMLNode.prototype.
enum class View {
    Attributes,
    ChildNodes,
    FirstChild,
    LastChild,
    NextSibling,
    PreviousSibling,
    ParentNode,
    NodeName,
    NodeType,
    NodeValue,
    LocalName,
    Prefix,
    NamespaceUri
};

template <View V>
Value view(Vm& vm, const Value& self, std::vector<Value>& args) {
    XmlNode* n = nodeOf(self);
    if (!n) return Value();
    auto sibling = [&](int step) -> Value {
        XmlNode* p = n->parent;
        if (!p) return Value::null();
        auto it = std::find(p->children.begin(), p->children.end(), n);
        long at = long(it - p->children.begin()) + step;
        if (at < 0 || at >= long(p->children.size())) return Value::null();
        return Value(p->children[size_t(at)]);
    };
    std::string name = n->type == kElement && n->name.isString() ? n->name.string() : "";
    switch (V) {
        case View::Attributes:
            return Value(n->attributes);
        case View::ChildNodes:
            if (!n->childArray) {
                n->childArray = vm.newArray();
                syncChildArray(n);
            }
            return Value(n->childArray);
        case View::FirstChild:
            return n->children.empty() ? Value::null() : Value(n->children.front());
        case View::LastChild:
            return n->children.empty() ? Value::null() : Value(n->children.back());
        case View::NextSibling:
            return sibling(1);
        case View::PreviousSibling:
            return sibling(-1);
        case View::ParentNode:
            return n->parent ? Value(n->parent) : Value::null();
        case View::NodeName:
            return n->type == kElement ? n->name : Value::null();
        case View::NodeType:
            return Value(n->type);
        case View::NodeValue:
            return n->type == kText ? n->value : Value::null();
        case View::LocalName: {
            if (n->type != kElement || n->name.isNullish()) return Value::null();
            size_t colon = name.find(':');
            return Value(colon == std::string::npos ? name : name.substr(colon + 1));
        }
        case View::Prefix:
            if (n->type != kElement || n->name.isNullish()) return Value::null();
            return Value(prefixOf(name));
        case View::NamespaceUri: {
            if (n->type != kElement || n->name.isNullish()) return Value::null();
            Value ns = namespaceFor(vm, n, prefixOf(name));
            return ns.isNull() ? Value("") : ns;
        }
    }
    return Value();
}

// Assigning undefined leaves the name as it is.
Value setNodeName(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (XmlNode* n = nodeOf(self); n && n->type == kElement && !arg(args, 0).isUndefined())
        n->name = arg(args, 0).isNullish() ? Value::null() : Value(vm.toString(arg(args, 0)));
    return Value();
}

Value setNodeValue(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (XmlNode* n = nodeOf(self); n && n->type == kText)
        n->value = arg(args, 0).isNullish() ? Value::null() : Value(vm.toString(arg(args, 0)));
    return Value();
}

// ---- XML ----

Value xmlCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    XmlNode* doc = nodeOf(self);
    if (!doc) return Value();
    doc->type = kElement;
    doc->name = Value::null();
    if (!args.empty() && !args[0].isUndefined()) parseInto(vm, doc, vm.toString(args[0]));
    return Value();
}

Value parseXml(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (XmlNode* doc = nodeOf(self)) parseInto(vm, doc, vm.toString(arg(args, 0)));
    return Value();
}

Value createElement(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(makeNode(vm, xmlNodeProto(vm), kElement, Value(vm.toString(arg(args, 0)))));
}

Value createTextNode(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(makeNode(vm, xmlNodeProto(vm), kText, Value(vm.toString(arg(args, 0)))));
}

Value xmlOnData(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    std::vector<Value> result;
    if (arg(args, 0).isUndefined()) {
        result.push_back(Value(false));
    } else {
        std::vector<Value> parseArgs{arg(args, 0)};
        vm.callMethod(self, "parseXML", parseArgs);
        o->set(vm, "loaded", Value(true));
        result.push_back(Value(true));
    }
    vm.callMethod(self, "onLoad", result);
    return Value();
}

Value nothing(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

void enumerableMethod(Vm& vm, Object* on, const char* name, NativeFn fn) {
    on->define(vm, name, Value(vm.newFunction(fn)), 0);
}

// One of the methods Flash Player defines in script (they have a prototype object of their own).
void enumerableScripted(Vm& vm, Object* on, const char* name, NativeFn fn) {
    on->define(vm, name, Value(scriptLikeFunction(vm, fn)), 0);
}

// ---- XMLSocket: the class is there, but the player opens no connections ----

Value socketCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Value socketConnect(Vm& vm, const Value& self, std::vector<Value>& args) {
    vm.host.unsupported("XMLSocket.connect (the player opens no network connections)");
    return Value(false);
}

// onData(text): the text parsed into a new XML object, handed to onXML.
Value socketOnData(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::vector<Value> ctorArgs{arg(args, 0)};
    Value doc = vm.construct(vm.global->get(vm, "XML"), ctorArgs);
    std::vector<Value> handlerArgs{doc};
    vm.callMethod(self, "onXML", handlerArgs);
    return Value();
}

void installXmlSocket(Vm& vm) {
    Object* proto = vm.newObject();
    NativeFunction* cls = vm.newClass(socketCtor, proto);
    vm.method(proto, "close", nothing);
    vm.method(proto, "connect", socketConnect);
    proto->define(vm, "onData", Value(scriptLikeFunction(vm, socketOnData)), kDontEnum | kDontDelete);
    vm.method(proto, "send", nothing);
    vm.global->define(vm, "XMLSocket", Value(cls), kDontEnum);
}

}  // namespace

void installXml(Vm& vm) {
    Object* nodeProto = vm.newObject();
    NativeFunction* nodeClass = vm.newClass(nodeCtor, nodeProto, nodeCtor);
    nodeClass->allocate = allocateNode;
    enumerableMethod(vm, nodeProto, "appendChild", appendChild);
    enumerableMethod(vm, nodeProto, "cloneNode", cloneNode);
    enumerableMethod(vm, nodeProto, "getNamespaceForPrefix", getNamespaceForPrefix);
    enumerableMethod(vm, nodeProto, "getPrefixForNamespace", getPrefixForNamespace);
    enumerableMethod(vm, nodeProto, "hasChildNodes", hasChildNodes);
    enumerableMethod(vm, nodeProto, "insertBefore", insertBefore);
    enumerableMethod(vm, nodeProto, "removeNode", removeNode);
    enumerableMethod(vm, nodeProto, "toString", nodeToString);
    struct Accessor {
        const char* name;
        NativeFn get;
        NativeFn set;
    };
    const Accessor views[] = {
        {"attributes", view<View::Attributes>, nullptr},
        {"childNodes", view<View::ChildNodes>, nullptr},
        {"firstChild", view<View::FirstChild>, nullptr},
        {"lastChild", view<View::LastChild>, nullptr},
        {"localName", view<View::LocalName>, nullptr},
        {"namespaceURI", view<View::NamespaceUri>, nullptr},
        {"nextSibling", view<View::NextSibling>, nullptr},
        {"nodeName", view<View::NodeName>, setNodeName},
        {"nodeType", view<View::NodeType>, nullptr},
        {"nodeValue", view<View::NodeValue>, setNodeValue},
        {"parentNode", view<View::ParentNode>, nullptr},
        {"prefix", view<View::Prefix>, nullptr},
        {"previousSibling", view<View::PreviousSibling>, nullptr},
    };
    for (const Accessor& a : views)
        nodeProto->defineAccessor(vm, a.name, vm.newFunction(a.get), a.set ? vm.newFunction(a.set) : nullptr,
                                  0);
    vm.global->define(vm, "XMLNode", Value(nodeClass), kDontEnum);

    // XML.prototype is an XMLNode (the document node's methods and properties come from there).
    XmlNode* xmlProto = vm.make<XmlNode>(nodeProto);
    xmlProto->define(vm, "__constructor__", Value(nodeClass), kDontEnum | kVersion6Up);
    NativeFunction* xmlClass = vm.newFunction(xmlCtor, xmlCtor);
    xmlClass->define(vm, "prototype", Value(xmlProto), kDontEnum | kDontDelete);
    xmlClass->allocate = allocateNode;
    enumerableScripted(vm, xmlProto, "addRequestHeader", loadObjectAddRequestHeader);
    enumerableMethod(vm, xmlProto, "createElement", createElement);
    enumerableMethod(vm, xmlProto, "createTextNode", createTextNode);
    enumerableScripted(vm, xmlProto, "getBytesLoaded", loadObjectBytesLoaded);
    enumerableScripted(vm, xmlProto, "getBytesTotal", loadObjectBytesTotal);
    enumerableMethod(vm, xmlProto, "load", loadObjectLoad);
    enumerableScripted(vm, xmlProto, "onData", xmlOnData);
    enumerableScripted(vm, xmlProto, "onLoad", nothing);
    enumerableMethod(vm, xmlProto, "parseXML", parseXml);
    enumerableMethod(vm, xmlProto, "send", loadObjectSend);
    enumerableMethod(vm, xmlProto, "sendAndLoad", loadObjectSendAndLoad);
    xmlProto->define(vm, "contentType", Value("application/x-www-form-urlencoded"), kDontEnum);
    xmlProto->define(vm, "ignoreWhite", Value(false), kDontEnum);
    vm.global->define(vm, "XML", Value(xmlClass), kDontEnum);
    installXmlSocket(vm);
}

}  // namespace player::avm1
