// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/event_writer.h"

#include <gtest/gtest.h>

#include "sim/simulated_main_loop.h"
#include "sim/simulated_standard_streams.h"

namespace speech_bridge {
namespace {

TEST(EventWriter, EventWithoutFieldsHasOnlyItsKind) {
  EXPECT_EQ(serializeEvent("final", {}), R"({"event":"final"})");
}

TEST(EventWriter, MembersAreSortedAndCompact) {
  EXPECT_EQ(serializeEvent("ready", {{"on_device", true}, {"mode", std::string("listen")}}),
            R"({"event":"ready","mode":"listen","on_device":true})");
}

TEST(EventWriter, KindReplacesAFieldNamedEvent) {
  EXPECT_EQ(serializeEvent("final", {{"event", std::string("partial")}, {"text", std::string("a")}}),
            R"({"event":"final","text":"a"})");
}

TEST(EventWriter, TextIsEscapedOnOneLine) {
  EXPECT_EQ(serializeEvent("final", {{"text", std::string("a/b\nc\"d\\e\tf\x01")}}),
            R"({"event":"final","text":"a\/b\nc\"d\\e\tf\u0001"})");
}

TEST(EventWriter, TextOutsideAsciiStaysUtf8) {
  EXPECT_EQ(serializeEvent("partial", {{"text", std::string("Café 日本 🚀")}}),
            "{\"event\":\"partial\",\"text\":\"Café 日本 🚀\"}");
}

TEST(EventWriter, IllFormedUtf8IsReplacedNotLost) {
  EXPECT_EQ(serializeEvent("final", {{"text", std::string("a\xff" "b")}}),
            "{\"event\":\"final\",\"text\":\"a\xEF\xBF\xBD" "b\"}");
}

TEST(EventWriter, RecordsAreSortedInsideTheirArray) {
  const std::vector<FieldRecord> voices = {
      {{"name", "Zulu/Z"}, {"id", "z"}, {"language", "zu"}},
      {{"name", "Afrikaans"}, {"id", "gmw/af"}, {"language", "af"}},
  };
  EXPECT_EQ(serializeEvent("final", {{"voices", voices}}),
            R"({"event":"final","voices":[{"id":"z","language":"zu","name":"Zulu\/Z"},)"
            R"({"id":"gmw\/af","language":"af","name":"Afrikaans"}]})");
  EXPECT_EQ(serializeEvent("final", {{"voices", std::vector<FieldRecord>{}}}), R"({"event":"final","voices":[]})");
}

TEST(EventWriter, TextLiteralIsAStringNotABoolean) {
  const FieldValue value = "text";
  EXPECT_TRUE(std::holds_alternative<std::string>(value));
}

TEST(EventWriter, WritesTheObjectThenTheLineFeedSeparately) {
  sim::SimulatedMainLoop loop;
  sim::SimulatedStandardStreams streams(loop);
  writeEvent(streams, "final", {{"mode", std::string("speak")}});
  EXPECT_EQ(streams.writes(), (std::vector<std::string>{R"({"event":"final","mode":"speak"})", "\n"}));
}

}  // namespace
}  // namespace speech_bridge
