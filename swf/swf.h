// SWF reading for Tolvikan: file header, decompression, tags into plain typed records, AVM1 action
// decoding. Bytes in, plain data out: no player state, no Qt, no files (callers pass bytes), no globals, so
// any thread may parse any movie. Every movie is untrusted input: malformed data yields an Error with the
// tag code and byte offset or a skipped tag, never a crash, a hang or unbounded memory.
//
// Limits (all enforced, all reported as errors):
//  - uncompressed movie size: kMaxMovieBytes (256 MiB, header included); the length a movie claims is
//    never allocated up front, only what decompression really produces;
//  - LZMA dictionary: never more than the uncompressed body (hostile property bytes cannot make it large);
//  - memory of the parsed records per movie (tags, shape records, styles, glyphs, text glyphs, action
//    records), charged at each record's size: kMaxParsedBytes (1 GiB), a few times the largest movie;
//  - sprite nesting: kMaxSpriteDepth (1): a DefineSprite inside a DefineSprite is kept raw and reported;
//  - every count in the file (styles, records, glyphs, constants, parameters) is read against the bytes
//    that remain: a count larger than the data stops at the data's end with an error, and no buffer is
//    sized from a count without that check;
//  - action records per action block: kMaxActionsPerBlock;
//  - errors kept per movie: 1000, then one entry saying that more were left out.
// A movie cut short (or with damaged compressed data) keeps every tag that arrived whole; Movie::endedEarly
// and an error say where it stopped.
#pragma once

#include "swf/actions.h"
#include "swf/bit_reader.h"
#include "swf/decompress.h"
#include "swf/filters.h"
#include "swf/movie.h"
#include "swf/result.h"
#include "swf/tags.h"
#include "swf/types.h"
