// How a caption is laid out: its reading direction, the words a line break
// must not split, the font face for a dictionary's script, and the font
// sizes tried when it does not fit its box.
#pragma once

#include <string_view>
#include <vector>

namespace glimmer {

// Whether a caption reads right to left: its first letter with a strong
// direction belongs to a right-to-left script (Hebrew, Arabic, ...).
// Digits, spaces, punctuation and combining marks have none; a text without
// any strong letter reads left to right.
bool ReadsRightToLeft(std::u16string_view text);

// The pieces of a caption that must each fit on one line: the runs between
// spaces, split after hyphens (a line may break there). Runs with letters
// of scripts that break lines between letters (Thai, Lao, Khmer, Myanmar,
// Chinese, Japanese) are left out: a line may break inside them.
std::vector<std::u16string_view> WordsKeptWhole(std::u16string_view text);

// The caption face for a dictionary: the platform's UI face of the
// dictionary's script, "Segoe UI" for every script it covers.
const char* CaptionFace(int dictionaryId);

// Font sizes (pixels) a caption is tried at, largest first: the layout's
// size down to the smallest that stays legible (half of it, at least 1).
std::vector<int> CaptionSizes(int layoutSize);

}  // namespace glimmer
