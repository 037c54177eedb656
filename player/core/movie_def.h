// One loaded movie: its bytes, its parsed tags, its dictionary of characters and its root timeline.
// Immutable once loaded (bitmaps and morph shapes decode lazily behind const methods).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "player/core/characters.h"
#include "player/player.h"
#include "swf/movie.h"

namespace player {

class MovieDef {
  public:
    // Parses a movie; on failure returns null and sets *error.
    static std::unique_ptr<MovieDef> load(std::vector<uint8_t> bytes, const std::string& url,
                                          std::string* error);

    const MovieInfo& info() const { return info_; }
    const Timeline& rootTimeline() const { return root_; }
    const Character* character(uint16_t id) const;
    // The movie a character belongs to: this one, or the shared library it was imported from (whose
    // dictionary the character's own placements use).
    const MovieDef* ownerOf(uint16_t id) const;
    // The embedded glyph set of a font name (case-insensitive), nearest in style; null when none.
    const FontCharacter* font(const std::string& name, bool bold, bool italic) const;
    const std::string& url() const { return url_; }
    // Length of the movie as its header declares it (uncompressed), for getBytesTotal.
    uint32_t byteSize() const { return movie_.fileHeader.declaredLength; }
    // Problems met while loading (tags skipped for errors), for the log.
    const std::vector<std::string>& warnings() const { return warnings_; }
    // Features the movie uses that the player lacks ("not supported yet: ..."), once each.
    const std::vector<std::string>& notes() const { return notes_; }
    // Characters the movie exports under a name (ExportAssets).
    const Character* exported(const std::string& name) const;
    // Sounds the movie defines (DefineSound), by id and by exported name; null when there is none.
    const swf::DefineSound* sound(uint16_t id) const;
    const swf::DefineSound* exportedSound(const std::string& name) const;
    // Whether the movie (or a sprite of it) defines or streams any sound.
    bool hasSound() const { return hasSound_; }

  private:
    void define(const swf::Tag& tag);
    void defineAll(const std::vector<swf::Tag>& tags);
    void noteTag(uint16_t code);
    void addVideoFrame(const swf::Tag& tag);
    // ImportAssets / ImportAssets2: the named characters of another local movie take ids of this one.
    void importAll(const std::vector<swf::Tag>& tags, int nesting);

    std::string url_;
    swf::Movie movie_;
    MovieInfo info_;
    Timeline root_;
    std::map<uint16_t, std::unique_ptr<Character>> dictionary_;
    std::map<std::string, uint16_t> exports_;
    struct Import {
        const MovieDef* from;
        const Character* character;
    };
    std::map<uint16_t, Import> imports_;
    std::vector<std::unique_ptr<MovieDef>> libraries_;
    static std::unique_ptr<MovieDef> loadNested(std::vector<uint8_t> bytes, const std::string& url,
                                                std::string* error, int nesting);
    std::map<uint16_t, const swf::DefineSound*> sounds_;
    bool hasSound_ = false;
    const swf::Bytes* jpegTables_ = nullptr;
    std::vector<std::string> warnings_;
    std::vector<std::string> notes_;
};

}  // namespace player
