// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/libplist/embedded_property_list.h"

#include <gtest/gtest.h>

namespace speech_bridge {
namespace {

TEST(EmbeddedPropertyList, CarriesTheUsageDescriptionsAndBundleEntries) {
  const EmbeddedPropertyList list;
  EXPECT_EQ(list.objectForInfoDictionaryKey("NSSpeechRecognitionUsageDescription"),
            "Transcribe your spoken ship orders on this Mac.");
  EXPECT_EQ(list.objectForInfoDictionaryKey("NSMicrophoneUsageDescription"),
            "Record your spoken ship order when you press Talk to ship.");
  EXPECT_EQ(list.objectForInfoDictionaryKey("CFBundleName"), "Tessary");
  EXPECT_TRUE(list.objectForInfoDictionaryKey("CFBundleIconFile").has_value());
  // PROJECT_VERSION: the version the build gives the program and its package.
  EXPECT_EQ(list.objectForInfoDictionaryKey("CFBundleShortVersionString"), PROJECT_VERSION);
  EXPECT_EQ(list.objectForInfoDictionaryKey("CFBundleVersion"), PROJECT_VERSION);
  EXPECT_EQ(list.objectForInfoDictionaryKey("NSCameraUsageDescription"), std::nullopt);
}

TEST(EmbeddedPropertyList, AnEmptyValueIsPresentAndOtherTypesCount) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
      "<key>Empty</key><string></string><key>Flag</key><true/></dict></plist>";
  const EmbeddedPropertyList list(xml);
  EXPECT_EQ(list.objectForInfoDictionaryKey("Empty"), "");
  EXPECT_TRUE(list.objectForInfoDictionaryKey("Flag").has_value());
  EXPECT_EQ(list.objectForInfoDictionaryKey("Missing"), std::nullopt);
}

TEST(EmbeddedPropertyList, UnreadableBytesHaveNoKeys) {
  const EmbeddedPropertyList list(std::string_view("not a property list"));
  EXPECT_EQ(list.objectForInfoDictionaryKey("NSSpeechRecognitionUsageDescription"), std::nullopt);
}

}  // namespace
}  // namespace speech_bridge
