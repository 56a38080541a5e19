// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/text_pieces.h"

#include <gtest/gtest.h>

namespace speech_bridge {
namespace {

std::string words(int count, const std::string& word = "ship") {
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? " " : "") + word;
  return text;
}

TEST(TextPieces, TheFirstPieceIsShortAndTheOthersAreSentencesOrLongClauses) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"  Hold position.\tAll ships, fire!  ", {"Hold position.", "All ships, fire!"}},
      {"Hold position\nFire (now.) Go", {"Hold position", "Fire (now.)", "Go"}},
      // The first piece ends at a clause once it has three words; later ones
      // once they have twelve.
      {"All ships, turn left, then hold, and wait.", {"All ships, turn left,", "then hold, and wait."}},
      {"Turn the ship and " + words(11) + ", " + words(3),
       {"Turn the ship", "and " + words(11) + ",", words(3)}},
      {words(12) + " and " + words(3), {words(10), words(2) + " and " + words(3)}},
      // At the latest after ten words first, then after twenty-four.
      {words(40), {words(10), words(24), words(6)}},
      // Or once the bytes run out, at a word's end.
      {words(6, std::string(30, 'a')), {words(3, std::string(30, 'a')), words(3, std::string(30, 'a'))}},
      {" \n\t ", {}},
  };
  for (const auto& [text, pieces] : cases) EXPECT_EQ(piecesOfText(text), pieces) << text;
}

}  // namespace
}  // namespace speech_bridge
