// swfdump: lists a movie's tags (code, offset, length) with the fields of display-list and action tags,
// for looking into movies that render wrongly.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "swf/movie.h"

namespace {

// One action record a line: offset, opcode, operands.
void dumpActions(const std::vector<swf::Action>& records, int indent) {
    for (const swf::Action& a : records) {
        std::printf("\n%*s  %5u %02X", indent, "", a.offset, a.opcode);
        if (const auto* p = std::get_if<swf::ActionPush>(&a.operands)) {
            std::printf(" push");
            for (const auto& v : p->values) {
                switch (v.type) {
                    case swf::PushValue::Type::String:
                        std::printf(" \"%s\"", v.string.c_str());
                        break;
                    case swf::PushValue::Type::Float:
                    case swf::PushValue::Type::Double:
                        std::printf(" %g", v.number);
                        break;
                    case swf::PushValue::Type::Null:
                        std::printf(" null");
                        break;
                    case swf::PushValue::Type::Undefined:
                        std::printf(" undef");
                        break;
                    case swf::PushValue::Type::Register:
                        std::printf(" r%lld", (long long)v.integer);
                        break;
                    case swf::PushValue::Type::Boolean:
                        std::printf(" %s", v.integer ? "true" : "false");
                        break;
                    case swf::PushValue::Type::Integer:
                        std::printf(" %lld", (long long)v.integer);
                        break;
                    default:
                        std::printf(" c%lld", (long long)v.integer);
                        break;
                }
            }
        } else if (const auto* c = std::get_if<swf::ActionConstantPool>(&a.operands)) {
            std::printf(" pool");
            for (size_t i = 0; i < c->constants.size(); ++i)
                std::printf(" c%zu=\"%s\"", i, c->constants[i].c_str());
        } else if (const auto* b = std::get_if<swf::ActionBranch>(&a.operands)) {
            std::printf(" -> %lld", (long long)b->target);
        } else if (const auto* f = std::get_if<swf::ActionDefineFunction>(&a.operands)) {
            std::printf(" function %s(%zu params) size %u", f->name.c_str(), f->params.size(), f->codeSize);
        } else if (const auto* f2 = std::get_if<swf::ActionDefineFunction2>(&a.operands)) {
            std::printf(" function2 %s regs %u flags %x size %u", f2->name.c_str(), f2->registerCount,
                        f2->flags, f2->codeSize);
        } else if (const auto* t = std::get_if<swf::ActionSetTarget>(&a.operands)) {
            std::printf(" setTarget \"%s\"", t->target.c_str());
        } else if (const auto* g = std::get_if<swf::ActionGetURL>(&a.operands)) {
            std::printf(" getURL \"%s\" \"%s\"", g->url.c_str(), g->target.c_str());
        } else if (const auto* r = std::get_if<swf::ActionStoreRegister>(&a.operands)) {
            std::printf(" store r%u", r->reg);
        }
    }
}

bool gActions = false;

void dumpTags(const std::vector<swf::Tag>& tags, int indent) {
    int frame = 1;
    for (const swf::Tag& t : tags) {
        std::printf("%*s[%d] tag %d at %u, %u bytes", indent, "", frame, t.code, t.offset, t.length);
        if (const auto* p = std::get_if<swf::PlaceObject>(&t.body)) {
            std::printf(" PlaceObject%d depth=%d move=%d", p->version, p->depth, p->move);
            if (p->characterId) std::printf(" char=%d", *p->characterId);
            if (p->matrix)
                std::printf(" matrix=[%.3f %.3f %.3f %.3f %d %d]", p->matrix->a(), p->matrix->b(),
                            p->matrix->c(), p->matrix->d(), p->matrix->translateX, p->matrix->translateY);
            if (p->cxform)
                std::printf(" cx=[%d %d %d %d | %d %d %d %d]", p->cxform->mult[0], p->cxform->mult[1],
                            p->cxform->mult[2], p->cxform->mult[3], p->cxform->add[0], p->cxform->add[1],
                            p->cxform->add[2], p->cxform->add[3]);
            if (p->ratio) std::printf(" ratio=%d", *p->ratio);
            if (p->name) std::printf(" name=%s", p->name->c_str());
            if (p->clipDepth) std::printf(" clipDepth=%d", *p->clipDepth);
            if (p->blendMode) std::printf(" blend=%d", *p->blendMode);
            if (p->clipActions) std::printf(" clipActions");
        } else if (const auto* r = std::get_if<swf::RemoveObject>(&t.body)) {
            std::printf(" RemoveObject depth=%d", r->depth);
        } else if (const auto* a = std::get_if<swf::DoAction>(&t.body)) {
            std::printf(" DoAction:");
            if (gActions)
                dumpActions(a->records, indent);
            else
                for (const auto& rec : a->records)
                    std::printf(" %02X", rec.opcode);
        } else if (const auto* s = std::get_if<swf::DefineShape>(&t.body)) {
            std::printf(" DefineShape%d id=%d fills=%zu lines=%zu records=%zu", s->version, s->id,
                        s->shape.styles.fills.size(), s->shape.styles.lines.size(), s->shape.records.size());
        } else if (const auto* sp = std::get_if<swf::DefineSprite>(&t.body)) {
            std::printf(" DefineSprite id=%d frames=%d\n", sp->id, sp->frameCount);
            dumpTags(sp->tags, indent + 4);
            continue;
        } else if (const auto* l = std::get_if<swf::FrameLabel>(&t.body)) {
            std::printf(" FrameLabel %s", l->name.c_str());
        }
        std::printf("\n");
        if (t.code == 1) ++frame;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--actions") {
        gActions = true;
        argv[1] = argv[2];
        argc = 2;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: swfdump [--actions] MOVIE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto movie = swf::parseMovie(bytes);
    if (!movie) {
        std::fprintf(stderr, "swfdump: %s\n", movie.error().describe().c_str());
        return 1;
    }
    std::printf("version %d, %d frames at %.2f fps, stage %d..%d x %d..%d twips\n", movie->version,
                movie->frameCount, movie->frameRate, movie->frameSize.xMin, movie->frameSize.xMax,
                movie->frameSize.yMin, movie->frameSize.yMax);
    for (const auto& e : movie->errors)
        std::printf("error: %s\n", e.describe().c_str());
    dumpTags(movie->tags, 0);
    return 0;
}
