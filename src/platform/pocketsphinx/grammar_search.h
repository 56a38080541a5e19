// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace speech_bridge {

// How speech that is no sentence of the grammar is told apart: a loop of the
// model's phones runs beside the grammar in the same search, so both are
// scored on the same sounds. Each phone of the loop costs kRejectionPhoneCost
// (a probability, weighted like the grammar's own); where the loop still
// beats every sentence of the grammar, the speech is no sentence of it. The
// figure was measured on rendered orders and on read speech (bench/grammar.py):
// a dearer loop lets more speech pass for an order, a cheaper one rejects
// orders said poorly.
inline constexpr double kRejectionPhoneCost = 0.03;

// The loop's words: one per phone, named so that no dictionary word and no
// word of a grammar can take their names.
inline constexpr std::string_view kRejectionWordPrefix = "<phone-loop:";

// True when a hypothesis went through the phone loop.
bool isRejection(std::string_view hypothesis);

}  // namespace speech_bridge
