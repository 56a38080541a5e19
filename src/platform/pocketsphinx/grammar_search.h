// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "grammar/grammar_graph.h"

struct fsg_model_s;
struct logmath_s;

namespace speech_bridge {

// How speech that is no sentence of the grammar is told apart. Two
// unconstrained competitors run beside the grammar in the same search, so
// all three are scored on the same sounds with the same normalisation:
//
// - A loop of the model's phones. When the utterance ends, the best
//   sentence's acoustic score is compared with the best phone sequence's:
//   free phones fit any speech at least about as well as any sentence does,
//   and speech of the grammar falls short of them by little, other speech
//   (chatter, read speech) by much more. A sentence is kept when it falls
//   short by less than kRejectionMargin, in natural log per 10 ms frame.
//
// - A loop of the grammar's own words, in any order. Speech made of the
//   grammar's words in an order it lacks ("drop torpedoes" where it has
//   "drop anchor" and "fire torpedoes") fits a sentence nearly as well as
//   free phones do, but the word loop finds the words actually said. Each
//   stretch of the best sentence (each word, each filler) is judged against
//   the word loop's best path over the same frames (see word_judgement.h):
//   the sentence is kept when no stretch falls short by kStretchRejection or
//   more per frame and all of them together by less than
//   kMeanStretchRejection per frame of the sentence. Where a sentence's
//   word was said, the word loop says it too, and the two differ little.
//
// - Within the sentence, between its first word and its last, a filler
//   that free phones fit better by kInnerFillerRejection or more per frame
//   (counting at least kMinJudgedFrames) hides a word the sentence lacks:
//   over loud music "sixth ship set course <sil> west", where "south west"
//   was said. Silence and noise between words fit a filler as well as any
//   phones.
inline constexpr double kRejectionMargin = 1.3;
inline constexpr double kInnerFillerRejection = 2.0;
inline constexpr double kStretchRejection = 3.6;
inline constexpr double kMeanStretchRejection = 0.55;

// Each phone of the loop costs this (a probability, weighted like the
// grammar's own) in the search: about the margin's worth per phone. Near the
// margin the loop and the grammar then stay level, so the search (with its
// beams wide, see sphinx_decoder.cpp) keeps both alive to be compared; far
// from it one falls behind and is pruned, and the verdict is plain. The
// figures come from the recordings of bench/grammar.py, decoded as live
// audio is: the ship orders fell short of the phone loop by at most 1.24,
// other speech by at least 1.38 where the grammar was not pruned outright;
// against the word loop, no ship order's stretch fell short by more than
// 3.59 per frame nor all its stretches by more than 0.50, and 66 of 72 near
// misses (the grammar's words in orders it lacks) went beyond one or the
// other, or lost the grammar to the loops' beams.
inline constexpr double kRejectionPhoneCost = 0.3;
// Each word of the word loop costs this. Cheap enough that the word loop
// stays within the beams of a sentence that says the same words, dear
// enough that it does not cut speech into many short words.
inline constexpr double kWordLoopCost = 0.5;
// An utterance in which the word loop's words and the phone loop's phones
// both take fewer frames than this (0.2 s) held no speech: its empty text is
// no rejection.
inline constexpr int kMinSpeechFrames = 20;

// PocketSphinx keeps path scores in its log base shifted right by this many
// bits (SENSCR_SHIFT of its hmm.h).
inline constexpr int kEngineScoreShift = 10;

// The loops' words: one per phone, and one per word of the grammar, named
// so that no dictionary word and no word of a grammar can take their names.
inline constexpr std::string_view kRejectionWordPrefix = "<phone-loop:";
inline constexpr std::string_view kWordLoopPrefix = "<word-loop:";

// "uses the word "<x>", which no rule can pronounce (...)": what follows the
// grammar file's name when some of its words have no pronunciation.
GrammarProblem unpronounceableWords(const std::vector<std::string>& words, const std::string& locale);

// The graph as the engine's finite-state grammar, with `moreStates` states
// after the graph's own; weights in the engine's log base, scaled by the
// language weight. The engine never reads a grammar file itself: what it
// gets was built by our own reader, within its budget. Free it with
// fsg_model_free().
fsg_model_s* engineGrammar(const GrammarGraph& graph, logmath_s* logMath, float languageWeight, int moreStates);

// True when a hypothesis went through either loop.
bool isRejection(std::string_view hypothesis);

}  // namespace speech_bridge
