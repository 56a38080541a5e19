// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/real_platform.h"

#include "app/default_audio.h"
#include "platform/espeak-ng/espeak_engine.h"
#include "platform/espeak-ng/espeak_word_reader.h"
#include "platform/festival/festival_engine.h"
#include "platform/flite/flite_engine.h"
#include "platform/flite/flite_lexicon.h"
#include "platform/libplist/embedded_property_list.h"
#include "platform/pocketsphinx/pocketsphinx_recognition_service.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_main_loop.h"
#include "platform/posix/posix_standard_streams.h"
#include "platform/posix/ungated_permissions.h"
#include "platform/speech/engine_synthesis.h"

namespace speech_bridge {

struct RealPlatform::Services {
  PosixMainLoop loop;
  PosixStandardStreams streams;
  PosixFileSystem files;
  EmbeddedPropertyList infoDictionary;
  UngatedPermissions permissions;
  // Words a grammar uses that the dictionary lacks: Flite's CMU lexicon and
  // its rules, then eSpeak NG's reading as an alternate.
  FliteLexicon lexicon;
  EspeakWordReader espeakReadings;
  PocketsphinxRecognitionService recognition{{lexicon, espeakReadings}};
  DefaultAudioCapture audioCapture;
  DefaultAudioOutput audioOutput;
  // Festival's statistical voice speaks English by default where it is
  // installed, Flite's natural voices where it is not; eSpeak NG every other
  // language, and whatever no voice speaks. No engine starts before a job
  // asks for its voices or speaks.
  EngineSynthesis synthesis{
      loop, audioOutput, {FestivalEngine::shared(), FliteEngine::shared(), EspeakEngine::shared()}};
};

RealPlatform::RealPlatform()
    : services_(std::make_unique<Services>()),
      platform_(std::make_unique<Platform>(Platform{services_->loop, services_->streams, services_->files,
                                                    services_->infoDictionary, services_->permissions,
                                                    services_->recognition, services_->audioCapture,
                                                    services_->synthesis})) {}

RealPlatform::~RealPlatform() = default;

}  // namespace speech_bridge
