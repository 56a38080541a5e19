// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

// Every sentence an "error" event can carry. Hosts match on these texts, so
// they never change. The two that end in ": " are followed by the reason a
// library gave.
namespace speech_bridge::message {

inline constexpr char kUsage[] = "Usage: --listen | --speak | --voices | --transcribe-file PATH [--locale en-US] [--voice ID]";
inline constexpr char kTranscribePathMissing[] = "--transcribe-file requires a local audio path";
inline constexpr char kGrammarPathMissing[] = "--grammar requires a grammar file path";
inline constexpr char kPronunciationPathMissing[] = "--pronunciations requires a pronunciation file path";
inline constexpr char kPronunciationsWithoutGrammar[] = "--pronunciations requires --grammar";
inline constexpr char kStopOnSilenceInvalid[] = "--stop-on-silence requires seconds from 0.2 to 10";
inline constexpr char kTimedOut[] = "Speech helper timed out";
inline constexpr char kSpeechUsageDescriptionMissing[] = "Speech recognition requires the packaged app's speech usage description";
inline constexpr char kMicrophoneUsageDescriptionMissing[] = "Microphone capture requires the packaged app's microphone usage description";
inline constexpr char kLocaleUnavailable[] = "On-device speech recognition is unavailable for this locale; no cloud fallback is allowed";
inline constexpr char kSpeechPermissionDenied[] = "Speech recognition permission was not granted";
inline constexpr char kMicrophonePermissionDenied[] = "Microphone permission was not granted";
inline constexpr char kTranscriptTooLong[] = "Transcript exceeded 2000 characters";
inline constexpr char kRecognitionFailed[] = "On-device recognition failed: ";
inline constexpr char kNoMicrophone[] = "No usable microphone input device";
inline constexpr char kMicrophoneCouldNotStart[] = "Microphone could not start: ";
inline constexpr char kNoFinalResult[] = "Recognition did not produce a final result after listening stopped";
inline constexpr char kControlInputClosed[] = "Listening cancelled: controller input closed";
inline constexpr char kControlInputOversized[] = "Invalid oversized speech control input";
inline constexpr char kListeningCancelled[] = "Listening cancelled";
inline constexpr char kUnknownControlCommand[] = "Unknown speech control command";
inline constexpr char kAudioFileMissing[] = "Audio fixture does not exist";
inline constexpr char kTranscriptionTooSlow[] = "File transcription exceeded 20 seconds";
inline constexpr char kSpeechInputIncomplete[] = "Speech input was not completed within 5 seconds";
inline constexpr char kSpeechInputTooLarge[] = "Speech input exceeded 8192 bytes";
inline constexpr char kSpeechInputNotUtf8[] = "Speech input must be UTF-8";
inline constexpr char kSpeechTextEmpty[] = "Speech text is empty";
inline constexpr char kSpeechTextTooLong[] = "Speech text exceeded 2000 characters";
inline constexpr char kVoiceUnavailable[] = "Selected speech voice is unavailable";
inline constexpr char kPlaybackCancelled[] = "Speech playback cancelled";
inline constexpr char kPlaybackTooLong[] = "Speech playback exceeded 60 seconds";

inline constexpr std::array<const char*, 31> kAll = {
    kUsage,
    kTranscribePathMissing,
    kGrammarPathMissing,
    kPronunciationPathMissing,
    kPronunciationsWithoutGrammar,
    kStopOnSilenceInvalid,
    kTimedOut,
    kSpeechUsageDescriptionMissing,
    kMicrophoneUsageDescriptionMissing,
    kLocaleUnavailable,
    kSpeechPermissionDenied,
    kMicrophonePermissionDenied,
    kTranscriptTooLong,
    kRecognitionFailed,
    kNoMicrophone,
    kMicrophoneCouldNotStart,
    kNoFinalResult,
    kControlInputClosed,
    kControlInputOversized,
    kListeningCancelled,
    kUnknownControlCommand,
    kAudioFileMissing,
    kTranscriptionTooSlow,
    kSpeechInputIncomplete,
    kSpeechInputTooLarge,
    kSpeechInputNotUtf8,
    kSpeechTextEmpty,
    kSpeechTextTooLong,
    kVoiceUnavailable,
    kPlaybackCancelled,
    kPlaybackTooLong,
};

}  // namespace speech_bridge::message
