// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/speech_model.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "platform/language_tag.h"
#include "unit/recording_fixtures.h"

namespace speech_bridge {
namespace {

TEST(CanonicalLocale, IgnoresCaseAndTheKindOfSeparator) {
  EXPECT_EQ(canonicalLanguageTag("en-US"), "en-us");
  EXPECT_EQ(canonicalLanguageTag("en_US"), "en-us");
  EXPECT_EQ(canonicalLanguageTag("EN-us"), "en-us");
  EXPECT_EQ(canonicalLanguageTag("zh_Hant_TW"), "zh-hant-tw");
}

class ModelTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder.path("am"));
    folder.writeFile("am/mdef", "x");
    folder.writeFile("lm.bin", "x");
    folder.writeFile("words.dict", "x");
  }

  std::array<ModelLocation, 1> table() {
    root = folder.path("");
    root.pop_back();
    return {ModelLocation{"de-DE", root, "am", "lm.bin", "words.dict", 8000}};
  }

  fixtures::TemporaryFolder folder;
  std::string root;
};

TEST_F(ModelTableTest, FindsAPresentModelWhateverTheSpelling) {
  const auto rows = table();
  for (const char* identifier : {"de-DE", "de_de", "DE-de"}) {
    const std::optional<SpeechModel> model = installedModelForLocale(identifier, rows);
    ASSERT_TRUE(model) << identifier;
    EXPECT_EQ(model->locale, "de-DE");
    EXPECT_EQ(model->acousticModel, root + "/am");
    EXPECT_EQ(model->languageModel, root + "/lm.bin");
    EXPECT_EQ(model->dictionary, root + "/words.dict");
    EXPECT_EQ(model->sampleRate, 8000);
  }
  EXPECT_FALSE(installedModelForLocale("de", rows));
  EXPECT_FALSE(installedModelForLocale("de-AT", rows));
  EXPECT_FALSE(installedModelForLocale("", rows));
}

TEST_F(ModelTableTest, AModelWithAMissingFileIsNotInstalled) {
  const auto rows = table();
  std::filesystem::remove(folder.path("words.dict"));
  EXPECT_FALSE(installedModelForLocale("de-DE", rows));
}

TEST_F(ModelTableTest, AnAcousticModelWithoutItsDefinitionIsNotInstalled) {
  const auto rows = table();
  std::filesystem::remove(folder.path("am/mdef"));
  EXPECT_FALSE(installedModelForLocale("de-DE", rows));
}

// Needs the pocketsphinx-en-us model.
TEST(InstalledModels, AmericanEnglishIsInstalled) {
  const std::optional<SpeechModel> model = installedModelForLocale("en-US");
  ASSERT_TRUE(model);
  EXPECT_EQ(model->acousticModel, SPEECH_BRIDGE_MODEL_DIR "/en-us/en-us");
  EXPECT_EQ(model->sampleRate, 16000);
  EXPECT_FALSE(installedModelForLocale("fr-FR"));
}

}  // namespace
}  // namespace speech_bridge
