// SPDX-License-Identifier: GPL-3.0-or-later
// Festival's voices as found in their folders, on folders made here; and the
// installed ones (festvox-us-slt-hts).
#include "platform/festival/festival_voices.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace speech_bridge {
namespace {

namespace fs = std::filesystem;

class FestivalVoicesTest : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove_all(root_); }

  // A voice folder `<language>/<name>/`, with `festvox/<name>.scm` when
  // `definition` is set.
  void makeVoice(const std::string& language, const std::string& name, bool definition = true) {
    const fs::path festvox = root_ / language / name / "festvox";
    fs::create_directories(festvox);
    if (definition) std::ofstream(festvox / (name + ".scm")) << "(define (voice_" << name << ") t)\n";
  }

  std::vector<std::string> found() {
    std::vector<std::string> listed;
    for (const FestivalVoice& voice : findFestivalVoices(root_.string() + "/")) {
      listed.push_back(voice.voice.identifier + " | " + voice.voice.name + " | " + voice.voice.language + " | " +
                       voice.name + " | " + fs::relative(voice.folder, root_).string());
    }
    return listed;
  }

  const fs::path root_ = fs::temp_directory_path() / ("speech-bridge-festival-" + std::to_string(::getpid()));
};

TEST_F(FestivalVoicesTest, AVoiceIsListedWhereFestivalWouldFindItsDefinition) {
  makeVoice("us", "cmu_us_slt_arctic_hts");
  makeVoice("english", "kal_diphone");
  makeVoice("english", "rab_diphone");
  makeVoice("spanish", "el_diphone");
  makeVoice("us", "cmu_us_awb_arctic_clunits");
  // Not listed: no definition, a definition that is a folder, a language
  // that names none, a name that is no Scheme symbol, a second one of a name.
  makeVoice("us", "cmu_us_rms_arctic_hts", false);
  fs::create_directories(root_ / "us" / "cmu_us_bdl_arctic_hts" / "festvox" / "cmu_us_bdl_arctic_hts.scm");
  makeVoice("klingon", "tlh_voice");
  makeVoice("us", "bad-name");
  makeVoice("english", "cmu_us_slt_arctic_hts");
  std::ofstream(root_ / "us" / "README") << "not a voice\n";

  EXPECT_EQ(found(), (std::vector<std::string>{
                         "festival/cmu_us_awb_arctic_clunits | Festival awb (American English, unit selection) | en-US"
                         " | cmu_us_awb_arctic_clunits | us/cmu_us_awb_arctic_clunits",
                         "festival/cmu_us_slt_arctic_hts | Festival slt (American English, HTS) | en-US"
                         " | cmu_us_slt_arctic_hts | english/cmu_us_slt_arctic_hts",
                         "festival/el_diphone | Festival el_diphone | es | el_diphone | spanish/el_diphone",
                         "festival/kal_diphone | Festival kal (American English, diphones) | en-US | kal_diphone"
                         " | english/kal_diphone",
                         "festival/rab_diphone | Festival rab (British English, diphones) | en-GB | rab_diphone"
                         " | english/rab_diphone",
                     }));
}

TEST_F(FestivalVoicesTest, AMissingFolderHasNoVoices) { EXPECT_TRUE(found().empty()); }

TEST(InstalledFestivalVoices, TheHtsVoiceSpeaksAmericanEnglishByDefaultAndNothingElse) {
  const FestivalVoice* hts = festivalVoiceWithIdentifier("festival/cmu_us_slt_arctic_hts");
  ASSERT_NE(hts, nullptr) << "festvox-us-slt-hts is not installed";
  EXPECT_EQ(hts->folder, festivalVoicesFolder() + "us/cmu_us_slt_arctic_hts/");
  for (const char* tag : {"en", "en-US", "en_US.UTF-8", "EN-us"}) EXPECT_EQ(festivalVoiceForLanguage(tag), hts) << tag;
  for (const char* tag : {"en-GB", "de", "es-US", ""}) EXPECT_EQ(festivalVoiceForLanguage(tag), nullptr) << tag;
}

}  // namespace
}  // namespace speech_bridge
