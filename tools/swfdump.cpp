// swfdump: lists a movie's tags (code, offset, length) with the fields of display-list and action tags,
// for looking into movies that render wrongly.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "swf/movie.h"

namespace {

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
    if (argc != 2) {
        std::fprintf(stderr, "usage: swfdump MOVIE\n");
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
