#pragma once

#include <cstdint>
#include <string_view>

#include "objects/ScrollTextRules.h"

// The scroller's message: 72 spaces, the text, 71 spaces and the end marker '|', at which the
// line starts over. Only 'A'-'Z', '.' and single spaces may appear in the text (checked below).
inline constexpr char scrolltext[] =
    "                                                                        "
    "WELCOME TO THE DISCO. GRAB A SEAT OR BETTER STILL GET UP AND DANCE WITH THE EIGHTEEN "
    "LITTLE FIGURES WHO HOP AND ROCK IN A RING AROUND THE MIRROR BALL. THEY NEVER GET TIRED "
    "AND THEY NEVER MISS A BEAT. THE FLOOR UNDER THEIR FEET CHANGES COLOUR FIVE TIMES EVERY "
    "TWO SECONDS AND THE FOUR BIG DISCS FAR BEHIND THE STAGE DRIFT SLOWLY THROUGH THE DARK "
    "LIKE SPOTLIGHTS LOOKING FOR A STAR. EVERYTHING YOU SEE IS DRAWN FRESH SIXTY TIMES A "
    "SECOND WITH PLAIN OLD FIXED FUNCTION OPENGL. NO SHADERS AND NO TRICKS. JUST TEXTURED "
    "QUADS AND A LITTLE BIT OF SINE AND COSINE. THE MUSIC IS A LOOP OF THIRTY TWO BARS AT ONE "
    "HUNDRED AND TWENTY BEATS PER MINUTE AND IT GOES ON AS LONG AS YOU LIKE. THIS LINE OF "
    "TEXT WILL COME BACK AGAIN WHEN IT REACHES THE END SO THERE IS NO NEED TO HURRY. WHEN YOU "
    "HAVE HAD ENOUGH OF THE PARTY PRESS ANY KEY AND THE LIGHTS GO OUT AT ONCE. THANK YOU FOR "
    "WATCHING AND KEEP ON DANCING ALL NIGHT UNTIL THE SUN COMES UP."
    "                                                                       "
    "|";

// Pixel column at which each glyph cell of the font strip begins; the last entry is the strip's
// right end, so cell g spans CharacterOffsets[g] .. CharacterOffsets[g + 1].
// 'A'-'Z' are cells 0-25 and '.' is cell 28; cells 26, 27 and 29 are never shown.
inline constexpr int32_t CharacterOffsets[31] = {0,   17,  34,  57,  78,  93,  108, 127,
                                                 144, 154, 165, 186, 198, 221, 237, 261,
                                                 277, 299, 317, 330, 346, 363, 381, 403,
                                                 419, 435, 452, 464, 480, 493, 512};
inline constexpr int32_t kFontStripWidth = 512;

inline constexpr int kFullStopCell = 28;

// The font cell of a letter or '.'.
constexpr int glyphCell(char c) { return c == '.' ? kFullStopCell : c - 'A'; }

// Index of the end marker; one pass of the message is that many steps minus the 79 cells after
// the first, i.e. 991 steps (247.75 s at four steps a second).
inline constexpr int32_t kScrollTextMarkerIndex = static_cast<int32_t>(sizeof scrolltext) - 2;

static_assert(scrolltext_rules::isWellFormedMessage(std::string_view(scrolltext, sizeof scrolltext - 1)),
              "the scroller message must be 72 spaces, letters/'.'/single spaces, 71 spaces and '|'");
static_assert(kScrollTextMarkerIndex == 1070, "the text is 927 characters: one pass is 991 steps");
static_assert(scrolltext_rules::isWellFormedColumnTable(CharacterOffsets, kFontStripWidth),
              "the column table must rise from 0 to the strip's width");
static_assert(glyphCell('Z') + 1 < 31 && glyphCell('.') + 1 < 31, "every glyph has an end column");
