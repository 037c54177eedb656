// The scripting world's objects driven straight through the Vm: dates and their arithmetic, XML round
// trips and parse errors, the order timers run in, LoadVars encoding and files arriving on a later frame.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "player/avm1/builtins/loading.h"
#include "player/avm1/vm.h"
#include "player/core/movie_file.h"

namespace {

using namespace player::avm1;

// A host with a clock the test moves and files it serves from memory.
class TestHost : public Host {
  public:
    std::vector<std::string> lines;
    double now = 0;
    std::map<std::string, std::string> files;
    void trace(const std::string& line) override { lines.push_back(line); }
    void log(const std::string& line) override {}
    void unsupported(const std::string& what) override {}
    void getUrl(const std::string&, const std::string&, int, ClipObject*) override {}
    double timeMs() override { return now; }
    ClipObject* level(int) override { return nullptr; }
    void loadClip(const std::string&, int, ClipObject*, Object*, ClipObject*) override {}
    bool readLocalFile(const std::string& url, std::string& out) override {
        auto it = files.find(url);
        if (it == files.end()) return false;
        out = it->second;
        return true;
    }
};

// A native function that records its arguments as one line.
Value record(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::string line;
    for (const Value& a : args)
        line += (line.empty() ? "" : " ") + vm.toString(a);
    vm.host.trace(line);
    return Value();
}

struct World : ::testing::Test {
    TestHost host;
    Vm vm{host, 8};

    Value global(const char* name) { return vm.global->get(vm, name); }
    Value construct(const char* cls, std::vector<Value> args) { return vm.construct(global(cls), args); }
    Value call(const Value& o, const char* method, std::vector<Value> args = {}) {
        return vm.callMethod(o, method, args);
    }
    std::string str(const Value& v) { return vm.toString(v); }
};

// ---- Date ----

TEST_F(World, DateFieldsAndFormatFollowTheCalendar) {
    struct Case {
        std::vector<Value> args;
        const char* text;
        double time;
    } cases[] = {
        {{Value(0)}, "Thu Jan 1 00:00:00 GMT+0000 1970", 0},
        {{Value(-1000)}, "Wed Dec 31 23:59:59 GMT+0000 1969", -1000},
        // Years 0..99 are 1900..1999; fields out of range carry over.
        {{Value(83), Value(5), Value(25), Value(13), Value(50), Value(50), Value(300)},
         "Sat Jun 25 13:50:50 GMT+0000 1983",
         425397050300},
        {{Value(2000), Value(11), Value(31), Value(23), Value(59), Value(59), Value(999)},
         "Sun Dec 31 23:59:59 GMT+0000 2000",
         978307199999},
        {{Value(2000), Value(1), Value(29)}, "Tue Feb 29 00:00:00 GMT+0000 2000", 951782400000},
        {{Value(1900), Value(1), Value(29)}, "Thu Mar 1 00:00:00 GMT+0000 1900", -2203891200000},
        {{Value(7002.5), Value(13.5), Value(32.5), Value(24.5), Value(60.5), Value(60.5), Value(1000.5)},
         "Sat Mar 5 01:01:01 GMT+0000 7003",
         158831542861000},
        {{Value(std::nan(""))}, "Invalid Date", std::nan("")},
    };
    for (const Case& c : cases) {
        Value d = construct("Date", c.args);
        EXPECT_EQ(str(call(d, "toString")), c.text);
        double t = vm.toNumber(call(d, "getTime"));
        if (std::isnan(c.time))
            EXPECT_TRUE(std::isnan(t));
        else
            EXPECT_EQ(t, c.time) << c.text;
    }
    Value d = construct("Date", {Value(-1594844387653.0)});
    EXPECT_EQ(str(call(d, "getFullYear")), "1919");
    EXPECT_EQ(str(call(d, "getYear")), "19");
    EXPECT_EQ(str(call(d, "getMonth")), "5");
    EXPECT_EQ(str(call(d, "getDate")), "19");
    EXPECT_EQ(str(call(d, "getDay")), "4");
    EXPECT_EQ(str(call(d, "getMilliseconds")), "347");
    EXPECT_EQ(str(call(d, "getTimezoneOffset")), "0");
}

TEST_F(World, DateSettersReplaceTheFieldsGivenAndKeepTheRest) {
    Value d =
        construct("Date", {Value(2020), Value(10), Value(15), Value(14), Value(13), Value(12), Value(11)});
    call(d, "setMonth", {Value(1), Value(2)});
    EXPECT_EQ(str(d), "Sun Feb 2 14:13:12 GMT+0000 2020");
    call(d, "setHours", {Value(25)});
    EXPECT_EQ(str(d), "Mon Feb 3 01:13:12 GMT+0000 2020");
    call(d, "setYear", {Value(1)});
    EXPECT_EQ(str(d), "Sun Feb 3 01:13:12 GMT+0000 1901");
    call(d, "setFullYear", {Value(1)});
    EXPECT_EQ(str(call(d, "getFullYear")), "1");
    // An invalid date stays invalid for every field but the year.
    call(d, "setTime", {Value(std::nan(""))});
    call(d, "setDate", {Value(3)});
    EXPECT_EQ(str(d), "Invalid Date");
    call(d, "setFullYear", {Value(2001)});
    EXPECT_EQ(str(d), "Mon Jan 1 00:00:00 GMT+0000 2001");
    EXPECT_TRUE(call(global("Date"), "UTC", {Value(2000)}).isUndefined()) << "a year alone is not enough";
    EXPECT_EQ(str(call(global("Date"), "UTC", {Value(1), Value(2)})), "-2172355200000");
}

TEST_F(World, NowIsTheMoviesClock) {
    host.now = 1500;
    EXPECT_EQ(str(construct("Date", {})), "Sat Jan 1 00:00:01 GMT+0000 2000");
    std::vector<Value> none;
    EXPECT_EQ(str(vm.call(global("Date"), Value(), none)), "Sat Jan 1 00:00:01 GMT+0000 2000");
    EXPECT_EQ(str(vm.call(global("getTimer"), Value(), none)), "1500");
}

// ---- timers ----

TEST_F(World, TimersRunInDueOrderOnTheMoviesClock) {
    Value fn(vm.newFunction(record));
    std::vector<Value> a{fn, Value(300), Value("every 300")};
    std::vector<Value> b{fn, Value(100), Value("once at 100")};
    std::vector<Value> c{fn, Value(300), Value("once at 300")};
    Value every300 = vm.call(global("setInterval"), Value(), a);
    Value at100 = vm.call(global("setTimeout"), Value(), b);
    vm.call(global("setTimeout"), Value(), c);
    EXPECT_EQ(str(every300), "1");
    EXPECT_EQ(str(at100), "2");
    host.now = 250;
    vm.runTimers();
    host.now = 650;
    vm.runTimers();
    std::vector<Value> clear{every300};
    vm.call(global("clearInterval"), Value(), clear);
    host.now = 2000;
    vm.runTimers();
    std::vector<std::string> want{"once at 100", "every 300", "once at 300", "every 300"};
    EXPECT_EQ(host.lines, want);
}

TEST_F(World, TimerArgumentsAreCheckedAndMethodsLookedUpWhenTheyRun) {
    std::vector<Value> none;
    EXPECT_TRUE(vm.call(global("setInterval"), Value(), none).isUndefined());
    std::vector<Value> noDelay{Value(vm.newFunction(record))};
    EXPECT_TRUE(vm.call(global("setInterval"), Value(), noDelay).isUndefined());
    Object* o = vm.newObject();
    std::vector<Value> byName{Value(o), Value("tick"), Value(50), Value("x")};
    EXPECT_FALSE(vm.call(global("setInterval"), Value(), byName).isUndefined());
    o->set(vm, "tick", Value(vm.newFunction(record)));
    host.now = 120;
    vm.runTimers();
    // Two periods have passed: the interval catches up within the frame.
    EXPECT_EQ(host.lines, (std::vector<std::string>{"x", "x"}));
}

// ---- XML ----

TEST_F(World, XmlRoundTripsAndReportsWhereParsingStopped) {
    struct Case {
        const char* source;
        const char* printed;
        int status;
    } cases[] = {
        {"<a><b/></a>", "<a><b /></a>", 0},
        {"<a x='1' y=\"2\" x='3'/>", "<a x=\"1\" y=\"2\" />", 0},
        {"<?xml version=\"1.0\"?><!DOCTYPE a><a x=\"1\" y='&lt;2&gt;'>t &amp; u</a>",
         "<?xml version=\"1.0\"?><!DOCTYPE a><a x=\"1\" y=\"&lt;2&gt;\">t &amp; u</a>", 0},
        {"<a>&unknown; &apos;</a>", "<a>&amp;unknown; &apos;</a>", 0},
        {"<a><![CDATA[<raw>]]><!-- gone --></a>", "<a>&lt;raw&gt;</a>", 0},
        {"<a/><?xml A", "<a />", -3},
        {"<a/><!DOCTYPE A", "<a />", -4},
        {"<a/><!-- <b/>", "<a />", -5},
        {"<a A/><b/>", "", -6},
        {"<a A='x></a>", "", -8},
        {"<a><b><c/></a>", "<a><b><c /></b></a>", -9},
        {"<a></b><c/></a>", "<a />", -10},
        {"<a/ ></a/>", "<a/ />", -10},
    };
    for (const Case& c : cases) {
        Value x = construct("XML", {Value(c.source)});
        EXPECT_EQ(str(x), c.printed) << c.source;
        EXPECT_EQ(str(x.object()->get(vm, "status")), std::to_string(c.status)) << c.source;
    }
}

TEST_F(World, XmlNodesMoveBetweenParentsAndCloneDeeply) {
    Value x = construct("XML", {Value("<r><a/><b>t</b></r>")});
    Object* doc = x.object();
    Value r = doc->get(vm, "firstChild");
    Value a = r.object()->get(vm, "firstChild");
    Value b = r.object()->get(vm, "lastChild");
    Value kids = r.object()->get(vm, "childNodes");
    EXPECT_EQ(str(kids.object()->get(vm, "length")), "2");
    // Appending a node moves it from its parent; the childNodes array follows. Appending a node to the
    // parent it is in already leaves it in place.
    call(r, "appendChild", {a});
    EXPECT_EQ(str(x), "<r><a /><b>t</b></r>");
    call(a, "appendChild", {b});
    EXPECT_EQ(str(x), "<r><a><b>t</b></a></r>");
    EXPECT_EQ(str(kids.object()->get(vm, "length")), "1");
    EXPECT_TRUE(vm.strictEquals(b.object()->get(vm, "parentNode"), a));
    // A node cannot become its own descendant.
    call(b, "appendChild", {r});
    EXPECT_EQ(str(x), "<r><a><b>t</b></a></r>");
    Value copy = call(r, "cloneNode", {Value(true)});
    call(b, "removeNode");
    EXPECT_EQ(str(x), "<r><a /></r>");
    EXPECT_EQ(str(copy), "<r><a><b>t</b></a></r>");
    Value text = call(x, "createTextNode", {Value("1 < 2")});
    Value el = call(x, "createElement", {Value("n:e")});
    call(r, "insertBefore", {text, a});
    call(r, "appendChild", {el});
    EXPECT_EQ(str(x), "<r>1 &lt; 2<a /><n:e /></r>");
    EXPECT_EQ(str(el.object()->get(vm, "prefix")), "n");
    EXPECT_EQ(str(el.object()->get(vm, "localName")), "e");
    EXPECT_TRUE(text.object()->get(vm, "nodeName").isNull());
    EXPECT_EQ(str(text.object()->get(vm, "nodeType")), "3");
}

TEST_F(World, XmlIgnoreWhiteAndNamespaces) {
    Value x = construct("XML", {});
    x.object()->set(vm, "ignoreWhite", Value(true));
    call(x, "parseXML", {Value("<r xmlns:p=\"urn:p\">\n  <p:a> t </p:a>\n</r>")});
    EXPECT_EQ(str(x), "<r xmlns:p=\"urn:p\"><p:a> t </p:a></r>");
    Value a = x.object()->get(vm, "firstChild").object()->get(vm, "firstChild");
    EXPECT_EQ(str(a.object()->get(vm, "namespaceURI")), "urn:p");
    EXPECT_EQ(str(call(a, "getNamespaceForPrefix", {Value("p")})), "urn:p");
    EXPECT_EQ(str(call(a, "getPrefixForNamespace", {Value("urn:p")})), "p");
}

// ---- property version flags ----

// What a movie of each version sees of a property its flags mark for other versions: reading it,
// for..in, hasOwnProperty. Clearing the flags with ASSetPropFlags shows it again.
TEST(WorldVersions, VersionFlagsHideAPropertyFromReadingButNotFromForIn) {
    struct Case {
        int flags;
        int version;
        bool readable;
        bool ownProperty;
    } cases[] = {
        {kVersion6Up, 5, false, true},   {kVersion6Up, 6, true, true},   {kNotVersion6, 5, true, false},
        {kNotVersion6, 6, false, false}, {kNotVersion6, 7, true, false}, {kVersion7Up, 6, false, true},
        {kVersion8Up, 7, false, true},   {kVersion8Up, 8, true, true},   {kVersion9Up, 8, false, true},
    };
    for (const Case& c : cases) {
        TestHost host;
        Vm vm(host, c.version);
        std::string what = "flags " + std::to_string(c.flags) + ", SWF " + std::to_string(c.version);
        Object* o = vm.newObject();
        o->set(vm, "p", Value(1));
        Value setFlags = vm.global->get(vm, "ASSetPropFlags");
        std::vector<Value> args{Value(o), Value("p"), Value(c.flags), Value(0)};
        vm.call(setFlags, Value(), args);
        EXPECT_EQ(vm.toString(o->get(vm, "p")), c.readable ? "1" : (c.version >= 7 ? "undefined" : ""))
            << what;
        std::vector<std::string> keys;
        o->ownKeys(vm, keys);
        EXPECT_EQ(keys, std::vector<std::string>{"p"}) << what;
        std::vector<Value> name{Value("p")};
        EXPECT_EQ(vm.callMethod(Value(o), "hasOwnProperty", name).boolean(), c.ownProperty) << what;
        args = {Value(o), Value("p"), Value(0), Value(0x3FFF)};
        vm.call(setFlags, Value(), args);
        EXPECT_EQ(vm.toString(o->get(vm, "p")), "1") << what;
    }
}

TEST(WorldVersions, StoringIntoAHiddenPropertyReplacesIt) {
    // A SWF 8 movie's store replaces a property kept for SWF 9: the new one is visible and unflagged.
    TestHost host;
    Vm vm(host, 8);
    Object* o = vm.newObject();
    o->set(vm, "p", Value(1));
    o->changeFlags(vm, "p", kVersion9Up | kReadOnly, 0);
    o->set(vm, "p", Value(2));
    EXPECT_EQ(vm.toString(o->get(vm, "p")), "2");
    std::vector<std::string> keys;
    o->ownKeys(vm, keys);
    EXPECT_EQ(keys, std::vector<std::string>{"p"}) << "one property, not two";
    // A SWF 6 movie writes into a property kept for SWF 7 and later, which stays hidden.
    Vm six(host, 6);
    Object* q = six.newObject();
    q->set(six, "p", Value(1));
    q->changeFlags(six, "p", kVersion7Up, 0);
    q->set(six, "p", Value(2));
    EXPECT_TRUE(q->get(six, "p").isUndefined());
    q->changeFlags(six, "p", 0, kVersion7Up);
    EXPECT_EQ(six.toString(q->get(six, "p")), "2");
}

TEST(WorldVersions, Swf5MoviesDoNotSeeAFunctionsProtoOrAnInstancesConstructor) {
    TestHost host;
    for (int version : {5, 6}) {
        Vm vm(host, version);
        NativeFunction* cls =
            vm.newClass([](Vm&, const Value&, std::vector<Value>&) { return Value(); }, vm.newObject());
        EXPECT_EQ(cls->get(vm, "__proto__").isUndefined(), version == 5) << version;
        std::vector<Value> none;
        Object* made = vm.construct(Value(cls), none).object();
        ASSERT_TRUE(made);
        EXPECT_EQ(made->get(vm, "__constructor__").isUndefined(), version == 5) << version;
        EXPECT_EQ(made->get(vm, "__proto__").object(), cls->get(vm, "prototype").object()) << version;
    }
}

// ---- loaded text and the loading natives ----

TEST(Loading, LoadedTextIsDecodedByVersionAndByteOrderMark) {
    struct Case {
        std::string bytes;
        int version;
        std::string text;
    } cases[] = {
        {"a=\xC5", 5, "a=\xC3\x85"},  // Latin-1 before SWF 6
        {"\xEF\xBB\xBF"
         "a",
         5,
         "\xC3\xAF\xC2\xBB\xC2\xBF"
         "a"},  // ... even a byte order mark
        {"\xEF\xBB\xBF"
         "a\xC3\x85",
         6, "a\xC3\x85"},  // UTF-8, its mark dropped
        {std::string("\xFE\xFF\0a\0\xC5\xD8\x3D\xDE\x00", 10), 7, "a\xC3\x85\xF0\x9F\x98\x80"},
        {std::string("\xFF\xFE"
                     "a\0\xC5\0",
                     6),
         8, "a\xC3\x85"},
        {std::string("ab\0cd", 5), 8, "ab"},  // the text ends at NUL
        {std::string("ab\0cd", 5), 5, "ab"},
        {std::string("\0\0\xFE\xFF"
                     "ab",
                     6),
         8, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeLoadedText(c.bytes, c.version), c.text) << c.version << " " << c.bytes;
}

TEST(Loading, LocalUrlEscapesAreDecodedAndAnEscapedNulEndsTheName) {
    struct Case {
        const char* url;
        const char* path;
    } cases[] = {
        {"my%20file.txt", "/movies/my file.txt"},
        {"vars.txt%00ignored", "/movies/vars.txt"},
        {"100%.txt", "/movies/100%.txt"},
        {"a%2x.txt?x=%20", "/movies/a%2x.txt"},
    };
    for (const Case& c : cases) {
        std::string path;
        EXPECT_TRUE(player::resolveLocalUrl(c.url, "/movies/main.swf", path, nullptr)) << c.url;
        EXPECT_EQ(path, c.path) << c.url;
    }
}

TEST_F(World, AddRequestHeaderKeepsNameValuePairs) {
    Value lv = construct("LoadVars", {});
    auto headers = [&] { return str(lv.object()->get(vm, "_customHeaders")); };
    call(lv, "addRequestHeader", {Value("Key"), Value("Value")});
    EXPECT_EQ(headers(), "Key,Value");
    call(lv, "addRequestHeader", {Value(vm.newArray({Value("K1"), Value("V1"), Value("K2")}))});
    EXPECT_EQ(headers(), "Key,Value,K1,V1") << "an array gives its whole pairs";
    call(lv, "addRequestHeader", {Value("Key"), Value(1)});
    call(lv, "addRequestHeader", {Value("Key")});
    EXPECT_EQ(headers(), "Key,Value,K1,V1") << "only strings are headers";
    std::vector<std::string> keys;
    lv.object()->ownKeys(vm, keys);
    EXPECT_TRUE(keys.empty()) << "the list is hidden";
}

TEST_F(World, AnyObjectLoadsThroughTheSharedLoadNative) {
    host.files["data.txt"] = "hello";
    std::vector<Value> number{Value(301), Value(0)};
    Value load = vm.call(global("ASnative"), Value(), number);
    Object* o = vm.newObject();
    o->set(vm, "load", load);
    o->set(vm, "onData", Value(vm.newFunction(record)));
    EXPECT_EQ(str(call(Value(o), "load")), "false") << "no address, no load";
    EXPECT_TRUE(o->get(vm, "_bytesLoaded").isUndefined());
    EXPECT_EQ(str(call(Value(o), "load", {Value("data.txt")})), "true");
    EXPECT_EQ(str(o->get(vm, "_bytesLoaded")), "0");
    EXPECT_EQ(str(o->get(vm, "_bytesTotal")), "undefined");
    vm.runTimers();
    EXPECT_EQ(host.lines, std::vector<std::string>{"hello"});
    EXPECT_EQ(str(o->get(vm, "_bytesTotal")), "5");
    EXPECT_EQ(str(o->get(vm, "loaded")), "false") << "only LoadVars' and XML's onData mark it loaded";
}

// ---- loading and LoadVars ----

TEST_F(World, LoadedDataArrivesOnTheNextFrame) {
    host.files["vars.txt"] = "a=1&b=two%20words&c";
    Value lv = construct("LoadVars", {});
    lv.object()->define(vm, "onLoad", Value(vm.newFunction(record)), kDontEnum);
    EXPECT_EQ(str(call(lv, "load", {Value("vars.txt")})), "true");
    EXPECT_TRUE(host.lines.empty());
    vm.runTimers();
    EXPECT_EQ(host.lines, std::vector<std::string>{"true"});
    EXPECT_EQ(str(lv.object()->get(vm, "b")), "two words");
    EXPECT_EQ(str(lv.object()->get(vm, "c")), "");
    // Pairs come out newest first, every byte but letters and digits escaped.
    EXPECT_EQ(str(call(lv, "toString")), "c=&b=two%20words&a=1");

    Value x = construct("XML", {});
    x.object()->set(vm, "onLoad", Value(vm.newFunction(record)));
    call(x, "load", {Value("missing.xml")});
    vm.runTimers();
    EXPECT_EQ(host.lines.back(), "false");
}

}  // namespace

namespace {

// ---- flash.geom ----

TEST_F(World, GeomMatrixAndRectangleArithmetic) {
    Object* geom = global("flash").object()->get(vm, "geom").object();
    auto make = [&](const char* cls, std::vector<Value> args) {
        return vm.construct(geom->get(vm, cls), args);
    };
    Value m = make("Matrix", {Value(2), Value(0), Value(0), Value(4), Value(10), Value(20)});
    Value inverse = call(m, "clone");
    call(inverse, "invert");
    EXPECT_EQ(str(inverse), "(a=0.5, b=0, c=0, d=0.25, tx=-5, ty=-5)");
    call(m, "concat", {inverse});
    EXPECT_EQ(str(m), "(a=1, b=0, c=0, d=1, tx=0, ty=0)");
    Value p = call(make("Matrix", {}), "transformPoint", {make("Point", {Value(3), Value(4)})});
    EXPECT_EQ(str(p), "(x=3, y=4)");
    // Members keep what the script gave them; + concatenates strings as the language does.
    Value odd = make("Point", {Value("1"), Value(2)});
    call(odd, "offset", {Value(1), Value(1)});
    EXPECT_EQ(str(odd), "(x=11, y=3)");

    Value a = make("Rectangle", {Value(0), Value(0), Value(10), Value(10)});
    Value b = make("Rectangle", {Value(5), Value(5), Value(10), Value(10)});
    EXPECT_EQ(str(call(a, "union", {b})), "(x=0, y=0, w=15, h=15)");
    EXPECT_EQ(str(call(a, "intersection", {b})), "(x=5, y=5, w=5, h=5)");
    EXPECT_EQ(str(call(a, "contains", {Value(10), Value(5)})), "false") << "the right edge is outside";
    a.object()->set(vm, "left", Value(-5));
    EXPECT_EQ(str(a), "(x=-5, y=0, w=15, h=10)") << "moving the left edge keeps the right one";

    Value cx = make("ColorTransform", {});
    cx.object()->set(vm, "rgb", Value(0x102030));
    EXPECT_EQ(str(cx),
              "(redMultiplier=0, greenMultiplier=0, blueMultiplier=0, alphaMultiplier=1, redOffset=16, "
              "greenOffset=32, blueOffset=48, alphaOffset=0)");
}

TEST(WorldVersions, GeomIsThereFromVersion6AndMatrixFrom8) {
    TestHost host;
    Vm swf5(host, 5), swf7(host, 7);
    EXPECT_TRUE(swf5.global->get(swf5, "flash").isUndefined());
    Object* flash = swf7.global->get(swf7, "flash").object();
    ASSERT_TRUE(flash);
    Object* geom = flash->get(swf7, "geom").object();
    ASSERT_TRUE(geom);
    EXPECT_TRUE(geom->get(swf7, "Point").object());
    EXPECT_TRUE(geom->get(swf7, "Matrix").isUndefined());
}

}  // namespace
