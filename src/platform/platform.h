// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace speech_bridge {

class AudioCapture;
class FileSystem;
class MainLoop;
class Permissions;
class PropertyList;
class RecognitionService;
class SpeechSynthesis;
class StandardStreams;

// Every service a job reaches, each behind its interface. The services outlive
// every job that uses them.
struct Platform {
  MainLoop& loop;
  StandardStreams& streams;
  FileSystem& files;
  PropertyList& infoDictionary;
  Permissions& permissions;
  RecognitionService& recognition;
  AudioCapture& audioCapture;
  SpeechSynthesis& synthesis;
};

}  // namespace speech_bridge
